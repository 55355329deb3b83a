# Receipt preview: layout arithmetic, rulers, text measures and byte limits
# (core), and the preview widgets offscreen.
quvo_add_test(tst_receipt_layout LIBS quvo_core SOURCES receipt/tst_receipt_layout.cpp)
quvo_add_test(tst_receipt_text LIBS quvo_core SOURCES receipt/tst_receipt_text.cpp)
quvo_add_test(tst_receipt_preview LIBS quvo_ui SOURCES receipt/tst_receipt_preview.cpp)
quvo_add_test(tst_byte_limit LIBS quvo_ui SOURCES receipt/tst_byte_limit.cpp)
