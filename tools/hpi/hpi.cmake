# The `hpi` command-line tool: list, extract and create archives.
file(GLOB HPI_TOOL_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/hpi_tool*.cpp)
add_executable(hpi_tool ${HPI_TOOL_SOURCES})
set_target_properties(hpi_tool PROPERTIES OUTPUT_NAME hpi RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
target_link_libraries(hpi_tool PRIVATE hpi kestrava_tool_common CLI11::CLI11)
install(TARGETS hpi_tool RUNTIME DESTINATION bin)

# The library's tests also run the built tool: once the whole project is
# configured, hand them its path and make them depend on it.
function(hpi_tool_wire_tests)
  if(TARGET hpi_tests)
    add_dependencies(hpi_tests hpi_tool)
    target_compile_definitions(hpi_tests PRIVATE HPI_TOOL_PATH="$<TARGET_FILE:hpi_tool>")
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL hpi_tool_wire_tests)
