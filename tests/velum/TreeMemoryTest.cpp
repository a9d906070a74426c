// A parsed tree lives in memory of its own, freed in one sweep when the
// document goes and nothing else holds a part of it. Whatever a handle still
// holds (a node, a string, a live list, an attribute map) or another tree
// took in must outlive the document, readable as it was: under the address
// sanitizer a sweep too early shows as a use of freed memory.
#include "TempFile.h"
#include "VelumTest.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

using namespace Velum;

const char kText[] =
    "<?xml version=\"1.0\"?>\n"
    "<root id=\"r\" kind=\"settings\"><item n=\"1\">first</item><item n=\"2\">second</item><empty/></root>";

Document ParseText(const std::string& text)
{
    const std::string path = TempPath("tree-memory.xml");
    WriteBytes(path, text);
    void* file = openFile(path.c_str(), 0x13);
    if (file == nullptr)
        return Document();
    Document document = parse(file);
    closeFile(file);
    return document;
}

// The same tree built by calls inside a scope that cuts it from memory of
// its own, as a parse does; the scope ends before the document is used.
Document BuildText()
{
    Document document;
    {
        TreeMemoryScope scope;
        document = createDocument(U(u"1.0"), U(u"root"), nullptr);
        Element root = document.getDocumentElement();
        root.setAttribute(U(u"id"), U(u"r"));
        root.setAttribute(U(u"kind"), U(u"settings"));
        for (const char16_t* n : {u"1", u"2"}) {
            Element item = document.createElement(U(u"item"));
            item.setAttribute(U(u"n"), U(n));
            item.appendChild(document.createTextNode(U(n[0] == u'1' ? u"first" : u"second")));
            root.appendChild(item);
        }
        root.appendChild(document.createElement(U(u"empty")));
    }
    return document;
}

Element Root(const Document& document)
{
    return document.getDocumentElement();
}

Node FirstItem(const Document& document)
{
    return Root(document).getFirstChild();
}

// What a case keeps: it takes its part of the parsed document and returns
// the check to run once the document handle is gone.
struct Case {
    const char* name;
    std::function<std::function<void()>(const Document&)> keep;
};

const Case kCases[] = {
    {"an element",
     [](const Document& d) {
         Element item = FirstItem(d);
         return std::function<void()>([item] {
             EXPECT_EQ(Ascii(item.getAttribute(U(u"n"))), "1");
             EXPECT_EQ(Ascii(item.getFirstChild().getNodeValue()), "first");
             EXPECT_FALSE(item.getParentNode());  // the root went with the document
         });
     }},
    {"a text node",
     [](const Document& d) {
         Node text = FirstItem(d).getFirstChild();
         return std::function<void()>([text] { EXPECT_EQ(Ascii(text.getNodeValue()), "first"); });
     }},
    {"a value and a name as strings",
     [](const Document& d) {
         VelumString value = FirstItem(d).getFirstChild().getNodeValue();
         VelumString name = Root(d).getNodeName();
         VelumString attribute = Root(d).getAttribute(U(u"kind"));
         return std::function<void()>([value, name, attribute] {
             EXPECT_EQ(Ascii(value), "first");
             EXPECT_EQ(Ascii(name), "root");
             EXPECT_EQ(Ascii(attribute), "settings");
         });
     }},
    {"a live child list",
     [](const Document& d) {
         NodeList children = Root(d).getChildNodes();
         return std::function<void()>([children] {
             ASSERT_EQ(children.getLength(), 3ul);
             EXPECT_EQ(Ascii(children.item(1).getFirstChild().getNodeValue()), "second");
         });
     }},
    {"attribute maps, made and not yet made",
     [](const Document& d) {
         NamedNodeMap made = Root(d).getAttributes();
         Element empty = Root(d).getLastChild();
         NamedNodeMap none = empty.getAttributes();
         return std::function<void()>([made, none, empty]() mutable {
             EXPECT_EQ(made.getLength(), 2ul);
             EXPECT_EQ(Ascii(made.getNamedItem(U(u"id")).getNodeValue()), "r");
             // The map comes into being when the element takes its first
             // attribute, and the handle taken before sees it (the check
             // runs twice).
             if (!empty.getAttributeNode(U(u"late"))) {
                 EXPECT_EQ(none.getLength(), 0ul);
                 EXPECT_FALSE(none.item(0));
                 empty.setAttribute(U(u"late"), U(u"yes"));
             }
             EXPECT_EQ(none.getLength(), 1ul);
             EXPECT_EQ(Ascii(none.item(0).getNodeValue()), "yes");
         });
     }},
    {"an attribute",
     [](const Document& d) {
         Attr id = Root(d).getAttributeNode(U(u"id"));
         return std::function<void()>([id] { EXPECT_EQ(Ascii(id.getNodeValue()), "r"); });
     }},
    {"the elements found by name",
     [](const Document& d) {
         NodeList items = d.getElementsByTagName(U(u"item"));
         return std::function<void()>([items] {
             ASSERT_EQ(items.getLength(), 2ul);
             EXPECT_EQ(Ascii(Element(items.item(1)).getAttribute(U(u"n"))), "2");
         });
     }},
    {"a node moved into a built document",
     [](const Document& d) {
         Document other = createDocument(U(u"1.0"), U(u"other"), nullptr);
         Element target = other.getDocumentElement();
         target.appendChild(FirstItem(d));
         return std::function<void()>([other] {
             EXPECT_EQ(Ascii(other.getDocumentElement().getFirstChild().getFirstChild().getNodeValue()), "first");
         });
     }},
    {"a string taken by a built node",
     [](const Document& d) {
         Document other = createDocument(U(u"1.0"), U(u"other"), nullptr);
         Text text = other.createTextNode(U(u"x"));
         text.setNodeValue(FirstItem(d).getFirstChild().getNodeValue());
         return std::function<void()>([text] { EXPECT_EQ(Ascii(text.getNodeValue()), "first"); });
     }},
    {"a built node taken into the parsed tree",
     [](const Document& d) {
         Document other = createDocument(U(u"1.0"), U(u"other"), nullptr);
         Element added = other.createElement(U(u"added"));
         added.setAttribute(U(u"v"), U(u"built"));
         Root(d).appendChild(added);
         // Only the added node is kept: the parsed tree holds something of
         // another, so the document goes the long way and lets go of it.
         return std::function<void()>([added] {
             EXPECT_EQ(Ascii(added.getAttribute(U(u"v"))), "built");
             EXPECT_FALSE(added.getParentNode());
         });
     }},
};

