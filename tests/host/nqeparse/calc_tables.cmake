# The engine tests' grammar tables must match their source: regenerate them with
#   python3 tools/llgen.py tests/host/nqeparse/calc.grammar --routine calcgrammar \
#           --out tests/host/nqeparse/calc_tables.cpp
find_package(Python3 COMPONENTS Interpreter QUIET)
if(Python3_Interpreter_FOUND)
  set(calc_python ${Python3_EXECUTABLE})
else()
  set(calc_python python3)
endif()
add_test(NAME nqeparse_calc_tables_current
         COMMAND ${calc_python} tools/llgen.py tests/host/nqeparse/calc.grammar
                 --routine calcgrammar --out tests/host/nqeparse/calc_tables.cpp --check
                 --expect-conflicts 0
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
