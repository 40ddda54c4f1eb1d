// The preset library: the factory presets compiled into the instrument and installed into their
// own folder, the user's presets, the legacy folder of earlier versions, the "Init" sound and the
// host's program list.

#include "../PluginProcessor.h"
#include "DocumentReader.h"
#include "FactoryPresets.h"
#include "StateInternals.h"

#include <BinaryData.h>
#include <algorithm>
#include <cstring>
#include <mutex>

namespace
{
using namespace kv::state;

juce::Array<juce::File> listPresetFiles (const juce::File& folder)
{
    juce::Array<juce::File> result;
    for (const auto& file : folder.findChildFiles (juce::File::findFiles | juce::File::ignoreHiddenFiles, false,
                                                   juce::String ("*") + kPresetExtension))
        if (! file.isHidden() && isRegularFile (file))
            result.add (file);
    return result;
}

bool hasContent (const juce::File& file, const void* data, size_t size)
{
    if (! isRegularFile (file) || file.getSize() != (juce::int64) size)
        return false;

    juce::MemoryBlock existing;
    return file.loadFileAsData (existing) && existing.getSize() == size
           && std::memcmp (existing.getData(), data, size) == 0;
}

// Writes one factory preset through its sibling ".<name>.new" and moves it into place.
void installFactoryPreset (const juce::File& folder, const juce::String& fileName, const void* data, size_t size)
{
    const auto target = folder.getChildFile (fileName);
    if (hasContent (target, data, size))
        return;

    const auto temp = folder.getChildFile ("." + fileName + ".new");
    temp.deleteFile();

    bool written = false;
    {
        juce::FileOutputStream out (temp);
        if (out.openedOk() && out.write (data, size))
        {
            out.flush();
            written = out.getStatus().wasOk();
        }
    }

    if (! written || ! replaceFileAtomically (temp, target))
        temp.deleteFile();
}

bool isAllowedNameCharacter (juce::juce_wchar c)
{
    // The letters and digits of the C locale, a space, '-' and '_'.
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ' || c == '-'
           || c == '_';
}
} // namespace

//==================================================================================================
std::vector<kv::state::FactoryPresetResource> kv::state::getFactoryPresetResources()
{
    std::vector<FactoryPresetResource> resources;
    for (int i = 0; i < BinaryData::namedResourceListSize; ++i)
    {
        const char* resourceName = BinaryData::namedResourceList[i];
        const char* original = BinaryData::getNamedResourceOriginalFilename (resourceName);
        if (original == nullptr || ! juce::String (original).endsWithIgnoreCase (kPresetExtension))
            continue;

        FactoryPresetResource resource;
        resource.resourceName = resourceName;
        resource.fileName = original;
        int size = 0;
        resource.data = BinaryData::getNamedResource (resourceName, size);
        resource.size = resource.data != nullptr && size > 0 ? (size_t) size : 0;
        resources.push_back (resource);
    }
    return resources;
}

void kv::state::installFactoryPresets (const juce::File& folder)
{
    if (! folder.createDirectory().wasOk() || ! folder.isDirectory())
        return;

    juce::StringArray installed;
    for (const auto& resource : getFactoryPresetResources())
    {
        installed.add (resource.fileName);
        if (resource.data != nullptr && resource.size > 0)
            installFactoryPreset (folder, resource.fileName, resource.data, resource.size);
    }

    // The factory folder holds exactly the compiled presets.
    if (! installed.isEmpty())
        for (const auto& file : folder.findChildFiles (juce::File::findFiles | juce::File::ignoreHiddenFiles, false))
            if (file.getFileName().endsWithIgnoreCase (kPresetExtension) && ! file.isHidden()
                && isRegularFile (file) && ! installed.contains (file.getFileName(), true))
                file.deleteFile();
}

juce::StringArray getPresetNamesFromDirectory (const juce::File& folder)
{
    juce::StringArray names;
    if (! folder.isDirectory())
        return names;

    for (const auto& file : listPresetFiles (folder))
        names.addIfNotAlreadyThere (file.getFileNameWithoutExtension());

    std::sort (names.begin(), names.end(), [] (const juce::String& a, const juce::String& b) {
        const int order = a.compareIgnoreCase (b);
        return order != 0 ? order < 0 : a.compare (b) < 0;
    });
    return names;
}

