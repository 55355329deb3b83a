# The main window, its pages and dialogs offscreen, against fakes or the
# controller emulator.
quvo_add_test(tst_main_form LIBS quvo_ui SOURCES ui/tst_main_form.cpp support/WindowFixture.h)
quvo_add_test(tst_data_views LIBS quvo_ui quvo_emulator
    SOURCES ui/tst_data_views.cpp support/WindowFixture.h)
quvo_add_test(tst_data_set_dialog LIBS quvo_ui
    SOURCES ui/tst_data_set_dialog.cpp support/ModalAnswerer.h)
quvo_add_test(tst_write_window LIBS quvo_ui
    SOURCES ui/tst_write_window.cpp support/FakeController.h support/WindowFixture.h)
quvo_add_test(tst_change_page LIBS quvo_ui
    SOURCES ui/tst_change_page.cpp support/OperationLog.h support/WindowFixture.h)
quvo_add_test(tst_main_form_receipt LIBS quvo_ui
    SOURCES ui/tst_main_form_receipt.cpp support/ModalAnswerer.h)

# Round trips through the controller emulator.
quvo_add_test(tst_write_round_trip LIBS quvo_ui
    SOURCES ui/tst_write_round_trip.cpp support/WindowFixture.h)
target_compile_definitions(tst_write_round_trip PRIVATE QUVO_EMULATOR="$<TARGET_FILE:quvo-emulator>")
add_dependencies(tst_write_round_trip quvo-emulator)
quvo_add_test(tst_change_emulator LIBS quvo_ui SOURCES ui/tst_change_emulator.cpp)
target_compile_definitions(tst_change_emulator PRIVATE QUVO_EMULATOR="$<TARGET_FILE:quvo-emulator>")
add_dependencies(tst_change_emulator quvo-emulator)

# Benchmark: prints figures, never fails on speed, against the emulator.
# Alone, so that no other test shares the machine while it measures.
quvo_add_test(bench_connect LIBS quvo_ui SOURCES ui/bench_connect.cpp)
set_tests_properties(bench_connect PROPERTIES RUN_SERIAL TRUE)
if(TARGET quvo-emulator)
    target_compile_definitions(bench_connect PRIVATE QUVO_EMULATOR_PATH="$<TARGET_FILE:quvo-emulator>")
    add_dependencies(bench_connect quvo-emulator)
endif()

# Benchmark: the headless read against the emulator beside its wire time
# and the program's start; prints figures, never fails on speed.
quvo_add_test(bench_read LIBS quvo_core SOURCES ui/bench_read.cpp)
set_tests_properties(bench_read PROPERTIES RUN_SERIAL TRUE)
target_compile_definitions(bench_read PRIVATE QUVO_EMULATOR_PATH="$<TARGET_FILE:quvo-emulator>"
                           QUVO_UTILITY_PATH="$<TARGET_FILE:quvo-utility>")
add_dependencies(bench_read quvo-emulator quvo-utility)

# The machine journal from the window, with the emulator and the program's export.
quvo_add_test(tst_journal_window LIBS quvo_ui SOURCES ui/tst_journal_window.cpp support/WindowFixture.h)
target_compile_definitions(tst_journal_window PRIVATE QUVO_EMULATOR="$<TARGET_FILE:quvo-emulator>"
                           QUVO_UTILITY="$<TARGET_FILE:quvo-utility>")
add_dependencies(tst_journal_window quvo-emulator quvo-utility)
quvo_add_test(bench_journal LIBS quvo_ui SOURCES ui/bench_journal.cpp)
set_tests_properties(bench_journal PROPERTIES RUN_SERIAL TRUE)
# The same with a journal of 1,000,000 readings across 500 machines.
add_test(NAME bench_journal_large COMMAND bench_journal --large)
get_test_property(bench_journal ENVIRONMENT bench_environment)
set_tests_properties(bench_journal_large PROPERTIES RUN_SERIAL TRUE TIMEOUT 1800
                     ENVIRONMENT "${bench_environment}")
