// The panel editor: layout, size rules, the two paint passes and the control gestures, driven
// through the real processor and painted into images (no display needed).

#include "TestSupport.h"
#include "ValueText.h"
#include "editor/EditorLayout.h"
#include "editor/Fonts.h"
#include "editor/KnobPointers.h"
#include "editor/PluginEditor.h"

#include <gtest/gtest.h>
#include <cmath>
#include <thread>

namespace
{
using kv::layout::kControls;
using kv::layout::Slot;

struct EditorFixture : ::testing::Test
{
    KVProcessor processor;
    std::unique_ptr<KVEditor> editor;

    void open (int width = 0, int height = 0)
    {
        if (width > 0)
        {
            processor.editorWidth = width;
            processor.editorHeight = height;
        }
        editor = std::make_unique<KVEditor> (processor);
    }

    void TearDown() override { editor.reset(); }

    KVSlider& knob (const juce::String& id)
    {
        auto* k = editor->findKnob (id);
        EXPECT_NE (k, nullptr) << id;
        return *k;
    }

    float value (const juce::String& id) { return test::getParameter (processor, id); }
    void set (const juce::String& id, float v) { test::setParameter (processor, id, v); }

    // A snapshot of the editor without the artwork, so pixel checks see only what the editor draws.
    juce::Image paintWithoutArtwork()
    {
        editor->panelImage = juce::Image();
        juce::Image image (juce::Image::ARGB, editor->getWidth(), editor->getHeight(), true);
        juce::Graphics g (image);
        editor->paintEntireComponent (g, true);
        return image;
    }

    static juce::MouseEvent mouseEvent (juce::Component& target, juce::Point<float> position, juce::Point<float> downAt,
                                        juce::ModifierKeys mods, juce::Time time = juce::Time::getCurrentTime(), int clicks = 1)
    {
        return juce::MouseEvent (juce::Desktop::getInstance().getMainMouseSource(), position, mods, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f,
                                 &target, &target, time, downAt, time, clicks, position != downAt);
    }

    // A press at `from`, drags through the points, release at the last one.
    static void drag (KVSlider& k, juce::Point<float> from, std::initializer_list<std::pair<juce::Point<float>, juce::ModifierKeys>> moves,
                      juce::ModifierKeys pressMods = {})
    {
        const auto button = juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier);
        k.mouseDown (mouseEvent (k, from, from, pressMods.withFlags (button.getRawFlags())));
        auto last = from;
        for (const auto& [to, mods] : moves)
        {
            k.mouseDrag (mouseEvent (k, to, from, mods.withFlags (button.getRawFlags())));
            last = to;
        }
        k.mouseUp (mouseEvent (k, last, from, pressMods));
    }

    static void click (KVSlider& k, juce::ModifierKeys mods)
    {
        drag (k, { 5.0f, 5.0f }, {}, mods);
    }

    static bool press (juce::Component& target, const juce::KeyPress& key) { return target.keyPressed (key); }

    static juce::KeyPress command (char letter)
    {
        return juce::KeyPress (letter, juce::ModifierKeys (juce::ModifierKeys::commandModifier), 0);
    }

    void mouseOver (juce::Component& c)
    {
        const auto centre = c.getBounds().getCentre().toFloat();
        editor->mousePositionOverride = [centre] { return centre; };
    }
};

juce::Rectangle<int> rounded (kv::layout::PanelRect r)
{
    return { (int) std::nearbyint (r.x), (int) std::nearbyint (r.y), (int) std::nearbyint (r.w), (int) std::nearbyint (r.h) };
}

// How much redder than grey a pixel is (0 for black, white or grey).
int redness (const juce::Image& image, float x, float y)
{
    const auto c = image.getPixelAt (juce::roundToInt (x), juce::roundToInt (y));
    return (int) c.getRed() - ((int) c.getGreen() + (int) c.getBlue()) / 2;
}

bool isPointerColour (juce::Colour c)
{
    return c.getRed() > 150 && c.getGreen() > 140 && c.getBlue() > 120;
}

// Whether the cream pointer colour shows within a pixel of the point (lines are antialiased).
bool pointerNear (const juce::Image& image, juce::Point<float> p)
{
    const int x = juce::roundToInt (p.x), y = juce::roundToInt (p.y);
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (isPointerColour (image.getPixelAt (x + dx, y + dy)))
                return true;
    return false;
}
} // namespace

