# What adxvoice, wavvoice and xmdvoice share: the format converter and the one-second blocks.
fogbell_add_test(decoder_support_test
    SOURCES fmtconv_test.cpp frame_blocks_test.cpp
    LIBS fogbell_plugin_voice fogbell_plugin_runtime fogbell_plugin_platform)
