# Every explorer on damaged tables and null arguments, through the staged plug-ins.
fogbell_add_test(explorer_hardening_test
    SOURCES explorer_hardening_test.cpp
    PLUGINS afsvault aixvault mvxvault pacvault)
