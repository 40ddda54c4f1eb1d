#include "Controls.h"

#include "ValueText.h"

#include <cmath>

namespace
{
bool isUpKey (const juce::KeyPress& key)
{
    const int code = key.getKeyCode();
    return code == juce::KeyPress::upKey || code == juce::KeyPress::rightKey;
}

bool isDownKey (const juce::KeyPress& key)
{
    const int code = key.getKeyCode();
    return code == juce::KeyPress::downKey || code == juce::KeyPress::leftKey;
}

double divisionValue (int index)
{
    return 1.0 / kv::kLfoDivisions[juce::jlimit (0, kv::kNumLfoDivisions - 1, index)].beats;
}

// Division whose rate (1 / beats) is nearest to the value on a log scale; the first on a tie.
int divisionIndexOf (double value)
{
    if (value <= 0.0)
        return 0;

    int best = 0;
    double bestDistance = std::abs (std::log (value * kv::kLfoDivisions[0].beats));
    for (int k = 1; k < kv::kNumLfoDivisions; ++k)
    {
        const double distance = std::abs (std::log (value * kv::kLfoDivisions[k].beats));
        if (distance < bestDistance)
        {
            best = k;
            bestDistance = distance;
        }
    }
    return best;
}
} // namespace

//==============================================================================
void KVSlider::mouseEnter (const juce::MouseEvent& e)
{
    juce::Slider::mouseEnter (e);

    // Arrow keys act on the knob under the mouse without a click.
    if (nudgeStep > 0.0 && isEnabled() && isShowing())
        grabKeyboardFocus();
}

void KVSlider::mouseDown (const juce::MouseEvent& e)
{
    fineDragActive = false;
    if (onPressStart)
        onPressStart (*this);

    if (e.mods.isCommandDown() || e.mods.isCtrlDown())
    {
        if (resetOnCommandClick)
        {
            setValue (resetValue, juce::sendNotificationSync);
            return;
        }
    }

    if (e.mods.isShiftDown() || juce::ModifierKeys::getCurrentModifiers().isShiftDown())
    {
        startFineDrag (e.position);
        return;
    }

    juce::Slider::mouseDown (e);
}

void KVSlider::startFineDrag (juce::Point<float> position)
{
    fineDragActive = true;
    fineDragStart = position;
    fineDragStartProportion = valueToProportionOfLength (getValue());
}

void KVSlider::setValueClamped (double value)
{
    setValue (juce::jlimit (getMinimum(), getMaximum(), value), juce::sendNotificationSync);
}

void KVSlider::mouseDrag (const juce::MouseEvent& e)
{
    if (e.mods.isShiftDown() || fineDragActive)
    {
        // Shift during a normal drag carries on from where the knob is now.
        if (! fineDragActive)
            startFineDrag (e.position);

        const double proportion = juce::jlimit (0.0, 1.0, fineDragStartProportion
                                                              + (double) (fineDragStart.y - e.position.y) / kFineDragPixels);
        setValueClamped (proportionOfLengthToValue (proportion));
        return;
    }

    if (isEnabled())
        juce::Slider::mouseDrag (e);
}

void KVSlider::mouseUp (const juce::MouseEvent& e)
{
    fineDragActive = false;
    juce::Slider::mouseUp (e);
    if (onPressEnd)
        onPressEnd (*this);
}

void KVSlider::mouseWheelMove (const juce::MouseEvent& e, const juce::MouseWheelDetails& wheel)
{
    if (onWheelStart)
        onWheelStart (*this);
    juce::Slider::mouseWheelMove (e, wheel);
}

bool KVSlider::keyPressed (const juce::KeyPress& key)
{
    if (nudgeStep > 0.0)
    {
        if (isUpKey (key))
        {
            nudgeByArrowDirection (1);
            return true;
        }
        if (isDownKey (key))
        {
            nudgeByArrowDirection (-1);
            return true;
        }
    }

    if (keyHandler && keyHandler (key))
        return true;

    return juce::Slider::keyPressed (key);
}

