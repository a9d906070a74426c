// The document reader: one pass over the file, in large blocks, building the
// tree through the node bodies as it goes.
//
// The file is read 64 KB at a time and decoded into a block of UTF-16 code
// units; the parsing routines scan that block with plain pointers and copy
// whole runs (names, values, text) into strings, spilling into a scratch
// buffer only when a run crosses a block boundary or holds references.
// Lines and columns are counted a block at a time when the block is used up
// and, for an error, up to the character in hand, so the common path does
// not count per character.
//
// Nesting is handled by an explicit stack of open elements, so the depth of
// a document never becomes the depth of the call stack. An element is put
// into its parent only when its end tag has been read: until then its
// parent chain is empty and every insertion check stays O(1) however deep
// the document is. Each open element is held by one reference of the stack,
// which a failed parse lets go of.
#include "velum/Velum.h"

#include "AsciiNames.h"
#include "ErrorMessage.h"
#include "FileIo.h"
#include "Pool.h"
#include "TreeMemory.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#  include <emmintrin.h>
#endif

namespace Velum {

// Entities.cpp: the value of a character entity name, false when unknown.
bool FindEntity(const Velum_CHAR* name, unsigned long length, Velum_CHAR& value);

namespace {

// ---------------------------------------------------------------------------
// Characters
// ---------------------------------------------------------------------------

const Velum_CHAR kLf = 0x0A;
const Velum_CHAR kCr = 0x0D;

inline bool IsSpace(Velum_CHAR c)
{
    return c <= 0x20 && ((0x100002600ULL >> c) & 1) != 0;
}

inline bool IsNameStart(Velum_CHAR c)
{
    return c < 0x80 ? AsciiNames::isStart(c) : VelumString::isLetter(c);
}

inline bool IsNameChar(Velum_CHAR c)
{
    return c < 0x80 ? AsciiNames::isChar(c) : VelumString::isNameChar(c);
}

// The characters XML 1.0 allows in a public identifier.
bool IsPubidChar(Velum_CHAR c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    return c == 0x20 || c == kCr || c == kLf || (c < 0x80 && c != 0 && std::strchr("-'()+,./:=?;!*#@$_%", c));
}

// The capital of a-z, of the Greek small letters and of the full-width a-z;
// every other code unit is its own capital.
Velum_CHAR FoldCase(Velum_CHAR c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 0x03B1 && c <= 0x03C9 && c != 0x03C2) || (c >= 0xFF41 && c <= 0xFF5A))
        return static_cast<Velum_CHAR>(c - 0x20);
    return c;
}

bool EqualsFolded(const VelumString& text, const char* ascii)
{
    const Velum_CHAR* p = text;
    const unsigned long length = text.getLength();
    for (unsigned long i = 0; i < length; ++i) {
        if (ascii[i] == 0 || FoldCase(p[i]) != FoldCase(static_cast<Velum_CHAR>(ascii[i])))
            return false;
    }
    return ascii[length] == 0;
}

// Lines and columns over text: a character after CR, or an LF, starts a new
// line at column 1; any other adds one column. Counted as breaks (LF, or
// anything after CR) over the whole run, then the column from the last one.
// AddBreaks does the second half for a run whose breaks are already known.
void AddBreaks(const Velum_CHAR* text, std::size_t count, std::size_t breaks, std::uint32_t& line,
               std::uint32_t& column, Velum_CHAR& previous)
{
    if (count == 0)
        return;
    if (breaks == 0) {
        column += static_cast<std::uint32_t>(count);
    } else {
        std::size_t last = count;
        for (;;) {
            --last;
            if (text[last] == kLf || (last != 0 ? text[last - 1] : previous) == kCr)
                break;
        }
        line += static_cast<std::uint32_t>(breaks);
        column = static_cast<std::uint32_t>(count - last);
    }
    previous = text[count - 1];
}

// The breaks in [text + 1, text + count): units at which an LF stands or
// which follow a CR. Works on code units and on UTF-8 bytes alike, since in
// UTF-8 neither byte is part of a longer character and the byte after a CR
// always starts one.
template <typename Unit>
std::size_t CountBreaksAfterFirst(const Unit* text, std::size_t count)
{
    std::size_t breaks = 0;
    std::size_t i = 1;
#if defined(__SSE2__)
    // Sixteen units a step, as bytes: a code unit past 0xFF is narrowed to
    // 0 or 0xFF, neither LF nor CR. Each byte lane counts at most 255 steps
    // before the lanes are added up.
    const __m128i lf = _mm_set1_epi8(static_cast<char>(kLf));
    const __m128i cr = _mm_set1_epi8(static_cast<char>(kCr));
    while (count - i >= 16) {
        std::size_t rounds = (count - i) / 16;
        if (rounds > 255)
            rounds = 255;
        __m128i lanes = _mm_setzero_si128();
        for (const Unit* const stop = text + i + rounds * 16; text + i != stop; i += 16) {
            __m128i here, before;
            if (sizeof(Unit) == 1) {
                here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
                before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i - 1));
            } else {
                here = _mm_packus_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i)),
                                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i + 8)));
                before = _mm_packus_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i - 1)),
                                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i + 7)));
            }
            lanes = _mm_sub_epi8(lanes, _mm_or_si128(_mm_cmpeq_epi8(here, lf), _mm_cmpeq_epi8(before, cr)));
        }
        lanes = _mm_sad_epu8(lanes, _mm_setzero_si128());
        breaks += static_cast<std::size_t>(_mm_cvtsi128_si32(lanes)) +
                  static_cast<std::size_t>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(lanes, lanes)));
    }
#endif
    for (; i < count; ++i)
        breaks += static_cast<std::size_t>((text[i] == kLf) | (text[i - 1] == kCr));
    return breaks;
}

void AdvancePosition(const Velum_CHAR* text, std::size_t count, std::uint32_t& line, std::uint32_t& column,
                     Velum_CHAR& previous)
{
    if (count == 0)
        return;
    const std::size_t breaks = ((text[0] == kLf || previous == kCr) ? 1 : 0) + CountBreaksAfterFirst(text, count);
    AddBreaks(text, count, breaks, line, column, previous);
}

// The first of [p, end) that is a, b or c, which are ASCII; end when there is
// none.
inline const Velum_CHAR* FindAny(const Velum_CHAR* p, const Velum_CHAR* end, Velum_CHAR a, Velum_CHAR b,
                                 Velum_CHAR c)
{
#if defined(__SSE2__)
    // a, b and c are ASCII: sixteen units a step, narrowed to bytes, where a
    // unit past 0xFF becomes 0 or 0xFF and so matches none of them.
    const __m128i va = _mm_set1_epi8(static_cast<char>(a));
    const __m128i vb = _mm_set1_epi8(static_cast<char>(b));
    const __m128i vc = _mm_set1_epi8(static_cast<char>(c));
    for (; end - p >= 16; p += 16) {
        const __m128i v = _mm_packus_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
                                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8)));
        const __m128i hit =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb)), _mm_cmpeq_epi8(v, vc));
        const int mask = _mm_movemask_epi8(hit);
        if (mask != 0)
            return p + __builtin_ctz(static_cast<unsigned>(mask));
    }
#endif
    for (; p < end; ++p) {
        if (*p == a || *p == b || *p == c)
            break;
    }
    return p;
}

