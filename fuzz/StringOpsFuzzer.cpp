// Plays random sequences of VelumString calls on a few handles that share
// bodies, and mirrors each on a model: the code units each handle should
// hold (a std::u16string), and number readers written from the rules the
// header states. Every result is compared with the model, every call must
// raise exactly the code the model expects (none, or OUT_OF_MEMORY_ERR for
// a size past what any block may hold), and after each step every handle is
// checked: its text and terminator, its numbers, whether it is a name, and
// that each body is counted once per handle that holds it. A handle whose
// text changes although a call changed another (a broken copy-on-write) or a
// sanitizer report is a finding; the steps that led there are printed.
#include "FuzzSupport.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <climits>
#include <cstring>
#include <iterator>
#include <map>
#include <string>
#include <vector>

using namespace Velum;

namespace {

const unsigned long kNone = 0xFFFFFFFFul;

// The steps of the input so far (operation and slots), printed with a
// finding; the reproducer libFuzzer writes replays the rest.
std::vector<std::array<int, 3>> g_steps;

[[noreturn]] void Finding(const std::string& what)
{
    fprintf(stderr, "steps (operation, slots):\n");
    for (const auto& step : g_steps)
        fprintf(stderr, "  %d: %d %d\n", step[0], step[1], step[2]);
    fprintf(stderr, "FINDING: %s\n", what.c_str());
    abort();
}

// A body no handle may change, held for the whole run as the library's own
// fixed names are; slots copy it and append to the copies.
const VelumString* g_permanent = nullptr;
const char16_t kPermanentText[] = u"#perm";

// ---------------------------------------------------------------------------
// The model
// ---------------------------------------------------------------------------

const Velum_CHAR* Units(const std::u16string& text)
{
    return reinterpret_cast<const Velum_CHAR*>(text.c_str());
}

std::u16string Text(const VelumString& string)
{
    const Velum_CHAR* chars = string;
    return std::u16string(reinterpret_cast<const char16_t*>(chars), string.getLength());
}

// What a call taking 0-terminated text sees of text.
std::u16string UpToZero(const std::u16string& text)
{
    return text.substr(0, text.find(u'\0'));
}

// Narrow text, one code unit per byte (bytes from 0x80 up as Latin-1).
std::u16string Widened(const std::string& bytes)
{
    std::u16string result;
    for (char byte : bytes)
        result += static_cast<char16_t>(static_cast<unsigned char>(byte));
    return result;
}

std::u16string Decimal(long long number)
{
    return Widened(std::to_string(number));
}

bool IsDecimalDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

// An optional "-", then decimal digits only; anything else is 0. Wraps.
int ReferenceDecToInt(const std::u16string& text)
{
    const bool negative = !text.empty() && text[0] == u'-';
    std::uint32_t value = 0;
    for (size_t i = negative ? 1 : 0; i < text.size(); ++i) {
        if (!IsDecimalDigit(text[i]))
            return 0;
        value = value * 10 + (text[i] - u'0');
    }
    return static_cast<int>(negative ? 0u - value : value);
}

unsigned int ReferenceDecToUInt(const std::u16string& text)
{
    std::uint32_t value = 0;
    for (char16_t c : text) {
        if (!IsDecimalDigit(c))
            return 0;
        value = value * 10 + (c - u'0');
    }
    return value;
}

unsigned int ReferenceHexToUInt(const std::u16string& text)
{
    std::uint32_t value = 0;
    for (char16_t c : text) {
        const char16_t* digits = u"0123456789abcdef";
        const char16_t lower = (c >= u'A' && c <= u'F') ? static_cast<char16_t>(c + 32) : c;
        const char16_t* at = std::char_traits<char16_t>::find(digits, 16, lower);
        if (at == nullptr)
            return 0;
        value = (value << 4) + static_cast<std::uint32_t>(at - digits);
    }
    return value;
}

unsigned long ReferenceIndex(const std::u16string& text, const std::u16string& pattern)
{
    if (text.empty() || pattern.empty() || pattern.size() > text.size())
        return kNone;
    const size_t at = text.find(pattern);
    return at == std::u16string::npos ? kNone : static_cast<unsigned long>(at);
}

std::u16string ReferenceSubstr(const std::u16string& text, unsigned long pos, unsigned long len)
{
    if (pos >= text.size())
        return u"";
    const unsigned long available = text.size() - pos;
    if (len == kNone || len > available)
        len = available;
    return text.substr(pos, len);
}

// The name classes composed from the per-table predicates, as the
// productions put them (the tables themselves are counted in the unit tests;
// what is checked here are the short cuts that bypass them).
bool ReferenceNameChar(Velum_CHAR c)
{
    return VelumString::isBaseChar(c) || VelumString::isIdeographic(c) || VelumString::isDigit(c) || c == '.' ||
           c == '-' || c == '_' || c == ':' || VelumString::isCombiningChar(c) || VelumString::isExtender(c);
}

bool ReferenceIsName(const std::u16string& text)
{
    if (text.empty())
        return false;
    const Velum_CHAR first = text[0];
    if (!VelumString::isBaseChar(first) && !VelumString::isIdeographic(first) && first != '_' && first != ':')
        return false;
    for (size_t i = 1; i < text.size(); ++i) {
        if (!ReferenceNameChar(text[i]))
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// The steps
// ---------------------------------------------------------------------------

// Code units the text generator favours: digits, signs and hex letters for
// the number readers, name characters (ASCII and beyond, in runs longer
// than 8 for the vectorised name scan), the code units at the edges of the
// classes, and 0.
const char16_t kAlphabet[] = {
    u'0', u'1', u'2', u'3', u'4', u'5', u'6', u'7', u'8', u'9', u'-', u',', u'+', u' ', u'a', u'b', u'c',
    u'd', u'e', u'f', u'A', u'B', u'C', u'D', u'E', u'F', u'x', u'y', u'z', u':', u'_', u'.', u'/', u'@',
    u'[', u'`', u'{', 0x00B7, 0x00C0, 0x00D7, 0x0300, 0x0E46, 0x3007, 0x4E00, 0x65E5, 0x9FA6, 0xD7A3,
    0xD800, 0xFFFD, 0xFFFF, 0x7FFF, 0x8000, 0,
};
const char kNarrowAlphabet[] = "0123456789-,+ abcdefABCDEFx:_.";

constexpr int kSlots = 4;
// The attributes of the root of the tree strings are taken from.
const char16_t* const kTreeNames[] = {u"n", u"h", u"long"};
constexpr size_t kLongest = 2048;

struct Slot {
    VelumString string;
    std::u16string model;
};

class Player {
public:
    explicit Player(FuzzedDataProvider& input) : m_in(input) {}

    void Run()
    {
        while (m_in.remaining_bytes() != 0) {
            Step();
            Check();
        }
    }

private:
    int SlotIndex() { return m_in.ConsumeIntegralInRange<int>(0, kSlots - 1); }

    Velum_CHAR Unit()
    {
        const std::uint8_t pick = m_in.ConsumeIntegral<std::uint8_t>();
        if (pick < 0xF0)
            return kAlphabet[pick % std::size(kAlphabet)];
        return m_in.ConsumeIntegral<std::uint16_t>();
    }

    // Up to 70 code units, 0 among them: the granule is 32, so appends move
    // the text now and then.
    std::u16string Utf16()
    {
        std::u16string text(m_in.ConsumeIntegralInRange<size_t>(0, 70), u'\0');
        for (char16_t& c : text)
            c = Unit();
        return text;
    }

    std::string Narrow()
    {
        std::string text(m_in.ConsumeIntegralInRange<size_t>(0, 40), '\0');
        for (char& c : text) {
            const std::uint8_t pick = m_in.ConsumeIntegral<std::uint8_t>();
            c = pick < 0xC0 ? kNarrowAlphabet[pick % (sizeof kNarrowAlphabet - 1)] : static_cast<char>(pick);
            if (c == '\0')
                c = 'z';
        }
        return text;
    }

    // Often the model of a slot itself, or one code unit off it, so that
    // comparisons and searches find something.
    std::u16string Operand(const std::u16string& near)
    {
        switch (m_in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
            return near;
        case 1: {
            std::u16string changed = near;
            if (changed.empty() || m_in.ConsumeBool())
                changed += static_cast<char16_t>(Unit());
            else
                changed[m_in.ConsumeIntegralInRange<size_t>(0, changed.size() - 1)] = static_cast<char16_t>(Unit());
            return changed;
        }
        case 2: {
            const size_t from = m_in.ConsumeIntegralInRange<size_t>(0, near.size());
            return near.substr(from, m_in.ConsumeIntegralInRange<size_t>(0, near.size() - from));
        }
        default:
            return Utf16();
        }
    }

    int Int()
    {
        switch (m_in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0: return INT_MIN;
        case 1: return m_in.ConsumeIntegralInRange<int>(-12, 12);
        default: return m_in.ConsumeIntegral<int>();
        }
    }

    unsigned int UInt()
    {
        return m_in.ConsumeBool() ? m_in.ConsumeIntegralInRange<unsigned int>(0, 12) : m_in.ConsumeIntegral<unsigned int>();
    }

    // Positions and lengths around the edges of a text of `length` units.
    unsigned long Position(unsigned long length)
    {
        switch (m_in.ConsumeIntegralInRange<int>(0, 6)) {
        case 0: return 0;
        case 1: return length;
        case 2: return length + 1;
        case 3: return kNone;
        case 4: return ULONG_MAX;
        case 5: return 0x7FFFFFFFul;
        default: return m_in.ConsumeIntegralInRange<unsigned long>(0, length + 1);
        }
    }

    unsigned long Count(unsigned long length, unsigned long pos)
    {
        const unsigned long rest = pos < length ? length - pos : 0;
        switch (m_in.ConsumeIntegralInRange<int>(0, 7)) {
        case 0: return 0;
        case 1: return rest;
        case 2: return rest + 1;
        case 3: return kNone;
        case 4: return ULONG_MAX;
        case 5: return ULONG_MAX - pos + 1;  // pos + len wraps to 0
        case 6: return kNone - pos + 1;      // pos + len wraps at 32 bits
        default: return m_in.ConsumeIntegralInRange<unsigned long>(0, rest + 1);
        }
    }

    // A count of code units that no block can hold (the text given with it
    // is short: the call must refuse before it reads).
    unsigned long Huge(unsigned long length)
    {
        switch (m_in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0: return 0x80000000ul;
        case 1: return kNone;
        case 2: return ULONG_MAX;
        default: return length != 0 ? ULONG_MAX - length + 1 : ULONG_MAX;  // length + count wraps to 0
        }
    }

    // Runs call and compares the code it raises (0 for none) with expected.
    template <typename Call>
    void Play(int expected, Call call)
    {
        int code = 0;
        try {
            call();
        } catch (const VelumException& e) {
            code = e.m_code;
        } catch (...) {
            Finding("an exception other than VelumException");
        }
        if (code != expected)
            Finding("raised " + std::to_string(code) + ", the model expected " + std::to_string(expected));
    }

    static void Expect(bool holds, const char* what)
    {
        if (!holds)
            Finding(what);
    }

    // A pointer into a slot's buffer, `offset` units in (up to its end).
    const Velum_CHAR* Inside(const Slot& slot, size_t& offset)
    {
        offset = m_in.ConsumeIntegralInRange<size_t>(0, slot.model.size());
        return static_cast<const Velum_CHAR*>(slot.string) + offset;
    }

    // The UTF-16 operand of a call: text of the input, none, or text inside
    // a slot's own buffer.
    const Velum_CHAR* TextOperand(const Slot& other, std::u16string& storage, std::u16string& seen)
    {
        switch (m_in.ConsumeIntegralInRange<int>(0, 5)) {
        case 0:
            seen.clear();
            return nullptr;
        case 1: {
            size_t offset;
            const Velum_CHAR* text = Inside(other, offset);
            seen = UpToZero(other.model.substr(offset));
            return text;
        }
        default:
            storage = Operand(other.model);
            seen = UpToZero(storage);
            return Units(storage);
        }
    }

    // After an append to `slot` whose body was `before` (which may be gone
    // now: only its address is compared), shared by `count` handles: an
    // unshared body grows in place unless a tree's memory holds it; a
    // shared one is left to its other handles. A body of no text counts as
    // no body: the append may share or make one.
    void CheckAppendBody(const Slot& slot, const VelumStringInst* before, unsigned long count, bool appended)
    {
        if (!appended || before == nullptr || m_lengthBefore == 0)
            return;
        if (count == 1 && !m_inTreeBefore)
            Expect(slot.string.body() == before, "an append to an unshared string made a new body");
        else
            Expect(slot.string.body() != before, "an append to a shared string or a tree's changed that body");
    }

    // s takes value through operator= or through a constructor and a copy.
    // Empty text, null text and the character 0 leave no body.
    template <typename T>
    void Make(Slot& s, T value, const std::u16string& expected)
    {
        if (m_in.ConsumeBool())
            Play(0, [&] { s.string = value; });
        else
            Play(0, [&] { s.string = VelumString(value); });
        s.model = expected;
        Expect(!s.model.empty() || s.string.body() == nullptr, "an empty string left a body");
    }

    void Step()
    {
        const int op = m_in.ConsumeIntegralInRange<int>(0, 20);
        const int a = SlotIndex();
        const int b = SlotIndex();
        g_steps.push_back({op, a, b});
        Slot& s = m_slots[a];
        Slot& o = m_slots[b];
        // Appending a string to itself doubles it: past a few granules a
        // longer text adds nothing but time, so such a slot starts over.
        if (s.model.size() > kLongest) {
            s.string = VelumString();
            s.model.clear();
            return;
        }
        VelumStringInst* const before = s.string.body();
        const unsigned long count = before != nullptr ? before->getRefCount() : 0;
        m_lengthBefore = s.model.size();
        m_inTreeBefore = before != nullptr && before->inTree();

        switch (op) {
        case 0: {  // from UTF-16 text
            const std::u16string text = Utf16();
            const bool none = m_in.ConsumeIntegralInRange<int>(0, 7) == 0;
            Make(s, none ? nullptr : Units(text), none ? u"" : UpToZero(text));
            break;
        }
        case 1: {  // from narrow text
            const std::string text = Narrow();
            const bool none = m_in.ConsumeIntegralInRange<int>(0, 7) == 0;
            Make(s, none ? nullptr : text.c_str(), none ? u"" : Widened(text));
            break;
        }
        case 2:  // from one code unit, an int or an unsigned int
            switch (m_in.ConsumeIntegralInRange<int>(0, 2)) {
            case 0: {
                const Velum_CHAR c = m_in.ConsumeBool() ? 0 : Unit();
                Make(s, c, c == 0 ? u"" : std::u16string(1, static_cast<char16_t>(c)));
                break;
            }
            case 1: {
                const int n = Int();
                Make(s, n, Decimal(n));
                break;
            }
            default: {
                const unsigned int n = UInt();
                Make(s, n, Decimal(n));
                break;
            }
            }
            break;
        case 3: {  // from counted text, 0 units inside it allowed
            const std::u16string text = Utf16();
            if (m_in.ConsumeIntegralInRange<int>(0, 7) == 0) {
                const unsigned long huge = Huge(0);
                Play(VelumException::OUT_OF_MEMORY_ERR, [&] { s.string = VelumString(Units(text), huge); });
                break;
            }
            const unsigned long length = m_in.ConsumeIntegralInRange<unsigned long>(0, text.size());
            Play(0, [&] { s.string = VelumString(Units(text), length); });
            s.model = text.substr(0, length);
            break;
        }
        case 4: {  // copy construction or copy assignment, itself included
            const VelumString& source = o.string;
            if (m_in.ConsumeBool()) {
                Play(0, [&] { s.string = source; });
            } else {
                Play(0, [&] {
                    VelumString copy(source);
                    s.string = copy;
                });
            }
            s.model = o.model;
            Expect(s.string.body() == o.string.body(), "a copy does not share the body");
            break;
        }
        case 5: {  // assignment from text inside a buffer, its own included
            size_t offset;
            const Velum_CHAR* text = Inside(o, offset);
            const std::u16string expected = UpToZero(o.model.substr(offset));
            Play(0, [&] { s.string = text; });
            s.model = expected;
            break;
        }
        case 6: {  // += another string, itself included
            const VelumStringInst* appended = o.string.body();
            const bool wasEmpty = s.model.empty();
            Play(0, [&] { s.string += o.string; });
            s.model += o.model;
            if (wasEmpty && !o.model.empty())
                Expect(s.string.body() == appended, "appending to an empty string does not share the operand");
            CheckAppendBody(s, before, count, !o.model.empty());
            if (o.model.empty())
                Expect(s.string.body() == before, "appending an empty string changed the body");
            break;
        }
        case 7: {  // += UTF-16 text: of the input, none, or inside a buffer
            std::u16string storage, seen;
            const Velum_CHAR* text = TextOperand(o, storage, seen);
            Play(0, [&] { s.string += text; });
            s.model += seen;
            CheckAppendBody(s, before, count, !seen.empty());
            break;
        }
        case 8: {  // += narrow text
            const std::string text = Narrow();
            const bool none = m_in.ConsumeIntegralInRange<int>(0, 7) == 0;
            Play(0, [&] { s.string += none ? nullptr : text.c_str(); });
            if (!none)
                s.model += Widened(text);
            CheckAppendBody(s, before, count, !none && !text.empty());
            break;
        }
        case 9: {  // += one code unit, an int, an unsigned int
            switch (m_in.ConsumeIntegralInRange<int>(0, 2)) {
            case 0: {
                const Velum_CHAR c = m_in.ConsumeIntegralInRange<int>(0, 7) == 0 ? 0 : Unit();
                Play(0, [&] { s.string += c; });
                if (c != 0)
                    s.model += static_cast<char16_t>(c);
                CheckAppendBody(s, before, count, c != 0);
                break;
            }
            case 1: {
                const int n = Int();
                Play(0, [&] { s.string += n; });
                s.model += Decimal(n);
                CheckAppendBody(s, before, count, true);
                break;
            }
            default: {
                const unsigned int n = UInt();
                Play(0, [&] { s.string += n; });
                s.model += Decimal(n);
                CheckAppendBody(s, before, count, true);
                break;
            }
            }
            break;
        }
        case 10: {  // append(text, length): of the input or of a buffer, or too long to hold
            std::u16string storage;
            const Velum_CHAR* text;
            std::u16string units;
            if (m_in.ConsumeBool()) {
                size_t offset;
                text = Inside(o, offset);
                units = o.model.substr(offset);
            } else {
                storage = Utf16();
                text = Units(storage);
                units = storage;
            }
            if (m_in.ConsumeIntegralInRange<int>(0, 7) == 0) {
                const unsigned long huge = Huge(s.model.size());
                Play(VelumException::OUT_OF_MEMORY_ERR, [&] { s.string.append(text, huge); });
                break;
            }
            const unsigned long length = m_in.ConsumeIntegralInRange<unsigned long>(0, units.size());
            Play(0, [&] { s.string.append(text, length); });
            s.model += units.substr(0, length);
            CheckAppendBody(s, before, count, length != 0);
            break;
        }
        case 11:
            Concatenate(s, o);
            break;
        case 12: {  // substr of another slot (or itself) into this one
            const unsigned long pos = Position(o.model.size());
            const unsigned long len = Count(o.model.size(), pos);
            const std::u16string expected = ReferenceSubstr(o.model, pos, len);
            const VelumStringInst* source = o.string.body();
            Play(0, [&] { s.string = o.string.substr(pos, len); });
            s.model = expected;
            if (!expected.empty())
                Expect(s.string.body() != source, "a slice shares its source's body");
            break;
        }
        case 13: {  // index
            unsigned long found = 0;
            unsigned long expected;
            if (m_in.ConsumeBool()) {
                const VelumString& pattern = o.string;  // s itself when a == b
                Play(0, [&] { found = s.string.index(pattern); });
                expected = ReferenceIndex(s.model, o.model);
            } else {
                std::u16string storage, seen;
                const Velum_CHAR* text = TextOperand(m_in.ConsumeBool() ? s : o, storage, seen);
                Play(0, [&] { found = s.string.index(text); });
                expected = ReferenceIndex(s.model, seen);
            }
            Expect(found == expected, "index differs from the model");
            break;
        }
        case 14:
            Compare(s, o);
            break;
        case 15: {  // the character classes of one code unit, and names
            const Velum_CHAR c = Unit();
            CheckClasses(c);
            std::u16string storage, seen;
            const Velum_CHAR* text = TextOperand(m_in.ConsumeBool() ? s : o, storage, seen);
            Expect(VelumString::isName(text) == ReferenceIsName(seen), "isName of text differs from the model");
            break;
        }
        case 16:  // a copy of the permanent body
            Play(0, [&] { s.string = *g_permanent; });
            s.model = kPermanentText;
            Expect(s.string.body() == g_permanent->body(), "a copy of a permanent string does not share it");
            break;
        case 17:
            BodyCalls(s, o);
            break;
        case 18:
            FromTree(s, o);
            break;
        case 19:
            TreeCalls(s);
            break;
        default:
            Play(0, [&] { s.string = VelumString(); });
            s.model.clear();
            break;
        }
    }

    // Strings cut from a parsed tree: s and o take a name or a value of the
    // kept document or of a new one, which the step may keep or let go: once
    // it is gone the strings alone hold their part of the tree's memory.
    // Such a body is never changed in place.
    void FromTree(Slot& s, Slot& o)
    {
        static fuzz::MemoryFile file("velum-stringops-tree");
        static const char kDocument[] =
            "<?xml version=\"1.0\"?><root n=\"-12\" h=\"fF\" "
            "long=\"0123456789abcdefghijklmnopqrstuvwxyz_0123456789\">text</root>";
        if (!m_tree || m_in.ConsumeBool()) {
            file.assign(reinterpret_cast<const uint8_t*>(kDocument), sizeof kDocument - 1);
            void* handle = file.open(fuzz::OPEN_EXISTING_READ);
            m_tree = parse(handle);
            closeFile(handle);
            if (!m_tree)
                Finding("the document to take strings from did not parse");
            m_treeValues = {u"-12", u"fF", u"0123456789abcdefghijklmnopqrstuvwxyz_0123456789"};
        }
        const Element root = m_tree.getDocumentElement();
        for (Slot* slot : {&s, &o}) {
            const size_t taken = m_in.ConsumeIntegralInRange<size_t>(0, std::size(kTreeNames));
            if (taken == std::size(kTreeNames)) {
                Play(0, [&] { slot->string = root.getNodeName(); });
                slot->model = u"root";
            } else {
                Play(0, [&] { slot->string = root.getAttribute(Units(kTreeNames[taken])); });
                slot->model = m_treeValues[taken];
            }
        }
        if (m_in.ConsumeBool())
            m_tree = Document();
    }

    // Changes to the kept tree, which strings taken from it must not see,
    // or letting it go. Without a tree: s is cleared.
    void TreeCalls(Slot& s)
    {
        if (!m_tree) {
            s.string = VelumString();
            s.model.clear();
            return;
        }
        Element root = m_tree.getDocumentElement();
        const size_t at = m_in.ConsumeIntegralInRange<size_t>(0, std::size(kTreeNames) - 1);
        const std::u16string name = kTreeNames[at];
        switch (m_in.ConsumeIntegralInRange<int>(0, 2)) {
        case 0:
            m_tree = Document();
            return;
        case 1: {
            const std::u16string value = UpToZero(Utf16());
            Play(0, [&] { root.setAttribute(Units(name), Units(value)); });
            m_treeValues[at] = value;
            break;
        }
        default:
            Play(0, [&] { root.removeAttribute(Units(name)); });
            m_treeValues[at].clear();
            break;
        }
        VelumString now;
        Play(0, [&] { now = root.getAttribute(Units(name)); });
        Expect(Text(now) == m_treeValues[at], "an attribute of the kept tree differs from the model");
    }

    // The body's own calls: a body made and let go before any handle takes
    // it, or the in-place appends on a body that only s holds (text from
    // its own buffer included); the body must stay where it is.
    void BodyCalls(Slot& s, const Slot& o)
    {
        if (m_in.ConsumeBool()) {
            const std::u16string text = Utf16();
            const bool none = m_in.ConsumeIntegralInRange<int>(0, 7) == 0;
            const std::u16string expected = none ? u"" : text;
            Play(0, [&] {
                VelumStringInst* body = VelumStringInst::create(none ? nullptr : Units(text), text.size());
                const bool same = body->m_length == expected.size() && body->m_chars[body->m_length] == 0 &&
                                  std::memcmp(body->m_chars, expected.data(), expected.size() * 2) == 0;
                const bool untaken = body->getRefCount() == 0;
                body->removeRef();  // never taken: this frees it
                Expect(same && untaken, "a new body differs from its text or is counted");
            });
            return;
        }
        VelumStringInst* const body = s.string.body();
        if (body == nullptr || body->getRefCount() != 1 || body->inTree())
            return;
        switch (m_in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0: {
            std::u16string storage, seen;
            const Velum_CHAR* text = TextOperand(m_in.ConsumeBool() ? s : o, storage, seen);
            Play(0, [&] { *body += text; });
            s.model += seen;
            break;
        }
        case 1: {
            const std::string text = Narrow();
            const bool none = m_in.ConsumeIntegralInRange<int>(0, 7) == 0;
            Play(0, [&] { *body += none ? nullptr : text.c_str(); });
            if (!none)
                s.model += Widened(text);
            break;
        }
        case 2: {
            const Velum_CHAR c = m_in.ConsumeIntegralInRange<int>(0, 7) == 0 ? 0 : Unit();
            Play(0, [&] { *body += c; });
            if (c != 0)
                s.model += static_cast<char16_t>(c);
            break;
        }
        default: {
            size_t offset;
            const Velum_CHAR* text = Inside(s, offset);
            const unsigned long length = m_in.ConsumeIntegralInRange<unsigned long>(0, s.model.size() - offset);
            const std::u16string units = s.model.substr(offset, length);
            Play(0, [&] { body->append(text, length); });
            s.model += units;
            break;
        }
        }
        Expect(s.string.body() == body, "an in-place append moved the body");
    }

    // operator+ in each of its eleven forms; the result goes into s.
    void Concatenate(Slot& s, const Slot& o)
    {
        const int form = m_in.ConsumeIntegralInRange<int>(0, 10);
        const bool left = form >= 6;  // the VelumString on the right
        std::u16string operand;
        VelumString result;
        switch (form) {
        case 0:
            Play(0, [&] { result = o.string + s.string; });
            operand = s.model;
            break;
        case 1:
        case 6: {
            const std::u16string text = Operand(o.model);
            operand = UpToZero(text);
            Play(0, [&] { result = left ? Units(text) + o.string : o.string + Units(text); });
            break;
        }
        case 2:
        case 7: {
            const std::string text = Narrow();
            operand = Widened(text);
            Play(0, [&] { result = left ? text.c_str() + o.string : o.string + text.c_str(); });
            break;
        }
        case 3:
        case 8: {
            const Velum_CHAR c = m_in.ConsumeBool() ? 0 : Unit();
            if (c != 0)
                operand = std::u16string(1, static_cast<char16_t>(c));
            Play(0, [&] { result = left ? c + o.string : o.string + c; });
            break;
        }
        case 4:
        case 9: {
            const int n = Int();
            operand = Decimal(n);
            Play(0, [&] { result = left ? n + o.string : o.string + n; });
            break;
        }
        default: {
            const unsigned int n = UInt();
            operand = Decimal(n);
            Play(0, [&] { result = left ? n + o.string : o.string + n; });
            break;
        }
        }
        const std::u16string expected = left ? operand + o.model : o.model + operand;
        Expect(Text(result) == expected, "operator+ differs from the model");
        s.string = result;
        s.model = expected;
    }

    // == and != with each kind of right operand, as members and (for the
    // kinds that have them) as free functions with the operands swapped.
    void Compare(const Slot& s, const Slot& o)
    {
        const int kind = m_in.ConsumeIntegralInRange<int>(0, 5);
        const bool swapped = m_in.ConsumeBool();
        bool equal = false, unequal = false, expected = false;
        switch (kind) {
        case 0:
            Play(0, [&] {
                equal = s.string == o.string;
                unequal = s.string != o.string;
            });
            expected = s.model == o.model;
            break;
        case 1: {
            std::u16string storage, seen;
            const Velum_CHAR* text = TextOperand(m_in.ConsumeBool() ? s : o, storage, seen);
            // The empty string equals "" and a null text alike.
            Play(0, [&] {
                equal = swapped ? text == s.string : s.string == text;
                unequal = swapped ? text != s.string : s.string != text;
            });
            expected = s.model == seen;
            break;
        }
        case 2: {
            // Narrow text near the slot's own, when that is narrow at all.
            std::string text;
            bool narrowable = m_in.ConsumeBool();
            for (char16_t c : s.model)
                narrowable = narrowable && c != 0 && c < 0x100;
            if (narrowable) {
                for (char16_t c : s.model)
                    text += static_cast<char>(c);
                if (m_in.ConsumeBool())
                    text += Narrow();
            } else {
                text = Narrow();
            }
            const bool none = m_in.ConsumeIntegralInRange<int>(0, 7) == 0;
            const char* bytes = none ? nullptr : text.c_str();
            Play(0, [&] {
                equal = swapped ? bytes == s.string : s.string == bytes;
                unequal = swapped ? bytes != s.string : s.string != bytes;
            });
            expected = s.model == (none ? u"" : Widened(text));
            break;
        }
        case 3: {
            Velum_CHAR c = m_in.ConsumeBool() ? 0 : Unit();
            if (s.model.size() == 1 && m_in.ConsumeBool())
                c = s.model[0];
            Play(0, [&] {
                equal = swapped ? c == s.string : s.string == c;
                unequal = swapped ? c != s.string : s.string != c;
            });
            expected = c == 0 ? s.model.empty() : s.model == std::u16string(1, static_cast<char16_t>(c));
            break;
        }
        case 4: {
            // Often the number the slot reads as, so that "007" meets 7.
            const int n = m_in.ConsumeBool() ? ReferenceDecToInt(s.model) : Int();
            Play(0, [&] {
                equal = swapped ? n == s.string : s.string == n;
                unequal = swapped ? n != s.string : s.string != n;
            });
            expected = s.model == Decimal(n);
            break;
        }
        default: {
            const unsigned int n = m_in.ConsumeBool() ? ReferenceDecToUInt(s.model) : UInt();
            Play(0, [&] {
                equal = swapped ? n == s.string : s.string == n;
                unequal = swapped ? n != s.string : s.string != n;
            });
            expected = s.model == Decimal(n);
            break;
        }
        }
        if (equal != expected || unequal == equal)
            Finding("comparison of kind " + std::to_string(kind) + (swapped ? " (swapped)" : "") +
                    " differs from the model");
    }

    static void CheckClasses(Velum_CHAR c)
    {
        Expect(VelumString::isSpace(c) == (c == 0x09 || c == 0x0A || c == 0x0D || c == 0x20), "isSpace");
        Expect(VelumString::isChar(c) == (c == 0x09 || c == 0x0A || c == 0x0D || (c >= 0x20 && c <= 0xD7FF) ||
                                          (c >= 0xE000 && c <= 0xFFFD)),
               "isChar");
        Expect(VelumString::isIdeographic(c) == ((c >= 0x4E00 && c <= 0x9FA5) || c == 0x3007 ||
                                                 (c >= 0x3021 && c <= 0x3029)),
               "isIdeographic");
        Expect(VelumString::isLetter(c) == (VelumString::isBaseChar(c) || VelumString::isIdeographic(c)), "isLetter");
        Expect(VelumString::isNameChar(c) == ReferenceNameChar(c), "isNameChar");
        if (c < 0x100) {
            // The Latin-1 part of the productions, written out.
            const bool base = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= 0xC0 && c <= 0xD6) ||
                              (c >= 0xD8 && c <= 0xF6) || c >= 0xF8;
            Expect(VelumString::isBaseChar(c) == base, "isBaseChar below 0x100");
            Expect(VelumString::isDigit(c) == (c >= '0' && c <= '9'), "isDigit below 0x100");
            Expect(VelumString::isExtender(c) == (c == 0xB7), "isExtender below 0x100");
            Expect(!VelumString::isCombiningChar(c), "isCombiningChar below 0x100");
        }
    }

    // Every handle against the model, and every body's count against the
    // handles that hold it.
    void Check()
    {
        std::map<const VelumStringInst*, unsigned long> holders;
        for (const Slot& slot : m_slots) {
            const VelumString& string = slot.string;
            const Velum_CHAR* chars = string;
            if (chars == nullptr)
                Finding("the text of a string is null");
            if (Text(string) != slot.model)
                Finding("a string's text differs from the model (length " + std::to_string(string.getLength()) +
                        ", the model " + std::to_string(slot.model.size()) + ")");
            if (chars[slot.model.size()] != 0)
                Finding("a string's text is not 0-terminated");
            if (static_cast<bool>(string) == slot.model.empty())
                Finding("operator bool differs from the model");
            if (string.Dec_to_Int() != ReferenceDecToInt(slot.model))
                Finding("Dec_to_Int differs from the model");
            if (string.Dec_to_UInt() != ReferenceDecToUInt(slot.model))
                Finding("Dec_to_UInt differs from the model");
            if (string.Hex_to_UInt() != ReferenceHexToUInt(slot.model))
                Finding("Hex_to_UInt differs from the model");
            if (string.isName() != ReferenceIsName(slot.model))
                Finding("isName differs from the model");
            if (string.body() != nullptr)
                ++holders[string.body()];
        }
        // While the kept tree lives, its nodes hold some of the bodies too.
        for (const auto& [body, count] : holders) {
            if (body == g_permanent->body()) {
                if (body->getRefCount() != VelumStringInst::kPermanent)
                    Finding("a permanent body was counted");
            } else if (m_tree ? body->getRefCount() < count : body->getRefCount() != count) {
                Finding("a body is counted " + std::to_string(body->getRefCount()) + " times, held by " +
                        std::to_string(count) + " handles");
            }
        }
        if (Text(*g_permanent) != kPermanentText)
            Finding("the permanent string changed");
    }

    FuzzedDataProvider& m_in;
    Slot m_slots[kSlots];
    size_t m_lengthBefore = 0;  // of the slot the step changes
    Document m_tree;            // a parsed document strings were taken from, or none
    std::array<std::u16string, std::size(kTreeNames)> m_treeValues;  // its attributes, "" for none
    bool m_inTreeBefore = false;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::InitializeVelum();
    static const VelumString permanent =
        VelumString::permanent(reinterpret_cast<const Velum_CHAR*>(kPermanentText));
    g_permanent = &permanent;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    g_steps.clear();
    Player(input).Run();
    return 0;
}
