#include "demo_sounds.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>

#include "noise.h"

namespace fogbell::demo {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
constexpr double kFullScale = 32767;
// The high-pass that takes the DC out of every mix: far below any note, so only the offset goes.
constexpr double kDcCutoffHz = 15;

using Channel = std::vector<double>;

std::size_t SamplesOf(double seconds, double rate) {
    return static_cast<std::size_t>(std::lround(seconds * rate));
}

// Equal-temperament pitch of a MIDI note number (69 is A4, 440 Hz).
double NoteHz(int note) {
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

using test::Noise;

// A resonant band-pass with unit gain at its centre and none at 0 Hz (so it adds no DC). The
// centre and the Q may be retuned between samples, which sweeps it.
class BandPass {
  public:
    void Tune(double centre, double q, double rate) {
        const double w = kTwoPi * std::min(centre, 0.45 * rate) / rate;
        const double alpha = std::sin(w) / (2 * q);
        const double a0 = 1 + alpha;
        b0_ = alpha / a0;
        a1_ = -2 * std::cos(w) / a0;
        a2_ = (1 - alpha) / a0;
    }
    double Process(double x) {
        const double y = b0_ * (x - x2_) - a1_ * y1_ - a2_ * y2_;
        x2_ = x1_;
        x1_ = x;
        y2_ = y1_;
        y1_ = y;
        return y;
    }

  private:
    double b0_ = 0, a1_ = 0, a2_ = 0;
    double x1_ = 0, x2_ = 0, y1_ = 0, y2_ = 0;
};

// A partial of a tone: its frequency as a multiple of the note's, its level, and how fast it
// dies away (per second).
struct Partial {
    double ratio;
    double gain;
    double decay;
};

struct Instrument {
    std::vector<Partial> partials;
    double attack;   // seconds to full level
    double release;  // seconds of fade that end exactly at the note's end
};

// A note in beats of its piece: where it starts, how long it lasts, its MIDI number.
struct Note {
    double beat;
    double beats;
    int key;
};

// Channels being mixed at one rate.
class Mix {
  public:
    Mix(double rate, std::size_t channels, double seconds)
        : rate_(rate), channels_(channels, Channel(SamplesOf(seconds, rate), 0.0)) {}

    double Rate() const { return rate_; }
    std::size_t Length() const { return channels_[0].size(); }
    Channel& operator[](std::size_t c) { return channels_[c]; }
    std::vector<Channel>& Channels() { return channels_; }

    // Adds a tone of the instrument from start for seconds, placed by pan (0 left, 1 right;
    // ignored in mono). Its fade ends at its end, or at the mix's end if that comes first, so no
    // note sounds past its own time.
    void AddTone(const Instrument& instrument, double start, double seconds, double hz, double gain,
                 double pan) {
        const std::size_t first = SamplesOf(start, rate_);
        const std::size_t last = std::min(Length(), first + SamplesOf(seconds, rate_));
        if (first >= last) {
            return;
        }
        const double attack = instrument.attack * rate_;
        const double release = instrument.release * rate_;
        const std::size_t count = last - first;
        for (std::size_t i = 0; i < count; ++i) {
            const double t = static_cast<double>(i) / rate_;
            const double envelope = std::min({1.0, (static_cast<double>(i) + 1) / attack,
                                              static_cast<double>(count - i) / release});
            double value = 0;
            for (const Partial& p : instrument.partials) {
                if (hz * p.ratio < 0.45 * rate_) {
                    value += p.gain * std::exp(-p.decay * t) * std::sin(kTwoPi * hz * p.ratio * t);
                }
            }
            Put(first + i, gain * envelope * value, pan);
        }
    }

    // Adds every note of a part, the beat lasting beat seconds, offset seconds after the start.
    void AddPart(const Instrument& instrument, const std::vector<Note>& notes, double beat,
                 double offset, double gain, double pan) {
        for (const Note& n : notes) {
            AddTone(instrument, offset + n.beat * beat, n.beats * beat, NoteHz(n.key), gain, pan);
        }
    }

    // Adds value at sample i, split between the channels by an equal-power pan.
    void Put(std::size_t i, double value, double pan) {
        if (channels_.size() == 1) {
            channels_[0][i] += value;
            return;
        }
        channels_[0][i] += value * std::cos(pan * std::numbers::pi / 2);
        channels_[1][i] += value * std::sin(pan * std::numbers::pi / 2);
    }

  private:
    double rate_;
    std::vector<Channel> channels_;
};

// Removes the DC of a channel with a gentle high-pass.
void RemoveDc(Channel& channel, double rate) {
    const double keep = std::exp(-kTwoPi * kDcCutoffHz / rate);
    double previousIn = 0;
    double previousOut = 0;
    for (double& x : channel) {
        const double out = x - previousIn + keep * previousOut;
        previousIn = x;
        previousOut = out;
        x = out;
    }
}

// The mix as 16-bit sound: DC removed, scaled so that its loudest sample reaches kPeak.
Sound Finish(Mix& mix, std::uint32_t loopStart = 0, std::uint32_t loopEnd = 0) {
    double peak = 0;
    for (Channel& channel : mix.Channels()) {
        RemoveDc(channel, mix.Rate());
        for (const double x : channel) {
            peak = std::max(peak, std::abs(x));
        }
    }
    const double scale = peak > 0 ? kPeak * kFullScale / peak : 0;
    Sound sound;
    sound.channels = static_cast<std::uint16_t>(mix.Channels().size());
    sound.rate = static_cast<std::uint32_t>(mix.Rate());
    sound.loopStart = loopStart;
    sound.loopEnd = loopEnd;
    sound.samples.reserve(mix.Length() * sound.channels);
    for (std::size_t i = 0; i < mix.Length(); ++i) {
        for (std::size_t c = 0; c < sound.channels; ++c) {
            sound.samples.push_back(static_cast<std::int16_t>(std::lround(mix[c][i] * scale)));
        }
    }
    return sound;
}

// The instruments: partials {ratio, gain, decay per second}, then attack and release seconds.
// clang-format off
// A rounded flute-like tone for tunes.
const Instrument kLead{{{1, 1.0, 1.2}, {2, 0.45, 2.0}, {3, 0.22, 3.0}, {4, 0.1, 4.0}, {5, 0.05, 5.0}},
                       0.012, 0.08};
const Instrument kBass{{{1, 1.0, 0.8}, {2, 0.5, 1.5}, {3, 0.2, 2.5}}, 0.01, 0.06};
const Instrument kPad{{{1, 1.0, 0.3}, {2, 0.3, 0.6}}, 0.25, 0.3};
const Instrument kHarp{{{1, 1.0, 1.5}, {2, 0.5, 2.5}, {3, 0.3, 4.0}, {4, 0.15, 6.0}}, 0.004, 0.05};
// Brassy: every harmonic at 1/n, as a sawtooth has them.
const Instrument kBrass{{{1, 1.0, 1.0}, {2, 0.5, 1.2}, {3, 0.33, 1.4}, {4, 0.25, 1.6},
                         {5, 0.2, 1.8}, {6, 0.17, 2.0}, {7, 0.14, 2.2}, {8, 0.12, 2.4}},
                        0.03, 0.05};
const Instrument kPluckBass{{{1, 1.0, 3.0}, {2, 0.5, 3.5}, {3, 0.33, 4.0}, {4, 0.25, 5.0},
                             {5, 0.2, 6.0}, {6, 0.17, 7.0}},
                            0.005, 0.03};
// clang-format on

// Each chord of a part, held for its bar.
void AddChords(Mix& mix, const std::vector<std::vector<int>>& chords, double bar, double offset,
               double gain) {
    for (std::size_t b = 0; b < chords.size(); ++b) {
        for (std::size_t k = 0; k < chords[b].size(); ++k) {
            const double pan = 0.3 + 0.4 * static_cast<double>(k) / chords[b].size();
            mix.AddTone(kPad, offset + b * bar, bar, NoteHz(chords[b][k]), gain, pan);
        }
    }
}

// Filtered noise that swells and ebbs once over the mix, like a wave on a shore.
void AddWaves(Mix& mix, std::size_t channel, std::uint32_t seed, double gain) {
    Noise noise(seed);
    BandPass filter;
    filter.Tune(350, 0.6, mix.Rate());
    const double n = static_cast<double>(mix.Length());
    for (std::size_t i = 0; i < mix.Length(); ++i) {
        const double swell = 0.5 - 0.5 * std::cos(kTwoPi * static_cast<double>(i) / n);
        mix[channel][i] += gain * swell * filter.Process(noise.Next());
    }
}

// A drum: a sine falling from high to low pitch (a kick) and/or a burst of band-passed noise
// (snare, hi-hat), each decaying with its own time.
struct Drum {
    double startHz, endHz, sweep, toneDecay, toneGain;
    double noiseHz, noiseQ, noiseDecay, noiseGain;
    double seconds;
};

void AddDrum(Mix& mix, const Drum& d, double start, Noise& noise) {
    const std::size_t first = SamplesOf(start, mix.Rate());
    if (first >= mix.Length()) {
        return;
    }
    const std::size_t count = std::min(SamplesOf(d.seconds, mix.Rate()), mix.Length() - first);
    BandPass filter;
    filter.Tune(d.noiseHz, d.noiseQ, mix.Rate());
    double phase = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / mix.Rate();
        const double hz = d.endHz + (d.startHz - d.endHz) * std::exp(-t / d.sweep);
        phase += kTwoPi * hz / mix.Rate();
        const double fade = static_cast<double>(count - i) / count;
        const double value =
            d.toneGain * std::exp(-t / d.toneDecay) * std::sin(phase) +
            d.noiseGain * std::exp(-t / d.noiseDecay) * filter.Process(noise.Next());
        mix.Put(first + i, value * fade, 0.5);
    }
}

const Drum kKick{150, 45, 0.03, 0.12, 1.0, 100, 1, 1, 0, 0.3};
const Drum kSnare{185, 185, 1, 0.05, 0.4, 1800, 0.9, 0.06, 1.6, 0.2};
const Drum kHat{0, 0, 1, 1, 0, 8000, 1.2, 0.015, 1.2, 0.06};

// The formants of a vowel in Hz.
struct Vowel {
    char name;
    double f1, f2, f3;
};
constexpr Vowel kVowels[] = {{'a', 730, 1090, 2440},
                             {'e', 530, 1840, 2480},
                             {'i', 270, 2290, 3010},
                             {'o', 570, 840, 2410},
                             {'u', 300, 870, 2240}};
constexpr double kFormantGain[] = {1.0, 0.5, 0.25};
constexpr double kFormantBandwidth[] = {90, 110, 150};

const Vowel& VowelOf(char name) {
    for (const Vowel& v : kVowels) {
        if (v.name == name) {
            return v;
        }
    }
    return kVowels[0];
}

struct Syllable {
    double start;  // seconds: where the vowel starts
    double length;
    char vowel;
    bool hiss;  // a breathy consonant just before the vowel
};

// A line's intonation: the pitch glides from start to a turn (at turnAt of the line) to end.
struct Intonation {
    double startHz, turnHz, endHz, turnAt;
};

// A speaker and a line.
struct LineShape {
    double seconds;
    Intonation pitch;
    double formantScale;  // above 1 for a smaller speaker
    std::vector<Syllable> syllables;
};

// One per Line, in its order.
// clang-format off
const LineShape kLines[] = {
    // kGreeting: a man, falling at the end.
    {2.5, {120, 150, 95, 0.3}, 1.0,
     {{0.08, 0.20, 'a', true}, {0.30, 0.22, 'o', false}, {0.70, 0.18, 'a', false},
      {0.90, 0.16, 'e', false}, {1.08, 0.22, 'e', false}, {1.50, 0.20, 'e', true},
      {1.72, 0.36, 'o', false}, {2.12, 0.26, 'u', false}}},
    // kReply: a woman.
    {1.2, {210, 240, 170, 0.25}, 1.15,
     {{0.07, 0.22, 'e', true}, {0.31, 0.18, 'i', false}, {0.51, 0.34, 'a', false},
      {0.88, 0.26, 'o', false}}},
    // kQuestion: rising at the end.
    {0.9, {175, 165, 250, 0.3}, 1.1, {{0.05, 0.25, 'a', false}, {0.33, 0.45, 'i', false}}},
    // kCall: raised, to be heard from afar.
    {1.5, {150, 190, 140, 0.35}, 1.05,
     {{0.07, 0.25, 'o', true}, {0.34, 0.45, 'a', false}, {0.85, 0.20, 'e', false},
      {1.07, 0.35, 'o', false}}},
};
// clang-format on

// The pitch of a line at time t: straight glides through the turn, with a slight vibrato.
double PitchAt(const LineShape& s, double t) {
    const Intonation& p = s.pitch;
    const double turn = p.turnAt * s.seconds;
    const double hz = t < turn ? p.startHz + (p.turnHz - p.startHz) * t / turn
                               : p.turnHz + (p.endHz - p.turnHz) * (t - turn) / (s.seconds - turn);
    return hz * (1 + 0.01 * std::sin(kTwoPi * 5 * t));
}

// One period of the glottal flow: opens smoothly over 40 % of the period, closes over 16 %,
// then rests shut.
double GlottalFlow(double phase) {
    constexpr double kOpening = 0.4;
    constexpr double kClosing = 0.16;
    if (phase < kOpening) {
        return 0.5 - 0.5 * std::cos(std::numbers::pi * phase / kOpening);
    }
    if (phase < kOpening + kClosing) {
        return std::cos(std::numbers::pi / 2 * (phase - kOpening) / kClosing);
    }
    return 0;
}

// A smooth rise over rise seconds and fall over fall seconds inside [start, start + length).
double Window(double t, double start, double length, double rise, double fall) {
    if (t < start || t >= start + length) {
        return 0;
    }
    const double in = std::min(1.0, (t - start) / rise);
    const double out = std::min(1.0, (start + length - t) / fall);
    return (0.5 - 0.5 * std::cos(std::numbers::pi * in)) *
           (0.5 - 0.5 * std::cos(std::numbers::pi * out));
}

}  // namespace

