// The main window's logic driven through a fake view, with the real staged plug-ins.
#include "host/app/main_core.h"
#include "host/app/ini_file.h"
#include "host/tracks/track_listing.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>

#include "afs_builder.h"
#include "byte_writer.h"
#include "fake_view.h"
#include "plugin_api.h"
#include "test_files.h"

namespace fogbell {
namespace {

using test::AfsBuilder;
using test::Bytes;
using test::Pattern;

class Core : public ::testing::Test {
  protected:
    void SetUp() override {
        paths.settingsFile = dir.File("ini.ini");
        paths.decoderDirectory = std::string(FOGBELL_STAGE_DIR) + "/decode_plugins";
        paths.explorerDirectory = std::string(FOGBELL_STAGE_DIR) + "/explore_plugins";
        core.Initialize(paths);
        std::filesystem::create_directory(dir.File("out"));
        view.saveDirectoryBox = dir.File("out");
    }

    std::string Save(const Bytes& bytes, const std::string& name) {
        test::WriteFile(dir.File(name), bytes);
        return dir.File(name);
    }

    // disk.afs holds "inner.afs" (which holds "deep.afs" with "song.bin") and two plain members.
    std::string NestedArchive() {
        const Bytes deep = AfsBuilder().Add("song.bin", Pattern(40, 7)).Build().bytes;
        const Bytes inner =
            AfsBuilder().Add("deep.afs", deep).Add("note.txt", Pattern(5, 8)).Build().bytes;
        return Save(AfsBuilder()
                        .Add("inner.afs", inner)
                        .Add("bgm01.bin", Pattern(100, 1))
                        .Add("../../escape.bin", Pattern(9, 2))
                        .Build()
                        .bytes,
                    "disk.afs");
    }

    void Extract(int command) {
        ASSERT_TRUE(core.OnCommand(command));
        core.WaitForWorkers();
        view.RunPosted();
    }

