// Float frames as the 16-bit PCM that sndvoice hands out: one or two channels as they are, three
// or more mixed down to stereo (the program plays, draws and encodes one or two channels).
//
// Samples: v * 32768 rounded half away from zero, clipped to -32768..32767, NaN as 0. libsndfile
// reads a 16-bit source as s / 32768, so it comes back exactly; a 24- or 32-bit source keeps its
// top 16 bits, rounded.
//
// Mixdown, by each channel's position: front left and right (and those beside the centre) go to
// their own side at full gain; the centre to both sides at -3 dB (gain sqrt(1/2)); side, rear and
// top channels of one side to that side at -3 dB; rear and top centres, and channels of unknown
// position, to both at -6 dB (gain 1/2); the low-frequency channel nowhere. All gains are then
// scaled by one factor so that neither side's gains add up to more than 1: full-scale input never
// clips, and the balance between the sides stays.
//
// Positions come from the file's channel map when libsndfile has one that names every channel,
// else from the order the codec fixes: Vorbis order for Ogg files (Vorbis and Opus), and the
// WAVE order as FLAC fixes it for every other file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fogbell::snd {

enum class Position {
    kLeft,
    kRight,
    kCentre,
    kLeftSurround,   // side, rear or top of the left
    kRightSurround,  // side, rear or top of the right
    kRearCentre,     // rear or top centre
    kLowFrequency,
    kUnknown,
};

// The channels the handed-out PCM has: 1 or 2 as the file has, 2 for more.
inline std::uint32_t OutputChannels(std::uint32_t fileChannels) {
    return fileChannels > 2 ? 2 : fileChannels;
}

// The position of a channel that libsndfile's map names (an SF_CHANNEL_MAP_* value); kUnknown for
// a value it does not name.
Position PositionOfMapEntry(int entry);

// Positions of every channel from libsndfile's map: empty when the map is missing, not one entry
// per channel, or names a channel with a value outside libsndfile's list (the map is then not
// trusted at all).
std::vector<Position> PositionsFromMap(const std::vector<int>& map, std::uint32_t channels);

// The positions the codec's standard order gives channels channels: Vorbis order (Ogg) or the
// WAVE order of FLAC (everything else); kUnknown beyond the orders' eight channels.
std::vector<Position> DefaultPositions(std::uint32_t channels, bool vorbisOrder);

// One float sample as 16-bit PCM (the rule above).
std::int16_t FloatToPcm16(double value);

// Converts samples float samples into 16-bit PCM.
void ToPcm16(const float* in, std::size_t samples, std::int16_t* out);

// The stereo mixdown of one file's channels.
class Mixdown {
  public:
    // Gains for channels at these positions (one per channel, at least one).
    explicit Mixdown(const std::vector<Position>& positions);

    // Mixes frames frames of the file's interleaved channels into frames stereo frames.
    void Mix(const float* in, std::size_t frames, std::int16_t* out) const;

    double LeftGain(std::size_t channel) const { return left_[channel]; }
    double RightGain(std::size_t channel) const { return right_[channel]; }

  private:
    std::vector<double> left_;
    std::vector<double> right_;
};

}  // namespace fogbell::snd
