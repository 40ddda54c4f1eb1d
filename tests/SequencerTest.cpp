// The step sequencer through the real processor: a host play head drives the transport block by
// block, and the sequencer's step log records every step event with its sample position.

#include "TestSupport.h"
#include "sequencer/SequencerClock.h"

#include <gtest/gtest.h>
#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <vector>

namespace
{
using LoggedStep = KVSequencer::LoggedStep;

constexpr int kRate = 48000;

// One event as the tests compare them: where it fired and which step it played.
struct Hit
{
    std::int64_t sample;
    int step;
    bool operator== (const Hit& other) const { return sample == other.sample && step == other.step; }
};

std::ostream& operator<< (std::ostream& os, const Hit& h) { return os << "{" << h.sample << ", " << h.step << "}"; }

// A processor with a host around it. The transport position is set from the number of samples
// played, as a host computes it, and the processor counts as created well before playback.
struct Rig
{
    explicit Rig (double rate = kRate)
    {
        processor.sequencer.constructionTimeMs -= 60000.0;
        host = std::make_unique<test::Host> (processor, rate, 8192);
    }

    KVSequencer& seq() { return processor.sequencer; }
    test::ScriptedPlayHead& head() { return host->playHead; }

    void setPlaying (bool shouldPlay)
    {
        rebase();
        head().playing = shouldPlay;
    }

    void setTempo (double bpm)
    {
        rebase();
        head().bpm = bpm;
    }

    void locate (double beat)
    {
        beatBase = beat;
        playedSamples = 0;
        head().ppq = beat;
    }

    void set (const juce::String& id, float plainValue) { test::setParameter (processor, id, plainValue); }

    void block (int numSamples, juce::MidiBuffer midi = {})
    {
        if (head().playing)
            head().ppq = beatBase + (double) playedSamples * head().bpm / (60.0 * host->sampleRate);
        host->block (numSamples, std::move (midi));
        if (head().playing)
            playedSamples += numSamples;
        total += numSamples;
        drain();
    }

    // Renders up to the absolute sample `end` in blocks of at most `blockSize`.
    void renderTo (std::int64_t end, int blockSize = 512)
    {
        while (total < end)
            block ((int) std::min<std::int64_t> (blockSize, end - total));
    }

    void drain()
    {
        auto& s = seq();
        ASSERT_LE (s.getNumLoggedSteps() - readIndex, KVSequencer::kStepLogSize);
        for (; readIndex < s.getNumLoggedSteps(); ++readIndex)
            events.push_back (s.getLoggedStep (readIndex));
    }

    std::vector<Hit> hits() const
    {
        std::vector<Hit> out;
        for (const auto& e : events)
            out.push_back ({ e.sample, e.step });
        return out;
    }

    // A pattern whose every value tells its step apart: pitch 40 + n, velocity 0.05 (n + 1),
    // mod A 0.05 n, mod B 1 - 0.05 n.
    void setDistinctPattern()
    {
        for (int n = 0; n < kv::kNumSteps; ++n)
        {
            set (kv::stepParameterId (kv::StepFamily::Pitch, n), 40.0f + (float) n);
            set (kv::stepParameterId (kv::StepFamily::Velocity, n), 0.05f * (float) (n + 1));
            set (kv::stepParameterId (kv::StepFamily::ModA, n), 0.05f * (float) n);
            set (kv::stepParameterId (kv::StepFamily::ModB, n), 1.0f - 0.05f * (float) n);
        }
    }

    // The value a step parameter holds (as the sequencer reads it).
    float value (kv::StepFamily family, int step)
    {
        return test::getParameter (processor, kv::stepParameterId (family, step));
    }

    void setLanes (int pitch, int velocity, int modA = 8, int modB = 8)
    {
        set (kv::ids::pitchSteps, (float) (pitch - 1));
        set (kv::ids::velSteps, (float) (velocity - 1));
        set (kv::ids::modASteps, (float) (modA - 1));
        set (kv::ids::modBSteps, (float) (modB - 1));
    }

    static juce::MidiBuffer controller (int number, int value, int offset = 0)
    {
        juce::MidiBuffer midi;
        midi.addEvent (juce::MidiMessage::controllerEvent (5, number, value), offset);
        return midi;
    }

    void rebase()
    {
        beatBase = head().ppq = beatBase + (double) playedSamples * head().bpm / (60.0 * host->sampleRate);
        playedSamples = 0;
    }

