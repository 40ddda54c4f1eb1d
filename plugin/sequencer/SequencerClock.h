#pragma once

// The sequencer's step grid: the clock multiplier table, swing, and the sample-exact step count
// of a beat position, plus a drift-free sample accumulator for the positions the instrument
// counts itself (free run, and a host that plays without a beat position).

#include <array>
#include <cmath>
#include <cstdint>

namespace kv
{
// Step length factors of the "clockMult" choices "1/5" ... "6x", applied to a sixteenth note.
inline constexpr std::array<double, 9> kClockMultiplierFactors { 5.0, 4.0, 3.0, 2.0, 1.0,
                                                                 0.5, 1.0 / 3.0, 0.25, 1.0 / 6.0 };

inline constexpr double kBaseStepBeats = 0.25;

inline int clampClockMultiplierIndex (int index) noexcept
{
    return index < 0 ? 0 : (index > 8 ? 8 : index);
}

// The grid of one block: steps come in pairs, the first of a pair lengthened by the swing and
// the second shortened by the same amount.
struct StepGrid
{
    double stepBeats = kBaseStepBeats;
    double longStepBeats = kBaseStepBeats;
    double pairBeats = 2.0 * kBaseStepBeats;

    static StepGrid make (int clockMultiplierIndex, double swing) noexcept
    {
        StepGrid grid;
        grid.stepBeats = kBaseStepBeats * kClockMultiplierFactors[(size_t) clampClockMultiplierIndex (clockMultiplierIndex)];
        grid.longStepBeats = (1.0 + swing) * grid.stepBeats;
        grid.pairBeats = 2.0 * grid.stepBeats;
        return grid;
    }

    bool operator== (const StepGrid& other) const noexcept
    {
        return stepBeats == other.stepBeats && longStepBeats == other.longStepBeats;
    }
    bool operator!= (const StepGrid& other) const noexcept { return ! operator== (other); }

    // The number of step boundaries at or before `beat`, counted from beat 0 (negative before
    // it). `tolerance` (in beats, a millionth of a sample or so) and a few units of the last
    // place of the position absorb the rounding of the position arithmetic, so that a sample
    // whose exact position lies on a boundary counts as reaching it however the position was
    // put together.
    std::int64_t stepCountAt (double beat, double tolerance) const noexcept
    {
        constexpr double limit = 4.0e15; // keeps the pair count far inside the integer range
        const double b = beat + tolerance + std::abs (beat) * 1.0e-15;
        const double pairs = std::floor (b / pairBeats);
        if (! (pairs > -limit && pairs < limit))
            return 0;

        auto q = (std::int64_t) pairs;
        double within = b - (double) q * pairBeats;
        if (within < 0.0)
        {
            --q;
            within += pairBeats;
        }
        else if (within >= pairBeats)
        {
            ++q;
            within -= pairBeats;
        }
        return 2 * q + (within >= longStepBeats ? 1 : 0);
    }
};

// A position that moves on by a fixed amount per sample, kept as start + count x rate so that
// hours of counting add no rounding drift. A change of rate restarts the count from the
// position reached.
struct SampleAccumulator
{
    double base = 0.0;
    std::int64_t count = 0;
    double rate = 0.0;

    double value() const noexcept { return base + (double) count * rate; }

    void set (double position) noexcept
    {
        base = position;
        count = 0;
    }

    void setRate (double newRate) noexcept
    {
        if (newRate != rate)
        {
            base = value();
            count = 0;
            rate = newRate;
        }
    }

    void advance() noexcept { ++count; }
};
} // namespace kv