Sound TitleTheme() {
    constexpr double kRate = 44100;
    constexpr double kBeat = 0.5;
    constexpr double kBar = 4 * kBeat;
    constexpr double kIntro = kBar;
    constexpr double kLoop = 4 * kBar;
    Mix mix(kRate, 2, kIntro + kLoop);

    // The intro: the tonic chord spelled out, then the tune over C, A minor, E minor, G.
    const std::vector<Note> arpeggio{{0, 0.5, 60}, {0.5, 0.5, 64}, {1, 0.5, 67}, {1.5, 0.5, 72},
                                     {2, 0.5, 76}, {2.5, 0.5, 72}, {3, 0.5, 67}, {3.5, 0.5, 64}};
    mix.AddPart(kLead, arpeggio, kBeat, 0, 0.35, 0.4);
    mix.AddPart(kBass, {{0, 2, 48}, {2, 2, 43}}, kBeat, 0, 0.45, 0.6);
    AddChords(mix, {{60, 64, 67}}, kBar, 0, 0.12);

    const std::vector<Note> tune{{0, 1, 76},  {1, 1, 79},  {2, 1, 81},  {3, 1, 79}, {4, 1, 76},
                                 {5, 1, 74},  {6, 2, 72},  {8, 1, 74},  {9, 1, 76}, {10, 1, 79},
                                 {11, 1, 76}, {12, 1, 74}, {13, 1, 72}, {14, 2, 74}};
    const std::vector<Note> bass{{0, 2, 48}, {2, 2, 43},  {4, 2, 45},  {6, 2, 40},
                                 {8, 2, 40}, {10, 2, 47}, {12, 2, 43}, {14, 2, 50}};
    mix.AddPart(kLead, tune, kBeat, kIntro, 0.5, 0.4);
    mix.AddPart(kBass, bass, kBeat, kIntro, 0.45, 0.6);
    AddChords(mix, {{60, 64, 67}, {57, 60, 64}, {55, 59, 64}, {55, 59, 62}}, kBar, kIntro, 0.12);

    return Finish(mix, static_cast<std::uint32_t>(SamplesOf(kIntro, kRate)),
                  static_cast<std::uint32_t>(mix.Length()));
}

