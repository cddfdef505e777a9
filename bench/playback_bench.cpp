// The playback engine's cost, with the staged ADX decoder and the null device:
//   1. a 10-minute stereo 44100 Hz ADX played at real time for 60 seconds;
//   2. the same track played to its end at a high speed factor.
// At real time the play ends with a seek to the middle of the track: the time from the seek to
// the first sample of the new place taken by the device (goal: 100 ms or less).
// Figures: the time from the double-click to the first sample the device takes (goal: 100 ms or
// less), the play thread's wake-ups per second of audio (the design's figure is 1), CPU time per
// second of audio (the play thread alone, and the whole process with the null device and this
// program's 100 ms timer loop), and the distance between the position the 100 ms timer puts on
// the bar and what the device has played, in seconds of audio (goal: 50 ms or less).
//
//   build/bin/playback_bench [seconds at speed 1] [high speed]
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "adx_builder.h"
#include "afs_builder.h"
#include "fake_view.h"
#include "host/app/main_core.h"
#include "host/playback/play_engine.h"
#include "test_files.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace fogbell;

constexpr std::uint32_t kRate = 44100;
constexpr std::uint32_t kMinutes = 10;
constexpr std::uint32_t kSamplesPerGroup = 32;
constexpr std::uint32_t kBytesPerSecond = kRate * 4;  // stereo, 16-bit
constexpr auto kTimerPeriod = std::chrono::milliseconds(100);

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

struct Figures {
    double audioSeconds = 0;
    double wakeupsPerSecond = 0;
    double refillsPerSecond = 0;
    double threadCpuMsPerSecond = 0;
    double processCpuMsPerSecond = 0;
    double meanGap = 0, maxGap = 0, minGap = 0;
    double firstSampleMs = 0;
    double seekMs = -1;  // not measured
};

// Seeks the engine to frame and waits until the device has taken a frame of the new place.
double MeasureSeek(PlayEngine& engine, std::uint64_t frame) {
    const auto asked = Clock::now();
    if (!engine.SeekToFrame(frame)) {
        return -1;
    }
    for (;;) {
        const auto played = engine.Played();
        if (!played || (played->frame > frame && played->frame < frame + kRate)) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - asked).count();
}

