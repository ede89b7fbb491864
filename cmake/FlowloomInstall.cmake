# Install rules and the Debian package.
#
# The layout is fixed (bin/, share/...) because the program reads it back:
# a program in <prefix>/bin beside <prefix>/share/applications/<id>.desktop
# counts as installed, and its guide is <prefix>/share/doc/flowloom/flowloom.html
# (app/ini/FileLocations).

set(FLOWLOOM_ID org.example.flowloom)
set(install_dir ${PROJECT_SOURCE_DIR}/app/install)
set(packed_dir ${PROJECT_BINARY_DIR}/install)

# Manual page and changelog, compressed as Debian keeps them (no time stamp).
find_program(FLOWLOOM_GZIP gzip REQUIRED)
set(packed)
foreach(name flowloom.1 changelog)
    add_custom_command(OUTPUT ${packed_dir}/${name}.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${packed_dir}
        COMMAND ${CMAKE_COMMAND} -E copy ${install_dir}/${name} ${packed_dir}/${name}
        COMMAND ${FLOWLOOM_GZIP} -9 -n -f ${packed_dir}/${name}
        DEPENDS ${install_dir}/${name} VERBATIM)
    list(APPEND packed ${packed_dir}/${name}.gz)
endforeach()
add_custom_target(flowloom_install_files ALL DEPENDS ${packed})

install(TARGETS flowloom RUNTIME DESTINATION bin)
install(FILES ${install_dir}/${FLOWLOOM_ID}.desktop DESTINATION share/applications)
install(FILES ${install_dir}/${FLOWLOOM_ID}.metainfo.xml DESTINATION share/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/app/icons/flowloom.svg
        DESTINATION share/icons/hicolor/scalable/apps RENAME ${FLOWLOOM_ID}.svg)
foreach(size IN LISTS FLOWLOOM_ICON_SIZES)
    install(FILES ${PROJECT_BINARY_DIR}/app/icons/flowloom-${size}.png
            DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME ${FLOWLOOM_ID}.png)
endforeach()
install(FILES ${packed_dir}/flowloom.1.gz DESTINATION share/man/man1)
install(FILES ${PROJECT_SOURCE_DIR}/app/help/flowloom.html ${packed_dir}/changelog.gz
        ${install_dir}/copyright DESTINATION share/doc/flowloom)
# systemd units for a run without a window: one for the whole machine, one for
# a user (both flowloom.service, each in its manager's folder). Enabling them
# is the administrator's or the user's choice, so the package only ships them.
install(FILES ${install_dir}/flowloom.service DESTINATION lib/systemd/system)
install(FILES ${install_dir}/flowloom-user.service DESTINATION lib/systemd/user
        RENAME flowloom.service)
# A Grafana dashboard over our metric names, for machines Prometheus scrapes.
install(FILES ${PROJECT_SOURCE_DIR}/app/install/flowloom-dashboard.json DESTINATION share/flowloom)
# Registers the guide with Debian's documentation index (ignored elsewhere).
install(FILES ${install_dir}/flowloom.doc-base DESTINATION share/doc-base RENAME flowloom)

# make package: a .deb through CPack.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME flowloom)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Flowloom developers")
set(CPACK_PACKAGE_CONTACT "Flowloom developers <developers@flowloom.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop bandwidth monitor with a live graph")
set(CPACK_PACKAGE_DESCRIPTION
"Flowloom reads the octet counters of the network interfaces once a second
and shows the download and upload rates of the chosen interface as a
scrolling graph, with current, peak and average rates, the session total
and cumulative totals that survive restarts.

It can publish the graph and the statistics on a small built-in web
server, save the graph as BMP, JPEG, GIF or PNG (per completed page or on
demand), copy or print it, and sit in the notification area.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://flowloom.example.org/")
# Libraries from dpkg-shlibdeps; the graph's Arial is Liberation Sans, and a
# window needs Qt's platform plugins, which no library link names.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation, qt6-qpa-plugins")
# The guide and the project page open in the desktop's default programs.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
include(CPack)
