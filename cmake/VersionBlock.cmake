# orvella_add_version_block(TARGET
#     FILE_DESCRIPTION text  INTERNAL_NAME name  ORIGINAL_FILENAME name
#     [PRODUCT_NAME name] [FILE_TYPE 1|2])
#
# Embeds the version information into TARGET, filled from the project version:
# a VERSIONINFO resource on Windows, elsewhere a version block (see
# platform/version_block.h) laid out the way such a resource is.
set(ORVELLA_VERSION_BLOCK_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/version_block.cc.in)
set(ORVELLA_VERSION_RESOURCE_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/version_resource.rc.in)

function(orvella_add_version_block target)
    cmake_parse_arguments(VB "" "FILE_DESCRIPTION;INTERNAL_NAME;ORIGINAL_FILENAME;PRODUCT_NAME;FILE_TYPE" "" ${ARGN})
    if(NOT VB_PRODUCT_NAME)
        set(VB_PRODUCT_NAME "OrvellaForNST")
    endif()
    if(NOT VB_FILE_TYPE)
        set(VB_FILE_TYPE 1)
    endif()
    set(VB_MAJOR ${PROJECT_VERSION_MAJOR})
    set(VB_MINOR ${PROJECT_VERSION_MINOR})
    set(VB_PATCH ${PROJECT_VERSION_PATCH})
    set(VB_TWEAK ${PROJECT_VERSION_TWEAK})
    set(VB_VERSION_TEXT "${VB_MAJOR}.${VB_MINOR}.${VB_PATCH}.${VB_TWEAK}")
    if(WIN32)
        set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
        configure_file(${ORVELLA_VERSION_RESOURCE_TEMPLATE} ${out} @ONLY)
        target_sources(${target} PRIVATE ${out})
        return()
    endif()
    set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_version_block.cc)
    configure_file(${ORVELLA_VERSION_BLOCK_TEMPLATE} ${out} @ONLY)
    target_sources(${target} PRIVATE ${out})
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
endfunction()
