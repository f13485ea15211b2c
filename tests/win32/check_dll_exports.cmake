# Checks a DLL's import and export lists with the target's objdump:
cmake_minimum_required(VERSION 3.25)
#   cmake -DOBJDUMP=... -DDLL=... -DIMPORTS=a.dll,b.dll -DEXPORTS=f,g -P check_dll_exports.cmake
# Fails when it imports from any DLL outside IMPORTS (case-insensitive) or,
# when EXPORTS is given, does not export exactly EXPORTS.
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "${OBJDUMP} -p ${DLL} failed")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" lines "${dump}")
string(REPLACE "," ";" allowed "${IMPORTS}")
string(TOLOWER "${allowed}" allowed)
foreach(line IN LISTS lines)
    string(REGEX REPLACE "DLL Name: ([^\n ]+).*" "\\1" name "${line}")
    string(TOLOWER "${name}" lower)
    if(NOT lower IN_LIST allowed)
        message(FATAL_ERROR "${DLL} imports from ${name}, which is not a system DLL or NSTFeed.dll")
    endif()
endforeach()

if(NOT DEFINED EXPORTS)
    message(STATUS "${DLL}: imports ${lines}")
    return()
endif()

# The export name table follows "[Ordinal/Name Pointer] Table".
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table[^\n]*\n(([ \t]+\\[[ 0-9]+\\] [^\n]+\n)+)" table "${dump}")
string(REGEX MATCHALL "\\] [A-Za-z_][A-Za-z0-9_@]*" names "${CMAKE_MATCH_1}")
list(TRANSFORM names REPLACE "\\] " "")
list(SORT names)
string(REPLACE "," ";" expected "${EXPORTS}")
list(SORT expected)
if(NOT names STREQUAL expected)
    message(FATAL_ERROR "${DLL} exports '${names}', expected exactly '${expected}'")
endif()
message(STATUS "${DLL}: imports ${lines}; exports ${names}")
