#include "PluginEditor.h"

#include "BinaryData.h"
#include "ValueText.h"

#if __has_include("PresetBrowser.h")
 #include "PresetBrowser.h"
#else
// Stand-in until the preset browser exists: the editor only owns and destroys it.
class KVPresetBrowser : public juce::Component
{
};
#endif

#if __has_include("SequencerButtons.h")
 #include "SequencerButtons.h"
 #define PULSKAR_EDITOR_HAS_SEQUENCER_BUTTONS 1
#else
 #define PULSKAR_EDITOR_HAS_SEQUENCER_BUTTONS 0
#endif

#if __has_include("PresetRow.h")
 #include "PresetRow.h"
 #define PULSKAR_EDITOR_HAS_PRESET_ROW 1
#else
 #define PULSKAR_EDITOR_HAS_PRESET_ROW 0
#endif

#include <cmath>

namespace
{
using kv::layout::ControlType;
using kv::layout::Slot;

constexpr int kTickMs = 41;
constexpr double kWheelGestureMs = 400.0;
constexpr int kLaneLengthItems = 16;

const char* const kLaneStems[kv::layout::kNumLanes] = { "stepPitch", "stepVel", "stepModA", "stepModB" };

juce::StringArray itemsForHiddenBox (const juce::String& name)
{
    if (name == "vco1Wave")    return { "SQUARE", "TRIANGLE", "METAL", "SINE" };
    if (name == "vco2Wave")    return { "SQUARE", "TRIANGLE", "SINE" };
    if (name == "vcoEgShape")  return { "EXP", "LIN", "LOG" };
    if (name == "vcfMode")     return { "LP", "HP" };
    if (name == "lfoWave")     return { "TRI", "SAW", "SQR", "SH" };
    if (name == "seqPitchMod") return { "VCO 1+2", "OFF", "VCO 2" };
    return {};
}

void fillBox (juce::ComboBox& box, const juce::StringArray& items)
{
    for (int i = 0; i < items.size(); ++i)
        box.addItem (items[i], i + 1);
}

bool isBipolarEnvelopeAmount (const juce::String& id)
{
    return id == kv::ids::vco1EgAmt || id == kv::ids::vco2EgAmt || id == kv::ids::vcfEgAmt;
}

// Initial editor size from the remembered one: width limited to the panel's, height from the
// fixed aspect ratio; anything below the minimum falls back to the default size.
juce::Point<int> initialEditorSize (int storedWidth, int storedHeight)
{
    using namespace kv::layout;
    if (storedWidth >= kMinWidth && storedHeight >= kMinHeight)
    {
        const int width = juce::jmin (storedWidth, kMaxWidth);
        const float height = (float) width * kPanelHeight / kPanelWidth;
        return { width, (int) std::nearbyint (height) };
    }
    return { kDefaultWidth, kDefaultHeight };
}

bool commandAlone (const juce::ModifierKeys& mods)
{
    if (! mods.isCommandDown() || mods.isShiftDown() || mods.isAltDown())
        return false;
#if JUCE_MAC
    if (mods.isCtrlDown())
        return false;
#endif
    return true;
}

bool noCommandModifiers (const juce::ModifierKeys& mods)
{
    return ! mods.isCommandDown() && ! mods.isCtrlDown() && ! mods.isAltDown();
}

int upperKeyCode (const juce::KeyPress& key)
{
    return (int) juce::CharacterFunctions::toUpperCase ((juce::juce_wchar) key.getKeyCode());
}
} // namespace

