#pragma once

// The voice's filter: a four-pole ladder low-pass run four times per sample with a soft
// clipper in the feedback path, or a state-variable high-pass.

#include <juce_core/juce_core.h>
#include <array>

namespace kv
{
class KVFilter
{
public:
    KVFilter();

    // Stores the rate, clears every state and sets start coefficients (800 Hz, moderate
    // feedback) that the first rendered sample replaces.
    void prepare (double sampleRate) noexcept;

    // Cutoff in Hz, already limited to 5 .. 0.425 * sampleRate. Coefficients are only
    // recomputed when the cutoff changes.
    void setCutoff (float cutoffHz) noexcept;

    // Resonance 0..1: the ladder feedback and, near the top, a trace of seed noise that keeps
    // a self-oscillating ladder going without input.
    void setResonance (float resonance) noexcept;

    float processLowPass (float x) noexcept;
    float processHighPass (float x) noexcept;

    // True when the filter has rung out (every state below 1e-20, no seed noise): with no
    // input it would only drift on towards 0 through denormal numbers, so it is set to exactly
    // 0 and may be skipped while its input stays 0.
    bool settleIfRungOut() noexcept;

    void setSeed (juce::int64 seed) noexcept { random.setSeed (seed); }
    void seedRandomly() noexcept { random.setSeedRandomly(); }

    float getFeedback() const noexcept { return k; }

private:
    void reset() noexcept;

    float sampleRate = 44100.0f;
    float g = 0.0f, k = 0.0f, compensation = 1.0f;
    float feedbackCompensation = 0.5f;
    float previousInput = 0.0f;
    float f = 0.0f;
    float svfLow = 0.0f, svfBand = 0.0f;
    float seedNoiseAmount = 0.0f;
    float cutoff = -1.0f, resonance = -1.0f;
    bool fNeedsUpdate = true;
    std::array<float, 4> stageInput {}, stageOutput {};
    juce::Random random { 1 };
};
} // namespace kv
