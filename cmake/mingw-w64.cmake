# Cross build for Windows with Debian's mingw-w64 compilers.
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DOSTREL_WINDOWS_ARCH=i686   (the product)
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DOSTREL_WINDOWS_ARCH=x86_64
# The -posix compilers are used: GoogleTest needs their thread model.
set(OSTREL_WINDOWS_ARCH "i686" CACHE STRING "i686 (x86, the product) or x86_64")
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${OSTREL_WINDOWS_ARCH})
set(_triplet ${OSTREL_WINDOWS_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${_triplet}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Tests run under Wine, in a prefix of the build tree's own.
if(OSTREL_WINDOWS_ARCH STREQUAL "x86_64")
    set(_wine /usr/lib/wine/wine64)
else()
    set(_wine /usr/lib/wine/wine)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_COMMAND} -E env WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEDEBUG=-all ${_wine})
