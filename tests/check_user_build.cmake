# Configures the tool as docs/linux.md tells users to, with the tests and the
# simulated platform off, and checks that the result builds the tool and its
# tray module and looks for none of the test-only libraries.
#   cmake -DSOURCE_DIR=... -DWORK_DIR=... -P check_user_build.cmake
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR} -DCMAKE_BUILD_TYPE=Release
          -DQS_BUILD_TESTS=OFF -DQS_BUILD_SIM=OFF
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the user's configure failed:\n${out}\n${err}")
endif()
file(READ ${WORK_DIR}/CMakeCache.txt cache)
foreach(test_only PLIST_FOUND UMOCKDEV_FOUND GTest_DIR)
  string(FIND "${cache}" "${test_only}" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "the user's build looks for ${test_only}, a test-only dependency")
  endif()
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR} --target help
                OUTPUT_VARIABLE targets RESULT_VARIABLE result)
foreach(wanted quembrastella-switch quembrastella-switch-qt)
  string(FIND "${targets}" "... ${wanted}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the user's build has no target ${wanted}")
  endif()
endforeach()
foreach(unwanted qs_platform_sim quembrastella-sim qs_unit_tests)
  string(FIND "${targets}" "... ${unwanted}\n" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "the user's build still builds ${unwanted}")
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK_DIR})