//==============================================================================
KVEditor::KVEditor (KVProcessor& p)
    : juce::AudioProcessorEditor (p),
      processor (p),
      panelImage (juce::ImageCache::getFromMemory (BinaryData::orra_kv_panel_png, BinaryData::orra_kv_panel_pngSize))
{
    using namespace kv::layout;

    // The panel opens on the page the processor is editing (and playing, outside chain mode), so
    // opening the window never changes what the sequencer plays.
    shownPage = processor.sequencer.editPage.load (std::memory_order_relaxed) > 0 ? 1 : 0;

    // The remembered size is read before the constrainer can overwrite it.
    const auto startSize = initialEditorSize (processor.editorWidth.load (std::memory_order_relaxed),
                                              processor.editorHeight.load (std::memory_order_relaxed));

    setWantsKeyboardFocus (true);
    setResizable (true, true);
    setResizeLimits (kMinWidth, kMinHeight, kMaxWidth, kMaxHeight);
    if (auto* sizeConstrainer = getConstrainer())
        sizeConstrainer->setFixedAspectRatio ((double) (kPanelWidth / kPanelHeight));
    setSize (startSize.x, startSize.y);

    setLookAndFeel (&lookAndFeel);
    startTimer (kTickMs);

    buildControls();
    createAttachments();
    nameControlsAndSetResetValues();
    resized();

    switchEditPage (shownPage);
    refreshPresetControls();
}

KVEditor::~KVEditor()
{
    stopTimer();
    processor.endUiEdit();
    setLookAndFeel (nullptr);
}

//==============================================================================
void KVEditor::buildControls()
{
    using namespace kv::layout;

    const auto setupButton = [this] (juce::Button& button, bool toggles)
    {
        button.setAlpha (0.0f);
        button.setClickingTogglesState (toggles);
        button.setTriggeredOnMouseDown (true);
        addAndMakeVisible (button);
    };

    // Preset row.
    setupChoice (presetBox);
    presetBox.setJustificationType (juce::Justification::centredLeft);
#if PULSKAR_EDITOR_HAS_PRESET_ROW
    KVPresetRow::attach (*this);
#endif
    addAndMakeVisible (presetBox);
    for (auto* button : { &prevPresetButton, &nextPresetButton, &savePresetButton, &deletePresetButton, &initPresetButton })
        setupButton (*button, false);

    // Sequencer transport and pages.
    setupButton (runStopButton, false);
    setupButton (triggerButton, false);
    setupButton (resetButton, false);
    setupButton (patternAButton, true);
    setupButton (patternBButton, true);
    setupButton (chainButton, true);
    runStopButton.setTooltip ("Click to switch the sequencer in and out. Double-click to run it without the DAW transport");
    resetButton.setTooltip ("Reset sequencer now. Press while stopped to toggle the lamp: lamp on also resets to step 1 whenever playback starts");

    // Knobs, parameter toggles and choice boxes of the panel.
    for (const auto& control : kControls)
    {
        const juce::String id (control.name);
        switch (control.type)
        {
            case ControlType::Knob:
            {
                auto knob = std::make_unique<KVSlider> (KVSlider::PanelKnob);
                if (id == kv::ids::lfoRate)
                    knob->syncPredicate = [this] { return parameterValue (kv::ids::lfoSync, 0.0f) > 0.5f; };
                if (id == kv::ids::clockMult)
                    knob->setMouseDragSensitivity (180);
                setupKnob (*knob);
                addAndMakeVisible (*knob);
                panelKnobs.push_back (std::move (knob));
                break;
            }
            case ControlType::ToggleButton:
            {
                auto button = std::make_unique<KVTextButton> (juce::String(), 0);
                button->onPressStart = [this, id] (KVTextButton&) { processor.beginUiEdit ({ id }); };
                button->onPressEnd = [this] (KVTextButton&) { processor.endUiEdit(); };
                button->keyHandler = [this] (const juce::KeyPress& key) { return keyPressed (key); };
                setupButton (*button, true);
                toggleButtons.push_back (std::move (button));
                toggleIds.push_back (id);
                break;
            }
            case ControlType::ChoiceBox:
            {
                auto box = std::make_unique<KVComboBox> (KVComboBox::PanelChoice);
                fillBox (*box, id == kv::ids::lfoDest ? kv::lfoDestinationLabels() : kv::modDestinationLabels());
                box->setName (id);
                setupChoice (*box);
                addAndMakeVisible (*box);
                choiceBoxes.push_back (std::move (box));
                break;
            }
            case ControlType::LaneLength:
            case ControlType::Button:
                break;
        }
    }

    // The hidden value holders of the choice-button rows (not children of the editor).
    for (const auto& row : kChoiceButtonRows)
    {
        auto box = std::make_unique<KVComboBox> (KVComboBox::PanelChoice);
        fillBox (*box, itemsForHiddenBox (row.boxName));
        box->setName (row.boxName);
        setupChoice (*box);
        hiddenChoiceBoxes.push_back (std::move (box));
    }

    // Lane-length boxes.
    for (const auto& control : kControls)
    {
        if (control.type != ControlType::LaneLength)
            continue;
        auto box = std::make_unique<KVComboBox> (KVComboBox::PanelChoice);
        for (int n = 1; n <= kLaneLengthItems; ++n)
            box->addItem (juce::String (n), n);
        box->setName (control.name);
        setupChoice (*box);
        addAndMakeVisible (*box);
        laneLengthBoxes.push_back (std::move (box));
    }
    refreshLaneLengthChoices (true);

    // Choice buttons and the velocity clear button.
    for (int r = 0; r < kNumChoiceButtonRows; ++r)
    {
        const auto& row = kChoiceButtonRows[r];
        for (int i = 0; i < row.numButtons; ++i)
        {
            ChoiceButton entry;
            entry.button = std::make_unique<juce::TextButton>();
            entry.row = r;
            entry.itemId = row.itemIds[i];
            entry.button->onClick = [this, r, itemId = row.itemIds[i]] { selectChoiceItem (r, itemId); };
            setupButton (*entry.button, false);
            choiceButtons.push_back (std::move (entry));
        }
    }
    setupButton (velocityClearButton, false);

    // The 64 step knobs.
    for (int lane = 0; lane < kNumLanes; ++lane)
    {
        for (int step = 0; step < kv::kNumSteps; ++step)
        {
            auto knob = std::make_unique<KVSlider> (KVSlider::StepKnob);
            if (lane == (int) Lane::Pitch)
            {
                knob->nudgeStep = 1.0;
                knob->nudgeProportional = false;
            }
            else
            {
                knob->nudgeStep = 0.05;
                knob->nudgeProportional = true;
            }
            setupKnob (*knob);
            addChildComponent (*knob);
            stepKnobs[(size_t) lane][(size_t) step] = std::move (knob);
        }
    }

#if PULSKAR_EDITOR_HAS_SEQUENCER_BUTTONS
    KVSequencerButtons::attach (*this);
#endif
}

