# The Debian package: "cpack -G DEB" in the build folder (DEB is also the default generator).
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/redodori)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_CURRENT_LIST_DIR}/copyright DESTINATION ${doc_dir})
# Debian wants the change log compressed, and the same bytes on every build (gzip -n: no name or
# time inside).
set(changelog_gz ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${changelog_gz}
    COMMAND gzip -9nc ${CMAKE_CURRENT_LIST_DIR}/changelog > ${changelog_gz}
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/changelog
    COMMENT "Compressing the change log")
add_custom_target(redodori-changelog ALL DEPENDS ${changelog_gz})
install(FILES ${changelog_gz} DESTINATION ${doc_dir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME redodori)
set(CPACK_PACKAGE_VENDOR "RedoDori")
set(CPACK_PACKAGE_CONTACT "RedoDori developers <developers@redodori.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "fast, dependable desktop file copier")
set(CPACK_PACKAGE_DESCRIPTION
    "RedoDori copies or moves files and folders to one or many destinations,
deletes and links them, with a small progress window, pause, speed limits,
verification, existing-file and error policies, and jobs that resume after a
crash. redodori-console runs the same jobs from a terminal or a script; the
file managers get Copy to, Move to, Delete and Paste actions.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The programs ship without their debugging information.
set(CPACK_STRIP_FILES ON)
# The dependencies are the packages of the shared libraries, from dpkg-shlibdeps (on Debian
# the X11 and off-screen Qt platform plug-ins come with libqt6gui6).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libsmbclient is opened only when the chooser browses the network, so dpkg-shlibdeps does not see
# it: without it the network is not available, and the program says so.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "bash-completion, libsmbclient")
include(CPack)
