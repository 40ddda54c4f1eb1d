#include "SequencerButtons.h"

#include "PluginEditor.h"

namespace
{
constexpr auto relaxed = std::memory_order_relaxed;

void setPlainValue (juce::RangedAudioParameter& parameter, float plain)
{
    parameter.setValueNotifyingHost (parameter.convertTo0to1 (plain));
}
} // namespace

void KVSequencerButtons::attach (KVEditor& editor)
{
    auto* e = &editor;
    editor.runStopButton.onClick = [e] { runStopClicked (*e); };
    editor.triggerButton.onClick = [e] { triggerClicked (*e); };
    editor.resetButton.onClick = [e] { resetClicked (*e); };
    editor.patternAButton.onClick = [e] { patternAClicked (*e); };
    editor.patternBButton.onClick = [e] { patternBClicked (*e); };
    editor.chainButton.onClick = [e] { chainClicked (*e); };
    editor.velocityClearButton.onClick = [e] { velocityClearClicked (*e); };
}

//==============================================================================
void KVSequencerButtons::runStopClicked (KVEditor& editor)
{
    auto& processor = editor.processor;
    auto& sequencer = processor.sequencer;

    if (sequencer.hostPlaying.load (relaxed))
    {
        // With the transport playing a click acts at once; it never starts the free run.
        if (sequencer.sequencerSwitchedOut.load (relaxed))
            processor.setSequencerRunState (true, true);
        else if (! sequencer.freeRunning.load (relaxed))
            processor.setSequencerRunState (false, true);
        editor.blinkPhase = 0;
        editor.repaint();
        return;
    }

    if (! sequencer.sequencerSwitchedOut.load (relaxed) && sequencer.freeRunning.load (relaxed))
    {
        processor.stopFreeRun();
        editor.blinkPhase = 0;
        editor.repaint();
        return;
    }

    // Transport stopped: wait a few ticks to tell a single from a double click.
    if (editor.runClickCountdown <= 0)
    {
        editor.runClickCountdown = kDoubleClickTicks;
        return;
    }

    editor.runClickCountdown = 0;
    if (! sequencer.hostPlaying.load (relaxed))
        processor.startFreeRun();
    editor.blinkPhase = 0;
    editor.repaint();
}

void KVSequencerButtons::performRunStopSingleClick (KVEditor& editor)
{
    auto& processor = editor.processor;
    auto& sequencer = processor.sequencer;
    const bool freeRunning = sequencer.freeRunning.load (relaxed);

    if (sequencer.sequencerSwitchedOut.load (relaxed))
        processor.setSequencerRunState (true, true);
    else if (freeRunning && ! sequencer.hostPlaying.load (relaxed))
        processor.stopFreeRun();
    else if (! freeRunning)
        processor.setSequencerRunState (false, true);
    // Free running while the host plays: nothing to do.
}

void KVSequencerButtons::triggerClicked (KVEditor& editor)
{
    editor.processor.auditionRequest.store (true, relaxed);
    editor.triggerFlash = kFlashTicks;
    editor.repaint();
}

void KVSequencerButtons::resetClicked (KVEditor& editor)
{
    auto& processor = editor.processor;
    auto& sequencer = processor.sequencer;
    sequencer.resetRequest.store (true, relaxed);

    const bool standing = sequencer.sequencerSwitchedOut.load (relaxed)
                          || (! sequencer.hostPlaying.load (relaxed) && ! sequencer.freeRunning.load (relaxed));
    editor.holdFirstStep = true;

    if (standing)
    {
        // While the sequencer stands the button toggles the reset-on-start lamp, one undo step.
        if (auto* lamp = processor.treeState.getParameter (kv::ids::seqResetOnStart))
        {
            processor.beginUiEdit ({ kv::ids::seqResetOnStart });
            const float current = lamp->convertFrom0to1 (lamp->getValue());
            setPlainValue (*lamp, current < 0.5f ? 1.0f : 0.0f);
            processor.endUiEdit();
        }
    }
    else
    {
        editor.resetFlash = kFlashTicks;
    }
    editor.repaint();
}

void KVSequencerButtons::patternAClicked (KVEditor& editor)
{
    editor.switchEditPage (0);
}

void KVSequencerButtons::patternBClicked (KVEditor& editor)
{
    // The first visit copies page A into page B; that copy and the page change are one undo step.
    editor.processor.beginUiEdit ({});
    editor.switchEditPage (1);
    editor.processor.endUiEdit();
}

void KVSequencerButtons::chainClicked (KVEditor& editor)
{
    auto& processor = editor.processor;
    auto& sequencer = processor.sequencer;

    processor.beginUiEdit ({});
    const bool chain = editor.chainButton.getToggleState();
    if (chain != sequencer.chainMode.load (relaxed))
        processor.presetModified.store (true, relaxed);
    sequencer.chainMode.store (chain, relaxed);
    sequencer.stateReplaced.store (true, relaxed);
    processor.endUiEdit();
    editor.refreshLaneLengthChoices (false);
}

void KVSequencerButtons::velocityClearClicked (KVEditor& editor)
{
    auto& processor = editor.processor;
    editor.velocityClearFlash = kFlashTicks;

    processor.beginUiEdit ({});
    for (int step = 0; step < kv::kNumSteps; ++step)
        if (auto* velocity = processor.treeState.getParameter ("stepVel" + juce::String (step)))
            setPlainValue (*velocity, 0.0f);
    processor.endUiEdit();
    editor.repaint();
}

//==============================================================================
void KVSequencerButtons::assignHoveredPitchFromMidi (KVEditor& editor)
{
    auto& processor = editor.processor;
    auto* knob = editor.stepKnobUnderMouse (true);
    const int note = processor.lastMidiNote.load (relaxed);
    if (knob == nullptr || note < 0)
        return;

    const auto id = knob->getName();
    if (auto* pitch = processor.treeState.getParameter (id))
        processor.performUiEdit ({ id }, [pitch, note] { setPlainValue (*pitch, (float) note); });
}
