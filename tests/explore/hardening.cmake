# Every explorer on damaged tables and null arguments, through the staged plug-ins.
fogbell_add_test(explorer_hardening_test
    SOURCES explorer_hardening_test.cpp
    PLUGINS afsvault aixvault mvxvault pacvault)

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
