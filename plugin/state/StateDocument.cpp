// The state document: one XML document describes a sound. It is the host's project data (in the
// framework's XML-in-binary envelope), the content of preset files and the input of the sound
// fingerprint.

#include "../PluginProcessor.h"
#include "DocumentReader.h"
#include "StateInternals.h"

#include <cmath>
#include <set>

namespace kv::state
{
const char* presetSourceText (KVProcessor::PresetSource source) noexcept
{
    switch (source)
    {
        case KVProcessor::PresetSource::Factory: return "factory";
        case KVProcessor::PresetSource::User: return "user";
        case KVProcessor::PresetSource::Legacy: return "legacy";
        case KVProcessor::PresetSource::None: break;
    }
    return "";
}

KVProcessor::PresetSource presetSourceFromText (const juce::String& text) noexcept
{
    if (text == "factory") return KVProcessor::PresetSource::Factory;
    if (text == "user") return KVProcessor::PresetSource::User;
    if (text == "legacy") return KVProcessor::PresetSource::Legacy;
    return KVProcessor::PresetSource::None;
}

juce::XmlElement* findChildWithId (juce::XmlElement& document, const juce::String& id)
{
    for (auto* child : document.getChildIterator())
        if (child->getStringAttribute (attr::id) == id)
            return child;
    return nullptr;
}

void removePatchCables (juce::XmlElement& document)
{
    for (auto* child : document.getChildIterator())
    {
        if (! child->isTextElement() && child->getTagName().equalsIgnoreCase (kPatchCablesTag))
        {
            document.removeChildElement (child, true);
            return;
        }
    }
}

bool hasInstrumentRoot (const juce::XmlElement& document)
{
    return document.getTagName().equalsIgnoreCase (kRootTag);
}

void setParameterValueExactly (juce::RangedAudioParameter& parameter, float value)
{
    // What the parameter tree reports after the parameter was set to a normalised value n.
    const auto reported = [&parameter] (float n) {
        return parameter.convertFrom0to1 (parameter.convertTo0to1 (parameter.convertFrom0to1 (n)));
    };

    float best = parameter.convertTo0to1 (value);
    float bestError = std::abs (reported (best) - value);
    const float direction = reported (best) < value ? 1.0f : 0.0f;

    float n = best;
    for (int i = 0; i < 8 && bestError > 0.0f; ++i)
    {
        n = std::nextafter (n, direction);
        if (n < 0.0f || n > 1.0f)
            break;
        const float error = std::abs (reported (n) - value);
        if (error < bestError)
        {
            best = n;
            bestError = error;
        }
    }

    parameter.setValueNotifyingHost (best);
}

juce::int64 hashText (const juce::String& text) noexcept
{
    juce::uint64 h = 0;
    for (auto p = text.getCharPointer(); ! p.isEmpty();)
        h = h * 101 + (juce::uint64) (juce::uint32) p.getAndAdvance();
    return (juce::int64) h;
}
} // namespace kv::state

