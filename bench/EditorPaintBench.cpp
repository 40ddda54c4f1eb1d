// One full paint of the panel editor (both passes and the invisible controls) into a software
// image, at the default size and at the artwork's own size. Prints milliseconds per paint.

#include "PluginProcessor.h"
#include "editor/PluginEditor.h"

#include <juce_events/juce_events.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace
{
void benchPaint (KVProcessor& processor, int width, int height, const juce::File& snapshotFolder)
{
    processor.editorWidth = width;
    processor.editorHeight = height;
    KVEditor editor (processor);
    editor.setSize (width, height);

    // Something lit in every group: steps, run lamp, switches, a flash, the readout.
    processor.sequencer.currentStep = 3;
    editor.timerCallback();
    editor.triggerFlash = 4;
    processor.valueReadout = true;
    editor.pressedKnob = editor.findKnob ("cutoff");

    juce::Image image (juce::Image::ARGB, width, height, true);
    const auto paintOnce = [&]
    {
        juce::Graphics g (image);
        const double start = juce::Time::getMillisecondCounterHiRes();
        editor.paintEntireComponent (g, true);
        return juce::Time::getMillisecondCounterHiRes() - start;
    };

    const double first = paintOnce();  // includes scaling the artwork and building the LED images
    for (int i = 0; i < 5; ++i)
        paintOnce();

    std::vector<double> times;
    for (int i = 0; i < 60; ++i)
        times.push_back (paintOnce());
    std::sort (times.begin(), times.end());
    double sum = 0.0;
    for (const auto t : times)
        sum += t;

    std::printf ("editor paint %4dx%-4d  median %6.2f ms  mean %6.2f ms  min %6.2f ms  first %7.2f ms\n", width, height,
                 times[times.size() / 2], sum / (double) times.size(), times.front(), first);
    editor.pressedKnob = nullptr;

    if (snapshotFolder != juce::File())
    {
        auto file = snapshotFolder.getChildFile ("editor-" + juce::String (width) + "x" + juce::String (height) + ".png");
        file.deleteFile();
        juce::FileOutputStream out (file);
        juce::PNGImageFormat().writeImageToStream (image, out);
    }
}
} // namespace

// With a folder as argument, the painted images are written there as PNG files.
int main (int argc, char** argv)
{
    // The processor installs its factory presets below HOME: keep them out of the real one.
    auto home = juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("pulskar-bench-home");
    home.createDirectory();
    setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);
    setenv ("XDG_DATA_HOME", home.getChildFile (".local/share").getFullPathName().toRawUTF8(), 1);

    juce::ScopedJuceInitialiser_GUI juce;
    const juce::File snapshots = argc > 1 ? juce::File (juce::File::getCurrentWorkingDirectory().getChildFile (argv[1])) : juce::File();
    if (snapshots != juce::File())
        snapshots.createDirectory();

    KVProcessor processor;
    benchPaint (processor, 1320, 751, snapshots);
    benchPaint (processor, 1662, 946, snapshots);
    benchPaint (processor, 960, 546, snapshots);
    home.deleteRecursively();
    return 0;
}
