#pragma once

// The LFO, the modulation destinations of the two mod lanes and the LFO, and the pan law.

#include "../Parameters.h"
#include <juce_core/juce_core.h>

class KVVoice;

// What the modulation hands back for one sample besides what it writes into the voice.
struct ModulationFrame
{
    float leftGain = 1.0f, rightGain = 1.0f;
    float velocityFactor = 1.0f; // 1 unless the LFO targets the velocity

    float scaleVelocity (float velocity) const noexcept
    {
        return velocityFactor == 1.0f ? velocity : juce::jmin (1.0f, velocity * velocityFactor);
    }
};

class KVModulation
{
public:
    KVModulation();
    void prepare (double sampleRate) noexcept;
    void setRandomSeed (juce::int64 seed) noexcept { random.setSeed (seed); }

    void beginBlock (const kv::BlockParameters& parameters, KVVoice& voice) noexcept;

    // Runs the LFO and applies every destination rule for one sample, before the voice is
    // triggered and rendered.
    ModulationFrame processSample (bool triggerHere, float modAValue, float modBValue,
                                   double clockPosition, double tempo, KVVoice& voice) noexcept;

private:
    double sampleRate = 44100.0;
    juce::Random random { 1 };
};
