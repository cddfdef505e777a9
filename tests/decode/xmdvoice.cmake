# xmdvoice: the XMD frame decoding and stream on their own, and the staged plug-in.
fogbell_add_test(xmd_stream_test
    SOURCES xmd_stream_test.cpp
    LIBS xmdvoice_objects fogbell_plugin_voice fogbell_plugin_runtime fogbell_plugin_platform)
fogbell_add_test(xmdvoice_plugin_test SOURCES xmdvoice_plugin_test.cpp PLUGINS xmdvoice)
fogbell_check_exports(xmdvoice ${FOGBELL_DECODER_EXPORTS} fnSeekSample)
fogbell_add_test(xmd_bulk_test
    SOURCES xmd_bulk_test.cpp
    LIBS xmdvoice_objects fogbell_plugin_voice fogbell_plugin_runtime fogbell_plugin_platform)