    test::TempDir dir;
    test::FakeView view;
    test::FakePlayback playback;
    MainCore core{view, playback};
    CorePaths paths;
};

TEST_F(Core, OpeningAContainerFillsTheListWithLengthAndKind) {
    const std::string path = NestedArchive();
    view.openFileAnswers.push_back(path);
    core.OpenContainerDialog();
    EXPECT_EQ(view.filters.back(), BuildOpenFilter(core.Host().ExplorerExtensions()));
    EXPECT_NE(view.filters.back().find("*.AFS"), std::string::npos);

    EXPECT_EQ(view.Column(kColumnName),
              (std::vector<std::string>{"inner.afs", "bgm01.bin", "../../escape.bin"}));
    EXPECT_EQ(view.Column(kColumnLength)[1], "100");
    EXPECT_EQ(view.Column(kColumnBitrate),
              (std::vector<std::string>{"..", "Unsupported", "Unsupported"}));
    EXPECT_EQ(view.countLabel, "Count files: 3");
    EXPECT_EQ(view.fileNameBox, path);
    EXPECT_EQ(core.LastFileName(), path);
    EXPECT_FALSE(view.IsButtonEnabled(ButtonId::kPreviousDirectory));
    EXPECT_FALSE(view.IsButtonEnabled(ButtonId::kPlay));
}

TEST_F(Core, AFailedOpenKeepsEverythingAsItWas) {
    ASSERT_TRUE(core.OpenContainerPath(NestedArchive()));
    EXPECT_FALSE(core.OpenContainerPath(Save(test::BytesOf("garbage"), "bad.afs")));
    EXPECT_EQ(view.Status(), "Is not AFS file.");
    EXPECT_FALSE(core.OpenContainerPath(dir.File("x.unknown")));
    EXPECT_EQ(view.Status(), "Format unsupported.");
    EXPECT_EQ(view.RowCount(), 3);
    EXPECT_EQ(view.fileNameBox, dir.File("disk.afs"));
    ASSERT_NE(core.CurrentContainer(), nullptr);
    view.openFileAnswers.push_back(std::nullopt);  // a cancelled dialog changes nothing
    core.OpenContainerDialog();
    EXPECT_EQ(view.RowCount(), 3);
}

TEST_F(Core, NestedContainersTwoLevelsDeepAndBack) {
    const std::string disk = NestedArchive();
    ASSERT_TRUE(core.OpenContainerPath(disk));
    view.Select({0});
    core.OnRowDoubleClick();
    EXPECT_EQ(view.Column(kColumnName), (std::vector<std::string>{"deep.afs", "note.txt"}));
    EXPECT_EQ(view.fileNameBox, disk +
                                    " \xE2\x80\xBA "
                                    "inner.afs");
    EXPECT_EQ(core.CurrentContainer()->path, "inner.afs");
    EXPECT_TRUE(view.IsButtonEnabled(ButtonId::kPreviousDirectory));
    EXPECT_EQ(view.playText, "");  // a double-click clears what Play starts

    view.Select({0});
    core.OnRowDoubleClick();
    EXPECT_EQ(view.Column(kColumnName), (std::vector<std::string>{"song.bin"}));
    EXPECT_EQ(view.fileNameBox, disk +
                                    " \xE2\x80\xBA "
                                    "inner.afs"
                                    " \xE2\x80\xBA "
                                    "deep.afs");
    EXPECT_EQ(core.NestingDepth(), 2u);

    core.GoToParentContainer();
    EXPECT_EQ(view.fileNameBox, disk +
                                    " \xE2\x80\xBA "
                                    "inner.afs");
    EXPECT_TRUE(view.IsButtonEnabled(ButtonId::kPreviousDirectory));
    core.GoToParentContainer();
    EXPECT_EQ(view.fileNameBox, disk);
    EXPECT_EQ(core.LastFileName(), disk);
    EXPECT_EQ(view.RowCount(), 3);
    EXPECT_FALSE(view.IsButtonEnabled(ButtonId::kPreviousDirectory));
    EXPECT_EQ(core.NestingDepth(), 0u);
    core.GoToParentContainer();  // nothing above the disk container
    EXPECT_EQ(view.fileNameBox, disk);
}

TEST_F(Core, TheFileNameIsTheAbsoluteFileAndTheChainInsideIt) {
    NestedArchive();
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    const bool opened = core.OpenContainerPath("disk.afs");  // relative to the working folder
    std::filesystem::current_path(previous);
    ASSERT_TRUE(opened);
    const std::string disk = dir.File("disk.afs");
    struct Step {
        int row;  // double-clicked, or -1: "Previous directory"
        const char* box;
        const char* chain;
    } steps[] = {
        {0, " \xE2\x80\xBA inner.afs", "::inner.afs"},
        {0, " \xE2\x80\xBA inner.afs \xE2\x80\xBA deep.afs", "::inner.afs::deep.afs"},
        {-1, " \xE2\x80\xBA inner.afs", "::inner.afs"},
    };
    EXPECT_EQ(view.fileNameBox, disk);  // made absolute when it was opened
    EXPECT_EQ(core.LastFileName(), disk);
    for (const Step& step : steps) {
        if (step.row >= 0) {
            view.Select({step.row});
            core.OnRowDoubleClick();
        } else {
            core.GoToParentContainer();
        }
        EXPECT_EQ(view.fileNameBox, disk + step.box);
        EXPECT_EQ(core.LastFileName(), disk + step.chain);
    }
    core.Shutdown();
    IniFile ini;
    ini.Load(dir.File("ini.ini"));
    EXPECT_EQ(ini.Get("General", "FileName"), disk + "::inner.afs");
    EXPECT_EQ(SplitChainPath(ini.Get("General", "FileName")),
              (std::vector<std::string>{disk, "inner.afs"}));
}

TEST_F(Core, ANestedNameCannotInjectKeys) {
    const Bytes inner = AfsBuilder().Add("x.bin", Pattern(4, 1)).Build().bytes;
    // A name from the archive's bytes, made to end the line and start a key of its own.
    ASSERT_TRUE(core.OpenContainerPath(
        Save(AfsBuilder().Add("e\r\nVolume=0\r\n.afs", inner).Build().bytes, "evil.afs")));
    view.Select({0});
    core.OnRowDoubleClick();
    ASSERT_EQ(core.NestingDepth(), 1u);
    core.Shutdown();
    IniFile ini;
    ini.Load(dir.File("ini.ini"));
    EXPECT_EQ(ini.Get("General", "FileName"), "");     // refused, and no stale name stands in
    EXPECT_EQ(ini.Get("General", "Volume"), "10000");  // the core's own value, not the name's
}

TEST_F(Core, AFailedNestedOpenLeavesTheParentOnTheStack) {
    Bytes broken(64, 0);
    broken[0] = 'A';  // not an archive, but its name says it is
    ASSERT_TRUE(core.OpenContainerPath(
        Save(AfsBuilder().Add("broken.afs", broken).Add("x.bin", Pattern(4, 1)).Build().bytes,
             "p.afs")));
    view.Select({0});
    core.OpenNestedContainer();
    EXPECT_EQ(view.Status(), "Is not AFS file.");
    EXPECT_EQ(core.CurrentContainer(), nullptr);
    EXPECT_EQ(view.RowCount(), 2);  // still the parent's rows
    EXPECT_EQ(view.fileNameBox, dir.File("p.afs") +
                                    " \xE2\x80\xBA "
                                    "broken.afs");
    EXPECT_TRUE(view.IsButtonEnabled(ButtonId::kPreviousDirectory));
    core.GoToParentContainer();
    ASSERT_NE(core.CurrentContainer(), nullptr);
    EXPECT_EQ(view.fileNameBox, dir.File("p.afs"));
    EXPECT_FALSE(view.IsButtonEnabled(ButtonId::kPreviousDirectory));
}

TEST_F(Core, OpeningAnotherContainerWhileNestedClosesEveryLevel) {
    ASSERT_TRUE(core.OpenContainerPath(NestedArchive()));
    view.Select({0});
    core.OnRowDoubleClick();
    ASSERT_EQ(core.NestingDepth(), 1u);
    ASSERT_TRUE(core.OpenContainerPath(
        Save(AfsBuilder().Add("one.bin", Pattern(3, 3)).Build().bytes, "other.afs")));
    EXPECT_EQ(core.NestingDepth(), 0u);
    EXPECT_FALSE(view.IsButtonEnabled(ButtonId::kPreviousDirectory));
    EXPECT_FALSE(view.IsButtonEnabled(ButtonId::kPlay));
    EXPECT_FALSE(view.IsButtonEnabled(ButtonId::kStop));
    EXPECT_EQ(view.countLabel, "Count files: 1");
}

TEST_F(Core, MenuItemsFollowTheSelection) {
    auto states = [&] {
        std::vector<bool> enabled;
        for (const MenuItem& item : core.TrackMenuItems()) {
            enabled.push_back(item.enabled);
        }
        return enabled;
    };
    // No container and no rows: everything off.
    EXPECT_EQ(states(), (std::vector<bool>{false, false, false, false}));
    ASSERT_TRUE(core.OpenContainerPath(NestedArchive()));
    const auto items = core.TrackMenuItems();
    EXPECT_EQ(items[0].text, "Extract...");
    EXPECT_EQ(items[1].text, "Save as wav..");
    EXPECT_EQ(items[2].text, "Replace file");
    EXPECT_EQ(items[3].text, "Extract all files...");
    EXPECT_EQ(states(), (std::vector<bool>{false, false, false, true}));
    view.Select({1});  // one row, no decoder for ".bin"
    EXPECT_EQ(states(), (std::vector<bool>{true, false, true, true}));
    view.Select({1, 2});  // two rows: saving is offered, replacing is not
    EXPECT_EQ(states(), (std::vector<bool>{true, true, false, true}));
}

TEST_F(Core, ExtractAllTakesEveryRowAndExtractOnlyTheSelected) {
    ASSERT_TRUE(core.OpenContainerPath(NestedArchive()));
    view.Select({1});
    Extract(kCommandExtract);
    EXPECT_EQ(test::ReadFile(dir.File("out/bgm01.bin")), Pattern(100, 1));
    EXPECT_FALSE(test::FileExists(dir.File("out/inner.afs")));
    const auto bar = view.BarOf(ProgressId::kExtract);
    EXPECT_EQ(bar.captions, (std::vector<std::string>{"1/1: bgm01.bin", "Extract done"}));
    EXPECT_EQ(bar.high, 1u);
    EXPECT_EQ(bar.position, 0u);

    std::filesystem::remove(dir.File("out/bgm01.bin"));
    Extract(kCommandExtractAll);
    EXPECT_TRUE(test::FileExists(dir.File("out/inner.afs")));
    EXPECT_EQ(test::ReadFile(dir.File("out/bgm01.bin")), Pattern(100, 1));
    // A name stored in the archive never leads outside the folder.
    EXPECT_EQ(test::ReadFile(dir.File("out/.._.._escape.bin")), Pattern(9, 2));
    EXPECT_FALSE(test::FileExists(dir.File("../escape.bin")));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.File("out")), {}), 3);
    EXPECT_EQ(view.BarOf(ProgressId::kExtract).captions.back(), "Extract done");
    EXPECT_TRUE(view.IsButtonEnabled(ButtonId::kOpenContainer));
}

