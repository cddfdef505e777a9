# mvxvault: the archive reader on its own, and the staged plug-in through its entry points.
fogbell_add_test(mvx_archive_test
    SOURCES mvx_archive_test.cpp mvx_rebuild_test.cpp
    LIBS mvxvault_objects fogbell_plugin_runtime fogbell_plugin_platform fogbell_plugin_container)
fogbell_add_test(mvxvault_plugin_test SOURCES mvxvault_plugin_test.cpp PLUGINS mvxvault)
fogbell_check_exports(mvxvault ${FOGBELL_EXPLORER_EXPORTS}
    fnReplaceFile fnReplaceFileMemory fnGetBitrate fnGetRoomFile fnRebuildFile fnGetLayout
    fnPackFiles fnReplaceFiles fnRebuildFiles fnGetTrackOffset fnReplaceFilesWithin)

# An MVX track's pointer and length handed to the XMD decoder, as the host plays a track.
fogbell_add_test(mvxvault_xmdvoice_test
    SOURCES mvxvault_xmdvoice_test.cpp
    PLUGINS mvxvault xmdvoice)
