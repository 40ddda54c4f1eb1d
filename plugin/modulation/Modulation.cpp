#include "Modulation.h"
#include "../dsp/Voice.h"

#include <algorithm>
#include <cmath>

namespace
{
// 2^(2m): two octaves per unit; exactly 1 without modulation.
inline float twoOctaves (float m) noexcept { return m != 0.0f ? std::exp2 (2.0f * m) : 1.0f; }
} // namespace

void KVModulation::NormalisedDecay::begin (float plainValue) noexcept
{
    plain = plainValue;
    normalised = range != nullptr ? range->convertTo0to1 (plainValue) : 0.0f;
    lastPosition = -1.0f;
}

float KVModulation::NormalisedDecay::time (float sum) noexcept
{
    if (range == nullptr)
        return plain;

    const float position = std::clamp (normalised + 0.5f * sum, 0.0f, 1.0f);
    if (position != lastPosition)
    {
        lastPosition = position;
        lastTime = range->convertFrom0to1 (position);
    }
    return lastTime;
}

void KVModulation::setDecayParameters (const juce::RangedAudioParameter* vcf, const juce::RangedAudioParameter* vca,
                                       const juce::RangedAudioParameter* vco, const juce::RangedAudioParameter* noise,
                                       const juce::RangedAudioParameter* click) noexcept
{
    auto rangeOf = [] (const juce::RangedAudioParameter* p) { return p != nullptr ? &p->getNormalisableRange() : nullptr; };
    vcfDecay.range = rangeOf (vcf);
    vcaDecay.range = rangeOf (vca);
    vcoDecay.range = rangeOf (vco);
    vco2Decay.range = rangeOf (vco);
    noiseDecay.range = rangeOf (noise);
    clickDecay.range = rangeOf (click);
}

void KVModulation::beginBlock (const kv::BlockParameters& p) noexcept
{
    modADestination = kv::modDestinationForChoice (p.modADest);
    modBDestination = kv::modDestinationForChoice (p.modBDest);
    lfoDestination = kv::lfoDestinationForChoice (p.lfoDest);
    lfoWave = p.lfoWave;
    lfoSync = p.lfoSync;
    lfoRetrig = p.lfoRetrig;
    lfoRate = p.lfoRate;
    lfoAmount = p.lfoAmt;

    fmAmount = p.fmAmount;
    noiseLevel = p.noiseLevel;
    vcfEgAmount = p.vcfEgAmt;
    noiseVcfMod = p.noiseVcfMod;
    noiseColor = p.noiseColor;
    clickLevel = p.clickLevel;
    clickTune = p.clickTune;
    vcaEg = p.vcaEg;
    untz = p.untz;
    vco1EgAmount = p.vco1EgAmt;
    vco2EgAmount = p.vco2EgAmt;

    vcfDecay.begin (p.vcfDecay);
    vcaDecay.begin (p.vcaDecay);
    vcoDecay.begin (p.vcoDecay);
    vco2Decay.begin (p.vco2Decay);
    noiseDecay.begin (p.noiseDecay);
    clickDecay.begin (p.clickDecay);
}

