#include "PresetRow.h"

#include "PluginEditor.h"
#include "PresetBrowser.h"
#include "PresetDialogs.h"
#include "PresetIdentity.h"
#include "SequencerButtons.h"

#include <algorithm>

namespace
{
using Source = KVProcessor::PresetSource;

using kv::presetui::namesInit;
using kv::presetui::readPresetName;
using kv::presetui::readPresetSource;

// One preset load (or the Init sound) as one undoable edit.
template <typename Action>
void loadAsOneEdit (KVProcessor& processor, Action&& action)
{
    processor.beginUiEdit ({});
    action();
    processor.endUiEdit();
}
} // namespace

void KVPresetRow::attach (KVEditor& editor)
{
    auto* e = &editor;
    editor.presetBox.onChange = [e] { presetBoxChanged (*e); };
    editor.prevPresetButton.onClick = [e] { previousClicked (*e); };
    editor.nextPresetButton.onClick = [e] { nextClicked (*e); };
    editor.savePresetButton.onClick = [e] { saveClicked (*e); };
    editor.deletePresetButton.onClick = [e] { deleteClicked (*e); };
    editor.initPresetButton.onClick = [e] { initClicked (*e); };
}

//==============================================================================
juce::String KVPresetRow::composeDisplayText (const std::vector<KVProcessor::PresetEntry>& entries,
                                              const juce::String& name, Source source, bool modified)
{
    const auto shownName = name.isEmpty() ? juce::String ("Init") : name;

    int index = 0;
    for (size_t i = 0; i < entries.size(); ++i)
    {
        if (entries[i].name == name && entries[i].source == source)
        {
            index = (int) i + 1;
            break;
        }
    }

    const auto hasEntry = [&entries, &name] (Source s)
    {
        for (const auto& entry : entries)
            if (entry.source == s && entry.name == name)
                return true;
        return false;
    };

    juce::String prefix;
    if (shownName == "Init")
        prefix = "INIT";
    else if (source == Source::Factory)
        prefix = "FAC";
    else if (source == Source::User)
        prefix = "USR";
    else if (source == Source::Legacy)
        prefix = "LEG";
    else
        prefix = hasEntry (Source::User) ? "USR" : hasEntry (Source::Factory) ? "FAC" : "LEG";

    return prefix + " " + juce::String (index).paddedLeft ('0', 3) + "  " + shownName + (modified ? " *" : "");
}

void KVPresetRow::refresh (KVEditor& editor)
{
    auto& processor = editor.processor;
    auto& box = editor.presetBox;

    // 1. The processor's view of the presets.
    const auto entries = processor.getPresetEntries();
    const auto name = readPresetName (processor);
    const auto source = readPresetSource (processor);
    const bool modified = processor.presetModified.load (std::memory_order_relaxed);

    // 2. - 6. The list.
    editor.refreshingPresetBox = true;
    box.clear (juce::dontSendNotification);
    editor.presetMenuEntries.clear();
    editor.presetMenuIds.clear();

    box.addItem ("Browse Presets...", kBrowseId);
    box.addSeparator();
    box.addItem (modified && namesInit (name) ? "INIT *" : "INIT", kInitId);
    editor.presetMenuIds.push_back (kInitId);

    int nextId = kFirstEntryId;
    int currentEntryId = 0;
    static const std::pair<Source, const char*> sections[] = { { Source::Factory, "FACTORY" },
                                                               { Source::User, "USER" },
                                                               { Source::Legacy, "LEGACY" } };
    for (const auto& [sectionSource, heading] : sections)
    {
        bool headed = false;
        for (const auto& entry : entries)
        {
            if (entry.source != sectionSource)
                continue;
            if (! headed)
            {
                box.addSectionHeading (heading);
                headed = true;
            }

            const int id = nextId++;
            editor.presetMenuEntries.push_back (entry);
            editor.presetMenuIds.push_back (id);

            const bool current = entry.name == name && entry.source == source;
            if (current)
                currentEntryId = id;
            box.addItem (entry.name + (current && modified ? " *" : ""), id);
        }
    }

    box.addSeparator();
    box.addItem ("Save As User...", kSaveAsUserId);

    // 7. The item to select.
    int selectedId = kInitId;
    if (! namesInit (name))
    {
        if (currentEntryId != 0)
        {
            selectedId = currentEntryId;
        }
        else
        {
            int matches = 0, matchId = 0;
            if (source == Source::None)
                for (size_t k = 0; k < editor.presetMenuEntries.size(); ++k)
                    if (editor.presetMenuEntries[k].name == name)
                    {
                        ++matches;
                        matchId = (int) k + kFirstEntryId;
                    }

            if (matches == 1)
            {
                selectedId = matchId;
            }
            else
            {
                // The sound names a preset that no list holds (moved, deleted, or ambiguous).
                box.addItem (name + " *", kNameWithStarId);
                selectedId = kNameWithStarId;
            }
        }
    }

    // 8.
    box.setSelectedId (selectedId, juce::dontSendNotification);
    editor.refreshingPresetBox = false;
    editor.shownPresetName = name;
    editor.shownPresetModified = modified;

    // 9. The display window.
    editor.presetDisplayText = composeDisplayText (entries, name, source, modified);

    // 10., 11. Page and chain follow the processor (a load or an undo may have moved them).
    const int page = processor.sequencer.editPage.load (std::memory_order_relaxed);
    if (page != editor.shownPage)
        editor.switchEditPage (page);
    editor.chainButton.setToggleState (processor.sequencer.chainMode.load (std::memory_order_relaxed),
                                       juce::dontSendNotification);
    editor.refreshLaneLengthChoices (false);

    // 12. DELETE only for a user preset whose file is there.
    const auto currentName = readPresetName (processor);
    editor.deletePresetButton.setEnabled (! namesInit (currentName) && readPresetSource (processor) == Source::User
                                          && processor.isUserPreset (currentName));
}