TEST(ParsedTreeMemory, WhatAHandleOrAnotherTreeHoldsOutlivesTheDocument)
{
    for (const bool built : {false, true}) {
        for (const Case& c : kCases) {
            SCOPED_TRACE(std::string(c.name) + (built ? ", built in a scope" : ", parsed"));
            std::function<void()> check;
            {
                Document document = built ? BuildText() : ParseText(kText);
                ASSERT_TRUE(document);
                check = c.keep(document);
            }
            check();
            // The same again after the document's other parts were reused
            // by another tree, which a sweep too early would have handed out.
            Document second = built ? BuildText() : ParseText(kText);
            ASSERT_TRUE(second);
            check();
        }
    }
    // A document released while its scope still cuts: freed node by node.
    TreeMemoryScope scope;
    Document inside = createDocument(U(u"1.0"), U(u"r"), nullptr);
    inside.getDocumentElement().setAttribute(U(u"a"), U(u"b"));
    inside = Document();
}

// A string read from a document that has gone is the last holder of its
// part of the tree's memory. Appending its own text to it makes a new body
// and lets that part go, which must wait until the text has been copied.
TEST(ParsedTreeMemory, AStringHeldAloneAppendsItsOwnText)
{
    const struct {
        const char* name;
        void (*append)(VelumString&);
        const char* expected;
    } cases[] = {
        {"+= itself", [](VelumString& s) { s += s; }, "settingssettings"},
        {"+= its own text", [](VelumString& s) { s += static_cast<const Velum_CHAR*>(s) + 4; }, "settingsings"},
        {"append of its own text", [](VelumString& s) { s.append(s, 3); }, "settingsset"},
    };
    for (const bool built : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (built ? ", built in a scope" : ", parsed"));
            VelumString kind;
            {
                Document document = built ? BuildText() : ParseText(kText);
                ASSERT_TRUE(document);
                kind = Root(document).getAttribute(U(u"kind"));
            }
            c.append(kind);
            EXPECT_EQ(Ascii(kind), c.expected);
        }
    }
}

// A tree changed after the parse still goes whole, and so does one whose
// parse failed halfway; the texts of many trees made and freed in turn stay
// apart.
TEST(ParsedTreeMemory, TreesParsedAndFreedInTurnKeepTheirTexts)
{
    for (int round = 0; round < 50; ++round) {
        const std::string text = "<?xml version=\"1.0\"?><r>" + std::string(static_cast<size_t>(round) * 40, 'x') +
                                 "<c n=\"" + std::to_string(round) + "\"/></r>";
        Document document = ParseText(text);
        ASSERT_TRUE(document);
        Element c = Root(document).getLastChild();
        c.setAttribute(U(u"m"), U(u"changed"));
        Root(document).removeChild(Root(document).getFirstChild());
        EXPECT_EQ(Ascii(c.getAttribute(U(u"n"))), std::to_string(round));
        EXPECT_FALSE(ParseText("<?xml version=\"1.0\"?><r><c></r>"));
    }
}

// A child list long enough that its page directory outgrows the tree's own
// chunks: the sweep frees the directory too (the leak checker would report
// it), and a tree that goes node by node because a child is held frees it
// once.
TEST(ParsedTreeMemory, ALongChildListGoesWithItsTree)
{
    std::string text = "<?xml version=\"1.0\"?><list>";
    for (int i = 0; i < 6000; ++i)
        text += "<i/>";
    text += "</list>";
    for (const bool holdOne : {false, true}) {
        Node kept;
        {
            Document document = ParseText(text);
            ASSERT_TRUE(document);
            EXPECT_EQ(Root(document).getChildNodes().getLength(), 6000ul);
            if (holdOne)
                kept = Root(document).getChildNodes().item(4321);
        }
        if (holdOne) {
            EXPECT_EQ(Ascii(kept.getNodeName()), "i");
        }
    }
}

}  // namespace
