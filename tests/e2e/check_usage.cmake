# The runner refuses a bad command line or a missing scenario file with
# status 2, saying what to do, and runs nothing.

cmake_minimum_required(VERSION 3.20)
function(check expected_text)
  execute_process(COMMAND "${SIM}" ${ARGN}
                  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
  if(NOT status EQUAL 2 OR NOT out STREQUAL "" OR NOT err STREQUAL expected_text)
    message(FATAL_ERROR "quembrastella-sim ${ARGN}: status ${status}\nstdout: ${out}\n"
                        "stderr: ${err}\nexpected stderr: ${expected_text}")
  endif()
endfunction()

set(usage "usage: quembrastella-sim [--home DIR] SCENARIO\n")
check("${usage}")
check("${usage}" --home)
check("${usage}" --home /tmp)
check("${usage}" a.scenario b.scenario)
check("${usage}" --home "" a.scenario)
check("quembrastella-sim: cannot read /nonexistent/x.scenario: No such file or directory (give the path of a readable scenario file)\n"
      /nonexistent/x.scenario)
check("quembrastella-sim: cannot read ${CMAKE_CURRENT_LIST_DIR}: Is a directory (give the path of a readable scenario file)\n"
      "${CMAKE_CURRENT_LIST_DIR}")
