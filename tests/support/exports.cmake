# Exported names of libzorv.so. Included from this folder's CMakeLists.txt it registers a
# CTest test; that test runs this same file in script mode to do the checks: the support
# library's exports.list names exactly what its header marks for export, the library
# defines exactly the names of all the subsystems' exports.list files (none missing,
# nothing else of ours leaking), and the x86 library is a 32-bit ELF object.

if(NOT CMAKE_SCRIPT_MODE_FILE)
  find_program(ZORV_NM nm REQUIRED)
  add_test(NAME support_exports
           COMMAND ${CMAKE_COMMAND} -DLIB=$<TARGET_FILE:zorv> -DNM=${ZORV_NM}
                   -DSOURCE=${CMAKE_SOURCE_DIR} -DWIDTH=${ZORV_WIDTH}
                   -P ${CMAKE_CURRENT_LIST_FILE})
  return()
endif()
cmake_minimum_required(VERSION 3.20)

# Names of one exports.list: one a line, '#' starts a comment (as the build reads them).
function(read_list file out)
  file(STRINGS ${file} lines)
  set(names)
  foreach(line ${lines})
    string(REGEX REPLACE "#.*$" "" line "${line}")
    string(STRIP "${line}" line)
    if(line)
      list(APPEND names ${line})
    endif()
  endforeach()
  set(${out} ${names} PARENT_SCOPE)
endfunction()

set(failures)

# Names the support header exports: the identifier before '(' or '[' on each ZORV_EXPORT
# declaration, or the last one for plain data (declarations may wrap: lines are joined).
file(READ ${SOURCE}/include/zorv/support.h header_text)
string(REGEX REPLACE "/\\*([^*]|\\*+[^*/])*\\*+/" "" header_text "${header_text}")
string(REGEX REPLACE "#define[^\n]*" "" header_text "${header_text}")
string(REGEX REPLACE "__attribute__\\(\\([a-z_]+(\\([^)]*\\))?\\)\\)" "" header_text
       "${header_text}")
string(REGEX REPLACE "\n[ \t]+" " " header_text "${header_text}")
string(REGEX MATCHALL "ZORV_EXPORT [^;{]*" decls "${header_text}")
set(declared)
foreach(d ${decls})
  if(d MATCHES "([A-Za-z_][A-Za-z0-9_]*)[ \t]*(\\(|\\[)")
    list(APPEND declared ${CMAKE_MATCH_1})
  elseif(d MATCHES "([A-Za-z_][A-Za-z0-9_]*)[ \t]*$")
    list(APPEND declared ${CMAKE_MATCH_1})
  endif()
endforeach()
list(LENGTH declared ndeclared)
if(ndeclared LESS 50)
  message(FATAL_ERROR "read only ${ndeclared} exported names from support.h: ${declared}")
endif()

read_list(${SOURCE}/support/exports.list support_names)
foreach(n ${declared})
  if(NOT n IN_LIST support_names)
    list(APPEND failures "declared for export in support.h but not listed: ${n}")
  endif()
endforeach()
foreach(n ${support_names})
  if(NOT n IN_LIST declared)
    list(APPEND failures "listed in support/exports.list but not in support.h: ${n}")
  endif()
endforeach()

file(GLOB export_lists ${SOURCE}/*/exports.list)
set(listed)
foreach(f ${export_lists})
  read_list(${f} names)
  list(APPEND listed ${names})
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
    list(APPEND failures "listed for export but not defined: ${n}")
  endif()
endforeach()
foreach(n ${defined})
  if(NOT n IN_LIST listed)
    list(APPEND failures "exported but listed nowhere: ${n}")
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
message(STATUS "libzorv.so (${WIDTH}) exports exactly the ${ndefined} listed names")
