# The Debian package: "cpack -G DEB" in the build folder (DEB is also the default generator).
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/redodori)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME redodori)
set(CPACK_PACKAGE_VENDOR "RedoDori")
set(CPACK_PACKAGE_CONTACT "RedoDori developers <redodori@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "fast, dependable desktop file copier")
set(CPACK_PACKAGE_DESCRIPTION
    "RedoDori copies or moves files and folders to one or many destinations, deletes and
links them, with a small progress window, pause, speed limits, verification, existing-file
and error policies, and jobs that resume after a crash. redodori-console runs the same jobs
from a terminal or a script; the file managers get Copy to, Move to, Delete and Paste
actions.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The dependencies are the packages of the shared libraries, from dpkg-shlibdeps (on Debian
# the X11 and off-screen Qt platform plug-ins come with libqt6gui6).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "bash-completion")
include(CPack)