// Plays the AFS's only track until it ends or limit of wall time has passed.
Figures PlayFor(const std::string& archive, double speed, std::chrono::seconds limit) {
    test::TempDir dir;
    test::FakeView view;
    SoundOutputOptions output;
    output.kind = SoundOutputOptions::Kind::kNull;
    output.speed = speed;
    PlayEngine engine(output);
    MainCore core(view, engine);
    CorePaths paths;
    paths.settingsFile = dir.File("ini.ini");
    paths.decoderDirectory = std::string(FOGBELL_STAGE_DIR) + "/decode_plugins";
    paths.explorerDirectory = std::string(FOGBELL_STAGE_DIR) + "/explore_plugins";
    if (!core.Initialize(paths) || !core.OpenContainerPath(archive)) {
        std::fprintf(stderr, "cannot start: %s\n", view.Status().c_str());
        std::exit(1);
    }
    view.Select({0});
    const double cpuBefore = ProcessCpuSeconds();
    const auto clicked = Clock::now();
    core.OnRowDoubleClick();
    while (engine.IsPlaying() && engine.PlayedBytes() == 0) {
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    Figures f;
    f.firstSampleMs = std::chrono::duration<double, std::milli>(Clock::now() - clicked).count();
    const std::uint32_t size = view.BarOf(ProgressId::kPlay).high;
    const double trackSeconds = static_cast<double>(kMinutes) * 60;

    double gapSum = 0;
    int gapCount = 0;
    f.minGap = 1e9;
    const auto start = Clock::now();
    auto tick = start;
    while (engine.IsPlaying() && Clock::now() - start < limit) {
        while (view.RunOnePosted()) {
        }
        if (Clock::now() >= tick) {
            core.OnPlayTimer();
            const std::uint64_t played = engine.PlayedBytes();
            // The track begins with the device's first byte.
            const double heard = static_cast<double>(played) / kBytesPerSecond;
            const double timer =
                static_cast<double>(view.BarOf(ProgressId::kPlay).position) / size * trackSeconds;
            if (speed == 1 && Clock::now() - start > limit - std::chrono::seconds(2)) {
                // The seek comes last, so that the distances above are all of one pass.
                f.seekMs = MeasureSeek(engine, std::uint64_t{kMinutes} * 30 * kRate);
                break;
            }
            if (heard > 0 && engine.IsPlaying()) {
                const double gap = std::abs(timer - heard);
                gapSum += gap;
                ++gapCount;
                f.maxGap = std::max(f.maxGap, gap);
                f.minGap = std::min(f.minGap, gap);
            }
            tick += kTimerPeriod / speed > std::chrono::milliseconds(1)
                        ? std::chrono::duration_cast<Clock::duration>(kTimerPeriod / speed)
                        : std::chrono::milliseconds(1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const std::uint64_t played = engine.PlayedBytes();
    const auto counters = engine.GetCounters();
    core.StopPlayback();
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    f.audioSeconds = static_cast<double>(played) / kBytesPerSecond;
    f.wakeupsPerSecond = static_cast<double>(counters.wakeups) / f.audioSeconds;
    f.refillsPerSecond = static_cast<double>(counters.refills) / f.audioSeconds;
    f.threadCpuMsPerSecond = counters.threadCpuSeconds * 1000 / f.audioSeconds;
    f.processCpuMsPerSecond = cpu * 1000 / f.audioSeconds;
    f.meanGap = gapCount ? gapSum / gapCount : 0;
    if (gapCount == 0) {
        f.minGap = 0;
    }
    core.Shutdown();
    return f;
}

void Print(const char* title, const Figures& f) {
    std::printf("%s\n", title);
    std::printf("  audio played                 %8.1f s\n", f.audioSeconds);
    std::printf("  play thread wake-ups         %8.3f per second of audio (refills %.3f)\n",
                f.wakeupsPerSecond, f.refillsPerSecond);
    std::printf("  play thread CPU              %8.3f ms per second of audio\n",
                f.threadCpuMsPerSecond);
    std::printf("  process CPU (with device)    %8.3f ms per second of audio\n",
                f.processCpuMsPerSecond);
    std::printf("  double-click to first sample %8.3f ms\n", f.firstSampleMs);
    if (f.seekMs >= 0) {
        std::printf("  seek to first new sample     %8.3f ms\n", f.seekMs);
    }
    std::printf("  bar from the device          %8.3f s mean, %.3f min, %.3f max\n", f.meanGap,
                f.minGap, f.maxGap);
}

}  // namespace

int main(int argc, char** argv) {
    const long realSeconds = argc > 1 ? std::atol(argv[1]) : 60;
    const double highSpeed = argc > 2 ? std::atof(argv[2]) : 200;
    test::TempDir dir;
    const std::uint32_t samples = kMinutes * 60 * kRate;
    const std::size_t groups = (std::size_t{samples} + kSamplesPerGroup - 1) / kSamplesPerGroup;
    test::AdxOptions options;
    options.channels = 2;
    options.rate = kRate;
    options.totalSamples = samples;
    const std::string archive = dir.File("long.afs");
    test::WriteFile(
        archive, test::AfsBuilder()
                     .Add("long.adx", test::BuildAdx(options, test::AdxFrames(groups, 2, 1), true))
                     .Build()
                     .bytes);
    std::printf("10-minute stereo 44100 Hz ADX through the null device\n");
    Print("speed 1, first 60 seconds:", PlayFor(archive, 1, std::chrono::seconds(realSeconds)));
    char title[64];
    std::snprintf(title, sizeof title, "speed %.0f, to the end:", highSpeed);
    Print(title, PlayFor(archive, highSpeed, std::chrono::seconds(3600)));
    return 0;
}
