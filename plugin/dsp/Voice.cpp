#include "Voice.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace
{
constexpr float kTwoPi = 6.28318530717958647692f;
constexpr float kSilenceLevel = 0.0001f;
constexpr float kMaxUniform = 0.99999988f;
constexpr float kDefaultVco1Hz = 261.62555f;
constexpr float kDefaultVco2Hz = 391.99542f;

inline float bipolar (juce::Random& random) noexcept
{
    return 2.0f * std::min (random.nextFloat(), kMaxUniform) - 1.0f;
}

inline float shapePitchEnvelope (float e, int shape) noexcept
{
    switch (shape)
    {
        case 0: return e * e;                      // EXP
        case 2: return std::sqrt (std::max (e, 0.0f)); // LOG
        default: return e;                         // LIN
    }
}
} // namespace

KVVoice::KVVoice()
{
    noiseRandom.setSeedRandomly();
    filter.seedRandomly();

    vco1Glide.setCurrentAndTarget (kDefaultVco1Hz);
    vco2Glide.setCurrentAndTarget (kDefaultVco2Hz);
    attackRamp.setCurrentAndTarget (1.0f);
}

void KVVoice::setRandomSeed (juce::int64 seed) noexcept
{
    noiseRandom.setSeed (seed);
    filter.setSeed (seed + 1);
}

void KVVoice::prepare (double newSampleRate, const kv::BlockParameters& current) noexcept
{
    sampleRate = newSampleRate;
    invOversampledRate = newSampleRate > 0.0 ? (float) (1.0 / (kv::kOversampling * newSampleRate)) : 0.0f;

    for (auto* envelope : { &vcoEnvelope, &vco2Envelope, &amplifierEnvelope, &filterEnvelope, &noiseEnvelope })
        envelope->setSampleRate (newSampleRate);

    const int oneMs = newSampleRate > 0.0 ? (int) std::floor (0.001 * newSampleRate) : 0;
    for (auto* smoother : { &vcoEnvelopeSmoother, &vco2EnvelopeSmoother, &fmSmoother })
        smoother->reset (oneMs);
    vco1Glide.reset (oneMs);
    vco2Glide.reset (oneMs);
    attackRamp.reset (oneMs);
    attackRamp.setCurrentAndTarget (1.0f);

    const int tenMs = newSampleRate > 0.0 ? (int) std::floor (0.01 * newSampleRate) : 0;
    const std::pair<kv::LinearSmoother*, float> blockSmoothers[] = {
        { &cutoffSmoother, current.cutoff },       { &resonanceSmoother, current.resonance },
        { &volumeSmoother, current.volume },       { &vco1LevelSmoother, current.vco1Level },
        { &vco2LevelSmoother, current.vco2Level }, { &preDriveSmoother, current.preDrive },
        { &postDriveSmoother, current.postDrive },
    };
    for (const auto& [smoother, value] : blockSmoothers)
    {
        smoother->reset (tenMs);
        smoother->setCurrentAndTarget (value);
    }
    smoothed = { current.cutoff, current.resonance, current.volume, current.vco1Level,
                 current.vco2Level, current.preDrive, current.postDrive };

    const float oneMsCoefficient =
        newSampleRate > 0.0 ? (float) (1.0 - std::exp (-1.0 / (0.001 * newSampleRate))) : 1.0f;
    amplifierSmoothingCoefficient = oneMsCoefficient;
    followerRiseCoefficient = oneMsCoefficient;

    oscillators.clearDecimator();
    amplifierGainSmoothed = 0.0f;
    noiseFilterState = 0.0f;

    filter.prepare (newSampleRate);
}

void KVVoice::setBlockParameters (const kv::BlockParameters& p) noexcept
{
    vco1BaseFrequency = p.vco1Freq;
    vco2BaseFrequency = p.vco2Freq;
    pitchTrackMode = p.seqPitchMod;
    oscillatorSettings.hardSync = p.hardSync;
    oscillatorSettings.vco1Wave = p.vco1Wave;
    oscillatorSettings.vco2Wave = p.vco2Wave;
    vcoEgShape = p.vcoEgShape;
    preTrim = p.preTrim;
    highPass = p.vcfMode == 1;
    noiseBypassesFilter = p.noiseVcfBypass;
    clickBypassesFilter = p.clickVcfBypass;
    velocityToVcfDecay = std::clamp (p.velVcfDecaySens, 0.0f, 0.98f);

    cutoffSmoother.setTarget (p.cutoff);
    resonanceSmoother.setTarget (p.resonance);
    volumeSmoother.setTarget (p.volume);
    vco1LevelSmoother.setTarget (p.vco1Level);
    vco2LevelSmoother.setTarget (p.vco2Level);
    preDriveSmoother.setTarget (p.preDrive);
    postDriveSmoother.setTarget (p.postDrive);
}

const KVVoice::Smoothed& KVVoice::advanceBlockSmoothers() noexcept
{
    smoothed.cutoff = cutoffSmoother.next();
    smoothed.resonance = resonanceSmoother.next();
    smoothed.volume = volumeSmoother.next();
    smoothed.vco1Level = vco1LevelSmoother.next();
    smoothed.vco2Level = vco2LevelSmoother.next();
    smoothed.preDrive = preDriveSmoother.next();
    smoothed.postDrive = postDriveSmoother.next();
    return smoothed;
}

