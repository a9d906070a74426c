// The document tree: counted node bodies (NodeInst and its kinds) and the
// value-type handles over them (Node, Element, Document, ...). Copying a
// handle shares the body; a parent holds one reference per child and an
// element one per attribute.
#pragma once

#include "velum/Collections.h"

namespace Velum {

enum NodeType : unsigned short {
    ELEMENT_NODE = 1,
    ATTRIBUTE_NODE = 2,
    TEXT_NODE = 3,
    CDATA_SECTION_NODE = 4,
    PROCESSING_INSTRUCTION_NODE = 7,
    COMMENT_NODE = 8,
    DOCUMENT_NODE = 9,
    DOCUMENT_TYPE_NODE = 10,
};

// ---------------------------------------------------------------------------
// Bodies
// ---------------------------------------------------------------------------

class VELUM_API NodeInst : public Instance {
public:
    enum Flags : unsigned short { READ_ONLY = 1, MAY_HAVE_CHILDREN = 2 };

    NodeInst(unsigned short type, const VelumString& name, unsigned short flags);
    ~NodeInst() override;
    // Destroys the node when the count drops to 0, without recursion: the
    // nodes its destruction lets go wait until it is done.
    void removeRef() override;

    virtual VelumString getNodeName() const;
    virtual VelumString getNodeValue() const;
    // NO_MODIFICATION_ALLOWED_ERR when read-only.
    virtual void setNodeValue(const VelumString& value);
    virtual unsigned short getNodeType() const;
    virtual NodeInst* getParentNode() const;
    // The node's own (live) child list, made on first request.
    virtual NodeListInst* getChildNodes();
    virtual NodeInst* getFirstChild() const;
    virtual NodeInst* getLastChild() const;
    virtual NodeInst* getPreviousSibling() const;
    virtual NodeInst* getNextSibling() const;
    // The attribute map of an element; null for other kinds.
    virtual NamedNodeMapInst* getAttributes() const;
    // The tree operations raise HIERARCHY_REQUEST_ERR, NOT_FOUND_ERR or
    // NO_MODIFICATION_ALLOWED_ERR and change nothing when they do.
    // A null refChild appends.
    virtual NodeInst* insertBefore(NodeInst* newChild, NodeInst* refChild);
    virtual NodeInst* replaceChild(NodeInst* newChild, NodeInst* oldChild);
    virtual NodeInst* removeChild(NodeInst* oldChild);
    virtual NodeInst* appendChild(NodeInst* newChild);
    virtual bool hasChildNodes() const;
    // A new, parentless copy (count 0).
    virtual NodeInst* cloneNodeInst(bool deep) const = 0;
    // True when this node is node or one of its ancestors.
    virtual bool _isAncestorOf(const NodeInst* node) const;

    // Lets go of the child list and attribute map of a node whose count
    // reached 0, before its destruction: what dies with it joins dying
    // (chained through m_parent) instead of being freed by recursion.
    void releaseMembers(NodeInst*& dying);

    // appendChild without its checks, for the parser: child was just made
    // (parentless, so it can be no ancestor of this node) and is of a kind
    // this node accepts; this node is not read-only.
    void appendNewChild(NodeInst* child);

    bool isReadOnly() const { return (m_flags & READ_ONLY) != 0; }
    bool mayHaveChildren() const { return (m_flags & MAY_HAVE_CHILDREN) != 0; }
    unsigned long childCount() const { return m_children ? m_children->getLength() : 0; }

    // The two 16-bit fields sit beside the 32-bit count, so that a node
    // carries no padding: a parsed tree has a node every few bytes of file.
    unsigned short m_type;
    unsigned short m_flags;
    VelumString m_name;
    VelumString m_value;
    NodeInst* m_parent;               // not counted
    NodeListInst* m_children;         // counted; made when the first child comes
    NamedNodeMapInst* m_attributes;   // counted; elements only, made when needed

protected:
    // The checks common to the insert operations (step 1 of each).
    void checkNewChild(NodeInst* newChild) const;
    // Copies children into clone when deep.
    void cloneChildrenInto(NodeInst* clone, bool deep) const;
    // The child list, made when missing.
    NodeListInst* children();
};

class VELUM_API ElementInst : public NodeInst {
public:
    explicit ElementInst(const VelumString& tagName);
    ~ElementInst() override;

    NodeInst* insertBefore(NodeInst* newChild, NodeInst* refChild) override;
    NodeInst* replaceChild(NodeInst* newChild, NodeInst* oldChild) override;
    NodeInst* appendChild(NodeInst* newChild) override;
    NodeInst* cloneNodeInst(bool deep) const override;
    NamedNodeMapInst* getAttributes() const override;

