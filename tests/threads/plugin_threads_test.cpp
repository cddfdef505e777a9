// Several threads at once on one plug-in, each with handles of its own: open (from a file and
// from memory), list, ask for pointers, extract, decode the tracks and close, over and over.
// Every thread must see exactly what one thread alone sees. The program does the same from its
// window, play and worker threads; this test is also run under ThreadSanitizer.
//
// The name list of aixvault, pacvault and mvxvault is one per plug-in (each fnGetListFiles
// frees the list handed out before, on any handle), so the threads take turns to list and copy
// the names, as the program lists only from its window thread; everything else runs freely.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "fuzz_seeds.h"
#include "plugin_api.h"
#include "test_files.h"

namespace fogbell::test {
namespace {

constexpr int kThreads = 4;
constexpr int kRounds = 12;

std::string Extension(const std::string& name) {
    const auto dot = name.rfind('.');
    std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
    for (char& c : ext) {
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    }
    return ext;
}

// The decoder that plays tracks with this extension, or "".
std::string DecoderFor(const std::string& name) {
    static const std::map<std::string, std::string> decoders{
        {"ADX", "adxvoice"}, {"AIXF", "aixvoice"}, {"WAV", "wavvoice"}, {"XMD", "xmdvoice"}};
    const auto found = decoders.find(Extension(name));
    return found == decoders.end() ? "" : found->second;
}

// Everything a thread learns about one container, to compare with what one thread alone saw.
struct ContainerView {
    std::vector<std::string> names;
    std::vector<std::uint32_t> lengths;
    std::vector<Bytes> extracted;  // each track's file
    std::vector<Bytes> pcm;        // each playable track decoded to the end

    bool operator==(const ContainerView&) const = default;
};

// Runs body on kThreads threads at once and returns what each of them reported ("" for none).
std::vector<std::string> RunThreads(const std::function<std::string(int)>& body) {
    std::vector<std::string> reports(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] { reports[static_cast<std::size_t>(t)] = body(t); });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    return reports;
}

class ExplorerThreads : public ::testing::TestWithParam<std::string> {
  protected:
    ExplorerThreads() : vault(GetParam()) {
        for (const char* name : {"adxvoice", "aixvoice", "wavvoice", "xmdvoice"}) {
            decoders.emplace(std::piecewise_construct, std::forward_as_tuple(name),
                             std::forward_as_tuple(name));
        }
    }

    // The whole round of one thread on one open container.
    ContainerView Explore(int handle, const std::string& outDir) {
        ContainerView view;
        {
            std::lock_guard<std::mutex> listing(listMutex);
            char** list = vault.GetListFiles(handle);
            for (char** p = list; p != nullptr && *p != nullptr; ++p) {
                view.names.emplace_back(*p);
            }
        }
        for (std::size_t i = 0; i < view.names.size(); ++i) {
            const std::string& name = view.names[i];
            view.lengths.push_back(vault.GetLengthFile(handle, name.c_str()));
            const std::string out = outDir + "/track" + std::to_string(i) + ".bin";
            if (vault.ExtractFile(handle, name.c_str(), out.c_str()) == 1) {
                // pacvault and aixvault choose the extension of what they write.
                for (const char* ext : {".bin", ".wav", ".adx"}) {
                    const std::string written = out.substr(0, out.size() - 4) + ext;
                    if (FileExists(written)) {
                        view.extracted.push_back(ReadFile(written));
                        std::filesystem::remove(written);
                        break;
                    }
                }
            } else {
                view.extracted.emplace_back();
            }
            view.pcm.push_back(Decode(handle, name));
        }
        return view;
    }

    // The track decoded to the end by the decoder its extension names (empty when none).
    Bytes Decode(int handle, const std::string& name) {
        const std::string decoderName = DecoderFor(name);
        if (decoderName.empty()) {
            return {};
        }
        std::uint32_t length = 0;
        const void* pointer = vault.GetFilePointer(handle, name.c_str(), &length);
        if (pointer == nullptr) {
            return {};
        }
        DecoderApi& decoder = decoders.at(decoderName);
        const int voice = decoder.LoadFileMemory(-1, -1, pointer, length);
        if (voice < 0) {
            return {};
        }
        Bytes pcm = decoder.DecodeAll(voice);
        decoder.ResetFile(voice);
        if (decoder.DecodeAll(voice) != pcm) {
            pcm = BytesOf("second pass differs");
        }
        decoder.CloseFile(voice);
        return pcm;
    }

