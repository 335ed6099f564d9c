# kestrava-check: what will break a mod, as text, JSON or SARIF, on the core
# alone (no Qt). The library holds everything but main, for the tests and
# benchmarks.
add_library(kestrava_check STATIC
  ${CMAKE_SOURCE_DIR}/tools/check/check_command.cpp
  ${CMAKE_SOURCE_DIR}/tools/check/check_report.cpp)
target_link_libraries(kestrava_check PUBLIC kestrava_core kestrava_tool_common PRIVATE CLI11::CLI11 nlohmann_json::nlohmann_json)

add_executable(kestrava_check_tool ${CMAKE_SOURCE_DIR}/tools/check/check_main.cpp)
set_target_properties(kestrava_check_tool PROPERTIES
  OUTPUT_NAME kestrava-check RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
target_link_libraries(kestrava_check_tool PRIVATE kestrava_check)
install(TARGETS kestrava_check_tool RUNTIME DESTINATION bin)
