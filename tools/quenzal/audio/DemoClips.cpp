#include "DemoClips.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>

namespace quenzal {
namespace {

constexpr double kBeatSeconds = 0.25; // eighth notes at 120 beats per minute
constexpr double kPeak = 0.5;         // -6 dBFS
constexpr double kReleaseSeconds = 0.03;

struct Note {
    double startBeat;
    int midi;
    double beats;
};

// How a string sounds: how much of the pluck's noise reaches the string unfiltered, and how long
// the note takes to fall by 60 dB.
struct StringVoice {
    double brightness;
    double decaySeconds;
};

// E minor pentatonic around the third fret, ending on an open E power chord.
constexpr Note kRiff[] = {{0, 52, 2},  {2, 55, 1},  {3, 57, 1},  {4, 59, 2},
                          {6, 57, 1},  {7, 55, 1},  {8, 62, 1},  {9, 64, 1},
                          {10, 62, 1}, {11, 59, 1}, {12, 57, 1}, {13, 55, 1},
                          {14, 52, 2}, {16, 52, 6}, {16, 59, 6}, {16, 64, 6}};
constexpr Note kBass[] = {{0, 40, 2},  {2, 40, 2},  {4, 43, 2},  {6, 45, 2}, {8, 40, 2},
                          {10, 38, 2}, {12, 35, 2}, {14, 38, 2}, {16, 40, 6}};
constexpr StringVoice kGuitarString{0.9, 2.5};
constexpr StringVoice kBassString{0.45, 3.0};

double Frequency(int midi) {
    return 440.0 * std::pow(2.0, (midi - 69) / 12.0);
}

// A fixed generator, so that every run of the demo writes the same files.
class Noise {
public:
    double Next() {
        mState = mState * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(mState >> 11) / static_cast<double>(1ull << 52) - 1.0;
    }

private:
    std::uint64_t mState = 0x5EED;
};

// Karplus-Strong: a delay line of one period, refilled through a two-point average (the string's
// loss, half a sample of delay) and a first-order all-pass that supplies the fractional rest of
// the period, so that every note is in tune.
class PluckedString {
public:
    PluckedString(double frequency, double rate, const StringVoice& voice, Noise& noise) {
        const double period = rate / frequency - 0.5;
        mLine.resize(static_cast<size_t>(period));
        const double fraction = period - static_cast<double>(mLine.size());
        mAllpass = (1.0 - fraction) / (1.0 + fraction);
        mLoss = std::pow(10.0, -3.0 / (voice.decaySeconds * frequency));
        double smoothed = 0;
        for (double& sample : mLine) {
            smoothed += voice.brightness * (noise.Next() - smoothed);
            sample = smoothed;
        }
    }

    double Next() {
        const double current = mLine[mPosition];
        const double averaged = mLoss * 0.5 * (current + mPrevious);
        mPrevious = current;
        const double tuned = mAllpass * averaged + mAllpassIn - mAllpass * mAllpassOut;
        mAllpassIn = averaged;
        mAllpassOut = tuned;
        mLine[mPosition] = tuned;
        mPosition = (mPosition + 1) % mLine.size();
        return current;
    }

private:
    std::vector<double> mLine;
    size_t mPosition = 0;
    double mPrevious = 0;
    double mAllpass = 0;
    double mAllpassIn = 0;
    double mAllpassOut = 0;
    double mLoss = 1;
};

void AddNote(std::vector<double>& mix, const Note& note, double rate, const StringVoice& voice,
             Noise& noise) {
    PluckedString string(Frequency(note.midi), rate, voice, noise);
    const auto start = static_cast<size_t>(note.startBeat * kBeatSeconds * rate);
    const auto held = static_cast<size_t>(note.beats * kBeatSeconds * rate);
    const auto release = static_cast<size_t>(kReleaseSeconds * rate);
    for (size_t i = 0; i < held + release && start + i < mix.size(); ++i) {
        const double fade = i < held ? 1.0 : 1.0 - static_cast<double>(i - held) / release;
        mix[start + i] += fade * string.Next();
    }
}

std::vector<float> Play(std::span<const Note> notes, double rate, const StringVoice& voice) {
    double lastBeat = 0;
    for (const Note& note : notes) {
        lastBeat = std::max(lastBeat, note.startBeat + note.beats);
    }
    std::vector<double> mix(
        static_cast<size_t>((lastBeat * kBeatSeconds + kReleaseSeconds) * rate));
    Noise noise;
    for (const Note& note : notes) {
        AddNote(mix, note, rate, voice, noise);
    }
    double peak = 0;
    for (const double sample : mix) {
        peak = std::max(peak, std::abs(sample));
    }
    std::vector<float> clip(mix.size());
    std::transform(mix.begin(), mix.end(), clip.begin(), [peak](double sample) {
        return static_cast<float>(peak > 0 ? sample * kPeak / peak : 0.0);
    });
    return clip;
}

} // namespace

std::vector<float> GuitarRiff(double rate) {
    return Play(kRiff, rate, kGuitarString);
}

std::vector<float> BassLine(double rate) {
    return Play(kBass, rate, kBassString);
}

} // namespace quenzal
