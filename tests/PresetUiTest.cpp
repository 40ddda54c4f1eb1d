// The panel's working controls, driven through the real processor and editor: the preset row
// (menu, display text, previous / next, INIT), the preset dialogs (suggestions, overwrite,
// failures, delete), the preset browser (counts, search, filter, selection, load, delete) and the
// sequencer buttons (RUN/STOP through simulated ticks, reset, pages, chain, velocity clear, pitch
// from MIDI). Windows are answered through a recording presenter instead of the screen.

#include "TestSupport.h"
#include "editor/PluginEditor.h"
#include "editor/PresetBrowser.h"
#include "editor/PresetDialogs.h"
#include "editor/PresetRow.h"
#include "editor/SequencerButtons.h"

#include <gtest/gtest.h>
#include <cmath>

namespace
{
using Source = KVProcessor::PresetSource;

const juce::StringArray kFactoryNames { "Brush Hat", "Closed HH", "Cowbell",     "False Drive Kick", "Filter KiCK",
                                        "Jazzy Base", "Melodi",   "Other HH",    "Perc Seq",         "Snare",
                                        "Transistor 2", "Visionaire Kick", "What" };

// Catches the windows the dialogs would show and lets the test answer them.
struct RecordingPresenter : KVPresetDialogs::Presenter
{
    struct Message
    {
        juce::String title, text;
    };
    std::vector<Message> messages;

    KVPresetDialogs::Question question;
    std::function<void (int)> answer;
    int questionsAsked = 0;

    juce::File chooserStart;
    std::function<void (const juce::File&)> chooserResult;
    int choosersLaunched = 0;

    void showMessage (const juce::String& title, const juce::String& text) override { messages.push_back ({ title, text }); }

    void ask (const KVPresetDialogs::Question& q, std::function<void (int)> a) override
    {
        question = q;
        answer = std::move (a);
        ++questionsAsked;
    }

    void launchSaveChooser (juce::FileChooser&, const juce::File& initialFile,
                            std::function<void (const juce::File&)> onResult) override
    {
        chooserStart = initialFile;
        chooserResult = std::move (onResult);
        ++choosersLaunched;
    }

    juce::StringArray buttonTexts() const
    {
        juce::StringArray texts;
        for (const auto& b : question.buttons)
            texts.add (b.text + "=" + juce::String (b.result) + (b.shortcut.isValid() ? "+" + juce::String (b.shortcut.getKeyCode()) : ""));
        return texts;
    }
};

struct PresetUiFixture : ::testing::Test
{
    KVProcessor processor;
    std::unique_ptr<KVEditor> editor;
    RecordingPresenter windows;

    static juce::File userFolder() { return KVProcessor::getUserPresetDirectory(); }
    static juce::File legacyFolder() { return KVProcessor::getLegacyPresetDirectory(); }
    static juce::File factoryFolder() { return KVProcessor::getFactoryPresetDirectory(); }

    static void clearPrivateFolders()
    {
        userFolder().deleteRecursively();
        for (const auto& f : legacyFolder().findChildFiles (juce::File::findFiles, false, "*.pk16"))
            f.deleteFile();
    }

    void SetUp() override
    {
        clearPrivateFolders();
        KVPresetDialogs::setPresenter (&windows);
    }

    void TearDown() override
    {
        editor.reset();
        KVPresetDialogs::setPresenter (nullptr);
        clearPrivateFolders();
    }

    void open()
    {
        editor = std::make_unique<KVEditor> (processor);
        editor->mousePositionOverride = [] { return juce::Point<float> (-100.0f, -100.0f); };
    }

    // A preset file made from a factory preset, placed in a folder under a new name.
    static juce::File addPresetFile (const juce::File& folder, const juce::String& name)
    {
        folder.createDirectory();
        const auto target = folder.getChildFile (name + ".pk16");
        EXPECT_TRUE (factoryFolder().getChildFile ("Cowbell.pk16").copyFileTo (target));
        return target;
    }

    juce::String presetName()
    {
        const juce::ScopedLock lock (processor.presetLock);
        return processor.currentPresetName;
    }

    Source presetSource()
    {
        const juce::ScopedLock lock (processor.presetLock);
        return processor.currentPresetSource;
    }

    void setIdentity (const juce::String& name, Source source)
    {
        const juce::ScopedLock lock (processor.presetLock);
        processor.currentPresetName = name;
        processor.currentPresetSource = source;
    }

    // The preset box as text: "text#id" per item, "---" for separators, "[heading]" for headings.
    juce::StringArray menu()
    {
        juce::StringArray items;
        for (juce::PopupMenu::MenuItemIterator it (*editor->presetBox.getRootMenu()); it.next();)
        {
            const auto& item = it.getItem();
            if (item.isSeparator)
                items.add ("---");
            else if (item.isSectionHeader)
                items.add ("[" + item.text + "]");
            else
                items.add (item.text + "#" + juce::String (item.itemID));
        }
        return items;
    }

