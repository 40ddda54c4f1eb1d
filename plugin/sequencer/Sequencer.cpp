#include "Sequencer.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace
{
// An instance that meets a playing host this soon after construction was created during
// playback (a project opened while the transport runs) and waits to be switched in.
constexpr double kLateCreationWindowMs = 500.0;

// The share of one sample by which a position may fall short of a step boundary and still
// count as reaching it: far above the rounding of the position arithmetic, far below anything
// a host's position could mean.
constexpr double kBoundaryToleranceSamples = 1.0e-6;
} // namespace

KVSequencer::KVSequencer() = default;

void KVSequencer::prepare (double newSampleRate) noexcept
{
    sampleRate = newSampleRate;
}

//==============================================================================
// Run state

void KVSequencer::applyRunState (bool shouldRun, bool notifyParameter)
{
    // Switching in again while switched in (a repeated controller 119, an echo of the parameter)
    // leaves the running pattern alone instead of restarting it.
    if (! (shouldRun && ! sequencerSwitchedOut.load()))
    {
        sequencerSwitchedOut = ! shouldRun;
        followHostGrid = false;
        gridJoinStep = -1;

        if (! shouldRun)
        {
            freeRunning = false;
            sequencerStartPending = false;
        }
        else if (hostPlaying.load())
        {
            // Joining a playing host waits for its next step boundary, when it tells us where
            // its grid is; without a beat position the sequencer starts at once.
            freeRunning = false;
            followHostGrid = hostPpqAvailable.load();
            sequencerStartPending = true;
        }
    }

    if (notifyParameter && seqRunParam != nullptr)
    {
        const float target = shouldRun ? 1.0f : 0.0f;
        if (std::abs (seqRunParam->getValue() - target) > 0.001f)
            setRunParameterValue (target);
    }
}

void KVSequencer::setRunParameterValue (float normalised) noexcept
{
    if (seqRunNotifier != nullptr)
        seqRunNotifier->setValue (*seqRunParam, normalised);
    else
        seqRunParam->setValueNotifyingHost (normalised);
}

void KVSequencer::startFreeRun()
{
    if (hostPlaying.load())
        return;

    sequencerSwitchedOut = false;
    followHostGrid = false;
    gridJoinStep = -1;
    sequencerStartPending = true;
    freeRunRestartRequest = true;
    freeRunning = true;

    if (seqRunParam != nullptr && seqRunParam->getValue() < 0.5f)
        setRunParameterValue (1.0f);
}

void KVSequencer::stopFreeRun()
{
    if (hostPlaying.load())
        return;

    freeRunning = false;
    sequencerStartPending = false;
}

void KVSequencer::clickRunSwitch()
{
    const bool playing = hostPlaying.load();
    const bool free = freeRunning.load();

    if (sequencerSwitchedOut.load())
        applyRunState (true, true);
    else if (! free)
        applyRunState (false, true);
    else if (! playing)
    {
        freeRunning = false;
        sequencerStartPending = false;
    }
}

void KVSequencer::handleTransportController (int controller, int value)
{
    if (controller == 110)
    {
        if (value >= 64)
            startFreeRun();
        else
            stopFreeRun();
    }
    else if (controller == 119)
    {
        applyRunState (value >= 64, true);
    }
}

//==============================================================================
// Audio thread

void KVSequencer::beginBlock (juce::AudioPlayHead* playHead, const kv::BlockParameters& parameters, int) noexcept
{
    // Host position; no play head or no position is a stopped host at 120 BPM.
    double hostTempo = 120.0;
    double ppq = 0.0;
    bool ppqAvailable = false;
    bool playing = false;

    if (playHead != nullptr)
    {
        if (const auto position = playHead->getPosition())
        {
            if (const auto bpm = position->getBpm())
                hostTempo = std::isfinite (*bpm) ? std::max (0.0, *bpm) : 120.0;

            if (const auto beat = position->getPpqPosition())
            {
                if (std::isfinite (*beat))
                {
                    ppq = *beat;
                    ppqAvailable = true;
                }
            }

            playing = position->getIsPlaying();
        }
    }

    hostPpqAvailable.store (ppqAvailable, std::memory_order_relaxed);
    blockPpqAvailable = ppqAvailable;
    ppqPosition = ppq;

    // Transport edges.
    const bool firstBlock = ! firstBlockDone;
    firstBlockDone = true;
    transportStartAnchorDue = false;

    if (playing && (firstBlock || ! wasHostPlaying))
    {
        freeRunning = false;
        followHostGrid = false;
        gridJoinStep = -1;

        if (firstBlock && juce::Time::getMillisecondCounterHiRes() - constructionTimeMs < kLateCreationWindowMs)
        {
            sequencerSwitchedOut = true;
            sequencerStartPending = false;
        }
        else if (! sequencerSwitchedOut.load())
        {
            sequencerStartPending = true;
            transportStartAnchorDue = true;
        }
    }
    else if (! playing && wasHostPlaying)
    {
        freeRunning = false;
        followHostGrid = false;
        gridJoinStep = -1;
        sequencerStartPending = false;
    }

    hostPlaying.store (playing, std::memory_order_relaxed);
    blockHostPlaying = playing;

    if (! followHostGrid.load (std::memory_order_relaxed))
    {
        gridJoinStep.store (-1, std::memory_order_relaxed);
        joinArmed = false;
    }
    else if (gridJoinStep.load (std::memory_order_relaxed) < 0)
    {
        joinArmed = false; // a new switch-in restarts the wait
    }

    const bool switchedOut = sequencerSwitchedOut.load (std::memory_order_relaxed);
    freeRunActive = ! playing && freeRunning.load (std::memory_order_relaxed) && ! switchedOut;
    blockTempo = freeRunActive ? (double) parameters.tempo : hostTempo;
    clockRunning = (playing || freeRunActive) && ! switchedOut;

    grid = kv::StepGrid::make (parameters.clockMult, juce::jlimit (0.0, 0.5, (double) parameters.swing));
    resetOnStart = parameters.seqResetOnStart;

    if (freeRunActive && freeRunRestartRequest.exchange (false))
        freeRunPosition.set (0.0);

    beatsPerSample = sampleRate > 0.0 ? blockTempo / (60.0 * sampleRate) : 0.0;
    countTolerance = kBoundaryToleranceSamples * beatsPerSample;
    joinTimeout = sampleRate * 60.0 / (blockTempo > 0.0 ? blockTempo : 120.0) * grid.pairBeats;

    clockAccumulator.setRate (beatsPerSample);
    if (freeRunActive)
        freeRunPosition.setRate (beatsPerSample);

    // Page and lanes. A page switch or chain toggle counts as a state replacement even when the
    // editor's request arrives a block late, so the step under the position is never replayed.
    const bool chain = chainMode.load (std::memory_order_relaxed);
    lanes.configure (chain, editPage.load (std::memory_order_relaxed),
                     { parameters.pitchSteps, parameters.velSteps, parameters.modASteps, parameters.modBSteps });

    const int layout = lanes.getPageStart() + (chain ? 100 : 0);
    if (stateReplaced.exchange (false) || (lastPageStart >= 0 && layout != lastPageStart))
        replacedPending = true;
    lastPageStart = layout;
}

