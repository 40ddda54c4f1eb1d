#include "PanelRenderer.h"

#include "BinaryData.h"
#include "EditorLayout.h"
#include "Fonts.h"
#include "PluginEditor.h"

#include <cmath>

namespace kv::panel
{
namespace
{
juce::Image toArgb (const juce::Image& source)
{
    if (! source.isValid())
        return {};
    return source.convertedToFormat (juce::Image::ARGB).createCopy();
}

// Writes an unpremultiplied colour with alpha 0..1 as a premultiplied pixel.
void writePremultiplied (juce::PixelARGB& pixel, float alpha, float red, float green, float blue)
{
    if (alpha <= 0.0f)
    {
        pixel.setARGB (0, 0, 0, 0);
        return;
    }

    const int a = alpha >= 1.0f ? 255 : (int) std::lround (alpha * 255.0f);
    const auto premultiply = [a] (float channel)
    {
        const int c = juce::jlimit (0, 255, (int) std::lround (channel));
        return (juce::uint8) ((c * a + 127) >> 8);
    };
    pixel.setARGB ((juce::uint8) a, premultiply (red), premultiply (green), premultiply (blue));
}

template <typename PixelFunction>
juce::Image filterPixels (const juce::Image& source, PixelFunction&& function)
{
    auto image = toArgb (source);
    if (! image.isValid())
        return image;

    const float cx = (float) image.getWidth() * 0.5f;
    const float cy = (float) image.getHeight() * 0.5f;
    juce::Image::BitmapData data (image, juce::Image::BitmapData::readWrite);

    for (int y = 0; y < image.getHeight(); ++y)
    {
        for (int x = 0; x < image.getWidth(); ++x)
        {
            auto* pixel = reinterpret_cast<juce::PixelARGB*> (data.getPixelPointer (x, y));
            const auto colour = data.getPixelColour (x, y);  // unpremultiplied
            const float d = std::hypot ((float) x + 0.5f - cx, (float) y + 0.5f - cy);
            function (*pixel, colour, d);
        }
    }
    return image;
}
} // namespace

juce::Image reduceLedSpill (const juce::Image& source, float fadeStart, float fadeWidth)
{
    return filterPixels (source, [fadeStart, fadeWidth] (juce::PixelARGB& pixel, juce::Colour colour, float d)
    {
        const float t = juce::jlimit (0.0f, 1.0f, (d - fadeStart) / fadeWidth);
        const float s = t * t * (3.0f - 2.0f * t);
        const float alpha = colour.getFloatAlpha() * (1.0f - 0.88f * s);
        writePremultiplied (pixel, alpha, colour.getRed(), colour.getGreen(), colour.getBlue());
    });
}

juce::Image softenPanelLightRim (const juce::Image& source, juce::Colour rim)
{
    return filterPixels (source, [rim] (juce::PixelARGB& pixel, juce::Colour colour, float d)
    {
        const float ring = (d - 6.6f) / 1.25f;
        const float g = std::exp (-0.5f * ring * ring);
        const float k = g * 0.56f * juce::jlimit (0.0f, 1.0f, (190.0f - (float) colour.getRed()) / 85.0f);
        const auto towards = [k] (juce::uint8 from, juce::uint8 to) { return (float) from + ((float) to - (float) from) * k; };
        writePremultiplied (pixel, colour.getFloatAlpha(), towards (colour.getRed(), rim.getRed()),
                            towards (colour.getGreen(), rim.getGreen()), towards (colour.getBlue(), rim.getBlue()));
    });
}

const LedImages& ledImages()
{
    // Built once, on first use, by whichever editor paints first.
    static const LedImages images = []
    {
        LedImages built;
        built.red = toArgb (juce::ImageFileFormat::loadFrom (BinaryData::pulskar16_red_panel_on_48_png,
                                                             (size_t) BinaryData::pulskar16_red_panel_on_48_pngSize));
        built.flashRed = reduceLedSpill (built.red, 7.5f, 6.5f);
        built.softRimRed = reduceLedSpill (softenPanelLightRim (built.red, juce::Colour (0xffdf5559u)), 7.5f, 6.5f);
        return built;
    }();
    return images;
}

void drawLitPanelLed (juce::Graphics& g, juce::Point<float> centre, float radius, bool flash)
{
    const auto& images = ledImages();
    const auto& image = flash ? images.flashRed : images.softRimRed;

    const auto drawScaled = [&] (float opacity)
    {
        const float scale = radius / 5.0f;
        const auto transform = juce::AffineTransform::translation (-(float) image.getWidth() * 0.5f,
                                                                   -(float) image.getHeight() * 0.5f)
                                   .scaled (scale)
                                   .translated (centre.x, centre.y);
        juce::Graphics::ScopedSaveState save (g);
        g.setOpacity (opacity);
        g.setImageResamplingQuality (juce::Graphics::highResamplingQuality);
        g.drawImageTransformed (image, transform);
    };

    if (image.isValid())
        drawScaled (1.0f);

    if (flash)
        return;

    if (image.isValid())
        drawScaled (0.2f);

    const float h = 0.72f * radius;
    juce::ColourGradient highlight (juce::Colour (0x21ffebe1u), centre, juce::Colour (0x00ffebe1u),
                                    centre.translated (h, 0.0f), true);
    g.setGradientFill (highlight);
    g.fillEllipse (centre.x - h, centre.y - h, 2.0f * h, 2.0f * h);
}

void drawPanelToggle (juce::Graphics& g, juce::Rectangle<float> r, bool on)
{
    const juce::Rectangle<float> a (r.getX() + 0.4f, r.getY() + 0.6f, juce::jmax (0.0f, r.getWidth() - 0.8f),
                                    juce::jmax (0.0f, r.getHeight() - 1.2f));

    g.setColour (juce::Colour (0x66000000u));
    g.fillRoundedRectangle (a.translated (0.8f, 1.5f), 2.6f);

    g.setGradientFill (juce::ColourGradient (juce::Colour (0xff242321u), a.getTopLeft(), juce::Colour (0xff070706u),
                                             a.getBottomRight(), false));
    g.fillRoundedRectangle (a, 2.6f);
    g.setColour (juce::Colour (0xff050505u));
    g.drawRoundedRectangle (a, 2.6f, 0.9f);

    const float tw = 0.57f * a.getWidth();
    const float th = a.getHeight() - 3.2f;
    const float ty = a.getY() + 1.6f;
    const float tx = on ? a.getX() + a.getWidth() - tw - 1.6f : a.getX() + 1.6f;
    const juce::Rectangle<float> thumb (tx, ty, tw, th);

    g.setColour (juce::Colour (0x55000000u));
    g.fillRoundedRectangle (thumb.translated (0.7f, 1.0f), 2.2f);

    g.setGradientFill (juce::ColourGradient (juce::Colour (0xff474642u), thumb.getTopLeft(), juce::Colour (0xff1c1b19u),
                                             thumb.getBottomRight(), false));
    g.fillRoundedRectangle (thumb, 2.2f);
    g.setColour (juce::Colour (0xff11100fu));
    g.drawRoundedRectangle (thumb, 2.2f, 0.9f);

    g.setColour (juce::Colour (0x44ffffffu));
    g.drawLine (tx + 2.0f, ty + 1.5f, tx + tw - 2.0f, ty + 1.5f, 0.7f);
}

void drawDisplayBox (juce::Graphics& g, juce::Rectangle<int> r, const juce::String& text, float fontHeight)
{
    const auto rf = r.toFloat();
    g.setColour (juce::Colour (0xee030201u));
    g.fillRoundedRectangle (rf, 3.0f);
    g.setColour (juce::Colour (0xff171313u));
    g.drawRoundedRectangle (rf.getX() + 0.5f, rf.getY() + 0.5f, juce::jmax (0.0f, rf.getWidth() - 1.0f),
                            juce::jmax (0.0f, rf.getHeight() - 1.0f), 3.0f, 1.0f);

    const auto upper = text.toUpperCase();
    g.setFont (kv::fonts::mono (fontHeight).withHorizontalScale (0.94f));

    const int w = juce::jmax (0, r.getWidth() - 14);
    const int h = juce::jmax (0, r.getHeight() - 6);
    struct Layer
    {
        juce::uint32 colour;
        int dx, dy;
    };
    static constexpr Layer layers[] = {
        { 0x33ff1f18u, 6, 3 }, { 0x33ff1f18u, 8, 3 }, { 0xf0ff3a2fu, 7, 3 }, { 0x57ff8a78u, 7, 2 },
    };
    for (const auto& layer : layers)
    {
        g.setColour (juce::Colour (layer.colour));
        g.drawFittedText (upper, r.getX() + layer.dx, r.getY() + layer.dy, w, h, juce::Justification::centredLeft, 1, 0.0f);
    }
}
} // namespace kv::panel

