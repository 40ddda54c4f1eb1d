#pragma once

// The instrument's 134 host parameters: identifiers, the layout factory and the handles the
// audio thread reads once per block.

#include <juce_audio_processors/juce_audio_processors.h>
#include <array>
#include <atomic>
#include <memory>

namespace kv
{
inline constexpr int kNumSteps = 16;
inline constexpr int kNumParameters = 134;

// Identifiers of every parameter that is not part of a per-step family.
namespace ids
{
#define KV_PARAMETER_ID(name) inline constexpr const char* name = #name;
KV_PARAMETER_ID (vcoDecay)
KV_PARAMETER_ID (vco1Freq)
KV_PARAMETER_ID (vco1EgAmt)
KV_PARAMETER_ID (fmAmount)
KV_PARAMETER_ID (vco2Freq)
KV_PARAMETER_ID (vco2EgAmt)
KV_PARAMETER_ID (noiseLevel)
KV_PARAMETER_ID (vco1Level)
KV_PARAMETER_ID (vco2Level)
KV_PARAMETER_ID (vco2Decay)
KV_PARAMETER_ID (vcoEgShape)
KV_PARAMETER_ID (cutoff)
KV_PARAMETER_ID (resonance)
KV_PARAMETER_ID (vcfDecay)
KV_PARAMETER_ID (vcfEgAmt)
KV_PARAMETER_ID (noiseVcfMod)
KV_PARAMETER_ID (vcaDecay)
KV_PARAMETER_ID (vcaEg)
KV_PARAMETER_ID (preTrim)
KV_PARAMETER_ID (volume)
KV_PARAMETER_ID (noiseColor)
KV_PARAMETER_ID (velVcfDecaySens)
KV_PARAMETER_ID (untz)
KV_PARAMETER_ID (modADest)
KV_PARAMETER_ID (modBDest)
KV_PARAMETER_ID (clockMult)
KV_PARAMETER_ID (pitchSteps)
KV_PARAMETER_ID (velSteps)
KV_PARAMETER_ID (modASteps)
KV_PARAMETER_ID (modBSteps)
KV_PARAMETER_ID (seqPitchMod)
KV_PARAMETER_ID (hardSync)
KV_PARAMETER_ID (vco1Wave)
KV_PARAMETER_ID (vco2Wave)
KV_PARAMETER_ID (vcfMode)
KV_PARAMETER_ID (clickTune)
KV_PARAMETER_ID (clickDecay)
KV_PARAMETER_ID (clickLevel)
KV_PARAMETER_ID (vcaAttack)
KV_PARAMETER_ID (preDrive)
KV_PARAMETER_ID (postDrive)
KV_PARAMETER_ID (lfoRate)
KV_PARAMETER_ID (lfoWave)
KV_PARAMETER_ID (lfoSync)
KV_PARAMETER_ID (lfoRetrig)
KV_PARAMETER_ID (lfoDest)
KV_PARAMETER_ID (lfoAmt)
KV_PARAMETER_ID (seqRun)
KV_PARAMETER_ID (tempo)
KV_PARAMETER_ID (swing)
KV_PARAMETER_ID (noiseDecay)
KV_PARAMETER_ID (noiseVcfBypass)
KV_PARAMETER_ID (clickVcfBypass)
KV_PARAMETER_ID (seqResetOnStart)
#undef KV_PARAMETER_ID
} // namespace ids

// The five per-step families. The identifier of step n (0-based) is the stem followed by n.
enum class StepFamily { Pitch, Velocity, ModA, ModB, Active };
const char* stepFamilyStem (StepFamily family) noexcept;

// Identifiers of the step parameters, built once at start-up so nothing on the audio thread
// or in the editor has to concatenate strings.
const juce::String& stepParameterId (StepFamily family, int step);

juce::String makeModDestinationParameterId (int lane);

// Labels of the choice parameters.
const juce::StringArray& modDestinationLabels();
const juce::StringArray& lfoDestinationLabels();
const juce::StringArray& clockMultiplierLabels();
const juce::StringArray& laneLengthLabels();

juce::AudioProcessorValueTreeState::ParameterLayout createParameterLayout();

// Plain values of every parameter the engine uses, read once at the start of a block.
struct StepValues
{
    float pitch = 60.0f, velocity = 0.8f, modA = 0.5f, modB = 0.5f;
};

struct BlockParameters
{
    float vcoDecay, vco1Freq, vco1EgAmt, fmAmount, vco2Freq, vco2EgAmt, noiseLevel, vco1Level,
          vco2Level, vco2Decay, cutoff, resonance, vcfDecay, vcfEgAmt, noiseVcfMod, vcaDecay,
          vcaEg, preTrim, volume, noiseColor, velVcfDecaySens, untz, clickTune, clickDecay,
          clickLevel, preDrive, postDrive, lfoRate, lfoAmt, tempo, swing, noiseDecay;
    int vcoEgShape, modADest, modBDest, clockMult, pitchSteps, velSteps, modASteps, modBSteps,
        seqPitchMod, vco1Wave, vco2Wave, vcfMode, lfoWave, lfoDest;
    bool hardSync, lfoSync, lfoRetrig, seqRun, noiseVcfBypass, clickVcfBypass, seqResetOnStart;
    std::array<StepValues, kNumSteps> steps;
};

// Every parameter of the instrument keeps its plain value (a choice's index, a switch's 0 or 1)
// in an atomic of its own, written by setValue on whichever thread changes the parameter, with or
// without host notification. The engine and the editor read these.
struct PlainValue
{
    std::atomic<float> plain { 0.0f };
};

// The plain value of one of the instrument's parameters; nullptr for any other parameter.
const std::atomic<float>* plainValueOf (const juce::AudioProcessorParameter* parameter) noexcept;

// Plain-value pointers of every parameter, looked up once at construction.
class ParameterHandles
{
public:
    explicit ParameterHandles (juce::AudioProcessorValueTreeState& state);

    // One atomic read per parameter; safe on the audio thread.
    void read (BlockParameters& out) const noexcept;

    // Only the 64 step values (pitch, velocity, mod A, mod B).
    void readSteps (std::array<StepValues, kNumSteps>& out) const noexcept;

private:
    static const std::atomic<float>* find (juce::AudioProcessorValueTreeState&, const juce::String& id);

    const std::atomic<float> *vcoDecay, *vco1Freq, *vco1EgAmt, *fmAmount, *vco2Freq, *vco2EgAmt,
        *noiseLevel, *vco1Level, *vco2Level, *vco2Decay, *vcoEgShape, *cutoff, *resonance,
        *vcfDecay, *vcfEgAmt, *noiseVcfMod, *vcaDecay, *vcaEg, *preTrim, *volume, *noiseColor,
        *velVcfDecaySens, *untz, *modADest, *modBDest, *clockMult, *pitchSteps, *velSteps,
        *modASteps, *modBSteps, *seqPitchMod, *hardSync, *vco1Wave, *vco2Wave, *vcfMode,
        *clickTune, *clickDecay, *clickLevel, *preDrive, *postDrive, *lfoRate, *lfoWave,
        *lfoSync, *lfoRetrig, *lfoDest, *lfoAmt, *seqRun, *tempo, *swing, *noiseDecay,
        *noiseVcfBypass, *clickVcfBypass, *seqResetOnStart;
    std::array<const std::atomic<float>*, kNumSteps> stepPitch {}, stepVel {}, stepModA {}, stepModB {};
};
} // namespace kv
