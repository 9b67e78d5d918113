# Installation and packages: only the product, never the test programs or the benchmark.
#   Linux    cmake --install: ostrel-convert, its manual page, the license.
#            cpack -G DEB in a release tree (scripts/build.sh release): the Debian package.
#   Windows  cmake --install: Ostrel.exe, ostrel-convert.exe, the README and the license.
#            cpack -G ZIP in build/win32: the Windows download.
# scripts/package.sh makes both.
include(GNUInstallDirs)

set(CPACK_PACKAGE_NAME Ostrel)
set(CPACK_PACKAGE_VENDOR Ostrel)
# All four numbers (CPack's default keeps three).
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Converts Vela program files to absolute test points")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

if(WIN32)
    # One folder with the two programs and two texts: nothing to install, nothing else needed.
    install(TARGETS Ostrel ostrel-convert RUNTIME DESTINATION .)
    install(FILES README.md DESTINATION . RENAME README.txt)
    install(FILES LICENSE DESTINATION .)
    set(CPACK_GENERATOR ZIP)
    # CPack would call every MinGW build win32.
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(CPACK_SYSTEM_NAME win64)
    else()
        set(CPACK_SYSTEM_NAME win32)
    endif()
else()
    install(TARGETS ostrel-convert RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    # Debian installs manual pages compressed, without a name or time stamp in the gzip header.
    set(_page ${CMAKE_CURRENT_BINARY_DIR}/ostrel-convert.1.gz)
    add_custom_command(OUTPUT ${_page}
        COMMAND sh -c "gzip -9nc \"$1\" >\"$2\"" sh ${PROJECT_SOURCE_DIR}/docs/ostrel-convert.1
            ${_page}
        DEPENDS ${PROJECT_SOURCE_DIR}/docs/ostrel-convert.1
        VERBATIM)
    add_custom_target(ostrel_manual_page ALL DEPENDS ${_page})
    install(FILES ${_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/ostrel-convert
        RENAME copyright)

    set(CPACK_GENERATOR DEB)
    set(CPACK_DEBIAN_PACKAGE_NAME ostrel-convert)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Ostrel developers")
    set(CPACK_DEBIAN_PACKAGE_SECTION utils)
    # The text under the summary line, as in a Debian control file.
    set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
        "ostrel-convert loads a Vela program file, clears its CRC checksum attribute,
rewrites every fixture block so that short pin lines become absolute test
points, and saves the result in one step. It converts one file, or whole
folders of them in place or into another folder.")
    # The dependencies are read from the program itself (dpkg-shlibdeps).
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

if(OSTREL_SANITIZE)
    # A sanitized program would make the package depend on the sanitizers' run-times.
    set(_refuse ${CMAKE_CURRENT_BINARY_DIR}/refuse-package.cmake)
    file(WRITE ${_refuse} "message(FATAL_ERROR \"This build tree is sanitized: make packages \
from a release tree (scripts/build.sh release, or scripts/package.sh).\")\n")
    set(CPACK_PROJECT_CONFIG_FILE ${_refuse})
endif()

include(CPack)