//==============================================================================
// Pass 1 of the panel.
namespace
{
using kv::layout::PanelPoint;
using kv::layout::PanelRect;

struct SwitchPlacement
{
    const char* id;
    PanelRect rect;
};

constexpr SwitchPlacement kSwitches[] = {
    { "hardSync",       { 481.0f, 465.0f, 41.0f, 22.0f } },
    { "noiseVcfBypass", { 665.0f, 266.0f, 44.0f, 24.0f } },
    { "clickVcfBypass", { 663.0f, 442.0f, 46.0f, 24.0f } },
    { "lfoSync",        { 1408.0f, 452.0f, 45.0f, 23.0f } },
    { "lfoRetrig",      { 1527.0f, 452.0f, 45.0f, 24.0f } },
};

constexpr PanelRect kPresetWindow { 245.0f, 851.0f, 443.0f, 49.0f };

struct DestinationWindow
{
    const char* boxId;
    PanelRect rect;
};
constexpr DestinationWindow kDestinationWindows[] = {
    { "lfoDest",  { 1422.0f, 318.0f, 149.0f, 48.0f } },
    { "modADest", { 165.0f, 703.0f, 148.0f, 38.0f } },
    { "modBDest", { 165.0f, 760.0f, 148.0f, 38.0f } },
};
constexpr DestinationWindow kLaneLengthWindows[] = {
    { "pitchSteps", { 366.0f, 589.0f, 38.0f, 28.0f } },
    { "velSteps",   { 366.0f, 649.0f, 38.0f, 28.0f } },
    { "modASteps",  { 366.0f, 707.0f, 38.0f, 28.0f } },
    { "modBSteps",  { 366.0f, 763.0f, 38.0f, 28.0f } },
};

// LEDs that show which item of a choice parameter is selected.
struct ChoiceLed
{
    const char* id;
    int index;
    PanelPoint at;
};
constexpr ChoiceLed kChoiceLeds[] = {
    { "vco1Wave", 0, { 144.4f, 227.0f } },   { "vco1Wave", 1, { 193.0f, 226.7f } },
    { "vco1Wave", 2, { 241.4f, 227.1f } },   { "vco1Wave", 3, { 289.0f, 226.7f } },
    { "vco2Wave", 0, { 144.2f, 366.5f } },   { "vco2Wave", 1, { 193.0f, 366.6f } },
    { "vco2Wave", 2, { 241.4f, 366.5f } },
    { "vcoEgShape", 1, { 72.6f, 496.8f } },  { "vcoEgShape", 0, { 122.4f, 496.9f } },
    { "vcoEgShape", 2, { 172.0f, 496.9f } },
};
constexpr ChoiceLed kFilterAndLfoLeds[] = {
    { "vcfMode", 0, { 919.4f, 194.4f } },    { "vcfMode", 1, { 1011.0f, 194.4f } },
    { "lfoWave", 0, { 1416.5f, 283.3f } },   { "lfoWave", 2, { 1468.6f, 283.2f } },
    { "lfoWave", 1, { 1520.6f, 283.1f } },   { "lfoWave", 3, { 1573.9f, 283.3f } },
};
constexpr ChoiceLed kPitchModLeds[] = {
    { "seqPitchMod", 0, { 122.4f, 620.2f } }, { "seqPitchMod", 1, { 224.9f, 620.2f } },
    { "seqPitchMod", 2, { 320.4f, 620.3f } },
};

struct ToggleLed
{
    const char* id;
    PanelPoint at;
};
constexpr ToggleLed kBypassLeds[] = {
    { "hardSync", { 537.0f, 474.8f } },
    { "noiseVcfBypass", { 765.4f, 275.3f } },
    { "clickVcfBypass", { 765.4f, 452.0f } },
};
constexpr ToggleLed kLfoToggleLeds[] = {
    { "lfoSync", { 1468.9f, 462.8f } },
    { "lfoRetrig", { 1590.4f, 462.8f } },
};

constexpr PanelPoint kPatternALed { 122.5f, 553.6f }, kPatternBLed { 225.6f, 553.7f }, kChainLed { 320.5f, 553.6f };
constexpr PanelPoint kVelocityClearLed { 226.4f, 675.4f };
constexpr PanelPoint kRunLed { 1407.9f, 807.7f }, kTriggerLed { 1495.1f, 807.7f }, kResetLed { 1583.0f, 807.7f };
constexpr PanelPoint kPrevLed { 808.8f, 893.6f }, kNextLed { 914.5f, 893.6f }, kSaveLed { 1013.6f, 893.5f },
                     kDeleteLed { 1112.0f, 893.6f }, kInitLed { 1213.0f, 893.5f };
constexpr PanelPoint kStepLeds[kv::layout::kNumColumns] = {
    { 429.2f, 568.1f }, { 555.3f, 568.0f }, { 682.0f, 568.0f }, { 808.2f, 567.9f },
    { 933.4f, 567.9f }, { 1058.1f, 568.0f }, { 1184.9f, 568.1f }, { 1311.0f, 568.1f },
};

// Choice values round half away from zero; a missing parameter counts as its first choice.
int choiceIndex (const KVEditor& editor, const char* id)
{
    return (int) std::round (editor.parameterValue (id, 0.0f));
}
} // namespace

