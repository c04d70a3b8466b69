# The committed case tables must be exactly what tools/gen_case_tables.py makes from the
# installed Unicode data; the check skips when that data is not installed.
find_package(Python3 COMPONENTS Interpreter QUIET)
if(Python3_Interpreter_FOUND)
  set(case_tables_python ${Python3_EXECUTABLE})
else()
  set(case_tables_python python3)
endif()
add_test(NAME case_tables_current
         COMMAND ${case_tables_python} ${CMAKE_SOURCE_DIR}/tools/gen_case_tables.py --check)
set_tests_properties(case_tables_current PROPERTIES SKIP_RETURN_CODE 77)
