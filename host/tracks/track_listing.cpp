#include "host/tracks/track_listing.h"

#include <algorithm>
#include <cstdio>

namespace fogbell {
namespace {

constexpr const char* kUnknownFormat = "Unknown";
constexpr const char* kContainerText = "..";
constexpr const char* kUnsupportedText = "Unsupported";
constexpr const char* kDamagedText = "Damaged";

}  // namespace

std::string DurationText(const TrackFacts& facts) {
    return DurationText(facts.hasDuration ? std::optional(facts.milliseconds) : std::nullopt);
}

std::string DurationText(std::optional<std::uint32_t> milliseconds) {
    if (!milliseconds) {
        return {};
    }
    const std::uint32_t seconds = *milliseconds / 1000;
    const std::uint32_t hours = seconds / 3600;
    char text[32];
    if (hours > 0) {
        std::snprintf(text, sizeof text, "%u:%02u:%02u", hours, seconds / 60 % 60, seconds % 60);
    } else {
        std::snprintf(text, sizeof text, "%u:%02u", seconds / 60, seconds % 60);
    }
    return text;
}

std::optional<std::uint32_t> StreamMilliseconds(const DecoderSession& stream) {
    // Each decoder counts its size and position in a measure of its own (bytes, samples, coded
    // bytes): a decoded block tells how many frames a unit of it holds, as the player learns it.
    const std::optional<std::uint32_t> size = stream.SizeData();
    const PcmBlock* block = size ? stream.DecodeNext() : nullptr;
    if (block == nullptr) {
        return std::nullopt;
    }
    std::uint32_t blockBytes = block->size;  // the block is the decoder's until the next call
    const std::optional<std::uint32_t> first = stream.Position();
    std::uint32_t units = first.value_or(0);
    // A position may run a fixed step ahead of what was handed out: the second block's step, when
    // there is one, measures without it (a stream of one block was read whole either way).
    if (const PcmBlock* next = stream.DecodeNext(); next != nullptr && first) {
        const std::uint32_t nextBytes = next->size;
        if (const std::optional<std::uint32_t> second = stream.Position();
            second && *second > *first && nextBytes > 0) {
            blockBytes = nextBytes;
            units = *second - *first;
        }
    }
    const std::optional<WAVEFORMATEX> format = stream.OutputFormat().value;
    if (units == 0 || !format || format->nBlockAlign == 0 || format->nSamplesPerSec == 0) {
        return std::nullopt;
    }
    const std::uint64_t blockFrames = blockBytes / format->nBlockAlign;
    // Both factors are below 2^32: the product fits; a duration past 49 days is held there.
    const std::uint64_t frames = std::uint64_t{*size} * blockFrames / units;
    const std::uint32_t rate = format->nSamplesPerSec;
    if (frames / rate >= UINT32_MAX / 1000) {
        return UINT32_MAX;
    }
    return static_cast<std::uint32_t>(frames * 1000 / rate);
}

std::string LengthText(const TrackFacts& facts) {
    return facts.hasLength ? std::to_string(facts.length) : std::string();
}

std::string DamageNotice(const std::string& name, std::uint32_t damagedCount, std::size_t total) {
    if (damagedCount == 0) {
        return {};
    }
    return name + " is damaged: " + std::to_string(damagedCount) + " of " + std::to_string(total) +
           (total == 1 ? " track" : " tracks") + (damagedCount == 1 ? " lies" : " lie") +
           " outside the file.";
}

std::string BitrateText(const TrackFacts& facts) {
    if (facts.damaged) {
        return kDamagedText;  // whatever its first bytes tell, the track cannot be read whole
    }
    if (!facts.hasBytes) {
        return {};
    }
    switch (facts.kind) {
        case TrackKind::kAudio:
            return facts.hasFormat
                       ? std::to_string(facts.rate) + "Hz," + std::to_string(facts.channels) + "Ch"
                       : kUnknownFormat;
        case TrackKind::kContainer:
            return kContainerText;
        case TrackKind::kUnsupported:
            return kUnsupportedText;
        case TrackKind::kUnknown:
            break;
    }
    return {};
}

TrackRow MakeTrackRow(std::string name, const TrackFacts& facts) {
    TrackRow row;
    row.name = std::move(name);
    row.length = LengthText(facts);
    row.bitrate = BitrateText(facts);
    if (facts.hasLength) {
        row.lengthValue = facts.length;
    }
    row.kind = facts.kind;
    row.rate = facts.rate;
    row.channels = facts.channels;
    if (facts.hasDuration) {
        row.milliseconds = facts.milliseconds;
    }
    row.damaged = facts.damaged;
    return row;
}

TrackFacts FactsOf(const TrackRow& row) {
    TrackFacts facts;
    facts.hasLength = row.lengthValue.has_value();
    facts.length = row.lengthValue.value_or(0);
    facts.kind = row.kind;
    facts.hasBytes = !row.bitrate.empty() && !row.damaged;
    facts.hasFormat = row.kind == TrackKind::kAudio && row.bitrate != kUnknownFormat;
    facts.rate = row.rate;
    facts.channels = static_cast<std::uint16_t>(row.channels);
    facts.hasDuration = row.milliseconds.has_value();
    facts.milliseconds = row.milliseconds.value_or(0);
    facts.lengthRead = true;
    facts.described = true;
    facts.damaged = row.damaged;
    return facts;
}

namespace {

// A track whose length counts samples (an AIX container's) lasts exactly length / rate: the
// estimate from the decoder's own measure is replaced once both facts are known.
void TakeDurationFromSamples(const ExplorerSession& container, TrackFacts& facts) {
    constexpr std::uint64_t kMillisecondsPerSecond = 1000;
    if (!facts.lengthRead || !facts.described || !facts.hasLength || facts.rate == 0 ||
        facts.kind != TrackKind::kAudio || !container.Plugin().Serves("AIX")) {
        return;
    }
    const std::uint64_t milliseconds =
        std::uint64_t{facts.length} * kMillisecondsPerSecond / facts.rate;
    facts.hasDuration = true;
    facts.milliseconds =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(milliseconds, UINT32_MAX));
}

}  // namespace

