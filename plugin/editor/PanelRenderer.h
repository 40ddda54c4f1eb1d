#pragma once

// The first paint pass of the panel: artwork, slide switches, display windows and LEDs. The pass
// itself is KVEditor::paint (PanelRenderer.cpp); these are its drawing pieces.

#include <juce_graphics/juce_graphics.h>

namespace kv::panel
{
// The three lit-LED images, decoded and filtered once per process on first use.
struct LedImages
{
    juce::Image red;         // the LED resource as it is
    juce::Image flashRed;    // momentary LEDs: halo cut back
    juce::Image softRimRed;  // state LEDs: halo cut back and the dark rim tinted
};
const LedImages& ledImages();

// One lit LED centred on `centre`; every caller passes radius 3.8 * sx.
void drawLitPanelLed (juce::Graphics& g, juce::Point<float> centre, float radius, bool flash);

// A copy whose alpha fades with the distance from the image centre: untouched within
// fadeStart pixels, cut to 12 % beyond fadeStart + fadeWidth.
juce::Image reduceLedSpill (const juce::Image& source, float fadeStart, float fadeWidth);

// A copy in which the dark ring around the lens (radius 6.6 px) is tinted towards `rim`.
juce::Image softenPanelLightRim (const juce::Image& source, juce::Colour rim);

// One slide switch; the thumb sits right when on.
void drawPanelToggle (juce::Graphics& g, juce::Rectangle<float> r, bool on);

// One dark display window with glowing upper-case text.
void drawDisplayBox (juce::Graphics& g, juce::Rectangle<int> r, const juce::String& text, float fontHeight);
} // namespace kv::panel