    KVProcessor processor;
    std::unique_ptr<test::Host> host;
    double beatBase = 0.0;
    std::int64_t playedSamples = 0;
    std::int64_t total = 0;
    std::uint64_t readIndex = 0;
    std::vector<LoggedStep> events;
};

// The first sample, counted from the start of the transport at `startBeat`, whose exact
// position reaches `boundaryBeat`.
std::int64_t idealSample (long double boundaryBeat, long double startBeat, long double bpm, long double rate)
{
    const long double x = (boundaryBeat - startBeat) * 60.0L * rate / bpm;
    const long double nearest = std::round (x);
    return (std::int64_t) (std::abs (x - nearest) < 1.0e-6L ? nearest : std::ceil (x));
}

// Step boundaries of a grid (step length and swing as the sequencer takes them), from `first`.
long double boundaryBeat (std::int64_t k, const kv::StepGrid& grid)
{
    const std::int64_t q = (k >= 0 ? k : k - 1) / 2;
    const bool second = (k - 2 * q) == 1;
    return (long double) q * (long double) grid.pairBeats + (second ? (long double) grid.longStepBeats : 0.0L);
}

std::vector<std::int64_t> intervals (const std::vector<LoggedStep>& events)
{
    std::vector<std::int64_t> out;
    for (size_t i = 1; i < events.size(); ++i)
        out.push_back (events[i].sample - events[i - 1].sample);
    return out;
}
} // namespace

//==============================================================================
// Clock

TEST (SequencerClock, StepsFallOnTheFirstSampleReachingEachSixteenth)
{
    struct Case { double startBeat; std::vector<Hit> expected; };
    const Case cases[] = {
        { 0.0, { { 0, 0 }, { 6000, 1 }, { 12000, 2 }, { 18000, 3 }, { 24000, 4 }, { 30000, 5 } } },
        { 0.1, { { 0, 0 }, { 3600, 1 }, { 9600, 2 }, { 15600, 3 }, { 21600, 4 }, { 27600, 5 } } },
        { 0.2499, { { 0, 0 }, { 3, 1 }, { 6003, 2 }, { 12003, 3 }, { 18003, 4 }, { 24003, 5 } } },
        { 7.75, { { 0, 0 }, { 6000, 1 }, { 12000, 2 }, { 18000, 3 }, { 24000, 4 }, { 30000, 5 } } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.startBeat);
        Rig rig;
        rig.locate (c.startBeat);
        rig.setPlaying (true);
        rig.renderTo (30001);
        EXPECT_EQ (rig.hits(), c.expected);
    }
}

TEST (SequencerClock, StepEventsDoNotDependOnBlockBoundaries)
{
    // 2x with swing 0.25 and four lanes of different lengths.
    auto run = [] (std::function<int()> nextBlockSize)
    {
        Rig rig;
        rig.setDistinctPattern();
        rig.setLanes (5, 3, 6, 7);
        rig.set (kv::ids::clockMult, 5.0f);
        rig.set (kv::ids::swing, 0.25f);
        rig.setPlaying (true);
        while (rig.total < 2 * kRate)
            rig.block ((int) std::min<std::int64_t> (nextBlockSize(), 2 * kRate - rig.total));
        return rig.events;
    };

    Rig values;
    values.setDistinctPattern();
    const auto reference = run ([] { return 4096; });

    // The reference itself lies on the ideal grid: pairs of 6000 samples split 3750 / 2250.
    const auto grid = kv::StepGrid::make (5, 0.25);
    ASSERT_EQ (reference.size(), 32u);
    for (size_t k = 0; k < reference.size(); ++k)
    {
        EXPECT_EQ (reference[k].sample, idealSample (boundaryBeat ((std::int64_t) k, grid), 0.0L, 120.0L, kRate)) << k;
        EXPECT_EQ (reference[k].step, (int) (k % 5));
        EXPECT_EQ (reference[k].velocity, values.value (kv::StepFamily::Velocity, (int) (k % 3)));
        EXPECT_EQ (reference[k].modA, values.value (kv::StepFamily::ModA, (int) (k % 6)));
        EXPECT_EQ (reference[k].modB, values.value (kv::StepFamily::ModB, (int) (k % 7)));
    }

    std::mt19937 random (1234);
    std::uniform_int_distribution<int> anySize (1, 3000);
    const std::pair<const char*, std::function<int()>> blockings[] = {
        { "1", [] { return 1; } },       { "7", [] { return 7; } },     { "64", [] { return 64; } },
        { "480", [] { return 480; } },   { "random", [&] { return anySize (random); } },
    };

    for (const auto& [name, sizes] : blockings)
    {
        SCOPED_TRACE (name);
        const auto events = run (sizes);
        ASSERT_EQ (events.size(), reference.size());
        for (size_t k = 0; k < events.size(); ++k)
        {
            EXPECT_EQ (events[k].sample, reference[k].sample) << k;
            EXPECT_EQ (events[k].step, reference[k].step) << k;
            EXPECT_EQ (events[k].note, reference[k].note) << k;
            EXPECT_EQ (events[k].velocity, reference[k].velocity) << k;
            EXPECT_EQ (events[k].modA, reference[k].modA) << k;
            EXPECT_EQ (events[k].modB, reference[k].modB) << k;
        }
    }
}

