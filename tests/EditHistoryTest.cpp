// The edit history (gestures recorded, limited, undone, cleared) and the step clipboard.

#include "StateTestSupport.h"

#include <gtest/gtest.h>

namespace
{
using test::PresetFolderTest;
using Source = KVProcessor::PresetSource;

void drag (KVProcessor& p, const juce::String& id, float to)
{
    p.beginUiEdit ({ id });
    test::setParameter (p, id, to);
    p.endUiEdit();
}

TEST_F (PresetFolderTest, AKnobDragIsOneUndoableEntry)
{
    KVProcessor p;
    drag (p, "cutoff", 800.0f);

    // Many intermediate values, one entry holding the value before the drag.
    p.beginUiEdit ({ "cutoff" });
    for (float f = 900.0f; f <= 2000.0f; f += 100.0f)
        test::setParameter (p, "cutoff", f);
    p.endUiEdit();
    ASSERT_EQ (p.getNumUndoEntries(), 2u);

    p.undoLastUiEdit();
    EXPECT_NEAR (test::getParameter (p, "cutoff"), 800.0f, 0.01f);
    EXPECT_EQ (p.getNumUndoEntries(), 1u);
    EXPECT_TRUE (p.presetModified.load());

    // Back at the Init sound: the modified mark goes with the last difference.
    p.undoLastUiEdit();
    EXPECT_NEAR (test::getParameter (p, "cutoff"), 5515.448f, 0.01f);
    EXPECT_FALSE (p.presetModified.load());
}

TEST_F (PresetFolderTest, UndoRecomputesTheModifiedMark)
{
    KVProcessor p;
    ASSERT_TRUE (p.loadPreset (test::factoryEntry ("Cowbell")));
    const auto cutoff = test::getParameter (p, "cutoff");
    drag (p, "cutoff", 2000.0f);
    EXPECT_TRUE (p.presetModified.load());
    p.undoLastUiEdit();
    EXPECT_FLOAT_EQ (test::getParameter (p, "cutoff"), cutoff);
    EXPECT_FALSE (p.presetModified.load());
}

TEST_F (PresetFolderTest, NothingChangedRecordsNothing)
{
    KVProcessor p;
    const auto cutoff = test::getParameter (p, "cutoff");

    p.beginUiEdit ({ "cutoff" });
    test::setParameter (p, "cutoff", 2000.0f);
    test::setParameter (p, "cutoff", cutoff);
    p.endUiEdit();
    EXPECT_EQ (p.getNumUndoEntries(), 0u);

    p.endUiEdit(); // no edit open
    p.beginUiEdit ({});
    p.endUiEdit();
    EXPECT_EQ (p.getNumUndoEntries(), 0u);

    p.undoLastUiEdit(); // empty history: nothing happens
    EXPECT_EQ (test::getParameter (p, "cutoff"), cutoff);
}

TEST_F (PresetFolderTest, TheRunSwitchIsNeverRecorded)
{
    KVProcessor p;
    p.beginUiEdit ({});
    test::setParameter (p, "seqRun", 0.0f);
    p.endUiEdit();
    EXPECT_EQ (p.getNumUndoEntries(), 0u);

    p.performUiEdit ({ "seqRun" }, [&] { test::setParameter (p, "seqRun", 1.0f); });
    EXPECT_EQ (p.getNumUndoEntries(), 0u);

    // The reset-on-start switch is an ordinary edit.
    p.performUiEdit ({ "seqResetOnStart" }, [&] { test::setParameter (p, "seqResetOnStart", 1.0f); });
    ASSERT_EQ (p.getNumUndoEntries(), 1u);
    p.undoLastUiEdit();
    EXPECT_EQ (test::getParameter (p, "seqResetOnStart"), 0.0f);
}

TEST_F (PresetFolderTest, UndoingAPresetLoadBringsBackSoundAndName)
{
    KVProcessor p;
    ASSERT_TRUE (p.loadPreset (test::factoryEntry ("Closed HH")));
    drag (p, "volume", 0.3f);
    p.sequencer.editPage = 1;
    const auto before = test::parameterValues (p);
    const auto fingerprint = p.presetFingerprint.load();
    ASSERT_TRUE (p.presetModified.load());

    p.beginUiEdit ({});
    ASSERT_TRUE (p.loadPreset (test::factoryEntry ("Perc Seq")));
    p.endUiEdit();
    EXPECT_EQ (test::currentName (p), "Perc Seq");
    EXPECT_EQ (p.getCurrentProgram(), 9);
    ASSERT_EQ (p.getNumUndoEntries(), 2u);

    p.sequencer.stateReplaced = false;
    p.undoLastUiEdit();
    EXPECT_EQ (test::differingValues (test::parameterValues (p), before), "");
    EXPECT_EQ (test::currentName (p), "Closed HH");
    EXPECT_EQ (test::currentSource (p), Source::Factory);
    EXPECT_EQ (p.getCurrentProgram(), 2);
    EXPECT_EQ (p.sequencer.editPage.load(), 1);
    EXPECT_TRUE (p.sequencer.stateReplaced.load());
    EXPECT_EQ (p.presetFingerprint.load(), fingerprint);
    EXPECT_TRUE (p.presetModified.load());

    p.undoLastUiEdit(); // the volume drag
    EXPECT_FALSE (p.presetModified.load());
    EXPECT_EQ (p.getNumUndoEntries(), 0u);
}

TEST_F (PresetFolderTest, AnEditLimitedToIdsIgnoresIdentityChanges)
{
    KVProcessor p;
    p.beginUiEdit ({ "cutoff" });
    ASSERT_TRUE (p.loadPreset (test::factoryEntry ("Snare")));
    p.endUiEdit();

    ASSERT_EQ (p.getNumUndoEntries(), 1u); // only the cutoff change
    p.undoLastUiEdit();
    EXPECT_EQ (test::currentName (p), "Snare");
    EXPECT_NEAR (test::getParameter (p, "cutoff"), 5515.448f, 0.01f);
    EXPECT_NEAR (test::getParameter (p, "noiseLevel"), 0.97f, 1.0e-6f);
}

TEST_F (PresetFolderTest, BeginningAnEditClosesTheOpenOne)
{
    KVProcessor p;
    p.beginUiEdit ({ "cutoff" });
    test::setParameter (p, "cutoff", 1000.0f);
    p.beginUiEdit ({ "resonance" }); // records the cutoff edit
    test::setParameter (p, "resonance", 0.4f);
    p.undoLastUiEdit();              // closes and records the resonance edit, then takes it back
    EXPECT_NEAR (test::getParameter (p, "resonance"), 0.0f, 1.0e-6f);
    EXPECT_NEAR (test::getParameter (p, "cutoff"), 1000.0f, 0.01f);
    EXPECT_EQ (p.getNumUndoEntries(), 1u);
    EXPECT_TRUE (p.isUiEditPendingFor ("cutoff") == false);

    p.beginUiEdit ({ "vcoEgShape" });
    EXPECT_TRUE (p.isUiEditPendingFor ("vcoEgShape"));
    EXPECT_FALSE (p.isUiEditPendingFor ("cutoff"));
    p.endUiEdit();
    EXPECT_FALSE (p.isUiEditPendingFor ("vcoEgShape"));
}

TEST_F (PresetFolderTest, HistoryKeepsAHundredEntries)
{
    KVProcessor p;
    for (int i = 1; i <= 101; ++i)
        drag (p, "stepPitch0", (float) i);
    EXPECT_EQ (p.getNumUndoEntries(), 100u);

    // The oldest (60 -> 1) is gone: undoing everything ends at 1, not at 60.
    for (int i = 0; i < 100; ++i)
        p.undoLastUiEdit();
    EXPECT_EQ (p.getNumUndoEntries(), 0u);
    EXPECT_EQ (test::getParameter (p, "stepPitch0"), 1.0f);
}

TEST_F (PresetFolderTest, HistoryIsBoundedByItsAccountedBytes)
{
    KVProcessor p;
    const auto longPath = "/" + juce::String::repeatedString ("p", 1000000);

    // Each preset-identity edit accounts the megabyte-long file path of the identity it replaced.
    for (int i = 0; i < 12; ++i)
    {
        p.beginUiEdit ({});
        p.restoreStateFromXml (*juce::parseXML ("<ORRAKV currentPresetName=\"N" + juce::String (i) + "\"/>"), {},
                               Source::None, longPath + juce::String (i));
        p.endUiEdit();
    }
    EXPECT_EQ (p.getNumUndoEntries(), 8u); // 8 x ~1 MB fit in 8 MiB, 9 do not

    for (int i = 0; i < 8; ++i)
        p.undoLastUiEdit();
    EXPECT_EQ (test::currentName (p), "N3");
}

TEST_F (PresetFolderTest, UndoAfterAHostRestoreDoesNothing)
{
    KVProcessor p;
    drag (p, "cutoff", 2000.0f);
    const auto state = test::hostState (p);
    drag (p, "cutoff", 3000.0f);
    ASSERT_EQ (p.getNumUndoEntries(), 2u);

    test::setHostState (p, state);
    EXPECT_EQ (p.getNumUndoEntries(), 0u);
    p.undoLastUiEdit();
    EXPECT_NEAR (test::getParameter (p, "cutoff"), 2000.0f, 0.01f);

    // An edit left open across the restore is dropped.
    p.beginUiEdit ({ "cutoff" });
    test::setHostState (p, state);
    test::setParameter (p, "cutoff", 4000.0f);
    p.endUiEdit();
    EXPECT_EQ (p.getNumUndoEntries(), 0u);
}

TEST_F (PresetFolderTest, SwitchingProgramsClearsTheHistory)
{
    KVProcessor p;
    drag (p, "cutoff", 2000.0f);
    ASSERT_TRUE (p.copySequencerValue ("stepVel3"));
    p.setCurrentProgram (3);
    EXPECT_EQ (p.getNumUndoEntries(), 0u);
    EXPECT_FALSE (p.pasteSequencerValue ("stepVel4")); // the clipboard went with it
}

// ----- step clipboard ------------------------------------------------------------------------
TEST (StepClipboard, ValueClasses)
{
    const std::pair<const char*, int> cases[] = {
        { "stepPitch0", 1 }, { "stepPitch15", 1 }, { "stepVel7", 2 }, { "stepModA3", 3 }, { "stepModB7", 3 },
        { "stepActive2", 0 }, { "cutoff", 0 }, { "", 0 }, { "StepPitch1", 0 },
    };
    for (const auto& [id, kind] : cases)
        EXPECT_EQ (KVProcessor::sequencerValueKind (id), kind) << id;
}

TEST_F (PresetFolderTest, CopyAndPasteAcrossCompatibleLanes)
{
    KVProcessor p;
    EXPECT_FALSE (p.pasteSequencerValue ("stepModB7")); // empty clipboard
    EXPECT_FALSE (p.copySequencerValue ("cutoff"));
    EXPECT_FALSE (p.copySequencerValue ("stepActive3"));
    EXPECT_FALSE (p.copySequencerValue ("stepModA99"));

    test::setParameter (p, "stepModA3", 0.9f);
    test::setParameter (p, "stepVel7", 0.3f);
    ASSERT_TRUE (p.copySequencerValue ("stepModA3"));

    struct Case
    {
        const char* target;
        bool pasted;
    };
    const Case cases[] = { { "stepModB7", true }, { "stepModA0", true }, { "stepVel7", false },
                           { "stepPitch7", false }, { "cutoff", false }, { "stepModB16", false } };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.target);
        const auto entries = p.getNumUndoEntries();
        auto* parameter = p.treeState.getParameter (c.target);
        const float before = parameter != nullptr ? test::getParameter (p, c.target) : 0.0f;
        EXPECT_EQ (p.pasteSequencerValue (c.target), c.pasted);
        if (c.pasted)
        {
            EXPECT_NEAR (test::getParameter (p, c.target), 0.9f, 1.0e-6f);
            EXPECT_EQ (p.getNumUndoEntries(), entries + 1);
        }
        else if (parameter != nullptr)
        {
            EXPECT_EQ (test::getParameter (p, c.target), before);
            EXPECT_EQ (p.getNumUndoEntries(), entries);
        }
    }

    // A paste is undoable like any edit.
    p.undoLastUiEdit();
    EXPECT_NEAR (test::getParameter (p, "stepModA0"), 0.5f, 1.0e-6f);

    // Pitches go to pitches only.
    ASSERT_TRUE (p.copySequencerValue ("stepPitch2"));
    EXPECT_TRUE (p.pasteSequencerValue ("stepPitch9"));
    EXPECT_FALSE (p.pasteSequencerValue ("stepModB1"));
}
} // namespace
