// The voice: oscillators, decimation, pitch, noise, click, filter, amplifier and drive, heard
// through the real processor (MIDI notes) and, where a single part is the point, directly.

#include "ParameterValues.h"
#include "dsp/Oscillators.h"

#include <gtest/gtest.h>
#include <cmath>
#include <complex>
#include <memory>
#include <numeric>
#include <random>
#include <utility>
#include <vector>

namespace
{
constexpr double kRate = 48000.0;
constexpr double kPi = 3.14159265358979323846;

using Settings = std::vector<std::pair<const char*, float>>;

// A processor with a clean, quiet sound unless the settings say otherwise: VCO 1 only, long
// decays, open filter, no click or noise.
struct Rig
{
    explicit Rig (const Settings& settings, double rate = kRate)
    {
        processor.setRandomSeed (1234);
        const Settings base { { "vco1Level", 1.0f }, { "vco2Level", 0.0f }, { "vcaDecay", 2.0f },
                              { "cutoff", 20000.0f }, { "preTrim", 1.0f }, { "volume", 1.0f } };
        for (const auto& [id, value] : base)
            test::setPlain (processor, id, value);
        for (const auto& [id, value] : settings)
            test::setPlain (processor, id, value);
        host = std::make_unique<test::Host> (processor, rate);
    }

    // A MIDI note at the first sample, then `numSamples` of the left channel.
    std::vector<float> play (int note, int velocity, int numSamples, int blockSize = 256)
    {
        juce::MidiBuffer midi;
        midi.addEvent (juce::MidiMessage::noteOn (1, note, (juce::uint8) velocity), 0);
        std::vector<float> out;
        auto first = host->block (std::min (blockSize, numSamples), midi);
        out.insert (out.end(), first.getReadPointer (0), first.getReadPointer (0) + first.getNumSamples());
        host->render (numSamples - first.getNumSamples(), blockSize, out);
        return out;
    }

    std::vector<float> render (int numSamples, int blockSize = 256)
    {
        std::vector<float> out;
        host->render (numSamples, blockSize, out);
        return out;
    }

    KVProcessor processor;
    std::unique_ptr<test::Host> host;
};

// Frequency from the rising zero crossings (interpolated) of a section of the signal.
double measureFrequency (const std::vector<float>& x, size_t from, size_t to, double rate = kRate)
{
    double first = -1.0, last = -1.0;
    int crossings = 0;
    for (size_t i = from + 1; i < to; ++i)
        if (x[i - 1] < 0.0f && x[i] >= 0.0f)
        {
            const double t = (double) (i - 1) + x[i - 1] / (double) (x[i - 1] - x[i]);
            if (first < 0.0)
                first = t;
            else
                ++crossings;
            last = t;
        }
    return crossings > 0 ? crossings * rate / (last - first) : 0.0;
}

// Magnitude of one frequency in a Hann-windowed section (Goertzel-style correlation).
double magnitudeAt (const std::vector<float>& x, size_t from, size_t n, double hz, double rate = kRate)
{
    std::complex<double> sum;
    for (size_t i = 0; i < n; ++i)
    {
        const double window = 0.5 - 0.5 * std::cos (2.0 * kPi * (double) i / (double) n);
        sum += std::polar (window * x[from + i], -2.0 * kPi * hz * (double) i / rate);
    }
    return std::abs (sum) / (0.25 * (double) n);
}

double rms (const std::vector<float>& x, size_t from, size_t to)
{
    double sum = 0.0;
    for (size_t i = from; i < to; ++i)
        sum += (double) x[i] * x[i];
    return std::sqrt (sum / (double) (to - from));
}

float peak (const std::vector<float>& x, size_t from, size_t to)
{
    float m = 0.0f;
    for (size_t i = from; i < to; ++i)
        m = std::max (m, std::abs (x[i]));
    return m;
}
} // namespace

// ---------------------------------------------------------------------------------------------
// Oscillator section

