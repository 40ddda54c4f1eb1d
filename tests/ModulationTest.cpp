// Modulation: the 31 destinations and their rules, the LFO in its three modes, the pan law and
// the velocity scaling, through the processor's own modulation and voice.

#include "ParameterValues.h"
#include "modulation/Destinations.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <memory>
#include <set>
#include <vector>

namespace
{
constexpr double kRate = 48000.0;

using Settings = std::vector<std::pair<const char*, float>>;

struct Observed
{
    KVVoice::Controls controls;
    ModulationFrame frame;
    KVModulation::State state;
};

// Everything a destination may touch, by name.
struct Quantity
{
    const char* name;
    std::function<float (const Observed&)> get;
};

#define KV_CONTROL(field) Quantity { #field, [] (const Observed& o) { return o.controls.field; } }
const std::vector<Quantity>& allQuantities()
{
    static const std::vector<Quantity> list {
        KV_CONTROL (cutoff),       KV_CONTROL (resonance),       KV_CONTROL (fmAmount),
        KV_CONTROL (noiseLevel),   KV_CONTROL (noiseColor),      KV_CONTROL (noiseVcfDepth),
        KV_CONTROL (vcfEgAmount),  KV_CONTROL (clickLevel),      KV_CONTROL (clickFrequency),
        KV_CONTROL (clickDecay),   KV_CONTROL (preDrive),        KV_CONTROL (postDrive),
        KV_CONTROL (untz),         KV_CONTROL (vco1Level),       KV_CONTROL (vco2Level),
        KV_CONTROL (vco1EgAmount), KV_CONTROL (vco2EgAmount),    KV_CONTROL (pitchOffset),
        KV_CONTROL (vco1PitchOffset), KV_CONTROL (vco2PitchOffset), KV_CONTROL (attackTime),
        KV_CONTROL (vcoDecay),     KV_CONTROL (vco2Decay),       KV_CONTROL (vcfDecay),
        KV_CONTROL (vcaDecay),     KV_CONTROL (noiseDecay),
        // The pan law: the far side fades by the pan position, the near side stays at 1.
        Quantity { "pan", [] (const Observed& o) { return o.frame.rightGain - o.frame.leftGain; } },
        Quantity { "nearSide", [] (const Observed& o) { return std::max (o.frame.leftGain, o.frame.rightGain); } },
        Quantity { "velocity", [] (const Observed& o) { return o.frame.scaleVelocity (0.6f); } },
        Quantity { "lfoRate", [] (const Observed& o) { return o.state.lfoRate; } },
        Quantity { "lfoAmount", [] (const Observed& o) { return o.state.lfoAmount; } },
    };
    return list;
}
#undef KV_CONTROL

// The processor, prepared like a host prepares it, with its modulation driven one sample at a
// time so every source value and clock position is under the test's control.
struct ModRig
{
    explicit ModRig (const Settings& settings)
    {
        for (const auto& [id, value] : settings)
            test::setParameter (processor, id, value);
        host = std::make_unique<test::Host> (processor, kRate);
        kv::ParameterHandles (processor.treeState).read (block);
    }

    Observed step (float modA = 0.0f, float modB = 0.0f, bool trigger = false, double clock = 0.25, double tempo = 120.0)
    {
        processor.voice.setBlockParameters (block);
        processor.modulation.beginBlock (block);
        const auto frame = processor.modulation.processSample (trigger, modA, modB, clock, tempo, processor.voice);
        return { processor.voice.getControls(), frame, processor.modulation.getState() };
    }

    float range (const char* id, float plain, float shift)
    {
        const auto& r = processor.treeState.getParameter (id)->getNormalisableRange();
        return r.convertFrom0to1 (std::clamp (r.convertTo0to1 (plain) + shift, 0.0f, 1.0f));
    }

