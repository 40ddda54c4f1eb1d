// One instance shared by the three threads a host runs it on, all at once: the audio thread
// renders while the transport plays, stops and jumps and notes, sound controllers and the
// transport controllers arrive; the message thread keeps the editor ticking and painting while it
// edits and undoes, works the sequencer buttons and loads, saves and steps through presets; a
// host thread saves and restores the project. Built with the thread sanitizer
// (scripts/sanitize.sh thread) this shows that everything the threads share is handed over
// safely; in any build it shows that nothing crashes, deadlocks, or stops sounding cleanly.

#include "StateTestSupport.h"
#include "editor/PluginEditor.h"
#include "editor/PresetRow.h"
#include "editor/SequencerButtons.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <thread>

namespace
{
constexpr double kRate = 48000.0;
constexpr int kMaxBlock = 512;

// The audio thread, as a host's engine runs it: its own play head, blocks of varying size.
struct AudioThread
{
    explicit AudioThread (KVProcessor& processorToRun) : processor (processorToRun)
    {
        playHead.playing = true;
        processor.setPlayHead (&playHead);
        processor.setRateAndBufferSizeDetails (kRate, kMaxBlock);
        processor.prepareToPlay (kRate, kMaxBlock);
        thread = std::thread ([this] { run(); });
    }

    ~AudioThread()
    {
        stop();
        processor.setPlayHead (nullptr);
    }

    void stop()
    {
        stopRequest = true;
        if (thread.joinable())
            thread.join();
    }

    void run()
    {
        juce::Random random (7);
        juce::AudioBuffer<float> buffer (2, kMaxBlock);
        juce::MidiBuffer midi;
        midi.ensureSize (1024);

        while (! stopRequest.load())
        {
            const int n = 16 + random.nextInt (kMaxBlock - 15);
            buffer.setSize (2, n, false, false, true);
            midi.clear();
            if (random.nextInt (3) == 0)
                midi.addEvent (juce::MidiMessage::noteOn (1, 36 + random.nextInt (36), (juce::uint8) (1 + random.nextInt (127))),
                               random.nextInt (n));

            switch (random.nextInt (12))
            {
                case 0: midi.addEvent (juce::MidiMessage::controllerEvent (1, 119, random.nextBool() ? 127 : 0), 0); break;
                case 1: midi.addEvent (juce::MidiMessage::controllerEvent (1, 110, random.nextBool() ? 127 : 0), 0); break;
                case 2: midi.addEvent (juce::MidiMessage::controllerEvent (1, 20 + random.nextInt (17), random.nextInt (128)), 0); break;
                case 3: playHead.playing = ! playHead.playing; break;
                case 4: playHead.ppq = 4.0 * random.nextInt (16) + random.nextDouble(); break; // a loop or a locate
                default: break;
            }

            processor.processBlock (buffer, midi);

            for (int ch = 0; ch < 2; ++ch)
                for (int i = 0; i < n; ++i)
                {
                    const float s = buffer.getSample (ch, i);
                    if (! std::isfinite (s))
                        nonFinite.fetch_add (1);
                    else if (std::abs (s) > peak.load())
                        peak.store (std::abs (s)); // only this thread writes it
                }

            if (playHead.playing)
                playHead.ppq += n * playHead.bpm / (60.0 * kRate);
            blocks.fetch_add (1);
            std::this_thread::sleep_for (std::chrono::microseconds (500));
        }
    }

    KVProcessor& processor;
    test::ScriptedPlayHead playHead; // the audio thread's own
    std::atomic<bool> stopRequest { false };
    std::atomic<int> blocks { 0 }, nonFinite { 0 };
    std::atomic<float> peak { 0.0f };
    std::thread thread;
};

// A host saving the project on its own thread now and then restoring an earlier save.
struct HostThread
{
    explicit HostThread (KVProcessor& processorToUse) : processor (processorToUse)
    {
        thread = std::thread ([this] { run(); });
    }

    ~HostThread() { stop(); }

    void stop()
    {
        stopRequest = true;
        if (thread.joinable())
            thread.join();
    }

    void run()
    {
        juce::MemoryBlock earlier;
        for (int round = 0; ! stopRequest.load(); ++round)
        {
            juce::MemoryBlock block;
            processor.getStateInformation (block);
            if (block.getSize() < 100)
                shortStates.fetch_add (1);

            if (round % 5 == 4 && earlier.getSize() > 0)
                processor.setStateInformation (earlier.getData(), (int) earlier.getSize());
            else
                earlier = block;

            const int program = processor.getCurrentProgram();
            if (program < 0 || program >= processor.getNumPrograms())
                badPrograms.fetch_add (1);
            processor.getProgramName (program);

            rounds.fetch_add (1);
            std::this_thread::sleep_for (std::chrono::milliseconds (10));
        }
    }

    KVProcessor& processor;
    std::atomic<bool> stopRequest { false };
    std::atomic<int> rounds { 0 }, shortStates { 0 }, badPrograms { 0 };
    std::thread thread;
};
// Runs the message loop, calling `action` with a running count from a timer every few
// milliseconds until it returns false. Everything else the loop has to do (the editor's tick, the
// parameter tree's flush into its state, the controls following parameters moved on other
// threads) runs between the calls, as in a host.
void runOnMessageLoop (std::function<bool (int)> action)
{
    struct Driver : juce::Timer
    {
        std::function<bool (int)> action;
        int round = 0;

        void timerCallback() override
        {
            if (! action (round++))
            {
                stopTimer();
                juce::MessageManager::getInstance()->stopDispatchLoop();
            }
        }
    } driver;

    driver.action = std::move (action);
    driver.startTimer (2);
    juce::MessageManager::getInstance()->runDispatchLoop();
}
} // namespace