//==============================================================================
TEST_F (EditorFixture, AtPanelSizeEveryControlHasItsPanelRectangle)
{
    open (1662, 946);
    ASSERT_EQ (editor->getWidth(), 1662);
    ASSERT_EQ (editor->getHeight(), 946);

    const std::map<Slot, juce::Component*> fixed {
        { Slot::presetBox, &editor->presetBox },         { Slot::prevPreset, &editor->prevPresetButton },
        { Slot::nextPreset, &editor->nextPresetButton }, { Slot::savePreset, &editor->savePresetButton },
        { Slot::deletePreset, &editor->deletePresetButton }, { Slot::initPreset, &editor->initPresetButton },
        { Slot::patternA, &editor->patternAButton },     { Slot::patternB, &editor->patternBButton },
        { Slot::chain, &editor->chainButton },           { Slot::velocityClear, &editor->velocityClearButton },
        { Slot::runStop, &editor->runStopButton },       { Slot::trigger, &editor->triggerButton },
        { Slot::reset, &editor->resetButton },
    };

    for (const auto& control : kControls)
    {
        juce::Component* component = nullptr;
        switch (control.type)
        {
            case kv::layout::ControlType::Knob:         component = editor->findKnob (control.name); break;
            case kv::layout::ControlType::ToggleButton: component = editor->findToggle (control.name); break;
            case kv::layout::ControlType::ChoiceBox:
            case kv::layout::ControlType::LaneLength:   component = editor->findChoiceBox (control.name); break;
            case kv::layout::ControlType::Button:       component = fixed.at (control.slot); break;
        }
        ASSERT_NE (component, nullptr) << control.name;
        EXPECT_EQ (component->getBounds(), rounded (control.rect)) << control.name;
        EXPECT_EQ (component->getParentComponent(), editor.get()) << control.name;
        EXPECT_EQ (component->getAlpha(), 0.0f) << control.name;
    }

    // Halves round to even, each value on its own.
    EXPECT_EQ (editor->nextPresetButton.getBounds(), juce::Rectangle<int> (894, 855, 40, 36));
    EXPECT_EQ (editor->deletePresetButton.getBounds(), juce::Rectangle<int> (1092, 854, 40, 36));
    EXPECT_EQ (knob ("vco1Level").getBounds(), juce::Rectangle<int> (52, 191, 43, 43));

    // Step knobs: column centres less half a knob; steps i and i + 8 share a rectangle.
    EXPECT_EQ (knob ("stepPitch0").getBounds(), juce::Rectangle<int> (408, 580, 45, 45));
    EXPECT_EQ (knob ("stepModB15").getBounds(), juce::Rectangle<int> (1288, 755, 45, 45));
    EXPECT_EQ (knob ("stepVel11").getBounds(), knob ("stepVel3").getBounds());

    // Choice buttons select items of their hidden boxes, which are not laid out.
    EXPECT_EQ (editor->findChoiceButton ("vcoEgShape", 2)->getBounds(), juce::Rectangle<int> (58, 465, 30, 38));
    EXPECT_EQ (editor->findChoiceButton ("lfoWave", 3)->getBounds(), juce::Rectangle<int> (1454, 250, 30, 40));
    EXPECT_EQ (editor->findChoiceBox ("vcoEgShape")->getParentComponent(), nullptr);
}

TEST_F (EditorFixture, AtTheSmallestSizeRectanglesScaleWithTheWindow)
{
    open (960, 546);
    ASSERT_EQ (editor->getWidth(), 960);
    ASSERT_EQ (editor->getHeight(), 546);
    EXPECT_EQ (knob ("cutoff").getBounds(), juce::Rectangle<int> (488, 139, 58, 58));
    EXPECT_EQ (editor->presetBox.getBounds(), juce::Rectangle<int> (142, 491, 256, 28));
    EXPECT_EQ (knob ("stepPitch8").getBounds(), juce::Rectangle<int> (235, 335, 26, 26));
}

TEST_F (EditorFixture, OpensAtTheRememberedWidthWithinTheLimits)
{
    struct Case
    {
        int storedWidth, storedHeight, width, height;
    };
    const Case cases[] = {
        { 1500, 546, 1500, 854 }, { 1500, 2000, 1500, 854 }, { 2000, 1200, 1662, 946 },
        { 900, 600, 1320, 751 },  { 1500, 545, 1320, 751 },  { 0, 0, 1320, 751 },
    };
    for (const auto& c : cases)
    {
        processor.editorWidth = c.storedWidth;
        processor.editorHeight = c.storedHeight;
        editor = std::make_unique<KVEditor> (processor);
        EXPECT_EQ (editor->getWidth(), c.width) << c.storedWidth;
        EXPECT_EQ (editor->getHeight(), c.height) << c.storedWidth;
        EXPECT_EQ (processor.editorWidth.load(), c.width);
        EXPECT_EQ (processor.editorHeight.load(), c.height);
        editor.reset();
    }
}

TEST_F (EditorFixture, ResizingKeepsTheAspectRatioAndTheLimits)
{
    open();
    auto* constrainer = editor->getConstrainer();
    ASSERT_NE (constrainer, nullptr);
    EXPECT_NEAR (constrainer->getFixedAspectRatio(), 1662.0 / 946.0, 1.0e-6);
    EXPECT_EQ (constrainer->getMinimumWidth(), 960);
    EXPECT_EQ (constrainer->getMaximumWidth(), 1662);

    editor->setSize (1662, 946);
    EXPECT_EQ (processor.editorWidth.load(), 1662);
    EXPECT_EQ (knob ("cutoff").getBounds(), juce::Rectangle<int> (844, 241, 101, 101));
}

