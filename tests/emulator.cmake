# The controller emulator: its model and scenarios in-process, the program
# through a real pseudo-terminal, and the utility driven end to end.
quvo_add_test(tst_emulator_model LIBS quvo_emulator SOURCES emulator/tst_emulator_model.cpp)
quvo_add_test(tst_emulator_scenario LIBS quvo_emulator SOURCES emulator/tst_emulator_scenario.cpp)
target_compile_definitions(tst_emulator_scenario PRIVATE QUVO_SOURCE_DIR="${CMAKE_SOURCE_DIR}")

quvo_add_test(tst_emulator_wire LIBS quvo_emulator SOURCES emulator/tst_emulator_wire.cpp)
target_compile_definitions(tst_emulator_wire PRIVATE QUVO_EMULATOR="$<TARGET_FILE:quvo-emulator>")
add_dependencies(tst_emulator_wire quvo-emulator)
