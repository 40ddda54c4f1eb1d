#pragma once

// The modulation of the voice: mod lanes A and B and the LFO, each with one destination, summed
// per destination and applied every sample by the destination's own rule; the pan law; the
// LFO's scaling of trigger velocities.

#include "../Parameters.h"
#include "Destinations.h"
#include "Lfo.h"

#include <juce_audio_processors/juce_audio_processors.h>
#include <array>

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
    // The LFO's current rate, amount and output, and the pan position.
    struct State
    {
        float lfoRate = 1.0f, lfoAmount = 0.0f, lfoValue = 0.0f, lfoPhase = 0.0f, pan = 0.0f;
    };

    KVModulation() = default;

    void prepare (double sampleRate) noexcept { currentSampleRate = sampleRate; }
    void setRandomSeed (juce::int64 seed) noexcept { lfo.setSeed (seed); }

    // The decays are modulated along their knob travel, so the modulation needs the parameters'
    // ranges. "VCO2 DEC" uses the range of `vcoDecay`. A missing parameter leaves its decay
    // unmodulated. Call off the audio thread (prepareToPlay).
    void setDecayParameters (const juce::RangedAudioParameter* vcfDecay, const juce::RangedAudioParameter* vcaDecay,
                             const juce::RangedAudioParameter* vcoDecay, const juce::RangedAudioParameter* noiseDecay,
                             const juce::RangedAudioParameter* clickDecay) noexcept;

    // Takes the block's parameter values.
    void beginBlock (const kv::BlockParameters& parameters) noexcept;

    // One sample, before the voice is triggered and rendered: LFO restart on a trigger, the
    // voice's 10 ms ramps, the sums, the LFO, and every destination rule into the voice.
    ModulationFrame processSample (bool triggerHere, float modAValue, float modBValue, double clockPosition,
                                   double tempo, KVVoice& voice) noexcept;

    const State& getState() const noexcept { return state; }

private:
    // A decay moved in its parameter's normalised space: +1 moves it by half its knob travel.
    struct NormalisedDecay
    {
        const juce::NormalisableRange<float>* range = nullptr;
        float plain = 0.0f, normalised = 0.0f;
        float lastPosition = -1.0f, lastTime = 0.0f;

        void begin (float plainValue) noexcept;
        float time (float sum) noexcept;
    };

    double currentSampleRate = 44100.0;
    kv::KVLfo lfo;
    State state;

    // Block values.
    int modADestination = 0, modBDestination = 0, lfoDestination = 0;
    int lfoWave = 0;
    bool lfoSync = false, lfoRetrig = false;
    float lfoRate = 1.0f, lfoAmount = 0.5f;
    float fmAmount = 0.0f, noiseLevel = 0.0f, vcfEgAmount = 0.0f, noiseVcfMod = 0.0f, noiseColor = 0.0f,
          clickLevel = 0.0f, clickTune = 800.0f, vcaEg = 0.0f, untz = 0.0f, vco1EgAmount = 0.0f,
          vco2EgAmount = 0.0f;
    NormalisedDecay vcfDecay, vcaDecay, vcoDecay, vco2Decay, noiseDecay, clickDecay;

    std::array<float, kv::mod::kNumDestinationCodes> sums {};
};
