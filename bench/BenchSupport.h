#pragma once

// What the benchmark programs share: a host transport, setting a parameter by its plain value,
// and a private HOME so the factory preset installation never touches the user's folders.

#include "PluginProcessor.h"

#include <juce_audio_processors/juce_audio_processors.h>
#include <cstdlib>

namespace bench
{
class PlayHead : public juce::AudioPlayHead
{
public:
    double bpm = 120.0, ppq = 0.0;
    bool playing = true;

    juce::Optional<PositionInfo> getPosition() const override
    {
        PositionInfo info;
        info.setBpm (bpm);
        info.setIsPlaying (playing);
        info.setPpqPosition (ppq);
        return info;
    }
};

inline void setPlain (KVProcessor& p, const char* id, float plainValue)
{
    auto* parameter = p.treeState.getParameter (id);
    parameter->setValueNotifyingHost (parameter->convertTo0to1 (plainValue));
}

// Points HOME and the XDG folders at a temporary folder for the life of the object.
struct PrivateHome
{
    PrivateHome()
    {
        folder.createDirectory();
        setenv ("HOME", folder.getFullPathName().toRawUTF8(), 1);
        setenv ("XDG_DATA_HOME", folder.getChildFile (".local/share").getFullPathName().toRawUTF8(), 1);
        setenv ("XDG_CONFIG_HOME", folder.getChildFile (".config").getFullPathName().toRawUTF8(), 1);
    }
    ~PrivateHome() { folder.deleteRecursively(); }

    juce::File folder { juce::File::getSpecialLocation (juce::File::tempDirectory)
                            .getChildFile ("pulskar-bench-home-" + juce::String (juce::Time::currentTimeMillis())) };
};
} // namespace bench
