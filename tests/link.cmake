quvo_add_test(test_reply LIBS quvo_core SOURCES test_reply.cpp)
quvo_add_test(test_devicelink LIBS quvo_core SOURCES test_devicelink.cpp)
quvo_add_test(test_search LIBS quvo_core SOURCES test_search.cpp)
quvo_add_test(test_shiftjis LIBS quvo_core SOURCES test_shiftjis.cpp)
