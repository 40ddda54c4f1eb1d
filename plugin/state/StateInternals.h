#pragma once

// Names and small document helpers shared by the state document, the preset library and the
// edit history.

#include "../PluginProcessor.h"

namespace kv::state
{
inline constexpr const char* kRootTag = "ORRAKV";
inline constexpr const char* kInitName = "Init";
inline constexpr const char* kPresetExtension = ".pk16";

namespace attr
{
inline constexpr const char* currentPresetName = "currentPresetName";
inline constexpr const char* currentPresetSource = "currentPresetSource";
inline constexpr const char* pageBInitialised = "pageBInitialised";
inline constexpr const char* chainMode = "chainMode";
inline constexpr const char* modDestinationSchema = "modDestinationSchema";
inline constexpr const char* lfoDestinationSchema = "lfoDestinationSchema";
inline constexpr const char* hostProgram = "hostProgram";
inline constexpr const char* valueReadout = "valueReadout";
inline constexpr const char* editorWidth = "editorWidth";
inline constexpr const char* editorHeight = "editorHeight";
inline constexpr const char* id = "id";
inline constexpr const char* value = "value";
} // namespace attr

inline constexpr const char* kParamTag = "PARAM";
inline constexpr const char* kPatchCablesTag = "PatchCables";
inline constexpr const char* kCurrentModSchema = "4";
inline constexpr const char* kCurrentLfoSchema = "5";

// The attributes only the host state carries; they never belong in a preset or a comparison.
inline const char* const kHostOnlyAttributes[] = { attr::hostProgram, attr::valueReadout, attr::editorWidth,
                                                   attr::editorHeight };

const char* presetSourceText (KVProcessor::PresetSource source) noexcept;  // "" for None
KVProcessor::PresetSource presetSourceFromText (const juce::String& text) noexcept;

// First child element whose `id` attribute equals `id`, whatever its tag.
juce::XmlElement* findChildWithId (juce::XmlElement& document, const juce::String& id);

// Removes the first child element called "PatchCables" in any letter case.
void removePatchCables (juce::XmlElement& document);

// True for the instrument's own root tag, in any letter case.
bool hasInstrumentRoot (const juce::XmlElement& document);

// Sets a parameter so that it reports exactly `value` where its normalised conversions allow
// (the plain-to-normalised-to-plain round trip of a skewed range can be off by a float step);
// otherwise as close as they allow. With host notification.
void setParameterValueExactly (juce::RangedAudioParameter& parameter, float value);

// The hash of the instrument's fingerprints: h = h * 101 + c over the text's code points.
juce::int64 hashText (const juce::String& text) noexcept;
} // namespace kv::state