    juce::StringArray factoryMenu (const juce::String& starredEntry = {})
    {
        juce::StringArray items { "Browse Presets...#990002", "---", "INIT#1", "[FACTORY]" };
        for (int i = 0; i < kFactoryNames.size(); ++i)
            items.add (kFactoryNames[i] + (kFactoryNames[i] == starredEntry ? " *" : "") + "#" + juce::String (i + 2));
        return items;
    }

    // A parameter's value as a preset file stores it (NaN when absent).
    static double savedValue (const juce::File& file, const juce::String& id)
    {
        if (auto xml = juce::parseXML (file))
            for (auto* param : xml->getChildWithTagNameIterator ("PARAM"))
                if (param->getStringAttribute ("id") == id)
                    return param->getDoubleAttribute ("value");
        return std::nan ("");
    }

    // Typing into the search field (the field reports its change asynchronously).
    static void search (KVPresetBrowser& browser, const juce::String& text)
    {
        browser.searchBox.setText (text, false);
        browser.applyFilter();
    }

    void choose (int itemId) { editor->presetBox.setSelectedId (itemId, juce::sendNotificationSync); }
    void undo() { editor->keyPressed (juce::KeyPress ('z', juce::ModifierKeys::commandModifier, 0)); }
    float value (const juce::String& id) { return test::getParameter (processor, id); }
    void set (const juce::String& id, float v) { test::setParameter (processor, id, v); }
};

//==============================================================================
// Preset row
//==============================================================================
TEST_F (PresetUiFixture, FactoryMenuHasInitTheThirteenPresetsAndTheTwoActions)
{
    open();
    auto expected = factoryMenu();
    expected.addArray ({ "---", "Save As User...#990003" });
    EXPECT_EQ (menu(), expected);
    EXPECT_EQ (editor->presetBox.getSelectedId(), 1);
    EXPECT_EQ (editor->presetDisplayText, "INIT 000  Init");
    EXPECT_EQ (editor->presetMenuIds.size(), 14u);
    EXPECT_EQ (editor->presetMenuIds.front(), 1);
    EXPECT_EQ (editor->presetMenuIds.back(), 14);
    EXPECT_FALSE (editor->deletePresetButton.isEnabled());

    // Choosing Snare loads it as one undoable edit; the display shows its place in the list.
    set ("cutoff", 1234.0f);
    choose (11);
    EXPECT_EQ (presetName(), "Snare");
    EXPECT_EQ (editor->presetDisplayText, "FAC 010  Snare");
    EXPECT_EQ (editor->presetBox.getSelectedId(), 11);

    set ("cutoff", 950.0f);
    editor->timerCallback();
    EXPECT_EQ (editor->presetDisplayText, "FAC 010  Snare *");
    EXPECT_TRUE (menu().contains ("Snare *#11"));

    undo();  // the load (the knob move above was not a panel edit)
    EXPECT_EQ (presetName(), "Init");
    EXPECT_NEAR (value ("cutoff"), 1234.0f, 0.5f);
    EXPECT_EQ (editor->presetDisplayText, "INIT 000  Init *");
    EXPECT_TRUE (menu().contains ("INIT *#1"));
}

TEST_F (PresetUiFixture, UserAndLegacySectionsFollowTheFactoryListAndCountOnFromIt)
{
    addPresetFile (userFolder(), "Kick A");
    addPresetFile (userFolder(), "boom");
    addPresetFile (legacyFolder(), "Old Tom");
    open();

    auto expected = factoryMenu();
    expected.addArray ({ "[USER]", "boom#15", "Kick A#16", "[LEGACY]", "Old Tom#17", "---", "Save As User...#990003" });
    EXPECT_EQ (menu(), expected);
    ASSERT_EQ (editor->presetMenuEntries.size(), 16u);
    EXPECT_EQ (editor->presetMenuEntries[13].name, "boom");

    choose (15);
    EXPECT_EQ (presetName(), "boom");
    EXPECT_EQ (presetSource(), Source::User);
    EXPECT_EQ (editor->presetDisplayText, "USR 014  boom");
    EXPECT_TRUE (editor->deletePresetButton.isEnabled());

    choose (17);
    EXPECT_EQ (editor->presetDisplayText, "LEG 016  Old Tom");
    EXPECT_FALSE (editor->deletePresetButton.isEnabled());
}

TEST_F (PresetUiFixture, CurrentPresetWithoutEntryGetsTheStarItem)
{
    const auto file = addPresetFile (userFolder(), "Gone");
    open();
    choose (15);
    ASSERT_EQ (presetName(), "Gone");
    ASSERT_TRUE (file.deleteFile());

    editor->refreshPresetControls();
    EXPECT_EQ (menu()[menu().size() - 1], "Gone *#990001");
    EXPECT_EQ (editor->presetBox.getSelectedId(), KVPresetRow::kNameWithStarId);
    EXPECT_FALSE (editor->deletePresetButton.isEnabled());
    EXPECT_EQ (editor->presetDisplayText, "USR 000  Gone");

    // Choosing the star item does nothing; Previous does nothing; Next goes to the first preset.
    choose (KVPresetRow::kNameWithStarId);
    EXPECT_EQ (presetName(), "Gone");
    KVPresetRow::previousClicked (*editor);
    EXPECT_EQ (presetName(), "Gone");
    EXPECT_EQ (editor->prevFlash, 4);
    KVPresetRow::nextClicked (*editor);
    EXPECT_EQ (presetName(), "Brush Hat");
    EXPECT_EQ (editor->presetDisplayText, "FAC 001  Brush Hat");
}

TEST_F (PresetUiFixture, NameWithoutSourceSelectsOnlyAnUnambiguousEntry)
{
    addPresetFile (userFolder(), "Snare");
    open();

    struct Case
    {
        const char* name;
        int selectedId;
        const char* display;
    };
    // Cowbell exists once (factory); Snare exists in the factory and the user folder.
    for (const auto& c : { Case { "Cowbell", 4, "FAC 000  Cowbell" }, Case { "Snare", KVPresetRow::kNameWithStarId, "USR 000  Snare" },
                           Case { "Nowhere", KVPresetRow::kNameWithStarId, "LEG 000  Nowhere" } })
    {
        setIdentity (c.name, Source::None);
        processor.presetModified = false;
        editor->refreshPresetControls();
        EXPECT_EQ (editor->presetBox.getSelectedId(), c.selectedId) << c.name;
        EXPECT_EQ (editor->presetDisplayText, c.display) << c.name;
        EXPECT_EQ (menu().contains (juce::String (c.name) + " *#990001"), c.selectedId == KVPresetRow::kNameWithStarId) << c.name;
    }
}

TEST_F (PresetUiFixture, PreviousAndNextStopAtBothEndsAndCrossSections)
{
    addPresetFile (userFolder(), "Zap");
    open();

    KVPresetRow::previousClicked (*editor);  // on INIT
    EXPECT_EQ (presetName(), "Init");
    EXPECT_EQ (processor.getNumUndoEntries(), 0u);

    KVPresetRow::nextClicked (*editor);
    EXPECT_EQ (editor->presetDisplayText, "FAC 001  Brush Hat");

    choose (14);  // What, the last factory preset
    KVPresetRow::nextClicked (*editor);
    EXPECT_EQ (presetName(), "Zap");
    EXPECT_EQ (editor->presetDisplayText, "USR 014  Zap");

    const auto entries = processor.getNumUndoEntries();
    KVPresetRow::nextClicked (*editor);  // the last entry
    EXPECT_EQ (presetName(), "Zap");
    EXPECT_EQ (processor.getNumUndoEntries(), entries);

    KVPresetRow::previousClicked (*editor);
    EXPECT_EQ (presetName(), "What");
    undo();
    EXPECT_EQ (presetName(), "Zap");
    EXPECT_EQ (editor->presetDisplayText, "USR 014  Zap");
}

TEST_F (PresetUiFixture, InitButtonAndBrowseItemLeaveTheBoxOnTheCurrentPreset)
{
    open();
    choose (11);
    KVPresetRow::initClicked (*editor);
    EXPECT_EQ (presetName(), "Init");
    EXPECT_EQ (editor->initFlash, 4);
    undo();
    EXPECT_EQ (presetName(), "Snare");

    choose (KVPresetRow::kBrowseId);
    ASSERT_TRUE (editor->presetBrowser != nullptr);
    EXPECT_EQ (editor->presetBrowser->getBounds(), editor->getLocalBounds());
    EXPECT_EQ (editor->presetBox.getSelectedId(), 11);

    choose (KVPresetRow::kSaveAsUserId);
    EXPECT_EQ (windows.choosersLaunched, 1);
    EXPECT_EQ (editor->presetBox.getSelectedId(), 11);
}

//==============================================================================
// Dialogs
//==============================================================================
TEST_F (PresetUiFixture, SaveSuggestsAUniqueNameInTheUserFolder)
{
    addPresetFile (userFolder(), "snare");
    open();

    // Init: "New Preset".
    KVPresetRow::saveClicked (*editor);
    EXPECT_EQ (editor->saveFlash, 4);
    EXPECT_EQ (windows.chooserStart, userFolder().getChildFile ("New Preset.pk16"));
    EXPECT_TRUE (editor->fileChooser != nullptr);

    // A factory preset whose name exists in the user folder in another letter case.
    choose (11);
    KVPresetRow::saveClicked (*editor);
    EXPECT_EQ (windows.questionsAsked, 0);
    EXPECT_EQ (windows.chooserStart.getFileName(), "Snare 2.pk16");
    addPresetFile (userFolder(), "SNARE 2");
    KVPresetRow::saveClicked (*editor);
    EXPECT_EQ (windows.chooserStart.getFileName(), "Snare 3.pk16");

    // The naming rule on its own.
    EXPECT_EQ (KVPresetDialogs::uniqueSaveName ({ "Kick", "kick 2" }, "  Kick!  "), "Kick 3");
    EXPECT_EQ (KVPresetDialogs::uniqueSaveName ({}, "?!"), "New Preset");
}

TEST_F (PresetUiFixture, SaveOnAUserPresetAsksToOverwriteOrSaveACopy)
{
    addPresetFile (userFolder(), "Kick");
    open();
    choose (15);
    set ("cutoff", 4321.0f);
    ASSERT_TRUE (processor.presetModified.load());

    KVPresetRow::saveClicked (*editor);
    ASSERT_EQ (windows.questionsAsked, 1);
    EXPECT_EQ (windows.question.title, "Save PULSKAR-16 Preset");
    EXPECT_EQ (windows.question.message, "Save changes to \"Kick\"?");
    EXPECT_EQ (windows.question.icon, juce::MessageBoxIconType::NoIcon);
    EXPECT_EQ (windows.question.associatedComponent, editor.get());
    EXPECT_EQ (windows.buttonTexts(), juce::StringArray ({ "Overwrite=1", "Save As...=2", "Cancel=0" }));

    windows.answer (2);
    EXPECT_EQ (windows.chooserStart.getFileName(), "Kick Copy.pk16");
    addPresetFile (userFolder(), "KICK copy");
    windows.answer (2);
    EXPECT_EQ (windows.chooserStart.getFileName(), "Kick Copy 2.pk16");

    windows.answer (0);
    EXPECT_TRUE (processor.presetModified.load());

    windows.answer (1);
    EXPECT_FALSE (processor.presetModified.load());
    EXPECT_NEAR (savedValue (userFolder().getChildFile ("Kick.pk16"), "cutoff"), 4321.0, 0.1);
    EXPECT_EQ (editor->presetDisplayText, "USR 014  Kick");
}

TEST_F (PresetUiFixture, SaveDialogResultRefusesOtherFoldersAndTakenNames)
{
    addPresetFile (userFolder(), "Taken");
    open();
    const auto before = userFolder().findChildFiles (juce::File::findFiles, false).size();

    struct Case
    {
        juce::File chosen;
        const char* title;
        const char* text;
    };
    const Case cases[] = {
        { factoryFolder().getChildFile ("Mine.pk16"), "Use User Presets",
          "Factory presets are read-only. Save edited presets in the User folder." },
        { userFolder().getChildFile ("tAKEN.pk16"), "Preset Exists",
          "A preset named \"tAKEN\" already exists. Choose a new name to avoid overwriting it." },
    };
    for (const auto& c : cases)
    {
        windows.messages.clear();
        KVPresetDialogs::handleSaveChooserResult (*editor, c.chosen);
        ASSERT_EQ (windows.messages.size(), 1u) << c.title;
        EXPECT_EQ (windows.messages[0].title, c.title);
        EXPECT_EQ (windows.messages[0].text, c.text);
    }

    // Cancelled and empty names end silently.
    windows.messages.clear();
    KVPresetDialogs::handleSaveChooserResult (*editor, juce::File());
    KVPresetDialogs::handleSaveChooserResult (*editor, userFolder().getChildFile ("%%%.pk16"));
    EXPECT_TRUE (windows.messages.empty());
    EXPECT_EQ (userFolder().findChildFiles (juce::File::findFiles, false).size(), before);
    EXPECT_FALSE (factoryFolder().getChildFile ("Mine.pk16").exists());
    EXPECT_EQ (presetName(), "Init");

    // A new name through the dialog's own callback: saved, current, listed in the open browser.
    KVPresetBrowser::open (*editor);
    KVPresetRow::saveClicked (*editor);
    ASSERT_TRUE (windows.chooserResult != nullptr);
    windows.chooserResult (userFolder().getChildFile ("Fresh Hit.txt"));
    EXPECT_TRUE (editor->fileChooser == nullptr);
    EXPECT_TRUE (userFolder().getChildFile ("Fresh Hit.pk16").existsAsFile());
    EXPECT_EQ (presetName(), "Fresh Hit");
    EXPECT_EQ (editor->presetDisplayText, "USR 014  Fresh Hit");
    EXPECT_EQ (editor->presetBrowser->getNumRows(), 15);
}

TEST_F (PresetUiFixture, PanelDeleteAsksThenLoadsInitForTheCurrentUserPreset)
{
    const auto file = addPresetFile (userFolder(), "Kick");
    open();

    // Init and factory presets: only the LED.
    KVPresetRow::deleteClicked (*editor);
    choose (11);
    KVPresetRow::deleteClicked (*editor);
    EXPECT_EQ (windows.questionsAsked, 0);
    EXPECT_EQ (editor->deleteFlash, 4);

    choose (15);
    KVPresetRow::deleteClicked (*editor);
    ASSERT_EQ (windows.questionsAsked, 1);
    EXPECT_EQ (windows.question.title, "Delete Preset");
    EXPECT_EQ (windows.question.message, "Delete preset \"Kick\"?");
    EXPECT_EQ (windows.question.icon, juce::MessageBoxIconType::WarningIcon);
    EXPECT_EQ (windows.question.associatedComponent, nullptr);
    juce::StringArray expectedButtons;
    expectedButtons.add ("Delete=1+" + juce::String (juce::KeyPress::returnKey));
    expectedButtons.add ("Cancel=0+" + juce::String (juce::KeyPress::escapeKey));
    EXPECT_EQ (windows.buttonTexts(), expectedButtons);

    windows.answer (0);
    EXPECT_TRUE (file.existsAsFile());

    windows.answer (1);
    EXPECT_FALSE (file.exists());
    EXPECT_EQ (presetName(), "Init");
    EXPECT_EQ (editor->presetDisplayText, "INIT 000  Init");
    EXPECT_FALSE (menu().contains ("Kick#15"));

    // Asking again for a file that is gone: "Delete Failed".
    KVPresetDialogs::answerDeleteQuestion (*editor, 1, "Kick");
    ASSERT_EQ (windows.messages.size(), 1u);
    EXPECT_EQ (windows.messages[0].title, "Delete Failed");
    EXPECT_EQ (windows.messages[0].text, "Could not delete preset \"Kick\".");
}

TEST_F (PresetUiFixture, AnswersArrivingAfterTheEditorClosedAreIgnored)
{
    const auto file = addPresetFile (userFolder(), "Kick");
    open();
    choose (15);

    KVPresetRow::deleteClicked (*editor);
    auto deleteAnswer = windows.answer;
    KVPresetRow::saveClicked (*editor);
    auto overwriteAnswer = windows.answer;
    KVPresetRow::saveClicked (*editor);
    windows.answer (2);
    auto chooserResult = windows.chooserResult;

    editor.reset();
    deleteAnswer (1);
    overwriteAnswer (1);
    overwriteAnswer (2);
    chooserResult (userFolder().getChildFile ("Late.pk16"));

    EXPECT_TRUE (file.existsAsFile());
    EXPECT_FALSE (userFolder().getChildFile ("Late.pk16").exists());
    EXPECT_EQ (presetName(), "Kick");
    EXPECT_EQ (windows.choosersLaunched, 1);
}

//==============================================================================
// Browser
//==============================================================================
TEST_F (PresetUiFixture, BrowserCountsFiltersAndSearches)
{
    open();
    KVPresetBrowser::open (*editor);
    auto& browser = *editor->presetBrowser;

    const auto names = [&browser]
    {
        juce::StringArray n;
        for (const auto& e : browser.filteredEntries)
            n.add (e.name);
        return n;
    };

    EXPECT_EQ (browser.getNumRows(), 13);
    EXPECT_TRUE (browser.allButton.getToggleState());
    EXPECT_EQ (browser.selectedRow, 0);
    EXPECT_TRUE (browser.loadButton.isEnabled());
    EXPECT_FALSE (browser.deleteButton.isEnabled());

    browser.factoryButton.onClick();
    EXPECT_EQ (browser.getNumRows(), 13);
    EXPECT_TRUE (browser.factoryButton.getToggleState());
    EXPECT_FALSE (browser.allButton.getToggleState());

    browser.sourceFilter = 2;
    browser.applyFilter();
    EXPECT_EQ (browser.getNumRows(), 0);
    EXPECT_EQ (browser.selectedRow, -1);
    EXPECT_FALSE (browser.loadButton.isEnabled());
    EXPECT_FALSE (browser.deleteButton.isEnabled());
    EXPECT_TRUE (browser.saveAsUserButton.isEnabled());

    browser.sourceFilter = 0;
    for (const auto* query : { "hh", "  HH " })
    {
        search (browser, query);
        EXPECT_EQ (names(), juce::StringArray ({ "Closed HH", "Other HH" })) << query;
    }

    search (browser, "xyzzy");
    EXPECT_EQ (browser.getNumRows(), 0);
    EXPECT_EQ (browser.presetList.getNumSelectedRows(), 0);
    search (browser, {});
    EXPECT_EQ (browser.selectedRow, 0);
    EXPECT_TRUE (browser.presetList.isRowSelected (0));

    // The selection is kept by position: the fifth row becomes the last of three.
    browser.presetList.selectRow (4);
    EXPECT_EQ (browser.selectedRow, 4);
    search (browser, "ck");  // False Drive Kick, Filter KiCK, Visionaire Kick
    EXPECT_EQ (browser.getNumRows(), 3);
    EXPECT_EQ (browser.selectedRow, 2);
    EXPECT_TRUE (browser.presetList.isRowSelected (2));

    // The card is 620 x 430 at every editor size, centred, with the bands in place.
    EXPECT_EQ (browser.getBounds(), editor->getLocalBounds());
    const int x0 = browser.getWidth() / 2 - 310 + 18, y0 = browser.getHeight() / 2 - 215 + 12;
    EXPECT_EQ (browser.closeButton.getBounds(), juce::Rectangle<int> (x0 + 510, y0, 74, 28));
    EXPECT_EQ (browser.searchBox.getBounds(), juce::Rectangle<int> (x0 + 76, y0 + 37, 508, 28));
    EXPECT_EQ (browser.userButton.getBounds(), juce::Rectangle<int> (x0 + 418, y0 + 74, 166, 30));
    EXPECT_EQ (browser.listArea, juce::Rectangle<int> (x0, y0 + 134, 584, 229));
    EXPECT_EQ (browser.deleteButton.getBounds(), juce::Rectangle<int> (x0 + 388, y0 + 372, 196, 34));
}

TEST_F (PresetUiFixture, BrowserLoadsMarksAndDeletesUserPresets)
{
    addPresetFile (userFolder(), "Kick");
    addPresetFile (userFolder(), "Other");
    addPresetFile (legacyFolder(), "Old Tom");
    open();
    KVPresetBrowser::open (*editor);
    auto& browser = *editor->presetBrowser;
    ASSERT_EQ (browser.getNumRows(), 16);

    // Legacy entries show only under ALL and cannot be deleted.
    browser.presetList.selectRow (15);
    EXPECT_EQ (browser.filteredEntries[15].source, Source::Legacy);
    EXPECT_FALSE (browser.deleteButton.isEnabled());
    browser.userButton.onClick();
    EXPECT_EQ (browser.getNumRows(), 2);

    // Return loads the selected row and keeps the browser open.
    browser.presetList.selectRow (0);
    EXPECT_TRUE (browser.deleteButton.isEnabled());
    EXPECT_TRUE (browser.keyPressed (juce::KeyPress (juce::KeyPress::returnKey)));
    EXPECT_EQ (presetName(), "Kick");
    ASSERT_TRUE (editor->presetBrowser != nullptr);
    EXPECT_EQ (editor->presetDisplayText, "USR 014  Kick");

    // The painted list marks the current preset with a dot on its (selected) row.
    {
        juce::Image image (juce::Image::ARGB, 400, 27, true);
        juce::Graphics g (image);
        browser.paintListBoxItem (0, g, 400, 27, true);
        EXPECT_EQ (image.getPixelAt (12, 13).getARGB(), kv::kBrowserBack);
        EXPECT_EQ (image.getPixelAt (4, 4).getARGB(), kv::kBrowserHighlight);
        browser.paintListBoxItem (1, g, 400, 27, true);
        EXPECT_EQ (image.getPixelAt (12, 13).getARGB(), kv::kBrowserHighlight);
    }

    // Deleting another user preset leaves the sound alone; deleting the current one loads Init.
    browser.presetList.selectRow (1);
    browser.deleteSelectedPreset();
    EXPECT_EQ (windows.question.message, "Delete user preset \"Other\"?");
    windows.answer (1);
    EXPECT_FALSE (userFolder().getChildFile ("Other.pk16").exists());
    EXPECT_EQ (presetName(), "Kick");
    EXPECT_EQ (browser.getNumRows(), 1);

    browser.presetList.selectRow (0);
    browser.deleteSelectedPreset();
    windows.answer (1);
    EXPECT_EQ (presetName(), "Init");
    EXPECT_EQ (browser.getNumRows(), 0);
    EXPECT_EQ (editor->presetDisplayText, "INIT 000  Init");

    // A load failure is reported; a late delete answer after closing is ignored.
    browser.sourceFilter = 0;
    browser.reload();
    browser.filteredEntries[0].file = userFolder().getChildFile ("missing.pk16");
    browser.filteredEntries[0].name = "missing";
    browser.loadSelectedPreset();
    ASSERT_EQ (windows.messages.size(), 1u);
    EXPECT_EQ (windows.messages[0].title, "Load Failed");
    EXPECT_EQ (windows.messages[0].text, "Could not load preset \"missing\".");

    browser.presetList.selectRow (13);
    browser.deleteSelectedPreset();  // Old Tom is legacy: DELETE is disabled, but the answer must refuse it too
    auto lateAnswer = windows.answer;
    lateAnswer (1);
    EXPECT_TRUE (legacyFolder().getChildFile ("Old Tom.pk16").existsAsFile());
    EXPECT_EQ (windows.messages.back().title, "Delete Failed");

    EXPECT_TRUE (editor->presetBrowser->keyPressed (juce::KeyPress (juce::KeyPress::escapeKey)));
    EXPECT_TRUE (editor->presetBrowser == nullptr);
}

TEST_F (PresetUiFixture, UndoKeyInTheBrowserClosesItAndUndoesTheLoad)
{
    open();
    KVPresetBrowser::open (*editor);
    editor->presetBrowser->presetList.selectRow (9);
    editor->presetBrowser->loadSelectedPreset();
    ASSERT_EQ (presetName(), "Snare");

    EXPECT_TRUE (editor->presetBrowser->keyPressed (juce::KeyPress ('z', juce::ModifierKeys::commandModifier, 0)));
    EXPECT_TRUE (editor->presetBrowser == nullptr);
    EXPECT_EQ (presetName(), "Init");
}

TEST_F (PresetUiFixture, BrowserCardPaintsOverTheDimmedPanel)
{
    open();
    KVPresetBrowser::open (*editor);
    auto& browser = *editor->presetBrowser;
    juce::Image image (juce::Image::ARGB, browser.getWidth(), browser.getHeight(), true);
    {
        juce::Graphics g (image);
        browser.paintEntireComponent (g, true);
    }
    const auto card = juce::Rectangle<int> (browser.getWidth() / 2 - 310, browser.getHeight() / 2 - 215, 620, 430);
    const auto dim = image.getPixelAt (5, 5);
    EXPECT_EQ (dim.getAlpha(), 0x99);
    EXPECT_LE (dim.getRed(), 6);
    EXPECT_EQ (image.getPixelAt (card.getX() + 10, card.getBottom() - 10).getARGB(), kv::kBrowserBack);
    // The ALL filter is active: dark.
    EXPECT_EQ (image.getPixelAt (browser.allButton.getX() + 3, browser.allButton.getY() + 3).getARGB(), kv::kBrowserHighlight);
    // The first row is selected.
    EXPECT_EQ (image.getPixelAt (browser.listArea.getX() + 3, browser.listArea.getY() + 3).getARGB(), kv::kBrowserHighlight);
}

//==============================================================================
// Sequencer buttons
//==============================================================================
struct SequencerButtonsFixture : PresetUiFixture
{
    std::unique_ptr<test::Host> host;