TEST_F(Core, ExtractAllWritesEveryRowToAFileOfItsOwn) {
    // Stored names: two that become one safe name, a repeated one and an empty one.
    const char* stored[] = {"a:b.bin", "a?b.bin", "dup.bin", "dup.bin", ""};
    const char* files[] = {"a_b.bin", "a_b (2).bin", "dup.bin", "dup (2).bin", "00004.bin"};
    AfsBuilder builder;
    for (std::size_t i = 0; i < std::size(stored); ++i) {
        builder.Add(stored[i], Pattern(10 + i, static_cast<std::uint32_t>(i + 1)));
    }
    ASSERT_TRUE(core.OpenContainerPath(Save(builder.Build().bytes, "rows.afs")));
    Extract(kCommandExtractAll);
    EXPECT_EQ(view.BarOf(ProgressId::kExtract).captions.back(), "Extract done");
    for (std::size_t i = 0; i < std::size(files); ++i) {
        EXPECT_EQ(test::ReadFile(dir.File(std::string("out/") + files[i])),
                  Pattern(10 + i, static_cast<std::uint32_t>(i + 1)))
            << files[i];
    }
}

TEST_F(Core, FailedTracksAreCountedInTheStatusLine) {
    auto built =
        AfsBuilder().Add("good.bin", Pattern(10, 1)).Add("bad.bin", Pattern(10, 2)).Build();
    test::PutU32LE(built.bytes, AfsBuilder::PairOffset(1), 0xFFFFFF00u);  // outside the archive
    ASSERT_TRUE(core.OpenContainerPath(Save(built.bytes, "damaged.afs")));
    Extract(kCommandExtractAll);
    EXPECT_TRUE(test::FileExists(dir.File("out/good.bin")));
    EXPECT_EQ(view.BarOf(ProgressId::kExtract).caption, "Extract done");
    EXPECT_EQ(view.Status(),
              "Extract: 1 of 2 files failed. bad.bin: Damaged AFS file: bad.bin lies outside the "
              "archive.");
}

