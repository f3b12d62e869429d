# Fails unless the library's dynamic symbol table defines exactly the entry symbol.
# Usage: cmake -DLIBRARY=<path> -DENTRY=<symbol> -DNM=<nm> -P CheckExports.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
    OUTPUT_VARIABLE table ERROR_VARIABLE nm_error RESULT_VARIABLE nm_result)
if(NOT nm_result EQUAL 0)
    message(FATAL_ERROR "cannot read the dynamic symbols of ${LIBRARY}: ${nm_error}")
endif()

string(REPLACE "\n" ";" lines "${table}")
set(exported "")
foreach(line IN LISTS lines)
    # "<address> <type> <name>"; the name may carry a version after '@'.
    if(line MATCHES "^[0-9a-fA-F]* *[A-Za-z] +([^ @]+)")
        list(APPEND exported ${CMAKE_MATCH_1})
    endif()
endforeach()

set(unexpected ${exported})
list(REMOVE_ITEM unexpected ${ENTRY})
if(unexpected)
    message(FATAL_ERROR "${LIBRARY} exports more than ${ENTRY}: ${unexpected}")
endif()
if(NOT ENTRY IN_LIST exported)
    message(FATAL_ERROR "${LIBRARY} does not export ${ENTRY}")
endif()
message(STATUS "${LIBRARY} exports only ${ENTRY}")
