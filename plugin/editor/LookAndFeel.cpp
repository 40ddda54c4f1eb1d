#include "LookAndFeel.h"

#include "Fonts.h"

#include <algorithm>
#include <cmath>

namespace
{
using juce::Colour;

constexpr juce::uint32 kLightText = 0xffefe7d8u;

// The widget's local bounds inset by half a pixel.
juce::Rectangle<float> insetBounds (int w, int h)
{
    return { 0.5f, 0.5f, (float) std::max (0, w - 1), (float) std::max (0, h - 1) };
}

int buttonKindOf (const juce::Button& button)
{
    if (auto* kvButton = dynamic_cast<const KVTextButton*> (&button))
        return kvButton->buttonKind;
    return 1;
}

int boxKindOf (const juce::ComboBox& box)
{
    if (auto* kvBox = dynamic_cast<const KVComboBox*> (&box))
        return kvBox->boxKind;
    return KVComboBox::PanelChoice;
}

float textWidth (const juce::Font& font, const juce::String& text)
{
    juce::GlyphArrangement glyphs;
    glyphs.addLineOfText (font, text, 0.0f, 0.0f);
    return glyphs.getBoundingBox (0, -1, true).getWidth();
}
} // namespace

KVLookAndFeel::KVLookAndFeel()
{
    using namespace kv;
    setColour (juce::Slider::rotarySliderFillColourId, Colour (0xffd4c7aeu));
    setColour (juce::Slider::rotarySliderOutlineColourId, Colour (0xff282826u));
    setColour (juce::Slider::thumbColourId, Colour (0xffffffffu));
    setColour (juce::ComboBox::backgroundColourId, paletteColour (kDarkPlate));
    setColour (juce::ComboBox::outlineColourId, paletteColour (kDarkEdge));
    setColour (juce::ComboBox::textColourId, Colour (kLightText));
    setColour (juce::ComboBox::arrowColourId, Colour (kLightText));
    setColour (juce::PopupMenu::backgroundColourId, Colour (0xfff4f1ebu));
    setColour (juce::PopupMenu::textColourId, Colour (0xff292826u));
    setColour (juce::PopupMenu::headerTextColourId, Colour (0xff292826u));
    setColour (juce::PopupMenu::highlightedBackgroundColourId, Colour (0xff343331u));
    setColour (juce::ScrollBar::thumbColourId, Colour (0xffded5c7u));
    setColour (juce::TextButton::buttonColourId, paletteColour (kDarkPlate));
    setColour (juce::TextButton::buttonOnColourId, paletteColour (kAccentRed));
    setColour (juce::TextButton::textColourOffId, Colour (kLightText));
    setColour (juce::TextButton::textColourOnId, Colour (kLightText));
}

KVLookAndFeel::~KVLookAndFeel() = default;

//==============================================================================
void KVLookAndFeel::drawScrollbar (juce::Graphics& g, juce::ScrollBar&, int x, int y, int width, int height,
                                   bool isScrollbarVertical, int thumbStartPosition, int thumbSize, bool isMouseOver,
                                   bool isMouseDown)
{
    g.setColour (Colour (0xff080706u));
    g.fillRoundedRectangle ((float) x + 1.0f, (float) y + 1.0f, (float) std::max (0, width - 2),
                            (float) std::max (0, height - 2), 2.0f);

    const auto thumb = isScrollbarVertical
                           ? juce::Rectangle<float> ((float) x + 2.0f, (float) thumbStartPosition + 0.5f,
                                                     (float) std::max (0, width - 4), (float) std::max (0, thumbSize - 1))
                           : juce::Rectangle<float> ((float) thumbStartPosition + 0.5f, (float) y + 2.0f,
                                                     (float) std::max (0, thumbSize - 1), (float) std::max (0, height - 4));

    const Colour start (isMouseDown ? 0xfff6f1e8u : isMouseOver ? 0xffeee6d8u : 0xffded5c7u);
    const Colour end (isMouseDown ? 0xffcfc4b4u : 0xffbdb3a3u);
    g.setGradientFill (juce::ColourGradient (start, thumb.getTopLeft(), end, thumb.getBottomRight(), false));
    g.fillRoundedRectangle (thumb, 2.0f);

    g.setColour (kv::paletteColour (kv::kInk, 0xc7));
    g.drawRoundedRectangle (thumb, 2.0f, 0.8f);
}

