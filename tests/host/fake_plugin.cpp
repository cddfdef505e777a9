// Small stand-in plug-ins for the host's binding rules. One source, built several times with
// different definitions:
//   FAKE_DECODER              decoder entry points (else explorer ones)
//   FAKE_EXTENSIONS=...       fnGetSupportExt listing these strings (FAKE_NO_EXTENSION_LIST:
//                             no fnGetSupportExt at all)
//   FAKE_ERROR_TEXT="..."     fnGetErrorString returning this text
//   FAKE_LOAD_RESULT=n        what the load entry points return
//   FAKE_LACK_EXTRACT         an explorer without its required fnExtractFile
//   FAKE_MEMORY_LOAD          a decoder with fnLoadFileMemory (and no fnGetFormatSource)
//   FAKE_ALSO_DECODES         an explorer that also exports a decoder's fnDecodeNext
//   FAKE_EMPTY_NAME           an explorer listing an empty name between two others
//   FAKE_FALLBACK             fnGetFallbackExt listing "WAV" (an entry point only decoders have)
#include <cstdint>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

#ifndef FAKE_LOAD_RESULT
#define FAKE_LOAD_RESULT 0
#endif

FAKE_EXPORT int32_t fnCloseFile(int32_t) {
    return 1;
}

#ifndef FAKE_NO_EXTENSION_LIST
FAKE_EXPORT const char* const* fnGetSupportExt() {
    static const char* const kList[] = {FAKE_EXTENSIONS nullptr};
    return kList;
}
#endif

#ifdef FAKE_ERROR_TEXT
FAKE_EXPORT const char* fnGetErrorString() {
    return FAKE_ERROR_TEXT;
}
#endif

#ifdef FAKE_FALLBACK
FAKE_EXPORT const char* const* fnGetFallbackExt() {
    static const char* const kList[] = {"WAV", nullptr};
    return kList;
}
#endif

#ifdef FAKE_DECODER
FAKE_EXPORT int32_t fnLoadFile(int32_t, int32_t, const char*) {
    return FAKE_LOAD_RESULT;
}
#ifdef FAKE_MEMORY_LOAD
FAKE_EXPORT int32_t fnLoadFileMemory(int32_t, int32_t, const void*, uint32_t) {
    return FAKE_LOAD_RESULT;
}
#endif
#else
namespace {
char kName[] = "inner.bin";
#ifdef FAKE_EMPTY_NAME
char kEmpty[] = "";
char kAfter[] = "after.bin";
char* kNames[] = {kName, kEmpty, kAfter, nullptr};
#else
char* kNames[] = {kName, nullptr};
#endif
const unsigned char kBytes[4] = {1, 2, 3, 4};
}  // namespace
FAKE_EXPORT int32_t fnLoadFile(const char*) {
    return FAKE_LOAD_RESULT;
}
FAKE_EXPORT int32_t fnLoadFileMemory(const void*, uint32_t) {
    return FAKE_LOAD_RESULT;
}
FAKE_EXPORT char** fnGetListFiles(int32_t) {
    return kNames;
}
FAKE_EXPORT const void* fnGetFilePointer(int32_t, const char*, uint32_t* length) {
    if (length) {
        *length = sizeof kBytes;
    }
    return kBytes;
}
#ifndef FAKE_LACK_EXTRACT
FAKE_EXPORT int32_t fnExtractFile(int32_t, const char*, const char*) {
    return 1;
}
#endif
#ifdef FAKE_ALSO_DECODES
FAKE_EXPORT const void* fnDecodeNext(int32_t) {
    return nullptr;
}
#endif
#endif
