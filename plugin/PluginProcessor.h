#pragma once

// KVProcessor: the object the host creates for each instance of the instrument. It owns the
// parameter tree, the voice, the modulation, the sequencer, the controller bindings, the preset
// bookkeeping and the edit history, and it implements the host callbacks.

#include "MidiCcBindings.h"
#include "ParameterNotifier.h"
#include "Parameters.h"
#include "dsp/Voice.h"
#include "modulation/Modulation.h"
#include "sequencer/Sequencer.h"

#include <juce_audio_processors/juce_audio_processors.h>
#include <array>
#include <atomic>
#include <memory>
#include <vector>

class KVProcessor : public juce::AudioProcessor,
                    public juce::AudioProcessorValueTreeState::Listener
{
public:
    // ----- preset identity ---------------------------------------------------------------------
    enum class PresetSource
    {
        None = 0,
        Factory = 1,
        User = 2,
        Legacy = 3
    };

    struct PresetEntry
    {
        PresetSource source = PresetSource::None;
        juce::String name;
        juce::File file;
    };

    // ----- edit history ------------------------------------------------------------------------
    struct UiValue
    {
        juce::String id;
        float value = 0.0f;
    };
    using UiChange = UiValue;

    struct UiSnapshot
    {
        std::vector<UiValue> values;
        juce::String presetName;
        juce::String presetFile;
        PresetSource presetSource = PresetSource::None;
        juce::int64 fingerprint = 0;
        bool pageBInitialised = false;
        bool chainMode = false;
        int editPage = 0;
        juce::uint64 generation = 0;
    };

    struct UiUndoEntry
    {
        std::vector<UiChange> changes;
        UiSnapshot before;
        bool restoreIdentity = false;
        size_t byteSize = 0;
    };

    KVProcessor();
    ~KVProcessor() override;

    // ----- juce::AudioProcessor ----------------------------------------------------------------
    const juce::String getName() const override;
    void prepareToPlay (double sampleRate, int maximumBlockSize) override;
    void releaseResources() override;
    void processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi) override;
    using juce::AudioProcessor::processBlock;
    double getTailLengthSeconds() const override;
    bool acceptsMidi() const override;
    bool producesMidi() const override;
    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override;
    int getNumPrograms() override;
    int getCurrentProgram() override;
    void setCurrentProgram (int index) override;
    const juce::String getProgramName (int index) override;
    void changeProgramName (int index, const juce::String& newName) override;
    void getStateInformation (juce::MemoryBlock& destData) override;
    void setStateInformation (const void* data, int sizeInBytes) override;
    bool isBusesLayoutSupported (const BusesLayout& layouts) const override;

    // ----- juce::AudioProcessorValueTreeState::Listener ----------------------------------------
    void parameterChanged (const juce::String& parameterID, float newValue) override;

    static juce::AudioProcessorValueTreeState::ParameterLayout createParameterLayout();

    void renderBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi);

    // ----- sequencer run state -----------------------------------------------------------------
    void setSequencerRunState (bool shouldRun, bool);
    void startFreeRun();
    void stopFreeRun();

    // Seeds every random generator of the instrument, so a render can be repeated exactly.
    // The plug-in itself seeds them randomly.
    void setRandomSeed (juce::int64 seed);

    // ----- state document ----------------------------------------------------------------------
    std::unique_ptr<juce::XmlElement> createStateXml();
    void restoreStateFromXml (const juce::XmlElement& document, const juce::String& presetName,
                              PresetSource source, const juce::String& presetFile);
    static void migrateLegacyModDestinationChoices (juce::XmlElement& document);
    static void migrateLegacyLfoDestinationChoice (juce::XmlElement& document);
    static void removeTransportParametersFromPresetXml (juce::XmlElement& document);

    // ----- preset library ----------------------------------------------------------------------
    static juce::File getLegacyPresetDirectory();
    static juce::File getFactoryPresetDirectory();
    static juce::File getUserPresetDirectory();
    std::vector<PresetEntry> getPresetEntries() const;
    static juce::String sanitisePresetName (const juce::String& name);
    juce::File getPresetFile (const juce::String& name) const;
    bool isUserPreset (const juce::String& name) const;
    bool savePreset (const juce::String& name, bool overwrite);
    bool loadPreset (const PresetEntry& entry);
    void loadInitPreset();
    // Fingerprint of the sound a document describes (0 for no document). Values are taken as the
    // parameters would hold them, so a preset file and the state it was loaded into compare equal.
    juce::int64 calculateSoundFingerprint (const juce::XmlElement* document) const;
    bool updateHostProgramIndexForCurrentPreset();

    // ----- edit history and step clipboard -----------------------------------------------------
    void beginUiEdit (const juce::StringArray& ids);
    void endUiEdit();
    void performUiEdit (const juce::StringArray& ids, const std::function<void()>& action);
    UiSnapshot captureUiSnapshot();
    void clearUiHistory();
    static int sequencerValueKind (const juce::String& id);
    bool copySequencerValue (const juce::String& id);
    bool pasteSequencerValue (const juce::String& id);
    void undoLastUiEdit();
    size_t getNumUndoEntries() const;

    // Whether an edit is open and limited to a list that holds `id` (the choice boxes close their
    // own edit when their selection changes, and only their own).
    bool isUiEditPendingFor (const juce::String& id)
    {
        const juce::ScopedLock lock (historyLock);
        return pendingSnapshot != nullptr && pendingIds.contains (id);
    }

    // ----- members ----------------------------------------------------------------------------
    juce::AudioProcessorValueTreeState treeState;

    // Parameter changes made on the audio thread, and the bulk changes made elsewhere that they
    // must not wait for (hold a ParameterNotifier::BulkChange while setting many parameters).
    kv::ParameterNotifier parameterNotifier { *this };

    // The step values as read at the start of the current block.
    std::array<kv::StepValues, kv::kNumSteps> stepSnapshot;

    // The sequencer owns the run-state flags, the current step, the page and chain flags and the
    // state-replaced request that the editor reads and writes directly.
    KVSequencer sequencer;

    // One-shot request from the editor's trigger button: note 60 at velocity 1 at the next block.
    std::atomic<bool> auditionRequest { false };

    std::atomic<int> lastMidiNote { -1 };
    std::atomic<int> midiNoteCounter { 0 };

    KVVoice voice;
    KVModulation modulation;

    // Preset identity (guarded by presetLock) and comparison.
    juce::CriticalSection presetLock;
    juce::String currentPresetName { "Init" };
    PresetSource currentPresetSource = PresetSource::None;
    juce::String currentPresetFile;
    std::atomic<bool> presetModified { false };
    std::atomic<juce::int64> presetFingerprint { 0 };
    std::vector<PresetEntry> hostPrograms;
    std::atomic<int> currentProgram { 0 };
    juce::ValueTree defaultState;

    // Remembered editor settings, written by the editor and stored in the host state.
    std::atomic<int> editorWidth { 0 };
    std::atomic<int> editorHeight { 0 };
    std::atomic<bool> valueReadout { false };

private:
    struct NoteEvent
    {
        int sampleOffset;
        float note;
        float velocity;
    };
    static constexpr int kMaxNoteEventsPerBlock = 256;

    void installFactoryPresetsOnce();

    double processorSampleRate = 44100.0;
    kv::ParameterHandles parameterHandles;
    kv::BlockParameters blockParameters {};
    MidiCcBindings midiCcBindings;
    std::array<NoteEvent, kMaxNoteEventsPerBlock> noteEvents {};

    // Edit history (guarded by historyLock).
    juce::CriticalSection historyLock;
    std::unique_ptr<UiSnapshot> pendingSnapshot;
    juce::StringArray pendingIds;
    std::vector<UiUndoEntry> undoEntries;
    size_t historyBytes = 0;
    std::atomic<juce::uint64> historyGeneration { 0 };
    juce::String clipboardId;
    float clipboardValue = 0.0f;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (KVProcessor)
};

// Sorted preset names (without extension) of one folder; empty if the folder does not exist.
juce::StringArray getPresetNamesFromDirectory (const juce::File& folder);
std::vector<KVProcessor::PresetEntry> getPresetEntriesFromDirectory (const juce::File& folder,
                                                                     KVProcessor::PresetSource source);
