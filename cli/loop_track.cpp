#include "cli/loop_track.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "cli/cli_output.h"
#include "cli/command_context.h"
#include "cli/track_names.h"
#include "host/audio/wave_writer.h"
#include "host/containers/track_loop.h"
#include "host/system/native_path.h"

namespace fogbell::cli {
namespace {

// The bytes of the file at path; none when it cannot be read.
std::optional<std::vector<std::uint8_t>> ReadBytes(const std::string& path) {
    std::ifstream in(PathFromUtf8(path), std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    return in.bad() ? std::nullopt : std::optional(std::move(bytes));
}

}  // namespace

bool OpenLoopTrack(const PluginHost& host, const std::string& path, const std::string& argument,
                   ContainerChain& chain, LoopTrack& track, int& status) {
    status = kExitFailed;
    std::vector<std::string> levels = SplitChainPath(path);
    std::string trackArgument = argument;
    if (trackArgument.empty() && IsSingleFile(host, path)) {
        track.single = true;
        track.file = path;
        track.shown = Utf8FromPath(PathFromUtf8(path).filename());
        std::optional<std::vector<std::uint8_t>> bytes = ReadBytes(path);
        if (!bytes) {
            Fail(path, "the file cannot be read");
            return false;
        }
        track.bytes = std::move(*bytes);
        return true;
    }
    if (trackArgument.empty() && levels.size() > 1) {
        trackArgument = levels.back();
        levels.pop_back();
    }
    if (trackArgument.empty()) {
        Fail(path, "a container: give the TRACK whose loop points are meant");
        status = kExitUsage;
        return false;
    }
    std::string container = levels.front();
    for (std::size_t i = 1; i < levels.size(); ++i) {
        container += "::" + levels[i];
    }
    std::string error;
    if (!chain.OpenPath(container, error, TrackArguments(container))) {
        FailChain(error);
        return false;
    }
    if (!ResolveTrack(*chain.Innermost(), container, trackArgument, track.name, error)) {
        Fail(trackArgument, error);
        return false;
    }
    track.shown = PrintedName(track.name);
    const TrackBytes bytes = chain.Innermost()->Track(track.name);
    if (!bytes) {
        Fail(track.shown, bytes.TextOr("the container gives no bytes for this track"));
        return false;
    }
    const auto* data = static_cast<const std::uint8_t*>(bytes.Data());
    track.bytes.assign(data, data + bytes.Size());
    return true;
}

bool ReadFacts(const PluginHost& host, const LoopTrack& track, LoopFacts& facts) {
    if (const std::optional<LoopFields> fields =
            ReadLoopFields(track.bytes.data(), track.bytes.size())) {
        facts = {fields->samples, fields->rate, fields->loop};
        return true;
    }
    std::string error;
    const DecoderSessionPtr stream =
        track.single ? host.OpenStream(track.file, nullptr, 0, error)
                     : host.OpenStream(track.name, track.bytes.data(),
                                       static_cast<std::uint32_t>(track.bytes.size()), error);
    const std::optional<WAVEFORMATEX> format = stream ? stream->OutputFormat().value : std::nullopt;
    if (!format || format->nBlockAlign == 0) {
        Fail(track.shown, error.empty() ? "the track cannot be decoded" : error);
        return false;
    }
    std::uint64_t frames = 0;
    while (const PcmBlock* block = stream->DecodeNext()) {
        frames += block->size / format->nBlockAlign;
    }
    facts.samples = static_cast<std::uint32_t>(std::min<std::uint64_t>(frames, UINT32_MAX));
    facts.rate = format->nSamplesPerSec;
    facts.loop = stream->Loop();
    return true;
}

std::string TimeText(std::uint64_t sample, std::uint32_t rate) {
    const std::uint64_t ms = rate == 0 ? 0 : (sample * 1000 + rate / 2) / rate;
    char text[32];
    std::snprintf(text, sizeof text, "%llu:%02llu.%03llu",
                  static_cast<unsigned long long>(ms / 60000),
                  static_cast<unsigned long long>(ms / 1000 % 60),
                  static_cast<unsigned long long>(ms % 1000));
    return text;
}

std::string LoopText(const LoopPoints& loop, std::uint32_t rate) {
    return std::to_string(loop.start) + ":" + std::to_string(loop.end) + " (" +
           TimeText(loop.start, rate) + "\u2013" + TimeText(loop.end, rate) + ")";
}

bool DecodeTrack(const PluginHost& host, const LoopTrack& track, DecodedSound& sound) {
    std::string error;
    const DecoderSessionPtr stream =
        track.single ? host.OpenStream(track.file, nullptr, 0, error)
                     : host.OpenStream(track.name, track.bytes.data(),
                                       static_cast<std::uint32_t>(track.bytes.size()), error);
    const std::optional<WAVEFORMATEX> format = stream ? stream->OutputFormat().value : std::nullopt;
    if (!format || format->wBitsPerSample != 16 || format->nChannels == 0) {
        Fail(track.shown, error.empty() ? "the track cannot be decoded as 16-bit PCM" : error);
        return false;
    }
    sound.format = *format;
    while (const PcmBlock* block = stream->DecodeNext()) {
        const std::size_t at = sound.pcm.size();
        sound.pcm.resize(at + block->size / 2);
        std::memcpy(sound.pcm.data() + at, block->data, block->size / 2 * 2);
    }
    sound.pcm.resize(sound.Frames() * format->nChannels);
    return true;
}

// Writes to file the seam of the track that path and track name: seconds before the loop's end,
// then seconds from its start, as 16-bit PCM in the track's format. False after saying why.
bool WriteSeam(const PluginHost& host, const std::string& path, const std::string& trackName,
               double seconds, const std::string& file) {
    ContainerChain chain(host);
    LoopTrack track;
    int status = kExitFailed;
    LoopFacts facts;
    DecodedSound sound;
    if (!OpenLoopTrack(host, path, trackName, chain, track, status) ||
        !ReadFacts(host, track, facts) || !DecodeTrack(host, track, sound)) {
        return false;
    }
    if (!facts.loop) {
        Fail(track.shown,
             "the track has no loop points: set them with \"loop --set START:END\", "
             "or find them with \"loop --find\"");
        return false;
    }
    const std::size_t channels = sound.format.nChannels;
    const auto span = static_cast<std::size_t>(seconds * sound.format.nSamplesPerSec);
    const std::size_t end = std::min<std::size_t>(facts.loop->end, sound.Frames());
    const std::size_t start = std::min<std::size_t>(facts.loop->start, end);
    const std::size_t before = end - std::min(end, span);
    const std::size_t after = std::min(sound.Frames(), start + span);
    WaveWriter writer;
    const auto* pcm = reinterpret_cast<const std::uint8_t*>(sound.pcm.data());
    const std::size_t frameBytes = channels * 2;
    const bool written = writer.Create(file, sound.format) == WaveWriter::Status::kOk &&
                         writer.Append(pcm + before * frameBytes,
                                       static_cast<std::uint32_t>((end - before) * frameBytes)) ==
                             WaveWriter::Status::kOk &&
                         writer.Append(pcm + start * frameBytes,
                                       static_cast<std::uint32_t>((after - start) * frameBytes)) ==
                             WaveWriter::Status::kOk &&
                         writer.Finish() == WaveWriter::Status::kOk;
    if (!written) {
        Fail(file, "the seam cannot be written there");
        return false;
    }
    std::fprintf(stderr, "%s: the seam of loop %s\n", track.shown.c_str(),
                 LoopText(*facts.loop, facts.rate).c_str());
    return true;
}

}  // namespace fogbell::cli
