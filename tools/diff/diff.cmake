# kestrava-diff: what changed between two versions of a mod. On the core alone
# (no Qt); the library holds everything but main, for the tests and benchmarks.
add_library(kestrava_diff STATIC
  ${CMAKE_SOURCE_DIR}/tools/diff/diff_command.cpp
  ${CMAKE_SOURCE_DIR}/tools/diff/diff_report.cpp)
target_link_libraries(kestrava_diff PUBLIC kestrava_core kestrava_tool_common CLI11::CLI11 nlohmann_json::nlohmann_json)

add_executable(kestrava_diff_tool ${CMAKE_SOURCE_DIR}/tools/diff/diff_main.cpp)
set_target_properties(kestrava_diff_tool PROPERTIES
  OUTPUT_NAME kestrava-diff RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
target_link_libraries(kestrava_diff_tool PRIVATE kestrava_diff)
install(TARGETS kestrava_diff_tool RUNTIME DESTINATION bin)
