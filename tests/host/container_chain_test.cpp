// The chain of containers from a file on disk inwards, with the staged explorers.
#include "host/containers/container_chain.h"

#include <gtest/gtest.h>

#include "afs_builder.h"
#include "byte_writer.h"
#include "test_files.h"

namespace fogbell {
namespace {

using test::AfsBuilder;
using test::Bytes;
using test::Pattern;

class Chain : public ::testing::Test {
  protected:
    void SetUp() override {
        host.LoadDecoderPlugins(std::string(FOGBELL_STAGE_DIR) + "/decode_plugins");
        host.LoadExplorerPlugins(std::string(FOGBELL_STAGE_DIR) + "/explore_plugins");
    }
    // box.afs holds in.afs (which holds s.bin of songBytes bytes) and a member that is no
    // container but carries the extension of one.
    std::string Box(std::size_t songBytes) {
        const Bytes inner = AfsBuilder().Add("s.bin", Pattern(songBytes, 1)).Build().bytes;
        test::WriteFile(
            dir.File("box.afs"),
            AfsBuilder().Add("in.afs", inner).Add("fake.afs", Pattern(16, 2)).Build().bytes);
        return dir.File("box.afs");
    }
    test::TempDir dir;
    PluginHost host;
};

TEST_F(Chain, APathOpensEveryLevelAndLeaveWalksBack) {
    ContainerChain chain(host);
    std::string error;
    ASSERT_TRUE(chain.OpenPath(Box(30) + "::in.afs", error)) << error;
    EXPECT_EQ(chain.Names(), (std::vector<std::string>{dir.File("box.afs"), "in.afs"}));
    EXPECT_EQ(chain.Links(), (std::vector<std::string>{"in.afs"}));
    EXPECT_EQ(chain.Depth(), 1u);
    ASSERT_EQ(chain.Levels().size(), 2u);
    EXPECT_EQ(chain.Innermost()->Length("s.bin"), 30u);
    chain.Leave();
    EXPECT_EQ(chain.Depth(), 0u);
    EXPECT_EQ(chain.Innermost()->path, dir.File("box.afs"));
    chain.Leave();
    EXPECT_TRUE(chain.Empty());
    EXPECT_EQ(chain.Innermost(), nullptr);
}

TEST_F(Chain, EachKindOfFailureSaysWhichLevelAndKeepsWhatItShould) {
    ContainerChain chain(host);
    std::string error;
    EXPECT_FALSE(chain.OpenPath(dir.File("none.afs"), error));
    EXPECT_EQ(error, dir.File("none.afs") + ": File " + dir.File("none.afs") + " not exists.");
    const ChainPathReader shouting{nullptr,
                                   [](const std::string& track) { return "<" + track + ">"; }};
    EXPECT_FALSE(chain.OpenPath(Box(30) + "::gone.afs", error, shouting));
    EXPECT_EQ(error, "<gone.afs>: gone.afs file not found.");
    EXPECT_EQ(chain.Depth(), 0u);  // the file stays open

    // No bytes: nothing changes. Refused bytes: a named level that is not open.
    EXPECT_EQ(chain.Enter("gone.afs", error), ContainerChain::Entry::kNoBytes);
    EXPECT_EQ(chain.Depth(), 0u);
    EXPECT_EQ(chain.Enter("fake.afs", error), ContainerChain::Entry::kRefused);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(chain.Depth(), 1u);
    EXPECT_EQ(chain.Innermost(), nullptr);
    EXPECT_EQ(chain.Names().back(), "fake.afs");
    EXPECT_EQ(chain.Levels().size(), 1u);
    chain.Leave();
    ASSERT_NE(chain.Innermost(), nullptr);
    EXPECT_EQ(chain.Enter("in.afs", error), ContainerChain::Entry::kOpened) << error;
}

TEST_F(Chain, ReopenSeesTheFileAsItIsNowAndStopsAboveALevelThatIsGone) {
    ContainerChain chain(host);
    std::string error;
    ASSERT_TRUE(chain.OpenPath(Box(30) + "::in.afs", error)) << error;
    chain.Release();  // as a rebuild does before its new file takes the old one's place
    EXPECT_EQ(chain.Innermost(), nullptr);
    EXPECT_EQ(chain.Names(), (std::vector<std::string>{dir.File("box.afs"), "in.afs"}));
    Box(50);
    ASSERT_TRUE(chain.Reopen(error)) << error;
    EXPECT_EQ(chain.Innermost()->Length("s.bin"), 50u);

    chain.Release();
    test::WriteFile(dir.File("box.afs"),
                    AfsBuilder().Add("other.bin", Pattern(4, 3)).Build().bytes);
    EXPECT_FALSE(chain.Reopen(error));
    EXPECT_EQ(error, "in.afs file not found.");
    EXPECT_EQ(chain.Names(), (std::vector<std::string>{dir.File("box.afs")}));
}

TEST_F(Chain, AChainMovedOverAnotherClosesTheOtherFirst) {
    ContainerChain shown(host);
    std::string error;
    ASSERT_TRUE(shown.OpenPath(Box(30) + "::in.afs", error)) << error;
    ContainerChain next(host);
    ASSERT_TRUE(next.OpenFile(dir.File("box.afs"), error)) << error;
    shown = std::move(next);
    EXPECT_EQ(shown.Names(), (std::vector<std::string>{dir.File("box.afs")}));
    EXPECT_TRUE(next.Empty());  // NOLINT(bugprone-use-after-move): the moved-from chain is empty
}

}  // namespace
}  // namespace fogbell