TEST (VoiceOscillators, DecimatorHasUnityGainAtDcAndRemovesWhatLiesAboveTheOutputNyquist)
{
    kv::KVOscillators oscillators;
    kv::KVOscillators::Settings square;
    square.vco1Level = 1.0f;

    // A square that never moves is a constant 1: after 31 sub-steps the output is 1.
    std::vector<float> dc;
    for (int i = 0; i < 6; ++i)
        dc.push_back (oscillators.render (square, 0.0f, 0.0f, 0.0f, 0.0f));
    for (size_t i = 4; i < dc.size(); ++i)
        EXPECT_NEAR (dc[i], 1.0f, 1.0e-6f);

    // Sines below and above the output rate's Nyquist frequency (1/16 per oversampled sample).
    const struct { float increment; float minGain, maxGain; } cases[] = {
        { 0.002f, 0.99f, 1.01f }, // 768 Hz at 48 kHz: passes
        { 0.2f, 0.0f, 0.001f },   // 77 kHz: would alias, is removed
    };
    for (const auto& c : cases)
    {
        kv::KVOscillators sine;
        kv::KVOscillators::Settings settings;
        settings.vco1Wave = kv::vco1Sine;
        settings.vco1Level = 1.0f;
        std::vector<float> out;
        for (int i = 0; i < 4000; ++i)
            out.push_back (sine.render (settings, c.increment, 0.0f, 0.0f, 0.0f));
        const float gain = peak (out, 100, out.size());
        EXPECT_GE (gain, c.minGain) << c.increment;
        EXPECT_LE (gain, c.maxGain) << c.increment;
    }
}

TEST (VoiceOscillators, TriangleSumsOnlyTheHarmonicsBelowTheOversampledNyquist)
{
    auto series = [] (float phase, int maxHarmonic) {
        double sum = 0.0, sign = 1.0;
        for (int k = 1; k <= std::min (maxHarmonic, 31); k += 2, sign = -sign)
            sum += sign * (k >= 11 ? 0.72 : 1.0) * std::sin (k * 2.0 * kPi * phase) / (k * k);
        return (float) (sum * 0.8105694);
    };

    const struct { float increment; int harmonics; } cases[] = {
        { 0.6f, 0 },       // above 0.5: silent
        { 0.5f, 1 },       // one harmonic fits: the fundamental
        { 0.2f, 1 },       // above 1/6: still only the fundamental
        { 0.16f, 3 },      // the third fits
        { 0.1f, 5 },
        { -0.03f, 15 },    // a negative increment counts by its size
        { 0.0001f, 31 },   // the full 16-harmonic series
    };
    for (const auto& c : cases)
        for (float phase = 0.0f; phase < 1.0f; phase += 0.0371f)
            EXPECT_NEAR (kv::renderOscillatorSample (1, phase, c.increment), series (phase, c.harmonics), 2.0e-6f)
                << "increment " << c.increment << " phase " << phase;

    // Wave numbers outside the table play the triangle too.
    EXPECT_EQ (kv::renderOscillatorSample (7, 0.3f, 0.01f), kv::renderOscillatorSample (1, 0.3f, 0.01f));
}

TEST (VoiceOscillators, MetalWaveHasSixSquarePartialsAtItsRatios)
{
    // Through the (linear) high-pass at its lowest cutoff, so the partials meet no saturation.
    Rig rig ({ { "vco1Wave", 2.0f }, { "vco1Freq", 200.0f }, { "vcfMode", 1.0f }, { "cutoff", 20.0f } });
    const auto out = rig.play (60, 127, 30000);

    const size_t from = 4800, n = 24000; // 0.5 s: 2 Hz resolution
    std::vector<double> partials;
    for (float ratio : kv::kMetalRatios)
        partials.push_back (magnitudeAt (out, from, n, 200.0 * ratio));

    const double mean = std::accumulate (partials.begin(), partials.end(), 0.0) / 6.0;
    for (size_t k = 0; k < partials.size(); ++k)
        EXPECT_NEAR (partials[k] / mean, 1.0, 0.15) << "partial " << k;

    // Between the partials (and below the lowest) there is nothing of note.
    for (double hz : { 150.0, 230.0, 270.0, 294.0, 321.0, 359.0, 480.0 })
        EXPECT_LT (magnitudeAt (out, from, n, hz), 0.02 * mean) << hz << " Hz";
}