    void SetUp() override
    {
        PresetUiFixture::SetUp();
        host = std::make_unique<test::Host> (processor);
        open();
        host->block (256);  // a first block with the transport stopped
    }

    void TearDown() override
    {
        PresetUiFixture::TearDown();
        host.reset();
    }

    void ticks (int n)
    {
        for (int i = 0; i < n; ++i)
        {
            host->block (256);
            editor->timerCallback();
        }
    }

    auto& seq() { return processor.sequencer; }
};

TEST_F (SequencerButtonsFixture, RunStopWithTheTransportStoppedWaitsForADoubleClick)
{
    ASSERT_FALSE (seq().sequencerSwitchedOut.load());
    ASSERT_FALSE (seq().freeRunning.load());

    // One click: the sequencer switches out about a quarter of a second later.
    KVSequencerButtons::runStopClicked (*editor);
    EXPECT_EQ (editor->runClickCountdown, 6);
    ticks (5);
    EXPECT_FALSE (seq().sequencerSwitchedOut.load());
    ticks (1);
    EXPECT_TRUE (seq().sequencerSwitchedOut.load());
    EXPECT_LT (value ("seqRun"), 0.5f);

    // Another single click switches it in again.
    KVSequencerButtons::runStopClicked (*editor);
    ticks (6);
    EXPECT_FALSE (seq().sequencerSwitchedOut.load());
    EXPECT_FALSE (seq().freeRunning.load());

    // Two clicks within six ticks: free run, and no single-click action afterwards.
    KVSequencerButtons::runStopClicked (*editor);
    ticks (3);
    KVSequencerButtons::runStopClicked (*editor);
    EXPECT_EQ (editor->runClickCountdown, 0);
    EXPECT_TRUE (seq().freeRunning.load());
    ticks (8);
    EXPECT_TRUE (seq().freeRunning.load());

    // A third click stops the free run at once.
    KVSequencerButtons::runStopClicked (*editor);
    EXPECT_FALSE (seq().freeRunning.load());
    EXPECT_EQ (editor->runClickCountdown, 0);
    EXPECT_FALSE (seq().sequencerSwitchedOut.load());
}

TEST_F (SequencerButtonsFixture, RunStopWithTheTransportPlayingActsAtOnce)
{
    host->playHead.playing = true;
    ticks (2);
    ASSERT_TRUE (seq().hostPlaying.load());
    ASSERT_FALSE (seq().sequencerSwitchedOut.load());

    KVSequencerButtons::runStopClicked (*editor);
    EXPECT_TRUE (seq().sequencerSwitchedOut.load());
    EXPECT_EQ (editor->runClickCountdown, 0);

    KVSequencerButtons::runStopClicked (*editor);
    EXPECT_FALSE (seq().sequencerSwitchedOut.load());

    // A quick second pair of clicks is two switches, never a free run.
    KVSequencerButtons::runStopClicked (*editor);
    KVSequencerButtons::runStopClicked (*editor);
    ticks (8);
    EXPECT_FALSE (seq().freeRunning.load());
    EXPECT_FALSE (seq().sequencerSwitchedOut.load());
}

TEST_F (SequencerButtonsFixture, ResetWhileStoppedTogglesTheLampAsOneUndoStep)
{
    ASSERT_LT (value ("seqResetOnStart"), 0.5f);
    KVSequencerButtons::resetClicked (*editor);
    EXPECT_GE (value ("seqResetOnStart"), 0.5f);
    EXPECT_TRUE (editor->holdFirstStep);
    EXPECT_EQ (editor->resetFlash, 0);
    EXPECT_EQ (processor.getNumUndoEntries(), 1u);
    undo();
    EXPECT_LT (value ("seqResetOnStart"), 0.5f);

    // Running (host playing): a flash, the lamp stays as it is.
    host->playHead.playing = true;
    ticks (2);
    seq().resetRequest = false;
    KVSequencerButtons::resetClicked (*editor);
    EXPECT_TRUE (seq().resetRequest.load());
    EXPECT_EQ (editor->resetFlash, 4);
    EXPECT_LT (value ("seqResetOnStart"), 0.5f);
    ticks (4);
    EXPECT_EQ (editor->resetFlash, 0);
}

TEST_F (SequencerButtonsFixture, VelocityClearIsOneUndoStepOverBothPages)
{
    for (int i = 0; i < 16; ++i)
        set ("stepVel" + juce::String (i), 0.05f * (float) (i + 1));
    const auto entries = processor.getNumUndoEntries();

    KVSequencerButtons::velocityClearClicked (*editor);
    EXPECT_EQ (editor->velocityClearFlash, 4);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ (value ("stepVel" + juce::String (i)), 0.0f) << i;
    EXPECT_EQ (processor.getNumUndoEntries(), entries + 1);

    undo();
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR (value ("stepVel" + juce::String (i)), 0.05f * (float) (i + 1), 1e-5f) << i;
}

TEST_F (SequencerButtonsFixture, PagesChainAndTriggerButtons)
{
    set ("stepPitch2", 72.0f);
    editor->patternBButton.onClick();
    EXPECT_EQ (editor->shownPage, 1);
    EXPECT_EQ (value ("stepPitch10"), 72.0f);
    EXPECT_TRUE (seq().pageBInitialised.load());

    undo();
    editor->timerCallback();
    EXPECT_EQ (editor->shownPage, 0);
    EXPECT_FALSE (seq().pageBInitialised.load());

    editor->chainButton.setToggleState (true, juce::dontSendNotification);
    KVSequencerButtons::chainClicked (*editor);
    EXPECT_TRUE (seq().chainMode.load());
    EXPECT_TRUE (processor.presetModified.load());
    EXPECT_TRUE (editor->laneLengthBoxes[0]->isItemEnabled (16));
    undo();
    editor->timerCallback();
    EXPECT_FALSE (seq().chainMode.load());
    EXPECT_FALSE (editor->chainButton.getToggleState());
    EXPECT_FALSE (editor->laneLengthBoxes[0]->isItemEnabled (9));

    KVSequencerButtons::triggerClicked (*editor);
    EXPECT_TRUE (processor.auditionRequest.load());
    EXPECT_EQ (editor->triggerFlash, 4);
    host->block (256);
    EXPECT_FALSE (processor.auditionRequest.load());
}

TEST_F (SequencerButtonsFixture, PlayedNoteSetsThePitchOfTheStepUnderTheMouse)
{
    KVSequencerButtons::patternBClicked (*editor);
    // The fourth pitch knob from the left on page B is step 11 (centre 808.9, 603 on the panel).
    const auto centre = juce::Point<float> (808.9f * editor->scaleX(), 603.0f * editor->scaleY());
    editor->mousePositionOverride = [centre] { return centre; };

    for (const auto& [note, expected] : { std::pair<int, float> { 64, 64.0f }, { 127, 120.0f } })
    {
        processor.lastMidiNote = note;
        ++processor.midiNoteCounter;
        editor->timerCallback();
        EXPECT_EQ (value ("stepPitch11"), expected) << note;
    }
    EXPECT_EQ (value ("stepPitch3"), 60.0f);

    // Away from the knobs nothing changes.
    editor->mousePositionOverride = [] { return juce::Point<float> (20.0f, 20.0f); };
    processor.lastMidiNote = 40;
    ++processor.midiNoteCounter;
    editor->timerCallback();
    EXPECT_EQ (value ("stepPitch11"), 120.0f);
}
} // namespace
