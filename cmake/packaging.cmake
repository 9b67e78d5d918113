# Installation and packages: only the product, never the test programs or the benchmark.
#   Linux    cmake --install: ostrel-convert, its manual page, Debian's changelog, copyright file
#            and lintian overrides (debian/).
#            cpack -G DEB in a release tree (scripts/build.sh release): the Debian package.
#   Windows  cmake --install: Ostrel.exe, ostrel-convert.exe, a README for Windows users
#            (windows/README.txt.in), the license and the user's guide.
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
# Who answers for the packages: the Debian package's maintainer, the copyright file's contact.
set(OSTREL_CONTACT "Ostrel developers <ostrel@example.org>")

# ostrel_gzip(FILE DESTINATION [NAME]): installs FILE compressed as Debian wants it (gzip -9, no
# name or time stamp in the header), as NAME or FILE's name with .gz.
function(ostrel_gzip file destination)
    get_filename_component(_name ${file} NAME)
    set(_packed ${CMAKE_CURRENT_BINARY_DIR}/${_name}.gz)
    if(ARGC GREATER 2)
        set(_packed ${CMAKE_CURRENT_BINARY_DIR}/${ARGV2})
    endif()
    add_custom_command(OUTPUT ${_packed}
        COMMAND sh -c "gzip -9nc \"$1\" >\"$2\"" sh ${file} ${_packed}
        DEPENDS ${file}
        VERBATIM)
    get_filename_component(_target ${_packed} NAME_WE)
    add_custom_target(ostrel_gzip_${_target} ALL DEPENDS ${_packed})
    install(FILES ${_packed} DESTINATION ${destination})
endfunction()

# ostrel_debian_copyright(OUTPUT): Debian's machine-readable copyright file, its holders and terms
# read from LICENSE (the Expat license: the terms start at "Permission is hereby granted").
function(ostrel_debian_copyright output)
    set(_license_file ${PROJECT_SOURCE_DIR}/LICENSE)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_license_file})
    file(READ ${_license_file} _license)
    string(REGEX MATCH "Copyright \\(c\\) ([^\n]+)" _line "${_license}")
    set(OSTREL_COPYRIGHT_HOLDERS "${CMAKE_MATCH_1}")
    string(FIND "${_license}" "Permission is hereby granted" _start)
    if(NOT _line OR _start LESS 0)
        message(FATAL_ERROR "LICENSE: no copyright line or no Expat terms found")
    endif()
    string(SUBSTRING "${_license}" ${_start} -1 _terms)
    string(STRIP "${_terms}" _terms)
    # A field's continuation lines start with a blank; an empty line is written " .".
    string(REPLACE "\n\n" "\n.\n" _terms "${_terms}")
    string(REPLACE "\n" "\n " OSTREL_LICENSE_TERMS " ${_terms}")
    configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/debian/copyright.in ${output} @ONLY)
endfunction()

if(WIN32)
    # One folder with the two programs and their texts: nothing to install, nothing else needed.
    # The README is written for Windows users, with Windows line ends for every Notepad.
    install(TARGETS Ostrel ostrel-convert RUNTIME DESTINATION .)
    set(_readme ${CMAKE_CURRENT_BINARY_DIR}/README.txt)
    configure_file(${CMAKE_CURRENT_LIST_DIR}/windows/README.txt.in ${_readme} @ONLY
        NEWLINE_STYLE CRLF)
    install(FILES ${_readme} LICENSE DESTINATION .)
    install(FILES docs/user-guide.md DESTINATION . OPTIONAL)
    set(CPACK_GENERATOR ZIP)
    # CPack would call every MinGW build win32.
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(CPACK_SYSTEM_NAME win64)
    else()
        set(CPACK_SYSTEM_NAME win32)
    endif()
else()
    install(TARGETS ostrel-convert RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    ostrel_gzip(${PROJECT_SOURCE_DIR}/docs/ostrel-convert.1 ${CMAKE_INSTALL_MANDIR}/man1)
    # Debian's documentation folder: its changelog and its copyright file in the machine-readable
    # form, which quotes LICENSE whole.
    set(_doc ${CMAKE_INSTALL_DATAROOTDIR}/doc/ostrel-convert)
    ostrel_gzip(${CMAKE_CURRENT_LIST_DIR}/debian/changelog ${_doc} changelog.Debian.gz)
    ostrel_debian_copyright(${CMAKE_CURRENT_BINARY_DIR}/copyright)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/copyright DESTINATION ${_doc})
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME ostrel-convert)

    set(CPACK_GENERATOR DEB)
    set(CPACK_DEBIAN_PACKAGE_NAME ostrel-convert)
    # The first Debian revision of this version; the changelog's first entry must name both.
    set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${OSTREL_CONTACT})
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
