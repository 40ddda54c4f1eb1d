// The built VST3 bundle, loaded the way a DAW loads it: through JUCE's own VST3 hosting.

#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_events/juce_events.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

namespace
{
juce::File bundle() { return juce::File (PULSKAR_VST3_BUNDLE); }

juce::PluginDescription describe()
{
    juce::VST3PluginFormat format;
    juce::OwnedArray<juce::PluginDescription> types;
    format.findAllTypesForFile (types, bundle().getFullPathName());
    EXPECT_EQ (types.size(), 1) << bundle().getFullPathName();
    return types.isEmpty() ? juce::PluginDescription() : *types[0];
}

std::unique_ptr<juce::AudioPluginInstance> load (double rate = 48000.0, int block = 512)
{
    juce::VST3PluginFormat format;
    juce::String error;
    auto instance = format.createInstanceFromDescription (describe(), rate, block, error);
    EXPECT_NE (instance, nullptr) << error;
    if (instance != nullptr)
    {
        instance->setPlayConfigDetails (0, 2, rate, block);
        instance->prepareToPlay (rate, block);
    }
    return instance;
}

juce::AudioProcessorParameter* findParameter (juce::AudioPluginInstance& instance, const juce::String& name)
{
    for (auto* p : instance.getParameters())
        if (p->getName (100) == name)
            return p;
    return nullptr;
}

struct Render
{
    float peak = 0.0f;
    int nonFinite = 0;
};

Render renderBlocks (juce::AudioPluginInstance& instance, int blocks, int blockSize,
                     const std::function<void (int, juce::MidiBuffer&)>& midiForBlock = {})
{
    Render r;
    juce::AudioBuffer<float> buffer (2, blockSize);
    for (int b = 0; b < blocks; ++b)
    {
        juce::MidiBuffer midi;
        if (midiForBlock)
            midiForBlock (b, midi);
        buffer.clear();
        instance.processBlock (buffer, midi);
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < blockSize; ++i)
            {
                const float s = buffer.getSample (ch, i);
                if (! std::isfinite (s))
                    ++r.nonFinite;
                else
                    r.peak = std::max (r.peak, std::abs (s));
            }
    }
    return r;
}

// Hosts deliver controller changes to a VST3 instrument as parameter changes of its MIDI
// mapping; the instrument sees them as controller messages again. Parameters follow a block later.
void sendController (juce::AudioPluginInstance& instance, int controller, int value)
{
    renderBlocks (instance, 2, 256, [&] (int block, juce::MidiBuffer& midi) {
        if (block == 0)
            midi.addEvent (juce::MidiMessage::controllerEvent (1, controller, value), 10);
    });
}
} // namespace

TEST (Vst3Host, IdentityBusesAndParameters)
{
    const auto d = describe();
    EXPECT_EQ (d.name, "PULSKAR-16");
    EXPECT_EQ (d.manufacturerName, "NORRVALE DSP");
    EXPECT_EQ (d.version, "1.4.0");
    EXPECT_TRUE (d.isInstrument);
    EXPECT_TRUE (d.category.contains ("Instrument")) << d.category;
    EXPECT_TRUE (d.category.contains ("Synth")) << d.category;
    EXPECT_EQ (d.numInputChannels, 0);
    EXPECT_EQ (d.numOutputChannels, 2);

    auto instance = load();
    ASSERT_NE (instance, nullptr);
    EXPECT_TRUE (instance->acceptsMidi());
    EXPECT_FALSE (instance->producesMidi());
    EXPECT_EQ (instance->getTailLengthSeconds(), 0.0);
    EXPECT_EQ (instance->getBusCount (true), 0);
    ASSERT_EQ (instance->getBusCount (false), 1);
    EXPECT_EQ (instance->getBus (false, 0)->getName(), "Output");

    // The instrument's own 134 parameters come first, in their fixed order.
    const auto& parameters = instance->getParameters();
    ASSERT_GE (parameters.size(), 134);
    EXPECT_EQ (parameters[0]->getName (100), "VCO Decay");
    EXPECT_EQ (parameters[30]->getName (100), "Step Pitch 1");
    EXPECT_EQ (parameters[93]->getName (100), "Step Mod B 16");
    EXPECT_EQ (parameters[133]->getName (100), "SEQ Reset On Start");
    EXPECT_EQ (parameters[11]->getCurrentValueAsText(), "5.52 kHz");

    // Mono is accepted, surround is not.
    auto layout = instance->getBusesLayout();
    layout.getChannelSet (false, 0) = juce::AudioChannelSet::mono();
    EXPECT_TRUE (instance->checkBusesLayoutSupported (layout));
    layout.getChannelSet (false, 0) = juce::AudioChannelSet::create5point1();
    EXPECT_FALSE (instance->checkBusesLayoutSupported (layout));
}