StepEvent KVSequencer::advanceSample (int sampleIndex, const std::array<kv::StepValues, kv::kNumSteps>& steps) noexcept
{
    const std::int64_t sampleNumber = samplesProcessed++;

    // Position of this sample, for the LFO and for a host that gives no beat position.
    if (clockRunning && freeRunActive)
    {
        clockPosition = freeRunPosition.value();
        clockAccumulator.set (clockPosition);
    }
    else if (clockRunning && blockPpqAvailable)
    {
        clockPosition = ppqPosition + sampleIndex * beatsPerSample;
        clockAccumulator.set (clockPosition);
    }
    else
    {
        clockAccumulator.advance();
        clockPosition = clockAccumulator.value();
    }

    if (! clockRunning)
    {
        if (take (resetRequest))
        {
            lanes.resetWhileStopped();
            freeRunPosition.set (0.0);
        }
        lanes.clockStopped();
        replacedPending = false; // nothing is playing that a replacement could repeat
        return {};
    }

    double beat;
    if (freeRunActive)
    {
        beat = freeRunPosition.value();
        freeRunPosition.advance();
    }
    else if (blockPpqAvailable)
    {
        beat = ppqPosition + sampleIndex * beatsPerSample;
    }
    else
    {
        // A host that plays without a beat position: count on the accumulated clock.
        beat = clockPosition;
    }

    const std::int64_t stepCount = grid.stepCountAt (beat, countTolerance);
    const bool start = take (sequencerStartPending);
    bool anchored = false;

    if (blockHostPlaying && followHostGrid.load (std::memory_order_relaxed))
    {
        if (joinArmed && gridJoinStep.load (std::memory_order_relaxed) < 0)
            joinArmed = false;

        if (! joinArmed)
        {
            joinArmed = true;
            joinStepCount = stepCount;
            gridJoinSamples = 1;
            gridJoinStep.store ((int) std::clamp<std::int64_t> (stepCount, 0, std::numeric_limits<int>::max()),
                                std::memory_order_relaxed);
        }
        else
        {
            ++gridJoinSamples;
        }

        if (stepCount == joinStepCount && gridJoinSamples <= joinTimeout)
            return {}; // waiting for the host's next step

        followHostGrid.store (false, std::memory_order_relaxed);
        gridJoinStep.store (-1, std::memory_order_relaxed);
        gridJoinSamples = 0;
        joinArmed = false;

        if (take (resetRequest))
            lanes.requestReset();
        lanes.anchorStart (stepCount, resetOnStart);
        anchored = true;
    }
    else
    {
        joinArmed = false;

        if (take (resetRequest))
        {
            lanes.requestReset();
            if (start)
            {
                lanes.anchorStart (stepCount, true);
                anchored = true;
            }
        }
        else if (start || (transportStartAnchorDue && ! freeRunActive))
        {
            lanes.anchorStart (stepCount, resetOnStart);
            anchored = true;
        }
    }
    transportStartAnchorDue = false;

    if (anchored)
    {
        // The anchored step plays now, whatever was replaced before.
        replacedPending = false;
        laneGrid = grid;
        laneGridValid = true;
    }
    else if (laneGridValid && grid != laneGrid)
    {
        // New multiplier or swing: keep the lanes where the old grid has them at this beat.
        lanes.shift (laneGrid.stepCountAt (beat, countTolerance) - stepCount);
        laneGrid = grid;
    }

    if (replacedPending)
    {
        lanes.treatAsPlayed (stepCount);
        replacedPending = false;
    }

    const StepEvent event = lanes.advance (stepCount, steps);

    if (event.fired)
    {
        const auto index = stepLogCount.load (std::memory_order_relaxed);
        auto& entry = stepLog[(std::size_t) (index % kStepLogSize)];
        entry.sample = sampleNumber;
        entry.step = currentStep.load (std::memory_order_relaxed);
        entry.note = event.note;
        entry.velocity = event.velocity;
        entry.modA = lanes.getLastModA();
        entry.modB = lanes.getLastModB();
        stepLogCount.store (index + 1, std::memory_order_release);
    }

    return event;
}

void KVSequencer::endBlock() noexcept
{
    wasHostPlaying = blockHostPlaying;
}