Sound HarborTheme() {
    constexpr double kRate = 32000;
    constexpr double kBeat = 0.75;
    Mix mix(kRate, 2, 6 * kBeat);

    // F major, then D minor, a chord tone every half beat, each ringing into the next.
    const int arpeggio[] = {53, 57, 60, 65, 60, 57, 50, 53, 57, 62, 57, 53};
    for (std::size_t i = 0; i < std::size(arpeggio); ++i) {
        mix.AddTone(kHarp, i * kBeat / 2, 1.5 * kBeat, NoteHz(arpeggio[i]), 0.35,
                    i % 2 == 0 ? 0.35 : 0.65);
    }
    const Instrument softLead{kLead.partials, 0.06, 0.2};
    mix.AddPart(softLead, {{0, 2, 72}, {2, 1, 69}, {3, 1.5, 74}, {4.5, 0.5, 72}, {5, 1, 69}}, kBeat,
                0, 0.3, 0.5);
    AddWaves(mix, 0, 11, 0.5);
    AddWaves(mix, 1, 12, 0.5);
    return Finish(mix);
}

Sound BattleLayer(int layer) {
    constexpr double kRate = 44100;
    constexpr double kBeat = 0.4;
    Mix mix(kRate, 2, 8 * kBeat);
    if (layer == 0) {
        Noise noise(31);
        for (int beat = 0; beat < 8; ++beat) {
            AddDrum(mix, beat % 2 == 0 ? kKick : kSnare, beat * kBeat, noise);
            AddDrum(mix, kHat, beat * kBeat, noise);
            AddDrum(mix, kHat, (beat + 0.5) * kBeat, noise);
        }
        const int bass[] = {45, 45, 57, 45, 43, 45, 48, 45, 41, 41, 53, 41, 43, 43, 55, 40};
        for (std::size_t i = 0; i < std::size(bass); ++i) {
            mix.AddTone(kPluckBass, i * kBeat / 2, kBeat / 2, NoteHz(bass[i]), 0.5, 0.5);
        }
    } else {
        // A minor, answered a step lower; doubled an octave down for weight.
        const std::vector<Note> lead{{0, 1, 69}, {1, 1, 72}, {2, 0.5, 76}, {2.5, 0.5, 74},
                                     {3, 1, 72}, {4, 1, 71}, {5, 1, 67},   {6, 2, 69}};
        mix.AddPart(kBrass, lead, kBeat, 0, 0.5, 0.45);
        std::vector<Note> low = lead;
        for (Note& n : low) {
            n.key -= 12;
        }
        mix.AddPart(kBrass, low, kBeat, 0, 0.25, 0.55);
    }
    return Finish(mix);
}

