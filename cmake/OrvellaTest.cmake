# The one way a GoogleTest program joins the build and CTest, for every
# preset. A program whose dependency this configuration lacks fails the
# configure instead of leaving its tests out.
#
# orvella_add_gtest(<name>
#     SOURCES <file>...             the program's sources
#     [LIBRARIES <target>...]       linked besides GoogleTest and its main
#     [NO_MAIN]                     the program brings its own main
#     [DEFINITIONS <name=value>...]
#     [DEPENDS <target>...]         programs the tests start: built first
#     [PREFIX <text>]               put before every test name
#     [TIMEOUT <seconds>] [COST <seconds>] [LABELS <label>...] [RESOURCE_LOCK <name>]
#     [ENVIRONMENT <name=value>...]
#     [EMULATOR <program>]          runs the program and its listing through it
#     [GROUP FILTER <filter> [TIMEOUT <s>] [COST <s>] [LABELS <label>...]
#            [RESOURCE_LOCK <name>]]...
#     [WINDOWS <program> [WINDOWS_SOURCES <file>...] [WINDOWS_EXCLUDE <test>...]
#                        [WINDOWS_TIMEOUT <seconds>] [WINDOWS_COST <seconds>]])
#
# The POSIX build lists every test of the program with CTest, once per GROUP
# (each a gtest filter with its own time limit, cost, labels and lock) or once
# for all. COST is about the longest test's seconds in the slowest preset:
# without the timings of an earlier run (a clean clone) CTest starts the
# costliest tests first, so that a long test does not start last and leave the
# other processors idle at the end. A Windows program runs all its tests at
# once: WINDOWS_COST is its whole run's seconds (the largest of its calls).
# The Windows build runs a program under wine only where WINDOWS names it:
# wine takes seconds to start a program, so each runs once as the test
# windows.<program>; calls that name the same program add their sources
# (WINDOWS_SOURCES, else SOURCES) to it, and WINDOWS_EXCLUDE leaves single
# tests out. Where the 32-bit side of wine cannot run here, the x86 build's
# programs are not built and ORVELLA_WINDOWS_TESTS_SKIPPED says why.

# Builds the programs of the tests labelled tsan and what they start, and
# nothing else: the tsan preset runs only those.
add_custom_target(orvella_tsan_tests)

if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    execute_process(COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} --check-x86
                    OUTPUT_VARIABLE ORVELLA_WINDOWS_TESTS_SKIPPED
                    OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE cannot_run)
    if(NOT cannot_run)
        set(ORVELLA_WINDOWS_TESTS_SKIPPED "")
    endif()
    unset(cannot_run)
endif()

# GoogleTest and the standard headers most tests take, parsed once for all
# programs. A precompiled header is valid only for compiles with the same
# flags, so it is built by a program of its own with the flags of a test of
# the platform library (whose Windows definitions change the system headers),
# and taken by the programs whose libraries bring the same options and
# definitions (Qt's -fPIC would make it invalid). A compiler cache must be told
# that a precompiled header may be cached; the sloppiness is harmless here,
# as no source reads the build's date or time.
set(ORVELLA_GTEST_PCH_HEADERS
    <gtest/gtest.h> <algorithm> <atomic> <chrono> <cstdint> <cstdlib> <cstring>
    <filesystem> <fstream> <functional> <map> <memory> <sstream> <string>
    <string_view> <thread> <vector>)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/orvella_gtest_pch.cc CONTENT "int main() { return 0; }\n")
add_executable(orvella_gtest_pch EXCLUDE_FROM_ALL ${CMAKE_BINARY_DIR}/orvella_gtest_pch.cc)
target_link_libraries(orvella_gtest_pch PRIVATE GTest::gtest orvella_platform)
target_precompile_headers(orvella_gtest_pch PRIVATE ${ORVELLA_GTEST_PCH_HEADERS})
set(ORVELLA_GTEST_PCH_LAUNCHER)
list(GET CMAKE_CXX_COMPILER_LAUNCHER 0 launcher)
if(launcher MATCHES "(^|/)ccache$")
    set(ORVELLA_GTEST_PCH_LAUNCHER
        ${CMAKE_COMMAND} -E env
        CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
        ${CMAKE_CXX_COMPILER_LAUNCHER})
    set_target_properties(orvella_gtest_pch PROPERTIES
                          CXX_COMPILER_LAUNCHER "${ORVELLA_GTEST_PCH_LAUNCHER}")
endif()
unset(launcher)
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL _orvella_share_gtest_pch)

