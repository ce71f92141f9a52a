# The command line needs CLI11 and nlohmann-json (./dev deps installs them).
find_package(CLI11 CONFIG QUIET)
find_package(nlohmann_json CONFIG QUIET)
set(TOLVAR_CLI_ENABLED OFF)
if(CLI11_FOUND AND nlohmann_json_FOUND)
  set(TOLVAR_CLI_ENABLED ON)
else()
  message(STATUS "tolvar command not built: CLI11 or nlohmann-json missing (run ./dev deps)")
endif()