TEST (SequencerClock, FullSwingMakesPairsOfThreeQuartersAndOneQuarter)
{
    Rig rig;
    rig.set (kv::ids::swing, 0.5f);
    rig.setPlaying (true);
    rig.renderTo (8 * 12000 + 1);

    const std::vector<std::int64_t> expected { 9000, 3000, 9000, 3000, 9000, 3000, 9000, 3000,
                                               9000, 3000, 9000, 3000, 9000, 3000, 9000, 3000 };
    EXPECT_EQ (intervals (rig.events), expected);
}

TEST (SequencerClock, EveryMultiplierHasItsStepLength)
{
    // Samples per step at 120 BPM and 48 kHz, "1/5" ... "6x".
    const std::int64_t stepSamples[] = { 30000, 24000, 18000, 12000, 6000, 3000, 2000, 1500, 1000 };

    for (int index = 0; index < 9; ++index)
    {
        SCOPED_TRACE (index);
        Rig rig;
        rig.set (kv::ids::clockMult, (float) index);
        rig.setPlaying (true);
        rig.renderTo (6 * stepSamples[index] + 1, 441);

        ASSERT_EQ (rig.events.size(), 7u);
        for (size_t k = 0; k < rig.events.size(); ++k)
        {
            EXPECT_EQ (rig.events[k].sample, (std::int64_t) k * stepSamples[index]);
            EXPECT_EQ (rig.events[k].step, (int) (k % 8));
        }
    }
}

