# Cross build for Windows x64 with Debian's MinGW-w64 compilers (the POSIX-thread variant,
# which std::thread, std::mutex and std::condition_variable need), run under wine.
#
#   cmake -S . -B build-windows/quillfen -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DCMAKE_PREFIX_PATH=<prefix with libtiff, GoogleTest, CLI11, nlohmann-json for Windows>
#
# Packages: g++-mingw-w64-x86-64-posix, wine, wine64 (scripts/build-windows.sh installs them).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUILLFEN_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUILLFEN_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUILLFEN_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QUILLFEN_MINGW_TRIPLET}-windres)

# Libraries, headers and packages come from the MinGW tree and from the prefixes given in
# CMAKE_FIND_ROOT_PATH / CMAKE_PREFIX_PATH, never from the build machine's /usr (whose
# headers are glibc's); programs (gzip, help2man, ...) come from the build machine.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${QUILLFEN_MINGW_TRIPLET})
foreach(prefix IN LISTS CMAKE_PREFIX_PATH)
  list(APPEND CMAKE_FIND_ROOT_PATH ${prefix})
endforeach()
list(REMOVE_DUPLICATES CMAKE_FIND_ROOT_PATH)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config, when a package is found through it, reads the Windows target's .pc files only.
set(QUILLFEN_PKG_CONFIG_LIBDIR "")
foreach(root IN LISTS CMAKE_FIND_ROOT_PATH)
  list(APPEND QUILLFEN_PKG_CONFIG_LIBDIR ${root}/lib/pkgconfig ${root}/share/pkgconfig)
endforeach()
string(REPLACE ";" ":" QUILLFEN_PKG_CONFIG_LIBDIR "${QUILLFEN_PKG_CONFIG_LIBDIR}")
set(ENV{PKG_CONFIG_LIBDIR} "${QUILLFEN_PKG_CONFIG_LIBDIR}")
set(ENV{PKG_CONFIG_PATH} "")

# Static libraries only: the executables then need nothing but Windows' own DLLs.
# (The platform's own file sets the suffixes again after this file, .dll.a first: zlib, whose
# MinGW package has both, is asked for its static library by name.)
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
set(ZLIB_USE_STATIC_LIBS ON)

# Everything linked statically (libstdc++, libgcc, winpthread included).
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# Test programs (gtest_discover_tests, ctest, try_run) go through wine. Debian 12 has no
# wine64 on PATH: its 64-bit loader is /usr/lib/wine/wine64, and /usr/bin/wine is a wrapper
# that picks the 32-bit loader when that is installed.
find_program(QUILLFEN_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CACHE)
if(QUILLFEN_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUILLFEN_WINE})
endif()
