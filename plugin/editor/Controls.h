#pragma once

// The three control classes of the panel. All of them are invisible hit areas laid over the
// artwork; what they add to the framework widgets is the way the panel is played: vertical-drag
// knobs with a Shift fine mode, arrow-key steps, Cmd-click resets, a wheel that groups its
// events, a tempo-division mode for the LFO rate knob, and hooks through which the editor turns
// every gesture into one undoable edit.

#include <juce_gui_basics/juce_gui_basics.h>
#include <functional>

class KVSlider : public juce::Slider
{
public:
    enum KnobKind
    {
        PanelKnob = 0,
        StepKnob = 2
    };

    explicit KVSlider (int kind = PanelKnob) : knobKind (kind) {}

    void mouseEnter (const juce::MouseEvent& e) override;
    void mouseDown (const juce::MouseEvent& e) override;
    void mouseDrag (const juce::MouseEvent& e) override;
    void mouseUp (const juce::MouseEvent& e) override;
    void mouseWheelMove (const juce::MouseEvent& e, const juce::MouseWheelDetails& wheel) override;
    bool keyPressed (const juce::KeyPress& key) override;
    double proportionOfLengthToValue (double proportion) override;
    double valueToProportionOfLength (double value) override;

    // One arrow-key step up (+1) or down (-1).
    void nudgeByArrowDirection (int direction);

    // Whether the knob currently shows tempo divisions.
    bool isSynced() const { return syncPredicate != nullptr && syncPredicate(); }

    std::function<bool()> syncPredicate;
    std::function<void (KVSlider&)> onPressStart;
    std::function<void (KVSlider&)> onPressEnd;
    std::function<bool (const juce::KeyPress&)> keyHandler;
    std::function<void (KVSlider&)> onWheelStart;
    std::function<void (KVSlider&)> onNudgeStart;
    std::function<void (KVSlider&)> onNudgeEnd;

    int knobKind = PanelKnob;
    double nudgeStep = 0.0;
    bool nudgeProportional = false;
    bool resetOnCommandClick = false;
    double resetValue = 0.0;

    bool fineDragActive = false;
    juce::Point<float> fineDragStart;
    double fineDragStartProportion = 0.0;

    // Vertical mouse travel (pixels) of a Shift drag across the whole knob travel.
    static constexpr double kFineDragPixels = 2000.0;

private:
    void startFineDrag (juce::Point<float> position);
    void setValueClamped (double value);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (KVSlider)
};

class KVComboBox : public juce::ComboBox
{
public:
    enum BoxKind
    {
        PanelChoice = 0,
        PresetChoice = 2
    };

    explicit KVComboBox (int kind = PanelChoice) : boxKind (kind) {}

    void mouseDown (const juce::MouseEvent& e) override;
    void mouseWheelMove (const juce::MouseEvent& e, const juce::MouseWheelDetails& wheel) override;
    bool keyPressed (const juce::KeyPress& key) override;

    std::function<void (KVComboBox&)> onPressStart;
    std::function<bool (const juce::KeyPress&)> keyHandler;
    int boxKind = PanelChoice;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (KVComboBox)
};

class KVTextButton : public juce::TextButton
{
public:
    // 0: parameter toggles and the trigger key, 1: plain keys, 2: the reset key.
    explicit KVTextButton (const juce::String& buttonText = {}, int kind = 0) : juce::TextButton (buttonText), buttonKind (kind) {}

    void mouseDown (const juce::MouseEvent& e) override;
    void mouseUp (const juce::MouseEvent& e) override;
    bool keyPressed (const juce::KeyPress& key) override;

    std::function<void (KVTextButton&)> onPressStart;
    std::function<void (KVTextButton&)> onPressEnd;
    std::function<bool (const juce::KeyPress&)> keyHandler;
    int buttonKind = 0;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (KVTextButton)
};
