// The core's two heavy paths, timed end to end with the staged plug-ins:
//   1. "Save as wav.." of a 10-minute stereo 44100 Hz ADX file (SaveTrackAsWave), with the
//      peak heap in use while it runs, which must stay about one block whatever the length;
//   2. listing an AFS archive of 10,000 ADX members into the track list (FillTrackList), which
//      reads their names, then sorting the list by format, which opens every member once with
//      its decoder.
//
//   build/bin/core_bench [minutes] [members]
#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "adx_builder.h"
#include "afs_builder.h"
#include "fake_view.h"
#include "host/app/main_core.h"
#include "host/tracks/track_jobs.h"
#include "test_files.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace fogbell;

constexpr std::uint32_t kRate = 44100;
constexpr std::uint32_t kSamplesPerGroup = 32;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

std::size_t HeapInUse() {
    return mallinfo2().uordblks;
}

long PeakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

std::vector<std::uint8_t> StereoAdx(std::uint32_t samples, std::uint32_t seed) {
    const std::size_t groups = (std::size_t{samples} + kSamplesPerGroup - 1) / kSamplesPerGroup;
    test::AdxOptions options;
    options.channels = 2;
    options.rate = kRate;
    options.totalSamples = samples;
    return test::BuildAdx(options, test::AdxFrames(groups, 2, seed), true);
}

void BenchSave(const test::TempDir& dir, std::uint32_t minutes) {
    const std::string adx = dir.File("long.adx");
    test::WriteFile(adx, StereoAdx(minutes * 60 * kRate, 1));
    PluginHost host;
    host.LoadDecoderPlugins(std::string(FOGBELL_STAGE_DIR) + "/decode_plugins");

    const std::size_t heapBefore = HeapInUse();
    std::size_t heapPeak = heapBefore;
    SaveCallbacks callbacks;
    callbacks.position = [&](std::uint32_t) { heapPeak = std::max(heapPeak, HeapInUse()); };
    std::string error;
    const auto start = Clock::now();
    const bool saved = SaveTrackAsWave(host, nullptr, adx, dir.File("long.wav"), callbacks, error);
    const double elapsed = Seconds(start);
    if (!saved) {
        std::fprintf(stderr, "save failed: %s\n", error.c_str());
        std::exit(1);
    }
    const double wavMiB =
        static_cast<double>(std::filesystem::file_size(dir.File("long.wav"))) / (1 << 20);
    std::printf("Save as wav: %u-minute stereo 44100 Hz ADX (%.1f MiB) -> WAVE (%.1f MiB)\n",
                minutes, static_cast<double>(std::filesystem::file_size(adx)) / (1 << 20), wavMiB);
    std::printf("  wall time %.3f s, %.0f MiB/s written, %.0fx real time\n", elapsed,
                wavMiB / elapsed, minutes * 60.0 / elapsed);
    std::printf(
        "  peak heap in use above the start: %.0f KiB (one second of stereo PCM is %u KiB)\n",
        static_cast<double>(heapPeak - heapBefore) / 1024, kRate * 4 / 1024);
}

void BenchList(const test::TempDir& dir, int members) {
    test::AfsBuilder builder;
    const std::vector<std::uint8_t> track = StereoAdx(4096, 2);  // about 0.1 s each
    for (int i = 0; i < members; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "voice%05d.adx", i);
        builder.Add(name, track);
    }
    const std::string archive = dir.File("many.afs");
    test::WriteFile(archive, builder.Build().bytes);

    test::FakeView view;
    test::FakePlayback playback;
    MainCore core{view, playback};
    CorePaths paths;
    paths.settingsFile = dir.File("ini.ini");
    paths.decoderDirectory = std::string(FOGBELL_STAGE_DIR) + "/decode_plugins";
    paths.explorerDirectory = std::string(FOGBELL_STAGE_DIR) + "/explore_plugins";
    core.Initialize(paths);
    const long rssBefore = PeakRssKiB();
    const auto start = Clock::now();
    if (!core.OpenContainerPath(archive)) {
        std::fprintf(stderr, "open failed: %s\n", view.Status().c_str());
        std::exit(1);
    }
    const double elapsed = Seconds(start);
    std::printf("List an AFS archive of %d ADX members (%.1f MiB) into the track list\n", members,
                static_cast<double>(std::filesystem::file_size(archive)) / (1 << 20));
    std::printf("  wall time %.3f s (%.1f us per row), rows %zu, bitrate of row 0: %s\n", elapsed,
                elapsed * 1e6 / members, view.Tracks().TotalCount(),
                view.CellText(0, kColumnBitrate).c_str());
    const auto sortStart = Clock::now();
    core.SortByColumn(kColumnBitrate);
    const double sorted = Seconds(sortStart);
    std::printf("  sort by format: wall time %.3f s (%.1f us per row)\n", sorted,
                sorted * 1e6 / members);
    std::printf("  peak resident memory %ld MiB (%ld MiB before the open)\n", PeakRssKiB() / 1024,
                rssBefore / 1024);
    core.Shutdown();
}

}  // namespace

int main(int argc, char** argv) {
    const auto minutes = static_cast<std::uint32_t>(argc > 1 ? std::atoi(argv[1]) : 10);
    const int members = argc > 2 ? std::atoi(argv[2]) : 10000;
    test::TempDir dir;
    BenchSave(dir, minutes);
    BenchList(dir, members);
    return 0;
}
