# Cross build for 64-bit Windows with Debian's mingw-w64 (posix threading flavour).
#
#   cmake -G Ninja -S . -B build/win64 \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake \
#         -DPV_DEPS_PREFIX=$(scripts/build-deps.sh --prefix win64)
#
# Executables are linked fully static (libgcc, libstdc++, winpthread), so they
# run under Wine without any mingw DLL next to them. ctest starts them through
# scripts/wine-run.sh, which needs DISPLAY and a prefix made by
# scripts/wine-prefix.sh (scripts/test.sh sets up both).

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PV_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${PV_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PV_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${PV_MINGW_TRIPLE}-windres)

# Look for headers and libraries only in the mingw sysroot and in our own
# prebuilt third-party prefix; programs (code generators and the like) come
# from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${PV_MINGW_TRIPLE})
if(PV_DEPS_PREFIX)
  list(APPEND CMAKE_FIND_ROOT_PATH "${PV_DEPS_PREFIX}")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# try_compile projects re-read this file; hand them the prefix as well.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES PV_DEPS_PREFIX)

# Windows 7 API level, wide-character Win32 API throughout.
set(PV_WIN32_DEFINES "-D_WIN32_WINNT=0x0601 -DWINVER=0x0601 -DUNICODE -D_UNICODE")
set(CMAKE_C_FLAGS_INIT   "${PV_WIN32_DEFINES}")
set(CMAKE_CXX_FLAGS_INIT "${PV_WIN32_DEFINES}")
set(CMAKE_RC_FLAGS_INIT  "${PV_WIN32_DEFINES}")

set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

get_filename_component(PV_WINE_RUN "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh" ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${PV_WINE_RUN}")
