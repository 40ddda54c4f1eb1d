// The audio thread never allocates and never waits for a lock: processBlock runs under a hook
// that counts heap allocations and blocking mutex acquisitions made by that thread, while the
// sequencer runs, notes and controllers arrive, every parameter is automated and another thread
// keeps loading presets and host states.

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <new>
#include <pthread.h>
#include <thread>

namespace
{
thread_local bool watching = false;
std::atomic<long> allocationsWhileWatching { 0 };
std::atomic<long> lockWaitsWhileWatching { 0 };

void noteAllocation()
{
    if (watching)
        allocationsWhileWatching.fetch_add (1, std::memory_order_relaxed);
}

struct Watch
{
    Watch() { watching = true; }
    ~Watch() { watching = false; }
};
} // namespace

// ---- allocation hook (the whole test program) --------------------------------------------------
void* operator new (std::size_t size)
{
    noteAllocation();
    if (void* p = std::malloc (size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
void* operator new[] (std::size_t size) { return operator new (size); }
void* operator new (std::size_t size, const std::nothrow_t&) noexcept
{
    noteAllocation();
    return std::malloc (size == 0 ? 1 : size);
}
void* operator new[] (std::size_t size, const std::nothrow_t& tag) noexcept { return operator new (size, tag); }
void operator delete (void* p) noexcept { std::free (p); }
void operator delete[] (void* p) noexcept { std::free (p); }
void operator delete (void* p, std::size_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::size_t) noexcept { std::free (p); }

// ---- lock hook: an acquisition that cannot succeed at once is a wait -----------------------------
#if ! defined (__SANITIZE_THREAD__) && ! defined (__SANITIZE_ADDRESS__)
extern "C" int pthread_mutex_lock (pthread_mutex_t* mutex)
{
    using LockFunction = int (*) (pthread_mutex_t*);
    static LockFunction realLock = reinterpret_cast<LockFunction> (dlsym (RTLD_NEXT, "pthread_mutex_lock"));
    if (watching)
    {
        if (pthread_mutex_trylock (mutex) == 0)
            return 0;
        lockWaitsWhileWatching.fetch_add (1, std::memory_order_relaxed);
    }
    return realLock (mutex);
}
#endif

// Renders under load and returns {allocations, lock waits} counted inside processBlock.
std::pair<long, long> renderUnderLoad (bool withControllers)
{
    allocationsWhileWatching = 0;
    lockWaitsWhileWatching = 0;

    KVProcessor p;
    p.setRandomSeed (11);
    test::Host host (p, 48000.0, 512);
    host.playHead.playing = false;
    host.block (64); // first block: the transport is stopped
    host.playHead.playing = true;

    test::setParameter (p, "lfoDest", 1.0f);
    test::setParameter (p, "modADest", 6.0f);
    test::setParameter (p, "noiseLevel", 0.5f);
    test::setParameter (p, "clickLevel", 0.7f);

    const auto& parameters = p.getParameters();
    std::atomic<bool> stop { false };
    std::atomic<int> restores { 0 };

    // Another thread keeps replacing the whole sound, as a host or the preset browser would.
    juce::MemoryBlock state;
    p.getStateInformation (state);
    std::thread loader ([&] {
        auto entries = p.getPresetEntries();
        int i = 0;
        while (! stop.load())
        {
            if (! entries.empty() && (i % 2) == 0)
                p.loadPreset (entries[(size_t) i % entries.size()]);
            else
                p.setStateInformation (state.getData(), (int) state.getSize());
            ++i;
            restores.fetch_add (1);
            std::this_thread::sleep_for (std::chrono::milliseconds (2));
        }
    });

    juce::Random random (5);
    juce::AudioBuffer<float> buffer (2, 1024);
    juce::MidiBuffer midi;
    midi.ensureSize (4096);
    long blocks = 0;
    const auto started = juce::Time::getMillisecondCounterHiRes();
    while (blocks < 3000 || restores.load() < 20)
    {
        const int n = 1 + random.nextInt (1024);
        buffer.setSize (2, n, false, false, true);
        midi.clear();
        for (int e = 0; e < 8; ++e)
        {
            const int offset = random.nextInt (n);
            if (! withControllers || random.nextBool())
                midi.addEvent (juce::MidiMessage::noteOn (1 + random.nextInt (16), 30 + random.nextInt (60),
                                                          (juce::uint8) (1 + random.nextInt (127))), offset);
            else
                midi.addEvent (juce::MidiMessage::controllerEvent (1, 20 + random.nextInt (100), random.nextInt (128)), offset);
        }

        // Host automation of every parameter (including the run switch) arrives with the block,
        // on the audio thread, just before the host calls processBlock.
        for (int k = 0; k < 6; ++k)
            parameters[random.nextInt (parameters.size())]->setValueNotifyingHost (random.nextFloat());
        {
            Watch watch;
            p.processBlock (buffer, midi);
        }

        host.playHead.ppq += n * 120.0 / (60.0 * 48000.0);
        ++blocks;
        if (juce::Time::getMillisecondCounterHiRes() - started > 60000.0)
            break;
    }
    stop = true;
    loader.join();

    EXPECT_GE (restores.load(), 20);
    std::printf ("%ld blocks, %d restores: %ld allocations, %ld lock waits inside processBlock\n", blocks,
                 restores.load(), allocationsWhileWatching.load(), lockWaitsWhileWatching.load());
    return { allocationsWhileWatching.load(), lockWaitsWhileWatching.load() };
}

TEST (RealtimeSafety, ProcessBlockNeitherAllocatesNorWaitsUnderLoad)
{
    const auto [allocations, waits] = renderUnderLoad (false);
    EXPECT_EQ (allocations, 0);
    EXPECT_EQ (waits, 0);
}

// Controllers move their parameters on the audio thread; the host hears of it from the message
// thread, so a preset loading on another thread at that very moment costs the audio thread nothing.
TEST (RealtimeSafety, ControllerFloodsNeitherAllocateNorWait)
{
    const auto [allocations, waits] = renderUnderLoad (true);
    EXPECT_EQ (allocations, 0);
    EXPECT_EQ (waits, 0);
}

// What a controller (or the run switch) changes on the audio thread is heard in the next block
// and reported to the host and listeners: at once normally, or when a bulk change that was running
// on another thread ends. A state saved meanwhile already holds the new value.
TEST (RealtimeSafety, AudioThreadChangesAreReportedAtOnceOrAfterABulkChange)
{
    struct Counter : juce::AudioProcessorParameter::Listener
    {
        std::vector<float> values;
        void parameterValueChanged (int, float value) override { values.push_back (value); }
        void parameterGestureChanged (int, bool) override {}
    };

    KVProcessor p;
    test::Host host (p, 48000.0, 256);
    auto* cutoff = p.treeState.getParameter ("cutoff");
    auto* seqRun = p.treeState.getParameter ("seqRun");
    Counter cutoffReports, runReports;
    cutoff->addListener (&cutoffReports);
    seqRun->addListener (&runReports);

    auto controller = [&] (int number, int value) {
        juce::MidiBuffer midi;
        midi.addEvent (juce::MidiMessage::controllerEvent (1, number, value), 3);
        host.block (256, midi);
    };

    controller (25, 0);
    ASSERT_EQ (cutoffReports.values.size(), 1u);
    EXPECT_EQ (cutoffReports.values[0], 0.0f);
    EXPECT_NEAR (kv::plainValueOf (cutoff)->load(), 20.0f, 1.0e-3);

    {
        const kv::ParameterNotifier::BulkChange loading (p.parameterNotifier);
        controller (25, 127);
        controller (119, 0);
        EXPECT_EQ (cutoff->getValue(), 1.0f);
        EXPECT_NEAR (kv::plainValueOf (cutoff)->load(), 20000.0f, 1.0e-1);
        EXPECT_EQ (seqRun->getValue(), 0.0f);
        EXPECT_EQ (cutoffReports.values.size(), 1u);
        EXPECT_TRUE (runReports.values.empty());
        EXPECT_TRUE (p.parameterNotifier.hasPending());
    }
    EXPECT_FALSE (p.parameterNotifier.hasPending());
    ASSERT_EQ (cutoffReports.values.size(), 2u);
    EXPECT_EQ (cutoffReports.values[1], 1.0f);
    ASSERT_EQ (runReports.values.size(), 1u);
    EXPECT_EQ (runReports.values[0], 0.0f);

    // A state written while a report is still pending holds the new value.
    {
        const kv::ParameterNotifier::BulkChange loading (p.parameterNotifier);
        controller (25, 0);
        const auto document = p.createStateXml();
        const auto* child = document->getChildByAttribute ("id", "cutoff");
        ASSERT_NE (child, nullptr);
        EXPECT_NEAR (child->getDoubleAttribute ("value"), 20.0, 1.0e-3);
    }

    cutoff->removeListener (&cutoffReports);
    seqRun->removeListener (&runReports);
}
