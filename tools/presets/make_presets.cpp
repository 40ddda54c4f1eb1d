// pulskar_make_presets: writes the factory preset files from the tables of make_presets.py.
//
//   pulskar_make_presets <tables.json> <output folder>
//
// The tables list, per preset, values by parameter identifier: {"id", "value"} plain values that
// are set through the real parameter (so the file stores exactly the value the parameter holds),
// {"id", "label"} choice labels, and {"id", "text"} texts written verbatim. Parameters a preset
// does not list keep their defaults. The files are written by the framework's own XML writer, in
// the parameter tree's order, without the transport parameters.

#include "PluginProcessor.h"

#include <juce_events/juce_events.h>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace
{
int fail (const juce::String& message)
{
    std::fprintf (stderr, "pulskar_make_presets: %s\n", message.toRawUTF8());
    return 1;
}

bool isTransport (const juce::String& id) { return id == kv::ids::seqRun || id == kv::ids::seqResetOnStart; }
} // namespace

int main (int argc, char** argv)
{
    if (argc != 3)
        return fail ("usage: pulskar_make_presets <tables.json> <output folder>");

    // The processor installs its factory presets on construction: keep it away from the real
    // user folders.
    const auto home = juce::File::getSpecialLocation (juce::File::tempDirectory)
                          .getChildFile ("pulskar-make-presets-" + juce::String (juce::Time::currentTimeMillis()));
    home.createDirectory();
    setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);
    setenv ("XDG_DATA_HOME", home.getChildFile (".local/share").getFullPathName().toRawUTF8(), 1);

    const juce::File tablesFile = juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]);
    const juce::File outputFolder = juce::File::getCurrentWorkingDirectory().getChildFile (argv[2]);

    const auto tables = juce::JSON::parse (tablesFile.loadFileAsString());
    const auto* presets = tables.getProperty ("presets", {}).getArray();
    if (presets == nullptr)
        return fail ("no \"presets\" list in " + tablesFile.getFullPathName());

    juce::ScopedJuceInitialiser_GUI juceInitialiser;
    int result = 0;
    {
        for (const auto& preset : *presets)
        {
            // A fresh instance per preset: every value it does not set is the pristine default.
            KVProcessor processor;

            // The tree's own child order (a fresh processor's), without the transport parameters.
            juce::StringArray order;
            for (const auto& child : processor.treeState.copyState())
            {
                const auto id = child.getProperty ("id").toString();
                if (! isTransport (id))
                    order.add (id);
            }

            const auto name = preset.getProperty ("name", {}).toString();
            const auto* values = preset.getProperty ("values", {}).getArray();
            if (name.isEmpty() || values == nullptr)
            {
                result = fail ("a preset without name or values");
                break;
            }

            std::map<juce::String, juce::String> verbatim;
            juce::StringArray extraIds; // identifiers that name no parameter
            for (const auto& entry : *values)
            {
                const auto id = entry.getProperty ("id", {}).toString();
                auto* parameter = processor.treeState.getParameter (id);

                if (entry.hasProperty ("text"))
                {
                    verbatim[id] = entry.getProperty ("text", {}).toString();
                    if (parameter == nullptr)
                        extraIds.addIfNotAlreadyThere (id);
                    continue;
                }

                if (parameter == nullptr || isTransport (id))
                {
                    result = fail (name + ": unknown or transport parameter " + id);
                    break;
                }

                float plain = 0.0f;
                if (entry.hasProperty ("label"))
                {
                    auto* choice = dynamic_cast<juce::AudioParameterChoice*> (parameter);
                    const auto label = entry.getProperty ("label", {}).toString();
                    const int index = choice != nullptr ? choice->choices.indexOf (label) : -1;
                    if (index < 0)
                    {
                        result = fail (name + ": " + id + " has no choice \"" + label + "\"");
                        break;
                    }
                    plain = (float) index;
                }
                else
                {
                    plain = (float) (double) entry.getProperty ("value", 0.0);
                    const auto& range = parameter->getNormalisableRange();
                    if (plain < range.start || plain > range.end)
                    {
                        result = fail (name + ": " + id + " = " + juce::String (plain) + " lies outside its range");
                        break;
                    }
                }
                parameter->setValueNotifyingHost (parameter->convertTo0to1 (plain));
            }
            if (result != 0)
                break;

            // The extra children take their place in the tree's (alphabetical) order.
            auto ids = order;
            for (const auto& id : extraIds)
            {
                int position = 0;
                while (position < ids.size() && ids[position].compare (id) < 0)
                    ++position;
                ids.insert (position, id);
            }

            juce::XmlElement document ("ORRAKV");
            document.setAttribute ("currentPresetName", name);
            document.setAttribute ("pageBInitialised", preset.getProperty ("pageBInitialised", "0").toString());
            document.setAttribute ("modDestinationSchema", "3");
            document.setAttribute ("lfoDestinationSchema", "3");
            document.setAttribute ("currentPresetSource", "factory");

            for (const auto& id : ids)
            {
                auto* child = document.createNewChildElement ("PARAM");
                child->setAttribute ("id", id);
                if (auto it = verbatim.find (id); it != verbatim.end())
                    child->setAttribute ("value", it->second);
                else
                    child->setAttribute ("value", (double) processor.treeState.getRawParameterValue (id)->load());
            }

            const auto file = outputFolder.getChildFile (name + ".pk16");
            if (! document.writeTo (file))
            {
                result = fail ("could not write " + file.getFullPathName());
                break;
            }
            std::printf ("%s\n", file.getFullPathName().toRawUTF8());
        }
    }

    home.deleteRecursively();
    return result;
}