    // "" when absent or name is null.
    VelumString getAttribute(const Velum_CHAR* name) const;
    // INVALID_CHARACTER_ERR for a name that is not an XML name.
    void setAttribute(const Velum_CHAR* name, const Velum_CHAR* value);
    // setAttribute with a value the caller already holds (the parser).
    void setAttribute(const VelumString& name, const VelumString& value);
    void removeAttribute(const Velum_CHAR* name);
    class AttrInst* getAttributeNode(const Velum_CHAR* name) const;
    // The replaced attribute, held by the returned handle from before the
    // map lets go of it (the map may have held its only reference), or an
    // empty handle.
    class Attr setAttributeNode(AttrInst* attr);
    AttrInst* removeAttributeNode(AttrInst* attr);
    // Adds matching descendants (not this element), in pre-order, to list.
    void collectElementsByTagName(const Velum_CHAR* name, NodeListInst* list) const;
    void normalize();

    static bool accepts(unsigned short childType);

private:
    NamedNodeMapInst* attributes();
    friend class DocumentInst;
};

class VELUM_API AttrInst : public NodeInst {
public:
    explicit AttrInst(const VelumString& name);
    NodeInst* cloneNodeInst(bool deep) const override;

    // node leaves map (removed or replaced there): when it is an attribute
    // that the element of that map placed, it has no owner any more and can
    // be placed again. Items put in through the map itself never got one.
    static void leaveMap(NodeInst* node, const NamedNodeMapInst* map);

    ElementInst* m_ownerElement;  // not counted
};

class VELUM_API TextInst : public NodeInst {
public:
    explicit TextInst(const VelumString& text);
    NodeInst* cloneNodeInst(bool deep) const override;

protected:
    TextInst(unsigned short type, const VelumString& name, const VelumString& text);
};

class VELUM_API CDATASectionInst : public TextInst {
public:
    explicit CDATASectionInst(const VelumString& text);
    NodeInst* cloneNodeInst(bool deep) const override;
};

class VELUM_API ProcessingInstructionInst : public NodeInst {
public:
    ProcessingInstructionInst(const VelumString& target, const VelumString& data);
    NodeInst* cloneNodeInst(bool deep) const override;
};

class VELUM_API CommentInst : public NodeInst {
public:
    explicit CommentInst(const VelumString& text);
    NodeInst* cloneNodeInst(bool deep) const override;
};

class VELUM_API DocumentTypeInst : public NodeInst {
public:
    explicit DocumentTypeInst(const VelumString& name);
    NodeInst* cloneNodeInst(bool deep) const override;
};

class VELUM_API DocumentInst : public NodeInst {
public:
    DocumentInst();
    ~DocumentInst() override;

    NodeInst* insertBefore(NodeInst* newChild, NodeInst* refChild) override;
    NodeInst* replaceChild(NodeInst* newChild, NodeInst* oldChild) override;
    NodeInst* removeChild(NodeInst* oldChild) override;
    NodeInst* appendChild(NodeInst* newChild) override;
    NodeInst* cloneNodeInst(bool deep) const override;

    // The name of the replaced or removed document type, or "".
    VelumString setDoctype(const Velum_CHAR* name);
    // Replaces the document element, or appends element when there is none.
    void _setDocumentElement(ElementInst* element);
    // Every matching element from the document element down, in pre-order.
    NodeListInst* getElementsByTagName(const Velum_CHAR* name) const;
    ElementInst* getElementById(const Velum_CHAR* id) const;

    static bool accepts(unsigned short childType);

    VelumString m_version;
    DocumentTypeInst* m_doctype;         // a child; not counted
    ElementInst* m_documentElement;      // a child; not counted
    signed char m_standalone;            // -1 unspecified, 0 no, 1 yes
    unsigned char m_valid;

private:
    // Keeps m_doctype and m_documentElement pointing at children.
    void forgetChild(const NodeInst* child);
    void noteChild(NodeInst* child);
};

// ---------------------------------------------------------------------------
// Handles
// ---------------------------------------------------------------------------

class Element;
class Attr;
class Text;
class CDATASection;
class ProcessingInstruction;
class Comment;
class Document;
class DocumentType;

// The operations of every node. All raise EMPTY_HANDLE_ERR on an empty
// handle unless said otherwise.
class VELUM_API NodeBase : public Interface {
public:
    NodeBase() = default;
    NodeBase(const NodeBase& other) = default;
    explicit NodeBase(NodeInst* inst) : Interface(inst) {}

