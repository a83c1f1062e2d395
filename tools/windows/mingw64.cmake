# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (posix threads), against the Qt and libmicrohttpd
# built for it. VELMORA_MINGW_QT is the unpacked toolchain folder (velmora-qt5-mingw64).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VELMORA_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VELMORA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELMORA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VELMORA_MINGW_TRIPLE}-windres)

if(NOT VELMORA_MINGW_QT)
    set(VELMORA_MINGW_QT $ENV{VELMORA_MINGW_QT})
endif()
if(NOT VELMORA_MINGW_QT OR NOT EXISTS ${VELMORA_MINGW_QT}/lib/cmake/Qt5)
    message(FATAL_ERROR "VELMORA_MINGW_QT must name the unpacked Qt for MinGW (velmora-qt5-mingw64)")
endif()
# Try-compile projects see the folder too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VELMORA_MINGW_QT)

set(CMAKE_FIND_ROOT_PATH /usr/${VELMORA_MINGW_TRIPLE} ${VELMORA_MINGW_QT})
set(CMAKE_PREFIX_PATH ${VELMORA_MINGW_QT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config looks only at the Windows libraries (libmicrohttpd).
set(ENV{PKG_CONFIG_LIBDIR} ${VELMORA_MINGW_QT}/lib/pkgconfig)
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
# The .pc files name the folder they were built in: take the prefix from where they are now.
set(PKG_CONFIG_ARGN --define-prefix)
# The Linux tools that come with the toolchain and Debian's Qt: moc, rcc and uic run on the build machine, and
# lrelease from Debian's Qt compiles the translation.
set(Qt5LinguistTools_DIR /usr/lib/x86_64-linux-gnu/cmake/Qt5LinguistTools CACHE PATH "host lrelease")
# Windows 7 and later: the Winsock and console calls the program uses.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601)
