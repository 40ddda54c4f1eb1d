#include "DocumentReader.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <locale>
#include <sstream>
#include <string>

namespace kv::state
{
namespace
{
using CharPointer = juce::String::CharPointerType;
using juce::juce_wchar;

// ----- entity references ------------------------------------------------------------------------
bool isValidCharacterCode (juce::int64 code)
{
    return code > 0 && code <= 0x10ffff && ! (code >= 0xd800 && code <= 0xdfff);
}

// Length in characters of the entity reference at p (which points at '&'), counting through its
// ';', or 0 when it is not one of the forms the instrument writes.
int lengthOfKnownEntity (CharPointer p)
{
    ++p;
    for (auto* name : { "amp;", "quot;", "apos;", "lt;", "gt;" })
    {
        const auto len = (int) std::strlen (name);
        if (p.compareIgnoreCaseUpTo (juce::CharPointer_ASCII (name), len) == 0)
            return len + 1;
    }

    if (*p != '#')
        return 0;

    ++p;
    const bool hex = (*p == 'x' || *p == 'X');
    if (hex)
        ++p;

    juce::int64 code = 0;
    int digits = 0;
    for (;; ++p)
    {
        const auto c = *p;
        if (c == ';')
            break;

        const int value = hex ? juce::CharacterFunctions::getHexDigitValue (c)
                              : ((c >= '0' && c <= '9') ? (int) (c - '0') : -1);
        if (value < 0 || ++digits > (hex ? 6 : 7))
            return 0;
        code = code * (hex ? 16 : 10) + value;
    }

    if (digits == 0 || ! isValidCharacterCode (code))
        return 0;

    return 2 + (hex ? 1 : 0) + digits + 1;
}

// Everything the instrument never writes and the framework's reader would treat in surprising
// ways (document type declarations with their entity definitions and file references, unknown
// entities that expand into markup) is refused outright.
bool containsRefusedConstructs (const juce::String& text)
{
    if (text.contains ("<!DOCTYPE"))
        return true;

    for (auto p = text.getCharPointer(); ! p.isEmpty(); ++p)
        if (*p == '&' && lengthOfKnownEntity (p) == 0)
            return true;

    return false;
}

// ----- nesting probe ----------------------------------------------------------------------------
// Walks the text exactly the way juce::XmlDocument walks it (same tokens, same error recovery,
// same pointer movements), but iteratively and counting only how many elements are open at once.
// The framework's reader recurses once per nesting level, so this bounds its stack use before it
// runs; it also catches the one construct on which that reader never finishes.
class NestingProbe
{
public:
    explicit NestingProbe (CharPointer text) : input (text) {}

    int run()
    {
        // Header.
        skipNextWhiteSpace();
        if (juce::CharacterFunctions::compareUpTo (input, juce::CharPointer_ASCII ("<?xml"), 5) == 0)
        {
            auto headerEnd = juce::CharacterFunctions::find (input, juce::CharPointer_ASCII ("?>"));
            if (headerEnd.isEmpty())
                return maxDepth;
            input = headerEnd + 2;
            skipNextWhiteSpace();
        }

        if (juce::CharacterFunctions::compareUpTo (input, juce::CharPointer_ASCII ("<!DOCTYPE"), 9) == 0)
            return -1;

        if (openElement() == Opened::WithChildren)
            readChildren();

        return refused ? -1 : maxDepth;
    }

private:
    enum class Opened { None, Complete, WithChildren };

    static bool isIdentifierChar (juce_wchar c) noexcept
    {
        static const juce::uint32 legalChars[] = { 0, 0x7ff6000, 0x87fffffe, 0x7fffffe, 0 };
        if ((int) c < (int) juce::numElementsInArray (legalChars) * 32)
            return (legalChars[c >> 5] & (juce::uint32) (1 << (c & 31))) != 0;
        return juce::CharacterFunctions::isLetterOrDigit (c) || c == '_' || c == '-' || c == ':' || c == '.';
    }

    static CharPointer findEndOfToken (CharPointer p) noexcept
    {
        while (isIdentifierChar (*p))
            ++p;
        return p;
    }

    juce_wchar readNextChar() noexcept
    {
        auto c = input.getAndAdvance();
        if (c == 0)
        {
            outOfData = true;
            --input;
        }
        return c;
    }

