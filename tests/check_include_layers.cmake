# The direction of every include under src/, read by check_core_includes.cmake
# after the core wall: each folder names the folders it may include (its own
# is always allowed), so that no layer reaches one above it, and no header
# reaches back round a circle to one that includes it. SOURCE_DIR is the
# project's root. A new folder needs a line here before anything in it builds
# on another folder.
#
cmake_minimum_required(VERSION 3.20)

# "FOLDER|ALLOWED..." with folders relative to src/; "platform" is the seam.
set(include_rules
  # The seam, and the portable core from the bottom up.
  "platform|"
  "shared|platform"
  "output|platform shared"
  "hub|platform shared output"
  "service|platform shared"
  "ui|platform shared output hub"
  # The gesture rules are pure: plain values in and out, no platform call.
  "gestures/rules|platform shared"
  "gestures|platform shared output hub ui gestures/rules"
  "commands|platform shared output hub service ui gestures"
  "app|platform shared output hub service ui gestures commands"
  # Helpers the platforms share.
  "platform/posix|platform"
  "platform/toml|platform platform/posix"
  # The platforms: the seam and their helpers, and the core's entry points.
  "platform/sim|platform shared platform/posix platform/toml"
  "platform/macos|platform shared commands app platform/posix"
  # Linux, by subsystem: the loop at the bottom, the Qt module above the
  # user interface it is loaded by, the tool put together at the top.
  "platform/linux/loop|platform platform/posix"
  "platform/linux/files|platform platform/posix platform/toml platform/linux/loop"
  "platform/linux/input|platform platform/posix platform/linux/loop"
  "platform/linux/usb|platform platform/posix platform/linux/loop"
  "platform/linux/ui|platform platform/posix platform/linux/loop"
  "platform/linux/qt|platform shared platform/linux/loop platform/linux/ui"
  "platform/linux|platform shared output commands app platform/posix platform/toml platform/linux/loop
   platform/linux/files platform/linux/input platform/linux/usb platform/linux/ui"
  # The scenario runner drives the simulated platform and the whole tool.
  "scenario_runner|platform shared app service platform/posix platform/sim")

# A header and its source are one module, and modules must not include each
# other round a circle. A source that puts the parts of its folder together
# is a module of its own: the parts may include its header (the state they
# share), and it includes theirs.
set(assemblers app/startup.cpp platform/sim/sim_world.cpp)
# Includes against the layers that are still there. This list and the next
# only shrink.
set(known_upward "")
# Circles that are still there, each named by the include that closes it.
set(known_circles "")

set(rule_folders "")
foreach(rule IN LISTS include_rules)
  string(REPLACE "|" ";" parts "${rule}")
  list(GET parts 0 folder)
  list(LENGTH parts n)
  set(allowed "")
  if(n GREATER 1)
    list(GET parts 1 allowed)
    separate_arguments(allowed UNIX_COMMAND "${allowed}")
  endif()
  string(MAKE_C_IDENTIFIER "${folder}" id)
  set(allowed_${id} ${allowed})
  list(APPEND rule_folders ${folder})
endforeach()

file(GLOB_RECURSE layer_sources RELATIVE ${SOURCE_DIR}/src
  ${SOURCE_DIR}/src/*.h ${SOURCE_DIR}/src/*.cpp ${SOURCE_DIR}/src/*.mm)
set(bad "")
set(modules "")
set(exceptions_used "")
foreach(f IN LISTS layer_sources)
  get_filename_component(folder ${f} DIRECTORY)
  list(FIND rule_folders "${folder}" has_rule)
  if(has_rule EQUAL -1)
    list(APPEND bad "src/${f}: its folder src/${folder} has no line in tests/check_include_layers.cmake")
    continue()
  endif()
  string(MAKE_C_IDENTIFIER "${folder}" folder_id)
  string(REGEX REPLACE "\\.[a-z]+$" "" module ${f})
  list(FIND assemblers "${f}" assembler)
  if(NOT assembler EQUAL -1)
    set(module ${f})
  endif()
  string(MAKE_C_IDENTIFIER "${module}" module_id)
  list(APPEND modules ${module})
  file(STRINGS ${SOURCE_DIR}/src/${f} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
      continue()
    endif()
    set(target ${CMAKE_MATCH_1})
    get_filename_component(target_folder ${target} DIRECTORY)
    list(FIND known_upward "${f}>${target}" known)
    if(NOT known EQUAL -1)
      list(APPEND exceptions_used "${f}>${target}")
    endif()
    if(NOT target_folder STREQUAL folder AND known EQUAL -1)
      list(FIND allowed_${folder_id} "${target_folder}" ok)
      if(ok EQUAL -1)
        string(REPLACE ";" " " allowed "${allowed_${folder_id}}")
        list(APPEND bad "src/${f} includes \"${target}\": src/${folder} may include only: ${allowed}")
      endif()
    endif()
    string(REGEX REPLACE "\\.[a-z]+$" "" target_module ${target})
    list(FIND known_circles "${f}>${target_module}" known)
    if(NOT known EQUAL -1)
      list(APPEND exceptions_used "${f}>${target_module}")
    endif()
    if(NOT target_module STREQUAL module AND known EQUAL -1)
      list(APPEND deps_${module_id} ${target_module})
    endif()
  endforeach()
endforeach()

# An exception whose include is gone is taken off its list.
foreach(exception IN LISTS known_upward known_circles)
  list(FIND exceptions_used "${exception}" used)
  if(used EQUAL -1)
    list(APPEND bad "${exception}: no such include any more, so it comes off its list here")
  endif()
endforeach()

# Circles: modules that depend on no module still in play are taken out, and
# so are modules no module in play depends on, until nothing changes;
# whatever is left lies on a circle.
list(REMOVE_DUPLICATES modules)
set(left ${modules})
set(changed TRUE)
while(changed)
  set(changed FALSE)
  set(needed "")
  foreach(m IN LISTS left)
    string(MAKE_C_IDENTIFIER "${m}" id)
    foreach(d IN LISTS deps_${id})
      list(APPEND needed ${d})
    endforeach()
  endforeach()
  set(next "")
  foreach(m IN LISTS left)
    string(MAKE_C_IDENTIFIER "${m}" id)
    set(keeps FALSE)
    foreach(d IN LISTS deps_${id})
      list(FIND left "${d}" at)
      if(NOT at EQUAL -1)
        set(keeps TRUE)
        break()
      endif()
    endforeach()
    list(FIND needed "${m}" wanted)
    if(keeps AND NOT wanted EQUAL -1)
      list(APPEND next ${m})
    else()
      set(changed TRUE)
    endif()
  endforeach()
  set(left ${next})
endwhile()
if(left)
  foreach(m IN LISTS left)
    string(MAKE_C_IDENTIFIER "${m}" id)
    set(on_circle "")
    foreach(d IN LISTS deps_${id})
      list(FIND left "${d}" at)
      if(NOT at EQUAL -1)
        list(APPEND on_circle ${d})
      endif()
    endforeach()
    string(REPLACE ";" ", " on_circle "${on_circle}")
    list(APPEND bad "include circle: src/${m} includes ${on_circle}, which reach back to it")
  endforeach()
endif()

if(bad)
  string(REPLACE ";" "\n  " bad "${bad}")
  message(FATAL_ERROR "includes against the layers:\n  ${bad}")
endif()
list(LENGTH layer_sources n)
list(LENGTH include_rules r)
message(STATUS "include layers: ${n} files in ${r} folders, every include downward, no circle")
