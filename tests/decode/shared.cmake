# Decoding code shared by several plug-ins.
fogbell_add_test(adx_frame_test SOURCES adx_frame_test.cpp LIBS fogbell_adx_frame)
fogbell_add_test(wave_header_test
    SOURCES wave_header_test.cpp
    LIBS fogbell_wave_header fogbell_plugin_support)
