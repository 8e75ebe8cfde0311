# Run after a Qt Test program is built (cmake -P): asks it for its test functions (-functions) and
# writes OUTPUT, which CTest reads, with one test for each, named PROGRAM_FUNCTION. A program that
# cannot list them fails the build rather than run nothing.
#   -D PROGRAM=path -D NAME=tst_x -D OUTPUT=file -D TIMEOUT=seconds
set(ENV{QT_QPA_PLATFORM} offscreen)
# Listing the functions starts and ends the program: a sanitizer build reports no leak here.
set(ENV{ASAN_OPTIONS} detect_leaks=0)
execute_process(COMMAND "${PROGRAM}" -functions OUTPUT_VARIABLE listed ERROR_VARIABLE said RESULT_VARIABLE result)
string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*\\(\\)" functions "${listed}")
if(NOT result EQUAL 0 OR NOT functions)
  message(FATAL_ERROR "${PROGRAM} -functions listed no test function (status ${result}): ${said}")
endif()
set(tests "")
foreach(function IN LISTS functions)
  string(REPLACE "()" "" function "${function}")
  string(APPEND tests "add_test(${NAME}_${function} \"${PROGRAM}\" ${function})\n"
         "set_tests_properties(${NAME}_${function} PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen "
         "TIMEOUT ${TIMEOUT})\n")
endforeach()
file(WRITE "${OUTPUT}" "${tests}")