TEST (Vst3Host, NotesSoundAndStayFinite)
{
    auto instance = load();
    ASSERT_NE (instance, nullptr);

    const auto silent = renderBlocks (*instance, 20, 512);
    EXPECT_EQ (silent.nonFinite, 0);

    const auto played = renderBlocks (*instance, 40, 512, [] (int block, juce::MidiBuffer& midi) {
        if (block % 10 == 0)
            midi.addEvent (juce::MidiMessage::noteOn (1, 48 + block / 10, (juce::uint8) 120), 100);
    });
    EXPECT_EQ (played.nonFinite, 0);
    EXPECT_GT (played.peak, 0.01f);
    EXPECT_LT (played.peak, 4.0f);
}

TEST (Vst3Host, ControllersReachBoundParametersAndTheTransport)
{
    auto instance = load();
    ASSERT_NE (instance, nullptr);

    struct Case { int controller; int value; const char* parameter; const char* text; };
    const Case cases[] = {
        { 25, 127, "Cutoff", "20 kHz" },      { 25, 0, "Cutoff", "20.0 Hz" },
        { 102, 64, "Hard Sync", nullptr },   { 105, 64, "VCF Mode", "HP" },
        { 106, 127, "Clock Multiplier", "6x" }, { 106, 0, "Clock Multiplier", "1/5" },
        { 106, 64, "Clock Multiplier", "1x" }, { 103, 70, "VCO 1 Wave", "Metal" },
        { 37, 127, "Step Pitch 1", "120" },   { 118, 0, "LFO Amt", "0 %" },
    };
    for (const auto& c : cases)
    {
        sendController (*instance, c.controller, c.value);
        auto* parameter = findParameter (*instance, c.parameter);
        ASSERT_NE (parameter, nullptr) << c.parameter;
        if (c.text != nullptr)
            EXPECT_EQ (parameter->getCurrentValueAsText(), c.text) << "CC " << c.controller << " = " << c.value;
        else
            EXPECT_GE (parameter->getValue(), 0.5f) << "CC " << c.controller << " = " << c.value;
    }

    // Controller 119 switches the sequencer out and in again, and the run switch follows.
    auto* run = findParameter (*instance, "SEQ Run");
    ASSERT_NE (run, nullptr);
    sendController (*instance, 119, 0);
    EXPECT_LT (run->getValue(), 0.5f);
    sendController (*instance, 119, 127);
    EXPECT_GE (run->getValue(), 0.5f);
}

TEST (Vst3Host, StateRoundTripsIntoAFreshInstance)
{
    auto first = load();
    ASSERT_NE (first, nullptr);
    findParameter (*first, "Cutoff")->setValueNotifyingHost (0.25f);
    findParameter (*first, "Swing")->setValueNotifyingHost (0.6f);
    findParameter (*first, "LFO Dest")->setValueNotifyingHost (1.0f);
    renderBlocks (*first, 2, 256);

    juce::MemoryBlock state;
    first->getStateInformation (state);
    ASSERT_GT (state.getSize(), 9u);

    auto second = load();
    ASSERT_NE (second, nullptr);
    second->setStateInformation (state.getData(), (int) state.getSize());
    renderBlocks (*second, 2, 256);

    for (int i = 0; i < 134; ++i)
        EXPECT_FLOAT_EQ (second->getParameters()[i]->getValue(), first->getParameters()[i]->getValue())
            << first->getParameters()[i]->getName (100);

    // Garbage from a host changes nothing and crashes nothing.
    const char garbage[] = "VC2!\xff\xff\xff\xff<not xml";
    second->setStateInformation (garbage, (int) sizeof (garbage));
    for (int i = 0; i < 134; ++i)
        EXPECT_FLOAT_EQ (second->getParameters()[i]->getValue(), first->getParameters()[i]->getValue());
}


// ---- host-style stress, as a DAW or a plug-in validator exercises an instrument ---------------

TEST (Vst3Stress, ManyInstancesInARowAndAtOnce)
{
    for (int i = 0; i < 8; ++i)
    {
        auto instance = load();
        ASSERT_NE (instance, nullptr);
        EXPECT_EQ (renderBlocks (*instance, 2, 64).nonFinite, 0);
    }

    std::vector<std::unique_ptr<juce::AudioPluginInstance>> instances;
    for (int i = 0; i < 12; ++i)
        instances.push_back (load (44100.0 + 1000.0 * i, 256));
    for (auto& instance : instances)
    {
        ASSERT_NE (instance, nullptr);
        const auto r = renderBlocks (*instance, 4, 256, [] (int block, juce::MidiBuffer& midi) {
            if (block == 0)
                midi.addEvent (juce::MidiMessage::noteOn (1, 36, (juce::uint8) 127), 0);
        });
        EXPECT_EQ (r.nonFinite, 0);
        EXPECT_GT (r.peak, 0.0f);
    }
    instances.clear();
}

