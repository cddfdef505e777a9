// The words for a replacement's outcome (replace_report.h), for each reader: the command line's
// "replace", a line of its "replace --from", and the window's status line.
#include "host/containers/replace_report.h"

#include <gtest/gtest.h>

namespace fogbell {
namespace {

using Outcome = ContainerReplaceOutcome;
using Reader = ReplaceReader;

struct ReportCase {
    Outcome outcome;
    const char* text;  // the result's
    bool rebuildable;
    Reader reader;
    bool replaced;
    const char* said;
};

constexpr const char* kMustRebuild =
    "The replacement takes 900 bytes but the track has room for 512: the container must be "
    "rebuilt.";

const ReportCase kCases[] = {
    {Outcome::kReplacedInPlace, "OK", false, Reader::kCommand, true, "Replace OK"},
    {Outcome::kReplacedInPlace, "OK", false, Reader::kWindow, true, "Replace OK"},
    {Outcome::kReplacedInPlace, "Cut to 512 bytes.", false, Reader::kCommand, true,
     "Replace OK: Cut to 512 bytes."},
    {Outcome::kReplacedInPlace, "Cut to 512 bytes.", false, Reader::kWindow, true,
     "Replace OK: Cut to 512 bytes."},
    {Outcome::kRebuilt, "The container was rebuilt.", true, Reader::kCommand, true,
     "Replace OK: the container was rebuilt"},
    {Outcome::kRebuilt, "The container was rebuilt.", true, Reader::kWindow, true,
     "Replace OK: The container was rebuilt."},
    {Outcome::kNeedsRebuild, kMustRebuild, true, Reader::kCommand, false,
     "the replacement takes 900 bytes, the track has room for 512; run again with --rebuild to "
     "rebuild the container"},
    {Outcome::kNeedsRebuild, kMustRebuild, false, Reader::kCommand, false,
     "the replacement takes 900 bytes, the track has room for 512, and a container of this kind "
     "cannot be rebuilt"},
    {Outcome::kNeedsRebuild, kMustRebuild, true, Reader::kBatchLine, false,
     "takes 900 bytes, the track has room for 512; --rebuild would rebuild the container"},
    {Outcome::kNeedsRebuild, kMustRebuild, false, Reader::kBatchLine, false,
     "takes 900 bytes, the track has room for 512, and a container of this kind cannot be "
     "rebuilt"},
    {Outcome::kNeedsRebuild, kMustRebuild, false, Reader::kWindow, false,
     "File not replaced: it needs 900 bytes, the track has room for 512, and this container "
     "cannot be rebuilt."},
    {Outcome::kNeedsRebuild, kMustRebuild, true, Reader::kWindow, false, kMustRebuild},
    {Outcome::kFailed, "Is not AFS file.", false, Reader::kCommand, false, "Is not AFS file."},
    {Outcome::kFailed, "Is not AFS file.", false, Reader::kWindow, false, "Is not AFS file."},
};

TEST(ReplaceReport, EachOutcomeIsWordedForItsReader) {
    for (const ReportCase& c : kCases) {
        ContainerReplaceResult result;
        result.outcome = c.outcome;
        result.text = c.text;
        result.size = 900;
        result.room = 512;
        result.rebuildable = c.rebuildable;
        const ReplaceReport report = DescribeReplace(result, c.reader);
        EXPECT_EQ(report.replaced, c.replaced) << c.said;
        EXPECT_EQ(report.text, c.said);
    }
}

TEST(ReplaceReport, ABatchTrackThatDoesNotFitIsWordedWithItsOwnSizes) {
    BatchReplaceResult batch;
    batch.outcome = ContainerReplaceOutcome::kNeedsRebuild;
    batch.tooBig = {0, 3};
    batch.sizes = {100, 7000};
    batch.rooms = {64, 2048};
    batch.rebuildable = true;
    EXPECT_EQ(DescribeReplace(TooBigTrack(batch, 1), ReplaceReader::kBatchLine).text,
              "takes 7000 bytes, the track has room for 2048; --rebuild would rebuild the "
              "container");
}

}  // namespace
}  // namespace fogbell