TEST (VoiceOscillators, HardSyncRestartsVco2WithEveryCycleOfVco1ButNotWithMetal)
{
    // VCO 2 alone is heard (a 470 Hz sine); VCO 1 (200 Hz, silent) only drives the sync.
    auto render = [] (float vco1Wave, float sync) {
        Rig rig ({ { "vco1Level", 0.0f }, { "vco2Level", 1.0f }, { "vco2Wave", 2.0f }, { "vco2Freq", 470.0f },
                   { "vco1Wave", vco1Wave }, { "vco1Freq", 200.0f }, { "hardSync", sync },
                   { "vcfMode", 1.0f }, { "cutoff", 20.0f } });
        return rig.play (60, 127, 9600);
    };
    // How far the signal is from repeating after one VCO 1 cycle (240 samples).
    auto periodError = [] (const std::vector<float>& x) {
        double difference = 0.0, level = 0.0;
        for (size_t i = 2400; i + 240 < x.size(); ++i)
        {
            difference += std::pow ((double) x[i + 240] - x[i], 2.0);
            level += (double) x[i] * x[i];
        }
        return std::sqrt (difference / level);
    };

    for (const float wave : { 0.0f, 1.0f, 3.0f })
        EXPECT_LT (periodError (render (wave, 1.0f)), 0.02) << "VCO 1 wave " << wave;
    EXPECT_GT (periodError (render (0.0f, 0.0f)), 0.5);
    EXPECT_EQ (render (2.0f, 1.0f), render (2.0f, 0.0f));
}

// ---------------------------------------------------------------------------------------------
// Pitch

TEST (VoicePitch, NotesTrackThePitchOfTheOscillatorsTheModeSelects)
{
    const struct { float mode; int note; double factor1, factor2; } cases[] = {
        { 0.0f, 72, 2.0, 2.0 },  // "VCO 1+2"
        { 0.0f, 48, 0.5, 0.5 },
        { 1.0f, 72, 1.0, 1.0 },  // "OFF"
        { 2.0f, 72, 1.0, 2.0 },  // "VCO 2"
        { 2.0f, 53, 1.0, std::pow (2.0, -7.0 / 12.0) },
    };
    for (const auto& c : cases)
    {
        // One oscillator at a time, both as sines.
        Rig vco1 ({ { "seqPitchMod", c.mode }, { "vco1Wave", 3.0f }, { "vco1Freq", 200.0f } });
        Rig vco2 ({ { "seqPitchMod", c.mode }, { "vco1Level", 0.0f }, { "vco2Level", 1.0f },
                    { "vco2Wave", 2.0f }, { "vco2Freq", 300.0f } });
        const auto a = vco1.play (c.note, 127, 14400);
        const auto b = vco2.play (c.note, 127, 14400);
        EXPECT_NEAR (measureFrequency (a, 480, a.size()) / (200.0 * c.factor1), 1.0, 0.002) << c.mode << " " << c.note;
        EXPECT_NEAR (measureFrequency (b, 480, b.size()) / (300.0 * c.factor2), 1.0, 0.002) << c.mode << " " << c.note;
    }
}

