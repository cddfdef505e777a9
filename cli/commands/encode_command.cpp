// fogbell-cli encode IN OUT.adx|OUT.xmd [--rate R] [--channels C] [--cutoff HZ] [--force]
//                    [--loop START:END | --no-loop] [--loudness LUFS|off]
//
// Reads IN (any WAVE the WAVE decoder reads, or any other file a decoder plug-in plays, found by
// its extension or its first bytes: FLAC, Ogg, Opus, MP3, AIFF, ...) through that decoder plug-in,
// converted by that decoder's format converter when --rate or --channels ask for another format,
// and writes it as an ADX or XMD stream chosen by OUT's extension.
//
// An ADX stream carries a loop: the one given with --loop (samples of the output), else IN's own
// (the first loop of a WAVE's sampler chunk, or the loop points its decoder reports, such as the
// loop tags of a FLAC or Ogg file; moved to the output's rate when --rate changes it), else none;
// --no-loop writes none. A loop that does not fit the stream is refused, nothing written. XMD
// streams carry no loop: --loop is refused, and IN's loop is left out with a note.
// --loudness LUFS gives the sound that integrated loudness before it is encoded, held down so
// that its true peak stays at or below -1 dBTP (a quieter result is said on standard error).
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

#include "cli/commands/commands.h"
#include "cli/loop_option.h"
#include "cli/loudness_option.h"
#include "host/audio/audio_input.h"
#include "host/audio/pcm_reader.h"
#include "host/audio/sampler_loop.h"
#include "host/audio/sound_loudness.h"
#include "host/encode/adx_encoder.h"
#include "host/encode/xmd_encoder.h"
#include "host/loudness/loudness_gain.h"
#include "host/system/native_path.h"
#include "host/system/system_files.h"
#include "text/ascii_text.h"

namespace fogbell::cli {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr const char* kProgram = "fogbell-cli";
// The name that routes an input no decoder is known to read to the WAVE decoder, which says why
// it cannot.
constexpr const char* kWaveRoute = "input.wav";
// The highest --rate taken: ADX headers hold more, no sound needs it.
constexpr std::int32_t kMaxRate = 1 << 20;
// The lowest --cutoff taken; the highest is half the output's rate, above which the prediction
// it sets turns the stream into noise.
constexpr std::uint32_t kMinCutoff = 20;

enum class Target { kAdx, kXmd };

struct EncodeRequest {
    std::string input;
    std::string output;
    std::int32_t rate = -1;      // -1: the input's
    std::int32_t channels = -1;  // -1: the input's
    std::uint16_t cutoff = 500;  // ADX only
    bool cutoffGiven = false;    // --cutoff was given: it must suit the output's rate
    bool force = false;
    LoopOptions loop;
    std::string loudness;  // --loudness, as given
};

void Fail(const std::string& what, const std::string& why) {
    std::fprintf(stderr, "%s: %s: %s\n", kProgram, what.c_str(), why.c_str());
}

std::optional<Target> TargetOf(const std::string& path) {
    const std::string extension = ToLowerAscii(Utf8FromPath(PathFromUtf8(path).extension()));
    if (extension == ".adx") {
        return Target::kAdx;
    }
    if (extension == ".xmd") {
        return Target::kXmd;
    }
    return std::nullopt;
}

// Either encoder behind one face.
class Encoder {
  public:
    Encoder(Target target, const PcmFormat& format, std::uint16_t cutoff,
            const std::optional<encode::AdxLoop>& loop)
        : encoder_(Make(target, format, cutoff, loop)) {}
    encode::EncodeStatus Append(const std::int16_t* samples, std::size_t frames) {
        return std::visit([&](auto& e) { return e.Append(samples, frames); }, encoder_);
    }
    std::vector<std::uint8_t> Finish() {
        return std::visit([](auto& e) { return e.Finish(); }, encoder_);
    }
    // Samples per channel taken so far by an ADX encoder (the only one that loops).
    std::uint64_t AdxTotal() const {
        const auto* adx = std::get_if<encode::AdxEncoder>(&encoder_);
        return adx != nullptr ? adx->TotalSamples() : 0;
    }

