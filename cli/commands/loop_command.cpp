// fogbell-cli loop PATH [TRACK] [--json]
// fogbell-cli loop PATH [TRACK] --set START:END | --clear [--rebuild]
// fogbell-cli loop PATH [TRACK] --find [--min SECONDS] [--json] | --set-best [--rebuild]
//
// A track's loop points: printed, or set and cleared in the track's own header (track_loop.h)
// without re-encoding, so the audio frames and the decoded sound stay as they were. A track of a
// container is written back through the same replacement as "replace" (in place where its room
// allows, else a rebuild with --rebuild); a single audio file is rewritten through a temporary
// file beside it. PATH may also be FILE::TRACK[::TRACK...], whose last level is the track.
// --find proposes loops from the decoded sound (loop_finder.h), best first; --set-best writes
// the best one as --set would.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_output.h"
#include "cli/commands/commands.h"
#include "cli/json_text.h"
#include "cli/loop_option.h"
#include "cli/loop_track.h"
#include "cli/track_names.h"
#include "host/containers/container_chain.h"
#include "host/containers/container_replace.h"
#include "host/containers/replace_report.h"
#include "host/containers/track_loop.h"
#if defined(FOGBELL_HAS_LOOP_FINDER)
#include "host/loops/loop_finder.h"
#endif
#include "host/system/native_path.h"
#include "host/system/system_files.h"

