// The XMD frame decoder's fast path against the formula on frames with every kind of scale and
// stored sample, with any stride; and the stream's many-group decode (DecodeGroupsPast) against
// the same stream decoded one group at a time.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "xmd_builder.h"
#include "xmd_stream.h"

namespace fogbell::xmd {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Pcm = std::vector<std::int16_t>;

// A frame whose scale and stored samples are drawn from the edges as often as from the middle.
Bytes RandomFrame(std::mt19937& rng) {
    Bytes frame(13);
    for (auto& b : frame) {
        b = static_cast<std::uint8_t>(rng());
    }
    static const std::uint16_t kEdges[] = {0, 1, 0x7FFF, 0x8000, 0x8001, 0xFFFF};
    auto put = [&](std::size_t at, std::uint16_t v) {
        frame[at] = static_cast<std::uint8_t>(v);
        frame[at + 1] = static_cast<std::uint8_t>(v >> 8);
    };
    for (std::size_t at : {0u, 2u, 4u}) {
        if (rng() % 3 == 0) {
            put(at, kEdges[rng() % std::size(kEdges)]);
        }
    }
    if (rng() % 4 == 0) {  // every nibble at one extreme
        const std::uint8_t n = rng() % 2 == 0 ? 0x77 : 0x88;
        std::fill(frame.begin() + 6, frame.end(), n);
    }
    return frame;
}

TEST(XmdFast, FramesMatchTheFormulaWithAnyStride) {
    std::mt19937 rng(31);
    for (int run = 0; run < 5000; ++run) {
        const Bytes frame = RandomFrame(rng);  // exactly 13 bytes
        const Pcm want = test::ReferenceXmdFrame(frame.data());
        const std::size_t stride = 1 + rng() % 3;
        Pcm out(16 * stride, 55);
        DecodeFrame(frame.data(), out.data(), stride);
        for (std::size_t i = 0; i < out.size(); ++i) {
            ASSERT_EQ(out[i], i % stride == 0 ? want[i / stride] : 55)
                << "run " << run << " at " << i;
        }
    }
}

struct Calls {
    Pcm samples;
    std::vector<std::size_t> made;
    std::vector<std::uint32_t> positions;
};

void Open(FrameStream& stream, const Bytes& bytes) {
    Header h;
    ASSERT_EQ(ReadHeader(bytes.data(), static_cast<std::uint32_t>(bytes.size()), h),
              HeaderStatus::kOk);
    stream.Attach(bytes.data(), static_cast<std::uint32_t>(bytes.size()), h);
}

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

TEST(XmdFast, ManyGroupsAtOnceEqualOneGroupAtATimeAndTheFormula) {
    std::mt19937 rng(32);
    for (int run = 0; run < 400; ++run) {
        const auto channels = static_cast<std::uint8_t>(1 + rng() % 3);
        const std::size_t frameChannels = channels == 1 ? 1 : 2;
        const std::size_t groups = 1 + rng() % 30;
        Bytes frames;
        for (std::size_t f = 0; f < groups * frameChannels; ++f) {
            const Bytes frame = RandomFrame(rng);
            frames.insert(frames.end(), frame.begin(), frame.end());
        }
        // A length that ends inside the frames, or one past them (the bytes end first).
        const auto length = static_cast<std::uint32_t>(
            rng() % 2 == 0 ? 1 + rng() % (frames.size() + 1) : frames.size() + 1 + rng() % 40);
        Bytes bytes = test::BuildXmd(channels, 22050, length, frames);
        if (rng() % 3 == 0) {
            bytes.resize(bytes.size() - rng() % (13 * frameChannels));
        }
        std::vector<std::size_t> rooms;
        for (std::size_t i = 0; i < 1 + rng() % 4; ++i) {
            rooms.push_back(rng() % (frameChannels * 16 * 6));
        }
        const Calls bulk = Bulk(bytes, rooms);
        const Calls single = OneByOne(bytes, rooms);
        ASSERT_EQ(bulk.samples, single.samples) << "run " << run;
        ASSERT_EQ(bulk.made, single.made) << "run " << run;
        ASSERT_EQ(bulk.positions, single.positions) << "run " << run;
        const std::size_t decoded = bulk.samples.size() / (frameChannels * 16);
        ASSERT_EQ(bulk.samples,
                  test::ReferenceXmd(frames, static_cast<std::uint32_t>(frameChannels), decoded))
            << "run " << run;
    }
}

}  // namespace
}  // namespace fogbell::xmd
