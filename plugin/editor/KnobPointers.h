#pragma once

// The second paint pass of the panel (KVEditor::paintOverChildren, KnobPointers.cpp): the
// pointer lines of every knob, the clock-multiplier lamp with its pointer, and the value readout
// beside the knob held by the mouse.

#include "EditorLayout.h"
#include <juce_graphics/juce_graphics.h>

namespace kv::pointers
{
// Pointer angle in radians (from the positive x axis, y downwards) for a knob travel 0..1:
// 0 points to about half past seven, 0.5 straight up, 1 to about half past four.
inline float pointerAngle (double proportion)
{
    return (float) proportion * 4.649557f - 2.3247786f - 1.5707964f;
}

// Panel position of the multiplier LED for index 0..8 (1/5 ... 6x).
kv::layout::PanelPoint clockMultiplierLed (int index);
inline constexpr kv::layout::PanelPoint kClockMultiplierPivot { 1495.6f, 612.6f };

// Where the readout box of size (w, h) goes for a knob with bounds `knob` in an editor of
// width x height with horizontal scale sx: the first corner position that fits inside the
// editor less a margin, else upper right, then moved (never resized) into the allowed area.
juce::Rectangle<float> placeReadout (juce::Rectangle<float> knob, float w, float h, float width, float height, float sx);
} // namespace kv::pointers