Sound Bell(std::uint16_t channels, std::uint32_t rate, double seconds, double pitch) {
    // A church bell's partials: the hum an octave down, the prime, a minor third, the fifth, the
    // nominal an octave up, and higher ones that fade fastest.
    static const std::vector<Partial> kPartials{
        {0.5, 0.35, 1.7},  {1.0, 1.0, 1.8},   {1.19, 0.45, 2.2}, {1.5, 0.3, 2.6},
        {2.0, 0.55, 3.0},  {2.51, 0.25, 3.8}, {2.66, 0.2, 4.2},  {3.01, 0.18, 4.8},
        {4.16, 0.12, 6.0}, {5.43, 0.08, 8.0}, {6.79, 0.05, 10.0}};
    Mix mix(rate, channels, seconds);
    for (std::uint16_t c = 0; c < channels; ++c) {
        // The channels a hair apart in pitch, so the sound beats slowly across them.
        const Instrument bell{kPartials, 0.002, 0.05};
        const double hz = pitch * (1 + 0.0008 * c);
        const double pan = channels == 1 ? 0.5 : static_cast<double>(c);
        mix.AddTone(bell, 0, seconds, hz, 1.0, pan);
    }
    Noise noise(7);
    AddDrum(mix, {0, 0, 1, 1, 0, 3000, 1.0, 0.005, 0.6, 0.03}, 0, noise);
    return Finish(mix);
}