TEST (Vst3Stress, RandomBlocksRatesAutomationStatesAndPrograms)
{
    auto instance = load (48000.0, 8192);
    ASSERT_NE (instance, nullptr);
    juce::Random random (1234);
    const auto& parameters = instance->getParameters();
    const int numPrograms = instance->getNumPrograms();
    EXPECT_GE (numPrograms, 1);

    const double rates[] = { 22050.0, 44100.0, 48000.0, 88200.0, 96000.0, 192000.0, 8000.0 };
    juce::AudioBuffer<float> buffer (2, 8192);
    float peak = 0.0f;
    int nonFinite = 0;

    for (int round = 0; round < 400; ++round)
    {
        if (round % 50 == 0)
        {
            const double rate = rates[random.nextInt ((int) std::size (rates))];
            instance->releaseResources();
            instance->setPlayConfigDetails (0, 2, rate, 8192);
            instance->prepareToPlay (rate, 8192);
        }

        // Automation, including values at and past the ends of every range.
        for (int k = 0; k < 10; ++k)
        {
            const float choices[] = { 0.0f, 1.0f, -0.5f, 1.5f, random.nextFloat() };
            parameters[random.nextInt (juce::jmin (134, parameters.size()))]->setValue (choices[random.nextInt (5)]);
        }
        if (round % 37 == 0 && numPrograms > 1)
            instance->setCurrentProgram (random.nextInt (numPrograms));

        const int n = 1 + random.nextInt (8192);
        buffer.setSize (2, n, false, false, true);
        buffer.clear();
        juce::MidiBuffer midi;
        for (int e = 0; e < 4; ++e)
            midi.addEvent (juce::MidiMessage::noteOn (1, 24 + random.nextInt (72), (juce::uint8) (1 + random.nextInt (127))),
                           random.nextInt (n));
        instance->processBlock (buffer, midi);
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < n; ++i)
            {
                const float v = buffer.getSample (ch, i);
                if (! std::isfinite (v))
                    ++nonFinite;
                else
                    peak = std::max (peak, std::abs (v));
            }

        if (round % 25 == 0)
        {
            // State saved and restored while processing; the restored state equals the saved one.
            juce::MemoryBlock saved, again;
            instance->getStateInformation (saved);
            instance->setStateInformation (saved.getData(), (int) saved.getSize());
            instance->getStateInformation (again);
            juce::MemoryBlock savedTwice;
            instance->setStateInformation (again.getData(), (int) again.getSize());
            instance->getStateInformation (savedTwice);
            EXPECT_EQ (again, savedTwice) << "round " << round;
        }
    }

    EXPECT_EQ (nonFinite, 0);
    EXPECT_LT (peak, 8.0f) << "output ran away";
}

TEST (Vst3Stress, EditorOpenedAndClosedWhileAudioRuns)
{
    if (juce::SystemStats::getEnvironmentVariable ("DISPLAY", {}).isEmpty())
        GTEST_SKIP() << "needs a display (run under xvfb-run)";

    auto instance = load (48000.0, 256);
    ASSERT_NE (instance, nullptr);

    std::atomic<bool> stop { false };
    std::atomic<int> nonFinite { 0 };
    std::thread audio ([&] {
        juce::AudioBuffer<float> buffer (2, 256);
        int block = 0;
        while (! stop.load())
        {
            juce::MidiBuffer midi;
            if (block++ % 20 == 0)
                midi.addEvent (juce::MidiMessage::noteOn (1, 40, (juce::uint8) 100), 0);
            buffer.clear();
            instance->processBlock (buffer, midi);
            for (int i = 0; i < 256; ++i)
                if (! std::isfinite (buffer.getSample (0, i)))
                    ++nonFinite;
            std::this_thread::sleep_for (std::chrono::milliseconds (2));
        }
    });

    for (int i = 0; i < 5; ++i)
    {
        std::unique_ptr<juce::AudioProcessorEditor> editor (instance->createEditorIfNeeded());
        ASSERT_NE (editor, nullptr);
        EXPECT_GT (editor->getWidth(), 0);
        editor->addToDesktop (0);
        editor->setVisible (true);
        juce::MessageManager::getInstance()->runDispatchLoopUntil (150);
        editor->removeFromDesktop();
        editor.reset();
        juce::MessageManager::getInstance()->runDispatchLoopUntil (20);
    }

    stop = true;
    audio.join();
    EXPECT_EQ (nonFinite.load(), 0);
}

int main (int argc, char** argv)
{
    auto home = juce::File::getSpecialLocation (juce::File::tempDirectory)
                    .getChildFile ("pulskar-vst3-home-" + juce::String (juce::Random::getSystemRandom().nextInt (1 << 30)));
    home.createDirectory();
    setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);
    setenv ("XDG_DATA_HOME", home.getChildFile (".local/share").getFullPathName().toRawUTF8(), 1);
    juce::ScopedJuceInitialiser_GUI juce;
    ::testing::InitGoogleTest (&argc, argv);
    const int result = RUN_ALL_TESTS();
    home.deleteRecursively();
    return result;
}
