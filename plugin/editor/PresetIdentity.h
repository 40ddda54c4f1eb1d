#pragma once

// The current preset's name and source as the preset controls read them (under the processor's
// preset lock, held only for the copy).

#include "../PluginProcessor.h"

namespace kv::presetui
{
inline juce::String readPresetName (KVProcessor& processor)
{
    const juce::ScopedLock lock (processor.presetLock);
    return processor.currentPresetName;
}

inline KVProcessor::PresetSource readPresetSource (KVProcessor& processor)
{
    const juce::ScopedLock lock (processor.presetLock);
    return processor.currentPresetSource;
}

// The default sound: no name, or "Init".
inline bool namesInit (const juce::String& name)
{
    return name.isEmpty() || name == "Init";
}
} // namespace kv::presetui
