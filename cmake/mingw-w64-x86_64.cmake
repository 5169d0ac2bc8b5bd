# SPDX-License-Identifier: GPL-3.0-or-later
# Cross build for 64-bit Windows with Debian's mingw-w64 (the posix thread model, which
# std::thread and std::mutex need), run under wine: ctest and the test discovery start every
# Windows program through CMAKE_CROSSCOMPILING_EMULATOR.
#
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#
# scripts/test-windows does this and runs the tests.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VIREON_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VIREON_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VIREON_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VIREON_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VIREON_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Linked statically, the programs need no DLLs from the compiler beside them, so they run from
# any folder: the settings tests copy a program into the temporary directory and run it there.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Debian installs the 64-bit loader outside PATH.
find_program(VIREON_WINE64 wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH REQUIRED)
# A private prefix in the build folder: nothing of the user's own wine set-up is touched, and
# wine's own diagnostics stay out of the tests' output.
set(VIREON_WINEPREFIX "${CMAKE_BINARY_DIR}/wine-prefix" CACHE PATH "The wine prefix the tests run in")
set(CMAKE_CROSSCOMPILING_EMULATOR
    /usr/bin/env WINEPREFIX=${VIREON_WINEPREFIX} WINEDEBUG=-all ${VIREON_WINE64})