std::vector<KVProcessor::PresetEntry> getPresetEntriesFromDirectory (const juce::File& folder,
                                                                     KVProcessor::PresetSource source)
{
    std::vector<KVProcessor::PresetEntry> entries;
    for (const auto& name : getPresetNamesFromDirectory (folder))
        entries.push_back ({ source, name, folder.getChildFile (name + kPresetExtension) });
    return entries;
}

void KVProcessor::installFactoryPresetsOnce()
{
    static std::once_flag installation;
    std::call_once (installation, [] { installFactoryPresets (getFactoryPresetDirectory()); });
}

juce::File KVProcessor::getLegacyPresetDirectory()
{
    return getApplicationDataFolder().getChildFile ("Application Support")
        .getChildFile ("Norrvale DSP")
        .getChildFile ("PULSKAR-16")
        .getChildFile ("Presets");
}

juce::File KVProcessor::getFactoryPresetDirectory() { return getLegacyPresetDirectory().getChildFile ("Factory"); }
juce::File KVProcessor::getUserPresetDirectory() { return getLegacyPresetDirectory().getChildFile ("User"); }

std::vector<KVProcessor::PresetEntry> KVProcessor::getPresetEntries() const
{
    auto entries = getPresetEntriesFromDirectory (getFactoryPresetDirectory(), PresetSource::Factory);
    for (auto& entry : getPresetEntriesFromDirectory (getUserPresetDirectory(), PresetSource::User))
        entries.push_back (std::move (entry));
    for (auto& entry : getPresetEntriesFromDirectory (getLegacyPresetDirectory(), PresetSource::Legacy))
        entries.push_back (std::move (entry));
    return entries;
}

juce::String KVProcessor::sanitisePresetName (const juce::String& name)
{
    juce::String kept;
    const auto trimmed = name.trim(); // the walk below must not outlive the trimmed text
    for (auto p = trimmed.getCharPointer(); ! p.isEmpty();)
    {
        const auto c = p.getAndAdvance();
        if (isAllowedNameCharacter (c))
            kept += c;
    }
    return kept.trim();
}

juce::File KVProcessor::getPresetFile (const juce::String& name) const
{
    return getUserPresetDirectory().getChildFile (sanitisePresetName (name) + kPresetExtension);
}

bool KVProcessor::isUserPreset (const juce::String& name) const
{
    return sanitisePresetName (name).isNotEmpty() && isRegularFile (getPresetFile (name));
}

bool KVProcessor::savePreset (const juce::String& name, bool overwrite)
{
    const auto clean = sanitisePresetName (name);

    // "Init" is the name of the default sound; a user preset of that name would be taken for it.
    if (clean.isEmpty() || clean == kInitName)
        return false;

    const auto folder = getUserPresetDirectory();
    if (! folder.isDirectory() && ! folder.createDirectory().wasOk())
        return false;

    const auto file = getPresetFile (clean);
    if (! overwrite && isRegularFile (file))
        return false;

    auto document = createStateXml();
    removeTransportParametersFromPresetXml (*document);
    for (auto* attribute : kHostOnlyAttributes)
        document->removeAttribute (attribute);
    document->setAttribute (attr::currentPresetName, clean);
    document->setAttribute (attr::currentPresetSource, presetSourceText (PresetSource::User));

    const auto text = document->toString();
    if (! writeFileSafely (file, text.toRawUTF8(), text.getNumBytesAsUTF8()))
        return false;

    {
        const juce::ScopedLock lock (presetLock);
        currentPresetName = clean;
        currentPresetSource = PresetSource::User;
        currentPresetFile = file.getFullPathName();
    }

    const kv::ParameterNotifier::BulkChange bulkChange (parameterNotifier);
    presetFingerprint.store (calculateSoundFingerprint (createStateXml().get()));
    presetModified.store (false, std::memory_order_relaxed);
    updateHostProgramIndexForCurrentPreset();
    updateHostDisplay();
    return true;
}