TEST (SequencerClock, MultiplierOrSwingChangeWhileRunningNeitherJumpsNorReplays)
{
    struct Case
    {
        const char* name;
        const char* parameter;
        float before, after;
        std::int64_t changeAt;
        std::vector<Hit> expected;
    };
    const Case cases[] = {
        // Mid-step: the playing step goes on; the next step comes on the new grid.
        { "1x to 2x", kv::ids::clockMult, 4, 5, 9000, { { 0, 0 }, { 6000, 1 }, { 12000, 2 }, { 15000, 3 }, { 18000, 4 } } },
        { "2x to 1/2", kv::ids::clockMult, 5, 3, 10000,
          { { 0, 0 }, { 3000, 1 }, { 6000, 2 }, { 9000, 3 }, { 12000, 4 }, { 24000, 5 } } },
        { "1x to 6x", kv::ids::clockMult, 4, 8, 7000, { { 0, 0 }, { 6000, 1 }, { 8000, 2 }, { 9000, 3 }, { 10000, 4 } } },
        // On a boundary of both grids: the step of that boundary still plays.
        { "1x to 2x on a step", kv::ids::clockMult, 4, 5, 12000,
          { { 0, 0 }, { 6000, 1 }, { 12000, 2 }, { 15000, 3 }, { 18000, 4 } } },
        // Swing moving the boundary back past the position does not replay the previous step.
        { "swing 0 to 0.5", kv::ids::swing, 0.0f, 0.5f, 7000,
          { { 0, 0 }, { 6000, 1 }, { 9000, 2 }, { 12000, 3 }, { 21000, 4 } } },
        // ... nor does swing moving it forward past the position fire the next step early.
        { "swing 0.5 to 0", kv::ids::swing, 0.5f, 0.0f, 7000,
          { { 0, 0 }, { 12000, 1 }, { 18000, 2 }, { 24000, 3 } } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        Rig rig;
        rig.set (c.parameter, c.before);
        rig.setPlaying (true);
        rig.renderTo (c.changeAt, 500);
        rig.set (c.parameter, c.after);
        rig.renderTo (c.expected.back().sample + 1, 500);
        EXPECT_EQ (rig.hits(), c.expected);
    }
}

TEST (SequencerClock, NegativePositionsKeepAnEvenGrid)
{
    struct Case { double startBeat; std::vector<Hit> expected; };
    const Case cases[] = {
        { -1.0, { { 0, 0 }, { 6000, 1 }, { 12000, 2 }, { 18000, 3 }, { 24000, 4 }, { 30000, 5 } } },
        { -0.6, { { 0, 0 }, { 2400, 1 }, { 8400, 2 }, { 14400, 3 }, { 20400, 4 }, { 26400, 5 } } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.startBeat);
        Rig rig;
        rig.locate (c.startBeat);
        rig.setPlaying (true);
        rig.renderTo (c.expected.back().sample + 1, 700);
        EXPECT_EQ (rig.hits(), c.expected);
    }
}

TEST (SequencerClock, TempoZeroHoldsTheClock)
{
    Rig rig;
    rig.setTempo (0.0);
    rig.setPlaying (true);
    rig.renderTo (48000);
    ASSERT_EQ (rig.hits(), (std::vector<Hit> { { 0, 0 } }));
    const double held = rig.seq().getClockPosition();
    EXPECT_DOUBLE_EQ (held, 0.0);

    // The tempo comes back: the next step plays on the grid.
    rig.setTempo (120.0);
    rig.renderTo (60001);
    EXPECT_EQ (rig.hits(), (std::vector<Hit> { { 0, 0 }, { 54000, 1 }, { 60000, 2 } }));

    // Switching in at tempo 0 gives up waiting for the host grid after a pair of steps at 120 BPM.
    Rig joining;
    joining.setTempo (0.0);
    joining.locate (1.1);
    joining.setPlaying (true);
    joining.renderTo (1000);
    joining.processor.setSequencerRunState (false, false);
    joining.renderTo (2000);
    joining.processor.setSequencerRunState (true, false);
    EXPECT_TRUE (joining.seq().followHostGrid.load());
    joining.renderTo (20000, 333);
    EXPECT_EQ (joining.hits(), (std::vector<Hit> { { 0, 0 }, { 2000 + 12000, 1 } }));
}

TEST (SequencerClock, AHostWithoutBeatPositionRunsOnTheAccumulatedClock)
{
    Rig rig;
    rig.head().hasPpq = false;
    rig.setPlaying (true);
    rig.renderTo (60000, 512);

    ASSERT_EQ (rig.events.size(), 11u);
    EXPECT_EQ (rig.events[0].sample, 0);
    for (size_t k = 1; k < rig.events.size(); ++k)
        EXPECT_EQ (rig.events[k].step, (int) (k % 8));
    // The clock's position is one sample ahead of the sample count: it starts at 1 / 24000 beat.
    const std::vector<std::int64_t> expected { 5999, 6000, 6000, 6000, 6000, 6000, 6000, 6000, 6000, 6000 };
    EXPECT_EQ (intervals (rig.events), expected);
}

//==============================================================================
// Run state and transport

TEST (SequencerTransport, SwitchingInDuringPlaybackWaitsForTheNextHostStep)
{
    struct Case
    {
        const char* name;
        bool hasPpq;
        bool resetOnStart;
        std::vector<Hit> expected;
    };
    const Case cases[] = {
        { "continues after the last step", true, false, { { 0, 0 }, { 6000, 1 }, { 12000, 2 }, { 36000, 3 }, { 42000, 4 } } },
        { "reset on start", true, true, { { 0, 0 }, { 6000, 1 }, { 12000, 2 }, { 36000, 0 }, { 42000, 1 } } },
        // Without a beat position there is no grid to wait for: the next step plays at once.
        { "no beat position", false, false, { { 0, 0 }, { 5999, 1 }, { 11999, 2 }, { 32000, 3 }, { 35999, 4 } } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        Rig rig;
        rig.head().hasPpq = c.hasPpq;
        rig.set (kv::ids::seqResetOnStart, c.resetOnStart ? 1.0f : 0.0f);
        rig.setPlaying (true);
        rig.renderTo (14000);
        rig.processor.setSequencerRunState (false, false);
        EXPECT_LT (test::getParameter (rig.processor, kv::ids::seqRun), 0.5f);
        rig.renderTo (32000);
        rig.processor.setSequencerRunState (true, false);
        EXPECT_GT (test::getParameter (rig.processor, kv::ids::seqRun), 0.5f);
        rig.renderTo (c.expected.back().sample + 1, 256);
        EXPECT_EQ (rig.hits(), c.expected);
    }
}

TEST (SequencerTransport, TransportStartResumesOrRestarts)
{
    for (const bool resetOnStart : { false, true })
    {
        SCOPED_TRACE (resetOnStart);
        Rig rig;
        rig.set (kv::ids::seqResetOnStart, resetOnStart ? 1.0f : 0.0f);
        rig.setPlaying (true);
        rig.renderTo (14000);
        rig.setPlaying (false);
        rig.renderTo (24000);
        EXPECT_FALSE (rig.seq().isClockRunning());
        EXPECT_EQ (rig.seq().currentStep.load(), 2);

        rig.setPlaying (true); // the host resumes at beat 14000 / 24000
        rig.renderTo (34001);
        const int first = resetOnStart ? 0 : 3;
        EXPECT_EQ (rig.hits(), (std::vector<Hit> { { 0, 0 }, { 6000, 1 }, { 12000, 2 }, { 24000, first },
                                                   { 28000, first + 1 }, { 34000, first + 2 } }));
    }
}

TEST (SequencerTransport, ResetWhileStoppedShowsTheFirstStepAndStartsFromIt)
{
    for (const int page : { 0, 1 })
    {
        SCOPED_TRACE (page);
        Rig rig;
        rig.seq().editPage = page;
        rig.setPlaying (true);
        rig.renderTo (20000);
        rig.setPlaying (false);
        rig.renderTo (21000);
        EXPECT_EQ (rig.seq().currentStep.load(), page * 8 + 3);

        rig.seq().resetRequest = true;
        rig.renderTo (21064, 64);
        EXPECT_EQ (rig.seq().currentStep.load(), page * 8);
        EXPECT_FALSE (rig.seq().resetRequest.load());

        rig.setPlaying (true);
        rig.renderTo (30000);
        ASSERT_EQ (rig.events.size(), 6u);
        EXPECT_EQ (rig.hits()[4], (Hit { 21064, page * 8 }));
        EXPECT_EQ (rig.events[5].step, page * 8 + 1);
    }
}

TEST (SequencerTransport, ResetWhileRunningPlaysTheFirstStepNext)
{
    Rig rig;
    rig.setDistinctPattern();
    rig.setLanes (8, 5, 6, 7);
    rig.setPlaying (true);
    rig.renderTo (14000);
    rig.seq().resetRequest = true;
    rig.renderTo (24001);

    EXPECT_EQ (rig.hits(), (std::vector<Hit> { { 0, 0 }, { 6000, 1 }, { 12000, 2 }, { 18000, 0 }, { 24000, 1 } }));
    // All four lanes start over at the reset.
    const auto& restart = rig.events[3];
    EXPECT_EQ (restart.velocity, rig.value (kv::StepFamily::Velocity, 0));
    EXPECT_EQ (restart.modA, rig.value (kv::StepFamily::ModA, 0));
    EXPECT_EQ (restart.modB, rig.value (kv::StepFamily::ModB, 0));
}

TEST (SequencerTransport, FreeRunPlaysOnTheInstrumentsTempoWhileTheHostIsStopped)
{
    Rig rig;
    rig.set (kv::ids::tempo, 100.0f); // 7200 samples per step
    rig.renderTo (1000);
    EXPECT_TRUE (rig.events.empty());

    rig.processor.startFreeRun();
    rig.renderTo (1000 + 3 * 7200 + 1, 300);
    EXPECT_EQ (rig.hits(), (std::vector<Hit> { { 1000, 0 }, { 8200, 1 }, { 15400, 2 }, { 22600, 3 } }));

    rig.processor.stopFreeRun();
    rig.renderTo (40000);
    EXPECT_EQ (rig.events.size(), 4u);

    // A new free run starts its clock at 0 and continues with the next step.
    rig.processor.startFreeRun();
    rig.renderTo (40000 + 7200 + 1);
    EXPECT_EQ (rig.hits().back(), (Hit { 47200, 5 }));
    EXPECT_EQ (rig.hits()[4], (Hit { 40000, 4 }));

    // The host starting ends the free run; the sequencer follows the host from there.
    rig.locate (0.0);
    rig.setPlaying (true);
    rig.renderTo (60000);
    EXPECT_FALSE (rig.seq().freeRunning.load());
    EXPECT_EQ (rig.hits()[6], (Hit { 47201, 6 }));
    EXPECT_EQ (rig.hits()[7], (Hit { 47201 + 6000, 7 }));
}

TEST (SequencerTransport, InstanceCreatedDuringPlaybackStaysSwitchedOut)
{
    KVProcessor processor; // its first block arrives at once, with the host playing
    test::Host host (processor);
    host.playHead.playing = true;
    for (int i = 0; i < 20; ++i)
        host.block (512);
    EXPECT_TRUE (processor.sequencer.sequencerSwitchedOut.load());
    EXPECT_EQ (processor.sequencer.getNumLoggedSteps(), 0u);

    processor.setSequencerRunState (true, false);
    for (int i = 0; i < 20; ++i)
        host.block (512);
    EXPECT_GT (processor.sequencer.getNumLoggedSteps(), 0u);
}

TEST (SequencerTransport, Controller119SwitchesAtOnceAndMovesSeqRun)
{
    Rig rig;
    rig.setPlaying (true);
    rig.renderTo (8000);

    rig.block (4000, Rig::controller (119, 0, 100));
    EXPECT_TRUE (rig.seq().sequencerSwitchedOut.load());
    EXPECT_FALSE (rig.seq().isClockRunning());
    EXPECT_LT (test::getParameter (rig.processor, kv::ids::seqRun), 0.5f);
    rig.renderTo (20000);
    EXPECT_EQ (rig.hits(), (std::vector<Hit> { { 0, 0 }, { 6000, 1 } }));

    // Back in: it joins the host grid at its next step and continues the pattern.
    rig.block (1000, Rig::controller (119, 127));
    EXPECT_GT (test::getParameter (rig.processor, kv::ids::seqRun), 0.5f);
    rig.renderTo (30001);
    EXPECT_EQ (rig.hits(), (std::vector<Hit> { { 0, 0 }, { 6000, 1 }, { 24000, 2 }, { 30000, 3 } }));
}

TEST (SequencerTransport, SwitchingInAgainWhileRunningKeepsThePattern)
{
    Rig rig;
    rig.set (kv::ids::seqResetOnStart, 1.0f);
    rig.setPlaying (true);
    rig.renderTo (15000);
    rig.block (1000, Rig::controller (119, 127));
    rig.processor.setSequencerRunState (true, false);
    rig.renderTo (30001);
    EXPECT_EQ (rig.hits(), (std::vector<Hit> { { 0, 0 }, { 6000, 1 }, { 12000, 2 }, { 18000, 3 }, { 24000, 4 }, { 30000, 5 } }));
}

TEST (SequencerTransport, Controller110StartsAndStopsFreeRunOnlyWhileTheHostIsStopped)
{
    // While the host plays, 110 changes nothing.
    {
        Rig rig;
        rig.setPlaying (true);
        rig.renderTo (7000);
        rig.block (1000, Rig::controller (110, 127));
        rig.renderTo (13000);
        rig.block (1000, Rig::controller (110, 0));
        rig.renderTo (18001);
        EXPECT_FALSE (rig.seq().freeRunning.load());
        EXPECT_EQ (rig.hits(), (std::vector<Hit> { { 0, 0 }, { 6000, 1 }, { 12000, 2 }, { 18000, 3 } }));
    }

    // Host stopped and switched out: 110 at 127 switches in, moves seqRun to 1 and runs free.
    {
        Rig rig;
        rig.set (kv::ids::tempo, 150.0f); // 4800 samples per step
        rig.processor.setSequencerRunState (false, false);
        rig.renderTo (1000);
        ASSERT_LT (test::getParameter (rig.processor, kv::ids::seqRun), 0.5f);

        rig.block (500, Rig::controller (110, 127));
        EXPECT_TRUE (rig.seq().freeRunning.load());
        EXPECT_FALSE (rig.seq().sequencerSwitchedOut.load());
        EXPECT_GT (test::getParameter (rig.processor, kv::ids::seqRun), 0.5f);
        rig.renderTo (1000 + 4800 + 1);
        EXPECT_EQ (rig.hits(), (std::vector<Hit> { { 1000, 0 }, { 5800, 1 } }));

        rig.block (500, Rig::controller (110, 0));
        rig.renderTo (20000);
        EXPECT_FALSE (rig.seq().freeRunning.load());
        EXPECT_EQ (rig.events.size(), 2u);
    }
}

TEST (SequencerTransport, RunSwitchClickAndAutomationFollowTheRunState)
{
    struct Case
    {
        const char* name;
        bool hostPlaying, switchedOut, freeRun;
        bool switchedOutAfter, freeRunAfter, clockRunsAfter;
    };
    const Case cases[] = {
        { "switched out, host stopped", false, true, false, false, false, false },
        { "switched out, host playing", true, true, false, false, false, true },
        { "waiting for the host", false, false, false, true, false, false },
        { "following the host", true, false, false, true, false, false },
        { "free running", false, false, true, false, false, false },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        Rig rig;
        rig.setPlaying (c.hostPlaying);
        if (c.switchedOut)
            rig.set (kv::ids::seqRun, 0.0f); // host automation
        if (c.freeRun)
            rig.processor.startFreeRun();
        rig.renderTo (6500);
        ASSERT_EQ (rig.seq().sequencerSwitchedOut.load(), c.switchedOut);
        ASSERT_EQ (rig.seq().isClockRunning(), ! c.switchedOut && (c.hostPlaying || c.freeRun));

        rig.seq().clickRunSwitch();
        rig.renderTo (13000);
        EXPECT_EQ (rig.seq().sequencerSwitchedOut.load(), c.switchedOutAfter);
        EXPECT_EQ (test::getParameter (rig.processor, kv::ids::seqRun) > 0.5f, ! c.switchedOutAfter);
        EXPECT_EQ (rig.seq().freeRunning.load(), c.freeRunAfter);
        EXPECT_EQ (rig.seq().isClockRunning(), c.clockRunsAfter);
    }
}

//==============================================================================
// Lanes, pages and chain mode

TEST (SequencerLanes, LanesOfDifferentLengthsDriftAgainstEachOther)
{
    struct Case { int pitchLength, velocityLength; int period; };
    const Case cases[] = { { 4, 3, 12 }, { 1, 3, 3 }, { 8, 5, 40 } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.pitchLength * 100 + c.velocityLength);
        Rig rig;
        rig.setDistinctPattern();
        rig.setLanes (c.pitchLength, c.velocityLength, 2, 7);
        rig.set (kv::ids::clockMult, 8.0f); // 1000 samples a step
        rig.setPlaying (true);
        rig.renderTo (2 * c.period * 1000);

        // One event per clock step, also with a pitch lane of one step.
        ASSERT_EQ (rig.events.size(), (size_t) (2 * c.period));
        for (size_t k = 0; k < rig.events.size(); ++k)
        {
            const auto& e = rig.events[k];
            EXPECT_EQ (e.sample, (std::int64_t) k * 1000);
            EXPECT_EQ (e.step, (int) k % c.pitchLength);
            EXPECT_FLOAT_EQ (e.note, 40.0f + (float) ((int) k % c.pitchLength));
            EXPECT_EQ (e.velocity, rig.value (kv::StepFamily::Velocity, (int) k % c.velocityLength));
            EXPECT_EQ (e.modA, rig.value (kv::StepFamily::ModA, (int) k % 2));
            EXPECT_EQ (e.modB, rig.value (kv::StepFamily::ModB, (int) k % 7));
        }
        // The mod lanes hand their last values to the modulation as -1 ... +1.
        EXPECT_FLOAT_EQ (rig.seq().getModAValue(), 2.0f * rig.events.back().modA - 1.0f);
        EXPECT_FLOAT_EQ (rig.seq().getModBValue(), 2.0f * rig.events.back().modB - 1.0f);
    }
}

TEST (SequencerLanes, PagesAndChainModeChooseTheStepsThatPlay)
{
    struct Case { bool chain; int page; int length; std::vector<int> steps; };
    const Case cases[] = {
        { false, 0, 16, { 0, 1, 2, 3, 4, 5, 6, 7, 0, 1 } },   // normal mode plays at most 8
        { false, 1, 16, { 8, 9, 10, 11, 12, 13, 14, 15, 8, 9 } },
        { false, 1, 3, { 8, 9, 10, 8, 9, 10, 8, 9, 10, 8 } },
        { true, 1, 16, { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0, 1 } },
        { true, 0, 12, { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0, 1 } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE ((c.chain ? 100 : 0) + c.page * 10 + c.length);
        Rig rig;
        rig.setDistinctPattern();
        rig.setLanes (c.length, c.length);
        rig.seq().chainMode = c.chain;
        rig.seq().editPage = c.page;
        rig.set (kv::ids::clockMult, 8.0f);
        rig.setPlaying (true);
        rig.renderTo ((std::int64_t) c.steps.size() * 1000);

        ASSERT_EQ (rig.events.size(), c.steps.size());
        for (size_t k = 0; k < c.steps.size(); ++k)
        {
            EXPECT_EQ (rig.events[k].step, c.steps[k]);
            EXPECT_FLOAT_EQ (rig.events[k].note, 40.0f + (float) c.steps[k]);
            EXPECT_EQ (rig.events[k].velocity, rig.value (kv::StepFamily::Velocity, c.steps[k]));
        }
    }
}

TEST (SequencerLanes, SwitchingPagesOrStatesDuringPlaybackReplaysNothing)
{
    struct Case
    {
        const char* name;
        std::function<void (Rig&)> change;
        std::vector<Hit> expected;
    };
    const Case cases[] = {
        { "page switch", [] (Rig& r) { r.seq().editPage = 1; r.seq().stateReplaced = true; },
          { { 0, 0 }, { 6000, 1 }, { 12000, 2 }, { 18000, 11 }, { 24000, 12 } } },
        { "page switch, no request", [] (Rig& r) { r.seq().editPage = 1; },
          { { 0, 0 }, { 6000, 1 }, { 12000, 2 }, { 18000, 11 }, { 24000, 12 } } },
        { "chain mode on", [] (Rig& r) { r.seq().chainMode = true; r.seq().stateReplaced = true; },
          { { 0, 0 }, { 6000, 1 }, { 12000, 2 }, { 18000, 3 }, { 24000, 4 } } },
        // A state replacement that shortens the pitch lane: the step now under the position
        // counts as played.
        { "state replaced", [] (Rig& r) { r.set (kv::ids::pitchSteps, 1.0f); r.seq().stateReplaced = true; },
          { { 0, 0 }, { 6000, 1 }, { 12000, 2 }, { 18000, 1 }, { 24000, 0 } } },
        // The same length change by itself moves the lane at once.
        { "lane length only", [] (Rig& r) { r.set (kv::ids::pitchSteps, 1.0f); },
          { { 0, 0 }, { 6000, 1 }, { 12000, 2 }, { 15000, 0 }, { 18000, 1 }, { 24000, 0 } } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        Rig rig;
        rig.setPlaying (true);
        rig.renderTo (15000, 500);
        c.change (rig);
        rig.renderTo (24001, 500);
        EXPECT_EQ (rig.hits(), c.expected);
    }
}

TEST (SequencerLanes, ChainModeOffWhileStepTwelvePlaysGoesOnInThePage)
{
    Rig rig;
    rig.seq().chainMode = true;
    rig.set (kv::ids::clockMult, 8.0f);
    rig.setPlaying (true);
    rig.renderTo (12500);
    ASSERT_EQ (rig.seq().currentStep.load(), 12);

    rig.seq().chainMode = false;
    rig.seq().stateReplaced = true;
    rig.renderTo (15001);
    const auto hits = rig.hits();
    ASSERT_EQ (hits.size(), 16u);
    EXPECT_EQ (hits[12], (Hit { 12000, 12 }));
    EXPECT_EQ (hits[13], (Hit { 13000, 5 }));
    EXPECT_EQ (hits[14], (Hit { 14000, 6 }));
    EXPECT_EQ (hits[15], (Hit { 15000, 7 }));
}

TEST (SequencerLanes, ChangesWhileStoppedDoNotSwallowTheFirstStep)
{
    Rig rig;
    rig.set (kv::ids::seqResetOnStart, 1.0f);
    rig.setPlaying (true);
    rig.renderTo (14000);
    rig.setPlaying (false);
    rig.renderTo (16000);

    // A preset load and a page switch while the host is stopped.
    rig.seq().stateReplaced = true;
    rig.seq().editPage = 1;
    rig.renderTo (18000);

    rig.setPlaying (true);
    rig.renderTo (18001);
    EXPECT_EQ (rig.hits().back(), (Hit { 18000, 8 }));
}

//==============================================================================
// Ten minutes of playback: every step event on the ideal grid, to the sample.

TEST (SequencerClock, TenMinutesNeverDriftFromTheGrid)
{
    struct Case
    {
        double rate, bpm;
        int multiplier;
        float swing;
        bool freeRun;
    };
    const Case cases[] = {
        { 44100.0, 120.0, 4, 0.0f, false },  // 5512.5 samples a step
        { 44100.0, 137.0, 6, 0.3f, false },
        { 96000.0, 174.0, 4, 0.2f, false },
        { 96000.0, 97.0, 7, 0.25f, true },
    };

    // Sizes hosts use, and now and then any size at all.
    const int usualSizes[] = { 32, 64, 128, 256, 441, 480, 512, 1000, 1024, 2048, 4096 };
    std::mt19937 random (99);

    KVProcessor processor;
    kv::ParameterHandles handles (processor.treeState);

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.rate) + " Hz, " + juce::String (c.bpm) + " BPM, x" + juce::String (c.multiplier)
                      + ", swing " + juce::String (c.swing) + (c.freeRun ? ", free run" : ""));

        kv::BlockParameters parameters {};
        handles.read (parameters);
        parameters.clockMult = c.multiplier;
        parameters.swing = c.swing;
        parameters.tempo = (float) c.bpm;

        KVSequencer sequencer;
        sequencer.constructionTimeMs = -1.0e9;
        sequencer.prepare (c.rate);
        test::ScriptedPlayHead head;
        head.bpm = c.bpm;
        head.playing = ! c.freeRun;
        if (c.freeRun)
            sequencer.startFreeRun();

        const auto grid = kv::StepGrid::make (c.multiplier, (double) c.swing);
        const auto total = (std::int64_t) (600.0 * c.rate);
        std::int64_t done = 0, maxDrift = 0, checked = 0;
        std::uint64_t read = 0;

        while (done < total)
        {
            int n = random() % 16 == 0 ? (int) (random() % 4096) + 1 : usualSizes[random() % std::size (usualSizes)];
            n = (int) std::min<std::int64_t> (n, total - done);

            head.ppq = (double) done * c.bpm / (60.0 * c.rate);
            sequencer.beginBlock (&head, parameters, n);
            for (int i = 0; i < n; ++i)
                sequencer.advanceSample (i, parameters.steps);
            sequencer.endBlock();
            done += n;

            ASSERT_LE (sequencer.getNumLoggedSteps() - read, KVSequencer::kStepLogSize);
            for (; read < sequencer.getNumLoggedSteps(); ++read, ++checked)
            {
                const auto ideal = idealSample (boundaryBeat ((std::int64_t) read, grid), 0.0L, c.bpm, c.rate);
                maxDrift = std::max (maxDrift, std::abs (sequencer.getLoggedStep (read).sample - ideal));
            }
        }

        EXPECT_EQ (maxDrift, 0);
        // Every boundary inside the ten minutes played.
        std::int64_t expected = 0;
        while (idealSample (boundaryBeat (expected, grid), 0.0L, c.bpm, c.rate) < total)
            ++expected;
        EXPECT_EQ (checked, expected);
    }
}