void KVVoice::setControls (const Controls& newControls) noexcept
{
    controls = newControls;
    fmSmoother.setTarget (controls.fmAmount);
    vcoEnvelope.setDecayTime (controls.vcoDecay);
    vco2Envelope.setDecayTime (controls.vco2Decay);
    amplifierEnvelope.setDecayTime (controls.vcaDecay);
    noiseEnvelope.setDecayTime (controls.noiseDecay);
    filterEnvelope.setDecayTime (std::max (0.01f, controls.vcfDecay * (1.0f - velocity * velocityToVcfDecay)));
    oscillatorSettings.vco1Level = controls.vco1Level;
    oscillatorSettings.vco2Level = controls.vco2Level;
}

void KVVoice::trigger (float newNote, float newVelocity) noexcept
{
    note = newNote;

    float f1 = vco1BaseFrequency > 0.0f ? vco1BaseFrequency : kDefaultVco1Hz;
    float f2 = vco2BaseFrequency > 0.0f ? vco2BaseFrequency : kDefaultVco2Hz;
    if (pitchTrackMode != 1)
    {
        const float tracking = std::exp2 ((note - 60.0f) / 12.0f);
        if (pitchTrackMode == 0)
            f1 *= tracking;
        f2 *= tracking;
    }

    vco1Frequency = f1;
    vco2Frequency = f2;
    vco1Glide.setTarget (f1);
    vco2Glide.setTarget (f2);

    if (! (newVelocity > 0.0f))
        return; // a rest: only the pitch moves

    velocity = newVelocity;
    vcoEnvelope.level = 1.0f;
    vco2Envelope.level = 1.0f;
    amplifierEnvelope.level = velocity;
    noiseEnvelope.level = 1.0f;
    filterEnvelope.level = 1.0f;
    filterEnvelope.setDecayTime (std::max (0.01f, controls.vcfDecay * (1.0f - velocityToVcfDecay * velocity)));

    const int attackSteps = (int) std::floor (sampleRate * (double) controls.attackTime);
    if (attackSteps > 0)
        attackRamp.startRamp (0.0f, 1.0f, attackSteps);
    else
        attackRamp.setCurrentAndTarget (1.0f);

    clickTime = 0.0f;
    clickFilterState = 0.0f;
    clickActive = true;

    oscillators.resetMetalPhases();
}

float KVVoice::pitchFactor (float semitones, float& cachedSemitones, float& cachedFactor) noexcept
{
    if (semitones != cachedSemitones)
    {
        cachedSemitones = semitones;
        cachedFactor = std::exp2 (semitones / 12.0f);
    }
    return cachedFactor;
}