namespace
{
using namespace kv::state;

// A destination choice as the migrations read it: the number rounded half away from zero,
// 0 when it is missing or not a number.
int readRoundedChoice (const juce::XmlElement& child)
{
    const auto number = readNumber (child.getStringAttribute (attr::value));
    double v = 0.0;
    switch (number.kind)
    {
        case Number::Kind::Finite: v = number.value; break;
        case Number::Kind::PlusInfinity: v = 1.0e6; break;
        case Number::Kind::MinusInfinity: v = -1.0e6; break;
        case Number::Kind::NotANumber: v = 0.0; break;
    }
    return (int) std::round (juce::jlimit (-1.0e6, 1.0e6, v));
}

int readSchema (const juce::XmlElement& document, const char* name)
{
    return document.hasAttribute (name) ? readInteger (document.getStringAttribute (name)) : 1;
}

// Every child that names a parameter is made safe for the parameter tree: only the first child
// of each parameter counts (the others are dropped), a value that is not a number is dropped so
// the parameter takes its default, and infinite, out-of-range or unwieldy numbers are replaced
// by the clamped value the parameter would hold anyway.
void sanitiseParameterChildren (juce::XmlElement& document, const juce::AudioProcessorValueTreeState& tree)
{
    std::set<juce::String> seen;

    for (auto* child = document.getFirstChildElement(); child != nullptr;)
    {
        auto* next = child->getNextElement();

        if (child->hasAttribute (attr::id))
        {
            const auto id = child->getStringAttribute (attr::id);
            if (auto* parameter = tree.getParameter (id))
            {
                if (! seen.insert (id).second)
                {
                    document.removeChildElement (child, true);
                }
                else if (child->hasAttribute (attr::value))
                {
                    const auto& range = parameter->getNormalisableRange();
                    const auto number = readNumber (child->getStringAttribute (attr::value));

                    switch (number.kind)
                    {
                        case Number::Kind::NotANumber:
                            child->removeAttribute (attr::value);
                            break;
                        case Number::Kind::PlusInfinity:
                            child->setAttribute (attr::value, (double) range.end);
                            break;
                        case Number::Kind::MinusInfinity:
                            child->setAttribute (attr::value, (double) range.start);
                            break;
                        case Number::Kind::Finite:
                            if (number.value < (double) range.start)
                                child->setAttribute (attr::value, (double) range.start);
                            else if (number.value > (double) range.end)
                                child->setAttribute (attr::value, (double) range.end);
                            else if (! number.plainText)
                                child->setAttribute (attr::value, (double) (float) number.value);
                            break;
                    }
                }
            }
        }

        child = next;
    }
}

// The value a parameter settles on for a stored value: clamped, snapped and converted through its
// normalised range until the conversion no longer moves it.
float settledValue (const juce::RangedAudioParameter& parameter, const juce::XmlElement& child)
{
    const auto& range = parameter.getNormalisableRange();
    float v = parameter.convertFrom0to1 (parameter.getDefaultValue());

    if (child.hasAttribute (attr::value))
    {
        const auto number = readNumber (child.getStringAttribute (attr::value));
        switch (number.kind)
        {
            case Number::Kind::Finite: v = (float) juce::jlimit ((double) range.start, (double) range.end, number.value); break;
            case Number::Kind::PlusInfinity: v = range.end; break;
            case Number::Kind::MinusInfinity: v = range.start; break;
            case Number::Kind::NotANumber: break;
        }
    }

    for (int i = 0; i < 8; ++i)
    {
        const float next = parameter.convertFrom0to1 (parameter.convertTo0to1 (v));
        if (next == v)
            break;
        v = next;
    }
    return v;
}

// Page flags always present as "0"/"1" and the four known attributes first, so that documents
// that differ only in how they spell or order these compare equal.
void canonicaliseRootAttributes (juce::XmlElement& document)
{
    const bool pageB = document.getBoolAttribute (attr::pageBInitialised);
    const bool chain = document.getBoolAttribute (attr::chainMode);
    const bool hasModSchema = document.hasAttribute (attr::modDestinationSchema);
    const bool hasLfoSchema = document.hasAttribute (attr::lfoDestinationSchema);
    const auto modSchema = document.getStringAttribute (attr::modDestinationSchema);
    const auto lfoSchema = document.getStringAttribute (attr::lfoDestinationSchema);

    juce::StringArray names, values;
    for (int i = 0; i < document.getNumAttributes(); ++i)
    {
        const auto name = document.getAttributeName (i);
        if (name != attr::pageBInitialised && name != attr::chainMode && name != attr::modDestinationSchema
            && name != attr::lfoDestinationSchema)
        {
            names.add (name);
            values.add (document.getAttributeValue (i));
        }
    }

    document.removeAllAttributes();
    document.setAttribute (attr::pageBInitialised, pageB ? "1" : "0");
    document.setAttribute (attr::chainMode, chain ? "1" : "0");
    if (hasModSchema)
        document.setAttribute (attr::modDestinationSchema, modSchema);
    if (hasLfoSchema)
        document.setAttribute (attr::lfoDestinationSchema, lfoSchema);
    for (int i = 0; i < names.size(); ++i)
        document.setAttribute (names[i], values[i]);
}
} // namespace

