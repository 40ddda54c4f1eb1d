// pulskar_render: plays the instrument offline, the way a host would, and writes a WAV file.
//
//   pulskar_render                           renders a demo of the default sound to ./pulskar16-demo.wav
//   pulskar_render --midi song.mid --out song.wav --rate 48000 --block 256 --tempo 128
//   pulskar_render --preset "Snare" --bars 2
//   pulskar_render --all-presets out/        renders every factory preset into a folder
//
// Run with --help for every option.

#include "PluginProcessor.h"

#include <juce_audio_formats/juce_audio_formats.h>
#include <juce_events/juce_events.h>

#include <chrono>
#include <cstdio>
#include <iostream>

namespace
{
struct Options
{
    juce::File output { juce::File::getCurrentWorkingDirectory().getChildFile ("pulskar16-demo.wav") };
    juce::File midiFile;
    juce::String preset;
    juce::File allPresetsFolder;
    double sampleRate = 48000.0;
    int blockSize = 512;
    double tempo = 120.0;
    double bars = 2.0;
    double seconds = 0.0; // overrides bars when > 0
    double startBeat = 0.0;
    bool hostPlaying = true;
    bool freeRun = false;
    bool hasSeed = false;
    juce::int64 seed = 0;
    juce::StringPairArray parameterValues; // id -> plain value text
    bool quiet = false;
};

// A host transport: playing or stopped, at a tempo, from a start beat.
class RenderPlayHead : public juce::AudioPlayHead
{
public:
    double bpm = 120.0;
    double ppq = 0.0;
    bool playing = true;
    juce::int64 samplePosition = 0;

