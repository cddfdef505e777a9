#include "cli/loop_option.h"

#include <charconv>
#include <cstdint>

namespace fogbell::cli {
namespace {

// A whole decimal number of text fitting 32 bits.
std::optional<std::uint32_t> ParseSample(std::string_view text) {
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string LoopProblem(const std::string& text) {
    return ParseLoopText(text) ? std::string()
                               : "a loop is START:END in samples, with START below END";
}

}  // namespace

std::optional<LoopPoints> ParseLoopText(const std::string& text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos) {
        return std::nullopt;
    }
    const std::string_view whole(text);
    const std::optional<std::uint32_t> start = ParseSample(whole.substr(0, colon));
    const std::optional<std::uint32_t> end = ParseSample(whole.substr(colon + 1));
    if (!start || !end || *start >= *end) {
        return std::nullopt;
    }
    return LoopPoints{*start, *end};
}

void AddLoopOptions(CLI::App* command, LoopOptions& options) {
    CLI::Option* loop =
        command
            ->add_option("--loop", options.loop,
                         "Loop of the stream in samples: its first sample and the first after it "
                         "(default: the WAVE's sampler loop, or the track's loop)")
            ->type_name("START:END")
            ->check(CLI::Validator(LoopProblem, ""));
    command->add_flag("--no-loop", options.noLoop, "Write the stream without a loop")
        ->excludes(loop);
}

ReplacementLoop LoopRequestOf(const LoopOptions& options) {
    if (options.noLoop) {
        return {LoopChoice::kNone, {}};
    }
    if (const std::optional<LoopPoints> given = ParseLoopText(options.loop)) {
        return {LoopChoice::kGiven, *given};
    }
    return {};
}

}  // namespace fogbell::cli
