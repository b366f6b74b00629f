# Third-party libraries, prebuilt as static libraries by scripts/build-deps.sh
# for the target being configured. Configure with
#   -DPV_DEPS_PREFIX=$(scripts/build-deps.sh native)    (or win64)
#
# Imported targets (include directory: ${PV_DEPS_PREFIX}/include):
#   pv::zlib      libz.a          <zlib.h>
#   pv::png       libpng16.a      <png.h>, with APNG (PNG_APNG_SUPPORTED comes
#                                 from png.h, right after pnglibconf.h)
#   pv::jpeg      libjpeg.a       <jpeglib.h> (libjpeg 6b API, SIMD); as
#                                 ever, include <stdio.h> before it
#   pv::transupp  libtransupp.a   <transupp.h>, include after <jpeglib.h>
#   pv::minizip   libminizip.a    <minizip/unzip.h> or <unzip.h>
#   pv::raw       libraw.a        <libraw/libraw.h> (C++)
#   pv::deflate   libdeflate.a    <libdeflate.h> (whole-buffer inflate)
# Linking pv::png or pv::minizip brings pv::zlib, pv::transupp brings pv::jpeg.
set(PV_DEPS_PREFIX "" CACHE PATH
    "Prefix of the prebuilt third-party libraries (printed by scripts/build-deps.sh)")

if(WIN32)
  set(_pv_deps_target win64)
else()
  set(_pv_deps_target native)
endif()

if(NOT PV_DEPS_PREFIX)
  message(FATAL_ERROR
    "PV_DEPS_PREFIX is not set. Build the libraries first and pass the prefix:\n"
    "  cmake -DPV_DEPS_PREFIX=$(scripts/build-deps.sh ${_pv_deps_target}) ...")
endif()
if(NOT EXISTS "${PV_DEPS_PREFIX}/.stamp")
  message(FATAL_ERROR
    "PV_DEPS_PREFIX=${PV_DEPS_PREFIX} is not a finished build of the third-party "
    "libraries. Run scripts/build-deps.sh ${_pv_deps_target} and pass the prefix it prints.")
endif()
file(STRINGS "${PV_DEPS_PREFIX}/.stamp" _pv_deps_built_for REGEX "^target=")
if(NOT _pv_deps_built_for STREQUAL "target=${_pv_deps_target}")
  message(FATAL_ERROR
    "PV_DEPS_PREFIX=${PV_DEPS_PREFIX} holds libraries for '${_pv_deps_built_for}', "
    "but this build is for ${_pv_deps_target}.")
endif()

# pv_import_static(<name> <file> [LANG <C|CXX>] [DEPS ...] [DEFINES ...] [INCLUDES ...])
function(pv_import_static name file)
  cmake_parse_arguments(I "" "LANG" "DEPS;DEFINES;INCLUDES" ${ARGN})
  set(path "${PV_DEPS_PREFIX}/lib/${file}")
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "${path} is missing: rebuild with scripts/build-deps.sh")
  endif()
  if(NOT I_LANG)
    set(I_LANG C)
  endif()
  set(includes "${PV_DEPS_PREFIX}/include" ${I_INCLUDES})
  add_library(pv::${name} STATIC IMPORTED GLOBAL)
  set_target_properties(pv::${name} PROPERTIES
    IMPORTED_LOCATION "${path}"
    IMPORTED_LINK_INTERFACE_LANGUAGES ${I_LANG}
    INTERFACE_INCLUDE_DIRECTORIES "${includes}"
    INTERFACE_LINK_LIBRARIES "${I_DEPS}"
    INTERFACE_COMPILE_DEFINITIONS "${I_DEFINES}")
endfunction()

if(NOT TARGET pv::zlib)
  if(WIN32)
    set(_pv_libm "")
    # LibRaw calls ntohs() and friends from winsock, and its headers include
    # <winsock2.h> (hence <windows.h>). LIBRAW_NODLL keeps them from asking
    # for __declspec(dllimport).
    set(_pv_raw_libs ws2_32)
    set(_pv_raw_defs LIBRAW_NODLL)
  else()
    set(_pv_libm m)
    set(_pv_raw_libs m)
    set(_pv_raw_defs "")
  endif()

  pv_import_static(zlib libz.a)
  pv_import_static(png libpng16.a DEPS pv::zlib ${_pv_libm})
  pv_import_static(jpeg libjpeg.a)
  pv_import_static(transupp libtransupp.a DEPS pv::jpeg)
  pv_import_static(minizip libminizip.a DEPS pv::zlib
                   INCLUDES "${PV_DEPS_PREFIX}/include/minizip")
  pv_import_static(deflate libdeflate.a)
  pv_import_static(raw libraw.a LANG CXX DEPS ${_pv_raw_libs} DEFINES ${_pv_raw_defs})
endif()
