// The support library every plug-in carries: handle table, error text, checks, mapped files.
#if !defined(_WIN32)
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "byte_order.h"
#include "file_checks.h"
#include "mapped_file.h"
#include "plugin_support.h"
#include "test_files.h"

namespace fogbell::plugin {
namespace {

using test::Bytes;
using test::TempDir;

class HandleTable : public ::testing::Test {
  protected:
    void TearDown() override {
        for (int h = 0; h < kHandleCount; ++h) {
            ReleaseHandle(h);
        }
    }
    int dummy_ = 0;
};

TEST_F(HandleTable, FillsLowestSlotFirstAndReusesAClosedOne) {
    for (int expected = 0; expected < kHandleCount; ++expected) {
        const int h = FindFreeHandle();
        ASSERT_EQ(h, expected);
        StoreRecord(h, &dummy_);
    }
    EXPECT_EQ(FindFreeHandle(), kNoHandle);
    ReleaseHandle(37);
    EXPECT_EQ(FindFreeHandle(), 37);
}

TEST_F(HandleTable, RefusesHandlesOutsideTheTableAndEmptySlots) {
    struct Case {
        int handle;
        const char* text;
    };
    const Case cases[] = {
        {-1, "Handle is invalid.[FFFFFFFF]"},
        {100, "Handle is invalid.[00000064]"},
        {5, "NULL pointer struct"},
    };
    for (const Case& c : cases) {
        SetOk();
        EXPECT_EQ(LookupRecord<int>(c.handle), nullptr) << c.handle;
        EXPECT_STREQ(ErrorText(), c.text) << c.handle;
    }
    StoreRecord(5, &dummy_);
    SetOk();
    EXPECT_EQ(LookupRecord<int>(5), &dummy_);
    EXPECT_STREQ(ErrorText(), "OK");
    EXPECT_EQ(RecordAt(-7), nullptr);
    EXPECT_EQ(RecordAt(kHandleCount), nullptr);
}

TEST_F(HandleTable, ConcurrentLoadsUnderThePluginLockNeverShareASlot) {
    std::vector<int> taken(8 * 10, kNoHandle);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 10; ++i) {
                PluginLock lock;
                const int h = FindFreeHandle();
                StoreRecord(h, &dummy_);
                taken[static_cast<std::size_t>(t * 10 + i)] = h;
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    const std::set<int> distinct(taken.begin(), taken.end());
    EXPECT_EQ(distinct.size(), taken.size());
    EXPECT_EQ(distinct.count(kNoHandle), 0u);
}

TEST(ErrorText, IsCutToItsBufferWhateverThePathLength) {
    const std::string longPath(5000, 'p');
    const int written = SetErrorText("File %s not exists.", longPath.c_str());
    EXPECT_EQ(written, static_cast<int>(kErrorTextCapacity) - 1);
    EXPECT_EQ(std::strlen(ErrorText()), kErrorTextCapacity - 1);
    EXPECT_EQ(std::string(ErrorText()).rfind("File ppp", 0), 0u);
}

TEST(CheckFileName, ReportsEachProblemWithItsText) {
    EXPECT_EQ(CheckFileName(nullptr), 0);
    EXPECT_STREQ(ErrorText(), "NULL file pointer.");
    EXPECT_EQ(CheckFileName(""), 0);
    EXPECT_STREQ(ErrorText(), "Empty file name.");
    EXPECT_EQ(CheckFileName("/no/such/file.afs"), 0);
    EXPECT_STREQ(ErrorText(), "File /no/such/file.afs not exists.");

    TempDir dir;
    test::WriteFile(dir.File("a.afs"), Bytes{1, 2, 3});
    SetOk();
    EXPECT_EQ(CheckFileName(dir.File("a.afs").c_str()), 1);
    EXPECT_STREQ(ErrorText(), "OK");
}

TEST(GetFileLength, GivesTheSizeAndZeroForAnEmptyFileWithoutText) {
    TempDir dir;
    test::WriteFile(dir.File("five"), Bytes(5, 0));
    test::WriteFile(dir.File("empty"), Bytes{});
    EXPECT_EQ(GetFileLength(dir.File("five").c_str()), 5u);
    SetOk();
    EXPECT_EQ(GetFileLength(dir.File("empty").c_str()), 0u);
    EXPECT_STREQ(ErrorText(), "OK");
    EXPECT_EQ(GetFileLength(""), 0u);
    EXPECT_STREQ(ErrorText(), "Empty file name.");
}

TEST(CheckMemory, RefusesNull) {
    int x = 0;
    EXPECT_EQ(CheckMemory(&x), 1);
    EXPECT_EQ(CheckMemory(nullptr), 0);
    EXPECT_STREQ(ErrorText(), "NULL memory pointer.");
}

TEST(MappedFile, WritesThroughTheViewReachTheFile) {
    TempDir dir;
    const std::string path = dir.File("c.bin");
    test::WriteFile(path, Bytes{1, 2, 3, 4, 5, 6});
    void* view = nullptr;
    MappedFile* file = OpenMappedFile(path.c_str(), &view);
    ASSERT_NE(file, nullptr) << ErrorText();
    EXPECT_STREQ(ErrorText(), "OK");
    EXPECT_EQ(MappedLength(file), 6u);
    static_cast<std::uint8_t*>(view)[2] = 0xEE;
    CloseMappedFile(file);
    EXPECT_EQ(test::ReadFile(path), (Bytes{1, 2, 0xEE, 4, 5, 6}));
}

TEST(MappedFile, PagesLetGoBehindAReaderComeBackWithEveryByteWritten) {
    TempDir dir;
    const std::string path = dir.File("long.bin");
    const std::size_t length = 3 * kReleaseStep + 4321;
    Bytes bytes(length);
    for (std::size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 4096);
    }
    test::WriteFile(path, bytes);
    void* view = nullptr;
    MappedFile* file = OpenMappedFile(path.c_str(), &view);
    ASSERT_NE(file, nullptr) << ErrorText();
    auto* data = static_cast<std::uint8_t*>(view);
    std::uint64_t released = 0;
    for (std::size_t i = 0; i < length; i += 1000) {
        data[i] = static_cast<std::uint8_t>(~bytes[i]);  // a write the release must keep
        bytes[i] = data[i];
        ReleaseBehind(file, i, released);
    }
    EXPECT_EQ(released, 3 * kReleaseStep);
    ReleaseBehind(file, 10, released);  // back to the start, as a loop goes
    EXPECT_EQ(released, 0u);
    ReleaseMappedRange(file, 0, length);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), data));
    CloseMappedFile(file);
    EXPECT_EQ(test::ReadFile(path), bytes);
}

