#include "Filter.h"

#include <algorithm>
#include <cmath>

namespace kv
{
namespace
{
constexpr float kPi = 3.14159265358979323846f;
}

KVFilter::KVFilter() { random.setSeedRandomly(); }

void KVFilter::reset() noexcept
{
    stageInput.fill (0.0f);
    stageOutput.fill (0.0f);
    svfLow = svfBand = 0.0f;
    previousInput = 0.0f;
}

void KVFilter::prepare (double newSampleRate) noexcept
{
    sampleRate = (float) newSampleRate;
    reset();
    feedbackCompensation = 0.5f;
    seedNoiseAmount = 0.0f;
    cutoff = -1.0f;
    resonance = -1.0f;
    setCutoff (std::min (0.425f * sampleRate, 800.0f));
    k = 1.61024f;
}

void KVFilter::setCutoff (float cutoffHz) noexcept
{
    if (cutoffHz == cutoff)
        return;

    cutoff = cutoffHz;
    // The ladder runs at four times the sample rate.
    const float x = 2.0f * kPi * cutoffHz / (4.0f * sampleRate);
    const float x2 = x * x;
    g = 0.9892f * x - 0.4324f * x2 + 0.1381f * x2 * x - 0.0202f * x2 * x2;
    compensation = 1.006f + 0.0536f * x - 0.095f * x2 - 0.05f * x2 * x2;
    fNeedsUpdate = true;
}

void KVFilter::setResonance (float r) noexcept
{
    if (r == resonance)
        return;

    resonance = r;
    const float r2 = r * r;
    k = 4.0f * r + 0.4f * r2 * r2;
    seedNoiseAmount = r > 0.9f ? std::min (1.0f, (r - 0.9f) * 10.0f) * 0.000001f : 0.0f;
}

bool KVFilter::settleIfRungOut() noexcept
{
    if (seedNoiseAmount > 0.0f)
        return false;

    constexpr float rest = 1.0e-20f;
    float largest = std::max (std::abs (previousInput), std::max (std::abs (svfLow), std::abs (svfBand)));
    for (size_t i = 0; i < 4; ++i)
        largest = std::max (largest, std::max (std::abs (stageInput[i]), std::abs (stageOutput[i])));
    if (largest >= rest)
        return false;

    if (largest > 0.0f)
        reset();
    return true;
}

float KVFilter::processLowPass (float x) noexcept
{
    if (seedNoiseAmount > 0.0f)
        x += seedNoiseAmount * (2.0f * random.nextFloat() - 1.0f);

    const float feedback = k * compensation;
    const float reference = feedbackCompensation * x;
    float sum = 0.0f;

    for (int j = 0; j < 4; ++j)
    {
        // The input is interpolated from the previous sample to this one across the sub-steps.
        const float w = 0.25f * (float) j;
        const float in = x * (1.0f - w) + previousInput * w;
        const float u = in - feedback * (stageOutput[3] - reference);

        float s;
        if (u > 3.0f)
            s = 1.0f;
        else if (u < -3.0f)
            s = -1.0f;
        else
            s = u * (27.0f + u * u) / (27.0f + 9.0f * u * u);

        for (size_t i = 0; i < 4; ++i)
        {
            stageOutput[i] += g * (0.7692308f * s + 0.2307692f * stageInput[i] - stageOutput[i]);
            stageInput[i] = s;
            s = stageOutput[i];
        }
        sum += stageOutput[3];
    }

    previousInput = x;
    const float out = 0.25f * sum;
    if (! std::isfinite (out))
    {
        reset();
        return 0.0f;
    }
    return out;
}

float KVFilter::processHighPass (float x) noexcept
{
    if (fNeedsUpdate)
    {
        f = std::clamp (2.0f * std::sin (kPi * std::min (0.33f * sampleRate, cutoff) / sampleRate), 0.0f, 0.8f);
        fNeedsUpdate = false;
    }

    const float q = std::clamp (1.0f - 0.24f * k, 0.02f, 1.0f);
    const float high = x - svfLow - q * svfBand;
    svfBand += f * high;
    svfLow += f * svfBand;
    if (! std::isfinite (svfBand) || ! std::isfinite (high))
    {
        svfLow = svfBand = 0.0f;
        return 0.0f;
    }
    return high;
}
} // namespace kv
