// Counted bodies and handles, the paged child list and the attribute map.
#include "velum/Nodes.h"
#include "velum/Initializer.h"

#include "TreeMemory.h"
#include "TreeRelease.h"

#include <new>
#include <typeinfo>

namespace Velum {

namespace {

unsigned long ItemsPerPage()
{
    return Initializer::ITEMS_PAR_UNIT != 0 ? Initializer::ITEMS_PAR_UNIT : 16;
}

unsigned long TableSize()
{
    return Initializer::TABLE_SIZE != 0 ? Initializer::TABLE_SIZE : 31;
}

// A map looks names up by scanning its order while it is this small, and
// makes its buckets when it grows past it: most elements have a handful of
// attributes, and a bucket table for each would cost more than the text.
constexpr unsigned long kMapScanLimit = 8;

bool SameName(const VelumString& a, const Velum_CHAR* b)
{
    const Velum_CHAR* p = a;
    if (p == b)
        return true;
    while (*p != 0 && *p == *b) {
        ++p;
        ++b;
    }
    return *p == *b;
}

}  // namespace

// ---------------------------------------------------------------------------
// Instance and Interface
// ---------------------------------------------------------------------------

Instance::~Instance() = default;

void Instance::addRef()
{
    ++m_refCount;
}

// Child lists and attribute maps: their destruction only releases nodes,
// which queue themselves when a release is under way, so it never recurses.
// Nodes override this with the queued release.
void Instance::removeRef()
{
    if (--m_refCount == 0)
        delete this;
}


namespace {

// A handle took (+1) or dropped (-1) body: a pin on its tree, if any.
inline void NoteHandle(const Instance* body, long change)
{
    if (PoolTree* tree = TreeOfBody(body))
        tree->pins += change;
}

}  // namespace

Interface::Interface(Instance* inst) : m_inst(inst)
{
    if (m_inst != nullptr) {
        m_inst->addRef();
        NoteHandle(m_inst, +1);
    }
}

Interface::Interface(const Interface& other) : m_inst(other.m_inst)
{
    if (m_inst != nullptr) {
        m_inst->addRef();
        NoteHandle(m_inst, +1);
    }
}

Interface::~Interface()
{
    if (m_inst != nullptr) {
        // The pin goes first: the release may sweep the tree.
        NoteHandle(m_inst, -1);
        m_inst->removeRef();
    }
}

Interface& Interface::operator=(const Interface& other)
{
    reset(other.m_inst);
    return *this;
}

bool Interface::operator==(const Interface& other) const
{
    return m_inst == other.m_inst;
}

bool Interface::operator!=(const Interface& other) const
{
    return m_inst != other.m_inst;
}

Interface::operator bool() const
{
    return m_inst != nullptr;
}

void Interface::reset(Instance* inst)
{
    if (inst != nullptr) {
        inst->addRef();
        NoteHandle(inst, +1);
    }
    Instance* old = m_inst;
    m_inst = inst;
    if (old != nullptr) {
        NoteHandle(old, -1);
        old->removeRef();
    }
}

Instance* Interface::checked() const
{
    if (m_inst == nullptr)
        throw VelumException(VelumException::EMPTY_HANDLE_ERR);
    return m_inst;
}

// ---------------------------------------------------------------------------
// NodeListInst
// ---------------------------------------------------------------------------

NodeListInst::NodeListInst() : m_count(0), m_firstPageSize(0), m_pages(2) {}

NodeListInst::~NodeListInst()
{
    for (unsigned long i = 0; i < m_count; ++i) {
        NoteBodyLink(this, slot(i), -1);
        slot(i)->removeRef();
    }
    releasePages();
}

// The first page holds m_firstPageSize pointers (a full page once there is
// a second); the others a full page each.
void NodeListInst::releasePages()
{
    const unsigned long pages = m_pages.getLength();
    if (pages != 0)
        NoteMovedBlock(this, &m_pages.at(0), nullptr, 0);
    for (unsigned long p = 0; p < pages; ++p)
        releaseMemorySized(m_pages[p], (p == 0 ? m_firstPageSize : ItemsPerPage()) * sizeof(NodeInst*));
    m_pages.removeAll();
    m_firstPageSize = 0;
}

void NodeListInst::releaseItems(NodeInst*& dying)
{
    const unsigned long perPage = ItemsPerPage();
    unsigned long left = m_count;
    m_count = 0;
    for (unsigned long p = 0; left != 0; ++p) {
        NodeInst** page = m_pages.at(p);
        const unsigned long here = left < perPage ? left : perPage;
        for (unsigned long s = 0; s < here; ++s) {
            NodeInst* item = page[s];
            NoteBodyLink(this, item, -1);
            if (--item->m_refCount == 0) {
                item->m_parent = dying;
                dying = item;
            } else {
                item->m_parent = nullptr;
            }
        }
        left -= here;
    }
    releasePages();
}

NodeInst*& NodeListInst::slot(unsigned long i) const
{
    const unsigned long perPage = ItemsPerPage();
    return m_pages[i / perPage][i % perPage];
}

NodeInst* NodeListInst::itemInLaterPages(unsigned long i) const
{
    return i < m_count ? slot(i) : nullptr;
}

long NodeListInst::indexOf(const NodeInst* node) const
{
    const unsigned long perPage = ItemsPerPage();
    for (unsigned long p = 0, i = 0; i < m_count; ++p) {
        NodeInst** page = m_pages[p];
        for (unsigned long s = 0; s < perPage && i < m_count; ++s, ++i) {
            if (page[s] == node)
                return static_cast<long>(i);
        }
    }
    return -1;
}

// Makes room for one more item. The first page starts small and doubles up
// to a full page, so that the many nodes with one or two children do not
// each carry a full page; later pages are allocated whole.
void NodeListInst::addPage()
{
    const unsigned long perPage = ItemsPerPage();
    if (m_count < perPage) {
        const unsigned long size = m_firstPageSize == 0 ? (perPage < 2 ? perPage : 2)
                                                        : (m_firstPageSize * 2 < perPage ? m_firstPageSize * 2 : perPage);
        NoteAuxiliaryBlock(this, size * sizeof(NodeInst*));
        if (m_pages.getLength() == 0)
            NoteAuxiliaryBlock(this, m_pages.bytes() != 0 ? m_pages.bytes() : 2 * sizeof(NodeInst**));
        NodeInst** page = static_cast<NodeInst**>(allocateOrThrow(size * sizeof(NodeInst*)));
        if (m_pages.getLength() == 0) {
            try {
                m_pages.append(page);
            } catch (...) {
                releaseMemory(page);
                throw;
            }
        } else {
            for (unsigned long i = 0; i < m_count; ++i)
                page[i] = m_pages[0][i];
            releaseMemory(m_pages[0]);
            m_pages.at(0) = page;
        }
        m_firstPageSize = static_cast<unsigned int>(size);
        return;
    }
    // The directory doubles: a list of many pages would otherwise copy its
    // whole directory every few pages.
    NoteAuxiliaryBlock(this, perPage * sizeof(NodeInst*));
    if (m_pages.getLength() == m_pages.getCapacity()) {
        NodeInst*** before = &m_pages.at(0);
        m_pages.reserve(m_pages.getLength() * 2);
        NoteMovedBlock(this, before, &m_pages.at(0), m_pages.bytes());
    }
    NodeInst** page = static_cast<NodeInst**>(allocateOrThrow(perPage * sizeof(NodeInst*)));
    try {
        m_pages.append(page);
    } catch (...) {
        releaseMemory(page);
        throw;
    }
}

bool NodeListInst::appendNode(NodeInst* node)
{
    if (node == nullptr)
        return false;
    NodeInst** place;
    if (m_count < m_firstPageSize) {
        // Room left in the first page: most lists never have another.
        place = &m_pages.at(0)[m_count];
    } else {
        const unsigned long perPage = ItemsPerPage();
        const unsigned long capacity = m_count < perPage ? m_firstPageSize : m_pages.getLength() * perPage;
        if (m_count == capacity)
            addPage();
        place = &slot(m_count);
    }
    *place = node;
    ++m_count;
    ++node->m_refCount;  // a node's addRef is Instance's
    NoteBodyLink(this, node, +1);
    return true;
}

bool NodeListInst::insertNode(NodeInst* node, NodeInst* before)
{
    if (node == nullptr || before == nullptr)
        return false;
    const long at = indexOf(before);
    if (at < 0)
        return false;
    const unsigned long perPage = ItemsPerPage();
    const unsigned long capacity = m_count < perPage ? m_firstPageSize : m_pages.getLength() * perPage;
    if (m_count == capacity)
        addPage();
    // Every item from `at` on moves one place towards the end; the last item
    // of each page moves into the first slot of the next.
    for (unsigned long i = m_count; i > static_cast<unsigned long>(at); --i)
        slot(i) = slot(i - 1);
    slot(static_cast<unsigned long>(at)) = node;
    ++m_count;
    node->addRef();
    NoteBodyLink(this, node, +1);
    return true;
}

bool NodeListInst::removeNode(NodeInst* node)
{
    if (node == nullptr)
        return false;
    const long at = indexOf(node);
    if (at < 0)
        return false;
    for (unsigned long i = static_cast<unsigned long>(at) + 1; i < m_count; ++i)
        slot(i - 1) = slot(i);
    --m_count;
    releaseSparePages();
    NoteBodyLink(this, node, -1);
    node->removeRef();
    return true;
}

// Pages past the one the last item lies in are freed once the list has
// shrunk half a page below its last full page, so that a list that grows and
// shrinks around a page boundary does not allocate the same page again and
// again.
void NodeListInst::releaseSparePages()
{
    const unsigned long perPage = ItemsPerPage();
    const unsigned long pages = m_pages.getLength();
    if (pages <= 1 || m_count >= (pages - 1) * perPage - perPage / 2)
        return;
    const unsigned long keep = m_count / perPage + 1;
    for (unsigned long p = pages; p > keep; --p) {
        releaseMemory(m_pages[p - 1]);
        NoteAuxiliaryBlock(this, kUnknownBytes);  // the directory may shrink
        m_pages.remove(p - 1);
    }
}

bool NodeListInst::replaceNode(NodeInst* node, NodeInst* old)
{
    if (node == nullptr || old == nullptr)
        return false;
    const long at = indexOf(old);
    if (at < 0)
        return false;
    node->addRef();
    NoteBodyLink(this, node, +1);
    slot(static_cast<unsigned long>(at)) = node;
    NoteBodyLink(this, old, -1);
    old->removeRef();
    return true;
}

NodeListInst* NodeListInst::clone(bool deep) const
{
    NodeListInst* copy = new (std::nothrow) NodeListInst;
    if (copy == nullptr)
        throw VelumException(VelumException::OUT_OF_MEMORY_ERR);
    try {
        for (unsigned long i = 0; i < m_count; ++i) {
            NodeInst* item = slot(i);
            copy->appendNode(deep ? item->cloneNodeInst(true) : item);
        }
    } catch (...) {
        delete copy;
        throw;
    }
    return copy;
}

// ---------------------------------------------------------------------------
// NamedNodeMapInst
// ---------------------------------------------------------------------------

// The order vector grows four entries at a time rather than half a table:
// most elements have one or two attributes.
NamedNodeMapInst::NamedNodeMapInst() : m_buckets(nullptr), m_order(4) {}

NamedNodeMapInst::~NamedNodeMapInst()
{
    for (unsigned long i = 0; i < m_order.getLength(); ++i) {
        LISTITEM* entry = m_order[i];
        NoteBodyLink(this, entry->node, -1);
        entry->node->removeRef();
        delete entry;
    }
    releaseMemory(m_buckets);
}

void NamedNodeMapInst::releaseItems(NodeInst*& dying)
{
    const unsigned long count = m_order.getLength();
    for (unsigned long i = 0; i < count; ++i) {
        LISTITEM* entry = m_order.at(i);
        NodeInst* node = entry->node;
        AttrInst::leaveMap(node, this);
        NoteBodyLink(this, node, -1);
        if (--node->m_refCount == 0) {
            node->m_parent = dying;
            dying = node;
        }
        delete entry;
    }
    m_order.removeAll();
    releaseMemory(m_buckets);
    m_buckets = nullptr;
}

unsigned long NamedNodeMapInst::hash(const Velum_CHAR* name)
{
    unsigned int h = 0;  // 32-bit arithmetic on every platform
    for (; *name != 0; ++name)
        h = h * 37u + *name;
    return h % static_cast<unsigned int>(TableSize());
}

LISTITEM* NamedNodeMapInst::find(const Velum_CHAR* name) const
{
    if (name == nullptr)
        return nullptr;
    if (m_buckets == nullptr) {
        for (unsigned long i = 0; i < m_order.getLength(); ++i) {
            if (SameName(m_order[i]->node->m_name, name))
                return m_order[i];
        }
        return nullptr;
    }
    for (LISTITEM* entry = m_buckets[hash(name)]; entry != nullptr; entry = entry->next) {
        if (SameName(entry->node->m_name, name))
            return entry;
    }
    return nullptr;
}

NodeInst* NamedNodeMapInst::item(unsigned long i) const
{
    LISTITEM* entry = m_order[i];
    return entry != nullptr ? entry->node : nullptr;
}

NodeInst* NamedNodeMapInst::getNamedItem(const Velum_CHAR* name) const
{
    LISTITEM* entry = find(name);
    return entry != nullptr ? entry->node : nullptr;
}

bool NamedNodeMapInst::appendNamedItem(NodeInst* node)
{
    if (node == nullptr || find(node->m_name) != nullptr)
        return false;
    LISTITEM* entry = new (std::nothrow) LISTITEM{node, nullptr, nullptr};
    if (entry == nullptr)
        throw VelumException(VelumException::OUT_OF_MEMORY_ERR);
    const bool makeBuckets = m_buckets == nullptr && m_order.getLength() + 1 > kMapScanLimit;
    if (makeBuckets)
        NoteAuxiliaryBlock(this, TableSize() * sizeof(LISTITEM*));
    if (m_order.getLength() == m_order.getCapacity())
        NoteAuxiliaryBlock(this, m_order.bytes() + 4 * sizeof(LISTITEM*));
    LISTITEM** buckets = m_buckets;
    try {
        if (makeBuckets) {
            buckets = static_cast<LISTITEM**>(allocateOrThrow(TableSize() * sizeof(LISTITEM*)));
            for (unsigned long b = 0; b < TableSize(); ++b)
                buckets[b] = nullptr;
        }
        m_order.append(entry);
    } catch (...) {
        if (makeBuckets)
            releaseMemory(buckets);
        delete entry;
        throw;
    }
    if (makeBuckets) {
        // Chain the earlier entries, newest at the head as if they had been
        // chained one by one.
        m_buckets = buckets;
        for (unsigned long i = 0; i + 1 < m_order.getLength(); ++i) {
            LISTITEM* earlier = m_order[i];
            LISTITEM*& head = m_buckets[hash(earlier->node->m_name)];
            earlier->next = head;
            earlier->prev = nullptr;
            if (head != nullptr)
                head->prev = earlier;
            head = earlier;
        }
    }
    if (m_buckets != nullptr) {
        LISTITEM*& head = m_buckets[hash(node->m_name)];
        entry->next = head;
        if (head != nullptr)
            head->prev = entry;
        head = entry;
    }
    node->addRef();
    NoteBodyLink(this, node, +1);
    return true;
}

bool NamedNodeMapInst::replaceNamedItem(NodeInst* node, NodeInst* old)
{
    if (node == nullptr || old == nullptr)
        return false;
    LISTITEM* entry = find(old->m_name);
    if (entry == nullptr || entry->node != old)
        return false;
    node->addRef();
    NoteBodyLink(this, node, +1);
    entry->node = node;
    NoteBodyLink(this, old, -1);
    old->removeRef();
    return true;
}

bool NamedNodeMapInst::removeNamedItem(NodeInst* node)
{
    for (unsigned long i = 0; i < m_order.getLength(); ++i) {
        LISTITEM* entry = m_order[i];
        if (entry->node != node)
            continue;
        if (m_buckets != nullptr) {
            if (entry->next != nullptr)
                entry->next->prev = entry->prev;
            if (entry->prev != nullptr)
                entry->prev->next = entry->next;
            else
                m_buckets[hash(node->m_name)] = entry->next;
        }
        NoteAuxiliaryBlock(this, kUnknownBytes);  // the order may shrink
        m_order.remove(i);
        delete entry;
        NoteBodyLink(this, node, -1);
        node->removeRef();
        return true;
    }
    return false;
}

NamedNodeMapInst* NamedNodeMapInst::clone() const
{
    NamedNodeMapInst* copy = new (std::nothrow) NamedNodeMapInst;
    if (copy == nullptr)
        throw VelumException(VelumException::OUT_OF_MEMORY_ERR);
    try {
        for (unsigned long i = 0; i < m_order.getLength(); ++i) {
            NodeInst* item = m_order[i]->node->cloneNodeInst(false);
            if (!copy->appendNamedItem(item))
                ReleaseBody(item);  // a count-0 body nobody took
        }
    } catch (...) {
        delete copy;
        throw;
    }
    return copy;
}

// ---------------------------------------------------------------------------
// NodeList and NamedNodeMap
// ---------------------------------------------------------------------------

unsigned long NodeList::getLength() const
{
    return static_cast<NodeListInst*>(checked())->getLength();
}

Node NodeList::item(unsigned long i) const
{
    return Node(static_cast<NodeListInst*>(checked())->item(i));
}

NamedNodeMapInst* NamedNodeMap::map(bool make) const
{
    Instance* inst = checked();
    // The kind of body is told by its type rather than by a virtual call:
    // the bodies' virtual tables keep their order.
    if (typeid(*inst) == typeid(NamedNodeMapInst))
        return static_cast<NamedNodeMapInst*>(inst);
    ElementInst* element = static_cast<ElementInst*>(inst);
    return make ? element->getAttributes() : element->m_attributes;
}

NamedNodeMap::NamedNodeMap(ElementInst* element) : Interface(element) {}

unsigned long NamedNodeMap::getLength() const
{
    const NamedNodeMapInst* items = map();
    return items != nullptr ? items->getLength() : 0;
}

Node NamedNodeMap::item(unsigned long i) const
{
    const NamedNodeMapInst* items = map();
    return items != nullptr ? Node(items->item(i)) : Node();
}

Node NamedNodeMap::getNamedItem(const Velum_CHAR* name) const
{
    const NamedNodeMapInst* items = map();
    return items != nullptr ? Node(items->getNamedItem(name)) : Node();
}

Node NamedNodeMap::setNamedItem(const Node& node)
{
    NodeInst* inst = node.getNodeInst();
    if (inst == nullptr) {
        map();  // an empty handle still raises
        return Node();
    }
    NamedNodeMapInst* items = map(true);
    if (inst->m_type == ATTRIBUTE_NODE && static_cast<AttrInst*>(inst)->m_ownerElement != nullptr)
        throw VelumException(VelumException::INUSE_ATTRIBUTE_ERR);
    // old holds its node before the map lets go of it; a replaced
    // attribute that this map's element placed loses that owner.
    Node old(items->getNamedItem(inst->m_name));
    if (old) {
        items->replaceNamedItem(inst, old.getNodeInst());
        if (old.getNodeInst() != inst)
            AttrInst::leaveMap(old.getNodeInst(), items);
        return old;
    }
    items->appendNamedItem(inst);
    return Node();
}

Node NamedNodeMap::removeNamedItem(const Velum_CHAR* name)
{
    NamedNodeMapInst* items = map();
    Node old(items != nullptr ? items->getNamedItem(name) : nullptr);
    if (!old)
        throw VelumException(VelumException::NOT_FOUND_ERR);
    items->removeNamedItem(old.getNodeInst());
    AttrInst::leaveMap(old.getNodeInst(), items);
    return old;
}

}  // namespace Velum
