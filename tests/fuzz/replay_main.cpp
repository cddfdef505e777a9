// Replays inputs through a fuzz target without libFuzzer, so that the ordinary builds (and
// their sanitizers) run every regression case and seed:
//   fuzz_replay_TARGET PATH...
// A PATH is a file or a folder of files. A file ending in ".recipe" is built from its recipe
// (fuzz_seeds.h); ".note" files describe their case and are skipped; any other file is the
// input itself. A broken rule aborts, which fails the test.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz_harness.h"
#include "fuzz_seeds.h"

namespace {

std::vector<std::uint8_t> InputOf(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    const std::string content = text.str();
    if (path.extension() == ".recipe") {
        return fogbell::fuzz::BuildRecipe(content);
    }
    return {content.begin(), content.end()};
}

}  // namespace

int main(int argc, char** argv) {
    LLVMFuzzerInitialize(&argc, &argv);
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path path = argv[i];
        if (std::filesystem::is_directory(path)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(path)) {
                if (entry.is_regular_file()) {
                    files.push_back(entry.path());
                }
            }
        } else if (std::filesystem::exists(path)) {
            files.push_back(path);
        } else {
            std::fprintf(stderr, "no such input: %s\n", argv[i]);
            return 2;
        }
    }
    std::sort(files.begin(), files.end());
    std::size_t replayed = 0;
    for (const auto& file : files) {
        if (file.extension() == ".note" || file.filename() == "README" ||
            file.filename().string().front() == '.') {
            continue;
        }
        const std::vector<std::uint8_t> input = InputOf(file);
        std::fprintf(stderr, "replay %s (%zu bytes)\n", file.c_str(), input.size());
        LLVMFuzzerTestOneInput(input.data(), input.size());
        ++replayed;
    }
    std::printf("%zu inputs replayed\n", replayed);
    return 0;
}