void KVEditor::createAttachments()
{
    using namespace kv::layout;
    using APVTS = juce::AudioProcessorValueTreeState;
    auto& state = processor.treeState;

    const auto attachSlider = [&] (const juce::String& id, KVSlider& knob)
    {
        if (state.getParameter (id) != nullptr)
            sliderAttachments.push_back (std::make_unique<APVTS::SliderAttachment> (state, id, knob));
    };
    const auto attachBox = [&] (const juce::String& id, KVComboBox& box)
    {
        if (state.getParameter (id) != nullptr)
            comboAttachments.push_back (std::make_unique<APVTS::ComboBoxAttachment> (state, id, box));
    };

    size_t knobIndex = 0;
    for (const auto& control : kControls)
        if (control.type == ControlType::Knob)
            attachSlider (control.name, *panelKnobs[knobIndex++]);

    for (int lane = 0; lane < kNumLanes; ++lane)
        for (int step = 0; step < kv::kNumSteps; ++step)
            attachSlider (kLaneStems[lane] + juce::String (step), stepKnob ((Lane) lane, step));

    for (auto* group : { &choiceBoxes, &laneLengthBoxes, &hiddenChoiceBoxes })
        for (auto& box : *group)
            attachBox (box->getName(), *box);

    for (size_t i = 0; i < toggleButtons.size(); ++i)
        if (state.getParameter (toggleIds[i]) != nullptr)
            buttonAttachments.push_back (std::make_unique<APVTS::ButtonAttachment> (state, toggleIds[i], *toggleButtons[i]));
}

