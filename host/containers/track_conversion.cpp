#include "host/containers/track_conversion.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <memory>
#include <vector>

#include "host/audio/pcm_reader.h"
#include "host/audio/sampler_loop.h"
#include "host/audio/wave_writer.h"
#include "host/encode/adx_encoder.h"
#include "host/encode/xmd_encoder.h"
#include "host/system/native_path.h"
#include "host/system/system_files.h"
#include "text/ascii_text.h"

namespace fogbell {
namespace {

// A WAVE file begins "RIFF", four length bytes, "WAVE".
constexpr std::size_t kRiffProbe = 12;
constexpr std::size_t kWaveTagAt = 8;
// The ADX fields read from a track to keep its cutoff: byte 0 is 0x80, the cutoff a big-endian
// u16 at 16.
constexpr std::uint8_t kAdxFirstByte = 0x80;
constexpr std::size_t kAdxCutoffAt = 16;
constexpr std::uint32_t kAdxCutoffEnd = 18;
// The name that routes the replacement to the WAVE decoder, whatever its own name.
constexpr const char* kWaveRoute = "replacement.wav";

enum class TrackKind { kAdx, kXmd, kWave, kOther };

TrackKind KindOf(const std::string& name) {
    std::string extension;
    if (!ExtensionOf(name, extension)) {
        return TrackKind::kOther;
    }
    extension = ToUpperAscii(extension);
    if (extension == "ADX") {
        return TrackKind::kAdx;
    }
    if (extension == "XMD") {
        return TrackKind::kXmd;
    }
    return extension == "WAV" ? TrackKind::kWave : TrackKind::kOther;
}

bool IsWaveFile(const std::string& path) {
    std::ifstream in(StreamPath(path), std::ios::binary);
    std::array<char, kRiffProbe> head{};
    if (!in.read(head.data(), head.size())) {
        return false;
    }
    return std::memcmp(head.data(), "RIFF", 4) == 0 &&
           std::memcmp(head.data() + kWaveTagAt, "WAVE", 4) == 0;
}

// What a track is as its decoder sees it, and the ADX cutoff of its header.
struct TrackFormat {
    PcmFormat pcm;
    std::uint16_t cutoff = encode::kAdxDefaultCutoff;
    std::optional<LoopPoints> loop;  // the track's own, as its decoder reports it
};

bool ReadTrackFormat(const PluginHost& host, const ExplorerSession& container,
                     const std::string& track, TrackFormat& format, std::string& error) {
    if (!container.IsOpen()) {
        error = "No container is open.";
        return false;
    }
    // Held while the track's bytes are in use: the next fnGetFilePointer may move them.
    const TrackBytes bytes = container.Track(track);
    if (!bytes) {
        error = bytes.TextOr("Error loading file.");
        return false;
    }
    const DecoderSessionPtr stream = host.OpenStream(track, bytes.Data(), bytes.Size(), error);
    if (!stream) {
        return false;
    }
    const std::optional<WAVEFORMATEX> source = stream->SourceFormat().value;
    if (!source) {
        error = "The track's decoder gives no format.";
        return false;
    }
    format.pcm = PcmFormat{source->nChannels, source->nSamplesPerSec};
    format.loop = stream->Loop();
    const auto* data = static_cast<const std::uint8_t*>(bytes.Data());
    if (bytes.Size() >= kAdxCutoffEnd && data[0] == kAdxFirstByte) {
        format.cutoff =
            static_cast<std::uint16_t>((data[kAdxCutoffAt] << 8) | data[kAdxCutoffAt + 1]);
    }
    return true;
}

// True (with reason) when the conversion has been told to stop.
bool Stopped(const ConversionControl& control, std::string& reason) {
    if (control.stop != nullptr && control.stop->load()) {
        reason = "The conversion was stopped.";
        return true;
    }
    return false;
}

bool WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes,
                std::string& error) {
    std::ofstream out(StreamPath(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) {
        error = "Can't write file: " + path;
        return false;
    }
    return true;
}

std::string LoopText(const LoopPoints& loop) {
    return std::to_string(loop.start) + ":" + std::to_string(loop.end);
}

// The loop the stream is to carry, once the WAVE's rate is known, and where it comes from.
struct LoopPlan {
    std::optional<LoopPoints> loop;
    enum class Source { kNone, kGiven, kWave, kTrack } source = Source::kNone;
};

LoopPlan PlanLoop(const ReplacementLoop& request, const std::optional<LoopPoints>& sampler,
                  std::uint32_t waveRate, const TrackFormat& track) {
    LoopPlan plan;
    if (request.choice == LoopChoice::kNone) {
        return plan;
    }
    if (request.choice == LoopChoice::kGiven) {
        plan = {request.given, LoopPlan::Source::kGiven};
    } else if (sampler) {
        plan = {LoopAtRate(*sampler, waveRate, track.pcm.rate), LoopPlan::Source::kWave};
    } else if (track.loop) {
        plan = {track.loop, LoopPlan::Source::kTrack};
    }
    return plan;
}

// Why plan's loop cannot be kept on a stream of total samples per channel.
std::string LoopMisfit(const LoopPlan& plan, const std::string& file, std::uint64_t total) {
    const char* whose = plan.source == LoopPlan::Source::kTrack ? "The track loops over "
                        : plan.source == LoopPlan::Source::kWave
                            ? "The WAVE's sampler chunk loops over "
                            : "The loop given is ";
    return whose + LoopText(*plan.loop) + ", which does not fit the " + std::to_string(total) +
           " samples of " + Utf8FromPath(PathFromUtf8(file).filename()) + " at the track's rate.";
}

// The replacement as an ADX or XMD stream in the track's format.
ConversionOutcome Encode(const PluginHost& host, TrackKind kind, const TrackFormat& track,
                         const std::string& file, const std::string& outPath,
                         const ConversionControl& control, const ReplacementLoop& loopRequest,
                         std::string& note, std::string& error) {
    const encode::EncodeStatus status =
        kind == TrackKind::kAdx
            ? encode::CheckAdxFormat({track.pcm.channels, track.pcm.rate, track.cutoff})
            : encode::CheckXmdFormat({track.pcm.channels, track.pcm.rate});
    if (status != encode::EncodeStatus::kOk) {
        error = std::string("The track's format cannot be written: ") + encode::StatusText(status);
        return ConversionOutcome::kFailed;
    }
    const std::optional<LoopPoints> sampler = ReadSamplerLoop(file);
    if (kind == TrackKind::kXmd) {
        if (loopRequest.choice == LoopChoice::kGiven) {
            error = "XMD streams carry no loop.";
            return ConversionOutcome::kFailed;
        }
        if (sampler && loopRequest.choice == LoopChoice::kKeep) {
            note =
                "The WAVE's loop " + LoopText(*sampler) + " is left out: XMD streams carry none.";
        }
    }
    std::unique_ptr<encode::AdxEncoder> adx;
    std::unique_ptr<encode::XmdEncoder> xmd;
    LoopPlan plan;
    PcmReadCallbacks callbacks;
    callbacks.begin = [&](const PcmFormat& source, const PcmFormat&) {
        if (kind == TrackKind::kAdx) {
            plan = PlanLoop(loopRequest, sampler, source.rate, track);
            std::optional<encode::AdxLoop> loop;
            if (plan.loop) {
                loop = encode::AdxLoop{plan.loop->start, plan.loop->end};
            }
            adx = std::make_unique<encode::AdxEncoder>(
                encode::AdxFormat{track.pcm.channels, track.pcm.rate, track.cutoff}, loop);
        } else {
            xmd = std::make_unique<encode::XmdEncoder>(
                encode::XmdFormat{track.pcm.channels, track.pcm.rate});
        }
        return true;
    };
    callbacks.progress = control.progress;
    std::string reason;
    callbacks.block = [&](const std::int16_t* samples, std::size_t frames) {
        if (Stopped(control, reason)) {
            return false;
        }
        const encode::EncodeStatus appended =
            adx ? adx->Append(samples, frames) : xmd->Append(samples, frames);
        if (appended != encode::EncodeStatus::kOk) {
            reason = encode::StatusText(appended);
            return false;
        }
        return true;
    };
    if (!ReadPcmFile(host, kWaveRoute, file, static_cast<std::int32_t>(track.pcm.channels),
                     static_cast<std::int32_t>(track.pcm.rate), callbacks, error)) {
        if (error.empty()) {
            error = reason;
        }
        return ConversionOutcome::kFailed;
    }
    if (!adx && !xmd) {
        error = "The WAVE decoder gave no sound format.";
        return ConversionOutcome::kFailed;
    }
    if (plan.loop) {
        const std::uint64_t total = adx->TotalSamples();
        if (encode::CheckAdxLoop({plan.loop->start, plan.loop->end}, total) !=
            encode::EncodeStatus::kOk) {
            error = LoopMisfit(plan, file, total);
            return plan.source == LoopPlan::Source::kGiven ? ConversionOutcome::kFailed
                                                           : ConversionOutcome::kLoopRefused;
        }
        if (plan.source == LoopPlan::Source::kTrack) {
            note = "The track's loop " + LoopText(*plan.loop) + " is kept.";
        }
    }
    return WriteBytes(outPath, adx ? adx->Finish() : xmd->Finish(), error)
               ? ConversionOutcome::kConverted
               : ConversionOutcome::kFailed;
}

// The replacement as 16-bit PCM in the track's format, or as it is when it already is.
ConversionOutcome Resample(const PluginHost& host, const TrackFormat& track,
                           const std::string& file, const std::string& outPath,
                           const ConversionControl& control, std::string& error) {
    WaveWriter writer;
    bool same = false;
    bool created = false;
    WaveWriter::Status status = WaveWriter::Status::kOk;
    std::string reason;
    PcmReadCallbacks callbacks;
    callbacks.progress = control.progress;
    callbacks.begin = [&](const PcmFormat& source, const PcmFormat&) {
        same =
            source.pcm16 && source.channels == track.pcm.channels && source.rate == track.pcm.rate;
        if (same) {
            return false;  // nothing to convert: stop reading
        }
        WAVEFORMATEX format{};
        format.wFormatTag = FOGBELL_WAVE_FORMAT_PCM;
        format.nChannels = static_cast<std::uint16_t>(track.pcm.channels);
        format.nSamplesPerSec = track.pcm.rate;
        format.wBitsPerSample = 16;
        format.nBlockAlign = static_cast<std::uint16_t>(track.pcm.channels * 2);
        format.nAvgBytesPerSec = format.nBlockAlign * track.pcm.rate;
        status = writer.Create(outPath, format);
        created = status == WaveWriter::Status::kOk;
        return created;
    };
    callbacks.block = [&](const std::int16_t* samples, std::size_t frames) {
        if (Stopped(control, reason)) {
            return false;
        }
        status = writer.Append(reinterpret_cast<const std::uint8_t*>(samples),
                               static_cast<std::uint32_t>(frames * track.pcm.channels * 2));
        return status == WaveWriter::Status::kOk;
    };
    const bool read =
        ReadPcmFile(host, kWaveRoute, file, static_cast<std::int32_t>(track.pcm.channels),
                    static_cast<std::int32_t>(track.pcm.rate), callbacks, error);
    if (same) {
        return ConversionOutcome::kAsItIs;
    }
    if (created) {
        const WaveWriter::Status finished = writer.Finish();
        if (status == WaveWriter::Status::kOk) {
            status = finished;
        }
    }
    if (!read || status != WaveWriter::Status::kOk) {
        if (error.empty()) {
            error = reason.empty() ? "Can't write file: " + outPath : reason;
        }
        return ConversionOutcome::kFailed;
    }
    return ConversionOutcome::kConverted;
}

}  // namespace

ConversionOutcome ConvertForTrack(const PluginHost& host, const ExplorerSession& container,
                                  const std::string& track, const std::string& file,
                                  const std::string& outPath, std::string& error,
                                  const ConversionControl& control, const ReplacementLoop& loop,
                                  std::string* note) {
    const TrackKind kind = KindOf(track);
    if (kind == TrackKind::kOther || !IsWaveFile(file)) {
        return ConversionOutcome::kAsItIs;
    }
    TrackFormat format;
    if (!ReadTrackFormat(host, container, track, format, error)) {
        return ConversionOutcome::kFailed;
    }
    if (kind == TrackKind::kWave) {
        return Resample(host, format, file, outPath, control, error);
    }
    std::string said;
    const ConversionOutcome outcome =
        Encode(host, kind, format, file, outPath, control, loop, said, error);
    if (note != nullptr) {
        *note = said;
    }
    return outcome;
}

}  // namespace fogbell
