# wavvoice: the staged plug-in through its entry points.
fogbell_add_test(wavvoice_plugin_test SOURCES wavvoice_plugin_test.cpp PLUGINS wavvoice)
fogbell_check_exports(wavvoice ${FOGBELL_DECODER_EXPORTS} fnSeekSample)
