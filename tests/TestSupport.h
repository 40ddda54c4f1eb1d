#pragma once

// Shared fixtures: a processor driven the way a host drives it, with a scripted play head.

#include "PluginProcessor.h"

#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_events/juce_events.h>
#include <functional>
#include <vector>

namespace test
{
// A play head whose position the test sets before every block.
class ScriptedPlayHead : public juce::AudioPlayHead
{
public:
    bool hasPosition = true;
    bool playing = false;
    double bpm = 120.0;
    bool hasPpq = true;
    double ppq = 0.0;

    juce::Optional<PositionInfo> getPosition() const override
    {
        if (! hasPosition)
            return {};
        PositionInfo info;
        info.setBpm (bpm);
        info.setIsPlaying (playing);
        if (hasPpq)
            info.setPpqPosition (ppq);
        return info;
    }
};

// Sets a parameter by identifier to a plain (unnormalised) value, with host notification.
inline void setParameter (KVProcessor& p, const juce::String& id, float plainValue)
{
    auto* parameter = p.treeState.getParameter (id);
    jassert (parameter != nullptr);
    parameter->setValueNotifyingHost (parameter->convertTo0to1 (plainValue));
}

inline float getParameter (KVProcessor& p, const juce::String& id)
{
    auto* parameter = p.treeState.getParameter (id);
    return parameter->convertFrom0to1 (parameter->getValue());
}

// Drives a processor block by block like a host: the play head advances with the transport.
struct Host
{
    explicit Host (KVProcessor& p, double rate = 48000.0, int maxBlock = 512) : processor (p), sampleRate (rate)
    {
        processor.setPlayHead (&playHead);
        processor.setRateAndBufferSizeDetails (rate, maxBlock);
        processor.prepareToPlay (rate, maxBlock);
    }

    ~Host() { processor.setPlayHead (nullptr); }

    // Renders `numSamples` in one block; returns the stereo output.
    juce::AudioBuffer<float> block (int numSamples, juce::MidiBuffer midi = {})
    {
        juce::AudioBuffer<float> buffer (2, numSamples);
        processor.processBlock (buffer, midi);
        if (playHead.playing)
            playHead.ppq += numSamples * playHead.bpm / (60.0 * sampleRate);
        return buffer;
    }

    // Renders `total` samples in blocks of `blockSize`, appending the left channel to `out`.
    void render (int total, int blockSize, std::vector<float>& out)
    {
        for (int done = 0; done < total;)
        {
            const int n = std::min (blockSize, total - done);
            auto buffer = block (n);
            out.insert (out.end(), buffer.getReadPointer (0), buffer.getReadPointer (0) + n);
            done += n;
        }
    }

    KVProcessor& processor;
    double sampleRate;
    ScriptedPlayHead playHead;
};
} // namespace test
