// The built VST3 bundle, loaded the way a DAW loads it: through JUCE's own VST3 hosting.

#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_events/juce_events.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <map>
#include <thread>

#if JUCE_LINUX
 #include <X11/Xlib.h>
 #include <X11/Xutil.h>
#endif

namespace
{
#if JUCE_LINUX
Display* screen = nullptr; // this program's own connection to the display, opened in main()
#endif

// Mean brightness (0..1) of an area of the screen as it shows now, or -1 where it cannot be read.
double screenBrightness (juce::Rectangle<int> area)
{
#if JUCE_LINUX
    if (screen == nullptr || area.isEmpty())
        return -1.0;
    XImage* image = XGetImage (screen, DefaultRootWindow (screen), area.getX(), area.getY(), (unsigned) area.getWidth(),
                               (unsigned) area.getHeight(), AllPlanes, ZPixmap);
    if (image == nullptr)
        return -1.0;
    double sum = 0.0;
    for (int y = 0; y < area.getHeight(); y += 4)
        for (int x = 0; x < area.getWidth(); x += 4)
        {
            const auto pixel = XGetPixel (image, x, y);
            sum += (double) (((pixel >> 16) & 0xff) + ((pixel >> 8) & 0xff) + (pixel & 0xff)) / (3.0 * 255.0);
        }
    const double count = std::ceil (area.getHeight() / 4.0) * std::ceil (area.getWidth() / 4.0);
    XDestroyImage (image);
    return sum / count;
#else
    juce::ignoreUnused (area);
    return -1.0;
#endif
}

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
    instance->releaseResources();
    auto layout = instance->getBusesLayout();
    layout.getChannelSet (false, 0) = juce::AudioChannelSet::create5point1();
    EXPECT_FALSE (instance->setBusesLayout (layout));
    layout.getChannelSet (false, 0) = juce::AudioChannelSet::mono();
    EXPECT_TRUE (instance->setBusesLayout (layout));
    EXPECT_EQ (instance->getMainBusNumOutputChannels(), 1);
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

// The instrument's own parameter values, read from the state the bundle hands the host
// (the host's view of a parameter changed by the instrument itself only follows later, on the
// message thread).
std::map<juce::String, double> instrumentValues (juce::AudioPluginInstance& instance)
{
    std::map<juce::String, double> values;
    juce::MemoryBlock hostState;
    instance.getStateInformation (hostState);
    const auto wrapper = juce::AudioProcessor::getXmlFromBinary (hostState.getData(), (int) hostState.getSize());
    if (wrapper == nullptr || wrapper->getChildByName ("IComponent") == nullptr)
        return values;

    juce::MemoryBlock component;
    component.fromBase64Encoding (wrapper->getChildByName ("IComponent")->getAllSubText());
    const auto* bytes = static_cast<const char*> (component.getData());
    for (size_t i = 0; i + 8 < component.getSize(); ++i)
    {
        if (std::memcmp (bytes + i, "VC2!", 4) != 0)
            continue;
        if (auto document = juce::AudioProcessor::getXmlFromBinary (bytes + i, (int) (component.getSize() - i)))
            for (auto* child : document->getChildWithTagNameIterator ("PARAM"))
                values[child->getStringAttribute ("id")] = child->getDoubleAttribute ("value");
        break;
    }
    return values;
}

TEST (Vst3Host, ControllersReachBoundParametersAndTheTransport)
{
    auto instance = load();
    ASSERT_NE (instance, nullptr);
    ASSERT_FALSE (instrumentValues (*instance).empty());

    struct Case { int controller; int value; const char* id; double expected; };
    const Case cases[] = {
        { 25, 127, "cutoff", 20000.0 },  { 25, 0, "cutoff", 20.0 },       { 102, 63, "hardSync", 0.0 },
        { 102, 64, "hardSync", 1.0 },    { 105, 64, "vcfMode", 1.0 },     { 106, 127, "clockMult", 8.0 },
        { 106, 0, "clockMult", 0.0 },    { 106, 64, "clockMult", 4.0 },   { 103, 70, "vco1Wave", 2.0 },
        { 37, 127, "stepPitch0", 120.0 }, { 118, 0, "lfoAmt", 0.0 },      { 119, 0, "seqRun", 0.0 },
        { 119, 127, "seqRun", 1.0 },     { 10, 127, "cutoff", 20.0 },     { 123, 127, "cutoff", 20.0 },
    };
    for (const auto& c : cases)
    {
        sendController (*instance, c.controller, c.value);
        const auto values = instrumentValues (*instance);
        ASSERT_TRUE (values.count (c.id)) << c.id;
        EXPECT_NEAR (values.at (c.id), c.expected, std::abs (c.expected) * 1e-4 + 1e-6)
            << "CC " << c.controller << " = " << c.value;
    }
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

    // A DAW with several audio threads renders its tracks' instances in parallel: four threads,
    // three instances each, while the message thread reads every instance's state.
    std::atomic<int> nonFinite { 0 }, silent { 0 };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back ([&, t] {
            for (int i = t; i < (int) instances.size(); i += 4)
            {
                const auto r = renderBlocks (*instances[(size_t) i], 40, 256, [i] (int block, juce::MidiBuffer& midi) {
                    if (block % 10 == 0)
                        midi.addEvent (juce::MidiMessage::noteOn (1, 30 + i, (juce::uint8) 110), block % 7);
                });
                nonFinite += r.nonFinite;
                if (r.peak <= 0.0f)
                    ++silent;
            }
        });
    for (int round = 0; round < 3; ++round)
        for (auto& instance : instances)
        {
            juce::MemoryBlock state;
            instance->getStateInformation (state);
            EXPECT_GT (state.getSize(), 100u);
        }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ (nonFinite.load(), 0);
    EXPECT_EQ (silent.load(), 0);
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
            EXPECT_EQ (saved, again) << "round " << round;
        }
    }

    EXPECT_EQ (nonFinite, 0);
    // Extreme random settings (full resonance in high-pass, drive off) legitimately reach peaks
    // near 14; a runaway would grow without bound.
    EXPECT_LT (peak, 64.0f) << "output ran away";
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

    // Five times: the host opens the instrument's view in a window on the screen, lets it run
    // (paint, its tick following the audio thread) for a while on the message loop, and closes it.
    struct Driver : juce::Timer
    {
        juce::AudioPluginInstance* plugin = nullptr;
        std::unique_ptr<juce::AudioProcessorEditor> editor;
        int tick = 0, opened = 0, shown = 0;

        void timerCallback() override
        {
            const int phase = tick++ % 20;
            if (phase == 0)
            {
                editor.reset (plugin->createEditorIfNeeded());
                if (editor == nullptr)
                    return finish();
                editor->setTopLeftPosition (40, 40);
                editor->addToDesktop (0);
                editor->setVisible (true);
                ++opened;
            }
            else if (phase == 15 && editor != nullptr)
            {
                // The panel is a light enamel face: the window shows it, not an empty black frame.
                const double brightness = screenBrightness (editor->getScreenBounds().reduced (20));
                if (editor->getWidth() > 0 && editor->getHeight() > 0 && editor->isShowing()
                    && (brightness < 0.0 || brightness > 0.3))
                    ++shown;
            }
            else if (phase == 19)
            {
                editor.reset();
                if (opened == 5)
                    finish();
            }
        }

        void finish()
        {
            stopTimer();
            editor.reset();
            juce::MessageManager::getInstance()->stopDispatchLoop();
        }
    } driver;

    driver.plugin = instance.get();
    driver.startTimer (20);
    juce::MessageManager::getInstance()->runDispatchLoop();
    EXPECT_EQ (driver.opened, 5);
    EXPECT_EQ (driver.shown, 5);

    stop = true;
    audio.join();
    EXPECT_EQ (nonFinite.load(), 0);
}

