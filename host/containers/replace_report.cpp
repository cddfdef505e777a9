#include "host/containers/replace_report.h"

#include <string>

namespace fogbell {
namespace {

constexpr const char* kReplaced = "Replace OK";

// "takes N bytes, the track has room for M": the core of every too-big text.
std::string Sizes(const ContainerReplaceResult& result) {
    return "takes " + std::to_string(result.size) + " bytes, the track has room for " +
           std::to_string(result.room);
}

std::string TooBigText(const ContainerReplaceResult& result, ReplaceReader reader) {
    constexpr const char* kCannotRebuild = ", and a container of this kind cannot be rebuilt";
    switch (reader) {
        case ReplaceReader::kCommand:
            return "the replacement " + Sizes(result) +
                   (result.rebuildable ? "; run again with --rebuild to rebuild the container"
                                       : kCannotRebuild);
        case ReplaceReader::kBatchLine:
            return Sizes(result) + (result.rebuildable ? "; --rebuild would rebuild the container"
                                                       : kCannotRebuild);
        case ReplaceReader::kWindow:
            break;
    }
    // The window asks before it rebuilds a container that can be rebuilt (the core's sentence is
    // all there is to say of it); it refuses one that cannot.
    return result.rebuildable
               ? result.text
               : std::string(kWindowNotReplaced) + "it needs " + std::to_string(result.size) +
                     " bytes, the track has room for " + std::to_string(result.room) +
                     ", and this container cannot be rebuilt.";
}

}  // namespace

ReplaceReport DescribeReplace(const ContainerReplaceResult& result, ReplaceReader reader) {
    switch (result.outcome) {
        case ContainerReplaceOutcome::kReplacedInPlace:
            // A replacement the plug-in had to cut still succeeds; its text must not pass unseen.
            return {true,
                    result.text == "OK" ? kReplaced : std::string(kReplaced) + ": " + result.text};
        case ContainerReplaceOutcome::kRebuilt:
            return {true, std::string(kReplaced) + ": " +
                              (reader == ReplaceReader::kWindow ? result.text
                                                                : "the container was rebuilt")};
        case ContainerReplaceOutcome::kNeedsRebuild:
            return {false, TooBigText(result, reader)};
        case ContainerReplaceOutcome::kFailed:
            break;
    }
    return {false, result.text};  // the explorer's text, or why a rebuild failed
}

ContainerReplaceResult TooBigTrack(const BatchReplaceResult& result, std::size_t i) {
    ContainerReplaceResult track;
    track.outcome = ContainerReplaceOutcome::kNeedsRebuild;
    track.text = result.text;
    track.size = result.sizes[i];
    track.room = result.rooms[i];
    track.rebuildable = result.rebuildable;
    return track;
}

}  // namespace fogbell
