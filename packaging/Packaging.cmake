# `cpack -G DEB` in the build folder makes larkspan_<version>_<arch>.deb for Debian 12:
# the program and its data files, a link on the PATH, the desktop entry and icon. Its
# library dependencies are read off the program by dpkg-shlibdeps; what the program
# loads without linking it is named here.
set(CPACK_PACKAGE_NAME larkspan)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Larkspan")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Keeps your mail as documents: exports IMAP messages to PDF files")
set(CPACK_PACKAGE_DESCRIPTION "Larkspan signs in to a mailbox over IMAP with TLS, lists the messages of a folder, \
previews each one and exports every ticked message to its own PDF file, named from a pattern you edit.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Larkspan developers <support@vornhelm.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The web engine's helper process and the windowing plugins are loaded, not linked;
# so is libsecret, through which QtKeychain reaches the desktop keyring.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6webenginecore6-bin, qt6-qpa-plugins, libsecret-1-0")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "iputils-ping, fonts-dejavu-core")
include(CPack)
