# The committed WHERE grammar tables and the header of its codes must match their source
# (regenerate both with the same command without --check), and the table generator's own
# unit tests run on small grammars.
add_test(NAME grammar_tables_current
         COMMAND python3 tools/llgen.py parse/where.grammar --routine zorvgrammar
                 --out parse/grammar_tables.cpp --header parse/grammar_codes.h --namespace where
                 --check --expect-conflicts 2
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
add_test(NAME llgen_unit COMMAND python3 -m unittest -q test_llgen
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tools)
set_tests_properties(grammar_tables_current llgen_unit PROPERTIES
                     ENVIRONMENT PYTHONDONTWRITEBYTECODE=1)
