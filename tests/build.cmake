# The build itself: every source of the tree is named in some target; the
# Debian package built from this tree, and the script that gives a device a
# COM number.
# A tree configured for the package (QUVO_HARDENED) must yield hardened programs.
set(hardened)
if(QUVO_HARDENED)
    set(hardened --hardened)
endif()
add_test(NAME package_deb COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/build/package_deb.sh ${CMAKE_BINARY_DIR} ${hardened})
set_tests_properties(package_deb PROPERTIES TIMEOUT 300)
# run.sh stopped by a signal to its pid leaves nothing running (one X server at a time).
add_test(NAME run_signals COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/build/run_signals.sh ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR})
set_tests_properties(run_signals PROPERTIES TIMEOUT 300 RESOURCE_LOCK xserver)
add_test(NAME publish_port COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/build/publish_port.sh
                                   ${CMAKE_SOURCE_DIR}/scripts/publish-port.sh)

# Collects the sources of every target defined so far (include this last).
function(quvo_collect_sources dir)
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(t ${targets})
        get_target_property(type ${t} TYPE)
        if(type STREQUAL "INTERFACE_LIBRARY" OR type STREQUAL "UTILITY")
            continue()
        endif()
        get_target_property(sources ${t} SOURCES)
        get_target_property(base ${t} SOURCE_DIR)
        foreach(s ${sources})
            cmake_path(ABSOLUTE_PATH s BASE_DIRECTORY ${base} NORMALIZE)
            cmake_path(RELATIVE_PATH s BASE_DIRECTORY ${CMAKE_SOURCE_DIR})
            set_property(GLOBAL APPEND PROPERTY QUVO_LISTED_SOURCES ${s})
        endforeach()
    endforeach()
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(d ${subdirs})
        quvo_collect_sources(${d})
    endforeach()
endfunction()
quvo_collect_sources(${CMAKE_SOURCE_DIR})
get_property(listed GLOBAL PROPERTY QUVO_LISTED_SOURCES)
list(JOIN listed "\n" listed)
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/listed-sources.txt "${listed}\n")
add_test(NAME sources_listed
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/build/sources_listed.sh
            ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR}/listed-sources.txt)