//==============================================================================
TEST_F (EditorFixture, ChoiceLedsLightWhereTheParametersSay)
{
    open (1662, 946);
    struct Case
    {
        const char* id;
        float value;
        float litX, litY;
        std::vector<std::pair<float, float>> dark;
    };
    const Case cases[] = {
        { "vcoEgShape", 1.0f, 72.6f, 496.8f, { { 122.4f, 496.9f }, { 172.0f, 496.9f } } },   // LIN is leftmost
        { "vcoEgShape", 0.0f, 122.4f, 496.9f, { { 72.6f, 496.8f }, { 172.0f, 496.9f } } },   // EXP in the middle
        { "lfoWave", 2.0f, 1468.6f, 283.2f, { { 1416.5f, 283.3f }, { 1520.6f, 283.1f }, { 1573.9f, 283.3f } } },
        { "lfoWave", 1.0f, 1520.6f, 283.1f, { { 1416.5f, 283.3f }, { 1468.6f, 283.2f } } },
        { "seqPitchMod", 1.0f, 224.9f, 620.2f, { { 122.4f, 620.2f }, { 320.4f, 620.3f } } },
        { "vco1Wave", 3.0f, 289.0f, 226.7f, { { 144.4f, 227.0f }, { 241.4f, 227.1f } } },
    };

    for (const auto& c : cases)
    {
        set (c.id, c.value);
        const auto image = paintWithoutArtwork();
        EXPECT_GT (redness (image, c.litX, c.litY), 100) << c.id << " " << c.value;
        for (const auto& [x, y] : c.dark)
            EXPECT_LT (redness (image, x, y), 20) << c.id << " " << c.value << " at " << x;
    }
}

TEST_F (EditorFixture, SwitchesStepLightAndLanesFollowTheirState)
{
    open (1662, 946);

    // Step 12 (index 11) lights the fourth step LED only while page B is shown.
    processor.sequencer.currentStep = 11;
    editor->timerCallback();
    EXPECT_LT (redness (paintWithoutArtwork(), 808.2f, 567.9f), 20);
    editor->switchEditPage (1);
    EXPECT_GT (redness (paintWithoutArtwork(), 808.2f, 567.9f), 100);

    // Bypass switch: thumb to the right and its LED lit.
    auto before = paintWithoutArtwork();
    EXPECT_LT (redness (before, 765.4f, 275.3f), 20);
    set ("noiseVcfBypass", 1.0f);
    auto after = paintWithoutArtwork();
    EXPECT_GT (redness (after, 765.4f, 275.3f), 100);
    EXPECT_NE (before.getPixelAt (700, 277), after.getPixelAt (700, 277));  // right end of the slot
}

TEST_F (EditorFixture, PointersSweepFromHalfPastSevenToHalfPastFour)
{
    open (1662, 946);

    struct Case
    {
        const char* id;
        float cx, cy, length;  // pivot and pointer length at this size
    };
    const Case cases[] = {
        { "cutoff", 894.5f, 283.5f, 0.86f * 48.5f },       // large knob: centre raised by 8
        { "vcfDecay", 867.0f, 428.2f, 0.68f * 19.5f },     // small knob: pivot from the table
        { "stepVel2", 682.9f, 660.3f, 0.68f * 21.5f },     // step knob: column and row
    };

    for (const auto& c : cases)
    {
        auto& k = knob (c.id);
        const auto pointAt = [&] (double proportion, float along)
        {
            const float angle = kv::pointers::pointerAngle (proportion);
            return juce::Point<float> (c.cx + along * c.length * std::cos (angle), c.cy + along * c.length * std::sin (angle));
        };

        for (const double proportion : { 0.0, 1.0 })
        {
            k.setValue (k.proportionOfLengthToValue (proportion), juce::sendNotificationSync);
            const auto image = paintWithoutArtwork();
            const auto tip = pointAt (proportion, 0.75f);
            const auto mirrored = pointAt (1.0 - proportion, 0.75f);
            EXPECT_TRUE (pointerNear (image, tip)) << c.id << " at " << proportion;
            EXPECT_FALSE (pointerNear (image, mirrored)) << c.id << " at " << proportion;
            // Minimum points down to the left, maximum down to the right.
            EXPECT_GT (tip.y, c.cy);
            EXPECT_EQ (tip.x < c.cx, proportion == 0.0);
        }
    }

    // Step knobs of the page not shown draw no pointer.
    knob ("stepVel10").setValue (0.0, juce::sendNotificationSync);
    knob ("stepVel2").setValue (1.0, juce::sendNotificationSync);
    const auto image = paintWithoutArtwork();
    const float angle = kv::pointers::pointerAngle (0.0);
    EXPECT_FALSE (pointerNear (image, { 682.9f + 11.0f * std::cos (angle), 660.3f + 11.0f * std::sin (angle) }));
}

