# Device data, full read, live poll, sales and settings views.
quvo_add_test(tst_devread_formats LIBS quvo_core SOURCES devread/tst_ValueFormats.cpp)
quvo_add_test(tst_devread_fullread LIBS quvo_core SOURCES devread/tst_FullRead.cpp devread/ScriptedController.h)
quvo_add_test(tst_devread_poll LIBS quvo_core SOURCES devread/tst_LivePoll.cpp devread/ScriptedController.h)
quvo_add_test(tst_devread_views LIBS quvo_ui
    SOURCES devread/tst_DataViews.cpp support/FakeController.h support/ModalAnswerer.h)

# Benchmark: prints figures, never fails on speed, against the emulator.
quvo_add_test(bench_connect LIBS quvo_ui
    SOURCES devread/bench_connect.cpp)
if(TARGET quvo-emulator)
    target_compile_definitions(bench_connect PRIVATE QUVO_EMULATOR_PATH="$<TARGET_FILE:quvo-emulator>")
    add_dependencies(bench_connect quvo-emulator)
endif()
