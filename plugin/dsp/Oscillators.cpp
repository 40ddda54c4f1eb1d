#include "Oscillators.h"

#include <algorithm>
#include <cmath>

namespace kv
{
namespace
{
constexpr float kTwoPi = 6.28318530717958647692f;
constexpr int kMaxTriangleHarmonic = 31;
constexpr int kNumTriangleTerms = (kMaxTriangleHarmonic + 1) / 2;

// sin(2 pi t) for any moderate t, to float precision and without branches (so a loop over
// harmonics can run in vector registers): t is reduced to the nearest cycle, u in -0.5 .. 0.5,
// by adding and removing 1.5 * 2^23; w = 0.25 - |0.25 - |u|| folds |u| into 0 .. 0.25 where
// sin(2 pi w) = |sin(2 pi u)|, which the Taylor series up to the 11th power gives to within
// 2e-7 (closer than sinf of a rounded float argument).
inline float sin2pi (float t) noexcept
{
    constexpr float roundingMagic = 12582912.0f;
    const float u = t - ((t + roundingMagic) - roundingMagic);
    const float w = 0.25f - std::abs (0.25f - std::abs (u));

    const float x = kTwoPi * w;
    const float x2 = x * x;
    constexpr float c3 = -1.0f / 6.0f, c5 = 1.0f / 120.0f, c7 = -1.0f / 5040.0f, c9 = 1.0f / 362880.0f,
                    c11 = -1.0f / 39916800.0f;
    return std::copysign (x + x * x2 * (c3 + x2 * (c5 + x2 * (c7 + x2 * (c9 + x2 * c11)))), u);
}

// Gains of the odd harmonics 1, 3, ... 31 of the triangle for every count of harmonics that
// fit: row n holds n + 1 gains, the rest 0. The ideal series +-1/k^2 up to the 9th, softened
// by 0.72 from the 11th up, all scaled by 8 / pi^2.
struct TriangleGains
{
    float gain[kNumTriangleTerms][kNumTriangleTerms] {};

