# The device data, the full read, the poll and the writes, without a window.
quvo_add_test(tst_value_formats LIBS quvo_core SOURCES device/tst_value_formats.cpp)
quvo_add_test(tst_full_read LIBS quvo_core
    SOURCES device/tst_full_read.cpp support/ScriptedController.h)
quvo_add_test(tst_live_poll LIBS quvo_core
    SOURCES device/tst_live_poll.cpp support/ScriptedController.h)
quvo_add_test(tst_price_entry LIBS quvo_core SOURCES device/tst_price_entry.cpp)
quvo_add_test(tst_write_operations LIBS quvo_core
    SOURCES device/tst_write_operations.cpp support/OperationLog.h)
quvo_add_test(tst_standard_count LIBS quvo_core
    SOURCES device/tst_standard_count.cpp support/OperationLog.h)
quvo_add_test(tst_change_reconciliation LIBS quvo_core
    SOURCES device/tst_change_reconciliation.cpp support/OperationLog.h)
quvo_add_test(tst_io_port LIBS quvo_core
    SOURCES device/tst_io_port.cpp support/OperationLog.h)