TEST (VoicePitch, FrequencyKnobsTurnedWhileANoteRingsWaitForTheNextTrigger)
{
    const Settings sound { { "vco1Wave", 3.0f }, { "vco1Freq", 200.0f }, { "vco2Level", 0.5f }, { "vco2Freq", 300.0f } };
    Rig steady (sound), turned (sound);
    const auto a1 = steady.play (60, 127, 2048);
    const auto b1 = turned.play (60, 127, 2048);
    test::setPlain (turned.processor, "vco1Freq", 400.0f);
    test::setPlain (turned.processor, "vco2Freq", 600.0f);
    const auto a2 = steady.render (9600);
    const auto b2 = turned.render (9600);
    EXPECT_EQ (a1, b1);
    EXPECT_EQ (a2, b2);

    // The next note plays the new frequencies.
    test::setPlain (turned.processor, "vco2Level", 0.0f);
    const auto b3 = turned.play (60, 127, 14400);
    EXPECT_NEAR (measureFrequency (b3, 2400, b3.size()), 400.0, 1.0);
}

TEST (VoicePitch, VelocityZeroMovesThePitchButRestartsNothing)
{
    Rig rig ({ { "vco1Wave", 3.0f }, { "vco1Freq", 200.0f }, { "vcfDecay", 0.5f }, { "clickLevel", 1.0f },
               { "clickDecay", 0.005f } });
    rig.play (60, 100, 4800);
    const auto before = rig.processor.voice.probe();
    ASSERT_FALSE (before.clickActive);

    rig.processor.voice.trigger (72.0f, 0.0f); // a rest, as the sequencer plays it
    const auto out = rig.render (9600);
    const auto after = rig.processor.voice.probe();

    EXPECT_LT (after.amplifierLevel, before.amplifierLevel);
    EXPECT_LT (after.filterLevel, before.filterLevel);
    EXPECT_FALSE (after.clickActive);
    EXPECT_EQ (after.velocity, before.velocity);
    EXPECT_NEAR (after.vco1Hz, 400.0f, 0.01f);
    EXPECT_NEAR (measureFrequency (out, 480, out.size()), 400.0, 1.0);
}

// ---------------------------------------------------------------------------------------------
// Silence, sample rate, noise, filter, amplifier, drive

TEST (VoiceAmplifier, ASilentVoiceStopsComputingAndTheNextNoteStartsFromACleanDecimator)
{
    Rig rig ({ { "vcaDecay", 0.01f } });
    rig.play (60, 127, 4800);
    const auto sounding = rig.processor.voice.probe();
    ASSERT_LE (sounding.amplifierLevel, 0.0001f);

    const auto silent = rig.render (4800);
    const auto later = rig.processor.voice.probe();
    EXPECT_TRUE (later.decimatorClear);
    EXPECT_EQ (later.vco1Phase, sounding.vco1Phase);
    EXPECT_EQ (later.vco2Phase, sounding.vco2Phase);
    EXPECT_EQ (peak (silent, 2400, silent.size()), 0.0f);

    rig.play (60, 127, 1);
    EXPECT_FALSE (rig.processor.voice.probe().decimatorClear);
    EXPECT_NE (rig.processor.voice.probe().vco1Phase, later.vco1Phase);
}

TEST (VoiceAmplifier, ANewSampleRateMidDecayContinuesTheSoundWithoutAClick)
{
    const Settings sound { { "vco1Wave", 3.0f }, { "vco1Freq", 200.0f }, { "vcaDecay", 0.5f } };
    Rig changed (sound), reference (sound, 96000.0);
    auto a = changed.play (60, 127, 4800);
    const auto level = changed.processor.voice.probe().amplifierLevel;

    changed.processor.setRateAndBufferSizeDetails (96000.0, 256);
    changed.processor.prepareToPlay (96000.0, 256);
    EXPECT_EQ (changed.processor.voice.probe().amplifierLevel, level);
    const auto b = changed.render (9600);
    const auto r = reference.play (60, 127, 19200);

    // No spike at the change, and 0.1 s later the level is where a 96 kHz note would be.
    EXPECT_LE (peak (b, 0, 960), peak (a, 3840, 4800) * 1.02f);
    EXPECT_NEAR (rms (b, 4800, 9600) / rms (r, 14400, 19200), 1.0, 0.03);
}