    juce::Optional<PositionInfo> getPosition() const override
    {
        PositionInfo info;
        info.setBpm (bpm);
        info.setTimeSignature (TimeSignature { 4, 4 });
        info.setIsPlaying (playing);
        info.setPpqPosition (ppq);
        info.setTimeInSamples (samplePosition);
        return info;
    }
};

void printUsage()
{
    std::cout <<
        "pulskar_render: renders PULSKAR-16 offline into a WAV file\n\n"
        "  --out FILE          output WAV (default ./pulskar16-demo.wav)\n"
        "  --midi FILE         MIDI file whose note-ons and controllers play the instrument\n"
        "  --preset NAME|FILE  factory or user preset by name, or a .pk16 file\n"
        "  --all-presets DIR   render every factory preset into DIR (one WAV each)\n"
        "  --rate HZ           sample rate (default 48000)\n"
        "  --block N           block size (default 512)\n"
        "  --tempo BPM         host tempo (default 120); also the free-run tempo with --free-run\n"
        "  --bars N            length in 4/4 bars (default 2)\n"
        "  --seconds S         length in seconds (overrides --bars)\n"
        "  --start-beat B      host position of the first sample, in beats (default 0)\n"
        "  --stopped           host transport stopped (the sequencer waits unless --free-run)\n"
        "  --free-run          with --stopped: start the sequencer's free run on its own tempo\n"
        "  --set ID=VALUE      set a parameter to a plain value, e.g. --set swing=0.3 --set clockMult=5\n"
        "                      (choices take their index; repeatable)\n"
        "  --seed N            seed the random generators so a render repeats sample for sample\n"
        "  --quiet             print only the summary line\n";
}

bool parseArguments (const juce::StringArray& args, Options& o, juce::String& error)
{
    for (int i = 0; i < args.size(); ++i)
    {
        const auto& a = args[i];
        auto next = [&] (juce::String& value) {
            if (i + 1 >= args.size())
            {
                error = a + " needs a value";
                return false;
            }
            value = args[++i];
            return true;
        };
        auto nextNumber = [&] (double& value, double minimum, double maximum) {
            juce::String text;
            if (! next (text))
                return false;
            const auto trimmed = text.trim();
            if (! trimmed.containsOnly ("0123456789.-+eE") || trimmed.isEmpty())
            {
                error = a + ": not a number: " + text;
                return false;
            }
            value = trimmed.getDoubleValue();
            if (! (value >= minimum && value <= maximum))
            {
                error = a + " must lie between " + juce::String (minimum) + " and " + juce::String (maximum);
                return false;
            }
            return true;
        };

        juce::String text;
        double number = 0.0;
        if (a == "--help" || a == "-h")
        {
            printUsage();
            std::exit (0);
        }
        else if (a == "--out") { if (! next (text)) return false; o.output = juce::File::getCurrentWorkingDirectory().getChildFile (text); }
        else if (a == "--midi") { if (! next (text)) return false; o.midiFile = juce::File::getCurrentWorkingDirectory().getChildFile (text); }
        else if (a == "--preset") { if (! next (o.preset)) return false; }
        else if (a == "--all-presets") { if (! next (text)) return false; o.allPresetsFolder = juce::File::getCurrentWorkingDirectory().getChildFile (text); }
        else if (a == "--rate") { if (! nextNumber (o.sampleRate, 8000.0, 768000.0)) return false; }
        else if (a == "--block") { if (! nextNumber (number, 1.0, 65536.0)) return false; o.blockSize = (int) number; }
        else if (a == "--tempo") { if (! nextNumber (o.tempo, 1.0, 999.0)) return false; }
        else if (a == "--bars") { if (! nextNumber (o.bars, 0.0, 10000.0)) return false; }
        else if (a == "--seconds") { if (! nextNumber (o.seconds, 0.0, 36000.0)) return false; }
        else if (a == "--start-beat") { if (! nextNumber (o.startBeat, -1.0e6, 1.0e9)) return false; }
        else if (a == "--stopped") { o.hostPlaying = false; }
        else if (a == "--free-run") { o.freeRun = true; }
        else if (a == "--quiet") { o.quiet = true; }
        else if (a == "--seed") { if (! nextNumber (number, -9.0e15, 9.0e15)) return false; o.hasSeed = true; o.seed = (juce::int64) number; }
        else if (a == "--set")
        {
            if (! next (text)) return false;
            if (! text.containsChar ('='))
            {
                error = "--set takes ID=VALUE, got " + text;
                return false;
            }
            o.parameterValues.set (text.upToFirstOccurrenceOf ("=", false, false).trim(),
                                   text.fromFirstOccurrenceOf ("=", false, false).trim());
        }
        else
        {
            error = "unknown option " + a + " (see --help)";
            return false;
        }
    }
    return true;
}

bool applyPreset (KVProcessor& processor, const juce::String& preset, juce::String& error)
{
    if (preset.isEmpty())
        return true;

    const juce::File asFile = juce::File::getCurrentWorkingDirectory().getChildFile (preset);
    if (preset.endsWithIgnoreCase (".pk16") || asFile.existsAsFile())
    {
        if (! asFile.existsAsFile())
        {
            error = "no preset file " + asFile.getFullPathName();
            return false;
        }
        KVProcessor::PresetEntry entry { KVProcessor::PresetSource::None, asFile.getFileNameWithoutExtension(), asFile };
        if (! processor.loadPreset (entry))
        {
            error = "could not load " + asFile.getFullPathName();
            return false;
        }
        return true;
    }

    if (preset == "Init")
    {
        processor.loadInitPreset();
        return true;
    }

    for (const auto& entry : processor.getPresetEntries())
        if (entry.name.equalsIgnoreCase (preset))
            return processor.loadPreset (entry) || (error = "could not load " + entry.file.getFullPathName(), false);

    error = "no preset named \"" + preset + "\"";
    return false;
}

bool applyParameterValues (KVProcessor& processor, const juce::StringPairArray& values, juce::String& error)
{
    for (const auto& id : values.getAllKeys())
    {
        auto* parameter = processor.treeState.getParameter (id);
        if (parameter == nullptr)
        {
            error = "no parameter " + id;
            return false;
        }
        const auto text = values[id];
        if (! text.containsOnly ("0123456789.-+eE") || text.isEmpty())
        {
            error = "--set " + id + ": not a number: " + text;
            return false;
        }
        parameter->setValueNotifyingHost (parameter->convertTo0to1 ((float) text.getDoubleValue()));
    }
    return true;
}

// MIDI events of the file with their times in seconds.
bool readMidiFile (const juce::File& file, juce::MidiMessageSequence& events, juce::String& error)
{
    juce::FileInputStream stream (file);
    juce::MidiFile midiFile;
    if (! stream.openedOk() || ! midiFile.readFrom (stream))
    {
        error = "cannot read MIDI file " + file.getFullPathName();
        return false;
    }
    midiFile.convertTimestampTicksToSeconds();
    for (int t = 0; t < midiFile.getNumTracks(); ++t)
        events.addSequence (*midiFile.getTrack (t), 0.0);
    events.sort();
    return true;
}

struct RenderResult
{
    juce::AudioBuffer<float> audio;
    double seconds = 0.0;
    double wallSeconds = 0.0;
    int nonFinite = 0;
};

RenderResult render (KVProcessor& processor, const Options& o, const juce::MidiMessageSequence& midi)
{
    RenderPlayHead playHead;
    playHead.bpm = o.tempo;
    playHead.ppq = o.startBeat;
    playHead.playing = o.hostPlaying;

    processor.setPlayHead (&playHead);
    processor.setRateAndBufferSizeDetails (o.sampleRate, o.blockSize);
    processor.prepareToPlay (o.sampleRate, o.blockSize);

    // A host loads the instrument with its transport stopped and starts playback later: one
    // discarded sample with the transport stopped makes the render start at a transport start
    // (an instance that sees a playing host in its very first block stays switched out, as when
    // a project is opened during playback).
    {
        playHead.playing = false;
        juce::AudioBuffer<float> warmUp (2, 1);
        juce::MidiBuffer none;
        processor.processBlock (warmUp, none);
        playHead.playing = o.hostPlaying;
    }
    if (! o.hostPlaying && o.freeRun)
        processor.startFreeRun();

    double lengthSeconds = o.seconds > 0.0 ? o.seconds : o.bars * 4.0 * 60.0 / o.tempo;
    if (midi.getNumEvents() > 0 && o.seconds <= 0.0)
        lengthSeconds = juce::jmax (lengthSeconds, midi.getEndTime() + 1.0);
    const auto totalSamples = (juce::int64) std::ceil (lengthSeconds * o.sampleRate);

    RenderResult result;
    result.audio.setSize (2, (int) totalSamples);
    result.audio.clear();
    result.seconds = (double) totalSamples / o.sampleRate;

    juce::AudioBuffer<float> block (2, o.blockSize);
    juce::MidiBuffer midiBlock;
    int nextEvent = 0;

    const auto start = std::chrono::steady_clock::now();
    for (juce::int64 done = 0; done < totalSamples;)
    {
        const int n = (int) juce::jmin ((juce::int64) o.blockSize, totalSamples - done);
        block.setSize (2, n, false, false, true);

        midiBlock.clear();
        const double blockEnd = (double) (done + n) / o.sampleRate;
        while (nextEvent < midi.getNumEvents())
        {
            const auto& message = midi.getEventPointer (nextEvent)->message;
            if (message.getTimeStamp() >= blockEnd)
                break;
            const int offset = (int) juce::jlimit ((juce::int64) 0, (juce::int64) n - 1,
                                                   (juce::int64) std::floor (message.getTimeStamp() * o.sampleRate) - done);
            midiBlock.addEvent (message, offset);
            ++nextEvent;
        }

        processor.processBlock (block, midiBlock);

        for (int ch = 0; ch < 2; ++ch)
        {
            const auto* source = block.getReadPointer (juce::jmin (ch, block.getNumChannels() - 1));
            for (int i = 0; i < n; ++i)
                if (! std::isfinite (source[i]))
                    ++result.nonFinite;
            result.audio.copyFrom (ch, (int) done, source, n);
        }

        done += n;
        playHead.samplePosition = done;
        if (playHead.playing)
            playHead.ppq = o.startBeat + (double) done * o.tempo / (60.0 * o.sampleRate);
    }
    result.wallSeconds = std::chrono::duration<double> (std::chrono::steady_clock::now() - start).count();

    processor.releaseResources();
    processor.setPlayHead (nullptr);
    return result;
}

bool writeWav (const juce::File& file, const juce::AudioBuffer<float>& audio, double sampleRate, juce::String& error)
{
    file.getParentDirectory().createDirectory();
    file.deleteFile();
    std::unique_ptr<juce::OutputStream> stream (file.createOutputStream().release());
    if (stream == nullptr)
    {
        error = "cannot write " + file.getFullPathName();
        return false;
    }
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatWriter> writer (
        wav.createWriterFor (stream.get(), sampleRate, (unsigned int) audio.getNumChannels(), 24, {}, 0));
    if (writer == nullptr)
    {
        error = "cannot create a WAV writer for " + file.getFullPathName();
        return false;
    }
    stream.release(); // owned by the writer now
    if (! writer->writeFromAudioSampleBuffer (audio, 0, audio.getNumSamples()))
    {
        error = "write failed: " + file.getFullPathName();
        return false;
    }
    return true;
}

void printSummary (const juce::String& what, const RenderResult& r)
{
    float peak = 0.0f;
    double sumSquares = 0.0;
    for (int ch = 0; ch < r.audio.getNumChannels(); ++ch)
    {
        const auto* data = r.audio.getReadPointer (ch);
        for (int i = 0; i < r.audio.getNumSamples(); ++i)
        {
            if (std::isfinite (data[i]))
            {
                peak = juce::jmax (peak, std::abs (data[i]));
                sumSquares += (double) data[i] * data[i];
            }
        }
    }
    const auto count = (double) juce::jmax (1, r.audio.getNumSamples() * r.audio.getNumChannels());
    const double rms = std::sqrt (sumSquares / count);
    auto dbfs = [] (double x) { return x > 0.0 ? 20.0 * std::log10 (x) : -999.0; };
    std::printf ("%s: %.3f s, peak %.4f (%.1f dBFS), RMS %.4f (%.1f dBFS), non-finite %d, %.1fx realtime\n",
                 what.toRawUTF8(), r.seconds, (double) peak, dbfs (peak), rms, dbfs (rms), r.nonFinite,
                 r.wallSeconds > 0.0 ? r.seconds / r.wallSeconds : 0.0);
}

std::unique_ptr<KVProcessor> makeProcessor (const Options& o, juce::String& error)
{
    auto processor = std::make_unique<KVProcessor>();
    if (o.hasSeed)
        processor->setRandomSeed (o.seed);
    if (! applyPreset (*processor, o.preset, error) || ! applyParameterValues (*processor, o.parameterValues, error))
        return nullptr;
    return processor;
}

int renderAllPresets (const Options& o)
{
    juce::String error;
    auto probe = std::make_unique<KVProcessor>();
    std::vector<KVProcessor::PresetEntry> factory;
    for (const auto& entry : probe->getPresetEntries())
        if (entry.source == KVProcessor::PresetSource::Factory)
            factory.push_back (entry);
    probe.reset();

    if (factory.empty())
    {
        std::fprintf (stderr, "no factory presets found\n");
        return 1;
    }
    if (! o.allPresetsFolder.createDirectory())
    {
        std::fprintf (stderr, "cannot create %s\n", o.allPresetsFolder.getFullPathName().toRawUTF8());
        return 1;
    }

    const int total = (int) factory.size();
    for (int i = 0; i < total; ++i)
    {
        const auto& entry = factory[(size_t) i];
        Options one = o;
        one.preset = entry.name;
        auto processor = makeProcessor (one, error);
        if (processor == nullptr)
        {
            std::fprintf (stderr, "\n%s\n", error.toRawUTF8());
            return 1;
        }
        auto result = render (*processor, one, {});
        const auto file = o.allPresetsFolder.getChildFile (entry.name + ".wav");
        if (! writeWav (file, result.audio, o.sampleRate, error))
        {
            std::fprintf (stderr, "\n%s\n", error.toRawUTF8());
            return 1;
        }

        const int width = 30;
        const int filled = (i + 1) * width / total;
        std::fprintf (stderr, "\r[%s%s] %2d/%d %-20s", juce::String::repeatedString ("#", filled).toRawUTF8(),
                      juce::String::repeatedString (".", width - filled).toRawUTF8(), i + 1, total,
                      entry.name.toRawUTF8());
        std::fflush (stderr);
        if (! o.quiet)
        {
            std::fprintf (stderr, "\n");
            printSummary (entry.name, result);
        }
    }
    std::fprintf (stderr, "\n");
    std::printf ("rendered %d presets into %s\n", total, o.allPresetsFolder.getFullPathName().toRawUTF8());
    return 0;
}
} // namespace