//==============================================================================
void KVPresetRow::presetBoxChanged (KVEditor& editor)
{
    if (editor.refreshingPresetBox)
        return;

    auto& processor = editor.processor;
    const int id = editor.presetBox.getSelectedId();

    if (id == kNameWithStarId)
        return;

    if (id == kInitId)
    {
        loadAsOneEdit (processor, [&processor] { processor.loadInitPreset(); });
    }
    else if (id == kSaveAsUserId)
    {
        KVPresetDialogs::saveAsUserPreset (editor);
    }
    else if (id == kBrowseId)
    {
        KVPresetBrowser::open (editor);
    }
    else
    {
        const int k = id - kFirstEntryId;
        if (k >= 0 && k < (int) editor.presetMenuEntries.size())
        {
            const auto entry = editor.presetMenuEntries[(size_t) k];
            loadAsOneEdit (processor, [&processor, &entry] { processor.loadPreset (entry); });
        }
    }

    editor.refreshPresetControls();
}

void KVPresetRow::previousClicked (KVEditor& editor)
{
    editor.prevFlash = KVSequencerButtons::kFlashTicks;
    editor.repaint();
    editor.refreshPresetControls();

    const auto& ids = editor.presetMenuIds;
    if (ids.size() < 2)
        return;

    const auto it = std::find (ids.begin(), ids.end(), editor.presetBox.getSelectedId());
    if (it == ids.end() || it == ids.begin())
        return;

    editor.presetBox.setSelectedId (*(it - 1), juce::sendNotificationSync);
}

void KVPresetRow::nextClicked (KVEditor& editor)
{
    editor.nextFlash = KVSequencerButtons::kFlashTicks;
    editor.repaint();
    editor.refreshPresetControls();

    const auto& ids = editor.presetMenuIds;
    if (ids.size() < 2)
        return;

    const auto it = std::find (ids.begin(), ids.end(), editor.presetBox.getSelectedId());
    const size_t p = it == ids.end() ? 0 : (size_t) (it - ids.begin());
    if (p + 1 >= ids.size())
        return;

    editor.presetBox.setSelectedId (ids[p + 1], juce::sendNotificationSync);
}

void KVPresetRow::initClicked (KVEditor& editor)
{
    editor.initFlash = KVSequencerButtons::kFlashTicks;
    editor.repaint();
    auto& processor = editor.processor;
    loadAsOneEdit (processor, [&processor] { processor.loadInitPreset(); });
    editor.refreshPresetControls();
}

void KVPresetRow::saveClicked (KVEditor& editor)
{
    editor.saveFlash = KVSequencerButtons::kFlashTicks;
    editor.repaint();
    KVPresetDialogs::promptSavePreset (editor);
}

void KVPresetRow::deleteClicked (KVEditor& editor)
{
    editor.deleteFlash = KVSequencerButtons::kFlashTicks;
    editor.repaint();
    KVPresetDialogs::deleteCurrentPreset (editor);
}
