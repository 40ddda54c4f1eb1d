#pragma once

// KVEditor: the panel window. A bitmap panel with invisible controls laid over their printed
// counterparts; the editor's two paint passes (PanelRenderer.cpp, KnobPointers.cpp) draw
// everything that moves. A 41 ms tick mirrors the processor's state into the panel.
//
// The look and feel, the sequencer-button actions, the preset row and the preset browser plug in
// through the hooks described in docs/dev/editor-frame.md; each is compiled in when its header
// is present.

#include "../PluginProcessor.h"
#include "Controls.h"
#include "EditorLayout.h"

#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_gui_basics/juce_gui_basics.h>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#if __has_include("LookAndFeel.h")
 #include "LookAndFeel.h"
 #define PULSKAR_EDITOR_HAS_LOOK_AND_FEEL 1
using KVEditorLookAndFeel = KVLookAndFeel;
#else
 #define PULSKAR_EDITOR_HAS_LOOK_AND_FEEL 0
using KVEditorLookAndFeel = juce::LookAndFeel_V4;
#endif

class KVPresetBrowser;
class KVSequencerButtons;
class KVPresetRow;
class KVPresetDialogs;

class KVEditor : public juce::AudioProcessorEditor,
                 public juce::Timer
{
public:
    enum class Lane
    {
        Pitch = 0,
        Velocity,
        ModA,
        ModB
    };

    explicit KVEditor (KVProcessor& processor);
    ~KVEditor() override;

    // ----- juce::Component / juce::Timer --------------------------------------------------------
    void visibilityChanged() override;
    void paint (juce::Graphics& g) override;              // PanelRenderer.cpp
    void paintOverChildren (juce::Graphics& g) override;  // KnobPointers.cpp
    bool keyPressed (const juce::KeyPress& key) override;
    void resized() override;
    void timerCallback() override;

    // ----- frame --------------------------------------------------------------------------------
    void switchEditPage (int page);
    void refreshLaneLengthChoices (bool force);
    void refreshPresetControls();

    // ----- controls -----------------------------------------------------------------------------
    void setupKnob (KVSlider& knob);
    void setupChoice (KVComboBox& box);
    void beginKnobEdit (KVSlider& knob);
    juce::String formatKnobValue (const KVSlider& knob) const;

    KVSlider& stepKnob (Lane lane, int step) { return *stepKnobs[(size_t) lane][(size_t) step]; }
    KVSlider* findKnob (const juce::String& parameterId) const;
    KVComboBox* findChoiceBox (const juce::String& parameterId) const;
    KVTextButton* findToggle (const juce::String& parameterId) const;
    juce::TextButton* findChoiceButton (const juce::String& boxName, int itemId) const;

    // The mouse position in editor coordinates, rounded.
    juce::Point<int> currentMouseInEditor() const;
    // The showing step knob under the mouse (steps 0..15, pitch, velocity, mod A, mod B in that
    // order per step), or nullptr. Only pitch knobs when pitchOnly is true.
    KVSlider* stepKnobUnderMouse (bool pitchOnly) const;

    // Plain value of a parameter, or fallback when there is no such parameter.
    float parameterValue (const juce::String& id, float fallback) const;

    // Scale factors of the current size against the panel artwork.
    float scaleX() const { return (float) getWidth() / kv::layout::kPanelWidth; }
    float scaleY() const { return (float) getHeight() / kv::layout::kPanelHeight; }

    // Tests point this at a fixed position instead of the real mouse (headless runs have none).
    std::function<juce::Point<float>()> mousePositionOverride;

    // ----- members, in construction order -------------------------------------------------------
    KVProcessor& processor;
    KVEditorLookAndFeel lookAndFeel;
    juce::Image panelImage;

    KVSlider* pressedKnob = nullptr;
    KVSlider* wheelKnob = nullptr;
    double lastWheelTime = 0.0;

    // Preset row (actions: PresetRow).
    KVComboBox presetBox { KVComboBox::PresetChoice };
    KVTextButton prevPresetButton { "<", 1 }, nextPresetButton { ">", 1 }, savePresetButton { "SAVE", 1 },
                 deletePresetButton { "DELETE", 1 }, initPresetButton { "INIT", 1 };
    std::unique_ptr<juce::FileChooser> fileChooser;
    std::unique_ptr<KVPresetBrowser> presetBrowser;
    std::vector<KVProcessor::PresetEntry> presetMenuEntries;
    std::vector<int> presetMenuIds;
    juce::String shownPresetName;
    bool shownPresetModified = false;
    bool refreshingPresetBox = false;
    juce::String presetDisplayText { "INIT 000  Init" };

    // Sequencer transport and page buttons (actions: SequencerButtons).
    KVTextButton runStopButton { "RUN/STOP", 1 }, triggerButton { {}, 0 }, resetButton { {}, 2 };
    KVTextButton patternAButton { "PATTERN A", 1 }, patternBButton { "PATTERN B", 1 }, chainButton { "A + B", 1 };
    juce::TextButton velocityClearButton;

    // Knobs of the panel, in layout-table order (clockMult and swing included).
    std::vector<std::unique_ptr<KVSlider>> panelKnobs;
    // Parameter toggles: hardSync, noiseVcfBypass, clickVcfBypass, lfoSync, lfoRetrig.
    std::vector<std::unique_ptr<KVTextButton>> toggleButtons;
    std::vector<juce::String> toggleIds;
    // Visible choice boxes (lfoDest, modADest, modBDest), lane-length boxes and the hidden value
    // holders of the choice-button rows.
    std::vector<std::unique_ptr<KVComboBox>> choiceBoxes;
    std::vector<std::unique_ptr<KVComboBox>> laneLengthBoxes;
    std::vector<std::unique_ptr<KVComboBox>> hiddenChoiceBoxes;
    // One button per item of each choice-button row, row by row.
    struct ChoiceButton
    {
        std::unique_ptr<juce::TextButton> button;
        int row = 0;
        int itemId = 0;
    };
    std::vector<ChoiceButton> choiceButtons;
    std::array<std::array<std::unique_ptr<KVSlider>, kv::kNumSteps>, kv::layout::kNumLanes> stepKnobs;

    int shownPage = 0;
    bool laneChoicesChained = false;
    int displayedStep = -1;
    bool holdFirstStep = false;
    int triggerFlash = 0, velocityClearFlash = 0, resetFlash = 0, runClickCountdown = 0, blinkPhase = 0,
        prevFlash = 0, nextFlash = 0, saveFlash = 0, deleteFlash = 0, initFlash = 0;
    int lastMidiNoteCount = 0;

    std::vector<std::unique_ptr<juce::AudioProcessorValueTreeState::SliderAttachment>> sliderAttachments;
    std::vector<std::unique_ptr<juce::AudioProcessorValueTreeState::ComboBoxAttachment>> comboAttachments;
    std::vector<std::unique_ptr<juce::AudioProcessorValueTreeState::ButtonAttachment>> buttonAttachments;

private:
    friend class KVSequencerButtons;
    friend class KVPresetRow;
    friend class KVPresetDialogs;
    friend class KVPresetBrowser;

    void buildControls();
    void createAttachments();
    void nameControlsAndSetResetValues();
    void selectChoiceItem (int row, int itemId);
    void drawKnobPointer (juce::Graphics& g, const KVSlider& knob);  // KnobPointers.cpp

    // Artwork scaled to the current size (physical pixels), rebuilt when the size changes.
    juce::Image scaledPanelImage;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (KVEditor)
};
