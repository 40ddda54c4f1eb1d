// Soak and denormal runs of the real processor; prints its figures.
//
//   pulskar_bench_soakbench [minutes-of-soak (default 60)] [minutes-of-decay (default 5)]
//
// Soak: the host plays at 120 BPM while every sound parameter is automated at random, the LFO and
// both mod lanes modulate, notes and controllers arrive, and block sizes mix 1 ... 8192 samples.
// It prints the peak, the count of non-finite samples and how far step events drifted from the
// ideal sixteenth-note grid.
// Decay: one note into a ringing filter, then minutes of silence input; it prints the cost per
// block over time, so a slowdown from denormal numbers would show as rising figures.

#include "BenchSupport.h"

#include <juce_events/juce_events.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace
{
using bench::PlayHead;
using bench::setPlain;

// Parameters that move the step grid itself (or, for the lane lengths, fire an extra step when a
// lane jumps) are left alone, so the step events can be held against the ideal grid.
bool affectsTiming (const juce::String& id)
{
    return id == "clockMult" || id == "swing" || id == "seqRun" || id == "tempo" || id == "seqResetOnStart"
           || id.endsWith ("Steps");
}

void soak (double minutes)
{
    const double rate = 48000.0;
    KVProcessor p;
    p.setRandomSeed (99);
    PlayHead head;
    head.playing = false;
    p.setPlayHead (&head);
    p.setRateAndBufferSizeDetails (rate, 8192);
    p.prepareToPlay (rate, 8192);

    juce::AudioBuffer<float> buffer (2, 8192);
    juce::MidiBuffer midi;
    buffer.setSize (2, 1, false, false, true);
    p.processBlock (buffer, midi); // the transport starts after the first block
    head.playing = true;
    const juce::int64 startSample = 1;

    setPlain (p, "lfoDest", 1.0f);
    setPlain (p, "modADest", 6.0f);
    setPlain (p, "modBDest", 20.0f);
    setPlain (p, "vco2Level", 0.5f);
    setPlain (p, "noiseLevel", 0.3f);

    juce::Array<juce::RangedAudioParameter*> automated;
    for (auto* parameter : p.getParameters())
        if (auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (parameter))
            if (! affectsTiming (ranged->getParameterID()))
                automated.add (ranged);

    juce::Random random (42);
    const auto total = (juce::int64) (minutes * 60.0 * rate);
    float peak = 0.0f;
    juce::int64 nonFinite = 0, done = 0;
    std::uint64_t stepsSeen = 0;
    juce::int64 maxDrift = 0;
    const double samplesPerStep = 0.25 * 60.0 * rate / head.bpm;

    const auto started = std::chrono::steady_clock::now();
    while (done < total)
    {
        const int n = (int) juce::jmin ((juce::int64) (1 + random.nextInt (8192)), total - done);
        buffer.setSize (2, n, false, false, true);
        midi.clear();
        if (random.nextInt (8) == 0)
            midi.addEvent (juce::MidiMessage::noteOn (1, 30 + random.nextInt (60), (juce::uint8) (1 + random.nextInt (127))),
                           random.nextInt (n));
        if (random.nextInt (8) == 0)
        {
            const int controller = 20 + random.nextInt (89);
            if (controller != 106) // the clock multiplier
                midi.addEvent (juce::MidiMessage::controllerEvent (1, controller, random.nextInt (128)), random.nextInt (n));
        }
        for (int k = 0; k < 4; ++k)
            automated[random.nextInt (automated.size())]->setValueNotifyingHost (random.nextFloat());

        p.processBlock (buffer, midi);
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < n; ++i)
            {
                const float s = buffer.getSample (ch, i);
                if (! std::isfinite (s))
                    ++nonFinite;
                else
                    peak = juce::jmax (peak, std::abs (s));
            }

        // Step events against the ideal grid: step k of the host's timeline starts at the first
        // sample whose position reaches k sixteenths.
        const auto logged = p.sequencer.getNumLoggedSteps();
        for (; stepsSeen < logged; ++stepsSeen)
        {
            const auto& e = p.sequencer.getLoggedStep (stepsSeen);
            const double hostSample = (double) (e.sample - startSample);
            const auto k = (juce::int64) std::llround (hostSample / samplesPerStep);
            const auto ideal = (juce::int64) std::ceil ((double) k * samplesPerStep - 1e-9);
            maxDrift = juce::jmax (maxDrift, std::abs ((juce::int64) hostSample - ideal));
        }

        done += n;
        head.ppq = (double) done * head.bpm / (60.0 * rate);
    }
    const double wall = std::chrono::duration<double> (std::chrono::steady_clock::now() - started).count();
    const double seconds = (double) total / rate;
    std::printf ("soak: %.0f s of audio in %.1f s (%.0fx realtime), peak %.3f, non-finite samples %lld, "
                 "step events %llu, max drift from the grid %lld samples\n",
                 seconds, wall, seconds / wall, (double) peak, (long long) nonFinite,
                 (unsigned long long) stepsSeen, (long long) maxDrift);
    p.setPlayHead (nullptr);
}

void decay (double minutes)
{
    const double rate = 48000.0;
    const int block = 256;
    KVProcessor p;
    p.setRandomSeed (3);
    p.setRateAndBufferSizeDetails (rate, block);
    p.prepareToPlay (rate, block);
    setPlain (p, "seqRun", 0.0f);
    setPlain (p, "resonance", 0.97f);
    setPlain (p, "cutoff", 300.0f);
    setPlain (p, "vcaDecay", 2.0f);
    setPlain (p, "vcfDecay", 10.0f);
    setPlain (p, "vco2Level", 0.4f);

    juce::AudioBuffer<float> buffer (2, block);
    juce::MidiBuffer midi;
    midi.addEvent (juce::MidiMessage::noteOn (1, 36, (juce::uint8) 127), 0);

    const int blocksPerReport = (int) (10.0 * rate / block);
    const int reports = juce::jmax (1, (int) (minutes * 6.0));
    std::printf ("decay: one note, then %.0f s alone; cost per 256-sample block:\n", minutes * 60.0);
    for (int r = 0; r < reports; ++r)
    {
        float peak = 0.0f;
        const auto started = std::chrono::steady_clock::now();
        for (int b = 0; b < blocksPerReport; ++b)
        {
            p.processBlock (buffer, midi);
            midi.clear();
            peak = juce::jmax (peak, buffer.getMagnitude (0, 0, block));
        }
        const double ns = std::chrono::duration<double, std::nano> (std::chrono::steady_clock::now() - started).count()
                          / blocksPerReport;
        std::printf ("  %4.0f s: %8.0f ns per block, peak %.2e\n", (r + 1) * 10.0, ns, (double) peak);
    }
}
} // namespace

int main (int argc, char** argv)
{
    const bench::PrivateHome home;
    juce::ScopedJuceInitialiser_GUI juce;
    const double soakMinutes = argc > 1 ? std::atof (argv[1]) : 60.0;
    const double decayMinutes = argc > 2 ? std::atof (argv[2]) : 5.0;
    soak (soakMinutes);
    decay (decayMinutes);
    return 0;
}