function(orvella_add_gtest name)
    set(one PREFIX TIMEOUT COST RESOURCE_LOCK EMULATOR WINDOWS WINDOWS_TIMEOUT WINDOWS_COST)
    set(many SOURCES LIBRARIES DEFINITIONS DEPENDS LABELS ENVIRONMENT
             WINDOWS_SOURCES WINDOWS_EXCLUDE)
    # Everything from the first GROUP on describes the groups.
    list(FIND ARGN GROUP first_group)
    set(groups)
    set(own ${ARGN})
    if(first_group GREATER_EQUAL 0)
        list(SUBLIST ARGN ${first_group} -1 groups)
        list(SUBLIST ARGN 0 ${first_group} own)
    endif()
    cmake_parse_arguments(ARG "NO_MAIN" "${one}" "${many}" ${own})
    if(ARG_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR "orvella_add_gtest(${name}): unknown arguments ${ARG_UNPARSED_ARGUMENTS}")
    endif()
    if(NOT ARG_SOURCES)
        message(FATAL_ERROR "orvella_add_gtest(${name}): no SOURCES")
    endif()
    if(WIN32 AND (NOT ARG_WINDOWS OR ORVELLA_WINDOWS_TESTS_SKIPPED))
        return()
    endif()
    # Programs and libraries may be defined later in the tree: checked once
    # all are known. System libraries (ws2_32) are names for the linker.
    # Imported ones (Qt5::Core) are found before, and seen only here.
    set(needed ${ARG_DEPENDS})
    foreach(library IN LISTS ARG_LIBRARIES)
        if(library MATCHES "::")
            _orvella_check_targets(${name} ${library})
        elseif(library MATCHES "^(orvella|nsthost)_")
            list(APPEND needed ${library})
        endif()
    endforeach()
    if(needed)
        # A deferred call expands its arguments when it runs: pass values.
        cmake_language(EVAL CODE "cmake_language(DEFER DIRECTORY [[${PROJECT_SOURCE_DIR}]]
                                  CALL _orvella_check_targets ${name} ${needed})")
    endif()

    if(WIN32)
        set(sources ${ARG_SOURCES})
        if(ARG_WINDOWS_SOURCES)
            set(sources ${ARG_WINDOWS_SOURCES})
        endif()
        _orvella_windows_gtest(${ARG_WINDOWS})
        return()
    endif()

    add_executable(${name} ${ARG_SOURCES})
    _orvella_gtest_program(${name})
    if(ARG_EMULATOR)
        set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR ${ARG_EMULATOR})
    endif()
    if(NOT groups)
        set(groups GROUP)
    endif()
    # One gtest_discover_tests per group, each with the program's settings
    # unless the group names its own.
    list(APPEND groups GROUP)
    set(group)
    list(POP_FRONT groups)
    foreach(word IN LISTS groups)
        if(NOT word STREQUAL "GROUP")
            list(APPEND group ${word})
            continue()
        endif()
        cmake_parse_arguments(G "" "FILTER;TIMEOUT;COST;RESOURCE_LOCK" "LABELS" ${group})
        if(G_UNPARSED_ARGUMENTS)
            message(FATAL_ERROR "orvella_add_gtest(${name}): unknown group arguments ${G_UNPARSED_ARGUMENTS}")
        endif()
        foreach(setting TIMEOUT COST RESOURCE_LOCK LABELS)
            if(NOT DEFINED G_${setting})
                set(G_${setting} ${ARG_${setting}})
            endif()
        endforeach()
        set(properties)
        foreach(setting TIMEOUT COST RESOURCE_LOCK LABELS)
            if(G_${setting})
                list(APPEND properties ${setting} "${G_${setting}}")
            endif()
        endforeach()
        if(ARG_ENVIRONMENT)
            list(APPEND properties ENVIRONMENT "${ARG_ENVIRONMENT}")
        endif()
        set(options)
        if(ARG_PREFIX)
            list(APPEND options TEST_PREFIX ${ARG_PREFIX})
        endif()
        if(G_FILTER)
            list(APPEND options TEST_FILTER ${G_FILTER})
        endif()
        gtest_discover_tests(${name} ${options} PROPERTIES ${properties} DISCOVERY_TIMEOUT 30)
        if("tsan" IN_LIST G_LABELS)
            add_dependencies(orvella_tsan_tests ${name})
        endif()
        set(group)
    endforeach()
endfunction()

function(_orvella_check_targets name)
    foreach(target IN LISTS ARGN)
        if(NOT TARGET ${target})
            message(FATAL_ERROR "The test program ${name} needs ${target}, which this "
                                "configuration does not build")
        endif()
    endforeach()
endfunction()

# The target settings every test program shares; reads the caller's ARG_*.
macro(_orvella_gtest_program target)
    set_property(GLOBAL APPEND PROPERTY ORVELLA_GTEST_PROGRAMS ${target})
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
    if(ARG_NO_MAIN)
        target_link_libraries(${target} PRIVATE ${ARG_LIBRARIES} GTest::gtest)
    else()
        target_link_libraries(${target} PRIVATE ${ARG_LIBRARIES} GTest::gtest_main)
    endif()
    if(ARG_DEFINITIONS)
        target_compile_definitions(${target} PRIVATE ${ARG_DEFINITIONS})
    endif()
    if(ARG_DEPENDS)
        add_dependencies(${target} ${ARG_DEPENDS})
    endif()
endmacro()

