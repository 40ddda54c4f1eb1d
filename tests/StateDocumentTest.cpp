// The state document: host state envelope, round trips, the reader's tolerance of old, damaged
// and hostile documents, the destination list migrations and the sound fingerprint.

#include "StateTestSupport.h"
#include "state/DocumentReader.h"
#include "state/StateInternals.h"

#include <gtest/gtest.h>

namespace
{
using test::PresetFolderTest;
using Source = KVProcessor::PresetSource;

juce::String paramChild (const juce::String& id, const juce::String& value)
{
    return "<PARAM id=\"" + id + "\" value=\"" + value + "\"/>";
}

// A document of the given root attributes and children.
std::unique_ptr<juce::XmlElement> document (const juce::String& attributes, const juce::String& children = {},
                                            const juce::String& tag = "ORRAKV")
{
    auto xml = juce::parseXML ("<" + tag + " " + attributes + ">" + children + "</" + tag + ">");
    jassert (xml != nullptr);
    return xml;
}

juce::String childValue (const juce::XmlElement& xml, const juce::String& id)
{
    for (auto* child : xml.getChildIterator())
        if (child->getStringAttribute ("id") == id)
            return child->getStringAttribute ("value");
    return "<missing>";
}

// A processor whose state differs from the defaults everywhere the document carries something.
void makeDistinctive (KVProcessor& p)
{
    ASSERT_TRUE (p.loadPreset (test::factoryEntry ("Melodi")));
    test::setParameter (p, "cutoff", 1234.5f);
    test::setParameter (p, "lfoDest", 20.0f);
    test::setParameter (p, "stepPitch11", 72.0f);
    test::setParameter (p, "seqResetOnStart", 1.0f);
    p.sequencer.pageBInitialised = true;
    p.sequencer.chainMode = true;
    p.editorWidth = 1500;
    p.editorHeight = 854;
    p.valueReadout = true;
}

// ----- envelope and round trip ------------------------------------------------------------------
TEST_F (PresetFolderTest, HostStateEnvelope)
{
    KVProcessor p;
    const auto block = test::hostState (p);
    auto* bytes = static_cast<const juce::uint8*> (block.getData());

    ASSERT_GT (block.getSize(), 9u);
    EXPECT_EQ (juce::ByteOrder::littleEndianInt (bytes), 0x21324356u);
    EXPECT_EQ ((size_t) juce::ByteOrder::littleEndianInt (bytes + 4), block.getSize() - 9);
    EXPECT_EQ (bytes[block.getSize() - 1], 0);

    const auto text = test::hostStateText (block);
    EXPECT_TRUE (text.startsWith ("<?xml version=\"1.0\" encoding=\"UTF-8\"?> <ORRAKV "));
    EXPECT_FALSE (text.containsAnyOf ("\r\n"));

    auto xml = juce::parseXML (text);
    ASSERT_NE (xml, nullptr);
    const juce::StringArray expectedAttributes { "currentPresetName", "pageBInitialised", "chainMode",
                                                 "modDestinationSchema", "lfoDestinationSchema", "hostProgram",
                                                 "valueReadout" };
    ASSERT_EQ (xml->getNumAttributes(), expectedAttributes.size());
    for (int i = 0; i < expectedAttributes.size(); ++i)
        EXPECT_EQ (xml->getAttributeName (i), expectedAttributes[i]);
    EXPECT_EQ (xml->getStringAttribute ("currentPresetName"), "Init");
    EXPECT_EQ (xml->getStringAttribute ("modDestinationSchema"), "4");
    EXPECT_EQ (xml->getStringAttribute ("lfoDestinationSchema"), "5");
    EXPECT_EQ (xml->getNumChildElements(), kv::kNumParameters);
    EXPECT_EQ (childValue (*xml, "seqRun"), "1.0");
}

TEST_F (PresetFolderTest, HostStateRoundTripGivesTheSameDocumentAndSound)
{
    KVProcessor a;
    makeDistinctive (a);
    const auto state = test::hostState (a);

    KVProcessor b;
    test::setHostState (b, state);

    EXPECT_EQ (test::hostStateText (test::hostState (b)), test::hostStateText (state));
    EXPECT_EQ (test::currentName (b), "Melodi");
    EXPECT_EQ (test::currentSource (b), Source::Factory);
    EXPECT_TRUE (b.sequencer.chainMode.load());
    EXPECT_TRUE (b.sequencer.pageBInitialised.load());
    EXPECT_TRUE (b.valueReadout.load());
    EXPECT_EQ (b.editorWidth.load(), 1500);
    EXPECT_EQ (b.editorHeight.load(), 854);
    EXPECT_EQ (b.getCurrentProgram(), 7);
    EXPECT_TRUE (b.presetModified.load());
    EXPECT_EQ (b.presetModified.load(), a.presetModified.load());

    // A restored state saves as it was restored.
    KVProcessor c;
    test::setHostState (c, test::hostState (b));
    EXPECT_EQ (test::hostStateText (test::hostState (c)), test::hostStateText (state));

    // Same sound, sample for sample.
    a.setRandomSeed (11);
    b.setRandomSeed (11);
    const auto x = test::renderHit (a, 0.5);
    const auto y = test::renderHit (b, 0.5);
    ASSERT_EQ (x.size(), y.size());
    EXPECT_EQ (x, y);
    EXPECT_GT (test::measureHit (x).peak, 0.1f);

}

TEST_F (PresetFolderTest, RestoringAnUntouchedPresetIsNotModified)
{
    // Every factory preset, the Init sound and a user preset: after saving the host state and
    // restoring it into a fresh instance, the sound still counts as the preset.
    KVProcessor source;
    ASSERT_TRUE (source.loadPreset (test::factoryEntry ("Jazzy Base")));
    test::setParameter (source, "untz", -0.5f);
    ASSERT_TRUE (source.savePreset ("Mine", false));

    juce::StringArray names { "Init", "Mine" };
    for (const auto& e : source.getPresetEntries())
        if (e.source == Source::Factory)
            names.add (e.name);

    for (const auto& name : names)
    {
        SCOPED_TRACE (name);
        KVProcessor a;
        if (name == "Mine")
            ASSERT_TRUE (a.loadPreset ({ Source::User, name, KVProcessor::getUserPresetDirectory().getChildFile ("Mine.pk16") }));
        else if (name != "Init")
            ASSERT_TRUE (a.loadPreset (test::factoryEntry (name)));
        ASSERT_FALSE (a.presetModified.load());

        KVProcessor b;
        test::setHostState (b, test::hostState (a));
        EXPECT_FALSE (b.presetModified.load());
        EXPECT_NE (b.presetFingerprint.load(), 0);

        test::setParameter (b, "volume", 0.123f);
        EXPECT_TRUE (b.presetModified.load());
    }
}

TEST_F (PresetFolderTest, RestoringAStateWhosePresetIsGoneCountsAsModified)
{
    KVProcessor a;
    ASSERT_TRUE (a.savePreset ("Gone", false));
    const auto state = test::hostState (a);
    KVProcessor::getUserPresetDirectory().getChildFile ("Gone.pk16").deleteFile();

    KVProcessor b;
    test::setHostState (b, state);
    EXPECT_EQ (test::currentName (b), "Gone");
    EXPECT_EQ (b.presetFingerprint.load(), 0);
    EXPECT_TRUE (b.presetModified.load());
}

// ----- refused host data ------------------------------------------------------------------------
TEST_F (PresetFolderTest, BadHostDataChangesNothing)
{
    KVProcessor donor;
    auto donorXml = juce::parseXML (test::hostStateText (donor));
    ASSERT_NE (donorXml, nullptr);
    donorXml->setAttribute ("currentPresetName", "Other");
    for (auto* child : donorXml->getChildIterator())
        if (child->getStringAttribute ("id") == "cutoff")
            child->setAttribute ("value", "20.0");
    const auto good = donorXml->toString (juce::XmlElement::TextFormat().singleLine());

    juce::MemoryBlock randomBytes (2000);
    juce::Random (3).fillBitsRandomly (randomBytes.getData(), randomBytes.getSize());

    juce::MemoryBlock invalidUtf8 = test::makeEnvelope (good);
    static_cast<char*> (invalidUtf8.getData())[40] = (char) 0xc3;
    static_cast<char*> (invalidUtf8.getData())[41] = (char) 0x28;

    const auto envelope = test::makeEnvelope (good);
    juce::MemoryBlock header8 (envelope.getData(), 8);
    juce::MemoryBlock truncated (envelope.getData(), envelope.getSize() / 2);

    struct Case
    {
        const char* name;
        juce::MemoryBlock data;
    };
    const Case cases[] = {
        { "empty", {} },
        { "random bytes", randomBytes },
        { "only the header", header8 },
        { "truncated", truncated },
        { "wrong magic", test::makeEnvelope (good, -1, 0x21324357) },
        { "zero length", test::makeEnvelope (good, 0) },
        { "length short of the text", test::makeEnvelope (good, 200) },
        { "not xml", test::makeEnvelope ("this is not a document") },
        { "foreign root", test::makeEnvelope ("<OTHERSYNTH currentPresetName=\"X\" chainMode=\"1\">" + paramChild ("cutoff", "20") + "</OTHERSYNTH>") },
        { "document type", test::makeEnvelope ("<!DOCTYPE ORRAKV SYSTEM \"/etc/passwd\"><ORRAKV>&x;</ORRAKV>") },
        { "entity made of markup", test::makeEnvelope ("<ORRAKV>&<PARAM id=\"cutoff\" value=\"20\"/>;</ORRAKV>") },
        { "deeply nested", test::makeEnvelope ("<ORRAKV>" + juce::String::repeatedString ("<a>", 200000) + "</ORRAKV>") },
        { "nested in attributes' disguise", test::makeEnvelope ("<ORRAKV x=\"/>\">" + juce::String::repeatedString ("<a b='/>'>", 5000) + "</ORRAKV>") },
        { "invalid utf-8", invalidUtf8 },
        { "character reference to nothing", test::makeEnvelope ("<ORRAKV currentPresetName=\"&#0;\"/>") },
        // The framework's XML reader would never return from this one.
        { "instruction before text", test::makeEnvelope ("<ORRAKV currentPresetName=\"X\"><?pi?>text" + paramChild ("cutoff", "20") + "</ORRAKV>") },
    };

    KVProcessor p;
    ASSERT_TRUE (p.loadPreset (test::factoryEntry ("Cowbell")));
    p.beginUiEdit ({ "cutoff" });
    test::setParameter (p, "cutoff", 3000.0f);
    p.endUiEdit();
    p.editorWidth = 1400;
    p.editorHeight = 797;
    const auto before = test::hostStateText (p);

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        test::setHostState (p, c.data);
        EXPECT_EQ (test::hostStateText (p), before);
        EXPECT_EQ (p.getNumUndoEntries(), 1u);
        EXPECT_TRUE (p.presetModified.load());
    }