TEST_F (EditorFixture, ClockMultiplierPointerAimsAtItsLamp)
{
    open (1662, 946);
    for (const int index : { 0, 4, 8 })
    {
        set ("clockMult", (float) index);
        const auto image = paintWithoutArtwork();
        const auto lamp = kv::pointers::clockMultiplierLed (index);
        EXPECT_GT (redness (image, lamp.x, lamp.y), 100) << index;

        const juce::Point<float> pivot (kv::pointers::kClockMultiplierPivot.x, kv::pointers::kClockMultiplierPivot.y);
        const auto direction = juce::Point<float> (lamp.x, lamp.y) - pivot;
        const auto along = pivot + direction * (0.6f * 0.68f * 23.5f / direction.getDistanceFromOrigin());
        EXPECT_TRUE (pointerNear (image, along)) << index;
    }
}

TEST_F (EditorFixture, DisplayWindowsShowLaneLengthsAndDestinations)
{
    open (1662, 946);
    // A length of 12 shows "8" outside chain mode and "12" in it: the two pictures differ.
    set ("pitchSteps", 11.0f);
    const auto unchained = paintWithoutArtwork();
    set ("pitchSteps", 7.0f);
    const auto eight = paintWithoutArtwork();
    const auto window = juce::Rectangle<int> (366, 589, 38, 28);
    const auto same = [&] (const juce::Image& a, const juce::Image& b)
    {
        for (int y = window.getY(); y < window.getBottom(); ++y)
            for (int x = window.getX(); x < window.getRight(); ++x)
                if (a.getPixelAt (x, y) != b.getPixelAt (x, y))
                    return false;
        return true;
    };
    EXPECT_TRUE (same (unchained, eight));
    set ("pitchSteps", 11.0f);
    editor->chainButton.setToggleState (true, juce::dontSendNotification);
    EXPECT_FALSE (same (paintWithoutArtwork(), eight));
}

//==============================================================================
TEST_F (EditorFixture, DragOf125PixelsFromTheMiddleReachesTheTopAndIsOneEdit)
{
    open();
    auto& cutoff = knob ("cutoff");
    cutoff.setValue (cutoff.proportionOfLengthToValue (0.5), juce::sendNotificationSync);
    const auto entries = processor.getNumUndoEntries();

    drag (cutoff, { 20.0f, 200.0f }, { { { 20.0f, 140.0f }, {} }, { { 20.0f, 75.0f }, {} } });
    EXPECT_NEAR (value ("cutoff"), 20000.0f, 0.5f);
    EXPECT_EQ (processor.getNumUndoEntries(), entries + 1);

    press (*editor, command ('z'));
    EXPECT_NEAR (value ("cutoff"), 800.0f, 0.5f);
}

TEST_F (EditorFixture, ShiftDragIsEightTimesFiner)
{
    open();
    auto& cutoff = knob ("cutoff");
    const auto shift = juce::ModifierKeys (juce::ModifierKeys::shiftModifier);

    cutoff.setValue (cutoff.proportionOfLengthToValue (0.5), juce::sendNotificationSync);
    drag (cutoff, { 20.0f, 200.0f }, { { { 20.0f, 75.0f }, shift } }, shift);
    EXPECT_NEAR (cutoff.valueToProportionOfLength (cutoff.getValue()), 0.5625, 1.0e-6);

    // Shift pressed half-way through a normal drag carries on from where the knob is.
    cutoff.setValue (cutoff.proportionOfLengthToValue (0.5), juce::sendNotificationSync);
    drag (cutoff, { 20.0f, 200.0f }, { { { 20.0f, 175.0f }, {} }, { { 20.0f, 175.0f }, shift }, { { 20.0f, 75.0f }, shift } });
    EXPECT_NEAR (cutoff.valueToProportionOfLength (cutoff.getValue()), 0.6 + 0.05, 1.0e-6);
}

TEST_F (EditorFixture, CommandAndAltClickResetEachOneEdit)
{
    open();
    const auto cmd = juce::ModifierKeys (juce::ModifierKeys::commandModifier);
    const auto alt = juce::ModifierKeys (juce::ModifierKeys::altModifier);
    struct Case
    {
        const char* id;
        float start, reset;
        juce::ModifierKeys mods;
    };
    const Case cases[] = {
        { "cutoff", 2000.0f, 5515.448f, cmd }, { "vcfEgAmt", 0.5f, 0.0f, cmd }, { "clockMult", 7.0f, 4.0f, cmd },
        { "vco1EgAmt", -12.0f, 0.0f, alt },    { "stepPitch3", 72.0f, 60.0f, cmd }, { "volume", 0.2f, 0.8f, alt },
    };
    for (const auto& c : cases)
    {
        set (c.id, c.start);
        const auto entries = processor.getNumUndoEntries();
        click (knob (c.id), c.mods);
        EXPECT_NEAR (value (c.id), c.reset, 1.0e-3) << c.id;
        EXPECT_EQ (processor.getNumUndoEntries(), entries + 1) << c.id;
        EXPECT_TRUE (press (*editor, command ('z')));
        EXPECT_NEAR (value (c.id), c.start, 1.0e-3) << c.id;
    }
}

