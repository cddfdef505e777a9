#include "host/containers/track_conversion.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <vector>

#include "host/audio/audio_input.h"
#include "host/audio/pcm_reader.h"
#include "host/audio/sampler_loop.h"
#include "host/audio/sound_loudness.h"
#include "host/audio/wave_writer.h"
#include "host/encode/adx_encoder.h"
#include "host/encode/xmd_encoder.h"
#include "host/loudness/loudness_gain.h"
#include "host/system/native_path.h"
#include "host/system/system_files.h"
#include "text/ascii_text.h"

namespace fogbell {
namespace {

// The ADX fields read from a track to keep its cutoff: byte 0 is 0x80, the cutoff a big-endian
// u16 at 16.
constexpr std::uint8_t kAdxFirstByte = 0x80;
constexpr std::size_t kAdxCutoffAt = 16;
constexpr std::uint32_t kAdxCutoffEnd = 18;
// The name that routes a WAVE replacement to the WAVE decoder, whatever its own name.
constexpr const char* kWaveRoute = "replacement.wav";

// Where the replacement comes from: the name that routes it to its decoder, and whether it is
// a WAVE file (whose texts name its sampler chunk).
struct Input {
    std::string route;
    bool wave = false;
};

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

// How the replacement at path is read when it is to be converted: a WAVE file (whatever its
// name) by the WAVE decoder, a file of a stream format the encoders write not at all (it goes in
// as it is), any other file by the decoder that reads it (audio_input.h). None: as it is.
std::optional<Input> InputOf(const PluginHost& host, const std::string& path) {
    if (IsWaveFile(path)) {
        return Input{kWaveRoute, true};
    }
    std::string extension;
    if (ExtensionOf(path, extension) && IsEncodedStreamExtension(extension)) {
        return std::nullopt;
    }
    std::string route = InputRoute(host, path);
    if (route.empty()) {
        return std::nullopt;
    }
    return Input{std::move(route), false};
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
    enum class Source { kNone, kGiven, kFile, kTrack } source = Source::kNone;
};

LoopPlan PlanLoop(const ReplacementLoop& request, const std::optional<LoopPoints>& own,
                  std::uint32_t sourceRate, const TrackFormat& track) {
    LoopPlan plan;
    if (request.choice == LoopChoice::kNone) {
        return plan;
    }
    if (request.choice == LoopChoice::kGiven) {
        plan = {request.given, LoopPlan::Source::kGiven};
    } else if (own) {
        plan = {LoopAtRate(*own, sourceRate, track.pcm.rate), LoopPlan::Source::kFile};
    } else if (track.loop) {
        plan = {track.loop, LoopPlan::Source::kTrack};
    }
    return plan;
}

// Why plan's loop cannot be kept on a stream of total samples per channel.
std::string LoopMisfit(const LoopPlan& plan, const Input& input, const std::string& file,
                       std::uint64_t total) {
    const char* whose = plan.source == LoopPlan::Source::kTrack  ? "The track loops over "
                        : plan.source != LoopPlan::Source::kFile ? "The loop given is "
                        : input.wave ? "The WAVE's sampler chunk loops over "
                                     : "The file's loop points loop over ";
    return whose + LoopText(*plan.loop) + ", which does not fit the " + std::to_string(total) +
           " samples of " + Utf8FromPath(PathFromUtf8(file).filename()) + " at the track's rate.";
}

// The replacement as an ADX or XMD stream in the track's format.
ConversionOutcome Encode(const PluginHost& host, TrackKind kind, const TrackFormat& track,
                         const Input& input, const std::string& file, const std::string& outPath,
                         const ConversionControl& control, const ReplacementLoop& loopRequest,
                         double gainDb, std::string& note, std::string& error) {
    const encode::EncodeStatus status =
        kind == TrackKind::kAdx
            ? encode::CheckAdxFormat({track.pcm.channels, track.pcm.rate, track.cutoff})
            : encode::CheckXmdFormat({track.pcm.channels, track.pcm.rate});
    if (status != encode::EncodeStatus::kOk) {
        error = std::string("The track's format cannot be written: ") + encode::StatusText(status);
        return ConversionOutcome::kFailed;
    }
    const std::optional<LoopPoints> own =
        loopRequest.choice == LoopChoice::kKeep ? InputLoop(host, input.route, file) : std::nullopt;
    if (kind == TrackKind::kXmd) {
        if (loopRequest.choice == LoopChoice::kGiven) {
            error = "XMD streams carry no loop.";
            return ConversionOutcome::kFailed;
        }
        if (own) {
            note = std::string(input.wave ? "The WAVE's loop " : "The file's loop ") +
                   LoopText(*own) + " is left out: XMD streams carry none.";
        }
    }
    std::unique_ptr<encode::AdxEncoder> adx;
    std::unique_ptr<encode::XmdEncoder> xmd;
    LoopPlan plan;
    PcmReadCallbacks callbacks;
    callbacks.begin = [&](const PcmFormat& source, const PcmFormat&) {
        if (kind == TrackKind::kAdx) {
            plan = PlanLoop(loopRequest, own, source.rate, track);
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
    loudness::GainStage gain(gainDb);
    callbacks.block = [&](const std::int16_t* samples, std::size_t frames) {
        if (Stopped(control, reason)) {
            return false;
        }
        const std::int16_t* louder = gain.Apply(samples, frames * track.pcm.channels);
        const encode::EncodeStatus appended =
            adx ? adx->Append(louder, frames) : xmd->Append(louder, frames);
        if (appended != encode::EncodeStatus::kOk) {
            reason = encode::StatusText(appended);
            return false;
        }
        return true;
    };
    if (!ReadPcmFile(host, input.route, file, static_cast<std::int32_t>(track.pcm.channels),
                     static_cast<std::int32_t>(track.pcm.rate), callbacks, error)) {
        if (error.empty()) {
            error = reason;
        }
        return ConversionOutcome::kFailed;
    }
    if (!adx && !xmd) {
        error = "The decoder of the file gave no sound format.";
        return ConversionOutcome::kFailed;
    }
    if (plan.loop) {
        const std::uint64_t total = adx->TotalSamples();
        if (encode::CheckAdxLoop({plan.loop->start, plan.loop->end}, total) !=
            encode::EncodeStatus::kOk) {
            error = LoopMisfit(plan, input, file, total);
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

// The replacement as 16-bit PCM in the track's format, or as it is when it is a WAVE that
// already is.
ConversionOutcome Resample(const PluginHost& host, const TrackFormat& track, const Input& input,
                           const std::string& file, const std::string& outPath,
                           const ConversionControl& control, double gainDb, std::string& error) {
    WaveWriter writer;
    bool same = false;
    bool created = false;
    WaveWriter::Status status = WaveWriter::Status::kOk;
    std::string reason;
    PcmReadCallbacks callbacks;
    callbacks.progress = control.progress;
    callbacks.begin = [&](const PcmFormat& source, const PcmFormat&) {
        same = input.wave && gainDb == 0.0 && source.pcm16 &&
               source.channels == track.pcm.channels && source.rate == track.pcm.rate;
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
    loudness::GainStage gain(gainDb);
    callbacks.block = [&](const std::int16_t* samples, std::size_t frames) {
        if (Stopped(control, reason)) {
            return false;
        }
        const std::int16_t* louder = gain.Apply(samples, frames * track.pcm.channels);
        status = writer.Append(reinterpret_cast<const std::uint8_t*>(louder),
                               static_cast<std::uint32_t>(frames * track.pcm.channels * 2));
        return status == WaveWriter::Status::kOk;
    };
    const bool read =
        ReadPcmFile(host, input.route, file, static_cast<std::int32_t>(track.pcm.channels),
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

// The integrated loudness of the track as its decoder plays it, or none (with why) when it has
// none or cannot be measured.
std::optional<double> TrackLoudness(const PluginHost& host, const ExplorerSession& container,
                                    const std::string& track, std::string& why) {
    const TrackBytes bytes = container.Track(track);
    if (!bytes) {
        why = bytes.TextOr("Error loading file.");
        return std::nullopt;
    }
    const DecoderSessionPtr stream = host.OpenStream(track, bytes.Data(), bytes.Size(), why);
    loudness::LoudnessFigures figures;
    if (!stream || !MeasureStream(*stream, figures, why)) {
        return std::nullopt;
    }
    if (!figures.integrated) {
        why = "the track is silent or too short to measure";
    }
    return figures.integrated;
}

// Works out the gain that brings the replacement (read as the conversion reads it) to the
// loudness asked for. A sound that cannot be given a loudness (silence, a track too short to
// measure) gets none, and outcome says why; false only when the file cannot be read.
bool PlanLoudness(const PluginHost& host, const ExplorerSession& container,
                  const std::string& track, const TrackFormat& format, const Input& input,
                  const std::string& file, const LoudnessRequest& request, LoudnessOutcome& outcome,
                  std::string& error) {
    std::optional<double> target = request.targetLufs;
    if (request.choice == LoudnessChoice::kMatch) {
        target = TrackLoudness(host, container, track, outcome.unmeasured);
        if (!target) {
            outcome.unmeasured = "The loudness was left as it is: " + outcome.unmeasured + ".";
            return true;
        }
    }
    loudness::LoudnessFigures figures;
    if (!MeasureFile(host, input.route, file, static_cast<std::int32_t>(format.pcm.channels),
                     static_cast<std::int32_t>(format.pcm.rate), figures, error)) {
        return false;
    }
    if (!figures.integrated || !figures.truePeak) {
        outcome.unmeasured =
            "The loudness was left as it is: the file is silent or too short to measure.";
        return true;
    }
    const loudness::GainPlan plan = loudness::PlanGain(figures, *target);
    outcome.applied = true;
    outcome.gainDb = plan.gainDb;
    outcome.askedLufs = *target;
    outcome.resultLufs = plan.resultLufs;
    outcome.limited = plan.limited;
    return true;
}

// value with one decimal, and a sign when signed.
std::string Decimal(double value, bool signed_ = false) {
    char text[32];
    std::snprintf(text, sizeof text, signed_ ? "%+.1f" : "%.1f", value);
    return text;
}

}  // namespace

std::string LoudnessNote(const LoudnessOutcome& outcome) {
    if (!outcome.applied) {
        return outcome.unmeasured;
    }
    std::string note =
        "Gain " + Decimal(outcome.gainDb, true) + " dB to " + Decimal(outcome.resultLufs) + " LUFS";
    if (outcome.limited) {
        note += ", " + Decimal(outcome.askedLufs - outcome.resultLufs) + " LU quieter than the " +
                Decimal(outcome.askedLufs) +
                " LUFS asked for: more gain would put the true peak above " +
                Decimal(loudness::kTruePeakCeilingDbtp) + " dBTP.";
    } else {
        note += ".";
    }
    return note;
}

ConversionOutcome ConvertForTrack(const PluginHost& host, const ExplorerSession& container,
                                  const std::string& track, const std::string& file,
                                  const std::string& outPath, std::string& error,
                                  const ConversionControl& control, const ReplacementLoop& loop,
                                  std::string* note, const LoudnessRequest& loudness,
                                  LoudnessOutcome* loudnessOutcome) {
    const TrackKind kind = KindOf(track);
    if (kind == TrackKind::kOther) {
        return ConversionOutcome::kAsItIs;
    }
    const std::optional<Input> input = InputOf(host, file);
    if (!input) {
        return ConversionOutcome::kAsItIs;
    }
    TrackFormat format;
    if (!ReadTrackFormat(host, container, track, format, error)) {
        return ConversionOutcome::kFailed;
    }
    LoudnessOutcome gain;
    if (loudness.choice != LoudnessChoice::kOff &&
        !PlanLoudness(host, container, track, format, *input, file, loudness, gain, error)) {
        return ConversionOutcome::kFailed;
    }
    if (loudnessOutcome != nullptr) {
        *loudnessOutcome = gain;
    }
    if (kind == TrackKind::kWave) {
        return Resample(host, format, *input, file, outPath, control, gain.gainDb, error);
    }
    std::string said;
    const ConversionOutcome outcome =
        Encode(host, kind, format, *input, file, outPath, control, loop, gain.gainDb, said, error);
    if (note != nullptr) {
        *note = said;
    }
    return outcome;
}

}  // namespace fogbell