    // A stored length beyond the data is cut to the data: a complete text still loads.
    test::setHostState (p, test::makeEnvelope (good, 1 << 30));
    EXPECT_EQ (test::currentName (p), "Other");
    EXPECT_FLOAT_EQ (test::getParameter (p, "cutoff"), 20.0f);
    EXPECT_EQ (p.getNumUndoEntries(), 0u);
}

// Numbers the parameters cannot hold are clamped; text that is no number gives the default.
TEST_F (PresetFolderTest, ValuesAreClampedOrDefaulted)
{
    struct Case
    {
        const char* id;
        const char* text;
        float expected;
    };
    const Case cases[] = {
        { "cutoff", "abc", 5515.448f },
        { "cutoff", "", 5515.448f },
        { "cutoff", "nan", 5515.448f },
        { "cutoff", "12abc", 5515.448f },
        { "cutoff", "5e", 5515.448f },
        { "cutoff", "inf", 20000.0f },
        { "cutoff", "-Infinity", 20.0f },
        { "cutoff", "1e999", 20000.0f },
        { "cutoff", "1e99999999999999999999", 20000.0f },
        { "cutoff", "-1e99999999999999999999", 20.0f },
        { "cutoff", "1e-99999999999999999999", 20.0f },
        { "cutoff", "0e99999999999999999999", 20.0f },
        { "cutoff", "3.4e39", 20000.0f },
        { "cutoff", "  440.5  ", 440.5f },
        { "cutoff", "+880", 880.0f },
        { "cutoff", "1.5e3", 1500.0f },
        { "resonance", "7", 1.0f },
        { "resonance", "-0", 0.0f },
        { "vco1Freq", "0.000000000000000000000000000000000000000000000000001", 1.0f },
        { "modADest", "1e10", 25.0f },
        { "modADest", "-5", 0.0f },
        { "modADest", "2.6", 3.0f },
        { "lfoDest", "28.4", 28.0f },
        { "hardSync", "0.7", 1.0f },
        { "hardSync", "garbage", 0.0f },
        { "pitchSteps", "300", 15.0f },
    };

    KVProcessor p;
    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.id) + " = \"" + c.text + "\"");
        p.loadInitPreset();
        // Move the parameter away from its default first, so a default must really be applied.
        auto* parameter = p.treeState.getParameter (c.id);
        parameter->setValueNotifyingHost (parameter->getValue() > 0.5f ? 0.1f : 0.9f);

        auto xml = document ("currentPresetName=\"Values\" modDestinationSchema=\"4\" lfoDestinationSchema=\"5\"",
                             paramChild (c.id, c.text));
        test::setHostState (p, test::makeEnvelope (xml->toString (juce::XmlElement::TextFormat().singleLine())));

        const float value = test::getParameter (p, c.id);
        EXPECT_TRUE (std::isfinite (value));
        EXPECT_NEAR (value, c.expected, std::abs (c.expected) * 1.0e-5f + 1.0e-6f);

        // What is written next is an ordinary number again.
        auto out = juce::parseXML (test::hostStateText (p));
        ASSERT_NE (out, nullptr);
        EXPECT_EQ (kv::state::readNumber (childValue (*out, c.id)).kind, kv::state::Number::Kind::Finite);
    }
}