// A DAW automates, saves, restores and switches programs on its message thread while its audio
// thread renders notes and controllers: the threads a real host gives the instrument, at once.
TEST (Vst3Stress, AutomationStatesAndProgramsFromTheMessageThreadWhileAudioRuns)
{
    auto instance = load (48000.0, 512);
    ASSERT_NE (instance, nullptr);
    const auto& parameters = instance->getParameters();
    const int numParameters = juce::jmin (134, parameters.size());
    const int numPrograms = instance->getNumPrograms();

    std::atomic<bool> stop { false };
    std::atomic<int> blocks { 0 }, nonFinite { 0 };
    std::thread audio ([&] {
        juce::Random random (3);
        juce::AudioBuffer<float> buffer (2, 512);
        while (! stop.load())
        {
            juce::MidiBuffer midi;
            if (random.nextInt (4) == 0)
                midi.addEvent (juce::MidiMessage::noteOn (1, 30 + random.nextInt (60), (juce::uint8) 100), random.nextInt (512));
            if (random.nextInt (8) == 0)
                midi.addEvent (juce::MidiMessage::controllerEvent (1, 20 + random.nextInt (100), random.nextInt (128)), 0);
            buffer.clear();
            instance->processBlock (buffer, midi);
            for (int ch = 0; ch < 2; ++ch)
                for (int i = 0; i < 512; ++i)
                    if (! std::isfinite (buffer.getSample (ch, i)))
                        ++nonFinite;
            ++blocks;
            std::this_thread::sleep_for (std::chrono::milliseconds (1));
        }
    });

    juce::Random random (4);
    juce::MemoryBlock saved;
    instance->getStateInformation (saved);
    for (int round = 0; round < 200 || blocks.load() < 200; ++round)
    {
        for (int k = 0; k < 5; ++k)
            parameters[random.nextInt (numParameters)]->setValueNotifyingHost (random.nextFloat());

        switch (round % 4)
        {
            case 0: instance->getStateInformation (saved); break;
            case 1: instance->setStateInformation (saved.getData(), (int) saved.getSize()); break;
            case 2: if (numPrograms > 1) instance->setCurrentProgram (random.nextInt (numPrograms)); break;
            default: instance->getProgramName (instance->getCurrentProgram()); break;
        }
        std::this_thread::sleep_for (std::chrono::milliseconds (1));
        if (round > 20000)
            break;
    }

    stop = true;
    audio.join();
    EXPECT_GE (blocks.load(), 200);
    EXPECT_EQ (nonFinite.load(), 0);
}