// The first of [p, end) that is not whitespace; end when there is none.
inline const Velum_CHAR* SkipSpaces(const Velum_CHAR* p, const Velum_CHAR* end)
{
#if defined(__SSE2__)
    const __m128i space = _mm_set1_epi16(0x20);
    const __m128i tab = _mm_set1_epi16(0x09);
    const __m128i lf = _mm_set1_epi16(0x0A);
    const __m128i cr = _mm_set1_epi16(0x0D);
    for (; end - p >= 8; p += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i blank = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(v, space), _mm_cmpeq_epi16(v, tab)),
                                           _mm_or_si128(_mm_cmpeq_epi16(v, lf), _mm_cmpeq_epi16(v, cr)));
        const int mask = _mm_movemask_epi8(blank) ^ 0xFFFF;
        if (mask != 0)
            return p + (__builtin_ctz(static_cast<unsigned>(mask)) >> 1);
    }
#endif
    while (p < end && IsSpace(*p))
        ++p;
    return p;
}

[[noreturn]] void OutOfMemory()
{
    throw VelumException(VelumException::OUT_OF_MEMORY_ERR);
}

// ---------------------------------------------------------------------------
// How a parse ends early (none of these leaves the library)
// ---------------------------------------------------------------------------

// The file has no more characters.
struct EndOfInput {};
// A byte sequence that is no UTF-8; ends the parse without a message.
struct DecodeFailure {};
// A syntax error whose message is already in m_errorMessage.
struct SyntaxError {};

// ---------------------------------------------------------------------------
// Scratch text
// ---------------------------------------------------------------------------

