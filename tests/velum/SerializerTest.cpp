// The writer: exact bytes of every encoding, escaping, the special node
// forms, and the refused cases. Every expectation is a whole file.
#include "TempFile.h"
#include "VelumTest.h"

#include <gtest/gtest.h>

using namespace Velum;

namespace {

// Writes document to a fresh disk file and returns the file's bytes; the
// result of serialize goes to *ok.
std::string Written(const Document& document, unsigned short encoding, bool* ok = nullptr)
{
    const std::string path = TempPath("serialized.xml");
    void* file = openFile(path.c_str(), 0x22);
    EXPECT_NE(file, nullptr);
    const bool result = serialize(document, encoding, file);
    if (file != nullptr)
        closeFile(file);
    if (ok != nullptr)
        *ok = result;
    return ReadBytes(path);
}

Document NewDocument(const char16_t* rootName = u"r")
{
    return createDocument(U(u"1.0"), U(rootName), U(u""));
}

const char UTF8_DECLARATION[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

}  // namespace

TEST(Serializer, EveryEncodingWritesTheSameDocument)
{
    // A two-byte, a three-byte and a surrogate pair (each half written as
    // its own three-byte sequence in UTF-8).
    Document document = NewDocument();
    document.getDocumentElement().appendChild(document.createTextNode(U(u"\u00E9\u65E5\U0001F600")));
    const std::u16string utf16Text =
        u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<r>\u00E9\u65E5\U0001F600</r>";

    struct Case {
        unsigned short encoding;
        std::string expected;
    } cases[] = {
        {1, std::string(UTF8_DECLARATION) + "<r>\xC3\xA9\xE6\x97\xA5\xED\xA0\xBD\xED\xB8\x80</r>"},
        {2, "\xFE\xFF" + Utf16Bytes(utf16Text, true)},
        {3, "\xFF\xFE" + Utf16Bytes(utf16Text, false)},
        {4, Utf16Bytes(utf16Text, true)},
        {5, Utf16Bytes(utf16Text, false)},
    };
    for (const Case& c : cases) {
        bool ok = false;
        EXPECT_EQ(Written(document, c.encoding, &ok), c.expected) << "encoding " << c.encoding;
        EXPECT_TRUE(ok) << "encoding " << c.encoding;
    }
}

TEST(Serializer, DeclarationCarriesStandaloneOnlyWhenSet)
{
    for (int standalone = -1; standalone <= 1; ++standalone) {
        Document document = NewDocument();
        if (standalone >= 0)
            document.setStandalone(standalone == 1);
        const char* attribute = standalone < 0 ? "" : standalone ? " standalone=\"yes\"" : " standalone=\"no\"";
        EXPECT_EQ(Written(document, 1),
                  std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"") + attribute + "?>\n<r/>")
            << "standalone " << standalone;
    }
}

TEST(Serializer, EscapesTextAndAttributesByMode)
{
    // Documents whose element name starts with "html" (case-sensitive) keep
    // the apostrophe; CR, LF and TAB pass unchanged.
    struct Case {
        const char16_t* root;
        const char* expected;
    } cases[] = {
        {u"r", "<r a=\"a&quot;b&lt;c&apos;\">&amp;x&gt;&apos;y\r\n\t</r>"},
        {u"htmlx", "<htmlx a=\"a&quot;b&lt;c'\">&amp;x&gt;'y\r\n\t</htmlx>"},
        {u"HTML", "<HTML a=\"a&quot;b&lt;c&apos;\">&amp;x&gt;&apos;y\r\n\t</HTML>"},
    };
    for (const Case& c : cases) {
        Document document = NewDocument(c.root);
        Element root = document.getDocumentElement();
        root.setAttribute(U(u"a"), U(u"a\"b<c'"));
        root.appendChild(document.createTextNode(U(u"&x>'y\r\n\t")));
        EXPECT_EQ(Written(document, 1), std::string(UTF8_DECLARATION) + c.expected);
    }

    Serializer serializer;
    EXPECT_EQ(Utf16(serializer.char2entityReference(VelumString(U(u"'<&>\"")), false)),
              u"&apos;&lt;&amp;&gt;&quot;");
    EXPECT_EQ(Utf16(serializer.char2entityReference(VelumString(U(u"it's")), true)), u"it's");
}

