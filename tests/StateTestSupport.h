#pragma once

// Helpers of the state, preset and history tests: host state blobs, the private preset folders,
// rendering single hits and measuring them.

#include "TestSupport.h"
#include "state/FactoryPresets.h"

#include <juce_dsp/juce_dsp.h>
#include <gtest/gtest.h>
#include <cmath>
#include <map>
#include <vector>

namespace test
{
inline juce::MemoryBlock hostState (KVProcessor& p)
{
    juce::MemoryBlock block;
    p.getStateInformation (block);
    return block;
}

// The document text inside a host state blob.
inline juce::String hostStateText (const juce::MemoryBlock& block)
{
    if (block.getSize() <= 9)
        return {};
    return juce::String::fromUTF8 (static_cast<const char*> (block.getData()) + 8, (int) block.getSize() - 9);
}

inline juce::String hostStateText (KVProcessor& p) { return hostStateText (hostState (p)); }

// A host state envelope around `text`; `storedLength` < 0 stores the true length.
inline juce::MemoryBlock makeEnvelope (const juce::String& text, juce::int64 storedLength = -1,
                                       juce::uint32 magic = 0x21324356)
{
    juce::MemoryOutputStream out;
    out.writeInt ((int) magic);
    const auto length = (juce::uint32) (storedLength < 0 ? (juce::int64) text.getNumBytesAsUTF8() : storedLength);
    out.writeInt ((int) length);
    out.write (text.toRawUTF8(), text.getNumBytesAsUTF8());
    out.writeByte (0);
    return out.getMemoryBlock();
}

inline void setHostState (KVProcessor& p, const juce::MemoryBlock& block)
{
    p.setStateInformation (block.getData(), (int) block.getSize());
}

// The state as the comparison sees it: the document text without the host-only attributes.
inline juce::String soundText (KVProcessor& p) { return p.createStateXml()->toString(); }

// Every parameter's value as the engine reads it, by identifier.
inline std::map<juce::String, float> parameterValues (KVProcessor& p)
{
    std::map<juce::String, float> values;
    for (auto* parameter : p.getParameters())
        if (auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (parameter))
            values[ranged->getParameterID()] = p.treeState.getRawParameterValue (ranged->getParameterID())->load();
    return values;
}

// The parameters whose values differ by more than a few float steps (a skewed range's round trip
// through its normalised form may move a value by one), as "id: a != b" lines; empty when equal.
inline juce::String differingValues (const std::map<juce::String, float>& a, const std::map<juce::String, float>& b)
{
    juce::String out;
    for (const auto& [id, value] : a)
        if (auto it = b.find (id); it == b.end() || std::abs (it->second - value) > 1.0e-6f * std::max (1.0f, std::abs (value)))
            out << id << ": " << juce::String (value, 9) << " != " << (it == b.end() ? juce::String ("-") : juce::String (it->second, 9)) << "\n";
    return out;
}

inline KVProcessor::PresetEntry factoryEntry (const juce::String& name)
{
    return { KVProcessor::PresetSource::Factory, name,
             KVProcessor::getFactoryPresetDirectory().getChildFile (name + ".pk16") };
}

inline juce::String currentName (KVProcessor& p)
{
    const juce::ScopedLock lock (p.presetLock);
    return p.currentPresetName;
}

inline KVProcessor::PresetSource currentSource (KVProcessor& p)
{
    const juce::ScopedLock lock (p.presetLock);
    return p.currentPresetSource;
}

// Empties the user and legacy folders and repairs the factory folder around each test.
class PresetFolderTest : public ::testing::Test
{
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }

    static void reset()
    {
        KVProcessor::getUserPresetDirectory().deleteRecursively();
        for (const auto& f : KVProcessor::getLegacyPresetDirectory().findChildFiles (juce::File::findFilesAndDirectories, false))
            if (f != KVProcessor::getFactoryPresetDirectory() && f != KVProcessor::getUserPresetDirectory())
                f.deleteRecursively();
        kv::state::installFactoryPresets (KVProcessor::getFactoryPresetDirectory());
    }

    static juce::File writeFile (const juce::File& file, const juce::String& text)
    {
        file.getParentDirectory().createDirectory();
        file.replaceWithText (text, false, false, nullptr);
        return file;
    }
};

// ----- rendering and measuring ------------------------------------------------------------------
// One hit of note 60 at `velocity` with the sequencer switched out, `seconds` long, mono.
inline std::vector<float> renderHit (KVProcessor& p, double seconds, float velocity = 1.0f, double rate = 48000.0)
{
    setParameter (p, kv::ids::seqRun, 0.0f);
    Host host (p, rate, 512);
    std::vector<float> out;
    const int total = (int) (seconds * rate);

    juce::MidiBuffer midi;
    midi.addEvent (juce::MidiMessage::noteOn (1, 60, (juce::uint8) juce::jlimit (1, 127, (int) std::lround (velocity * 127.0f))), 0);
    auto first = host.block (512, midi);
    out.insert (out.end(), first.getReadPointer (0), first.getReadPointer (0) + 512);
    host.render (total - 512, 512, out);
    return out;
}

