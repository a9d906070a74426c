// The node bodies: tree operations with their kind checks, cloning,
// attribute handling, and release of whole trees without recursion.
#include "velum/Nodes.h"
#include "NewBody.h"

#include "TreeMemory.h"
#include "TreeRelease.h"

#include <new>
#include <vector>

namespace Velum {

// ---------------------------------------------------------------------------
// Release
// ---------------------------------------------------------------------------

namespace {

// Per thread: each thread frees only the trees it works on, so two threads
// releasing two documents keep two queues. Read once per release; on ELF
// systems the initial-exec model makes that a load from the thread pointer.
#if defined(__ELF__)
#  define VELUM_RELEASE_TLS __attribute__((tls_model("initial-exec")))
#else
#  define VELUM_RELEASE_TLS
#endif
VELUM_RELEASE_TLS thread_local bool releasing = false;
VELUM_RELEASE_TLS thread_local NodeInst* pendingNodes = nullptr;  // chained through m_parent, unused by then

}  // namespace

// Every body lies in a chunk of the pool (see TreeOfBody).
static_assert(sizeof(ElementInst) <= kLargestPooled && sizeof(AttrInst) <= kLargestPooled &&
                  sizeof(TextInst) <= kLargestPooled && sizeof(CDATASectionInst) <= kLargestPooled &&
                  sizeof(ProcessingInstructionInst) <= kLargestPooled && sizeof(CommentInst) <= kLargestPooled &&
                  sizeof(DocumentTypeInst) <= kLargestPooled && sizeof(DocumentInst) <= kLargestPooled &&
                  sizeof(NodeListInst) <= kLargestPooled && sizeof(NamedNodeMapInst) <= kLargestPooled,
              "a body too large for the pool");

void ReleaseBody(NodeInst* body)
{
    // A parsed document that takes its whole tree with it, and that nothing
    // else holds a part of, goes in one sweep of its chunks: none of its
    // bodies holds anything outside them.
    if (!releasing && body->m_type == DOCUMENT_NODE) {
        PoolTree* tree = TreeOfBody(body);
        if (tree != nullptr && PoolSweepTree(tree))
            return;
    }
    if (releasing) {
        body->m_parent = pendingNodes;
        pendingNodes = body;
        return;
    }
    releasing = true;
    // A whole tree goes through this loop one node at a time: each node
    // hands the children and attributes that die with it to the queue, and
    // its own destructor then has nothing left to walk.
    NodeInst* dying = body;
    body->m_parent = nullptr;
    while (dying != nullptr) {
        NodeInst* next = dying;
        dying = next->m_parent;
        next->m_parent = nullptr;
        next->releaseMembers(dying);
        delete next;
        if (dying == nullptr && pendingNodes != nullptr) {
            // Bodies released by a destructor the usual way.
            dying = pendingNodes;
            pendingNodes = nullptr;
        }
    }
    releasing = false;
}

namespace {

// Holds a count-0 body under construction and frees it unless released.
class BodyGuard {
public:
    explicit BodyGuard(NodeInst* body) : m_body(body) { m_body->addRef(); }
    ~BodyGuard()
    {
        if (m_body != nullptr)
            m_body->removeRef();
    }
    // Hands the body back with count 0, as new bodies are.
    NodeInst* release()
    {
        NodeInst* body = m_body;
        m_body = nullptr;
        --body->m_refCount;
        return body;
    }

private:
    NodeInst* m_body;
};

// Keeps a body alive across an operation that may drop its last counted
// reference before the caller takes a new one.
class KeepAlive {
public:
    explicit KeepAlive(NodeInst* body) : m_body(body)
    {
        if (m_body != nullptr)
            m_body->addRef();
    }
    ~KeepAlive()
    {
        if (m_body != nullptr && --m_body->m_refCount == 0)
            ReleaseBody(m_body);
    }

private:
    NodeInst* m_body;
};

const Velum_CHAR kHashText[] = {'#', 't', 'e', 'x', 't', 0};
const Velum_CHAR kHashCDATA[] = {'#', 'c', 'd', 'a', 't', 'a', '-', 's', 'e', 'c', 't', 'i', 'o', 'n', 0};
const Velum_CHAR kHashComment[] = {'#', 'c', 'o', 'm', 'm', 'e', 'n', 't', 0};
const Velum_CHAR kHashDocument[] = {'#', 'd', 'o', 'c', 'u', 'm', 'e', 'n', 't', 0};
const Velum_CHAR kId[] = {'i', 'd', 0};

// The fixed names, one permanent body each for the life of the process:
// nodes of every tree on every thread share them, and since no handle
// changes their count, two threads making text nodes do not race. Each is
// made by the first call for it on any thread (a guarded static); a text
// node asks for its name at every construction, so each name has a
// function of its own.
template <const Velum_CHAR* text>
const VelumString& FixedName()
{
    static const VelumString name = VelumString::permanent(text);
    return name;
}

bool IsStar(const Velum_CHAR* name)
{
    return name[0] == '*' && name[1] == 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// NodeInst
// ---------------------------------------------------------------------------

NodeInst::NodeInst(unsigned short type, const VelumString& name, unsigned short flags)
    : m_type(type), m_flags(flags), m_parent(nullptr), m_children(nullptr), m_attributes(nullptr)
{
    StringMember::assign(this, m_name, name);
}

void NodeInst::removeRef()
{
    if (--m_refCount == 0)
        ReleaseBody(this);
}

void NodeInst::releaseMembers(NodeInst*& dying)
{
    if (m_children != nullptr) {
        NodeListInst* list = m_children;
        if (list->m_refCount == 1) {
            list->releaseItems(dying);
        } else {
            // A handle keeps the live list, and with it the children, which
            // become parentless.
            for (unsigned long i = 0; i < list->getLength(); ++i)
                list->item(i)->m_parent = nullptr;
        }
        m_children = nullptr;
        NoteBodyLink(this, list, -1);
        list->removeRef();
    }
    if (m_attributes != nullptr) {
        NamedNodeMapInst* map = m_attributes;
        if (map->m_refCount == 1) {
            map->releaseItems(dying);
        } else {
            for (unsigned long i = 0; i < map->getLength(); ++i)
                AttrInst::leaveMap(map->item(i), map);
        }
        m_attributes = nullptr;
        NoteBodyLink(this, map, -1);
        map->removeRef();
    }
    StringMember::release(this, m_name);
    StringMember::release(this, m_value);
}

NodeInst::~NodeInst()
{
    if (m_children != nullptr) {
        // Children that outlive us (held by a handle, or by a live list a
        // handle keeps) become parentless.
        for (unsigned long i = 0; i < m_children->getLength(); ++i)
            m_children->item(i)->m_parent = nullptr;
        NoteBodyLink(this, m_children, -1);
        m_children->removeRef();
    }
    if (m_attributes != nullptr) {
        // Attributes that outlive us lose their owner; one that another
        // element placed (and that got here through our map) keeps its own.
        for (unsigned long i = 0; i < m_attributes->getLength(); ++i)
            AttrInst::leaveMap(m_attributes->item(i), m_attributes);
        NoteBodyLink(this, m_attributes, -1);
        m_attributes->removeRef();
    }
    StringMember::release(this, m_name);
    StringMember::release(this, m_value);
}

VelumString NodeInst::getNodeName() const { return m_name; }
VelumString NodeInst::getNodeValue() const { return m_value; }

void NodeInst::setNodeValue(const VelumString& value)
{
    if (isReadOnly())
        throw VelumException(VelumException::NO_MODIFICATION_ALLOWED_ERR);
    StringMember::assign(this, m_value, value);
}

unsigned short NodeInst::getNodeType() const { return m_type; }
NodeInst* NodeInst::getParentNode() const { return m_parent; }

NodeListInst* NodeInst::children()
{
    if (m_children == nullptr) {
        NodeListInst* list = new (std::nothrow) NodeListInst;
        if (list == nullptr)
            throw VelumException(VelumException::OUT_OF_MEMORY_ERR);
        list->addRef();
        NoteBodyLink(this, list, +1);
        m_children = list;
    }
    return m_children;
}

NodeListInst* NodeInst::getChildNodes() { return children(); }

NodeInst* NodeInst::getFirstChild() const
{
    return m_children != nullptr ? m_children->item(0) : nullptr;
}

NodeInst* NodeInst::getLastChild() const
{
    const unsigned long count = childCount();
    return count != 0 ? m_children->item(count - 1) : nullptr;
}

NodeInst* NodeInst::getPreviousSibling() const
{
    if (m_parent == nullptr)
        return nullptr;
    const long at = m_parent->m_children->indexOf(this);
    return at > 0 ? m_parent->m_children->item(static_cast<unsigned long>(at) - 1) : nullptr;
}

NodeInst* NodeInst::getNextSibling() const
{
    if (m_parent == nullptr)
        return nullptr;
    const NodeListInst* siblings = m_parent->m_children;
    for (unsigned long i = siblings->getLength(); i > 0; --i) {
        if (siblings->item(i - 1) == this)
            return siblings->item(i);
    }
    return nullptr;
}

NamedNodeMapInst* NodeInst::getAttributes() const { return nullptr; }

bool NodeInst::_isAncestorOf(const NodeInst* node) const
{
    for (; node != nullptr; node = node->m_parent) {
        if (node == this)
            return true;
    }
    return false;
}

bool NodeInst::hasChildNodes() const { return childCount() != 0; }

void NodeInst::checkNewChild(NodeInst* newChild) const
{
    if (isReadOnly())
        throw VelumException(VelumException::NO_MODIFICATION_ALLOWED_ERR);
    if (!mayHaveChildren() || newChild == nullptr)
        throw VelumException(VelumException::HIERARCHY_REQUEST_ERR);
    // Only a node with children can be an ancestor of this one; checking
    // that first keeps building a deep tree from fresh nodes linear.
    if (newChild == this || (newChild->childCount() != 0 && newChild->_isAncestorOf(this)))
        throw VelumException(VelumException::HIERARCHY_REQUEST_ERR);
    // Moving a child out of a read-only parent is refused before anything
    // changes here.
    if (newChild->m_parent != nullptr && newChild->m_parent->isReadOnly())
        throw VelumException(VelumException::NO_MODIFICATION_ALLOWED_ERR);
}

NodeInst* NodeInst::appendChild(NodeInst* newChild)
{
    checkNewChild(newChild);
    KeepAlive keep(newChild);
    NodeInst* oldParent = newChild->m_parent;
    children()->appendNode(newChild);
    if (oldParent != nullptr)
        oldParent->removeChild(newChild);  // the first occurrence: a re-append moves
    newChild->m_parent = this;
    return newChild;
}

void NodeInst::appendNewChild(NodeInst* child)
{
    children()->appendNode(child);
    child->m_parent = this;
}

NodeInst* NodeInst::insertBefore(NodeInst* newChild, NodeInst* refChild)
{
    if (refChild == nullptr)
        return appendChild(newChild);
    checkNewChild(newChild);
    if (refChild->m_parent != this || m_children == nullptr || m_children->indexOf(refChild) < 0)
        throw VelumException(VelumException::NOT_FOUND_ERR);
    if (newChild == refChild)
        return newChild;
    KeepAlive keep(newChild);
    if (newChild->m_parent != nullptr)
        newChild->m_parent->removeChild(newChild);
    m_children->insertNode(newChild, refChild);
    newChild->m_parent = this;
    return newChild;
}

NodeInst* NodeInst::replaceChild(NodeInst* newChild, NodeInst* oldChild)
{
    checkNewChild(newChild);
    if (oldChild == nullptr || oldChild->m_parent != this || m_children->indexOf(oldChild) < 0)
        throw VelumException(VelumException::NOT_FOUND_ERR);
    if (newChild == oldChild)
        return oldChild;
    KeepAlive keepNew(newChild);
    KeepAlive keepOld(oldChild);
    if (newChild->m_parent != nullptr)
        newChild->m_parent->removeChild(newChild);
    m_children->replaceNode(newChild, oldChild);
    oldChild->m_parent = nullptr;
    newChild->m_parent = this;
    return oldChild;
}

NodeInst* NodeInst::removeChild(NodeInst* oldChild)
{
    if (isReadOnly())
        throw VelumException(VelumException::NO_MODIFICATION_ALLOWED_ERR);
    if (oldChild == nullptr || oldChild->m_parent != this || m_children == nullptr ||
        m_children->indexOf(oldChild) < 0)
        throw VelumException(VelumException::NOT_FOUND_ERR);
    oldChild->m_parent = nullptr;
    m_children->removeNode(oldChild);
    return oldChild;
}

// Deep copies of the children, level by level through an explicit stack, so
// that the depth of the tree never becomes the depth of the call stack.
void NodeInst::cloneChildrenInto(NodeInst* clone, bool deep) const
{
    if (!deep || childCount() == 0)
        return;
    struct Pending {
        const NodeInst* source;
        NodeInst* copy;
    };
    std::vector<Pending> stack;
    try {
        stack.push_back({this, clone});
        while (!stack.empty()) {
            const Pending next = stack.back();
            stack.pop_back();
            for (unsigned long i = 0; i < next.source->childCount(); ++i) {
                const NodeInst* child = next.source->m_children->item(i);
                NodeInst* childCopy = child->cloneNodeInst(false);
                BodyGuard guard(childCopy);
                next.copy->children()->appendNode(childCopy);
                childCopy->m_parent = next.copy;
                guard.release();
                if (child->childCount() != 0)
                    stack.push_back({child, childCopy});
            }
        }
    } catch (const std::bad_alloc&) {
        throw VelumException(VelumException::OUT_OF_MEMORY_ERR);
    }
}

// ---------------------------------------------------------------------------
// ElementInst
// ---------------------------------------------------------------------------

ElementInst::ElementInst(const VelumString& tagName) : NodeInst(ELEMENT_NODE, tagName, MAY_HAVE_CHILDREN) {}
ElementInst::~ElementInst() = default;

bool ElementInst::accepts(unsigned short childType)
{
    return childType != ATTRIBUTE_NODE && childType != PROCESSING_INSTRUCTION_NODE &&
           childType != DOCUMENT_NODE && childType != DOCUMENT_TYPE_NODE;
}

NodeInst* ElementInst::insertBefore(NodeInst* newChild, NodeInst* refChild)
{
    if (newChild == nullptr)
        return nullptr;
    if (!accepts(newChild->m_type))
        throw VelumException(VelumException::HIERARCHY_REQUEST_ERR);
    return NodeInst::insertBefore(newChild, refChild);
}

NodeInst* ElementInst::replaceChild(NodeInst* newChild, NodeInst* oldChild)
{
    if (newChild == nullptr)
        return nullptr;
    if (!accepts(newChild->m_type))
        throw VelumException(VelumException::HIERARCHY_REQUEST_ERR);
    return NodeInst::replaceChild(newChild, oldChild);
}

NodeInst* ElementInst::appendChild(NodeInst* newChild)
{
    if (newChild == nullptr)
        return nullptr;
    if (!accepts(newChild->m_type))
        throw VelumException(VelumException::HIERARCHY_REQUEST_ERR);
    return NodeInst::appendChild(newChild);
}

NamedNodeMapInst* ElementInst::attributes()
{
    if (m_attributes == nullptr) {
        NamedNodeMapInst* map = new (std::nothrow) NamedNodeMapInst;
        if (map == nullptr)
            throw VelumException(VelumException::OUT_OF_MEMORY_ERR);
        map->addRef();
        NoteBodyLink(this, map, +1);
        m_attributes = map;
    }
    return m_attributes;
}

NamedNodeMapInst* ElementInst::getAttributes() const
{
    return const_cast<ElementInst*>(this)->attributes();
}

NodeInst* ElementInst::cloneNodeInst(bool deep) const
{
    ElementInst* copy = NewBody<ElementInst>(m_name);
    BodyGuard guard(copy);
    StringMember::assign(copy, copy->m_value, m_value);
    if (m_attributes != nullptr && m_attributes->getLength() != 0) {
        NamedNodeMapInst* map = copy->attributes();
        for (unsigned long i = 0; i < m_attributes->getLength(); ++i) {
            NodeInst* attr = m_attributes->item(i)->cloneNodeInst(false);
            BodyGuard attrGuard(attr);
            map->appendNamedItem(attr);
            if (attr->m_type == ATTRIBUTE_NODE)
                static_cast<AttrInst*>(attr)->m_ownerElement = copy;
        }
    }
    cloneChildrenInto(copy, deep);
    return guard.release();
}

VelumString ElementInst::getAttribute(const Velum_CHAR* name) const
{
    NodeInst* attr = m_attributes != nullptr ? m_attributes->getNamedItem(name) : nullptr;
    return attr != nullptr ? attr->m_value : VelumString();
}

void ElementInst::setAttribute(const Velum_CHAR* name, const Velum_CHAR* value)
{
    if (name == nullptr || !VelumString::isName(name))
        throw VelumException(VelumException::INVALID_CHARACTER_ERR);
    setAttribute(VelumString(name), value != nullptr ? VelumString(value) : VelumString());
}

void ElementInst::setAttribute(const VelumString& name, const VelumString& value)
{
    if (!name.isName())
        throw VelumException(VelumException::INVALID_CHARACTER_ERR);
    if (isReadOnly())
        throw VelumException(VelumException::NO_MODIFICATION_ALLOWED_ERR);
    AttrInst* attr = NewBody<AttrInst>(name);
    BodyGuard guard(attr);
    StringMember::assign(attr, attr->m_value, value);
    NamedNodeMapInst* map = attributes();
    NodeInst* old = map->getNamedItem(name);
    if (old != nullptr) {
        KeepAlive keep(old);
        map->replaceNamedItem(attr, old);
        AttrInst::leaveMap(old, map);
    } else {
        map->appendNamedItem(attr);
    }
    attr->m_ownerElement = this;
}

void ElementInst::removeAttribute(const Velum_CHAR* name)
{
    if (isReadOnly())
        throw VelumException(VelumException::NO_MODIFICATION_ALLOWED_ERR);
    NodeInst* attr = m_attributes != nullptr ? m_attributes->getNamedItem(name) : nullptr;
    if (attr == nullptr)
        return;
    AttrInst::leaveMap(attr, m_attributes);
    m_attributes->removeNamedItem(attr);
}

AttrInst* ElementInst::getAttributeNode(const Velum_CHAR* name) const
{
    NodeInst* attr = m_attributes != nullptr ? m_attributes->getNamedItem(name) : nullptr;
    if (attr != nullptr && attr->m_type != ATTRIBUTE_NODE)
        throw VelumException(VelumException::BAD_CAST_ERR);
    return static_cast<AttrInst*>(attr);
}

Attr ElementInst::setAttributeNode(AttrInst* attr)
{
    if (isReadOnly())
        throw VelumException(VelumException::NO_MODIFICATION_ALLOWED_ERR);
    if (attr->m_ownerElement != nullptr)
        throw VelumException(VelumException::INUSE_ATTRIBUTE_ERR);
    NamedNodeMapInst* map = attributes();
    NodeInst* old = map->getNamedItem(attr->m_name);
    if (old != nullptr && old->m_type != ATTRIBUTE_NODE)
        throw VelumException(VelumException::BAD_CAST_ERR);
    // The map may hold the only reference to old: the handle takes one
    // before the map lets go, and hands it to the caller.
    Attr replaced(static_cast<AttrInst*>(old));
    if (old != nullptr) {
        map->replaceNamedItem(attr, old);
        AttrInst::leaveMap(old, map);
    } else {
        map->appendNamedItem(attr);
    }
    attr->m_ownerElement = this;
    return replaced;
}

AttrInst* ElementInst::removeAttributeNode(AttrInst* attr)
{
    if (isReadOnly())
        throw VelumException(VelumException::NO_MODIFICATION_ALLOWED_ERR);
    if (attr->m_ownerElement != this || m_attributes == nullptr || !m_attributes->removeNamedItem(attr))
        throw VelumException(VelumException::NOT_FOUND_ERR);
    attr->m_ownerElement = nullptr;
    return attr;
}

void ElementInst::collectElementsByTagName(const Velum_CHAR* name, NodeListInst* list) const
{
    if (name == nullptr || name[0] == 0)
        return;
    const bool all = IsStar(name);
    // Pre-order without recursion: the stack holds the next child index of
    // each open level.
    struct Level {
        const NodeInst* node;
        unsigned long next;
    };
    std::vector<Level> stack;
    try {
        stack.push_back({this, 0});
        while (!stack.empty()) {
            Level& level = stack.back();
            if (level.next >= level.node->childCount()) {
                stack.pop_back();
                continue;
            }
            NodeInst* child = level.node->m_children->item(level.next++);
            if (child->m_type != ELEMENT_NODE)
                continue;
            if (all || child->m_name == name)
                list->appendNode(child);
            if (child->childCount() != 0)
                stack.push_back({child, 0});
        }
    } catch (const std::bad_alloc&) {
        throw VelumException(VelumException::OUT_OF_MEMORY_ERR);
    }
}

void ElementInst::normalize()
{
    std::vector<NodeInst*> elements;
    try {
        elements.push_back(this);
        while (!elements.empty()) {
            NodeInst* element = elements.back();
            elements.pop_back();
            for (unsigned long i = 0; i < element->childCount(); ++i) {
                NodeInst* child = element->m_children->item(i);
                if (child->m_type == ELEMENT_NODE) {
                    elements.push_back(child);
                    continue;
                }
                if (child->m_type != TEXT_NODE)
                    continue;
                NodeInst* next;
                while ((next = element->m_children->item(i + 1)) != nullptr && next->m_type == TEXT_NODE) {
                    StringMember::assign(child, child->m_value, child->m_value + next->m_value);
                    element->removeChild(next);
                }
            }
        }
    } catch (const std::bad_alloc&) {
        throw VelumException(VelumException::OUT_OF_MEMORY_ERR);
    }
}

// ---------------------------------------------------------------------------
// The leaf kinds
// ---------------------------------------------------------------------------

AttrInst::AttrInst(const VelumString& name) : NodeInst(ATTRIBUTE_NODE, name, 0), m_ownerElement(nullptr) {}

void AttrInst::leaveMap(NodeInst* node, const NamedNodeMapInst* map)
{
    if (node->m_type != ATTRIBUTE_NODE)
        return;
    AttrInst* attr = static_cast<AttrInst*>(node);
    if (attr->m_ownerElement != nullptr && attr->m_ownerElement->m_attributes == map)
        attr->m_ownerElement = nullptr;
}

NodeInst* AttrInst::cloneNodeInst(bool) const
{
    AttrInst* copy = NewBody<AttrInst>(m_name);
    StringMember::assign(copy, copy->m_value, m_value);
    return copy;
}

TextInst::TextInst(const VelumString& text) : NodeInst(TEXT_NODE, FixedName<kHashText>(), 0)
{
    StringMember::assign(this, m_value, text);
}

TextInst::TextInst(unsigned short type, const VelumString& name, const VelumString& text)
    : NodeInst(type, name, 0)
{
    StringMember::assign(this, m_value, text);
}

NodeInst* TextInst::cloneNodeInst(bool) const
{
    return NewBody<TextInst>(m_value);
}

CDATASectionInst::CDATASectionInst(const VelumString& text)
    : TextInst(CDATA_SECTION_NODE, FixedName<kHashCDATA>(), text)
{
}

NodeInst* CDATASectionInst::cloneNodeInst(bool) const
{
    return NewBody<CDATASectionInst>(m_value);
}

ProcessingInstructionInst::ProcessingInstructionInst(const VelumString& target, const VelumString& data)
    : NodeInst(PROCESSING_INSTRUCTION_NODE, target, 0)
{
    StringMember::assign(this, m_value, data);
}

NodeInst* ProcessingInstructionInst::cloneNodeInst(bool) const
{
    return NewBody<ProcessingInstructionInst>(m_name, m_value);
}

CommentInst::CommentInst(const VelumString& text) : NodeInst(COMMENT_NODE, FixedName<kHashComment>(), 0)
{
    StringMember::assign(this, m_value, text);
}

NodeInst* CommentInst::cloneNodeInst(bool) const
{
    return NewBody<CommentInst>(m_value);
}

DocumentTypeInst::DocumentTypeInst(const VelumString& name) : NodeInst(DOCUMENT_TYPE_NODE, name, 0) {}

NodeInst* DocumentTypeInst::cloneNodeInst(bool) const
{
    DocumentTypeInst* copy = NewBody<DocumentTypeInst>(m_name);
    StringMember::assign(copy, copy->m_value, m_value);
    return copy;
}

// ---------------------------------------------------------------------------
// DocumentInst
// ---------------------------------------------------------------------------

DocumentInst::DocumentInst()
    : NodeInst(DOCUMENT_NODE, FixedName<kHashDocument>(), MAY_HAVE_CHILDREN),
      m_doctype(nullptr),
      m_documentElement(nullptr),
      m_standalone(-1),
      m_valid(0)
{
    static const Velum_CHAR kOneZero[] = {'1', '.', '0', 0};
    StringMember::assign(this, m_version, VelumString(kOneZero));
}

DocumentInst::~DocumentInst()
{
    StringMember::release(this, m_version);
}

bool DocumentInst::accepts(unsigned short childType)
{
    return childType != ATTRIBUTE_NODE && childType != TEXT_NODE && childType != CDATA_SECTION_NODE &&
           childType != DOCUMENT_NODE;
}

void DocumentInst::noteChild(NodeInst* child)
{
    if (child->m_type == DOCUMENT_TYPE_NODE && m_doctype == nullptr)
        m_doctype = static_cast<DocumentTypeInst*>(child);
    else if (child->m_type == ELEMENT_NODE && m_documentElement == nullptr)
        m_documentElement = static_cast<ElementInst*>(child);
}

void DocumentInst::forgetChild(const NodeInst* child)
{
    if (child == m_doctype)
        m_doctype = nullptr;
    if (child == m_documentElement)
        m_documentElement = nullptr;
}

NodeInst* DocumentInst::insertBefore(NodeInst* newChild, NodeInst* refChild)
{
    if (newChild == nullptr)
        return nullptr;
    if (!accepts(newChild->m_type))
        throw VelumException(VelumException::HIERARCHY_REQUEST_ERR);
    NodeInst::insertBefore(newChild, refChild);
    noteChild(newChild);
    return newChild;
}

NodeInst* DocumentInst::replaceChild(NodeInst* newChild, NodeInst* oldChild)
{
    if (newChild == nullptr)
        return nullptr;
    if (!accepts(newChild->m_type))
        throw VelumException(VelumException::HIERARCHY_REQUEST_ERR);
    NodeInst::replaceChild(newChild, oldChild);
    if (newChild != oldChild) {
        forgetChild(oldChild);
        noteChild(newChild);
    }
    return oldChild;
}

NodeInst* DocumentInst::removeChild(NodeInst* oldChild)
{
    NodeInst::removeChild(oldChild);
    forgetChild(oldChild);
    return oldChild;
}

NodeInst* DocumentInst::appendChild(NodeInst* newChild)
{
    if (newChild == nullptr)
        return nullptr;
    if (!accepts(newChild->m_type))
        throw VelumException(VelumException::HIERARCHY_REQUEST_ERR);
    NodeInst::appendChild(newChild);
    noteChild(newChild);
    return newChild;
}

NodeInst* DocumentInst::cloneNodeInst(bool deep) const
{
    DocumentInst* copy = NewBody<DocumentInst>();
    BodyGuard guard(copy);
    StringMember::assign(copy, copy->m_value, m_value);
    if (deep) {
        cloneChildrenInto(copy, true);
        for (unsigned long i = 0; i < copy->childCount(); ++i)
            copy->noteChild(copy->m_children->item(i));
        StringMember::assign(copy, copy->m_version, m_version);
        copy->m_standalone = m_standalone;
        copy->m_valid = m_valid;
    }
    return guard.release();
}

VelumString DocumentInst::setDoctype(const Velum_CHAR* name)
{
    VelumString oldName;
    if (name == nullptr || name[0] == 0) {
        if (m_doctype != nullptr) {
            oldName = m_doctype->m_name;
            KeepAlive keep(m_doctype);
            removeChild(m_doctype);
        }
        return oldName;
    }
    DocumentTypeInst* doctype = NewBody<DocumentTypeInst>(VelumString(name));
    BodyGuard guard(doctype);
    if (m_doctype != nullptr) {
        oldName = m_doctype->m_name;
        replaceChild(doctype, m_doctype);
    } else if (m_documentElement != nullptr) {
        insertBefore(doctype, m_documentElement);
    } else {
        appendChild(doctype);
    }
    m_doctype = doctype;
    return oldName;
}

void DocumentInst::_setDocumentElement(ElementInst* element)
{
    if (m_documentElement != nullptr)
        replaceChild(element, m_documentElement);
    else
        appendChild(element);
    m_documentElement = element;
}

NodeListInst* DocumentInst::getElementsByTagName(const Velum_CHAR* name) const
{
    NodeListInst* list = new (std::nothrow) NodeListInst;
    if (list == nullptr)
        throw VelumException(VelumException::OUT_OF_MEMORY_ERR);
    try {
        if (m_documentElement != nullptr && name != nullptr && name[0] != 0) {
            if (IsStar(name) || m_documentElement->m_name == name)
                list->appendNode(m_documentElement);
            m_documentElement->collectElementsByTagName(name, list);
        }
    } catch (...) {
        delete list;
        throw;
    }
    return list;
}

ElementInst* DocumentInst::getElementById(const Velum_CHAR* id) const
{
    if (id == nullptr || m_documentElement == nullptr)
        return nullptr;
    std::vector<const NodeInst*> stack;
    try {
        stack.push_back(m_documentElement);
        while (!stack.empty()) {
            const NodeInst* node = stack.back();
            stack.pop_back();
            if (node->m_type != ELEMENT_NODE)
                continue;
            const ElementInst* element = static_cast<const ElementInst*>(node);
            NodeInst* attr = element->m_attributes != nullptr ? element->m_attributes->getNamedItem(kId) : nullptr;
            if (attr != nullptr && attr->m_value == id)
                return const_cast<ElementInst*>(element);
            // Children pushed last-first so that the first child is visited next.
            for (unsigned long i = node->childCount(); i > 0; --i)
                stack.push_back(node->m_children->item(i - 1));
        }
    } catch (const std::bad_alloc&) {
        throw VelumException(VelumException::OUT_OF_MEMORY_ERR);
    }
    return nullptr;
}

}  // namespace Velum