//==============================================================================
void KVLookAndFeel::drawButtonBackground (juce::Graphics& g, juce::Button& button, const juce::Colour&,
                                          bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown)
{
    using namespace kv;
    const auto b = insetBounds (button.getWidth(), button.getHeight());
    const int kind = buttonKindOf (button);

    if (kind == 0)
    {
        // A key with its own LED.
        g.setColour (Colour (0xff0c0b0au));
        g.fillRoundedRectangle (b, 3.0f);
        g.setColour (Colour (0xff282422u));
        g.drawRoundedRectangle (b, 3.0f, 1.0f);

        const float r = 0.14f * std::min (b.getWidth(), b.getHeight());
        const juce::Point<float> centre (0.5f + 0.5f * b.getWidth(), 0.5f + 0.32f * b.getHeight());
        const auto disc = [&centre] (float radius)
        { return juce::Rectangle<float> (centre.x - radius, centre.y - radius, 2.0f * radius, 2.0f * radius); };

        if (shouldDrawButtonAsDown || button.getToggleState())
        {
            g.setColour (paletteColour (kLedOn, 0x59));
            g.fillEllipse (disc (2.8f * r));
            g.setColour (paletteColour (kLedOn));
            g.fillEllipse (disc (r));
            g.setColour (Colour (0xff7f1d15u));
            g.drawEllipse (disc (r), 0.8f);
        }
        else
        {
            g.setColour (paletteColour (kLedOff));
            g.fillEllipse (disc (r));
            g.setColour (Colour (0xff181818u));
            g.drawEllipse (disc (r), 0.8f);
            if (shouldDrawButtonAsHighlighted)
            {
                g.setColour (Colour (0x18ffffffu));
                g.fillRoundedRectangle (b, 3.0f);
            }
        }
        return;
    }

    // Plain keys.
    auto base = button.getToggleState() ? paletteColour (kAccentRed).darker (0.1f) : paletteColour (kDarkPlate);
    if (shouldDrawButtonAsDown)
        base = base.brighter (0.12f);
    else if (shouldDrawButtonAsHighlighted)
        base = base.brighter (0.06f);

    const float corner = kind == 1 ? 6.0f : 3.0f;
    if (kind == 1)
    {
        g.setColour (paletteColour (kDarkEdge, 0x2e));
        g.fillRoundedRectangle (0.5f, 1.5f, b.getWidth(), b.getHeight(), 6.0f);
    }
    g.setColour (base);
    g.fillRoundedRectangle (b, corner);
    g.setColour (paletteColour (kDarkEdge));
    g.drawRoundedRectangle (b, corner, 1.0f);
}

void KVLookAndFeel::drawButtonText (juce::Graphics& g, juce::TextButton& button, bool, bool)
{
    const auto text = button.getButtonText();
    if (text.isEmpty())
        return;

    const int w = button.getWidth(), h = button.getHeight();
    const auto* kvButton = dynamic_cast<const KVTextButton*> (&button);

    juce::Rectangle<int> area (0, 0, w, h);
    float height = 8.5f;
    Colour colour (kLightText);

    if (kvButton != nullptr && kvButton->buttonKind == 0)
    {
        const int top = juce::roundToInt (0.52f * (float) h);
        area = { 0, top, w, h - top };
        height = 7.5f;
        colour = Colour (0xd9efe7d8u);
    }
    else if (kvButton != nullptr && kvButton->buttonKind == 2)
    {
        height = 7.5f;
    }

    g.setFont (kv::fonts::sans (height, true));
    g.setColour (colour);
    g.drawFittedText (text, area, juce::Justification::centred, 1, 0.0f);
}

