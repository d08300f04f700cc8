# What a user installs: the program, its manual page, desktop entry, icons and
# licences, and the packages CPack makes of them: a .deb on Linux, a zip on
# Windows, both in VISTREL_DIST_DIR.
# The manual page is written in scdoc and turned into roff at build time.

set(VISTREL_DIST_DIR ${PROJECT_SOURCE_DIR}/build/dist CACHE PATH "Where the packages are put")

set(CPACK_PACKAGE_NAME vistrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The vistrel authors")
set(CPACK_PACKAGE_CONTACT "The vistrel authors <vistrel@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "show one web page or an HTML file in a window")
set(CPACK_PACKAGE_DIRECTORY ${VISTREL_DIST_DIR})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_THREADS 1)

if(WIN32)
  # vistrel.exe and the loader side by side, with the licences and a read-me.
  install(TARGETS vistrel RUNTIME DESTINATION .)
  if(VISTREL_WEBVIEW2_SDK)
    install(FILES ${VISTREL_WEBVIEW2_LOADER} DESTINATION .)
    install(FILES ${VISTREL_WEBVIEW2_PACKAGE}/LICENSE.txt DESTINATION . RENAME WebView2Loader-LICENSE.txt)
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
  configure_file(${_pkg_src}/README-windows.txt.in ${_pkg_out}/README.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${_pkg_out}/README.txt DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME vistrel-${PROJECT_VERSION}-windows-x64)
else()
  include(GNUInstallDirs)
  vistrel_require_program(VISTREL_SCDOC scdoc scdoc)
  find_program(VISTREL_GZIP gzip REQUIRED)
  # Debian keeps manual pages and changelogs compressed, without a time stamp.
  add_custom_command(
    OUTPUT ${_pkg_out}/vistrel.1.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_pkg_out}
    COMMAND sh -c "'${VISTREL_SCDOC}' < '${_pkg_src}/vistrel.1.scd' | '${VISTREL_GZIP}' -9n > '${_pkg_out}/vistrel.1.gz'"
    DEPENDS ${_pkg_src}/vistrel.1.scd
    VERBATIM)
  add_custom_command(
    OUTPUT ${_pkg_out}/changelog.gz
    COMMAND sh -c "'${VISTREL_GZIP}' -9n < '${_pkg_src}/changelog' > '${_pkg_out}/changelog.gz'"
    DEPENDS ${_pkg_src}/changelog
    VERBATIM)
  add_custom_target(vistrel_manual ALL DEPENDS ${_pkg_out}/vistrel.1.gz ${_pkg_out}/changelog.gz)

  install(TARGETS vistrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(TARGETS vistrel_web_process LIBRARY DESTINATION ${VISTREL_WEB_PROCESS_DIR})
  install(FILES ${_pkg_out}/vistrel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${_pkg_src}/vistrel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(DIRECTORY ${_pkg_out}/icons/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
  install(FILES ${_pkg_src}/vistrel.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES ${_pkg_src}/copyright ${_pkg_out}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vistrel)

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION web)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://github.com/vistrel/vistrel")
  # The libraries' packages (WebKitGTK 4.1, GTK 3 …) come from what the program links.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  set(CPACK_PACKAGE_DESCRIPTION
      "vistrel shows one web page, a local file, or HTML read from a file in a single\n"
      "window, driven entirely by its command line: size and position, full screen,\n"
      "fixed size, a limited browser interface, browsing kept to the first page's\n"
      "site, browsing data kept under a named profile or thrown away at exit, private\n"
      "mode, muted sound and zoom matched to the display scaling. It can show an HTML\n"
      "file again whenever it changes, for boards and dashboards.")
  string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
endif()

include(CPack)
