# The change page and the I/O port panel.
quvo_add_test(tst_standard_count LIBS quvo_core
    SOURCES change/tst_standard_count.cpp support/OperationLog.h)
quvo_add_test(tst_change_reconciliation LIBS quvo_core
    SOURCES change/tst_change_reconciliation.cpp support/OperationLog.h)
quvo_add_test(tst_io_port LIBS quvo_core
    SOURCES change/tst_io_port.cpp support/OperationLog.h)
quvo_add_test(tst_change_page LIBS quvo_ui
    SOURCES change/tst_change_page.cpp support/OperationLog.h support/ModalAnswerer.h)
# The reconciliation through the window against the controller emulator.
quvo_add_test(tst_change_emulator LIBS quvo_ui SOURCES change/tst_change_emulator.cpp)
target_compile_definitions(tst_change_emulator PRIVATE QUVO_EMULATOR="$<TARGET_FILE:quvo-emulator>")
add_dependencies(tst_change_emulator quvo-emulator)
