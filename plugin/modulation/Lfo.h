#pragma once

// The LFO: triangle, saw, square and sample-and-hold, free running in Hz, synced to the tempo
// (restarted by notes), or locked to the host's beat position.

#include <juce_core/juce_core.h>
#include <algorithm>

namespace kv
{
class KVLfo
{
public:
    enum Wave { triangle = 0, saw = 1, square = 2, sampleAndHold = 3 };

    KVLfo() { random.setSeedRandomly(); }

    void setSeed (juce::int64 seed) noexcept { random.setSeed (seed); }

    // A note or step restarts the cycle; sample-and-hold takes a new value.
    void retrigger (int wave) noexcept
    {
        phase = 0.0f;
        if (wave == sampleAndHold)
            draw();
    }

    // Advances one sample and returns the output, -1 .. +1.
    //   rate           Hz when free; cycles per beat when synced (picks the nearest division)
    //   sync, retrig   synced and restarted by notes: runs on the tempo; synced without
    //                  restarts: follows the beat position
    float advance (int wave, float rate, bool sync, bool retrig, double clockPosition, double tempo,
                   double sampleRate) noexcept;

    float getPhase() const noexcept { return phase; }
    float getValue() const noexcept { return value; }

private:
    void draw() noexcept { value = 2.0f * std::min (random.nextFloat(), 0.99999988f) - 1.0f; }
    double beatsForRate (float rate) noexcept;

    float phase = 0.0f, value = 0.0f;
    juce::Random random { 1 };
    juce::int64 cycle = 0;
    bool cycleValid = false;

    float divisionRate = -1.0f;
    double divisionBeats = 1.0;
};
} // namespace kv
