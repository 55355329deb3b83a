# The real program under a virtual X server against the controller emulator,
# driven with xdotool; screenshots land in build/screenshots.
add_test(NAME e2e_connect
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/e2e/e2e_connect.sh
            $<TARGET_FILE:quvo-utility> $<TARGET_FILE:quvo-emulator> $<TARGET_FILE:quvo-screenshot>
            ${CMAKE_BINARY_DIR}/screenshots ${CMAKE_CURRENT_SOURCE_DIR}/e2e/connect_scenario.json)
add_test(NAME e2e_price
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/e2e/e2e_price.sh
            $<TARGET_FILE:quvo-utility> $<TARGET_FILE:quvo-emulator> $<TARGET_FILE:quvo-screenshot>
            ${CMAKE_BINARY_DIR}/screenshots)
add_test(NAME e2e_late_reply
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/e2e/e2e_late_reply.sh
            $<TARGET_FILE:quvo-utility> $<TARGET_FILE:quvo-emulator> $<TARGET_FILE:quvo-screenshot>
            ${CMAKE_BINARY_DIR}/screenshots)
# One virtual X server at a time: two starting together may pick the same display.
set_tests_properties(e2e_connect e2e_price e2e_late_reply PROPERTIES TIMEOUT 180 RESOURCE_LOCK xserver)