void KVSlider::nudgeByArrowDirection (int direction)
{
    if (direction == 0 || nudgeStep <= 0.0)
        return;

    if (onNudgeStart)
        onNudgeStart (*this);

    const double current = getValue();
    double value = current;

    if (isSynced())
    {
        const int index = current <= 0.0 ? 0 : divisionIndexOf (current);
        value = divisionValue (juce::jlimit (0, kv::kNumLfoDivisions - 1, index + direction));
    }
    else if (nudgeProportional)
    {
        const double proportion = juce::jlimit (0.0, 1.0, valueToProportionOfLength (current) + direction * nudgeStep);
        value = proportionOfLengthToValue (proportion);
    }
    else
    {
        // Off-grid values first snap to the next grid point in the arrow's direction.
        const double q = current / nudgeStep;
        value = direction > 0 ? (std::floor (q + 0.000000001) + 1.0) * nudgeStep
                              : (std::ceil (q - 0.000000001) - 1.0) * nudgeStep;
        value = juce::jlimit (getMinimum(), getMaximum(), value);
    }

    setValue (value, juce::sendNotificationSync);

    if (onNudgeEnd)
        onNudgeEnd (*this);
}

double KVSlider::proportionOfLengthToValue (double proportion)
{
    if (! isSynced())
        return juce::Slider::proportionOfLengthToValue (proportion);

    // Eight detents, "4 bars" at the bottom to "1/32" at the top.
    const int index = juce::jlimit (0, kv::kNumLfoDivisions - 1, (int) std::round (proportion * 7.0));
    return divisionValue (index);
}

double KVSlider::valueToProportionOfLength (double value)
{
    if (! isSynced())
        return juce::Slider::valueToProportionOfLength (value);

    if (value <= 0.0)
        return 0.0;
    return divisionIndexOf (value) / 7.0;
}

//==============================================================================
void KVComboBox::mouseDown (const juce::MouseEvent& e)
{
    if (onPressStart)
        onPressStart (*this);
    juce::ComboBox::mouseDown (e);
}

void KVComboBox::mouseWheelMove (const juce::MouseEvent& e, const juce::MouseWheelDetails& wheel)
{
    if (onPressStart)
        onPressStart (*this);
    juce::ComboBox::mouseWheelMove (e, wheel);
}

bool KVComboBox::keyPressed (const juce::KeyPress& key)
{
    if (keyHandler && keyHandler (key))
        return true;

    if (onPressStart)
        onPressStart (*this);
    return juce::ComboBox::keyPressed (key);
}

//==============================================================================
void KVTextButton::mouseDown (const juce::MouseEvent& e)
{
    if (onPressStart)
        onPressStart (*this);
    juce::TextButton::mouseDown (e);
}

void KVTextButton::mouseUp (const juce::MouseEvent& e)
{
    juce::TextButton::mouseUp (e);
    if (onPressEnd)
        onPressEnd (*this);
}

bool KVTextButton::keyPressed (const juce::KeyPress& key)
{
    if (keyHandler && keyHandler (key))
        return true;

    if (onPressStart)
        onPressStart (*this);

    bool consumed = false;
    if (isEnabled() && key.getKeyCode() == juce::KeyPress::returnKey)
    {
        bool parentsEnabled = true;
        for (auto* parent = getParentComponent(); parent != nullptr; parent = parent->getParentComponent())
            parentsEnabled = parentsEnabled && parent->isEnabled();

        if (parentsEnabled)
        {
            // A synchronous click, so the edit opened above holds the change.
            if (getClickingTogglesState())
                setToggleState (! getToggleState(), juce::sendNotificationSync);
            else if (onClick)
                onClick();
            consumed = true;
        }
    }

    if (onPressEnd)
        onPressEnd (*this);
    return consumed;
}
