#include "Lfo.h"
#include "../ValueText.h"

#include <cmath>

namespace kv
{
double KVLfo::beatsForRate (float rate) noexcept
{
    // The choice only changes with the rate, so the eight logarithms run once per change.
    if (rate != divisionRate)
    {
        divisionRate = rate;
        divisionBeats = kLfoDivisions[nearestLfoDivision ((double) rate)].beats;
    }
    return divisionBeats;
}

float KVLfo::advance (int wave, float rate, bool sync, bool retrig, double clockPosition, double tempo,
                      double sampleRate) noexcept
{
    if (sync && ! retrig)
    {
        // Locked to the host position: one cycle per division, no restarts needed.
        const double x = clockPosition / beatsForRate (rate);
        const double whole = std::floor (x);
        phase = (float) (x - whole);
        if (phase >= 1.0f)
            phase = 0.0f;
        if (wave == sampleAndHold && (! cycleValid || (juce::int64) whole != cycle))
            draw();
        cycle = (juce::int64) whole;
        cycleValid = true;
    }
    else
    {
        cycleValid = false;
        if (sync)
            phase += (float) (tempo / (60.0 * sampleRate * beatsForRate (rate)));
        else
            phase += (float) ((double) rate / sampleRate);

        if (phase >= 1.0f)
        {
            phase -= std::floor (phase);
            if (wave == sampleAndHold)
                draw();
        }
    }

    switch (wave)
    {
        case triangle: value = 1.0f - 4.0f * std::abs (phase - 0.5f); break;
        case saw: value = 2.0f * phase - 1.0f; break;
        case square: value = phase < 0.5f ? 1.0f : -1.0f; break;
        default: break; // sample-and-hold keeps its value
    }
    return value;
}
} // namespace kv