    virtual NodeBase& operator=(const NodeBase& other);
    virtual VelumString getNodeName() const;
    virtual VelumString getNodeValue() const;
    virtual void setNodeValue(const Velum_CHAR* value);
    virtual unsigned short getNodeType() const;
    // Empty when there is none.
    virtual Node getParentNode() const;
    // The node's own child list, live. Empty list on an empty handle.
    virtual NodeList getChildNodes() const;
    virtual Node getFirstChild() const;
    virtual Node getLastChild() const;
    // Empty when there is none, also on an empty handle.
    virtual Node getPreviousSibling() const;
    virtual Node getNextSibling() const;
    // The attribute map of an element (live); empty for other kinds.
    virtual NamedNodeMap getAttributes() const;
    // A null (empty) refChild appends.
    virtual Node insertBefore(const Node& newChild, const Node& refChild);
    virtual Node replaceChild(const Node& newChild, const Node& oldChild);
    virtual Node removeChild(const Node& oldChild);
    virtual Node appendChild(const Node& newChild);
    virtual bool hasChildNodes() const;
    // appendChild for a caller that holds the child in a handle of its own
    // kind and wants no handle back: the same checks and exceptions, but no
    // Node is made for the argument or the result.
    void append(const NodeBase& newChild);
    // A new parentless copy; deep copies the children too.
    virtual Node cloneNode(bool deep) const;
    // A handle of that kind when the node is exactly of that kind (an empty
    // handle gives an empty one); BAD_CAST_ERR otherwise.
    virtual operator Element() const;
    virtual operator Attr() const;
    virtual operator Text() const;
    virtual operator CDATASection() const;
    virtual operator ProcessingInstruction() const;
    virtual operator Comment() const;
    virtual operator Document() const;
    virtual operator DocumentType() const;
    virtual operator Node() const;

    NodeInst* getNodeInst() const { return static_cast<NodeInst*>(m_inst); }

protected:
    NodeInst* node() const { return static_cast<NodeInst*>(checked()); }
    // The body when this handle holds a node of exactly type; else raises
    // EMPTY_HANDLE_ERR or `mismatch`.
    NodeInst* nodeOfType(unsigned short type, unsigned short mismatch) const;
};

class VELUM_API Element : public virtual NodeBase {
public:
    Element() = default;
    Element(const Element& other) = default;
    explicit Element(ElementInst* inst) : NodeBase(inst) {}
    // BAD_CAST_ERR unless node holds an element.
    Element(const Node& node);

    virtual Element& operator=(const Element& other);
    // "" when absent.
    virtual VelumString getAttribute(const Velum_CHAR* name) const;
    virtual void setAttribute(const Velum_CHAR* name, const Velum_CHAR* value);
    // The same with strings the caller holds, shared rather than copied
    // (INVALID_CHARACTER_ERR for a name that is no XML name). The mixed form
    // keeps a call with a literal name and a string value unambiguous.
    void setAttribute(const VelumString& name, const VelumString& value);
    void setAttribute(const Velum_CHAR* name, const VelumString& value);
    virtual void removeAttribute(const Velum_CHAR* name);
    // Empty when absent.
    virtual Attr getAttributeNode(const Velum_CHAR* name) const;
    // The replaced attribute (now ownerless), or an empty Attr.
    virtual Attr setAttributeNode(const Attr& attr);
    virtual Attr removeAttributeNode(const Attr& attr);
    // A snapshot of the matching descendants in pre-order ("*": all).
    virtual NodeList getElementsByTagName(const Velum_CHAR* name) const;
    virtual void normalize();

protected:
    ElementInst* element() const;
};

class VELUM_API Attr : public virtual NodeBase {
public:
    Attr() = default;
    Attr(const Attr& other) = default;
    explicit Attr(AttrInst* inst) : NodeBase(inst) {}
    Attr(const Node& node);
    virtual Attr& operator=(const Attr& other);
};

class VELUM_API Text : public virtual NodeBase {
public:
    Text() = default;
    Text(const Text& other) = default;
    explicit Text(TextInst* inst) : NodeBase(inst) {}
    Text(const Node& node);
    virtual Text& operator=(const Text& other);
};

class VELUM_API CDATASection : public Text {
public:
    CDATASection() = default;
    CDATASection(const CDATASection& other) = default;
    explicit CDATASection(CDATASectionInst* inst) : NodeBase(inst) {}
    CDATASection(const Node& node);
    virtual CDATASection& operator=(const CDATASection& other);
};

class VELUM_API ProcessingInstruction : public virtual NodeBase {
public:
    ProcessingInstruction() = default;
    ProcessingInstruction(const ProcessingInstruction& other) = default;
    explicit ProcessingInstruction(ProcessingInstructionInst* inst) : NodeBase(inst) {}
    ProcessingInstruction(const Node& node);
    virtual ProcessingInstruction& operator=(const ProcessingInstruction& other);
};

class VELUM_API Comment : public virtual NodeBase {
public:
    Comment() = default;
    Comment(const Comment& other) = default;
    explicit Comment(CommentInst* inst) : NodeBase(inst) {}
    Comment(const Node& node);
    virtual Comment& operator=(const Comment& other);
};

class VELUM_API DocumentType : public virtual NodeBase {
public:
    DocumentType() = default;
    DocumentType(const DocumentType& other) = default;
    explicit DocumentType(DocumentTypeInst* inst) : NodeBase(inst) {}
    DocumentType(const Node& node);
    virtual DocumentType& operator=(const DocumentType& other);
};

class VELUM_API Document : public virtual NodeBase {
public:
    Document() = default;
    Document(const Document& other) = default;
    explicit Document(DocumentInst* inst) : NodeBase(inst) {}
    Document(const Node& node);

