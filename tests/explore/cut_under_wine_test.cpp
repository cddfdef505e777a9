// Containers whose pages are lost while a Windows program has them mapped, through the staged
// afsvault.dll under Wine: a Linux program cuts the file short (Wine raises an access violation
// where Windows would raise an in-page error). Touching the lost pages must not end the process:
// they read zeros, the bytes the file still holds read as before, and the explorer refuses the
// container as damaged.
//
// cut_while_mapped.sh runs this program and plays the Linux program: it sets the size of a file
// in the folder FOGBELL_CUT_FOLDER names when asked to (the file "request" holds NAME SIZE) and
// answers with the file "resized".
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "afs_builder.h"
#include "byte_writer.h"
#include "plugin_api.h"
#include "test_files.h"

namespace fogbell::test {
namespace {

constexpr std::size_t kBig = 256 * 1024;  // many pages, so that the cut leaves some behind
constexpr std::size_t kReaders = 4;       // threads that meet the lost pages at once
constexpr int kPatienceMs = 60000;        // how long the Linux side may take to answer

class CutUnderWine : public ::testing::Test {
  protected:
    std::string folder = std::getenv("FOGBELL_CUT_FOLDER") ? std::getenv("FOGBELL_CUT_FOLDER") : "";
    AfsBuilder::Result built =
        AfsBuilder().Add("head.bin", Pattern(100, 1)).Add("big.bin", Pattern(kBig, 2)).Build();
    ExplorerApi afs{"afsvault"};

    void SetUp() override { ASSERT_FALSE(folder.empty()) << "run through cut_while_mapped.sh"; }
    std::string PathOf(const std::string& name) const { return folder + "\\" + name; }

    // Writes the container as name, opens it and maps the big track; its handle, or -1.
    int OpenBigTrack(const std::string& name, const std::uint8_t*& track) {
        WriteFile(PathOf(name), built.bytes);
        const int h = afs.LoadFile(PathOf(name).c_str());
        std::uint32_t length = 0;
        track = h == -1
                    ? nullptr
                    : static_cast<const std::uint8_t*>(afs.GetFilePointer(h, "big.bin", &length));
        return track != nullptr && length == kBig ? h : -1;
    }

    // Has the Linux side set the size of the file name in the folder; false when it did not
    // answer in time.
    bool ResizeFromLinux(const std::string& name, std::uint64_t size) const {
        const std::wstring request = WideFromUtf8(PathOf("request"));
        const std::wstring resized = WideFromUtf8(PathOf("resized"));
        DeleteFileW(resized.c_str());
        WriteFile(PathOf("request.new"), BytesOf(name + " " + std::to_string(size) + "\n"));
        // Renamed into place, so that the other side never reads half a request.
        if (!MoveFileExW(WideFromUtf8(PathOf("request.new")).c_str(), request.c_str(),
                         MOVEFILE_REPLACE_EXISTING)) {
            return false;
        }
        for (int waited = 0; waited < kPatienceMs; waited += 10) {
            if (GetFileAttributesW(resized.c_str()) != INVALID_FILE_ATTRIBUTES) {
                DeleteFileW(resized.c_str());
                return true;
            }
            Sleep(10);
        }
        return false;
    }
};

// The sums of the bytes from offset cut to the track's end as each of several threads read the
// whole track at once (they meet the lost pages together).
std::vector<unsigned long long> SumsPastTheCut(const std::uint8_t* track, std::size_t length,
                                               std::size_t cut) {
    std::vector<unsigned long long> sums(kReaders);
    std::vector<std::thread> readers;
    for (std::size_t r = 0; r < kReaders; ++r) {
        readers.emplace_back([&, r] {
            const volatile std::uint8_t* bytes = track;
            unsigned long long sum = 0;
            for (std::size_t i = 0; i < length; ++i) {
                sum += i < cut ? 0 : bytes[i];
            }
            sums[r] = sum;
        });
    }
    for (std::thread& reader : readers) {
        reader.join();
    }
    return sums;
}

TEST_F(CutUnderWine, LostPagesReadZerosTheRestIsKeptAndTheContainerIsReportedDamaged) {
    const std::string path = PathOf("box.afs");
    const std::uint8_t* track = nullptr;
    const int h = OpenBigTrack("box.afs", track);
    ASSERT_NE(h, -1) << afs.Error();
    const std::size_t cut = kBig / 3;  // inside a page, many pages before the track's end
    ASSERT_TRUE(ResizeFromLinux("box.afs", built.offsets[1] + cut));

    // What decoders playing the track do: read it to its end, here from several threads. Past
    // the cut they read zeros; before it the bytes the file still holds (read once all threads
    // are through: under Wine a thread that reads an intact page at the very moment the view is
    // replaced may see zeros there, as Wine maps a view in two steps; Windows maps it in one).
    for (const unsigned long long sum : SumsPastTheCut(track, kBig, cut)) {
        EXPECT_EQ(sum, 0u);
    }
    const Bytes pattern = Pattern(kBig, 2);
    EXPECT_TRUE(std::equal(track, track + cut, pattern.begin()));

    const std::string damaged =
        path + " was cut short by another program while it was open: it is damaged.";
    EXPECT_EQ(afs.ExtractFile(h, "big.bin", PathOf("big.out").c_str()), 0);
    EXPECT_EQ(afs.Error(), damaged);
    std::uint32_t length = 0;
    EXPECT_EQ(afs.GetFilePointer(h, "head.bin", &length), nullptr);
    EXPECT_EQ(afs.Error(), damaged);
    const Bytes replacement = Pattern(10, 3);
    EXPECT_EQ(afs.ReplaceFileMemory(h, "head.bin", replacement.data(), 10), 0);
    EXPECT_EQ(afs.Error(), damaged);
    EXPECT_FALSE(FileExists(path + ".fogbell-journal"));
    EXPECT_EQ(afs.CloseFile(h), 1);
    MEMORY_BASIC_INFORMATION region{};  // the memory put in the view's place went with it
    ASSERT_NE(VirtualQuery(track, &region, sizeof region), 0u);
    EXPECT_EQ(region.State, static_cast<DWORD>(MEM_FREE));

    // The process goes on: the shorter file opens again, its whole first member extracts.
    const int again = afs.LoadFile(path.c_str());
    ASSERT_NE(again, -1) << afs.Error();
    EXPECT_EQ(afs.ExtractFile(again, "00000.bin", PathOf("head.out").c_str()), 1) << afs.Error();
    EXPECT_EQ(ReadFile(PathOf("head.out")), Pattern(100, 1));
    EXPECT_EQ(afs.CloseFile(again), 1);
}

TEST_F(CutUnderWine, APageThatFailedWhileTheFileKeepsItsLengthIsReportedUnreadable) {
    const std::string path = PathOf("again.afs");
    const std::uint8_t* track = nullptr;
    const int h = OpenBigTrack("again.afs", track);
    ASSERT_NE(h, -1) << afs.Error();
    ASSERT_TRUE(ResizeFromLinux("again.afs", built.offsets[1] + 10));
    EXPECT_EQ(static_cast<const volatile std::uint8_t*>(track)[kBig - 1], 0);
    // The file gets its length back (zeros where it was cut): only the failed touch is left.
    ASSERT_TRUE(ResizeFromLinux("again.afs", built.bytes.size()));
    EXPECT_EQ(afs.ExtractFile(h, "big.bin", PathOf("big.out").c_str()), 0);
    EXPECT_EQ(afs.Error(), path + " could not be read while it was open: it is damaged.");
    EXPECT_EQ(afs.CloseFile(h), 1);
}

}  // namespace
}  // namespace fogbell::test
