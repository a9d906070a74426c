// Handles, the paged child list and the attribute map.
#include "VelumTest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Velum;

namespace {

Document NewDocument()
{
    return createDocument(U(u"1.0"), U(u"root"), nullptr);
}

NodeListInst* ListOf(const NodeList& list)
{
    return static_cast<NodeListInst*>(list.getInstance());
}

std::string Names(const NodeList& list)
{
    std::string names;
    for (unsigned long i = 0; i < list.getLength(); ++i)
        names += (names.empty() ? "" : " ") + Ascii(list.item(i).getNodeName());
    return names;
}

std::u16string Numbered(int i)
{
    return u"e" + std::u16string(1, static_cast<char16_t>(u'a' + i / 26)) +
           std::u16string(1, static_cast<char16_t>(u'a' + i % 26));
}

TEST(NodeListPages, ReleasedOnlyHalfAPageBelowTheBoundary)
{
    Document document = NewDocument();
    Element root = document.getDocumentElement();
    std::vector<Node> children;
    for (int i = 0; i < 17; ++i)
        children.push_back(root.appendChild(document.createElement(U(Numbered(i).c_str()))));
    NodeList list = root.getChildNodes();
    EXPECT_EQ(2u, ListOf(list)->getPageCount());

    // (2 - 1) x 16 - 8 = 8: the second page goes when the count drops below 8.
    for (int i = 16; i >= 8; --i) {
        root.removeChild(children[i]);
        EXPECT_EQ(2u, ListOf(list)->getPageCount()) << "count " << i;
    }
    root.removeChild(children[7]);
    EXPECT_EQ(1u, ListOf(list)->getPageCount());
    EXPECT_EQ(7u, list.getLength());
    EXPECT_EQ("eaa eab eac ead eae eaf eag", Names(list));
}

TEST(NodeListPages, InsertCarriesItemsAcrossPages)
{
    Document document = NewDocument();
    Element root = document.getDocumentElement();
    std::vector<Node> children;
    std::string expected;
    for (int i = 0; i < 33; ++i)
        children.push_back(root.appendChild(document.createElement(U(Numbered(i).c_str()))));
    // Before the first item of the second page, then before the very first.
    root.insertBefore(document.createElement(U(u"x")), children[16]);
    root.insertBefore(document.createElement(U(u"y")), children[0]);
    NodeList list = root.getChildNodes();
    ASSERT_EQ(35u, list.getLength());
    EXPECT_EQ("y", Ascii(list.item(0).getNodeName()));
    EXPECT_EQ("eap", Ascii(list.item(16).getNodeName()));
    EXPECT_EQ("x", Ascii(list.item(17).getNodeName()));
    EXPECT_EQ("eaq", Ascii(list.item(18).getNodeName()));
    EXPECT_EQ("ebg", Ascii(list.item(34).getNodeName()));
    EXPECT_FALSE(list.item(35));
    EXPECT_EQ(3u, ListOf(list)->getPageCount());

    // Removing from the front shifts every later item back across pages.
    root.removeChild(list.item(0));
    EXPECT_EQ("eaa", Ascii(list.item(0).getNodeName()));
    EXPECT_EQ("x", Ascii(list.item(16).getNodeName()));
    EXPECT_EQ("ebg", Ascii(list.item(33).getNodeName()));
}

TEST(AttributeMap, FindsNamesSharingABucketAndKeepsInsertionOrder)
{
    // Two names in one bucket of 31.
    std::u16string first = u"n0";
    std::u16string second;
    for (int i = 1; second.empty(); ++i) {
        const std::u16string name = u"n" + std::u16string(1, static_cast<char16_t>(u'0' + i % 10)) +
                                    std::u16string(1, static_cast<char16_t>(u'a' + i / 10));
        if (NamedNodeMapInst::hash(U(name.c_str())) == NamedNodeMapInst::hash(U(first.c_str())))
            second = name;
    }

    for (int extra : {0, 12}) {  // a small map, then one that has made its buckets
        Document document = NewDocument();
        Element element = document.createElement(U(u"e"));
        element.setAttribute(U(first.c_str()), U(u"1"));
        for (int i = 0; i < extra; ++i)
            element.setAttribute(U(Numbered(i).c_str()), U(u"x"));
        element.setAttribute(U(second.c_str()), U(u"2"));
        EXPECT_EQ("1", Ascii(element.getAttribute(U(first.c_str()))));
        EXPECT_EQ("2", Ascii(element.getAttribute(U(second.c_str()))));

        element.removeAttribute(U(second.c_str()));  // the head of the chain
        EXPECT_EQ("1", Ascii(element.getAttribute(U(first.c_str()))));
        EXPECT_EQ("", Ascii(element.getAttribute(U(second.c_str()))));
        element.setAttribute(U(second.c_str()), U(u"3"));
        element.removeAttribute(U(first.c_str()));
        EXPECT_EQ("3", Ascii(element.getAttribute(U(second.c_str()))));

        NamedNodeMap map = element.getAttributes();
        EXPECT_EQ(static_cast<unsigned long>(extra + 1), map.getLength());
        EXPECT_FALSE(map.item(map.getLength()));
    }
}

TEST(AttributeMap, ReplacementKeepsThePlace)
{
    Document document = NewDocument();
    Element element = document.createElement(U(u"e"));
    element.setAttribute(U(u"a"), U(u"1"));
    element.setAttribute(U(u"b"), U(u"2"));
    element.setAttribute(U(u"c"), U(u"3"));
    element.setAttribute(U(u"a"), U(u"4"));
    NamedNodeMap map = element.getAttributes();
    ASSERT_EQ(3u, map.getLength());
    EXPECT_EQ("a", Ascii(map.item(0).getNodeName()));
    EXPECT_EQ("4", Ascii(map.item(0).getNodeValue()));

    // Through the map: same position, old node returned; new name at the end.
    Attr replacement = document.createAttribute(U(u"b"));
    replacement.setNodeValue(U(u"5"));
    Node old = map.setNamedItem(replacement);
    EXPECT_EQ("2", Ascii(old.getNodeValue()));
    EXPECT_EQ("5", Ascii(map.item(1).getNodeValue()));
    EXPECT_FALSE(map.setNamedItem(document.createAttribute(U(u"d"))));
    EXPECT_EQ("d", Ascii(map.item(3).getNodeName()));

    // An attribute that belongs to an element cannot join another map.
    Element other = document.createElement(U(u"o"));
    other.setAttribute(U(u"z"), U(u"1"));
    try {
        map.setNamedItem(other.getAttributeNode(U(u"z")));
        FAIL() << "an owned attribute was added";
    } catch (const VelumException& e) {
        EXPECT_EQ(VelumException::INUSE_ATTRIBUTE_ERR, e.m_code);
    }

    EXPECT_EQ("c", Ascii(map.removeNamedItem(U(u"c")).getNodeName()));
    try {
        map.removeNamedItem(U(u"c"));
        FAIL() << "removed an absent item";
    } catch (const VelumException& e) {
        EXPECT_EQ(VelumException::NOT_FOUND_ERR, e.m_code);
    }
    EXPECT_EQ(3u, map.getLength());
}

TEST(Handles, EmptyAndSelfAssigned)
{
    NodeList emptyList;
    NamedNodeMap emptyMap;
    for (auto call : {+[](const NodeList& l) { l.getLength(); }, +[](const NodeList& l) { l.item(0); }}) {
        try {
            call(emptyList);
            FAIL() << "an empty list answered";
        } catch (const VelumException& e) {
            EXPECT_EQ(VelumException::EMPTY_HANDLE_ERR, e.m_code);
        }
    }
    EXPECT_THROW(emptyMap.getLength(), VelumException);

    Document document = NewDocument();
    Element element = document.getDocumentElement();
    Element& same = element;
    document = Document();  // the element's handle alone keeps it
    element = same;
    EXPECT_EQ("root", Ascii(element.getNodeName()));
    Node a = element;
    Node b = a;
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a != b);
    EXPECT_TRUE(Node() == Node());
}

TEST(Vector, GrowsByUnitsAndShrinksWithAMargin)
{
    Velum::vector<int> items(4);
    for (int i = 0; i < 9; ++i)
        EXPECT_TRUE(items.append(i));
    EXPECT_EQ(3u, items.getSteps());
    EXPECT_EQ(0, items[9]);  // past the count
    EXPECT_FALSE(items.remove(9));
    // Shrinks once at most (3 - 1) x 4 - 2 = 6 remain.
    EXPECT_TRUE(items.remove(0));
    EXPECT_TRUE(items.remove(0));
    EXPECT_EQ(3u, items.getSteps());
    EXPECT_TRUE(items.remove(0));
    EXPECT_EQ(2u, items.getSteps());
    EXPECT_EQ(3, items[0]);
    EXPECT_EQ(8, items[5]);

    Velum::vector<int> copy(2);
    copy = items;
    EXPECT_EQ(6u, copy.getLength());
    EXPECT_EQ(4u, copy.getSteps());  // the target's own unit
    items.removeAll();
    EXPECT_EQ(0u, items.getLength());
    EXPECT_EQ(8, copy[5]);
}

}  // namespace