    KVProcessor processor;
    std::unique_ptr<test::Host> host;
    kv::BlockParameters block {};
};

// Base values away from the limits, so every destination can move both ways.
const Settings kBase { { "cutoff", 5515.448f }, { "resonance", 0.5f }, { "fmAmount", 0.5f }, { "noiseLevel", 0.5f },
                       { "vcfDecay", 1.5f },    { "vcaDecay", 0.4f },  { "vcaEg", 0.5f },    { "vcoDecay", 0.4f },
                       { "clickTune", 4000.0f }, { "preDrive", 2.5f }, { "noiseVcfMod", 0.5f }, { "clickLevel", 0.5f },
                       { "vco2Decay", 0.4f },   { "postDrive", 2.5f }, { "lfoRate", 2.0f },  { "lfoAmt", 0.5f },
                       { "noiseDecay", 0.3f },  { "clickDecay", 0.035f }, { "vco1Level", 0.5f }, { "vco2Level", 0.5f } };

template <typename Table>
int indexOf (const Table& table, int code)
{
    const auto it = std::find (table.begin(), table.end(), code);
    return it == table.end() ? -1 : (int) (it - table.begin());
}
} // namespace

// ---------------------------------------------------------------------------------------------

TEST (Modulation, EveryDestinationMovesOnlyItsOwnTargetByItsDepthWithinItsLimits)
{
    ModRig rig (kBase);
    const kv::BlockParameters& b = rig.block;
    auto decay = [&rig] (const char* id, float plain) {
        return [&rig, id, plain] (float m) { return rig.range (id, plain, 0.5f * m); };
    };
    constexpr float inf = std::numeric_limits<float>::infinity();

    struct Row
    {
        int code;
        const char* label;
        bool lanes, lfo;
        float lfoScale;
        const char* quantity;
        std::function<float (float)> rule; // the target for a sum m, before the limits
        float low, high;                   // the limits
        float limitSign;                   // the direction in which full modulation hits a limit
    };
    const std::vector<Row> rows {
        { 1, "CUTOFF", true, true, 2.5f, "cutoff", [&b] (float m) { return b.cutoff * std::exp2 (2.0f * m); }, 20.0f, 20000.0f, 1.0f },
        { 2, "RESONANCE", true, true, 2.0f, "resonance", [&b] (float m) { return b.resonance + 0.5f * m; }, 0.0f, 1.0f, 1.0f },
        { 3, "FM AMT", true, true, 2.0f, "fmAmount", [&b] (float m) { return b.fmAmount + m; }, 0.0f, 1.0f, -1.0f },
        { 4, "NOISE", true, true, 2.0f, "noiseLevel", [&b] (float m) { return b.noiseLevel + m; }, 0.0f, 1.0f, 1.0f },
        { 5, "VCF DEC", true, true, 2.0f, "vcfDecay", decay ("vcfDecay", b.vcfDecay), 0.01f, 10.0f, 1.0f },
        { 6, "VCA DEC", true, true, 2.0f, "vcaDecay", decay ("vcaDecay", b.vcaDecay), 0.01f, 2.0f, -1.0f },
        { 7, "VCA EG", true, true, 2.0f, "attackTime", [&b] (float m) { return 0.001f + 0.099f * (b.vcaEg + 0.5f * m); }, 0.001f, 0.1f, 1.0f },
        { 8, "VCO DEC", true, true, 2.0f, "vcoDecay", decay ("vcoDecay", b.vcoDecay), 0.01f, 2.0f, 1.0f },
        { 10, "CLICK TUNE", false, true, 1.0f, "clickFrequency", [&b] (float m) { return b.clickTune * std::exp2 (2.0f * m); }, 20.0f, 8000.0f, 1.0f },
        { 11, "PRE DRV", true, true, 1.5f, "preDrive", [&b] (float m) { return b.preDrive + 4.5f * m; }, 1.0f, 10.0f, -1.0f },
        { 12, "PITCH", false, true, 4.0f, "pitchOffset", [] (float m) { return 12.0f * m; }, -inf, inf, 1.0f },
        { 13, "VEL", false, true, 1.0f, "velocity", [] (float m) { return 0.6f * (1.0f + m); }, 0.0f, 1.0f, 1.0f },
        { 14, "VCF EG", true, true, 2.0f, "vcfEgAmount", [] (float m) { return 0.5f * m; }, -1.0f, 1.0f, -1.0f },
        { 15, "NOISE VCF", true, true, 2.0f, "noiseVcfDepth", [&b] (float m) { return b.noiseVcfMod + m; }, 0.0f, 1.0f, 1.0f },
        { 16, "VCO1 PITCH", true, true, 4.0f, "vco1PitchOffset", [] (float m) { return 12.0f * m; }, -inf, inf, 1.0f },
        { 17, "VCO2 PITCH", true, true, 4.0f, "vco2PitchOffset", [] (float m) { return 12.0f * m; }, -inf, inf, -1.0f },
        { 18, "NOISE COL", true, true, 2.0f, "noiseColor", [] (float m) { return m; }, -1.0f, 1.0f, -1.0f },
        { 19, "CLICK LVL", true, true, 2.0f, "clickLevel", [&b] (float m) { return b.clickLevel + m; }, 0.0f, 1.0f, 1.0f },
        { 20, "VCO2 DEC", true, true, 2.0f, "vco2Decay", decay ("vcoDecay", b.vco2Decay), 0.01f, 2.0f, -1.0f },
        { 21, "POST DRV", true, true, 1.5f, "postDrive", [&b] (float m) { return b.postDrive + 4.5f * m; }, 1.0f, 10.0f, 1.0f },
        { 22, "LFO RATE", true, false, 0.0f, "lfoRate", [&b] (float m) { return b.lfoRate * std::exp2 (2.0f * m); }, 0.01f, 20.0f, 1.0f },
        { 23, "LFO AMT", true, false, 0.0f, "lfoAmount", [&b] (float m) { return b.lfoAmt + 0.5f * m; }, 0.0f, 1.0f, 1.0f },
        { 24, "PAN", true, true, 2.0f, "pan", [] (float m) { return m; }, -1.0f, 1.0f, 1.0f },
        { 25, "UNTZ", true, true, 2.0f, "untz", [] (float m) { return m; }, -1.0f, 1.0f, 1.0f },
        { 26, "NOISE DEC", false, true, 2.0f, "noiseDecay", decay ("noiseDecay", b.noiseDecay), 0.005f, 2.0f, 1.0f },
        { 27, "CLICK DEC", false, true, 2.0f, "clickDecay", decay ("clickDecay", b.clickDecay), 0.005f, 0.2f, -1.0f },
        { 28, "VCO1 LVL", true, true, 2.0f, "vco1Level", [&b] (float m) { return b.vco1Level + m; }, 0.0f, 1.0f, 1.0f },
        { 29, "VCO2 LVL", true, true, 2.0f, "vco2Level", [&b] (float m) { return b.vco2Level + m; }, 0.0f, 1.0f, -1.0f },
        { 30, "VCO1 PITCH EG", true, true, 2.0f, "vco1EgAmount", [] (float m) { return 30.0f * m; }, -60.0f, 60.0f, 1.0f },
        { 31, "VCO2 PITCH EG", true, true, 2.0f, "vco2EgAmount", [] (float m) { return 30.0f * m; }, -60.0f, 60.0f, -1.0f },
    };
    ASSERT_EQ (rows.size() + 1, 31u); // and "OFF"

    const auto& quantities = allQuantities();
    auto snapshot = [&] (const Observed& o) {
        std::vector<float> values;
        for (const auto& q : quantities)
            values.push_back (q.get (o));
        return values;
    };

    // The LFO as a constant: a square locked to the beat; at 2 cycles per beat it is +1 an
    // eighth into the beat and -1 three eighths in.
    rig.block.lfoWave = 2;
    rig.block.lfoSync = true;
    rig.block.lfoRetrig = false;
    constexpr double plusOne = 0.125, minusOne = 0.375;

    // A lane on "OFF" changes nothing.
    rig.block.lfoDest = rig.block.modADest = rig.block.modBDest = 0;
    const auto neutral = snapshot (rig.step());
    EXPECT_EQ (snapshot (rig.step (1.0f, -1.0f)), neutral);

    for (const auto& row : rows)
    {
        SCOPED_TRACE (row.label);
        const auto target = (size_t) std::distance (
            quantities.begin(), std::find_if (quantities.begin(), quantities.end(),
                                              [&] (const Quantity& q) { return std::string (q.name) == row.quantity; }));
        ASSERT_LT (target, quantities.size());

        // Offered by exactly the lists the row names, under its own label.
        const int laneIndex = indexOf (kv::kModDestinationChoices, row.code);
        const int lfoIndex = indexOf (kv::kLfoDestinationChoices, row.code);
        EXPECT_EQ (laneIndex >= 0, row.lanes);
        EXPECT_EQ (lfoIndex >= 0, row.lfo);
        if (laneIndex >= 0)
        {
            EXPECT_EQ (kv::modDestinationLabels()[laneIndex], juce::String (row.label));
        }
        if (lfoIndex >= 0)
        {
            EXPECT_EQ (kv::lfoDestinationLabels()[lfoIndex], juce::String (row.label));
        }

        // The target follows the rule for the sum m and nothing else moves.
        auto check = [&] (const std::vector<float>& reference, const Observed& o, float m, const char* how) {
            const auto values = snapshot (o);
            const float expected = std::clamp (row.rule (m), row.low, row.high);
            EXPECT_NEAR (values[target], expected, std::abs (expected) * 2.0e-6f + 1.0e-6f) << how;
            for (size_t q = 0; q < values.size(); ++q)
            {
                if (q != target)
                {
                    EXPECT_EQ (values[q], reference[q]) << how << ": " << quantities[q].name << " moved";
                }
            }
            return values[target];
        };
        auto atLimit = [&] (float value) {
            if (std::isfinite (row.low))
            {
                EXPECT_TRUE (std::abs (value - row.low) <= 1.0e-6f * std::abs (row.low)
                             || std::abs (value - row.high) <= 1.0e-6f * std::abs (row.high))
                    << value << " is not at a limit";
            }
        };

        if (row.lanes)
        {
            rig.block.modADest = rig.block.modBDest = laneIndex;
            check (neutral, rig.step (0.25f, 0.0f), 0.25f, "lane A");
            check (neutral, rig.step (0.0f, -0.25f), -0.25f, "lane B");
            check (neutral, rig.step (0.125f, 0.125f), 0.25f, "both lanes add");
            atLimit (check (neutral, rig.step (row.limitSign, row.limitSign), 2.0f * row.limitSign, "both lanes full"));
            rig.block.modADest = rig.block.modBDest = 0;
        }
        if (row.lfo)
        {
            const float knob = rig.block.lfoAmt;
            for (const float amount : { 0.1f, 1.0f })
            {
                rig.block.lfoAmt = amount;
                rig.block.lfoDest = 0;
                const auto reference = snapshot (rig.step());
                rig.block.lfoDest = lfoIndex;
                const float up = check (reference, rig.step (0.0f, 0.0f, false, plusOne), row.lfoScale * amount, "LFO +1");
                const float down = check (reference, rig.step (0.0f, 0.0f, false, minusOne), -row.lfoScale * amount, "LFO -1");
                // Destinations only the LFO reaches show their limits here.
                if (amount == 1.0f && ! row.lanes)
                    atLimit (row.limitSign > 0.0f ? up : down);
            }
            rig.block.lfoDest = 0;
            rig.block.lfoAmt = knob;
        }
    }
}

