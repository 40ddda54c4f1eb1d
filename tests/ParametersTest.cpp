// The host-facing parameter set: order, identifiers, names, ranges, defaults and choices.

#include "TestSupport.h"
#include "ValueText.h"

#include <gtest/gtest.h>
#include <set>

namespace
{
juce::RangedAudioParameter& parameterAt (KVProcessor& p, int index)
{
    auto* parameter = dynamic_cast<juce::RangedAudioParameter*> (p.getParameters()[index]);
    EXPECT_NE (parameter, nullptr);
    return *parameter;
}

juce::RangedAudioParameter& parameter (KVProcessor& p, const juce::String& id)
{
    auto* parameter = p.treeState.getParameter (id);
    EXPECT_NE (parameter, nullptr) << id;
    return *parameter;
}
} // namespace

TEST (Parameters, HostSeesAllParametersInTheirFixedOrder)
{
    KVProcessor p;
    ASSERT_EQ (p.getParameters().size(), 134);

    const std::pair<int, const char*> positions[] = {
        { 0, "vcoDecay" },    { 10, "vcoEgShape" }, { 11, "cutoff" },      { 23, "modADest" },
        { 29, "modBSteps" },  { 30, "stepPitch0" }, { 31, "stepVel0" },    { 33, "stepModB0" },
        { 34, "stepPitch1" }, { 93, "stepModB15" }, { 94, "seqPitchMod" }, { 105, "lfoRate" },
        { 110, "lfoAmt" },    { 111, "stepActive0" }, { 126, "stepActive15" }, { 127, "seqRun" },
        { 128, "tempo" },     { 133, "seqResetOnStart" },
    };
    for (auto [index, id] : positions)
        EXPECT_EQ (parameterAt (p, index).getParameterID(), id) << index;

    std::set<juce::String> unique;
    for (auto* param : p.getParameters())
    {
        auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (param);
        ASSERT_NE (ranged, nullptr);
        EXPECT_TRUE (unique.insert (ranged->getParameterID()).second) << ranged->getParameterID();
        EXPECT_TRUE (ranged->isAutomatable());
        EXPECT_FALSE (ranged->isMetaParameter());
        EXPECT_EQ (ranged->getVersionHint(), 0);
    }
}

TEST (Parameters, NamesFollowTheirSteps)
{
    KVProcessor p;
    const std::pair<const char*, const char*> names[] = {
        { "stepPitch3", "Step Pitch 4" },        { "stepActive15", "Step Active 16" },
        { "stepVel0", "Step Velocity 1" },       { "stepModB15", "Step Mod B 16" },
        { "velVcfDecaySens", "Vel VCF Decay" },  { "untz", "UNTZ" },
        { "noiseVcfBypass", "Noise Bypass VCF" }, { "modBDest", "Mod B Destination" },
    };
    for (auto [id, name] : names)
        EXPECT_EQ (parameter (p, id).getName (100), name) << id;
}

TEST (Parameters, DefaultsAndChoiceLabels)
{
    KVProcessor p;
    struct Case { const char* id; float plain; const char* text; };
    const Case cases[] = {
        { "cutoff", 5515.4482421875f, "5.52 kHz" },
        { "vco1Freq", 75.85f, "75.8 Hz" },
        { "vcaDecay", 0.043351822f, "43 ms" },
        { "noiseDecay", 0.041015241f, "41 ms" },
        { "pitchSteps", 15.0f, "16" },
        { "clockMult", 4.0f, "1x" },
        { "seqPitchMod", 0.0f, "VCO 1+2" },
        { "vcoEgShape", 1.0f, "LIN" },
        { "lfoDest", 0.0f, "OFF" },
        { "seqRun", 1.0f, nullptr },
        { "stepActive7", 1.0f, nullptr },
        { "tempo", 120.0f, "120.00 BPM" },
    };
    for (const auto& c : cases)
    {
        auto& param = parameter (p, c.id);
        EXPECT_FLOAT_EQ (param.convertFrom0to1 (param.getDefaultValue()), c.plain) << c.id;
        if (c.text != nullptr)
            EXPECT_EQ (param.getCurrentValueAsText(), c.text) << c.id;
    }

    EXPECT_EQ (parameter (p, "modADest").getNumSteps(), 26);
    EXPECT_EQ (parameter (p, "lfoDest").getNumSteps(), 29);
    EXPECT_EQ (kv::modDestinationLabels()[18], "LFO RATE");
    EXPECT_EQ (kv::lfoDestinationLabels()[18], "PAN");
}

TEST (Parameters, SkewedRangesPutTheirCentreAtMidTravel)
{
    KVProcessor p;
    struct Case { const char* id; float centre; double skew; };
    const Case cases[] = {
        { "vcoDecay", 0.4f, 0.42531070 },  { "cutoff", 800.0f, 0.21372369 }, { "vcfDecay", 1.5f, 0.36427587 },
        { "clickTune", 600.0f, 0.26439190 }, { "clickDecay", 0.035f, 0.37031007 },
        { "vcaAttack", 0.02f, 0.21209049 }, { "preDrive", 2.5f, 0.38685280 }, { "lfoRate", 2.0f, 0.30044124 },
        { "tempo", 120.0f, 0.63092977 },    { "noiseDecay", 0.3f, 0.36263394 },
    };
    for (const auto& c : cases)
    {
        auto& param = parameter (p, c.id);
        EXPECT_NEAR (param.getNormalisableRange().skew, c.skew, 1e-6) << c.id;
        EXPECT_NEAR (param.convertFrom0to1 (0.5f), c.centre, c.centre * 1e-4) << c.id;
        EXPECT_EQ (param.getNormalisableRange().interval, 0.0f) << c.id;
    }
}

TEST (Parameters, LinearValuesSnapSkewedValuesDoNot)
{
    KVProcessor p;
    test::setParameter (p, "volume", 0.123f);
    EXPECT_FLOAT_EQ (test::getParameter (p, "volume"), 0.12f);
    test::setParameter (p, "vcoDecay", 0.123f);
    EXPECT_NEAR (test::getParameter (p, "vcoDecay"), 0.123f, 1e-6);

    // Out-of-range values are clamped by the parameter.
    test::setParameter (p, "resonance", 7.0f);
    EXPECT_FLOAT_EQ (test::getParameter (p, "resonance"), 1.0f);
}

TEST (Parameters, LfoRateTextFollowsTheSyncSwitch)
{
    KVProcessor p;
    auto& rate = parameter (p, "lfoRate");
    EXPECT_EQ (rate.getCurrentValueAsText(), "1.0 Hz");
    test::setParameter (p, "lfoSync", 1.0f);
    EXPECT_EQ (rate.getCurrentValueAsText(), "1/4");
    EXPECT_NEAR (rate.convertFrom0to1 (rate.getValueForText ("2 Bars")), 0.125f, 1e-6);
}

TEST (Parameters, ModDestinationIdentifiers)
{
    EXPECT_EQ (kv::makeModDestinationParameterId (0), "modADest");
    EXPECT_EQ (kv::makeModDestinationParameterId (1), "modBDest");
}