void KVEditor::nameControlsAndSetResetValues()
{
    using namespace kv::layout;

    const auto nameKnob = [this] (KVSlider& knob, const juce::String& id)
    {
        knob.setName (id);
        auto* parameter = processor.treeState.getParameter (id);
        if (parameter == nullptr)
            return;

        double value = parameter->convertFrom0to1 (parameter->getDefaultValue());
        if (isBipolarEnvelopeAmount (id))
            value = 0.0;
        else if (id == kv::ids::clockMult)
            value = 4.0;

        knob.setDoubleClickReturnValue (true, value, juce::ModifierKeys::altModifier);
        knob.resetOnCommandClick = true;
        knob.resetValue = value;
    };

    size_t knobIndex = 0;
    for (const auto& control : kControls)
        if (control.type == ControlType::Knob)
            nameKnob (*panelKnobs[knobIndex++], control.name);

    for (int lane = 0; lane < kNumLanes; ++lane)
        for (int step = 0; step < kv::kNumSteps; ++step)
            nameKnob (stepKnob ((Lane) lane, step), kLaneStems[lane] + juce::String (step));
}

//==============================================================================
void KVEditor::setupKnob (KVSlider& knob)
{
    if (knob.nudgeStep <= 0.0)
    {
        knob.nudgeStep = 0.01;
        knob.nudgeProportional = true;
    }

    knob.setSliderStyle (juce::Slider::RotaryVerticalDrag);
    knob.setTextBoxStyle (juce::Slider::NoTextBox, false, 0, 0);
    knob.setAlpha (0.0f);
    knob.setWantsKeyboardFocus (true);
    knob.setMouseClickGrabsKeyboardFocus (true);

    knob.onValueChange = [this] { repaint(); };
    knob.onPressStart = [this] (KVSlider& k)
    {
        beginKnobEdit (k);
        pressedKnob = &k;
        if (processor.valueReadout.load (std::memory_order_relaxed))
            repaint();
    };
    knob.onPressEnd = [this] (KVSlider& k)
    {
        wheelKnob = nullptr;
        processor.endUiEdit();
        if (pressedKnob == &k)
        {
            pressedKnob = nullptr;
            if (processor.valueReadout.load (std::memory_order_relaxed))
                repaint();
        }
    };
    knob.keyHandler = [this] (const juce::KeyPress& key) { return keyPressed (key); };
    knob.onNudgeStart = [this] (KVSlider& k) { beginKnobEdit (k); };
    knob.onNudgeEnd = [this] (KVSlider&)
    {
        wheelKnob = nullptr;
        processor.endUiEdit();
    };
    knob.onWheelStart = [this] (KVSlider& k)
    {
        const double now = juce::Time::getMillisecondCounterHiRes();
        if (wheelKnob != &k || now - lastWheelTime > kWheelGestureMs)
        {
            beginKnobEdit (k);
            wheelKnob = &k;
        }
        lastWheelTime = now;
    };
}

void KVEditor::setupChoice (KVComboBox& box)
{
    box.keyHandler = [this] (const juce::KeyPress& key) { return keyPressed (key); };
    box.onPressStart = [this] (KVComboBox& b)
    {
        if (b.getName().isNotEmpty())
            processor.beginUiEdit ({ b.getName() });
    };
    box.onChange = [this, &box]
    {
        const auto name = box.getName();
        if (name.isNotEmpty() && processor.isUiEditPendingFor (name))
            processor.endUiEdit();
        repaint();
    };
    box.setJustificationType (juce::Justification::centred);
    box.setAlpha (0.0f);
    box.setScrollWheelEnabled (false);

    const bool preset = box.boxKind == KVComboBox::PresetChoice;
    box.setColour (juce::ComboBox::backgroundColourId, juce::Colour (preset ? 0xff141311u : 0xff080706u));
    box.setColour (juce::ComboBox::outlineColourId, juce::Colour (preset ? 0xff050505u : 0x73e89a2eu));
    box.setColour (juce::ComboBox::textColourId, juce::Colour (preset ? 0xffefe7d8u : 0xffe89a2eu));
    box.setColour (juce::ComboBox::arrowColourId, juce::Colour (preset ? 0xffefe7d8u : 0xffe89a2eu));
}

void KVEditor::beginKnobEdit (KVSlider& knob)
{
    wheelKnob = nullptr;
    processor.beginUiEdit ({ knob.getName() });
}

void KVEditor::selectChoiceItem (int row, int itemId)
{
    auto& box = *hiddenChoiceBoxes[(size_t) row];
    processor.beginUiEdit ({ box.getName() });
    box.setSelectedId (itemId, juce::sendNotificationSync);
    processor.endUiEdit();
}