Sound Wind(double seconds) {
    constexpr double kRate = 22050;
    constexpr double kSeam = 0.25;  // seconds crossfaded from past the end into the start
    const std::size_t length = SamplesOf(seconds, kRate);
    const std::size_t seam = SamplesOf(kSeam, kRate);
    Noise noise(5);
    BandPass rush;
    BandPass whistle;
    Channel wind(length + seam);
    for (std::size_t i = 0; i < wind.size(); ++i) {
        // Everything that changes repeats once per length, so the sound past the end continues
        // as the start does.
        const double cycle = kTwoPi * static_cast<double>(i) / static_cast<double>(length);
        rush.Tune(450 * (1 + 0.3 * std::sin(cycle)), 0.5, kRate);
        whistle.Tune(900 + 250 * std::sin(2 * cycle), 8, kRate);
        const double gust =
            0.35 + 0.65 * (0.5 - 0.5 * std::cos(cycle)) * (0.8 + 0.2 * std::sin(3 * cycle));
        const double x = noise.Next();
        wind[i] = gust * (rush.Process(x) + 1.5 * gust * whistle.Process(x));
    }
    // The start fades in what follows the end (equal power for noise), so the end leads
    // straight into the start when the sound repeats.
    for (std::size_t i = 0; i < seam; ++i) {
        const double in = std::numbers::pi / 2 * static_cast<double>(i) / static_cast<double>(seam);
        wind[i] = wind[i] * std::sin(in) + wind[length + i] * std::cos(in);
    }
    wind.resize(length);
    Mix mix(kRate, 1, seconds);
    mix[0] = wind;
    return Finish(mix);
}

