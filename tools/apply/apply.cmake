# kestrava-apply: a spreadsheet's changes back into the definitions. On the
# core alone (no Qt); the library holds everything but main, for the tests and
# benchmarks.
add_library(kestrava_apply STATIC ${CMAKE_SOURCE_DIR}/tools/apply/apply_command.cpp)
target_link_libraries(kestrava_apply PUBLIC kestrava_core kestrava_tool_common CLI11::CLI11 nlohmann_json::nlohmann_json)

add_executable(kestrava_apply_tool ${CMAKE_SOURCE_DIR}/tools/apply/apply_main.cpp)
set_target_properties(kestrava_apply_tool PROPERTIES
  OUTPUT_NAME kestrava-apply RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
target_link_libraries(kestrava_apply_tool PRIVATE kestrava_apply)
install(TARGETS kestrava_apply_tool RUNTIME DESTINATION bin)