// A growable run of code units for text that cannot be taken from the block
// in one piece. Owns its buffer.
class Scratch {
public:
    Scratch() : m_data(nullptr), m_length(0), m_capacity(0) {}
    ~Scratch() { std::free(m_data); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    void clear() { m_length = 0; }
    const Velum_CHAR* data() const { return m_data; }
    std::size_t length() const { return m_length; }

    void append(const Velum_CHAR* text, std::size_t count)
    {
        if (count == 0)
            return;
        if (count > m_capacity - m_length)
            grow(count);
        std::memcpy(m_data + m_length, text, count * sizeof(Velum_CHAR));
        m_length += count;
    }
    void append(const Scratch& other) { append(other.m_data, other.m_length); }
    void append(const char* ascii)
    {
        for (; *ascii != 0; ++ascii)
            push(static_cast<Velum_CHAR>(*ascii));
    }
    void push(Velum_CHAR c)
    {
        if (m_length == m_capacity)
            grow(1);
        m_data[m_length++] = c;
    }
    VelumString str() const { return m_length != 0 ? VelumString(m_data, m_length) : VelumString(); }

private:
    void grow(std::size_t extra)
    {
        const std::size_t limit = static_cast<std::size_t>(-1) / (2 * sizeof(Velum_CHAR));
        if (extra > limit - m_length)
            OutOfMemory();
        std::size_t capacity = m_capacity < 256 ? 256 : m_capacity;
        while (capacity < m_length + extra)
            capacity *= 2;
        void* data = std::realloc(m_data, capacity * sizeof(Velum_CHAR));
        if (data == nullptr)
            OutOfMemory();
        m_data = static_cast<Velum_CHAR*>(data);
        m_capacity = capacity;
    }

    Velum_CHAR* m_data;
    std::size_t m_length;
    std::size_t m_capacity;
};

// Names are short: four code units at a time beats a call of memcmp.
inline bool Same(const Velum_CHAR* a, const Velum_CHAR* b, std::size_t length)
{
    std::uint64_t x, y;
    if (length < 4) {
        for (; length != 0; --length, ++a, ++b) {
            if (*a != *b)
                return false;
        }
        return true;
    }
    // The first four and the last four (overlapping below eight), which is
    // all of most names, then the four-unit steps between them.
    std::memcpy(&x, a, 8);
    std::memcpy(&y, b, 8);
    if (x != y)
        return false;
    std::memcpy(&x, a + length - 4, 8);
    std::memcpy(&y, b + length - 4, 8);
    if (x != y)
        return false;
    for (std::size_t i = 4; i + 4 < length; i += 4) {
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        if (x != y)
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Shared strings
// ---------------------------------------------------------------------------

// The strings already made for names and short whitespace runs, so that
// every node of one name (and every "\r\n\t\t" between elements) shares one
// body. Probes are bounded and the table stops growing at a fixed size, so
// a file full of distinct or colliding names costs no more than making a
// new string for each.
class StringTable {
public:
    StringTable() : m_slots(nullptr), m_mask(0), m_count(0) {}
    ~StringTable() { delete[] m_slots; }
    StringTable(const StringTable&) = delete;
    StringTable& operator=(const StringTable&) = delete;

    // The hash of a name or layout run, computed only when get does not
    // find the string among the recent ones (most of the time it does).
    class Hash {
    public:
        Hash(const Velum_CHAR* text, std::size_t length) : m_text(text), m_length(length) {}

        // Names and layout runs are short: a run of four to eight code units
        // is two overlapping loads, a longer one adds a load per four, and
        // only a run under four is put together unit by unit.
        unsigned value() const
        {
            const std::uint64_t k1 = 0x9E3779B97F4A7C15ULL;
            const std::uint64_t k2 = 0xC2B2AE3D27D4EB4FULL;
            const Velum_CHAR* const text = m_text;
            const std::size_t length = m_length;
            std::uint64_t h = length * k2;
            std::uint64_t word;
            if (length >= 4) {
                if (length > 4) {
                    std::memcpy(&word, text, 8);
                    h = (h ^ word) * k1;
                    for (std::size_t i = 4; i + 4 < length; i += 4) {
                        std::memcpy(&word, text + i, 8);
                        h = (h ^ word) * k1;
                    }
                }
                std::memcpy(&word, text + length - 4, 8);
            } else {
                word = length == 0 ? 0 : text[0] | (static_cast<std::uint64_t>(text[length - 1]) << 16) |
                                             (static_cast<std::uint64_t>(text[length >> 1]) << 32);
            }
            h = (h ^ word) * k2;
            return static_cast<unsigned>(h >> 32);
        }

    private:
        const Velum_CHAR* m_text;
        std::size_t m_length;
    };

    static Hash hash(const Velum_CHAR* text, std::size_t length) { return Hash(text, length); }

    // The shared string for text (never empty); key is hash(text, length).
    // Valid until the next call.
    __attribute__((always_inline)) const VelumString& get(const Velum_CHAR* text, std::size_t length, Hash key)
    {
        // The same few names and layouts come again and again: the slot
        // last found for this length and these end units is tried first.
        Recent& recent = m_recent[(length ^ (text[0] << 2) ^ (text[length - 1] << 5)) & (kRecent - 1)];
        if (recent.length == length && Same(recent.chars, text, length))
            return m_slots[recent.slot].text;
        const unsigned h = key.value();
        unsigned at = h & m_mask;
        for (unsigned probe = 0; probe < kMaxProbes; ++probe, at = (at + 1) & m_mask) {
            Slot& slot = m_slots[at];
            if (slot.hash == h && slot.length == length && Same(slot.chars, text, length)) {
                recent = Recent{length, slot.chars, at};
                return slot.text;
            }
            if (slot.length == 0) {
                if (m_count >= kMaxEntries)
                    break;
                slot.text = VelumString(text, static_cast<unsigned long>(length));
                slot.hash = h;
                slot.length = length;
                slot.chars = slot.text;
                ++m_count;
                if (m_count * 2 <= m_mask + 1 || m_mask + 1 >= kMaxSlots) {
                    recent = Recent{length, slot.chars, at};
                    return slot.text;
                }
                m_spare = slot.text;
                grow();
                return m_spare;
            }
        }
        m_spare = VelumString(text, static_cast<unsigned long>(length));
        return m_spare;
    }

    // Makes the first slots; the parse calls it before the first get.
    void start() { allocate(kInitialSlots); }

private:
    // A copy of the string's length and text beside it, so that a probe
    // reads only the slot.
    struct Slot {
        unsigned hash = 0;
        std::size_t length = 0;  // 0: a free slot (names and runs are never empty)
        const Velum_CHAR* chars = nullptr;
        VelumString text;
    };

    // A slot found before; length 0 when none. Slots move when the table
    // grows, which empties all of these.
    struct Recent {
        std::size_t length;
        const Velum_CHAR* chars;
        unsigned slot;
    };

    static constexpr unsigned kRecent = 64;
    static constexpr unsigned kInitialSlots = 256;
    static constexpr unsigned kMaxSlots = 1u << 17;
    static constexpr unsigned kMaxEntries = kMaxSlots / 2;
    static constexpr unsigned kMaxProbes = 32;

    void allocate(unsigned count)
    {
        m_slots = new (std::nothrow) Slot[count];
        if (m_slots == nullptr)
            OutOfMemory();
        m_mask = count - 1;
    }

    void grow()
    {
        Slot* old = m_slots;
        const unsigned oldCount = m_mask + 1;
        m_slots = nullptr;
        try {
            allocate(oldCount * 2);
        } catch (...) {
            // The smaller table still works; it only fills sooner.
            m_slots = old;
            m_mask = oldCount - 1;
            return;
        }
        for (unsigned i = 0; i < oldCount; ++i) {
            if (old[i].length == 0)
                continue;
            unsigned at = old[i].hash & m_mask;
            while (m_slots[at].length != 0)
                at = (at + 1) & m_mask;
            m_slots[at] = old[i];
        }
        delete[] old;
        for (Recent& recent : m_recent)
            recent.length = 0;
    }

    Slot* m_slots;
    unsigned m_mask;
    unsigned m_count;
    Recent m_recent[kRecent] = {};
    VelumString m_spare;  // what get returns when no slot holds the string
};

// Keeps a new body (count 0) alive while it is being inserted, and frees
// it if the insertion fails.
class Hold {
public:
    explicit Hold(NodeInst* node) : m_node(node) { m_node->addRef(); }
    ~Hold() { m_node->removeRef(); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
    NodeInst* get() const { return m_node; }

private:
    NodeInst* m_node;
};

template <typename T, typename... Args>
T* NewNode(const Args&... args)
{
    T* node = new (std::nothrow) T(args...);
    if (node == nullptr)
        OutOfMemory();
    return node;
}

// Saves a disk file's position, moves to its start, and puts the position
// back when the parse returns, whichever way it does.
class PositionKeeper {
public:
    explicit PositionKeeper(void* file) : m_file(file), m_saved(false), m_ready(true), m_position(0)
    {
        if (!isDiskFile(file))
            return;
        m_saved = tellFile(file, &m_position);
        m_ready = m_saved && seekFile(file, 0);
    }
    ~PositionKeeper()
    {
        if (m_saved)
            seekFile(m_file, m_position);
    }
    PositionKeeper(const PositionKeeper&) = delete;
    PositionKeeper& operator=(const PositionKeeper&) = delete;
    bool ready() const { return m_ready; }

private:
    void* m_file;
    bool m_saved;
    bool m_ready;
    unsigned long long m_position;
};

}  // namespace

// ---------------------------------------------------------------------------
// The parse
// ---------------------------------------------------------------------------

class ParserImpl {
public:
    explicit ParserImpl(void* file);
    ~ParserImpl();
    ParserImpl(const ParserImpl&) = delete;
    ParserImpl& operator=(const ParserImpl&) = delete;

    Document run();

private:
    static constexpr std::size_t kRawSize = 64 * 1024;
    static constexpr std::size_t kChunk = 16 * 1024;  // code units decoded at a time
    static constexpr std::size_t kMaxSharedSpace = 64;

    // Reading and decoding.
    bool fillRaw();
    void ensureRaw(std::size_t count);
    std::size_t decode();
    void refill();
    Velum_CHAR get()
    {
        if (m_pos == m_end)
            refill();
        return *m_pos++;
    }
    // Steps back over the character just read; it is always still in the
    // block, since refill only runs before a character is taken.
    void unget() { --m_pos; }
    Velum_CHAR skipSpace();
    bool expectWord(const char* word);

    // Failures.
    [[noreturn]] void fail(const char* message);
    // message followed by " : line L column C", the position after the
    // character in hand, as every positioned message has it.
    VelumString positioned(const char* message) const;
    [[noreturn]] void failPlain(const char* message);

    // The pieces of a document.
    void readStart();
    void parseDeclaration();
    void parseDocumentElement();
    // name refers to a shared string, valid until the next name is read.
    __attribute__((always_inline)) inline Velum_CHAR parseName(const VelumString*& name);
    __attribute__((noinline)) Velum_CHAR parseNameOnward(const VelumString*& name, const Velum_CHAR* start,
                                                         const Velum_CHAR* p);
    void parseAttribute(Velum_CHAR first, const VelumString*& name, VelumString& value);
    __attribute__((always_inline)) inline void parseAttributeValue(Velum_CHAR quote, VelumString& value);
    void reference(Scratch& out);
    __attribute__((always_inline)) inline Velum_CHAR readText();
    __attribute__((always_inline)) inline bool startElement();
    void endTag();
    __attribute__((noinline)) void endTagOnward(const Velum_CHAR* text, std::size_t length);
    void closeTop();
    void reserveOpen();
    void appendToOpen(NodeInst* node);
    void appendToDocument(NodeInst* node);
    void collectUntil(Scratch& out, Velum_CHAR mark, bool doubled);
    void collectWithoutZero(Scratch& out, Velum_CHAR mark, bool doubled);
    NodeInst* parseProcessingInstruction();
    void parseMarkupInElement();
    void parseDoctype();
    void parseInternalSubset(Scratch& out);
    Velum_CHAR copyName(Velum_CHAR first, Scratch& out);
    void copyLiteral(Velum_CHAR quote, Scratch& out, bool publicId);
    [[noreturn]] void failDtd() { fail("Invalid DTD"); }

    void* m_file;
    unsigned short m_encoding;
    // Position of the first code unit of the current block; see fail.
    std::uint32_t m_line;
    std::uint32_t m_column;
    Velum_CHAR m_previous;

    Document m_document;  // the tree under construction; dropped on failure
    DocumentInst* m_doc;  // its body
    bool m_haveRoot;

    unsigned char* m_raw;  // bytes read, not yet decoded from m_rawPos on
    std::size_t m_rawPos;
    std::size_t m_rawEnd;
    bool m_rawEnded;
    bool m_decodeFailed;   // the bytes at m_rawPos are no UTF-8
    // UTF-8: the line breaks among the characters of the current block,
    // and whether the last byte decoded was a CR (the next character then
    // starts a line).
    std::size_t m_blockBreaks;
    bool m_afterCr;

    Velum_CHAR* m_chars;   // the decoded block
    const Velum_CHAR* m_pos;
    const Velum_CHAR* m_end;

    Scratch m_text;        // values and text
    Scratch m_word;        // names and reference names
    StringTable m_shared;

    ElementInst** m_open;  // open elements, one reference each
    std::size_t m_depth;
    std::size_t m_openCapacity;
};

ParserImpl::ParserImpl(void* file)
    : m_file(file),
      m_encoding(0),
      m_line(1),
      m_column(1),
      m_previous(0),
      m_doc(nullptr),
      m_haveRoot(false),
      m_raw(nullptr),
      m_rawPos(0),
      m_rawEnd(0),
      m_rawEnded(false),
      m_decodeFailed(false),
      m_blockBreaks(0),
      m_afterCr(false),
      m_chars(nullptr),
      m_pos(nullptr),
      m_end(nullptr),
      m_open(nullptr),
      m_depth(0),
      m_openCapacity(0)
{
}

ParserImpl::~ParserImpl()
{
    // Open elements are not linked to each other yet, so each release frees
    // one partial subtree.
    while (m_depth != 0)
        m_open[--m_depth]->removeRef();
    std::free(m_open);
    std::free(m_chars);
    std::free(m_raw);
}

// ---------------------------------------------------------------------------
// Reading and decoding
// ---------------------------------------------------------------------------

// Moves what is left of the raw block to its start and reads behind it.
// False at the end of the file; a read error counts as the end.
bool ParserImpl::fillRaw()
{
    if (m_rawEnded)
        return false;
    const std::size_t left = m_rawEnd - m_rawPos;
    if (left != 0 && m_rawPos != 0)
        std::memmove(m_raw, m_raw + m_rawPos, left);
    m_rawPos = 0;
    m_rawEnd = left;
    const long read = readFile(m_file, m_raw + left, static_cast<unsigned long>(kRawSize - left));
    if (read <= 0) {
        m_rawEnded = true;
        return false;
    }
    m_rawEnd += static_cast<std::size_t>(read);
    return true;
}

void ParserImpl::ensureRaw(std::size_t count)
{
    while (m_rawEnd - m_rawPos < count) {
        if (!fillRaw())
            throw EndOfInput();
    }
}

// Decodes whole characters from the raw block into m_chars and returns how
// many. A sequence cut by the end of the raw block stays there for the next
// read; a bad one sets m_decodeFailed after the characters before it.
std::size_t ParserImpl::decode()
{
    const unsigned char* in = m_raw + m_rawPos;
    const unsigned char* const inEnd = m_raw + m_rawEnd;
    Velum_CHAR* out = m_chars;
    Velum_CHAR* const outEnd = m_chars + kChunk;

    if (m_encoding == ENCODING_UTF8) {
        const unsigned char* const from = in;
        while (out < outEnd && in < inEnd) {
            const unsigned lead = *in;
            if (lead < 0x80) {
                // A run of ASCII, many bytes at a time, as long as both
                // blocks have room for a whole step; the last few bytes
                // before either end go one by one.
                std::size_t room = static_cast<std::size_t>(outEnd - out);
                if (room > static_cast<std::size_t>(inEnd - in))
                    room = static_cast<std::size_t>(inEnd - in);
#if defined(__SSE2__)
                const __m128i zero = _mm_setzero_si128();
                for (; room >= 32; room -= 32) {
                    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
                    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16));
                    if (_mm_movemask_epi8(_mm_or_si128(first, second)) != 0)
                        break;  // the steps of sixteen find where
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(first, zero));
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpackhi_epi8(first, zero));
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpacklo_epi8(second, zero));
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 24), _mm_unpackhi_epi8(second, zero));
                    in += 32;
                    out += 32;
                }
                for (; room >= 16; room -= 16) {
                    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
                    const int high = _mm_movemask_epi8(bytes);
                    // All sixteen are stored; past the first non-ASCII byte
                    // they are scratch that the next characters overwrite.
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(bytes, zero));
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpackhi_epi8(bytes, zero));
                    if (high != 0) {
                        const int ascii = __builtin_ctz(static_cast<unsigned>(high));
                        in += ascii;
                        out += ascii;
                        room = 0;  // the byte in hand is no ASCII
                        break;
                    }
                    in += 16;
                    out += 16;
                }
