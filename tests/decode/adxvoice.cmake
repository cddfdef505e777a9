# adxvoice: the ADX stream reader on its own, and the staged plug-in through its entry points.
fogbell_add_test(adx_stream_test
    SOURCES adx_stream_test.cpp
    LIBS adxvoice_objects fogbell_adx_frame fogbell_plugin_voice fogbell_plugin_runtime fogbell_plugin_platform)
fogbell_add_test(adxvoice_plugin_test SOURCES adxvoice_plugin_test.cpp PLUGINS adxvoice)
fogbell_check_exports(adxvoice ${FOGBELL_DECODER_EXPORTS} fnGetLoopPoints fnSeekSample)
fogbell_add_test(adx_bulk_test
    SOURCES adx_bulk_test.cpp
    LIBS adxvoice_objects fogbell_adx_frame fogbell_plugin_voice fogbell_plugin_runtime fogbell_plugin_platform)
