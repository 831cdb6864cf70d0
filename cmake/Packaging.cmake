# The Debian package: "cpack -G DEB" in a build tree. scripts/package.sh makes
# the Release build with the distribution's hardening flags and checks the
# result with lintian.

set(SAYVO_MAINTAINER "Sayvo developers <dev@sayvo.app>")

# The copyright file takes the licence set next to the install rules. Its
# text goes in as a DEP-5 field body: every line indented, empty ones as " .".
string(REPLACE "\n" "\n " SAYVO_LICENSE_TEXT_DEP5 " ${SAYVO_LICENSE_TEXT}")
while(SAYVO_LICENSE_TEXT_DEP5 MATCHES "\n \n")
    string(REPLACE "\n \n" "\n .\n" SAYVO_LICENSE_TEXT_DEP5 "${SAYVO_LICENSE_TEXT_DEP5}")
endwhile()
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/copyright.in debian/copyright @ONLY)

# A package whose newest changelog entry names another version would
# describe a release it does not contain.
set(changelog ${CMAKE_CURRENT_LIST_DIR}/debian/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${changelog})
file(STRINGS ${changelog} changelog_head LIMIT_COUNT 1)
string(REGEX MATCH "^sayvo \\(([^)]*)\\)" changelog_head "${changelog_head}")
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
    message(FATAL_ERROR "The newest entry of cmake/debian/changelog is for version "
        "\"${CMAKE_MATCH_1}\", not ${PROJECT_VERSION}")
endif()
# Debian wants it compressed without a name or time stamp, so that the
# package is the same from every build.
find_program(GZIP gzip REQUIRED)
execute_process(COMMAND ${GZIP} -9n -c ${changelog}
    OUTPUT_FILE ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz
    COMMAND_ERROR_IS_FATAL ANY)

# Only in the package: a "cmake --install" elsewhere gets no Debian files.
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/debian/copyright
    ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/sayvo
    COMPONENT debian EXCLUDE_FROM_ALL)
set(CPACK_INSTALL_CMAKE_PROJECTS
    "${CMAKE_BINARY_DIR};${PROJECT_NAME};ALL;/"
    "${CMAKE_BINARY_DIR};${PROJECT_NAME};debian;/")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sayvo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${SAYVO_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Independent of the umask of whoever builds the package.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "push-to-talk dictation for the desktop")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [[
Hold a hotkey, speak and let go: Sayvo pastes the recognised text into the
application that has the keyboard focus. Speech is recognised on the
computer by default; with an API key stored, a cloud speech-recognition
service is used instead.

A small floating indicator shows the words so far and the microphone level
while you speak. The tray icon's panel holds the settings. Sayvo needs an
X11 session (or XWayland) and a PulseAudio or PipeWire sound server.]])

# The libraries the program links come from dpkg-shlibdeps. What it loads by
# other means is listed here: the QML modules its windows import (QtQuick
# needs WorkerScript, the controls' Fusion style needs the templates), the SVG
# plugins for its icons (a package of their own since Debian 13), the
# on-device recogniser's English model and a font for the Chinese texts of its
# windows. scripts/package_test.sh shows a missing QML module.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qml6-module-qtquick, qml6-module-qtqml-workerscript, \
qml6-module-qtquick-controls, qml6-module-qtquick-templates, \
qt6-svg-plugins | libqt6svg6 (<< 6.5~), pocketsphinx-en-us, fonts-noto-cjk")
# The desktop's light or dark palette on GNOME; the TLS certificates of the
# cloud service; Qt's own texts (the command line's) in Chinese.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "qt6-gtk-platformtheme, ca-certificates, qt6-translations-l10n")

include(CPack)
