# Every explorer on damaged tables and null arguments, through the staged plug-ins.
fogbell_add_test(explorer_hardening_test
    SOURCES explorer_hardening_test.cpp
    PLUGINS afsvault aixvault mvxvault pacvault)

# These three need POSIX processes and signals (fork, SIGKILL, SIGBUS, dropped privileges).
# On Windows a mapped file cannot be shortened at all (truncation_win32_test checks that the
# system refuses it), and killing a replacement half-way is covered by the journal tests.
if(WIN32)
    fogbell_add_test(truncation_win32_test SOURCES truncation_win32_test.cpp PLUGINS afsvault)
    return()
endif()

# Replacements killed with SIGKILL at random points leave the old or the new container.
fogbell_add_test(replace_kill_test
    SOURCES replace_kill_test.cpp
    PLUGINS afsvault mvxvault pacvault)

# Read-only containers and replacement files (checked without root's privileges).
fogbell_add_test(read_only_test
    SOURCES read_only_test.cpp
    PLUGINS afsvault mvxvault adxvoice)

# Containers truncated by another program while mapped.
fogbell_add_test(truncated_test SOURCES truncated_test.cpp PLUGINS afsvault)