TEST (Modulation, SquareLfoAtFullAmountSwingsTheCutoffFiveOctavesEachWay)
{
    // 2.5 units of two octaves each way, within 20 .. 20000 Hz.
    for (const float knob : { 500.0f, 1000.0f })
    {
        ModRig rig ({ { "cutoff", knob }, { "lfoWave", 2.0f }, { "lfoRate", 10.0f }, { "lfoAmt", 1.0f }, { "lfoDest", 1.0f } });
        const float base = rig.block.cutoff;
        const float top = std::min (20000.0f, base * 32.0f), bottom = std::max (20.0f, base / 32.0f);
        int high = 0, low = 0;
        for (int i = 0; i < 48000; ++i)
        {
            const float cutoff = rig.step().controls.cutoff;
            high += cutoff == top;
            low += cutoff == bottom;
        }
        EXPECT_EQ (high + low, 48000) << knob;
        EXPECT_NEAR (high, 24000, 10) << knob;
    }
}

TEST (Modulation, SyncedRatePicksTheNearestDivision)
{
    // Locked to the beat position, the phase is the position within the chosen division.
    const struct { float rate; double beats; } cases[] = {
        { 1.0f, 1.0 },  { 2.0f, 0.5 },    { 0.3f, 4.0 },     { 20.0f, 0.125 }, { 0.01f, 16.0 },
        // Either side of the midpoint (in octaves) between "1/4" and "1/8": rate * beats = sqrt 2.
        { 1.4142f, 1.0 }, { 1.4143f, 0.5 }, { 0.17677f, 8.0 }, { 0.17678f, 4.0 },
    };
    for (const auto& c : cases)
    {
        ModRig rig ({ { "lfoSync", 1.0f }, { "lfoWave", 1.0f } });
        rig.block.lfoRate = c.rate;
        const double position = 0.1;
        EXPECT_NEAR (rig.step (0.0f, 0.0f, false, position).state.lfoPhase, std::fmod (position / c.beats, 1.0), 1.0e-6)
            << c.rate;
    }
}

