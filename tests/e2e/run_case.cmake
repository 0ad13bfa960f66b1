# Runs one end-to-end case and compares what it produced with what it must.
#
# A case is NAME.scenario, or a chain NAME.1.scenario, NAME.2.scenario, ...
# run in order against one home folder. Each run has its expected
# RUN.stdout, RUN.stderr and RUN.status. Optional, checked after the last run:
#   NAME.files  lines "+ PATH" (must exist) or "- PATH" (must not), PATH
#               relative to the home folder;
#   NAME.agent  the login agent file's entries, one "Key = value" a line
#               (arrays as [a, b]), @HOME@ standing for the home folder; the
#               file is read back with plistutil.
# Chains and cases with NAME.files or NAME.agent run with --home, and the home
# folder's path reads @HOME@ in their expected output; the others run in the
# runner's own temporary sandbox.

cmake_minimum_required(VERSION 3.20)

foreach(var SIM CASES_DIR NAME WORK_DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "run_case.cmake needs -D${var}=...")
  endif()
endforeach()
# The scenarios may lie elsewhere than their expected results.
if(NOT DEFINED SCENARIO_DIR)
  set(SCENARIO_DIR "${CASES_DIR}")
endif()

set(home "${WORK_DIR}/home")
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")

set(use_home FALSE)
if(EXISTS "${SCENARIO_DIR}/${NAME}.scenario")
  set(runs "${NAME}")
else()
  file(GLOB runs RELATIVE "${SCENARIO_DIR}" "${SCENARIO_DIR}/${NAME}.[0-9].scenario")
  list(SORT runs)
  list(TRANSFORM runs REPLACE "\\.scenario$" "")
  set(use_home TRUE)
endif()
if(NOT runs)
  message(FATAL_ERROR "no scenario for case ${NAME} in ${SCENARIO_DIR}")
endif()
if(EXISTS "${CASES_DIR}/${NAME}.files" OR EXISTS "${CASES_DIR}/${NAME}.agent")
  set(use_home TRUE)
endif()

set(failures "")

function(expect what run actual)
  set(expected_file "${CASES_DIR}/${run}.${what}")
  if(NOT EXISTS "${expected_file}")
    set(failures "${failures}\n${run}: ${run}.${what} is missing (write the expected ${what})"
        PARENT_SCOPE)
    return()
  endif()
  file(READ "${expected_file}" expected)
  if(what STREQUAL "status")
    string(STRIP "${expected}" expected)
  endif()
  if(NOT actual STREQUAL expected)
    file(WRITE "${WORK_DIR}/${run}.actual.${what}" "${actual}")
    set(failures "${failures}\n${run}: ${what} differs\n--- expected (${expected_file})\n${expected}\n--- actual (${WORK_DIR}/${run}.actual.${what})\n${actual}\n---"
        PARENT_SCOPE)
  endif()
endfunction()

foreach(run IN LISTS runs)
  if(use_home)
    set(command "${SIM}" --home "${home}" "${SCENARIO_DIR}/${run}.scenario")
  else()
    set(command "${SIM}" "${SCENARIO_DIR}/${run}.scenario")
  endif()
  # Virtual time: a run takes a fraction of a second; the limit only stops a
  # hung one.
  execute_process(COMMAND ${command}
                  WORKING_DIRECTORY "${WORK_DIR}" TIMEOUT 60
                  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
  if(use_home)
    # Paths in the sandbox read the same wherever the build lies.
    string(REPLACE "${home}" "@HOME@" out "${out}")
    string(REPLACE "${home}" "@HOME@" err "${err}")
  endif()
  expect(stdout ${run} "${out}")
  expect(stderr ${run} "${err}")
  expect(status ${run} "${status}")
endforeach()

if(EXISTS "${CASES_DIR}/${NAME}.files")
  file(STRINGS "${CASES_DIR}/${NAME}.files" lines)
  foreach(line IN LISTS lines)
    if(line MATCHES "^([+-]) (.+)$")
      if(CMAKE_MATCH_1 STREQUAL "+" AND NOT EXISTS "${home}/${CMAKE_MATCH_2}")
        set(failures "${failures}\n${NAME}: ${CMAKE_MATCH_2} should exist in the home folder")
      elseif(CMAKE_MATCH_1 STREQUAL "-" AND EXISTS "${home}/${CMAKE_MATCH_2}")
        set(failures "${failures}\n${NAME}: ${CMAKE_MATCH_2} should not exist in the home folder")
      endif()
    elseif(NOT line STREQUAL "")
      message(FATAL_ERROR "${NAME}.files: unreadable line '${line}' (write '+ PATH' or '- PATH')")
    endif()
  endforeach()
endif()

if(EXISTS "${CASES_DIR}/${NAME}.agent")
  include("${CMAKE_CURRENT_LIST_DIR}/plist_entries.cmake")
  file(GLOB agents "${home}/Library/LaunchAgents/*.plist")
  list(LENGTH agents count)
  set(error "")
  if(NOT count EQUAL 1)
    set(error "expected one agent file in Library/LaunchAgents, found ${count}")
  else()
    plist_entries("${PLISTUTIL}" "${agents}" actual error)
  endif()
  if(error)
    set(failures "${failures}\n${NAME}: ${error}")
  else()
    file(READ "${CASES_DIR}/${NAME}.agent" expected)
    string(REPLACE "@HOME@" "${home}" expected "${expected}")
    if(NOT actual STREQUAL expected)
      set(failures "${failures}\n${NAME}: agent file differs\n--- expected\n${expected}--- actual\n${actual}---")
    endif()
  endif()
endif()

if(failures)
  message(FATAL_ERROR "${failures}")
endif()
