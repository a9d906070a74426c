// The reading of 2.x settings files on arbitrary bytes. Beyond what the
// sanitizers catch, what reaches the handler must keep the file format's
// bounds: values of at most 31 bytes never ending in half a character,
// command words of at most 15 (one-line form) or 14 bytes, command lines
// that fit the line buffer, no command without lines. The values go through
// the number and colour readers as the import does. Lines are also read on
// their own with every limit, which must always make progress.
#include "LegacyIni.h"
#include "TextRoutines.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

class CMemorySource : public CIniByteSource {
public:
    CMemorySource(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    bool ReadByte(char& c) override
    {
        if (m_at >= m_size)
            return false;
        c = static_cast<char>(m_data[m_at++]);
        return true;
    }
    void Unread(unsigned count) override
    {
        if (count > m_at || count > 2) {
            fprintf(stderr, "gave back %u bytes after reading %zu\n", count, m_at);
            abort();
        }
        m_at -= count;
    }
    size_t Position() const { return m_at; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
};

[[noreturn]] void Fail(const char* what, const std::string& text)
{
    fprintf(stderr, "%s: %zu bytes \"%s\"\n", what, text.size(), text.c_str());
    abort();
}

class CCheckingHandler : public CLegacyIniHandler {
public:
    void OnWindowValue(const std::string& key, const std::string& value) override { Check(key, value); }
    void OnOthersValue(const std::string& key, const std::string& value) override { Check(key, value); }

    bool OnCommand(const std::string& word, const std::vector<std::string>& lines) override
    {
        if (word.size() > 15)
            Fail("command word too long", word);
        if (lines.empty())
            Fail("command without lines", word);
        for (const std::string& line : lines) {
            if (line.size() >= kLegacyCommandLineLimit)
                Fail("command line longer than the line buffer", line);
        }
        // Refuse now and then, as a full table would: the one-line form
        // must stop there.
        return (++m_commands % 7) != 0;
    }

private:
    void Check(const std::string& key, const std::string& value)
    {
        // An '=' that is the second byte of a character does not count.
        if (FindChar(key.c_str(), '=', 0) >= 0)
            Fail("key holds an '='", key);
        if (value.size() > kLegacyValueLimit)
            Fail("value too long", value);
        if (CharacterSafeLength(value.c_str(), value.size()) != value.size())
            Fail("value ends in half a character", value);
        (void)ParseDecimal(value.c_str());
        (void)ParseHex(value.c_str());
        (void)ParseLegacyColour(value);
    }

    unsigned m_commands = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    {
        CMemorySource source(data, size);
        CCheckingHandler handler;
        const int result = ReadLegacyIni(source, handler);
        if (result != 0 && result != 1)
            abort();
    }
    // Every line limit the reader may meet, from the smallest it allows.
    for (std::size_t limit : {std::size_t{3}, std::size_t{4}, kLegacyOuterLineLimit, kLegacyValueLineLimit,
                              kLegacyCommandLineLimit}) {
        CMemorySource source(data, size);
        std::vector<char> buffer(limit);
        for (;;) {
            const size_t before = source.Position();
            const IniLineStatus status = ReadIniLine(source, buffer.data(), limit);
            if (status == IniLineStatus::End)
                break;
            const std::string line(buffer.data());
            if (line.size() >= limit)
                Fail("line longer than its limit", line);
            if (source.Position() <= before)
                Fail("a line read made no progress", line);
        }
    }
    return 0;
}