juce::String KVEditor::formatKnobValue (const KVSlider& knob) const
{
    const auto kind = kv::valueKindForParameter (knob.getName());
    const bool synced = kind == kv::ValueKind::LfoRate && parameterValue (kv::ids::lfoSync, 0.0f) > 0.5f;
    return kv::formatParameterValue (kind, (float) knob.getValue(), synced);
}

//==============================================================================
KVSlider* KVEditor::findKnob (const juce::String& parameterId) const
{
    for (auto& knob : panelKnobs)
        if (knob->getName() == parameterId)
            return knob.get();
    for (auto& lane : stepKnobs)
        for (auto& knob : lane)
            if (knob->getName() == parameterId)
                return knob.get();
    return nullptr;
}

KVComboBox* KVEditor::findChoiceBox (const juce::String& parameterId) const
{
    for (auto* group : { &choiceBoxes, &laneLengthBoxes, &hiddenChoiceBoxes })
        for (auto& box : *group)
            if (box->getName() == parameterId)
                return box.get();
    return nullptr;
}

KVTextButton* KVEditor::findToggle (const juce::String& parameterId) const
{
    for (size_t i = 0; i < toggleIds.size(); ++i)
        if (toggleIds[i] == parameterId)
            return toggleButtons[i].get();
    return nullptr;
}

juce::TextButton* KVEditor::findChoiceButton (const juce::String& boxName, int itemId) const
{
    for (auto& entry : choiceButtons)
        if (entry.itemId == itemId && boxName == kv::layout::kChoiceButtonRows[entry.row].boxName)
            return entry.button.get();
    return nullptr;
}

float KVEditor::parameterValue (const juce::String& id, float fallback) const
{
    if (auto* value = processor.treeState.getRawParameterValue (id))
        return value->load (std::memory_order_relaxed);
    return fallback;
}

juce::Point<int> KVEditor::currentMouseInEditor() const
{
    const auto position = mousePositionOverride ? mousePositionOverride() : getMouseXYRelative().toFloat();
    return { juce::roundToInt (position.x), juce::roundToInt (position.y) };
}

KVSlider* KVEditor::stepKnobUnderMouse (bool pitchOnly) const
{
    const auto point = currentMouseInEditor();
    if (! getLocalBounds().contains (point))
        return nullptr;

    for (int step = 0; step < kv::kNumSteps; ++step)
    {
        for (int lane = 0; lane < (pitchOnly ? 1 : kv::layout::kNumLanes); ++lane)
        {
            auto* knob = stepKnobs[(size_t) lane][(size_t) step].get();
            // Rectangle::contains takes the left and top edges in and leaves the others out.
            if (knob->isVisible() && knob->getBounds().contains (point))
                return knob;
        }
    }
    return nullptr;
}

//==============================================================================
void KVEditor::visibilityChanged()
{
    if (isVisible())
        refreshPresetControls();
}