TEST_F(Core, AContainerCutShortSaysSoInTheStatusLineAndItsRows) {
    const auto built =
        AfsBuilder().Add("good.bin", Pattern(10, 1)).Add("cut.bin", Pattern(100, 2)).Build();
    const Bytes cut(built.bytes.begin(), built.bytes.begin() + built.offsets[1] + 50);
    const std::string path = Save(cut, "cut.afs");
    ASSERT_TRUE(core.OpenContainerPath(path));
    EXPECT_EQ(view.Status(), path + " is damaged: 1 of 2 tracks lies outside the file.");
    EXPECT_EQ(view.Column(kColumnLength), (std::vector<std::string>{"10", "100"}));
    EXPECT_EQ(view.Column(kColumnBitrate), (std::vector<std::string>{"Unsupported", "Damaged"}));
    ASSERT_TRUE(core.OpenContainerPath(NestedArchive()));  // a whole one says nothing
    EXPECT_EQ(view.Status(), "");                          // the notice went with its archive
}

TEST_F(Core, AMissingSaveDirectoryIsReportedNotSkipped) {
    ASSERT_TRUE(core.OpenContainerPath(NestedArchive()));
    view.Select({1});
    view.saveDirectoryBox = dir.File("missing");
    ASSERT_TRUE(core.OnCommand(kCommandExtract));
    EXPECT_EQ(core.RunningWorkers(), 0);
    EXPECT_EQ(view.Status(), "Directory for save not found: " + dir.File("missing"));
    view.saveDirectoryBox = "";
    ASSERT_TRUE(core.OnCommand(kCommandSaveWave));  // the folder asked for: cancelled
    EXPECT_EQ(view.Status(), "Select a directory for save first.");
    // A folder chosen then goes into the box, the command runs, and the status line is cleared.
    view.folderAnswers.push_back(dir.File("out"));
    Extract(kCommandExtract);
    EXPECT_EQ(view.saveDirectoryBox, dir.File("out"));
    EXPECT_TRUE(test::FileExists(dir.File("out/bgm01.bin")));
    EXPECT_EQ(view.Status(), "");
}

