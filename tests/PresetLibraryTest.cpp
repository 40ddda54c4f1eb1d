// The preset library: factory installation and repair, the thirteen factory presets (their file
// form and their sound), listing, naming, saving, loading, "Init" and the host program list.

#include "StateTestSupport.h"
#include "state/DocumentReader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
using test::PresetFolderTest;
using Source = KVProcessor::PresetSource;

const juce::StringArray kFactoryNames { "Brush Hat", "Closed HH", "Cowbell", "False Drive Kick", "Filter KiCK",
                                        "Jazzy Base", "Melodi", "Other HH", "Perc Seq", "Snare",
                                        "Transistor 2", "Visionaire Kick", "What" };

juce::StringArray namesOf (const std::vector<KVProcessor::PresetEntry>& entries)
{
    juce::StringArray names;
    for (const auto& e : entries)
        names.add (e.name);
    return names;
}

std::unique_ptr<juce::XmlElement> readFactoryDocument (const juce::String& name)
{
    return kv::state::readDocumentFile (KVProcessor::getFactoryPresetDirectory().getChildFile (name + ".pk16"));
}

// ----- folders and installation -----------------------------------------------------------------
TEST_F (PresetFolderTest, FoldersLieBelowTheDataFolderOfTheTestHome)
{
    const auto data = juce::File (juce::SystemStats::getEnvironmentVariable ("XDG_DATA_HOME", {}));
    ASSERT_TRUE (data.isAChildOf (juce::File::getSpecialLocation (juce::File::userHomeDirectory)));
    EXPECT_EQ (KVProcessor::getLegacyPresetDirectory(),
               data.getChildFile ("Application Support/Norrvale DSP/PULSKAR-16/Presets"));
    EXPECT_EQ (KVProcessor::getFactoryPresetDirectory(), KVProcessor::getLegacyPresetDirectory().getChildFile ("Factory"));
    EXPECT_EQ (KVProcessor::getUserPresetDirectory(), KVProcessor::getLegacyPresetDirectory().getChildFile ("User"));
}

TEST_F (PresetFolderTest, FactoryFolderHoldsExactlyTheCompiledPresets)
{
    const auto resources = kv::state::getFactoryPresetResources();
    ASSERT_EQ (resources.size(), 13u);

    juce::StringArray fileNames;
    for (size_t i = 0; i < resources.size(); ++i)
    {
        const auto& r = resources[i];
        EXPECT_EQ (r.fileName, kFactoryNames[(int) i] + ".pk16");
        EXPECT_EQ (r.resourceName, kFactoryNames[(int) i].replace (" ", "_") + "_pk16");

        juce::MemoryBlock installed;
        ASSERT_TRUE (KVProcessor::getFactoryPresetDirectory().getChildFile (r.fileName).loadFileAsData (installed));
        EXPECT_EQ (installed, juce::MemoryBlock (r.data, r.size)) << r.fileName;
    }

    EXPECT_EQ (getPresetNamesFromDirectory (KVProcessor::getFactoryPresetDirectory()), kFactoryNames);
}

TEST_F (PresetFolderTest, InstallationRepairsTheFactoryFolder)
{
    const auto folder = KVProcessor::getFactoryPresetDirectory();
    const auto snare = folder.getChildFile ("Snare.pk16");
    juce::MemoryBlock original;
    ASSERT_TRUE (snare.loadFileAsData (original));

    writeFile (snare, "changed by the user");
    writeFile (folder.getChildFile ("Extra.pk16"), "<ORRAKV/>");
    writeFile (folder.getChildFile ("EXTRA2.PK16"), "<ORRAKV/>");
    writeFile (folder.getChildFile ("notes.txt"), "kept");
    writeFile (folder.getChildFile (".hidden.pk16"), "kept");
    folder.getChildFile ("Closed HH.pk16").deleteFile();
    writeFile (folder.getChildFile (".Cowbell.pk16.new"), "left over from an interrupted install");

    kv::state::installFactoryPresets (folder);

    juce::MemoryBlock repaired;
    ASSERT_TRUE (snare.loadFileAsData (repaired));
    EXPECT_EQ (repaired, original);
    EXPECT_TRUE (folder.getChildFile ("Closed HH.pk16").existsAsFile());
    EXPECT_FALSE (folder.getChildFile ("Extra.pk16").exists());
    EXPECT_FALSE (folder.getChildFile ("EXTRA2.PK16").exists());
    EXPECT_TRUE (folder.getChildFile ("notes.txt").exists());
    EXPECT_TRUE (folder.getChildFile (".hidden.pk16").exists());
    EXPECT_FALSE (folder.getChildFile (".Closed HH.pk16.new").exists());
    EXPECT_EQ (getPresetNamesFromDirectory (folder), kFactoryNames);

    folder.getChildFile ("notes.txt").deleteFile();
    folder.getChildFile (".hidden.pk16").deleteFile();
    folder.getChildFile (".Cowbell.pk16.new").deleteFile();
}

