# The end-to-end parse tests run the library's own entry over a kernel of our host runtime,
# which loads the sibling extensions (string, tokenizer, parse engine) from beside it.
if(TARGET test_parse AND TARGET nqkernel)
  target_link_libraries(test_parse PRIVATE nqkernel)
  target_compile_definitions(test_parse PRIVATE ZORV_TEST_HOST=1)
  foreach(ext nqstring nqetok nqeparse)
    if(TARGET ${ext})
      add_dependencies(test_parse ${ext})
    endif()
  endforeach()
endif()
