#pragma once

// The panel's typefaces. They are embedded in the plug-in so the panel looks the same on every
// system: DejaVu Sans Mono stands in for "Menlo", DejaVu Sans Condensed (regular and bold) for
// "Avenir Next Condensed" and for the default sans-serif of the widgets.

#include <juce_graphics/juce_graphics.h>

namespace kv::fonts
{
inline constexpr const char* kMonoFamily = "Menlo";
inline constexpr const char* kCondensedFamily = "Avenir Next Condensed";

// The embedded faces, created once per process.
juce::Typeface::Ptr monoTypeface();
juce::Typeface::Ptr condensedTypeface (bool bold);

// Fonts of the given height (in pixels).
juce::Font mono (float height);
juce::Font condensed (float height, bool bold);
juce::Font sans (float height, bool bold);

// For LookAndFeel::getTypefaceForFont: the embedded face for a font asking for "Menlo",
// "Avenir Next Condensed" or the default sans-serif / monospaced family; nullptr for any other
// family (let the base class decide).
juce::Typeface::Ptr typefaceFor (const juce::Font& font);
} // namespace kv::fonts
