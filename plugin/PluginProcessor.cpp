#include "PluginProcessor.h"
#include "editor/PluginEditor.h"

KVProcessor::KVProcessor()
    : juce::AudioProcessor (BusesProperties().withOutput ("Output", juce::AudioChannelSet::stereo(), true)),
      treeState (*this, nullptr, "ORRAKV", createParameterLayout()),
      parameterHandles (treeState)
{
    stepSnapshot = { { { 36, 1.0f, 0.5f, 0.5f },   { 48, 0.65f, 0.5f, 0.45f }, { 38, 0.82f, 0.58f, 0.5f },
                       { 48, 0.42f, 0.5f, 0.5f },  { 36, 1.0f, 0.5f, 0.62f },  { 50, 0.58f, 0.55f, 0.5f },
                       { 38, 0.74f, 0.5f, 0.38f }, { 48, 0.6f, 0.5f, 0.5f },   { 36, 1.0f, 0.5f, 0.5f },
                       { 48, 0.6f, 0.44f, 0.5f },  { 38, 0.78f, 0.64f, 0.56f }, { 55, 0.48f, 0.5f, 0.5f },
                       { 36, 0.96f, 0.5f, 0.68f }, { 50, 0.56f, 0.5f, 0.5f },  { 38, 0.72f, 0.6f, 0.4f },
                       { 43, 0.68f, 0.5f, 0.5f } } };

    sequencer.constructionTimeMs = juce::Time::getMillisecondCounterHiRes();
    sequencer.setRunParameter (treeState.getParameter (kv::ids::seqRun), &parameterNotifier);

    installFactoryPresetsOnce();
    hostPrograms = getPresetEntriesFromDirectory (getFactoryPresetDirectory(), PresetSource::Factory);

    midiCcBindings.initialise (treeState, parameterNotifier);
    defaultState = treeState.copyState();

    for (auto* parameter : getParameters())
        if (auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (parameter))
            treeState.addParameterListener (ranged->getParameterID(), this);

    const auto document = createStateXml();
    presetFingerprint = calculateSoundFingerprint (document.get());
    presetModified = false;
}

KVProcessor::~KVProcessor()
{
    for (auto* parameter : getParameters())
        if (auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (parameter))
            treeState.removeParameterListener (ranged->getParameterID(), this);
}

juce::AudioProcessorValueTreeState::ParameterLayout KVProcessor::createParameterLayout()
{
    return kv::createParameterLayout();
}

const juce::String KVProcessor::getName() const { return "PULSKAR-16"; }
double KVProcessor::getTailLengthSeconds() const { return 0.0; }
bool KVProcessor::acceptsMidi() const { return true; }
bool KVProcessor::producesMidi() const { return false; }
bool KVProcessor::hasEditor() const { return true; }
juce::AudioProcessorEditor* KVProcessor::createEditor() { return new KVEditor (*this); }
void KVProcessor::releaseResources() {}

bool KVProcessor::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    if (layouts.outputBuses.isEmpty())
        return false;
    const auto& main = layouts.getMainOutputChannelSet();
    return main == juce::AudioChannelSet::mono() || main == juce::AudioChannelSet::stereo();
}

void KVProcessor::prepareToPlay (double sampleRate, int)
{
    processorSampleRate = sampleRate;
    sequencer.prepare (sampleRate);
    modulation.prepare (sampleRate);

    // The voice takes the current parameter values so its smoothers start without a ramp.
    parameterHandles.read (blockParameters);
    voice.prepare (sampleRate, blockParameters);

    // The decays are modulated along their knob travel, through the parameters' own ranges.
    modulation.setDecayParameters (treeState.getParameter (kv::ids::vcfDecay), treeState.getParameter (kv::ids::vcaDecay),
                                   treeState.getParameter (kv::ids::vcoDecay), treeState.getParameter (kv::ids::noiseDecay),
                                   treeState.getParameter (kv::ids::clickDecay));
}

