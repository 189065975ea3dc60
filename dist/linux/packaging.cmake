# SPDX-License-Identifier: GPL-3.0-or-later
# Installation (GNUInstallDirs) and the Debian package: cpack -G DEB in the build folder gives
# terminal-config-tool_<version>_amd64.deb. scripts/package.sh runs it and lintian.

include(GNUInstallDirs)

# Installing and packaging build only the program, not every test: scripts/package.sh builds
# what the package holds.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(dist_dir ${PROJECT_SOURCE_DIR}/dist/linux)
set(dist_out ${PROJECT_BINARY_DIR}/dist)
set(PACKAGE_VENDOR "声域网络广播科技有限公司")
# The maintainer field needs an address; the project has no public home yet, so no homepage
# or screenshot address is given anywhere until one exists.
set(PACKAGE_CONTACT "Terminal Config Tool maintainers <maintainers@terminal-config-tool.example>")
set(CPACK_PACKAGE_CONTACT ${PACKAGE_CONTACT})

configure_file(${dist_dir}/terminal-config-tool.desktop.in ${dist_out}/${APP_ID}.desktop @ONLY)
configure_file(${dist_dir}/terminal-config-tool.metainfo.xml.in
               ${dist_out}/${APP_ID}.metainfo.xml @ONLY)
configure_file(${dist_dir}/terminal-config-tool.1.in ${dist_out}/terminal-config-tool.1 @ONLY)
configure_file(${dist_dir}/changelog ${dist_out}/changelog @ONLY)
# Debian wants manual pages and the changelog compressed to the maximum, without a time stamp.
foreach(file terminal-config-tool.1 changelog)
  execute_process(COMMAND gzip -9n -c ${dist_out}/${file} OUTPUT_FILE ${dist_out}/${file}.gz
                  RESULT_VARIABLE gzip_result)
  if(NOT gzip_result EQUAL 0)
    message(FATAL_ERROR "gzip ${file}: ${gzip_result}")
  endif()
endforeach()

install(TARGETS TerminalConfigTool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${dist_out}/${APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${dist_out}/${APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${dist_dir}/icons/terminal-config-tool.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${APP_ID}.svg)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${dist_dir}/icons/${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME ${APP_ID}.png)
endforeach()
# Debian's Wireshark loads every Lua file of its global plugin folder (tshark -G folders).
install(FILES ${PROJECT_SOURCE_DIR}/dist/wireshark/pa_terminal.lua
        DESTINATION lib/${CMAKE_LIBRARY_ARCHITECTURE}/wireshark/plugins)
install(FILES ${dist_out}/terminal-config-tool.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The receive buffer a normal user's program may ask for: the monitor's 4 MiB instead of the
# stock 208 KiB, with which it drops datagrams under a flood. sysctl.d(5) puts a package's
# files here, leaving /etc/sysctl.d to the administrator, whose file of the same name wins.
install(FILES ${dist_dir}/60-terminal-config-tool.conf DESTINATION lib/sysctl.d)
install(FILES ${dist_dir}/copyright ${dist_out}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/terminal-config-tool)

# lintian --pedantic reports no error, warning or pedantic tag (the package test holds it to
# that); the program has Debian's hardening flags (CMakeLists.txt). One note at the
# informational level is left: binary-has-unneeded-section .comment, the compiler's version
# string, which cpack's strip keeps.
# Two packages made from the same tree are the same bytes: cpack stamps its archives and the
# files in them with SOURCE_DATE_EPOCH when that is set, and the clock otherwise. The time is
# the changelog's latest entry's, as Debian's own builds take it; a caller's own value wins.
execute_process(COMMAND dpkg-parsechangelog -l ${dist_out}/changelog -STimestamp
                OUTPUT_VARIABLE changelog_time OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE changelog_result)
if(NOT changelog_result EQUAL 0 OR NOT changelog_time MATCHES "^[0-9]+$")
  message(FATAL_ERROR "dpkg-parsechangelog ${dist_out}/changelog: ${changelog_result}")
endif()
file(WRITE ${dist_out}/cpack_project.cmake
     "if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})\n  set(ENV{SOURCE_DATE_EPOCH} ${changelog_time})\nendif()\n")
set(CPACK_PROJECT_CONFIG_FILE ${dist_out}/cpack_project.cmake)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME terminal-config-tool)
set(CPACK_PACKAGE_VENDOR ${PACKAGE_VENDOR})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# postinst applies the raised receive buffer limit at once, not only from the next boot.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${dist_dir}/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Not linked, so shlibdeps cannot see them: the window's Song face, Qt's Chinese texts and
# arping, which asks who holds a device's address.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-noto-cjk, qt6-translations-l10n, iputils-arping")
# Capture files open in Wireshark, which loads the dissector installed below.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "wireshark | tshark")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "configure the terminal devices of an IP public-address system")
set(CPACK_PACKAGE_DESCRIPTION
    "An installer's tool for the terminal devices of an IP network public-address
(broadcast audio) system, in Simplified Chinese (终端设备配置工具软件). Over
the local network it sends a device its address, its server and its ports
(twelve device types), changes the server's own address, subnet mask and
gateway and keeps a log of that change, and sends hand-made test datagrams
while listing every datagram that arrives.")
include(CPack)
