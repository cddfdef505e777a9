# fnGetRoomFile and fnRebuildFile of the rebuildable explorers, read back independently.
fogbell_add_test(rebuild_plugin_test
    SOURCES rebuild_plugin_test.cpp
    PLUGINS afsvault mvxvault pacvault)
