#include "StepLanes.h"

void KVStepLanes::configure (bool chainMode, int editPage, const std::array<int, numLanes>& lengthIndexes) noexcept
{
    pageStart = chainMode ? 0 : (editPage > 0 ? kv::kNumSteps / 2 : 0);
    const int maximum = chainMode ? kv::kNumSteps : kv::kNumSteps / 2;

    for (size_t lane = 0; lane < (size_t) numLanes; ++lane)
    {
        const int length = lengthIndexes[lane] < 0 ? 1 : lengthIndexes[lane] + 1;
        lengths[lane] = length < maximum ? length : maximum;
    }
}

void KVStepLanes::anchorStart (std::int64_t stepCount, bool fromFirstStep) noexcept
{
    const int played = currentStep.load (std::memory_order_relaxed);

    if (fromFirstStep || played < 0 || resetPending)
    {
        laneShift = -stepCount;
    }
    else
    {
        const int length = lengths[pitchLane];
        laneShift = (std::int64_t) ((wrap (played - pageStart, length) + 1) % length) - stepCount;
    }

    resetPending = false;
    lastTriggeredStep = -1;
}

void KVStepLanes::resetWhileStopped() noexcept
{
    laneShift = 0;
    currentStep.store (pageStart, std::memory_order_relaxed);
    resetPending = true;
}

void KVStepLanes::treatAsPlayed (std::int64_t stepCount) noexcept
{
    lastEventLanePosition = laneShift + stepCount;
    lastTriggeredStep = indexOf (pitchLane, lastEventLanePosition);
}

StepEvent KVStepLanes::advance (std::int64_t stepCount, const std::array<kv::StepValues, kv::kNumSteps>& steps) noexcept
{
    std::int64_t lanePosition = laneShift + stepCount;
    int stepIndex = indexOf (pitchLane, lanePosition);

    // A new pitch step fires; so does the clock moving on while the pitch step stays the same
    // (a pitch lane of length 1, or a host jump by a whole number of lane lengths).
    if (stepIndex == lastTriggeredStep && lanePosition == lastEventLanePosition)
        return {};

    if (resetPending)
    {
        laneShift = -stepCount;
        lanePosition = 0;
        stepIndex = pageStart;
        resetPending = false;
    }

    lastTriggeredStep = stepIndex;
    lastEventLanePosition = lanePosition;
    currentStep.store (stepIndex, std::memory_order_relaxed);

    StepEvent event;
    event.fired = true;
    event.note = steps[(size_t) stepIndex].pitch;
    event.velocity = steps[(size_t) indexOf (velocityLane, lanePosition)].velocity;
    lastModA = steps[(size_t) indexOf (modALane, lanePosition)].modA;
    lastModB = steps[(size_t) indexOf (modBLane, lanePosition)].modB;

    // 0.5 is the neutral value of a mod step.
    modAValue = 2.0f * lastModA - 1.0f;
    modBValue = 2.0f * lastModB - 1.0f;
    return event;
}
