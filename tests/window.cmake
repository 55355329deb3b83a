quvo_add_test(test_mainform LIBS quvo_ui SOURCES test_mainform.cpp support/ModalAnswerer.h)
