// The core's system boundary: UTF-8 paths to the platform's form and back, the one-step file
// replacement, fresh folders and moves that keep an existing file.
#include "host/system/native_path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "test_files.h"

namespace fogbell {
namespace {

namespace fs = std::filesystem;

// Names of several scripts and sizes of UTF-8 sequence (2, 3 and 4 bytes).
const std::vector<std::string> kTextNames = {
    "plain.adx",
    "caf\xC3\xA9.adx",
    "\xE6\x97\xA5\xE6\x9C\xAC.afs",
    "\xF0\x9F\x94\x94 bell.wav",
};

TEST(NativePath, UnicodeNamesReachTheFileSystemAndComeBackUnchanged) {
    test::TempDir dir;
    for (const std::string& name : kTextNames) {
        const std::string path = dir.File(name);
        test::WriteFile(path, test::BytesOf(name));
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(dir.Path())) {
            found.push_back(Utf8FromPath(entry.path().filename()));
        }
        EXPECT_EQ(found, std::vector<std::string>{name});
        EXPECT_EQ(test::ReadFile(path), test::BytesOf(name));
        std::FILE* file = OpenFileUtf8(path, "rb");
        ASSERT_NE(file, nullptr) << name;
        std::fclose(file);
        fs::remove(PathFromUtf8(path));
    }
}

TEST(NativePath, ReplaceFileContentsWritesANewFileAndReplacesAnOldOne) {
    test::TempDir dir;
    const std::string path = dir.File("caf\xC3\xA9.ini");
    ASSERT_TRUE(ReplaceFileContents(path, "first"));
    EXPECT_EQ(test::ReadFile(path), test::BytesOf("first"));
    ASSERT_TRUE(ReplaceFileContents(path, "second, longer"));
    EXPECT_EQ(test::ReadFile(path), test::BytesOf("second, longer"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 1);  // no file left over
}

TEST(NativePath, MoveFileToKeepsAnExistingTargetUnlessToldToReplaceIt) {
    test::TempDir dir;
    const std::string from = dir.File("new.wav");
    const std::string to = dir.File("\xE6\x97\xA5.wav");
    test::WriteFile(from, test::BytesOf("new"));
    test::WriteFile(to, test::BytesOf("old"));
    std::string why;
    const MoveOutcome kept = MoveFileTo(from, to, false, why);
    ASSERT_NE(kept, MoveOutcome::kFailed) << why;
    if (kept == MoveOutcome::kTargetExists) {
        EXPECT_EQ(test::ReadFile(to), test::BytesOf("old"));
        EXPECT_TRUE(test::FileExists(from));
    } else {
        EXPECT_EQ(kept, MoveOutcome::kNoExclusive);  // this file system cannot tell in one step
    }
    EXPECT_EQ(MoveFileTo(from, to, true, why), MoveOutcome::kMoved) << why;
    EXPECT_EQ(test::ReadFile(to), test::BytesOf("new"));
    EXPECT_FALSE(test::FileExists(from));
    EXPECT_EQ(MoveFileTo(dir.File("missing"), to, true, why), MoveOutcome::kFailed);
    EXPECT_FALSE(why.empty());
}

TEST(NativePath, MakeFreshFolderGivesANewFolderEachTime) {
    test::TempDir dir;
    const std::string prefix = dir.File(".caf\xC3\xA9-");
    std::string first, second, why;
    ASSERT_TRUE(MakeFreshFolder(prefix, first, why)) << why;
    ASSERT_TRUE(MakeFreshFolder(prefix, second, why)) << why;
    EXPECT_NE(first, second);
    EXPECT_EQ(first.rfind(prefix, 0), 0u);
    EXPECT_TRUE(fs::is_directory(PathFromUtf8(first)));
    EXPECT_TRUE(fs::is_directory(PathFromUtf8(second)));
    EXPECT_FALSE(MakeFreshFolder(dir.File("missing/x-"), first, why));
}

#if defined(_WIN32)
TEST(NativePath, ANameThatIsNotUtf8StillNamesOneFile) {
    test::TempDir dir;
    test::WriteFile(dir.File("bad\xFF.bin"), test::BytesOf("ff"));
    test::WriteFile(dir.File("bad\xFE.bin"), test::BytesOf("fe"));
    EXPECT_EQ(test::ReadFile(dir.File("bad\xFF.bin")), test::BytesOf("ff"));
    EXPECT_EQ(test::ReadFile(dir.File("bad\xFE.bin")), test::BytesOf("fe"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 2);
}
#endif

}  // namespace
}  // namespace fogbell