Sound Voice(Line line, std::uint32_t rate) {
    const LineShape& shape = kLines[static_cast<int>(line)];
    Mix mix(rate, 1, shape.seconds);
    Noise noise(static_cast<std::uint32_t>(line) + 41);
    BandPass formants[3];
    BandPass hissFilter;
    hissFilter.Tune(4500, 1.5, rate);
    double current[3] = {};
    const double glide = 1 - std::exp(-1 / (0.04 * rate));  // formants move in about 40 ms
    double phase = 0;
    double previousFlow = 0;
    for (std::size_t i = 0; i < mix.Length(); ++i) {
        const double t = static_cast<double>(i) / rate;
        double voiced = 0;
        double hiss = 0;
        const Syllable* sounding = &shape.syllables.front();
        for (const Syllable& s : shape.syllables) {
            voiced += Window(t, s.start, s.length, 0.025, 0.06);
            if (s.hiss) {
                hiss += Window(t, s.start - 0.07, 0.09, 0.02, 0.03);
            }
            if (t >= s.start - 0.03) {
                sounding = &s;
            }
        }
        const Vowel& target = VowelOf(sounding->vowel);
        const double targets[3] = {target.f1, target.f2, target.f3};
        const double pitch = PitchAt(shape, t);
        phase += pitch / rate;
        phase -= std::floor(phase);
        // The flow's slope per period, as the lips radiate it: a buzz rich in harmonics, with no
        // DC, and a little breath.
        const double flow = GlottalFlow(phase);
        const double slope = (flow - previousFlow) * rate / pitch;
        const double source = voiced * (slope + 0.3 * noise.Next());
        previousFlow = flow;
        double value = 0;
        for (int f = 0; f < 3; ++f) {
            current[f] = i == 0
                             ? targets[f] * shape.formantScale
                             : current[f] + glide * (targets[f] * shape.formantScale - current[f]);
            formants[f].Tune(current[f], current[f] / kFormantBandwidth[f], rate);
            value += kFormantGain[f] * formants[f].Process(source);
        }
        value += 0.6 * hiss * hissFilter.Process(noise.Next());
        mix[0][i] = value;
    }
    return Finish(mix);
}

}  // namespace fogbell::demo