void KVEditor::paint (juce::Graphics& g)
{
    using namespace kv::layout;
    const int width = getWidth(), height = getHeight();
    const float sx = scaleX(), sy = scaleY();
    const float ledRadius = 3.8f * sx;

    const auto screen = [width, height] (PanelRect r) { return toScreen (r, width, height); };
    const auto led = [&] (PanelPoint p, bool flash) { kv::panel::drawLitPanelLed (g, { p.x * sx, p.y * sy }, ledRadius, flash); };

    // 1, 2. Ground and artwork. The artwork is scaled to the window once per size (in physical
    // pixels) so a paint only copies it.
    g.fillAll (juce::Colour (0xff050403u));
    if (panelImage.isValid())
    {
        const float pixelScale = juce::jmax (1.0f, g.getInternalContext().getPhysicalPixelScaleFactor());
        const int targetWidth = juce::roundToInt ((float) width * pixelScale);
        const int targetHeight = juce::roundToInt ((float) height * pixelScale);
        if (targetWidth > 0 && targetHeight > 0)
        {
            if (scaledPanelImage.getWidth() != targetWidth || scaledPanelImage.getHeight() != targetHeight)
                scaledPanelImage = panelImage.rescaled (targetWidth, targetHeight, juce::Graphics::highResamplingQuality);
            g.drawImage (scaledPanelImage, juce::Rectangle<float> (0.0f, 0.0f, (float) width, (float) height));
        }
    }

    // 3. Slide switches.
    for (const auto& sw : kSwitches)
        if (auto* button = findToggle (sw.id))
            kv::panel::drawPanelToggle (g, screen (sw.rect).toFloat(), button->getToggleState());

    // 4. Display windows.
    kv::panel::drawDisplayBox (g, screen (kPresetWindow), presetDisplayText, 23.0f * sx);
    for (const auto& window : kDestinationWindows)
    {
        auto* box = findChoiceBox (window.boxId);
        const bool chosen = box != nullptr && box->getSelectedId() > 1;
        kv::panel::drawDisplayBox (g, screen (window.rect), chosen ? box->getText() : juce::String ("OFF"), 19.0f * sx);
    }
    const int laneLimit = chainButton.getToggleState() ? 16 : 8;
    for (const auto& window : kLaneLengthWindows)
    {
        auto* box = findChoiceBox (window.boxId);
        const int id = box != nullptr ? box->getSelectedId() : 0;
        const int length = juce::jlimit (1, laneLimit, id < 2 ? 1 : id);
        kv::panel::drawDisplayBox (g, screen (window.rect), juce::String (length), 19.0f * sx);
    }

    // 5. LEDs.
    const auto choiceLeds = [&] (const auto& table)
    {
        for (const auto& entry : table)
            if (choiceIndex (*this, entry.id) == entry.index)
                led (entry.at, false);
    };
    const auto toggleLeds = [&] (const auto& table)
    {
        for (const auto& entry : table)
            if (auto* button = findToggle (entry.id); button != nullptr && button->getToggleState())
                led (entry.at, false);
    };

    choiceLeds (kChoiceLeds);
    toggleLeds (kBypassLeds);
    choiceLeds (kFilterAndLfoLeds);
    toggleLeds (kLfoToggleLeds);

    if (patternAButton.getToggleState()) led (kPatternALed, false);
    if (patternBButton.getToggleState()) led (kPatternBLed, false);
    if (chainButton.getToggleState())    led (kChainLed, false);
    choiceLeds (kPitchModLeds);
    if (velocityClearFlash > 0) led (kVelocityClearLed, true);

    // Run lamp: dark while switched out, steady while running, blinking while it waits for the host.
    const auto& sequencer = processor.sequencer;
    if (! sequencer.sequencerSwitchedOut.load (std::memory_order_relaxed))
    {
        const bool running = sequencer.hostPlaying.load (std::memory_order_relaxed)
                             || sequencer.freeRunning.load (std::memory_order_relaxed);
        if (running || blinkPhase <= 11)
            led (kRunLed, false);
    }

    if (triggerFlash > 0) led (kTriggerLed, true);

    // Reset lamp: shows reset-on-start; a click blinks it to the other state for four ticks.
    const bool resetOnStart = parameterValue (kv::ids::seqResetOnStart, 0.0f) >= 0.5f;
    if (resetOnStart ? resetFlash == 0 : resetFlash > 0)
        led (kResetLed, false);

    if (prevFlash > 0)   led (kPrevLed, true);
    if (nextFlash > 0)   led (kNextLed, true);
    if (saveFlash > 0)   led (kSaveLed, true);
    if (deleteFlash > 0) led (kDeleteLed, true);
    if (initFlash > 0)   led (kInitLed, true);

    if (displayedStep >= 0 && displayedStep / 8 == shownPage)
        led (kStepLeds[displayedStep % 8], false);
}