#else
                for (; room >= 8; room -= 8) {
                    std::uint64_t word;
                    std::memcpy(&word, in, 8);
                    if ((word & 0x8080808080808080ULL) != 0)
                        break;
                    for (int k = 0; k < 8; ++k)
                        out[k] = in[k];
                    in += 8;
                    out += 8;
                }
#endif
                for (; room != 0 && *in < 0x80; --room)
                    *out++ = *in++;
                continue;
            }
            // Three bytes, lead E1 to EF: most of a Japanese text.
            if (lead - 0xE1u <= 0xEFu - 0xE1u && inEnd - in >= 3 && ((in[1] & 0xC0) == 0x80) &&
                ((in[2] & 0xC0) == 0x80)) {
                *out++ = static_cast<Velum_CHAR>(((lead & 0x0F) << 12) | ((in[1] & 0x3F) << 6) | (in[2] & 0x3F));
                in += 3;
                continue;
            }
            if (lead < 0xC2 || lead > 0xEF) {
                m_decodeFailed = true;
                break;
            }
            if (inEnd - in < 2)
                break;
            const unsigned second = in[1];
            if (lead < 0xE0) {
                if ((second & 0xC0) != 0x80) {
                    m_decodeFailed = true;
                    break;
                }
                *out++ = static_cast<Velum_CHAR>(((lead & 0x1F) << 6) | (second & 0x3F));
                in += 2;
                continue;
            }
            if (lead == 0xE0 ? (second < 0xA0 || second > 0xBF) : ((second & 0xC0) != 0x80)) {
                m_decodeFailed = true;
                break;
            }
            if (inEnd - in < 3)
                break;
            const unsigned third = in[2];
            if ((third & 0xC0) != 0x80) {
                m_decodeFailed = true;
                break;
            }
            *out++ = static_cast<Velum_CHAR>(((lead & 0x0F) << 12) | ((second & 0x3F) << 6) | (third & 0x3F));
            in += 3;
        }
        // The block's line breaks, counted on the bytes while they are at
        // hand: fewer steps than on the characters.
        if (in != from) {
            m_blockBreaks += static_cast<std::size_t>(*from == kLf || m_afterCr) +
                             CountBreaksAfterFirst(from, static_cast<std::size_t>(in - from));
            m_afterCr = in[-1] == kCr;
        }
    } else {
        std::size_t pairs = static_cast<std::size_t>(inEnd - in) / 2;
        if (pairs > static_cast<std::size_t>(outEnd - out))
            pairs = static_cast<std::size_t>(outEnd - out);
        if (m_encoding == ENCODING_UTF16BE) {
            for (std::size_t i = 0; i < pairs; ++i)
                out[i] = static_cast<Velum_CHAR>((in[2 * i] << 8) | in[2 * i + 1]);
        } else {
            for (std::size_t i = 0; i < pairs; ++i)
                out[i] = static_cast<Velum_CHAR>(in[2 * i] | (in[2 * i + 1] << 8));
        }
        in += 2 * pairs;
        out += pairs;
    }
    m_rawPos = static_cast<std::size_t>(in - m_raw);
    return static_cast<std::size_t>(out - m_chars);
}

