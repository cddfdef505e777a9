// The demo archive's sounds, synthesised here so that a first play sounds like its name: a title
// tune, a harbour tune, two battle layers, a bell, wind and spoken-like lines. Every sound peaks
// at kPeak (about -6 dBFS) and has no DC offset; noise comes from fixed seeds, so the same
// samples come out on every run.
#pragma once

#include <cstdint>
#include <vector>

namespace fogbell::demo {

// The peak of every sound, as a fraction of full scale (-6 dBFS).
inline constexpr double kPeak = 0.5;

struct Sound {
    std::uint16_t channels = 1;
    std::uint32_t rate = 44100;
    std::vector<std::int16_t> samples;  // interleaved when stereo
    // A loop over [loopStart, loopEnd) in samples per channel; none when loopEnd is 0.
    std::uint32_t loopStart = 0;
    std::uint32_t loopEnd = 0;

    std::uint32_t Frames() const { return static_cast<std::uint32_t>(samples.size() / channels); }
};

// 44100 Hz stereo: a one-bar intro, then a four-bar tune whose loop points repeat it without a
// seam (every note has died away by the end of its bar's last beat).
Sound TitleTheme();

// 32000 Hz stereo: a slow harp arpeggio in three-four time over waves on a shore.
Sound HarborTheme();

// 44100 Hz stereo, two bars at a fast tempo: layer 0 drums and bass, layer 1 the lead.
Sound BattleLayer(int layer);

// A struck bell: inharmonic partials, each decaying at its own rate, the two channels beating
// slowly against each other.
Sound Bell(std::uint16_t channels, std::uint32_t rate, double seconds, double pitch);

// 22050 Hz mono: gusting wind that repeats without a seam.
Sound Wind(double seconds);

// A spoken-like line of mono sound: a voice source gliding in pitch through three vowel
// resonances, one envelope per syllable. Lines differ by speaker and intonation.
enum class Line { kGreeting, kReply, kQuestion, kCall };
Sound Voice(Line line, std::uint32_t rate);

}  // namespace fogbell::demo
