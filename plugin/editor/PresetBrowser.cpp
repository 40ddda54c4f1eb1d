#include "PresetBrowser.h"

#include "Fonts.h"
#include "LookAndFeel.h"
#include "PluginEditor.h"
#include "PresetDialogs.h"

#include <algorithm>

namespace
{
using Source = KVProcessor::PresetSource;
using kv::paletteColour;

constexpr int kCardMaxWidth = 684;
constexpr int kCardMaxHeight = 486;

// "Menlo" at the given height.
juce::Font menlo (float height, bool bold)
{
    auto font = kv::fonts::mono (height);
    return bold ? font.boldened() : font;
}

juce::String sourceTag (Source source)
{
    switch (source)
    {
        case Source::Factory: return "FAC";
        case Source::User:    return "USR";
        case Source::Legacy:  return "LEG";
        case Source::None:    break;
    }
    return "INIT";
}

// The card and content origin for a browser of size W x H.
struct CardGeometry
{
    int pw, ph, px, py, x0, y0, cw, ch;

    CardGeometry (int W, int H)
    {
        pw = std::min (W, kCardMaxWidth) - 64;
        ph = std::min (H, kCardMaxHeight) - 56;
        px = W / 2 - pw / 2;
        py = H / 2 - ph / 2;
        x0 = px + 18;
        y0 = py + 12;
        cw = std::max (0, std::min (W, kCardMaxWidth) - 100);
        ch = std::max (0, std::min (H, kCardMaxHeight) - 80);
    }
};
} // namespace

//==============================================================================
KVBrowserButton::~KVBrowserButton() = default;

void KVBrowserButton::paintButton (juce::Graphics& g, bool highlighted, bool down)
{
    using namespace kv;
    const juce::Rectangle<float> b (0.5f, 0.5f, (float) std::max (0, getWidth() - 1), (float) std::max (0, getHeight() - 1));
    const bool on = getToggleState();
    const bool active = down || on;

    if (active)
    {
        g.setColour (paletteColour (kBrowserHighlight));
        g.fillRect (b);
    }
    else if (highlighted && isEnabled())
    {
        g.setColour (paletteColour (kBrowserText, 0x14));
        g.fillRect (b);
        g.setColour (paletteColour (kBrowserText, 0x57));
        g.drawRect (b, 1.0f);
    }

    const auto alpha = (juce::uint8) (isEnabled() ? 0xff : 0x47);
    g.setColour (paletteColour (active ? kBrowserBack : kBrowserText, alpha));
    g.setFont (menlo (13.0f, true));
    g.drawFittedText ((on ? "> " : "  ") + getButtonText(), juce::Rectangle<int> (4, 0, std::max (0, getWidth() - 8), getHeight()),
                      juce::Justification::centred, 1);
}

//==============================================================================
KVPresetBrowser::KVPresetBrowser (KVEditor& e) : editor (e)
{
    using namespace kv;
    setWantsKeyboardFocus (true);
    setOpaque (false);

    searchBox.setTextToShowWhenEmpty ("SEARCH", paletteColour (kBrowserText, 0x73));
    searchBox.setColour (juce::TextEditor::backgroundColourId, paletteColour (kBrowserBack));
    searchBox.setColour (juce::TextEditor::outlineColourId, juce::Colour (0x00000000u));
    searchBox.setColour (juce::TextEditor::focusedOutlineColourId, paletteColour (kBrowserText, 0x8c));
    searchBox.setColour (juce::TextEditor::textColourId, paletteColour (kBrowserText));
    searchBox.setColour (juce::TextEditor::highlightColourId, paletteColour (kBrowserText, 0x33));
    searchBox.setFont (menlo (15.0f, false));
    searchBox.onTextChange = [this] { applyFilter(); };
    addAndMakeVisible (searchBox);

    presetList.setModel (this);
    presetList.setRowHeight (27);
    presetList.setMultipleSelectionEnabled (false);
    presetList.setColour (juce::ListBox::backgroundColourId, paletteColour (kBrowserBack));
    presetList.setColour (juce::ListBox::outlineColourId, juce::Colour (0x00000000u));
    presetList.getVerticalScrollBar().setColour (juce::ScrollBar::thumbColourId, paletteColour (kBrowserText, 0x94));
    presetList.addMouseListener (this, true);
    addAndMakeVisible (presetList);

    const auto setUp = [this] (KVBrowserButton& button, std::function<void()> action)
    {
        button.setClickingTogglesState (false);
        button.setTriggeredOnMouseDown (true);
        button.onClick = std::move (action);
        addAndMakeVisible (button);
    };
    setUp (loadButton, [this] { loadSelectedPreset(); });
    setUp (saveAsUserButton, [this] { KVPresetDialogs::saveAsUserPreset (editor); });
    setUp (deleteButton, [this] { deleteSelectedPreset(); });
    setUp (closeButton, [this] { close (editor); });
    setUp (allButton, [this] { sourceFilter = 0; applyFilter(); });
    setUp (factoryButton, [this] { sourceFilter = 1; applyFilter(); });
    setUp (userButton, [this] { sourceFilter = 2; applyFilter(); });
}

