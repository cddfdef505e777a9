# wavvoice: the WAVE file checks on their own, and the staged plug-in through its entry points.
fogbell_add_test(wave_file_test
    SOURCES wave_file_test.cpp
    LIBS wavvoice_objects fogbell_wave_header fogbell_fmtconv fogbell_plugin_support)
fogbell_add_test(wavvoice_plugin_test SOURCES wavvoice_plugin_test.cpp PLUGINS wavvoice)
fogbell_check_exports(wavvoice ${FOGBELL_DECODER_EXPORTS})