TEST (Modulation, SampleAndHoldLockedToTheHostDrawsOncePerDivision)
{
    ModRig rig ({ { "lfoSync", 1.0f }, { "lfoWave", 3.0f }, { "lfoRate", 4.0f } }); // 1/16: a quarter beat
    const double beatsPerSample = 120.0 / (60.0 * kRate);
    std::vector<int> changes;
    float last = rig.step (0.0f, 0.0f, false, 0.1).state.lfoValue;
    for (int i = 1; i < 48000; ++i)
    {
        const double position = 0.1 + i * beatsPerSample;
        const float value = rig.step (0.0f, 0.0f, true, position).state.lfoValue;
        if (value != last)
            changes.push_back (i);
        last = value;
    }

    // Boundaries at 0.25, 0.5 ... 2.0 beats: one draw each, at the first sample past it.
    ASSERT_EQ (changes.size(), 8u);
    for (size_t k = 0; k < changes.size(); ++k)
    {
        const double boundary = 0.25 * (double) (k + 1);
        EXPECT_GE (0.1 + changes[k] * beatsPerSample, boundary - 1.0e-9);
        EXPECT_LT (0.1 + (changes[k] - 1) * beatsPerSample, boundary + 1.0e-9);
    }

    // A standing host draws nothing new.
    const float held = rig.step (0.0f, 0.0f, false, 3.0).state.lfoValue;
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ (rig.step (0.0f, 0.0f, false, 3.0).state.lfoValue, held);
}