TEST_F (PresetFolderTest, DuplicateChildrenKeepTheFirst)
{
    KVProcessor p;
    auto xml = document ("currentPresetName=\"Dup\" modDestinationSchema=\"3\"",
                         paramChild ("modADest", "5") + paramChild ("modADest", "9") + paramChild ("cutoff", "300")
                             + paramChild ("cutoff", "9000"));
    p.restoreStateFromXml (*xml, {}, Source::None, {});
    EXPECT_EQ (test::getParameter (p, "modADest"), 5.0f);
    EXPECT_NEAR (test::getParameter (p, "cutoff"), 300.0f, 1.0e-3f);

    int cutoffChildren = 0;
    const auto written = p.createStateXml();
    for (auto* child : written->getChildIterator())
        cutoffChildren += child->getStringAttribute ("id") == "cutoff" ? 1 : 0;
    EXPECT_EQ (cutoffChildren, 1);
}

// ----- reading documents -----------------------------------------------------------------------
TEST_F (PresetFolderTest, ReadingTakesIdentityFlagsAndKeepsTheTransport)
{
    KVProcessor p;
    ASSERT_EQ (test::getParameter (p, "seqRun"), 1.0f);

    // No transport in the document: the run state stays on.
    p.restoreStateFromXml (*document ("currentPresetName=\"Kick\" currentPresetSource=\"user\" pageBInitialised=\"yes\" chainMode=\"T\"",
                                      paramChild ("cutoff", "400")),
                           {}, Source::None, "/some/where/Kick.pk16");
    EXPECT_EQ (test::getParameter (p, "seqRun"), 1.0f);
    EXPECT_EQ (test::currentName (p), "Kick");
    EXPECT_EQ (test::currentSource (p), Source::User);
    {
        const juce::ScopedLock lock (p.presetLock);
        EXPECT_EQ (p.currentPresetFile, "/some/where/Kick.pk16");
    }
    EXPECT_TRUE (p.sequencer.pageBInitialised.load());
    EXPECT_TRUE (p.sequencer.chainMode.load());
    EXPECT_TRUE (p.sequencer.stateReplaced.exchange (false));

    // A host state that carries the transport sets it.
    auto xml = document ("currentPresetName=\"Kick\"", paramChild ("seqRun", "0") + paramChild ("seqResetOnStart", "1"));
    test::setHostState (p, test::makeEnvelope (xml->toString()));
    EXPECT_EQ (test::getParameter (p, "seqRun"), 0.0f);
    EXPECT_EQ (test::getParameter (p, "seqResetOnStart"), 1.0f);
    EXPECT_FALSE (p.sequencer.chainMode.load());

    // The caller's name and source win over the document's.
    p.restoreStateFromXml (*document ("currentPresetName=\"Doc\" currentPresetSource=\"legacy\""), "Given", Source::Factory, {});
    EXPECT_EQ (test::currentName (p), "Given");
    EXPECT_EQ (test::currentSource (p), Source::Factory);
}

