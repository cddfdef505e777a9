// Windows: another program cannot shorten a container while an explorer has it mapped, so the
// pages of a view are never lost there and no guard is needed. This checks that the system
// (or Wine standing in for it) refuses the cut and the container stays whole and readable.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "afs_builder.h"
#include "byte_writer.h"
#include "host/core/native_path.h"
#include "plugin_api.h"
#include "test_files.h"

namespace fogbell::test {
namespace {

// Tries to shorten the file at path to size bytes as another program would; true when the
// system allowed it.
bool TryToCut(const std::string& path, std::int64_t size) {
    HANDLE file = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    LARGE_INTEGER at{};
    at.QuadPart = size;
    const bool cut = SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return cut;
}

TEST(TruncationOnWindows, AMappedContainerCannotBeCutShortAndStaysReadable) {
    TempDir dir;
    const std::string path = dir.File("box.afs");
    const AfsBuilder::Result built =
        AfsBuilder().Add("head.bin", Pattern(100, 1)).Add("big.bin", Pattern(64 * 1024, 2)).Build();
    WriteFile(path, built.bytes);
    ExplorerApi afs{"afsvault"};
    const int h = afs.LoadFile(path.c_str());
    ASSERT_NE(h, -1) << afs.Error();

    EXPECT_FALSE(TryToCut(path, static_cast<std::int64_t>(built.offsets[1]) + 10));
    const std::string out = dir.File("big.out");
    EXPECT_EQ(afs.ExtractFile(h, "big.bin", out.c_str()), 1) << afs.Error();
    EXPECT_EQ(ReadFile(out), Pattern(64 * 1024, 2));
    EXPECT_EQ(afs.CloseFile(h), 1);

    // Once the explorer has let go, the file can be cut like any other.
    EXPECT_TRUE(TryToCut(path, static_cast<std::int64_t>(built.offsets[1])));
}

}  // namespace
}  // namespace fogbell::test
