# Installation and the Debian package (cpack -G DEB): the programs in /usr/bin, the library in a
# private folder the programs find through their RPATH, desktop entry and icons, manual pages, and
# the service for the continuous run.
include(GNUInstallDirs)

set(TALVIX_PRIVATE_LIBDIR "${CMAKE_INSTALL_LIBDIR}/autoiepcensad")
set(packaging "${PROJECT_SOURCE_DIR}/packaging")
set(staged "${CMAKE_BINARY_DIR}/packaging")

# From /usr/bin to the private folder; relative, so an unpacked package runs where it lies.
file(RELATIVE_PATH to_library "/usr/${CMAKE_INSTALL_BINDIR}" "/usr/${TALVIX_PRIVATE_LIBDIR}")
set_target_properties(autoiepcensad autoiepcensad_run PROPERTIES INSTALL_RPATH "$ORIGIN/${to_library}")

install(TARGETS autoiepcensad autoiepcensad_run RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS autoiepcensad_lib LIBRARY DESTINATION ${TALVIX_PRIVATE_LIBDIR} NAMELINK_SKIP)

# The window's own icon, drawn as XPM, made PNG for the desktop.
find_package(Qt6 REQUIRED COMPONENTS Gui)
add_executable(xpm_to_png "${packaging}/xpm_to_png.cpp")
target_link_libraries(xpm_to_png PRIVATE Qt6::Gui)
set(icons "")
foreach(size 16 32)
  set(png "${staged}/icons/${size}x${size}/autoiepcensad.png")
  add_custom_command(OUTPUT "${png}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${staged}/icons/${size}x${size}"
    COMMAND xpm_to_png "${PROJECT_SOURCE_DIR}/src/shell/icons/window${size}.xpm" "${png}"
    DEPENDS xpm_to_png "${PROJECT_SOURCE_DIR}/src/shell/icons/window${size}.xpm"
    COMMENT "Making the ${size}x${size} icon")
  list(APPEND icons "${png}")
  install(FILES "${png}" DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# Manual pages and the changelog go in compressed, as Debian keeps them.
set(CPACK_PACKAGE_CONTACT "Talvix developers <talvix@ormanta.example>")
set(VERSION "${PROJECT_VERSION}")
set(CONTACT "${CPACK_PACKAGE_CONTACT}")
# A native package (no Debian revision): its changelog is plain "changelog".
configure_file("${packaging}/changelog" "${staged}/changelog" @ONLY)
# The host's page takes its synopsis, options, environment and exit statuses from its --help.
add_executable(man_page "${packaging}/man_page.cpp")
add_custom_command(OUTPUT "${staged}/autoiepcensad-run.1"
  COMMAND man_page "${packaging}/autoiepcensad-run.1.in" "${staged}/autoiepcensad-run.1"
          "$<TARGET_FILE:autoiepcensad_run>"
  DEPENDS man_page autoiepcensad_run "${packaging}/autoiepcensad-run.1.in"
  COMMENT "Writing the manual page of autoiepcensad-run from its --help")
add_custom_command(OUTPUT "${staged}/autoiepcensad.1"
  COMMAND man_page "${packaging}/autoiepcensad.1.in" "${staged}/autoiepcensad.1"
  DEPENDS man_page "${packaging}/autoiepcensad.1.in")
set(compressed "")
foreach(source IN ITEMS "${staged}/autoiepcensad.1" "${staged}/autoiepcensad-run.1" "${staged}/changelog")
  get_filename_component(name "${source}" NAME)
  add_custom_command(OUTPUT "${staged}/${name}.gz"
    COMMAND gzip -9nc "${source}" > "${staged}/${name}.gz"
    DEPENDS "${source}"
    VERBATIM)
  list(APPEND compressed "${staged}/${name}.gz")
endforeach()
add_custom_target(package_files ALL DEPENDS ${icons} ${compressed})
install(FILES "${staged}/autoiepcensad.1.gz" "${staged}/autoiepcensad-run.1.gz"
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES "${staged}/changelog.gz" "${packaging}/copyright"
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES "${packaging}/autoiepcensad.desktop" DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# What the package's postinst runs to share the lock folder.
install(PROGRAMS "${PROJECT_SOURCE_DIR}/scripts/firebird-local-access.sh" DESTINATION ${TALVIX_PRIVATE_LIBDIR})

# Debian's places outside /usr, absolute.
install(FILES "${packaging}/autoiepcensad-run.service" "${packaging}/autoiepcensad-run@.service"
  DESTINATION /lib/systemd/system)
install(FILES "${packaging}/autoiepcensad-run.env" DESTINATION /etc/autoiepcensad)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME autoiepcensad)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "cost prices for stock document lines, FIFO or weighted average")
# Lines of at most 80 characters, as dpkg shows them.
set(CPACK_PACKAGE_DESCRIPTION
  "Gives a purchase (cost) price to every stock document line without one
(transfers, issues, returns, goods-balance documents) inside a period, in the
Firebird database of the warehouse accounting suite. A window for the desktop,
and autoiepcensad-run with a systemd service for the continuous FIFO run.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${CMAKE_BINARY_DIR}/bin")
# Beside what dpkg-shlibdeps finds: what the scripts run, and what is loaded by name at run time
# (the embedded database engine, Qt's desktop platform, Qt's translations).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "firebird3.0-server-core, qt6-qpa-plugins, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  "${packaging}/postinst;${packaging}/prerm;${packaging}/postrm;${packaging}/conffiles")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