TEST (ThreadSafety, AudioMessageAndHostThreadsShareOneInstance)
{
    KVProcessor p;
    p.setRandomSeed (3);
    const auto entries = p.getPresetEntries();
    ASSERT_FALSE (entries.empty());

    std::unique_ptr<KVEditor> editor (dynamic_cast<KVEditor*> (p.createEditorIfNeeded()));
    ASSERT_NE (editor, nullptr);
    juce::Image image (juce::Image::ARGB, editor->getWidth(), editor->getHeight(), true);

    AudioThread audio (p);
    HostThread host (p);

    // The message thread: the editor's gestures, in a fixed rotation, between everything else
    // the message loop dispatches.
    const auto& parameters = p.getParameters();
    juce::Random random (11);
    constexpr int kRounds = 120;
    int rounds = 0;
    runOnMessageLoop ([&] (int round) {
        rounds = round;
        switch (round % 10)
        {
            case 0: p.loadPreset (entries[(size_t) random.nextInt ((int) entries.size())]); break;
            case 1:
            {
                auto* parameter = dynamic_cast<juce::RangedAudioParameter*> (parameters[random.nextInt (kv::kNumParameters)]);
                const float value = random.nextFloat();
                p.performUiEdit ({ parameter->getParameterID() }, [parameter, value] { parameter->setValueNotifyingHost (value); });
                break;
            }
            case 2: p.undoLastUiEdit(); break;
            case 3: KVSequencerButtons::runStopClicked (*editor); break;
            case 4: random.nextBool() ? KVSequencerButtons::patternBClicked (*editor) : KVSequencerButtons::patternAClicked (*editor); break;
            case 5: KVSequencerButtons::chainClicked (*editor); KVSequencerButtons::triggerClicked (*editor); break;
            case 6: KVSequencerButtons::resetClicked (*editor); KVSequencerButtons::velocityClearClicked (*editor); break;
            case 7: random.nextBool() ? KVPresetRow::nextClicked (*editor) : KVPresetRow::previousClicked (*editor); break;
            case 8: random.nextBool() ? (void) p.savePreset ("Threads", true) : p.loadInitPreset(); break;
            case 9: p.setCurrentProgram (random.nextInt (p.getNumPrograms())); break;
        }

        if (round % 3 == 0)
        {
            juce::Graphics g (image);
            editor->paintEntireComponent (g, true);
        }

        // On until every thread had its share; a starved thread shows in the checks below.
        return round < 20 * kRounds && (round < kRounds || audio.blocks.load() < 300 || host.rounds.load() < 30);
    });

    host.stop();
    audio.stop();
    editor.reset();

    EXPECT_GE (rounds, kRounds - 1);
    EXPECT_GE (audio.blocks.load(), 300);
    EXPECT_GE (host.rounds.load(), 30);
    EXPECT_EQ (audio.nonFinite.load(), 0);
    EXPECT_EQ (host.shortStates.load(), 0);
    EXPECT_EQ (host.badPrograms.load(), 0);

    // Once the threads are quiet the instance holds one whole sound: its saved state brings the
    // same values into a fresh instance.
    const auto saved = test::hostState (p);
    KVProcessor fresh;
    test::setHostState (fresh, saved);
    EXPECT_EQ (test::differingValues (test::parameterValues (p), test::parameterValues (fresh)), "");

    p.getPresetFile ("Threads").deleteFile();
}

// Two instances in one host, each on its own audio thread (hosts spread tracks over cores), while
// the message thread opens and closes an editor on one and steps the other through its presets:
// whatever the instances share (tables, factory folder, fonts) is shared safely.
TEST (ThreadSafety, TwoInstancesRenderOnTwoAudioThreads)
{
    KVProcessor first, second;
    first.setRandomSeed (1);
    second.setRandomSeed (2);
    const auto entries = second.getPresetEntries();
    ASSERT_FALSE (entries.empty());

    AudioThread audioA (first), audioB (second);
    for (int round = 0; round < 12 || audioA.blocks.load() < 100 || audioB.blocks.load() < 100; ++round)
    {
        {
            std::unique_ptr<juce::AudioProcessorEditor> editor (first.createEditorIfNeeded());
            ASSERT_NE (editor, nullptr);
            if (auto* panel = dynamic_cast<KVEditor*> (editor.get()))
                panel->timerCallback();
        }
        second.loadPreset (entries[(size_t) round % entries.size()]);
        std::this_thread::sleep_for (std::chrono::milliseconds (5));
        if (round > 2000)
            break;
    }
    audioA.stop();
    audioB.stop();

    for (auto* audio : { &audioA, &audioB })
    {
        EXPECT_GE (audio->blocks.load(), 100);
        EXPECT_EQ (audio->nonFinite.load(), 0);
        EXPECT_GT (audio->peak.load(), 0.0f);
    }
}
