#pragma once

// The factory presets compiled into the instrument and their installation into the factory
// folder.

#include <juce_core/juce_core.h>
#include <vector>

namespace kv::state
{
struct FactoryPresetResource
{
    juce::String resourceName; // "Brush_Hat_pk16"
    juce::String fileName;     // "Brush Hat.pk16"
    const char* data = nullptr;
    size_t size = 0;
};

// Every embedded resource whose file name ends with ".pk16", in resource order.
std::vector<FactoryPresetResource> getFactoryPresetResources();

// Brings `folder` to exactly the compiled presets: creates it, writes every preset whose file is
// missing or differs (through a sibling ".<name>.new" file moved into place), and deletes every
// other preset file there. The instrument runs this once per process, from its first instance.
void installFactoryPresets (const juce::File& folder);
} // namespace kv::state