TEST (VoiceNoise, ColourTiltsTheSpectrum)
{
    // Lag-1 autocorrelation: white 0, one-pole low-pass p = 0.97 gives p, the high-pass
    // remainder with p = 0.35 gives -(1 - p) / 2.
    const struct { float colour; double correlation; } cases[] = { { -1.0f, 0.97 }, { 0.0f, 0.0 }, { 1.0f, -0.325 } };
    for (const auto& c : cases)
    {
        Rig rig ({ { "vco1Level", 0.0f }, { "noiseLevel", 1.0f }, { "noiseVcfBypass", 1.0f },
                   { "noiseDecay", 2.0f }, { "noiseColor", c.colour } });
        const auto out = rig.play (60, 127, 24000);
        double lag0 = 0.0, lag1 = 0.0;
        for (size_t i = 2400; i < out.size(); ++i)
        {
            lag0 += (double) out[i] * out[i];
            lag1 += (double) out[i] * out[i - 1];
        }
        EXPECT_NEAR (lag1 / lag0, c.correlation, 0.025) << "colour " << c.colour;
    }
}

TEST (VoiceFilter, FullResonanceSelfOscillatesInLowPassWithoutInput)
{
    const struct { float resonance; bool rings; } cases[] = { { 0.9f, false }, { 1.0f, true } };
    for (const auto& c : cases)
    {
        Rig rig ({ { "vco1Level", 0.0f }, { "cutoff", 1000.0f }, { "resonance", c.resonance } });
        const auto out = rig.play (60, 127, 48000);
        if (c.rings)
        {
            EXPECT_GT (rms (out, 38400, 48000), 0.05);
            EXPECT_NEAR (measureFrequency (out, 38400, 48000), 1000.0, 250.0);
        }
        else
        {
            EXPECT_EQ (peak (out, 0, out.size()), 0.0f);
        }
    }
}

TEST (VoiceDrive, DrivesSaturateOnlyAbove101)
{
    const Settings sound { { "vco1Freq", 150.0f }, { "cutoff", 3000.0f }, { "noiseLevel", 0.3f } };
    // Renders a note with extra settings; `atMost` sets one drive to the largest value the
    // engine can read that is not above the given one, and reports that value.
    auto renderWith = [&] (Settings extra, const char* atMostId = nullptr, float atMost = 0.0f, float* read = nullptr) {
        Settings s = sound;
        s.insert (s.end(), extra.begin(), extra.end());
        Rig rig (s);
        if (atMostId != nullptr)
        {
            *read = test::setAtMost (rig.processor, atMostId, atMost);
            rig.host = std::make_unique<test::Host> (rig.processor, kRate);
        }
        return rig.play (60, 127, 4800);
    };

    // The post drive is the last stage: up to 1.01 it leaves the output alone, above it the
    // output is the undriven one through tanh(s p) / tanh(p).
    const auto plain = renderWith ({});
    float threshold = 0.0f, above = 0.0f;
    EXPECT_EQ (renderWith ({}, "postDrive", 1.01f, &threshold), plain);
    EXPECT_GT (threshold, 1.0099f);
    const auto driven = renderWith ({}, "postDrive", 1.02f, &above);
    ASSERT_GT (above, 1.0199f);
    for (size_t i = 0; i < plain.size(); ++i)
        ASSERT_NEAR (driven[i], std::tanh (plain[i] * above) / std::tanh (above), 1.0e-6f) << i;

    // The pre drive works on the filter input; the high-pass is linear, so up to 1.01 the drive
    // simply scales the output, while just above it full-scale peaks already bend.
    const Settings highPass { { "vcfMode", 1.0f }, { "cutoff", 20.0f }, { "noiseLevel", 0.0f } };
    const auto hp = renderWith (highPass);
    const auto hp101 = renderWith (highPass, "preDrive", 1.01f, &threshold);
    const auto hp102 = renderWith (highPass, "preDrive", 1.02f, &above);
    EXPECT_GT (threshold, 1.0099f);
    for (size_t i = 0; i < hp.size(); ++i)
        ASSERT_NEAR (hp101[i], threshold * hp[i], 2.0e-5f) << i;
    EXPECT_LT (peak (hp102, 480, 4800), 1.01f * peak (hp, 480, 4800));
}

