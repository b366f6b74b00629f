# Cross tool chain used by scripts/build-deps.sh to build the third-party
# libraries for Win64 (mingw-w64, posix thread model).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PV_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PV_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PV_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${PV_MINGW_PREFIX}-windres)
# The "-posix" suffix hides the binutils prefix from CMake's guesswork.
find_program(CMAKE_AR ${PV_MINGW_PREFIX}-ar REQUIRED)
find_program(CMAKE_RANLIB ${PV_MINGW_PREFIX}-ranlib REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${PV_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
