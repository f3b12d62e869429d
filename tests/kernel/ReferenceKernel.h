// The oracle: the kernel's voicing, design and sample loop written out step by step, one
// operation per documented operation, with no reuse, no caching and no guards. Tests compare the
// production arithmetic with it bit for bit wherever the guards do not apply (rates of 22050 Hz
// and above, finite input).
#pragma once

#include <math.h>

#include <cstdint>

struct ReferenceKernel {
    // Per model: stage 0 f, Q; stages 1 to 4 f, Q, e; stage 5 f, Q.
    static constexpr float kRows[5][16] = {
        {85, 1.5f, 400, 2, -0.1f, 1000, 2, 0.1f, 1600, 2, -0.15f, 2200, 2, 0.1f, 3500, 1.5f},
        {100, 1.5f, 400, 0.707f, -0.25f, 1100, 6, 0.2f, 1450, 4, -0.6f, 1700, 1.5f, 0.35f, 3000,
         2.2f},
        {80, 1, 160, 1, 0.15f, 1600, 2, -0.25f, 2000, 3, 0.25f, 2500, 3, 0.2f, 4000, 2.5f},
        {30, 0.8f, 300, 0.5f, -0.15f, 600, 1, 0, 1200, 1, -0.1f, 6000, 1, -0.5f, 2500, 0.8f},
        {30, 0.8f, 1000, 1, 0, 1000, 1, 0, 1600, 1, 0.125f, 8000, 2, -0.5f, 5000, 1.3f},
    };

    float mRate;
    float mFreq[6];
    float mQ[6];
    float mAllpassCoef;
    float mNegCos;
    float mStageParam[6];
    float mB[6][3];
    float mA[6][3];
    float mW[6][3];
    float mNode[7];

    void VoicingStep(int m) {
        const float* row = kRows[m - 1];
        mFreq[0] = row[0];
        mQ[0] = row[1];
        for (int i = 1; i <= 4; ++i) {
            mFreq[i] = row[3 * i - 1];
            mQ[i] = row[3 * i];
        }
        mFreq[5] = row[14];
        mQ[5] = row[15];
        mStageParam[0] = tanf((float)((double)mFreq[0] * 3.141592653589793 / (double)mRate));
        for (int i = 1; i <= 4; ++i) {
            mStageParam[i] = powf(10.0f, row[3 * i + 1]);
        }
        mStageParam[5] = tanf((float)((double)mFreq[5] * 3.141592653589793 / (double)mRate));
    }

    void CoefficientStep() {
        float K = mStageParam[0];
        float Q = mQ[0];
        float D = K * K + (K / Q + 1.0f);
        mB[0][0] = 1.0f / D;
        mB[0][1] = mB[0][0] * -2.0f;
        mB[0][2] = mB[0][0];
        mA[0][0] = 1.0f;
        mA[0][1] = ((K * K - 1.0f) * 2.0f) * mB[0][0];
        mA[0][2] = (K * K + (1.0f - K / Q)) * mB[0][0];

        for (int i = 4; i >= 1; --i) {
            float f = mFreq[i];
            float fs = mRate;
            float r = f / fs;
            float x = (float)((double)r * 3.141592653589793 / (double)mQ[i]);
            float t = tanf(x);
            float c = (1.0f - t) / (t + 1.0f);
            mAllpassCoef = c;
            float y = (float)((double)f * 6.283185307179586 / (double)fs);
            float d = -cosf(y);
            mNegCos = d;
            float G = mStageParam[i];
            mB[i][0] = (((c + 1.0f) + G) - G * c) / 2.0f;
            mB[i][1] = d * c + d;
            mB[i][2] = (G * c + ((c + 1.0f) - G)) / 2.0f;
            mA[i][0] = 1.0f;
            mA[i][1] = mB[i][1];
            mA[i][2] = c;
        }

        K = mStageParam[5];
        Q = mQ[5];
        D = K * K + (K / Q + 1.0f);
        mB[5][0] = (K * K) / D;
        mB[5][1] = mB[5][0] * 2.0f;
        mB[5][2] = mB[5][0];
        mA[5][0] = 1.0f;
        mA[5][1] = ((K * K - 1.0f) * 2.0f) / D;
        mA[5][2] = (K * K + (1.0f - K / Q)) / D;
    }

    void Reset(double sampleRate) {
        mRate = (float)sampleRate;
        VoicingStep(1);
        CoefficientStep();
        for (int i = 5; i >= 0; --i) {
            mW[i][2] = 0.0f;
            mW[i][1] = 0.0f;
            mW[i][0] = 0.0f;
        }
    }

    static std::int32_t ModelFrom(float parameter) {
        if (isnan(parameter) || parameter >= 2147483648.0f || parameter < -2147483648.0f) {
            return INT32_MIN;
        }
        return (std::int32_t)truncf(parameter);
    }

    void Process(float parameter0, float parameter1, const float* source, float* destination,
                 std::uint32_t frames, std::uint32_t channelStride) {
        const std::int32_t model = ModelFrom(parameter0);
        const float volume = parameter1;
        if (1 <= model && model <= 5) {
            VoicingStep(model);
        }
        CoefficientStep();
        for (std::uint32_t n = 0; n < frames; ++n) {
            float x = *source;
            source += channelStride;
            mNode[0] = x;
            for (int i = 0; i < 6; ++i) {
                float w = (mNode[i] - mA[i][1] * mW[i][1]) - mA[i][2] * mW[i][2];
                mW[i][0] = w;
                mNode[i + 1] = mB[i][2] * mW[i][2] + (mB[i][1] * mW[i][1] + mB[i][0] * w);
            }
            float q = volume / 20.0f;
            double gain = pow(10.0, (double)q);
            float output = (float)(gain * (double)mNode[6]);
            for (int i = 5; i >= 0; --i) {
                mW[i][2] = mW[i][1];
                mW[i][1] = mW[i][0];
            }
            *destination = output;
            destination += channelStride;
        }
    }
};
