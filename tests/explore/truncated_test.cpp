// Containers that another program truncates while they are mapped: touching the lost pages
// must not kill the process with SIGBUS, and the explorer reports the container as damaged.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "adx_builder.h"
#include "afs_builder.h"
#include "byte_writer.h"
#include "plugin_api.h"
#include "test_files.h"

namespace fogbell::test {
namespace {

constexpr std::size_t kBig = 256 * 1024;  // many pages, so that the cut leaves some behind

class Truncated : public ::testing::Test {
  protected:
    TempDir dir;
    std::string path = dir.File("box.afs");
    AfsBuilder::Result built =
        AfsBuilder().Add("head.bin", Pattern(100, 1)).Add("big.bin", Pattern(kBig, 2)).Build();
    ExplorerApi afs{"afsvault"};

    void SetUp() override { WriteFile(path, built.bytes); }
    void CutTo(std::size_t size) { ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(size)), 0); }
    std::string Damaged() const {
        return path + " was cut short by another program while it was open: it is damaged.";
    }
};

TEST_F(Truncated, ReadingLostPagesReadsZerosAndTheContainerIsReportedDamaged) {
    const int h = afs.LoadFile(path.c_str());
    ASSERT_NE(h, -1) << afs.Error();
    std::uint32_t length = 0;
    const auto* track = static_cast<const std::uint8_t*>(afs.GetFilePointer(h, "big.bin", &length));
    ASSERT_NE(track, nullptr);
    CutTo(built.offsets[1] + 10);
    // What a decoder playing the track does: read it to its end. Past the cut it reads zeros.
    unsigned sum = 0;
    for (std::uint32_t i = 0; i < length; ++i) {
        sum += track[i];
    }
    EXPECT_EQ(track[length - 1], 0);
    EXPECT_GT(sum, 0u);
    EXPECT_EQ(afs.ExtractFile(h, "big.bin", dir.File("big.out").c_str()), 0);
    EXPECT_EQ(afs.Error(), Damaged());
    EXPECT_EQ(afs.GetFilePointer(h, "head.bin", &length), nullptr);
    EXPECT_EQ(afs.Error(), Damaged());
    const Bytes replacement = Pattern(10, 3);
    EXPECT_EQ(afs.ReplaceFileMemory(h, "head.bin", replacement.data(), 10), 0);
    EXPECT_EQ(afs.Error(), Damaged());
    EXPECT_FALSE(FileExists(path + ".fogbell-journal"));
    EXPECT_EQ(afs.CloseFile(h), 1);
}

TEST_F(Truncated, ACutFoundBeforeAnyTouchIsReportedToo) {
    const int h = afs.LoadFile(path.c_str());
    ASSERT_NE(h, -1) << afs.Error();
    CutTo(built.offsets[1]);
    EXPECT_EQ(afs.ExtractFile(h, "head.bin", dir.File("head.out").c_str()), 0);
    EXPECT_EQ(afs.Error(), Damaged());
    afs.CloseFile(h);
    // Opened again, the shorter file is what it is: its name table is gone (the members get
    // made-up names), member 0 is whole and member 1 lies outside it.
    const int again = afs.LoadFile(path.c_str());
    ASSERT_NE(again, -1) << afs.Error();
    EXPECT_EQ(afs.ExtractFile(again, "00000.bin", dir.File("head.out").c_str()), 1) << afs.Error();
    EXPECT_EQ(afs.ExtractFile(again, "00001.bin", dir.File("big.out").c_str()), 0);
    afs.CloseFile(again);
}

TEST_F(Truncated, ABusErrorOutsideOurViewsStillEndsTheProcess) {
    // The plug-in's handler is installed (a container is mapped); a mapping of the test's own
    // is not one of its views, so the fault is passed on and the default action ends the child.
    const int h = afs.LoadFile(path.c_str());
    ASSERT_NE(h, -1);
    const pid_t child = fork();
    if (child == 0) {
        const int descriptor = open(path.c_str(), O_RDONLY);
        auto* own = static_cast<volatile std::uint8_t*>(
            mmap(nullptr, built.bytes.size(), PROT_READ, MAP_SHARED, descriptor, 0));
        if (own == MAP_FAILED || truncate(path.c_str(), 10) != 0) {
            _exit(2);
        }
        const std::uint8_t lost = own[built.bytes.size() - 1];
        _exit(lost == 0 ? 3 : 4);
    }
    int status = 0;
    waitpid(child, &status, 0);
    // Ended by the signal, or by the previous handler when there was one (a sanitizer's
    // handler reports the fault and aborts); never survived with a page of zeros.
    EXPECT_TRUE(WIFSIGNALED(status) && (WTERMSIG(status) == SIGBUS || WTERMSIG(status) == SIGABRT))
        << status;
    afs.CloseFile(h);
}

}  // namespace
}  // namespace fogbell::test
