#include "host/audio/audio_input.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>

#include "host/audio/sampler_loop.h"
#include "host/system/system_files.h"
#include "text/ascii_text.h"

namespace fogbell {
namespace {

// The first bytes read to recognise a file (the layout in the header).
constexpr std::size_t kProbeBytes = 12;
constexpr std::size_t kFormTagAt = 8;  // "WAVE" of RIFF, "AIFF"/"AIFC" of FORM
constexpr std::size_t kTagBytes = 4;
constexpr unsigned char kMpegSyncFirst = 0xFF;
constexpr unsigned char kMpegSyncSecond = 0xE0;  // the top three bits of the second byte

// Signatures and the names that route them to the decoder of their format.
struct Signature {
    const char* head;  // at offset 0
    const char* form;  // at kFormTagAt, or null
    const char* route;
};
constexpr std::array<Signature, 5> kSignatures{{
    {"RIFF", "WAVE", "input.wav"},
    {"fLaC", nullptr, "input.flac"},
    {"OggS", nullptr, "input.ogg"},
    {"FORM", "AIFF", "input.aiff"},
    {"FORM", "AIFC", "input.aifc"},
}};
constexpr const char* kMp3Route = "input.mp3";
constexpr const char* kId3 = "ID3";
constexpr std::size_t kId3Bytes = 3;

// The formats whose files the encoders write: a file of one goes into a track as it is.
constexpr std::array<const char*, 2> kEncodedStreams{"ADX", "XMD"};

// Up to kProbeBytes of the file's start; fewer for a shorter file, none when it cannot be read.
std::string Probe(const std::string& path) {
    std::ifstream in(StreamPath(path), std::ios::binary);
    std::array<char, kProbeBytes> head{};
    in.read(head.data(), head.size());
    return std::string(head.data(),
                       static_cast<std::size_t>(std::max<std::streamsize>(0, in.gcount())));
}

// The route the file's first bytes call for, or "".
std::string SignatureRoute(const std::string& head) {
    for (const Signature& s : kSignatures) {
        if (head.size() >= kFormTagAt + kTagBytes && head.compare(0, kTagBytes, s.head) == 0 &&
            (s.form == nullptr || head.compare(kFormTagAt, kTagBytes, s.form) == 0)) {
            return s.route;
        }
    }
    if (head.size() >= kId3Bytes && head.compare(0, kId3Bytes, kId3) == 0) {
        return kMp3Route;
    }
    if (head.size() >= 2 && static_cast<unsigned char>(head[0]) == kMpegSyncFirst &&
        (static_cast<unsigned char>(head[1]) & kMpegSyncSecond) == kMpegSyncSecond) {
        return kMp3Route;
    }
    return "";
}

}  // namespace

std::string InputRoute(const PluginHost& host, const std::string& path) {
    if (host.FindDecoder(path)) {
        return path;
    }
    const std::string route = SignatureRoute(Probe(path));
    return !route.empty() && host.FindDecoder(route) ? route : "";
}

bool IsWaveFile(const std::string& path) {
    return SignatureRoute(Probe(path)) == kSignatures[0].route;
}

std::optional<LoopPoints> InputLoop(const PluginHost& host, const std::string& route,
                                    const std::string& path) {
    if (IsWaveFile(path)) {
        return ReadSamplerLoop(path);
    }
    std::string ignored;
    constexpr std::int32_t kSource = -1;
    const DecoderSessionPtr stream = host.OpenStreamAs(route, path, kSource, kSource, ignored);
    return stream ? stream->Loop() : std::nullopt;
}

bool IsEncodedStreamExtension(const std::string& extension) {
    for (const char* stream : kEncodedStreams) {
        if (EqualNoCaseAscii(extension, stream)) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> ConvertedExtensions(const PluginHost& host) {
    std::vector<std::string> extensions{"WAV"};
    for (const std::string& extension : host.DecoderExtensions()) {
        if (!IsEncodedStreamExtension(extension) &&
            std::find_if(extensions.begin(), extensions.end(), [&](const std::string& e) {
                return EqualNoCaseAscii(e, extension);
            }) == extensions.end()) {
            extensions.push_back(extension);
        }
    }
    return extensions;
}

}  // namespace fogbell
