# Every explorer on damaged tables and null arguments, through the staged plug-ins.
fogbell_add_test(explorer_hardening_test
    SOURCES explorer_hardening_test.cpp
    PLUGINS afsvault aixvault mvxvault pacvault)

# Replacements killed at random points leave the old or the new container (a forked child
# killed with SIGKILL; on Windows the test program started again and ended by TerminateProcess).
fogbell_add_test(replace_kill_test
    SOURCES replace_kill_test.cpp
    PLUGINS afsvault mvxvault pacvault)

if(WIN32)
    # Windows refuses to cut a mapped file short, and the guard survives views whose pages fail.
    fogbell_add_test(truncation_win32_test SOURCES truncation_win32_test.cpp PLUGINS afsvault)
    if(CMAKE_CROSSCOMPILING AND FOGBELL_WINE)
        # Under Wine a program of this machine can cut the file short while it is mapped: the
        # test program is started by a script of this machine (not through the emulator), which
        # truncates the file when the program asks.
        add_executable(cut_under_wine_test cut_under_wine_test.cpp)
        target_link_libraries(cut_under_wine_test PRIVATE fogbell_test_fixtures GTest::gtest_main
            fogbell_test_warnings)
        set_target_properties(cut_under_wine_test PROPERTIES
            RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests)
        add_dependencies(cut_under_wine_test afsvault)
        add_dependencies(wine_tests cut_under_wine_test)
        add_test(NAME cut_under_wine_test
            COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/cut_while_mapped.sh ${FOGBELL_WINE}
                $<TARGET_FILE:cut_under_wine_test>)
        set_tests_properties(cut_under_wine_test PROPERTIES LABELS wine)
    endif()
    return()
endif()

# These need POSIX processes and signals (fork, SIGBUS, dropped privileges).
# Read-only containers and replacement files (checked without root's privileges).
fogbell_add_test(read_only_test
    SOURCES read_only_test.cpp
    PLUGINS afsvault mvxvault adxvoice)

# Containers truncated by another program while mapped.
fogbell_add_test(truncated_test SOURCES truncated_test.cpp PLUGINS afsvault)
