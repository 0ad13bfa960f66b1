# Configures the tool as docs/linux.md and docs/macos.md tell users to, with
# the tests and the simulated platform off, and checks that the result builds
# the tool (and its tray module, or its bundle) and looks for none of the
# test-only libraries. On macOS the settings reader's toml++ is test-only
# too: the tool reads the user defaults.
#   cmake -DSOURCE_DIR=... -DWORK_DIR=... [-DEXTRA_ARGS=...] -P check_user_build.cmake
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR} -DCMAKE_BUILD_TYPE=Release
          -DQS_BUILD_TESTS=OFF -DQS_BUILD_SIM=OFF ${EXTRA_ARGS}
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the user's configure failed:\n${out}\n${err}")
endif()
file(READ ${WORK_DIR}/CMakeCache.txt cache)
set(test_only_names PLIST_FOUND UMOCKDEV_FOUND GTest_DIR)
set(wanted_targets quembrastella-switch quembrastella-switch-qt)
if(CMAKE_HOST_APPLE)
  list(APPEND test_only_names QS_TOMLPLUSPLUS_INCLUDE)
  set(wanted_targets quembrastella-switch quembrastella-switch-app)
endif()
foreach(test_only ${test_only_names})
  string(FIND "${cache}" "${test_only}" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "the user's build looks for ${test_only}, a test-only dependency")
  endif()
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR} --target help
                OUTPUT_VARIABLE targets RESULT_VARIABLE result)
foreach(wanted ${wanted_targets})
  string(FIND "${targets}" "... ${wanted}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the user's build has no target ${wanted}")
  endif()
endforeach()
foreach(unwanted qs_platform_sim qs_scenario_runner quembrastella-sim qs_unit_tests)
  string(FIND "${targets}" "... ${unwanted}\n" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "the user's build still builds ${unwanted}")
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK_DIR})
