#pragma once

// Ramps and decays of the voice.
//
// LinearSmoother and MultiplicativeSmoother behave like the framework's SmoothedValue: a new
// target starts a ramp of a fixed number of samples from wherever the value stands, a target
// equal to the current target (within float precision) changes nothing, and with a ramp length
// of 0 the value jumps. They are written out here so the voice controls them completely
// (restarting the attack ramp from 0, jumping to a target on a new sample rate).

#include <algorithm>
#include <cmath>
#include <limits>

namespace kv
{
inline bool nearlyEqual (float a, float b) noexcept
{
    const float difference = std::abs (a - b);
    return difference < std::numeric_limits<float>::min()
           || difference <= std::numeric_limits<float>::epsilon() * std::max (std::abs (a), std::abs (b));
}

template <bool multiplicative>
class Smoother
{
public:
    // Ramp length in samples; the value jumps to its target.
    void reset (int numSteps) noexcept
    {
        stepsToTarget = std::max (0, numSteps);
        setCurrentAndTarget (target);
    }

    void setCurrentAndTarget (float value) noexcept
    {
        current = target = value;
        countdown = 0;
    }

    void setTarget (float newTarget) noexcept
    {
        if (nearlyEqual (newTarget, target))
            return;

        if (stepsToTarget <= 0)
        {
            setCurrentAndTarget (newTarget);
            return;
        }

        target = newTarget;
        countdown = stepsToTarget;
        if constexpr (multiplicative)
            step = std::exp ((std::log (std::abs (target)) - std::log (std::abs (current))) / (float) countdown);
        else
            step = (target - current) / (float) countdown;
    }

    // Starts a ramp of `numSteps` samples from `from` to `to` (the attack ramp).
    void startRamp (float from, float to, int numSteps) noexcept
    {
        current = from;
        target = to;
        countdown = numSteps;
        step = (to - from) / (float) numSteps;
    }

    float next() noexcept
    {
        if (countdown <= 0)
            return target;

        if (--countdown > 0)
        {
            if constexpr (multiplicative)
                current *= step;
            else
                current += step;
        }
        else
        {
            current = target;
        }
        return current;
    }

    float getCurrent() const noexcept { return current; }
    float getTarget() const noexcept { return target; }
    bool isRamping() const noexcept { return countdown > 0; }

private:
    float current = 0.0f, target = 0.0f, step = 0.0f;
    int countdown = 0, stepsToTarget = 0;
};

using LinearSmoother = Smoother<false>;
using MultiplicativeSmoother = Smoother<true>;

// A pure exponential decay towards 0: no attack, no sustain. A trigger sets the level; every
// sample multiplies it by the coefficient. The coefficient is only recomputed when the decay
// time or the sample rate changes, which keeps the per-sample modulation of decays cheap.
struct DecayEnvelope
{
    double sampleRate = 44100.0;
    float decayTime = 0.0f;
    float coefficient = 0.0f;
    float level = 0.0f;

    void setSampleRate (double newRate) noexcept
    {
        sampleRate = newRate;
        updateCoefficient();
    }

    void setDecayTime (float seconds) noexcept
    {
        if (seconds != decayTime)
        {
            decayTime = seconds;
            updateCoefficient();
        }
    }

    void updateCoefficient() noexcept
    {
        coefficient = (decayTime > 0.0f && sampleRate > 0.0)
                          ? (float) std::exp (-1.0 / ((double) decayTime * sampleRate))
                          : 0.0f;
    }

    float advance() noexcept { return level *= coefficient; }
};
} // namespace kv