TEST_F (PresetFolderTest, AFactoryFileThatIsAFolderIsLeftAndTheOthersInstalled)
{
    const auto folder = KVProcessor::getFactoryPresetDirectory();
    folder.getChildFile ("Melodi.pk16").deleteFile();
    folder.getChildFile ("Melodi.pk16").createDirectory();
    folder.getChildFile ("What.pk16").deleteFile();

    kv::state::installFactoryPresets (folder);

    EXPECT_TRUE (folder.getChildFile ("Melodi.pk16").isDirectory());
    EXPECT_TRUE (folder.getChildFile ("What.pk16").existsAsFile());
    EXPECT_FALSE (folder.getChildFile (".Melodi.pk16.new").exists());

    folder.getChildFile ("Melodi.pk16").deleteRecursively();
}

TEST_F (PresetFolderTest, HostProgramsAreInitAndTheFactoryPresets)
{
    KVProcessor p;
    ASSERT_EQ (p.getNumPrograms(), 14);
    EXPECT_EQ (p.getProgramName (0), "Init");
    for (int i = 0; i < 13; ++i)
        EXPECT_EQ (p.getProgramName (i + 1), kFactoryNames[i]);
    EXPECT_EQ (p.getProgramName (14), "");
    EXPECT_EQ (p.getProgramName (-1), "");
    EXPECT_EQ (p.getCurrentProgram(), 0);
}

