#pragma once

// The instrument changes some of its own parameters on the audio thread: MIDI controllers and the
// sequencer's run switch. Normally the change is reported at once, on the audio thread, so a VST3
// host receives it with the block as an output parameter change. The report passes the
// framework's listener locks, though, and while another thread of the instrument is replacing
// many parameters (a state or preset load, an undo) it holds those locks over and over. During
// such a bulk change the audio thread only stores the value, where the engine reads it, and
// leaves the report to the loading thread, which delivers it when it is done. The audio thread
// never waits for anything.

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>
#include <atomic>
#include <cstdint>

namespace kv
{
class ParameterNotifier : private juce::Timer
{
public:
    static constexpr int kMaxParameters = 256;

    explicit ParameterNotifier (juce::AudioProcessor& processor);
    ~ParameterNotifier() override;

    // Audio-thread safe: sets the normalised value and reports it, or leaves the report for later
    // while a bulk change runs on another thread.
    void setValue (juce::AudioProcessorParameter& parameter, float normalised) noexcept;

    // Held by a thread of the instrument (never the audio thread) while it replaces parameters or
    // reads the whole parameter tree. Its start waits, at most for the length of one report, until
    // the audio thread is not reporting; its end delivers whatever the audio thread left.
    class BulkChange
    {
    public:
        explicit BulkChange (ParameterNotifier& owner);
        ~BulkChange();

    private:
        ParameterNotifier& notifier;
        JUCE_DECLARE_NON_COPYABLE (BulkChange)
    };

    // Delivers the reports left by the audio thread (any thread but the audio thread).
    void flush() { const BulkChange delivery (*this); }

    bool hasPending() const noexcept;

private:
    void timerCallback() override;
    void deliverPending();

    juce::Array<juce::AudioProcessorParameter*> parameters;
    std::array<std::atomic<std::uint32_t>, kMaxParameters / 32> pending {};
    std::atomic<int> bulkChanges { 0 };
    std::atomic<bool> audioThreadReporting { false };

    JUCE_DECLARE_NON_COPYABLE (ParameterNotifier)
};
} // namespace kv