TEST (VoiceAmplifier, UntzBendsTheDecayCurveAtItsMiddle)
{
    const struct { float untz; float middle; } cases[] = { { 0.0f, 0.5f }, { 1.0f, 0.86f }, { -1.0f, 0.14f } };
    for (const auto& c : cases)
    {
        Rig rig ({ { "vcaDecay", 0.1f }, { "untz", c.untz } });
        const float velocity = 100.0f / 127.0f;
        rig.play (60, 100, 1, 1);
        float bent = -1.0f;
        for (int i = 0; i < 48000 && bent < 0.0f; ++i)
        {
            rig.render (1, 1);
            const auto probe = rig.processor.voice.probe();
            if (probe.amplifierLevel <= 0.5f * velocity)
                bent = probe.amplifierTarget / velocity;
        }
        EXPECT_NEAR (bent, c.middle, 0.001f) << "untz " << c.untz;
    }
}

// ---------------------------------------------------------------------------------------------
// Whatever the settings, the output stays finite and bounded.

TEST (VoiceRobustness, ExtremeSettingsNeverProduceNonFiniteOrRunawaySamples)
{
    std::mt19937 random (20240611);
    std::uniform_real_distribution<float> uniform (0.0f, 1.0f);

    std::vector<std::vector<float>> cases { {}, {} }; // all at minimum, all at maximum
    {
        KVProcessor probe;
        const int n = probe.getParameters().size();
        cases[0].assign ((size_t) n, 0.0f);
        cases[1].assign ((size_t) n, 1.0f);
        for (int c = 0; c < 24; ++c)
        {
            std::vector<float> values ((size_t) n);
            for (auto& v : values)
                v = uniform (random) < 0.2f ? (uniform (random) < 0.5f ? 0.0f : 1.0f) : uniform (random);
            cases.push_back (values);
        }
    }

    for (size_t c = 0; c < cases.size(); ++c)
    {
        KVProcessor processor;
        processor.setRandomSeed ((juce::int64) c);
        const auto& parameters = processor.getParameters();
        for (int i = 0; i < parameters.size(); ++i)
            parameters[i]->setValueNotifyingHost (cases[c][(size_t) i]);
        test::Host host (processor);

        float worst = 0.0f;
        for (int blockIndex = 0; blockIndex < 40; ++blockIndex)
        {
            // Knobs move while notes ring, random notes start at random offsets.
            if (c >= 2 && blockIndex % 10 == 5)
                for (int k = 0; k < 12; ++k)
                    parameters[(int) (uniform (random) * (float) (parameters.size() - 1))]->setValueNotifyingHost (uniform (random));

            juce::MidiBuffer midi;
            if (blockIndex % 8 == 0)
                midi.addEvent (juce::MidiMessage::noteOn (1, (int) (uniform (random) * 127.0f),
                                                          (juce::uint8) (1 + uniform (random) * 126.0f)),
                               (int) (uniform (random) * 255.0f));
            const auto buffer = host.block (256, midi);
            for (int ch = 0; ch < 2; ++ch)
                for (int i = 0; i < buffer.getNumSamples(); ++i)
                {
                    const float s = buffer.getSample (ch, i);
                    ASSERT_TRUE (std::isfinite (s)) << "case " << c << " block " << blockIndex;
                    worst = std::max (worst, std::abs (s));
                }
        }
        EXPECT_LT (worst, 50.0f) << "case " << c;
    }
}
