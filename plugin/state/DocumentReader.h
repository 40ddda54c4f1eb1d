#pragma once

// Careful reading of state documents that come from outside the instrument: host state blobs and
// preset files. Everything here refuses what it cannot read safely instead of guessing, so a
// damaged project or a stray file never changes the sound or brings the host down.

#include <juce_core/juce_core.h>
#include <memory>

namespace kv::state
{
// Largest document text (host state or preset file) the instrument will read. A real document
// is a few kilobytes.
inline constexpr size_t kMaxDocumentBytes = 16 * 1024 * 1024;

// Deepest element nesting accepted. A state document nests two levels; old versions used a
// few more for their cable layout.
inline constexpr int kMaxElementDepth = 64;

// Magic number of the host state envelope ("VC2!" little-endian).
inline constexpr juce::uint32 kHostStateMagic = 0x21324356;

// How deep the framework's XML reader would nest its elements when reading `text`, counted the
// way the reader walks the text. -1 when the text contains anything the instrument never writes
// and refuses to read: a document type declaration, an entity reference other than the five
// predefined ones and numeric character references of valid characters, or a processing
// instruction followed by text inside an element (on which the framework's reader never ends).
int measureElementDepth (const juce::String& text);

// Parses a document text: refused (empty result) when it is too long, declares a document type,
// uses unknown entities, nests deeper than kMaxElementDepth or is not well formed.
std::unique_ptr<juce::XmlElement> parseDocumentText (const juce::String& text);

// Strict UTF-8 decoding of raw bytes; the text ends at the first zero byte. Fails (returns
// false) on malformed sequences. A leading byte order mark is skipped.
bool decodeUtf8 (const void* data, size_t numBytes, juce::String& result);

// The document inside a host state envelope (magic, 32-bit little-endian length, UTF-8 text).
std::unique_ptr<juce::XmlElement> readHostStateDocument (const void* data, int sizeInBytes);

// The document of a preset file: only a regular, readable file of sane size is read.
std::unique_ptr<juce::XmlElement> readDocumentFile (const juce::File& file);

// A decimal number as written in documents: optional white space, sign, digits with an optional
// point and exponent; "inf" and "infinity" in any letter case are read as infinite values.
struct Number
{
    enum class Kind { NotANumber, Finite, PlusInfinity, MinusInfinity };
    Kind kind = Kind::NotANumber;
    double value = 0.0;

    // True when the text is short and plain enough that the framework reads it unaided.
    bool plainText = false;
};
Number readNumber (const juce::String& text);

// An integer as the framework reads one (leading digits after optional white space and minus;
// anything that is not a number reads as 0), saturated to the int range instead of wrapping.
int readInteger (const juce::String& text);

// ----- file system helpers (platform-specific parts live in PlatformFiles.cpp) -------------------
// The folder below which the preset folders live: ~/Library on macOS, the XDG data folder on
// Linux, the roaming application data folder on Windows.
juce::File getApplicationDataFolder();

// A regular file (not a folder, pipe, device or socket); symbolic links are followed.
bool isRegularFile (const juce::File& file);

// Moves `source` over `target`, replacing an existing target in one step where the platform
// allows it. Fails when the target is a folder.
bool replaceFileAtomically (const juce::File& source, const juce::File& target);

// Writes the bytes to a hidden sibling of `target`, checks that every byte reached the disk and
// only then moves it over the target. The target is untouched on failure.
bool writeFileSafely (const juce::File& target, const void* data, size_t numBytes);
} // namespace kv::state
