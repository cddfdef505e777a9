# What every decoder with a format converter promises through its entry points, checked on the
# staged adxvoice, wavvoice and xmdvoice alike.
fogbell_add_test(decoder_contract_test
    SOURCES decoder_contract_test.cpp
    PLUGINS adxvoice wavvoice xmdvoice)
