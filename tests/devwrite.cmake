# Writes to the controller: price entry, options with restart, counter clear.
quvo_add_test(devwrite_priceentry LIBS quvo_core
    SOURCES devwrite/tst_priceentry.cpp)
quvo_add_test(devwrite_operations LIBS quvo_core
    SOURCES devwrite/tst_writeoperations.cpp support/OperationLog.h)
quvo_add_test(devwrite_window LIBS quvo_ui
    SOURCES devwrite/tst_writewindow.cpp support/FakeController.h support/ModalAnswerer.h)
quvo_add_test(devwrite_dialog LIBS quvo_ui
    SOURCES devwrite/tst_datasetdialog.cpp support/ModalAnswerer.h)

# Round trips through the controller emulator.
quvo_add_test(devwrite_roundtrip LIBS quvo_ui
    SOURCES devwrite/tst_writeroundtrip.cpp support/ModalAnswerer.h)
target_compile_definitions(devwrite_roundtrip PRIVATE QUVO_EMULATOR="$<TARGET_FILE:quvo-emulator>")
add_dependencies(devwrite_roundtrip quvo-emulator)