TEST_F(Core, ButtonsComeBackOnlyWhenTheLastWorkerEnds) {
    ASSERT_TRUE(core.OpenContainerPath(NestedArchive()));
    view.Select({0});
    core.OnRowDoubleClick();  // nested: "Previous directory" is on
    view.Select({0, 1});
    ASSERT_TRUE(core.OnCommand(kCommandExtract));
    ASSERT_TRUE(core.OnCommand(kCommandExtractAll));
    EXPECT_EQ(core.RunningWorkers(), 2);
    EXPECT_FALSE(view.IsButtonEnabled(ButtonId::kOpenContainer));
    EXPECT_FALSE(view.IsButtonEnabled(ButtonId::kPreviousDirectory));
    core.GoToParentContainer();  // refused while workers use the container
    EXPECT_EQ(core.NestingDepth(), 1u);
    core.WaitForWorkers();
    ASSERT_TRUE(view.RunOnePosted());
    EXPECT_FALSE(view.IsButtonEnabled(ButtonId::kOpenContainer));
    EXPECT_FALSE(view.IsButtonEnabled(ButtonId::kPreviousDirectory));
    ASSERT_TRUE(view.RunOnePosted());
    EXPECT_TRUE(view.IsButtonEnabled(ButtonId::kOpenContainer));
    EXPECT_TRUE(view.IsButtonEnabled(ButtonId::kPreviousDirectory));  // still nested
    EXPECT_TRUE(test::FileExists(dir.File("out/deep.afs")));
}

TEST_F(Core, ManyConcurrentWorkersOnOneContainer) {
    AfsBuilder builder;
    for (int i = 0; i < 40; ++i) {
        builder.Add("m" + std::to_string(i) + ".bin",
                    Pattern(200 + static_cast<std::size_t>(i), static_cast<std::uint32_t>(i)));
    }
    ASSERT_TRUE(core.OpenContainerPath(Save(builder.Build().bytes, "many.afs")));
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(core.OnCommand(kCommandExtractAll));
    }
    core.WaitForWorkers();
    view.RunPosted();
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(test::ReadFile(dir.File("out/m" + std::to_string(i) + ".bin")),
                  Pattern(200 + static_cast<std::size_t>(i), static_cast<std::uint32_t>(i)));
    }
    EXPECT_EQ(core.RunningWorkers(), 0);
}

TEST_F(Core, ShutdownWaitsForRunningWorkersBeforeClosing) {
    AfsBuilder builder;
    for (int i = 0; i < 200; ++i) {
        builder.Add("t" + std::to_string(i) + ".bin", Pattern(4096, static_cast<std::uint32_t>(i)));
    }
    ASSERT_TRUE(core.OpenContainerPath(Save(builder.Build().bytes, "big.afs")));
    ASSERT_TRUE(core.OnCommand(kCommandExtractAll));
    core.Shutdown();  // must not close the archive or unload the plug-in under the worker
    EXPECT_EQ(playback.shutdowns, 1);
    EXPECT_EQ(core.CurrentContainer(), nullptr);
    EXPECT_TRUE(core.Host().Explorers().empty());
}

