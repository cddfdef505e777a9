// What the encoders report when they refuse a format or a stream.
#pragma once

namespace fogbell::encode {

enum class EncodeStatus {
    kOk,
    kBadChannels,  // the format carries one or two channels
    kBadRate,      // a rate of 0, or above what the header's field holds
    kTooLong,      // more samples or bytes than the header's length field holds
    kBadLoop,      // a loop that is empty or reaches past the stream's end
};

// The text for the user.
const char* StatusText(EncodeStatus status);

}  // namespace fogbell::encode