bool KVProcessor::loadPreset (const PresetEntry& entry)
{
    const auto clean = sanitisePresetName (entry.name);
    if (clean.isEmpty())
        return false;

    auto document = readDocumentFile (entry.file);

    // A file that is not one of our documents would rename the sound without changing it.
    if (document == nullptr || ! hasInstrumentRoot (*document))
        return false;

    const kv::ParameterNotifier::BulkChange bulkChange (parameterNotifier);
    restoreStateFromXml (*document, clean, entry.source, entry.file.getFullPathName());
    sequencer.editPage.store (0, std::memory_order_relaxed);
    sequencer.stateReplaced.store (true, std::memory_order_relaxed);

    presetFingerprint.store (calculateSoundFingerprint (createStateXml().get()));
    presetModified.store (false, std::memory_order_relaxed);
    updateHostDisplay();
    return true;
}

void KVProcessor::loadInitPreset()
{
    const kv::ParameterNotifier::BulkChange bulkChange (parameterNotifier);
    treeState.replaceState (defaultState.createCopy());

    // The parameter tree takes stored values through their normalised form, which can land a float
    // step away from the default; put them back exactly.
    for (const auto& child : defaultState)
        if (auto* parameter = treeState.getParameter (child.getProperty (attr::id).toString()))
        {
            const auto value = (float) child.getProperty (attr::value);
            if (treeState.getRawParameterValue (parameter->getParameterID())->load() != value)
                setParameterValueExactly (*parameter, value);
        }

    sequencer.pageBInitialised.store (false, std::memory_order_relaxed);
    sequencer.editPage.store (0, std::memory_order_relaxed);
    sequencer.chainMode.store (false, std::memory_order_relaxed);
    sequencer.stateReplaced.store (true, std::memory_order_relaxed);

    {
        const juce::ScopedLock lock (presetLock);
        currentPresetName = kInitName;
        currentPresetSource = PresetSource::None;
        currentPresetFile = {};
    }

    presetFingerprint.store (calculateSoundFingerprint (createStateXml().get()));
    presetModified.store (false, std::memory_order_relaxed);
    updateHostProgramIndexForCurrentPreset();
    updateHostDisplay();
}

bool KVProcessor::updateHostProgramIndexForCurrentPreset()
{
    juce::String name;
    PresetSource source;
    {
        const juce::ScopedLock lock (presetLock);
        name = currentPresetName;
        source = currentPresetSource;
    }

    if (name == kInitName)
    {
        currentProgram.store (0, std::memory_order_relaxed);
        return true;
    }

    for (size_t i = 0; i < hostPrograms.size(); ++i)
    {
        const auto& entry = hostPrograms[i];
        if (entry.name == name && (source == PresetSource::None || entry.source == source))
        {
            currentProgram.store ((int) i + 1, std::memory_order_relaxed);
            return true;
        }
    }
    return false;
}

int KVProcessor::getNumPrograms() { return (int) hostPrograms.size() + 1; }
int KVProcessor::getCurrentProgram() { return currentProgram.load (std::memory_order_relaxed); }

void KVProcessor::setCurrentProgram (int index)
{
    if (index < 0 || index >= getNumPrograms() || index == getCurrentProgram())
        return;

    clearUiHistory();

    juce::String name;
    PresetSource source;
    {
        const juce::ScopedLock lock (presetLock);
        name = currentPresetName;
        source = currentPresetSource;
    }

    if (index == 0)
    {
        if (name != kInitName)
            loadInitPreset();
        else
            currentProgram.store (0, std::memory_order_relaxed);
        return;
    }

    const auto& entry = hostPrograms[(size_t) index - 1];
    if (name == entry.name && source == entry.source)
        currentProgram.store (index, std::memory_order_relaxed);
    else
        loadPreset (entry);
}

const juce::String KVProcessor::getProgramName (int index)
{
    if (index == 0)
        return kInitName;
    if (index > 0 && index <= (int) hostPrograms.size())
        return hostPrograms[(size_t) index - 1].name;
    return {};
}

void KVProcessor::changeProgramName (int, const juce::String&) {}