// Runs the first task a worker posts, waiting for it up to a few seconds.
bool RunFirstPostedWhenItComes(test::FakeView& view) {
    for (int tries = 0; tries < 5000; ++tries) {
        if (view.RunOnePosted()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

TEST_F(Core, AWorkersThreadIsJoinedWhenItsEndReachesTheWindow) {
    ASSERT_TRUE(core.OpenContainerPath(NestedArchive()));
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(core.OnCommand(kCommandExtractAll));
        EXPECT_EQ(core.WorkerThreads(), 1u);
        ASSERT_TRUE(RunFirstPostedWhenItComes(view));
        // Reaped without WaitForWorkers: threads do not pile up until the program closes.
        EXPECT_EQ(core.WorkerThreads(), 0u);
        EXPECT_EQ(core.RunningWorkers(), 0);
        EXPECT_TRUE(view.IsButtonEnabled(ButtonId::kOpenContainer));
    }
    view.Select({1});
    ASSERT_TRUE(core.OnCommand(kCommandSaveWave));
    ASSERT_TRUE(RunFirstPostedWhenItComes(view));
    EXPECT_EQ(core.WorkerThreads(), 0u);
}

TEST_F(Core, AThreadThatCannotStartGivesTheButtonsBackAndSaysSo) {
    ASSERT_TRUE(core.OpenContainerPath(NestedArchive()));
    view.Select({0});
    core.OnRowDoubleClick();  // nested: "Previous directory" is on
    ASSERT_TRUE(view.IsButtonEnabled(ButtonId::kPreviousDirectory));
    int refused = 0;
    core.SetThreadStarter([&](std::function<void()>) -> std::thread {
        ++refused;
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    });
    view.Select({1});
    ASSERT_TRUE(core.OnCommand(kCommandExtract));
    EXPECT_EQ(refused, 1);
    EXPECT_EQ(view.Status(),
              "Extract: can't start a worker thread (" +
                  std::make_error_code(std::errc::resource_unavailable_try_again).message() + ").");
    EXPECT_EQ(core.RunningWorkers(), 0);
    EXPECT_EQ(core.WorkerThreads(), 0u);
    EXPECT_TRUE(view.IsButtonEnabled(ButtonId::kOpenContainer));
    EXPECT_TRUE(view.IsButtonEnabled(ButtonId::kPreviousDirectory));
    EXPECT_FALSE(view.RunOnePosted());
    EXPECT_FALSE(test::FileExists(dir.File("out/note.txt")));

    ASSERT_TRUE(core.OnCommand(kCommandSaveWave));
    EXPECT_EQ(view.Status().rfind("Save as wav: can't start a worker thread (", 0), 0u);
    EXPECT_TRUE(view.IsButtonEnabled(ButtonId::kOpenContainer));
    core.GoToParentContainer();  // nothing holds the container any more
    EXPECT_EQ(core.NestingDepth(), 0u);

    // With threads again, the same command runs.
    core.SetThreadStarter([](std::function<void()> body) { return std::thread(std::move(body)); });
    view.Select({1});
    Extract(kCommandExtract);
    EXPECT_EQ(test::ReadFile(dir.File("out/bgm01.bin")), Pattern(100, 1));
}

TEST(CoreLifetime, WorkerReportsPostedAfterTheCoreIsGoneAreDropped) {
    test::TempDir dir;
    test::FakeView view;
    test::FakePlayback playback;
    {
        MainCore core{view, playback};
        CorePaths paths;
        paths.settingsFile = dir.File("ini.ini");
        paths.decoderDirectory = std::string(FOGBELL_STAGE_DIR) + "/decode_plugins";
        paths.explorerDirectory = std::string(FOGBELL_STAGE_DIR) + "/explore_plugins";
        core.Initialize(paths);
        auto built = AfsBuilder().Add("x.bin", Pattern(8, 1)).Build();
        test::PutU32LE(built.bytes, AfsBuilder::PairOffset(0), 0xFFFFFF00u);  // fails to extract
        test::WriteFile(dir.File("a.afs"), built.bytes);
        ASSERT_TRUE(core.OpenContainerPath(dir.File("a.afs")));
        view.saveDirectoryBox = dir.Path().string();
        ASSERT_TRUE(core.OnCommand(kCommandExtractAll));
        core.WaitForWorkers();
    }  // destroyed with its worker's report (one failed track) still queued
    const std::size_t statuses = view.statuses.size();
    view.RunPosted();  // must not touch the destroyed core
    EXPECT_EQ(view.statuses.size(), statuses);
}

TEST_F(Core, ReplaceReportsSuccessAndTheExplorersText) {
    const std::string archive = NestedArchive();
    ASSERT_TRUE(core.OpenContainerPath(archive));
    view.Select({1});
    const std::string replacement = Save(Pattern(60, 9), "new.bin");
    view.openFileAnswers.push_back(replacement);
    ASSERT_TRUE(core.OnCommand(kCommandReplace));
    core.WaitForWorkers();  // the replacement is written on a worker
    view.RunPosted();
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].first, "File replaced.");
    EXPECT_EQ(view.messages[0].second, MessageIcon::kNone);  // a plain box, no icon
    EXPECT_EQ(view.Status(), "Replace OK");
    EXPECT_EQ(view.statusUnderMessage, (std::vector<std::string>{"Replace OK"}));
    // The dialog names the track, offers audio files first, and starts beside the archive.
    EXPECT_EQ(view.replaceTitles.back(), "Replace bgm01.bin");
    EXPECT_EQ(view.filters.back(),
              BuildOpenFilter(core.Host().DecoderExtensions()) + "All files (*.*)|*.*|");
    EXPECT_EQ(view.replaceFolders.back(), dir.Path().string());
    EXPECT_EQ(view.Column(kColumnLength)[1], "100");  // the row is not refreshed

    // Too long for the track's room: the user is asked first, and No writes nothing.
    const Bytes before = test::ReadFile(archive);
    const std::string tooLong = Save(Pattern(5000, 9), "long.bin");
    view.openFileAnswers.push_back(tooLong);
    core.ReplaceTrack();
    core.WaitForWorkers();
    view.RunPosted();
    EXPECT_EQ(view.questions.size(), 1u);
    EXPECT_EQ(view.Status(), "File not replaced: bgm01.bin keeps its old sound.");
    EXPECT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(test::ReadFile(archive), before);

    view.openFileAnswers.push_back(std::nullopt);  // cancelled: nothing happens
    const std::size_t statuses = view.statuses.size();
    core.ReplaceTrack();
    EXPECT_EQ(view.statuses.size(), statuses);

    // The next dialog starts where the last replacement came from, also after a restart.
    std::filesystem::create_directory(dir.File("edits"));
    view.openFileAnswers.push_back(Save(Pattern(60, 3), "edits/take2.bin"));
    core.ReplaceTrack();
    core.WaitForWorkers();
    view.RunPosted();
    core.ReplaceTrack();
    EXPECT_EQ(view.replaceFolders.back(), dir.File("edits"));
    core.Shutdown();
    IniFile ini;
    ini.Load(dir.File("ini.ini"));
    EXPECT_EQ(ini.Get("General", "ReplaceDir"), dir.File("edits"));
}

