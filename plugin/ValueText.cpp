#include "ValueText.h"

#include <cmath>
#include <cwctype>

namespace kv
{
namespace
{
juce::String printf1 (const char* format, double value)
{
    char buffer[64];
    std::snprintf (buffer, sizeof (buffer), format, value);
    return juce::String (buffer);
}

bool isTypedWhiteSpace (juce::juce_wchar c)
{
    return std::iswspace ((wint_t) c) != 0 || c == 0x00A0 || c == 0x2009 || c == 0x202F;
}
} // namespace

int nearestLfoDivision (double cyclesPerBeat) noexcept
{
    if (! (cyclesPerBeat > 0.0))
        return 0;

    int best = 0;
    double bestDistance = std::abs (std::log (cyclesPerBeat * kLfoDivisions[0].beats));
    for (int row = 1; row < kNumLfoDivisions; ++row)
    {
        const double distance = std::abs (std::log (cyclesPerBeat * kLfoDivisions[row].beats));
        if (distance < bestDistance)
        {
            best = row;
            bestDistance = distance;
        }
    }
    return best;
}

ValueKind valueKindForParameter (const juce::String& id)
{
    if (id == "vco1Freq" || id == "vco2Freq" || id == "clickTune" || id == "cutoff")
        return ValueKind::Frequency;
    if (id == "lfoRate")
        return ValueKind::LfoRate;
    if (id == "vcoDecay" || id == "vco2Decay" || id == "vcfDecay" || id == "vcaDecay"
        || id == "noiseDecay" || id == "clickDecay" || id == "vcaAttack")
        return ValueKind::Time;
    if (id == "vco1EgAmt" || id == "vco2EgAmt")
        return ValueKind::Semitones;
    if (id == "preDrive" || id == "postDrive" || id == "preTrim")
        return ValueKind::Factor;
    if (id.startsWith ("stepPitch"))
        return ValueKind::Note;
    if (id == "vcfEgAmt" || id == "noiseColor" || id == "untz")
        return ValueKind::Bipolar;
    if (id == "tempo")
        return ValueKind::Tempo;
    return ValueKind::Percent;
}

namespace detail
{
juce::String hertz (double value)
{
    if (value < 1000.0)
        return printf1 ("%.1f Hz", value);

    auto text = printf1 ("%.2f", value / 1000.0);
    while (text.endsWithChar ('0'))
        text = text.dropLastCharacters (1);
    if (text.endsWithChar ('.'))
        text = text.dropLastCharacters (1);
    return text + " kHz";
}

bool isOneOf (const juce::String& text, std::initializer_list<const char*> words)
{
    for (auto* word : words)
        if (text == word)
            return true;
    return false;
}

juce::String normaliseTypedText (const juce::String& text)
{
    juce::String result;
    result.preallocateBytes (text.getNumBytesAsUTF8());
    for (auto p = text.getCharPointer(); ! p.isEmpty();)
    {
        auto c = p.getAndAdvance();
        if (isTypedWhiteSpace (c))
            continue;
        if (c == 0x2212)
            c = '-';
        else if (c == 0x00D7)
            c = 'x';
        else
            c = juce::CharacterFunctions::toLowerCase (c);
        result += juce::String::charToString (c);
    }
    return result;
}

TypedText readTypedText (const juce::String& text)
{
    TypedText typed;
    typed.wholeText = normaliseTypedText (text);
    typed.unitText = typed.wholeText;

    auto p = typed.wholeText.getCharPointer();
    bool leadingX = false;
    if (*p == 'x')
    {
        leadingX = true;
        ++p;
    }

    bool negative = false;
    if (*p == '+' || *p == '-')
    {
        negative = (*p == '-');
        ++p;
    }

    const auto first = *p;
    if (! (juce::CharacterFunctions::isDigit (first) || first == '.' || first == ','))
        return typed;

    // Collect the digits with '.' as the decimal point, so the C library parses them the same
    // way in every locale.
    std::string digits;
    int digitCount = 0;
    bool seenSeparator = false;
    for (;;)
    {
        const auto c = *p;
        if (juce::CharacterFunctions::isDigit (c))
        {
            digits += (char) c;
            ++digitCount;
        }
        else if ((c == '.' || c == ',') && ! seenSeparator)
        {
            digits += '.';
            seenSeparator = true;
        }
        else
        {
            break;
        }
        ++p;
    }

    if (digitCount == 0)
        return typed;

    const double magnitude = std::strtod (digits.c_str(), nullptr);
    if (! std::isfinite (magnitude))
        return typed;

    typed.hasNumber = true;
    typed.leadingX = leadingX;
    typed.numberValue = negative ? -magnitude : magnitude;
    typed.unitText = juce::String (p);
    return typed;
}
} // namespace detail

juce::String formatParameterValue (ValueKind kind, float storedValue, bool synced)
{
    const double value = storedValue;
    switch (kind)
    {
        case ValueKind::Frequency:
            return detail::hertz (value);
        case ValueKind::LfoRate:
            return synced ? juce::String (kLfoDivisions[nearestLfoDivision (value)].label)
                          : detail::hertz (value);
        case ValueKind::Time:
        {
            if (value >= 1.0)
                return printf1 ("%.2f s", value);
            const double ms = value * 1000.0;
            return ms < 10.0 ? printf1 ("%.1f ms", ms) : printf1 ("%.0f ms", ms);
        }
        case ValueKind::Semitones:
        {
            const double v = std::abs (value) < 0.05 ? 0.0 : value;
            return v >= 0.0 ? printf1 ("+%.1f st", v) : printf1 ("%.1f st", v);
        }
        case ValueKind::Percent:
            return printf1 ("%.0f %%", value * 100.0);
        case ValueKind::Factor:
            return printf1 ("x%.2f", value);
        case ValueKind::Bipolar:
        {
            const double v = std::abs (value) < 0.005 ? 0.0 : value;
            return v >= 0.0 ? printf1 ("+%.2f", v) : printf1 ("%.2f", v);
        }
        case ValueKind::Note:
            return printf1 ("%.0f", value);
        case ValueKind::Tempo:
            return printf1 ("%.2f BPM", value);
    }
    return {};
}

namespace
{
bool readSyncedDivision (const juce::String& wholeText, double& value)
{
    for (const auto& row : kLfoDivisions)
    {
        const auto key = juce::String (row.label).removeCharacters (" ").toLowerCase();
        bool matches = wholeText == key;
        if (! matches && key.contains ("bar"))
        {
            const auto singular = key.endsWithChar ('s') ? key.dropLastCharacters (1) : key;
            matches = wholeText == singular || wholeText == singular + "s";
        }
        if (matches)
        {
            value = 1.0 / row.beats;
            return true;
        }
    }
    return false;
}

bool readWithUnit (ValueKind kind, const detail::TypedText& typed, double& value)
{
    using detail::isOneOf;
    const auto& unit = typed.unitText;
    const double n = typed.numberValue;

    switch (kind)
    {
        case ValueKind::Frequency:
        case ValueKind::LfoRate:
            if (isOneOf (unit, { "", "hz" })) { value = n; return true; }
            if (isOneOf (unit, { "k", "khz" })) { value = n * 1000.0; return true; }
            return false;
        case ValueKind::Time:
            if (isOneOf (unit, { "", "ms", "msec" })) { value = n / 1000.0; return true; }
            if (isOneOf (unit, { "s", "sec", "secs", "second", "seconds" })) { value = n; return true; }
            return false;
        case ValueKind::Semitones:
            if (isOneOf (unit, { "", "st", "semi", "semis", "semitone", "semitones" })) { value = n; return true; }
            return false;
        case ValueKind::Percent:
            if (isOneOf (unit, { "", "%" })) { value = n / 100.0; return true; }
            return false;
        case ValueKind::Factor:
            if (unit.isEmpty() || (unit == "x" && ! typed.leadingX)) { value = n; return true; }
            return false;
        case ValueKind::Bipolar:
        case ValueKind::Note:
            if (unit.isEmpty()) { value = n; return true; }
            return false;
        case ValueKind::Tempo:
            if (isOneOf (unit, { "", "bpm" })) { value = n; return true; }
            return false;
    }
    return false;
}
} // namespace

float valueFromText (ValueKind kind, const juce::String& text, bool synced,
                     float minimum, float maximum, float fallback)
{
    const auto typed = detail::readTypedText (text);
    double value = 0.0;
    bool ok = false;

    if (kind == ValueKind::LfoRate && synced)
        ok = readSyncedDivision (typed.wholeText, value);
    else if (typed.hasNumber && (kind == ValueKind::Factor || ! typed.leadingX))
        ok = readWithUnit (kind, typed, value);

    if (! ok || ! std::isfinite (value))
        return fallback;
    return (float) juce::jlimit ((double) minimum, (double) maximum, value);
}

int choiceIndexFromText (const juce::StringArray& labels, const juce::String& text, int fallback)
{
    const auto wanted = text.removeCharacters (" \t");
    for (int i = 0; i < labels.size(); ++i)
        if (labels[i].removeCharacters (" \t").equalsIgnoreCase (wanted))
            return i;
    return fallback;
}

bool switchStateFromText (const juce::String& text, bool fallback)
{
    const auto t = text.trim().toLowerCase();
    if (detail::isOneOf (t, { "on", "yes", "true" }))
        return true;
    if (detail::isOneOf (t, { "off", "no", "false" }))
        return false;

    const auto unsignedPart = t.trimCharactersAtStart ("+-");
    if (unsignedPart.isNotEmpty() && unsignedPart.containsOnly ("0123456789"))
        return ! unsignedPart.containsOnly ("0"); // the integer is non-zero, however long

    return fallback;
}
} // namespace kv
