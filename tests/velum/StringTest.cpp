#include "VelumTest.h"

#include <gtest/gtest.h>

#include <climits>

using Velum::VelumException;
using Velum::VelumString;
using Velum::Velum_CHAR;

namespace {

const unsigned long kNone = 0xFFFFFFFFul;

const Velum_CHAR* Chars(const VelumString& s)
{
    return s;
}

TEST(VelumString, ConstructionAndTextOfNumbers)
{
    const Velum_CHAR abc[] = {'a', 'b', 'c', 0};
    const struct {
        VelumString string;
        std::u16string expected;
    } cases[] = {
        {VelumString(), u""},
        {VelumString(static_cast<const Velum_CHAR*>(nullptr)), u""},
        {VelumString(static_cast<const char*>(nullptr)), u""},
        {VelumString(U(u"")), u""},
        {VelumString(static_cast<Velum_CHAR>(0)), u""},
        {VelumString(abc, 0), u""},
        {VelumString(abc, 2), u"ab"},
        {VelumString(U(u"\u65E5\u672C")), u"\u65E5\u672C"},
        {VelumString("caf\xE9"), u"caf\u00E9"},  // narrow bytes are Latin-1
        {VelumString(static_cast<Velum_CHAR>('x')), u"x"},
        {VelumString(-5), u"-5"},
        {VelumString(INT_MAX), u"2147483647"},
        {VelumString(INT_MIN), u"-2147483648"},
        {VelumString(0u), u"0"},
        {VelumString(UINT_MAX), u"4294967295"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Utf16(c.string), c.expected);
        EXPECT_EQ(static_cast<bool>(c.string), !c.expected.empty());
        // Empty strings have no body, yet their text is never null.
        if (c.expected.empty()) {
            EXPECT_EQ(c.string.body(), nullptr);
            ASSERT_NE(Chars(c.string), nullptr);
            EXPECT_EQ(Chars(c.string)[0], 0);
        }
    }
}

TEST(VelumString, CopiesShareAndAppendCopiesOnWrite)
{
    VelumString a("abc");
    VelumString b(a);
    EXPECT_EQ(a.body(), b.body());
    EXPECT_EQ(a.body()->getRefCount(), 2ul);

    b += "d";
    EXPECT_EQ(Utf16(a), u"abc");
    EXPECT_EQ(Utf16(b), u"abcd");
    EXPECT_NE(a.body(), b.body());
    EXPECT_EQ(a.body()->getRefCount(), 1ul);

    // Appending nothing keeps the body; appending to an empty string shares.
    Velum::VelumStringInst* body = a.body();
    a += "";
    a += VelumString();
    a += static_cast<Velum_CHAR>(0);
    EXPECT_EQ(a.body(), body);
    VelumString empty;
    empty += a;
    EXPECT_EQ(empty.body(), body);

    VelumString c = a;
    const VelumString& alias = c;
    c = alias;  // self-assignment
    EXPECT_EQ(Utf16(c), u"abc");
    EXPECT_EQ(body->getRefCount(), 3ul);
}

// A permanent body is shared like any other, but no copy counts it, and an
// append to a copy copies first: the names of every tree rest on it.
TEST(VelumString, PermanentBodyIsNeverCountedNorChanged)
{
    // Held for the whole run, as the library's own permanent names are: a
    // permanent body is never freed.
    static const VelumString kept = VelumString::permanent(U(u"#text"));
    Velum::VelumStringInst* body = kept.body();
    {
        VelumString name = kept;
        VelumString copy = name;
        EXPECT_EQ(copy.body(), body);
        copy += "x";
        EXPECT_NE(copy.body(), body);
        EXPECT_EQ(Utf16(name), u"#text");
        EXPECT_EQ(body->getRefCount(), static_cast<unsigned long>(Velum::VelumStringInst::kPermanent));
    }
    // Every handle is gone and the body is still there (under the
    // sanitizers a freed one would be reported here).
    EXPECT_EQ(body->getRefCount(), static_cast<unsigned long>(Velum::VelumStringInst::kPermanent));
    EXPECT_FALSE(VelumString::permanent(nullptr));
}

// Text taken from the string's own buffer survives the change it feeds.
TEST(VelumString, OwnTextAsOperand)
{
    VelumString s("abcdef");
    s = Chars(s) + 2;
    EXPECT_EQ(Utf16(s), u"cdef");
    s += s;
    EXPECT_EQ(Utf16(s), u"cdefcdef");
    for (int i = 0; i < 3; ++i)  // 8, 16, 32, 64 code units: the buffer moves
        s.append(Chars(s), s.getLength());
    EXPECT_EQ(s.getLength(), 64ul);
    EXPECT_EQ(Utf16(s.substr(56, kNone)), u"cdefcdef");
    VelumString t(s);
    t += Chars(t);  // shared: a new body is made from the old one's text
    EXPECT_EQ(t.getLength(), 128ul);
    EXPECT_EQ(s.getLength(), 64ul);
}

// With a granule of 32, a body of 10 code units has room for 21 more.
TEST(VelumString, AppendsStayInPlaceWithinTheGranule)
{
    VelumString s("0123456789");
    const Velum_CHAR* buffer = Chars(s);
    for (int i = 0; i < 21; ++i)
        s += static_cast<Velum_CHAR>('x');
    EXPECT_EQ(Chars(s), buffer);
    s += static_cast<Velum_CHAR>('y');
    EXPECT_NE(Chars(s), buffer);
    EXPECT_EQ(Utf16(s), u"0123456789" + std::u16string(21, u'x') + u"y");
}

// Regression: growing one granule at a time made building a long text
// quadratic.
TEST(VelumString, LongTextsGrowGeometrically)
{
    VelumString s;
    unsigned long moves = 0;
    const Velum_CHAR* buffer = Chars(s);
    for (int i = 0; i < 200000; ++i) {
        s += static_cast<Velum_CHAR>('a' + i % 26);
        if (Chars(s) != buffer) {
            ++moves;
            buffer = Chars(s);
        }
    }
    EXPECT_LT(moves, 120ul) << moves;
    EXPECT_EQ(s.getLength(), 200000ul);
    EXPECT_EQ(Utf16(s.substr(199998, 2)), u"gh");  // 199998 % 26 == 6
}

TEST(VelumString, NumbersFromText)
{
    const struct {
        const char* text;
        int dec;
        unsigned int udec;
        unsigned int hex;
    } cases[] = {
        {"", 0, 0, 0},
        {"0", 0, 0, 0},
        {"12a", 0, 0, 0x12A},
        {"-12", -12, 0, 0},
        {"-", 0, 0, 0},
        {"--1", 0, 0, 0},
        {"+5", 0, 0, 0},
        {" 5", 0, 0, 0},
        {"ff", 0, 0, 255},
        {"FF", 0, 0, 255},
        {"0x1F", 0, 0, 0},
        {"2147483647", INT_MAX, 2147483647u, 0x47483647u},
        {"-2147483648", INT_MIN, 0, 0},
        {"2147483648", INT_MIN, 2147483648u, 0x47483648u},  // wraps: no overflow check
        {"4294967295", -1, 4294967295u, 0x94967295u},
        {"4294967296", 0, 0, 0x94967296u},
        {"123456789abcdef0", 0, 0, 0x9ABCDEF0u},  // only the last 8 digits count
    };
    for (const auto& c : cases) {
        const VelumString s(c.text);
        EXPECT_EQ(s.Dec_to_Int(), c.dec) << c.text;
        EXPECT_EQ(s.Dec_to_UInt(), c.udec) << c.text;
        EXPECT_EQ(s.Hex_to_UInt(), c.hex) << c.text;
    }
}

TEST(VelumString, ComparisonsWithEveryOperandType)
{
    const VelumString minus5("-5");
    const VelumString empty;
    const Velum_CHAR a0b[] = {'a', 0, 'b'};
    const VelumString withZero(a0b, 3);

    const struct {
        const char* what;
        bool actual;
        bool expected;
    } cases[] = {
        {"string", minus5 == VelumString(-5), true},
        {"shared", minus5 == VelumString(minus5), true},
        {"empty bodies", empty == VelumString(U(u"ab")).substr(1, 0), true},
        {"prefix", minus5 == VelumString("-"), false},
        {"utf16", minus5 == U(u"-5"), true},
        {"utf16 left", U(u"-5") == minus5, true},
        {"utf16 null", empty == static_cast<const Velum_CHAR*>(nullptr), true},
        {"narrow", minus5 == "-5", true},
        {"narrow left", "-5" != minus5, false},
        {"narrow shorter", minus5 == "-", false},
        {"narrow empty", empty == "", true},
        {"narrow high", VelumString(U(u"\u00E9")) == "\xE9", true},
        {"narrow vs wide", VelumString(U(u"\uFFE9")) == "\xE9", false},
        {"int", minus5 == -5, true},
        {"int left", -5 == minus5, true},
        {"int sign", minus5 == 5, false},
        {"leading zeros", VelumString("007") == 7, false},
        {"empty is no number", empty == 0, false},
        {"int min", VelumString("-2147483648") == INT_MIN, true},
        {"uint", VelumString("4294967295") == 4294967295u, true},
        {"uint left", 7u != VelumString("7"), false},
        {"char", VelumString("a") == static_cast<Velum_CHAR>('a'), true},
        {"char left", static_cast<Velum_CHAR>('a') == VelumString("ab"), false},
        {"char 0", empty == static_cast<Velum_CHAR>(0), true},
        {"char 0 nonempty", VelumString("a") == static_cast<Velum_CHAR>(0), false},
        {"embedded 0 vs utf16", withZero == U(u"a"), false},
        {"embedded 0 vs narrow", withZero == "a", false},
        {"embedded 0 vs string", withZero == VelumString(a0b, 3), true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.actual, c.expected) << c.what;
}

TEST(VelumString, ConcatenationWithEveryOperandType)
{
    const VelumString s("ab");
    const struct {
        VelumString result;
        std::u16string expected;
    } cases[] = {
        {s + s, u"abab"},
        {s + U(u"\u00E9"), u"ab\u00E9"},
        {s + "c", u"abc"},
        {s + static_cast<Velum_CHAR>('c'), u"abc"},
        {s + -12, u"ab-12"},
        {s + 12u, u"ab12"},
        {U(u"x") + s, u"xab"},
        {"x" + s, u"xab"},
        {static_cast<Velum_CHAR>('x') + s, u"xab"},
        {INT_MIN + s, u"-2147483648ab"},
        {0u + s, u"0ab"},
        {VelumString() + "", u""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Utf16(c.result), c.expected);
    EXPECT_EQ(Utf16(s), u"ab");
}

TEST(VelumString, IndexAndSubstr)
{
    const VelumString abcabc("abcabc");
    EXPECT_EQ(abcabc.index(U(u"ca")), 2ul);
    EXPECT_EQ(abcabc.index(VelumString("bc")), 1ul);
    EXPECT_EQ(abcabc.index(U(u"cab")), 2ul);
    EXPECT_EQ(abcabc.index(U(u"abcabcd")), kNone);
    EXPECT_EQ(abcabc.index(U(u"cc")), kNone);
    EXPECT_EQ(abcabc.index(U(u"")), kNone);
    EXPECT_EQ(abcabc.index(static_cast<const Velum_CHAR*>(nullptr)), kNone);
    EXPECT_EQ(abcabc.index(VelumString()), kNone);
    EXPECT_EQ(VelumString().index(U(u"a")), kNone);
    EXPECT_EQ(abcabc.index(abcabc), 0ul);

    const VelumString abcdef("abcdef");
    const struct {
        unsigned long pos;
        unsigned long len;
        std::u16string expected;
    } cases[] = {
        {2, kNone, u"cdef"}, {6, 1, u""}, {4, 10, u"ef"}, {0, 6, u"abcdef"},
        {1, 0, u""},         {5, 1, u"f"}, {7, 0, u""},   {3, ~0ul, u"def"},
    };
    for (const auto& c : cases) {
        const VelumString part = abcdef.substr(c.pos, c.len);
        EXPECT_EQ(Utf16(part), c.expected) << c.pos << "," << c.len;
        if (part) {
            EXPECT_NE(part.body(), abcdef.body());
        }
    }
}

TEST(VelumString, CharacterClasses)
{
    enum { B = 1, I = 2, C = 4, D = 8, E = 16 };
    const struct {
        Velum_CHAR c;
        int classes;
    } cases[] = {
        {0x0040, 0}, {0x0041, B}, {0x005A, B}, {0x005B, 0}, {0x0030, D}, {0x0039, D}, {0x00B7, E}, {0x00D7, 0},
        {0x00F7, 0}, {0x00F8, B}, {0x0131, B}, {0x0132, 0}, {0x02D0, E}, {0x02D1, E}, {0x0300, C}, {0x0345, C},
        {0x0346, 0}, {0x0386, B}, {0x0387, E}, {0x0640, E}, {0x0660, D}, {0x0669, D}, {0x066A, 0}, {0x06DD, C},
        {0x0E45, B}, {0x0E46, E}, {0x0E47, C}, {0x0F29, D}, {0x0F2A, 0}, {0x11F9, B}, {0x20E1, C}, {0x2126, B},
        {0x3005, E}, {0x3006, 0}, {0x3007, I}, {0x3021, I}, {0x3029, I}, {0x302A, C}, {0x3099, C}, {0x309B, 0},
        {0x30FE, E}, {0x30FF, 0}, {0x4DFF, 0}, {0x4E00, I}, {0x9FA5, I}, {0x9FA6, 0}, {0xAC00, B}, {0xD7A3, B},
        {0xD7A4, 0}, {0xD800, 0}, {0xFFFF, 0}, {0x0000, 0},
    };
    for (const auto& c : cases) {
        const Velum_CHAR ch = c.c;
        const int actual = (VelumString::isBaseChar(ch) ? B : 0) | (VelumString::isIdeographic(ch) ? I : 0)
            | (VelumString::isCombiningChar(ch) ? C : 0) | (VelumString::isDigit(ch) ? D : 0)
            | (VelumString::isExtender(ch) ? E : 0);
        EXPECT_EQ(actual, c.classes) << std::hex << ch;
    }

    // Sizes of the standard's tables: a typo in any range shows here.
    unsigned long counts[5] = {};
    for (unsigned long u = 0; u <= 0xFFFF; ++u) {
        const Velum_CHAR ch = static_cast<Velum_CHAR>(u);
        counts[0] += VelumString::isBaseChar(ch);
        counts[1] += VelumString::isIdeographic(ch);
        counts[2] += VelumString::isCombiningChar(ch);
        counts[3] += VelumString::isDigit(ch);
        counts[4] += VelumString::isExtender(ch);
        // The ASCII shortcut must agree with the tables.
        EXPECT_EQ(VelumString::isNameChar(ch), VelumString::isLetter(ch) || VelumString::isDigit(ch)
                      || VelumString::isCombiningChar(ch) || VelumString::isExtender(ch) || ch == '.' || ch == '-'
                      || ch == '_' || ch == ':');
    }
    EXPECT_EQ(counts[0], 13602ul);
    EXPECT_EQ(counts[1], 20912ul);
    EXPECT_EQ(counts[2], 437ul);
    EXPECT_EQ(counts[3], 149ul);
    EXPECT_EQ(counts[4], 18ul);

    const struct {
        Velum_CHAR c;
        int kind;  // 2 space, 1 other character, 0 neither
    } chars[] = {
        {0x09, 2},   {0x0A, 2},   {0x0D, 2},   {0x20, 2},   {0x21, 1},   {0xD7FF, 1}, {0xE000, 1}, {0xFFFD, 1},
        {0x00, 0},   {0x08, 0},   {0x0B, 0},   {0x1F, 0},   {0xD800, 0}, {0xDFFF, 0}, {0xFFFE, 0}, {0xFFFF, 0},
    };
    for (const auto& c : chars) {
        EXPECT_EQ(VelumString::isChar(c.c), c.kind != 0) << std::hex << c.c;
        EXPECT_EQ(VelumString::isSpace(c.c), c.kind == 2) << std::hex << c.c;
    }
}

TEST(VelumString, Names)
{
    const struct {
        const char16_t* text;
        bool name;
    } cases[] = {
        {u"a", true},        {u"_", true},        {u":", true},          {u"a-b.c_d:e9", true},
        {u"\u00E9t\u00E9", true}, {u"\u3007x", true}, {u"x\u00B7\u0E47y", true}, {u"\u65E5\u672C", true},
        {u"", false},        {u"1a", false},      {u"-a", false},        {u".a", false},
        {u"a b", false},     {u"\u0E47a", false}, {u"\u00B7a", false},   {u"a\u00D7", false},
        {u"\U00010000", false},
    };
    for (const auto& c : cases) {
        const VelumString text(U(c.text));
        EXPECT_EQ(VelumString::isName(U(c.text)), c.name) << Ascii(text);
        EXPECT_EQ(text.isName(), c.name) << Ascii(text);
    }
    // Every code unit first and after a letter: the ASCII table in front of
    // the interval tables must agree with them.
    for (unsigned long u = 1; u <= 0xFFFF; ++u) {
        const Velum_CHAR ch = static_cast<Velum_CHAR>(u);
        const Velum_CHAR alone[] = {ch, 0}, after[] = {'a', ch, 0};
        const bool starts = VelumString::isLetter(ch) || ch == '_' || ch == ':';
        EXPECT_EQ(VelumString::isName(alone), starts) << std::hex << u;
        EXPECT_EQ(VelumString(alone, 1).isName(), starts) << std::hex << u;
        EXPECT_EQ(VelumString::isName(after), VelumString::isNameChar(ch)) << std::hex << u;
        EXPECT_EQ(VelumString(after, 2).isName(), VelumString::isNameChar(ch)) << std::hex << u;
    }
    // Longer names are checked several units at a time: every ASCII unit, and
    // some beyond, in every place of that scan.
    for (unsigned long u = 1; u <= 0x7FFF; u = u < 0x80 ? u + 1 : u * 3 + 1) {
        for (std::size_t at = 1; at <= 18; ++at) {
            std::u16string name(at + 3, u'b');
            name[at] = static_cast<char16_t>(u);
            const VelumString text(U(name.c_str()));
            EXPECT_EQ(text.isName(), VelumString::isNameChar(static_cast<Velum_CHAR>(u))) << std::hex << u << " at " << at;
        }
    }
    EXPECT_FALSE(VelumString::isName(nullptr));
    const Velum_CHAR a0b[] = {'a', 0, 'b'};
    EXPECT_FALSE(VelumString(a0b, 3).isName());
}

// Lengths past the 2 GiB block limit are refused before any copy, so the
// failure path runs without a real out-of-memory condition.
TEST(VelumString, AllocationFailureLeavesTheStringAlone)
{
    const unsigned long huge = 0x40000000ul;
    const Velum_CHAR x[] = {'x', 0};
    VelumString alone("abc");
    VelumString s("abc");
    const VelumString shared(s);
    for (VelumString* target : {&alone, &s}) {
        try {
            target->append(x, huge);
            ADD_FAILURE() << "no exception";
        } catch (const VelumException& e) {
            EXPECT_EQ(e.m_code, VelumException::OUT_OF_MEMORY_ERR);
        }
        EXPECT_EQ(Utf16(*target), u"abc");
    }
    EXPECT_EQ(s.body(), shared.body());
    EXPECT_THROW(VelumString(x, huge), VelumException);
    EXPECT_THROW(Velum::VelumStringInst::create(x, ~0ul), VelumException);

    void* memory = Velum::allocateOrThrow(0);
    EXPECT_NE(memory, nullptr);
    Velum::releaseMemory(memory);
    Velum::releaseMemory(nullptr);
}

}  // namespace

// Numbers whose digits include 0 inside or at the end, and texts where one
// is a prefix of the other or the match ends the text.
TEST(VelumString, InnerZerosPrefixesAndMatchesAtTheEnd)
{
    const struct {
        long long number;
        const char* text;
    } numbers[] = {{10, "10"}, {105, "105"}, {1000, "1000"}, {100200, "100200"}, {-10, "-10"}, {-1005, "-1005"}};
    for (const auto& n : numbers) {
        const VelumString text = n.number < 0 ? VelumString(static_cast<int>(n.number))
                                              : VelumString(static_cast<unsigned int>(n.number));
        EXPECT_EQ(Ascii(text), n.text);
        EXPECT_EQ(Ascii(VelumString(static_cast<int>(n.number))), n.text);
        EXPECT_TRUE(VelumString(n.text) == static_cast<int>(n.number)) << n.text;
        VelumString appended("x");
        appended += static_cast<int>(n.number);
        EXPECT_EQ(Ascii(appended), std::string("x") + n.text);
    }
    EXPECT_FALSE(VelumString("10") == 1);
    EXPECT_FALSE(VelumString("1") == 10);

    const struct {
        const char* text;
        const char* other;
        bool equal;
        unsigned long index;  // of other in text
    } pairs[] = {
        {"ab", "abc", false, 0xFFFFFFFF},
        {"abc", "ab", false, 0},
        {"abc", "bc", false, 1},
        {"abc", "c", false, 2},
        {"aab", "ab", false, 1},
        {"abab", "abb", false, 0xFFFFFFFF},
        {"xyab", "ab", false, 2},
        {"abc", "abc", true, 0},
    };
    for (const auto& p : pairs) {
        const VelumString text(p.text), other(p.other);
        EXPECT_EQ(text == other, p.equal) << p.text << " / " << p.other;
        EXPECT_EQ(other == text, p.equal) << p.other << " / " << p.text;
        EXPECT_EQ(text == p.other, p.equal) << p.text << " / " << p.other;
        EXPECT_EQ(text == static_cast<const Velum_CHAR*>(other), p.equal) << p.text << " / " << p.other;
        EXPECT_EQ(text != other, !p.equal);
        EXPECT_EQ(text.index(other), p.index) << p.other << " in " << p.text;
        EXPECT_EQ(text.index(static_cast<const Velum_CHAR*>(other)), p.index) << p.other << " in " << p.text;
    }
}
