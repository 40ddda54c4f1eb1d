// The edit history (one undo step per gesture of the editor) and the one-value step clipboard.
//
// Snapshots are captured outside historyLock (they take presetLock themselves), so the two locks
// are never nested; historyLock only guards moving the pending snapshot and the entries.

#include "../PluginProcessor.h"
#include "StateInternals.h"

#include <cmath>

namespace
{
constexpr size_t kMaxUndoEntries = 100;
constexpr size_t kMaxHistoryBytes = 8388608;

size_t accountedBytes (const KVProcessor::UiUndoEntry& entry)
{
    size_t bytes = 112 + 16 * entry.changes.capacity();
    for (const auto& change : entry.changes)
        bytes += change.id.getNumBytesAsUTF8();
    bytes += entry.before.presetName.getNumBytesAsUTF8();
    bytes += entry.before.presetFile.getNumBytesAsUTF8();
    return bytes;
}

float currentPlainValue (const juce::RangedAudioParameter& parameter)
{
    return parameter.convertFrom0to1 (parameter.getValue());
}

void setPlainValueNotifyingHost (juce::RangedAudioParameter& parameter, float value)
{
    kv::state::setParameterValueExactly (parameter, value);
}
} // namespace

KVProcessor::UiSnapshot KVProcessor::captureUiSnapshot()
{
    parameterNotifier.flush();
    UiSnapshot snapshot;
    snapshot.generation = historyGeneration.load();

    const auto state = treeState.copyState();
    snapshot.values.reserve ((size_t) state.getNumChildren());
    for (const auto& child : state)
    {
        const auto id = child.getProperty (kv::state::attr::id).toString();
        if (id.isEmpty())
            continue;
        if (auto* parameter = treeState.getParameter (id))
            snapshot.values.push_back ({ id, currentPlainValue (*parameter) });
    }

    {
        const juce::ScopedLock lock (presetLock);
        snapshot.presetName = currentPresetName;
        snapshot.presetSource = currentPresetSource;
        snapshot.presetFile = currentPresetFile;
    }

    snapshot.fingerprint = presetFingerprint.load();
    snapshot.pageBInitialised = sequencer.pageBInitialised.load (std::memory_order_relaxed);
    snapshot.chainMode = sequencer.chainMode.load (std::memory_order_relaxed);
    snapshot.editPage = sequencer.editPage.load (std::memory_order_relaxed);
    return snapshot;
}

void KVProcessor::beginUiEdit (const juce::StringArray& ids)
{
    endUiEdit();
    auto snapshot = std::make_unique<UiSnapshot> (captureUiSnapshot());

    const juce::ScopedLock lock (historyLock);
    pendingSnapshot = std::move (snapshot);
    pendingIds = ids;
}

void KVProcessor::endUiEdit()
{
    std::unique_ptr<UiSnapshot> before;
    juce::StringArray ids;
    {
        const juce::ScopedLock lock (historyLock);
        before = std::move (pendingSnapshot);
        ids.swapWith (pendingIds);
        pendingIds.clear();
    }

    if (before == nullptr || before->generation != historyGeneration.load())
        return;

    const auto after = captureUiSnapshot();
    if (after.generation != before->generation)
        return;

    UiUndoEntry entry;
    entry.restoreIdentity = ids.isEmpty()
                            && (before->presetName != after.presetName || before->presetSource != after.presetSource
                                || before->presetFile != after.presetFile
                                || before->pageBInitialised != after.pageBInitialised
                                || before->chainMode != after.chainMode);

    // Both snapshots list the parameters in tree order; the search starts where the last one ended.
    size_t cursor = 0;
    for (const auto& value : before->values)
    {
        if ((! ids.isEmpty() && ! ids.contains (value.id)) || value.id == kv::ids::seqRun)
            continue;

        const UiValue* found = nullptr;
        for (size_t n = 0; n < after.values.size() && found == nullptr; ++n)
        {
            const auto& candidate = after.values[(cursor + n) % after.values.size()];
            if (candidate.id == value.id)
            {
                found = &candidate;
                cursor = (cursor + n + 1) % after.values.size();
            }
        }

        if (found != nullptr && std::abs (found->value - value.value) > 1.0e-8f)
            entry.changes.push_back ({ value.id, value.value });
    }

    if (entry.changes.empty() && ! entry.restoreIdentity)
        return;

    entry.before = std::move (*before);
    entry.before.values.clear();
    entry.before.values.shrink_to_fit();
    entry.byteSize = accountedBytes (entry);

    const juce::ScopedLock lock (historyLock);
    if (entry.before.generation != historyGeneration.load())
        return;

    historyBytes += entry.byteSize;
    undoEntries.push_back (std::move (entry));

    while (! undoEntries.empty() && (undoEntries.size() > kMaxUndoEntries || historyBytes > kMaxHistoryBytes))
    {
        historyBytes -= undoEntries.front().byteSize;
        undoEntries.erase (undoEntries.begin());
    }
}

