// The node tree: kind checks, moves, attributes, searches, clones, and trees
// too deep for recursion.
#include "VelumTest.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace Velum;

namespace {

Document NewDocument(const char16_t* root = u"root")
{
    return createDocument(U(u"1.0"), U(root), nullptr);
}

// The code a call raises, or 0.
int CodeOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const VelumException& e) {
        return e.m_code;
    }
    return 0;
}

// A compact picture of a subtree: name(children...) for elements, the value
// in quotes for text.
std::string Shape(const Node& node)
{
    if (node.getNodeType() == TEXT_NODE)
        return "'" + Ascii(node.getNodeValue()) + "'";
    std::string out = Ascii(node.getNodeName());
    NodeList children = node.getChildNodes();
    if (children.getLength() == 0)
        return out;
    out += "(";
    for (unsigned long i = 0; i < children.getLength(); ++i)
        out += (i ? " " : "") + Shape(children.item(i));
    return out + ")";
}

TEST(NodeTree, ParentsAcceptOnlyTheirKindsOfChildren)
{
    Document document = NewDocument();
    Element root = document.getDocumentElement();
    Document otherDocument = NewDocument();
    const struct {
        const char* what;
        std::function<Node()> make;
        int intoDocument;
        int intoElement;
    } cases[] = {
        {"element", [&] { return Node(document.createElement(U(u"e"))); }, 0, 0},
        {"text", [&] { return Node(document.createTextNode(U(u"t"))); }, 3, 0},
        {"cdata", [&] { return Node(document.createCDATASection(U(u"c"))); }, 3, 0},
        {"comment", [&] { return Node(document.createComment(U(u"c"))); }, 0, 0},
        {"pi", [&] { return Node(document.createProcessingInstruction(U(u"p"), U(u"d"))); }, 0, 3},
        {"attribute", [&] { return Node(document.createAttribute(U(u"a"))); }, 3, 3},
        {"document", [&] { return Node(otherDocument); }, 3, 3},
    };
    for (const auto& c : cases) {
        Node intoDocument = c.make();
        Node intoElement = c.make();
        EXPECT_EQ(c.intoDocument, CodeOf([&] { document.appendChild(intoDocument); })) << c.what;
        EXPECT_EQ(c.intoElement, CodeOf([&] { root.appendChild(intoElement); })) << c.what;
        // append, which gives no handle back, checks the same way.
        Node appendedToDocument = c.make();
        Node appendedToElement = c.make();
        EXPECT_EQ(c.intoDocument, CodeOf([&] { document.append(appendedToDocument); })) << c.what;
        EXPECT_EQ(c.intoElement, CodeOf([&] { root.append(appendedToElement); })) << c.what;
        EXPECT_EQ(c.intoElement == 0, appendedToElement.getParentNode() == root) << c.what;
    }
    EXPECT_EQ(102, CodeOf([&] { Element().append(document.createElement(U(u"e"))); }));
    const unsigned long children = root.getChildNodes().getLength();
    root.append(Node());
    EXPECT_EQ(children, root.getChildNodes().getLength());
    // Leaves take no children at all.
    Node text = document.createTextNode(U(u"t"));
    EXPECT_EQ(3, CodeOf([&] { text.appendChild(document.createElement(U(u"e"))); }));
    // An empty new child changes nothing.
    EXPECT_FALSE(root.appendChild(Node()));
}

