# The Debian package: `cmake --build build --target package` (or `cpack -G DEB` in the build
# folder) makes nandell_<version>_<arch>.deb from the install rules, with /usr as its prefix
# and its dependencies computed from the binaries (dpkg-shlibdeps).
include(GNUInstallDirs)

# Debian's documentation files: the copyright, and a changelog compressed without a name or
# time stamp (the same bytes every build).
execute_process(COMMAND date -u -R -d "${NANDELL_RELEASE_DATE}"
                OUTPUT_VARIABLE NANDELL_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
set(nandell_changelog ${PROJECT_BINARY_DIR}/packaging/changelog)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${nandell_changelog} @ONLY)
add_custom_command(OUTPUT ${nandell_changelog}.gz
                   COMMAND gzip -9nkf ${nandell_changelog}
                   DEPENDS ${nandell_changelog})
add_custom_target(nandell_changelog ALL DEPENDS ${nandell_changelog}.gz)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${nandell_changelog}.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/nandell)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_CONTACT ${NANDELL_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# The long description below the summary line; CPack indents it and marks the empty line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Nandell copies or moves every photo and video of a folder into folders named
after the day it was taken (YYYY-MM-DD, optionally grouped by year), using the
EXIF capture date of JPEG photos and the last-write time of other files. It
never overwrites a file and lists every failure.

The package holds the desktop program and nandell-cli, a command line that
runs the same sorting and prints the capture dates of files.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The failure report is opened with xdg-open; the window's texts are Chinese unless English is
# chosen, and so are Qt's own buttons then, with Qt's translation.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "xdg-utils, fonts-wqy-microhei | fonts-noto-cjk, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
