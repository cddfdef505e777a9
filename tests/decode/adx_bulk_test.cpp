// The ADX stream's many-group decode (DecodeGroupsPast, what each one-second block uses) against
// the same stream decoded one group at a time: the same samples, the same stop for every room,
// and the same end at the sample count, at an end marker or where the bytes run out.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "adx_builder.h"
#include "adx_stream.h"

namespace fogbell::adx {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Pcm = std::vector<std::int16_t>;

struct Calls {
    Pcm samples;
    std::vector<std::size_t> made;  // samples each call wrote
    std::vector<std::uint32_t> positions;
};

void Open(FrameStream& stream, const Bytes& bytes) {
    Header h;
    EXPECT_EQ(ReadHeader(bytes.data(), static_cast<std::uint32_t>(bytes.size()), h),
              HeaderStatus::kOk);
    stream.Attach(bytes.data(), static_cast<std::uint32_t>(bytes.size()), h);
}

// Calls with the given rooms (repeating the list) until a call writes nothing.
Calls Bulk(const Bytes& bytes, const std::vector<std::size_t>& rooms) {
    FrameStream stream;
    Open(stream, bytes);
    Calls run;
    for (std::size_t call = 0;; ++call) {
        const std::size_t room = rooms[call % rooms.size()];
        Pcm out(room + kMaxGroupSamples, 0);
        const std::size_t n = stream.DecodeGroupsPast(out.data(), room);
        run.made.push_back(n);
        run.positions.push_back(stream.Position());
        if (n == 0) {
            break;
        }
        run.samples.insert(run.samples.end(), out.begin(), out.begin() + n);
    }
    return run;
}

// The same calls made of single groups: groups until more than room samples, or the end.
Calls OneByOne(const Bytes& bytes, const std::vector<std::size_t>& rooms) {
    FrameStream stream;
    Open(stream, bytes);
    Calls run;
    for (std::size_t call = 0;; ++call) {
        const std::size_t room = rooms[call % rooms.size()];
        std::size_t made = 0;
        while (made <= room) {
            std::int16_t group[kMaxGroupSamples];
            const std::size_t n = stream.DecodeGroup(group);
            if (n == 0) {
                break;
            }
            run.samples.insert(run.samples.end(), group, group + n);
            made += n;
        }
        run.made.push_back(made);
        run.positions.push_back(stream.Position());
        if (made == 0) {
            break;
        }
    }
    return run;
}

Bytes Frames(std::mt19937& rng, std::size_t frames) {
    Bytes bytes(frames * 18);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(rng());
    }
    for (std::size_t f = 0; f < frames; ++f) {
        bytes[f * 18] &= 0x7F;  // loud and quiet scales, none an end marker
    }
    return bytes;
}

TEST(AdxBulk, ManyGroupsAtOnceEqualOneGroupAtATime) {
    std::mt19937 rng(21);
    for (int run = 0; run < 400; ++run) {
        // Mono and stereo: other channel counts are refused by the header.
        const auto channels = static_cast<std::uint8_t>(1 + rng() % 2);
        const std::size_t frameChannels = channels;
        const std::size_t groups = 1 + rng() % 30;
        Bytes frames = Frames(rng, groups * frameChannels);
        test::AdxOptions o;
        o.channels = channels;
        o.rate = run % 3 == 0 ? 48000 : 44100;
        o.totalSamples = static_cast<std::uint32_t>(rng() % (groups * 32 + 80));
        switch (rng() % 3) {
            case 0:  // an end marker in some frame
                frames[(rng() % (groups * frameChannels)) * 18] |= 0x80;
                break;
            case 1:  // bytes that end inside a group
                o.totalSamples = static_cast<std::uint32_t>(groups * 32 + 500);
                break;
            default:
                break;
        }
        Bytes bytes = test::BuildAdx(o, frames);
        if (rng() % 2 == 0) {
            bytes.resize(bytes.size() - rng() % (18 * frameChannels));
        }
        std::vector<std::size_t> rooms;
        for (std::size_t i = 0; i < 1 + rng() % 4; ++i) {
            rooms.push_back(rng() % (frameChannels * 32 * 6));
        }
        const Calls bulk = Bulk(bytes, rooms);
        const Calls single = OneByOne(bytes, rooms);
        ASSERT_EQ(bulk.samples, single.samples) << "run " << run;
        ASSERT_EQ(bulk.made, single.made) << "run " << run;
        ASSERT_EQ(bulk.positions, single.positions) << "run " << run;
    }
}

// Exactly what the formula gives, through the stream, for a long stereo stream in one call.
TEST(AdxBulk, ALongStereoStreamInOneCallMatchesTheReference) {
    const std::size_t groups = 500;
    const Bytes frames = test::AdxFrames(groups, 2, 77);
    test::AdxOptions o;
    o.channels = 2;
    o.totalSamples = groups * 32;
    const Bytes bytes = test::BuildAdx(o, frames, true);
    FrameStream stream;
    Open(stream, bytes);
    Pcm out(groups * 64 + kMaxGroupSamples);
    ASSERT_EQ(stream.DecodeGroupsPast(out.data(), out.size()), groups * 64);
    out.resize(groups * 64);
    EXPECT_EQ(out, test::ReferenceAdx(frames, 2, groups, 29336, 13136));
    EXPECT_EQ(stream.Position(), groups * 32);
    EXPECT_EQ(stream.DecodeGroupsPast(out.data(), 0), 0u);
}

}  // namespace
}  // namespace fogbell::adx
