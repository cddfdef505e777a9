// The window on large archives, on Qt's offscreen platform with the staged plug-ins and the null
// sound device: how long an AFS archive of many ADX members takes from the start of the open
// until the list has been drawn, how long "select all" takes, the window's resident memory
// against the archive's size, and how long sorting by length and then by format takes (which
// reads those of every row).
//
//   build/bin/window_bench make MEMBERS FILE   writes an archive of MEMBERS tiny ADX members
//   build/bin/window_bench open MEMBERS FILE   opens it in the window and prints the figures
//
// bench/window_bench.sh runs both for 100,000 and 1,000,000 members. The archive is written by a
// process of its own so that the builder's memory is not counted as the window's.
#include <sys/resource.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "adx_builder.h"
#include "afs_builder.h"
#include "host/playback/play_engine.h"
#include "host/playback/sound_output.h"
#include "host/window/dialog_template.h"
#include "host/window/main_window.h"
#include "test_files.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace fogbell;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// Processor time of the whole process (every thread), in seconds.
double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Resident memory now, from /proc (the peak would hide what an open keeps).
double ResidentMiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1 << 20);
}

int Make(int members, const std::string& file) {
    test::AfsBuilder builder;
    for (int i = 0; i < members; ++i) {
        test::AdxOptions options;
        options.rate = i % 2 == 0 ? 44100 : 22050;
        options.totalSamples = 32;
        char name[32];
        std::snprintf(name, sizeof name, "voice_%d.adx", i);
        builder.Add(name, test::BuildAdx(
                              options, test::AdxFrames(1, 1, static_cast<std::uint32_t>(i)), true));
    }
    test::WriteFile(file, builder.Build().bytes);
    return 0;
}

// Runs the window thread's queue, then draws the window as the screen would.
void Settle(QWidget& window) {
    QCoreApplication::processEvents();
    window.repaint();
    QCoreApplication::processEvents();
}

constexpr int kSelectAllLimitSeconds = 60;

int Open(int argc, char** argv, const std::string& file, std::size_t members) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    test::TempDir dir;
    window::WindowSetup setup;
    setup.paths.settingsFile = dir.File("ini.ini");
    setup.paths.decoderDirectory = std::string(FOGBELL_STAGE_DIR) + "/decode_plugins";
    setup.paths.explorerDirectory = std::string(FOGBELL_STAGE_DIR) + "/explore_plugins";
    setup.makePlayback = []() {
        SoundOutputOptions sound;
        sound.kind = SoundOutputOptions::Kind::kNull;
        return std::make_unique<PlayEngine>(sound);
    };
    setup.pictureFile = QString(FOGBELL_STAGE_DIR) + "/pic.jpg";
    window::MainWindow window(std::move(setup));
    if (!window.Initialize()) {
        std::fprintf(stderr, "the window did not start\n");
        return 1;
    }
    window.show();
    Settle(window);

    const double archiveMiB = static_cast<double>(std::filesystem::file_size(file)) / (1 << 20);
    const double rssBefore = ResidentMiB();
    const double cpuBefore = CpuSeconds();
    const auto start = Clock::now();
    if (!window.OpenPath(QString::fromStdString(file))) {
        std::fprintf(stderr, "open failed\n");
        return 1;
    }
    Settle(window);
    const double openWall = Seconds(start);
    const double openCpu = CpuSeconds() - cpuBefore;
    const double rssAfter = ResidentMiB();

    std::printf("Open an AFS archive of %zu ADX members (%.1f MiB) in the window\n", members,
                archiveMiB);
    std::printf("  open until drawn: wall %.3f s, processor %.3f s\n", openWall, openCpu);
    std::printf("  resident memory: %.1f MiB before the open, %.1f MiB after (+%.1f MiB)\n",
                rssBefore, rssAfter, rssAfter - rssBefore);
    std::printf("  beyond the mapped archive: %.0f bytes per row\n",
                (rssAfter - rssBefore - archiveMiB) * (1 << 20) / static_cast<double>(members));
    std::fflush(stdout);

    // "Select all" may take very long on a list of separate items: past the limit the figure is
    // only a lower bound, and the process ends there.
    std::thread([] {
        std::this_thread::sleep_for(std::chrono::seconds(kSelectAllLimitSeconds));
        std::printf("  select all until drawn: more than %d s (stopped)\n", kSelectAllLimitSeconds);
        std::fflush(stdout);
        std::_Exit(0);
    }).detach();
    const auto selectStart = Clock::now();
    static_cast<QAbstractButton*>(window.Control(window::kIdSelectAll))->click();
    Settle(window);
    const double selectWall = Seconds(selectStart);
    const std::size_t selected = window.Core().CollectSelectedNames().size();
    std::printf("  select all until drawn: wall %.3f s (%zu rows selected)\n", selectWall,
                selected);
    std::fflush(stdout);

    // Typing into the filter field, one key at a time: each key filters every row again.
    {
        auto* filter = static_cast<QLineEdit*>(window.Control(window::kIdFilter));
        const QString typed = QStringLiteral("voice_123");
        double slowest = 0;
        double total = 0;
        for (qsizetype keys = 1; keys <= typed.size(); ++keys) {
            const auto keyStart = Clock::now();
            filter->setText(typed.left(keys));
            Settle(window);
            const double took = Seconds(keyStart);
            slowest = std::max(slowest, took);
            total += took;
        }
        std::printf(
            "  filter as typed (\"%s\", %lld keys) until drawn: mean %.3f s, slowest "
            "%.3f s per key, %zu rows shown\n",
            typed.toUtf8().constData(), static_cast<long long>(typed.size()),
            total / static_cast<double>(typed.size()), slowest,
            window.Core().Tracks().ShownCount());
        filter->clear();
        Settle(window);
        std::fflush(stdout);
    }

    // A row's length and format are read when it is first drawn; a sort by them reads them for
    // every row first: lengths from the explorer, formats by opening each member's decoder.
    for (const auto& [column, what] :
         {std::pair{kColumnLength, "length"}, std::pair{kColumnBitrate, "format"}}) {
        const auto sortStart = Clock::now();
        window.Core().SortByColumn(column);
        Settle(window);
        std::printf("  sort by %s until drawn: wall %.3f s, resident memory %.1f MiB\n", what,
                    Seconds(sortStart), ResidentMiB());
        std::fflush(stdout);
    }
    std::_Exit(0);  // the figures are out; tearing a huge window down is not measured
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "make" && argc == 4) {
        return Make(std::atoi(argv[2]), argv[3]);
    }
    if (mode == "open" && argc == 4) {
        return Open(argc, argv, argv[3], static_cast<std::size_t>(std::atol(argv[2])));
    }
    std::fprintf(stderr, "usage: window_bench make MEMBERS FILE | open MEMBERS FILE\n");
    return 2;
}
