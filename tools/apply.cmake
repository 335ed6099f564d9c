# kestrava-apply and kestrava-diff: a spreadsheet's changes back into the
# definitions, and what changed between two versions of a mod. On the core
# alone (no Qt); the library holds everything but main, for the tests and
# benchmarks.
add_library(kestrava_apply STATIC
  ${CMAKE_SOURCE_DIR}/tools/apply_command.cpp
  ${CMAKE_SOURCE_DIR}/tools/apply_plan.cpp
  ${CMAKE_SOURCE_DIR}/tools/cell_text.cpp
  ${CMAKE_SOURCE_DIR}/tools/definition_edit.cpp
  ${CMAKE_SOURCE_DIR}/tools/diff_command.cpp
  ${CMAKE_SOURCE_DIR}/tools/diff_compare.cpp
  ${CMAKE_SOURCE_DIR}/tools/diff_report.cpp
  ${CMAKE_SOURCE_DIR}/tools/diff_source.cpp
  ${CMAKE_SOURCE_DIR}/tools/table_read.cpp
  ${CMAKE_SOURCE_DIR}/tools/text_edit.cpp)
target_include_directories(kestrava_apply PUBLIC ${CMAKE_SOURCE_DIR}/tools)
target_link_libraries(kestrava_apply PUBLIC kestrava_table CLI11::CLI11 nlohmann_json::nlohmann_json)

add_executable(kestrava_apply_tool ${CMAKE_SOURCE_DIR}/tools/apply_main.cpp)
set_target_properties(kestrava_apply_tool PROPERTIES
  OUTPUT_NAME kestrava-apply RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
target_link_libraries(kestrava_apply_tool PRIVATE kestrava_apply)
install(TARGETS kestrava_apply_tool RUNTIME DESTINATION bin)

add_executable(kestrava_diff_tool ${CMAKE_SOURCE_DIR}/tools/diff_main.cpp)
set_target_properties(kestrava_diff_tool PROPERTIES
  OUTPUT_NAME kestrava-diff RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
target_link_libraries(kestrava_diff_tool PRIVATE kestrava_apply)
install(TARGETS kestrava_diff_tool RUNTIME DESTINATION bin)