int main (int argc, char** argv)
{
#if JUCE_LINUX
    // A bare virtual display has no window manager, so the window-manager atoms that JUCE's windows
    // look up without creating them do not exist, and the first query of one fails with an X
    // error. Create them, as any desktop has. The connection stays open: a virtual display that
    // loses its last client resets and forgets them again.
    screen = XOpenDisplay (nullptr);
    if (auto* display = screen)
    {
        for (const char* name : { "WM_PROTOCOLS", "WM_TAKE_FOCUS", "WM_DELETE_WINDOW", "WM_CHANGE_STATE", "WM_STATE",
                                  "_NET_WM_PING", "_NET_WM_STATE", "_NET_WM_STATE_HIDDEN", "_NET_WM_STATE_FULLSCREEN",
                                  "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_NORMAL", "_NET_WM_WINDOW_TYPE_COMBO",
                                  "_NET_WM_ALLOWED_ACTIONS", "_NET_FRAME_EXTENTS", "_NET_WORKAREA", "_MOTIF_WM_HINTS" })
            XInternAtom (display, name, False);
        XFlush (display);
    }
#endif
    auto home = juce::File::getSpecialLocation (juce::File::tempDirectory)
                    .getChildFile ("pulskar-vst3-home-" + juce::String (juce::Random::getSystemRandom().nextInt (1 << 30)));
    home.createDirectory();
    setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);
    setenv ("XDG_DATA_HOME", home.getChildFile (".local/share").getFullPathName().toRawUTF8(), 1);
    juce::ScopedJuceInitialiser_GUI juce;
    ::testing::InitGoogleTest (&argc, argv);
    const int result = RUN_ALL_TESTS();
    home.deleteRecursively();
#if JUCE_LINUX
    if (screen != nullptr)
        XCloseDisplay (screen);
#endif
    return result;
}
