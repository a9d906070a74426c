// Small blocks: bodies and short strings share chunks, so a fault in the
// pool shows as one node's text overwriting another's, or as a body that a
// handle still holds being handed out again.
#include "TempFile.h"
#include "VelumTest.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

using Velum::Document;
using Velum::Element;
using Velum::Node;
using Velum::NodeList;
using Velum::VelumException;
using Velum::VelumString;

std::u16string Pattern(size_t length, size_t seed)
{
    std::u16string text;
    for (size_t i = 0; i < length; ++i)
        text += static_cast<char16_t>(u'a' + (i + seed) % 26);
    return text;
}

VelumString Make(const std::u16string& text)
{
    return VelumString(U(text.c_str()));
}

// Lengths around every size the pool treats differently: the first blocks,
// the steps of 8 bytes, and strings whose block is just within or just past
// the largest pooled size (header and terminator included).
TEST(SmallBlocks, StringsOfEveryLengthKeepTheirTextWhileNeighboursComeAndGo)
{
    std::vector<std::u16string> texts;
    for (size_t length = 1; length <= 300; ++length)
        texts.push_back(Pattern(length, length));
    std::vector<VelumString> strings;
    for (const auto& text : texts)
        strings.push_back(Make(text));
    // Free every other one, then fill the holes with other texts of the
    // same lengths: each must land in a free block of its own.
    for (size_t i = 0; i < strings.size(); i += 2)
        strings[i] = VelumString();
    for (size_t i = 0; i < strings.size(); i += 2) {
        texts[i] = Pattern(texts[i].size(), i + 7);
        strings[i] = Make(texts[i]);
    }
    for (size_t i = 0; i < strings.size(); ++i)
        ASSERT_EQ(Utf16(strings[i]), texts[i]) << "length " << texts[i].size();
    // Growing a string moves it to a bigger block and frees the old one.
    for (size_t i = 0; i < strings.size(); i += 3) {
        strings[i] += U(u"xyz");
        texts[i] += u"xyz";
    }
    for (size_t i = 0; i < strings.size(); ++i)
        ASSERT_EQ(Utf16(strings[i]), texts[i]) << "length " << texts[i].size();
}

// A tree of n commands: <r><c name="kN">text N</c>...</r>.
Document BuildTree(size_t count, size_t seed)
{
    Document document = Velum::createDocument(U(u"1.0"), U(u"r"), nullptr);
    Element root = document.getDocumentElement();
    for (size_t i = 0; i < count; ++i) {
        Element command = document.createElement(U(u"c"));
        const std::u16string name = u"k" + Pattern(i % 7 + 1, seed + i);
        command.setAttribute(U(u"name"), U(name.c_str()));
        command.appendChild(document.createTextNode(U(Pattern(i % 40 + 1, i).c_str())));
        root.appendChild(command);
    }
    return document;
}

TEST(SmallBlocks, NodesHeldByHandlesOutliveTheirTreeAndTheNextTrees)
{
    const size_t count = 6000;  // several chunks of each size
    std::vector<Element> held;
    std::vector<std::u16string> names, texts;
    {
        Document document = BuildTree(count, 1);
        for (Node node = document.getDocumentElement().getFirstChild(); node; node = node.getNextSibling()) {
            names.push_back(Utf16(Element(node).getAttribute(U(u"name"))));
            texts.push_back(Utf16(node.getFirstChild().getNodeValue()));
        }
        size_t index = 0;
        for (Node node = document.getDocumentElement().getFirstChild(); node; node = node.getNextSibling(), ++index) {
            if (index % 500 == 0)
                held.push_back(Element(node));
        }
    }
    // The freed blocks and chunks are taken again by other trees.
    for (size_t round = 0; round < 3; ++round)
        BuildTree(count, 100 + round);
    Document later = BuildTree(count, 200);
    for (size_t i = 0; i < held.size(); ++i) {
        const size_t index = i * 500;
        EXPECT_FALSE(held[i].getParentNode()) << index;  // the tree is gone
        EXPECT_EQ(Utf16(held[i].getAttribute(U(u"name"))), names[index]);
        ASSERT_TRUE(held[i].getFirstChild());
        EXPECT_EQ(Utf16(held[i].getFirstChild().getNodeValue()), texts[index]);
    }
}