TEST_F (EditorFixture, WheelNotchesWithin400MsAreOneEdit)
{
    open();
    auto& resonance = knob ("resonance");
    set ("resonance", 0.2f);
    const auto entries = processor.getNumUndoEntries();

    juce::MouseWheelDetails wheel {};
    wheel.deltaY = 0.1f;
    const auto notch = [&] (int n)
    {
        const auto time = juce::Time (juce::Time::currentTimeMillis() + n);  // every event has its own time
        resonance.mouseWheelMove (mouseEvent (resonance, { 10.0f, 10.0f }, { 10.0f, 10.0f }, {}, time), wheel);
    };

    for (int n = 0; n < 5; ++n)
        notch (n);
    EXPECT_GT (value ("resonance"), 0.26f);
    EXPECT_LT (value ("resonance"), 0.3f);
    editor->timerCallback();  // too early to close the gesture
    EXPECT_EQ (processor.getNumUndoEntries(), entries);

    std::this_thread::sleep_for (std::chrono::milliseconds (450));
    editor->timerCallback();
    EXPECT_EQ (processor.getNumUndoEntries(), entries + 1);
    EXPECT_EQ (editor->wheelKnob, nullptr);

    // A pause of more than 400 ms starts a second edit.
    notch (10);
    std::this_thread::sleep_for (std::chrono::milliseconds (450));
    notch (20);
    editor->timerCallback();
    std::this_thread::sleep_for (std::chrono::milliseconds (450));
    editor->timerCallback();
    EXPECT_EQ (processor.getNumUndoEntries(), entries + 3);

    press (*editor, command ('z'));
    press (*editor, command ('z'));
    press (*editor, command ('z'));
    EXPECT_NEAR (value ("resonance"), 0.2f, 1.0e-6f);
}

TEST_F (EditorFixture, ArrowKeysStepAStepPitchBySemitones)
{
    open();
    struct Case
    {
        float start;
        int key;
        float expected;
    };
    const Case cases[] = {
        { 60.4f, juce::KeyPress::upKey, 61.0f },  { 60.4f, juce::KeyPress::downKey, 60.0f },
        { 60.0f, juce::KeyPress::upKey, 61.0f },  { 60.0f, juce::KeyPress::downKey, 59.0f },
        { 60.0f, juce::KeyPress::rightKey, 61.0f }, { 60.0f, juce::KeyPress::leftKey, 59.0f },
        { 120.0f, juce::KeyPress::upKey, 120.0f }, { 0.0f, juce::KeyPress::downKey, 0.0f },
    };
    auto& pitch = knob ("stepPitch4");
    for (const auto& c : cases)
    {
        set ("stepPitch4", c.start);
        const auto entries = processor.getNumUndoEntries();
        EXPECT_TRUE (press (pitch, juce::KeyPress (c.key)));
        EXPECT_NEAR (value ("stepPitch4"), c.expected, 1.0e-4) << c.start;
        EXPECT_EQ (processor.getNumUndoEntries(), entries + (c.start == c.expected ? 0 : 1)) << c.start;
    }

    // Other step knobs move 5 % of their travel, panel knobs 1 %.
    set ("stepVel4", 0.5f);
    press (knob ("stepVel4"), juce::KeyPress (juce::KeyPress::upKey));
    EXPECT_NEAR (value ("stepVel4"), 0.55f, 1.0e-4);
    set ("volume", 0.5f);
    press (knob ("volume"), juce::KeyPress (juce::KeyPress::downKey));
    EXPECT_NEAR (value ("volume"), 0.49f, 1.0e-4);
}

TEST_F (EditorFixture, SyncedLfoRateStepsThroughTempoDivisions)
{
    open();
    auto& rate = knob ("lfoRate");
    set ("lfoSync", 1.0f);
    struct Case
    {
        float start;
        int key;
        float expected;
    };
    const Case cases[] = {
        { 1.0f, juce::KeyPress::upKey, 2.0f }, { 1.0f, juce::KeyPress::downKey, 0.5f },
        { 8.0f, juce::KeyPress::upKey, 8.0f }, { 0.0625f, juce::KeyPress::downKey, 0.0625f },
    };
    for (const auto& c : cases)
    {
        set ("lfoRate", c.start);
        press (rate, juce::KeyPress (c.key));
        EXPECT_NEAR (value ("lfoRate"), c.expected, 1.0e-4) << c.start;
    }

    // Bottom to top of the travel passes "4 bars" first and "1/32" last.
    EXPECT_DOUBLE_EQ (rate.proportionOfLengthToValue (0.0), 1.0 / 16.0);
    EXPECT_DOUBLE_EQ (rate.proportionOfLengthToValue (1.0), 8.0);
    EXPECT_DOUBLE_EQ (rate.valueToProportionOfLength (1.0), 4.0 / 7.0);
    set ("lfoSync", 0.0f);
    EXPECT_NEAR (rate.proportionOfLengthToValue (0.5), 2.0, 1.0e-3);  // the parameter's own skew again
}

