# Linux desktop integration and the Debian package: program icon rendered
# from its SVG, the command velmora with its manual page, the desktop entry,
# AppStream metainfo, the book's pages with the loopback book service that
# serves them (socket unit, per-connection service unit, the BusyBox httpd
# configuration), and the
# .deb through CPack. The build output keeps its name Velmora (the tests and
# the Windows program use it); the installed command is lowercase.
if(NOT (UNIX AND NOT APPLE))
  return()
endif()

include(GNUInstallDirs)
set(VELMORA_APP_ID org.velmora.Velmora)
set(VELMORA_ICON_SVG ${CMAKE_SOURCE_DIR}/data/${VELMORA_APP_ID}.svg)
set(VELMORA_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(VELMORA_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/velmora)

# The PNGs land in the build tree as icons/hicolor/<n>x<n>/apps beside the
# executable, where the GTK backend finds them before installation.
find_program(RSVG_CONVERT rsvg-convert)
if(RSVG_CONVERT)
  set(VELMORA_ICON_PNGS)
  foreach(size 16 24 32 48 256)
    set(icon_dir ${CMAKE_BINARY_DIR}/icons/hicolor/${size}x${size}/apps)
    set(icon_png ${icon_dir}/${VELMORA_APP_ID}.png)
    add_custom_command(
      OUTPUT ${icon_png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${icon_dir}
      COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${icon_png} ${VELMORA_ICON_SVG}
      DEPENDS ${VELMORA_ICON_SVG}
      COMMENT "Rendering the ${size}x${size} program icon")
    list(APPEND VELMORA_ICON_PNGS ${icon_png})
    install(FILES ${icon_png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
  add_custom_target(velmora_icons ALL DEPENDS ${VELMORA_ICON_PNGS})
else()
  message(STATUS "rsvg-convert not found: only the scalable program icon is installed")
endif()

# Gzipped with no time stamp or name inside, so that two builds give the
# same package.
find_program(GZIP gzip REQUIRED)
set(VELMORA_GZIPPED)
foreach(pair "velmora.1;velmora.1.gz" "changelog;changelog.Debian.gz")
  list(GET pair 0 source)
  list(GET pair 1 gzipped)
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/packaging/${gzipped}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND ${GZIP} -9 -n -c ${VELMORA_PACKAGING_DIR}/${source} > ${CMAKE_BINARY_DIR}/packaging/${gzipped}
    DEPENDS ${VELMORA_PACKAGING_DIR}/${source}
    COMMENT "Compressing ${source}")
  list(APPEND VELMORA_GZIPPED ${CMAKE_BINARY_DIR}/packaging/${gzipped})
endforeach()
add_custom_target(velmora_package_docs ALL DEPENDS ${VELMORA_GZIPPED})

if(TARGET velmora)
  # Installed as a target so that a stripping install (CPack) strips it,
  # then given the command's name.
  install(TARGETS velmora RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(CODE "file(RENAME \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:velmora>\"
                            \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/velmora\")")
endif()
install(FILES ${VELMORA_ICON_SVG} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES data/${VELMORA_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/${VELMORA_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(DIRECTORY book/ DESTINATION ${CMAKE_INSTALL_DATADIR}/velmora/book FILES_MATCHING PATTERN "*.html")
install(FILES ${VELMORA_PACKAGING_DIR}/velmora-book.conf DESTINATION ${CMAKE_INSTALL_DATADIR}/velmora)
# Debian 12 keeps the system's units under /lib.
install(FILES ${VELMORA_PACKAGING_DIR}/velmora-book.socket ${VELMORA_PACKAGING_DIR}/velmora-book@.service
        DESTINATION /lib/systemd/system)
install(FILES ${CMAKE_BINARY_DIR}/packaging/velmora.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${VELMORA_PACKAGING_DIR}/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz
        DESTINATION ${VELMORA_DOC_DIR})
install(FILES ${VELMORA_PACKAGING_DIR}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME velmora)

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "velmora")
set(CPACK_PACKAGE_VENDOR "Velmora")
set(CPACK_PACKAGE_CONTACT "Velmora maintainers <maintainers@velmora.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "reader for a four-chapter book on ship navigation")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Packaged apart from the sources: revision 1, as packaging/changelog says.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION "education")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# BusyBox brings no service of its own (a web server package would start
# one on port 80 at installation and take the book's place).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "busybox")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${VELMORA_PACKAGING_DIR}/postinst ${VELMORA_PACKAGING_DIR}/prerm ${VELMORA_PACKAGING_DIR}/postrm)
# CPack puts the summary in front of this text itself.
set(CPACK_PACKAGE_DESCRIPTION "One window with a table of contents and a reader page; each chapter
is loaded into an embedded web view. The chapter pages are served on this
machine by a loopback-only web server, started for each request.")
include(CPack)
