#pragma once

// Modulation destinations: the voice's own numbering, the two choice lists that map a choice
// index of "modADest"/"modBDest" and "lfoDest" to a destination, and the LFO depth of each.

#include <algorithm>
#include <array>

namespace kv::mod
{
enum Destination : int
{
    off = 0,
    cutoff = 1,
    resonance = 2,
    fmAmount = 3,
    noise = 4,
    vcfDecay = 5,
    vcaDecay = 6,
    vcaEg = 7,
    vcoDecay = 8,
    // 9 is not offered by either list and has no effect.
    clickTune = 10,
    preDrive = 11,
    pitch = 12,
    velocity = 13,
    vcfEg = 14,
    noiseVcf = 15,
    vco1Pitch = 16,
    vco2Pitch = 17,
    noiseColor = 18,
    clickLevel = 19,
    vco2Decay = 20,
    postDrive = 21,
    lfoRate = 22,
    lfoAmount = 23,
    pan = 24,
    untz = 25,
    noiseDecay = 26,
    clickDecay = 27,
    vco1Level = 28,
    vco2Level = 29,
    vco1PitchEg = 30,
    vco2PitchEg = 31
};

inline constexpr int kNumDestinationCodes = 32;
} // namespace kv::mod

namespace kv
{
// Choice index of "modADest" / "modBDest" -> destination.
inline constexpr std::array<int, 26> kModDestinationChoices {
    mod::off,       mod::cutoff,     mod::resonance, mod::vcfEg,     mod::noiseVcf,    mod::fmAmount,
    mod::vco1Pitch, mod::vco2Pitch,  mod::noise,     mod::noiseColor, mod::clickLevel, mod::vcoDecay,
    mod::vco2Decay, mod::vcfDecay,   mod::vcaDecay,  mod::vcaEg,     mod::preDrive,    mod::postDrive,
    mod::lfoRate,   mod::lfoAmount,  mod::pan,       mod::untz,      mod::vco1Level,   mod::vco2Level,
    mod::vco1PitchEg, mod::vco2PitchEg
};

// Choice index of "lfoDest" -> destination.
inline constexpr std::array<int, 29> kLfoDestinationChoices {
    mod::off,        mod::cutoff,     mod::resonance, mod::vcfEg,      mod::noiseVcf,   mod::fmAmount,
    mod::vco1Pitch,  mod::vco2Pitch,  mod::noise,     mod::noiseColor, mod::clickLevel, mod::vcoDecay,
    mod::vco2Decay,  mod::vcfDecay,   mod::vcaDecay,  mod::vcaEg,      mod::preDrive,   mod::postDrive,
    mod::pan,        mod::untz,       mod::clickTune, mod::noiseDecay, mod::clickDecay, mod::velocity,
    mod::pitch,      mod::vco1Level,  mod::vco2Level, mod::vco1PitchEg, mod::vco2PitchEg
};

// How far the LFO at full amount moves each destination, in units of a mod lane value.
// The LFO cannot reach its own rate and amount; "VEL" scales the trigger velocity instead.
inline constexpr std::array<float, mod::kNumDestinationCodes> kLfoDestinationScales {
    0.0f,  // off
    2.5f,  // cutoff
    2.0f,  // resonance
    2.0f,  // fm amount
    2.0f,  // noise
    2.0f,  // vcf decay
    2.0f,  // vca decay
    2.0f,  // vca eg
    2.0f,  // vco decay
    0.0f,  // (9)
    1.0f,  // click tune
    1.5f,  // pre drive
    4.0f,  // pitch
    0.0f,  // velocity
    2.0f,  // vcf eg
    2.0f,  // noise vcf
    4.0f,  // vco1 pitch
    4.0f,  // vco2 pitch
    2.0f,  // noise colour
    2.0f,  // click level
    2.0f,  // vco2 decay
    1.5f,  // post drive
    0.0f,  // lfo rate
    0.0f,  // lfo amount
    2.0f,  // pan
    2.0f,  // untz
    2.0f,  // noise decay
    2.0f,  // click decay
    2.0f,  // vco1 level
    2.0f,  // vco2 level
    2.0f,  // vco1 pitch eg
    2.0f   // vco2 pitch eg
};

constexpr int modDestinationForChoice (int index) noexcept
{
    return kModDestinationChoices[(size_t) std::clamp (index, 0, (int) kModDestinationChoices.size() - 1)];
}

constexpr int lfoDestinationForChoice (int index) noexcept
{
    return kLfoDestinationChoices[(size_t) std::clamp (index, 0, (int) kLfoDestinationChoices.size() - 1)];
}
} // namespace kv