  private:
    using Either = std::variant<encode::AdxEncoder, encode::XmdEncoder>;
    static Either Make(Target target, const PcmFormat& format, std::uint16_t cutoff,
                       const std::optional<encode::AdxLoop>& loop) {
        if (target == Target::kAdx) {
            return encode::AdxEncoder(encode::AdxFormat{format.channels, format.rate, cutoff},
                                      loop);
        }
        return encode::XmdEncoder(encode::XmdFormat{format.channels, format.rate});
    }
    Either encoder_;
};

encode::EncodeStatus Check(Target target, const PcmFormat& format) {
    return target == Target::kAdx ? encode::CheckAdxFormat({format.channels, format.rate, 500})
                                  : encode::CheckXmdFormat({format.channels, format.rate});
}

// What to tell the user about a format the target cannot carry; requestedRate: the rate came
// from --rate rather than from the input.
std::string Refusal(Target target, encode::EncodeStatus status, const PcmFormat& format,
                    bool requestedRate) {
    std::string text = encode::StatusText(status);
    if (status == encode::EncodeStatus::kBadChannels) {
        text += " The sound has " + std::to_string(format.channels) +
                " channels: give --channels 1 or --channels 2.";
    } else if (status == encode::EncodeStatus::kBadRate) {
        const std::string range =
            "from 1 to " +
            std::to_string(target == Target::kAdx ? std::uint32_t{kMaxRate} : encode::kXmdMaxRate) +
            " Hz";
        text += requestedRate
                    ? " --rate " + std::to_string(format.rate) +
                          " is out of range: " + (target == Target::kAdx ? "ADX" : "XMD") +
                          " carries rates " + range + "."
                    : " The sound has " + std::to_string(format.rate) + " Hz: give --rate " +
                          range + ".";
    }
    return text;
}

// Why the output file could not be created: its folder, or the system's reason. The temporary
// name is the program's own affair and never named.
std::string CreateFailure(const std::filesystem::path& target, int code) {
    const std::string folder =
        target.has_parent_path() ? Utf8FromPath(target.parent_path()) : std::string(".");
    if (!IsFolder(folder)) {
        return "its folder " + folder + " does not exist: make it first";
    }
    return std::string("cannot be written in ") + folder +
           (code != 0 ? std::string(" (") + std::strerror(code) + ")" : std::string());
}

// Writes bytes to path through a temporary file beside it, renamed over path only when whole:
// a failed run never leaves a half-written stream under the name asked for. Texts name path.
bool WriteWhole(const std::string& path, const std::vector<std::uint8_t>& bytes,
                std::string& error) {
    const std::filesystem::path target = PathFromUtf8(path);
    const std::filesystem::path temporary =
        target.parent_path() / PathFromUtf8("." + Utf8FromPath(target.filename()) + ".part" +
                                            std::to_string(CurrentProcessId()));
    {
        errno = 0;
        std::ofstream out(StreamPath(Utf8FromPath(temporary)), std::ios::binary | std::ios::trunc);
        if (!out) {
            error = CreateFailure(target, errno);
            return false;
        }
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            out.close();
            RemovePath(Utf8FromPath(temporary));
            error = "not all of it could be written (is the disk full?); nothing was kept";
            return false;
        }
    }
    std::string why;
    if (MoveFileTo(Utf8FromPath(temporary), path, true, why) != MoveOutcome::kMoved) {
        RemovePath(Utf8FromPath(temporary));
        error = "cannot be written (" + why + ")";
        return false;
    }
    return true;
}

// Percent done on standard error, only when it is a terminal.
class Progress {
  public:
    Progress() : enabled_(StandardErrorIsTerminal()) {}
    ~Progress() {
        if (shown_) {
            std::fputs("\r\033[K", stderr);
        }
    }
    void Show(std::uint32_t position, std::uint32_t size) {
        if (!enabled_ || size == 0) {
            return;
        }
        const auto percent = static_cast<unsigned>(std::uint64_t{position} * 100 / size);
        if (percent != last_) {
            std::fprintf(stderr, "\r\033[Kencoding %u%%", std::min(percent, 100u));
            std::fflush(stderr);
            last_ = percent;
            shown_ = true;
        }
    }