TEST_F(Core, ChooseSaveDirectoryPutsTheStoredFolderBackWhenCancelled) {
    view.folderAnswers.push_back(dir.File("chosen"));
    core.ChooseSaveDirectory();
    EXPECT_EQ(view.saveDirectoryBox, dir.File("chosen"));
    view.saveDirectoryBox = "typed but never used";
    view.folderAnswers.push_back(std::nullopt);
    core.ChooseSaveDirectory();
    EXPECT_EQ(view.saveDirectoryBox, dir.File("chosen"));
}

TEST_F(Core, PlayingATrackWithoutADecoderReportsIt) {
    ASSERT_TRUE(core.OpenContainerPath(NestedArchive()));
    view.Select({1});
    core.OnRowDoubleClick();
    EXPECT_EQ(view.Status(), "Format unsupported.");
    EXPECT_TRUE(playback.played.empty());
    // Play with no selection and an empty play text says what to do.
    view.Select({});
    core.StartPlayback();
    EXPECT_EQ(view.Status(), "Nothing to play: select a track in the list first.");
}

TEST_F(Core, PlayIsOnOnlyForARowThatPlaysOrOpensAndOpensAContainerRow) {
    ASSERT_TRUE(core.OpenContainerPath(NestedArchive()));
    EXPECT_FALSE(view.IsButtonEnabled(ButtonId::kPlay));  // nothing selected
    struct Case {
        int row;
        bool play;
    } cases[] = {{1, false}, {0, true}, {2, false}};  // bgm01.bin no plug-in reads; a container
    for (const Case& c : cases) {
        view.Select({c.row});
        core.UpdatePlayButton();  // as the window does after a user's selection
        EXPECT_EQ(view.IsButtonEnabled(ButtonId::kPlay), c.play) << c.row;
    }
    view.Select({0});
    core.StartPlayback();  // inner.afs opens, as on a double-click
    EXPECT_EQ(core.NestingDepth(), 1u);
    EXPECT_TRUE(playback.played.empty());
    EXPECT_FALSE(view.IsButtonEnabled(ButtonId::kPlay));  // the new list has no selection
}

TEST_F(Core, AnotherArchiveClearsTheStatusLineThePlayTextAndThePlayBar) {
    ASSERT_TRUE(core.OpenContainerPath(NestedArchive()));
    view.Select({1});
    core.OnRowDoubleClick();
    ASSERT_EQ(view.Status(), "Format unsupported.");
    view.playText = dir.File("alone.adx");  // as a single file opened earlier leaves it
    view.SetProgressCaption(ProgressId::kPlay, "alone.adx  0:03 / 0:10");
    ASSERT_TRUE(core.OpenContainerPath(Save(AfsBuilder().Add("a.bin", Pattern(4, 1)).Build().bytes,
                                            "other.afs")));
    EXPECT_EQ(view.Status(), "");
    EXPECT_EQ(view.playText, "");
    EXPECT_EQ(view.BarOf(ProgressId::kPlay).caption, kPlayBarIdle);
    EXPECT_FALSE(view.IsButtonEnabled(ButtonId::kPlay));
}

