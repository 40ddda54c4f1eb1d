#pragma once

// The oscillator section of the voice: VCO 1 (square, triangle, six-partial metal, sine) and
// VCO 2 (square, triangle, sine) with FM of VCO 2 by VCO 1 and hard sync, run eight times per
// output sample and brought back to the output rate by a 31-tap decimation filter.

#include <array>
#include <cstddef>

namespace kv
{
inline constexpr int kOversampling = 8;
inline constexpr int kDecimatorTaps = 31;

// Frequency ratios of the six square partials of the metal wave.
inline constexpr std::array<float, 6> kMetalRatios { 1.0f, 1.3024f, 1.4015f, 1.5381f, 1.6704f, 1.9218f };

// Windowed-sinc low-pass at the output rate's Nyquist frequency (1/16 of the oversampled rate),
// symmetric about tap 15, unity gain at DC.
inline constexpr std::array<float, kDecimatorTaps> kOscDecimatorCoeffs {
    -0.000647960405f, -0.0014439791f, -0.00270225806f, -0.00444074487f, -0.00619148463f,
    -0.00695915939f,  -0.00537067605f, 0.0f,            0.0102068186f,   0.0255224463f,
    0.0451695882f,    0.0672889128f,   0.089180395f,    0.107780635f,    0.120271318f,
    0.124672294f,
    0.120271318f,     0.107780635f,    0.089180395f,    0.0672889128f,   0.0451695882f,
    0.0255224463f,    0.0102068186f,   0.0f,            -0.00537067605f, -0.00695915939f,
    -0.00619148463f,  -0.00444074487f, -0.00270225806f, -0.0014439791f,  -0.000647960405f
};

enum Vco1Wave { vco1Square = 0, vco1Triangle = 1, vco1Metal = 2, vco1Sine = 3 };

// One band-limited waveform value for a phase in 0..1 and a phase increment per oversampled
// sample (only its magnitude counts): 0 square (polyBLEP), 1 triangle (additive, only the
// harmonics below the oversampled Nyquist), 2 and 3 sine; anything else is a triangle.
float renderOscillatorSample (int wave, float phase, float increment) noexcept;

class KVOscillators
{
public:
    struct Settings
    {
        int vco1Wave = 0, vco2Wave = 0;
        bool hardSync = false;
        float vco1Level = 0.0f, vco2Level = 0.0f;
    };

    // Runs the eight sub-steps of one output sample and returns the decimated mix
    // vco1 * vco1Level + vco2 * vco2Level.
    //   inc1        VCO 1 phase increment per oversampled sample
    //   vco2Hz      VCO 2 frequency before FM
    //   fmDepthHz   FM depth; VCO 2 runs at vco2Hz + 2 * fmDepthHz * vco1
    //   invRate     1 / oversampled sample rate
    float render (const Settings& settings, float inc1, float vco2Hz, float fmDepthHz, float invRate) noexcept;

    // A trigger restarts the metal partials; VCO 1 and VCO 2 run freely across notes.
    void resetMetalPhases() noexcept { metalPhases.fill (0.0f); }

    // Silence the decimation filter so the next note starts from a clean history.
    void clearDecimator() noexcept;
    bool isDecimatorClear() const noexcept { return decimatorClear; }

    float getVco1Phase() const noexcept { return vco1Phase; }
    float getVco2Phase() const noexcept { return vco2Phase; }

private:
    void write (float value) noexcept
    {
        // Each value is stored twice so the 31 newest values always lie side by side.
        ring[(std::size_t) writeIndex] = value;
        ring[(std::size_t) (writeIndex + kDecimatorTaps)] = value;
        if (++writeIndex == kDecimatorTaps)
            writeIndex = 0;
    }

    float vco1Phase = 0.0f, vco2Phase = 0.0f, vco1Direction = 1.0f;
    std::array<float, 6> metalPhases {};
    std::array<float, 2 * kDecimatorTaps> ring {};
    int writeIndex = 0;
    bool decimatorClear = true;
};
} // namespace kv
