# The document window: selecting a body, opening a large project.
add_executable(bench_mainwindow bench_mainwindow.cpp)
target_link_libraries(bench_mainwindow PRIVATE hwt_ui hwt_resources benchmark::benchmark)
set_target_properties(bench_mainwindow PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
