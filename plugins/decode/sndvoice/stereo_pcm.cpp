#include "stereo_pcm.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>

namespace fogbell::snd {
namespace {

constexpr double kFullScale = 32768.0;
constexpr double kInt16Max = 32767.0;
constexpr double kInt16Min = -32768.0;
constexpr double kMinus3dB = 0.70710678118654752;  // sqrt(1/2)
constexpr double kMinus6dB = 0.5;

using P = Position;

// The standard orders of one to eight channels (index: channel count - 1).
constexpr P kVorbisOrder[8][8] = {
    {P::kCentre},
    {P::kLeft, P::kRight},
    {P::kLeft, P::kCentre, P::kRight},
    {P::kLeft, P::kRight, P::kLeftSurround, P::kRightSurround},
    {P::kLeft, P::kCentre, P::kRight, P::kLeftSurround, P::kRightSurround},
    {P::kLeft, P::kCentre, P::kRight, P::kLeftSurround, P::kRightSurround, P::kLowFrequency},
    {P::kLeft, P::kCentre, P::kRight, P::kLeftSurround, P::kRightSurround, P::kRearCentre,
     P::kLowFrequency},
    {P::kLeft, P::kCentre, P::kRight, P::kLeftSurround, P::kRightSurround, P::kLeftSurround,
     P::kRightSurround, P::kLowFrequency},
};
constexpr P kWaveOrder[8][8] = {
    {P::kCentre},
    {P::kLeft, P::kRight},
    {P::kLeft, P::kRight, P::kCentre},
    {P::kLeft, P::kRight, P::kLeftSurround, P::kRightSurround},
    {P::kLeft, P::kRight, P::kCentre, P::kLeftSurround, P::kRightSurround},
    {P::kLeft, P::kRight, P::kCentre, P::kLowFrequency, P::kLeftSurround, P::kRightSurround},
    {P::kLeft, P::kRight, P::kCentre, P::kLowFrequency, P::kRearCentre, P::kLeftSurround,
     P::kRightSurround},
    {P::kLeft, P::kRight, P::kCentre, P::kLowFrequency, P::kLeftSurround, P::kRightSurround,
     P::kLeftSurround, P::kRightSurround},
};

// The gains of one position on the left and the right side.
void GainsOf(Position position, double& left, double& right) {
    left = right = 0.0;
    switch (position) {
        case P::kLeft:
            left = 1.0;
            break;
        case P::kRight:
            right = 1.0;
            break;
        case P::kCentre:
            left = right = kMinus3dB;
            break;
        case P::kLeftSurround:
            left = kMinus3dB;
            break;
        case P::kRightSurround:
            right = kMinus3dB;
            break;
        case P::kRearCentre:
        case P::kUnknown:
            left = right = kMinus6dB;
            break;
        case P::kLowFrequency:
            break;
    }
}

}  // namespace

Position PositionOfMapEntry(int entry) {
    switch (entry) {
        case SF_CHANNEL_MAP_LEFT:
        case SF_CHANNEL_MAP_FRONT_LEFT:
        case SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER:
            return P::kLeft;
        case SF_CHANNEL_MAP_RIGHT:
        case SF_CHANNEL_MAP_FRONT_RIGHT:
        case SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER:
            return P::kRight;
        case SF_CHANNEL_MAP_MONO:
        case SF_CHANNEL_MAP_CENTER:
        case SF_CHANNEL_MAP_FRONT_CENTER:
            return P::kCentre;
        case SF_CHANNEL_MAP_REAR_LEFT:
        case SF_CHANNEL_MAP_SIDE_LEFT:
        case SF_CHANNEL_MAP_TOP_FRONT_LEFT:
        case SF_CHANNEL_MAP_TOP_REAR_LEFT:
            return P::kLeftSurround;
        case SF_CHANNEL_MAP_REAR_RIGHT:
        case SF_CHANNEL_MAP_SIDE_RIGHT:
        case SF_CHANNEL_MAP_TOP_FRONT_RIGHT:
        case SF_CHANNEL_MAP_TOP_REAR_RIGHT:
            return P::kRightSurround;
        case SF_CHANNEL_MAP_REAR_CENTER:
        case SF_CHANNEL_MAP_TOP_CENTER:
        case SF_CHANNEL_MAP_TOP_FRONT_CENTER:
        case SF_CHANNEL_MAP_TOP_REAR_CENTER:
            return P::kRearCentre;
        case SF_CHANNEL_MAP_LFE:
            return P::kLowFrequency;
        default:
            return P::kUnknown;
    }
}

std::vector<Position> PositionsFromMap(const std::vector<int>& map, std::uint32_t channels) {
    if (map.size() != channels) {
        return {};
    }
    std::vector<Position> positions;
    for (const int entry : map) {
        if (entry <= SF_CHANNEL_MAP_INVALID || entry >= SF_CHANNEL_MAP_MAX) {
            return {};
        }
        positions.push_back(PositionOfMapEntry(entry));
    }
    return positions;
}

std::vector<Position> DefaultPositions(std::uint32_t channels, bool vorbisOrder) {
    std::vector<Position> positions(channels, P::kUnknown);
    if (channels >= 1 && channels <= 8) {
        const P* order = vorbisOrder ? kVorbisOrder[channels - 1] : kWaveOrder[channels - 1];
        std::copy(order, order + channels, positions.begin());
    }
    return positions;
}

std::int16_t FloatToPcm16(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    const double scaled = std::round(value * kFullScale);  // half away from zero
    return static_cast<std::int16_t>(std::clamp(scaled, kInt16Min, kInt16Max));
}

void ToPcm16(const float* in, std::size_t samples, std::int16_t* out) {
    for (std::size_t i = 0; i < samples; ++i) {
        out[i] = FloatToPcm16(static_cast<double>(in[i]));
    }
}

Mixdown::Mixdown(const std::vector<Position>& positions)
    : left_(positions.size()), right_(positions.size()) {
    double leftSum = 0.0, rightSum = 0.0;
    for (std::size_t c = 0; c < positions.size(); ++c) {
        GainsOf(positions[c], left_[c], right_[c]);
        leftSum += left_[c];
        rightSum += right_[c];
    }
    const double largest = std::max(leftSum, rightSum);
    if (largest > 1.0) {
        for (std::size_t c = 0; c < positions.size(); ++c) {
            left_[c] /= largest;
            right_[c] /= largest;
        }
    }
}

void Mixdown::Mix(const float* in, std::size_t frames, std::int16_t* out) const {
    const std::size_t channels = left_.size();
    for (std::size_t f = 0; f < frames; ++f) {
        const float* frame = in + f * channels;
        double left = 0.0, right = 0.0;
        for (std::size_t c = 0; c < channels; ++c) {
            left += left_[c] * static_cast<double>(frame[c]);
            right += right_[c] * static_cast<double>(frame[c]);
        }
        out[2 * f] = FloatToPcm16(left);
        out[2 * f + 1] = FloatToPcm16(right);
    }
}

}  // namespace fogbell::snd
