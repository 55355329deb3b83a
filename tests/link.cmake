# The link: reply classification, Shift-JIS, one transaction, the search.
quvo_add_test(tst_reply LIBS quvo_core SOURCES link/tst_reply.cpp)
quvo_add_test(tst_shift_jis LIBS quvo_core SOURCES link/tst_shift_jis.cpp)
quvo_add_test(tst_device_link LIBS quvo_core SOURCES link/tst_device_link.cpp)
quvo_add_test(tst_search LIBS quvo_core SOURCES link/tst_search.cpp)