TEST(SmallBlocks, TwoThreadsWithDocumentsOfTheirOwn)
{
    auto work = [](size_t seed, bool* intact) {
        *intact = true;
        for (size_t round = 0; round < 8 && *intact; ++round) {
            Document document = BuildTree(1500, seed + round);
            size_t index = 0;
            for (Node node = document.getDocumentElement().getFirstChild(); node; node = node.getNextSibling(), ++index) {
                const std::u16string name = u"k" + Pattern(index % 7 + 1, seed + round + index);
                if (Utf16(Element(node).getAttribute(U(u"name"))) != name
                    || Utf16(node.getFirstChild().getNodeValue()) != Pattern(index % 40 + 1, index))
                    *intact = false;
            }
            if (index != 1500)
                *intact = false;
        }
    };
    bool first = false, second = false;
    std::thread one(work, 10, &first);
    std::thread two(work, 5000, &second);
    one.join();
    two.join();
    EXPECT_TRUE(first);
    EXPECT_TRUE(second);
}

Document ParseText(const std::string& text)
{
    const std::string path = TempPath("pooled.xml");
    WriteBytes(path, "<?xml version=\"1.0\"?>" + text);
    void* file = Velum::openFile(path.c_str(), 0x13);
    EXPECT_NE(file, nullptr);
    Document document = file != nullptr ? Velum::parse(file) : Document();
    Velum::closeFile(file);
    return document;
}

// Every node's parent is the node whose child list holds it.
void ExpectLinked(const Node& parent)
{
    for (Node child = parent.getFirstChild(); child; child = child.getNextSibling()) {
        EXPECT_TRUE(child.getParentNode() == parent) << Ascii(child.getNodeName());
        ExpectLinked(child);
    }
}

// The parser puts its nodes into the tree without the tree's checks: the
// tree it builds must still hold together for the checked operations.
TEST(ParsedTree, NodesAreLinkedAsIfAppendedOneByOne)
{
    const char* const texts[] = {
        "<r/>",
        "<r>text</r>",
        "<r>\r\n\t<a x='1'>t<b/><![CDATA[c]]><!--m--></a>\r\n</r>",
        "<r><a><b><c><d>deep</d></c></b></a><e/></r>",
    };
    for (const char* text : texts) {
        Document document = ParseText(text);
        ASSERT_TRUE(document) << text;
        ExpectLinked(document);
        Element root = document.getDocumentElement();
        // An element may not go below its own descendant: that needs the
        // parent links of the parsed nodes.
        for (Node child = root.getFirstChild(); child; child = child.getNextSibling()) {
            if (child.getNodeType() == Velum::ELEMENT_NODE && child.getFirstChild()) {
                EXPECT_THROW(child.getFirstChild().appendChild(root), VelumException) << text;
            }
        }
        // A parsed child moves out of its parent like any other.
        if (Node first = root.getFirstChild()) {
            const unsigned long before = root.getChildNodes().getLength();
            root.removeChild(first);
            EXPECT_FALSE(first.getParentNode()) << text;
            EXPECT_EQ(root.getChildNodes().getLength(), before - 1) << text;
        }
    }
}

// Child lists and attribute maps are freed directly when their count
// drops; a list a handle holds must outlive the tree with its items.
TEST(ParsedTree, HeldChildListOutlivesItsTree)
{
    NodeList list;
    {
        Document document = ParseText("<r><a>1</a><b>2</b><c>3</c></r>");
        ASSERT_TRUE(document);
        list = document.getDocumentElement().getChildNodes();
    }
    BuildTree(3000, 7);  // takes the freed blocks again
    ASSERT_EQ(list.getLength(), 3ul);
    const char16_t* const names[] = {u"a", u"b", u"c"};
    const char16_t* const values[] = {u"1", u"2", u"3"};
    for (unsigned long i = 0; i < 3; ++i) {
        EXPECT_EQ(Utf16(list.item(i).getNodeName()), names[i]);
        EXPECT_EQ(Utf16(list.item(i).getFirstChild().getNodeValue()), values[i]);
        EXPECT_FALSE(list.item(i).getParentNode());
    }
}

}  // namespace
