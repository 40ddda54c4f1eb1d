// The only platform-specific code of the preset library: where the preset folders live, what
// counts as a regular file, and how a finished file replaces its target in one step.

#include "DocumentReader.h"

#if ! JUCE_WINDOWS
 #include <cstdio>
 #include <sys/stat.h>
#endif

namespace kv::state
{
// ===== platform-specific ========================================================================
juce::File getApplicationDataFolder()
{
   #if JUCE_MAC
    // ~/Library
    return juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory);
   #elif JUCE_LINUX || JUCE_BSD
    // The XDG data folder: $XDG_DATA_HOME when it is an absolute path, else ~/.local/share.
    const auto xdg = juce::SystemStats::getEnvironmentVariable ("XDG_DATA_HOME", {});
    if (xdg.isNotEmpty() && juce::File::isAbsolutePath (xdg))
        return juce::File (xdg);
    return juce::File::getSpecialLocation (juce::File::userHomeDirectory).getChildFile (".local/share");
   #else
    return juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory);
   #endif
}

bool isRegularFile (const juce::File& file)
{
   #if JUCE_WINDOWS
    return file.existsAsFile();
   #else
    struct stat info {};
    if (::stat (file.getFullPathName().toRawUTF8(), &info) != 0)
        return false;
    return S_ISREG (info.st_mode);
   #endif
}

bool replaceFileAtomically (const juce::File& source, const juce::File& target)
{
    if (target.isDirectory() || ! isRegularFile (source))
        return false;

   #if JUCE_WINDOWS
    return source.moveFileTo (target);
   #else
    // rename() replaces an existing target atomically.
    return std::rename (source.getFullPathName().toRawUTF8(), target.getFullPathName().toRawUTF8()) == 0;
   #endif
}
// ===== end of platform-specific code ============================================================

bool writeFileSafely (const juce::File& target, const void* data, size_t numBytes)
{
    juce::Random random;
    const auto temp = target.getSiblingFile ("." + target.getFileNameWithoutExtension() + "-"
                                             + juce::String::toHexString (random.nextInt64()) + ".tmp");
    bool written = false;
    {
        juce::FileOutputStream out (temp);
        if (out.openedOk() && out.write (data, numBytes))
        {
            out.flush();
            written = out.getStatus().wasOk();
        }
    }

    if (written && replaceFileAtomically (temp, target))
        return true;

    temp.deleteFile();
    return false;
}
} // namespace kv::state
