# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-build for 64-bit Windows with mingw-w64. The -posix compilers carry
# the thread model std::mutex needs (GoogleTest uses it), and everything is
# linked statically, so the DLL needs no compiler runtime beside it.
# GSL, GoogleTest and Google Benchmark come from the cache that
# scripts/windows-deps.sh fills; Wine runs the tests.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(HOSTMATH_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${HOSTMATH_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${HOSTMATH_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${HOSTMATH_MINGW}-windres)
set(CMAKE_OBJDUMP ${HOSTMATH_MINGW}-objdump)
set(CMAKE_OBJCOPY ${HOSTMATH_MINGW}-objcopy)

if(DEFINED ENV{HOSTMATH_CACHE})
  set(HOSTMATH_MINGW_PREFIX "$ENV{HOSTMATH_CACHE}/${HOSTMATH_MINGW}")
else()
  set(HOSTMATH_MINGW_PREFIX "$ENV{HOME}/.cache/hostmath/${HOSTMATH_MINGW}")
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${HOSTMATH_MINGW} ${HOSTMATH_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(GSL_ROOT_DIR ${HOSTMATH_MINGW_PREFIX})
# pkg-config must not answer with the Linux build's libraries.
set(ENV{PKG_CONFIG_LIBDIR} ${HOSTMATH_MINGW_PREFIX}/lib/pkgconfig)

set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -static)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -static)

# Test programs run under Wine, headless, in the project's own prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
