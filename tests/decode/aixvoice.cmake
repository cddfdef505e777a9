# aixvoice: the stream decoder on its own, and the staged plug-in fed by aixvault as the host
# feeds it.
fogbell_add_test(aix_stream_test
    SOURCES aix_stream_test.cpp
    LIBS aixvoice_objects fogbell_aix_layout fogbell_adx_frame fogbell_plugin_runtime fogbell_plugin_platform)
fogbell_add_test(aixvoice_plugin_test
    SOURCES aixvoice_plugin_test.cpp
    LIBS fogbell_adx_frame
    PLUGINS aixvoice aixvault)
fogbell_check_exports(aixvoice ${FOGBELL_DECODER_EXPORTS})

# Played through the record and extracted then decoded by adxvoice: needs the ADX decoder.
fogbell_add_test(aix_roundtrip_test
    SOURCES aix_roundtrip_test.cpp
    PLUGINS aixvault aixvoice adxvoice)
