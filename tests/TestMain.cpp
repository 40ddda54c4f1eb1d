// Test entry point: a JUCE message manager for the whole run and a private HOME, so no test
// ever sees or touches the real user's preset folders.

#include "TestSupport.h"

#include <gtest/gtest.h>
#include <cstdlib>

int main (int argc, char** argv)
{
    auto home = juce::File::getSpecialLocation (juce::File::tempDirectory)
                    .getChildFile ("pulskar-test-home-" + juce::String (juce::Time::currentTimeMillis())
                                   + "-" + juce::String (juce::Random::getSystemRandom().nextInt()));
    home.createDirectory();
    setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);
    setenv ("XDG_DATA_HOME", home.getChildFile (".local/share").getFullPathName().toRawUTF8(), 1);
    setenv ("XDG_CONFIG_HOME", home.getChildFile (".config").getFullPathName().toRawUTF8(), 1);

    juce::ScopedJuceInitialiser_GUI juce;
    ::testing::InitGoogleTest (&argc, argv);
    const int result = RUN_ALL_TESTS();
    home.deleteRecursively();
    return result;
}
