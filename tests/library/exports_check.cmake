# cmake -DLIBRARY=file -DEXPECTED=exports.map -P exports_check.cmake
# The library's dynamic symbol table defines exactly the functions the map
# exports: nothing of ours more or less (a sanitizer's runtime symbols, which
# are not ours, are left out of the comparison).
execute_process(COMMAND nm -D --defined-only ${LIBRARY}
                OUTPUT_VARIABLE table RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${table}")
set(defined "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^[0-9a-fA-F]* *[A-Za-z] " "" name "${line}")
  if(NOT name MATCHES "^__(asan|ubsan|tsan|sanitizer|lsan)_")
    list(APPEND defined ${name})
  endif()
endforeach()

file(READ ${EXPECTED} map)
string(REGEX MATCH "global:([^}]*)local:" globals "${map}")
string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*" expected "${CMAKE_MATCH_1}")

list(SORT defined)
list(SORT expected)
list(LENGTH expected count)
if(NOT defined STREQUAL expected)
  message(FATAL_ERROR "exports differ\n  defined:  ${defined}\n  expected: ${expected}")
endif()
message(STATUS "exactly the ${count} exports")