void KVEditor::resized()
{
    using namespace kv::layout;
    const int width = getWidth(), height = getHeight();

    processor.editorWidth.store (width, std::memory_order_relaxed);
    processor.editorHeight.store (height, std::memory_order_relaxed);

    const auto place = [width, height] (juce::Component& component, PanelRect r)
    {
        component.setBounds (toScreen (r, width, height));
    };

    place (presetBox, rect (Slot::presetBox));
    place (prevPresetButton, rect (Slot::prevPreset));
    place (nextPresetButton, rect (Slot::nextPreset));
    place (savePresetButton, rect (Slot::savePreset));
    place (deletePresetButton, rect (Slot::deletePreset));
    place (initPresetButton, rect (Slot::initPreset));
    place (patternAButton, rect (Slot::patternA));
    place (patternBButton, rect (Slot::patternB));
    place (chainButton, rect (Slot::chain));
    place (velocityClearButton, rect (Slot::velocityClear));
    place (runStopButton, rect (Slot::runStop));
    place (triggerButton, rect (Slot::trigger));
    place (resetButton, rect (Slot::reset));

    size_t knob = 0, toggle = 0, box = 0, lane = 0;
    for (const auto& control : kControls)
    {
        switch (control.type)
        {
            case ControlType::Knob:
                if (knob < panelKnobs.size())
                    place (*panelKnobs[knob++], control.rect);
                break;
            case ControlType::ToggleButton:
                if (toggle < toggleButtons.size())
                    place (*toggleButtons[toggle++], control.rect);
                break;
            case ControlType::ChoiceBox:
                if (box < choiceBoxes.size())
                    place (*choiceBoxes[box++], control.rect);
                break;
            case ControlType::LaneLength:
                if (lane < laneLengthBoxes.size())
                    place (*laneLengthBoxes[lane++], control.rect);
                break;
            case ControlType::Button:
                break;
        }
    }

    for (auto& entry : choiceButtons)
    {
        const auto& row = kChoiceButtonRows[entry.row];
        for (int i = 0; i < row.numButtons; ++i)
            if (row.itemIds[i] == entry.itemId)
                place (*entry.button, { row.x[i], row.y, row.w, row.h });
    }

    for (int l = 0; l < kNumLanes; ++l)
        for (int step = 0; step < kv::kNumSteps; ++step)
            if (auto& k = stepKnobs[(size_t) l][(size_t) step])
                place (*k, stepKnobRect (l, step));

    if (presetBrowser != nullptr)
        presetBrowser->setBounds (getLocalBounds());

    if (stepKnobs[0][0] != nullptr)
        switchEditPage (shownPage);
}

//==============================================================================
void KVEditor::switchEditPage (int page)
{
    shownPage = page > 0 ? 1 : 0;
    patternAButton.setToggleState (page <= 0, juce::dontSendNotification);
    patternBButton.setToggleState (shownPage == 1, juce::dontSendNotification);

    for (int column = 0; column < kv::layout::kNumColumns; ++column)
    {
        for (int lane = 0; lane < kv::layout::kNumLanes; ++lane)
        {
            stepKnobs[(size_t) lane][(size_t) column]->setVisible (shownPage == 0);
            stepKnobs[(size_t) lane][(size_t) column + 8]->setVisible (shownPage == 1);
        }
    }

    auto& sequencer = processor.sequencer;
    if (shownPage == 1 && ! sequencer.pageBInitialised.load (std::memory_order_relaxed))
    {
        // The first visit to page B starts it as a copy of page A.
        const kv::ParameterNotifier::BulkChange bulkChange (processor.parameterNotifier);
        static const char* const stems[] = { "stepPitch", "stepVel", "stepModA", "stepModB", "stepActive" };
        for (const auto* stem : stems)
        {
            for (int j = 0; j < 8; ++j)
            {
                auto* source = processor.treeState.getParameter (stem + juce::String (j));
                auto* target = processor.treeState.getParameter (stem + juce::String (j + 8));
                if (source != nullptr && target != nullptr)
                    target->setValueNotifyingHost (source->getValue());
            }
        }
        sequencer.pageBInitialised.store (true, std::memory_order_relaxed);
        processor.presetModified.store (true, std::memory_order_relaxed);
    }

    sequencer.editPage.store (shownPage, std::memory_order_relaxed);
    sequencer.stateReplaced.store (true, std::memory_order_relaxed);
}

void KVEditor::refreshLaneLengthChoices (bool force)
{
    const bool chain = processor.sequencer.chainMode.load (std::memory_order_relaxed);
    if (! force && chain == laneChoicesChained)
        return;

    laneChoicesChained = chain;
    for (auto& box : laneLengthBoxes)
        for (int id = 1; id <= kLaneLengthItems; ++id)
            box->setItemEnabled (id, id <= 8 || chain);
}

void KVEditor::refreshPresetControls()
{
#if PULSKAR_EDITOR_HAS_PRESET_ROW
    KVPresetRow::refresh (*this);
#else
    // Without the preset row: keep the display text and the shown identity current, and follow
    // the processor's page and chain mode.
    juce::String name;
    {
        const juce::ScopedLock lock (processor.presetLock);
        name = processor.currentPresetName;
    }
    const bool modified = processor.presetModified.load (std::memory_order_relaxed);
    const auto shownName = name.isEmpty() ? juce::String ("Init") : name;
    presetDisplayText = (shownName == "Init" ? "INIT" : "USR") + juce::String (" 000  ") + shownName
                        + (modified ? " *" : "");
    shownPresetName = name;
    shownPresetModified = modified;

    const int page = processor.sequencer.editPage.load (std::memory_order_relaxed);
    if (page != shownPage)
        switchEditPage (page);
    chainButton.setToggleState (processor.sequencer.chainMode.load (std::memory_order_relaxed), juce::dontSendNotification);
    refreshLaneLengthChoices (false);
#endif
}

