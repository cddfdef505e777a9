// fogbell-cli with a plug-in in the wrong folder: a copy of the AFS explorer among the decoders
// is left out, with the reason, instead of being called as a decoder.
#include <gtest/gtest.h>

#include <filesystem>

#include "afs_builder.h"
#include "byte_writer.h"
#include "host/plugins/dynamic_library.h"
#include "plugin_api.h"
#include "run_program.h"
#include "test_files.h"

namespace fogbell::test {
namespace {

namespace fs = std::filesystem;

// A plug-in root holding the AFS explorer in both folders.
class MisplacedExplorer : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string library = std::string("afsvault") + DynamicLibrary::Suffix();
        for (const char* folder : {"explore_plugins", "decode_plugins"}) {
            fs::create_directory(root.Path() / folder);
            fs::copy_file(PathFromUtf8(PluginPath("explore", "afsvault")),
                          root.Path() / folder / library);
        }
        misplaced = Utf8FromPath(root.Path() / "decode_plugins" / library);
    }
    ProgramResult Run(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--plugins", Utf8FromPath(root.Path())});
        return RunProgram(CliPath(), arguments);
    }
    TempDir root;
    std::string misplaced;
};

TEST_F(MisplacedExplorer, FormatsBindsItOnlyAsAnExplorerAndNamesTheCopyLeftOut) {
    const ProgramResult r = Run({"formats"});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    const std::string bound = Utf8FromPath(root.Path() / "explore_plugins" /
                                           (std::string("afsvault") + DynamicLibrary::Suffix()));
    EXPECT_EQ(r.out, "explorer\tafsvault\tAFS\t" + bound + "\n");
    EXPECT_EQ(r.err, "fogbell-cli: left out " + misplaced +
                         ": it exports fnGetListFiles, fnGetFilePointer, fnExtractFile, "
                         "fnGetLengthFile, fnReplaceFile, fnReplaceFileMemory, fnGetRoomFile, "
                         "fnRebuildFile, fnReplaceFiles, fnRebuildFiles, fnGetDamagedCount, "
                         "fnIsTrackDamaged, fnGetLayout, "
                         "fnPackFiles, fnGetTrackOffset, fnReplaceFilesWithin, which only "
                         "explorers have: it belongs in "
                         "explore_plugins\n");
}

TEST_F(MisplacedExplorer, AnArchiveStillListsThroughTheExplorer) {
    const std::string box = root.File("box.afs");
    WriteFile(box, AfsBuilder().Add("a.bin", Pattern(10, 1)).Build().bytes);
    const ProgramResult r = Run({"list", box});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out, "a.bin\t10\tUnsupported\n");
}

}  // namespace
}  // namespace fogbell::test