//==================================================================================================
std::unique_ptr<juce::XmlElement> KVProcessor::createStateXml()
{
    parameterNotifier.flush();
    auto xml = treeState.copyState().createXml();
    if (xml == nullptr)
        xml = std::make_unique<juce::XmlElement> (kRootTag);

    juce::String name;
    PresetSource source;
    {
        const juce::ScopedLock lock (presetLock);
        name = currentPresetName;
        source = currentPresetSource;
    }

    xml->setAttribute (attr::currentPresetName, name);
    if (source != PresetSource::None)
        xml->setAttribute (attr::currentPresetSource, presetSourceText (source));
    else
        xml->removeAttribute (attr::currentPresetSource);

    xml->setAttribute (attr::pageBInitialised, sequencer.pageBInitialised.load (std::memory_order_relaxed) ? "1" : "0");
    xml->setAttribute (attr::chainMode, sequencer.chainMode.load (std::memory_order_relaxed) ? "1" : "0");
    xml->setAttribute (attr::modDestinationSchema, kCurrentModSchema);
    xml->setAttribute (attr::lfoDestinationSchema, kCurrentLfoSchema);
    return xml;
}

void KVProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    auto xml = createStateXml();
    xml->setAttribute (attr::hostProgram, currentProgram.load (std::memory_order_relaxed));
    xml->setAttribute (attr::valueReadout, valueReadout.load (std::memory_order_relaxed) ? "1" : "0");

    const int width = editorWidth.load (std::memory_order_relaxed);
    const int height = editorHeight.load (std::memory_order_relaxed);
    if (width > 0 && height > 0)
    {
        xml->setAttribute (attr::editorWidth, width);
        xml->setAttribute (attr::editorHeight, height);
    }
    else
    {
        // A size the editor never reported must not come back from an older document.
        xml->removeAttribute (attr::editorWidth);
        xml->removeAttribute (attr::editorHeight);
    }

    copyXmlToBinary (*xml, destData);
}

void KVProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    auto xml = readHostStateDocument (data, sizeInBytes);

    // Data that is not one of our documents changes nothing, not even the history.
    if (xml == nullptr || ! hasInstrumentRoot (*xml))
        return;

    const kv::ParameterNotifier::BulkChange bulkChange (parameterNotifier);
    clearUiHistory();
    restoreStateFromXml (*xml, {}, PresetSource::None, {});
    valueReadout.store (xml->getBoolAttribute (attr::valueReadout), std::memory_order_relaxed);

    if (! updateHostProgramIndexForCurrentPreset())
    {
        int program = 0;
        if (xml->hasAttribute (attr::hostProgram))
            program = juce::jlimit (0, getNumPrograms() - 1, readInteger (xml->getStringAttribute (attr::hostProgram)));
        currentProgram.store (program, std::memory_order_relaxed);
    }

    const int width = readInteger (xml->getStringAttribute (attr::editorWidth));
    const int height = readInteger (xml->getStringAttribute (attr::editorHeight));
    if (width > 0 && height > 0)
    {
        editorWidth.store (width, std::memory_order_relaxed);
        editorHeight.store (height, std::memory_order_relaxed);
    }

    // Re-establish the comparison with the preset the restored sound came from.
    juce::String name;
    PresetSource source;
    {
        const juce::ScopedLock lock (presetLock);
        name = currentPresetName;
        source = currentPresetSource;
    }

    const auto current = calculateSoundFingerprint (createStateXml().get());

    if (name.isEmpty() || name == kInitName)
    {
        auto initDocument = defaultState.createXml();
        if (initDocument != nullptr)
        {
            initDocument->setAttribute (attr::pageBInitialised, "0");
            initDocument->setAttribute (attr::chainMode, "0");
            initDocument->setAttribute (attr::modDestinationSchema, kCurrentModSchema);
            initDocument->setAttribute (attr::lfoDestinationSchema, kCurrentLfoSchema);
        }
        const auto fingerprint = calculateSoundFingerprint (initDocument.get());
        presetFingerprint.store (fingerprint);
        presetModified.store (fingerprint == 0 || fingerprint != current, std::memory_order_relaxed);
        return;
    }

    std::unique_ptr<juce::XmlElement> presetDocument;
    const auto clean = sanitisePresetName (name);
    if (clean.isNotEmpty())
    {
        const auto fileName = clean + kPresetExtension;
        juce::Array<juce::File> candidates;
        switch (source)
        {
            case PresetSource::Factory: candidates.add (getFactoryPresetDirectory().getChildFile (fileName)); break;
            case PresetSource::User: candidates.add (getUserPresetDirectory().getChildFile (fileName)); break;
            case PresetSource::Legacy: candidates.add (getLegacyPresetDirectory().getChildFile (fileName)); break;
            case PresetSource::None:
                candidates.add (getUserPresetDirectory().getChildFile (fileName));
                candidates.add (getFactoryPresetDirectory().getChildFile (fileName));
                candidates.add (getLegacyPresetDirectory().getChildFile (fileName));
                break;
        }

        for (const auto& candidate : candidates)
        {
            if (isRegularFile (candidate))
            {
                presetDocument = readDocumentFile (candidate);
                break;
            }
        }
    }

    if (presetDocument != nullptr)
    {
        const auto fingerprint = calculateSoundFingerprint (presetDocument.get());
        presetFingerprint.store (fingerprint);
        presetModified.store (fingerprint != current, std::memory_order_relaxed);
    }
    else
    {
        presetFingerprint.store (0);
        presetModified.store (true, std::memory_order_relaxed);
    }
}

void KVProcessor::restoreStateFromXml (const juce::XmlElement& document, const juce::String& presetName,
                                       PresetSource source, const juce::String& presetFile)
{
    const kv::ParameterNotifier::BulkChange bulkChange (parameterNotifier);
    juce::XmlElement copy (document);
    removePatchCables (copy);
    migrateLegacyModDestinationChoices (copy);
    migrateLegacyLfoDestinationChoice (copy);
    sanitiseParameterChildren (copy, treeState);

    // The transport stays as it is unless the document says otherwise.
    for (auto* id : { kv::ids::seqRun, kv::ids::seqResetOnStart })
    {
        if (treeState.getParameter (id) != nullptr && findChildWithId (copy, id) == nullptr)
        {
            auto* child = copy.createNewChildElement (kParamTag);
            child->setAttribute (attr::id, id);
            child->setAttribute (attr::value, (double) treeState.getRawParameterValue (id)->load());
        }
    }

    if (hasInstrumentRoot (copy))
    {
        copy.setTagName (kRootTag);
        treeState.replaceState (juce::ValueTree::fromXml (copy));
    }

    juce::String name = presetName;
    if (name.isEmpty())
        name = copy.hasAttribute (attr::currentPresetName) ? copy.getStringAttribute (attr::currentPresetName)
                                                           : juce::String (kInitName);

    if (source == PresetSource::None)
        source = presetSourceFromText (copy.getStringAttribute (attr::currentPresetSource));

    {
        const juce::ScopedLock lock (presetLock);
        currentPresetName = name;
        currentPresetSource = (name == kInitName) ? PresetSource::None : source;
        currentPresetFile = presetFile;
    }

    sequencer.pageBInitialised.store (copy.getBoolAttribute (attr::pageBInitialised), std::memory_order_relaxed);
    sequencer.chainMode.store (copy.getBoolAttribute (attr::chainMode), std::memory_order_relaxed);
    sequencer.stateReplaced.store (true, std::memory_order_relaxed);

    updateHostProgramIndexForCurrentPreset();
}

