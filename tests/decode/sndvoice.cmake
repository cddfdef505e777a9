# sndvoice, where it is built: the staged plug-in through its entry points on files libsndfile
# writes at test time (every system), and against FFmpeg's files and decodes (Linux: FFmpeg is
# not there under Wine).
include(${PROJECT_SOURCE_DIR}/tests/fixtures/sndfile/sound_files.cmake)
if(TARGET sndvoice)
    fogbell_add_test(sndvoice_plugin_test
        SOURCES sndvoice_plugin_test.cpp
        LIBS fogbell_sound_file_fixtures
        PLUGINS sndvoice)
    fogbell_check_exports(sndvoice ${FOGBELL_DECODER_EXPORTS} fnGetLoopPoints fnSeekSample
        fnGetFallbackExt)
    if(NOT WIN32)
        fogbell_add_test(sndvoice_ffmpeg_test
            SOURCES sndvoice_ffmpeg_test.cpp
            LIBS fogbell_sound_file_fixtures
            PLUGINS sndvoice)
    endif()
endif()