struct HitFigures
{
    float peak = 0.0f;
    float rms = 0.0f;            // over the first 100 ms
    double centroidHz = 0.0;     // spectral centroid of the first 100 ms
    double decay40Seconds = 0.0; // until the level stays 40 dB below the peak
    double riseSeconds = 0.0;    // until the signal first reaches half its peak
    double earlyHz = 0.0;        // dominant frequency of the first 15 ms
    double lateHz = 0.0;         // dominant frequency from 60 to 160 ms
    bool finite = true;
};

// Strongest frequency of a window of the signal (Hann window, zero padded to 2^15).
inline double dominantFrequency (const std::vector<float>& x, size_t start, size_t length, double rate)
{
    constexpr int order = 15;
    juce::dsp::FFT fft (order);
    std::vector<float> data ((size_t) (2 << order), 0.0f);
    for (size_t i = 0; i < length && start + i < x.size(); ++i)
    {
        const double w = 0.5 - 0.5 * std::cos (2.0 * juce::MathConstants<double>::pi * (double) i / (double) (length - 1));
        data[i] = (float) (x[start + i] * w);
    }
    fft.performFrequencyOnlyForwardTransform (data.data());
    size_t best = 1;
    for (size_t k = 1; k < (size_t) (1 << (order - 1)); ++k)
        if (data[k] > data[best])
            best = k;
    return (double) best * rate / (double) (1 << order);
}

// Level of one frequency over the first `seconds` of the signal (Goertzel, Hann window).
inline double levelAt (const std::vector<float>& x, double hz, double seconds, double rate = 48000.0)
{
    const size_t n = std::min (x.size(), (size_t) (seconds * rate));
    const double w = 2.0 * juce::MathConstants<double>::pi * hz / rate;
    double s1 = 0.0, s2 = 0.0;
    for (size_t i = 0; i < n; ++i)
    {
        const double window = 0.5 - 0.5 * std::cos (2.0 * juce::MathConstants<double>::pi * (double) i / (double) (n - 1));
        const double s0 = x[i] * window + 2.0 * std::cos (w) * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return std::sqrt (s1 * s1 + s2 * s2 - 2.0 * std::cos (w) * s1 * s2) / (double) n;
}

inline HitFigures measureHit (const std::vector<float>& x, double rate = 48000.0)
{
    HitFigures f;
    for (auto s : x)
    {
        f.finite = f.finite && std::isfinite (s);
        f.peak = std::max (f.peak, std::abs (s));
    }
    for (size_t i = 0; i < x.size(); ++i)
        if (std::abs (x[i]) >= 0.5f * f.peak)
        {
            f.riseSeconds = (double) i / rate;
            break;
        }

    const size_t window = (size_t) (0.1 * rate);
    double sum = 0.0;
    for (size_t i = 0; i < window && i < x.size(); ++i)
        sum += (double) x[i] * x[i];
    f.rms = (float) std::sqrt (sum / (double) window);

    // Centroid of the magnitude spectrum of the first 100 ms.
    {
        constexpr int order = 13;
        juce::dsp::FFT fft (order);
        std::vector<float> data ((size_t) (2 << order), 0.0f);
        for (size_t i = 0; i < (size_t) (1 << order) && i < x.size(); ++i)
            data[i] = x[i] * (float) (0.5 - 0.5 * std::cos (2.0 * juce::MathConstants<double>::pi * (double) i / (double) ((1 << order) - 1)));
        fft.performFrequencyOnlyForwardTransform (data.data());
        double weighted = 0.0, total = 0.0;
        for (size_t k = 1; k < (size_t) (1 << (order - 1)); ++k)
        {
            weighted += data[k] * (double) k * rate / (double) (1 << order);
            total += data[k];
        }
        f.centroidHz = total > 0.0 ? weighted / total : 0.0;
    }

    // Decay: the last sample whose 5 ms peak envelope is within 40 dB of the peak.
    const float threshold = f.peak * 0.01f;
    const size_t hop = (size_t) (0.005 * rate);
    size_t last = 0;
    for (size_t i = 0; i < x.size(); i += hop)
    {
        float level = 0.0f;
        for (size_t j = i; j < i + hop && j < x.size(); ++j)
            level = std::max (level, std::abs (x[j]));
        if (level >= threshold)
            last = i + hop;
    }
    f.decay40Seconds = (double) last / rate;

    f.earlyHz = dominantFrequency (x, 0, (size_t) (0.015 * rate), rate);
    f.lateHz = dominantFrequency (x, (size_t) (0.06 * rate), (size_t) (0.1 * rate), rate);
    return f;
}
} // namespace test
