# tessaly::bz2, the bzip2 library, for every toolchain.
#  - Natively: the system's libbz2 (find_package(BZip2)).
#  - Windows: the static library built from Debian's bzip2 source by
#    scripts/build-mingw-deps.sh under TESSALY_BZIP2_ROOT (include/, lib/, bin/).
#    The program itself loads "libbz2.dll" by name at run time; TESSALY_BZIP2_DLL
#    names that file, and tessaly_copy_runtime_dlls() puts it beside every
#    executable and DLL of the build so tests under wine find it.
include_guard(GLOBAL)

if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(_tessaly_arch x86_64)
  else()
    set(_tessaly_arch i686)
  endif()
  set(_tessaly_bz_default "${CMAKE_SOURCE_DIR}/third_party/bzip2/${_tessaly_arch}")
  set(TESSALY_BZIP2_ROOT "${_tessaly_bz_default}" CACHE PATH
      "bzip2 built for this Windows target (include/bzlib.h, lib/libbz2.a, bin/libbz2.dll)")
  if(NOT EXISTS "${TESSALY_BZIP2_ROOT}/lib/libbz2.a"
     AND TESSALY_BZIP2_ROOT STREQUAL _tessaly_bz_default)
    # Convenience for a fresh checkout: build it now (needs deb-src, a few seconds).
    message(STATUS "bzip2 for ${_tessaly_arch} missing: running scripts/build-mingw-deps.sh")
    execute_process(COMMAND bash "${CMAKE_SOURCE_DIR}/scripts/build-mingw-deps.sh"
                    RESULT_VARIABLE _tessaly_bz_rc)
  endif()
  if(NOT EXISTS "${TESSALY_BZIP2_ROOT}/lib/libbz2.a" OR NOT EXISTS "${TESSALY_BZIP2_ROOT}/include/bzlib.h")
    message(FATAL_ERROR "No bzip2 for ${_tessaly_arch} under TESSALY_BZIP2_ROOT=${TESSALY_BZIP2_ROOT}: "
                        "run scripts/build-mingw-deps.sh (after scripts/setup-deps.sh)")
  endif()
  add_library(tessaly::bz2 STATIC IMPORTED GLOBAL)
  set_target_properties(tessaly::bz2 PROPERTIES
    IMPORTED_LOCATION "${TESSALY_BZIP2_ROOT}/lib/libbz2.a"
    INTERFACE_INCLUDE_DIRECTORIES "${TESSALY_BZIP2_ROOT}/include")
  set(TESSALY_BZIP2_DLL "${TESSALY_BZIP2_ROOT}/bin/libbz2.dll")
  if(NOT EXISTS "${TESSALY_BZIP2_DLL}")
    message(FATAL_ERROR "Missing ${TESSALY_BZIP2_DLL}: run scripts/build-mingw-deps.sh")
  endif()
  set(TESSALY_RUNTIME_DLLS "${TESSALY_BZIP2_DLL}")
else()
  find_package(BZip2 REQUIRED)
  add_library(tessaly::bz2 INTERFACE IMPORTED GLOBAL)
  target_link_libraries(tessaly::bz2 INTERFACE BZip2::BZip2)
  set(TESSALY_BZIP2_DLL "")
  set(TESSALY_RUNTIME_DLLS "")
endif()