TEST_F (PresetFolderTest, NameAndSourceOfTheDocument)
{
    struct Case
    {
        const char* attributes;
        const char* name;
        Source source;
    };
    const Case cases[] = {
        { "currentPresetSource=\"user\"", "Init", Source::None },
        { "currentPresetName=\"Init\" currentPresetSource=\"factory\"", "Init", Source::None },
        { "currentPresetName=\"\" currentPresetSource=\"user\"", "", Source::User },
        { "currentPresetName=\"Bass\" currentPresetSource=\"User\"", "Bass", Source::None },
        { "currentPresetName=\"Bass\" currentPresetSource=\"legacy\"", "Bass", Source::Legacy },
        { "currentPresetName=\" Spaced \"", " Spaced ", Source::None },
    };

    KVProcessor p;
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.attributes);
        p.restoreStateFromXml (*document (c.attributes), {}, Source::None, {});
        EXPECT_EQ (test::currentName (p), c.name);
        EXPECT_EQ (test::currentSource (p), c.source);
    }
}

TEST_F (PresetFolderTest, ForeignRootKeepsTheParametersButTakesIdentity)
{
    KVProcessor p;
    const auto cutoff = test::getParameter (p, "cutoff");
    p.restoreStateFromXml (*document ("currentPresetName=\"Alien\" chainMode=\"1\"", paramChild ("cutoff", "100"), "SOMETHING"),
                           {}, Source::None, {});
    EXPECT_EQ (test::getParameter (p, "cutoff"), cutoff);
    EXPECT_EQ (test::currentName (p), "Alien");
    EXPECT_TRUE (p.sequencer.chainMode.load());

    // The root tag in another letter case is ours; the tree keeps the proper spelling.
    p.restoreStateFromXml (*document ("currentPresetName=\"Lower\"", paramChild ("cutoff", "100"), "orrakv"), {}, Source::None, {});
    EXPECT_NEAR (test::getParameter (p, "cutoff"), 100.0f, 1.0e-3f);
    EXPECT_EQ (p.createStateXml()->getTagName(), "ORRAKV");
}