float KVVoice::renderSample() noexcept
{
    const float rate = (float) sampleRate;
    float filterInput = 0.0f;
    float bypassed = 0.0f;
    float white = 0.0f;
    float target = 0.0f;

    if (amplifierEnvelope.level > kSilenceLevel)
    {
        // Pitch envelopes, through their 1 ms ramps.
        vcoEnvelopeSmoother.setTarget (vcoEnvelope.advance());
        vco2EnvelopeSmoother.setTarget (vco2Envelope.advance());
        const float e1 = shapePitchEnvelope (vcoEnvelopeSmoother.next(), vcoEgShape);
        const float e2 = shapePitchEnvelope (vco2EnvelopeSmoother.next(), vcoEgShape);

        // Amplifier envelope with the untz bend of its normalised curve.
        float e = amplifierEnvelope.advance();
        const float untz = controls.untz;
        const bool bend = std::abs (untz) >= 0.0001f;
        if (bend)
        {
            const float v = std::max (velocity, 0.000001f);
            const float x = std::clamp (e / v, 0.0f, 1.0f);
            e = std::clamp (x * (1.0f + 0.72f * untz * 4.0f * x * (1.0f - x)), 0.0f, 1.0f) * v;
        }

        const float a = attackRamp.next();

        // Filter envelope, bent the same way, followed with a 1 ms rise and an instant fall.
        float fe = filterEnvelope.advance();
        if (bend)
        {
            fe = std::clamp (fe, 0.0f, 1.0f);
            const float c = untz >= 0.0f ? 0.32f : 0.28f;
            fe = std::clamp (fe * (1.0f + untz * c * 4.0f * fe * (1.0f - fe)), 0.0f, 1.0f);
        }
        if (fe > filterEnvelopeFollower)
            filterEnvelopeFollower += (fe - filterEnvelopeFollower) * followerRiseCoefficient;
        else
            filterEnvelopeFollower = fe;

        // Pitch of this sample.
        const float g1 = vco1Glide.next();
        const float g2 = vco2Glide.next();
        const float fm = fmSmoother.next();
        const float p1 = pitchFactor (controls.pitchOffset + controls.vco1PitchOffset, cachedPitch1, cachedFactor1);
        const float p2 = pitchFactor (controls.pitchOffset + controls.vco2PitchOffset, cachedPitch2, cachedFactor2);
        const float eg1 = controls.vco1EgAmount * e1 * velocity;
        const float eg2 = controls.vco2EgAmount * e2 * velocity;
        const float inc1 = g1 * p1 * (eg1 != 0.0f ? std::exp2 (eg1 / 12.0f) : 1.0f) * invOversampledRate;
        const float vco2Hz = g2 * p2 * (eg2 != 0.0f ? std::exp2 (eg2 / 12.0f) : 1.0f);

        const float o = oscillators.render (oscillatorSettings, inc1, vco2Hz, fm * g2, invOversampledRate);

        // Coloured noise.
        white = bipolar (noiseRandom);
        float coloured = white;
        const float colour = controls.noiseColor;
        if (std::abs (colour) > 0.001f)
        {
            const float p = colour < 0.0f ? -0.97f * colour : 1.0f - 0.65f * colour;
            noiseFilterState = p * noiseFilterState + (1.0f - p) * white;
            coloured = colour < 0.0f ? noiseFilterState : white - noiseFilterState;
        }
        else
        {
            noiseFilterState = white;
        }
        const float noise = coloured * controls.noiseLevel * noiseEnvelope.advance();

        // Click: a short burst of low-passed noise.
        float click = 0.0f;
        if (clickActive && controls.clickLevel > 0.0f)
        {
            clickTime += 1.0f / (std::max (controls.clickDecay, 0.001f) * rate);
            if (clickTime >= 1.0f)
            {
                clickTime = 1.0f;
                clickActive = false;
            }
            const float envelope = std::exp (-10.0f * clickTime);
            const float burst = bipolar (noiseRandom);
            const float kc = std::clamp (kTwoPi * controls.clickFrequency / rate, 0.0f, 0.99f);
            clickFilterState += (burst - clickFilterState) * kc;
            click = controls.clickLevel * clickFilterState * envelope * velocity * 2.0f;
        }

        filterInput = o;
        (noiseBypassesFilter ? bypassed : filterInput) += noise;
        (clickBypassesFilter ? bypassed : filterInput) += click;

        target = e * a;
    }
    else
    {
        // Silent: nothing of the sounding branch runs; filter and gain ring out on silence.
        if (! oscillators.isDecimatorClear())
            oscillators.clearDecimator();
        filterEnvelopeFollower = 0.0f;
        noiseFilterState = 0.0f;
    }
    amplifierTarget = target;

    amplifierGainSmoothed += (target - amplifierGainSmoothed) * amplifierSmoothingCoefficient;
    if (std::abs (amplifierGainSmoothed) < 0.000001f)
        amplifierGainSmoothed = 0.0f;

    // Between notes, once the gain is 0 and the filter has rung out, the output is exactly 0.
    if (target == 0.0f && amplifierGainSmoothed == 0.0f && filterInput == 0.0f && bypassed == 0.0f)
    {
        filter.setResonance (controls.resonance);
        if (filter.settleIfRungOut())
            return 0.0f;
    }

    // Cutoff: base, filter envelope (up by up to 8500 Hz, or down to 20 Hz) and noise.
    const float base = controls.cutoff;
    const float amount = controls.vcfEgAmount;
    const float curve = amount * std::abs (amount);
    const float range = curve >= 0.0f ? 8500.0f : base - 20.0f;
    const float noiseOctaves = 4.0f * controls.noiseVcfDepth * white;
    const float fc = std::clamp (base * (noiseOctaves != 0.0f ? std::exp2 (noiseOctaves) : 1.0f)
                                     + filterEnvelopeFollower * velocity * curve * range,
                                 20.0f, 20000.0f);
    filter.setCutoff (fc < 5.0f ? 5.0f : std::min (0.425f * rate, fc));
    filter.setResonance (controls.resonance);

    // Pre drive: saturation normalised so that the drive itself maps to 1.
    const float d = controls.preDrive * preTrim;
    float x = filterInput * d;
    if (d > 1.01f)
    {
        if (d != cachedPreDrive)
        {
            cachedPreDrive = d;
            cachedPreDriveNorm = std::tanh (d);
        }
        x = std::tanh (x) / cachedPreDriveNorm;
    }

    const float filtered = highPass ? filter.processHighPass (x) : filter.processLowPass (x);

    float s = (filtered + bypassed) * amplifierGainSmoothed * std::clamp (smoothed.volume, 0.0f, 1.0f);

    const float p = controls.postDrive;
    if (p > 1.01f)
    {
        if (p != cachedPostDrive)
        {
            cachedPostDrive = p;
            cachedPostDriveNorm = std::tanh (p);
        }
        s = std::tanh (s * p) / cachedPostDriveNorm;
    }
    return s;
}

KVVoice::Probe KVVoice::probe() const noexcept
{
    return { velocity,
             amplifierEnvelope.level,
             amplifierTarget,
             filterEnvelope.level,
             vco1Glide.getCurrent(),
             vco2Glide.getCurrent(),
             oscillators.getVco1Phase(),
             oscillators.getVco2Phase(),
             clickActive,
             oscillators.isDecimatorClear() };
}
