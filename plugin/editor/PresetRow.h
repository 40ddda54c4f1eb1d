#pragma once

// The preset selector row along the bottom of the panel: the invisible preset box over the
// display window (its pop-up lists every preset by folder, plus "Browse Presets..." and
// "Save As User..."), the display text, and the buttons "<", ">", SAVE, DELETE and INIT.
//
// The controls and the row's bookkeeping are members of KVEditor; these functions give them
// their behaviour. Every preset load from the row is one undoable edit.

#include "../PluginProcessor.h"

#include <juce_core/juce_core.h>
#include <vector>

class KVEditor;

class KVPresetRow
{
public:
    // Item ids of the preset box besides the INIT item (1) and the entries (2, 3, ...).
    static constexpr int kNameWithStarId = 990001;
    static constexpr int kBrowseId = 990002;
    static constexpr int kSaveAsUserId = 990003;
    static constexpr int kInitId = 1;
    static constexpr int kFirstEntryId = 2;

    // Installs the preset box's change handler and the click handlers of the five buttons.
    static void attach (KVEditor& editor);

    // Rebuilds the preset box, the display text and the DELETE enablement from the processor,
    // and follows the processor's page and chain mode (KVEditor::refreshPresetControls).
    static void refresh (KVEditor& editor);

    // Handlers (also what the installed handlers run).
    static void presetBoxChanged (KVEditor& editor);
    static void previousClicked (KVEditor& editor);
    static void nextClicked (KVEditor& editor);
    static void initClicked (KVEditor& editor);
    static void saveClicked (KVEditor& editor);
    static void deleteClicked (KVEditor& editor);

    // The display window's text: prefix, index with three digits, two blanks, name, " *" when
    // modified ("INIT 000  Init", "FAC 010  Snare", "USR 014  Kick *").
    static juce::String composeDisplayText (const std::vector<KVProcessor::PresetEntry>& entries,
                                            const juce::String& name, KVProcessor::PresetSource source,
                                            bool modified);
};
