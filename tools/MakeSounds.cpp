// Synthesizes the metronome clicks that Batto embeds (resources/click*.wav) and, on request, a
// synthesized drum kit in place of the recorded one (tools/MakeKit.cpp makes the embedded kit).
//
// Usage: batto-make-sounds [--synthesized-kit] [output folder]   (default: resources)
//
// With --synthesized-kit the ten drum files (Kick.wav, Snare.wav, ...) are written as well;
// written into resources/, the next build embeds them instead of the recorded kit.
//
// Everything is computed from fixed seeds and constants, so two runs write byte-identical
// files. The program checks every file it wrote by reading it back and exits non-zero if
// anything could not be written or does not read back as intended.

#include <juce_audio_formats/juce_audio_formats.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace
{

constexpr double pi = 3.14159265358979323846;
constexpr double twoPi = 2.0 * pi;
constexpr double drumRate = 44100.0;
constexpr double clickRate = 48000.0;
constexpr int clickFrames = 6000;

double dbToGain(double db)
{
    return std::pow(10.0, db / 20.0);
}

// Small, fully specified generator (splitmix64) so the output never depends on the
// standard library's random engines or distributions.
class Random
{
public:
    explicit Random(std::uint64_t seed) : state(seed)
    {
    }

    std::uint64_t nextBits()
    {
        std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }

    // Uniform in [0, 1).
    double unit()
    {
        return static_cast<double>(nextBits() >> 11) * (1.0 / 9007199254740992.0);
    }

    // Uniform in [lo, hi).
    double range(double lo, double hi)
    {
        return lo + (hi - lo) * unit();
    }

    // Uniform in [-1, 1).
    double bipolar()
    {
        return 2.0 * unit() - 1.0;
    }

private:
    std::uint64_t state;
};

// Two noise channels that share most of their content: enough difference for a little
// width, enough in common that the mono sum keeps its level and colour.
class StereoNoise
{
public:
    StereoNoise(std::uint64_t seed, double sharedPart)
        : shared(seed), left(seed ^ 0x5bd1e995ULL), right(seed ^ 0x1b873593ULL), sharedGain(sharedPart),
          ownGain(std::sqrt(1.0 - sharedPart * sharedPart))
    {
    }

    void next(double& l, double& r)
    {
        const double s = shared.bipolar();
        l = sharedGain * s + ownGain * left.bipolar();
        r = sharedGain * s + ownGain * right.bipolar();
    }

private:
    Random shared, left, right;
    double sharedGain, ownGain;
};

// Second-order filter (RBJ cookbook coefficients), transposed direct form II.
class Biquad
{
public:
    static Biquad lowPass(double rate, double freq, double q)
    {
        const double w = twoPi * freq / rate, alpha = std::sin(w) / (2.0 * q), c = std::cos(w);
        return {(1.0 - c) / 2.0, 1.0 - c, (1.0 - c) / 2.0, 1.0 + alpha, -2.0 * c, 1.0 - alpha};
    }

    static Biquad highPass(double rate, double freq, double q)
    {
        const double w = twoPi * freq / rate, alpha = std::sin(w) / (2.0 * q), c = std::cos(w);
        return {(1.0 + c) / 2.0, -(1.0 + c), (1.0 + c) / 2.0, 1.0 + alpha, -2.0 * c, 1.0 - alpha};
    }

    // Band-pass with 0 dB gain at the centre frequency.
    static Biquad bandPass(double rate, double freq, double q)
    {
        const double w = twoPi * freq / rate, alpha = std::sin(w) / (2.0 * q), c = std::cos(w);
        return {alpha, 0.0, -alpha, 1.0 + alpha, -2.0 * c, 1.0 - alpha};
    }

    double process(double x)
    {
        const double y = b0 * x + z1;
        z1 = b1 * x - a1 * y + z2;
        z2 = b2 * x - a2 * y;
        return y;
    }

private:
    Biquad(double nb0, double nb1, double nb2, double na0, double na1, double na2)
        : b0(nb0 / na0), b1(nb1 / na0), b2(nb2 / na0), a1(na1 / na0), a2(na2 / na0)
    {
    }

    double b0, b1, b2, a1, a2;
    double z1 = 0.0, z2 = 0.0;
};

// A chain of filters applied to both channels, each channel with its own state.
class StereoFilter
{
public:
    explicit StereoFilter(std::vector<Biquad> chain) : left(chain), right(std::move(chain))
    {
    }

    void process(double& l, double& r)
    {
        for (auto& f : left)
            l = f.process(l);
        for (auto& f : right)
            r = f.process(r);
    }

private:
    std::vector<Biquad> left, right;
};

struct Sound
{
    std::vector<double> left, right;

    explicit Sound(int frames)
        : left(static_cast<size_t>(frames), 0.0), right(static_cast<size_t>(frames), 0.0)
    {
    }

    int frames() const
    {
        return static_cast<int>(left.size());
    }
};

int framesFor(double seconds, double rate)
{
    return static_cast<int>(std::lround(seconds * rate));
}

// Sine whose frequency glides from start to end with the given time constant, e.g. the
// body of a drum whose head tension relaxes after the hit. Written into both channels
// with the given gains.
void addGlidingSine(Sound& s, double rate, double startHz, double endHz, double glideTau, double amp,
                    double decayTau, double gainL, double gainR)
{
    double phase = 0.0;
    for (int i = 0; i < s.frames(); ++i)
    {
        const double t = i / rate;
        const double f = endHz + (startHz - endHz) * std::exp(-t / glideTau);
        const double v = amp * std::exp(-t / decayTau) * std::sin(phase);
        s.left[static_cast<size_t>(i)] += gainL * v;
        s.right[static_cast<size_t>(i)] += gainR * v;
        phase += twoPi * f / rate;
        if (phase > twoPi)
            phase -= twoPi;
    }
}

// Filtered stereo noise shaped by a decay made of two exponentials (a fast initial drop
// and a slower tail): amp * (fastPart * e^(-t/fastTau) + (1 - fastPart) * e^(-t/slowTau)).
struct NoiseLayer
{
    std::uint64_t seed;
    double sharedPart;
    std::vector<Biquad> filters;
    double amp, fastPart, fastTau, slowTau;
    double gainL = 1.0, gainR = 1.0;
};

void addNoise(Sound& s, double rate, const NoiseLayer& layer)
{
    StereoNoise noise(layer.seed, layer.sharedPart);
    StereoFilter filter(layer.filters);
    for (int i = 0; i < s.frames(); ++i)
    {
        const double t = i / rate;
        const double env = layer.amp
                           * (layer.fastPart * std::exp(-t / layer.fastTau)
                              + (1.0 - layer.fastPart) * std::exp(-t / layer.slowTau));
        double l = 0.0, r = 0.0;
        noise.next(l, r);
        filter.process(l, r);
        s.left[static_cast<size_t>(i)] += layer.gainL * env * l;
        s.right[static_cast<size_t>(i)] += layer.gainR * env * r;
    }
}

// A bank of inharmonic partials, the ringing modes of a cymbal or hi-hat. Frequencies are
// spread log-uniformly over [lowHz, highHz], amplitudes are random with a spectral tilt,
// and higher partials die away faster so the sound darkens as it decays. Each partial
// gets a slightly different level per channel (same phase: mono-compatible width).
struct MetalLayer
{
    std::uint64_t seed;
    int count;
    double lowHz, highHz;
    double amp;
    double tauAt1k;     // decay time constant of a partial at 1 kHz
    double tauSlope;    // tau scales with (f / 1 kHz)^-tauSlope
    double tauSpread;   // random factor range on tau: [1 - spread, 1 + spread]
    double tilt;        // amplitude scales with (f / lowHz)^-tilt
    double bloomTau;    // rise time of the partials (energy spreading through the plate)
    double widthSpread; // random per-channel level difference
};

void addMetal(Sound& s, double rate, const MetalLayer& layer)
{
    struct Partial
    {
        double freq, amp, decayPerSample, phase, gainL, gainR;
    };

    Random rng(layer.seed);
    std::vector<Partial> partials;
    const double logLow = std::log(layer.lowHz), logHigh = std::log(layer.highHz);
    double ampSum = 0.0;
    for (int k = 0; k < layer.count; ++k)
    {
        Partial p{};
        p.freq = std::exp(rng.range(logLow, logHigh));
        p.amp = rng.range(0.25, 1.0) * std::pow(p.freq / layer.lowHz, -layer.tilt);
        const double tau = layer.tauAt1k * std::pow(p.freq / 1000.0, -layer.tauSlope)
                           * rng.range(1.0 - layer.tauSpread, 1.0 + layer.tauSpread);
        p.decayPerSample = std::exp(-1.0 / (tau * rate));
        p.phase = rng.range(0.0, twoPi);
        p.gainL = 1.0 + layer.widthSpread * rng.bipolar();
        p.gainR = 1.0 + layer.widthSpread * rng.bipolar();
        ampSum += p.amp * p.amp;
        partials.push_back(p);
    }

    // Random phases add up like noise: scale by the RMS sum so 'amp' is a typical level.
    const double norm = layer.amp / std::sqrt(ampSum);
    std::vector<double> bloom(static_cast<size_t>(s.frames()), 1.0);
    if (layer.bloomTau > 0.0)
        for (int i = 0; i < s.frames(); ++i)
            bloom[static_cast<size_t>(i)] = 1.0 - 0.6 * std::exp(-(i / rate) / layer.bloomTau);
    for (auto& p : partials)
    {
        double env = p.amp * norm;
        const double step = twoPi * p.freq / rate;
        double phase = p.phase;
        for (int i = 0; i < s.frames(); ++i)
        {
            const double v = env * bloom[static_cast<size_t>(i)] * std::sin(phase);
            s.left[static_cast<size_t>(i)] += p.gainL * v;
            s.right[static_cast<size_t>(i)] += p.gainR * v;
            env *= p.decayPerSample;
            phase += step;
            if (phase > twoPi)
                phase -= twoPi;
        }
    }
}

// Soft saturation of a drum's body: rounder, louder-sounding attack, no DC.
void saturate(Sound& s, double drive)
{
    const double norm = 1.0 / std::tanh(drive);
    for (int i = 0; i < s.frames(); ++i)
    {
        s.left[static_cast<size_t>(i)] = norm * std::tanh(drive * s.left[static_cast<size_t>(i)]);
        s.right[static_cast<size_t>(i)] = norm * std::tanh(drive * s.right[static_cast<size_t>(i)]);
    }
}

void addInto(Sound& target, const Sound& source, double gain)
{
    for (int i = 0; i < std::min(target.frames(), source.frames()); ++i)
    {
        target.left[static_cast<size_t>(i)] += gain * source.left[static_cast<size_t>(i)];
        target.right[static_cast<size_t>(i)] += gain * source.right[static_cast<size_t>(i)];
    }
}

// Final touches shared by every sound: DC removal, a raised-cosine fade over the last
// 'fadeSeconds' that reaches exact silence, and peak normalisation to 'peakDb'.
void finish(Sound& s, double rate, double fadeSeconds, double peakDb, bool removeDc)
{
    if (removeDc)
    {
        // One-pole high-pass at ~15 Hz.
        const double k = std::exp(-twoPi * 15.0 / rate);
        for (auto* ch : {&s.left, &s.right})
        {
            double prevIn = 0.0, prevOut = 0.0;
            for (auto& x : *ch)
            {
                const double y = x - prevIn + k * prevOut;
                prevIn = x;
                prevOut = y;
                x = y;
            }
        }
    }

    const int fade = std::min(s.frames(), framesFor(fadeSeconds, rate));
    for (int i = 0; i < fade; ++i)
    {
        const size_t idx = static_cast<size_t>(s.frames() - fade + i);
        const double w = 0.5 * (1.0 + std::cos(pi * (i + 1) / fade)); // last sample: exactly 0 below
        s.left[idx] *= w;
        s.right[idx] *= w;
    }
    s.left.back() = 0.0;
    s.right.back() = 0.0;

    double peak = 0.0;
    for (int i = 0; i < s.frames(); ++i)
        peak = std::max(
            {peak, std::abs(s.left[static_cast<size_t>(i)]), std::abs(s.right[static_cast<size_t>(i)])});
    if (peak <= 0.0)
        return;
    const double gain = dbToGain(peakDb) / peak;
    for (int i = 0; i < s.frames(); ++i)
    {
        s.left[static_cast<size_t>(i)] *= gain;
        s.right[static_cast<size_t>(i)] *= gain;
    }
}

//==============================================================================
// The kit.

Sound makeKick()
{
    Sound s(framesFor(0.6, drumRate));
    // Body: the head's fundamental sweeping from ~150 Hz down to ~50 Hz.
    addGlidingSine(s, drumRate, 150.0, 50.0, 0.04, 1.0, 0.16, 1.0, 1.0);
    // A quieter second mode gives the body some knock.
    addGlidingSine(s, drumRate, 240.0, 85.0, 0.03, 0.18, 0.05, 1.0, 1.0);
    saturate(s, 1.6);
    // Beater click: a short bright burst, then a slightly longer mid "thwack".
    addNoise(s, drumRate,
             {101,
              0.9,
              {Biquad::highPass(drumRate, 1500.0, 0.7), Biquad::lowPass(drumRate, 7000.0, 0.7)},
              0.9,
              1.0,
              0.0025,
              0.0025});
    addNoise(s, drumRate, {102, 0.9, {Biquad::bandPass(drumRate, 2600.0, 1.2)}, 0.6, 1.0, 0.007, 0.007});
    finish(s, drumRate, 0.15, -1.0, true);
    return s;
}

Sound makeSnare()
{
    Sound s(framesFor(0.5, drumRate));
    // Tonal body: the batter head's first modes, pitch settling right after the hit.
    addGlidingSine(s, drumRate, 230.0, 190.0, 0.008, 0.8, 0.07, 1.0, 1.0);
    addGlidingSine(s, drumRate, 360.0, 304.0, 0.008, 0.4, 0.045, 1.0, 1.0);
    addGlidingSine(s, drumRate, 510.0, 437.0, 0.006, 0.2, 0.03, 1.0, 1.0);
    saturate(s, 1.3);
    // Snare wires: band-limited noise with a fast drop and a sizzling tail.
    addNoise(s, drumRate,
             {201,
              0.8,
              {Biquad::highPass(drumRate, 1800.0, 0.7), Biquad::highPass(drumRate, 1800.0, 0.7),
               Biquad::lowPass(drumRate, 9500.0, 0.7)},
              1.6,
              0.65,
              0.05,
              0.13});
    // Lower, rattling part of the wires.
    addNoise(s, drumRate, {202, 0.8, {Biquad::bandPass(drumRate, 900.0, 0.9)}, 0.5, 0.8, 0.02, 0.08});
    // Stick on the head: a very short broadband crack.
    addNoise(s, drumRate, {203, 0.95, {Biquad::highPass(drumRate, 500.0, 0.7)}, 0.9, 1.0, 0.0015, 0.0015});
    finish(s, drumRate, 0.1, -1.0, true);
    return s;
}

// Hi-hats sit a little to the left, seen from the drummer's seat.
constexpr double hatL = 1.0, hatR = 0.85;

void placeHiHat(Sound& s)
{
    for (int i = 0; i < s.frames(); ++i)
    {
        s.left[static_cast<size_t>(i)] *= hatL;
        s.right[static_cast<size_t>(i)] *= hatR;
    }
}

Sound makeClosedHat()
{
    Sound s(framesFor(0.1, drumRate));
    addMetal(s, drumRate, {301, 90, 3000.0, 15000.0, 0.9, 0.03, 0.35, 0.3, 0.5, 0.0, 0.08});
    addNoise(s, drumRate,
             {302,
              0.85,
              {Biquad::highPass(drumRate, 7000.0, 0.7), Biquad::highPass(drumRate, 7000.0, 0.7)},
              1.1,
              0.7,
              0.008,
              0.022});
    // Stick tip on the closed cymbals.
    addNoise(s, drumRate, {303, 0.9, {Biquad::bandPass(drumRate, 5000.0, 1.0)}, 0.8, 1.0, 0.0015, 0.0015});
    placeHiHat(s);
    finish(s, drumRate, 0.02, -1.0, true);
    return s;
}

Sound makeOpenHat()
{
    Sound s(framesFor(0.9, drumRate));
    addMetal(s, drumRate, {311, 140, 1800.0, 15000.0, 0.9, 0.3, 0.3, 0.3, 0.6, 0.002, 0.08});
    addNoise(s, drumRate,
             {312,
              0.85,
              {Biquad::highPass(drumRate, 6000.0, 0.7), Biquad::highPass(drumRate, 6000.0, 0.7)},
              0.8,
              0.4,
              0.03,
              0.26});
    addNoise(s, drumRate, {313, 0.9, {Biquad::bandPass(drumRate, 4500.0, 1.0)}, 0.7, 1.0, 0.002, 0.002});
    placeHiHat(s);
    finish(s, drumRate, 0.15, -1.0, true);
    return s;
}

Sound makeRide()
{
    Sound s(framesFor(2.6, drumRate));
    // Bell-like ping: a few strong, long-ringing inharmonic partials.
    const double bellHz[] = {612.0, 1469.0, 2331.0, 3268.0, 4187.0};
    const double bellAmp[] = {0.35, 0.3, 0.22, 0.16, 0.1};
    const double bellTau[] = {1.2, 0.9, 0.75, 0.6, 0.45};
    for (int k = 0; k < 5; ++k)
        addGlidingSine(s, drumRate, bellHz[k], bellHz[k], 1.0, bellAmp[k], bellTau[k], 0.85, 1.0);
    // Shimmering wash: a dense bank of close partials that beat against each other.
    addMetal(s, drumRate, {401, 220, 1500.0, 13000.0, 0.6, 1.3, 0.35, 0.35, 0.25, 0.01, 0.1});
    // Airy noise over the wash.
    addNoise(s, drumRate,
             {402,
              0.8,
              {Biquad::highPass(drumRate, 5000.0, 0.7), Biquad::highPass(drumRate, 5000.0, 0.7)},
              0.2,
              0.5,
              0.05,
              0.7,
              0.85,
              1.0});
    // Stick ping on the bow.
    addNoise(s, drumRate,
             {403, 0.9, {Biquad::bandPass(drumRate, 5200.0, 2.0)}, 1.2, 1.0, 0.006, 0.006, 0.85, 1.0});
    finish(s, drumRate, 0.5, -1.0, true);
    return s;
}

// A crash: a bloom of dense partials plus noise; 'bright' selects the smaller, brighter
// cymbal, otherwise a larger, darker and longer one.
Sound makeCrash(bool bright)
{
    const double seconds = bright ? 2.3 : 2.8;
    Sound s(framesFor(seconds, drumRate));
    const double gL = bright ? 1.0 : 0.82, gR = bright ? 0.82 : 1.0;
    if (bright)
    {
        addMetal(s, drumRate, {501, 260, 1200.0, 15500.0, 0.8, 0.75, 0.3, 0.35, 0.2, 0.012, 0.1});
        addNoise(s, drumRate,
                 {502,
                  0.8,
                  {Biquad::highPass(drumRate, 3500.0, 0.7), Biquad::highPass(drumRate, 3500.0, 0.7)},
                  0.7,
                  0.6,
                  0.12,
                  0.6,
                  gL,
                  gR});
    }
    else
    {
        addMetal(s, drumRate, {511, 300, 450.0, 11000.0, 0.8, 1.1, 0.35, 0.35, 0.3, 0.025, 0.1});
        addNoise(s, drumRate,
                 {512,
                  0.8,
                  {Biquad::highPass(drumRate, 900.0, 0.7), Biquad::lowPass(drumRate, 7000.0, 0.7),
                   Biquad::lowPass(drumRate, 7000.0, 0.7)},
                  0.6,
                  0.55,
                  0.2,
                  0.9,
                  gL,
                  gR});
    }
    for (int i = 0; i < s.frames(); ++i)
    {
        s.left[static_cast<size_t>(i)] *= gL;
        s.right[static_cast<size_t>(i)] *= gR;
    }
    // Stick hitting the edge.
    addNoise(s, drumRate,
             {bright ? 503u : 513u,
              0.9,
              {Biquad::highPass(drumRate, bright ? 2500.0 : 1200.0, 0.7)},
              1.0,
              1.0,
              0.003,
              0.003,
              gL,
              gR});
    finish(s, drumRate, bright ? 0.6 : 0.7, -1.0, true);
    return s;
}

Sound makeTom(double hz, double seconds, double decayTau, double gainL, double gainR, std::uint64_t seed)
{
    Sound body(framesFor(seconds, drumRate));
    // Fundamental a little sharp at the hit, settling down as the head relaxes.
    addGlidingSine(body, drumRate, hz * 1.1, hz, 0.12, 1.0, decayTau, 1.0, 1.0);
    addGlidingSine(body, drumRate, hz * 1.59 * 1.08, hz * 1.59, 0.08, 0.35, decayTau * 0.45, 1.0, 1.0);
    addGlidingSine(body, drumRate, hz * 2.14 * 1.06, hz * 2.14, 0.05, 0.15, decayTau * 0.3, 1.0, 1.0);
    saturate(body, 1.4);

    Sound s(body.frames());
    addInto(s, body, 1.0);
    // Stick attack and a short breath of the head.
    addNoise(s, drumRate, {seed, 0.9, {Biquad::bandPass(drumRate, 3000.0, 0.8)}, 1.0, 1.0, 0.003, 0.003});
    addNoise(s, drumRate, {seed + 1, 0.9, {Biquad::lowPass(drumRate, 1200.0, 0.7)}, 0.25, 1.0, 0.03, 0.03});
    for (int i = 0; i < s.frames(); ++i)
    {
        s.left[static_cast<size_t>(i)] *= gainL;
        s.right[static_cast<size_t>(i)] *= gainR;
    }
    finish(s, drumRate, 0.2, -1.0, true);
    return s;
}

//==============================================================================
// Metronome clicks: short decaying sine bursts with a fast attack.

Sound makeClick(double hz, double peakDb)
{
    Sound s(clickFrames);
    const int attack = 24; // 0.5 ms raised-cosine rise
    for (int i = 0; i < s.frames(); ++i)
    {
        const double t = i / clickRate;
        const double rise = i < attack ? 0.5 * (1.0 - std::cos(pi * (i + 1) / attack)) : 1.0;
        const double v = rise * std::exp(-t / 0.012) * std::sin(twoPi * hz * t);
        s.left[static_cast<size_t>(i)] = v;
        s.right[static_cast<size_t>(i)] = v;
    }
    finish(s, clickRate, 0.005, peakDb, false);
    return s;
}

//==============================================================================
// Writing and checking.

// Rounds to the file's integer grid and returns the samples left-justified in 32 bits,
// the layout juce::AudioFormatWriter::write expects.
std::vector<int> quantise(const std::vector<double>& samples, int bits)
{
    const double full = static_cast<double>((1 << (bits - 1)) - 1);
    const int shift = 32 - bits;
    std::vector<int> out(samples.size());
    for (size_t i = 0; i < samples.size(); ++i)
    {
        const long v = std::lround(std::clamp(samples[i], -1.0, 1.0) * full);
        out[i] = static_cast<int>(static_cast<std::uint32_t>(v) << shift);
    }
    return out;
}

struct Stats
{
    double peakDb;
    int firstAudible; // first frame above -40 dBFS
    int lastNonZero;
};

bool writeWav(const juce::File& file, const Sound& sound, double rate, int bits, Stats& stats)
{
    if (file.exists() && !file.deleteFile())
    {
        std::fprintf(stderr, "cannot replace %s\n", file.getFullPathName().toRawUTF8());
        return false;
    }

    auto left = quantise(sound.left, bits);
    auto right = quantise(sound.right, bits);
    {
        auto stream = file.createOutputStream();
        if (stream == nullptr || !stream->openedOk())
        {
            std::fprintf(stderr, "cannot create %s\n", file.getFullPathName().toRawUTF8());
            return false;
        }
        juce::WavAudioFormat wav;
        std::unique_ptr<juce::AudioFormatWriter> writer(
            wav.createWriterFor(stream.get(), rate, 2, bits, juce::StringPairArray(), 0));
        if (writer == nullptr)
        {
            std::fprintf(stderr, "no WAV writer for %s\n", file.getFullPathName().toRawUTF8());
            return false;
        }
        stream.release(); // the writer owns it now
        const int* channels[] = {left.data(), right.data(), nullptr};
        if (!writer->write(channels, sound.frames()) || !writer->flush())
        {
            std::fprintf(stderr, "write failed: %s\n", file.getFullPathName().toRawUTF8());
            return false;
        }
    }

    // Read the file back: it must have the intended format and exactly our samples.
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatReader> reader(
        wav.createReaderFor(file.createInputStream().release(), true));
    if (reader == nullptr || reader->numChannels != 2 || reader->sampleRate != rate
        || static_cast<int>(reader->bitsPerSample) != bits || reader->usesFloatingPointData
        || reader->lengthInSamples != sound.frames())
    {
        std::fprintf(stderr, "%s does not read back as written\n", file.getFullPathName().toRawUTF8());
        return false;
    }
    std::vector<int> backL(static_cast<size_t>(sound.frames())), backR(backL.size());
    int* dest[] = {backL.data(), backR.data()};
    if (!reader->read(dest, 2, 0, sound.frames(), false) || backL != left || backR != right)
    {
        std::fprintf(stderr, "%s holds different samples than written\n", file.getFullPathName().toRawUTF8());
        return false;
    }

    const double full = 2147483648.0;
    const double threshold = dbToGain(-40.0) * full;
    double peak = 0.0;
    stats.firstAudible = -1;
    stats.lastNonZero = -1;
    for (int i = 0; i < sound.frames(); ++i)
    {
        const double a = std::max(std::abs(static_cast<double>(left[static_cast<size_t>(i)])),
                                  std::abs(static_cast<double>(right[static_cast<size_t>(i)])));
        peak = std::max(peak, a);
        if (stats.firstAudible < 0 && a > threshold)
            stats.firstAudible = i;
        if (a > 0.0)
            stats.lastNonZero = i;
    }
    stats.peakDb = peak > 0.0 ? 20.0 * std::log10(peak / full) : -999.0;
    return true;
}

struct Job
{
    const char* name;
    double rate;
    int bits;
    Sound (*make)();
};

} // namespace