TEST(Serializer, EmptyElementFormsDependOnHtmlMode)
{
    for (const char16_t* root : {u"html", u"r"}) {
        Document document = NewDocument(root);
        for (const char16_t* name : {u"br", u"p", u"img"})
            document.getDocumentElement().appendChild(document.createElement(U(name)));
        const std::string expected = root[0] == u'h' ? "<html><br /><p></p><img /></html>" : "<r><br/><p/><img/></r>";
        EXPECT_EQ(Written(document, 1), UTF8_DECLARATION + expected);
    }
}

TEST(Serializer, DataCannotEndItsConstruct)
{
    struct Case {
        const char16_t* comment;
        const char16_t* cdata;
        const char16_t* piData;
        const char* expected;
    } cases[] = {
        {u"a--b-", u"a]]>b", u"x?>y", "<?t x? >y?>\n<!--a- -b- --><r><!--a- -b- --><![CDATA[a]] >b]]></r>"},
        {u"---", u"]]]>", u"", "<?t ?>\n<!--- - - --><r><!--- - - --><![CDATA[]]] >]]></r>"},
        {u"", u"", u"??", "<?t ??" "?>\n<!----><r><!----><![CDATA[]]></r>"},
    };
    for (const Case& c : cases) {
        Document document = NewDocument();
        Element root = document.getDocumentElement();
        document.insertBefore(document.createComment(U(c.comment)), root);
        document.insertBefore(document.createProcessingInstruction(U(u"t"), U(c.piData)), document.getFirstChild());
        root.appendChild(document.createComment(U(c.comment)));
        root.appendChild(document.createCDATASection(U(c.cdata)));
        EXPECT_EQ(Written(document, 1), UTF8_DECLARATION + std::string(c.expected));
    }
}

TEST(Serializer, DocumentTypeIsWrittenBeforeTheElement)
{
    Document document = createDocument(U(u"1.1"), U(u"r"), U(u"r SYSTEM \"r.dtd\""));
    EXPECT_EQ(Written(document, 1),
              "<?xml version=\"1.1\" encoding=\"UTF-8\"?>\n<!DOCTYPE r SYSTEM \"r.dtd\">\n<r/>");
}

TEST(Serializer, RefusedCallsReturnFalse)
{
    Document document = NewDocument();
    EXPECT_FALSE(serialize(document, 1, nullptr));

    // The old content is cut away even when nothing follows; codes 2 and 3
    // still leave their byte-order mark.
    struct Case {
        Document document;
        unsigned short encoding;
        const char* left;
    } cases[] = {
        {Document(), 1, ""},
        {Document(), 3, "\xFF\xFE"},
        {document, 0, ""},
        {document, 6, ""},
    };
    for (const Case& c : cases) {
        const std::string path = TempPath("refused.xml");
        WriteBytes(path, "old content");
        void* file = openFile(path.c_str(), 0x33);
        ASSERT_NE(file, nullptr);
        EXPECT_FALSE(serialize(c.document, c.encoding, file)) << "encoding " << c.encoding;
        closeFile(file);
        EXPECT_EQ(ReadBytes(path), c.left) << "encoding " << c.encoding;
    }

    // A Node binds to `const Document&`: an element given as the document
    // is refused, and nothing is raised.
    const std::string path = TempPath("refused.xml");
    void* file = openFile(path.c_str(), 0x22);
    ASSERT_NE(file, nullptr);
    Node element = document.getDocumentElement();
    EXPECT_FALSE(serialize(element, 1, file));
    closeFile(file);
}

TEST(Serializer, HandleWithoutWriteAccessFailsAndKeepsTheFile)
{
    // Written after the open, so that a handle that was created (and so cut)
    // by the open still finds something to lose: Wine lets such a handle cut
    // the file although it may not write.
    for (int flags : {0x13, 0x12, 0x11, 0x03, 0x02}) {
        const std::string path = TempPath("readonly.xml");
        if ((flags & 0x0F) == 3)
            WriteBytes(path, "old");
        void* file = openFile(path.c_str(), flags);
        ASSERT_NE(file, nullptr) << std::hex << flags;
        WriteBytes(path, "keep me");
        EXPECT_FALSE(serialize(NewDocument(), 1, file)) << std::hex << flags;
        closeFile(file);
        EXPECT_EQ(ReadBytes(path), "keep me") << std::hex << flags;
    }
}

