# The shape editor: dragging a vertex of a large polygon, rebuilding shapes after an undo.
add_executable(bench_editor bench_editor.cpp)
target_link_libraries(bench_editor PRIVATE hwt_editor hwt_resources Qt5::Test benchmark::benchmark)
set_target_properties(bench_editor PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