void KVProcessor::performUiEdit (const juce::StringArray& ids, const std::function<void()>& action)
{
    beginUiEdit (ids);
    if (action)
        action();
    endUiEdit();
}

void KVProcessor::clearUiHistory()
{
    const juce::ScopedLock lock (historyLock);
    historyGeneration.fetch_add (1);
    pendingSnapshot.reset();
    pendingIds.clear();
    undoEntries.clear();
    historyBytes = 0;
    clipboardId = {};
    clipboardValue = 0.0f;
}

size_t KVProcessor::getNumUndoEntries() const
{
    const juce::ScopedLock lock (historyLock);
    return undoEntries.size();
}

void KVProcessor::undoLastUiEdit()
{
    endUiEdit();

    UiUndoEntry entry;
    {
        const juce::ScopedLock lock (historyLock);
        if (undoEntries.empty())
            return;
        entry = std::move (undoEntries.back());
        undoEntries.pop_back();
        historyBytes -= entry.byteSize;
    }

    if (entry.before.generation != historyGeneration.load())
        return;

    const kv::ParameterNotifier::BulkChange bulkChange (parameterNotifier);
    for (const auto& change : entry.changes)
        if (auto* parameter = treeState.getParameter (change.id))
            setPlainValueNotifyingHost (*parameter, change.value);

    if (entry.restoreIdentity)
    {
        {
            const juce::ScopedLock lock (presetLock);
            currentPresetName = entry.before.presetName;
            currentPresetSource = entry.before.presetSource;
            currentPresetFile = entry.before.presetFile;
        }
        sequencer.pageBInitialised.store (entry.before.pageBInitialised, std::memory_order_relaxed);
        sequencer.chainMode.store (entry.before.chainMode, std::memory_order_relaxed);
        sequencer.editPage.store (entry.before.editPage, std::memory_order_relaxed);
        sequencer.stateReplaced.store (true, std::memory_order_relaxed);
        presetFingerprint.store (entry.before.fingerprint);
        updateHostProgramIndexForCurrentPreset();
        updateHostDisplay();
    }

    const auto fingerprint = presetFingerprint.load();
    presetModified.store (fingerprint != 0 && calculateSoundFingerprint (createStateXml().get()) != fingerprint,
                          std::memory_order_relaxed);
}

int KVProcessor::sequencerValueKind (const juce::String& id)
{
    if (id.startsWith ("stepPitch")) return 1;
    if (id.startsWith ("stepVel")) return 2;
    if (id.startsWith ("stepModA") || id.startsWith ("stepModB")) return 3;
    return 0;
}

bool KVProcessor::copySequencerValue (const juce::String& id)
{
    if (sequencerValueKind (id) == 0)
        return false;

    auto* parameter = treeState.getParameter (id);
    if (parameter == nullptr)
        return false;

    const float value = currentPlainValue (*parameter);
    const juce::ScopedLock lock (historyLock);
    clipboardId = id;
    clipboardValue = value;
    return true;
}

bool KVProcessor::pasteSequencerValue (const juce::String& id)
{
    juce::String copiedId;
    float copiedValue = 0.0f;
    {
        const juce::ScopedLock lock (historyLock);
        copiedId = clipboardId;
        copiedValue = clipboardValue;
    }

    const int kind = sequencerValueKind (id);
    if (kind == 0 || kind != sequencerValueKind (copiedId))
        return false;

    auto* parameter = treeState.getParameter (id);
    if (parameter == nullptr)
        return false;

    beginUiEdit ({ id });
    setPlainValueNotifyingHost (*parameter, copiedValue);
    endUiEdit();
    return true;
}