    virtual Document& operator=(const Document& other);
    virtual DocumentType getDoctype() const;
    virtual bool getStandalone() const;
    virtual void setStandalone(bool standalone);
    virtual Element getDocumentElement() const;
    // INVALID_CHARACTER_ERR for a name (target) that is null or no XML name.
    virtual Element createElement(const Velum_CHAR* tagName);
    virtual Text createTextNode(const Velum_CHAR* text);
    virtual Comment createComment(const Velum_CHAR* text);
    // The same with a name or text the caller already holds: the node shares
    // its body instead of copying it (copy on write keeps them apart), so a
    // writer that names many nodes alike or keeps a reusable text makes no
    // string per node.
    Element createElement(const VelumString& tagName);
    Text createTextNode(const VelumString& text);
    virtual CDATASection createCDATASection(const Velum_CHAR* text);
    virtual ProcessingInstruction createProcessingInstruction(const Velum_CHAR* target, const Velum_CHAR* data);
    virtual Attr createAttribute(const Velum_CHAR* name);
    virtual NodeList getElementsByTagName(const Velum_CHAR* name) const;
    // Empty when none.
    virtual Element getElementById(const Velum_CHAR* id) const;
    // The name of the replaced or removed document type, or "".
    virtual VelumString setDoctype(const Velum_CHAR* name);

    // For the library itself.
    VelumString getXmlVersion() const;
    bool isValid() const;
    void _setDocumentElement(const Element& element);
    // NOT_INITIALIZED_ERR before initialize; INVALID_CHARACTER_ERR for a
    // bad element name.
    static Document _createNewDocument(const Velum_CHAR* version, const Velum_CHAR* documentElementName,
                                       const Velum_CHAR* doctypeName);

protected:
    DocumentInst* document() const;
};

// Any node, with every kind's operations: a kind-specific operation checks
// the node's kind first (WRONG_NODE_KIND_ERR, or EMPTY_HANDLE_ERR when
// empty).
class VELUM_API Node : public Element,
                       public Attr,
                       public CDATASection,
                       public ProcessingInstruction,
                       public Comment,
                       public Document,
                       public DocumentType {
public:
    Node() = default;
    Node(const Node& other);
    explicit Node(NodeInst* inst) : NodeBase(inst) {}
    // Other handles become a Node through their operator Node().

    Node& operator=(const Node& other);
    Node& operator=(const NodeBase& other) override;

    VelumString getAttribute(const Velum_CHAR* name) const override;
    void setAttribute(const Velum_CHAR* name, const Velum_CHAR* value) override;
    void removeAttribute(const Velum_CHAR* name) override;
    Attr getAttributeNode(const Velum_CHAR* name) const override;
    Attr setAttributeNode(const Attr& attr) override;
    Attr removeAttributeNode(const Attr& attr) override;
    // Of an element or of a document.
    NodeList getElementsByTagName(const Velum_CHAR* name) const override;
    void normalize() override;

    DocumentType getDoctype() const override;
    bool getStandalone() const override;
    void setStandalone(bool standalone) override;
    Element getDocumentElement() const override;
    Element createElement(const Velum_CHAR* tagName) override;
    Text createTextNode(const Velum_CHAR* text) override;
    Comment createComment(const Velum_CHAR* text) override;
    CDATASection createCDATASection(const Velum_CHAR* text) override;
    ProcessingInstruction createProcessingInstruction(const Velum_CHAR* target, const Velum_CHAR* data) override;
    Attr createAttribute(const Velum_CHAR* name) override;
    Element getElementById(const Velum_CHAR* id) const override;
    VelumString setDoctype(const Velum_CHAR* name) override;
};

}  // namespace Velum