TEST_F (EditorFixture, VTogglesTheReadoutAlsoFromAKnob)
{
    open();
    const bool before = processor.valueReadout.load();
    EXPECT_TRUE (press (*editor, juce::KeyPress ('v')));
    EXPECT_NE (processor.valueReadout.load(), before);
    EXPECT_TRUE (press (knob ("cutoff"), juce::KeyPress ('V', juce::ModifierKeys (juce::ModifierKeys::shiftModifier), 'V')));
    EXPECT_EQ (processor.valueReadout.load(), before);
    EXPECT_FALSE (press (*editor, juce::KeyPress ('q')));
}

TEST_F (EditorFixture, ReadoutShowsWhileAKnobIsHeld)
{
    open (1662, 946);
    processor.valueReadout = true;
    auto& cutoff = knob ("cutoff");
    const auto idle = paintWithoutArtwork();

    const auto at = juce::Point<float> (20.0f, 20.0f);
    cutoff.mouseDown (mouseEvent (cutoff, at, at, juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier)));
    EXPECT_EQ (editor->pressedKnob, &cutoff);
    EXPECT_EQ (editor->formatKnobValue (cutoff), kv::formatParameterValue (kv::ValueKind::Frequency, value ("cutoff"), false));
    const auto held = paintWithoutArtwork();
    cutoff.mouseUp (mouseEvent (cutoff, at, at, {}));
    EXPECT_EQ (editor->pressedKnob, nullptr);

    // Dark text in the box up and to the right of the knob.
    const auto b = cutoff.getBounds().toFloat();
    const float w = kv::fonts::condensed (23.0f, true).getStringWidthFloat (editor->formatKnobValue (cutoff)) + 5.0f;
    const auto box = kv::pointers::placeReadout (b, w, 30.0f, 1662.0f, 946.0f, 1.0f).toNearestInt();
    int changed = 0;
    for (int y = box.getY(); y < box.getBottom(); ++y)
        for (int x = box.getX(); x < box.getRight(); ++x)
            changed += held.getPixelAt (x, y) != idle.getPixelAt (x, y) ? 1 : 0;
    EXPECT_GT (changed, 20);
    EXPECT_EQ (paintWithoutArtwork().getPixelAt (box.getCentreX(), box.getCentreY()), idle.getPixelAt (box.getCentreX(), box.getCentreY()));
}

TEST (ReadoutPlacement, MovesAwayFromEdgesWithoutResizing)
{
    const float W = 1662.0f, H = 946.0f;
    // Room everywhere: upper right.
    const juce::Rectangle<float> middle (800.0f, 400.0f, 43.0f, 43.0f);
    const float d = 0.70710677f * (11.0f + 21.5f);
    EXPECT_EQ (kv::pointers::placeReadout (middle, 60.0f, 30.0f, W, H, 1.0f),
               juce::Rectangle<float> (821.5f + d, 421.5f - d - 15.0f, 60.0f, 30.0f));

    // Near the top-right corner: not upper right.
    const juce::Rectangle<float> corner (1610.0f, 5.0f, 43.0f, 43.0f);
    const auto placed = kv::pointers::placeReadout (corner, 60.0f, 30.0f, W, H, 1.0f);
    EXPECT_LT (placed.getX(), corner.getCentreX());
    EXPECT_GE (placed.getY(), 3.0f);
    EXPECT_LE (placed.getRight(), W - 3.0f);

    // Wider than the editor: sticks to the left margin, keeps its size.
    const auto wide = kv::pointers::placeReadout (middle, 2000.0f, 30.0f, W, H, 1.0f);
    EXPECT_FLOAT_EQ (wide.getX(), 3.0f);
    EXPECT_FLOAT_EQ (wide.getWidth(), 2000.0f);
}

TEST_F (EditorFixture, CopyAndPasteOverStepKnobs)
{
    open();
    set ("stepModA3", 0.25f);
    set ("stepModB7", 0.75f);
    set ("stepVel7", 0.9f);

    mouseOver (knob ("stepModA3"));
    EXPECT_TRUE (press (*editor, command ('c')));
    mouseOver (knob ("stepModB7"));
    const auto entries = processor.getNumUndoEntries();
    EXPECT_TRUE (press (*editor, command ('v')));
    EXPECT_NEAR (value ("stepModB7"), 0.25f, 1.0e-6);
    EXPECT_EQ (processor.getNumUndoEntries(), entries + 1);

    // Another lane class refuses the value; nothing under the mouse leaves the key to the host.
    mouseOver (knob ("stepVel7"));
    EXPECT_FALSE (press (*editor, command ('v')));
    EXPECT_NEAR (value ("stepVel7"), 0.9f, 1.0e-6);
    mouseOver (knob ("cutoff"));
    EXPECT_FALSE (press (*editor, command ('c')));
    editor->mousePositionOverride = [] { return juce::Point<float> (-5.0f, -5.0f); };
    EXPECT_FALSE (press (*editor, command ('v')));

    // Cmd+Z takes the paste back; a knob passes Cmd+V on to the editor.
    mouseOver (knob ("stepModB7"));
    EXPECT_TRUE (press (*editor, command ('z')));
    EXPECT_NEAR (value ("stepModB7"), 0.75f, 1.0e-6);
    EXPECT_TRUE (press (knob ("stepModB7"), command ('v')));
    EXPECT_NEAR (value ("stepModB7"), 0.25f, 1.0e-6);
}

