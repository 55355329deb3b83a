# Receipt preview: layout arithmetic, rulers, text measures and byte limits
# (core), and the preview widgets offscreen.
quvo_add_test(receipt_layout LIBS quvo_core SOURCES receipt/tst_receiptlayout.cpp)
quvo_add_test(receipt_text LIBS quvo_core SOURCES receipt/tst_receipttext.cpp)
quvo_add_test(receipt_preview LIBS quvo_ui SOURCES receipt/tst_receiptpreview.cpp)
quvo_add_test(receipt_bytelimit LIBS quvo_ui SOURCES receipt/tst_bytelimit.cpp)
quvo_add_test(receipt_mainform LIBS quvo_ui SOURCES receipt/tst_mainformreceipt.cpp support/ModalAnswerer.h)
