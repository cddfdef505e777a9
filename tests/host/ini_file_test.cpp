#include "host/core/ini_file.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace fogbell
