// Binding and routing rules of the plug-in host, with stand-in plug-ins.
#include "host/plugins/plugin_host.h"

#include <gtest/gtest.h>

#include <map>

#include "text/packed_names.h"

namespace fogbell {
namespace {

// A library's file name with the platform's ending.
std::string Lib(const std::string& name) {
    return name + DynamicLibrary::Suffix();
}

class Rules : public ::testing::Test {
  protected:
    void SetUp() override {
        host.LoadDecoderPlugins(std::string(FAKE_SET_DIR) + "/decode_plugins");
        host.LoadExplorerPlugins(std::string(FAKE_SET_DIR) + "/explore_plugins");
    }
    PluginHost host;
};

std::string LibraryFileName(const PluginRecord& plugin) {
    return plugin.libraryPath.substr(plugin.libraryPath.find_last_of("/\\") + 1);
}

TEST_F(Rules, BindsLibrariesWithTheirRequiredExportsAndSkipsTheRest) {
    std::vector<std::string> decoders, explorers;
    for (const auto& d : host.Decoders()) {
        decoders.push_back(LibraryFileName(*d));
    }
    for (const auto& e : host.Explorers()) {
        explorers.push_back(LibraryFileName(*e));
    }
    // junk (with the library ending) is no library; g_lacks_extract lacks a required export.
    EXPECT_EQ(decoders, (std::vector<std::string>{Lib("a_first_adx"), Lib("b_second_adx"),
                                                  Lib("c_no_list"), Lib("d_refuses")}));
    EXPECT_EQ(explorers,
              (std::vector<std::string>{Lib("e_minimal"), Lib("f_empty_list"), Lib("h_opens")}));
    EXPECT_EQ(host.DecoderExtensions(), (std::vector<std::string>{"ADX", "adx", "WAV", "XYZ"}));
    EXPECT_EQ(host.ExplorerExtensions(), (std::vector<std::string>{"FAK", "OPN"}));
    const ExplorerPlugin& minimal = *host.Explorers()[0];
    EXPECT_FALSE(minimal.HasLengths());
    EXPECT_FALSE(minimal.HasErrorText());
    EXPECT_FALSE(minimal.CanReplace());
    EXPECT_EQ(host.Decoders()[2]->extensionList, nullptr);
}

TEST_F(Rules, LibrariesThatDoNotFitTheirFolderAreLeftOutWithTheReason) {
    std::map<std::string, std::string> reasons;
    for (const LeftOutLibrary& library : host.LeftOut()) {
        reasons[library.path.substr(library.path.find_last_of("/\\") + 1)] = library.reason;
    }
    EXPECT_EQ(reasons.size(), 5u);
    EXPECT_EQ(reasons[Lib("junk")].rfind("it does not load: ", 0), 0u) << reasons[Lib("junk")];
    EXPECT_EQ(reasons[Lib("g_lacks_extract")], "it lacks fnExtractFile, which an explorer needs");
    EXPECT_EQ(reasons[Lib("i_both_kinds")],
              "it exports entry points that only explorers have and also fnDecodeNext, which "
              "only decoders have: it cannot be told which kind it is");
    EXPECT_EQ(reasons[Lib("j_explorer_shaped")],
              "it exports fnGetListFiles, fnGetFilePointer, fnExtractFile, which only explorers "
              "have: it belongs in explore_plugins");
    EXPECT_EQ(reasons[Lib("k_fallback_decoder")],
              "it exports fnGetFallbackExt, which only decoders have: it belongs in "
              "decode_plugins");
    host.UnloadPlugins();
    EXPECT_TRUE(host.LeftOut().empty());
}

TEST_F(Rules, FirstPluginInLoadOrderWinsAnExtensionWhateverItsCase) {
    for (const char* name : {"song.ADX", "song.adx", "/music/a.b.Adx", "x.wav.adx"}) {
        OpenedFilePtr file = host.FindDecoder(name);
        ASSERT_TRUE(file) << name;
        EXPECT_EQ(LibraryFileName(*file->plugin), Lib("a_first_adx")) << name;
        EXPECT_TRUE(file->path.empty());
        EXPECT_EQ(file->Handle(), -1);
    }
    // The second plug-in still serves what only it lists.
    ASSERT_TRUE(host.FindDecoder("x.wav"));
    EXPECT_EQ(LibraryFileName(*host.FindDecoder("x.wav")->plugin), Lib("b_second_adx"));
}

TEST_F(Rules, NamesWithoutAUsableExtensionRouteNowhere) {
    for (const char* name :
         {"", "noextension", "/dir.adx/file", "/dir.adx/", "file.", "a.adx.tmp"}) {
        EXPECT_FALSE(host.FindDecoder(name)) << name;
        EXPECT_FALSE(host.FindExplorer(name)) << name;
    }
    std::string error;
    EXPECT_FALSE(host.OpenStream("/dir.adx/file", nullptr, 0, error));
    EXPECT_EQ(error, "Format unsupported.");
    EXPECT_FALSE(host.OpenContainer("no.such", nullptr, 0, error));
    EXPECT_EQ(error, "Format unsupported.");
}

TEST_F(Rules, FindExplorerKeepsTheNameAsThePath) {
    OpenedFilePtr file = host.FindExplorer("/a/Track 1.FAK");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->path, "/a/Track 1.FAK");
    EXPECT_EQ(file->Explorer(), host.Explorers()[0].get());
    EXPECT_EQ(file->Decoder(), nullptr);
}

TEST_F(Rules, RefusedOpenShowsThePluginTextOrAFixedOne) {
    std::string error;
    EXPECT_FALSE(host.OpenContainer("x.fak", nullptr, 0, error));
    EXPECT_EQ(error, "Error loading file.");  // the plug-in has no fnGetErrorString
    const unsigned char bytes[4] = {};
    EXPECT_FALSE(host.OpenStream("x.xyz", bytes, 4, error));
    EXPECT_EQ(error, "Error loading file.");  // no fnLoadFileMemory: memory cannot be opened
    // A plug-in with an error text of its own but no fnLoadFileMemory: its last text belongs to
    // some other call and is not shown.
    EXPECT_FALSE(host.OpenStream("x.adx", bytes, 4, error));
    EXPECT_EQ(error, "Error loading file.");
}

TEST_F(Rules, OpenAndCloseThroughTheOpenedFile) {
    std::string error;
    OpenedFilePtr container = host.OpenContainer("a.opn", nullptr, 0, error);
    ASSERT_TRUE(container) << error;
    EXPECT_TRUE(container->IsOpen());
    const unsigned char bytes[4] = {};
    OpenedFilePtr nested = host.OpenContainer("b.opn", bytes, 4, error);
    ASSERT_TRUE(nested);
    EXPECT_EQ(nested->memoryImage, bytes);
    EXPECT_EQ(nested->memorySize, 4u);
    CloseOpenedFile(nested);
    EXPECT_FALSE(nested);
    CloseOpenedFile(nested);  // an empty place stays empty
    CloseOpenedFile(container);
    EXPECT_FALSE(container);
}

TEST_F(Rules, AnEmptyNameIsATrackAndNeverEndsTheList) {
    std::string error;
    ExplorerSessionPtr container = host.OpenContainer("a.opn", nullptr, 0, error);
    ASSERT_TRUE(container) << error;
    const std::vector<std::string> expected = {"inner.bin", "", "after.bin"};
    EXPECT_EQ(container->ListNames().value, expected);
    PackedNames packed;
    ASSERT_TRUE(container->ListNames(packed).value);
    ASSERT_EQ(packed.Size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(packed[i], expected[i]) << i;
    }
}

TEST(BuildOpenFilter, JoinsEveryExtensionInOrder) {
    EXPECT_EQ(BuildOpenFilter({"AIX", "AFS"}),
              "Support Files (*.AIX;*.AFS)|*.AIX;*.AFS|Audio files (*.AIX)|*.AIX|"
              "Audio files (*.AFS)|*.AFS|");
    EXPECT_EQ(BuildOpenFilter({"ADX"}), "Support Files (*.ADX)|*.ADX|Audio files (*.ADX)|*.ADX|");
    EXPECT_EQ(BuildOpenFilter({}), "");
}

TEST(PluginHostWithoutFolders, BindsNothingAndRoutesNothing) {
    PluginHost host;
    host.LoadDecoderPlugins("/no/such/folder");
    host.LoadExplorerPlugins("/no/such/folder");
    EXPECT_TRUE(host.Decoders().empty());
    EXPECT_TRUE(host.ExplorerExtensions().empty());
    EXPECT_FALSE(host.FindDecoder("a.adx"));
}

}  // namespace
}  // namespace fogbell
