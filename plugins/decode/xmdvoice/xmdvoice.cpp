// xmdvoice: the decoder plug-in for XMD streams (layout in xmd_stream.h).
//
// One second of 16-bit PCM per fnDecodeNext, converted to the format the caller asked for.
// fnGetSizeData is the header's data length and fnGetCurrPos the encoded bytes consumed so far
// (both in bytes). The plug-in never sets "OK" itself: the text changes only through a failure or
// through mapping a file (fnLoadFile), so a caller reads the text right after a failed call.
#include <string>

#include "fogbell_decoder.h"
#include "framed_voice.h"
#include "plugin_support.h"
#include "xmd_stream.h"

namespace {

using namespace fogbell::plugin;
namespace xmd = fogbell::xmd;

constexpr std::uint32_t kMaxGroupBytes = xmd::kMaxGroupSamples * sizeof(std::int16_t);

// XMDVOICEFILE: one open stream.
struct XmdVoiceFile : FramedVoice<xmd::FrameStream> {};

// Only bytes whose header agrees with their length are taken as XMD (xmd_stream.h): the format
// has no signature, and a decoder that took any bytes would let a replacement with a text file
// pass the host's check that the track still plays.
int LoadFromMemory(std::int32_t channelsOut, std::int32_t rateOut, const std::uint8_t* data,
                   std::uint32_t size) {
    std::string refusal;
    return LoadFramedVoice<XmdVoiceFile, xmd::Header>(
        channelsOut, rateOut, data, size, "Can't allocate XMDVOICEFILE struct.", kMaxGroupBytes,
        [&](const std::uint8_t* bytes, std::uint32_t length, xmd::Header& header) -> const char* {
            const xmd::HeaderStatus status = xmd::ReadHeader(bytes, length, header);
            if (status != xmd::HeaderStatus::kOk) {
                return xmd::StatusText(status);
            }
            refusal = xmd::CheckPlausible(header, length);
            return refusal.empty() ? nullptr : refusal.c_str();
        });
}

}  // namespace

extern "C" {

FOGBELL_PLUGIN_API int32_t fnLoadFile(int32_t channelsOut, int32_t rateOut, const char* path) {
    return LoadVoiceFromPath<XmdVoiceFile>(path, [&](const std::uint8_t* view, std::uint32_t size) {
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
    return CloseVoice<XmdVoiceFile>(handle);
}

FOGBELL_PLUGIN_API int32_t fnResetFile(int32_t handle) {
    return ResetVoice<XmdVoiceFile>(handle);
}

FOGBELL_PLUGIN_API int32_t fnSeekSample(int32_t handle, uint32_t sample) {
    return SeekVoice<XmdVoiceFile>(handle, sample);
}

FOGBELL_PLUGIN_API const PcmBlock* fnDecodeNext(int32_t handle) {
    return DecodeVoice<XmdVoiceFile>(handle);
}

FOGBELL_PLUGIN_API uint32_t fnGetCurrPos(int32_t handle) {
    return VoicePosition<XmdVoiceFile>(handle);
}

FOGBELL_PLUGIN_API uint32_t fnGetSizeData(int32_t handle) {
    return VoiceSize<XmdVoiceFile>(handle);
}

FOGBELL_PLUGIN_API const WAVEFORMATEX* fnGetFormatSource(int32_t handle) {
    return VoiceSourceFormat<XmdVoiceFile>(handle);
}

FOGBELL_PLUGIN_API const WAVEFORMATEX* fnGetFormatOut(int32_t handle) {
    return VoiceOutputFormat<XmdVoiceFile>(handle);
}

FOGBELL_PLUGIN_API const char* const* fnGetSupportExt(void) {
    static const char* const kExtensions[] = {"XMD", nullptr};
    return kExtensions;
}

}  // extern "C"