namespace fogbell::cli {
namespace {

constexpr const char* kNothingWritten = "Nothing was written.";
// Below this seam the jump is heard (loop_finder.h).
constexpr double kAudibleSeamDb = 20.0;

struct LoopCommandOptions {
    std::string path;
    std::string track;
    bool json = false;
    std::string set;  // START:END, or empty
    bool clear = false;
    bool rebuild = false;
    bool find = false;
    double minSeconds = 10.0;
    bool setBest = false;
};

void PrintFacts(const LoopTrack& track, const LoopFacts& facts, bool json) {
    if (json) {
        const std::string loop = facts.loop ? "[" + std::to_string(facts.loop->start) + ", " +
                                                  std::to_string(facts.loop->end) + "]"
                                            : "null";
        std::printf("{\"track\": %s, \"samples\": %u, \"rate\": %u, \"loop\": %s}\n",
                    JsonName(track.single ? track.shown : track.name).c_str(), facts.samples,
                    facts.rate, loop.c_str());
        JsonDocumentPrinted() = true;
        return;
    }
    std::printf("%s: %s, %u samples at %u Hz\n", track.shown.c_str(),
                facts.loop ? ("loop " + LoopText(*facts.loop, facts.rate)).c_str()
                           : "no loop points",
                facts.samples, facts.rate);
}

// Writes the track's new bytes: a single file through a temporary file beside it, a container's
// track through the replacement of "replace". The exit status, after saying what happened.
int WriteTrack(ContainerChain& chain, const LoopTrack& track,
               const std::vector<std::uint8_t>& bytes, bool rebuild, const std::string& done) {
    if (track.single) {
        if (!ReplaceFileContents(track.file, std::string(bytes.begin(), bytes.end()))) {
            Fail(track.file, std::string("the file cannot be rewritten (is it read-only?). ") +
                                 kNothingWritten);
            return kExitFailed;
        }
        std::printf("%s: %s\n", track.shown.c_str(), done.c_str());
        return kExitOk;
    }
    if (!chain.Innermost()->CanReplace()) {
        Fail(track.shown, std::string("tracks of this container cannot be replaced. ") +
                              kNothingWritten);
        return kExitFailed;
    }
    // The new bytes go in as a replacement file named as the track is (its extension), in the
    // system's temporary folder.
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    const std::string extension = Utf8FromPath(PathFromUtf8(track.name).extension());
    const std::string temporary =
        Utf8FromPath((error ? std::filesystem::path(".") : folder) /
                     PathFromUtf8("fogbell-loop-" + std::to_string(CurrentProcessId()) +
                                  extension));
    {
        std::ofstream out(PathFromUtf8(temporary), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        if (!out.flush()) {
            RemovePath(temporary);
            Fail(temporary, std::string("the temporary file cannot be written. ") +
                                kNothingWritten);
            return kExitFailed;
        }
    }
    ContainerReplaceRequest request;
    request.chain = chain.Levels();
    request.links = chain.Links();
    request.track = track.name;
    request.replacement = temporary;
    request.allowRebuild = rebuild;
    request.releaseChain = [&chain] { chain.Close(); };
    const ReplaceReport report =
        DescribeReplace(ReplaceInContainer(request), ReplaceReader::kCommand);
    RemovePath(temporary);
    if (!report.replaced) {
        Fail(track.shown, report.text);
        return kExitFailed;
    }
    std::printf("%s: %s; %s\n", track.shown.c_str(), done.c_str(), report.text.c_str());
    return kExitOk;
}

// "--set" (loop given) and "--clear" (none): the exit status.
int ChangeLoop(const PluginHost& host, const LoopCommandOptions& options,
               const std::optional<LoopPoints>& loop) {
    ContainerChain chain(host);
    LoopTrack track;
    int status = kExitFailed;
    if (!OpenLoopTrack(host, options.path, options.track, chain, track, status)) {
        return status;
    }
    const std::optional<LoopFields> fields =
        ReadLoopFields(track.bytes.data(), track.bytes.size());
    if (!fields) {
        Fail(track.shown, FormatNameOf(track.single ? track.file : track.name) +
                              " streams have no loop fields: only ADX and WAVE tracks keep loop "
                              "points. " + kNothingWritten);
        return kExitFailed;
    }
    if (loop && loop->end > fields->samples) {
        Fail(track.shown, "the loop ends past the stream's " + std::to_string(fields->samples) +
                              " samples: give an END of at most " +
                              std::to_string(fields->samples) + ". " + kNothingWritten);
        return kExitUsage;
    }
    const LoopEdit edit = WithLoopFields(track.bytes.data(), track.bytes.size(), loop);
    if (edit.status != LoopEditStatus::kOk) {
        Fail(track.shown, std::string("the loop fields cannot take this loop. ") +
                              kNothingWritten);
        return kExitFailed;
    }
    const std::string done = loop ? "loop points set to " + LoopText(*loop, fields->rate)
                                  : std::string("loop points cleared");
    if (edit.bytes == track.bytes) {
        if (loop) {
            std::printf("%s: the loop is %s already; nothing was written\n",
                        track.shown.c_str(), LoopText(*loop, fields->rate).c_str());
        } else {
            std::printf("%s: has no loop points; nothing was written\n", track.shown.c_str());
        }
        return kExitOk;
    }
    return WriteTrack(chain, track, edit.bytes, options.rebuild, done);
}

#if defined(FOGBELL_HAS_LOOP_FINDER)
void PrintCandidates(const std::vector<loops::LoopCandidate>& candidates, int rate, bool json) {
    if (json) {
        std::vector<std::string> members;
        for (const loops::LoopCandidate& c : candidates) {
            char score[32];
            std::snprintf(score, sizeof score, "%.4f", c.score);
            members.push_back("{\"loop\": [" + std::to_string(c.start) + ", " +
                              std::to_string(c.end) + "], \"score\": " + score + "}");
        }
        std::printf("{\"candidates\": [%s]}\n", Joined(members, ", ").c_str());
        JsonDocumentPrinted() = true;
        return;
    }
    if (candidates.empty()) {
        std::printf("no loop found: the sound does not repeat, or is shorter than --min plus a "
                    "second; try a smaller --min\n");
        return;
    }
    const auto rateValue = static_cast<std::uint32_t>(rate);
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const loops::LoopCandidate& c = candidates[i];
        const LoopPoints loop{static_cast<std::uint32_t>(c.start),
                              static_cast<std::uint32_t>(c.end)};
        std::printf("%zu. loop %s, %.3f s, seam %.1f dB, score %.2f\n", i + 1,
                    LoopText(loop, rateValue).c_str(),
                    static_cast<double>(c.end - c.start) / rate, c.seamDb, c.score);
    }
    if (candidates.front().seamDb < kAudibleSeamDb) {
        std::printf("the best loop is poor: its seam is below 20 dB, so the jump will be heard\n");
    }
}

// "--find" and "--set-best": the exit status.
int FindLoop(const PluginHost& host, const LoopCommandOptions& options) {
    ContainerChain chain(host);
    LoopTrack track;
    int status = kExitFailed;
    if (!OpenLoopTrack(host, options.path, options.track, chain, track, status)) {
        return status;
    }
    DecodedSound sound;
    if (!DecodeTrack(host, track, sound)) {
        return kExitFailed;
    }
    const int rate = static_cast<int>(sound.format.nSamplesPerSec);
    loops::LoopSearch search;
    search.minSeconds = options.minSeconds;
    const std::vector<loops::LoopCandidate> candidates =
        loops::FindLoops(sound.pcm.data(), sound.Frames(), sound.format.nChannels, rate, search);
    if (!options.setBest) {
        PrintCandidates(candidates, rate, options.json);
        return kExitOk;
    }
    if (candidates.empty()) {
        Fail(track.shown, std::string("no loop found: the sound does not repeat, or is shorter "
                                      "than --min plus a second; try a smaller --min. ") +
                              kNothingWritten);
        return kExitFailed;
    }
    chain.Close();
    return ChangeLoop(host, options,
                      LoopPoints{static_cast<std::uint32_t>(candidates.front().start),
                                 static_cast<std::uint32_t>(candidates.front().end)});
}
#else
int FindLoop(const PluginHost&, const LoopCommandOptions&) {
    Fail("loop", "the loop finder is not built into this program");
    return kExitFailed;
}
#endif

int ShowLoop(const PluginHost& host, const LoopCommandOptions& options) {
    ContainerChain chain(host);
    LoopTrack track;
    int status = kExitFailed;
    if (!OpenLoopTrack(host, options.path, options.track, chain, track, status)) {
        return status;
    }
    LoopFacts facts;
    if (!ReadFacts(host, track, facts)) {
        return kExitFailed;
    }
    PrintFacts(track, facts, options.json);
    return kExitOk;
}

}  // namespace

void AddLoopCommand(CLI::App& app, CommandContext& context) {
    auto options = std::make_shared<LoopCommandOptions>();
    CLI::App* loop = app.add_subcommand(
        "loop", "Print a track's loop points, or set or clear them without re-encoding");
    loop->add_option("PATH", options->path, "Audio file, or container")->required();
    loop->add_option("TRACK", options->track,
                     "Track name as \"list\" prints it, or #N (for a container)");
    loop->add_flag("--json", options->json, "Machine-readable output");
    CLI::Option* set =
        loop->add_option("--set", options->set,
                         "Write this loop into the track's header: its first sample and the first "
                         "after it")
            ->type_name("START:END")
            ->check(CLI::Validator(
                [](const std::string& text) {
                    return ParseLoopText(text) ? std::string()
                                               : "a loop is START:END in samples, with START "
                                                 "below END";
                },
                ""));
    loop->add_flag("--clear", options->clear, "Remove the track's loop points")->excludes(set);
    CLI::Option* find = loop->add_flag(
        "--find", options->find,
        "Propose up to five loops where the music repeats itself, best first");
    loop->add_option("--min", options->minSeconds, "With --find: the shortest loop in seconds "
                                                   "(default 10)")
        ->check(CLI::PositiveNumber);
    CLI::Option* best = loop->add_flag("--set-best", options->setBest,
                                       "Write the best loop that --find proposes");
    set->excludes(find)->excludes(best);
    find->excludes(best)->excludes("--clear");
    best->excludes("--clear");
    loop->add_flag("--rebuild", options->rebuild,
                   "Rebuild the container when the track's header grows past its room");
    context.OnRun(loop, [&context, options] {
        const PluginHost& host = context.Plugins();
        if (!options->set.empty()) {
            return ChangeLoop(host, *options, ParseLoopText(options->set));
        }
        if (options->clear) {
            return ChangeLoop(host, *options, std::nullopt);
        }
        if (options->find || options->setBest) {
            return FindLoop(host, *options);
        }
        return ShowLoop(host, *options);
    });
}

}  // namespace fogbell::cli
