# The portable core's folders, one list for the tool's build and the fuzzing
# project, so a new core folder reaches both. Sets QS_CORE_SOURCES from the
# source tree at QS_CORE_ROOT (the folder that holds src/).
set(QS_CORE_FOLDERS shared app commands output hub gestures gestures/rules service ui)
set(QS_CORE_GLOBS)
foreach(folder IN LISTS QS_CORE_FOLDERS)
  list(APPEND QS_CORE_GLOBS ${QS_CORE_ROOT}/src/${folder}/*.cpp)
endforeach()
file(GLOB QS_CORE_SOURCES CONFIGURE_DEPENDS ${QS_CORE_GLOBS})