  private:
    bool enabled_;
    bool shown_ = false;
    unsigned last_ = ~0u;
};

// Encodes as the request says: 0 when the stream was written, 1 on failure, 2 for a usage
// error.
int RunEncode(const PluginHost& host, const EncodeRequest& request) {
    const std::optional<Target> target = TargetOf(request.output);
    if (!target) {
        Fail(request.output, "the output must end in .adx or .xmd");
        return kExitUsage;
    }
    if (!request.force && NameTaken(request.output)) {
        Fail(request.output, "the file exists (--force overwrites it)");
        return kExitFailed;
    }
    std::uint64_t inputSize = 0;
    if (SizeOfFile(request.input, inputSize) && inputSize == 0) {
        std::fprintf(stderr, "%s: %s is empty (0 bytes): nothing was encoded\n", kProgram,
                     request.input.c_str());
        return kExitFailed;
    }
    std::string route = InputRoute(host, request.input);
    if (route.empty()) {
        route = kWaveRoute;
    }
    const ReplacementLoop loopRequest = LoopRequestOf(request.loop);
    if (*target == Target::kXmd && loopRequest.choice == LoopChoice::kGiven) {
        Fail(request.output, "XMD streams carry no loop (--loop is for .adx)");
        return kExitUsage;
    }
    const std::optional<LoopPoints> own = loopRequest.choice == LoopChoice::kKeep
                                              ? InputLoop(host, route, request.input)
                                              : std::nullopt;
    if (*target == Target::kXmd && own) {
        std::fprintf(stderr, "%s: %s: its loop %u:%u is left out: XMD streams carry none\n",
                     kProgram, request.input.c_str(), own->start, own->end);
    }
    std::optional<LoopPoints> loop;  // the ADX stream's, once the output's rate is known

    double gainDb = 0.0;
    const LoudnessRequest loudness = ParseLoudness(request.loudness).value_or(LoudnessRequest{});
    if (loudness.choice == LoudnessChoice::kTarget) {
        loudness::LoudnessFigures figures;
        std::string measureError;
        if (!MeasureFile(host, route, request.input, request.channels, request.rate, figures,
                         measureError)) {
            Fail(request.input, measureError);
            return kExitFailed;
        }
        LoudnessOutcome outcome;
        if (!figures.integrated || !figures.truePeak) {
            outcome.unmeasured =
                "The loudness was left as it is: the file is silent or too short to measure.";
        } else {
            const loudness::GainPlan plan = loudness::PlanGain(figures, loudness.targetLufs);
            gainDb = plan.gainDb;
            outcome = {true, plan.gainDb, loudness.targetLufs, plan.resultLufs, plan.limited, ""};
        }
        SayLoudness(request.input, loudness, outcome, false);
    }
    loudness::GainStage gain(gainDb);

    std::unique_ptr<Encoder> encoder;
    std::uint32_t channels = 0;  // of the output, once known
    std::string reason;
    bool usage = false;  // the read stopped at a usage error
    Progress progress;
    PcmReadCallbacks callbacks;
    callbacks.begin = [&](const PcmFormat& source, const PcmFormat& output) {
        const encode::EncodeStatus status = Check(*target, output);
        if (status != encode::EncodeStatus::kOk) {
            reason = Refusal(*target, status, output, request.rate > 0);
            return false;
        }
        if (*target == Target::kAdx && request.cutoffGiven && request.cutoff > output.rate / 2) {
            reason = "--cutoff " + std::to_string(request.cutoff) + " is out of range: at " +
                     std::to_string(output.rate) + " Hz it must be from " +
                     std::to_string(kMinCutoff) + " to " + std::to_string(output.rate / 2) +
                     " Hz (half the rate)";
            usage = true;
            return false;
        }
        if (*target == Target::kAdx && loopRequest.choice == LoopChoice::kGiven) {
            loop = loopRequest.given;
        } else if (*target == Target::kAdx && own) {
            loop = LoopAtRate(*own, source.rate, output.rate);
        }
        std::optional<encode::AdxLoop> adxLoop;
        if (loop) {
            adxLoop = encode::AdxLoop{loop->start, loop->end};
        }
        encoder = std::make_unique<Encoder>(*target, output, request.cutoff, adxLoop);
        channels = output.channels;
        return true;
    };
    std::uint64_t framesRead = 0;
    callbacks.block = [&](const std::int16_t* samples, std::size_t frames) {
        framesRead += frames;
        const encode::EncodeStatus status =
            encoder->Append(gain.Apply(samples, frames * channels), frames);
        if (status != encode::EncodeStatus::kOk) {
            reason = encode::StatusText(status);
            return false;
        }
        return true;
    };
    callbacks.progress = [&](std::uint32_t position, std::uint32_t size) {
        progress.Show(position, size);
    };
    std::string readError;
    if (!ReadPcmFile(host, route, request.input, request.channels, request.rate, callbacks,
                     readError)) {
        Fail(request.input, readError.empty() ? reason : readError);
        return usage ? kExitUsage : kExitFailed;
    }
    if (!encoder) {
        Fail(request.input, "the decoder gave no sound format");
        return kExitFailed;
    }
    if (framesRead == 0) {
        std::fprintf(stderr, "%s: %s is empty (it holds no samples): nothing was encoded\n",
                     kProgram, request.input.c_str());
        return kExitFailed;
    }
    if (loop && encode::CheckAdxLoop({loop->start, loop->end}, encoder->AdxTotal()) !=
                    encode::EncodeStatus::kOk) {
        Fail(request.input,
             std::string(loopRequest.choice == LoopChoice::kGiven ? "the loop " : "its own loop ") +
                 std::to_string(loop->start) + ":" + std::to_string(loop->end) +
                 " does not fit the stream's " + std::to_string(encoder->AdxTotal()) +
                 " samples; " + kLoopAdvice);
        return kExitFailed;
    }
    const std::vector<std::uint8_t> stream = encoder->Finish();
    std::string writeError;
    if (!WriteWhole(request.output, stream, writeError)) {
        Fail(request.output, writeError);
        return kExitFailed;
    }
    std::printf("%s\n", request.output.c_str());
    return kExitOk;
}

}  // namespace

