// make_fuzz_seeds OUTDIR [TARGET...]: writes the seed corpus of each fuzz target (all of them when
// none is named) to OUTDIR/TARGET/NAME, one file per seed, and prints how many it wrote.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz_seeds.h"

namespace {

constexpr const char* kUsage =
    "Usage: make_fuzz_seeds OUTDIR [TARGET...]\n"
    "Writes the seed corpus of each fuzz target (all when none is named) to OUTDIR/TARGET.\n";

bool WriteSeed(const std::filesystem::path& path, const fogbell::fuzz::Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::filesystem::path outDir = argv[1];
    std::vector<std::string> targets(argv + 2, argv + argc);
    if (targets.empty()) {
        targets = fogbell::fuzz::FuzzTargets();
    }
    for (const std::string& target : targets) {
        const auto seeds = fogbell::fuzz::SeedsFor(target);
        if (seeds.empty()) {
            std::fprintf(stderr, "unknown fuzz target: %s\n", target.c_str());
            return 2;
        }
        std::error_code error;
        std::filesystem::create_directories(outDir / target, error);
        for (const auto& seed : seeds) {
            if (!WriteSeed(outDir / target / seed.name, seed.bytes)) {
                std::fprintf(stderr, "cannot write %s\n", (outDir / target / seed.name).c_str());
                return 1;
            }
        }
        std::printf("%s: %zu seeds\n", target.c_str(), seeds.size());
    }
    return 0;
}
