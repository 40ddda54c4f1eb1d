#pragma once

// The instrument's single voice: two oscillators with FM and hard sync, coloured noise, a
// click, a ladder low-pass or state-variable high-pass, decay envelopes, an amplifier with
// attack ramp and "untz" bend, pre and post drive and a volume. Every trigger restarts this
// one voice; there is no note-off.

#include "../Parameters.h"
#include "Filter.h"
#include "Oscillators.h"
#include "Smoothers.h"

#include <juce_core/juce_core.h>

class KVVoice
{
public:
    // The voice's modulated targets: written by the modulation every sample, before the voice
    // is triggered and rendered. Times in seconds, frequencies in Hz, offsets in semitones.
    struct Controls
    {
        float cutoff = 5515.448f;    // filter base cutoff, 20 .. 20000
        float resonance = 0.0f;      // 0 .. 1
        float fmAmount = 0.0f;       // 0 .. 1, reached through a 1 ms ramp
        float noiseLevel = 0.0f;
        float noiseColor = 0.0f;     // -1 dark .. +1 bright
        float noiseVcfDepth = 0.0f;  // noise to cutoff, 0 .. 1
        float vcfEgAmount = 0.0f;    // -1 .. 1
        float clickLevel = 0.0f;
        float clickFrequency = 800.0f;
        float clickDecay = 0.015f;
        float preDrive = 1.0f;       // 1 .. 10, before the trim
        float postDrive = 1.0f;      // 1 .. 10
        float untz = 0.0f;           // -1 .. 1
        float vco1Level = 0.6f, vco2Level = 0.0f;
        float vco1EgAmount = 0.0f, vco2EgAmount = 0.0f;
        float pitchOffset = 0.0f, vco1PitchOffset = 0.0f, vco2PitchOffset = 0.0f;
        float attackTime = 0.001f;   // taken by the next trigger
        float vcoDecay = 0.3f, vco2Decay = 0.3f, vcfDecay = 0.3f, vcaDecay = 0.04335182f, noiseDecay = 0.04101524f;
    };

    // The seven values that follow their parameters through a 10 ms ramp.
    struct Smoothed
    {
        float cutoff, resonance, volume, vco1Level, vco2Level, preDrive, postDrive;
    };

    // A read-only view of the voice's state.
    struct Probe
    {
        float velocity;             // of the last sounding trigger
        float amplifierLevel;       // amplifier envelope before the bend
        float amplifierTarget;      // after bend and attack ramp
        float filterLevel;          // filter envelope
        float vco1Hz, vco2Hz;       // glide positions
        float vco1Phase, vco2Phase;
        bool clickActive;
        bool decimatorClear;
    };

    KVVoice();

    // Sample-rate set-up: envelope coefficients, ramp lengths, cleared filter and decimator.
    // Envelope levels and oscillator phases survive, so a ringing sound continues.
    void prepare (double sampleRate, const kv::BlockParameters& current) noexcept;

    // Copies the block's values into the voice and sets the targets of the 10 ms ramps.
    void setBlockParameters (const kv::BlockParameters& parameters) noexcept;

    // Advances the 10 ms ramps by one sample.
    const Smoothed& advanceBlockSmoothers() noexcept;

    void setControls (const Controls& newControls) noexcept;
    const Controls& getControls() const noexcept { return controls; }

    // Restarts the voice at a note (60 = untransposed). A velocity of 0 only moves the pitch
    // targets: a rest.
    void trigger (float note, float velocity) noexcept;

    // One output sample.
    float renderSample() noexcept;

    Probe probe() const noexcept;

    // Seeds the voice's random generators (noise, click burst, filter seed noise).
    void setRandomSeed (juce::int64 seed) noexcept;

    static float renderOscillatorSample (int wave, float phase, float increment) noexcept
    {
        return kv::renderOscillatorSample (wave, phase, increment);
    }

private:
    float pitchFactor (float semitones, float& cachedSemitones, float& cachedFactor) noexcept;

    // Timing
    double sampleRate = 44100.0;
    float invOversampledRate = 1.0f / (8.0f * 44100.0f);

    // Last trigger
    float note = 60.0f;
    float vco1Frequency = 261.62555f, vco2Frequency = 391.99542f;
    float velocity = 1.0f;

    // Block values
    float filterEnvelopeFollower = 0.0f;
    float vco1BaseFrequency = 261.62555f, vco2BaseFrequency = 391.99542f;
    int pitchTrackMode = 0;
    float preTrim = 1.0f;
    float velocityToVcfDecay = 0.0f;
    bool highPass = false;
    bool noiseBypassesFilter = false, clickBypassesFilter = false;
    int vcoEgShape = 1;
    kv::KVOscillators::Settings oscillatorSettings;

    Controls controls;

    // Click and noise
    bool clickActive = false;
    float clickTime = 0.0f, clickFilterState = 0.0f;
    float noiseFilterState = 0.0f;

    // Amplifier and follower
    float amplifierGainSmoothed = 0.0f;
    float amplifierSmoothingCoefficient = 1.0f, followerRiseCoefficient = 1.0f;
    float amplifierTarget = 0.0f;

    kv::DecayEnvelope vcoEnvelope, vco2Envelope, amplifierEnvelope, filterEnvelope, noiseEnvelope;

    juce::Random noiseRandom { 1 };

    kv::LinearSmoother vcoEnvelopeSmoother, vco2EnvelopeSmoother, fmSmoother, attackRamp;
    kv::MultiplicativeSmoother vco1Glide, vco2Glide;

    // The 10 ms ramps and their current values.
    kv::LinearSmoother cutoffSmoother, resonanceSmoother, volumeSmoother, vco1LevelSmoother,
        vco2LevelSmoother, preDriveSmoother, postDriveSmoother;
    Smoothed smoothed {};

    kv::KVOscillators oscillators;
    kv::KVFilter filter;

    // Values that only change when their input does.
    float cachedPitch1 = 0.0f, cachedFactor1 = 1.0f, cachedPitch2 = 0.0f, cachedFactor2 = 1.0f;
    float cachedPreDrive = 0.0f, cachedPreDriveNorm = 1.0f;
    float cachedPostDrive = 0.0f, cachedPostDriveNorm = 1.0f;
};
