#pragma once

// Text forms of parameter values: what hosts and the panel's readout show, and what a typed
// text means. Every function here is pure and may be called from any thread.

#include <juce_core/juce_core.h>

namespace kv
{
enum class ValueKind
{
    Frequency = 0,
    LfoRate,
    Time,
    Semitones,
    Percent,
    Factor,
    Bipolar,
    Note,
    Tempo
};

struct LfoDivision
{
    const char* label;
    double beats;
};

inline constexpr LfoDivision kLfoDivisions[] = {
    { "4 bars", 16.0 }, { "2 bars", 8.0 }, { "1 bar", 4.0 },  { "1/2", 2.0 },
    { "1/4", 1.0 },     { "1/8", 0.5 },    { "1/16", 0.25 }, { "1/32", 0.125 },
};
inline constexpr int kNumLfoDivisions = (int) (sizeof (kLfoDivisions) / sizeof (kLfoDivisions[0]));

// Row of kLfoDivisions nearest to a synced rate in cycles per beat (row 0 for rates <= 0;
// on a tie the earlier, longer row wins).
int nearestLfoDivision (double cyclesPerBeat) noexcept;

ValueKind valueKindForParameter (const juce::String& parameterId);

juce::String formatParameterValue (ValueKind kind, float value, bool synced);

// Reads a typed value for a continuous parameter. Returns the value clamped to
// [minimum, maximum], or `fallback` when the text cannot be read.
float valueFromText (ValueKind kind, const juce::String& text, bool synced,
                     float minimum, float maximum, float fallback);

// Index of the first label equal to the text (spaces and tabs ignored, any letter case),
// or `fallback`.
int choiceIndexFromText (const juce::StringArray& labels, const juce::String& text, int fallback);

// On/off from "on", "yes", "true", "off", "no", "false" or an integer; otherwise `fallback`.
bool switchStateFromText (const juce::String& text, bool fallback);

namespace detail
{
struct TypedText
{
    bool hasNumber = false;
    bool leadingX = false;
    double numberValue = 0.0;
    juce::String unitText;
    juce::String wholeText;
};

juce::String normaliseTypedText (const juce::String& text);
TypedText readTypedText (const juce::String& text);
juce::String hertz (double value);
bool isOneOf (const juce::String& text, std::initializer_list<const char*> words);
} // namespace detail
} // namespace kv
