if(WIN32)
  # Cross-compiled for Windows: CLI11 and nlohmann-json are header-only and
  # come from the build machine's own headers, reached through a folder that
  # holds only them (the rest of /usr/include is Linux's and must stay out of
  # the cross compiler's sight). Debian's cpp-httplib is a Linux shared
  # library and yaml-cpp has no mingw build: the Windows command line serves
  # no status page and reads no monitor configuration.
  set(tolvar_host_headers ${CMAKE_BINARY_DIR}/host-headers)
  file(MAKE_DIRECTORY ${tolvar_host_headers})
  foreach(header CLI nlohmann)
    if(NOT EXISTS /usr/include/${header})
      message(FATAL_ERROR "/usr/include/${header} missing: install libcli11-dev and nlohmann-json3-dev")
    endif()
    file(CREATE_LINK /usr/include/${header} ${tolvar_host_headers}/${header} SYMBOLIC)
  endforeach()
  add_library(tolvar_host_headers INTERFACE)
  target_include_directories(tolvar_host_headers SYSTEM INTERFACE ${tolvar_host_headers})
  add_library(CLI11::CLI11 ALIAS tolvar_host_headers)
  add_library(nlohmann_json::nlohmann_json ALIAS tolvar_host_headers)
  set(TOLVAR_WEB_ENABLED ON)
  set(TOLVAR_CLI_ENABLED ON)
  set(TOLVAR_GUI_ENABLED OFF)
  return()
endif()

# The command line needs CLI11, nlohmann-json, cpp-httplib and yaml-cpp (./dev
# deps installs them). Debian's cpp-httplib is a shared library whose classes
# depend on the features it was built with: take its flags from pkg-config.
find_package(CLI11 CONFIG QUIET)
find_package(nlohmann_json CONFIG QUIET)
find_package(yaml-cpp CONFIG QUIET)
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(HTTPLIB QUIET IMPORTED_TARGET cpp-httplib)
endif()
# The status web server (web/) needs nlohmann-json and cpp-httplib; both
# front ends serve through it.
set(TOLVAR_WEB_ENABLED OFF)
if(nlohmann_json_FOUND AND HTTPLIB_FOUND)
  set(TOLVAR_WEB_ENABLED ON)
endif()
set(TOLVAR_CLI_ENABLED OFF)
if(CLI11_FOUND AND yaml-cpp_FOUND AND TOLVAR_WEB_ENABLED)
  set(TOLVAR_CLI_ENABLED ON)
else()
  message(STATUS "tolvar command not built: CLI11, nlohmann-json, cpp-httplib or yaml-cpp missing (run ./dev deps)")
endif()

# The desktop program serves the status page through web/ as well.
if(TOLVAR_GUI_ENABLED AND NOT TOLVAR_WEB_ENABLED)
  message(STATUS "tolvar-gui not built: nlohmann-json or cpp-httplib missing (run ./dev deps)")
  set(TOLVAR_GUI_ENABLED OFF)
endif()
