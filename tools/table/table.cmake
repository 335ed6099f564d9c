# kestrava-table: the comparison tables as CSV, TSV or JSON, on the core alone
# (no Qt). The library holds everything but main, for the tests and benchmarks.
add_library(kestrava_table STATIC ${CMAKE_SOURCE_DIR}/tools/table/table_command.cpp)
target_link_libraries(kestrava_table PUBLIC kestrava_core kestrava_tool_common PRIVATE CLI11::CLI11 nlohmann_json::nlohmann_json)

add_executable(kestrava_table_tool ${CMAKE_SOURCE_DIR}/tools/table/table_main.cpp)
set_target_properties(kestrava_table_tool PROPERTIES
  OUTPUT_NAME kestrava-table RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
target_link_libraries(kestrava_table_tool PRIVATE kestrava_table)
install(TARGETS kestrava_table_tool RUNTIME DESTINATION bin)
