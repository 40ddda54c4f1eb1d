#pragma once

// The fixed assignment of MIDI controllers to parameters. Controllers 110 and 119 drive the
// sequencer's transport and are handled by the sequencer, not here.

#include "ParameterNotifier.h"

#include <juce_audio_processors/juce_audio_processors.h>
#include <array>

class MidiCcBindings
{
public:
    static constexpr int kNumSlots = 98;

    struct Binding
    {
        int controller = -1;
        juce::RangedAudioParameter* parameter = nullptr;
        int choiceSteps = 0; // number of positions of a choice or switch (at least 2); 0 = continuous
    };

    // Fills the table from the parameter tree; called once at construction. Changes go through
    // the notifier, which tells the host from the message thread.
    void initialise (juce::AudioProcessorValueTreeState& state, kv::ParameterNotifier& notifier);

    // Applies one controller message (controller 0..119 but 110/119, value 0..127) to its bound
    // parameter. Returns false when nothing is bound. Audio-thread safe: no lock, no allocation.
    bool apply (int controller, int value) const;

    const Binding& slot (int index) const { return slots[(size_t) index]; }

    // The controller number bound to a parameter, or -1.
    int controllerFor (const juce::String& parameterId) const;

private:
    std::array<Binding, kNumSlots> slots {};
    kv::ParameterNotifier* notifier = nullptr;
};
