# pacvault: the container reader on its own, and the staged plug-in through its entry points.
fogbell_add_test(pac_container_test
    SOURCES pac_container_test.cpp pac_rebuild_test.cpp
    LIBS pacvault_objects fogbell_wave_header fogbell_plugin_runtime fogbell_plugin_platform fogbell_plugin_container)
fogbell_add_test(pacvault_plugin_test SOURCES pacvault_plugin_test.cpp PLUGINS pacvault)
fogbell_check_exports(pacvault ${FOGBELL_EXPLORER_EXPORTS}
    fnReplaceFile fnReplaceFileMemory fnGetBitrate fnGetRoomFile fnRebuildFile fnGetLayout
    fnPackFiles fnReplaceFiles fnRebuildFiles fnGetTrackOffset fnReplaceFilesWithin)

# A PAC track's pointer and length handed to the WAVE decoder, as the host plays a track.
fogbell_add_test(pacvault_wavvoice_test
    SOURCES pacvault_wavvoice_test.cpp
    PLUGINS pacvault wavvoice)
