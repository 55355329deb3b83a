# Writes to the controller: price entry, options with restart, counter clear.
quvo_add_test(devwrite_priceentry LIBS quvo_core
    SOURCES devwrite/tst_priceentry.cpp)
quvo_add_test(devwrite_operations LIBS quvo_core
    SOURCES devwrite/tst_writeoperations.cpp devwrite/RecordingHost.h)
quvo_add_test(devwrite_window LIBS quvo_ui
    SOURCES devwrite/tst_writewindow.cpp devwrite/ControllerModel.h devwrite/ModalAnswerer.h)
quvo_add_test(devwrite_dialog LIBS quvo_ui
    SOURCES devwrite/tst_datasetdialog.cpp devwrite/ModalAnswerer.h)
