#pragma once

// The actions of the sequencer section's buttons: RUN/STOP (a single click switches the
// sequencer in or out, a double click with the transport stopped runs it on its own clock),
// trigger, reset (restart, or the reset-on-start lamp while the sequencer stands), the page
// buttons PATTERN A / PATTERN B, the A + B chain and the velocity clear; and a played MIDI note
// setting the pitch of the step under the mouse.
//
// The buttons and the counters they drive are members of KVEditor; these functions give them
// their behaviour.

class KVEditor;

class KVSequencerButtons
{
public:
    // Installs the click handlers of the seven buttons.
    static void attach (KVEditor& editor);

    // Click handlers (also what the installed handlers run).
    static void runStopClicked (KVEditor& editor);
    static void triggerClicked (KVEditor& editor);
    static void resetClicked (KVEditor& editor);
    static void patternAClicked (KVEditor& editor);
    static void patternBClicked (KVEditor& editor);
    static void chainClicked (KVEditor& editor);
    static void velocityClearClicked (KVEditor& editor);

    // What a single RUN/STOP click does once no second click followed (run by the tick).
    static void performRunStopSingleClick (KVEditor& editor);

    // The newest played note becomes the pitch of the showing step pitch knob under the mouse.
    static void assignHoveredPitchFromMidi (KVEditor& editor);

    // Ticks of 41 ms within which a second RUN/STOP click makes a double click.
    static constexpr int kDoubleClickTicks = 6;
    // Ticks a momentary LED stays lit.
    static constexpr int kFlashTicks = 4;
};