TEST (Modulation, PanLawSilencesOneSideAtTheExtremes)
{
    // An LFO square on pan at half amount is a pan of +1 and -1 in turn.
    KVProcessor processor;
    for (const auto& [id, value] : Settings { { "lfoDest", 18.0f }, { "lfoWave", 2.0f }, { "lfoRate", 10.0f },
                                              { "lfoAmt", 0.5f }, { "vcaDecay", 2.0f }, { "vco1Level", 1.0f } })
        test::setParameter (processor, id, value);
    test::Host host (processor);
    juce::MidiBuffer midi;
    midi.addEvent (juce::MidiMessage::noteOn (1, 60, (juce::uint8) 127), 0);

    int leftOnly = 0, rightOnly = 0;
    for (int b = 0; b < 40; ++b)
    {
        const auto buffer = host.block (480, b == 0 ? midi : juce::MidiBuffer());
        for (int i = 0; i < buffer.getNumSamples(); ++i)
        {
            const float l = buffer.getSample (0, i), r = buffer.getSample (1, i);
            ASSERT_TRUE (l == 0.0f || r == 0.0f) << b << ":" << i;
            leftOnly += r == 0.0f && l != 0.0f;
            rightOnly += l == 0.0f && r != 0.0f;
        }
    }
    EXPECT_GT (leftOnly, 8000);
    EXPECT_GT (rightOnly, 8000);

    // Without pan modulation both sides carry the whole voice.
    ModRig rig ({});
    const auto centre = rig.step().frame;
    EXPECT_EQ (centre.leftGain, 1.0f);
    EXPECT_EQ (centre.rightGain, 1.0f);
}