int main(int argc, char* argv[])
{
    bool withKit = false;
    juce::String folderArg = "resources";
    for (int i = 1; i < argc; ++i)
    {
        const juce::String arg = juce::String::fromUTF8(argv[i]);
        if (arg == "--synthesized-kit")
            withKit = true;
        else if (arg.startsWith("-"))
        {
            std::fprintf(stderr, "usage: batto-make-sounds [--synthesized-kit] [output folder]\n");
            return 2;
        }
        else
            folderArg = arg;
    }
    const auto folder = juce::File::getCurrentWorkingDirectory().getChildFile(folderArg);
    if (!folder.createDirectory())
    {
        std::fprintf(stderr, "cannot create folder %s\n", folder.getFullPathName().toRawUTF8());
        return 1;
    }

    const Job jobs[] = {
        // The clicks (48 kHz, 24-bit): the accent on a bar's first beat is higher and louder.
        {"click.wav", clickRate, 24,
         []
         {
             return makeClick(1000.0, -6.0);
         }},
        {"click_accent.wav", clickRate, 24,
         []
         {
             return makeClick(1500.0, -1.0);
         }},
        // The kit (44.1 kHz, 16-bit).
        {"Kick.wav", drumRate, 16, makeKick},
        {"Snare.wav", drumRate, 16, makeSnare},
        {"CHH.wav", drumRate, 16, makeClosedHat},
        {"OHH.wav", drumRate, 16, makeOpenHat},
        {"ride.wav", drumRate, 16, makeRide},
        {"crash.wav", drumRate, 16,
         []
         {
             return makeCrash(true);
         }},
        {"crash2.wav", drumRate, 16,
         []
         {
             return makeCrash(false);
         }},
        // Toms from high to low, spread from left of centre to the right (drummer's view).
        {"hTom.wav", drumRate, 16,
         []
         {
             return makeTom(200.0, 0.8, 0.22, 1.0, 0.85, 601);
         }},
        {"mTom.wav", drumRate, 16,
         []
         {
             return makeTom(140.0, 0.95, 0.28, 0.92, 1.0, 611);
         }},
        {"lTom.wav", drumRate, 16,
         []
         {
             return makeTom(95.0, 1.1, 0.34, 0.8, 1.0, 621);
         }},
    };

    int failures = 0;
    for (const auto& job : jobs)
    {
        if (!withKit && job.rate == drumRate)
            continue; // the embedded kit is recorded (batto-make-kit)
        const Sound sound = job.make();
        Stats stats{};
        const auto file = folder.getChildFile(job.name);
        if (!writeWav(file, sound, job.rate, job.bits, stats))
        {
            ++failures;
            continue;
        }
        std::printf("%-17s %5.0f Hz %2d-bit %6d frames (%5.3f s)  peak %6.2f dBFS  first > -40 dB at %d  "
                    "last non-zero %d\n",
                    job.name, job.rate, job.bits, sound.frames(), sound.frames() / job.rate, stats.peakDb,
                    stats.firstAudible, stats.lastNonZero);
    }
    return failures == 0 ? 0 : 1;
}
