#include "host/tracks/track_listing.h"

namespace fogbell {
namespace {

constexpr const char* kUnknownFormat = "Unknown";
constexpr const char* kContainerText = "..";
constexpr const char* kUnsupportedText = "Unsupported";
constexpr const char* kDamagedText = "Damaged";

}  // namespace

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
    facts.lengthRead = true;
    facts.described = true;
    facts.damaged = row.damaged;
    return facts;
}

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
        return;
    }
    facts.kind = host.FindExplorer(name) ? TrackKind::kContainer : TrackKind::kUnsupported;
}

void ContainerFacts::ReadLength(const std::string& name, TrackFacts& facts) {
    ReadTrackLength(container_, name, facts, damaged_);
}

void ContainerFacts::Describe(const std::string& name, TrackFacts& facts) {
    DescribeTrack(host_, container_, name, facts);
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
            rows->push_back(MakeTrackRow(std::move(name), facts));
            rows->back().loop = loop;
        }
    });
    return rows;
}

}  // namespace fogbell