TEST_F (PresetFolderTest, PatchCablesAreDiscarded)
{
    for (auto* tag : { "PatchCables", "patchcables", "PATCHCABLES" })
    {
        SCOPED_TRACE (tag);
        KVProcessor p;
        auto xml = document ("currentPresetName=\"Old\"", juce::String ("<") + tag + "><Cable from=\"1\" to=\"2\"/></" + tag + ">"
                                                              + paramChild ("cutoff", "640"));
        p.restoreStateFromXml (*xml, {}, Source::None, {});
        EXPECT_NEAR (test::getParameter (p, "cutoff"), 640.0f, 1.0e-3f);
        EXPECT_EQ (p.createStateXml()->getChildByName (tag), nullptr);
    }
}

TEST_F (PresetFolderTest, UnknownChildrenAndAttributesSurvive)
{
    KVProcessor p;
    p.restoreStateFromXml (*document ("currentPresetName=\"X\" futureFlag=\"7\"", paramChild ("pitchFmAmt", "0.0") + paramChild ("cutoff", "500")),
                           {}, Source::None, {});
    auto out = p.createStateXml();
    EXPECT_EQ (out->getStringAttribute ("futureFlag"), "7");
    EXPECT_EQ (childValue (*out, "pitchFmAmt"), "0.0");
    EXPECT_EQ (out->getNumChildElements(), kv::kNumParameters + 1);
}

// ----- host attributes ------------------------------------------------------------------------
TEST_F (PresetFolderTest, HostProgramIsClampedAndOnlyUsedWithoutAListedPreset)
{
    struct Case
    {
        const char* name;
        const char* hostProgram; // nullptr: no attribute
        int expected;
    };
    const Case cases[] = {
        { "Unlisted", nullptr, 0 },
        { "Unlisted", "5", 5 },
        { "Unlisted", "99", 13 },
        { "Unlisted", "-3", 0 },
        { "Unlisted", "abc", 0 },
        { "Unlisted", "99999999999999999999", 13 },
        { "Unlisted", "-2147483648", 0 },
        { "Cowbell", "9", 3 },
        { "Init", "9", 0 },
    };

    KVProcessor p;
    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.name) + " " + (c.hostProgram != nullptr ? c.hostProgram : "-"));
        p.setCurrentProgram (1);
        juce::String attributes = juce::String ("currentPresetName=\"") + c.name + "\"";
        if (c.hostProgram != nullptr)
            attributes << " hostProgram=\"" << c.hostProgram << "\"";
        test::setHostState (p, test::makeEnvelope (document (attributes)->toString()));
        EXPECT_EQ (p.getCurrentProgram(), c.expected);
    }
}

TEST_F (PresetFolderTest, EditorSizeAndValueReadout)
{
    struct Case
    {
        const char* attributes;
        int width, height;
    };
    const Case cases[] = {
        { "editorWidth=\"1500\" editorHeight=\"854\"", 1500, 854 },
        { "editorWidth=\"0\" editorHeight=\"900\"", 1400, 797 },
        { "editorWidth=\"1500\"", 1400, 797 },
        { "editorWidth=\"-5\" editorHeight=\"-5\"", 1400, 797 },
        { "editorWidth=\"wide\" editorHeight=\"tall\"", 1400, 797 },
        { "", 1400, 797 },
    };

    KVProcessor p;
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.attributes);
        p.editorWidth = 1400;
        p.editorHeight = 797;
        test::setHostState (p, test::makeEnvelope (document (juce::String ("valueReadout=\"1\" ") + c.attributes)->toString()));
        EXPECT_EQ (p.editorWidth.load(), c.width);
        EXPECT_EQ (p.editorHeight.load(), c.height);
        EXPECT_TRUE (p.valueReadout.load());
    }

    // The size is only written once the editor has reported one.
    KVProcessor fresh;
    auto xml = juce::parseXML (test::hostStateText (fresh));
    EXPECT_FALSE (xml->hasAttribute ("editorWidth"));
    EXPECT_EQ (xml->getStringAttribute ("valueReadout"), "0");
    fresh.editorWidth = 1320;
    fresh.editorHeight = 751;
    xml = juce::parseXML (test::hostStateText (fresh));
    EXPECT_EQ (xml->getStringAttribute ("editorWidth"), "1320");
    EXPECT_EQ (xml->getStringAttribute ("editorHeight"), "751");
}