//==============================================================================
void KVLookAndFeel::drawPopupMenuBackgroundWithOptions (juce::Graphics& g, int width, int height,
                                                        const juce::PopupMenu::Options&)
{
    g.setColour (Colour (0xfff4f1ebu));
    g.fillRoundedRectangle (0.0f, 0.0f, (float) width, (float) height, 9.0f);
    g.setColour (kv::paletteColour (kv::kBrowserBezel, 0xd1));
    g.drawRoundedRectangle (insetBounds (width, height), 9.0f, 1.0f);
}

void KVLookAndFeel::drawPopupMenuItemWithOptions (juce::Graphics& g, const juce::Rectangle<int>& area,
                                                  bool isHighlighted, const juce::PopupMenu::Item& item,
                                                  const juce::PopupMenu::Options&)
{
    if (item.isSeparator)
    {
        g.setColour (Colour (0x3d292826u));
        g.fillRect (area.getX() + 9, area.getY() + area.getHeight() / 2, std::max (0, area.getWidth() - 18), 1);
        return;
    }

    const juce::Rectangle<int> r (area.getX() + 5, area.getY() + 1, std::max (0, area.getWidth() - 10),
                                  std::max (0, area.getHeight() - 2));

    if (item.isTicked)
    {
        g.setColour (Colour (0xff343331u));
        g.fillRect (r);
    }
    else if (isHighlighted && item.isEnabled)
    {
        g.setColour (Colour (0x57292826u));
        g.drawRect (r, 1);
    }

    const juce::uint8 alpha = item.isEnabled ? (juce::uint8) 0xff : (juce::uint8) juce::roundToInt (0.35 * 255.0);
    const auto colour = kv::paletteColour (item.isTicked ? 0xf4f1ebu : 0x292826u, alpha);

    g.setFont (getPopupMenuFont());
    g.setColour (colour);
    const juce::String text = (item.isTicked ? "> " : "  ") + item.text;
    g.drawFittedText (text, juce::Rectangle<int> (area.getX() + 12, area.getY() + 1, std::max (0, area.getWidth() - 24), r.getHeight()),
                      juce::Justification::centredLeft, 1);

    if (item.subMenu != nullptr)
    {
        const int arrowWidth = std::min (14, r.getWidth());
        g.drawFittedText (">", r.withTrimmedLeft (r.getWidth() - arrowWidth), juce::Justification::centred, 1);
    }
}

juce::Font KVLookAndFeel::getPopupMenuFont()
{
    return kv::fonts::mono (16.0f);
}

void KVLookAndFeel::getIdealPopupMenuItemSizeWithOptions (const juce::String& text, bool isSeparator, int,
                                                          int& idealWidth, int& idealHeight,
                                                          const juce::PopupMenu::Options&)
{
    idealHeight = isSeparator ? 9 : 29;
    idealWidth = std::max (82, juce::roundToInt (textWidth (getPopupMenuFont(), text))) + 43;
}

//==============================================================================
void KVLookAndFeel::drawComboBox (juce::Graphics& g, int width, int height, bool, int, int, int, int,
                                  juce::ComboBox& box)
{
    using namespace kv;
    const float w = (float) width, h = (float) height;
    const juce::Rectangle<float> bounds (0.5f, 0.5f, w - 1.0f, h - 1.0f);

    if (boxKindOf (box) == KVComboBox::PresetChoice)
    {
        g.setColour (paletteColour (kDarkEdge, 0x2e));
        g.fillRoundedRectangle (0.5f, 1.5f, w - 1.0f, h - 1.0f, 4.0f);
        g.setColour (paletteColour (kDarkPlate));
        g.fillRoundedRectangle (bounds, 4.0f);
        g.setColour (paletteColour (kDarkEdge));
        g.drawRoundedRectangle (bounds, 4.0f, 1.0f);

        juce::Path arrow;
        arrow.startNewSubPath (w - 24.0f, 0.42f * h);
        arrow.lineTo (w - 16.0f, 0.62f * h);
        arrow.lineTo (w - 8.0f, 0.42f * h);
        g.setColour (Colour (kLightText));
        g.strokePath (arrow, juce::PathStrokeType (1.8f, juce::PathStrokeType::curved, juce::PathStrokeType::rounded));
        return;
    }

    // Display style: a dark window with a faint amber glow rising from its bottom edge.
    g.setColour (Colour (0xff080706u));
    g.fillRoundedRectangle (bounds, 3.0f);
    g.setGradientFill (juce::ColourGradient (paletteColour (kAmberText, 0x12), w / 2.0f, h,
                                             Colour (0x00000000u), w / 2.0f, 0.0f, false));
    g.fillRoundedRectangle (bounds, 3.0f);
    g.setColour (paletteColour (kAmberText, 0x73));
    g.drawRoundedRectangle (bounds, 3.0f, 1.0f);
}

