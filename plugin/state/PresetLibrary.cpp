#include "../PluginProcessor.h"

// Placeholder until the preset library lands.
void KVProcessor::installFactoryPresetsOnce() {}
juce::File KVProcessor::getLegacyPresetDirectory()
{
    return juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory)
        .getChildFile ("Application Support/Norrvale DSP/PULSKAR-16/Presets");
}
juce::File KVProcessor::getFactoryPresetDirectory() { return getLegacyPresetDirectory().getChildFile ("Factory"); }
juce::File KVProcessor::getUserPresetDirectory() { return getLegacyPresetDirectory().getChildFile ("User"); }
juce::StringArray getPresetNamesFromDirectory (const juce::File&) { return {}; }
std::vector<KVProcessor::PresetEntry> getPresetEntriesFromDirectory (const juce::File&, KVProcessor::PresetSource) { return {}; }
juce::int64 KVProcessor::calculateSoundFingerprint (const juce::XmlElement*) { return 0; }
int KVProcessor::getNumPrograms() { return 1; }
int KVProcessor::getCurrentProgram() { return 0; }
void KVProcessor::setCurrentProgram (int) {}
const juce::String KVProcessor::getProgramName (int) { return "Init"; }
void KVProcessor::changeProgramName (int, const juce::String&) {}