// ----- migrations ------------------------------------------------------------------------------
TEST (StateMigration, ModulationDestinations)
{
    struct Case
    {
        const char* schema; // nullptr: no attribute
        const char* value;
        const char* expected;
    };
    const Case cases[] = {
        { "3", "0", "0" },       { "3", "17", "17" },
        { nullptr, "3", "5" },   { nullptr, "10.4", "16" }, { nullptr, "11", "0" }, { nullptr, "1", "1" },
        { nullptr, "2", "2" },   { nullptr, "4", "8" },     { nullptr, "5", "13" }, { nullptr, "6", "14" },
        { nullptr, "7", "11" },  { nullptr, "8", "0" },     { nullptr, "9", "0" },  { nullptr, "10", "16" },
        { nullptr, "0", "0" },   { nullptr, "-1", "0" },    { nullptr, "2.5", "5" }, { nullptr, "junk", "0" },
        { "1", "6", "14" },      { "0", "6", "14" },        { "abc", "6", "14" },
        { "2", "15", "16" },     { "2", "14", "14" },       { "2", "24", "25" },
        { "7", "3", "3" },       { "4", "3", "3" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.schema != nullptr ? c.schema : "-") + " / " + c.value);
        juce::String attributes = c.schema != nullptr ? juce::String ("modDestinationSchema=\"") + c.schema + "\"" : juce::String();
        auto xml = document (attributes + " other=\"x\"", paramChild ("modADest", c.value) + paramChild ("modBDest", c.value)
                                                            + paramChild ("cutoff", "1.25"));
        KVProcessor::migrateLegacyModDestinationChoices (*xml);
        EXPECT_EQ (childValue (*xml, "modADest"), c.expected);
        EXPECT_EQ (childValue (*xml, "modBDest"), c.expected);
        EXPECT_EQ (childValue (*xml, "cutoff"), "1.25");
        EXPECT_EQ (xml->getStringAttribute ("other"), "x");
        const bool current = c.schema != nullptr && kv::state::readInteger (c.schema) > 3;
        EXPECT_EQ (xml->getStringAttribute ("modDestinationSchema"), current ? juce::String (c.schema) : juce::String ("4"));
    }

    // Only the first matching child is rewritten; a missing child is skipped.
    auto xml = document ("", paramChild ("modADest", "3") + paramChild ("modADest", "3"));
    KVProcessor::migrateLegacyModDestinationChoices (*xml);
    EXPECT_EQ (xml->getChildElement (0)->getStringAttribute ("value"), "5");
    EXPECT_EQ (xml->getChildElement (1)->getStringAttribute ("value"), "3");
    EXPECT_EQ (childValue (*xml, "modBDest"), "<missing>");
}

TEST (StateMigration, LfoDestination)
{
    struct Case
    {
        const char* schema;
        const char* value;
        const char* expected;
    };
    const Case cases[] = {
        { nullptr, "13", "6" }, { nullptr, "14", "7" }, { nullptr, "11", "0" }, { nullptr, "12", "0" },
        { nullptr, "3", "5" },  { nullptr, "10", "16" }, { nullptr, "15", "0" }, { "1", "7", "11" },
        { "2", "15", "16" },    { "2", "14", "14" },    { "3", "20", "20" },    { "4", "27", "27" },
        { "5", "3", "3" },      { "9", "3", "3" },      { nullptr, "13.5", "7" }, { nullptr, "", "0" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.schema != nullptr ? c.schema : "-") + " / " + c.value);
        juce::String attributes = c.schema != nullptr ? juce::String ("lfoDestinationSchema=\"") + c.schema + "\"" : juce::String();
        auto xml = document (attributes, paramChild ("lfoDest", c.value));
        KVProcessor::migrateLegacyLfoDestinationChoice (*xml);
        EXPECT_EQ (childValue (*xml, "lfoDest"), c.expected);
        const bool current = c.schema != nullptr && kv::state::readInteger (c.schema) >= 5;
        EXPECT_EQ (xml->getStringAttribute ("lfoDestinationSchema"), current ? juce::String (c.schema) : juce::String ("5"));
    }
}

TEST_F (PresetFolderTest, FactoryPresetOfSchemaThreeReadsCurrent)
{
    auto xml = kv::state::readDocumentFile (KVProcessor::getFactoryPresetDirectory().getChildFile ("Snare.pk16"));
    ASSERT_NE (xml, nullptr);
    KVProcessor::migrateLegacyModDestinationChoices (*xml);
    EXPECT_EQ (childValue (*xml, "modADest"), "0");
    EXPECT_EQ (xml->getStringAttribute ("modDestinationSchema"), "4");

    // Restoring an old document applies the migration to the parameters.
    KVProcessor p;
    p.restoreStateFromXml (*document ("currentPresetName=\"Old\"", paramChild ("modBDest", "3") + paramChild ("lfoDest", "13")),
                           {}, Source::None, {});
    EXPECT_EQ (test::getParameter (p, "modBDest"), 5.0f);
    EXPECT_EQ (test::getParameter (p, "lfoDest"), 6.0f);
}

