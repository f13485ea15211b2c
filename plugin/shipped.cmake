# The shipped plug-in: the shared library the charting host loads. It joins
# the subsystems and exports exactly UserIDPasswordChanged, RequestTicker and
# RemoveTicker.
if(TARGET orvella_history AND TARGET orvella_levelone)
    add_library(OrvellaForNST SHARED ${CMAKE_CURRENT_LIST_DIR}/boundary/exports/parts_binding.cc)
    target_link_libraries(OrvellaForNST PRIVATE
        orvella_plugin_entry orvella_exports orvella_history orvella_levelone orvella_boundary
        orvella_diagnostics)
    if(WIN32)
        # OrvellaForNST.dll, with everything but the system's DLLs and
        # NSTFeed.dll linked in, so that a host's LoadLibrary needs nothing
        # from the plug-in's folder.
        target_sources(OrvellaForNST PRIVATE ${CMAKE_CURRENT_LIST_DIR}/boundary/exports/OrvellaForNST.def)
        set_target_properties(OrvellaForNST PROPERTIES PREFIX "")
    else()
        target_link_options(OrvellaForNST PRIVATE "-Wl,--version-script=${ORVELLA_EXPORTS_MAP}")
        set_target_properties(OrvellaForNST PROPERTIES LINK_DEPENDS ${ORVELLA_EXPORTS_MAP})
    endif()
    orvella_add_version_block(OrvellaForNST
        FILE_DESCRIPTION "Orvella data pump for Nova Scope Trader"
        INTERNAL_NAME "OrvellaForNST"
        ORIGINAL_FILENAME "OrvellaForNST.dll"
        FILE_TYPE 2)
    install(TARGETS OrvellaForNST LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()
