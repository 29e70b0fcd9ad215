# The Debian package. In a release build (no sanitizers) `cpack -G DEB` makes
# kestrun_<version>_<arch>.deb: the program and its help page in
# /usr/lib/kestrun, a `kestrun` command on the PATH, Pellora and its runner
# (setup/), the maintainer scripts that call them, a menu entry, icons and a
# manual page. Library dependencies come from dpkg-shlibdeps.

set(KESTRUN_PRIVATE_DIR lib/kestrun)

# The help page lies beside the executable, as the program looks for it there.
install(TARGETS kestrun RUNTIME DESTINATION ${KESTRUN_PRIVATE_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/resources/kestrun.htm DESTINATION ${KESTRUN_PRIVATE_DIR})

# /usr/bin/kestrun -> ../lib/kestrun/kestrun (installed as a link).
file(CREATE_LINK ../${KESTRUN_PRIVATE_DIR}/kestrun ${CMAKE_BINARY_DIR}/kestrun-command-link SYMBOLIC)
install(FILES ${CMAKE_BINARY_DIR}/kestrun-command-link DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME kestrun)

install(FILES ${CMAKE_SOURCE_DIR}/resources/kestrun.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# AppStream metadata for software centres. Screenshots must be public web
# addresses: without KESTRUN_SCREENSHOT_URL the metadata goes without one.
set(KESTRUN_APPSTREAM_ID org.kestrun.Kestrun)
set(KESTRUN_SCREENSHOT_URL "" CACHE STRING "public https:// address of docs/screenshot.png, for the AppStream metadata")
file(READ ${CMAKE_SOURCE_DIR}/resources/kestrun.metainfo.xml.in KESTRUN_METAINFO)
if(NOT KESTRUN_SCREENSHOT_URL)
  string(REGEX REPLACE "  <!-- screenshots -->.*<!-- end of screenshots -->\n" "" KESTRUN_METAINFO "${KESTRUN_METAINFO}")
endif()
string(CONFIGURE "${KESTRUN_METAINFO}" KESTRUN_METAINFO @ONLY)
set(KESTRUN_METAINFO_FILE ${CMAKE_BINARY_DIR}/${KESTRUN_APPSTREAM_ID}.metainfo.xml)
file(CONFIGURE OUTPUT ${KESTRUN_METAINFO_FILE} CONTENT "${KESTRUN_METAINFO}" @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/kestrun.metainfo.xml.in)
install(FILES ${KESTRUN_METAINFO_FILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 32 48 128)
  install(FILES ${CMAKE_SOURCE_DIR}/resources/icons/kestrun-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME kestrun.png)
endforeach()

# Manual pages are installed compressed; -n keeps the archive free of a time stamp.
set(KESTRUN_MANPAGE ${CMAKE_BINARY_DIR}/kestrun.1.gz)
add_custom_command(OUTPUT ${KESTRUN_MANPAGE}
  COMMAND gzip -9 -n -c ${CMAKE_SOURCE_DIR}/resources/kestrun.1 > ${KESTRUN_MANPAGE}
  DEPENDS ${CMAKE_SOURCE_DIR}/resources/kestrun.1
  COMMENT "Compressing the manual page")
add_custom_target(kestrun_manpage ALL DEPENDS ${KESTRUN_MANPAGE})
install(FILES ${KESTRUN_MANPAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrun)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Kestrun developers <${KESTRUN_BUG_ADDRESS}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "task manager for programs, processes, services, devices and network")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "task manager for programs, processes, services, devices and network\n"
  " Kestrun shows, in one window with six tab pages, the programs with a\n"
  " visible window, every process with its CPU and memory figures, the\n"
  " services, the active device drivers, CPU and memory load, and the traffic\n"
  " of every network interface, and acts on them: switch to or end a program,\n"
  " terminate a process or change its priority, start and stop services.\n"
  " kestrun --batch prints the same pages as text.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The help viewer is the desktop's browser, started through xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${CMAKE_SOURCE_DIR}/setup/debian/postinst
  ${CMAKE_SOURCE_DIR}/setup/debian/prerm
  ${CMAKE_SOURCE_DIR}/setup/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_STRIP_FILES TRUE)
include(CPack)