    constexpr TriangleGains()
    {
        for (int row = 0; row < kNumTriangleTerms; ++row)
            for (int i = 0; i <= row; ++i)
            {
                const int k = 2 * i + 1;
                const double sign = (i % 2 == 0) ? 1.0 : -1.0;
                gain[row][i] = (float) (0.8105694 * sign * (k >= 11 ? 0.72 : 1.0) / (double) (k * k));
            }
    }
};
constexpr TriangleGains kTriangleGains;

constexpr float kOddHarmonics[kNumTriangleTerms] { 1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31 };

inline float blepResidual (float t, float dt) noexcept
{
    if (t < dt)
    {
        const float x = t / dt;
        return 2.0f * x - x * x - 1.0f;
    }
    if (t > 1.0f - dt)
    {
        const float x = (t - 1.0f) / dt;
        return x * x + 2.0f * x + 1.0f;
    }
    return 0.0f;
}

inline float square (float phase, float increment) noexcept
{
    const float dt = std::min (std::abs (increment), 0.5f);
    const float naive = phase < 0.5f ? 1.0f : -1.0f;
    if (! (dt > 0.0f))
        return naive;

    float falling = phase + 0.5f;
    if (falling >= 1.0f)
        falling -= 1.0f;
    return naive + blepResidual (phase, dt) - blepResidual (falling, dt);
}

// Additive triangle: only the odd harmonics below the oversampled Nyquist frequency, at most
// 16 of them. The sines are computed four at a time, weighted by the row of gains for the
// count that fits (zero beyond it).
inline float triangle (float phase, float increment) noexcept
{
    const int harmonics = (int) (0.5f / std::max (std::abs (increment), 1.0e-9f));
    if (harmonics <= 0)
        return 0.0f;

    const int terms = (std::min (harmonics, kMaxTriangleHarmonic) + 1) / 2;
    const float* gains = kTriangleGains.gain[terms - 1];
    float partial[4] {};
    for (int i = 0; i < terms; i += 4)
        for (int j = 0; j < 4; ++j)
            partial[j] += gains[i + j] * sin2pi (kOddHarmonics[i + j] * phase);
    return (partial[0] + partial[1]) + (partial[2] + partial[3]);
}

// Wraps a phase into 0..1 in either direction.
inline float wrap (float phase) noexcept
{
    if (phase >= 1.0f)
    {
        phase -= 1.0f;
        if (phase >= 1.0f)
            phase -= std::floor (phase);
    }
    else if (phase < 0.0f)
    {
        phase += 1.0f;
        if (phase < 0.0f)
            phase -= std::floor (phase);
    }
    return phase;
}

inline float renderWave (int wave, float phase, float increment) noexcept
{
    switch (wave)
    {
        case 0: return square (phase, increment);
        case 2:
        case 3: return sin2pi (phase);
        default: return triangle (phase, increment);
    }
}
} // namespace

float renderOscillatorSample (int wave, float phase, float increment) noexcept
{
    return renderWave (wave, phase, increment);
}

void KVOscillators::clearDecimator() noexcept
{
    ring.fill (0.0f);
    writeIndex = 0;
    decimatorClear = true;
}

float KVOscillators::render (const Settings& settings, float inc1, float vco2Hz, float fmDepthHz,
                             float invRate) noexcept
{
    const bool metal = settings.vco1Wave == vco1Metal;
    const bool sync = settings.hardSync && ! metal;
    // A wave at level 0 adds nothing; its phase still runs, and VCO 1 is still needed for FM.
    const bool needVco1 = settings.vco1Level != 0.0f || fmDepthHz != 0.0f;
    const bool needVco2 = settings.vco2Level != 0.0f;
    const int wave1 = settings.vco1Wave, wave2 = settings.vco2Wave;

    for (int sub = 0; sub < kOversampling; ++sub)
    {
        float osc1 = 0.0f;
        float syncFraction = 1.0f;
        bool syncEvent = false;

        if (metal)
        {
            float sum = 0.0f;
            for (size_t k = 0; k < kMetalRatios.size(); ++k)
            {
                const float increment = kMetalRatios[k] * inc1;
                float phase = metalPhases[k] + increment;
                if (phase >= 1.0f)
                    phase = wrap (phase);
                metalPhases[k] = phase;
                if (needVco1)
                    sum += square (phase, std::max (increment, 0.0f));
            }
            osc1 = sum / 3.0f;
        }
        else
        {
            // The phase runs up and down between 0 and 1; the output is the wave times the
            // direction, which is the ordinary wave at the oscillator's frequency.
            // Each turn starts a new cycle of the wave, so each turn is a sync event; the sync
            // fraction is the share of the sub-step before the turn.
            const float d = inc1 * vco1Direction;
            const float previous = vco1Phase;
            const float newPhase = previous + d;
            if (newPhase >= 1.0f)
            {
                syncFraction = std::clamp ((1.0f - previous) / std::max (d, 1.0e-12f), 0.0f, 1.0f);
                vco1Phase = 2.0f - newPhase;
                vco1Direction = -vco1Direction;
                syncEvent = true;
            }
            else
            {
                vco1Phase = newPhase;
            }

            if (vco1Phase < 0.0f)
            {
                if (! syncEvent)
                {
                    syncFraction = std::clamp (previous / std::max (-d, 1.0e-12f), 0.0f, 1.0f);
                    syncEvent = true;
                }
                vco1Phase = -vco1Phase;
                vco1Direction = -vco1Direction;
            }

            if (vco1Phase > 1.0f)
            {
                // Only for increments beyond a whole cycle per sub-step: fold back into 0..1.
                float folded = vco1Phase - 2.0f * std::floor (vco1Phase * 0.5f);
                if (folded > 1.0f)
                {
                    folded = 2.0f - folded;
                    vco1Direction = -vco1Direction;
                }
                vco1Phase = folded;
            }

            if (needVco1)
                osc1 = renderWave (wave1, vco1Phase, d) * vco1Direction;
        }

        const float inc2 = (vco2Hz + 2.0f * fmDepthHz * osc1) * invRate;
        float osc2 = 0.0f;

        if (sync && syncEvent)
        {
            // Hard sync: VCO 2 runs up to the moment of VCO 1's turn, restarts from 0 and runs
            // the rest of the sub-step; the two parts are mixed by their share of the sub-step.
            const float before = inc2 * syncFraction;
            const float after = inc2 * (1.0f - syncFraction);
            const float phaseBefore = wrap (vco2Phase + before);
            vco2Phase = wrap (after);
            if (needVco2)
            {
                const float s1 = renderWave (wave2, phaseBefore, before);
                const float s2 = renderWave (wave2, vco2Phase, after);
                osc2 = s1 * syncFraction + s2 * (1.0f - syncFraction);
            }
        }
        else
        {
            vco2Phase = wrap (vco2Phase + inc2);
            if (needVco2)
                osc2 = renderWave (wave2, vco2Phase, inc2);
        }

        write (osc1 * settings.vco1Level + osc2 * settings.vco2Level);
    }

    decimatorClear = false;

    // The window ring[writeIndex .. writeIndex + 30] runs from the oldest to the newest value;
    // the filter is symmetric, so tap j meets window value j.
    const float* window = ring.data() + writeIndex;
    float out = 0.0f;
    for (int j = 0; j < kDecimatorTaps; ++j)
        out += kOscDecimatorCoeffs[(size_t) j] * window[j];
    return out;
}
} // namespace kv
