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

// Gains of the odd harmonics 1, 3, ... 31 of the triangle: the ideal series +-1/k^2 up to the
// 9th, softened by 0.72 from the 11th up.
struct TriangleGains
{
    double gain[kNumTriangleTerms] {};

    constexpr TriangleGains()
    {
        for (int i = 0; i < kNumTriangleTerms; ++i)
        {
            const int k = 2 * i + 1;
            const double sign = (i % 2 == 0) ? 1.0 : -1.0;
            gain[i] = sign * (k >= 11 ? 0.72 : 1.0) / (double) (k * k);
        }
    }
};
constexpr TriangleGains kTriangleGains;

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

// Additive triangle. The odd harmonics sin(k x) come from one sine through the recurrence
// sin((k+2)x) = 2 cos(2x) sin(kx) - sin((k-2)x), run in double so the sum matches the
// harmonic-by-harmonic evaluation to float precision.
inline float triangle (float phase, float increment) noexcept
{
    const int harmonics = (int) (0.5f / std::max (std::abs (increment), 1.0e-9f));
    if (harmonics <= 0)
        return 0.0f;

    const int terms = (std::min (harmonics, kMaxTriangleHarmonic) + 1) / 2;
    const double s1 = std::sin ((double) kTwoPi * (double) phase);
    const double twoCos2x = 2.0 - 4.0 * s1 * s1;

    double previous = -s1, current = s1;
    double sum = s1 * kTriangleGains.gain[0];
    for (int i = 1; i < terms; ++i)
    {
        const double next = twoCos2x * current - previous;
        previous = current;
        current = next;
        sum += kTriangleGains.gain[i] * current;
    }
    return (float) (sum * 0.8105694);
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
} // namespace

float renderOscillatorSample (int wave, float phase, float increment) noexcept
{
    switch (wave)
    {
        case 0: return square (phase, increment);
        case 2:
        case 3: return std::sin (kTwoPi * phase);
        default: return triangle (phase, increment);
    }
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
            const float d = inc1 * vco1Direction;
            const float newPhase = vco1Phase + d;
            if (newPhase >= 1.0f)
            {
                syncFraction = std::clamp ((1.0f - vco1Phase) / std::max (d, 1.0e-12f), 0.0f, 1.0f);
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
                osc1 = renderOscillatorSample (wave1, vco1Phase, d) * vco1Direction;
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
                const float s1 = renderOscillatorSample (wave2, phaseBefore, before);
                const float s2 = renderOscillatorSample (wave2, vco2Phase, after);
                osc2 = s1 * syncFraction + s2 * (1.0f - syncFraction);
            }
        }
        else
        {
            vco2Phase = wrap (vco2Phase + inc2);
            if (needVco2)
                osc2 = renderOscillatorSample (wave2, vco2Phase, inc2);
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