TEST (Modulation, LfoOnVelocityScalesTriggers)
{
    // A saw restarted by the note is at -1 when the note plays: amount 0.5 halves the velocity.
    KVProcessor processor;
    for (const auto& [id, value] : Settings { { "lfoDest", 23.0f }, { "lfoWave", 1.0f }, { "lfoRate", 0.01f },
                                              { "lfoAmt", 0.5f }, { "lfoRetrig", 1.0f } })
        test::setParameter (processor, id, value);
    test::Host host (processor);

    const struct { int midiVelocity; float expected; } cases[] = { { 127, 0.5f }, { 64, 0.5f * 64.0f / 127.0f } };
    for (const auto& c : cases)
    {
        juce::MidiBuffer midi;
        midi.addEvent (juce::MidiMessage::noteOn (1, 60, (juce::uint8) c.midiVelocity), 10);
        host.block (64, midi);
        EXPECT_NEAR (processor.voice.probe().velocity, c.expected, 1.0e-5f) << c.midiVelocity;
    }
}

TEST (Modulation, LfoRestartsOnNotesButNotOnTheAudition)
{
    KVProcessor processor;
    for (const auto& [id, value] : Settings { { "lfoWave", 1.0f }, { "lfoRate", 1.0f }, { "lfoRetrig", 1.0f } })
        test::setParameter (processor, id, value);
    test::Host host (processor);
    for (int b = 0; b < 25; ++b)
        host.block (480); // a quarter of a cycle
    const float before = processor.modulation.getState().lfoPhase;
    ASSERT_NEAR (before, 0.25f, 0.001f);

    processor.auditionRequest = true;
    host.block (480);
    EXPECT_NEAR (processor.modulation.getState().lfoPhase, before + 0.01f, 0.0005f);
    EXPECT_GT (processor.voice.probe().amplifierLevel, 0.5f); // the audition did play

    juce::MidiBuffer midi;
    midi.addEvent (juce::MidiMessage::noteOn (1, 60, (juce::uint8) 100), 380);
    host.block (480, midi);
    EXPECT_NEAR (processor.modulation.getState().lfoPhase, 100.0f / 48000.0f, 1.0e-5f);
}

TEST (Modulation, ARestStepRestartsTheLfo)
{
    // Steps of velocity 0 play rests; with the host playing, each still restarts the LFO.
    KVProcessor processor;
    for (const auto& [id, value] : Settings { { "lfoWave", 1.0f }, { "lfoRate", 0.5f }, { "lfoRetrig", 1.0f } })
        test::setParameter (processor, id, value);
    for (int step = 0; step < kv::kNumSteps; ++step)
        test::setParameter (processor, kv::stepParameterId (kv::StepFamily::Velocity, step), 0.0f);
    test::Host host (processor);
    host.block (480); // stopped first: an instance that wakes up inside a playing host waits
    host.playHead.playing = true;

    float largest = 0.0f, peakOut = 0.0f;
    for (int b = 0; b < 100; ++b)
    {
        const auto buffer = host.block (480);
        largest = std::max (largest, processor.modulation.getState().lfoPhase);
        peakOut = std::max (peakOut, buffer.getMagnitude (0, 0, buffer.getNumSamples()));
    }
    if (processor.sequencer.currentStep.load() < 0)
        GTEST_SKIP() << "the sequencer plays no steps yet";

    // A sixteenth at 120 BPM is 6000 samples: the saw never gets past 1/16 of its cycle.
    EXPECT_LT (largest, 6000.0f * 0.5f / 48000.0f + 0.001f);
    EXPECT_EQ (peakOut, 0.0f);
}
