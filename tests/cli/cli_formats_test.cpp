// fogbell-cli on every container format, and on containers inside containers.
#include <gtest/gtest.h>

#include <filesystem>

#include "adx_builder.h"
#include "afs_builder.h"
#include "aix_builder.h"
#include "byte_writer.h"
#include "mvx_builder.h"
#include "pac_builder.h"
#include "run_program.h"
#include "test_files.h"
#include "wave_builder.h"
#include "xmd_builder.h"

namespace fogbell::test {
namespace {

// Two stereo 44100 Hz streams of 4000 samples (125 frame groups) interleaved in packets.
Bytes TwoStreamAix() {
    AixStream a, b;
    a.data = AdxFrames(125, 2, 21);
    b.data = AdxFrames(125, 2, 22);
    a.total = b.total = 4000;
    return AixBuilder().Add(a).Add(b).Build().bytes;
}

Bytes MonoWave(std::uint32_t samples, std::uint32_t seed) {
    WaveOptions options;
    options.channels = 1;
    options.rate = 22050;
    return BuildWave(options, Pattern(samples * 2, seed));
}

Bytes Xmd(std::size_t frames, std::uint32_t seed) {
    return BuildXmd(1, 32000, static_cast<std::uint32_t>(13 * frames), XmdFrames(frames, seed));
}

class CliFormats : public ::testing::Test {
  protected:
    void SetUp() override { std::filesystem::create_directory(dir.File("out")); }
    ProgramResult Run(std::vector<std::string> arguments) {
        return RunProgram(CliPath(), arguments);
    }
    std::string Save(const std::string& name, const Bytes& bytes) {
        WriteFile(dir.File(name), bytes);
        return dir.File(name);
    }
    std::string Out(const std::string& name) const { return dir.File("out/" + name); }
    TempDir dir;
};

TEST_F(CliFormats, AixTracksListExtractAndSaveButCannotBeReplaced) {
    const std::string aix = Save("music.aix", TwoStreamAix());
    const ProgramResult list = Run({"list", aix});
    EXPECT_EQ(list.exitStatus, 0) << list.err;
    EXPECT_EQ(list.out, "Track 0.aixf\t4000\t44100Hz,2Ch\nTrack 1.aixf\t4000\t44100Hz,2Ch\n");

    ASSERT_EQ(Run({"extract", aix, "Track 1.aixf", "-o", dir.File("out")}).exitStatus, 0);
    const Bytes adx = ReadFile(Out("Track 1.adx"));
    ASSERT_GT(adx.size(), 36u);
    EXPECT_EQ(adx[0], 0x80);
    EXPECT_EQ(Bytes(adx.begin() + 30, adx.begin() + 36), BytesOf("(c)CRI"));

    const ProgramResult wav = Run({"wav", aix, "-o", dir.File("out")});
    EXPECT_EQ(wav.exitStatus, 0) << wav.err;
    const Bytes saved = ReadFile(Out("Track 0.aixf.wav"));
    EXPECT_EQ(Bytes(saved.begin(), saved.begin() + 4), BytesOf("RIFF"));
    EXPECT_EQ(GetU32LE(saved, 24), 44100u);
    EXPECT_EQ(GetU32LE(saved, 40), saved.size() - 44);
    EXPECT_EQ(saved.size() - 44, 4000u * 4);  // 125 whole groups: the stream's 4000 samples
    EXPECT_TRUE(FileExists(Out("Track 1.aixf.wav")));

    Save("new.adx", Pattern(10, 1));
    const ProgramResult replace = Run({"replace", aix, "Track 0.aixf", dir.File("new.adx")});
    EXPECT_EQ(replace.exitStatus, 1);
    EXPECT_EQ(replace.err,
              "fogbell-cli: " + aix + ": tracks of this container cannot be replaced\n");
}

TEST_F(CliFormats, PacTracksRoundTripAndALongerReplacementAsksForARebuild) {
    const Bytes first = MonoWave(1000, 1), second = MonoWave(300, 2);
    const std::string pac = Save("voice.pac", PacBuilder().Add(first).Add(second).Build().bytes);
    EXPECT_EQ(Run({"list", pac}).out, "Track 0.wav\t" + std::to_string(first.size()) +
                                          "\t22050Hz,1Ch\nTrack 1.wav\t" +
                                          std::to_string(second.size()) + "\t22050Hz,1Ch\n");
    ASSERT_EQ(Run({"extract", pac, "-o", dir.File("out")}).exitStatus, 0);
    EXPECT_EQ(ReadFile(Out("Track 0.wav")), first);
    EXPECT_EQ(ReadFile(Out("Track 1.wav")), second);

    ASSERT_EQ(Run({"wav", pac, "Track 1.wav", "-o", dir.File("out")}).exitStatus, 0);
    const Bytes saved = ReadFile(Out("Track 1.wav.wav"));
    EXPECT_EQ(Bytes(saved.begin() + 44, saved.end()), Bytes(second.begin() + 44, second.end()));

    // A longer replacement is no longer cut to the track's size: it asks for a rebuild, and the
    // rebuild takes it whole.
    const Bytes before = ReadFile(pac);
    const std::string longer = Save("longer.wav", MonoWave(500, 3));
    const ProgramResult refused = Run({"replace", pac, "Track 1.wav", longer});
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_EQ(refused.err, "fogbell-cli: Track 1.wav: the replacement takes " +
                               std::to_string(46 + 1000) + " bytes, the track has room for " +
                               std::to_string(second.size()) +
                               "; run again with --rebuild to rebuild the container\n");
    EXPECT_EQ(ReadFile(pac), before);
    const ProgramResult rebuilt = Run({"replace", pac, "Track 1.wav", longer, "--rebuild"});
    EXPECT_EQ(rebuilt.exitStatus, 0) << rebuilt.err;
    EXPECT_EQ(rebuilt.out, "Replace OK: the container was rebuilt\n");
    EXPECT_EQ(Run({"list", pac}).out, "Track 0.wav\t" + std::to_string(first.size()) +
                                          "\t22050Hz,1Ch\nTrack 1.wav\t1046\t22050Hz,1Ch\n");
}

TEST_F(CliFormats, MvxTracksKeepOrShrinkInPlaceAndAskToRebuildToGrow) {
    const Bytes a = Xmd(8, 1), b = Xmd(4, 2);
    const std::string mvx =
        Save("se.mvx", MvxBuilder().Add("hit.xmd", a).Add("Boom.XMD", b).Build().bytes);
    EXPECT_EQ(Run({"list", mvx}).out, "hit.xmd\t" + std::to_string(a.size()) +
                                          "\t32000Hz,1Ch\nBoom.XMD\t" + std::to_string(b.size()) +
                                          "\t32000Hz,1Ch\n");
    ASSERT_EQ(Run({"extract", mvx, "boom.xmd", "-o", dir.File("out")}).exitStatus, 0);
    EXPECT_EQ(ReadFile(Out("boom.xmd")), b);
    ASSERT_EQ(Run({"wav", mvx, "-o", dir.File("out")}).exitStatus, 0);
    EXPECT_EQ(ReadFile(Out("hit.xmd.wav")).size(), 44u + 8u * 32u);

    const std::string smaller = Save("small.xmd", Xmd(2, 3));
    EXPECT_EQ(Run({"replace", mvx, "hit.xmd", smaller}).out, "Replace OK\n");
    EXPECT_EQ(Run({"list", mvx}).out.substr(0, 11), "hit.xmd\t38\t");
    const ProgramResult grow = Run({"replace", mvx, "hit.xmd", Save("big.xmd", Xmd(3, 4))});
    EXPECT_EQ(grow.exitStatus, 1);
    EXPECT_EQ(grow.err,
              "fogbell-cli: hit.xmd: the replacement takes 51 bytes, the track has room for 38; "
              "run again with --rebuild to rebuild the container\n");
    EXPECT_EQ(Run({"list", mvx}).out.substr(0, 11), "hit.xmd\t38\t");
}

TEST_F(CliFormats, ContainersInsideAnArchiveOpenLikeFolders) {
    const Bytes pac = PacBuilder().Add(MonoWave(100, 5)).Build().bytes;
    const std::string afs =
        Save("box.afs", AfsBuilder()
                            .Add("voice.pac", pac)
                            .Add("bgm.aix", TwoStreamAix())
                            .Add("se.mvx", MvxBuilder().Add("a.xmd", Xmd(2, 6)).Build().bytes)
                            .Build()
                            .bytes);
    // An AIX file is a stream too (aixvoice plays its first track): the decoder names its format.
    const ProgramResult top = Run({"list", afs});
    EXPECT_EQ(top.out,
              "voice.pac\t" + std::to_string(pac.size()) + "\t..\nbgm.aix\t" +
                  std::to_string(TwoStreamAix().size()) + "\t44100Hz,2Ch\nse.mvx\t" +
                  std::to_string(MvxBuilder().Add("a.xmd", Xmd(2, 6)).Build().bytes.size()) +
                  "\t..\n");
    EXPECT_EQ(Run({"list", afs + "::voice.pac"}).out, "Track 0.wav\t244\t22050Hz,1Ch\n");
    EXPECT_EQ(Run({"list", afs + "::se.mvx"}).out, "a.xmd\t38\t32000Hz,1Ch\n");

    ASSERT_EQ(Run({"wav", afs + "::bgm.aix", "Track 1.aixf", "-o", dir.File("out")}).exitStatus, 0);
    EXPECT_EQ(ReadFile(Out("Track 1.aixf.wav")).size(), 44u + 4000u * 4);
    // Replacing inside a nested container writes through to the archive on disk.
    const std::string replacement = Save("r.xmd", Xmd(1, 7));
    ASSERT_EQ(Run({"replace", afs + "::se.mvx", "a.xmd", replacement}).exitStatus, 0);
    EXPECT_EQ(Run({"list", afs + "::se.mvx"}).out, "a.xmd\t25\t32000Hz,1Ch\n");
}

}  // namespace
}  // namespace fogbell::test