TEST_F(Core, SelectAllSelectsEveryRow) {
    ASSERT_TRUE(core.OpenContainerPath(NestedArchive()));
    core.SelectAll();
    EXPECT_EQ(core.CollectSelectedNames(), view.Column(kColumnName));
}

TEST_F(Core, CommandsOutsideTheTrackMenuGoElsewhere) {
    EXPECT_FALSE(core.OnCommand(1));
    EXPECT_TRUE(core.OnCommand(kCommandVolume, 7500));
    EXPECT_EQ(core.Volume(), 7500);
    EXPECT_EQ(playback.volumes.back(), -2500);
    EXPECT_TRUE(core.OnCommand(kCommandEndOfStream));
    EXPECT_EQ(playback.stops, 1);
    EXPECT_FALSE(view.IsButtonEnabled(ButtonId::kPlay));  // nothing to play again
    EXPECT_FALSE(view.IsButtonEnabled(ButtonId::kStop));
}

}  // namespace
}  // namespace fogbell

namespace fogbell {
namespace {

// The real AFS explorer with decoders that cannot tell their format or refuse memory.
TEST(CoreWithOddDecoders, BitrateCellSaysUnknownOrStaysEmpty) {
    test::TempDir dir;
    test::FakeView view;
    test::FakePlayback playback;
    MainCore core{view, playback};
    CorePaths paths;
    paths.settingsFile = dir.File("ini.ini");
    paths.decoderDirectory = std::string(MIXED_SET_DIR) + "/decode_plugins";
    paths.explorerDirectory = std::string(MIXED_SET_DIR) + "/explore_plugins";
    core.Initialize(paths);
    const std::string archive = dir.File("odd.afs");
    test::WriteFile(archive, test::AfsBuilder()
                                 .Add("a.unk", test::Pattern(8, 1))
                                 .Add("b.ref", test::Pattern(8, 2))
                                 .Add("empty.unk", {})
                                 .Build()
                                 .bytes);
    ASSERT_TRUE(core.OpenContainerPath(archive));
    EXPECT_EQ(view.Column(kColumnBitrate), (std::vector<std::string>{"Unknown", "", ""}));
}

TEST(TrackRows, TypedValuesFollowTheCells) {
    test::TempDir dir;
    PluginHost host;
    host.LoadDecoderPlugins(std::string(MIXED_SET_DIR) + "/decode_plugins");
    host.LoadExplorerPlugins(std::string(MIXED_SET_DIR) + "/explore_plugins");
    const std::string archive = dir.File("odd.afs");
    test::WriteFile(archive, test::AfsBuilder()
                                 .Add("a.unk", test::Pattern(8, 1))
                                 .Add("b.ref", test::Pattern(7, 2))
                                 .Add("empty.unk", {})
                                 .Add("empty.bin", {})
                                 .Add("inner.afs", test::AfsBuilder().Build().bytes)
                                 .Add("c.bin", test::Pattern(3, 3))
                                 .Build()
                                 .bytes);
    std::string error;
    ExplorerSessionPtr container = host.OpenContainer(archive, nullptr, 0, error);
    ASSERT_TRUE(container) << error;
    const auto rows = ListTracks(host, *container);
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 6u);
    const std::vector<TrackKind> kinds = {TrackKind::kAudio,     TrackKind::kUnknown,
                                          TrackKind::kUnknown,   TrackKind::kUnsupported,
                                          TrackKind::kContainer, TrackKind::kUnsupported};
    for (std::size_t i = 0; i < rows->size(); ++i) {
        const TrackRow& row = (*rows)[i];
        EXPECT_EQ(row.kind, kinds[i]) << row.name;
        ASSERT_TRUE(row.lengthValue) << row.name;
        EXPECT_EQ(row.length, std::to_string(*row.lengthValue));
        EXPECT_EQ(row.rate, 0u);  // the fake decoder names no format ("Unknown")
    }
    EXPECT_EQ(*(*rows)[1].lengthValue, 7u);
    EXPECT_STREQ(LengthUnit(container->AsExplorer()), "bytes");
    CloseOpenedFile(container);
}

}  // namespace
}  // namespace fogbell
