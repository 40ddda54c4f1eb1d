#pragma once

// KVPresetBrowser: the full-window preset browser overlay, a light card on the dimmed panel that
// lists every preset (factory, user and legacy folders) with a search field, a source filter
// (ALL, FACTORY, USER) and the buttons LOAD, SAVE AS USER, DELETE and CLOSE. Opened by the preset
// box's "Browse Presets..." item; CLOSE, Escape and the undo key close it.

#include "../PluginProcessor.h"

#include <juce_gui_basics/juce_gui_basics.h>
#include <vector>

class KVEditor;

// The browser's flat text buttons.
class KVBrowserButton : public juce::Button
{
public:
    explicit KVBrowserButton (const juce::String& buttonText) : juce::Button (buttonText) {}
    ~KVBrowserButton() override;

    void paintButton (juce::Graphics& g, bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (KVBrowserButton)
};

class KVPresetBrowser : public juce::Component,
                        public juce::ListBoxModel
{
public:
    explicit KVPresetBrowser (KVEditor& editor);
    ~KVPresetBrowser() override;

    // Opens the browser over the editor (or re-reads an open one) and gives it the focus.
    static void open (KVEditor& editor);
    // Destroys the editor's browser; nothing of it may be touched afterwards.
    static void close (KVEditor& editor);

    void reload();
    void applyFilter();
    void updateButtonState();
    void loadSelectedPreset();
    void deleteSelectedPreset();

    // ----- juce::Component ----------------------------------------------------------------------
    void mouseMove (const juce::MouseEvent&) override;
    void mouseExit (const juce::MouseEvent&) override;
    void paint (juce::Graphics& g) override;
    bool keyPressed (const juce::KeyPress& key) override;
    void resized() override;

    // ----- juce::ListBoxModel -------------------------------------------------------------------
    int getNumRows() override;
    void paintListBoxItem (int row, juce::Graphics& g, int width, int height, bool rowIsSelected) override;
    void listBoxItemDoubleClicked (int row, const juce::MouseEvent&) override;
    void selectedRowsChanged (int lastRowSelected) override;
    // Return on the focused list loads the selected row, as Return on the browser does.
    void returnKeyPressed (int lastRowSelected) override;

    // ----- members ------------------------------------------------------------------------------
    KVEditor& editor;
    juce::TextEditor searchBox;
    juce::ListBox presetList;
    KVBrowserButton loadButton { "LOAD" }, saveAsUserButton { "SAVE AS USER" }, deleteButton { "DELETE" },
        closeButton { "CLOSE" }, allButton { "ALL" }, factoryButton { "FACTORY" }, userButton { "USER" };
    std::vector<KVProcessor::PresetEntry> allEntries;
    std::vector<KVProcessor::PresetEntry> filteredEntries;
    juce::Rectangle<int> findRow, sourceRow, listArea, buttonRow, sourceHeader, presetHeader;
    int sourceFilter = 0;  // 0 all, 1 factory, 2 user
    int selectedRow = 0;   // index into filteredEntries, -1 = none

private:
    // Removes a user preset's file after the question was answered with "Delete".
    void finishDelete (const KVProcessor::PresetEntry& entry);
    bool isCurrentPreset (const KVProcessor::PresetEntry& entry) const;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (KVPresetBrowser)
};
