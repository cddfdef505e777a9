// A replacement too big for its track, into an explorer that has only one of the two rebuild entry
// points (rebuild_fake.cpp): a single replacement rebuilds with fnRebuildFile, a batch with
// fnRebuildFiles, and the refusal names the reason that holds (the kind, or a container not
// opened from a file).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/containers/container_replace.h"
#include "host/plugins/plugin_host.h"
#include "test_files.h"

namespace fogbell {
namespace {

using test::Bytes;

constexpr const char* kRebuilt = "The container was rebuilt.";
constexpr const char* kCannot = "A container of this kind cannot be rebuilt.";
constexpr const char* kNotFile = "The container was not opened from a file: it cannot be rebuilt.";

// "RBX1", two tracks: 0.bin (room 4, "abcd") and 1.bin (room 2, "xy").
const Bytes kBox = {'R', 'B', 'X', '1', 2, 4, 4, 'a', 'b', 'c', 'd', 2, 2, 'x', 'y'};

struct SeamCase {
    const char* extension;  // rbo: fnRebuildFile only; rbm: fnRebuildFiles only
    bool batch;
    bool fromFile;  // else opened from bytes in memory
    ContainerReplaceOutcome outcome;
    const char* text;
};

const SeamCase kCases[] = {
    {"rbo", false, true, ContainerReplaceOutcome::kRebuilt, kRebuilt},
    {"rbo", true, true, ContainerReplaceOutcome::kFailed, kCannot},
    {"rbo", false, false, ContainerReplaceOutcome::kFailed, kNotFile},
    {"rbm", false, true, ContainerReplaceOutcome::kFailed, kCannot},
    {"rbm", true, true, ContainerReplaceOutcome::kRebuilt, kRebuilt},
    {"rbm", true, false, ContainerReplaceOutcome::kFailed, kNotFile},
};

TEST(ReplaceSeam, TheRefusalNamesTheReasonOfTheEntryPointThatDecides) {
    PluginHost host;
    host.LoadExplorerPlugins(std::string(REBUILD_SET_DIR) + "/explore_plugins");
    for (const SeamCase& c : kCases) {
        SCOPED_TRACE(std::string(c.extension) + (c.batch ? " batch" : " single") +
                     (c.fromFile ? " file" : " memory"));
        test::TempDir dir;
        const std::string box = dir.File(std::string("box.") + c.extension);
        test::WriteFile(box, kBox);
        test::WriteFile(dir.File("big"), test::BytesOf("ABCDEFGH"));  // 8 bytes, room 4
        test::WriteFile(dir.File("small"), test::BytesOf("z"));
        std::string error;
        ExplorerSessionPtr opened = c.fromFile
                                        ? host.OpenContainer(box, nullptr, 0, error)
                                        : host.OpenContainer(box, kBox.data(), kBox.size(), error);
        ASSERT_TRUE(opened) << error;
        const auto release = [&opened] { CloseOpenedFile(opened); };
        ContainerReplaceOutcome outcome;
        std::string text;
        if (c.batch) {
            const BatchReplaceResult result =
                ReplaceManyInContainer({{opened.get()},
                                        {},
                                        {"0.bin", "1.bin"},
                                        {dir.File("big"), dir.File("small")},
                                        true,
                                        release});
            outcome = result.outcome;
            text = result.text;
        } else {
            const ContainerReplaceResult result =
                ReplaceInContainer({{opened.get()}, {}, "0.bin", dir.File("big"), true, release});
            outcome = result.outcome;
            text = result.text;
        }
        CloseOpenedFile(opened);
        EXPECT_EQ(outcome, c.outcome);
        EXPECT_EQ(text, c.text);
        // A rebuilt container holds the new bytes with room for them; a refused one is as it was.
        Bytes expected = kBox;
        if (c.outcome == ContainerReplaceOutcome::kRebuilt) {
            expected = {'R', 'B', 'X', '1', 2, 8, 8, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'};
            const Bytes second = c.batch ? Bytes{1, 1, 'z'} : Bytes{2, 2, 'x', 'y'};
            expected.insert(expected.end(), second.begin(), second.end());
        }
        EXPECT_EQ(test::ReadFile(box), expected);
    }
}

}  // namespace
}  // namespace fogbell
