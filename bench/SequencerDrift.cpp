// Ten minutes of host playback through the whole processor (voice included) at 44.1 kHz and
// 96 kHz with the block sizes hosts use: prints how far any step event lies from the ideal
// grid (in samples), how many steps played, and the render speed.

#include "BenchSupport.h"
#include "sequencer/SequencerClock.h"

#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_events/juce_events.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace
{
using BenchPlayHead = bench::PlayHead;
using bench::setPlain;

std::int64_t idealSample (std::int64_t k, const kv::StepGrid& grid, long double bpm, long double rate)
{
    const std::int64_t q = (k >= 0 ? k : k - 1) / 2;
    const long double beat = (long double) q * (long double) grid.pairBeats
                             + ((k - 2 * q) == 1 ? (long double) grid.longStepBeats : 0.0L);
    const long double x = beat * 60.0L * rate / bpm;
    const long double nearest = std::round (x);
    return (std::int64_t) (std::abs (x - nearest) < 1.0e-6L ? nearest : std::ceil (x));
}

void runCase (double rate, double bpm, int multiplier, float swing)
{
    KVProcessor processor;
    processor.setRandomSeed (1);
    processor.sequencer.constructionTimeMs -= 60000.0;
    setPlain (processor, kv::ids::clockMult, (float) multiplier);
    setPlain (processor, kv::ids::swing, swing);

    BenchPlayHead head;
    head.bpm = bpm;
    processor.setPlayHead (&head);
    processor.setRateAndBufferSizeDetails (rate, 4096);
    processor.prepareToPlay (rate, 4096);

    const int sizes[] = { 64, 128, 256, 441, 480, 512, 1024, 2048, 4096 };
    std::mt19937 random (7);
    juce::AudioBuffer<float> buffer (2, 4096);
    juce::MidiBuffer midi;

    // The grid of the swing as the parameter stores it.
    const float storedSwing = processor.treeState.getRawParameterValue (kv::ids::swing)->load();
    const auto grid = kv::StepGrid::make (multiplier, (double) storedSwing);
    const auto total = (std::int64_t) (600.0 * rate);
    std::int64_t done = 0, maxDrift = 0, steps = 0;
    std::uint64_t read = 0;
    const auto& sequencer = processor.sequencer;

    const double started = juce::Time::getMillisecondCounterHiRes();
    while (done < total)
    {
        const int n = (int) std::min<std::int64_t> (sizes[random() % std::size (sizes)], total - done);
        head.ppq = (double) done * bpm / (60.0 * rate);
        buffer.setSize (2, n, false, false, true);
        processor.processBlock (buffer, midi);
        done += n;

        for (; read < sequencer.getNumLoggedSteps(); ++read, ++steps)
            maxDrift = std::max (maxDrift, std::abs (sequencer.getLoggedStep (read).sample
                                                     - idealSample ((std::int64_t) read, grid, bpm, rate)));
    }
    const double seconds = (juce::Time::getMillisecondCounterHiRes() - started) / 1000.0;
    processor.setPlayHead (nullptr);

    std::printf ("sequencer drift  %6.0f Hz  %5.1f BPM  clockMult %d  swing %.4f : %lld steps, max drift %lld samples, "
                 "%.2f s for 600 s of audio (%.0fx real time)\n",
                 rate, bpm, multiplier, (double) storedSwing, (long long) steps, (long long) maxDrift, seconds,
                 600.0 / seconds);
}
} // namespace

int main()
{
    const bench::PrivateHome home;

    {
        juce::ScopedJuceInitialiser_GUI juce;
        runCase (44100.0, 120.0, 4, 0.0f);
        runCase (44100.0, 137.0, 6, 0.3f);
        runCase (96000.0, 120.0, 4, 0.0f);
        runCase (96000.0, 174.0, 8, 0.2f);
    }

    return 0;
}
