# What `cmake --install` puts where, for a Linux desktop: the program, its
# help file, the menu entry, the icons, the AppStream metadata, the manual
# page and the systemd user unit for running it headless. The files that
# name an installed path (the unit, the manual page) are made at install
# time, so that `--prefix` and CPack's /usr both come out right.
include(GNUInstallDirs)

set(KB_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/kestrelbox)

install(TARGETS kestrelbox RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Where the program looks for it when it is not beside the executable.
install(FILES ${PROJECT_SOURCE_DIR}/resources/kestrbx.hlp
        DESTINATION ${CMAKE_INSTALL_DATADIR}/kestrelbox)

install(FILES ${PROJECT_SOURCE_DIR}/dist/${KB_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/hicolor/${size}x${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME ${KB_APP_ID}.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/kestrelbox.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${KB_APP_ID}.svg)

configure_file(${PROJECT_SOURCE_DIR}/dist/${KB_APP_ID}.metainfo.xml.in
               ${PROJECT_BINARY_DIR}/dist/${KB_APP_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/dist/${KB_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

install(FILES ${PROJECT_SOURCE_DIR}/dist/copyright DESTINATION ${KB_DOC_DIR})
# The guide, the rule file format and its example, for a server with no
# sources at hand.
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/guide.md
              ${PROJECT_SOURCE_DIR}/docs/rules.md ${PROJECT_SOURCE_DIR}/docs/rules-example.toml
              ${PROJECT_SOURCE_DIR}/dist/README.Debian
        DESTINATION ${KB_DOC_DIR})

# Made at install time: the prefix is known only then.
install(CODE "
  set(KB_VERSION_TEXT \"${KB_VERSION_TEXT}\")
  set(KB_RELEASE_DATE \"${KB_RELEASE_DATE}\")
  set(KB_RELEASE_DATE_RFC2822 \"${KB_RELEASE_DATE_RFC2822}\")
  set(KB_INSTALL_FULL_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  set(KB_INSTALL_FULL_DATADIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}\")
  set(staging \"${PROJECT_BINARY_DIR}/dist/staging\")
  configure_file(\"${PROJECT_SOURCE_DIR}/dist/kestrelbox.service.in\"
                 \"\${staging}/kestrelbox.service\" @ONLY)
  configure_file(\"${PROJECT_SOURCE_DIR}/dist/kestrelbox@.service.in\"
                 \"\${staging}/kestrelbox@.service\" @ONLY)
  configure_file(\"${PROJECT_SOURCE_DIR}/dist/kestrelbox.1.in\" \"\${staging}/kestrelbox.1\" @ONLY)
  configure_file(\"${PROJECT_SOURCE_DIR}/dist/changelog.in\" \"\${staging}/changelog\" @ONLY)
  foreach(page kestrelbox.1 changelog)
    execute_process(COMMAND gzip -9nc \"\${staging}/\${page}\"
                    OUTPUT_FILE \"\${staging}/\${page}.gz\" RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR \"gzip \${page}: \${rc}\")
    endif()
  endforeach()
  file(INSTALL \"\${staging}/kestrelbox.service\"
       DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/user\")
  file(INSTALL \"\${staging}/kestrelbox@.service\"
       DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/system\")
  file(INSTALL \"\${staging}/kestrelbox.1.gz\"
       DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_MANDIR}/man1\")
  file(INSTALL \"\${staging}/changelog.gz\" DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${KB_DOC_DIR}\")
")

# `make package`: a Debian package of the same files under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrelbox)
set(CPACK_PACKAGE_VERSION ${KB_VERSION_TEXT})
set(CPACK_PACKAGE_VENDOR "The Kestrelbox developers")
set(CPACK_PACKAGE_CONTACT "The Kestrelbox developers <developers@kestrelbox.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "rules for the folders file-sharing clients download into")
set(CPACK_PACKAGE_DESCRIPTION
    "Kestrelbox applies rules to the shared and download folders of file-sharing\n\
clients, the way an email client's rules look after an inbox: per folder an\n\
ordered list of rules, each a trigger, conditions that choose files, and\n\
actions that move, copy, delete, upload by FTP or open them with a program.\n\
Downloads still being written are left alone, everything the rules do is\n\
journaled with undo, and it runs with a window or headless as a systemd\n\
user service.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so the library scan cannot see them: the window's
# platform plug-ins, and the desktop's opener for launched files and links.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://kestrelbox.org/)
include(CPack)