// ----- the factory presets as files ------------------------------------------------------------
TEST_F (PresetFolderTest, FactoryPresetsAreInTheStoredFileForm)
{
    KVProcessor p;
    for (const auto& resource : kv::state::getFactoryPresetResources())
    {
        SCOPED_TRACE (resource.fileName);
        const juce::String text (juce::CharPointer_UTF8 (resource.data), juce::CharPointer_UTF8 (resource.data + resource.size));
        auto xml = juce::parseXML (text);
        ASSERT_NE (xml, nullptr);

        // Byte for byte the framework's own text form: declaration, CR LF, wrapped attributes.
        EXPECT_EQ (xml->toString(), text);
        EXPECT_TRUE (text.startsWith ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n<ORRAKV "));
        EXPECT_FALSE (text.replace ("\r\n", "").containsChar ('\n'));

        const auto name = resource.fileName.dropLastCharacters (5);
        EXPECT_EQ (xml->getTagName(), "ORRAKV");
        EXPECT_EQ (xml->getStringAttribute ("currentPresetName"), name);
        EXPECT_EQ (xml->getStringAttribute ("currentPresetSource"), "factory");
        EXPECT_EQ (xml->getStringAttribute ("pageBInitialised"), "0");
        EXPECT_EQ (xml->getStringAttribute ("modDestinationSchema"), "3");
        EXPECT_EQ (xml->getStringAttribute ("lfoDestinationSchema"), "3");
        EXPECT_EQ (xml->getNumChildElements(), 133);

        juce::StringArray ids;
        for (auto* child : xml->getChildIterator())
        {
            EXPECT_EQ (child->getTagName(), "PARAM");
            const auto id = child->getStringAttribute ("id");
            ids.add (id);
            const auto number = kv::state::readNumber (child->getStringAttribute ("value"));
            ASSERT_EQ (number.kind, kv::state::Number::Kind::Finite) << id;

            if (auto* parameter = p.treeState.getParameter (id))
            {
                const auto& range = parameter->getNormalisableRange();
                if (! (name == "Snare" && id == "clickDecay"))
                {
                    EXPECT_GE ((float) number.value, range.start) << id;
                    EXPECT_LE ((float) number.value, range.end) << id;
                }
            }
            else
            {
                EXPECT_EQ (id, "pitchFmAmt");
            }
        }
        EXPECT_FALSE (ids.contains ("seqRun"));
        EXPECT_FALSE (ids.contains ("seqResetOnStart"));
        EXPECT_TRUE (ids.contains ("pitchFmAmt"));
        ids.removeDuplicates (false);
        EXPECT_EQ (ids.size(), 133);
    }
}

TEST_F (PresetFolderTest, SnareCarriesItsStoredValues)
{
    auto xml = readFactoryDocument ("Snare");
    ASSERT_NE (xml, nullptr);
    const auto value = [&] (const juce::String& id) {
        for (auto* child : xml->getChildIterator())
            if (child->getStringAttribute ("id") == id)
                return child->getStringAttribute ("value");
        return juce::String ("<missing>");
    };

    const std::pair<const char*, const char*> expected[] = {
        { "vco1Wave", "3" }, { "vco1Freq", "220.9499969482422" }, { "vco2EgAmt", "-1.341104507446289e-6" },
        { "vcoDecay", "0.07430767267942429" }, { "noiseLevel", "0.9699999690055847" }, { "cutoff", "8000.0" },
        { "clickDecay", "0.001101180678233504" }, { "clickVcfBypass", "1" }, { "clockMult", "4.0" },
        { "pitchFmAmt", "0.0" }, { "pitchSteps", "15" }, { "vcaAttack", "0.001000001560896635" },
        { "stepVel2", "0.4099999964237213" }, { "stepVel4", "0.02999999932944775" }, { "stepVel7", "0.0" },
        { "stepVel8", "0.8" }, { "stepVel15", "0.8" }, { "stepPitch9", "60.0" }, { "stepModB3", "0.5" },
        { "stepActive12", "1" }, { "untz", "0.0" }, { "tempo", "120.0" },
    };
    for (const auto& [id, text] : expected)
        EXPECT_EQ (value (id), text) << id;

    // Loading it clamps the click decay into its range.
    KVProcessor p;
    ASSERT_TRUE (p.loadPreset (test::factoryEntry ("Snare")));
    EXPECT_FLOAT_EQ (test::getParameter (p, "clickDecay"), 0.005f);
    EXPECT_NEAR (test::getParameter (p, "vco1Freq"), 220.95f, 1.0e-3f);
    EXPECT_FLOAT_EQ (test::getParameter (p, "stepVel5"), 0.55f);
}

// ----- the factory presets as sounds -----------------------------------------------------------
// One hit of each preset at full velocity, measured. The bounds describe the instrument each preset
// is named after, with margins wide enough for small changes of the engine.
struct SoundExpectation
{
    const char* name;
    double minCentroidHz, maxCentroidHz;
    double minDecaySeconds, maxDecaySeconds;
    bool pitchDrop;   // the pitch falls by more than an octave into the bass
    bool softAttack;  // the hit takes more than 12 ms to reach half its peak
};

TEST_F (PresetFolderTest, FactoryPresetsSoundLikeTheirNames)
{
    const SoundExpectation expectations[] = {
        // name               centroid (Hz)     decay to -40 dB (s)  drop   soft
        { "Visionaire Kick",  20.0,  300.0,     0.6,  2.6,           true,  false },
        { "False Drive Kick", 20.0,  600.0,     0.5,  2.2,           true,  false },
        { "Filter KiCK",      20.0,  600.0,     0.5,  2.2,           true,  false },
        { "Closed HH",        7000.0, 20000.0,  0.03, 0.25,          false, false },
        { "Other HH",         6000.0, 20000.0,  0.05, 0.4,           false, false },
        { "Brush Hat",        4000.0, 20000.0,  0.1,  0.7,           false, true },
        { "Cowbell",          700.0,  3000.0,   0.2,  1.0,           false, false },
        { "Snare",            1000.0, 6000.0,   0.05, 0.4,           false, false },
        { "Jazzy Base",       100.0,  1200.0,   0.6,  2.5,           false, false },
        { "Melodi",           200.0,  1500.0,   0.6,  2.5,           false, false },
        { "Perc Seq",         150.0,  1500.0,   0.3,  1.5,           false, false },
        { "Transistor 2",     300.0,  3000.0,   0.4,  1.6,           false, false },
        { "What",             300.0,  3000.0,   0.4,  1.6,           false, true },
    };

    for (const auto& e : expectations)
    {
        SCOPED_TRACE (e.name);
        KVProcessor p;
        p.setRandomSeed (7);
        ASSERT_TRUE (p.loadPreset (test::factoryEntry (e.name)));
        const auto hit = test::renderHit (p, 3.0);
        const auto f = test::measureHit (hit);

        std::printf ("[ preset   ] %-16s peak %.3f  rise %4.1f ms  rms %.3f  centroid %6.0f Hz  decay %.3f s  pitch %5.0f -> %5.0f Hz\n",
                     e.name, f.peak, f.riseSeconds * 1000.0, f.rms, f.centroidHz, f.decay40Seconds, f.earlyHz, f.lateHz);

        EXPECT_TRUE (f.finite);
        EXPECT_GT (f.peak, 0.25f);
        EXPECT_LE (f.peak, 1.0f);
        EXPECT_GT (f.rms, 0.03f);
        EXPECT_GE (f.centroidHz, e.minCentroidHz);
        EXPECT_LE (f.centroidHz, e.maxCentroidHz);
        EXPECT_GE (f.decay40Seconds, e.minDecaySeconds);
        EXPECT_LE (f.decay40Seconds, e.maxDecaySeconds);
        EXPECT_EQ (f.riseSeconds > 0.012, e.softAttack);
        if (e.pitchDrop)
        {
            EXPECT_GT (f.earlyHz, 2.0 * f.lateHz);
            EXPECT_LT (f.lateHz, 90.0);
        }
    }
}

TEST_F (PresetFolderTest, CowbellIsTwoToned)
{
    KVProcessor p;
    ASSERT_TRUE (p.loadPreset (test::factoryEntry ("Cowbell")));
    const auto hit = test::renderHit (p, 0.3);
    const double between = test::levelAt (hit, 670.0, 0.2);
    EXPECT_GT (test::levelAt (hit, 540.0, 0.2), 4.0 * between);
    EXPECT_GT (test::levelAt (hit, 800.0, 0.2), 4.0 * between);
}

TEST_F (PresetFolderTest, SequencedPresetsMoveTheirLanes)
{
    // "Perc Seq" and "Melodi" play different pitches through the pitch lane and use both mod lanes.
    KVProcessor p;
    for (auto* name : { "Perc Seq", "Melodi" })
    {
        SCOPED_TRACE (name);
        ASSERT_TRUE (p.loadPreset (test::factoryEntry (name)));
        juce::Array<float> pitches;
        for (int step = 0; step < 8; ++step)
            pitches.addIfNotAlreadyThere (test::getParameter (p, kv::stepParameterId (kv::StepFamily::Pitch, step)));
        EXPECT_GE (pitches.size(), 4);
        EXPECT_NE (test::getParameter (p, "modADest"), 0.0f);
        EXPECT_NE (test::getParameter (p, "modBDest"), 0.0f);
        EXPECT_LT (test::getParameter (p, "pitchSteps"), 7.5f);
    }
}

// ----- names and listing ------------------------------------------------------------------------
TEST (PresetNames, Sanitising)
{
    const std::pair<const char*, const char*> cases[] = {
        { "  My: Kick/2!  ", "My Kick2" },
        { "Kick (old)", "Kick old" },
        { "!!!", "" },
        { "   ", "" },
        { "", "" },
        { "snare_02-b", "snare_02-b" },
        { "\tTabbed\t", "Tabbed" },
        { "../../etc/passwd", "etcpasswd" },
        { "Caf\xc3\xa9 Kick", "Caf Kick" },
        { "A  B", "A  B" },
        { ". hidden", "hidden" },
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ (KVProcessor::sanitisePresetName (juce::String::fromUTF8 (in)), juce::String (out)) << in;
}

TEST_F (PresetFolderTest, ListingTakesRegularVisiblePresetFilesSortedIgnoringCase)
{
    const auto folder = KVProcessor::getUserPresetDirectory();
    for (auto* name : { "beta.pk16", "Alpha.pk16", "gamma.pk16", "Delta.txt", ".secret.pk16", "ALPHA2.pk16" })
        writeFile (folder.getChildFile (name), "<ORRAKV/>");
    folder.getChildFile ("Sub.pk16").createDirectory();
    writeFile (folder.getChildFile ("Sub.pk16/Inner.pk16"), "<ORRAKV/>");
    ::mkfifo (folder.getChildFile ("Pipe.pk16").getFullPathName().toRawUTF8(), 0600);

    EXPECT_EQ (getPresetNamesFromDirectory (folder), juce::StringArray ({ "Alpha", "ALPHA2", "beta", "gamma" }));
    EXPECT_TRUE (getPresetNamesFromDirectory (folder.getChildFile ("missing")).isEmpty());

    const auto entries = getPresetEntriesFromDirectory (folder, Source::User);
    ASSERT_EQ (entries.size(), 4u);
    EXPECT_EQ (entries[2].file, folder.getChildFile ("beta.pk16"));
    EXPECT_EQ (entries[2].source, Source::User);
}

TEST_F (PresetFolderTest, APresetInSeveralFoldersIsListedOncePerFolder)
{
    writeFile (KVProcessor::getUserPresetDirectory().getChildFile ("Kick.pk16"), "<ORRAKV/>");
    writeFile (KVProcessor::getLegacyPresetDirectory().getChildFile ("Kick.pk16"), "<ORRAKV/>");
    writeFile (KVProcessor::getLegacyPresetDirectory().getChildFile ("Snare.pk16"), "<ORRAKV/>");

    KVProcessor p;
    const auto entries = p.getPresetEntries();
    ASSERT_EQ (entries.size(), 16u);
    EXPECT_EQ (namesOf ({ entries.begin(), entries.begin() + 13 }), kFactoryNames);
    EXPECT_EQ (entries[13].name, "Kick");
    EXPECT_EQ (entries[13].source, Source::User);
    EXPECT_EQ (entries[14].name, "Kick");
    EXPECT_EQ (entries[14].source, Source::Legacy);
    EXPECT_EQ (entries[15].name, "Snare");
    EXPECT_EQ (entries[15].source, Source::Legacy);
}

// ----- saving ----------------------------------------------------------------------------------
TEST_F (PresetFolderTest, SaveWritesAUserPresetAndMakesItCurrent)
{
    KVProcessor p;
    test::setParameter (p, "cutoff", 1234.0f);
    p.sequencer.chainMode = true;
    p.editorWidth = 1500;
    p.editorHeight = 854;

    ASSERT_TRUE (p.savePreset ("  My: Kick/2!  ", false));
    const auto file = KVProcessor::getUserPresetDirectory().getChildFile ("My Kick2.pk16");
    ASSERT_TRUE (file.existsAsFile());
    EXPECT_EQ (p.getPresetFile ("My Kick2"), file);
    EXPECT_TRUE (p.isUserPreset ("My Kick2"));
    EXPECT_EQ (test::currentName (p), "My Kick2");
    EXPECT_EQ (test::currentSource (p), Source::User);
    {
        const juce::ScopedLock lock (p.presetLock);
        EXPECT_EQ (p.currentPresetFile, file.getFullPathName());
    }
    EXPECT_FALSE (p.presetModified.load());

    const auto text = file.loadFileAsString();
    auto xml = juce::parseXML (text);
    ASSERT_NE (xml, nullptr);
    EXPECT_EQ (xml->toString(), text);
    EXPECT_EQ (xml->getStringAttribute ("currentPresetName"), "My Kick2");
    EXPECT_EQ (xml->getStringAttribute ("currentPresetSource"), "user");
    EXPECT_EQ (xml->getStringAttribute ("chainMode"), "1");
    EXPECT_EQ (xml->getStringAttribute ("modDestinationSchema"), "4");
    EXPECT_EQ (xml->getStringAttribute ("lfoDestinationSchema"), "5");
    for (auto* hostOnly : { "hostProgram", "valueReadout", "editorWidth", "editorHeight" })
        EXPECT_FALSE (xml->hasAttribute (hostOnly)) << hostOnly;
    EXPECT_EQ (xml->getNumChildElements(), 132);
    for (auto* child : xml->getChildIterator())
    {
        EXPECT_NE (child->getStringAttribute ("id"), "seqRun");
        EXPECT_NE (child->getStringAttribute ("id"), "seqResetOnStart");
    }

    // A fresh instance loading it gets the same sound.
    KVProcessor q;
    ASSERT_TRUE (q.loadPreset ({ Source::User, "My Kick2", file }));
    EXPECT_FLOAT_EQ (test::getParameter (q, "cutoff"), test::getParameter (p, "cutoff"));
    EXPECT_TRUE (q.sequencer.chainMode.load());
    EXPECT_EQ (q.calculateSoundFingerprint (q.createStateXml().get()), p.presetFingerprint.load());
}

TEST_F (PresetFolderTest, SaveWithoutOverwriteKeepsAnExistingFile)
{
    KVProcessor p;
    const auto file = writeFile (KVProcessor::getUserPresetDirectory().getChildFile ("Kick.pk16"), "keep me");

    EXPECT_FALSE (p.savePreset ("Kick", false));
    EXPECT_EQ (file.loadFileAsString(), "keep me");
    EXPECT_EQ (test::currentName (p), "Init");

    EXPECT_TRUE (p.savePreset ("Kick", true));
    EXPECT_TRUE (file.loadFileAsString().startsWith ("<?xml"));
    EXPECT_EQ (test::currentName (p), "Kick");
    EXPECT_EQ (KVProcessor::getUserPresetDirectory().findChildFiles (juce::File::findFilesAndDirectories, false).size(), 1);
}

TEST_F (PresetFolderTest, SaveFailuresChangeNothing)
{
    KVProcessor p;
    const auto before = test::soundText (p);

    EXPECT_FALSE (p.savePreset ("?!", false));                    // cleans to nothing
    EXPECT_FALSE (p.savePreset ("Init", true));                   // the default sound's name
    KVProcessor::getUserPresetDirectory().getChildFile ("Dir.pk16").createDirectory();
    EXPECT_FALSE (p.savePreset ("Dir", true));                    // a folder is in the way
    EXPECT_TRUE (KVProcessor::getUserPresetDirectory().getChildFile ("Dir.pk16").isDirectory());

    KVProcessor::getUserPresetDirectory().deleteRecursively();
    writeFile (KVProcessor::getUserPresetDirectory(), "a file where the user folder should be");
    EXPECT_FALSE (p.savePreset ("Kick", false));                  // the folder cannot be made

    EXPECT_EQ (test::currentName (p), "Init");
    EXPECT_EQ (test::soundText (p), before);
    KVProcessor::getUserPresetDirectory().deleteFile();
}

// ----- loading ---------------------------------------------------------------------------------
TEST_F (PresetFolderTest, LoadRecordsTheCleanedFileNameAndSource)
{
    KVProcessor p;
    ASSERT_TRUE (p.savePreset ("Kick", false));
    const auto folder = KVProcessor::getUserPresetDirectory();
    ASSERT_TRUE (folder.getChildFile ("Kick.pk16").copyFileTo (folder.getChildFile ("Kick (old).pk16")));
    p.loadInitPreset();

    p.sequencer.editPage = 1;
    ASSERT_TRUE (p.loadPreset ({ Source::User, "Kick (old)", folder.getChildFile ("Kick (old).pk16") }));
    EXPECT_EQ (test::currentName (p), "Kick old");
    EXPECT_EQ (test::currentSource (p), Source::User);
    EXPECT_EQ (p.sequencer.editPage.load(), 0);
    EXPECT_TRUE (p.sequencer.stateReplaced.load());
    EXPECT_FALSE (p.presetModified.load());
}

TEST_F (PresetFolderTest, PresetModifiedFollowsKnobsButNotTheTransport)
{
    KVProcessor p;
    for (auto* name : { "Cowbell", "Melodi" })
    {
        ASSERT_TRUE (p.loadPreset (test::factoryEntry (name)));
        EXPECT_FALSE (p.presetModified.load());
        EXPECT_EQ (p.getCurrentProgram(), kFactoryNames.indexOf (name) + 1);

        test::setParameter (p, "seqRun", 0.0f);
        test::setParameter (p, "seqResetOnStart", 1.0f);
        EXPECT_FALSE (p.presetModified.load());

        test::setParameter (p, "resonance", 0.9f);
        EXPECT_TRUE (p.presetModified.load());
    }
}

TEST_F (PresetFolderTest, LoadingKeepsTheTransport)
{
    KVProcessor p;
    test::setParameter (p, "seqRun", 0.0f);
    test::setParameter (p, "seqResetOnStart", 1.0f);
    ASSERT_TRUE (p.loadPreset (test::factoryEntry ("What")));
    EXPECT_EQ (test::getParameter (p, "seqRun"), 0.0f);
    EXPECT_EQ (test::getParameter (p, "seqResetOnStart"), 1.0f);

    // "Init" brings the transport back to its defaults.
    p.loadInitPreset();
    EXPECT_EQ (test::getParameter (p, "seqRun"), 1.0f);
    EXPECT_EQ (test::getParameter (p, "seqResetOnStart"), 0.0f);
}

// A bad preset file is refused and the current sound, name and history stay as they were.
TEST_F (PresetFolderTest, BadPresetFilesAreRefused)
{
    const auto folder = KVProcessor::getUserPresetDirectory();
    folder.createDirectory();
    const auto valid = juce::String (kv::state::getFactoryPresetResources()[2].data,
                                     kv::state::getFactoryPresetResources()[2].size);

    struct Case
    {
        const char* name;
        std::function<void (const juce::File&)> make;
    };

    const Case cases[] = {
        { "missing", [] (const juce::File&) {} },
        { "folder", [] (const juce::File& f) { f.createDirectory(); } },
        { "fifo", [] (const juce::File& f) { ::mkfifo (f.getFullPathName().toRawUTF8(), 0600); } },
        { "empty", [] (const juce::File& f) { f.create(); } },
        { "dangling link", [] (const juce::File& f) { f.getSiblingFile ("nowhere").createSymbolicLink (f, true); } },
        { "random bytes", [] (const juce::File& f) {
              juce::Random r (5);
              juce::MemoryBlock b (4096);
              r.fillBitsRandomly (b.getData(), b.getSize());
              f.replaceWithData (b.getData(), b.getSize());
          } },
        { "not xml", [] (const juce::File& f) { f.replaceWithText ("just some words"); } },
        { "truncated", [&] (const juce::File& f) { f.replaceWithText (valid.substring (0, valid.length() / 2)); } },
        { "foreign root", [] (const juce::File& f) { f.replaceWithText ("<SOMETHING currentPresetName=\"X\"><PARAM id=\"cutoff\" value=\"20\"/></SOMETHING>"); } },
        { "document type", [] (const juce::File& f) { f.replaceWithText ("<!DOCTYPE ORRAKV [<!ENTITY x \"<PARAM id='cutoff' value='20'/>\">]><ORRAKV>&x;</ORRAKV>"); } },
        { "unknown entity", [] (const juce::File& f) { f.replaceWithText ("<ORRAKV>&<PARAM id=\"cutoff\" value=\"20\"/>;</ORRAKV>"); } },
        { "deep", [] (const juce::File& f) { f.replaceWithText ("<ORRAKV>" + juce::String::repeatedString ("<a>", 100000) + "</ORRAKV>"); } },
        { "invalid utf-8", [] (const juce::File& f) {
              const char bytes[] = "<ORRAKV currentPresetName=\"\xc3\x28\"><PARAM id=\"cutoff\" value=\"20\"/></ORRAKV>";
              f.replaceWithData (bytes, sizeof (bytes) - 1);
          } },
        { "huge", [] (const juce::File& f) {
              juce::FileOutputStream out (f);
              out.setPosition ((juce::int64) kv::state::kMaxDocumentBytes + 10);
              out.writeText ("<ORRAKV/>", false, false, nullptr);
          } },
    };

    KVProcessor p;
    ASSERT_TRUE (p.loadPreset (test::factoryEntry ("Cowbell")));
    test::setParameter (p, "cutoff", 3333.0f);
    p.beginUiEdit ({ "resonance" });
    test::setParameter (p, "resonance", 0.3f);
    p.endUiEdit();
    const auto before = test::soundText (p);

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto file = folder.getChildFile (juce::String (c.name) + ".pk16");
        c.make (file);
        EXPECT_FALSE (p.loadPreset ({ Source::User, c.name, file }));
        EXPECT_EQ (test::soundText (p), before);
        EXPECT_EQ (test::currentName (p), "Cowbell");
        EXPECT_TRUE (p.presetModified.load());
        EXPECT_EQ (p.getNumUndoEntries(), 1u);
        file.deleteRecursively();
    }

    // An unreadable file (not for root, who reads everything).
    if (::geteuid() != 0)
    {
        const auto file = folder.getChildFile ("Locked.pk16");
        file.replaceWithText (valid);
        ::chmod (file.getFullPathName().toRawUTF8(), 0);
        EXPECT_FALSE (p.loadPreset ({ Source::User, "Locked", file }));
        EXPECT_EQ (test::soundText (p), before);
    }

    // A name that cleans to nothing is refused before the file is looked at.
    const auto good = folder.getChildFile ("Good.pk16");
    good.replaceWithText (valid);
    EXPECT_FALSE (p.loadPreset ({ Source::User, "???", good }));
    EXPECT_TRUE (p.loadPreset ({ Source::User, "Good", good }));
}

// ----- "Init" and the host program list --------------------------------------------------------
TEST_F (PresetFolderTest, InitRestoresTheDefaultSound)
{
    KVProcessor p;
    const auto initial = test::parameterValues (p);
    const auto initialFingerprint = p.presetFingerprint.load();
    ASSERT_TRUE (p.loadPreset (test::factoryEntry ("What")));
    p.sequencer.pageBInitialised = true;
    p.sequencer.chainMode = true;
    p.sequencer.editPage = 1;

    p.loadInitPreset();
    EXPECT_EQ (test::differingValues (test::parameterValues (p), initial), "");
    EXPECT_EQ (p.presetFingerprint.load(), initialFingerprint);
    EXPECT_EQ (test::currentName (p), "Init");
    EXPECT_EQ (test::currentSource (p), Source::None);
    EXPECT_FALSE (p.sequencer.pageBInitialised.load());
    EXPECT_FALSE (p.sequencer.chainMode.load());
    EXPECT_EQ (p.sequencer.editPage.load(), 0);
    EXPECT_EQ (p.getCurrentProgram(), 0);
    EXPECT_FALSE (p.presetModified.load());
    EXPECT_EQ (p.presetFingerprint.load(), p.calculateSoundFingerprint (p.createStateXml().get()));
}

TEST_F (PresetFolderTest, SetCurrentProgram)
{
    KVProcessor p;

    p.setCurrentProgram (14);                   // outside the list
    p.setCurrentProgram (-1);
    EXPECT_EQ (p.getCurrentProgram(), 0);
    EXPECT_EQ (test::currentName (p), "Init");

    p.setCurrentProgram (2);
    EXPECT_EQ (p.getCurrentProgram(), 2);
    EXPECT_EQ (test::currentName (p), "Closed HH");
    EXPECT_EQ (test::currentSource (p), Source::Factory);

    // The current program again: no reload, the edit and the history stay.
    p.beginUiEdit ({ "cutoff" });
    test::setParameter (p, "cutoff", 321.0f);
    p.endUiEdit();
    p.setCurrentProgram (2);
    EXPECT_NEAR (test::getParameter (p, "cutoff"), 321.0f, 0.01f);
    EXPECT_EQ (p.getNumUndoEntries(), 1u);
    EXPECT_TRUE (p.presetModified.load());

    // Another program loads it and clears the history.
    p.setCurrentProgram (13);
    EXPECT_EQ (test::currentName (p), "What");
    EXPECT_EQ (p.getCurrentProgram(), 13);
    EXPECT_EQ (p.getNumUndoEntries(), 0u);
    EXPECT_FALSE (p.presetModified.load());

    p.setCurrentProgram (0);
    EXPECT_EQ (test::currentName (p), "Init");
    EXPECT_EQ (p.getCurrentProgram(), 0);

    p.changeProgramName (1, "Renamed");
    EXPECT_EQ (p.getProgramName (1), "Brush Hat");
}

TEST_F (PresetFolderTest, ProgramIndexFollowsTheCurrentPreset)
{
    KVProcessor p;
    ASSERT_TRUE (p.loadPreset (test::factoryEntry ("Snare")));
    EXPECT_EQ (p.getCurrentProgram(), 10);

    // A user preset of a factory name is not the factory program.
    ASSERT_TRUE (p.savePreset ("Snare", false));
    EXPECT_FALSE (p.updateHostProgramIndexForCurrentPreset());
    EXPECT_EQ (p.getCurrentProgram(), 10);

    // A source-less identity matches by name.
    {
        const juce::ScopedLock lock (p.presetLock);
        p.currentPresetName = "Cowbell";
        p.currentPresetSource = Source::None;
    }
    EXPECT_TRUE (p.updateHostProgramIndexForCurrentPreset());
    EXPECT_EQ (p.getCurrentProgram(), 3);
}

// The host may save the state on its own thread while the editor loads presets.
TEST_F (PresetFolderTest, StateCanBeReadWhilePresetsLoad)
{
    KVProcessor p;
    std::atomic<bool> done { false };
    std::thread reader ([&] {
        while (! done.load())
        {
            juce::MemoryBlock block;
            p.getStateInformation (block);
            EXPECT_GT (block.getSize(), 100u);
        }
    });

    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE (p.loadPreset (test::factoryEntry (kFactoryNames[i % 13])));
    done = true;
    reader.join();
}
} // namespace