TEST (StateDocument, RemoveTransportParameters)
{
    auto xml = document ("", paramChild ("seqRun", "1") + paramChild ("cutoff", "1") + paramChild ("seqResetOnStart", "0")
                                 + paramChild ("seqRun", "0"));
    KVProcessor::removeTransportParametersFromPresetXml (*xml);
    ASSERT_EQ (xml->getNumChildElements(), 1);
    EXPECT_EQ (xml->getChildElement (0)->getStringAttribute ("id"), "cutoff");
}

// ----- fingerprint ----------------------------------------------------------------------------
TEST_F (PresetFolderTest, FingerprintCoversTheSoundOnly)
{
    KVProcessor p;
    const auto base = p.createStateXml();
    const auto fp = p.calculateSoundFingerprint (base.get());
    EXPECT_NE (fp, 0);
    EXPECT_EQ (p.calculateSoundFingerprint (nullptr), 0);

    const auto variant = [&] (const std::function<void (juce::XmlElement&)>& change) {
        auto copy = std::make_unique<juce::XmlElement> (*base);
        change (*copy);
        return p.calculateSoundFingerprint (copy.get());
    };

    // Ignored: name, source, transport, cables, host attributes, spelling of flags and numbers.
    EXPECT_EQ (fp, variant ([] (auto& x) { x.setAttribute ("currentPresetName", "Other"); }));
    EXPECT_EQ (fp, variant ([] (auto& x) { x.setAttribute ("currentPresetSource", "user"); }));
    EXPECT_EQ (fp, variant ([] (auto& x) { x.setAttribute ("hostProgram", 4); x.setAttribute ("editorWidth", 1500); }));
    EXPECT_EQ (fp, variant ([] (auto& x) { x.setAttribute ("valueReadout", "1"); }));
    EXPECT_EQ (fp, variant ([] (auto& x) { x.createNewChildElement ("PatchCables"); }));
    EXPECT_EQ (fp, variant ([] (auto& x) { x.removeAttribute ("chainMode"); }));
    EXPECT_EQ (fp, variant ([] (auto& x) { x.setAttribute ("pageBInitialised", "false"); }));
    EXPECT_EQ (fp, variant ([] (auto& x) {
                  for (auto* c : x.getChildIterator())
                      if (c->getStringAttribute ("id") == "seqRun" || c->getStringAttribute ("id") == "seqResetOnStart")
                          c->setAttribute ("value", "0.5");
              }));
    EXPECT_EQ (fp, variant ([] (auto& x) {
                  for (auto* c : x.getChildIterator())
                      if (c->getStringAttribute ("id") == "tempo")
                          c->setAttribute ("value", "120");
              }));
    EXPECT_EQ (fp, variant ([] (auto& x) {
                  for (auto* c : x.getChildIterator())
                      if (c->getStringAttribute ("id") == "resonance")
                          c->setAttribute ("value", "-3"); // clamps to the 0 it holds
              }));

    // Covered: values, page flags, other root attributes, unknown children.
    EXPECT_NE (fp, variant ([] (auto& x) {
                  for (auto* c : x.getChildIterator())
                      if (c->getStringAttribute ("id") == "resonance")
                          c->setAttribute ("value", "0.5");
              }));
    EXPECT_NE (fp, variant ([] (auto& x) { x.setAttribute ("chainMode", "1"); }));
    EXPECT_NE (fp, variant ([] (auto& x) { x.setAttribute ("pageBInitialised", "1"); }));
    EXPECT_NE (fp, variant ([] (auto& x) { x.setAttribute ("futureFlag", "1"); }));
    EXPECT_NE (fp, variant ([] (auto& x) { x.createNewChildElement ("PARAM")->setAttribute ("id", "pitchFmAmt"); }));
}

TEST (StateDocument, FingerprintIsTheHashOfTheTextForm)
{
    // The hash itself: h = h * 101 + c over the code points, wrapping.
    EXPECT_EQ (kv::state::hashText (""), 0);
    EXPECT_EQ (kv::state::hashText ("A"), 65);
    EXPECT_EQ (kv::state::hashText ("AB"), 65 * 101 + 66);
    EXPECT_EQ (kv::state::hashText (juce::String::repeatedString ("x", 100)), juce::String::repeatedString ("x", 100).hashCode64());
}