void KVProcessor::migrateLegacyModDestinationChoices (juce::XmlElement& document)
{
    const int schema = readSchema (document, attr::modDestinationSchema);
    if (schema > 3)
        return;

    static constexpr int kFromSchema1[] = { 1, 2, 5, 8, 13, 14, 11, 0, 0, 16 };

    for (int lane = 0; lane < 2; ++lane)
    {
        auto* child = findChildWithId (document, kv::makeModDestinationParameterId (lane));
        if (child == nullptr)
            continue;

        const int v = readRoundedChoice (*child);
        int migrated = v;
        if (schema <= 1)
            migrated = (v >= 1 && v <= 10) ? kFromSchema1[v - 1] : 0;
        else if (schema == 2)
            migrated = v >= 15 ? v + 1 : v;

        child->setAttribute (attr::value, migrated);
    }

    document.setAttribute (attr::modDestinationSchema, kCurrentModSchema);
}

void KVProcessor::migrateLegacyLfoDestinationChoice (juce::XmlElement& document)
{
    const int schema = readSchema (document, attr::lfoDestinationSchema);
    if (schema >= 5)
        return;

    static constexpr int kFromSchema1[] = { 1, 2, 5, 8, 13, 14, 11, 0, 0, 16, 0, 0, 6, 7 };

    if (auto* child = findChildWithId (document, kv::ids::lfoDest))
    {
        const int v = readRoundedChoice (*child);
        int migrated = v;
        if (schema <= 1)
            migrated = (v >= 1 && v <= 14) ? kFromSchema1[v - 1] : 0;
        else if (schema == 2)
            migrated = v >= 15 ? v + 1 : v;

        child->setAttribute (attr::value, migrated);
    }

    document.setAttribute (attr::lfoDestinationSchema, kCurrentLfoSchema);
}

void KVProcessor::removeTransportParametersFromPresetXml (juce::XmlElement& document)
{
    for (auto* child = document.getFirstChildElement(); child != nullptr;)
    {
        auto* next = child->getNextElement();
        const auto id = child->getStringAttribute (attr::id);
        if (id == kv::ids::seqRun || id == kv::ids::seqResetOnStart)
            document.removeChildElement (child, true);
        child = next;
    }
}

juce::int64 KVProcessor::calculateSoundFingerprint (const juce::XmlElement* document) const
{
    if (document == nullptr)
        return 0;

    juce::XmlElement copy (*document);
    removePatchCables (copy);
    migrateLegacyModDestinationChoices (copy);
    migrateLegacyLfoDestinationChoice (copy);

    copy.removeAttribute (attr::currentPresetName);
    copy.removeAttribute (attr::currentPresetSource);
    for (auto* name : kHostOnlyAttributes)
        copy.removeAttribute (name);

    removeTransportParametersFromPresetXml (copy);
    canonicaliseRootAttributes (copy);

    // Values as the parameters would hold them, so that a preset file and the state it loads into
    // compare equal even where a stored value is clamped, snapped or spelt differently.
    std::set<juce::String> seen;
    for (auto* child = copy.getFirstChildElement(); child != nullptr;)
    {
        auto* next = child->getNextElement();
        if (child->hasAttribute (attr::id))
        {
            const auto id = child->getStringAttribute (attr::id);
            if (auto* parameter = treeState.getParameter (id))
            {
                if (! seen.insert (id).second)
                    copy.removeChildElement (child, true);
                else
                    child->setAttribute (attr::value, (double) settledValue (*parameter, *child));
            }
        }
        child = next;
    }

    return hashText (copy.toString());
}
