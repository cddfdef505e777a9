# aixvault: the AIX layout and extraction code on their own, and the staged plug-in through its
# entry points.
fogbell_add_test(aix_layout_test
    SOURCES aix_layout_test.cpp aix_record_c_check.c
    LIBS aixvault_objects fogbell_aix_layout fogbell_plugin_runtime fogbell_plugin_platform fogbell_plugin_container)
fogbell_add_test(aixvault_plugin_test SOURCES aixvault_plugin_test.cpp PLUGINS aixvault)
fogbell_check_exports(aixvault ${FOGBELL_EXPLORER_EXPORTS} fnGetBitrate fnIsTrackRecord)

# The record's original 32-bit offsets, checked by compiling its header for a 32-bit target
# (the header asserts them there); needs only a compiler that can target i386.
find_program(FOGBELL_CLANG clang)
if(FOGBELL_CLANG)
    add_test(NAME aix_record_32bit_layout
        COMMAND ${FOGBELL_CLANG} --target=i386-linux-gnu -ffreestanding -std=c11 -Werror
            -fsyntax-only -I${PROJECT_SOURCE_DIR}/plugins/abi
            ${CMAKE_CURRENT_SOURCE_DIR}/aix_record_c_check.c)
endif()
