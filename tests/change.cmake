# The change page and the I/O port panel.
quvo_add_test(tst_standard_count LIBS quvo_core
    SOURCES change/tst_standard_count.cpp change/OperationLog.h)
quvo_add_test(tst_change_reconciliation LIBS quvo_core
    SOURCES change/tst_change_reconciliation.cpp change/OperationLog.h)
quvo_add_test(tst_io_port LIBS quvo_core
    SOURCES change/tst_io_port.cpp change/OperationLog.h)
quvo_add_test(tst_change_page LIBS quvo_ui
    SOURCES change/tst_change_page.cpp change/OperationLog.h support/ModalAnswerer.h)