TEST_F (EditorFixture, FirstVisitToPageBCopiesPageAOnce)
{
    open();
    set ("stepPitch2", 48.0f);
    set ("stepVel5", 0.3f);
    set ("stepActive6", 0.0f);
    set ("stepPitch10", 70.0f);
    processor.presetModified = false;

    ASSERT_TRUE (editor->patternBButton.onClick != nullptr);
    editor->patternBButton.onClick();

    EXPECT_EQ (editor->shownPage, 1);
    EXPECT_EQ (processor.sequencer.editPage.load(), 1);
    EXPECT_TRUE (processor.sequencer.pageBInitialised.load());
    EXPECT_TRUE (processor.presetModified.load());
    EXPECT_NEAR (value ("stepPitch10"), 48.0f, 1.0e-4);
    EXPECT_NEAR (value ("stepVel13"), 0.3f, 1.0e-4);
    EXPECT_EQ (value ("stepActive14"), 0.0f);
    EXPECT_TRUE (knob ("stepPitch10").isVisible());
    EXPECT_FALSE (knob ("stepPitch2").isVisible());

    // Not a second time.
    editor->switchEditPage (0);
    set ("stepPitch2", 36.0f);
    editor->switchEditPage (1);
    EXPECT_NEAR (value ("stepPitch10"), 48.0f, 1.0e-4);
}

TEST_F (EditorFixture, UndoOfTheFirstPageBVisitRestoresPageAAndTheSteps)
{
    open();
    set ("stepPitch1", 40.0f);
    set ("stepPitch9", 70.0f);

    ASSERT_TRUE (editor->patternBButton.onClick != nullptr);
    editor->patternBButton.onClick();
    ASSERT_NEAR (value ("stepPitch9"), 40.0f, 1.0e-4);

    EXPECT_TRUE (press (*editor, command ('z')));
    EXPECT_NEAR (value ("stepPitch9"), 70.0f, 1.0e-4);
    EXPECT_FALSE (processor.sequencer.pageBInitialised.load());
    EXPECT_EQ (processor.sequencer.editPage.load(), 0);
    EXPECT_EQ (editor->shownPage, 0);
    EXPECT_TRUE (knob ("stepPitch1").isVisible());
}

TEST_F (EditorFixture, ChoiceButtonSelectsItsItemOnceAsOneEdit)
{
    open();
    set ("vcoEgShape", 0.0f);
    auto* lin = editor->findChoiceButton ("vcoEgShape", 2);
    ASSERT_NE (lin, nullptr);
    const auto entries = processor.getNumUndoEntries();

    lin->onClick();
    EXPECT_EQ (value ("vcoEgShape"), 1.0f);
    EXPECT_EQ (editor->findChoiceBox ("vcoEgShape")->getSelectedId(), 2);
    EXPECT_EQ (processor.getNumUndoEntries(), entries + 1);

    lin->onClick();
    EXPECT_EQ (processor.getNumUndoEntries(), entries + 1);

    press (*editor, command ('z'));
    EXPECT_EQ (value ("vcoEgShape"), 0.0f);
}

TEST_F (EditorFixture, LaneLengthsAbove8OnlyInChainMode)
{
    open();
    set ("velSteps", 11.0f);
    auto* box = editor->findChoiceBox ("velSteps");
    ASSERT_NE (box, nullptr);
    EXPECT_TRUE (box->isItemEnabled (8));
    EXPECT_FALSE (box->isItemEnabled (9));
    EXPECT_EQ (box->getSelectedId(), 12);

    processor.sequencer.chainMode = true;
    editor->timerCallback();
    EXPECT_TRUE (box->isItemEnabled (16));
    EXPECT_TRUE (editor->chainButton.getToggleState());
}

TEST_F (EditorFixture, ToggleButtonPressIsOneEdit)
{
    open();
    auto* sync = editor->findToggle ("lfoSync");
    ASSERT_NE (sync, nullptr);
    const auto entries = processor.getNumUndoEntries();
    const auto at = juce::Point<float> (5.0f, 5.0f);
    sync->mouseDown (mouseEvent (*sync, at, at, juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier)));
    sync->mouseUp (mouseEvent (*sync, at, at, {}));
    EXPECT_EQ (value ("lfoSync"), 1.0f);
    EXPECT_EQ (processor.getNumUndoEntries(), entries + 1);
    press (*editor, command ('z'));
    EXPECT_EQ (value ("lfoSync"), 0.0f);
    EXPECT_FALSE (sync->getToggleState());
}

