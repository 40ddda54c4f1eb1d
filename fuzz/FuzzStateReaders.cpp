// Fuzzes everything that reads documents from outside the instrument: host state blobs
// (setStateInformation), document texts (restoreStateFromXml, the fingerprint) and preset files
// (loadPreset). The first input byte picks the reader; the rest is its input.
//
// After every input the instrument must still be whole: every parameter finite and inside its
// range, a state it can read back, and a nesting probe that never under-counts
// what the framework's XML reader builds.

#include "PluginProcessor.h"
#include "state/DocumentReader.h"

#include <juce_events/juce_events.h>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace
{
struct Fixture
{
    juce::File home;
    std::unique_ptr<juce::ScopedJuceInitialiser_GUI> juceInitialiser;
    std::unique_ptr<KVProcessor> processor;
    juce::File presetFile;
};

Fixture* fixture = nullptr;

[[noreturn]] void fail (const char* what)
{
    std::fprintf (stderr, "pulskar_fuzz_state: %s\n", what);
    std::abort();
}

int treeDepth (const juce::XmlElement& element)
{
    // Iterative, so a deep tree cannot overflow the checker itself.
    struct Item
    {
        const juce::XmlElement* element;
        int depth;
    };
    std::vector<Item> stack { { &element, 1 } };
    int deepest = 0;
    while (! stack.empty())
    {
        const auto item = stack.back();
        stack.pop_back();
        deepest = std::max (deepest, item.depth);
        for (auto* child : item.element->getChildIterator())
            if (! child->isTextElement())
                stack.push_back ({ child, item.depth + 1 });
    }
    return deepest;
}

void checkInstrumentIsWhole (KVProcessor& p)
{
    for (auto* parameter : p.getParameters())
    {
        auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (parameter);
        if (ranged == nullptr)
            continue;
        const float value = p.treeState.getRawParameterValue (ranged->getParameterID())->load();
        const auto& range = ranged->getNormalisableRange();
        if (! std::isfinite (value) || value < range.start || value > range.end)
            fail ("a parameter holds a value outside its range");
    }

    juce::MemoryBlock state;
    p.getStateInformation (state);
    if (kv::state::readHostStateDocument (state.getData(), (int) state.getSize()) == nullptr)
        fail ("the instrument wrote a state it cannot read");
}

juce::MemoryBlock envelope (const uint8_t* data, size_t size)
{
    juce::MemoryOutputStream out;
    out.writeInt ((int) kv::state::kHostStateMagic);
    out.writeInt ((int) size);
    out.write (data, size);
    out.writeByte (0);
    return out.getMemoryBlock();
}
} // namespace

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    fixture = new Fixture();
    fixture->home = juce::File::getSpecialLocation (juce::File::tempDirectory)
                        .getChildFile ("pulskar-fuzz-home-" + juce::String (juce::Time::currentTimeMillis()));
    fixture->home.createDirectory();
    setenv ("HOME", fixture->home.getFullPathName().toRawUTF8(), 1);
    setenv ("XDG_DATA_HOME", fixture->home.getChildFile (".local/share").getFullPathName().toRawUTF8(), 1);

    fixture->juceInitialiser = std::make_unique<juce::ScopedJuceInitialiser_GUI>();
    fixture->processor = std::make_unique<KVProcessor>();
    fixture->presetFile = KVProcessor::getUserPresetDirectory().getChildFile ("Fuzzed.pk16");
    KVProcessor::getUserPresetDirectory().createDirectory();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;

    auto& p = *fixture->processor;
    p.loadInitPreset();

    const uint8_t mode = data[0];
    ++data;
    --size;

    switch (mode % 4)
    {
        case 0: // a host state blob as the host hands it over
            p.setStateInformation (data, (int) size);
            break;

        case 1: // the same bytes inside a well-formed envelope, to reach the document reader
        {
            const auto block = envelope (data, size);
            p.setStateInformation (block.getData(), (int) block.getSize());
            break;
        }

        case 2: // a document text: the nesting probe, the reader and the fingerprint
        {
            juce::String text;
            if (! kv::state::decodeUtf8 (data, size, text))
                break;

            const int probed = kv::state::measureElementDepth (text);
            if (probed >= 0 && probed <= kv::state::kMaxElementDepth)
                if (auto xml = juce::parseXML (text))
                    if (treeDepth (*xml) > probed)
                        fail ("the nesting probe under-counted the parser");

            if (auto xml = kv::state::parseDocumentText (text))
            {
                p.restoreStateFromXml (*xml, {}, KVProcessor::PresetSource::None, {});
                (void) p.calculateSoundFingerprint (xml.get());
            }
            break;
        }

        case 3: // a preset file
        {
            fixture->presetFile.replaceWithData (data, size);
            (void) p.loadPreset ({ KVProcessor::PresetSource::User, "Fuzzed", fixture->presetFile });
            break;
        }
    }

    checkInstrumentIsWhole (p);
    return 0;
}