void AddEncodeCommand(CLI::App& app, CommandContext& context) {
    auto options = std::make_shared<EncodeRequest>();
    EncodeRequest& request = *options;
    CLI::App* encode = app.add_subcommand(
        "encode", "Encode a WAVE file as ADX or XMD (the format follows OUT's extension)");
    encode->add_option("IN", request.input, "WAVE file (or any file a decoder plays)")->required();
    encode->add_option("OUT", request.output, "Output file ending in .adx or .xmd")->required();
    encode->add_option("--rate", request.rate, "Sample rate of the output (default: the input's)")
        ->check(CLI::Range(std::int32_t{1}, kMaxRate));
    encode->add_option("--channels", request.channels, "Channels of the output, 1 or 2")
        ->check(CLI::Range(1, 2));
    CLI::Option* cutoff =
        encode
            ->add_option("--cutoff", request.cutoff,
                         "ADX high-pass cutoff in Hz that sets the prediction, from 20 to half "
                         "the output's rate (default: 500)")
            ->check(CLI::Range(kMinCutoff, std::uint32_t{65535}));
    encode->add_flag("--force", request.force, "Overwrite OUT when it exists");
    AddLoopOptions(encode, request.loop);
    AddLoudnessOption(encode, request.loudness, false);
    context.OnRun(encode, [&context, options, cutoff] {
        options->cutoffGiven = cutoff->count() > 0;
        const PluginHost& host = context.Plugins();
        if (const int status = RefuseUnreadable(options->input); status != kExitOk) {
            return status;
        }
        if (RefuseContainer(host, options->input)) {
            return kExitUsage;
        }
        return RunEncode(host, *options);
    });
}

}  // namespace fogbell::cli
