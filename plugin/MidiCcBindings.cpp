#include "MidiCcBindings.h"
#include "Parameters.h"

#include <cmath>

namespace
{
struct FixedBinding
{
    int controller;
    const char* parameterId; // nullptr: a step family, see below
};

// Controllers 20..36, then the four step families (37.., 53.., 69.., 85..), then 101..109 and 111..118.
constexpr FixedBinding kSoundBindings[] = {
    { 20, "vcoDecay" },  { 21, "vco1EgAmt" }, { 22, "vco1Freq" },  { 23, "vco1Level" }, { 24, "noiseLevel" },
    { 25, "cutoff" },    { 26, "resonance" }, { 27, "vcaEg" },     { 28, "volume" },    { 29, "fmAmount" },
    { 30, "vco2EgAmt" }, { 31, "vco2Freq" },  { 32, "vco2Level" }, { 33, "vcfDecay" },  { 34, "vcfEgAmt" },
    { 35, "noiseVcfMod" }, { 36, "vcaDecay" },
};

constexpr FixedBinding kSwitchBindings[] = {
    { 101, "seqPitchMod" }, { 102, "hardSync" },  { 103, "vco1Wave" },  { 104, "vco2Wave" },
    { 105, "vcfMode" },     { 106, "clockMult" }, { 107, "clickTune" }, { 108, "clickDecay" },
    { 109, "clickLevel" },  { 111, "preDrive" },  { 112, "postDrive" }, { 113, "lfoRate" },
    { 114, "lfoWave" },     { 115, "lfoSync" },   { 116, "lfoRetrig" }, { 117, "lfoDest" },
    { 118, "lfoAmt" },
};

constexpr kv::StepFamily kStepFamilies[] = { kv::StepFamily::Pitch, kv::StepFamily::Velocity,
                                             kv::StepFamily::ModA, kv::StepFamily::ModB };
constexpr int kFirstStepController = 37;
} // namespace

void MidiCcBindings::initialise (juce::AudioProcessorValueTreeState& state, kv::ParameterNotifier& changeNotifier)
{
    notifier = &changeNotifier;
    slots.fill ({});
    size_t next = 0;
    auto bind = [&] (int controller, const juce::String& id) {
        auto* parameter = state.getParameter (id);
        int choiceSteps = 0;
        if (dynamic_cast<juce::AudioParameterBool*> (parameter) != nullptr)
            choiceSteps = 2;
        else if (dynamic_cast<juce::AudioParameterChoice*> (parameter) != nullptr)
            choiceSteps = juce::jmax (2, parameter->getNumSteps());
        slots[next++] = { controller, parameter, choiceSteps };
    };

    for (const auto& b : kSoundBindings)
        bind (b.controller, b.parameterId);

    int controller = kFirstStepController;
    for (auto family : kStepFamilies)
        for (int step = 0; step < kv::kNumSteps; ++step)
            bind (controller++, kv::stepParameterId (family, step));

    for (const auto& b : kSwitchBindings)
        bind (b.controller, b.parameterId);

    jassert (next == (size_t) kNumSlots);
}

bool MidiCcBindings::apply (int controller, int value) const
{
    for (const auto& binding : slots)
    {
        if (binding.controller != controller || binding.parameter == nullptr)
            continue;

        auto* parameter = binding.parameter;
        const float x = juce::jmin (1.0f, (float) juce::jlimit (0, 127, value) / 127.0f);
        float normalised = x;

        if (binding.choiceSteps > 0)
        {
            const int last = binding.choiceSteps - 1;
            const int k = juce::jlimit (0, last, (int) std::round (x * (float) last)); // half away from zero
            normalised = (float) k / (float) last;
        }

        notifier->setValue (*parameter, normalised);
        return true;
    }
    return false;
}

int MidiCcBindings::controllerFor (const juce::String& parameterId) const
{
    for (const auto& binding : slots)
        if (binding.parameter != nullptr && binding.parameter->getParameterID() == parameterId)
            return binding.controller;
    return -1;
}
