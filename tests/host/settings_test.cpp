// Settings read at start and written at the end, through the core and a fake view.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/resource.h>
#endif

#include <csignal>
#include <filesystem>

#include "fake_view.h"
#include "host/app/ini_file.h"
#include "host/app/main_core.h"
#include "host/system/native_path.h"
#include "test_files.h"

namespace fogbell {
namespace {

class Settings : public ::testing::Test {
  protected:
    CorePaths Paths() const {
        CorePaths paths;
        paths.settingsFile = dir.File("ini.ini");
        paths.decoderDirectory = dir.File("none");
        paths.explorerDirectory = dir.File("none");
        return paths;
    }
    std::string Saved(const char* key) const {
        IniFile ini;
        ini.Load(dir.File("ini.ini"));
        return ini.Get("General", key);
    }
    test::TempDir dir;
    test::FakeView view;
    test::FakePlayback playback;
};

TEST_F(Settings, NoFileGivesClearChecksAnEmptyFolderAndFullVolume) {
    MainCore core(view, playback);
    core.Initialize(Paths());
    EXPECT_FALSE(view.IsChecked(CheckId::kAlwaysOnTop));
    EXPECT_FALSE(view.IsChecked(CheckId::kLoopSound));
    EXPECT_FALSE(view.topMost);
    EXPECT_EQ(core.SaveDirectory(), "");
    EXPECT_EQ(core.LastFileName(), "");
    EXPECT_EQ(core.Volume(), 10000);  // a missing key is full volume: the first track is heard
    EXPECT_EQ(view.slider, 10000);
    EXPECT_FALSE(view.IsButtonEnabled(ButtonId::kPreviousDirectory));
    EXPECT_FALSE(view.IsButtonEnabled(ButtonId::kPlay));
    EXPECT_FALSE(view.IsButtonEnabled(ButtonId::kStop));
    core.Shutdown();
    EXPECT_EQ(Saved("FileName"), "");
    EXPECT_EQ(Saved("Top"), "0");
    EXPECT_EQ(Saved("LoopAix"), "0");
    EXPECT_EQ(Saved("Volume"), "10000");
}

TEST_F(Settings, StoredValuesComeBackAndAreWrittenAgain) {
    test::WriteFile(dir.File("ini.ini"),
                    test::BytesOf("[General]\r\nTop=1\r\nLoopAix=1\r\nVolume=7000\r\n"
                                  "SaveDir=/music/out\r\nFileName=/music/a.afs\r\n"));
    MainCore core(view, playback);
    core.Initialize(Paths());
    EXPECT_TRUE(view.IsChecked(CheckId::kAlwaysOnTop));
    EXPECT_TRUE(view.topMost);
    EXPECT_TRUE(view.IsChecked(CheckId::kLoopSound));
    EXPECT_EQ(core.Volume(), 7000);
    EXPECT_EQ(view.slider, 7000);
    EXPECT_EQ(view.saveDirectoryBox, "/music/out");
    EXPECT_EQ(core.LastFileName(), "/music/a.afs");

    view.SetCheck(CheckId::kLoopSound, false);
    view.saveDirectoryBox = "/typed/never/used";
    core.OnCommand(kCommandVolume, 9000);
    core.Shutdown();
    EXPECT_EQ(Saved("Top"), "1");
    EXPECT_EQ(Saved("LoopAix"), "0");
    EXPECT_EQ(Saved("Volume"), "9000");
    EXPECT_EQ(Saved("SaveDir"), "/typed/never/used");
    // No container was opened: the file name is written empty, whatever was stored.
    EXPECT_EQ(Saved("FileName"), "");
}

TEST_F(Settings, AVolumeOutsideTheRangeIsHeldToTheSlidersRange) {
    struct Case {
        const char* stored;
        std::int32_t volume;
        const char* saved;
    };
    for (const Case& c :
         {Case{"12000", 10000, "10000"}, Case{"0", 5000, "5000"}, Case{"-3", 5000, "5000"},
          Case{"4294967295", 5000, "5000"}, Case{"7500", 7500, "7500"}}) {
        SCOPED_TRACE(c.stored);
        test::WriteFile(dir.File("ini.ini"), test::BytesOf(std::string("[General]\r\nVolume=") +
                                                           c.stored + "\r\nTop=abc\r\n"));
        MainCore core(view, playback);
        core.Initialize(Paths());
        EXPECT_EQ(core.Volume(), c.volume);
        EXPECT_EQ(view.slider, c.volume);
        EXPECT_FALSE(view.IsChecked(CheckId::kAlwaysOnTop));  // not a number reads as 0
        core.OnCommand(kCommandVolume, 20000);                // a slider never reports more
        EXPECT_EQ(playback.volumes.back(), 0);
        core.OnCommand(kCommandVolume, c.volume);
        core.Shutdown();
        EXPECT_EQ(Saved("Volume"), c.saved);  // written back in its "%u" form
    }
}

TEST_F(Settings, RowsOrABoxTextWithoutAContainerWriteNoFileName) {
    test::WriteFile(dir.File("ini.ini"), test::BytesOf("[General]\r\nFileName=/old/x.afs\r\n"));
    MainCore core(view, playback);
    core.Initialize(Paths());
    EXPECT_EQ(core.LastFileName(), "/old/x.afs");
    std::vector<TrackRow> rows(2);
    rows[0].name = "Track 0.aixf";
    rows[1].name = "Track 1.aixf";
    core.Tracks().Reset(rows);
    view.fileNameBox = "Track 0.aixf";
    core.Shutdown();
    EXPECT_EQ(Saved("FileName"), "");  // the file is what was opened, never a row or a text
}

TEST_F(Settings, ATrackNameWithLineBreaksCannotInjectKeys) {
    test::WriteFile(dir.File("ini.ini"),
                    test::BytesOf("; mine\r\n[General]\r\nVolume=7000\r\n[Other]\r\nA=b\r\n"));
    MainCore core(view, playback);
    core.Initialize(Paths());
    // A folder typed into the box, made to end the line and start a key of its own (track names
    // reach FileName only through an open container: Core.ANestedNameCannotInjectKeys).
    view.saveDirectoryBox = "/out\nTop=1";
    core.Shutdown();
    EXPECT_EQ(Saved("Volume"), "7000");
    EXPECT_EQ(Saved("Top"), "0");
    EXPECT_EQ(Saved("FileName"), "");  // refused, and no stale name stands in for it
    EXPECT_EQ(Saved("SaveDir"), "");
    IniFile ini;
    ini.Load(dir.File("ini.ini"));
    EXPECT_EQ(ini.Get("Other", "A"), "b");
    const test::Bytes text = test::ReadFile(dir.File("ini.ini"));
    EXPECT_EQ(std::string(text.begin(), text.end()).rfind("; mine\r\n[General]\r\n", 0), 0u);
}

TEST_F(Settings, OrdinaryNamesOfAnyBytesComeBackAsTheyWereWritten) {
    const std::string name = " \"Track 1\" caf\xC3\xA9 \xFF.aixf ";
    {
        // The file as a run that had a container of this name open wrote it.
        IniFile ini;
        ASSERT_TRUE(ini.Set("General", "FileName", name));
        ASSERT_TRUE(ini.Save(dir.File("ini.ini")));
    }
    {
        MainCore core(view, playback);
        core.Initialize(Paths());
        EXPECT_EQ(core.LastFileName(), name);
        view.saveDirectoryBox = "/music/out dir ";
        core.Shutdown();
    }
    test::FakeView again;
    test::FakePlayback againPlayback;
    MainCore core(again, againPlayback);
    core.Initialize(Paths());
    EXPECT_EQ(core.SaveDirectory(), "/music/out dir ");
    EXPECT_EQ(again.saveDirectoryBox, "/music/out dir ");
}

TEST_F(Settings, AFailedWriteAtTheEndLeavesTheOldSettingsWhole) {
    const test::Bytes old = test::BytesOf(
        "; notes kept by hand\r\n[General]\r\nTop=1\r\nSaveDir=/keep\r\n[Mine]\r\nK=v\r\n");
    test::WriteFile(dir.File("ini.ini"), old);
    MainCore core(view, playback);
    core.Initialize(Paths());
#if defined(_WIN32)
    GTEST_SKIP() << "Windows has no per-process file size limit to cut the write short";
#else
    // Files may grow to 16 bytes only: the write fails half-way, as on a full disk.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 16;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    core.Shutdown();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
#endif
    EXPECT_EQ(test::ReadFile(dir.File("ini.ini")), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

// The same path, whichever separators its text uses.
bool SamePath(const std::string& a, const std::string& b) {
    return PathFromUtf8(a).lexically_normal() == PathFromUtf8(b).lexically_normal();
}

TEST(SettingsPath, BesideTheProgramOrInTheUsersFolderWhenThatIsNotWritable) {
    test::TempDir dir;
    const CorePaths beside = PathsFor(dir.Path().string());
    EXPECT_TRUE(SamePath(beside.settingsFile, dir.File("ini.ini"))) << beside.settingsFile;
    EXPECT_TRUE(SamePath(beside.decoderDirectory, dir.File("decode_plugins")));
    EXPECT_TRUE(SamePath(beside.explorerDirectory, dir.File("explore_plugins")));
    const CorePaths elsewhere = PathsFor(dir.File("missing"));  // nothing can be written there
#if defined(_WIN32)
    // The user's application data folder, as Windows programs keep their settings.
    const wchar_t* appData = _wgetenv(L"APPDATA");
    ASSERT_NE(appData, nullptr);
    EXPECT_TRUE(SamePath(elsewhere.settingsFile, Utf8FromWide(appData) + "\\Fogbell\\ini.ini"))
        << elsewhere.settingsFile;
#else
    EXPECT_NE(elsewhere.settingsFile.find("fogbell/ini.ini"), std::string::npos);
#endif
}

}  // namespace
}  // namespace fogbell
