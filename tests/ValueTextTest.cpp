// Value text: what hosts show for a value, and what typed text does to a parameter.

#include "TestSupport.h"
#include "ValueText.h"

#include <gtest/gtest.h>

using kv::ValueKind;

TEST (ValueText, KindsOfParameters)
{
    const std::pair<const char*, ValueKind> cases[] = {
        { "cutoff", ValueKind::Frequency }, { "clickTune", ValueKind::Frequency }, { "lfoRate", ValueKind::LfoRate },
        { "vcaAttack", ValueKind::Time },   { "noiseDecay", ValueKind::Time },     { "vco2EgAmt", ValueKind::Semitones },
        { "preTrim", ValueKind::Factor },   { "stepPitch12", ValueKind::Note },    { "untz", ValueKind::Bipolar },
        { "tempo", ValueKind::Tempo },      { "swing", ValueKind::Percent },       { "stepModB3", ValueKind::Percent },
        { "Cutoff", ValueKind::Percent },   { "", ValueKind::Percent },
    };
    for (auto [id, kind] : cases)
        EXPECT_EQ (kv::valueKindForParameter (id), kind) << id;
}

TEST (ValueText, Formats)
{
    struct Case { ValueKind kind; float value; bool synced; const char* text; };
    const Case cases[] = {
        { ValueKind::Frequency, 800.0f, false, "800.0 Hz" },   { ValueKind::Frequency, 5515.448f, false, "5.52 kHz" },
        { ValueKind::Frequency, 1000.0f, false, "1 kHz" },     { ValueKind::Frequency, 1500.0f, false, "1.5 kHz" },
        { ValueKind::Frequency, 20000.0f, false, "20 kHz" },   { ValueKind::LfoRate, 1.0f, false, "1.0 Hz" },
        { ValueKind::LfoRate, 1.0f, true, "1/4" },             { ValueKind::LfoRate, 0.0625f, true, "4 bars" },
        { ValueKind::LfoRate, 8.0f, true, "1/32" },            { ValueKind::LfoRate, 0.3f, true, "1 bar" },
        { ValueKind::LfoRate, 0.0f, true, "4 bars" },          { ValueKind::Time, 1.5f, false, "1.50 s" },
        { ValueKind::Time, 0.3f, false, "300 ms" },            { ValueKind::Time, 0.001f, false, "1.0 ms" },
        { ValueKind::Time, 0.005f, false, "5.0 ms" },          { ValueKind::Time, 0.9996f, false, "1000 ms" },
        { ValueKind::Time, 0.0099999998f, false, "10.0 ms" },  { ValueKind::Semitones, 0.02f, false, "+0.0 st" },
        { ValueKind::Semitones, -0.04f, false, "+0.0 st" },    { ValueKind::Semitones, -12.0f, false, "-12.0 st" },
        { ValueKind::Percent, 0.8f, false, "80 %" },           { ValueKind::Factor, 1.0f, false, "x1.00" },
        { ValueKind::Bipolar, 0.0f, false, "+0.00" },          { ValueKind::Bipolar, -0.5f, false, "-0.50" },
        { ValueKind::Bipolar, -0.004f, false, "+0.00" },       { ValueKind::Note, 60.0f, false, "60" },
        { ValueKind::Tempo, 120.0f, false, "120.00 BPM" },
    };
    for (const auto& c : cases)
        EXPECT_EQ (kv::formatParameterValue (c.kind, c.value, c.synced), c.text) << c.text;
}

TEST (ValueText, SyncedRatesPickTheNearestDivisionAndTheLongerOnATie)
{
    EXPECT_EQ (kv::nearestLfoDivision (1.0), 4);
    EXPECT_EQ (kv::nearestLfoDivision (2.0), 5);
    EXPECT_EQ (kv::nearestLfoDivision (0.3), 2);
    EXPECT_EQ (kv::nearestLfoDivision (20.0), 7);
    EXPECT_EQ (kv::nearestLfoDivision (0.01), 0);
    EXPECT_EQ (kv::nearestLfoDivision (0.0), 0);
    EXPECT_EQ (kv::nearestLfoDivision (-1.0), 0);
}

