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
