# The application icon: drawn once as SVG, rendered to the usual PNG sizes at build time,
# installed into the hicolor theme and embedded in `target` for its window icon.
set(VELMORA_ICON_SVG ${CMAKE_CURRENT_LIST_DIR}/com.velmora.Connect.svg)

function(velmora_add_application_icon target)
    find_program(VELMORA_RSVG_CONVERT rsvg-convert)
    if(NOT VELMORA_RSVG_CONVERT)
        message(FATAL_ERROR "rsvg-convert not found: install librsvg2-bin")
    endif()
    set(pngs)
    set(embedded)
    # Ninja makes an output's folder by itself; Make does not.
    file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/icons)
    foreach(size 16 22 24 32 48 64 128 256 512)
        set(png ${CMAKE_CURRENT_BINARY_DIR}/icons/${size}.png)
        add_custom_command(OUTPUT ${png}
            COMMAND ${VELMORA_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${VELMORA_ICON_SVG}
            DEPENDS ${VELMORA_ICON_SVG} VERBATIM)
        install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME com.velmora.Connect.png COMPONENT Runtime)
        list(APPEND pngs ${png})
        if(size LESS_EQUAL 256)
            list(APPEND embedded ${png})
        endif()
    endforeach()
    add_custom_target(${target}_icons ALL DEPENDS ${pngs})
    install(FILES ${VELMORA_ICON_SVG} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        COMPONENT Runtime)
    qt_add_resources(${target} application_icon PREFIX /icons BASE ${CMAKE_CURRENT_BINARY_DIR}/icons
        FILES ${embedded})
endfunction()
