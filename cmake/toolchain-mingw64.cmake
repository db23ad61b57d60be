# Windows x86-64 with Debian's mingw-w64 (posix threads), against the static libraries that
# scripts/windows builds into its cache, and the tests run under Wine.
#
# The libraries' prefix: -DQC_WINDOWS_PREFIX=..., else $QC_WINDOWS_PREFIX, else the prefix
# folder of the cache scripts/windows uses ($QC_WINDOWS_CACHE, else
# ${XDG_CACHE_HOME:-$HOME/.cache}/quillon-converter/windows). Wine's prefix lies beside it.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
# The gcc- wrappers pass the LTO plugin; plain ar would index LTO objects wrongly.
set(CMAKE_AR x86_64-w64-mingw32-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB x86_64-w64-mingw32-gcc-ranlib-posix CACHE FILEPATH "")

if(NOT QC_WINDOWS_PREFIX)
  if(DEFINED ENV{QC_WINDOWS_PREFIX})
    set(QC_WINDOWS_PREFIX "$ENV{QC_WINDOWS_PREFIX}")
  else()
    if(DEFINED ENV{QC_WINDOWS_CACHE})
      set(_qc_cache "$ENV{QC_WINDOWS_CACHE}")
    elseif(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
      set(_qc_cache "$ENV{XDG_CACHE_HOME}/quillon-converter/windows")
    else()
      set(_qc_cache "$ENV{HOME}/.cache/quillon-converter/windows")
    endif()
    set(QC_WINDOWS_PREFIX "${_qc_cache}/prefix")
  endif()
  set(QC_WINDOWS_PREFIX "${QC_WINDOWS_PREFIX}"
      CACHE PATH "Where scripts/windows installed the cross-built libraries")
endif()
if(NOT IS_DIRECTORY "${QC_WINDOWS_PREFIX}")
  message(FATAL_ERROR "No cross-built libraries at ${QC_WINDOWS_PREFIX}: "
                      "run scripts/windows --deps-only (or set QC_WINDOWS_PREFIX)")
endif()
get_filename_component(_qc_cache "${QC_WINDOWS_PREFIX}" DIRECTORY)
# try_compile projects read this file again without the cache; hand them the prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QC_WINDOWS_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 "${QC_WINDOWS_PREFIX}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static everything: one .exe that needs no DLL of ours, of the compiler's or of zlib's.
# pkg-config gives the libraries' own dependencies only in static mode.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(ENV{PKG_CONFIG_LIBDIR} "${QC_WINDOWS_PREFIX}/lib/pkgconfig:/usr/x86_64-w64-mingw32/lib/pkgconfig")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
set(PKG_CONFIG_ARGN "--static" CACHE STRING "Arguments for pkg-config")
# Windows' platform file prefers import libraries (libz.dll.a); a static build must find the
# archives. The override file is read after the platform file.
set(CMAKE_USER_MAKE_RULES_OVERRIDE "${CMAKE_CURRENT_LIST_DIR}/windows/static-libraries.cmake")

# mingw-w64's off_t, lseek and stat sizes are 32 bits unless asked for 64.
set(CMAKE_C_FLAGS_INIT "-D_FILE_OFFSET_BITS=64")
set(CMAKE_CXX_FLAGS_INIT "-D_FILE_OFFSET_BITS=64")

# Test programs run under Wine, in a prefix of their own (cmake/windows/wine-run says how).
if(NOT QC_WINEPREFIX)
  set(QC_WINEPREFIX "${_qc_cache}/wine" CACHE PATH "The Wine prefix the tests run in")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/windows/wine-run" "${QC_WINEPREFIX}")
