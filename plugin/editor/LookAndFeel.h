#pragma once

// KVLookAndFeel: the panel's style for the framework widgets (pop-up menus, scroll bars, the
// preset browser's list, and any control drawn opaque), and the panel palette shared by the
// editor files.
//
// Do not include PluginEditor.h here: PluginEditor.h includes this header.

#include "Controls.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace kv
{
// The palette, 32-bit ARGB.
inline constexpr juce::uint32 kPanelBase = 0xffeee2c8u;
inline constexpr juce::uint32 kPanelShade = 0xffe2d5bau;
inline constexpr juce::uint32 kInk = 0xff15140fu;
inline constexpr juce::uint32 kDivider = 0xffb2a486u;
inline constexpr juce::uint32 kAccentRed = 0xffb8362au;
inline constexpr juce::uint32 kKnobBody = 0xff171615u;
inline constexpr juce::uint32 kKnobTop = 0xff2a2827u;
inline constexpr juce::uint32 kKnobEdge = 0xff050505u;
inline constexpr juce::uint32 kDarkPlate = 0xff141311u;
inline constexpr juce::uint32 kDarkEdge = 0xff050505u;
inline constexpr juce::uint32 kAmberText = 0xffe89a2eu;
inline constexpr juce::uint32 kLedOn = 0xffe8351cu;
inline constexpr juce::uint32 kLedOff = 0xff4a1410u;
inline constexpr juce::uint32 kLedGreen = 0xff30c04au;
inline constexpr juce::uint32 kBrowserBack = 0xfff4f1ebu;
inline constexpr juce::uint32 kBrowserText = 0xff292826u;
inline constexpr juce::uint32 kBrowserHot = 0xff111110u;
inline constexpr juce::uint32 kBrowserHighlight = 0xff343331u;
inline constexpr juce::uint32 kBrowserBezel = 0xffaaa69fu;

// A palette colour as it is.
inline juce::Colour paletteColour (juce::uint32 argb) { return juce::Colour (argb); }

// A palette colour with its alpha byte replaced by `alpha`.
inline juce::Colour paletteColour (juce::uint32 argb, juce::uint8 alpha)
{
    return juce::Colour ((argb & 0x00ffffffu) | ((juce::uint32) alpha << 24));
}
} // namespace kv

class KVLookAndFeel : public juce::LookAndFeel_V4
{
public:
    KVLookAndFeel();
    ~KVLookAndFeel() override;

    void drawScrollbar (juce::Graphics&, juce::ScrollBar&, int x, int y, int width, int height, bool isScrollbarVertical,
                        int thumbStartPosition, int thumbSize, bool isMouseOver, bool isMouseDown) override;

    void drawButtonBackground (juce::Graphics&, juce::Button&, const juce::Colour& backgroundColour,
                               bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;
    void drawButtonText (juce::Graphics&, juce::TextButton&, bool shouldDrawButtonAsHighlighted,
                         bool shouldDrawButtonAsDown) override;

    void drawPopupMenuBackgroundWithOptions (juce::Graphics&, int width, int height,
                                             const juce::PopupMenu::Options&) override;
    void drawPopupMenuItemWithOptions (juce::Graphics&, const juce::Rectangle<int>& area, bool isHighlighted,
                                       const juce::PopupMenu::Item& item, const juce::PopupMenu::Options&) override;
    juce::Font getPopupMenuFont() override;
    void getIdealPopupMenuItemSizeWithOptions (const juce::String& text, bool isSeparator, int standardMenuItemHeight,
                                               int& idealWidth, int& idealHeight,
                                               const juce::PopupMenu::Options&) override;

    void drawComboBox (juce::Graphics&, int width, int height, bool isButtonDown, int buttonX, int buttonY,
                       int buttonW, int buttonH, juce::ComboBox&) override;
    juce::Font getComboBoxFont (juce::ComboBox&) override;
    void positionComboBoxText (juce::ComboBox&, juce::Label&) override;

    void drawRotarySlider (juce::Graphics&, int x, int y, int width, int height, float sliderPosProportional,
                           float rotaryStartAngle, float rotaryEndAngle, juce::Slider&) override;

    // The embedded faces stand in for "Menlo" and the default sans-serif wherever a widget asks
    // for them by name.
    juce::Typeface::Ptr getTypefaceForFont (const juce::Font&) override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (KVLookAndFeel)
};
