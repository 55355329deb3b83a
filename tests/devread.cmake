# Device data, full read, live poll, sales and settings views.
quvo_add_test(tst_devread_formats LIBS quvo_core SOURCES devread/tst_ValueFormats.cpp)
quvo_add_test(tst_devread_fullread LIBS quvo_core SOURCES devread/tst_FullRead.cpp devread/ScriptedController.h)
quvo_add_test(tst_devread_poll LIBS quvo_core SOURCES devread/tst_LivePoll.cpp devread/ScriptedController.h)
quvo_add_test(tst_devread_views LIBS quvo_ui
    SOURCES devread/tst_DataViews.cpp devread/PacedController.cpp devread/PacedController.h
            support/ModalAnswerer.h)