juce::Font KVLookAndFeel::getComboBoxFont (juce::ComboBox& box)
{
    if (boxKindOf (box) == KVComboBox::PresetChoice)
        return kv::fonts::sans (11.0f, true);
    return kv::fonts::sans ((float) std::min (box.getHeight(), 16) - 4.0f, true);
}

void KVLookAndFeel::positionComboBoxText (juce::ComboBox& box, juce::Label& label)
{
    if (boxKindOf (box) == KVComboBox::PresetChoice)
    {
        label.setBounds (10, 0, box.getWidth() - 28, box.getHeight());
    }
    else
    {
        label.setBounds (2, 0, box.getWidth() - 4, box.getHeight());
        label.setColour (juce::Label::textColourId, kv::paletteColour (kv::kAmberText));
    }
    label.setJustificationType (juce::Justification::centred);

    const auto font = getComboBoxFont (box);
    if (label.getFont() != font)
        label.setFont (font);
}

//==============================================================================
void KVLookAndFeel::drawRotarySlider (juce::Graphics& g, int x, int y, int width, int height, float position, float,
                                      float, juce::Slider& slider)
{
    using namespace kv;
    const auto* kvSlider = dynamic_cast<const KVSlider*> (&slider);
    const bool stepKnob = kvSlider != nullptr && kvSlider->knobKind == KVSlider::StepKnob;

    const float d = (float) std::min (width, height) - (stepKnob ? 2.0f : 4.0f);
    const float r = d / 2.0f;
    const juce::Point<float> c ((float) x + (float) width / 2.0f, (float) y + (float) height / 2.0f);
    const float top = c.y - r;

    g.setColour (Colour (0x55000000u));
    g.fillEllipse (c.x - r + 1.0f, c.y - r + 0.08f * d, d, d);

    g.setGradientFill (juce::ColourGradient (paletteColour (kKnobTop), c.x, top + 1.0f, paletteColour (kKnobBody), c.x,
                                             top + d, false));
    g.fillEllipse (c.x - r, c.y - r, d, d);

    g.setColour (paletteColour (kKnobEdge));
    g.drawEllipse (c.x - r + 0.25f, c.y - r + 0.25f, d - 0.5f, d - 0.5f, 0.8f);

    if (! stepKnob)
    {
        const float dotRadius = std::max (0.7f, 0.025f * d);
        const float ring = r + 0.14f * d;
        g.setColour (paletteColour (kInk, 0x8c));
        for (const auto direction : { juce::Point<float> (-0.7289685f, 0.6845472f), juce::Point<float> (0.0f, -1.0f),
                                      juce::Point<float> (0.7289687f, 0.6845471f) })
        {
            const auto p = c + direction * ring;
            g.fillEllipse (p.x - dotRadius, p.y - dotRadius, 2.0f * dotRadius, 2.0f * dotRadius);
        }
    }

    const float theta = position * 4.649557f - 2.3247786f - 1.5707964f;
    const juce::Point<float> direction (std::cos (theta), std::sin (theta));
    const float inner = stepKnob ? 0.15f : 0.12f;
    const float outer = stepKnob ? 0.82f : 0.86f;
    g.setColour (Colour (0xfff5efe0u));
    g.drawLine (juce::Line<float> (c + direction * (inner * r), c + direction * (outer * r)), 1.6f);
}

juce::Typeface::Ptr KVLookAndFeel::getTypefaceForFont (const juce::Font& font)
{
    if (auto face = kv::fonts::typefaceFor (font))
        return face;
    return juce::LookAndFeel_V4::getTypefaceForFont (font);
}