TEST(Serializer, LongTextCrossesTheBufferIntact)
{
    // 50,000 repetitions give about 500 KB, several buffers' worth, with
    // multi-byte characters and references straddling the block edges.
    std::u16string text, escaped16;
    std::string escaped8;
    for (int i = 0; i < 50000; ++i) {
        text += u"\u65E5&";
        escaped16 += u"\u65E5&amp;";
        escaped8 += "\xE6\x97\xA5&amp;";
    }
    Document document = NewDocument();
    document.getDocumentElement().appendChild(document.createTextNode(U(text.c_str())));

    EXPECT_EQ(Written(document, 1), UTF8_DECLARATION + ("<r>" + escaped8 + "</r>"));
    EXPECT_EQ(Written(document, 5),
              Utf16Bytes(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<r>" + escaped16 + u"</r>", false));
}

TEST(Serializer, DeepDocumentNeedsNoDeepStack)
{
    // Deep enough that a recursive writer would overflow any default stack.
    const int depth = 500000;
    Document document = NewDocument();
    // Built from the bottom up, so that no insertion walks a long chain.
    Element chain = document.createElement(U(u"a"));
    for (int i = 1; i < depth; ++i) {
        Element parent = document.createElement(U(u"a"));
        parent.appendChild(chain);
        chain = parent;
    }
    document.getDocumentElement().appendChild(chain);
    chain = Element();

    std::string expected = UTF8_DECLARATION + std::string("<r>");
    for (int i = 1; i < depth; ++i)
        expected += "<a>";
    expected += "<a/>";
    for (int i = 1; i < depth; ++i)
        expected += "</a>";
    expected += "</r>";
    bool ok = false;
    EXPECT_TRUE(Written(document, 1, &ok) == expected);
    EXPECT_TRUE(ok);
}

TEST(Initializer, SecondCallAndZeroSizesAreRefused)
{
    // The test program initialized the library before any test ran.
    EXPECT_TRUE(Initializer::initialized());
    EXPECT_FALSE(initialize(16, 31, 32));
    EXPECT_FALSE(initialize(16, 31, 0));
    EXPECT_EQ(Initializer::PAGE_SIZE, 32u);
    EXPECT_EQ(GetDllVersion(), 0x01010106u);
}

TEST(Initializer, ExceptionCrossesTheLibraryBoundary)
{
    // Thrown inside the library, caught by reference here: under Wine this
    // checks the exported class and the shared runtime together.
    Document document = NewDocument();
    unsigned short code = 0;
    try {
        document.createElement(U(u"1bad"));
    } catch (const VelumException& e) {
        code = e.m_code;
    }
    EXPECT_EQ(code, VelumException::INVALID_CHARACTER_ERR);
}

// Each code unit at the edges of the one-, two- and three-byte forms, and
// each half of a surrogate pair on its own.
TEST(Serializer, Utf8AtTheEdgesOfEachLength)
{
    const struct {
        char16_t unit;
        const char* bytes;
    } cases[] = {
        {0x0001, "\x01"},
        {0x007F, "\x7F"},
        {0x0080, "\xC2\x80"},
        {0x07FF, "\xDF\xBF"},
        {0x0800, "\xE0\xA0\x80"},
        {0xD7FF, "\xED\x9F\xBF"},
        {0xD800, "\xED\xA0\x80"},
        {0xDFFF, "\xED\xBF\xBF"},
        {0xE000, "\xEE\x80\x80"},
        {0xFFFF, "\xEF\xBF\xBF"},
    };
    for (const auto& c : cases) {
        Document document = NewDocument();
        const char16_t text[] = {c.unit, 0};
        document.getDocumentElement().appendChild(document.createTextNode(U(text)));
        EXPECT_EQ(Written(document, 1), std::string(UTF8_DECLARATION) + "<r>" + c.bytes + "</r>")
            << std::hex << unsigned(c.unit);
    }
}
