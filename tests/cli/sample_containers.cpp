// fogbell_sample_containers DIR: writes one container of every format, with playable tracks,
// and replacement files into DIR, built by the test builders. tools/compare-windows-cli.sh
// runs the Linux and the Windows fogbell-cli on them and compares what they write.
#include <cstdio>
#include <exception>
#include <string>

#include "adx_builder.h"
#include "afs_builder.h"
#include "aix_builder.h"
#include "byte_writer.h"
#include "mvx_builder.h"
#include "pac_builder.h"
#include "test_files.h"
#include "wave_builder.h"
#include "xmd_builder.h"

namespace fogbell::test {
namespace {

Bytes Adx(std::uint8_t channels, std::uint32_t groups, std::uint32_t seed) {
    AdxOptions options;
    options.channels = channels;
    options.totalSamples = groups * 32;
    return BuildAdx(options, AdxFrames(groups, channels, seed));
}

Bytes Wave(std::uint16_t channels, std::uint32_t rate, std::uint32_t samples, std::uint32_t seed) {
    WaveOptions options;
    options.channels = channels;
    options.rate = rate;
    return BuildWave(options, Pattern(std::size_t{samples} * 2 * channels, seed));
}

void WriteAll(const std::string& dir) {
    AixStream a, b;
    a.data = AdxFrames(125, 2, 21);
    b.data = AdxFrames(125, 2, 22);
    a.total = b.total = 4000;
    WriteFile(dir + "/music.aix", AixBuilder().Add(a).Add(b).Build().bytes);

    WriteFile(dir + "/voices.afs", AfsBuilder()
                                       .Add("hello.adx", Adx(1, 300, 1))
                                       .Add("stereo.adx", Adx(2, 200, 2))
                                       .Add("tone.wav", Wave(2, 22050, 30000, 3))
                                       .Add("notes.txt", BytesOf("not audio\n"))
                                       // A name that is UTF-8 but not ASCII: the same
                                       // file name on every system.
                                       .Add("caf\xC3\xA9 \xE6\x97\xA5.adx", Adx(1, 120, 10))
                                       .Build()
                                       .bytes);

    WriteFile(dir + "/speech.pac", PacBuilder()
                                       .Add(Wave(1, 22050, 20000, 4), 4096)
                                       .Add(Wave(2, 44100, 10000, 5), 4096)
                                       .Build()
                                       .bytes);

    WriteFile(dir + "/scenes.mvx",
              MvxBuilder()
                  .Add("intro.xmd", BuildXmd(1, 32000, 13 * 400, XmdFrames(400, 6)), 2048)
                  .Add("theme.xmd", BuildXmd(1, 32000, 13 * 300, XmdFrames(300, 7)), 2048)
                  .Build()
                  .bytes);

    // Replacements that fit their tracks' room.
    WriteFile(dir + "/new.wav", Wave(1, 22050, 15000, 8));
    WriteFile(dir + "/new.xmd", BuildXmd(1, 32000, 13 * 350, XmdFrames(350, 9)));
}

}  // namespace
}  // namespace fogbell::test

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    try {
        fogbell::test::WriteAll(argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
        return 1;
    }
    return 0;
}
