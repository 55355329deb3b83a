# Screenshots of the real program under Xvfb.
add_executable(quvo-screenshot tools/screenshot.cpp)
target_link_libraries(quvo-screenshot PRIVATE Qt6::Gui)

# The script that gives a device a COM number, in a runtime directory of its own.
add_test(NAME publish_port COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tools/publish_port_test.sh
                                   ${CMAKE_SOURCE_DIR}/scripts/publish-port.sh)
