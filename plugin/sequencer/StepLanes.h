#pragma once

// The four lanes that read the 16-step pattern: pitch, velocity, mod A and mod B, each with its
// own length, inside the shown page of eight steps or, in chain mode, over all sixteen.
//
// The clock hands the lanes a step count per running sample; the lanes turn it into positions
// (lane shift + step count, wrapped at each lane's length) and fire a step event whenever the
// pitch lane lands on a new step or the clock moves on to its next step.

#include "../Parameters.h"
#include <array>
#include <atomic>
#include <cstdint>

struct StepEvent
{
    bool fired = false;
    float note = 60.0f;
    float velocity = 0.0f;
};

class KVStepLanes
{
public:
    enum Lane { pitchLane = 0, velocityLane, modALane, modBLane, numLanes };

    // `currentStep` is the shared step index the editor's LED shows; the lanes write it.
    explicit KVStepLanes (std::atomic<int>& currentStepToWrite) noexcept : currentStep (currentStepToWrite) {}

    // Per block: the page that plays and the lane lengths (choice indexes "1" ... "16").
    void configure (bool chainMode, int editPage, const std::array<int, numLanes>& lengthIndexes) noexcept;

    int getPageStart() const noexcept { return pageStart; }
    int getLength (Lane lane) const noexcept { return lengths[(size_t) lane]; }

    // Start anchor: the lanes play the step of this step count at once, either from the first
    // position (`fromFirstStep`, nothing played yet, or a reset pending) or with the step after
    // the one played last.
    void anchorStart (std::int64_t stepCount, bool fromFirstStep) noexcept;

    // Moves the lanes by `delta` positions (used to keep the pattern in place when the step grid
    // changes under it).
    void shift (std::int64_t delta) noexcept { laneShift += delta; }

    // The next step event (or the next start) plays position 0 of every lane.
    void requestReset() noexcept { resetPending = true; }
    bool isResetPending() const noexcept { return resetPending; }

    // A reset while the clock stands: the LED jumps to the page's first step at once.
    void resetWhileStopped() noexcept;

    // Called for every sample at which the clock does not run: the first running sample fires.
    void clockStopped() noexcept { lastTriggeredStep = -1; }

    // The step under this step count counts as played (after a page switch, a chain toggle or a
    // state replacement); the pattern goes on at the next clock step.
    void treatAsPlayed (std::int64_t stepCount) noexcept;

    // One running sample: the step event of this step count, if any.
    StepEvent advance (std::int64_t stepCount, const std::array<kv::StepValues, kv::kNumSteps>& steps) noexcept;

    float getModAValue() const noexcept { return modAValue; }
    float getModBValue() const noexcept { return modBValue; }

    // Values of the last step event, for the step log.
    float getLastModA() const noexcept { return lastModA; }
    float getLastModB() const noexcept { return lastModB; }

private:
    static int wrap (std::int64_t position, int length) noexcept
    {
        const auto r = (int) (position % length);
        return r < 0 ? r + length : r;
    }

    int indexOf (Lane lane, std::int64_t lanePosition) const noexcept
    {
        return pageStart + wrap (lanePosition, lengths[(size_t) lane]);
    }

    std::atomic<int>& currentStep;

    int pageStart = 0;
    std::array<int, numLanes> lengths { 8, 8, 8, 8 };

    std::int64_t laneShift = 0;
    int lastTriggeredStep = -1;
    std::int64_t lastEventLanePosition = 0;
    bool resetPending = false;

    float modAValue = 0.0f, modBValue = 0.0f;
    float lastModA = 0.5f, lastModB = 0.5f;
};
