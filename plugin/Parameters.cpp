#include "Parameters.h"
#include "ValueText.h"

namespace kv
{
namespace
{
using Layout = juce::AudioProcessorValueTreeState::ParameterLayout;

// Holder of a parameter pointer, handed to the text functions before the parameter exists.
using ParameterHolder = std::shared_ptr<std::atomic<juce::RangedAudioParameter*>>;

ParameterHolder makeHolder()
{
    return std::make_shared<std::atomic<juce::RangedAudioParameter*>> (nullptr);
}

bool isLinkOn (const ParameterHolder& link)
{
    if (link == nullptr)
        return false;
    auto* linked = link->load (std::memory_order_relaxed);
    return linked != nullptr && linked->getValue() >= 0.5f;
}

juce::NormalisableRange<float> skewedRange (float minimum, float maximum, float centre)
{
    juce::NormalisableRange<float> range (minimum, maximum, 0.0f, 1.0f);
    range.setSkewForCentre (centre);
    return range;
}

// The three kinds of parameter, each keeping its plain value where the engine reads it. setValue
// calls valueChanged on every change, notified or not.
class FloatParameter final : public juce::AudioParameterFloat, public PlainValue
{
public:
    template <typename... Args>
    explicit FloatParameter (Args&&... args) : juce::AudioParameterFloat (std::forward<Args> (args)...)
    {
        plain.store (get());
    }

private:
    void valueChanged (float newValue) override { plain.store (newValue, std::memory_order_relaxed); }
};

class ChoiceParameter final : public juce::AudioParameterChoice, public PlainValue
{
public:
    template <typename... Args>
    explicit ChoiceParameter (Args&&... args) : juce::AudioParameterChoice (std::forward<Args> (args)...)
    {
        plain.store ((float) getIndex());
    }

private:
    void valueChanged (int newIndex) override { plain.store ((float) newIndex, std::memory_order_relaxed); }
};

class BoolParameter final : public juce::AudioParameterBool, public PlainValue
{
public:
    template <typename... Args>
    explicit BoolParameter (Args&&... args) : juce::AudioParameterBool (std::forward<Args> (args)...)
    {
        plain.store (get() ? 1.0f : 0.0f);
    }

private:
    void valueChanged (bool newValue) override { plain.store (newValue ? 1.0f : 0.0f, std::memory_order_relaxed); }
};

std::unique_ptr<juce::AudioParameterFloat> makeFloat (const juce::String& id, const juce::String& name,
                                                      juce::NormalisableRange<float> range, float defaultValue,
                                                      ParameterHolder link)
{
    const auto kind = valueKindForParameter (id);
    auto self = makeHolder();

    auto attributes = juce::AudioParameterFloatAttributes()
        .withStringFromValueFunction ([kind, link] (float value, int) {
            return formatParameterValue (kind, value, isLinkOn (link));
        })
        .withValueFromStringFunction ([kind, link, self, range, defaultValue] (const juce::String& text) {
            auto* parameter = self->load (std::memory_order_relaxed);
            const float current = parameter != nullptr ? range.convertFrom0to1 (parameter->getValue())
                                                       : defaultValue;
            return valueFromText (kind, text, isLinkOn (link), range.start, range.end, current);
        });

    auto parameter = std::make_unique<FloatParameter> (juce::ParameterID { id, 0 }, name, range,
                                                                  defaultValue, attributes);
    self->store (parameter.get());
    return parameter;
}

std::unique_ptr<juce::AudioParameterFloat> makeFloat (const juce::String& id, const juce::String& name,
                                                      float minimum, float maximum, float defaultValue)
{
    return makeFloat (id, name, juce::NormalisableRange<float> (minimum, maximum, 0.01f, 1.0f), defaultValue, {});
}

std::unique_ptr<juce::AudioParameterChoice> makeChoice (const juce::String& id, const juce::String& name,
                                                        const juce::StringArray& labels, int defaultIndex)
{
    auto self = makeHolder();
    auto attributes = juce::AudioParameterChoiceAttributes()
        .withValueFromStringFunction ([labels, self, defaultIndex] (const juce::String& text) {
            auto* parameter = self->load (std::memory_order_relaxed);
            const int current = parameter != nullptr
                                    ? juce::roundToInt (parameter->convertFrom0to1 (parameter->getValue()))
                                    : defaultIndex;
            return choiceIndexFromText (labels, text, current);
        });

    auto parameter = std::make_unique<ChoiceParameter> (juce::ParameterID { id, 0 }, name, labels,
                                                                   defaultIndex, attributes);
    self->store (parameter.get());
    return parameter;
}

std::unique_ptr<juce::AudioParameterBool> makeBool (const juce::String& id, const juce::String& name, bool defaultValue)
{
    auto self = makeHolder();
    auto attributes = juce::AudioParameterBoolAttributes()
        .withValueFromStringFunction ([self] (const juce::String& text) {
            auto* parameter = self->load (std::memory_order_relaxed);
            const bool current = parameter != nullptr && parameter->getValue() >= 0.5f;
            return switchStateFromText (text, current);
        });

    auto parameter = std::make_unique<BoolParameter> (juce::ParameterID { id, 0 }, name, defaultValue,
                                                                 attributes);
    self->store (parameter.get());
    return parameter;
}

juce::StringArray numberLabels (int count)
{
    juce::StringArray labels;
    for (int i = 1; i <= count; ++i)
        labels.add (juce::String (i));
    return labels;
}

struct StepIdTable
{
    StepIdTable()
    {
        for (int family = 0; family < 5; ++family)
            for (int step = 0; step < kNumSteps; ++step)
                ids[family][step] = juce::String (stepFamilyStem ((StepFamily) family)) + juce::String (step);
    }

