// What a replacement's outcome (container_replace.h) says to the user, in one place for the
// three that tell it: "replace PATH TRACK FILE" of the command line, a track's line of its
// "replace --from", and the window's status line after "Replace file". They word the same
// outcome differently (the command line names its options, the window its own prefix), so the
// reader is a parameter.
#pragma once

#include <cstddef>
#include <string>

#include "host/containers/container_replace.h"

namespace fogbell {

enum class ReplaceReader {
    kCommand,    // "replace PATH TRACK FILE": a success on standard output, else why it failed
    kBatchLine,  // a track of "replace --from" that was not replaced: why
    kWindow,     // the window's status line
};

// How the window's texts of a replacement that wrote nothing begin.
inline constexpr const char* kWindowNotReplaced = "File not replaced: ";

struct ReplaceReport {
    bool replaced = false;  // in place or by a rebuild
    std::string text;
};

// The outcome of result as reader is told it:
//   in place   "Replace OK", or "Replace OK: " and the plug-in's note (a cut it made)
//   rebuilt    "Replace OK: the container was rebuilt" (the window: "Replace OK: " and the
//              result's text)
//   too big    the bytes the replacement takes and the track's room, with what to do: give
//              --rebuild (command line), or nothing when the container cannot be rebuilt; the
//              window asks before a rebuild, and says only that it cannot be rebuilt
//   failed     the result's text
ReplaceReport DescribeReplace(const ContainerReplaceResult& result, ReplaceReader reader);

// The i-th track of a batch that did not fit its room (result.tooBig[i]), as the result of a
// replacement of that track alone that needs a rebuild.
ContainerReplaceResult TooBigTrack(const BatchReplaceResult& result, std::size_t i);

}  // namespace fogbell