    void skipNextWhiteSpace()
    {
        for (;;)
        {
            input.incrementToEndOfWhitespace();

            if (input.isEmpty())
            {
                outOfData = true;
                break;
            }

            if (*input == '<')
            {
                if (input[1] == '!' && input[2] == '-' && input[3] == '-')
                {
                    input += 4;
                    auto closeComment = input.indexOf (juce::CharPointer_ASCII ("-->"));
                    if (closeComment < 0)
                    {
                        outOfData = true;
                        break;
                    }
                    input += closeComment + 3;
                    continue;
                }

                if (input[1] == '?')
                {
                    input += 2;
                    auto closeBracket = input.indexOf (juce::CharPointer_ASCII ("?>"));
                    if (closeBracket < 0)
                    {
                        outOfData = true;
                        break;
                    }
                    input += closeBracket + 2;
                    continue;
                }
            }
            break;
        }
    }

    // At '&': steps over a known entity; anything else stops the probe.
    bool skipEntity()
    {
        const int length = lengthOfKnownEntity (input);
        if (length == 0)
        {
            refused = true;
            outOfData = true;
            return false;
        }
        input += length;
        return true;
    }

    void readQuotedString()
    {
        auto quote = readNextChar();

        while (! outOfData)
        {
            auto c = readNextChar();
            if (c == quote)
                break;

            --input;

            if (c == '&')
            {
                if (! skipEntity())
                    return;
            }
            else
            {
                for (;;)
                {
                    auto character = *input;
                    if (character == quote)
                    {
                        ++input;
                        return;
                    }
                    if (character == '&')
                        break;
                    if (character == 0)
                    {
                        outOfData = true;
                        break;
                    }
                    ++input;
                }
            }
        }
    }

    // One element's start tag, as the framework's readNextElement reads it.
    Opened openElement()
    {
        skipNextWhiteSpace();
        if (outOfData || *input != '<')
            return Opened::None;

        ++input;
        auto endOfToken = findEndOfToken (input);
        if (endOfToken == input)
        {
            skipNextWhiteSpace();
            endOfToken = findEndOfToken (input);
            if (endOfToken == input)
                return Opened::None;
        }

        input = endOfToken;
        maxDepth = juce::jmax (maxDepth, ++depth);

        for (;;)
        {
            skipNextWhiteSpace();
            auto c = *input;

            if (c == '/' && input[1] == '>')
            {
                input += 2;
                break;
            }

            if (c == '>')
            {
                ++input;
                return Opened::WithChildren;
            }

            if (isIdentifierChar (c))
            {
                auto attNameEnd = findEndOfToken (input);
                if (attNameEnd != input)
                {
                    input = attNameEnd;
                    skipNextWhiteSpace();

                    if (readNextChar() == '=')
                    {
                        skipNextWhiteSpace();
                        auto nextChar = *input;
                        if (nextChar == '"' || nextChar == '\'')
                        {
                            readQuotedString();
                            if (refused)
                                break;
                            continue;
                        }
                    }
                    else
                    {
                        break;
                    }
                }
            }
            break;
        }

        --depth;
        return Opened::Complete;
    }

    // The children of every open element, one loop for all levels: `depth` says which element's
    // children are being read.
    void readChildren()
    {
        while (depth > 0 && ! refused)
        {
            auto preWhitespaceInput = input;
            skipNextWhiteSpace();

            if (outOfData)
            {
                --depth;
                continue;
            }

            if (*input == '<')
            {
                auto c1 = input[1];

                if (c1 == '/')
                {
                    auto closeTag = input.indexOf ((juce_wchar) '>');
                    if (closeTag >= 0)
                        input += closeTag + 1;
                    --depth;
                    continue;
                }

                if (c1 == '!' && juce::CharacterFunctions::compareUpTo (input + 2, juce::CharPointer_ASCII ("[CDATA["), 7) == 0)
                {
                    input += 9;
                    for (;;)
                    {
                        auto c0 = *input;
                        if (c0 == 0)
                        {
                            outOfData = true;
                            break;
                        }
                        if (c0 == ']' && input[1] == ']' && input[2] == '>')
                        {
                            input += 3;
                            break;
                        }
                        ++input;
                    }
                    continue;
                }

                if (openElement() == Opened::None)
                    --depth;
                continue;
            }

            // A block of characters.
            input = preWhitespaceInput;
            if (! readCharacterBlock())
            {
                --depth;
            }
            else if (input == preWhitespaceInput)
            {
                // A processing instruction followed by text: the framework's reader skips the
                // instruction, steps back to read the text, finds the instruction again and goes
                // round for ever. Such a document is refused.
                refused = true;
            }
        }
    }

