# What every decoder with a format converter promises through its entry points, checked on the
# staged adxvoice, wavvoice, xmdvoice and sndvoice alike.
# sndvoice joins them where it is built.
set(contract_plugins adxvoice wavvoice xmdvoice)
set(contract_libs)
include(${PROJECT_SOURCE_DIR}/tests/fixtures/sndfile/sound_files.cmake)
if(TARGET sndvoice)
    list(APPEND contract_plugins sndvoice)
    list(APPEND contract_libs fogbell_sound_file_fixtures)
endif()
fogbell_add_test(decoder_contract_test
    SOURCES decoder_contract_test.cpp
    LIBS ${contract_libs}
    PLUGINS ${contract_plugins})
