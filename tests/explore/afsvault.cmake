# afsvault: the archive reader on its own, and the staged plug-in through its entry points.
fogbell_add_test(afs_archive_test
    SOURCES afs_archive_test.cpp afs_rebuild_test.cpp
    LIBS afsvault_objects fogbell_plugin_runtime fogbell_plugin_platform fogbell_plugin_container)
fogbell_add_test(afsvault_plugin_test SOURCES afsvault_plugin_test.cpp PLUGINS afsvault)
fogbell_check_exports(afsvault ${FOGBELL_EXPLORER_EXPORTS} fnReplaceFile fnReplaceFileMemory fnGetRoomFile fnRebuildFile
    fnGetLayout fnPackFiles fnReplaceFiles fnRebuildFiles fnGetTrackOffset fnReplaceFilesWithin)
