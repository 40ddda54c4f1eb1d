#include "Fonts.h"

#include "BinaryData.h"

namespace kv::fonts
{
namespace
{
juce::Typeface::Ptr load (const char* data, int size)
{
    return juce::Typeface::createSystemTypefaceFor (data, (size_t) size);
}
} // namespace

juce::Typeface::Ptr monoTypeface()
{
    static const juce::Typeface::Ptr face = load (BinaryData::DejaVuSansMono_ttf, BinaryData::DejaVuSansMono_ttfSize);
    return face;
}

juce::Typeface::Ptr condensedTypeface (bool bold)
{
    static const juce::Typeface::Ptr regular = load (BinaryData::DejaVuSansCondensed_ttf,
                                                     BinaryData::DejaVuSansCondensed_ttfSize);
    static const juce::Typeface::Ptr boldFace = load (BinaryData::DejaVuSansCondensedBold_ttf,
                                                      BinaryData::DejaVuSansCondensedBold_ttfSize);
    return bold ? boldFace : regular;
}

juce::Font mono (float height)
{
    return juce::Font (monoTypeface()).withHeight (height);
}

juce::Font condensed (float height, bool bold)
{
    return juce::Font (condensedTypeface (bold)).withHeight (height);
}

juce::Font sans (float height, bool bold)
{
    return condensed (height, bold);
}

juce::Typeface::Ptr typefaceFor (const juce::Font& font)
{
    const auto family = font.getTypefaceName();
    const bool bold = font.isBold() || font.getTypefaceStyle().containsIgnoreCase ("bold");

    if (family == kMonoFamily || family == juce::Font::getDefaultMonospacedFontName())
        return monoTypeface();

    if (family == kCondensedFamily || family == juce::Font::getDefaultSansSerifFontName())
        return condensedTypeface (bold);

    return nullptr;
}
} // namespace kv::fonts
