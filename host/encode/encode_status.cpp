#include "host/encode/encode_status.h"

namespace fogbell::encode {

const char* StatusText(EncodeStatus status) {
    switch (status) {
        case EncodeStatus::kOk:
            return "OK";
        case EncodeStatus::kBadChannels:
            return "ADX and XMD streams carry one or two channels.";
        case EncodeStatus::kBadRate:
            return "The sample rate does not fit the format.";
        case EncodeStatus::kBadLoop:
            return "The loop must start before it ends and end within the sound.";
        case EncodeStatus::kTooLong:
            break;
    }
    return "The sound is too long for the format.";
}

}  // namespace fogbell::encode