// The next block of characters. Called only when the current one is used
// up; its positions are counted before it goes.
void ParserImpl::refill()
{
    const std::size_t count = static_cast<std::size_t>(m_end - m_chars);
    if (m_encoding == ENCODING_UTF8)
        AddBreaks(m_chars, count, m_blockBreaks, m_line, m_column, m_previous);
    else
        AdvancePosition(m_chars, count, m_line, m_column, m_previous);
    m_blockBreaks = 0;
    m_pos = m_end = m_chars;
    for (;;) {
        if (m_decodeFailed)
            throw DecodeFailure();
        const std::size_t count = decode();
        if (count != 0) {
            m_end = m_chars + count;
            return;
        }
        if (m_decodeFailed)
            throw DecodeFailure();
        // A sequence cut short by the end of the file is dropped with it.
        if (!fillRaw())
            throw EndOfInput();
    }
}

// The first character that is not whitespace.
Velum_CHAR ParserImpl::skipSpace()
{
    for (;;) {
        const Velum_CHAR* const end = m_end;
        const Velum_CHAR* p = m_pos;
        // Most calls stand on the character wanted already.
        if (p < end && !IsSpace(*p)) {
            m_pos = p + 1;
            return *p;
        }
        p = SkipSpaces(p, end);
        if (p < end) {
            m_pos = p + 1;
            return *p;
        }
        m_pos = p;
        refill();
    }
}

