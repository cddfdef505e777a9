// adxvoice: the decoder plug-in for ADX streams (layout in adx_stream.h).
//
// One second of 16-bit PCM per fnDecodeNext, converted to the format the caller asked for.
// fnGetSizeData is the header's total sample count and fnGetCurrPos the samples per channel
// decoded so far. The plug-in never sets "OK" itself: the text changes only through a failure or
// through mapping a file (fnLoadFile), so a caller reads the text right after a failed call.
#include "adx_stream.h"
#include "fogbell_decoder.h"
#include "framed_voice.h"
#include "plugin_support.h"

namespace {

using namespace fogbell::plugin;
namespace adx = fogbell::adx;

constexpr std::uint32_t kMaxGroupBytes = adx::kMaxGroupSamples * sizeof(std::int16_t);

// ADXVOICEFILE: one open stream.
struct AdxVoiceFile : FramedVoice<adx::FrameStream> {};

int LoadFromMemory(std::int32_t channelsOut, std::int32_t rateOut, const std::uint8_t* data,
                   std::uint32_t size) {
    return LoadFramedVoice<AdxVoiceFile, adx::Header>(
        channelsOut, rateOut, data, size, "Can't allocate ADXVOICEFILE struct.", kMaxGroupBytes,
        [](const std::uint8_t* bytes, std::uint32_t length, adx::Header& header) -> const char* {
            const adx::HeaderStatus status = adx::ReadHeader(bytes, length, header);
            return status == adx::HeaderStatus::kOk ? nullptr : adx::StatusText(status);
        });
}

}  // namespace

extern "C" {

FOGBELL_PLUGIN_API int32_t fnLoadFile(int32_t channelsOut, int32_t rateOut, const char* path) {
    return LoadVoiceFromPath<AdxVoiceFile>(path, [&](const std::uint8_t* view, std::uint32_t size) {
        return LoadFromMemory(channelsOut, rateOut, view, size);
    });
}

FOGBELL_PLUGIN_API int32_t fnLoadFileMemory(int32_t channelsOut, int32_t rateOut, const void* data,
                                            uint32_t size) {
    return Guarded(kNoHandle, [&] {
        return LoadFromMemory(channelsOut, rateOut, static_cast<const std::uint8_t*>(data), size);
    });
}

FOGBELL_PLUGIN_API int32_t fnCloseFile(int32_t handle) {
    return CloseVoice<AdxVoiceFile>(handle);
}

FOGBELL_PLUGIN_API int32_t fnResetFile(int32_t handle) {
    return ResetVoice<AdxVoiceFile>(handle);
}

FOGBELL_PLUGIN_API int32_t fnSeekSample(int32_t handle, uint32_t sample) {
    return SeekVoice<AdxVoiceFile>(handle, sample);
}

FOGBELL_PLUGIN_API const PcmBlock* fnDecodeNext(int32_t handle) {
    return DecodeVoice<AdxVoiceFile>(handle);
}

FOGBELL_PLUGIN_API uint32_t fnGetCurrPos(int32_t handle) {
    return VoicePosition<AdxVoiceFile>(handle);
}

FOGBELL_PLUGIN_API uint32_t fnGetSizeData(int32_t handle) {
    return VoiceSize<AdxVoiceFile>(handle);
}

FOGBELL_PLUGIN_API const WAVEFORMATEX* fnGetFormatSource(int32_t handle) {
    return VoiceSourceFormat<AdxVoiceFile>(handle);
}

FOGBELL_PLUGIN_API const WAVEFORMATEX* fnGetFormatOut(int32_t handle) {
    return VoiceOutputFormat<AdxVoiceFile>(handle);
}

FOGBELL_PLUGIN_API int32_t fnGetLoopPoints(int32_t handle, uint32_t* loopStart, uint32_t* loopEnd) {
    return Guarded(0, [&] {
        const AdxVoiceFile* record = LookupRecord<AdxVoiceFile>(handle);
        std::uint32_t start = 0, end = 0;
        if (record == nullptr || !record->stream.Loop(start, end)) {
            return 0;
        }
        if (loopStart != nullptr) {
            *loopStart = start;
        }
        if (loopEnd != nullptr) {
            *loopEnd = end;
        }
        return 1;
    });
}

FOGBELL_PLUGIN_API const char* const* fnGetSupportExt(void) {
    static const char* const kExtensions[] = {"ADX", nullptr};
    return kExtensions;
}

}  // extern "C"
