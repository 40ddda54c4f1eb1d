#pragma once

// The step sequencer: run state, host transport following, free run, clock multiplier, swing,
// grid joining, and the four polymetric lanes over the two pages of eight steps.
//
// Everything in here runs on the audio thread except the run-state operations, which set
// atomic flags that the audio thread reads at the next block or sample.

#include "../ParameterNotifier.h"
#include "../Parameters.h"
#include "SequencerClock.h"
#include "StepLanes.h"

#include <juce_audio_processors/juce_audio_processors.h>
#include <array>
#include <atomic>
#include <cstdint>

class KVSequencer
{
public:
    KVSequencer();

    // The run switch parameter, which the run-state operations set; the notifier tells the host
    // from the message thread, since these operations also run on the audio thread.
    void setRunParameter (juce::RangedAudioParameter* seqRunParameter, kv::ParameterNotifier* notifier) noexcept
    {
        seqRunParam = seqRunParameter;
        seqRunNotifier = notifier;
    }

    // Only the rate is taken: position, run state and lanes survive a new preparation.
    void prepare (double sampleRate) noexcept;

    // --- run-state operations (any thread) ---------------------------------------------------
    // Switch the sequencer in or out. `notifyParameter` is false when the call comes from the
    // parameter itself (host automation), true for the editor and MIDI controller 119, which
    // then move "seqRun" with host notification. Switching in while already switched in keeps
    // the running pattern as it is.
    void applyRunState (bool shouldRun, bool notifyParameter);

    // Free run on the instrument's own tempo; ignored while the host plays.
    void startFreeRun();
    void stopFreeRun();

    // A single click on the run switch: switch in when out; otherwise end a free run when the
    // host is stopped, or switch out.
    void clickRunSwitch();

    // Transport controllers 110 and 119 (audio thread, from the MIDI pass).
    void handleTransportController (int controller, int value);

    // --- audio thread -----------------------------------------------------------------------
    // Reads the host position and updates the run state; call once per block after the MIDI pass.
    void beginBlock (juce::AudioPlayHead* playHead, const kv::BlockParameters& parameters, int numSamples) noexcept;

    // Advances the clock by one sample and returns the step event of that sample, if any.
    // Also updates modAValue / modBValue and clockPosition.
    StepEvent advanceSample (int sampleIndex, const std::array<kv::StepValues, kv::kNumSteps>& steps) noexcept;

    // Called at the end of the block.
    void endBlock() noexcept;

    double getClockPosition() const noexcept { return clockPosition; }
    double getBlockTempo() const noexcept { return blockTempo; }
    float getModAValue() const noexcept { return lanes.getModAValue(); }
    float getModBValue() const noexcept { return lanes.getModBValue(); }

    // Whether the clock runs in the current block (host-driven, joining or free-running).
    bool isClockRunning() const noexcept { return clockRunning; }

    // --- step log ---------------------------------------------------------------------------
    // Every step event, with the number of samples the sequencer had advanced before it (counted
    // from construction). Written by the audio thread into a fixed ring; read it between blocks.
    struct LoggedStep
    {
        std::int64_t sample = 0;
        int step = -1;
        float note = 0.0f, velocity = 0.0f, modA = 0.5f, modB = 0.5f;
    };
    static constexpr std::size_t kStepLogSize = 1024;

    std::uint64_t getNumLoggedSteps() const noexcept { return stepLogCount.load (std::memory_order_acquire); }
    // Entry `index` (0 = first event ever); only the last kStepLogSize entries are kept.
    const LoggedStep& getLoggedStep (std::uint64_t index) const noexcept { return stepLog[(std::size_t) (index % kStepLogSize)]; }
    std::int64_t getSamplesProcessed() const noexcept { return samplesProcessed; }

    // --- shared with the editor and the processor (relaxed atomics) --------------------------
    std::atomic<int> currentStep { -1 };
    std::atomic<bool> resetRequest { false };
    std::atomic<int> editPage { 0 };
    std::atomic<bool> chainMode { false };
    std::atomic<bool> stateReplaced { false };
    std::atomic<bool> pageBInitialised { false };

    std::atomic<bool> freeRunning { false };
    std::atomic<bool> sequencerSwitchedOut { false };
    std::atomic<bool> hostPlaying { false };
    std::atomic<bool> followHostGrid { false };
    std::atomic<bool> sequencerStartPending { false };
    std::atomic<bool> freeRunRestartRequest { false };
    std::atomic<bool> hostPpqAvailable { false };
    // Step count at which the wait for the host grid began (shown clamped at 0), -1 = not waiting.
    std::atomic<int> gridJoinStep { -1 };

    // Millisecond counter at construction: an instance whose first block arrives within 500 ms
    // with the host already playing (a project opened during playback) starts switched out.
    double constructionTimeMs = 0.0;

private:
    static bool take (std::atomic<bool>& request) noexcept
    {
        return request.load (std::memory_order_relaxed) && request.exchange (false);
    }

    juce::RangedAudioParameter* seqRunParam = nullptr;
    kv::ParameterNotifier* seqRunNotifier = nullptr;
    void setRunParameterValue (float normalised) noexcept;
    KVStepLanes lanes { currentStep };

    double sampleRate = 44100.0;
    bool firstBlockDone = false;
    bool wasHostPlaying = false;

    // Positions in beats: the clock of the current sample (also read by the LFO), and the free
    // running clock.
    double clockPosition = 0.0;
    kv::SampleAccumulator clockAccumulator;
    kv::SampleAccumulator freeRunPosition;

    // Joining the host grid.
    bool joinArmed = false;
    std::int64_t joinStepCount = 0;
    int gridJoinSamples = 0;

    // The grid the lanes were last positioned on; a new multiplier or swing re-bases the lanes
    // so the pattern neither jumps nor replays.
    kv::StepGrid laneGrid;
    bool laneGridValid = false;

    // Per-block values.
    double blockTempo = 120.0;
    double ppqPosition = 0.0;
    bool blockPpqAvailable = false;
    bool blockHostPlaying = false;
    bool clockRunning = false;
    bool freeRunActive = false;
    bool transportStartAnchorDue = false;
    bool replacedPending = false;
    bool resetOnStart = false;
    int lastPageStart = -1;
    kv::StepGrid grid;
    double beatsPerSample = 0.0;
    double countTolerance = 0.0;
    double joinTimeout = 0.0;

    std::int64_t samplesProcessed = 0;
    std::array<LoggedStep, kStepLogSize> stepLog {};
    std::atomic<std::uint64_t> stepLogCount { 0 };
};