KVPresetBrowser::~KVPresetBrowser()
{
    presetList.removeMouseListener (this);
    presetList.setModel (nullptr);
}

void KVPresetBrowser::open (KVEditor& editor)
{
    if (editor.presetBrowser == nullptr)
    {
        auto browser = std::make_unique<KVPresetBrowser> (editor);
        browser->reload();
        editor.presetBrowser = std::move (browser);
        editor.addAndMakeVisible (*editor.presetBrowser);
    }
    else
    {
        editor.presetBrowser->reload();
    }

    auto& browser = *editor.presetBrowser;
    browser.setBounds (editor.getLocalBounds());
    browser.toFront (true);
    browser.grabKeyboardFocus();
    editor.repaint();
}

void KVPresetBrowser::close (KVEditor& editor)
{
    editor.presetBrowser.reset();
    editor.repaint();
}

//==============================================================================
void KVPresetBrowser::reload()
{
    allEntries = editor.processor.getPresetEntries();
    applyFilter();
}

void KVPresetBrowser::applyFilter()
{
    filteredEntries.clear();
    const auto query = searchBox.getText().trim().toLowerCase();

    for (const auto& entry : allEntries)
    {
        if (sourceFilter == 1 && entry.source != Source::Factory)
            continue;
        if (sourceFilter == 2 && entry.source != Source::User)
            continue;
        if (query.isNotEmpty() && ! entry.name.toLowerCase().contains (query))
            continue;
        filteredEntries.push_back (entry);
    }

    // The list may report a changed selection while it updates; the row kept is decided below.
    const int keptRow = selectedRow;
    presetList.updateContent();
    selectedRow = keptRow;

    // The selection is kept by position: the same row, or the last one when the list shrank.
    if (! filteredEntries.empty())
    {
        selectedRow = juce::jlimit (0, (int) filteredEntries.size() - 1, selectedRow);
        presetList.selectRow (selectedRow, true, true);
    }
    else
    {
        selectedRow = -1;
        presetList.deselectAllRows();
    }

    allButton.setToggleState (sourceFilter == 0, juce::dontSendNotification);
    factoryButton.setToggleState (sourceFilter == 1, juce::dontSendNotification);
    userButton.setToggleState (sourceFilter == 2, juce::dontSendNotification);

    updateButtonState();
    repaint();
}

void KVPresetBrowser::updateButtonState()
{
    const bool valid = selectedRow >= 0 && selectedRow < (int) filteredEntries.size();
    loadButton.setEnabled (valid);
    deleteButton.setEnabled (valid && filteredEntries[(size_t) selectedRow].source == Source::User);
    saveAsUserButton.setEnabled (true);
}

void KVPresetBrowser::loadSelectedPreset()
{
    if (selectedRow < 0 || selectedRow >= (int) filteredEntries.size())
        return;

    const auto entry = filteredEntries[(size_t) selectedRow];
    auto& processor = editor.processor;
    processor.beginUiEdit ({});
    const bool ok = processor.loadPreset (entry);
    processor.endUiEdit();

    if (ok)
    {
        editor.refreshPresetControls();
        editor.repaint();
    }
    else
    {
        KVPresetDialogs::showLoadFailed (entry.name);
    }
}

void KVPresetBrowser::deleteSelectedPreset()
{
    if (selectedRow < 0 || selectedRow >= (int) filteredEntries.size())
        return;

    const auto entry = filteredEntries[(size_t) selectedRow];
    juce::Component::SafePointer<KVPresetBrowser> safeBrowser (this);
    KVPresetDialogs::presenter().ask (KVPresetDialogs::deleteQuestion (KVPresetDialogs::browserDeleteMessage (entry.name)),
                                      [safeBrowser, entry] (int result)
                                      {
                                          if (result == 1)
                                              if (auto* browser = safeBrowser.getComponent())
                                                  browser->finishDelete (entry);
                                      });
}