TEST(MappedFile, OpensWithoutAViewWhenNoneIsAskedFor) {
    TempDir dir;
    test::WriteFile(dir.File("c.bin"), Bytes{9});
    MappedFile* file = OpenMappedFile(dir.File("c.bin").c_str(), nullptr);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->view, nullptr);
#if defined(_WIN32)
    EXPECT_NE(file->handle, nullptr);
#else
    EXPECT_GE(file->descriptor, 0);
#endif
    CloseMappedFile(file);
}

TEST(MappedFile, ReportsFilesThatCannotBeOpenedOrMapped) {
    TempDir dir;
    test::WriteFile(dir.File("empty"), Bytes{});
    void* view = nullptr;
    EXPECT_EQ(OpenMappedFile(dir.File("empty").c_str(), &view), nullptr);
    EXPECT_EQ(ErrorText(), "Unable to map the file: " + dir.File("empty") + "!");

    // A directory cannot be opened for writing.
    EXPECT_EQ(OpenMappedFile(dir.Path().string().c_str(), &view), nullptr);
    EXPECT_EQ(ErrorText(), "Unable to open the file: " + dir.Path().string() + "!");
}

// A file without write permission is mapped read-only (a container on a disc must open).
TEST(MappedFile, ReadOnlyFileOpensReadOnly) {
#if !defined(_WIN32)
    if (geteuid() == 0) {
        GTEST_SKIP() << "root may write to read-only files (read_only_test covers it in a child "
                        "without that privilege)";
    }
#endif
    TempDir dir;
    const std::string path = dir.File("ro.afs");
    test::WriteFile(path, Bytes{1, 2, 3});
    // On Windows this sets the file's read-only attribute.
    std::filesystem::permissions(path,
                                 std::filesystem::perms::owner_write |
                                     std::filesystem::perms::group_write |
                                     std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove);
    void* view = nullptr;
    MappedFile* file = OpenMappedFile(path.c_str(), &view);
    ASSERT_NE(file, nullptr) << ErrorText();
    EXPECT_FALSE(file->writable);
    EXPECT_EQ(static_cast<const std::uint8_t*>(view)[2], 3);
    CloseMappedFile(file);
}

TEST(ByteOrder, ReadsAndWritesBigEndianFields) {
    const std::uint8_t word[] = {0x12, 0x34, 0x56, 0x78};
    EXPECT_EQ(ReadU32BE(word), 0x12345678u);
    const std::uint8_t half[] = {0xAB, 0xCD};
    EXPECT_EQ(ReadU16BE(half), 0xABCDu);
    std::uint8_t out[4] = {};
    WriteU32BE(out, 0x01020304u);
    EXPECT_EQ(std::memcmp(out, "\x01\x02\x03\x04", 4), 0);
    EXPECT_EQ(ReadU32LE(word), 0x78563412u);
    EXPECT_EQ(ReadU16LE(half), 0xCDABu);
}

TEST(Guarded, TurnsAnExceptionIntoTheFailureResultAndAText) {
    const int result = Guarded(-1, []() -> int { throw std::bad_alloc(); });
    EXPECT_EQ(result, -1);
    EXPECT_STREQ(ErrorText(), "Not enough memory.");
}

}  // namespace
}  // namespace fogbell::plugin
