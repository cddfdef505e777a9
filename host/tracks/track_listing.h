// The rows of the track list: each track's name, its length and its sound format, as the
// window's three columns show them. A row's length and format come from the plug-ins: the
// command line reads them for every row at once (ListTracks); the window's table reads them
// when a row is first shown or sorted by them (ContainerFacts), through the same calls, so that
// both show the same texts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/plugins/plugin_host.h"

namespace fogbell {

// What a row holds, as its Bitrate cell tells it.
enum class TrackKind : std::uint8_t {
    kAudio,        // a decoder opened it ("%uHz,%uCh", or "Unknown" without a source format)
    kContainer,    // an explorer serves its extension ("..")
    kUnsupported,  // no plug-in serves its extension ("Unsupported")
    kUnknown,      // a plug-in serves its extension but the track gave no bytes or the
                   // decoder refused them (empty cell)
};

// A track's length, format and duration as values: 24 bytes, so that a table of a million rows
// keeps them for every row. Filled in two steps, each marked done: the length (one explorer call,
// and one more in a damaged container), then the kind, format and duration (a decoder opened on
// the track). The flags are whole bools: GCC 12 at -O2 read bit-field flags with default
// initializers back wrongly after the second step here (a damaged row lost its mark).
struct TrackFacts {
    std::uint32_t length = 0;        // fnGetLengthFile, when hasLength
    std::uint32_t rate = 0;          // the source format's, when hasFormat
    std::uint32_t milliseconds = 0;  // the decoded sound's duration, when hasDuration
    std::uint16_t channels = 0;
    TrackKind kind = TrackKind::kUnknown;
    bool hasLength = false;    // the explorer has fnGetLengthFile
    bool hasBytes = false;     // the explorer gave bytes for the track (else the cell is empty)
    bool hasFormat = false;    // a decoder gave the source format
    bool hasDuration = false;  // the decoder gave its data size and output format
    bool lengthRead = false;
    bool described = false;  // kind, format and duration are known
    bool damaged = false;    // the track lies wholly or partly outside the container's bytes
};

// The Length cell: "%u" of the length, empty without one.
std::string LengthText(const TrackFacts& facts);
// The Bitrate cell: "Damaged" for a track outside the container's bytes, else "%uHz,%uCh",
// "Unknown", ".." (a container), "Unsupported", or empty for a track without bytes or one that
// its decoder refused.
std::string BitrateText(const TrackFacts& facts);

// The Time cell: the duration as "M:SS", or "H:MM:SS" from an hour on (whole seconds); empty
// without one.
std::string DurationText(std::optional<std::uint32_t> milliseconds);
std::string DurationText(const TrackFacts& facts);

// The duration of a decoded stream in milliseconds: its data size in frames of the output
// format over the rate; none when the decoder gives no size or no usable format.
std::optional<std::uint32_t> StreamMilliseconds(const DecoderSession& stream);

struct TrackRow {
    std::string name;     // exactly as the explorer lists it; commands pass it back
    std::string length;   // "%u" of fnGetLengthFile, empty without that entry point
    std::string bitrate;  // "Damaged", "%uHz,%uCh", "Unknown", "..", "Unsupported" or empty
    // The same as values: the length (none without fnGetLengthFile), the kind, and the source
    // format's rate and channels (0 when not known).
    std::optional<std::uint32_t> lengthValue;
    TrackKind kind = TrackKind::kUnknown;
    std::uint32_t rate = 0;
    std::uint32_t channels = 0;
    std::optional<std::uint32_t> milliseconds;  // the duration, when its decoder tells it
    std::optional<LoopPoints> loop;             // the stream's loop, when its decoder gives one
    bool damaged = false;  // it lies wholly or partly outside the container's bytes
};

// The row of a named track with these facts (without a loop).
TrackRow MakeTrackRow(std::string name, const TrackFacts& facts);
// The facts a row's values and texts tell, both steps done.
TrackFacts FactsOf(const TrackRow& row);

// Reads the track's length from the container (fnGetLengthFile) into facts, and whether it is
// damaged when the container is (damagedContainer: its DamagedCount is not 0).
void ReadTrackLength(const ExplorerSession& container, const std::string& name, TrackFacts& facts,
                     bool damagedContainer = false);
// Reads the track's kind, format and duration into facts: the track is opened once by the
// decoder serving its extension, only to read its formats and size (and its loop into loop,
// when given).
void DescribeTrack(const PluginHost& host, const ExplorerSession& container,
                   const std::string& name, TrackFacts& facts,
                   std::optional<LoopPoints>* loop = nullptr);

// Where a table's rows that are not filled yet get their facts; called on the table's thread,
// for one row at a time.
class TrackFactsSource {
  public:
    virtual ~TrackFactsSource() = default;
    // The length only, enough to sort by it (ReadTrackLength).
    virtual void ReadLength(const std::string& name, TrackFacts& facts) = 0;
    // The kind and the format (DescribeTrack).
    virtual void Describe(const std::string& name, TrackFacts& facts) = 0;
};

// The facts of an open container's tracks, read through its explorer and the decoders. The
// container must stay open while the source is used.
class ContainerFacts final : public TrackFactsSource {
  public:
    // damagedCount: the container's DamagedCount, asked once when it was opened.
    ContainerFacts(const PluginHost& host, const ExplorerSession& container,
                   std::uint32_t damagedCount = 0)
        : host_(host), container_(container), damaged_(damagedCount != 0) {}
    void ReadLength(const std::string& name, TrackFacts& facts) override;
    void Describe(const std::string& name, TrackFacts& facts) override;

  private:
    const PluginHost& host_;
    const ExplorerSession& container_;
    bool damaged_;
};

// What opening a container whose damagedCount of total tracks lie outside its bytes says: "NAME
// is damaged: N of M tracks lie outside the file.", or "" for a whole container.
std::string DamageNotice(const std::string& name, std::uint32_t damagedCount, std::size_t total);

// What the lengths of an explorer's tracks count: "samples" for AIX containers (the total of the
// track's ADX header), "bytes" for every other container.
const char* LengthUnit(const ExplorerPlugin& explorer);

// The container's track names in the explorer's order; nullopt when nothing is open or the
// plug-in gives no list.
std::optional<std::vector<std::string>> ListTrackNames(const ExplorerSession& container);

// Lists a container's tracks in container order (an empty name is a track's too), every row
// filled (ReadTrackLength, DescribeTrack with the loop). Nothing when the container is not open
// or the explorer gives no list. listText, when given, receives the explorer's text when it
// gave no list.
std::optional<std::vector<TrackRow>> ListTracks(const PluginHost& host,
                                                const ExplorerSession& container,
                                                std::optional<std::string>* listText = nullptr);

}  // namespace fogbell