int main (int argc, char* argv[])
{
    juce::ScopedJuceInitialiser_GUI juceInitialiser;

    Options options;
    juce::String error;
    juce::StringArray args;
    for (int i = 1; i < argc; ++i)
        args.add (juce::String::fromUTF8 (argv[i]));

    if (! parseArguments (args, options, error))
    {
        std::fprintf (stderr, "pulskar_render: %s\n", error.toRawUTF8());
        return 2;
    }

    if (options.allPresetsFolder != juce::File())
        return renderAllPresets (options);

    juce::MidiMessageSequence midi;
    if (options.midiFile != juce::File() && ! readMidiFile (options.midiFile, midi, error))
    {
        std::fprintf (stderr, "pulskar_render: %s\n", error.toRawUTF8());
        return 1;
    }

    auto processor = makeProcessor (options, error);
    if (processor == nullptr)
    {
        std::fprintf (stderr, "pulskar_render: %s\n", error.toRawUTF8());
        return 1;
    }

    const auto result = render (*processor, options, midi);
    if (! writeWav (options.output, result.audio, options.sampleRate, error))
    {
        std::fprintf (stderr, "pulskar_render: %s\n", error.toRawUTF8());
        return 1;
    }

    if (! options.quiet)
        std::printf ("rendered %s at %.0f Hz, block %d, %.2f BPM, host %s%s\n",
                     options.output.getFullPathName().toRawUTF8(), options.sampleRate, options.blockSize,
                     options.tempo, options.hostPlaying ? "playing" : "stopped",
                     options.freeRun ? ", free run" : "");
    printSummary (options.output.getFileName(), result);
    return result.nonFinite == 0 ? 0 : 3;
}