void KVPresetBrowser::finishDelete (const KVProcessor::PresetEntry& entry)
{
    auto& processor = editor.processor;
    const auto clean = KVProcessor::sanitisePresetName (entry.name);

    const bool deleted = entry.source == Source::User && clean.isNotEmpty() && clean != "Init"
                         && entry.file.getFullPathName().isNotEmpty() && entry.file.existsAsFile()
                         && entry.file.deleteFile();

    if (deleted)
    {
        juce::String currentName;
        Source currentSource;
        {
            const juce::ScopedLock lock (processor.presetLock);
            currentName = processor.currentPresetName;
        }
        {
            const juce::ScopedLock lock (processor.presetLock);
            currentSource = processor.currentPresetSource;
        }
        if (currentName == clean && currentSource == Source::User)
            processor.loadInitPreset();
        KVPresetDialogs::notifyHostOfPresetListChange (processor);
    }
    else
    {
        KVPresetDialogs::showDeleteFailed (entry.name);
    }

    editor.refreshPresetControls();
    reload();
}

bool KVPresetBrowser::isCurrentPreset (const KVProcessor::PresetEntry& entry) const
{
    auto& processor = editor.processor;
    juce::String name;
    Source source;
    {
        const juce::ScopedLock lock (processor.presetLock);
        name = processor.currentPresetName;
    }
    {
        const juce::ScopedLock lock (processor.presetLock);
        source = processor.currentPresetSource;
    }
    return entry.name == name && entry.source == source;
}

//==============================================================================
void KVPresetBrowser::mouseMove (const juce::MouseEvent&)
{
    presetList.repaint();
}

void KVPresetBrowser::mouseExit (const juce::MouseEvent&)
{
    presetList.repaint();
}

bool KVPresetBrowser::keyPressed (const juce::KeyPress& key)
{
    const int code = key.getKeyCode();
    if (code == juce::KeyPress::returnKey)
    {
        loadSelectedPreset();
        return true;
    }
    if (code == juce::KeyPress::escapeKey)
    {
        close (editor);
        return true;
    }
    // Everything else is the editor's (the undo key closes the browser and undoes).
    auto& owner = editor;
    return owner.keyPressed (key);
}

void KVPresetBrowser::paint (juce::Graphics& g)
{
    using namespace kv;
    const int W = getWidth(), H = getHeight();
    const CardGeometry card (W, H);

    g.fillAll (juce::Colour (0x99050403u));

    g.setColour (paletteColour (kBrowserBack));
    g.fillRoundedRectangle ((float) card.px, (float) card.py, (float) card.pw, (float) card.ph, 7.0f);
    g.setColour (paletteColour (kBrowserBezel, 0xd1));
    g.drawRoundedRectangle ((float) card.px + 0.5f, (float) card.py + 0.5f, (float) card.pw - 1.0f, (float) card.ph - 1.0f,
                            7.0f, 1.0f);

    const int x0 = card.x0, y0 = card.y0, cw = card.cw;

    g.setColour (paletteColour (kBrowserText));
    g.setFont (menlo (17.0f, true));
    g.drawText ("PULSKAR-16 / SOUND ARCHIVE", juce::Rectangle<int> (x0, y0, std::max (0, std::min (W, kCardMaxWidth) - 192), 28),
                juce::Justification::centredLeft, false);

    g.setColour (paletteColour (kBrowserText, 0xb8));
    g.setFont (menlo (12.0f, false));
    g.drawText (juce::String ((int) filteredEntries.size()) + " PRESETS", juce::Rectangle<int> (x0 + cw - 175, y0, 93, 28),
                juce::Justification::centredRight, false);

    g.setColour (paletteColour (kBrowserText, 0x52));
    g.fillRect (x0, card.py + 44, cw, 1);

    g.setColour (paletteColour (kBrowserText, 0xd1));
    g.setFont (menlo (13.0f, true));
    g.drawText ("FIND", juce::Rectangle<int> (findRow.getX(), findRow.getY(), 74, findRow.getHeight()),
                juce::Justification::centredLeft, false);
    g.drawText ("SOURCE", juce::Rectangle<int> (sourceRow.getX(), sourceRow.getY(), 74, sourceRow.getHeight()),
                juce::Justification::centredLeft, false);

    g.setColour (paletteColour (kBrowserText, 0x29));
    g.fillRect (x0, findRow.getBottom() + 3, cw, 1);
    g.fillRect (x0, sourceRow.getBottom() + 3, cw, 1);

    g.setColour (paletteColour (kBrowserText, 0xb8));
    g.setFont (menlo (12.0f, true));
    g.drawText ("SOURCE", sourceHeader, juce::Justification::centredLeft, false);
    g.drawText ("PRESET", presetHeader, juce::Justification::centredLeft, false);

    g.setColour (paletteColour (kBrowserText, 0x52));
    g.fillRect (x0, listArea.getBottom(), cw, 1);
    g.fillRect (x0, buttonRow.getY() - 5, cw, 1);
}

