// The handles: each operation checks its handle, forwards to the body and
// wraps what comes back in a new handle.
#include "velum/Nodes.h"
#include "NewBody.h"
#include "TreeMemory.h"
#include "velum/Initializer.h"

#include <new>

namespace Velum {

namespace {

VelumString StringOf(const Velum_CHAR* text)
{
    return text != nullptr ? VelumString(text) : VelumString();
}

// The body of a handle of one kind, or null when the handle is empty;
// BAD_CAST_ERR for a node of another kind.
NodeInst* OfKind(const NodeBase& handle, unsigned short type)
{
    NodeInst* inst = handle.getNodeInst();
    if (inst != nullptr && inst->m_type != type)
        throw VelumException(VelumException::BAD_CAST_ERR);
    return inst;
}

// The body of a handle of kind T, or null when the handle is empty. A Node
// binds to every kind's `const T&` (it derives from them all), so a node of
// another kind can arrive here: BAD_CAST_ERR then, before the body is read
// as something it is not. A CDATA section is a Text as a class.
template <typename Body>
Body* BodyOf(const NodeBase& handle, unsigned short type)
{
    NodeInst* inst = handle.getNodeInst();
    if (inst != nullptr && inst->m_type != type && !(type == TEXT_NODE && inst->m_type == CDATA_SECTION_NODE))
        throw VelumException(VelumException::BAD_CAST_ERR);
    return static_cast<Body*>(inst);
}

}  // namespace

// ---------------------------------------------------------------------------
// NodeBase
// ---------------------------------------------------------------------------

NodeInst* NodeBase::nodeOfType(unsigned short type, unsigned short mismatch) const
{
    NodeInst* inst = node();
    if (inst->m_type != type)
        throw VelumException(mismatch);
    return inst;
}

NodeBase& NodeBase::operator=(const NodeBase& other)
{
    reset(other.m_inst);
    return *this;
}

VelumString NodeBase::getNodeName() const { return node()->getNodeName(); }
VelumString NodeBase::getNodeValue() const { return node()->getNodeValue(); }
void NodeBase::setNodeValue(const Velum_CHAR* value) { node()->setNodeValue(StringOf(value)); }
unsigned short NodeBase::getNodeType() const { return node()->getNodeType(); }
Node NodeBase::getParentNode() const { return Node(node()->getParentNode()); }

NodeList NodeBase::getChildNodes() const
{
    NodeInst* inst = getNodeInst();
    return inst != nullptr ? NodeList(inst->getChildNodes()) : NodeList();
}

Node NodeBase::getFirstChild() const { return Node(node()->getFirstChild()); }
Node NodeBase::getLastChild() const { return Node(node()->getLastChild()); }

Node NodeBase::getPreviousSibling() const
{
    NodeInst* inst = getNodeInst();
    return inst != nullptr ? Node(inst->getPreviousSibling()) : Node();
}

Node NodeBase::getNextSibling() const { return Node(node()->getNextSibling()); }

NamedNodeMap NodeBase::getAttributes() const
{
    NodeInst* inst = node();
    if (inst->m_type != ELEMENT_NODE)
        return NamedNodeMap();
    // An element without attributes gets no map until one is put in.
    return inst->m_attributes != nullptr ? NamedNodeMap(inst->m_attributes)
                                         : NamedNodeMap(static_cast<ElementInst*>(inst));
}

Node NodeBase::insertBefore(const Node& newChild, const Node& refChild)
{
    return Node(node()->insertBefore(newChild.getNodeInst(), refChild.getNodeInst()));
}

Node NodeBase::replaceChild(const Node& newChild, const Node& oldChild)
{
    return Node(node()->replaceChild(newChild.getNodeInst(), oldChild.getNodeInst()));
}

Node NodeBase::removeChild(const Node& oldChild)
{
    return Node(node()->removeChild(oldChild.getNodeInst()));
}

Node NodeBase::appendChild(const Node& newChild)
{
    return Node(node()->appendChild(newChild.getNodeInst()));
}

bool NodeBase::hasChildNodes() const { return node()->hasChildNodes(); }

void NodeBase::append(const NodeBase& newChild)
{
    node()->appendChild(newChild.getNodeInst());
}

Node NodeBase::cloneNode(bool deep) const { return Node(node()->cloneNodeInst(deep)); }

NodeBase::operator Element() const { return Element(static_cast<ElementInst*>(OfKind(*this, ELEMENT_NODE))); }
NodeBase::operator Attr() const { return Attr(static_cast<AttrInst*>(OfKind(*this, ATTRIBUTE_NODE))); }
NodeBase::operator Text() const { return Text(static_cast<TextInst*>(OfKind(*this, TEXT_NODE))); }

NodeBase::operator CDATASection() const
{
    return CDATASection(static_cast<CDATASectionInst*>(OfKind(*this, CDATA_SECTION_NODE)));
}

NodeBase::operator ProcessingInstruction() const
{
    return ProcessingInstruction(
        static_cast<ProcessingInstructionInst*>(OfKind(*this, PROCESSING_INSTRUCTION_NODE)));
}

NodeBase::operator Comment() const { return Comment(static_cast<CommentInst*>(OfKind(*this, COMMENT_NODE))); }
NodeBase::operator Document() const { return Document(static_cast<DocumentInst*>(OfKind(*this, DOCUMENT_NODE))); }

NodeBase::operator DocumentType() const
{
    return DocumentType(static_cast<DocumentTypeInst*>(OfKind(*this, DOCUMENT_TYPE_NODE)));
}

NodeBase::operator Node() const { return Node(getNodeInst()); }

// ---------------------------------------------------------------------------
// The kinds
// ---------------------------------------------------------------------------

Element::Element(const Node& node) : NodeBase(OfKind(node, ELEMENT_NODE)) {}
Attr::Attr(const Node& node) : NodeBase(OfKind(node, ATTRIBUTE_NODE)) {}
Text::Text(const Node& node) : NodeBase(OfKind(node, TEXT_NODE)) {}
CDATASection::CDATASection(const Node& node) : NodeBase(OfKind(node, CDATA_SECTION_NODE)) {}
ProcessingInstruction::ProcessingInstruction(const Node& node)
    : NodeBase(OfKind(node, PROCESSING_INSTRUCTION_NODE))
{
}
Comment::Comment(const Node& node) : NodeBase(OfKind(node, COMMENT_NODE)) {}
DocumentType::DocumentType(const Node& node) : NodeBase(OfKind(node, DOCUMENT_TYPE_NODE)) {}
Document::Document(const Node& node) : NodeBase(OfKind(node, DOCUMENT_NODE)) {}

// Assignment checks the kind too: `element = node` binds the Node to
// `const Element&` without any conversion operator being asked.
template <typename Handle, typename Body>
Handle& AssignKind(Handle& self, const Handle& other, unsigned short type)
{
    self.NodeBase::operator=(Handle(BodyOf<Body>(other, type)));
    return self;
}

Element& Element::operator=(const Element& other) { return AssignKind<Element, ElementInst>(*this, other, ELEMENT_NODE); }
Attr& Attr::operator=(const Attr& other) { return AssignKind<Attr, AttrInst>(*this, other, ATTRIBUTE_NODE); }
Text& Text::operator=(const Text& other) { return AssignKind<Text, TextInst>(*this, other, TEXT_NODE); }

CDATASection& CDATASection::operator=(const CDATASection& other)
{
    return AssignKind<CDATASection, CDATASectionInst>(*this, other, CDATA_SECTION_NODE);
}

ProcessingInstruction& ProcessingInstruction::operator=(const ProcessingInstruction& other)
{
    return AssignKind<ProcessingInstruction, ProcessingInstructionInst>(*this, other, PROCESSING_INSTRUCTION_NODE);
}

Comment& Comment::operator=(const Comment& other) { return AssignKind<Comment, CommentInst>(*this, other, COMMENT_NODE); }

DocumentType& DocumentType::operator=(const DocumentType& other)
{
    return AssignKind<DocumentType, DocumentTypeInst>(*this, other, DOCUMENT_TYPE_NODE);
}

Document& Document::operator=(const Document& other)
{
    return AssignKind<Document, DocumentInst>(*this, other, DOCUMENT_NODE);
}

ElementInst* Element::element() const { return static_cast<ElementInst*>(node()); }

VelumString Element::getAttribute(const Velum_CHAR* name) const { return element()->getAttribute(name); }

void Element::setAttribute(const Velum_CHAR* name, const Velum_CHAR* value)
{
    element()->setAttribute(name, value);
}

void Element::setAttribute(const VelumString& name, const VelumString& value)
{
    element()->setAttribute(name, value);
}

void Element::setAttribute(const Velum_CHAR* name, const VelumString& value)
{
    ElementInst* inst = element();
    if (name == nullptr)
        throw VelumException(VelumException::INVALID_CHARACTER_ERR);
    inst->setAttribute(VelumString(name), value);
}

void Element::removeAttribute(const Velum_CHAR* name) { element()->removeAttribute(name); }

Attr Element::getAttributeNode(const Velum_CHAR* name) const { return Attr(element()->getAttributeNode(name)); }

Attr Element::setAttributeNode(const Attr& attr)
{
    ElementInst* inst = element();
    AttrInst* body = BodyOf<AttrInst>(attr, ATTRIBUTE_NODE);
    if (body == nullptr)
        throw VelumException(VelumException::EMPTY_HANDLE_ERR);
    return inst->setAttributeNode(body);
}

Attr Element::removeAttributeNode(const Attr& attr)
{
    ElementInst* inst = element();
    AttrInst* body = BodyOf<AttrInst>(attr, ATTRIBUTE_NODE);
    if (body == nullptr)
        throw VelumException(VelumException::NOT_FOUND_ERR);
    return Attr(inst->removeAttributeNode(body));
}

NodeList Element::getElementsByTagName(const Velum_CHAR* name) const
{
    ElementInst* inst = element();
    NodeList list(NewBody<NodeListInst>());
    inst->collectElementsByTagName(name, static_cast<NodeListInst*>(list.getInstance()));
    return list;
}

void Element::normalize() { element()->normalize(); }

DocumentInst* Document::document() const { return static_cast<DocumentInst*>(node()); }

DocumentType Document::getDoctype() const { return DocumentType(document()->m_doctype); }
bool Document::getStandalone() const { return document()->m_standalone == 1; }
void Document::setStandalone(bool standalone) { document()->m_standalone = standalone ? 1 : 0; }
Element Document::getDocumentElement() const { return Element(document()->m_documentElement); }

Element Document::createElement(const Velum_CHAR* tagName)
{
    document();
    if (tagName == nullptr || !VelumString::isName(tagName))
        throw VelumException(VelumException::INVALID_CHARACTER_ERR);
    return Element(NewBody<ElementInst>(VelumString(tagName)));
}

Text Document::createTextNode(const Velum_CHAR* text)
{
    document();
    return Text(NewBody<TextInst>(StringOf(text)));
}

Element Document::createElement(const VelumString& tagName)
{
    document();
    if (!tagName.isName())
        throw VelumException(VelumException::INVALID_CHARACTER_ERR);
    return Element(NewBody<ElementInst>(tagName));
}

Text Document::createTextNode(const VelumString& text)
{
    document();
    return Text(NewBody<TextInst>(text));
}

Comment Document::createComment(const Velum_CHAR* text)
{
    document();
    return Comment(NewBody<CommentInst>(StringOf(text)));
}

CDATASection Document::createCDATASection(const Velum_CHAR* text)
{
    document();
    return CDATASection(NewBody<CDATASectionInst>(StringOf(text)));
}

ProcessingInstruction Document::createProcessingInstruction(const Velum_CHAR* target, const Velum_CHAR* data)
{
    document();
    if (target == nullptr || !VelumString::isName(target))
        throw VelumException(VelumException::INVALID_CHARACTER_ERR);
    return ProcessingInstruction(NewBody<ProcessingInstructionInst>(VelumString(target), StringOf(data)));
}

Attr Document::createAttribute(const Velum_CHAR* name)
{
    document();
    if (name == nullptr || !VelumString::isName(name))
        throw VelumException(VelumException::INVALID_CHARACTER_ERR);
    return Attr(NewBody<AttrInst>(VelumString(name)));
}

NodeList Document::getElementsByTagName(const Velum_CHAR* name) const
{
    return NodeList(document()->getElementsByTagName(name));
}

Element Document::getElementById(const Velum_CHAR* id) const { return Element(document()->getElementById(id)); }

VelumString Document::setDoctype(const Velum_CHAR* name) { return document()->setDoctype(name); }

VelumString Document::getXmlVersion() const { return document()->m_version; }
bool Document::isValid() const { return document()->m_valid != 0; }

void Document::_setDocumentElement(const Element& element)
{
    DocumentInst* inst = document();
    ElementInst* body = BodyOf<ElementInst>(element, ELEMENT_NODE);
    if (body == nullptr)
        throw VelumException(VelumException::EMPTY_HANDLE_ERR);
    inst->_setDocumentElement(body);
}

Document Document::_createNewDocument(const Velum_CHAR* version, const Velum_CHAR* documentElementName,
                                      const Velum_CHAR* doctypeName)
{
    if (!Initializer::initialized())
        throw VelumException(VelumException::NOT_INITIALIZED_ERR);
    // The handle frees the new document if a later step raises.
    Document document(NewBody<DocumentInst>());
    DocumentInst* inst = document.document();
    if (version != nullptr && version[0] != 0)
        StringMember::assign(inst, inst->m_version, VelumString(version));
    if (doctypeName != nullptr && doctypeName[0] != 0)
        inst->setDoctype(doctypeName);
    Element root = document.createElement(documentElementName);
    inst->_setDocumentElement(static_cast<ElementInst*>(root.getNodeInst()));
    inst->m_valid = 1;
    return document;
}

// ---------------------------------------------------------------------------
// Node: every kind's operations, each after a check of the kind
// ---------------------------------------------------------------------------

// The kind bases hold nothing of their own: the one NodeBase carries the body.
Node::Node(const Node& other)
    : NodeBase(other), Element(), Attr(), CDATASection(), ProcessingInstruction(), Comment(), Document(), DocumentType()
{
}

Node& Node::operator=(const Node& other)
{
    NodeBase::operator=(other);
    return *this;
}

Node& Node::operator=(const NodeBase& other)
{
    NodeBase::operator=(other);
    return *this;
}

#define VELUM_AS_ELEMENT nodeOfType(ELEMENT_NODE, VelumException::WRONG_NODE_KIND_ERR)
#define VELUM_AS_DOCUMENT nodeOfType(DOCUMENT_NODE, VelumException::WRONG_NODE_KIND_ERR)

VelumString Node::getAttribute(const Velum_CHAR* name) const { VELUM_AS_ELEMENT; return Element::getAttribute(name); }

void Node::setAttribute(const Velum_CHAR* name, const Velum_CHAR* value)
{
    VELUM_AS_ELEMENT;
    Element::setAttribute(name, value);
}

void Node::removeAttribute(const Velum_CHAR* name) { VELUM_AS_ELEMENT; Element::removeAttribute(name); }
Attr Node::getAttributeNode(const Velum_CHAR* name) const { VELUM_AS_ELEMENT; return Element::getAttributeNode(name); }
Attr Node::setAttributeNode(const Attr& attr) { VELUM_AS_ELEMENT; return Element::setAttributeNode(attr); }
Attr Node::removeAttributeNode(const Attr& attr) { VELUM_AS_ELEMENT; return Element::removeAttributeNode(attr); }

NodeList Node::getElementsByTagName(const Velum_CHAR* name) const
{
    if (node()->m_type == DOCUMENT_NODE)
        return Document::getElementsByTagName(name);
    VELUM_AS_ELEMENT;
    return Element::getElementsByTagName(name);
}

void Node::normalize() { VELUM_AS_ELEMENT; Element::normalize(); }

DocumentType Node::getDoctype() const { VELUM_AS_DOCUMENT; return Document::getDoctype(); }
bool Node::getStandalone() const { VELUM_AS_DOCUMENT; return Document::getStandalone(); }
void Node::setStandalone(bool standalone) { VELUM_AS_DOCUMENT; Document::setStandalone(standalone); }
Element Node::getDocumentElement() const { VELUM_AS_DOCUMENT; return Document::getDocumentElement(); }
Element Node::createElement(const Velum_CHAR* tagName) { VELUM_AS_DOCUMENT; return Document::createElement(tagName); }
Text Node::createTextNode(const Velum_CHAR* text) { VELUM_AS_DOCUMENT; return Document::createTextNode(text); }
Comment Node::createComment(const Velum_CHAR* text) { VELUM_AS_DOCUMENT; return Document::createComment(text); }

CDATASection Node::createCDATASection(const Velum_CHAR* text)
{
    VELUM_AS_DOCUMENT;
    return Document::createCDATASection(text);
}

ProcessingInstruction Node::createProcessingInstruction(const Velum_CHAR* target, const Velum_CHAR* data)
{
    VELUM_AS_DOCUMENT;
    return Document::createProcessingInstruction(target, data);
}

Attr Node::createAttribute(const Velum_CHAR* name) { VELUM_AS_DOCUMENT; return Document::createAttribute(name); }
Element Node::getElementById(const Velum_CHAR* id) const { VELUM_AS_DOCUMENT; return Document::getElementById(id); }
VelumString Node::setDoctype(const Velum_CHAR* name) { VELUM_AS_DOCUMENT; return Document::setDoctype(name); }

#undef VELUM_AS_ELEMENT
#undef VELUM_AS_DOCUMENT

}  // namespace Velum
