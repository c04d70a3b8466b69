# Exported names of libzorv.so. Included from this folder's CMakeLists.txt it registers a
# CTest test; that test runs this same file in script mode to do the checks: every name
# the support header marks for export is listed in cmake/libzorv.map, the library defines
# exactly the map's names (none missing, nothing else of ours leaking), and the x86
# library is a 32-bit ELF object.

if(NOT CMAKE_SCRIPT_MODE_FILE)
  find_program(ZORV_NM nm REQUIRED)
  add_test(NAME support_exports
           COMMAND ${CMAKE_COMMAND} -DLIB=$<TARGET_FILE:zorv> -DNM=${ZORV_NM}
                   -DMAP=${CMAKE_SOURCE_DIR}/cmake/libzorv.map
                   -DHEADER=${CMAKE_SOURCE_DIR}/include/zorv/support.h
                   -DWIDTH=${ZORV_WIDTH} -P ${CMAKE_CURRENT_LIST_FILE})
  return()
endif()

# Names of the map's global section, comments stripped.
file(READ ${MAP} map_text)
string(REGEX REPLACE "/\\*([^*]|\\*+[^*/])*\\*+/" "" map_text "${map_text}")
string(REGEX MATCH "global:(.*)local:" global_part "${map_text}")
if(NOT global_part)
  message(FATAL_ERROR "${MAP}: no global section followed by a local one")
endif()
string(REGEX MATCH "local:[ \t\r\n]*\\*[ \t\r\n]*;" local_all "${map_text}")
if(NOT local_all)
  message(FATAL_ERROR "${MAP}: the local section must be `local: *;`")
endif()
string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*[ \t\r\n]*;" entries "${CMAKE_MATCH_1}")
set(listed)
foreach(e ${entries})
  string(REGEX REPLACE "[ \t\r\n;]" "" e "${e}")
  list(APPEND listed ${e})
endforeach()
list(REMOVE_DUPLICATES listed)

# Names the support header exports: the identifier before '(' or '[' or ';' on each
# ZORV_EXPORT declaration (declarations may wrap, so join lines first).
file(READ ${HEADER} header_text)
string(REGEX REPLACE "/\\*([^*]|\\*+[^*/])*\\*+/" "" header_text "${header_text}")
string(REGEX REPLACE "#define[^\n]*" "" header_text "${header_text}")
string(REGEX REPLACE "__attribute__\\(\\([a-z_]+(\\([^)]*\\))?\\)\\)" "" header_text
       "${header_text}")
string(REGEX REPLACE "\n[ \t]+" " " header_text "${header_text}")
string(REGEX MATCHALL "ZORV_EXPORT [^;{]*" decls "${header_text}")
set(declared)
foreach(d ${decls})
  if(d MATCHES "([A-Za-z_][A-Za-z0-9_]*)[ \t]*[([]" OR d MATCHES "([A-Za-z_][A-Za-z0-9_]*)[ \t]*$")
    list(APPEND declared ${CMAKE_MATCH_1})
  endif()
endforeach()
list(LENGTH declared ndeclared)
if(ndeclared LESS 50)
  message(FATAL_ERROR "read only ${ndeclared} exported names from ${HEADER}: ${declared}")
endif()

set(failures)
foreach(n ${declared})
  if(NOT n IN_LIST listed)
    list(APPEND failures "declared for export but not in the map: ${n}")
  endif()
endforeach()

# Defined dynamic symbols, less what the linker adds to every shared object.
execute_process(COMMAND ${NM} -D --defined-only ${LIB} OUTPUT_VARIABLE nm_out
                RESULT_VARIABLE nm_rc)
if(NOT nm_rc EQUAL 0)
  message(FATAL_ERROR "${NM} -D --defined-only ${LIB} failed")
endif()
string(REGEX MATCHALL "[^\n]+" nm_lines "${nm_out}")
set(defined)
foreach(line ${nm_lines})
  if(line MATCHES "^[0-9a-fA-F]* *[A-Za-z] ([^ @]+)")
    set(name ${CMAKE_MATCH_1})
    if(NOT name MATCHES "^(_init|_fini|_edata|_end|__bss_start|_DYNAMIC|_GLOBAL_OFFSET_TABLE_)$")
      list(APPEND defined ${name})
    endif()
  endif()
endforeach()

foreach(n ${listed})
  if(NOT n IN_LIST defined)
    list(APPEND failures "listed in the map but not defined: ${n}")
  endif()
endforeach()
foreach(n ${defined})
  if(NOT n IN_LIST listed)
    list(APPEND failures "exported but not listed in the map: ${n}")
  endif()
endforeach()

# Byte 4 of an ELF header is its class: 01 for 32-bit, 02 for 64-bit objects.
file(READ ${LIB} ident LIMIT 5 HEX)
if(WIDTH STREQUAL "x86")
  set(want "7f454c4601")
else()
  set(want "7f454c4602")
endif()
if(NOT ident STREQUAL want)
  list(APPEND failures "${LIB} starts with ${ident}, expected ${want} for ${WIDTH}")
endif()

if(failures)
  string(REPLACE ";" "\n  " text "${failures}")
  message(FATAL_ERROR "exported names of libzorv.so:\n  ${text}")
endif()
list(LENGTH defined ndefined)
message(STATUS "libzorv.so (${WIDTH}) exports exactly the ${ndefined} names of the map")
