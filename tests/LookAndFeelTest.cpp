// The panel's look and feel, painted into images: pop-up menu items (sizes, the current choice,
// the hovered and disabled items, separators), buttons of each kind, and the scroll bar thumb.

#include "editor/Controls.h"
#include "editor/LookAndFeel.h"

#include <gtest/gtest.h>

namespace
{
juce::Image blank (int w, int h, juce::Colour background = juce::Colour (0xfff4f1ebu))
{
    juce::Image image (juce::Image::ARGB, w, h, true);
    juce::Graphics (image).fillAll (background);
    return image;
}

juce::uint32 argb (const juce::Image& image, int x, int y)
{
    return image.getPixelAt (x, y).getARGB();
}

// Whether any pixel of the area differs from `colour`.
bool anyPixelDiffers (const juce::Image& image, juce::Rectangle<int> area, juce::uint32 colour)
{
    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            if (argb (image, x, y) != colour)
                return true;
    return false;
}

// The darkest (lowest red) pixel of an area: the text ink.
juce::Colour darkest (const juce::Image& image, juce::Rectangle<int> area)
{
    juce::Colour best (0xffffffffu);
    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            if (image.getPixelAt (x, y).getRed() < best.getRed())
                best = image.getPixelAt (x, y);
    return best;
}

juce::Colour brightest (const juce::Image& image, juce::Rectangle<int> area)
{
    juce::Colour best (0xff000000u);
    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            if (image.getPixelAt (x, y).getRed() > best.getRed())
                best = image.getPixelAt (x, y);
    return best;
}

// Colours equal within the rounding of the renderer's blending.
::testing::AssertionResult near (juce::Colour actual, juce::Colour expected, int tolerance = 2)
{
    const auto d = [] (juce::uint8 a, juce::uint8 b) { return std::abs ((int) a - (int) b); };
    if (d (actual.getAlpha(), expected.getAlpha()) <= tolerance && d (actual.getRed(), expected.getRed()) <= tolerance
        && d (actual.getGreen(), expected.getGreen()) <= tolerance && d (actual.getBlue(), expected.getBlue()) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << actual.toDisplayString (true) << " vs " << expected.toDisplayString (true);
}

juce::PopupMenu::Item item (const juce::String& text, bool ticked = false, bool enabled = true)
{
    juce::PopupMenu::Item i (text);
    i.itemID = 1;
    i.isTicked = ticked;
    i.isEnabled = enabled;
    return i;
}

struct LookAndFeelTest : ::testing::Test
{
    KVLookAndFeel lf;
    juce::PopupMenu::Options options;

    juce::Image paintItem (const juce::PopupMenu::Item& i, bool highlighted, int w = 200, int h = 29)
    {
        auto image = blank (w, h);
        juce::Graphics g (image);
        lf.drawPopupMenuItemWithOptions (g, { 0, 0, w, h }, highlighted, i, options);
        return image;
    }
};

TEST_F (LookAndFeelTest, MenuItemsAre29PixelsHighAndAtLeast125Wide)
{
    struct Case
    {
        const char* text;
        bool separator;
        int height;
    };
    for (const auto& c : { Case { "", false, 29 }, Case { "OFF", false, 29 }, Case { "", true, 9 } })
    {
        int w = 0, h = 0;
        lf.getIdealPopupMenuItemSizeWithOptions (c.text, c.separator, 17, w, h, options);
        EXPECT_EQ (h, c.height) << c.text;
        EXPECT_EQ (w, 125) << c.text;
    }

    // Long names widen the item by their width in the 16-pixel monospaced menu font.
    int w = 0, h = 0;
    lf.getIdealPopupMenuItemSizeWithOptions ("VISIONAIRE KICK ARCHIVE", false, 17, w, h, options);
    EXPECT_GT (w, 125 + 100);
    EXPECT_FLOAT_EQ (lf.getPopupMenuFont().getHeight(), 16.0f);
}

TEST_F (LookAndFeelTest, CurrentChoiceIsADarkBarWithLightTextAndMarker)
{
    const auto ticked = paintItem (item ("CUTOFF", true), false);
    EXPECT_EQ (argb (ticked, 7, 3), 0xff343331u);           // inside r = (5, 1, 190, 27)
    EXPECT_EQ (argb (ticked, 3, 3), 0xfff4f1ebu);           // left of r: background
    EXPECT_EQ (argb (ticked, 100, 0), 0xfff4f1ebu);         // above r
    EXPECT_GT (brightest (ticked, { 12, 1, 176, 27 }).getRed(), 0xe0);  // light text on the bar

    const auto plain = paintItem (item ("CUTOFF"), false);
    EXPECT_FALSE (anyPixelDiffers (plain, { 0, 0, 200, 1 }, 0xfff4f1ebu));
    EXPECT_EQ (argb (plain, 7, 3), 0xfff4f1ebu);
    EXPECT_LT (darkest (plain, { 12, 1, 176, 27 }).getRed(), 0x50);  // dark text

    // The ticked text carries the "> " marker in front: its ink starts at the same place and
    // reaches two character cells further right.
    const auto inkRight = [] (const juce::Image& image, juce::uint32 background)
    {
        int right = -1;
        for (int x = 12; x < 188; ++x)
            if (anyPixelDiffers (image, { x, 4, 1, 21 }, background))
                right = x;
        return right;
    };
    juce::GlyphArrangement cells;
    cells.addLineOfText (lf.getPopupMenuFont(), "MM", 0.0f, 0.0f);
    const int cell = juce::roundToInt (cells.getBoundingBox (0, -1, true).getWidth() / 2.0f);
    EXPECT_NEAR (inkRight (ticked, 0xff343331u) - inkRight (plain, 0xfff4f1ebu), 2 * cell, 2);
}

TEST_F (LookAndFeelTest, HoveredItemIsOutlinedAndDisabledTextIsFaint)
{
    const auto hovered = paintItem (item ("CUTOFF"), true);
    // One-pixel outline of r in 0x57292826 over the cream background.
    const auto expected = juce::Colour (0xfff4f1ebu).overlaidWith (juce::Colour (0x57292826u));
    EXPECT_TRUE (near (hovered.getPixelAt (5, 10), expected));
    EXPECT_TRUE (near (hovered.getPixelAt (100, 1), expected));
    EXPECT_EQ (argb (hovered, 6, 10), 0xfff4f1ebu);

    // A disabled hovered item gets no outline; its text is drawn at 35 % alpha.
    const auto disabled = paintItem (item ("CUTOFF", false, false), true);
    EXPECT_EQ (argb (disabled, 5, 10), 0xfff4f1ebu);
    const auto enabledInk = darkest (paintItem (item ("CUTOFF"), false), { 12, 1, 176, 27 });
    const auto faintInk = darkest (disabled, { 12, 1, 176, 27 });
    EXPECT_GT (faintInk.getRed(), enabledInk.getRed() + 60);
}

TEST_F (LookAndFeelTest, SeparatorIsAOnePixelLineInsetNinePixels)
{
    juce::PopupMenu::Item separator;
    separator.isSeparator = true;
    const auto image = paintItem (separator, false, 200, 9);
    const auto line = juce::Colour (0xfff4f1ebu).overlaidWith (juce::Colour (0x3d292826u));
    EXPECT_TRUE (near (image.getPixelAt (9, 4), line));
    EXPECT_TRUE (near (image.getPixelAt (190, 4), line));
    EXPECT_EQ (argb (image, 8, 4), 0xfff4f1ebu);
    EXPECT_EQ (argb (image, 191, 4), 0xfff4f1ebu);
    EXPECT_EQ (argb (image, 100, 3), 0xfff4f1ebu);
    EXPECT_EQ (argb (image, 100, 5), 0xfff4f1ebu);
}

TEST_F (LookAndFeelTest, MenuBackgroundIsCreamWithARoundedBezel)
{
    auto image = blank (120, 80, juce::Colours::black);
    juce::Graphics g (image);
    lf.drawPopupMenuBackgroundWithOptions (g, 120, 80, options);
    EXPECT_EQ (argb (image, 60, 40), 0xfff4f1ebu);
    EXPECT_EQ (argb (image, 0, 0), 0xff000000u);  // outside the rounded corner
}

TEST_F (LookAndFeelTest, ButtonKindsAndTexts)
{
    const auto paint = [this] (juce::TextButton& button)
    {
        button.setSize (60, 30);
        auto image = blank (60, 34, juce::Colours::white);
        juce::Graphics g (image);
        lf.drawButtonBackground (g, button, {}, false, false);
        lf.drawButtonText (g, button, false, false);
        return image;
    };

    // A plain framework button is drawn as kind 1: corner 6 with a drop shadow.
    juce::TextButton plain ("RUN");
    KVTextButton kind1 ("RUN", 1), kind2 ("RUN", 2);
    const auto plainImage = paint (plain);
    const auto kind1Image = paint (kind1);
    const auto kind2Image = paint (kind2);
    EXPECT_EQ (argb (plainImage, 1, 2), argb (kind1Image, 1, 2));
    EXPECT_EQ (argb (plainImage, 30, 4), kv::kDarkPlate);
    EXPECT_GT (plainImage.getPixelAt (1, 1).getRed(), 0xf0);  // rounded away at corner 6
    EXPECT_LT (kind2Image.getPixelAt (1, 1).getRed(), 0xc0);  // corner 3 reaches closer
    EXPECT_NE (argb (plainImage, 30, 30), 0xffffffffu); // the shadow below kind 1 ...
    EXPECT_EQ (argb (kind2Image, 30, 30), 0xffffffffu); // ... and none below kind 2

    // An empty text draws nothing but the background.
    KVTextButton empty ({}, 1);
    const auto emptyImage = paint (empty);
    EXPECT_FALSE (anyPixelDiffers (emptyImage, { 10, 8, 40, 14 }, kv::kDarkPlate));
    EXPECT_TRUE (anyPixelDiffers (kind1Image, { 10, 8, 40, 14 }, kv::kDarkPlate));

    // A toggled plain key is the red accent, darkened.
    kind1.setToggleState (true, juce::dontSendNotification);
    EXPECT_EQ (argb (paint (kind1), 4, 15), kv::paletteColour (kv::kAccentRed).darker (0.1f).getARGB());

    // Kind 0 carries its own LED, lit while toggled on.
    KVTextButton led ({}, 0);
    led.setSize (40, 40);
    auto dark = blank (40, 40);
    {
        juce::Graphics g (dark);
        lf.drawButtonBackground (g, led, {}, false, false);
    }
    led.setToggleState (true, juce::dontSendNotification);
    auto lit = blank (40, 40);
    {
        juce::Graphics g (lit);
        lf.drawButtonBackground (g, led, {}, false, false);
    }
    // LED centre (0.5 + 0.5 * 39, 0.5 + 0.32 * 39) = (20, 13).
    EXPECT_EQ (argb (dark, 20, 13), kv::kLedOff);
    EXPECT_EQ (argb (lit, 20, 13), kv::kLedOn);
}

TEST_F (LookAndFeelTest, ScrollBarThumbLightensOnHoverAndDrag)
{
    juce::ScrollBar bar (true);
    const auto thumbColour = [&] (bool over, bool down)
    {
        auto image = blank (12, 100);
        juce::Graphics g (image);
        lf.drawScrollbar (g, bar, 0, 0, 12, 100, true, 20, 40, over, down);
        return image.getPixelAt (4, 24);  // near the thumb's top-left, where the gradient starts
    };
    const auto idle = thumbColour (false, false), over = thumbColour (true, false), down = thumbColour (true, true);
    EXPECT_GT (over.getBrightness(), idle.getBrightness());
    EXPECT_GT (down.getBrightness(), over.getBrightness());

    auto image = blank (12, 100);
    juce::Graphics g (image);
    lf.drawScrollbar (g, bar, 0, 0, 12, 100, true, 20, 40, false, false);
    EXPECT_EQ (argb (image, 6, 5), 0xff080706u);  // the track
}

TEST_F (LookAndFeelTest, ComboBoxKindsAndFonts)
{
    KVComboBox panel (KVComboBox::PanelChoice), preset (KVComboBox::PresetChoice);
    panel.setSize (149, 48);
    preset.setSize (443, 49);
    EXPECT_FLOAT_EQ (lf.getComboBoxFont (preset).getHeight(), 11.0f);
    EXPECT_FLOAT_EQ (lf.getComboBoxFont (panel).getHeight(), 12.0f);
    panel.setSize (38, 10);
    EXPECT_FLOAT_EQ (lf.getComboBoxFont (panel).getHeight(), 6.0f);

    juce::Label label;
    lf.positionComboBoxText (preset, label);
    EXPECT_EQ (label.getBounds(), juce::Rectangle<int> (10, 0, 415, 49));
    panel.setSize (149, 48);
    lf.positionComboBoxText (panel, label);
    EXPECT_EQ (label.getBounds(), juce::Rectangle<int> (2, 0, 145, 48));
    EXPECT_EQ (label.findColour (juce::Label::textColourId).getARGB(), kv::kAmberText);

    auto image = blank (443, 49, juce::Colours::white);
    juce::Graphics g (image);
    lf.drawComboBox (g, 443, 49, false, 0, 0, 0, 0, preset);
    EXPECT_EQ (argb (image, 200, 20), kv::kDarkPlate);
    EXPECT_NE (argb (image, 443 - 16, (int) (0.62f * 49)), kv::kDarkPlate);  // the arrow's tip
}
} // namespace