void ReadTrackLength(const ExplorerSession& container, const std::string& name, TrackFacts& facts,
                     bool damagedContainer) {
    const std::optional<std::uint32_t> length = container.Length(name);
    facts.hasLength = length.has_value();
    facts.length = length.value_or(0);
    facts.damaged = damagedContainer && container.IsDamaged(name);
    facts.lengthRead = true;
}

// The track's bytes stay held until the decoder took them (for AIX containers the pointer is a
// record selecting this track).
void DescribeTrack(const PluginHost& host, const ExplorerSession& container,
                   const std::string& name, TrackFacts& facts, std::optional<LoopPoints>* loop) {
    facts.kind = TrackKind::kUnknown;
    facts.hasBytes = false;
    facts.hasFormat = false;
    facts.rate = 0;
    facts.channels = 0;
    facts.hasDuration = false;
    facts.milliseconds = 0;
    facts.described = true;
    const TrackBytes track = container.Track(name);
    if (!track || track.Size() == 0) {
        // Nothing to read; still, a name no plug-in serves is unsupported whatever it holds.
        if (!host.FindDecoder(name) && !host.FindExplorer(name)) {
            facts.kind = TrackKind::kUnsupported;
        }
        return;
    }
    facts.hasBytes = true;
    if (host.FindDecoder(name)) {
        std::string ignored;
        const DecoderSessionPtr stream = host.OpenStream(name, track.Data(), track.Size(), ignored);
        if (!stream) {
            return;
        }
        const std::optional<WAVEFORMATEX> format = stream->SourceFormat().value;
        facts.kind = TrackKind::kAudio;
        if (format) {
            facts.hasFormat = true;
            facts.rate = format->nSamplesPerSec;
            facts.channels = format->nChannels;
        }
        if (loop != nullptr) {
            *loop = stream->Loop();
        }
        // Last: it decodes the stream's first block.
        if (const std::optional<std::uint32_t> milliseconds = StreamMilliseconds(*stream)) {
            facts.hasDuration = true;
            facts.milliseconds = *milliseconds;
        }
        return;
    }
    facts.kind = host.FindExplorer(name) ? TrackKind::kContainer : TrackKind::kUnsupported;
}

void ContainerFacts::ReadLength(const std::string& name, TrackFacts& facts) {
    ReadTrackLength(container_, name, facts, damaged_);
    TakeDurationFromSamples(container_, facts);
}

void ContainerFacts::Describe(const std::string& name, TrackFacts& facts) {
    DescribeTrack(host_, container_, name, facts);
    TakeDurationFromSamples(container_, facts);
}

const char* LengthUnit(const ExplorerPlugin& explorer) {
    return explorer.Serves("AIX") ? "samples" : "bytes";
}

std::optional<std::vector<std::string>> ListTrackNames(const ExplorerSession& container) {
    if (!container.IsOpen()) {
        return std::nullopt;
    }
    return container.ListNames().value;
}

std::optional<std::vector<TrackRow>> ListTracks(const PluginHost& host,
                                                const ExplorerSession& container,
                                                std::optional<std::string>* listText) {
    if (!container.IsOpen()) {
        return std::nullopt;
    }
    std::optional<std::vector<TrackRow>> rows;
    // The listing and every row's calls see one state of the container.
    container.Exclusively([&] {
        PluginAnswer<std::optional<std::vector<std::string>>> listed = container.ListNames();
        if (!listed.value) {
            if (listText != nullptr) {
                *listText = listed.text;
            }
            return;
        }
        rows.emplace();
        rows->reserve(listed.value->size());
        // Rows are asked about damage only in a damaged container.
        const bool damaged = container.DamagedCount() != 0;
        for (std::string& name : *listed.value) {
            TrackFacts facts;
            std::optional<LoopPoints> loop;
            ReadTrackLength(container, name, facts, damaged);
            DescribeTrack(host, container, name, facts, &loop);
            TakeDurationFromSamples(container, facts);
            rows->push_back(MakeTrackRow(std::move(name), facts));
            rows->back().loop = loop;
        }
    });
    return rows;
}

}  // namespace fogbell