void KVProcessor::setRandomSeed (juce::int64 seed)
{
    voice.setRandomSeed (seed);
    modulation.setRandomSeed (seed + 2);
}

void KVProcessor::parameterChanged (const juce::String& parameterID, float newValue)
{
    if (parameterID == kv::ids::seqRun)
        sequencer.applyRunState (newValue >= 0.5f, false);
    else if (parameterID != kv::ids::seqResetOnStart)
        presetModified.store (true, std::memory_order_relaxed);
}

void KVProcessor::setSequencerRunState (bool shouldRun, bool) { sequencer.applyRunState (shouldRun, true); }
void KVProcessor::startFreeRun() { sequencer.startFreeRun(); }
void KVProcessor::stopFreeRun() { sequencer.stopFreeRun(); }

void KVProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi)
{
    renderBlock (buffer, midi);
    buffer.setNotClear();
}

void KVProcessor::renderBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi)
{
    if (! buffer.hasBeenCleared())
        buffer.clear();

    const int numSamples = buffer.getNumSamples();
    if (numSamples <= 0)
        return;

    // MIDI: note-ons are collected with their sample positions; controllers act at once.
    int numNotes = 0;
    for (const auto metadata : midi)
    {
        const auto* data = metadata.data;
        if (metadata.numBytes < 3 || data == nullptr)
            continue;

        const int status = data[0] & 0xF0;
        if (status == 0x90 && data[2] > 0)
        {
            if (numNotes < kMaxNoteEventsPerBlock)
                noteEvents[(size_t) numNotes++] = { juce::jlimit (0, numSamples - 1, metadata.samplePosition),
                                                    (float) data[1], (float) data[2] / 127.0f };
        }
        else if (status == 0xB0)
        {
            const int controller = data[1];
            const int value = data[2];
            if (controller == 110 || controller == 119)
                sequencer.handleTransportController (controller, value);
            else if (controller < 120)
                midiCcBindings.apply (controller, value);
        }
    }

    parameterHandles.read (blockParameters);
    sequencer.beginBlock (getPlayHead(), blockParameters, numSamples);

    // The audition plays with the voice settings of the previous block.
    if (auditionRequest.exchange (false))
        voice.trigger (60.0f, 1.0f);

    voice.setBlockParameters (blockParameters);
    modulation.beginBlock (blockParameters);
    stepSnapshot = blockParameters.steps;

    buffer.setNotClear();
    auto* left = buffer.getWritePointer (0);
    auto* right = buffer.getNumChannels() > 1 ? buffer.getWritePointer (1) : nullptr;

    int nextNote = 0;
    for (int i = 0; i < numSamples; ++i)
    {
        const StepEvent step = sequencer.advanceSample (i, stepSnapshot);
        const bool noteHere = nextNote < numNotes && noteEvents[(size_t) nextNote].sampleOffset == i;

        const auto frame = modulation.processSample (step.fired || noteHere, sequencer.getModAValue(),
                                                     sequencer.getModBValue(), sequencer.getClockPosition(),
                                                     sequencer.getBlockTempo(), voice);

        if (step.fired)
            voice.trigger (step.note, frame.scaleVelocity (step.velocity));

        while (nextNote < numNotes && noteEvents[(size_t) nextNote].sampleOffset == i)
        {
            const auto& note = noteEvents[(size_t) nextNote++];
            voice.trigger (note.note, frame.scaleVelocity (note.velocity));
            lastMidiNote.store ((int) note.note, std::memory_order_relaxed);
            midiNoteCounter.fetch_add (1, std::memory_order_relaxed);
        }

        const float s = voice.renderSample();
        if (right != nullptr)
        {
            left[i] = s * frame.leftGain;
            right[i] = s * frame.rightGain;
        }
        else
        {
            left[i] = s;
        }
    }

    sequencer.endBlock();
}

//==============================================================================
// The plug-in entry point.
juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new KVProcessor();
}
