#include "cli/loudness_option.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "cli/cli_output.h"

namespace fogbell::cli {
namespace {

// The loudness a number may ask for: the gate of EBU R 128 up to full scale.
constexpr double kLowestLufs = -70.0;
constexpr double kHighestLufs = 0.0;

std::string LoudnessProblem(const std::string& text, bool withMatch) {
    if (!withMatch && text == "match") {
        return "match needs a track to match (replace): give a loudness in LUFS, or off";
    }
    return ParseLoudness(text) ? ""
           : withMatch         ? "must be match, off, or a loudness in LUFS from -70 to 0"
                               : "must be off, or a loudness in LUFS from -70 to 0";
}

}  // namespace

CLI::Option* AddLoudnessOption(CLI::App* command, std::string& text, bool withMatch) {
    return command
        ->add_option("--loudness", text,
                     withMatch ? "match (the replaced track's loudness), a loudness in LUFS, or "
                                 "off (default): the gain before encoding, held so that the true "
                                 "peak stays at or below -1 dBTP"
                               : "A loudness in LUFS, or off (default): the gain before "
                                 "encoding, held so that the true peak stays at or below -1 dBTP")
        ->type_name(withMatch ? "match|LUFS|off" : "LUFS|off")
        ->check(CLI::Validator(
            [withMatch](std::string& value) { return LoudnessProblem(value, withMatch); }, ""));
}

std::optional<LoudnessRequest> ParseLoudness(const std::string& text) {
    if (text.empty() || text == "off") {
        return LoudnessRequest{};
    }
    if (text == "match") {
        return LoudnessRequest{LoudnessChoice::kMatch, 0.0};
    }
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(value) || value < kLowestLufs ||
        value > kHighestLufs) {
        return std::nullopt;
    }
    return LoudnessRequest{LoudnessChoice::kTarget, value};
}

void SayLoudness(const std::string& file, const LoudnessRequest& request,
                 const LoudnessOutcome& outcome, bool printNote) {
    if (request.choice == LoudnessChoice::kOff) {
        return;
    }
    if (!outcome.applied && outcome.unmeasured.empty()) {
        std::fprintf(stderr,
                     "%s: %s: the loudness was left as it is: the file goes in as it is (only a "
                     "converted file is given a gain)\n",
                     kProgram, file.c_str());
        return;
    }
    const std::string note = LoudnessNote(outcome);
    if (outcome.limited || !outcome.applied) {
        std::fprintf(stderr, "%s: %s: %s\n", kProgram, file.c_str(), note.c_str());
    } else if (printNote) {
        std::printf("%s\n", note.c_str());
    }
}

}  // namespace fogbell::cli
