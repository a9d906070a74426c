// The library's exception, its raw allocation helpers, and the counted
// UTF-16 string: bodies (VelumStringInst) shared by handles (VelumString),
// copied only when a shared one is about to change.
#include "velum/VelumString.h"

#include "velum/Collections.h"
#include "velum/Initializer.h"
#include "Pool.h"
#include "TreeMemory.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

namespace Velum {

const Velum_CHAR Velum_NULL_String[1] = {0};

// ---------------------------------------------------------------------------
// Exception

VelumException::VelumException() : m_code(0) {}

VelumException::VelumException(const VelumException& other) : m_code(other.m_code) {}

VelumException::VelumException(unsigned short code) : m_code(code) {}

VelumException& VelumException::operator=(const VelumException& other)
{
    m_code = other.m_code;
    return *this;
}

VelumException::~VelumException() {}

// ---------------------------------------------------------------------------
// Raw storage

void* allocateOrThrow(unsigned long bytes)
{
    // A request with the top bit set (a wrapped size, or beyond any address
    // space) is refused here: some allocators abort on those instead of
    // returning null.
    void* memory = nullptr;
    if ((bytes >> (sizeof(bytes) * CHAR_BIT - 1)) == 0)
        memory = PoolAllocate(bytes != 0 ? bytes : 1);  // 0 bytes: a block of its own all the same
    if (memory == nullptr)
        throw VelumException(VelumException::OUT_OF_MEMORY_ERR);
    return memory;
}

void releaseMemory(void* memory)
{
    PoolRelease(memory);
}

void releaseMemorySized(void* memory, unsigned long bytes)
{
    PoolReleaseSized(memory, bytes != 0 ? bytes : 1);
}

namespace {

const unsigned long kNotFound = 0xFFFFFFFFul;

// No block of a string (body and text) may exceed 2 GiB. This keeps every
// length below 0xFFFFFFFF, which index() reserves for "not found", and keeps
// the size arithmetic free of overflow on 32-bit builds.
const unsigned long kMaxBlockBytes = 0x7FFFFFFFul;
// Code units a buffer may hold, terminator included.
const unsigned long kMaxUnits = (kMaxBlockBytes - sizeof(VelumStringInst)) / sizeof(Velum_CHAR);

void throwOutOfMemory()
{
    throw VelumException(VelumException::OUT_OF_MEMORY_ERR);
}

// The granule of string buffers; 32 when the library is not set up yet.
unsigned long granule()
{
    const unsigned long page = Initializer::PAGE_SIZE;
    return page != 0 ? page : 32;
}

// Buffer size (terminator included) for a text of `length` code units:
// the next whole granule with room to spare, so that the appends that
// follow a creation usually fit. 0 when the text can never fit in a block.
unsigned long capacityFor(unsigned long length)
{
    if (length >= kMaxUnits)
        return 0;
    const unsigned long page = granule();
    const unsigned long pages = (length + 1) / page + 1;
    if (pages <= kMaxUnits / page)
        return pages * page;
    // Only an enormous granule gets here: give the text exactly its size.
    return length + 1;
}

// Buffer size when an append of a text of `length` code units needs room
// for `needed`. Long texts grow by at least an eighth: building one by many
// small appends (as the parser does with character data) then copies each
// code unit a bounded number of times instead of once per granule.
unsigned long grownCapacity(unsigned long length, unsigned long needed)
{
    const unsigned long generous = length + length / 8;
    if (generous > needed) {
        const unsigned long capacity = capacityFor(generous);
        if (capacity != 0)
            return capacity;
    }
    return capacityFor(needed);
}

unsigned long unitsIn(const Velum_CHAR* text)
{
    unsigned long length = 0;
    if (text != nullptr) {
        while (text[length] != 0)
            ++length;
    }
    return length;
}

unsigned long bytesIn(const char* text)
{
    return text != nullptr ? static_cast<unsigned long>(std::strlen(text)) : 0;
}

// Narrow text is taken as Latin-1: byte b becomes code unit b, so a string
// built from narrow text compares equal to that text again.
Velum_CHAR widen(char byte)
{
    return static_cast<Velum_CHAR>(static_cast<unsigned char>(byte));
}

// The decimal text of a number, without terminator: at most "-2147483648".
struct Decimal {
    Velum_CHAR units[11];
    unsigned long length;
};

Decimal decimalOfUInt(unsigned int number)
{
    Decimal text;
    unsigned long count = 1;
    for (unsigned int rest = number; rest >= 10; rest /= 10)
        ++count;
    text.length = count;
    do {
        text.units[--count] = static_cast<Velum_CHAR>('0' + number % 10);
        number /= 10;
    } while (count != 0);
    return text;
}

Decimal decimalOfInt(int number)
{
    if (number >= 0)
        return decimalOfUInt(static_cast<unsigned int>(number));
    // The digits come from negative remainders, so the most negative value
    // is never negated (which would overflow).
    Decimal text;
    unsigned long count = 1;
    for (int rest = number; rest <= -10; rest /= 10)
        ++count;
    text.length = count + 1;
    text.units[0] = '-';
    for (unsigned long i = count; i > 0; --i) {
        text.units[i] = static_cast<Velum_CHAR>('0' - number % 10);
        number /= 10;
    }
    return text;
}

bool sameUnits(const VelumString& string, const Velum_CHAR* units, unsigned long length)
{
    if (string.getLength() != length)
        return false;
    const Velum_CHAR* chars = string;
    return length == 0 || std::memcmp(chars, units, length * sizeof(Velum_CHAR)) == 0;
}

// First position of pattern in text, by a left-to-right scan.
unsigned long findUnits(const Velum_CHAR* text, unsigned long length, const Velum_CHAR* pattern,
                        unsigned long patternLength)
{
    if (patternLength == 0 || length == 0 || patternLength > length)
        return kNotFound;
    const unsigned long last = length - patternLength;
    for (unsigned long i = 0; i <= last; ++i) {
        if (text[i] == pattern[0]
            && std::memcmp(text + i, pattern, patternLength * sizeof(Velum_CHAR)) == 0)
            return i;
    }
    return kNotFound;
}

}  // namespace

// ---------------------------------------------------------------------------
// String bodies

VelumStringInst* VelumStringInst::create(const Velum_CHAR* text, unsigned long length)
{
    return createWithRoom(text, length, 0);
}

VelumStringInst* VelumStringInst::createWithRoom(const Velum_CHAR* text, unsigned long length, unsigned long room)
{
    if (text == nullptr)
        length = 0;
    if (length >= kMaxUnits || (room != kExact && room >= kMaxUnits - length))
        throwOutOfMemory();
    // room == kExact: a text that will not grow (the parser's) gets just its
    // own size, which roughly halves the memory of a parsed tree's strings.
    const unsigned long capacity = room == kExact ? length + 1 : capacityFor(length + room);
    if (capacity == 0)
        throwOutOfMemory();
    const unsigned long bytes = sizeof(VelumStringInst) + capacity * sizeof(Velum_CHAR);
    const bool inTree = PoolArenaTakes(bytes);
    void* block = allocateOrThrow(bytes);
    VelumStringInst* inst = new (block) VelumStringInst();
    inst->m_inTree = inTree;
    inst->m_chars = inst->builtIn();
    inst->m_length = length;
    inst->m_refCount = 0;
    inst->m_capacity = capacity;
    if (length != 0)
        std::memcpy(inst->m_chars, text, length * sizeof(Velum_CHAR));
    inst->m_chars[length] = 0;
    return inst;
}

VelumStringInst::~VelumStringInst()
{
    // The built-in buffer goes with the block; only a separate one is ours
    // to free here.
    if (m_chars != builtIn())
        releaseMemory(m_chars);
}

Velum_CHAR* VelumStringInst::builtIn()
{
    return reinterpret_cast<Velum_CHAR*>(reinterpret_cast<unsigned char*>(this) + sizeof(VelumStringInst));
}

void VelumStringInst::removeRef()
{
    if (m_refCount == kPermanent)
        return;
    if (m_refCount > 1) {
        --m_refCount;
        return;
    }
    // The last handle let go, or the body was never taken (count 0): the
    // body, its built-in buffer and any separate buffer go now. While the
    // text is still in the built-in buffer, the capacity gives the block's
    // size; after a growth it no longer does.
    const bool builtInText = m_chars == builtIn();
    const unsigned long bytes = sizeof(VelumStringInst) + m_capacity * sizeof(Velum_CHAR);
    this->~VelumStringInst();
    if (builtInText)
        PoolReleaseSized(this, bytes);
    else
        releaseMemory(this);
}

Velum_CHAR* VelumStringInst::makeRoom(unsigned long extra, Velum_CHAR*& retired)
{
    retired = nullptr;
    if (extra >= kMaxUnits - m_length)
        throwOutOfMemory();
    const unsigned long needed = m_length + extra;
    if (needed < m_capacity)
        return m_chars + m_length;
    const unsigned long capacity = grownCapacity(m_length, needed);
    if (capacity == 0)
        throwOutOfMemory();
    Velum_CHAR* chars = static_cast<Velum_CHAR*>(allocateOrThrow(capacity * sizeof(Velum_CHAR)));
    std::memcpy(chars, m_chars, m_length * sizeof(Velum_CHAR));
    if (m_chars != builtIn())
        retired = m_chars;
    m_chars = chars;
    m_capacity = capacity;
    return chars + m_length;
}

void VelumStringInst::append(const Velum_CHAR* text, unsigned long length)
{
    if (text == nullptr || length == 0)
        return;
    Velum_CHAR* retired;
    Velum_CHAR* tail = makeRoom(length, retired);
    // text may lie in this very buffer (s += s): memmove covers the overlap,
    // and a buffer the text was moved out of is freed only after the copy.
    std::memmove(tail, text, length * sizeof(Velum_CHAR));
    m_length += length;
    m_chars[m_length] = 0;
    releaseMemory(retired);
}

VelumStringInst& VelumStringInst::operator+=(const Velum_CHAR* text)
{
    append(text, unitsIn(text));
    return *this;
}

VelumStringInst& VelumStringInst::operator+=(const char* text)
{
    const unsigned long length = bytesIn(text);
    if (length == 0)
        return *this;
    Velum_CHAR* retired;
    Velum_CHAR* tail = makeRoom(length, retired);
    for (unsigned long i = 0; i < length; ++i)
        tail[i] = widen(text[i]);
    m_length += length;
    m_chars[m_length] = 0;
    releaseMemory(retired);
    return *this;
}

// The character 0 is the empty string, so appending it changes nothing.
VelumStringInst& VelumStringInst::operator+=(Velum_CHAR c)
{
    if (c == 0)
        return *this;
    Velum_CHAR* retired;
    Velum_CHAR* tail = makeRoom(1, retired);
    *tail = c;
    ++m_length;
    m_chars[m_length] = 0;
    releaseMemory(retired);
    return *this;
}

// ---------------------------------------------------------------------------
// String handles: construction and assignment

namespace {

// A handle took (+1) or dropped (-1) text: a pin on its tree, if any.
inline void NoteHandle(const VelumStringInst* text, long change)
{
    if (text->inTree())
        PoolTreeOf(text)->pins += change;
}

}  // namespace

VelumString::VelumString(const VelumString& other) : m_inst(other.m_inst)
{
    if (m_inst != nullptr) {
        m_inst->addRef();
        NoteHandle(m_inst, +1);
    }
}

VelumString::VelumString(const Velum_CHAR* text) : m_inst(nullptr)
{
    make_from_Velum_CHAR(text);
}

VelumString::VelumString(const char* text) : m_inst(nullptr)
{
    make_from_char(text);
}

VelumString::VelumString(Velum_CHAR c) : m_inst(nullptr)
{
    if (c != 0)
        adopt(VelumStringInst::create(&c, 1));
}

VelumString::VelumString(int number) : m_inst(nullptr)
{
    make_from_int(number);
}

VelumString::VelumString(unsigned int number) : m_inst(nullptr)
{
    make_from_uint(number);
}

VelumString::VelumString(const Velum_CHAR* text, unsigned long length) : m_inst(nullptr)
{
    if (text != nullptr && length != 0)
        adopt(VelumStringInst::createWithRoom(text, length, VelumStringInst::kExact));
}

VelumString VelumString::permanent(const Velum_CHAR* text)
{
    // Never freed, so never cut from a parse's arena chunk (it would keep
    // the chunk for good).
    PoolArenaPause outsideAnyTree;
    VelumString result(text);
    if (result.m_inst != nullptr)
        result.m_inst->m_refCount = VelumStringInst::kPermanent;
    return result;
}

VelumString::~VelumString()
{
    if (m_inst != nullptr) {
        // The pin goes first: the release may free the tree's memory.
        NoteHandle(m_inst, -1);
        m_inst->removeRef();
    }
}

void VelumString::adopt(VelumStringInst* inst)
{
    // The new body is counted before the old one is released, so adopting
    // the body already held never frees it.
    if (inst != nullptr) {
        inst->addRef();
        NoteHandle(inst, +1);
    }
    VelumStringInst* old = m_inst;
    m_inst = inst;
    if (old != nullptr) {
        NoteHandle(old, -1);
        old->removeRef();
    }
}

VelumStringInst* VelumString::writable(unsigned long extra)
{
    // A tree's string is never changed in place: its body must keep the
    // text in its own block for the tree's sweep to take it all.
    if (m_inst != nullptr && m_inst->m_refCount == 1 && !m_inst->inTree())
        return m_inst;
    // Shared, a tree's or absent: a new body with the room the append
    // needs, so the append itself cannot fail. A shared old body lives on
    // in its other handles, so text taken from it stays readable (append()
    // keeps a tree's alive itself).
    VelumStringInst* inst = m_inst != nullptr
        ? VelumStringInst::createWithRoom(m_inst->m_chars, m_inst->m_length, extra)
        : VelumStringInst::createWithRoom(nullptr, 0, extra);
    adopt(inst);
    return inst;
}

// Each maker builds the new body before releasing the old one: text that
// points into the old buffer is still there to copy, and a failed
// allocation leaves the string as it was.
void VelumString::make_from_Velum_CHAR(const Velum_CHAR* text)
{
    const unsigned long length = unitsIn(text);
    adopt(length != 0 ? VelumStringInst::create(text, length) : nullptr);
}

void VelumString::make_from_char(const char* text)
{
    const unsigned long length = bytesIn(text);
    if (length == 0) {
        adopt(nullptr);
        return;
    }
    VelumStringInst* inst = VelumStringInst::createWithRoom(nullptr, 0, length);
    *inst += text;  // fits the room made for it: cannot throw
    adopt(inst);
}

void VelumString::make_from_int(int number)
{
    const Decimal text = decimalOfInt(number);
    adopt(VelumStringInst::create(text.units, text.length));
}

void VelumString::make_from_uint(unsigned int number)
{
    const Decimal text = decimalOfUInt(number);
    adopt(VelumStringInst::create(text.units, text.length));
}

VelumString& VelumString::operator=(const VelumString& other)
{
    adopt(other.m_inst);
    return *this;
}

VelumString& VelumString::operator=(const Velum_CHAR* text)
{
    make_from_Velum_CHAR(text);
    return *this;
}

VelumString& VelumString::operator=(const char* text)
{
    make_from_char(text);
    return *this;
}

VelumString& VelumString::operator=(Velum_CHAR c)
{
    adopt(c != 0 ? VelumStringInst::create(&c, 1) : nullptr);
    return *this;
}

VelumString& VelumString::operator=(int number)
{
    make_from_int(number);
    return *this;
}

VelumString& VelumString::operator=(unsigned int number)
{
    make_from_uint(number);
    return *this;
}

// ---------------------------------------------------------------------------
// Appending

VelumString& VelumString::operator+=(const VelumString& other)
{
    const unsigned long length = other.getLength();
    if (length == 0)
        return *this;
    if (getLength() == 0) {
        adopt(other.m_inst);
        return *this;
    }
    return append(other.m_inst->m_chars, length);
}

VelumString& VelumString::operator+=(const Velum_CHAR* text)
{
    return append(text, unitsIn(text));
}

VelumString& VelumString::operator+=(const char* text)
{
    const unsigned long length = bytesIn(text);
    if (length != 0)
        *writable(length) += text;
    return *this;
}

VelumString& VelumString::operator+=(Velum_CHAR c)
{
    if (c != 0)
        *writable(1) += c;
    return *this;
}

VelumString& VelumString::operator+=(int number)
{
    const Decimal text = decimalOfInt(number);
    return append(text.units, text.length);
}

VelumString& VelumString::operator+=(unsigned int number)
{
    const Decimal text = decimalOfUInt(number);
    return append(text.units, text.length);
}

VelumString& VelumString::append(const Velum_CHAR* text, unsigned long length)
{
    if (text == nullptr || length == 0)
        return *this;
    // A tree's text is copied before it changes, and writable() then lets
    // the old body go. When this handle held it alone (the document is
    // gone) and text lies in it (s += s), that would free the text before
    // it is read: a second handle keeps the old body until the copy is done.
    const VelumString old = (m_inst != nullptr && m_inst->inTree()) ? *this : VelumString();
    writable(length)->append(text, length);
    return *this;
}

VelumString operator+(const VelumString& a, const VelumString& b)
{
    VelumString result(a);
    result += b;
    return result;
}

VelumString operator+(const VelumString& a, const Velum_CHAR* b)
{
    VelumString result(a);
    result += b;
    return result;
}

VelumString operator+(const VelumString& a, const char* b)
{
    VelumString result(a);
    result += b;
    return result;
}

VelumString operator+(const VelumString& a, Velum_CHAR b)
{
    VelumString result(a);
    result += b;
    return result;
}

VelumString operator+(const VelumString& a, int b)
{
    VelumString result(a);
    result += b;
    return result;
}

VelumString operator+(const VelumString& a, unsigned int b)
{
    VelumString result(a);
    result += b;
    return result;
}

VelumString operator+(const Velum_CHAR* a, const VelumString& b)
{
    VelumString result(a);
    result += b;
    return result;
}

VelumString operator+(const char* a, const VelumString& b)
{
    VelumString result(a);
    result += b;
    return result;
}

VelumString operator+(Velum_CHAR a, const VelumString& b)
{
    VelumString result(a);
    result += b;
    return result;
}

VelumString operator+(int a, const VelumString& b)
{
    VelumString result(a);
    result += b;
    return result;
}

VelumString operator+(unsigned int a, const VelumString& b)
{
    VelumString result(a);
    result += b;
    return result;
}

// ---------------------------------------------------------------------------
// Comparison

bool VelumString::operator==(const VelumString& other) const
{
    if (m_inst == other.m_inst)
        return true;
    return sameUnits(*this, other, other.getLength());
}

// A null text counts as "".
bool VelumString::operator==(const Velum_CHAR* text) const
{
    if (text == nullptr)
        return getLength() == 0;
    const unsigned long length = getLength();
    const Velum_CHAR* chars = *this;
    for (unsigned long i = 0; i < length; ++i) {
        // A terminator inside our length means text is shorter.
        if (text[i] == 0 || text[i] != chars[i])
            return false;
    }
    return text[length] == 0;
}

bool VelumString::operator==(const char* text) const
{
    if (text == nullptr)
        return getLength() == 0;
    const unsigned long length = getLength();
    const Velum_CHAR* chars = *this;
    for (unsigned long i = 0; i < length; ++i) {
        if (text[i] == '\0' || widen(text[i]) != chars[i])
            return false;
    }
    return text[length] == '\0';
}

bool VelumString::operator==(Velum_CHAR c) const
{
    if (c == 0)
        return getLength() == 0;
    return getLength() == 1 && m_inst->m_chars[0] == c;
}

bool VelumString::operator==(int number) const
{
    const Decimal text = decimalOfInt(number);
    return sameUnits(*this, text.units, text.length);
}

bool VelumString::operator==(unsigned int number) const
{
    const Decimal text = decimalOfUInt(number);
    return sameUnits(*this, text.units, text.length);
}

// ---------------------------------------------------------------------------
// Numbers. Arithmetic is unsigned so that overflow wraps (modulo 2^32)
// instead of being undefined.

int VelumString::Dec_to_Int() const
{
    const unsigned long length = getLength();
    if (length == 0)
        return 0;
    const Velum_CHAR* chars = m_inst->m_chars;
    const bool negative = chars[0] == '-';
    unsigned int value = 0;
    for (unsigned long i = negative ? 1 : 0; i < length; ++i) {
        if (chars[i] < '0' || chars[i] > '9')
            return 0;
        value = value * 10u + static_cast<unsigned int>(chars[i] - '0');
    }
    if (negative)
        value = 0u - value;
    return static_cast<int>(value);
}

unsigned int VelumString::Dec_to_UInt() const
{
    const unsigned long length = getLength();
    unsigned int value = 0;
    for (unsigned long i = 0; i < length; ++i) {
        const Velum_CHAR c = m_inst->m_chars[i];
        if (c < '0' || c > '9')
            return 0;
        value = value * 10u + static_cast<unsigned int>(c - '0');
    }
    return value;
}

unsigned int VelumString::Hex_to_UInt() const
{
    const unsigned long length = getLength();
    unsigned int value = 0;
    for (unsigned long i = 0; i < length; ++i) {
        const Velum_CHAR c = m_inst->m_chars[i];
        unsigned int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            return 0;
        value = (value << 4) | digit;
    }
    return value;
}

// ---------------------------------------------------------------------------
// Searching and slicing

unsigned long VelumString::index(const VelumString& text) const
{
    if (&text == this)
        return getLength() != 0 ? 0 : kNotFound;
    return findUnits(*this, getLength(), text, text.getLength());
}

unsigned long VelumString::index(const Velum_CHAR* text) const
{
    return findUnits(*this, getLength(), text, unitsIn(text));
}

VelumString VelumString::substr(unsigned long pos, unsigned long len) const
{
    const unsigned long length = getLength();
    if (pos >= length)
        return VelumString();
    const unsigned long available = length - pos;
    if (len == 0xFFFFFFFFul || len > available)
        len = available;
    // A new body even for the whole text; an empty slice has none.
    return VelumString(m_inst->m_chars + pos, len);
}

}  // namespace Velum
