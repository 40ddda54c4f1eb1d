// Cost of the sound engine: CPU ns per output sample of the voice (with its modulation) for every
// VCO 1 wave in both filter modes, and of a whole processBlock.

#include "BenchSupport.h"

#include <juce_events/juce_events.h>
#include <ctime>
#include <string>
#include <cstdio>
#include <vector>

namespace
{
constexpr double kRate = 48000.0;
constexpr int kSamples = 480000; // 10 s of sound per figure

const auto set = bench::setPlain;

// A sounding patch: both oscillators with FM, some noise and resonance, a long decay, so the
// voice never goes silent (it is retriggered every 0.25 s).
void setUpPatch (KVProcessor& p, int vco1Wave, int vcfMode)
{
    set (p, "vco1Wave", (float) vco1Wave);
    set (p, "vcfMode", (float) vcfMode);
    set (p, "vco1Freq", 110.0f);
    set (p, "vco2Level", 0.4f);
    set (p, "vco2Wave", 1.0f);
    set (p, "fmAmount", 0.2f);
    set (p, "vco1EgAmt", 12.0f);
    set (p, "vcaDecay", 2.0f);
    set (p, "noiseLevel", 0.2f);
    set (p, "vcfEgAmt", 0.5f);
    set (p, "resonance", 0.5f);
    set (p, "clickLevel", 0.5f);
}

// CPU time of this thread, so other programs sharing the machine do not inflate the figures.
double threadNanoseconds()
{
    timespec t {};
    clock_gettime (CLOCK_THREAD_CPUTIME_ID, &t);
    return (double) t.tv_sec * 1.0e9 + (double) t.tv_nsec;
}

template <typename Body>
double nanosecondsPerSample (int samples, Body&& body)
{
    const double start = threadNanoseconds();
    body();
    return (threadNanoseconds() - start) / samples;
}

volatile float sink = 0.0f;
} // namespace

// With the argument "silent" only the last figure is measured (for profiling).
int main (int argc, char** argv)
{
    const bench::PrivateHome home;
    juce::ScopedJuceInitialiser_GUI juce;
    const bool silentOnly = argc > 1 && std::string (argv[1]) == "silent";
    const char* waves[] = { "Square", "Triangle", "Metal", "Sine" };

    if (! silentOnly)
        std::printf ("voice per sample (voice + modulation), ns\n%-10s %10s %10s\n", "VCO1", "LP", "HP");
    for (int wave = 0; wave < 4 && ! silentOnly; ++wave)
    {
        double figures[2] {};
        for (int mode = 0; mode < 2; ++mode)
        {
            KVProcessor p;
            p.setRandomSeed (1);
            setUpPatch (p, wave, mode);
            p.setRateAndBufferSizeDetails (kRate, 512);
            p.prepareToPlay (kRate, 512);

            kv::BlockParameters block {};
            kv::ParameterHandles (p.treeState).read (block);
            p.voice.setBlockParameters (block);
            p.modulation.beginBlock (block);

            float acc = 0.0f;
            figures[mode] = nanosecondsPerSample (kSamples, [&] {
                for (int i = 0; i < kSamples; ++i)
                {
                    const bool note = i % 12000 == 0;
                    const auto frame = p.modulation.processSample (note, 0.0f, 0.0f, 0.0, 120.0, p.voice);
                    if (note)
                        p.voice.trigger (48.0f + (float) ((i / 12000) % 12), frame.scaleVelocity (0.9f));
                    acc += p.voice.renderSample();
                }
            });
            sink = acc;
        }
        std::printf ("%-10s %10.1f %10.1f\n", waves[wave], figures[0], figures[1]);
    }

    // The whole callback: MIDI pass, parameter reads, sequencer, modulation, voice, pan.
    if (! silentOnly)
    {
        KVProcessor p;
        p.setRandomSeed (1);
        setUpPatch (p, 0, 0);
        p.setRateAndBufferSizeDetails (kRate, 512);
        p.prepareToPlay (kRate, 512);
        juce::AudioBuffer<float> buffer (2, 512);
        const int blocks = kSamples / 512;
        float acc = 0.0f;
        const double ns = nanosecondsPerSample (blocks * 512, [&] {
            for (int b = 0; b < blocks; ++b)
            {
                juce::MidiBuffer midi;
                if (b % 24 == 0)
                    midi.addEvent (juce::MidiMessage::noteOn (1, 48 + (b / 24) % 12, (juce::uint8) 110), 100);
                p.processBlock (buffer, midi);
                acc += buffer.getSample (0, 0);
            }
        });
        sink = acc;
        std::printf ("processBlock (512-sample blocks, square, LP): %.1f ns per sample\n", ns);
    }

    // A silent voice between notes costs only the filter's ring-out and the modulation.
    {
        KVProcessor p;
        p.prepareToPlay (kRate, 512);
        juce::AudioBuffer<float> buffer (2, 512);
        juce::MidiBuffer midi;
        const int blocks = kSamples / 512;
        const double ns = nanosecondsPerSample (blocks * 512, [&] {
            for (int b = 0; b < blocks; ++b)
                p.processBlock (buffer, midi);
        });
        std::printf ("processBlock, silent voice: %.1f ns per sample\n", ns);
    }
    return 0;
}