//==============================================================================
bool KVEditor::keyPressed (const juce::KeyPress& key)
{
    const auto mods = key.getModifiers();
    const int code = upperKeyCode (key);

    if (commandAlone (mods) && code == 'Z')
    {
        wheelKnob = nullptr;
        if (presetBrowser != nullptr)
        {
            presetBrowser.reset();
            repaint();
        }
        processor.undoLastUiEdit();
        refreshPresetControls();
        refreshLaneLengthChoices (true);
        repaint();
        return true;
    }

    if (commandAlone (mods) && (code == 'C' || code == 'V'))
    {
        if (presetBrowser == nullptr)
            if (auto* knob = stepKnobUnderMouse (false))
                return code == 'C' ? processor.copySequencerValue (knob->getName())
                                   : processor.pasteSequencerValue (knob->getName());
        return false;
    }

    if (code == 'V' && noCommandModifiers (mods))
    {
        processor.valueReadout.store (! processor.valueReadout.load (std::memory_order_relaxed), std::memory_order_relaxed);
        repaint();
        return true;
    }

    return false;
}

//==============================================================================
void KVEditor::timerCallback()
{
    // 1. A wheel gesture ends 400 ms after its last event.
    if (wheelKnob != nullptr && juce::Time::getMillisecondCounterHiRes() - lastWheelTime >= kWheelGestureMs)
    {
        wheelKnob = nullptr;
        processor.endUiEdit();
    }

    // 2. Pitch from MIDI onto the step under the mouse.
    const int noteCount = processor.midiNoteCounter.load (std::memory_order_relaxed);
    if (noteCount != lastMidiNoteCount)
    {
        lastMidiNoteCount = noteCount;
#if PULSKAR_EDITOR_HAS_SEQUENCER_BUTTONS
        KVSequencerButtons::assignHoveredPitchFromMidi (*this);
#endif
    }

    // 3. Preset row.
    {
        juce::String name;
        {
            const juce::ScopedLock lock (processor.presetLock);
            name = processor.currentPresetName;
        }
        const bool modified = processor.presetModified.load (std::memory_order_relaxed);
        if (name != shownPresetName || modified != shownPresetModified)
            refreshPresetControls();
    }

    // 4. Page and 5. chain mode.
    auto& sequencer = processor.sequencer;
    const int page = sequencer.editPage.load (std::memory_order_relaxed);
    if (page != shownPage)
        switchEditPage (page);
    chainButton.setToggleState (sequencer.chainMode.load (std::memory_order_relaxed), juce::dontSendNotification);
    refreshLaneLengthChoices (false);

    // 6. RUN/STOP: a single click acts once no second click came within six ticks.
    if (runClickCountdown > 0)
    {
        if (--runClickCountdown == 0)
        {
#if PULSKAR_EDITOR_HAS_SEQUENCER_BUTTONS
            KVSequencerButtons::performRunStopSingleClick (*this);
#endif
            blinkPhase = 0;
            repaint();
        }
    }

    // 7. Run lamp phase, 8. flash counters.
    blinkPhase = blinkPhase >= 23 ? 0 : blinkPhase + 1;
    for (auto* counter : { &triggerFlash, &velocityClearFlash, &resetFlash, &prevFlash, &nextFlash, &saveFlash,
                           &deleteFlash, &initFlash })
        if (*counter > 0)
            --*counter;

    // 9. Step light.
    const int step = sequencer.currentStep.load (std::memory_order_relaxed);
    if (step >= 0)
    {
        holdFirstStep = false;
        displayedStep = step;
    }
    else
    {
        displayedStep = holdFirstStep ? 0 : step;
    }

    // 10.
    repaint();
}
