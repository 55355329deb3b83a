# Screenshots of the real program under Xvfb.
add_executable(quvo-screenshot tools/screenshot.cpp)
target_link_libraries(quvo-screenshot PRIVATE Qt6::Gui)