# One Windows program gathered from every call that names it; its test is
# registered once all calls are known.
macro(_orvella_windows_gtest program)
    list(TRANSFORM sources PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/ REGEX "^[^/]")
    if(TARGET ${program})
        target_sources(${program} PRIVATE ${sources})
    else()
        add_executable(${program} ${sources})
        set_property(GLOBAL APPEND PROPERTY ORVELLA_WINDOWS_GTESTS ${program})
    endif()
    _orvella_gtest_program(${program})
    set_property(TARGET ${program} APPEND PROPERTY ORVELLA_GTEST_EXCLUDE ${ARG_WINDOWS_EXCLUDE})
    set(timeout ${ARG_WINDOWS_TIMEOUT})
    if(NOT timeout)
        set(timeout ${ARG_TIMEOUT})
    endif()
    get_property(longest TARGET ${program} PROPERTY ORVELLA_GTEST_TIMEOUT)
    if(NOT longest OR timeout GREATER longest)
        set_property(TARGET ${program} PROPERTY ORVELLA_GTEST_TIMEOUT ${timeout})
    endif()
    get_property(cost TARGET ${program} PROPERTY ORVELLA_GTEST_COST)
    if(ARG_WINDOWS_COST AND (NOT cost OR ARG_WINDOWS_COST GREATER cost))
        set_property(TARGET ${program} PROPERTY ORVELLA_GTEST_COST ${ARG_WINDOWS_COST})
    endif()
    get_property(pending GLOBAL PROPERTY ORVELLA_WINDOWS_GTESTS_DEFERRED)
    if(NOT pending)
        set_property(GLOBAL PROPERTY ORVELLA_WINDOWS_GTESTS_DEFERRED ON)
        cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL _orvella_register_windows_gtests)
    endif()
endmacro()

function(_orvella_register_windows_gtests)
    get_property(programs GLOBAL PROPERTY ORVELLA_WINDOWS_GTESTS)
    foreach(program IN LISTS programs)
        get_property(exclude TARGET ${program} PROPERTY ORVELLA_GTEST_EXCLUDE)
        get_property(timeout TARGET ${program} PROPERTY ORVELLA_GTEST_TIMEOUT)
        get_property(cost TARGET ${program} PROPERTY ORVELLA_GTEST_COST)
        set(filter)
        if(exclude)
            list(JOIN exclude ":" filter)
            set(filter --gtest_filter=-${filter})
        endif()
        add_test(NAME windows.${program} COMMAND ${program} --gtest_brief=1 ${filter}
                 WORKING_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
        set_tests_properties(windows.${program} PROPERTIES TIMEOUT ${timeout})
        if(cost)
            set_tests_properties(windows.${program} PROPERTIES COST ${cost})
        endif()
    endforeach()
endfunction()

# Once every library is known: the programs whose libraries bring the
# precompiled header's options and definitions take it.
function(_orvella_share_gtest_pch)
    _orvella_compile_usage(orvella_gtest_pch common)
    get_property(programs GLOBAL PROPERTY ORVELLA_GTEST_PROGRAMS)
    list(REMOVE_DUPLICATES programs)
    foreach(program IN LISTS programs)
        _orvella_compile_usage(${program} options)
        if(NOT options STREQUAL common)
            continue()
        endif()
        target_precompile_headers(${program} REUSE_FROM orvella_gtest_pch)
        if(ORVELLA_GTEST_PCH_LAUNCHER)
            set_target_properties(${program} PROPERTIES
                                  CXX_COMPILER_LAUNCHER "${ORVELLA_GTEST_PCH_LAUNCHER}")
        endif()
    endforeach()
endfunction()

# The compile options and definitions a target takes from the libraries it
# links, directly or through their public links (the private links of a
# static library, $<LINK_ONLY:...>, bring none).
function(_orvella_compile_usage target result)
    set(options)
    set(seen)
    get_target_property(pending ${target} LINK_LIBRARIES)
    while(pending)
        list(POP_FRONT pending library)
        if(library IN_LIST seen)
            continue()
        endif()
        if(NOT TARGET ${library})
            # An imported library no folder found: its options are unknown.
            if(library MATCHES "^[A-Za-z0-9_]+::[A-Za-z0-9_]+$")
                list(APPEND options "unknown:${library}")
            endif()
            continue()
        endif()
        list(APPEND seen ${library})
        foreach(property INTERFACE_COMPILE_OPTIONS INTERFACE_COMPILE_DEFINITIONS)
            get_target_property(own ${library} ${property})
            if(own)
                list(APPEND options ${own})
            endif()
        endforeach()
        get_target_property(links ${library} INTERFACE_LINK_LIBRARIES)
        if(links)
            list(APPEND pending ${links})
        endif()
    endwhile()
    # The project's own macros are not read by the precompiled headers.
    list(FILTER options EXCLUDE REGEX "^ORVELLA_")
    list(REMOVE_DUPLICATES options)
    list(SORT options)
    set(${result} "${options}" PARENT_SCOPE)
endfunction()