// Names and texts the caller holds are shared with the nodes, never changed
// through them, and checked as the copying calls check them.
TEST(NodeTree, CallsTakingTheCallersStrings)
{
    const VelumString name = VelumString::permanent(U(u"line"));
    const VelumString text(U(u"shared"));
    Document document = NewDocument();
    Element root = document.getDocumentElement();
    for (int i = 0; i < 2; ++i) {
        Element line = document.createElement(name);
        root.append(line);
        line.append(document.createTextNode(text));
        line.setAttribute(name, text);
        line.setAttribute(U(u"n"), VelumString(U(u"1")));
    }
    EXPECT_EQ("root(line('shared') line('shared'))", Shape(root));
    Node second = root.getLastChild();
    second.getFirstChild().setNodeValue(U(u"changed"));
    second.setAttribute(U(u"line"), U(u"other"));
    EXPECT_EQ("root(line('shared') line('changed'))", Shape(root));
    EXPECT_EQ("shared", Ascii(root.getFirstChild().getAttribute(U(u"line"))));
    EXPECT_EQ("1", Ascii(root.getFirstChild().getAttribute(U(u"n"))));
    EXPECT_EQ("shared", Ascii(text));
    // A permanent name outlives every tree it named.
    document = Document();
    root = Element();
    second = Node();
    EXPECT_EQ("line", Ascii(name));
    EXPECT_EQ("line", Ascii(NewDocument(u"line").getDocumentElement().getNodeName()));

    Document other = NewDocument();
    Element element = other.getDocumentElement();
    const struct {
        const char* what;
        std::function<void()> call;
        int code;
    } cases[] = {
        {"element named \"\"", [&] { other.createElement(VelumString()); }, 5},
        {"element named 1x", [&] { other.createElement(VelumString(U(u"1x"))); }, 5},
        {"attribute named a b", [&] { element.setAttribute(VelumString(U(u"a b")), text); }, 5},
        {"attribute named null", [&] { element.setAttribute(static_cast<const Velum_CHAR*>(nullptr), text); }, 5},
        {"attribute of no element", [&] { Element().setAttribute(name, text); }, 102},
        {"text of no document", [&] { Document().createTextNode(text); }, 102},
        {"empty text", [&] { element.append(other.createTextNode(VelumString())); }, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.code, CodeOf(c.call)) << c.what;
    EXPECT_EQ(0u, element.getAttributes().getLength());
    EXPECT_EQ("root('')", Shape(element));
}

TEST(NodeTree, RefusedOperationsLeaveTheTreeAsItWas)
{
    Document document = NewDocument();
    Element root = document.getDocumentElement();
    Element a = document.createElement(U(u"a"));
    Element b = document.createElement(U(u"b"));
    root.appendChild(a);
    a.appendChild(b);
    Element stranger = document.createElement(U(u"s"));
    const std::string before = Shape(root);

    EXPECT_EQ(3, CodeOf([&] { b.appendChild(a); }));      // its own ancestor
    EXPECT_EQ(3, CodeOf([&] { a.appendChild(a); }));      // itself
    EXPECT_EQ(3, CodeOf([&] { b.insertBefore(root, Node()); }));
    EXPECT_EQ(8, CodeOf([&] { root.insertBefore(stranger, b); }));  // b is a grandchild
    EXPECT_EQ(8, CodeOf([&] { root.removeChild(b); }));
    EXPECT_EQ(8, CodeOf([&] { root.replaceChild(stranger, b); }));
    EXPECT_EQ(3, CodeOf([&] { a.replaceChild(root, b); }));
    EXPECT_EQ(before, Shape(root));
    EXPECT_FALSE(stranger.getParentNode());
}

TEST(NodeTree, MovesBetweenAndWithinParents)
{
    Document document = NewDocument();
    Element root = document.getDocumentElement();
    for (const char16_t* name : {u"a", u"b", u"c"})
        root.appendChild(document.createElement(U(name)));
    root.appendChild(root.getFirstChild());  // re-appending moves to the end
    EXPECT_EQ("root(b c a)", Shape(root));

    Element other = document.createElement(U(u"other"));
    other.appendChild(root.getFirstChild());
    EXPECT_EQ("root(c a)", Shape(root));
    EXPECT_TRUE(other.getFirstChild().getParentNode() == other);

    root.insertBefore(other.getFirstChild(), root.getLastChild());
    EXPECT_EQ("root(c b a)", Shape(root));
    root.insertBefore(document.createElement(U(u"d")), Node());  // an empty reference appends
    EXPECT_EQ("root(c b a d)", Shape(root));

    Node old = root.replaceChild(document.createElement(U(u"z")), root.getFirstChild());
    EXPECT_EQ("c", Ascii(old.getNodeName()));
    EXPECT_FALSE(old.getParentNode());
    EXPECT_EQ("root(z b a d)", Shape(root));

    Node b = root.getFirstChild().getNextSibling();
    EXPECT_EQ("z", Ascii(b.getPreviousSibling().getNodeName()));
    EXPECT_EQ("a", Ascii(b.getNextSibling().getNodeName()));
    EXPECT_FALSE(root.getFirstChild().getPreviousSibling());
    EXPECT_FALSE(root.getLastChild().getNextSibling());
    EXPECT_FALSE(Node().getPreviousSibling());

    // A child kept by a handle outlives its parent, parentless.
    Node survivor = root.getFirstChild();
    root = Element();
    document = Document();
    EXPECT_FALSE(survivor.getParentNode());
    EXPECT_EQ("z", Ascii(survivor.getNodeName()));
}

TEST(NodeTree, Attributes)
{
    Document document = NewDocument();
    Element e = document.createElement(U(u"e"));
    e.setAttribute(U(u"first"), U(u"1"));
    e.setAttribute(U(u"second"), U(u"2"));
    e.setAttribute(U(u"first"), U(u"3"));
    NamedNodeMap map = e.getAttributes();
    ASSERT_EQ(2u, map.getLength());
    EXPECT_EQ("first", Ascii(map.item(0).getNodeName()));
    EXPECT_EQ("3", Ascii(e.getAttribute(U(u"first"))));
    EXPECT_EQ("", Ascii(e.getAttribute(U(u"none"))));
    EXPECT_EQ("", Ascii(e.getAttribute(nullptr)));
    EXPECT_EQ(5, CodeOf([&] { e.setAttribute(U(u"1a"), U(u"x")); }));
    EXPECT_EQ(5, CodeOf([&] { e.setAttribute(nullptr, U(u"x")); }));
    EXPECT_EQ(2u, map.getLength());

    Attr own = e.getAttributeNode(U(u"second"));
    Element f = document.createElement(U(u"f"));
    EXPECT_EQ(10, CodeOf([&] { f.setAttributeNode(own); }));
    EXPECT_EQ(8, CodeOf([&] { f.removeAttributeNode(own); }));
    Attr removed = e.removeAttributeNode(own);
    EXPECT_FALSE(e.getAttributeNode(U(u"second")));
    EXPECT_FALSE(f.setAttributeNode(removed));  // now ownerless: accepted, nothing replaced
    EXPECT_EQ("2", Ascii(f.getAttribute(U(u"second"))));

    Attr fresh = document.createAttribute(U(u"second"));
    fresh.setNodeValue(U(u"9"));
    Attr replaced = f.setAttributeNode(fresh);
    EXPECT_TRUE(replaced == removed);
    EXPECT_EQ("9", Ascii(f.getAttribute(U(u"second"))));
    f.removeAttribute(U(u"second"));
    f.removeAttribute(U(u"second"));  // absent: nothing happens
    f.removeAttribute(nullptr);
    EXPECT_EQ(0u, f.getAttributes().getLength());
    EXPECT_FALSE(document.createTextNode(U(u"t")).getAttributes());
}

// Each call that takes a node out of a map or a child list hands it back
// alive, even when the container held its only reference, and ownerless.
TEST(NodeTree, RemovedAndReplacedNodesComeBackAlive)
{
    Document document = NewDocument();
    const struct {
        const char* call;
        std::function<Node(Element&)> run;
        const char* name;
        const char* value;
    } cases[] = {
        {"Element::setAttributeNode",
         [&](Element& e) {
             Attr fresh = document.createAttribute(U(u"a"));
             return Node(e.setAttributeNode(fresh).getNodeInst());
         },
         "a", "old"},
        {"Node::setAttributeNode",
         [&](Element& e) {
             Node n = e;
             Node fresh = document.createAttribute(U(u"a"));
             return Node(n.setAttributeNode(fresh).getNodeInst());
         },
         "a", "old"},
        {"removeAttributeNode",
         [](Element& e) { return Node(e.removeAttributeNode(e.getAttributeNode(U(u"a"))).getNodeInst()); }, "a",
         "old"},
        {"NamedNodeMap::setNamedItem",
         [&](Element& e) { return e.getAttributes().setNamedItem(document.createAttribute(U(u"a"))); }, "a", "old"},
        {"NamedNodeMap::removeNamedItem", [](Element& e) { return e.getAttributes().removeNamedItem(U(u"a")); },
         "a", "old"},
        {"replaceChild",
         [&](Element& e) { return e.replaceChild(document.createTextNode(U(u"new")), e.getFirstChild()); },
         "#text", "child"},
        {"removeChild", [](Element& e) { return e.removeChild(e.getFirstChild()); }, "#text", "child"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.call);
        Node back;
        {
            // The element and its attribute are reached only through this
            // scope's handle: after the call the returned node is all there is.
            Element e = document.createElement(U(u"e"));
            e.setAttribute(U(u"a"), U(u"old"));
            e.setAttribute(U(u"b"), U(u"kept"));
            e.appendChild(document.createTextNode(U(u"child")));
            back = c.run(e);
            EXPECT_EQ("kept", Ascii(e.getAttribute(U(u"b"))));
        }
        ASSERT_TRUE(back);
        EXPECT_EQ(c.name, Ascii(back.getNodeName()));
        EXPECT_EQ(c.value, Ascii(back.getNodeValue()));
        EXPECT_FALSE(back.getParentNode());
        if (back.getNodeType() == ATTRIBUTE_NODE) {
            // Ownerless: another element takes it.
            Element other = document.createElement(U(u"other"));
            EXPECT_EQ(0, CodeOf([&] { other.setAttributeNode(back); }));
            EXPECT_EQ("old", Ascii(other.getAttribute(U(u"a"))));
        }
    }
}

// A Node binds to every kind's reference parameter; one of another kind is
// refused before the library reads it as that kind.
TEST(NodeTree, NodeOfAnotherKindIsRefusedWhereAKindIsExpected)
{
    Document document = NewDocument();
    Element root = document.getDocumentElement();
    Node element = document.createElement(U(u"e"));
    Node text = document.createTextNode(U(u"t"));
    Node asNode = root;
    const struct {
        const char* call;
        std::function<void()> run;
    } cases[] = {
        {"Element::setAttributeNode(element)", [&] { root.setAttributeNode(element); }},
        {"Element::setAttributeNode(text)", [&] { root.setAttributeNode(text); }},
        {"Node::setAttributeNode(text)", [&] { asNode.setAttributeNode(text); }},
        {"Element::removeAttributeNode(element)", [&] { root.removeAttributeNode(element); }},
        {"Node::removeAttributeNode(text)", [&] { asNode.removeAttributeNode(text); }},
        {"_setDocumentElement(text)", [&] { document._setDocumentElement(text); }},
        {"Attr = element", [&] { Attr a; a = element; }},
        {"Element = text", [&] { Element e; e = text; }},
        {"Document = element", [&] { Document d; d = element; }},
        {"Comment = text", [&] { Comment c; c = text; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.call);
        EXPECT_EQ(103, CodeOf(c.run));
    }
    EXPECT_EQ(0u, root.getAttributes().getLength());
    EXPECT_TRUE(document.getDocumentElement() == root);
    // A CDATA section is a Text as a class, and an empty Node is an empty handle.
    EXPECT_EQ(0, CodeOf([&] { Text t; t = Node(document.createCDATASection(U(u"c"))); }));
    EXPECT_EQ(0, CodeOf([&] { Attr a; a = Node(); }));
}

// Attributes taken out through the map lose the owner the element gave
// them, as they do through the element's own calls, and can be placed again.
TEST(NodeTree, AttributesLeavingThroughTheMapLoseTheirOwner)
{
    Document document = NewDocument();
    Element e = document.createElement(U(u"e"));
    Element f = document.createElement(U(u"f"));
    e.setAttribute(U(u"a"), U(u"1"));
    e.setAttribute(U(u"b"), U(u"2"));
    Attr a = e.getAttributeNode(U(u"a"));
    Attr b = e.getAttributeNode(U(u"b"));

    EXPECT_TRUE(e.getAttributes().removeNamedItem(U(u"a")) == a);
    Attr stranger = document.createAttribute(U(u"b"));
    EXPECT_TRUE(e.getAttributes().setNamedItem(stranger) == b);
    for (Attr* attr : {&a, &b}) {
        EXPECT_EQ(8, CodeOf([&] { e.removeAttributeNode(*attr); }));
        EXPECT_EQ(0, CodeOf([&] { f.setAttributeNode(*attr); }));
    }
    EXPECT_EQ(2u, f.getAttributes().getLength());

    // An attribute that f placed and that came into e's map through the
    // map keeps f as its owner when it leaves e's map or e goes.
    Attr shared = document.createAttribute(U(u"s"));
    e.getAttributes().setNamedItem(shared);
    f.setAttributeNode(shared);
    e.removeAttribute(U(u"s"));
    EXPECT_EQ(10, CodeOf([&] { e.setAttributeNode(shared); }));
    e.getAttributes().setNamedItem(Node());  // nothing happens
    EXPECT_TRUE(f.removeAttributeNode(shared) == shared);
}

TEST(NodeTree, SearchesSnapshotsAndLiveLists)
{
    Document document = NewDocument(u"item");
    Element root = document.getDocumentElement();
    Element a = document.createElement(U(u"item"));
    Element b = document.createElement(U(u"other"));
    Element c = document.createElement(U(u"item"));
    root.appendChild(a);
    a.appendChild(c);
    root.appendChild(b);
    c.setAttribute(U(u"id"), U(u"x7"));

    NodeList all = document.getElementsByTagName(U(u"*"));
    ASSERT_EQ(4u, all.getLength());
    EXPECT_TRUE(all.item(0) == root);
    EXPECT_TRUE(all.item(1) == a);
    EXPECT_TRUE(all.item(2) == c);
    EXPECT_TRUE(all.item(3) == b);
    EXPECT_EQ(3u, document.getElementsByTagName(U(u"item")).getLength());
    EXPECT_EQ(2u, root.getElementsByTagName(U(u"item")).getLength());  // not itself
    EXPECT_EQ(0u, root.getElementsByTagName(U(u"")).getLength());
    EXPECT_EQ(0u, document.getElementsByTagName(nullptr).getLength());
    EXPECT_TRUE(document.getElementById(U(u"x7")) == c);
    EXPECT_FALSE(document.getElementById(U(u"x8")));

    NodeList live = root.getChildNodes();
    NodeList snapshot = root.getElementsByTagName(U(u"*"));
    root.appendChild(document.createElement(U(u"late")));
    EXPECT_EQ(3u, live.getLength());
    EXPECT_EQ(3u, snapshot.getLength());
    EXPECT_EQ("late", Ascii(live.item(2).getNodeName()));
}

TEST(NodeTree, ConversionsAndKindChecks)
{
    Document document = NewDocument();
    Node cdata = document.createCDATASection(U(u"c"));
    EXPECT_EQ(103, CodeOf([&] { Text text = cdata; }));
    EXPECT_EQ(0, CodeOf([&] { CDATASection section = cdata; }));
    Node empty;
    Element none = empty;
    EXPECT_FALSE(none);
    Node element = document.getDocumentElement();
    EXPECT_EQ(104, CodeOf([&] { element.createElement(U(u"x")); }));
    EXPECT_EQ(104, CodeOf([&] { Node(document).getAttribute(U(u"x")); }));
    EXPECT_EQ(104, CodeOf([&] { cdata.normalize(); }));
    EXPECT_EQ(102, CodeOf([&] { empty.getAttribute(U(u"x")); }));
    EXPECT_EQ(102, CodeOf([&] { empty.getNodeName(); }));
    EXPECT_EQ(102, CodeOf([&] { Document().createElement(U(u"x")); }));
    EXPECT_FALSE(empty.getChildNodes());  // tolerated on an empty handle
    EXPECT_EQ(103, CodeOf([&] { Document d = element; }));
    EXPECT_EQ(0, CodeOf([&] { Element e = element; }));
    // Through a Node, every kind's operation works on its own kind.
    Node asNode = document;
    EXPECT_TRUE(asNode.getDocumentElement() == document.getDocumentElement());
    EXPECT_EQ(3u, asNode.getElementsByTagName(U(u"*")).getLength() + 2);
    EXPECT_EQ(5, CodeOf([&] { document.createElement(U(u"a b")); }));
    EXPECT_EQ(5, CodeOf([&] { document.createProcessingInstruction(nullptr, nullptr); }));
    EXPECT_EQ("#text", Ascii(document.createTextNode(nullptr).getNodeName()));
    EXPECT_EQ("", Ascii(document.createTextNode(nullptr).getNodeValue()));
    EXPECT_EQ(100 - 100, CodeOf([&] { document.createComment(U(u"c")); }));
}

TEST(NodeTree, ClonesAndDocumentType)
{
    Document document = NewDocument();
    Element root = document.getDocumentElement();
    root.setAttribute(U(u"a"), U(u"1"));
    Element child = document.createElement(U(u"child"));
    child.appendChild(document.createTextNode(U(u"text")));
    root.appendChild(child);

    Node shallow = root.cloneNode(false);
    EXPECT_EQ("root", Shape(shallow));
    EXPECT_EQ("1", Ascii(shallow.getAttribute(U(u"a"))));
    EXPECT_FALSE(shallow.getParentNode());
    Node deep = root.cloneNode(true);
    EXPECT_EQ("root(child('text'))", Shape(deep));
    deep.setAttribute(U(u"a"), U(u"2"));
    EXPECT_EQ("1", Ascii(root.getAttribute(U(u"a"))));

    EXPECT_EQ("", Ascii(document.setDoctype(U(u"root"))));
    EXPECT_TRUE(document.getFirstChild() == document.getDoctype());  // before the document element
    EXPECT_EQ("root", Ascii(document.setDoctype(U(u"other"))));
    document.setStandalone(true);
    Document copy = document.cloneNode(true);
    EXPECT_EQ("other", Ascii(copy.getDoctype().getNodeName()));
    EXPECT_EQ("root(child('text'))", Shape(copy.getDocumentElement()));
    EXPECT_TRUE(copy.getStandalone());
    EXPECT_TRUE(copy.isValid());
    EXPECT_EQ("other", Ascii(document.setDoctype(nullptr)));
    EXPECT_FALSE(document.getDoctype());
    EXPECT_EQ("", Ascii(document.setDoctype(U(u""))));
}

TEST(NodeTree, NormalizeJoinsAdjacentText)
{
    Document document = NewDocument();
    Element root = document.getDocumentElement();
    Element inner = document.createElement(U(u"inner"));
    for (const char16_t* text : {u"a", u"b"})
        root.appendChild(document.createTextNode(U(text)));
    root.appendChild(inner);
    root.appendChild(document.createCDATASection(U(u"c")));
    root.appendChild(document.createTextNode(U(u"d")));
    for (const char16_t* text : {u"x", u"y", u"z"})
        inner.appendChild(document.createTextNode(U(text)));
    root.normalize();
    EXPECT_EQ("root('ab' inner('xyz') #cdata-section 'd')", Shape(root));
}

TEST(NodeTree, TreesDeeperThanAnyStack)
{
    // Deep enough that one stack frame per level would overflow any stack.
    const int depth = 250000;
    Document document = NewDocument();
    Node node = document.getDocumentElement();
    for (int i = 0; i < depth; ++i)
        node = node.appendChild(document.createElement(U(u"d")));
    node.appendChild(document.createTextNode(U(u"leaf")));

    Node copy = document.getDocumentElement().cloneNode(true);
    Node last = copy;
    int levels = 0;
    while (last.getFirstChild().getNodeType() == ELEMENT_NODE) {
        last = last.getFirstChild();
        ++levels;
    }
    EXPECT_EQ(depth, levels);
    EXPECT_EQ("leaf", Ascii(last.getFirstChild().getNodeValue()));
    EXPECT_EQ(static_cast<unsigned long>(depth), document.getElementsByTagName(U(u"d")).getLength());
    node = Node();
    last = Node();
    copy = Node();
    document = Document();  // frees every level without recursing
}

// Calls that name the same node twice, or a node and itself.
TEST(NodeTree, DegenerateCallsOnOneNode)
{
    Document document = NewDocument();
    Element root = document.getDocumentElement();
    Element a = document.createElement(U(u"a"));
    Element b = document.createElement(U(u"b"));
    root.appendChild(a);
    root.appendChild(b);
    const struct {
        const char* call;
        std::function<void()> run;
        int code;
    } cases[] = {
        {"insertBefore(a, a)", [&] { root.insertBefore(a, a); }, 0},
        {"replaceChild(a, a)", [&] { root.replaceChild(a, a); }, 0},
        {"a.appendChild(a) without children", [&] { a.appendChild(a); }, 3},
        {"a.insertBefore(a, empty)", [&] { a.insertBefore(a, Node()); }, 3},
        {"root.appendChild(root)", [&] { root.appendChild(root); }, 3},
        {"a.insertBefore(b, b) where b is no child of a", [&] { a.insertBefore(b, b); }, 8},
        {"a.removeChild(a)", [&] { a.removeChild(a); }, 8},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.code, CodeOf(c.run)) << c.call;
        EXPECT_EQ("root(a b)", Shape(root)) << c.call;
        EXPECT_TRUE(a.getParentNode() == root) << c.call;
    }
}

// A deep copy of a document keeps its version and standalone flag; a
// shallow one starts from a new document's.
TEST(NodeTree, DeepCloneKeepsTheDocumentsVersion)
{
    Document document = createDocument(U(u"1.1"), U(u"r"), nullptr);
    document.setStandalone(true);
    Document deep = document.cloneNode(true);
    EXPECT_EQ("1.1", Ascii(deep.getXmlVersion()));
    EXPECT_TRUE(deep.getStandalone());
    EXPECT_TRUE(deep.isValid());
    EXPECT_EQ("r", Ascii(deep.getDocumentElement().getNodeName()));
    Document shallow = document.cloneNode(false);
    EXPECT_EQ("1.0", Ascii(shallow.getXmlVersion()));
    EXPECT_FALSE(shallow.getDocumentElement());
}

// Dozens of attributes, many sharing buckets: every one is found, and
// removing some keeps the others found and in their order.
TEST(NodeTree, DozensOfAttributes)
{
    Document document = NewDocument();
    Element e = document.createElement(U(u"e"));
    // 'a'..'z' and the letters 31 below them ('B'..'Z' and '['...) pair up in
    // buckets of 31; two-letter names add more collisions.
    std::vector<std::u16string> names;
    for (char16_t c = u'a'; c <= u'z'; ++c) {
        names.push_back(std::u16string(1, c));
        if (c - 31 >= u'A' && c - 31 <= u'Z')
            names.push_back(std::u16string(1, static_cast<char16_t>(c - 31)));
        names.push_back(std::u16string(u"x") + c);
    }
    for (size_t i = 0; i < names.size(); ++i)
        e.setAttribute(U(names[i].c_str()), U(std::u16string(1, static_cast<char16_t>(u'0' + i % 10)).c_str()));
    NamedNodeMap map = e.getAttributes();
    ASSERT_EQ(names.size(), map.getLength());
    std::vector<std::u16string> kept;
    for (size_t i = 0; i < names.size(); ++i)
        EXPECT_TRUE(map.getNamedItem(U(names[i].c_str())) == map.item(static_cast<unsigned long>(i)));
    for (size_t i = 0; i < names.size(); ++i) {
        if (i % 3 == 0)
            e.removeAttribute(U(names[i].c_str()));
        else
            kept.push_back(names[i]);
    }
    ASSERT_EQ(kept.size(), map.getLength());
    for (size_t i = 0; i < kept.size(); ++i) {
        EXPECT_EQ(Utf16(map.item(static_cast<unsigned long>(i)).getNodeName()), kept[i]);
        EXPECT_TRUE(map.getNamedItem(U(kept[i].c_str())) == map.item(static_cast<unsigned long>(i)));
    }
    for (size_t i = 0; i < names.size(); i += 3)
        EXPECT_FALSE(map.getNamedItem(U(names[i].c_str())));
}

}  // namespace