    // False when the framework's reader would leave the current element here.
    bool readCharacterBlock()
    {
        for (;;)
        {
            auto c = *input;

            if (c == '<')
            {
                if (input[1] == '!' && input[2] == '-' && input[3] == '-')
                {
                    input += 4;
                    auto closeComment = input.indexOf (juce::CharPointer_ASCII ("-->"));
                    if (closeComment < 0)
                    {
                        outOfData = true;
                        return false;
                    }
                    input += closeComment + 3;
                    continue;
                }
                return true;
            }

            if (c == 0)
            {
                outOfData = true;
                return false;
            }

            if (c == '&')
            {
                if (! skipEntity())
                    return false;
                continue;
            }

            for (;; ++input)
            {
                auto nextChar = *input;
                if (nextChar == '<' || nextChar == '&')
                    break;
                if (nextChar == 0)
                {
                    outOfData = true;
                    return false;
                }
            }
        }
    }

    CharPointer input;
    bool outOfData = false;
    bool refused = false;
    int depth = 0;
    int maxDepth = 0;
};

// ----- UTF-8 ------------------------------------------------------------------------------------
bool isValidUtf8 (const unsigned char* p, size_t n)
{
    size_t i = 0;
    while (i < n)
    {
        const unsigned char b = p[i];
        if (b < 0x80)
        {
            ++i;
            continue;
        }

        int extra = 0;
        juce::uint32 code = 0;
        if ((b & 0xe0) == 0xc0)      { extra = 1; code = b & 0x1f; }
        else if ((b & 0xf0) == 0xe0) { extra = 2; code = b & 0x0f; }
        else if ((b & 0xf8) == 0xf0) { extra = 3; code = b & 0x07; }
        else
            return false;

        if (n - i <= (size_t) extra)
            return false;

        for (int k = 1; k <= extra; ++k)
        {
            const unsigned char next = p[i + (size_t) k];
            if ((next & 0xc0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3f);
        }

        static constexpr juce::uint32 smallest[] = { 0, 0x80, 0x800, 0x10000 };
        if (code < smallest[extra] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff))
            return false;

        i += (size_t) extra + 1;
    }
    return true;
}
} // namespace

int measureElementDepth (const juce::String& text)
{
    if (containsRefusedConstructs (text))
        return -1;
    return NestingProbe (text.getCharPointer()).run();
}

std::unique_ptr<juce::XmlElement> parseDocumentText (const juce::String& text)
{
    if (text.isEmpty() || text.getNumBytesAsUTF8() > kMaxDocumentBytes)
        return {};

    const int depth = measureElementDepth (text);
    if (depth < 1 || depth > kMaxElementDepth)
        return {};

    juce::XmlDocument document (text);
    return document.getDocumentElement();
}

bool decodeUtf8 (const void* data, size_t numBytes, juce::String& result)
{
    result = {};
    if (data == nullptr || numBytes == 0)
        return numBytes == 0;

    auto* bytes = static_cast<const unsigned char*> (data);
    if (auto* zero = std::memchr (bytes, 0, numBytes))
        numBytes = (size_t) (static_cast<const unsigned char*> (zero) - bytes);

    if (numBytes >= 3 && bytes[0] == 0xef && bytes[1] == 0xbb && bytes[2] == 0xbf)
    {
        bytes += 3;
        numBytes -= 3;
    }

    if (! isValidUtf8 (bytes, numBytes))
        return false;

    result = juce::String (juce::CharPointer_UTF8 (reinterpret_cast<const char*> (bytes)),
                           juce::CharPointer_UTF8 (reinterpret_cast<const char*> (bytes + numBytes)));
    return true;
}

std::unique_ptr<juce::XmlElement> readHostStateDocument (const void* data, int sizeInBytes)
{
    if (data == nullptr || sizeInBytes <= 8)
        return {};

    auto* bytes = static_cast<const unsigned char*> (data);
    if (juce::ByteOrder::littleEndianInt (bytes) != kHostStateMagic)
        return {};

    const auto storedLength = (size_t) juce::ByteOrder::littleEndianInt (bytes + 4);
    if (storedLength == 0)
        return {};

    const auto available = (size_t) sizeInBytes - 8;
    const auto length = juce::jmin (storedLength, available);
    if (length > kMaxDocumentBytes)
        return {};

    juce::String text;
    if (! decodeUtf8 (bytes + 8, length, text))
        return {};

    return parseDocumentText (text);
}

std::unique_ptr<juce::XmlElement> readDocumentFile (const juce::File& file)
{
    if (! isRegularFile (file))
        return {};

    const auto size = file.getSize();
    if (size <= 0 || (juce::uint64) size > kMaxDocumentBytes)
        return {};

    juce::FileInputStream in (file);
    if (! in.openedOk())
        return {};

    juce::MemoryBlock bytes;
    const auto numRead = in.readIntoMemoryBlock (bytes, (ssize_t) kMaxDocumentBytes + 1);
    if (numRead == 0 || numRead > kMaxDocumentBytes || in.getStatus().failed())
        return {};

    juce::String text;
    if (! decodeUtf8 (bytes.getData(), numRead, text))
        return {};

    return parseDocumentText (text);
}

Number readNumber (const juce::String& text)
{
    Number result;
    auto p = text.getCharPointer().findEndOfWhitespace();

    bool negative = false;
    if (*p == '-' || *p == '+')
    {
        negative = (*p == '-');
        ++p;
    }

    const auto onlyWhiteSpaceFrom = [] (CharPointer q) { return q.findEndOfWhitespace().isEmpty(); };

    // Infinite values, in the spellings number printers use.
    for (auto* word : { "infinity", "inf" })
    {
        const auto len = (int) std::strlen (word);
        if (p.compareIgnoreCaseUpTo (juce::CharPointer_ASCII (word), len) == 0 && onlyWhiteSpaceFrom (p + len))
        {
            result.kind = negative ? Number::Kind::MinusInfinity : Number::Kind::PlusInfinity;
            result.value = negative ? -std::numeric_limits<double>::infinity()
                                    : std::numeric_limits<double>::infinity();
            return result;
        }
    }

    std::string plain (negative ? "-" : "");
    int mantissaDigits = 0;
    bool nonZeroMantissa = false;
    const auto takeDigits = [&] {
        while (p.isDigit())
        {
            const auto c = (char) p.getAndAdvance();
            nonZeroMantissa |= (c != '0');
            ++mantissaDigits;
            if (plain.size() < 400)
                plain += c;
        }
    };

    takeDigits();
    if (*p == '.')
    {
        ++p;
        plain += '.';
        takeDigits();
    }

    if (mantissaDigits == 0)
        return result;

    long exponent = 0;
    bool hugeExponent = false;
    if (*p == 'e' || *p == 'E')
    {
        ++p;
        bool negativeExponent = false;
        if (*p == '-' || *p == '+')
        {
            negativeExponent = (*p == '-');
            ++p;
        }
        if (! p.isDigit())
            return result;

        while (p.isDigit())
        {
            exponent = exponent * 10 + (long) (p.getAndAdvance() - '0');
            if (exponent > 100000)
            {
                hugeExponent = true;
                exponent = 100000;
            }
        }
        if (negativeExponent)
            exponent = -exponent;
    }

    if (! onlyWhiteSpaceFrom (p))
        return result;

    result.kind = Number::Kind::Finite;

    if (! nonZeroMantissa)
    {
        result.value = negative ? -0.0 : 0.0;
        result.plainText = ! hugeExponent && text.length() <= 40;
        return result;
    }

    if (hugeExponent || mantissaDigits > 390)
    {
        // Far beyond any float: decide by magnitude, the digits do not matter.
        if (exponent > 0 || (exponent == 0 && mantissaDigits > 390))
        {
            result.kind = negative ? Number::Kind::MinusInfinity : Number::Kind::PlusInfinity;
            result.value = negative ? -std::numeric_limits<double>::infinity()
                                    : std::numeric_limits<double>::infinity();
        }
        else
        {
            result.value = negative ? -0.0 : 0.0;
        }
        return result;
    }

    plain += 'e';
    plain += std::to_string (exponent);

    std::istringstream stream (plain);
    stream.imbue (std::locale::classic());
    double value = 0.0;
    stream >> value;

    if (stream.fail())
    {
        if (std::abs (value) >= std::numeric_limits<double>::max())
        {
            result.kind = negative ? Number::Kind::MinusInfinity : Number::Kind::PlusInfinity;
            result.value = negative ? -std::numeric_limits<double>::infinity()
                                    : std::numeric_limits<double>::infinity();
        }
        else
        {
            result.value = negative ? -0.0 : 0.0;
        }
        return result;
    }

    if (! std::isfinite (value))
    {
        result.kind = value > 0 ? Number::Kind::PlusInfinity : Number::Kind::MinusInfinity;
        return result;
    }

    result.value = value;
    result.plainText = text.length() <= 40 && std::abs (exponent) < 1000;
    return result;
}

int readInteger (const juce::String& text)
{
    auto p = text.getCharPointer().findEndOfWhitespace();
    const bool negative = (*p == '-');
    if (negative)
        ++p;

    juce::int64 value = 0;
    while (p.isDigit())
    {
        value = value * 10 + (juce::int64) (p.getAndAdvance() - '0');
        if (value > (juce::int64) std::numeric_limits<int>::max() + 1)
            value = (juce::int64) std::numeric_limits<int>::max() + 1;
    }

    if (negative)
        return (int) juce::jmax ((juce::int64) std::numeric_limits<int>::min(), -value);
    return (int) juce::jmin ((juce::int64) std::numeric_limits<int>::max(), value);
}
} // namespace kv::state
