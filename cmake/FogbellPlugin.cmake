# fogbell_add_plugin(NAME KIND SOURCES src... [LINK objlib...])
#
# Builds one plug-in as a MODULE library named exactly NAME.so (NAME.dll on Windows; no "lib"
# prefix), staged in
# build/bin/<KIND>_plugins/ beside the programs, so that the build tree runs as an install would.
# Everything is compiled with hidden visibility and linked with a version script, so that the
# only dynamic symbols the library defines are its fn... entry points. Each plug-in gets its own
# copy of the support libraries (OBJECT libraries): handle tables and error texts are never shared.
#
# KIND is "explore" or "decode". Every plug-in gets the support library's runtime and platform
# layer; explorers also its container library. Decoders that convert formats name the voice
# library in LINK. The plug-in's own code is collected in the OBJECT library
# NAME_objects, so that unit tests can link the same objects directly. LINK names further
# OBJECT libraries (shared decoding code) that go into the plug-in.
function(fogbell_add_plugin name kind)
    cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "SOURCES;LINK")
    set(support fogbell_plugin_runtime fogbell_plugin_platform)
    if(kind STREQUAL "explore")
        list(APPEND support fogbell_plugin_container)
    elseif(NOT kind STREQUAL "decode")
        message(FATAL_ERROR "plug-in kind must be explore or decode, not ${kind}")
    endif()
    add_library(${name}_objects OBJECT ${arg_SOURCES})
    target_link_libraries(${name}_objects PUBLIC ${support} ${arg_LINK} PRIVATE fogbell_warnings)
    if(kind STREQUAL "explore")
        target_compile_definitions(${name}_objects PUBLIC FOGBELL_EXPLORER_PLUGIN)
    else()
        target_compile_definitions(${name}_objects PUBLIC FOGBELL_DECODER_PLUGIN)
    endif()
    set_target_properties(${name}_objects PROPERTIES
        POSITION_INDEPENDENT_CODE ON
        CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON)

    add_library(${name} MODULE)
    # Object libraries contribute their objects only to targets that link them directly.
    target_link_libraries(${name} PRIVATE ${name}_objects ${support} ${arg_LINK})
    set_target_properties(${name} PROPERTIES
        PREFIX ""
        LIBRARY_OUTPUT_DIRECTORY ${FOGBELL_STAGE_DIR}/${kind}_plugins
        CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON)
    if(WIN32)
        target_link_options(${name} PRIVATE -static "LINKER:--exclude-all-symbols")
    else()
        target_link_options(${name} PRIVATE
            "LINKER:--version-script=${PROJECT_SOURCE_DIR}/cmake/plugin_exports.map")
        set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS
            ${PROJECT_SOURCE_DIR}/cmake/plugin_exports.map)
    endif()
    set_property(GLOBAL APPEND PROPERTY FOGBELL_PLUGINS ${name})
endfunction()