ModulationFrame KVModulation::processSample (bool triggerHere, float modAValue, float modBValue,
                                             double clockPosition, double tempo, KVVoice& voice) noexcept
{
    namespace d = kv::mod;

    if (lfoRetrig && triggerHere)
        lfo.retrigger (lfoWave);

    const auto& smoothed = voice.advanceBlockSmoothers();

    auto& m = sums;
    m.fill (0.0f);
    m[(size_t) modADestination] += modAValue;
    m[(size_t) modBDestination] += modBValue;

    // The lanes may drive the LFO's own rate and amount.
    const float amount = std::clamp (lfoAmount + 0.5f * m[d::lfoAmount], 0.0f, 1.0f);
    const float rate = std::clamp (lfoRate * twoOctaves (m[d::lfoRate]), 0.01f, 20.0f);
    const float value = lfo.advance (lfoWave, rate, lfoSync, lfoRetrig, clockPosition, tempo, currentSampleRate);

    if (lfoDestination != d::velocity)
        m[(size_t) lfoDestination] += value * kv::kLfoDestinationScales[(size_t) lfoDestination] * amount;

    KVVoice::Controls c;
    c.cutoff = std::clamp (smoothed.cutoff * twoOctaves (m[d::cutoff]), 20.0f, 20000.0f);
    c.resonance = std::clamp (smoothed.resonance + 0.5f * m[d::resonance], 0.0f, 1.0f);
    c.fmAmount = std::clamp (fmAmount + m[d::fmAmount], 0.0f, 1.0f);
    c.noiseLevel = std::clamp (noiseLevel + m[d::noise], 0.0f, 1.0f);
    c.vcfDecay = vcfDecay.time (m[d::vcfDecay]);
    c.vcaDecay = vcaDecay.time (m[d::vcaDecay]);
    c.attackTime = 0.001f + 0.099f * std::clamp (vcaEg + 0.5f * m[d::vcaEg], 0.0f, 1.0f);
    c.vcoDecay = vcoDecay.time (m[d::vcoDecay]);
    c.clickFrequency = std::clamp (clickTune * twoOctaves (m[d::clickTune]), 20.0f, 8000.0f);
    c.preDrive = std::clamp (smoothed.preDrive + 4.5f * m[d::preDrive], 1.0f, 10.0f);
    c.pitchOffset = 12.0f * m[d::pitch];
    c.vcfEgAmount = std::clamp (vcfEgAmount + 0.5f * m[d::vcfEg], -1.0f, 1.0f);
    c.noiseVcfDepth = std::clamp (noiseVcfMod + m[d::noiseVcf], 0.0f, 1.0f);
    c.vco1PitchOffset = 12.0f * m[d::vco1Pitch];
    c.vco2PitchOffset = 12.0f * m[d::vco2Pitch];
    c.noiseColor = std::clamp (noiseColor + m[d::noiseColor], -1.0f, 1.0f);
    c.clickLevel = std::clamp (clickLevel + m[d::clickLevel], 0.0f, 1.0f);
    c.vco2Decay = vco2Decay.time (m[d::vco2Decay]);
    c.postDrive = std::clamp (smoothed.postDrive + 4.5f * m[d::postDrive], 1.0f, 10.0f);
    c.untz = std::clamp (untz + m[d::untz], -1.0f, 1.0f);
    // Only the LFO reaches the noise and click decays; otherwise they are the knob values.
    c.noiseDecay = lfoDestination == d::noiseDecay ? noiseDecay.time (m[d::noiseDecay]) : noiseDecay.plain;
    c.clickDecay = lfoDestination == d::clickDecay ? clickDecay.time (m[d::clickDecay]) : clickDecay.plain;
    c.vco1Level = std::clamp (smoothed.vco1Level + m[d::vco1Level], 0.0f, 1.0f);
    c.vco2Level = std::clamp (smoothed.vco2Level + m[d::vco2Level], 0.0f, 1.0f);
    c.vco1EgAmount = std::clamp (vco1EgAmount + 30.0f * m[d::vco1PitchEg], -60.0f, 60.0f);
    c.vco2EgAmount = std::clamp (vco2EgAmount + 30.0f * m[d::vco2PitchEg], -60.0f, 60.0f);
    voice.setControls (c);

    // Pan law: the far side fades out, the near side stays at full level.
    const float position = std::clamp (m[d::pan], -1.0f, 1.0f);
    ModulationFrame frame;
    frame.leftGain = position > 0.0f ? 1.0f - position : 1.0f;
    frame.rightGain = position < 0.0f ? 1.0f + position : 1.0f;
    if (lfoDestination == d::velocity)
        frame.velocityFactor = std::clamp (1.0f + value * amount, 0.0f, 2.0f);

    state = { rate, amount, value, lfo.getPhase(), position };
    return frame;
}
