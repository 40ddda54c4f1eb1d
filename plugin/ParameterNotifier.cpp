#include "ParameterNotifier.h"

#include <thread>

namespace kv
{
ParameterNotifier::ParameterNotifier (juce::AudioProcessor& processor)
    : parameters (processor.getParameters())
{
    jassert (parameters.size() <= kMaxParameters);
    for (auto& word : pending)
        word.store (0, std::memory_order_relaxed);

    // A report left just as a bulk change ended is delivered from here.
    startTimer (50);
}

ParameterNotifier::~ParameterNotifier() { stopTimer(); }

void ParameterNotifier::setValue (juce::AudioProcessorParameter& parameter, float normalised) noexcept
{
    // Paired with BulkChange: either this thread sees the bulk change, or the bulk change waits
    // until this report is through (both sides use sequentially consistent order).
    audioThreadReporting.store (true);
    if (bulkChanges.load() == 0)
    {
        parameter.setValueNotifyingHost (normalised);
    }
    else
    {
        parameter.setValue (normalised);
        const int index = parameter.getParameterIndex();
        if (index >= 0 && index < parameters.size() && index < kMaxParameters)
            pending[(size_t) index / 32].fetch_or (std::uint32_t (1) << (index % 32), std::memory_order_release);
    }
    audioThreadReporting.store (false);
}

ParameterNotifier::BulkChange::BulkChange (ParameterNotifier& owner) : notifier (owner)
{
    notifier.bulkChanges.fetch_add (1);
    while (notifier.audioThreadReporting.load())
        std::this_thread::yield();
}

ParameterNotifier::BulkChange::~BulkChange()
{
    notifier.deliverPending();
    notifier.bulkChanges.fetch_sub (1);
}

void ParameterNotifier::deliverPending()
{
    for (size_t word = 0; word < pending.size(); ++word)
    {
        const auto bits = pending[word].exchange (0, std::memory_order_acq_rel);
        for (int bit = 0; bits != 0 && bit < 32; ++bit)
            if ((bits & (std::uint32_t (1) << bit)) != 0)
                if (auto* parameter = parameters[(int) word * 32 + bit])
                    parameter->sendValueChangedMessageToListeners (parameter->getValue());
    }
}

void ParameterNotifier::timerCallback()
{
    if (hasPending())
        flush();
}

bool ParameterNotifier::hasPending() const noexcept
{
    for (const auto& word : pending)
        if (word.load (std::memory_order_acquire) != 0)
            return true;
    return false;
}
} // namespace kv