// Typing into real parameters: the text is read, clamped, or ignored.
TEST (ValueText, TypedTextSetsOrLeavesTheParameter)
{
    struct Case { const char* id; float start; const char* typed; float expected; bool syncOn; };
    const Case cases[] = {
        { "vcaDecay", 0.3f, "250", 0.25f, false },        { "vcaDecay", 0.3f, "250ms", 0.25f, false },
        { "vcaDecay", 0.3f, "0.25 s", 0.25f, false },     { "vcaDecay", 0.3f, "0,25sec", 0.25f, false },
        { "vcaDecay", 0.3f, "1e3", 0.3f, false },         { "volume", 0.8f, "50", 0.5f, false },
        { "volume", 0.8f, "50 %", 0.5f, false },          { "volume", 0.8f, "0.5", 0.005f, false },
        { "volume", 0.8f, "x2", 0.8f, false },            { "volume", 0.8f, "nonsense", 0.8f, false },
        { "volume", 0.8f, "", 0.8f, false },              { "volume", 0.8f, "-", 0.8f, false },
        { "cutoff", 800.0f, "2k", 2000.0f, false },       { "cutoff", 800.0f, "2 kHz", 2000.0f, false },
        { "cutoff", 800.0f, "2 MHz", 800.0f, false },     { "cutoff", 800.0f, "99999999", 20000.0f, false },
        { "cutoff", 800.0f, "\xc2\xa0" "1\xe2\x80\xaf" "000 hz", 1000.0f, false },
        { "preDrive", 1.0f, "\xc3\x97" "1,5", 1.5f, false }, { "preDrive", 1.0f, "1.5x", 1.5f, false },
        { "preDrive", 1.0f, "x1.5x", 1.0f, false },       { "vco2EgAmt", 0.0f, "+12 semitones", 12.0f, false },
        { "vco2EgAmt", 0.0f, "99 st", 60.0f, false },     { "vco2EgAmt", 0.0f, "\xe2\x88\x92" "7", -7.0f, false },
        { "untz", 0.0f, "-0.5", -0.5f, false },           { "untz", 0.0f, "0.5 st", 0.0f, false },
        { "tempo", 120.0f, "90 BPM", 90.0f, false },      { "stepPitch2", 60.0f, "72", 72.0f, false },
        { "lfoRate", 1.0f, "3 Hz", 3.0f, false },         { "lfoRate", 1.0f, "2 Bars", 0.125f, true },
        { "lfoRate", 1.0f, "1 bars", 0.25f, true },       { "lfoRate", 1.0f, "1/8", 2.0f, true },
        { "lfoRate", 1.0f, "4bar", 0.0625f, true },       { "lfoRate", 1.0f, "3 Hz", 1.0f, true },
    };
    for (const auto& c : cases)
    {
        KVProcessor p;
        test::setParameter (p, "lfoSync", c.syncOn ? 1.0f : 0.0f);
        test::setParameter (p, c.id, c.start);
        auto* param = p.treeState.getParameter (c.id);
        const float start = test::getParameter (p, c.id);
        const float result = param->convertFrom0to1 (param->getValueForText (juce::CharPointer_UTF8 (c.typed)));
        // The parameter stores what the text reads, snapped to its interval.
        const float expected = c.expected == c.start ? start : param->getNormalisableRange().snapToLegalValue (c.expected);
        EXPECT_NEAR (result, expected, std::abs (expected) * 1e-4 + 1e-5) << c.id << " <- \"" << c.typed << "\"";
    }
}

TEST (ValueText, BareNumbersReadInTheKindsOwnUnit)
{
    EXPECT_FLOAT_EQ (kv::valueFromText (ValueKind::Percent, "0.5", false, 0.0f, 1.0f, 0.8f), 0.005f);
    EXPECT_FLOAT_EQ (kv::valueFromText (ValueKind::Time, "250", false, 0.01f, 2.0f, 0.3f), 0.25f);
    EXPECT_FLOAT_EQ (kv::valueFromText (ValueKind::Factor, "x1.5", false, 1.0f, 10.0f, 1.0f), 1.5f);
    EXPECT_FLOAT_EQ (kv::valueFromText (ValueKind::Note, "72 st", false, 0.0f, 120.0f, 60.0f), 60.0f);
}

TEST (ValueText, TypedChoicesAndSwitches)
{
    KVProcessor p;
    auto* wave = p.treeState.getParameter ("vco2Wave");
    EXPECT_FLOAT_EQ (wave->convertFrom0to1 (wave->getValueForText ("Sine")), 2.0f);
    EXPECT_FLOAT_EQ (wave->convertFrom0to1 (wave->getValueForText ("si ne")), 2.0f);
    test::setParameter (p, "vco1Wave", 3.0f);
    auto* wave1 = p.treeState.getParameter ("vco1Wave");
    EXPECT_FLOAT_EQ (wave1->convertFrom0to1 (wave1->getValueForText ("saw")), 3.0f);

    auto* sync = p.treeState.getParameter ("hardSync");
    const std::pair<const char*, bool> fromOff[] = { { "YES", true }, { "1", true }, { "-7", true }, { "0", false },
                                                     { "off", false }, { "maybe", false }, { " On ", true },
                                                     { "000000000000000000000000", false },
                                                     { "100000000000000000000000", true } };
    for (auto [text, on] : fromOff)
        EXPECT_EQ (sync->getValueForText (text) >= 0.5f, on) << text;

    test::setParameter (p, "hardSync", 1.0f);
    EXPECT_GE (sync->getValueForText ("maybe"), 0.5f);
    EXPECT_LT (sync->getValueForText ("false"), 0.5f);
}
