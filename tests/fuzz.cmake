# Fuzz targets, each asserting what must hold for any input. In the usual
# build each replays its corpus (the seeds and every finding's input) as a
# test. Configured with QUVO_FUZZ=ON under clang (scripts/fuzz.sh does it in
# build-fuzz/), they are libFuzzer targets, and so is everything they link.
set(QUVO_FUZZ_TARGETS fuzz_reply fuzz_transaction fuzz_full_read fuzz_entry fuzz_text fuzz_trace fuzz_scenario
    fuzz_sales fuzz_csv fuzz_journal fuzz_pages)
add_custom_target(fuzz_targets)
foreach(t ${QUVO_FUZZ_TARGETS})
    if(QUVO_FUZZ)
        add_executable(${t} fuzz/${t}.cpp fuzz/FuzzInput.h)
        target_link_options(${t} PRIVATE -fsanitize=fuzzer)
    else()
        add_executable(${t} fuzz/${t}.cpp fuzz/FuzzInput.h fuzz/ReplayMain.cpp)
        add_test(NAME ${t} COMMAND ${t} ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/corpus/${t})
    endif()
    target_link_libraries(${t} PRIVATE quvo_test_support quvo_emulator quvo_journal)
    add_dependencies(fuzz_targets ${t})
endforeach()

# A short campaign, every target a few seconds on its corpus, where clang
# can build the fuzzers.
find_program(QUVO_CLANGXX clang++)
if(QUVO_CLANGXX AND NOT QUVO_FUZZ)
    add_test(NAME fuzz_short COMMAND ${CMAKE_SOURCE_DIR}/scripts/fuzz.sh 5)
    set_tests_properties(fuzz_short PROPERTIES RUN_SERIAL TRUE TIMEOUT 1800
                         FAIL_REGULAR_EXPRESSION "findings: [1-9]")
endif()