    ExplorerApi vault;
    std::map<std::string, DecoderApi> decoders;
    std::mutex listMutex;
    TempDir dir;
};

TEST_P(ExplorerThreads, EveryThreadSeesWhatOneThreadAloneSees) {
    for (const fuzz::Seed& seed : fuzz::SeedsFor(GetParam())) {
        SCOPED_TRACE(seed.name);
        const std::string path = dir.File(seed.name + "." + Extension(GetParam()));
        WriteFile(path, seed.bytes);
        std::filesystem::create_directories(dir.File("alone"));
        const int alone = vault.LoadFile(path.c_str());
        ASSERT_NE(alone, -1) << vault.Error();
        const ContainerView expected = Explore(alone, dir.File("alone"));
        ASSERT_EQ(vault.CloseFile(alone), 1);
        ASSERT_FALSE(expected.names.empty());

        const auto reports = RunThreads([&](int t) -> std::string {
            const std::string outDir = dir.File("thread" + std::to_string(t));
            std::filesystem::create_directories(outDir);
            for (int round = 0; round < kRounds; ++round) {
                // Half the rounds from the file, half from the seed's bytes in memory.
                const bool fromFile = (round + t) % 2 == 0;
                const int handle =
                    fromFile ? vault.LoadFile(path.c_str())
                             : vault.LoadFileMemory(seed.bytes.data(),
                                                    static_cast<std::uint32_t>(seed.bytes.size()));
                if (handle < 0) {
                    return "round " + std::to_string(round) + ": the container did not open";
                }
                const ContainerView seen = Explore(handle, outDir);
                if (vault.CloseFile(handle) != 1) {
                    return "round " + std::to_string(round) + ": the handle did not close";
                }
                if (!(seen == expected)) {
                    return "round " + std::to_string(round) + ": saw another container";
                }
            }
            return "";
        });
        for (int t = 0; t < kThreads; ++t) {
            EXPECT_EQ(reports[static_cast<std::size_t>(t)], "") << "thread " << t;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Explorers, ExplorerThreads,
                         ::testing::Values("aixvault", "pacvault", "mvxvault", "afsvault"));

class DecoderThreads : public ::testing::TestWithParam<std::string> {
  protected:
    DecoderApi voice{GetParam()};
    TempDir dir;
};

TEST_P(DecoderThreads, EveryThreadDecodesWhatOneThreadAloneDecodes) {
    const auto seeds = fuzz::SeedsFor(GetParam());
    ASSERT_FALSE(seeds.empty());
    std::vector<std::string> paths;
    std::vector<Bytes> expected;
    for (const fuzz::Seed& seed : seeds) {
        paths.push_back(dir.File(seed.name));
        WriteFile(paths.back(), seed.bytes);
        const int h = voice.LoadFile(-1, -1, paths.back().c_str());
        ASSERT_NE(h, -1) << seed.name << ": " << voice.Error();
        expected.push_back(voice.DecodeAll(h));
        ASSERT_FALSE(expected.back().empty()) << seed.name;
        voice.CloseFile(h);
    }
    const auto reports = RunThreads([&](int t) -> std::string {
        for (int round = 0; round < kRounds; ++round) {
            for (std::size_t s = 0; s < seeds.size(); ++s) {
                const bool fromFile = (round + t) % 2 == 0;
                const Bytes& bytes = seeds[s].bytes;
                const int h = fromFile
                                  ? voice.LoadFile(-1, -1, paths[s].c_str())
                                  : voice.LoadFileMemory(-1, -1, bytes.data(),
                                                         static_cast<std::uint32_t>(bytes.size()));
                if (h < 0) {
                    return seeds[s].name + ": did not open";
                }
                // Two passes, with a look at the position and formats between, as a player does.
                static_cast<void>(voice.GetFormatOut(h));
                static_cast<void>(voice.GetSizeData(h));
                const Bytes first = voice.DecodeAll(h);
                static_cast<void>(voice.GetCurrPos(h));
                voice.ResetFile(h);
                const Bytes second = voice.DecodeAll(h);
                voice.CloseFile(h);
                if (first != expected[s] || second != expected[s]) {
                    return seeds[s].name + ": decoded otherwise in round " + std::to_string(round);
                }
            }
        }
        return "";
    });
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(reports[static_cast<std::size_t>(t)], "") << "thread " << t;
    }
}

// Every decoder; sndvoice where it is built.
std::vector<std::string> ThreadedDecoders() {
    std::vector<std::string> names{"adxvoice", "aixvoice", "wavvoice", "xmdvoice"};
#if defined(FOGBELL_WITH_SNDVOICE)
    names.emplace_back("sndvoice");
#endif
    return names;
}

INSTANTIATE_TEST_SUITE_P(Decoders, DecoderThreads, ::testing::ValuesIn(ThreadedDecoders()));

}  // namespace
}  // namespace fogbell::test
