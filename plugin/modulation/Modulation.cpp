#include "Modulation.h"
#include "../dsp/Voice.h"

KVModulation::KVModulation() { random.setSeedRandomly(); }
void KVModulation::prepare (double newSampleRate) noexcept { sampleRate = newSampleRate; }
void KVModulation::beginBlock (const kv::BlockParameters&, KVVoice&) noexcept {}

ModulationFrame KVModulation::processSample (bool, float, float, double, double, KVVoice&) noexcept
{
    return {};
}