    juce::String ids[5][kNumSteps];
};

const StepIdTable& stepIdTable()
{
    static const StepIdTable table;
    return table;
}
} // namespace

const char* stepFamilyStem (StepFamily family) noexcept
{
    switch (family)
    {
        case StepFamily::Pitch: return "stepPitch";
        case StepFamily::Velocity: return "stepVel";
        case StepFamily::ModA: return "stepModA";
        case StepFamily::ModB: return "stepModB";
        case StepFamily::Active: return "stepActive";
    }
    return "";
}

const juce::String& stepParameterId (StepFamily family, int step)
{
    return stepIdTable().ids[(int) family][juce::jlimit (0, kNumSteps - 1, step)];
}

juce::String makeModDestinationParameterId (int lane)
{
    return "mod" + juce::String::charToString ((juce::juce_wchar) ('A' + lane)) + "Dest";
}

const juce::StringArray& modDestinationLabels()
{
    static const juce::StringArray labels {
        "OFF", "CUTOFF", "RESONANCE", "VCF EG", "NOISE VCF", "FM AMT", "VCO1 PITCH", "VCO2 PITCH", "NOISE",
        "NOISE COL", "CLICK LVL", "VCO DEC", "VCO2 DEC", "VCF DEC", "VCA DEC", "VCA EG", "PRE DRV", "POST DRV",
        "LFO RATE", "LFO AMT", "PAN", "UNTZ", "VCO1 LVL", "VCO2 LVL", "VCO1 PITCH EG", "VCO2 PITCH EG"
    };
    return labels;
}

const juce::StringArray& lfoDestinationLabels()
{
    static const juce::StringArray labels {
        "OFF", "CUTOFF", "RESONANCE", "VCF EG", "NOISE VCF", "FM AMT", "VCO1 PITCH", "VCO2 PITCH", "NOISE",
        "NOISE COL", "CLICK LVL", "VCO DEC", "VCO2 DEC", "VCF DEC", "VCA DEC", "VCA EG", "PRE DRV", "POST DRV",
        "PAN", "UNTZ", "CLICK TUNE", "NOISE DEC", "CLICK DEC", "VEL", "PITCH", "VCO1 LVL", "VCO2 LVL",
        "VCO1 PITCH EG", "VCO2 PITCH EG"
    };
    return labels;
}

const juce::StringArray& clockMultiplierLabels()
{
    static const juce::StringArray labels { "1/5", "1/4", "1/3", "1/2", "1x", "2x", "3x", "4x", "6x" };
    return labels;
}

const juce::StringArray& laneLengthLabels()
{
    static const juce::StringArray labels = numberLabels (kNumSteps);
    return labels;
}

Layout createParameterLayout()
{
    Layout layout;
    const auto timeRange = skewedRange (0.01f, 2.0f, 0.4f);

    layout.add (makeFloat (ids::vcoDecay, "VCO Decay", timeRange, 0.3f, {}));
    layout.add (makeFloat (ids::vco1Freq, "VCO 1 Freq", 1.0f, 2000.0f, 75.85f));
    layout.add (makeFloat (ids::vco1EgAmt, "VCO 1 EG Amt", -60.0f, 60.0f, 0.0f));
    layout.add (makeFloat (ids::fmAmount, "FM Amount", 0.0f, 1.0f, 0.0f));
    layout.add (makeFloat (ids::vco2Freq, "VCO 2 Freq", 1.0f, 2000.0f, 330.0f));
    layout.add (makeFloat (ids::vco2EgAmt, "VCO 2 EG Amt", -60.0f, 60.0f, 0.0f));
    layout.add (makeFloat (ids::noiseLevel, "Noise Level", 0.0f, 1.0f, 0.0f));
    layout.add (makeFloat (ids::vco1Level, "VCO 1 Level", 0.0f, 1.0f, 0.6f));
    layout.add (makeFloat (ids::vco2Level, "VCO 2 Level", 0.0f, 1.0f, 0.0f));
    layout.add (makeFloat (ids::vco2Decay, "VCO 2 Decay", timeRange, 0.3f, {}));
    layout.add (makeChoice (ids::vcoEgShape, "VCO EG Shape", { "EXP", "LIN", "LOG" }, 1));
    layout.add (makeFloat (ids::cutoff, "Cutoff", skewedRange (20.0f, 20000.0f, 800.0f), 5515.448f, {}));
    layout.add (makeFloat (ids::resonance, "Resonance", 0.0f, 1.0f, 0.0f));
    layout.add (makeFloat (ids::vcfDecay, "VCF Decay", skewedRange (0.01f, 10.0f, 1.5f), 0.3f, {}));
    layout.add (makeFloat (ids::vcfEgAmt, "VCF EG Amt", -1.0f, 1.0f, 0.0f));
    layout.add (makeFloat (ids::noiseVcfMod, "Noise VCF Mod", 0.0f, 1.0f, 0.0f));
    layout.add (makeFloat (ids::vcaDecay, "VCA Decay", timeRange, 0.043351822f, {}));
    layout.add (makeFloat (ids::vcaEg, "VCA EG", 0.0f, 1.0f, 0.0f));
    layout.add (makeFloat (ids::preTrim, "Pre Trim", 0.1f, 2.0f, 0.84f));
    layout.add (makeFloat (ids::volume, "Volume", 0.0f, 1.0f, 0.8f));
    layout.add (makeFloat (ids::noiseColor, "Noise Color", -1.0f, 1.0f, 0.0f));
    layout.add (makeFloat (ids::velVcfDecaySens, "Vel VCF Decay", 0.0f, 1.0f, 0.5f));
    layout.add (makeFloat (ids::untz, "UNTZ", -1.0f, 1.0f, 0.0f));
    layout.add (makeChoice (makeModDestinationParameterId (0), "Mod A Destination", modDestinationLabels(), 0));
    layout.add (makeChoice (makeModDestinationParameterId (1), "Mod B Destination", modDestinationLabels(), 0));
    layout.add (makeChoice (ids::clockMult, "Clock Multiplier", clockMultiplierLabels(), 4));
    layout.add (makeChoice (ids::pitchSteps, "Pitch Steps", laneLengthLabels(), 15));
    layout.add (makeChoice (ids::velSteps, "Velocity Steps", laneLengthLabels(), 15));
    layout.add (makeChoice (ids::modASteps, "Mod A Steps", laneLengthLabels(), 15));
    layout.add (makeChoice (ids::modBSteps, "Mod B Steps", laneLengthLabels(), 15));

    for (int step = 0; step < kNumSteps; ++step)
    {
        const auto number = juce::String (step + 1);
        layout.add (makeFloat (stepParameterId (StepFamily::Pitch, step), "Step Pitch " + number, 0.0f, 120.0f, 60.0f));
        layout.add (makeFloat (stepParameterId (StepFamily::Velocity, step), "Step Velocity " + number, 0.0f, 1.0f, 0.8f));
        layout.add (makeFloat (stepParameterId (StepFamily::ModA, step), "Step Mod A " + number, 0.0f, 1.0f, 0.5f));
        layout.add (makeFloat (stepParameterId (StepFamily::ModB, step), "Step Mod B " + number, 0.0f, 1.0f, 0.5f));
    }

    layout.add (makeChoice (ids::seqPitchMod, "SEQ Pitch Mod", { "VCO 1+2", "OFF", "VCO 2" }, 0));
    layout.add (makeBool (ids::hardSync, "Hard Sync", false));
    layout.add (makeChoice (ids::vco1Wave, "VCO 1 Wave", { "Square", "Triangle", "Metal", "Sine" }, 0));
    layout.add (makeChoice (ids::vco2Wave, "VCO 2 Wave", { "Square", "Triangle", "Sine" }, 0));
    layout.add (makeChoice (ids::vcfMode, "VCF Mode", { "LP", "HP" }, 0));
    layout.add (makeFloat (ids::clickTune, "Click Tune", skewedRange (20.0f, 8000.0f, 600.0f), 800.0f, {}));
    layout.add (makeFloat (ids::clickDecay, "Click Decay", skewedRange (0.005f, 0.2f, 0.035f), 0.015f, {}));
    layout.add (makeFloat (ids::clickLevel, "Click Level", 0.0f, 1.0f, 0.0f));
    layout.add (makeFloat (ids::vcaAttack, "VCA Attack", skewedRange (0.001f, 0.5f, 0.02f), 0.001f, {}));
    layout.add (makeFloat (ids::preDrive, "Pre Drive", skewedRange (1.0f, 10.0f, 2.5f), 1.0f, {}));
    layout.add (makeFloat (ids::postDrive, "Post Drive", skewedRange (1.0f, 10.0f, 2.5f), 1.0f, {}));

    // The rate's text shows a tempo division while the sync switch is on.
    auto syncLink = makeHolder();
    layout.add (makeFloat (ids::lfoRate, "LFO Rate", skewedRange (0.01f, 20.0f, 2.0f), 1.0f, syncLink));
    layout.add (makeChoice (ids::lfoWave, "LFO Wave", { "TRI", "SAW", "SQR", "SH" }, 0));
    auto lfoSync = makeBool (ids::lfoSync, "LFO Sync", false);
    auto* lfoSyncParameter = lfoSync.get();
    layout.add (std::move (lfoSync));
    syncLink->store (lfoSyncParameter);
    layout.add (makeBool (ids::lfoRetrig, "LFO Retrig", false));
    layout.add (makeChoice (ids::lfoDest, "LFO Dest", lfoDestinationLabels(), 0));
    layout.add (makeFloat (ids::lfoAmt, "LFO Amt", 0.0f, 1.0f, 0.5f));

    for (int step = 0; step < kNumSteps; ++step)
        layout.add (makeBool (stepParameterId (StepFamily::Active, step), "Step Active " + juce::String (step + 1), true));

    layout.add (makeBool (ids::seqRun, "SEQ Run", true));
    layout.add (makeFloat (ids::tempo, "Tempo", skewedRange (30.0f, 300.0f, 120.0f), 120.0f, {}));
    layout.add (makeFloat (ids::swing, "Swing", 0.0f, 0.5f, 0.0f));
    layout.add (makeFloat (ids::noiseDecay, "Noise Decay", skewedRange (0.005f, 2.0f, 0.3f), 0.041015241f, {}));
    layout.add (makeBool (ids::noiseVcfBypass, "Noise Bypass VCF", false));
    layout.add (makeBool (ids::clickVcfBypass, "Click Bypass VCF", false));
    layout.add (makeBool (ids::seqResetOnStart, "SEQ Reset On Start", false));
    return layout;
}

// ---------------------------------------------------------------------------------------------

const std::atomic<float>* plainValueOf (const juce::AudioProcessorParameter* parameter) noexcept
{
    if (auto* mirrored = dynamic_cast<const PlainValue*> (parameter))
        return &mirrored->plain;
    return nullptr;
}

const std::atomic<float>* ParameterHandles::find (juce::AudioProcessorValueTreeState& state, const juce::String& id)
{
    auto* value = plainValueOf (state.getParameter (id));
    jassert (value != nullptr);
    return value;
}

ParameterHandles::ParameterHandles (juce::AudioProcessorValueTreeState& s)
    : vcoDecay (find (s, ids::vcoDecay)), vco1Freq (find (s, ids::vco1Freq)), vco1EgAmt (find (s, ids::vco1EgAmt)),
      fmAmount (find (s, ids::fmAmount)), vco2Freq (find (s, ids::vco2Freq)), vco2EgAmt (find (s, ids::vco2EgAmt)),
      noiseLevel (find (s, ids::noiseLevel)), vco1Level (find (s, ids::vco1Level)), vco2Level (find (s, ids::vco2Level)),
      vco2Decay (find (s, ids::vco2Decay)), vcoEgShape (find (s, ids::vcoEgShape)), cutoff (find (s, ids::cutoff)),
      resonance (find (s, ids::resonance)), vcfDecay (find (s, ids::vcfDecay)), vcfEgAmt (find (s, ids::vcfEgAmt)),
      noiseVcfMod (find (s, ids::noiseVcfMod)), vcaDecay (find (s, ids::vcaDecay)), vcaEg (find (s, ids::vcaEg)),
      preTrim (find (s, ids::preTrim)), volume (find (s, ids::volume)), noiseColor (find (s, ids::noiseColor)),
      velVcfDecaySens (find (s, ids::velVcfDecaySens)), untz (find (s, ids::untz)), modADest (find (s, ids::modADest)),
      modBDest (find (s, ids::modBDest)), clockMult (find (s, ids::clockMult)), pitchSteps (find (s, ids::pitchSteps)),
      velSteps (find (s, ids::velSteps)), modASteps (find (s, ids::modASteps)), modBSteps (find (s, ids::modBSteps)),
      seqPitchMod (find (s, ids::seqPitchMod)), hardSync (find (s, ids::hardSync)), vco1Wave (find (s, ids::vco1Wave)),
      vco2Wave (find (s, ids::vco2Wave)), vcfMode (find (s, ids::vcfMode)), clickTune (find (s, ids::clickTune)),
      clickDecay (find (s, ids::clickDecay)), clickLevel (find (s, ids::clickLevel)), preDrive (find (s, ids::preDrive)),
      postDrive (find (s, ids::postDrive)), lfoRate (find (s, ids::lfoRate)), lfoWave (find (s, ids::lfoWave)),
      lfoSync (find (s, ids::lfoSync)), lfoRetrig (find (s, ids::lfoRetrig)), lfoDest (find (s, ids::lfoDest)),
      lfoAmt (find (s, ids::lfoAmt)), seqRun (find (s, ids::seqRun)), tempo (find (s, ids::tempo)),
      swing (find (s, ids::swing)), noiseDecay (find (s, ids::noiseDecay)), noiseVcfBypass (find (s, ids::noiseVcfBypass)),
      clickVcfBypass (find (s, ids::clickVcfBypass)), seqResetOnStart (find (s, ids::seqResetOnStart))
{
    for (int step = 0; step < kNumSteps; ++step)
    {
        stepPitch[(size_t) step] = find (s, stepParameterId (StepFamily::Pitch, step));
        stepVel[(size_t) step] = find (s, stepParameterId (StepFamily::Velocity, step));
        stepModA[(size_t) step] = find (s, stepParameterId (StepFamily::ModA, step));
        stepModB[(size_t) step] = find (s, stepParameterId (StepFamily::ModB, step));
    }
}

void ParameterHandles::readSteps (std::array<StepValues, kNumSteps>& out) const noexcept
{
    constexpr auto relaxed = std::memory_order_relaxed;
    for (size_t step = 0; step < (size_t) kNumSteps; ++step)
    {
        out[step].pitch = stepPitch[step]->load (relaxed);
        out[step].velocity = stepVel[step]->load (relaxed);
        out[step].modA = stepModA[step]->load (relaxed);
        out[step].modB = stepModB[step]->load (relaxed);
    }
}

void ParameterHandles::read (BlockParameters& p) const noexcept
{
    constexpr auto relaxed = std::memory_order_relaxed;
    auto f = [] (const std::atomic<float>* v) { return v->load (relaxed); };
    auto i = [] (const std::atomic<float>* v) { return (int) v->load (relaxed); };
    auto b = [] (const std::atomic<float>* v) { return v->load (relaxed) > 0.5f; };

    p.vcoDecay = f (vcoDecay); p.vco1Freq = f (vco1Freq); p.vco1EgAmt = f (vco1EgAmt); p.fmAmount = f (fmAmount);
    p.vco2Freq = f (vco2Freq); p.vco2EgAmt = f (vco2EgAmt); p.noiseLevel = f (noiseLevel); p.vco1Level = f (vco1Level);
    p.vco2Level = f (vco2Level); p.vco2Decay = f (vco2Decay); p.cutoff = f (cutoff); p.resonance = f (resonance);
    p.vcfDecay = f (vcfDecay); p.vcfEgAmt = f (vcfEgAmt); p.noiseVcfMod = f (noiseVcfMod); p.vcaDecay = f (vcaDecay);
    p.vcaEg = f (vcaEg); p.preTrim = f (preTrim); p.volume = f (volume); p.noiseColor = f (noiseColor);
    p.velVcfDecaySens = f (velVcfDecaySens); p.untz = f (untz); p.clickTune = f (clickTune);
    p.clickDecay = f (clickDecay); p.clickLevel = f (clickLevel); p.preDrive = f (preDrive);
    p.postDrive = f (postDrive); p.lfoRate = f (lfoRate); p.lfoAmt = f (lfoAmt); p.tempo = f (tempo);
    p.swing = f (swing); p.noiseDecay = f (noiseDecay);

    p.vcoEgShape = i (vcoEgShape); p.modADest = i (modADest); p.modBDest = i (modBDest); p.clockMult = i (clockMult);
    p.pitchSteps = i (pitchSteps); p.velSteps = i (velSteps); p.modASteps = i (modASteps); p.modBSteps = i (modBSteps);
    p.seqPitchMod = i (seqPitchMod); p.vco1Wave = i (vco1Wave); p.vco2Wave = i (vco2Wave); p.vcfMode = i (vcfMode);
    p.lfoWave = i (lfoWave); p.lfoDest = i (lfoDest);

    // The run and reset switches are compared against 0.5 where they are used (">= 0.5").
    p.hardSync = b (hardSync); p.lfoSync = b (lfoSync); p.lfoRetrig = b (lfoRetrig);
    p.seqRun = seqRun->load (relaxed) >= 0.5f; p.noiseVcfBypass = b (noiseVcfBypass);
    p.clickVcfBypass = b (clickVcfBypass); p.seqResetOnStart = seqResetOnStart->load (relaxed) >= 0.5f;

    readSteps (p.steps);
}
} // namespace kv
