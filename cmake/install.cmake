# What `cmake --install` and the Debian package (cpack -G DEB, scripts/package)
# put on the system. quarlink-pages is a demo and test server, not for users'
# machines: it stays in the build folder.
include(GNUInstallDirs)
# The package holds the tray application: scripts/package configures with this on,
# so that a machine without Qt gives no package rather than one without it.
option(QUARLINK_REQUIRE_GUI "Fail the configuration when the tray application cannot be built" OFF)
if(QUARLINK_REQUIRE_GUI AND NOT TARGET quarlink)
  message(FATAL_ERROR "The tray application quarlink cannot be built: Qt 6 Widgets was not found "
                      "(or QUARLINK_BUILD_GUI is OFF), and QUARLINK_REQUIRE_GUI asks for it. "
                      "Install qt6-base-dev (scripts/bootstrap does), then configure again.")
endif()
install(TARGETS quarlink-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET quarlink)
  install(TARGETS quarlink RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES data/quarlink.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES data/quarlink.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)
endif()
# systemd looks for user units under lib/ of /usr and /usr/local, whatever the libdir.
install(FILES data/systemd/quarlink-update.service data/systemd/quarlink-update.timer
        DESTINATION lib/systemd/user)

# Man pages from the programs' own --help, at build time.
find_program(HELP2MAN help2man)
find_program(GZIP gzip)
if(HELP2MAN AND GZIP)
  set(QUARLINK_MAN_DIR ${PROJECT_BINARY_DIR}/man)
  set(man_pages)
  set(man_programs quarlink-cli)
  if(TARGET quarlink)
    list(APPEND man_programs quarlink)
  endif()
  foreach(program ${man_programs})
    if(program STREQUAL "quarlink")
      set(summary "tray application that keeps a stock chart program's data up to date")
    else()
      set(summary "the jobs of the Quarlink tray application from the command line")
    endif()
    add_custom_command(OUTPUT ${QUARLINK_MAN_DIR}/${program}.1.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${QUARLINK_MAN_DIR}
      COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
              ${HELP2MAN} --no-info --no-discard-stderr --section=1 --name=${summary}
              --output=${QUARLINK_MAN_DIR}/${program}.1 $<TARGET_FILE:${program}>
      COMMAND ${GZIP} -9nf ${QUARLINK_MAN_DIR}/${program}.1
      DEPENDS ${program}
      VERBATIM)
    list(APPEND man_pages ${QUARLINK_MAN_DIR}/${program}.1.gz)
  endforeach()
  add_custom_target(quarlink-man ALL DEPENDS ${man_pages})
  install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(WARNING "help2man or gzip not found: no man pages (scripts/bootstrap installs help2man)")
endif()

# The Debian package's own documents.
set(QUARLINK_DOC_DIR ${PROJECT_BINARY_DIR}/doc)
add_custom_command(OUTPUT ${QUARLINK_DOC_DIR}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QUARLINK_DOC_DIR}
  COMMAND ${GZIP} -9nc ${PROJECT_SOURCE_DIR}/data/debian/changelog > ${QUARLINK_DOC_DIR}/changelog.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/data/debian/changelog)
add_custom_target(quarlink-changelog ALL DEPENDS ${QUARLINK_DOC_DIR}/changelog.gz)
# Debian's place, whatever the project's name: share/doc/<package>.
install(FILES data/debian/copyright ${QUARLINK_DOC_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quarlink)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quarlink)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quarlink developers <quarlink@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keeps the Sorvantide chart program's data folder up to date")
# The synopsis is the summary above; CPack indents each line and marks the empty one.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Quarlink fetches the daily quotes, margin balances and price histories of
the Japanese stock market and stores them in the price files and index of
the Sorvantide chart program. It backs the files up and restores them,
fills gaps, splits them by year and keeps a small portfolio book.

The package holds the tray application quarlink, the command line program
quarlink-cli and systemd user units that run the daily update on business
days (quarlink-cli schedule enable).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The timer and the tray count the schedule in Asia/Tokyo.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "tzdata")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "wine")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
include(CPack)