// Reads as many characters as word has, stopping at the first that differs.
bool ParserImpl::expectWord(const char* word)
{
    for (; *word != 0; ++word) {
        if (get() != static_cast<Velum_CHAR>(*word))
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Failures
// ---------------------------------------------------------------------------

// Records message with the position after the character in hand and ends
// the parse.
VelumString ParserImpl::positioned(const char* message) const
{
    std::uint32_t line = m_line;
    std::uint32_t column = m_column;
    Velum_CHAR previous = m_previous;
    if (m_chars != nullptr)
        AdvancePosition(m_chars, static_cast<std::size_t>(m_pos - m_chars), line, column, previous);
    VelumString text(message);
    text += " : line ";
    text += static_cast<unsigned int>(line);
    text += " column ";
    text += static_cast<unsigned int>(column);
    return text;
}

void ParserImpl::fail(const char* message)
{
    SetErrorMessage(positioned(message));
    throw SyntaxError();
}

void ParserImpl::failPlain(const char* message)
{
    SetErrorMessage(VelumString(message));
    throw SyntaxError();
}

// ---------------------------------------------------------------------------
// Start of the document
// ---------------------------------------------------------------------------

// The encoding from the first bytes, and "<?xml". The columns consumed here
// are counted as characters, the byte-order mark as one.
void ParserImpl::readStart()
{
    ensureRaw(2);
    const unsigned char first = m_raw[0];
    const unsigned char second = m_raw[1];
    if ((first == 0xFE && second == 0xFF) || (first == 0xFF && second == 0xFE)) {
        m_encoding = first == 0xFE ? ENCODING_UTF16BE : ENCODING_UTF16LE;
        m_rawPos = 2;
        m_column = 2;
        if (!expectWord("<?xml"))
            failPlain("document is not XML");
    } else if ((first == 0x00 && second == '<') || (first == '<' && second == 0x00)) {
        m_encoding = first == 0x00 ? ENCODING_UTF16BE : ENCODING_UTF16LE;
        m_rawPos = 2;
        m_column = 2;
        m_previous = '<';
        if (!expectWord("?xml"))
            failPlain("document is not XML");
    } else if (first == '<' && second == '?') {
        m_encoding = ENCODING_UTF8;
        ensureRaw(5);
        if (std::memcmp(m_raw + 2, "xml", 3) != 0)
            failPlain("document is not XML");
        m_rawPos = 5;
        m_column = 6;
        m_previous = 'l';
    } else if (first == 0xEF && second == 0xBB) {
        ensureRaw(3);
        if (m_raw[2] != 0xBF)
            failPlain("unknown BOM");
        m_encoding = ENCODING_UTF8;
        ensureRaw(8);
        if (std::memcmp(m_raw + 3, "<?xml", 5) != 0)
            failPlain("document is not XML");
        m_rawPos = 8;
        m_column = 7;
        m_previous = 'l';
    } else {
        failPlain("unknown BOM");
    }
}

// The rest of the XML declaration, after "<?xml".
void ParserImpl::parseDeclaration()
{
    if (!IsSpace(get()))
        failPlain("document is not XML");
    VelumString version;
    VelumString encoding;
    VelumString standalone;
    bool hasEncoding = false;
    for (Velum_CHAR c = skipSpace(); c != '?'; c = skipSpace()) {
        const VelumString* name = nullptr;
        VelumString value;
        parseAttribute(c, name, value);
        if (*name == "version") {
            version = value;
        } else if (*name == "encoding") {
            encoding = value;
            hasEncoding = true;
        } else if (*name == "standalone") {
            standalone = value;
        }
    }
    if (get() != '>')
        failPlain("document is not XML");
    // UTF-16 files say what they like: the bytes have already told.
    if (m_encoding == ENCODING_UTF8 && hasEncoding && !EqualsFolded(encoding, "UTF-8"))
        failPlain("unknown encoding type");
    StringMember::assign(m_doc, m_doc->m_version, version);
    if (standalone == "yes")
        m_doc->m_standalone = 1;
    else if (standalone == "no")
        m_doc->m_standalone = 0;
}

// ---------------------------------------------------------------------------
// Names, attributes, references
// ---------------------------------------------------------------------------

// A name whose first character (a name-start character) was just read; the
// character after the name is read and returned.
Velum_CHAR ParserImpl::parseName(const VelumString*& name)
{
    const Velum_CHAR* const start = m_pos - 1;
    const Velum_CHAR* const p = AsciiNames::skipChars(m_pos, m_end);
    // Most names are ASCII and end inside the block.
    if (p < m_end && *p < 0x80) {
        m_pos = p + 1;
        const std::size_t length = static_cast<std::size_t>(p - start);
        name = &m_shared.get(start, length, StringTable::hash(start, length));
        return *p;
    }
    return parseNameOnward(name, start, p);
}

// parseName from p on, where a character beyond ASCII or the end of the
// block stopped the quick scan.
Velum_CHAR ParserImpl::parseNameOnward(const VelumString*& name, const Velum_CHAR* start, const Velum_CHAR* p)
{
    const Velum_CHAR* end = m_end;
    bool spilled = false;
    for (;;) {
        for (;;) {
            if (p == end || *p < 0x80 || !VelumString::isNameChar(*p))
                break;
            p = AsciiNames::skipChars(p + 1, end);
        }
        if (p < end)
            break;
        // The name goes on in the next block.
        if (!spilled)
            m_word.clear();
        m_word.append(start, static_cast<std::size_t>(p - start));
        spilled = true;
        m_pos = p;
        refill();
        p = start = m_pos;
        end = m_end;
        p = AsciiNames::skipChars(p, end);
    }
    m_pos = p + 1;
    if (!spilled) {
        const std::size_t length = static_cast<std::size_t>(p - start);
        name = &m_shared.get(start, length, StringTable::hash(start, length));
    } else {
        m_word.append(start, static_cast<std::size_t>(p - start));
        name = &m_shared.get(m_word.data(), m_word.length(), StringTable::hash(m_word.data(), m_word.length()));
    }
    return *p;
}

// name="value" or name='value', first being the character already read.
void ParserImpl::parseAttribute(Velum_CHAR first, const VelumString*& name, VelumString& value)
{
    if (!IsNameStart(first))
        fail("invalid attribute name");
    Velum_CHAR c = parseName(name);
    if (IsSpace(c)) {
        if (skipSpace() != '=')
            fail("invalid attribute");
    } else if (c != '=') {
        fail("invalid attribute name");
    }
    c = skipSpace();
    if (c != '"' && c != '\'')
        fail("invalid attribute value");
    parseAttributeValue(c, value);
}

// The value up to the closing quote, references decoded, "<" refused.
void ParserImpl::parseAttributeValue(Velum_CHAR quote, VelumString& value)
{
    const Velum_CHAR* start = m_pos;
    const Velum_CHAR* p = m_pos;
    const Velum_CHAR* end = m_end;
    bool spilled = false;
    for (;;) {
        p = FindAny(p, end, quote, '<', '&');
        if (p < end && *p == quote)
            break;
        if (!spilled)
            m_text.clear();
        spilled = true;
        m_text.append(start, static_cast<std::size_t>(p - start));
        m_pos = p;
        if (p == end) {
            refill();
        } else {
            m_pos = p + 1;
            if (*p == '<')
                fail("invalid attribute value");
            reference(m_text);
        }
        p = start = m_pos;
        end = m_end;
    }
    m_pos = p + 1;
    if (!spilled) {
        value = p != start ? VelumString(start, static_cast<unsigned long>(p - start)) : VelumString();
    } else {
        m_text.append(start, static_cast<std::size_t>(p - start));
        value = m_text.str();
    }
}

// A reference, after its "&"; its text is appended to out. A malformed
// character reference keeps what was read and lets the character that
// broke it count as content; a name without ";" or a character reference
// without digits is kept as written. The parse goes on without a message,
// since m_errorMessage speaks of failed parses only.
void ParserImpl::reference(Scratch& out)
{
    // The five names every markup file uses, read straight from the block
    // when they lie in it whole; anything else takes the way below, which
    // gives these five the same characters.
    if (m_end - m_pos >= 5) {
        const Velum_CHAR* const p = m_pos;
        Velum_CHAR value = 0;
        std::size_t used = 0;
        switch (p[0]) {
        case 'a':
            if (p[1] == 'm' && p[2] == 'p' && p[3] == ';')
                value = '&', used = 4;
            else if (p[1] == 'p' && p[2] == 'o' && p[3] == 's' && p[4] == ';')
                value = '\'', used = 5;
            break;
        case 'l':
        case 'g':
            if (p[1] == 't' && p[2] == ';')
                value = p[0] == 'l' ? '<' : '>', used = 3;
            break;
        case 'q':
            if (p[1] == 'u' && p[2] == 'o' && p[3] == 't' && p[4] == ';')
                value = '"', used = 5;
            break;
        default:
            break;
        }
        if (used != 0) {
            out.push(value);
            m_pos = p + used;
            return;
        }
    }
    Velum_CHAR c = get();
    if (c == '#') {
        // Every digit counts, leading zeros included, and a value beyond
        // the 16-bit range becomes its surrogate pair: stopping after four
        // or five digits turned "&#x1F600;" into U+1F60 followed by "0;".
        unsigned long value = 0;
        unsigned digits = 0;
        c = get();
        const bool hex = c == 'x';
        if (!hex)
            unget();
        for (;;) {
            c = get();
            int digit = -1;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (hex && c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else if (hex && c >= 'A' && c <= 'F')
                digit = c - 'A' + 10;
            if (digit < 0) {
                if (c != ';')
                    unget();
                break;
            }
            if (value <= 0x10FFFF)  // past it the value is invalid anyway
                value = value * (hex ? 16 : 10) + static_cast<unsigned>(digit);
            ++digits;
        }
        if (digits == 0) {
            // "&#;" and "&#x;" stay as written: a hand-edited file must not
            // lose characters without a word.
            out.push('&');
            out.push('#');
            if (hex)
                out.push('x');
            if (c == ';')
                out.push(';');
            return;
        }
        if (value <= 0xFFFF) {
            out.push(static_cast<Velum_CHAR>(value));
        } else if (value <= 0x10FFFF) {
            value -= 0x10000;
            out.push(static_cast<Velum_CHAR>(0xD800 + (value >> 10)));
            out.push(static_cast<Velum_CHAR>(0xDC00 + (value & 0x3FF)));
        } else {
            out.push(0xFFFD);  // no such character
        }
        return;
    }
    if (!IsNameStart(c))
        fail("invalid EntityReference");
    m_word.clear();
    m_word.push(c);
    for (c = get(); IsNameChar(c); c = get())
        m_word.push(c);
    if (c != ';') {
        // Not a reference after all ("a&b", "&amp x"): the "&" and the name
        // stay as written, as an unknown entity name does.
        out.push('&');
        out.append(m_word);
        unget();
        return;
    }
    Velum_CHAR value;
    if (FindEntity(m_word.data(), m_word.length(), value)) {
        out.push(value);
    } else {
        out.push('&');
        out.append(m_word);
        out.push(';');
    }
}

// ---------------------------------------------------------------------------
// Elements
// ---------------------------------------------------------------------------

void ParserImpl::reserveOpen()
{
    if (m_depth < m_openCapacity)
        return;
    const std::size_t capacity = m_openCapacity == 0 ? 64 : m_openCapacity * 2;
    if (capacity > static_cast<std::size_t>(-1) / sizeof(ElementInst*))
        OutOfMemory();
    void* open = std::realloc(m_open, capacity * sizeof(ElementInst*));
    if (open == nullptr)
        OutOfMemory();
    m_open = static_cast<ElementInst**>(open);
    m_openCapacity = capacity;
}

// Text, CDATA sections and comments go in without the tree's checks: the
// node is new and an element takes every one of those kinds. A processing
// instruction takes the checked way, which refuses it.
void ParserImpl::appendToOpen(NodeInst* node)
{
    Hold hold(node);
    if (node->m_type == PROCESSING_INSTRUCTION_NODE)
        m_open[m_depth - 1]->appendChild(node);
    else
        m_open[m_depth - 1]->appendNewChild(node);
}

void ParserImpl::appendToDocument(NodeInst* node)
{
    Hold hold(node);
    m_doc->appendChild(node);
}

// A start tag whose first name character was just read. The element goes
// on the open stack; true when it is empty ("/>"), and so already complete.
bool ParserImpl::startElement()
{
    const VelumString* name = nullptr;
    Velum_CHAR c = parseName(name);
    if (!IsSpace(c) && c != '/' && c != '>')
        fail("invalid element tagname");
    reserveOpen();
    ElementInst* element = NewNode<ElementInst>(*name);
    element->addRef();
    m_open[m_depth++] = element;
    if (IsSpace(c))
        c = skipSpace();
    while (c != '/' && c != '>') {
        const VelumString* attributeName = nullptr;
        VelumString value;
        parseAttribute(c, attributeName, value);
        element->setAttribute(*attributeName, value);
        c = skipSpace();
    }
    if (c == '/') {
        if (get() != '>')
            fail("invalid element tag");
        return true;
    }
    return false;
}

// The innermost open element is complete: into its parent (or the
// document) it goes, and off the stack.
void ParserImpl::closeTop()
{
    ElementInst* element = m_open[m_depth - 1];
    if (m_depth == 1) {
        m_doc->_setDocumentElement(element);
        m_haveRoot = true;
    } else {
        // A finished element has children, but none of them is one of the
        // open elements, so it cannot be an ancestor of its parent.
        m_open[m_depth - 2]->appendNewChild(element);
    }
    --m_depth;
    element->removeRef();
}

// After "</": the innermost element's name, optional whitespace and ">".
void ParserImpl::endTag()
{
    const VelumString& name = m_open[m_depth - 1]->m_name;
    const Velum_CHAR* text = name;
    const std::size_t length = name.getLength();
    // Mostly the name and ">" at once, inside the block.
    if (static_cast<std::size_t>(m_end - m_pos) > length && m_pos[length] == '>' && Same(m_pos, text, length)) {
        m_pos += length + 1;
        return;
    }
    endTagOnward(text, length);
}

// endTag where the name and ">" do not follow at once in the block: the
// name cut by the end of the block, whitespace before ">", or no match.
void ParserImpl::endTagOnward(const Velum_CHAR* text, std::size_t length)
{
    bool same = true;
    if (static_cast<std::size_t>(m_end - m_pos) >= length) {
        same = Same(m_pos, text, length);
        m_pos += length;
    } else {
        for (std::size_t i = 0; i < length; ++i) {
            if (get() != text[i])
                same = false;
        }
    }
    if (skipSpace() != '>' || !same)
        fail("invalid close tag");
}

// Character data up to the next "<", appended to the innermost open element
// as one text node (none for an empty run); returns the character after
// the "<".
Velum_CHAR ParserImpl::readText()
{
    const Velum_CHAR* start = m_pos;
    const Velum_CHAR* p = m_pos;
    const Velum_CHAR* end = m_end;

    // Whitespace between tags, the usual case: one shared string per layout.
    p = SkipSpaces(p, end);
    if (p < end && *p == '<') {
        const std::size_t length = static_cast<std::size_t>(p - start);
        if (length != 0 && length <= kMaxSharedSpace)
            appendToOpen(NewNode<TextInst>(m_shared.get(start, length, StringTable::hash(start, length))));
        else if (length != 0)
            appendToOpen(NewNode<TextInst>(VelumString(start, static_cast<unsigned long>(length))));
        m_pos = p + 1;
        return get();
    }

    bool spilled = false;
    for (;;) {
        p = FindAny(p, end, '<', '&', '<');
        if (p < end && *p == '<')
            break;
        if (!spilled)
            m_text.clear();
        spilled = true;
        m_text.append(start, static_cast<std::size_t>(p - start));
        if (p == end) {
            m_pos = p;
            refill();
        } else {
            m_pos = p + 1;
            reference(m_text);
        }
        p = start = m_pos;
        end = m_end;
    }
    m_pos = p + 1;
    if (!spilled) {
        if (p != start)
            appendToOpen(NewNode<TextInst>(VelumString(start, static_cast<unsigned long>(p - start))));
    } else {
        m_text.append(start, static_cast<std::size_t>(p - start));
        const std::size_t length = m_text.length();
        if (length != 0) {
            std::size_t i = 0;
            while (i < length && IsSpace(m_text.data()[i]))
                ++i;
            if (i == length && length <= kMaxSharedSpace)
                appendToOpen(NewNode<TextInst>(m_shared.get(m_text.data(), length, StringTable::hash(m_text.data(), length))));
            else
                appendToOpen(NewNode<TextInst>(m_text.str()));
        }
    }
    return get();
}

// Appends to out everything up to the first "mark mark >" (doubled) or
// "mark >", which is read but not appended.
void ParserImpl::collectUntil(Scratch& out, Velum_CHAR mark, bool doubled)
{
    for (;;) {
        const Velum_CHAR* p = FindAny(m_pos, m_end, mark, mark, mark);
        const Velum_CHAR* const end = m_end;
        out.append(m_pos, static_cast<std::size_t>(p - m_pos));
        m_pos = p;
        if (p == end) {
            refill();
            continue;
        }
        ++m_pos;
        Velum_CHAR c = get();
        if (doubled) {
            if (c != mark) {
                out.push(mark);
                unget();
                continue;
            }
            // A longer run of marks: all but the last two are content.
            for (c = get(); c == mark; c = get())
                out.push(mark);
            if (c == '>')
                return;
            out.push(mark);
            out.push(mark);
            unget();
        } else {
            if (c == '>')
                return;
            out.push(mark);
            unget();
        }
    }
}

// After "<?": target, whitespace, data up to the first "?>".
NodeInst* ParserImpl::parseProcessingInstruction()
{
    Velum_CHAR c = get();
    VelumString target;
    if (IsNameStart(c)) {
        const VelumString* name = nullptr;
        c = parseName(name);
        target = *name;
    }
    if (!target)
        fail("Invalid ProcessingInstructionInst target");
    if (target.getLength() == 3 && EqualsFolded(target, "XML"))
        fail("invalid ProcessingInstructionInst");
    if (IsSpace(c))
        c = skipSpace();
    unget();  // c is the first character of the data, or the "?" of "?>"
    m_text.clear();
    collectUntil(m_text, '?', false);
    return NewNode<ProcessingInstructionInst>(target, m_text.str());
}

// After "<!" inside an element: a comment or a CDATA section.
void ParserImpl::parseMarkupInElement()
{
    const Velum_CHAR c = get();
    if (c == '-') {
        if (get() != '-')
            fail("unknown node");
        m_text.clear();
        collectUntil(m_text, '-', true);
        appendToOpen(NewNode<CommentInst>(m_text.str()));
        return;
    }
    if (c == '[' && expectWord("CDATA[")) {
        m_text.clear();
        collectUntil(m_text, ']', true);
        appendToOpen(NewNode<CDATASectionInst>(m_text.str()));
        return;
    }
    fail("unknown node");
}

// The document element and everything in it, its first name character
// just read.
void ParserImpl::parseDocumentElement()
{
    if (startElement()) {
        closeTop();
        return;
    }
    while (m_depth != 0) {
        const Velum_CHAR c = readText();
        if (c == '/') {
            endTag();
            closeTop();
        } else if (c == '?') {
            // Refused by the element (HIERARCHY_REQUEST_ERR), which reaches
            // the caller; the message says where it stood, at its "?".
            const VelumString where = positioned("ProcessingInstructionInst is not allowed in an element");
            NodeInst* instruction = parseProcessingInstruction();
            try {
                appendToOpen(instruction);
            } catch (const VelumException&) {
                SetErrorMessage(where);
                throw;
            }
        } else if (c == '!') {
            parseMarkupInElement();
        } else {
            if (!IsNameStart(c))
                fail("invalid tag name");
            if (startElement())
                closeTop();
        }
    }
}

// ---------------------------------------------------------------------------
// Document type
// ---------------------------------------------------------------------------
//
// The declaration is kept as one text, the name of the DocumentType node,
// which the serializer writes back after "<!DOCTYPE ". The text is
// normalized so that reading it again gives the same text: the root name;
// " PUBLIC " and the two literals with one space between them, or " SYSTEM "
// and the literal; " [" and, for the internal subset, one item per line
// (CR LF TAB), each declaration with single spaces between its tokens, and
// CR LF "]" at the end.

// A name whose first character is first, copied to out; returns the
// character after it.
Velum_CHAR ParserImpl::copyName(Velum_CHAR first, Scratch& out)
{
    out.push(first);
    Velum_CHAR c = get();
    for (; IsNameChar(c); c = get())
        out.push(c);
    return c;
}

// A quoted literal whose opening quote is quote, copied with its quotes.
void ParserImpl::copyLiteral(Velum_CHAR quote, Scratch& out, bool publicId)
{
    if (quote != '"' && quote != '\'')
        failDtd();
    out.push(quote);
    for (Velum_CHAR c = get(); c != quote; c = get()) {
        // A 0 would cut the text short when it becomes the node's name.
        if (c == 0 || (publicId && !IsPubidChar(c)))
            failDtd();
        out.push(c);
    }
    out.push(quote);
}

// collectUntil for the internal subset: a 0 would cut the declaration's
// text short when it becomes the node's name, and the shortened text would
// not read back.
void ParserImpl::collectWithoutZero(Scratch& out, Velum_CHAR mark, bool doubled)
{
    const std::size_t from = out.length();
    collectUntil(out, mark, doubled);
    for (std::size_t i = from; i < out.length(); ++i) {
        if (out.data()[i] == 0)
            failDtd();
    }
}

// After "[": markup declarations, comments, processing instructions and
// parameter-entity references up to "]".
void ParserImpl::parseInternalSubset(Scratch& out)
{
    for (;;) {
        Velum_CHAR c = skipSpace();
        if (c == ']') {
            out.append("\r\n]");
            return;
        }
        out.append("\r\n\t");
        if (c == '%') {
            out.push('%');
            c = get();
            if (!IsNameStart(c))
                failDtd();
            if (copyName(c, out) != ';')
                failDtd();
            out.push(';');
            continue;
        }
        if (c != '<')
            failDtd();
        c = get();
        if (c == '?') {
            out.append("<?");
            collectWithoutZero(out, '?', false);
            out.append("?>");
            continue;
        }
        if (c != '!')
            failDtd();
        c = get();
        if (c == '-') {
            if (get() != '-')
                failDtd();
            out.append("<!--");
            collectWithoutZero(out, '-', true);
            out.append("-->");
            continue;
        }
        if (!IsNameStart(c))
            failDtd();
        m_word.clear();
        c = copyName(c, m_word);
        const VelumString keyword = m_word.str();
        if (!IsSpace(c) ||
            (keyword != "ELEMENT" && keyword != "ATTLIST" && keyword != "ENTITY" && keyword != "NOTATION"))
            failDtd();
        out.append("<!");
        out.append(m_word);
        // Tokens as read, whitespace between them made one space; at least
        // one token, so that the keyword stays followed by whitespace.
        bool space = true;
        bool tokens = false;
        for (c = get(); c != '>'; c = get()) {
            if (IsSpace(c)) {
                space = true;
                continue;
            }
            if (c == '<' || c == 0)
                failDtd();
            if (space)
                out.push(' ');
            space = false;
            tokens = true;
            if (c == '"' || c == '\'')
                copyLiteral(c, out, false);
            else
                out.push(c);
        }
        if (!tokens)
            failDtd();
        out.push('>');
    }
}

// After "<!DOCTYPE" and one whitespace character.
void ParserImpl::parseDoctype()
{
    Scratch& out = m_text;
    out.clear();
    try {
        Velum_CHAR c = skipSpace();
        if (!IsNameStart(c))
            failDtd();
        c = copyName(c, out);
        if (IsSpace(c))
            c = skipSpace();
        if (c == 'P' || c == 'S') {
            m_word.clear();
            c = copyName(c, m_word);
            const VelumString keyword = m_word.str();
            if (!IsSpace(c))
                failDtd();
            if (keyword == "PUBLIC") {
                out.append(" PUBLIC ");
                copyLiteral(skipSpace(), out, true);
                if (!IsSpace(get()))
                    failDtd();
                out.push(' ');
                copyLiteral(skipSpace(), out, false);
            } else if (keyword == "SYSTEM") {
                out.append(" SYSTEM ");
                copyLiteral(skipSpace(), out, false);
            } else {
                failDtd();
            }
            c = skipSpace();
        }
        if (c == '[') {
            out.append(" [");
            parseInternalSubset(out);
            c = skipSpace();
        }
        if (c != '>')
            failDtd();
    } catch (const EndOfInput&) {
        failDtd();
    }
    m_doc->setDoctype(out.str());
}

// ---------------------------------------------------------------------------
// The whole document
// ---------------------------------------------------------------------------

Document ParserImpl::run()
{
    m_raw = static_cast<unsigned char*>(std::malloc(kRawSize));
    m_chars = static_cast<Velum_CHAR*>(std::malloc(kChunk * sizeof(Velum_CHAR)));
    if (m_raw == nullptr || m_chars == nullptr)
        OutOfMemory();
    m_pos = m_end = m_chars;
    m_shared.start();
    m_doc = NewNode<DocumentInst>();
    m_document = Document(m_doc);

    try {
        readStart();
        parseDeclaration();
        for (;;) {
            Velum_CHAR c;
            try {
                c = skipSpace();
            } catch (const EndOfInput&) {
                // The end of the file between top-level items: complete if
                // the document element was read.
                if (!m_haveRoot)
                    throw;
                m_doc->m_valid = 1;
                return m_document;
            }
            if (c != '<')
                fail("document is ungrammatical");
            c = get();
            if (c == '?') {
                appendToDocument(parseProcessingInstruction());
            } else if (c == '!') {
                c = get();
                if (c == '-') {
                    if (get() != '-')
                        fail("unknown node");
                    m_text.clear();
                    collectUntil(m_text, '-', true);
                    appendToDocument(NewNode<CommentInst>(m_text.str()));
                } else if (c == 'D' && expectWord("OCTYPE") && IsSpace(get())) {
                    if (m_doc->m_doctype != nullptr)
                        fail("document type already exist");
                    parseDoctype();
                } else {
                    fail("unknown node");
                }
            } else if (IsNameStart(c)) {
                if (m_haveRoot)
                    fail("document element is already exist");
                parseDocumentElement();
            } else {
                fail("unknown node ");
            }
        }
    } catch (const EndOfInput&) {
    } catch (const DecodeFailure&) {
    } catch (const SyntaxError&) {
    }
    // The partial tree goes with m_document and the open stack.
    return Document();
}

// ---------------------------------------------------------------------------
// Entry points
// ---------------------------------------------------------------------------

Parser::Parser() : m_impl(nullptr) {}

Parser::~Parser() = default;

Document Parser::parse(void* file)
{
    if (!Initializer::initialized()) {
        SetErrorMessage(VelumString("Velum has not initialized"));
        return Document();
    }
    if (file == nullptr)
        return Document();
    PositionKeeper position(file);
    if (!position.ready())
        return Document();
    ParserImpl impl(file);
    struct Detach {
        ParserImpl*& impl;
        ~Detach() { impl = nullptr; }
    } detach{m_impl};
    m_impl = &impl;
    // The tree is cut from chunks of its own: packed, cheap to make, and
    // freed chunk by chunk as its bodies go.
    PoolArena treeMemory;
    return impl.run();
}

Document parse(void* file)
{
    Parser parser;
    return parser.parse(file);
}

}  // namespace Velum
