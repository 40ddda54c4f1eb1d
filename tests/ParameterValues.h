#pragma once

// Setting parameters by plain value and learning the value the engine actually reads: the
// parameter tree stores a normalised value (snapped for linear parameters), so the plain value
// read back may differ from the one asked for by float rounding.

#include "TestSupport.h"

#include <gtest/gtest.h>
#include <cmath>

namespace test
{
inline float readValue (KVProcessor& p, const char* id) { return p.treeState.getRawParameterValue (id)->load(); }

// Sets a parameter and returns the plain value the engine reads.
inline float setPlain (KVProcessor& p, const char* id, float value)
{
    setParameter (p, id, value);
    return readValue (p, id);
}

// Sets the largest value the engine can read that is not above `value`, and returns it.
inline float setAtMost (KVProcessor& p, const char* id, float value)
{
    auto* parameter = p.treeState.getParameter (id);
    float normalised = parameter->convertTo0to1 (value);
    parameter->setValueNotifyingHost (normalised);
    for (int attempt = 0; attempt < 1000 && readValue (p, id) > value; ++attempt)
    {
        normalised = std::nextafter (normalised, -1.0f);
        parameter->setValueNotifyingHost (normalised);
    }
    return readValue (p, id);
}
} // namespace test