void KVPresetBrowser::resized()
{
    const CardGeometry card (getWidth(), getHeight());
    const int px = card.px, cw = card.cw;
    juce::Rectangle<int> area (card.x0, card.y0, cw, card.ch);

    auto header = area.removeFromTop (28);
    closeButton.setBounds (header.removeFromRight (std::min (cw, 74)));

    area.removeFromTop (8);
    findRow = area.removeFromTop (30);
    searchBox.setBounds (px + 94, findRow.getY() + 1, std::max (0, cw - 76), std::max (2, findRow.getHeight()) - 2);

    area.removeFromTop (8);
    sourceRow = area.removeFromTop (30);
    {
        juce::Rectangle<int> filters (px + 94, sourceRow.getY(), std::max (0, cw - 76), sourceRow.getHeight());
        const int q = (std::max (cw, 76) - 88) / 3;
        allButton.setBounds (filters.removeFromLeft (q));
        filters.removeFromLeft (6);
        factoryButton.setBounds (filters.removeFromLeft (q));
        filters.removeFromLeft (6);
        userButton.setBounds (filters);
    }

    area.removeFromTop (8);
    const auto headerBand = area.removeFromTop (22);
    const int sourceColumn = std::min (cw, 100);
    sourceHeader = { px + 42, headerBand.getY(), std::max (0, sourceColumn - 24), headerBand.getHeight() };
    presetHeader = { card.x0 + sourceColumn, headerBand.getY(), cw - sourceColumn, headerBand.getHeight() };

    buttonRow = area.removeFromBottom (34);
    listArea = area.withTrimmedBottom (9);
    presetList.setBounds (listArea);

    {
        auto row = buttonRow;
        const int t = cw / 3;
        loadButton.setBounds (row.removeFromLeft (t));
        saveAsUserButton.setBounds (row.removeFromLeft (t));
        deleteButton.setBounds (row);
    }

    updateButtonState();
}

//==============================================================================
int KVPresetBrowser::getNumRows()
{
    return (int) filteredEntries.size();
}

void KVPresetBrowser::paintListBoxItem (int row, juce::Graphics& g, int width, int height, bool rowIsSelected)
{
    using namespace kv;
    if (row < 0 || row >= (int) filteredEntries.size())
        return;

    const auto& entry = filteredEntries[(size_t) row];
    bool hot = false;

    if (rowIsSelected)
    {
        g.setColour (paletteColour (kBrowserHighlight));
        g.fillRect (0, 0, width, height);
    }
    else
    {
        if (presetList.isMouseOver (true))
        {
            const auto mouse = presetList.getMouseXYRelative();
            hot = presetList.getRowContainingPosition (mouse.x, mouse.y) == row;
        }
        if (hot)
        {
            g.setColour (paletteColour (kBrowserText, 0x17));
            g.fillRect (0, 0, width, height);
            g.setColour (paletteColour (kBrowserText, 0x57));
            g.drawRect (0, 0, width, height, 1);
        }
        g.setColour (paletteColour (kBrowserText, 0x1a));
        g.fillRect (0, height - 1, width, 1);
    }

    if (isCurrentPreset (entry))
    {
        g.setColour (paletteColour (rowIsSelected ? kBrowserBack : kBrowserHot));
        g.fillEllipse (9.0f, (float) (height / 2 - 3), 6.0f, 6.0f);
    }

    g.setFont (menlo (12.0f, true));
    g.setColour (rowIsSelected ? paletteColour (kBrowserBack, 0xd1) : paletteColour (kBrowserText, 0xb8));
    g.drawText (sourceTag (entry.source), juce::Rectangle<int> (24, 0, 70, height), juce::Justification::centredLeft, false);

    g.setFont (menlo (14.0f, false));
    g.setColour (paletteColour (rowIsSelected ? kBrowserBack : hot ? kBrowserHot : kBrowserText));
    g.drawText ((rowIsSelected ? ">> " : "   ") + entry.name, juce::Rectangle<int> (100, 0, width - 110, height),
                juce::Justification::centredLeft, true);
}

void KVPresetBrowser::listBoxItemDoubleClicked (int row, const juce::MouseEvent&)
{
    selectedRow = row;
    loadSelectedPreset();
}

void KVPresetBrowser::selectedRowsChanged (int lastRowSelected)
{
    selectedRow = lastRowSelected;
    updateButtonState();
}

void KVPresetBrowser::returnKeyPressed (int)
{
    loadSelectedPreset();
}
