// Files and folders at paths of any length (host/system/system_files.h): the operations on a
// folder deeper than the classic Windows path limit, and on Windows the path form that makes
// that work, case by case.
#include "host/system/system_files.h"

#if defined(_WIN32)
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "byte_writer.h"
#include "host/system/native_path.h"
#include "test_files.h"
#include "text/windows_path.h"

namespace fogbell {
namespace {

// A folder more than 300 characters below base.
std::string DeepFolder(const std::string& base) {
    std::string folder = base;
    for (int level = 0; level < 4; ++level) {
        std::string made, why;
        EXPECT_TRUE(MakeFreshFolder(folder + "/" + std::string(80, 'f'), made, why)) << why;
        folder = made;
    }
    return folder;
}

TEST(SystemFiles, FilesAndFoldersDeeperThanThePathLimitAreFoundSizedListedAndRemoved) {
    test::TempDir dir;
    const std::string deep = DeepFolder(Utf8FromPath(dir.Path()));
    ASSERT_GT(deep.size(), 320u);
    const std::string file = deep + "/caf\xC3\xA9.bin";
    test::WriteFile(file, test::Pattern(1234, 1));
    std::string inner, why;
    ASSERT_TRUE(MakeFreshFolder(deep + "/inner-", inner, why)) << why;
    test::WriteFile(inner + "/x.bin", test::Pattern(5, 2));

    EXPECT_TRUE(IsFolder(deep));
    EXPECT_FALSE(IsFolder(file));
    EXPECT_TRUE(NameTaken(file));
    EXPECT_FALSE(NameTaken(deep + "/missing"));
    std::uint64_t size = 0;
    EXPECT_TRUE(SizeOfFile(file, size));
    EXPECT_EQ(size, 1234u);
    EXPECT_FALSE(SizeOfFile(deep + "/missing", size));
    std::vector<std::string> names = FolderNames(deep);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"caf\xC3\xA9.bin",
                                               Utf8FromPath(PathFromUtf8(inner).filename())}));

    std::string resolved;
    ASSERT_TRUE(ResolvedPath(file, resolved, why)) << why;
    EXPECT_EQ(test::ReadFile(resolved), test::Pattern(1234, 1));
    EXPECT_FALSE(ResolvedPath(deep + "/missing", resolved, why));
    EXPECT_FALSE(why.empty());

    EXPECT_FALSE(RemovePath(inner));  // not empty
    RemoveTree(inner);
    EXPECT_FALSE(NameTaken(inner));
    EXPECT_TRUE(RemovePath(file));
    EXPECT_FALSE(RemovePath(file));
    EXPECT_TRUE(FolderNames(deep).empty());
}

#if defined(_WIN32)
TEST(SystemFiles, WindowsPathsTakeTheExtendedFormMadeAbsoluteAndResolved) {
    std::wstring here(32768, L'\0');
    here.resize(GetCurrentDirectoryW(32768, here.data()));
    if (!here.empty() && here.back() == L'\\') {
        here.pop_back();
    }
    const std::string longName(300, 'n');
    const std::wstring wideLongName(300, L'n');
    const struct {
        std::string path;
        std::wstring system;
    } cases[] = {
        {"C:\\a\\b.afs", L"\\\\?\\C:\\a\\b.afs"},
        {"C:/a/b.afs", L"\\\\?\\C:\\a\\b.afs"},
        {"C:\\a\\.\\b\\..\\c.afs", L"\\\\?\\C:\\a\\c.afs"},
        {"C:/a/b/../../c/./d.afs", L"\\\\?\\C:\\c\\d.afs"},
        {"\\\\server\\share\\x.afs", L"\\\\?\\UNC\\server\\share\\x.afs"},
        {"//server/share/dir/../x.afs", L"\\\\?\\UNC\\server\\share\\x.afs"},
        {"\\\\?\\C:\\kept\\as\\it\\is", L"\\\\?\\C:\\kept\\as\\it\\is"},
        {"\\\\.\\pipe\\fogbell", L"\\\\.\\pipe\\fogbell"},
        {"C:/caf\xC3\xA9/\xF0\x9F\x94\x94.wav", L"\\\\?\\C:\\caf\u00E9\\\U0001F514.wav"},
        {"C:/" + longName + "/z.afs", L"\\\\?\\C:\\" + wideLongName + L"\\z.afs"},
        {"x/y.afs", L"\\\\?\\" + here + L"\\x\\y.afs"},
        {"", L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SystemWidePath(c.path), c.system) << c.path;
    }
}
#endif

}  // namespace
}  // namespace fogbell
