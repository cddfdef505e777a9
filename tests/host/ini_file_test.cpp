#include "host/app/ini_file.h"

#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <csignal>
#include <filesystem>

#include "test_files.h"

namespace fogbell {
namespace {

TEST(IniFile, ReadsKeysOfTheirSectionWithoutRegardToCase) {
    test::TempDir dir;
    test::WriteFile(dir.File("ini.ini"),
                    test::BytesOf("; comment\r\n[Other]\r\nVolume=1\r\n[general]\r\n"
                                  "  volume = 7000 \r\nSaveDir=\"/tmp/out dir\"\r\nEmpty=\r\n"));
    IniFile ini;
    ASSERT_TRUE(ini.Load(dir.File("ini.ini")));
    EXPECT_EQ(ini.Get("General", "Volume"), "7000");
    EXPECT_EQ(ini.Get("GENERAL", "SaveDir"), "/tmp/out dir");
    EXPECT_EQ(ini.Get("General", "Empty"), "");
    EXPECT_EQ(ini.Get("General", "Missing"), "");
    EXPECT_EQ(ini.Get("Other", "Volume"), "1");
    EXPECT_EQ(ini.Get("Missing", "Volume"), "");
}

TEST(IniFile, WritesInPlaceAndKeepsEverythingElse) {
    test::TempDir dir;
    const std::string path = dir.File("ini.ini");
    test::WriteFile(path, test::BytesOf("; keep me\n[General]\nTop=0\nCustom=x\n\n[Other]\nA=b\n"));
    IniFile ini;
    ASSERT_TRUE(ini.Load(path));
    ini.Set("General", "Top", "1");
    ini.Set("General", "Volume", "8000");
    ini.Set("New", "Key", "v");
    ASSERT_TRUE(ini.Save(path));
    EXPECT_EQ(test::ReadFile(path),
              test::BytesOf("; keep me\r\n[General]\r\nTop=1\r\nCustom=x\r\nVolume=8000\r\n\r\n"
                            "[Other]\r\nA=b\r\n[New]\r\nKey=v\r\n"));
}

TEST(IniFile, AMissingFileReadsEmptyAndIsCreatedOnSave) {
    test::TempDir dir;
    IniFile ini;
    EXPECT_FALSE(ini.Load(dir.File("none.ini")));
    EXPECT_EQ(ini.Get("General", "Top"), "");
    ini.Set("General", "Top", "0");
    ASSERT_TRUE(ini.Save(dir.File("none.ini")));
    EXPECT_EQ(test::ReadFile(dir.File("none.ini")), test::BytesOf("[General]\r\nTop=0\r\n"));
    EXPECT_FALSE(ini.Save(dir.File("no/such/dir/ini.ini")));
}

// Every file in the directory, by name.
std::vector<std::string> Listing(const test::TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

struct StoredCase {
    std::string value;
    std::string line;  // as the file holds it
};

TEST(IniFile, EveryStorableValueReadsBackAsItWasSet) {
    const std::vector<StoredCase> cases = {
        {"/music/a.afs", "FileName=/music/a.afs"},  // ordinary values are stored as they are
        {"Track 0.aixf", "FileName=Track 0.aixf"},
        {"", "FileName="},
        {"a=b;c [d]", "FileName=a=b;c [d]"},
        {"caf\xC3\xA9 \xFF\x85", "FileName=caf\xC3\xA9 \xFF\x85"},  // any byte above 0x7F
        {"\"", "FileName=\""},
        {"'half", "FileName='half"},
        {" lead", "FileName=\" lead\""},  // blanks at the ends would be trimmed
        {"trail ", "FileName=\"trail \""},
        {"\"quoted\"", "FileName=\"\"quoted\"\""},  // a quote pair would be taken off
        {"'single'", "FileName=\"'single'\""},
    };
    for (const StoredCase& c : cases) {
        test::TempDir dir;
        const std::string path = dir.File("ini.ini");
        IniFile ini;
        ASSERT_TRUE(ini.Set("General", "FileName", c.value)) << c.value;
        ASSERT_TRUE(ini.Save(path));
        EXPECT_EQ(test::ReadFile(path), test::BytesOf("[General]\r\n" + c.line + "\r\n"))
            << c.value;
        IniFile back;
        ASSERT_TRUE(back.Load(path));
        EXPECT_EQ(back.Get("General", "FileName"), c.value);
    }
}

TEST(IniFile, ALineBreakOrOtherControlByteCannotForgeKeys) {
    test::TempDir dir;
    const std::string path = dir.File("ini.ini");
    test::WriteFile(path, test::BytesOf("[General]\r\nVolume=7000\r\nFileName=old\r\n"));
    IniFile ini;
    ASSERT_TRUE(ini.Load(path));
    for (const std::string& value :
         {std::string("x\r\nVolume=0"), std::string("x\nVolume=0"), std::string("x\rVolume=0"),
          std::string("a\tb"), std::string("a\x0B\x0C"), std::string("a\x1E"), std::string("a\x7F"),
          std::string("a\0b", 3), std::string("\n[Other]\nKey=1")}) {
        EXPECT_FALSE(ini.Set("General", "FileName", value));
        EXPECT_FALSE(IniFile::CanStore(value));
    }
    EXPECT_FALSE(ini.Set("General\n[X]", "Key", "v"));  // names are checked too
    EXPECT_FALSE(ini.Set("General", "Key\nVolume", "v"));
    EXPECT_FALSE(ini.Set("General", "Key=Volume", "v"));
    EXPECT_FALSE(ini.Set("", "Key", "v"));
    ASSERT_TRUE(ini.Save(path));
    EXPECT_EQ(test::ReadFile(path), test::BytesOf("[General]\r\nVolume=7000\r\nFileName=old\r\n"));
}

TEST(IniFile, AFailedRenameLeavesTheOldFileAndNoTemporaryFile) {
    test::TempDir dir;
    // A folder in the file's place: the new file cannot be renamed over it.
    std::filesystem::create_directories(dir.File("ini.ini/inside"));
    IniFile ini;
    ini.Set("General", "Top", "1");
    EXPECT_FALSE(ini.Save(dir.File("ini.ini")));
    EXPECT_EQ(Listing(dir), (std::vector<std::string>{"ini.ini"}));
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("ini.ini/inside")));
}

TEST(IniFile, AWriteCutShortLeavesTheOldFileWhole) {
    test::TempDir dir;
    const std::string path = dir.File("ini.ini");
    const test::Bytes old =
        test::BytesOf("; my notes\r\n[General]\r\nSaveDir=/music/out\r\n[Mine]\r\nK=v\r\n");
    test::WriteFile(path, old);
    IniFile ini;
    ASSERT_TRUE(ini.Load(path));
    ini.Set("General", "FileName", std::string(4096, 'n'));

#if defined(_WIN32)
    GTEST_SKIP() << "Windows has no per-process file size limit to cut the write short";
#else
    // Files of this process may grow to 64 bytes only: the write fails half-way, as on a full
    // disk. (Running as root, a read-only folder would not stop it.)
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved_ok = ini.Save(path);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(saved_ok);
    EXPECT_EQ(test::ReadFile(path), old);
    EXPECT_EQ(Listing(dir), (std::vector<std::string>{"ini.ini"}));
    ASSERT_TRUE(ini.Save(path));  // once there is room again it goes through
    IniFile back;
    ASSERT_TRUE(back.Load(path));
    EXPECT_EQ(back.Get("General", "FileName"), std::string(4096, 'n'));
    EXPECT_EQ(back.Get("Mine", "K"), "v");
#endif
}

TEST(IniFile, AReadOnlyFileIsNotReplaced) {
#if !defined(_WIN32)
    if (geteuid() == 0) {
        GTEST_SKIP() << "root may write any file";
    }
#endif
    test::TempDir dir;
    const std::string path = dir.File("ini.ini");
    test::WriteFile(path, test::BytesOf("[General]\r\nTop=0\r\n"));
    // Read-only for everyone (on Windows: the file's read-only attribute).
    namespace fs = std::filesystem;
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    IniFile ini;
    ASSERT_TRUE(ini.Load(path));
    ini.Set("General", "Top", "1");
    EXPECT_FALSE(ini.Save(path));
    EXPECT_EQ(test::ReadFile(path), test::BytesOf("[General]\r\nTop=0\r\n"));
    EXPECT_EQ(Listing(dir), (std::vector<std::string>{"ini.ini"}));
}

TEST(IniFile, SavingKeepsTheFilesPermissionsAndASymbolicLink) {
#if defined(_WIN32)
    GTEST_SKIP() << "symbolic links and POSIX permission bits are not Windows' own";
#else
    test::TempDir dir;
    std::filesystem::create_directory(dir.File("real"));
    const std::string real = dir.File("real/settings.ini");
    test::WriteFile(real, test::BytesOf("[General]\r\nTop=0\r\n"));
    ASSERT_EQ(chmod(real.c_str(), 0640), 0);
    std::filesystem::create_symlink(real, dir.File("ini.ini"));
    IniFile ini;
    ASSERT_TRUE(ini.Load(dir.File("ini.ini")));
    ini.Set("General", "Top", "1");
    ASSERT_TRUE(ini.Save(dir.File("ini.ini")));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("ini.ini")));
    EXPECT_EQ(test::ReadFile(real), test::BytesOf("[General]\r\nTop=1\r\n"));
    struct stat info {};
    ASSERT_EQ(stat(real.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.File("real")), {}), 1);
#endif
}

}  // namespace
}  // namespace fogbell
