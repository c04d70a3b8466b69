# The bundled sample table must be exactly what tools/gen_sample_table.py makes.
find_package(Python3 COMPONENTS Interpreter QUIET)
if(Python3_Interpreter_FOUND)
  set(sample_python ${Python3_EXECUTABLE})
else()
  set(sample_python python3)
endif()
add_test(NAME sample_table_current
         COMMAND ${sample_python} ${CMAKE_SOURCE_DIR}/tools/gen_sample_table.py --check)