TEST_F (EditorFixture, RunAndResetLampsFollowTheTransportAndTheirCounters)
{
    open (1662, 946);
    auto& sequencer = processor.sequencer;
    const float runX = 1407.9f, runY = 807.7f, resetX = 1583.0f, resetY = 807.7f;

    struct Case
    {
        bool switchedOut, hostPlaying, freeRunning;
        int blinkPhase;
        bool lit;
    };
    const Case cases[] = {
        { true, true, false, 0, false },   // switched out: dark even while the host plays
        { false, true, false, 20, true },  // host plays: steady
        { false, false, true, 20, true },  // free run: steady
        { false, false, false, 11, true }, // waiting for the host: blinks, on for phases 0 to 11
        { false, false, false, 12, false },
    };
    for (const auto& c : cases)
    {
        sequencer.sequencerSwitchedOut = c.switchedOut;
        sequencer.hostPlaying = c.hostPlaying;
        sequencer.freeRunning = c.freeRunning;
        editor->blinkPhase = c.blinkPhase;
        EXPECT_EQ (redness (paintWithoutArtwork(), runX, runY) > 100, c.lit) << c.blinkPhase << c.hostPlaying;
    }

    // Reset lamp: shows reset-on-start; a flash shows the other state.
    for (const bool resetOnStart : { false, true })
    {
        set ("seqResetOnStart", resetOnStart ? 1.0f : 0.0f);
        editor->resetFlash = 0;
        EXPECT_EQ (redness (paintWithoutArtwork(), resetX, resetY) > 100, resetOnStart);
        editor->resetFlash = 4;
        EXPECT_EQ (redness (paintWithoutArtwork(), resetX, resetY) > 100, ! resetOnStart);
    }
}

TEST_F (EditorFixture, TickCountsFlashesDownAndHoldsTheFirstStep)
{
    open();
    editor->triggerFlash = 4;
    editor->saveFlash = 1;
    editor->holdFirstStep = true;
    processor.sequencer.currentStep = -1;

    for (int tick = 1; tick <= 4; ++tick)
    {
        editor->timerCallback();
        EXPECT_EQ (editor->triggerFlash, 4 - tick);
        EXPECT_EQ (editor->saveFlash, 0);
        EXPECT_EQ (editor->displayedStep, 0);
    }
    processor.sequencer.currentStep = 5;
    editor->timerCallback();
    EXPECT_EQ (editor->displayedStep, 5);
    processor.sequencer.currentStep = -1;
    editor->timerCallback();
    EXPECT_EQ (editor->displayedStep, -1);  // the hold ended with the first real step

    // The run lamp's phase runs 0 to 23.
    editor->blinkPhase = 22;
    editor->timerCallback();
    EXPECT_EQ (editor->blinkPhase, 23);
    editor->timerCallback();
    EXPECT_EQ (editor->blinkPhase, 0);
}

TEST_F (EditorFixture, SingleRunStopClickActsSixTicksLater)
{
    open();
    auto& sequencer = processor.sequencer;
    ASSERT_TRUE (editor->runStopButton.onClick != nullptr);
    ASSERT_FALSE (sequencer.hostPlaying.load());
    ASSERT_FALSE (sequencer.sequencerSwitchedOut.load());

    editor->runStopButton.onClick();
    for (int tick = 1; tick <= 5; ++tick)
    {
        editor->timerCallback();
        EXPECT_FALSE (sequencer.sequencerSwitchedOut.load()) << tick;
    }
    editor->timerCallback();
    EXPECT_TRUE (sequencer.sequencerSwitchedOut.load());
}

#if __has_include("editor/PresetBrowser.h")
 #include "editor/PresetBrowser.h"

TEST_F (EditorFixture, UndoKeyClosesTheBrowserAndUndoes)
{
    open();
    set ("volume", 0.8f);
    auto& volume = knob ("volume");
    drag (volume, { 10.0f, 100.0f }, { { { 10.0f, 75.0f }, {} } });
    const float edited = value ("volume");
    ASSERT_GT (edited, 0.8f);

    KVPresetBrowser::open (*editor);
    ASSERT_NE (editor->presetBrowser, nullptr);
    mouseOver (knob ("stepPitch0"));
    EXPECT_FALSE (press (*editor, command ('c')));  // no copy while the browser covers the panel

    EXPECT_TRUE (press (*editor, command ('z')));
    EXPECT_EQ (editor->presetBrowser, nullptr);
    EXPECT_NEAR (value ("volume"), 0.8f, 1.0e-6);
}
#endif

TEST_F (EditorFixture, OpensOnThePageTheProcessorIsEditing)
{
    processor.sequencer.pageBInitialised = true;
    processor.sequencer.editPage = 1;
    open();
    EXPECT_EQ (editor->shownPage, 1);
    EXPECT_EQ (processor.sequencer.editPage.load(), 1);
    EXPECT_TRUE (knob ("stepPitch8").isVisible());
    EXPECT_FALSE (knob ("stepPitch0").isVisible());
    EXPECT_TRUE (editor->patternBButton.getToggleState());
    editor.reset();

    processor.sequencer.editPage = 0;
    open();
    EXPECT_EQ (editor->shownPage, 0);
    EXPECT_TRUE (knob ("stepPitch0").isVisible());
}
