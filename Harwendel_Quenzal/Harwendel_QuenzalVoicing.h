// The loudspeaker voicing as plain single-precision arithmetic: the table of speaker models, the
// voicing step and the coefficient step that turn a model and a sample rate into six biquad
// stages, and the sample loop that runs one channel through them.
//
// Nothing here knows the plug-in framework, so the arithmetic can be tested, measured and reused
// (several channels in SIMD lanes, say) on its own. The order of every single-precision operation
// is part of the contract: the output is compared bit for bit with a literal scalar loop, so
// rewrite no expression into an algebraically equal one.
#pragma once

#include <math.h>

#include <cstdint>
#include <limits>

namespace quenzal_voicing {

inline constexpr int kStageCount = 6;
inline constexpr int kModelCount = 5;
inline constexpr int kHighPassStage = 0;
inline constexpr int kFirstPeakStage = 1;
inline constexpr int kLastPeakStage = 4;
inline constexpr int kLowPassStage = 5;
inline constexpr std::int32_t kDefaultModel = 1;

// The rounding of the design depends on exactly these 64-bit values.
inline constexpr double kPi = 3.141592653589793;
inline constexpr double kTwoPi = 6.283185307179586;

// One stage of one speaker model. The exponent e gives a peaking stage's gain G = 10^e; the
// high-pass and the low-pass ignore it.
struct StageVoicing {
    float freq;
    float q;
    float exponent;
};

// Rows are models 1 to 5; columns are the high-pass, four peaks and the low-pass, in signal order.
inline constexpr StageVoicing kVoicingTable[kModelCount][kStageCount] = {
    {{85, 1.5f, 0},
     {400, 2, -0.1f},
     {1000, 2, 0.1f},
     {1600, 2, -0.15f},
     {2200, 2, 0.1f},
     {3500, 1.5f, 0}},
    {{100, 1.5f, 0},
     {400, 0.707f, -0.25f},
     {1100, 6, 0.2f},
     {1450, 4, -0.6f},
     {1700, 1.5f, 0.35f},
     {3000, 2.2f, 0}},
    {{80, 1, 0},
     {160, 1, 0.15f},
     {1600, 2, -0.25f},
     {2000, 3, 0.25f},
     {2500, 3, 0.2f},
     {4000, 2.5f, 0}},
    {{30, 0.8f, 0},
     {300, 0.5f, -0.15f},
     {600, 1, 0},
     {1200, 1, -0.1f},
     {6000, 1, -0.5f},
     {2500, 0.8f, 0}},
    {{30, 0.8f, 0},
     {1000, 1, 0},
     {1000, 1, 0},
     {1600, 1, 0.125f},
     {8000, 2, -0.5f},
     {5000, 1.3f, 0}},
};

// What the voicing step loads for one model at one rate.
struct Voicing {
    float mFreq[kStageCount];       // Hz: corner of the high- and low-pass, centre of the peaks
    float mQ[kStageCount];          // quality factor
    float mStageParam[kStageCount]; // high- and low-pass: K = tan(pi f / fs); peaks: linear gain G
};

// What the coefficient step computes: one direct-form-II biquad per stage.
struct Design {
    float mB[kStageCount][3]; // b0, b1, b2
    float mA[kStageCount][3]; // a0 (always 1, unused), a1, a2
    float mAllpassCoef;       // all-pass coefficient c of the last peak designed (stage 1)
    float mNegCos;            // -cos(2 pi f / fs) of the last peak designed (stage 1)
};

// What carries a channel's signal from one sample, and one call, to the next.
struct FilterState {
    float mW[kStageCount][3];     // w[n], w[n-1], w[n-2] of each stage
    float mNode[kStageCount + 1]; // last sample processed: input, then each stage's output
};

inline bool IsSpeakerModel(std::int32_t model) {
    return model >= 1 && model <= kModelCount;
}

// Truncation toward zero; a value that does not fit an int32 (NaN included) is the most
// negative int32. Range-checked in 64 bits first, since converting an unfitting float is
// undefined behaviour.
inline std::int32_t SpeakerModelFromParameter(float value) {
    const double widened = value;
    if (!(widened > -2147483649.0 && widened < 2147483648.0)) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(widened);
}

// Zero, negative, subnormal or non-finite rates would divide by zero or yield meaningless
// filters; a kernel keeps its previous design instead.
inline bool IsUsableSampleRate(float rate) {
    return isnormal(rate) && rate > 0.0f;
}

// A stage tuned at or above half the rate (model 5's 8000 Hz peak at 16000 Hz, for instance)
// would put poles on or outside the unit circle. It is moved just below half the rate instead; the
// margin keeps the prewarping tangent (at most tan(0.49 pi) ~ 32) well conditioned. Below the
// limit the frequency is untouched, so every rate of 22050 Hz and above designs exactly as the
// table says.
inline constexpr float kNyquistMargin = 0.49f;

inline float GuardedStageFrequency(float freq, float rate) {
    return freq >= rate * 0.5f ? kNyquistMargin * rate : freq;
}

// tan(pi f / fs) of the bilinear transform, in the documented rounding: 64-bit, then rounded.
inline float PrewarpedTangent(float freq, float rate) {
    const double x = static_cast<double>(freq) * kPi / static_cast<double>(rate);
    return tanf(static_cast<float>(x));
}

// Loads row `model` (1 to 5) of the table for `rate`, which must be usable.
inline void Voice(Voicing& voicing, std::int32_t model, float rate) {
    const StageVoicing* row = kVoicingTable[model - 1];
    for (int i = 0; i < kStageCount; ++i) {
        voicing.mFreq[i] = GuardedStageFrequency(row[i].freq, rate);
        voicing.mQ[i] = row[i].q;
    }
    voicing.mStageParam[kHighPassStage] = PrewarpedTangent(voicing.mFreq[kHighPassStage], rate);
    for (int i = kFirstPeakStage; i <= kLastPeakStage; ++i) {
        voicing.mStageParam[i] = powf(10.0f, row[i].exponent);
    }
    voicing.mStageParam[kLowPassStage] = PrewarpedTangent(voicing.mFreq[kLowPassStage], rate);
}

// Prewarped second-order high-pass. The a-coefficients are scaled by the reciprocal b0 rather
// than divided by D: that is the documented rounding, and what makes b0 + b1 + b2 exactly 0.
inline void DesignHighPass(float (&b)[3], float (&a)[3], float k, float q) {
    const float d = k * k + (k / q + 1.0f);
    b[0] = 1.0f / d;
    b[1] = b[0] * -2.0f;
    b[2] = b[0];
    a[0] = 1.0f;
    a[1] = ((k * k - 1.0f) * 2.0f) * b[0];
    a[2] = (k * k + (1.0f - k / q)) * b[0];
}

// Prewarped second-order low-pass; b1 = 2 b0 makes the gain at half the rate exactly 0.
inline void DesignLowPass(float (&b)[3], float (&a)[3], float k, float q) {
    const float d = k * k + (k / q + 1.0f);
    b[0] = (k * k) / d;
    b[1] = b[0] * 2.0f;
    b[2] = b[0];
    a[0] = 1.0f;
    a[1] = ((k * k - 1.0f) * 2.0f) / d;
    a[2] = (k * k + (1.0f - k / q)) / d;
}

// The peak's all-pass is stable only while its tangent argument pi f / (fs Q) stays below pi/2,
// which a bandwidth f/Q of half the rate or more breaks (Q below 1 at rates of 1200 Hz and less).
// Such a bandwidth is held at 0.49 times the rate, like a stage frequency. The float pi/2 lies
// above the real one, so the comparison is made after rounding: every argument that passes it
// has a positive tangent.
inline constexpr float kHalfPiAbove = static_cast<float>(kPi / 2);
inline constexpr float kGuardedBandwidthArgument = static_cast<float>(0.49 * kPi);

inline float GuardedBandwidthArgument(float ratio, float q) {
    const float x = static_cast<float>(static_cast<double>(ratio) * kPi / static_cast<double>(q));
    return x < kHalfPiAbove ? x : kGuardedBandwidthArgument;
}

// Peaking equaliser built on a second-order all-pass, H = ((1 + G) + (1 - G) A(z)) / 2: gain G at
// the centre, 1 far from it, bandwidth f/Q.
inline void DesignPeak(Design& design, int stage, const Voicing& voicing, float rate) {
    const float f = voicing.mFreq[stage];
    const float t = tanf(GuardedBandwidthArgument(f / rate, voicing.mQ[stage]));
    const float c = (1.0f - t) / (t + 1.0f);
    design.mAllpassCoef = c;
    const double y = static_cast<double>(f) * kTwoPi / static_cast<double>(rate);
    const float d = -cosf(static_cast<float>(y));
    design.mNegCos = d;
    const float g = voicing.mStageParam[stage];
    float(&b)[3] = design.mB[stage];
    float(&a)[3] = design.mA[stage];
    b[0] = (((c + 1.0f) + g) - g * c) / 2.0f;
    b[1] = d * c + d;
    b[2] = (g * c + ((c + 1.0f) - g)) / 2.0f;
    a[0] = 1.0f;
    a[1] = b[1];
    a[2] = c;
}

// The coefficient step. The peaks are designed from stage 4 down to 1, which leaves stage 1's
// values in the two scratch members.
inline void DesignCoefficients(Design& design, const Voicing& voicing, float rate) {
    DesignHighPass(design.mB[kHighPassStage], design.mA[kHighPassStage],
                   voicing.mStageParam[kHighPassStage], voicing.mQ[kHighPassStage]);
    for (int i = kLastPeakStage; i >= kFirstPeakStage; --i) {
        DesignPeak(design, i, voicing, rate);
    }
    DesignLowPass(design.mB[kLowPassStage], design.mA[kLowPassStage],
                  voicing.mStageParam[kLowPassStage], voicing.mQ[kLowPassStage]);
}

// The volume trim as a 64-bit factor; it depends on nothing else, so once per call suffices.
inline double VolumeGain(float volumeDecibels) {
    const float q = volumeDecibels / 20.0f;
    return pow(10.0, static_cast<double>(q));
}

// One direct-form-II step of a stage, shifting its memories. Templated on the sample so that a
// lane type with the same arithmetic operators runs several channels through the same step.
template <class Sample>
inline Sample BiquadStep(const float (&b)[3], const float (&a)[3], Sample& w1, Sample& w2,
                         Sample in) {
    const Sample w = (in - a[1] * w1) - a[2] * w2;
    const Sample out = b[2] * w2 + (b[1] * w1 + b[0] * w);
    w2 = w1;
    w1 = w;
    return out;
}

// One sample through the six stages: node[0] is the input; node[i + 1] receives stage i's output.
// Returns the stage-5 output.
template <class Sample>
inline Sample RunStages(const Design& design, Sample (&w1)[kStageCount], Sample (&w2)[kStageCount],
                        Sample (&node)[kStageCount + 1]) {
    for (int i = 0; i < kStageCount; ++i) {
        node[i + 1] = BiquadStep(design.mB[i], design.mA[i], w1[i], w2[i], node[i]);
    }
    return node[kStageCount];
}

// Filters `frames` samples, `stride` floats apart in both buffers, through the six stages and
// the volume factor. Source and destination may be the same memory. The memories live in locals
// for the whole call (and the coefficients in a local copy that the stores cannot alias), and go
// back to `state` at the end; only the last sample's stage boundaries are kept in mNode, so that
// no earlier sample pays for keeping them.
//
// A non-finite memory would make every later output NaN. It always shows in the stage-5 output of
// the same sample, since no arithmetic turns infinity or NaN finite again; so that one value is
// checked, after the output is stored and outside the recurrence, and the memories are cleared
// when it is not finite. The output recovers from the next sample on; finite input never takes
// the branch and stays bit-identical to the plain loop.
inline void ProcessSamples(const Design& design, FilterState& state, const float* source,
                           float* destination, std::uint32_t frames, std::uint32_t stride,
                           double gain) {
    if (frames == 0) {
        return;
    }
    const Design coefficients = design;
    float w1[kStageCount];
    float w2[kStageCount];
    for (int i = 0; i < kStageCount; ++i) {
        w1[i] = state.mW[i][1];
        w2[i] = state.mW[i][2];
    }
    const auto processSample = [&](float(&node)[kStageCount + 1]) {
        node[0] = *source;
        source += stride;
        const float out = RunStages(coefficients, w1, w2, node);
        *destination = static_cast<float>(gain * static_cast<double>(out));
        destination += stride;
        if (!isfinite(out)) [[unlikely]] {
            for (int i = 0; i < kStageCount; ++i) {
                w1[i] = 0.0f;
                w2[i] = 0.0f;
            }
        }
    };
    float scratch[kStageCount + 1];
    for (std::uint32_t n = 1; n < frames; ++n) {
        processSample(scratch);
    }
    processSample(state.mNode);
    for (int i = 0; i < kStageCount; ++i) {
        state.mW[i][0] = w1[i];
        state.mW[i][1] = w1[i];
        state.mW[i][2] = w2[i];
    }
}

} // namespace quenzal_voicing