// ----- document reader ------------------------------------------------------------------------
TEST (DocumentReader, NestingProbeAgreesWithTheParser)
{
    const std::pair<const char*, int> cases[] = {
        { "<a/>", 1 },
        { "<?xml version=\"1.0\"?>\r\n\r\n<a x=\"1\">\r\n  <b/>\r\n</a>\r\n", 2 },
        { "<a><b><c/></b></a>", 3 },
        { "<a><!-- <b><c><d> --><b/></a>", 2 },
        { "<a><![CDATA[<b><c><d>]]><b/></a>", 2 },
        { "<a x='/>' y=\"'>\"><b/></a>", 2 },
        { "<a>text &amp; &#65; &#x42; more<b/></a>", 2 },
        { "<a><?pi <b><c> ?><b/></a>", 2 },
        { "< a><b/></a>", 2 },
        { "<a><b></a>", 2 },
        { "<a><b x=1><c/></b></a>", 2 },
        { "<a x=\"&lt;b&gt;\"><b/></a>", 2 },
        { "text only", 0 },
        { "<a><b><c><d><e><f/></e></d></c></b></a>", 6 },
        { "<a>&bogus;</a>", -1 },
        { "<a x=\"&#1114112;\"/>", -1 },
        { "<a x=\"&#xD800;\"/>", -1 },
        { "<!DOCTYPE a><a/>", -1 },
        { "<a><?pi?>text</a>", -1 },
        { "<a>text<?pi?> more</a>", -1 },
        { "<a><?pi?> <b/></a>", 2 },
    };

    for (const auto& [text, depth] : cases)
    {
        SCOPED_TRACE (text);
        EXPECT_EQ (kv::state::measureElementDepth (text), depth);

        // The parser's tree is never deeper than the probe says.
        if (depth >= 0)
            if (auto xml = juce::parseXML (text))
            {
                std::function<int (const juce::XmlElement&)> deepest = [&] (const juce::XmlElement& e) {
                    int d = 0;
                    for (auto* c : e.getChildIterator())
                        if (! c->isTextElement())
                            d = std::max (d, deepest (*c));
                    return d + 1;
                };
                EXPECT_LE (deepest (*xml), depth);
            }
    }

    EXPECT_EQ (kv::state::parseDocumentText ("<a>" + juce::String::repeatedString ("<b>", 64) + "</a>"), nullptr);
    EXPECT_NE (kv::state::parseDocumentText ("<a>" + juce::String::repeatedString ("<b>", 62) + juce::String::repeatedString ("</b>", 62) + "</a>"), nullptr);
}

TEST (DocumentReader, Numbers)
{
    using Kind = kv::state::Number::Kind;
    const struct
    {
        const char* text;
        Kind kind;
        double value;
    } cases[] = {
        { "0.5", Kind::Finite, 0.5 },          { "-1.341104507446289e-6", Kind::Finite, -1.341104507446289e-6 },
        { "15", Kind::Finite, 15.0 },          { " 2 ", Kind::Finite, 2.0 },
        { ".25", Kind::Finite, 0.25 },         { "1.", Kind::Finite, 1.0 },
        { "+3", Kind::Finite, 3.0 },           { "1E2", Kind::Finite, 100.0 },
        { "inf", Kind::PlusInfinity, 0.0 },    { "-INF", Kind::MinusInfinity, 0.0 },
        { "1e400", Kind::PlusInfinity, 0.0 },  { "-1e400", Kind::MinusInfinity, 0.0 },
        { "1e-400", Kind::Finite, 0.0 },       { "", Kind::NotANumber, 0.0 },
        { "-", Kind::NotANumber, 0.0 },        { ".", Kind::NotANumber, 0.0 },
        { "1e", Kind::NotANumber, 0.0 },       { "1e+", Kind::NotANumber, 0.0 },
        { "nan", Kind::NotANumber, 0.0 },      { "0x10", Kind::NotANumber, 0.0 },
        { "1,5", Kind::NotANumber, 0.0 },      { "1 2", Kind::NotANumber, 0.0 },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.text);
        const auto n = kv::state::readNumber (c.text);
        EXPECT_EQ (n.kind, c.kind);
        if (c.kind == Kind::Finite)
            EXPECT_DOUBLE_EQ (n.value, c.value);
    }

    const std::pair<const char*, int> integers[] = {
        { "42", 42 }, { " -7", -7 }, { "1.9", 1 }, { "abc", 0 }, { "", 0 },
        { "99999999999999999999", 2147483647 }, { "-99999999999999999999", -2147483647 - 1 },
        { "-2147483648", -2147483647 - 1 }, { "2147483647", 2147483647 },
    };
    for (const auto& [text, value] : integers)
        EXPECT_EQ (kv::state::readInteger (text), value) << text;
}
} // namespace
