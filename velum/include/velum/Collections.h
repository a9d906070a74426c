// Counted bodies and their handles, and the two containers of the node tree:
// the paged child list and the hashed, insertion-ordered attribute map.
#pragma once

#include "velum/VelumString.h"

#include <cstddef>
#include <new>

namespace Velum {

class NodeInst;
class ElementInst;
class Node;

// The counted base of every body. A new body has count 0; the first handle,
// list or map that stores it takes it.
class VELUM_API Instance {
public:
    Instance() : m_refCount(0) {}
    virtual ~Instance();
    virtual void addRef();
    // Destroys the body when the count drops to 0.
    virtual void removeRef();

    unsigned int m_refCount;  // 32 bits on every platform

    // Bodies come from the library's small-block pool; the nothrow forms
    // return null when memory runs out, the others raise OUT_OF_MEMORY_ERR.
    static void* operator new(std::size_t bytes);
    static void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept;
    static void operator delete(void* block, std::size_t bytes) noexcept;
    static void operator delete(void* block, const std::nothrow_t&) noexcept;

private:
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;
};

// The root handle: one counted reference to a body, or none (empty).
class VELUM_API Interface {
public:
    Interface() : m_inst(nullptr) {}
    explicit Interface(Instance* inst);
    Interface(const Interface& other);
    virtual ~Interface();
    // Takes the new reference before releasing the old one, so assigning a
    // handle to itself is harmless.
    virtual Interface& operator=(const Interface& other);
    // Identity of the bodies, not their content.
    virtual bool operator==(const Interface& other) const;
    virtual bool operator!=(const Interface& other) const;
    // True when the handle holds a body.
    virtual explicit operator bool() const;

    Instance* getInstance() const { return m_inst; }

protected:
    void reset(Instance* inst);
    // Raises EMPTY_HANDLE_ERR when empty.
    Instance* checked() const;

    Instance* m_inst;
};

// Raw storage for the library's containers: raises OUT_OF_MEMORY_ERR
// instead of returning null.
VELUM_API void* allocateOrThrow(unsigned long bytes);
VELUM_API void releaseMemory(void* memory);
// releaseMemory for a block of allocateOrThrow(bytes), bytes as asked: the
// size tells the pool where the block lies without a lookup.
VELUM_API void releaseMemorySized(void* memory, unsigned long bytes);

// A small growable array: grows by `unit` elements at a time and shrinks
// when half a unit is free beyond the last full step. The first step is
// allocated by the first append.
template <typename T>
class vector {
public:
    explicit vector(unsigned long unit = 16)
        : m_items(nullptr), m_count(0), m_unit(unit ? static_cast<unsigned int>(unit) : 1), m_steps(0)
    {
    }
    vector(const vector& other) : vector(other.m_unit) { *this = other; }
    ~vector() { removeAll(); }
    // A copy of the items, keeping this vector's growth unit.
    vector& operator=(const vector& other)
    {
        if (this == &other)
            return *this;
        const unsigned long steps = other.m_count / m_unit + 1;
        T* items = static_cast<T*>(allocateOrThrow(steps * m_unit * sizeof(T)));
        for (unsigned long i = 0; i < other.m_count; ++i)
            items[i] = other.m_items[i];
        releaseMemorySized(m_items, bytes());
        m_items = items;
        m_steps = static_cast<unsigned int>(steps);
        m_count = other.m_count;
        return *this;
    }

    // Always true; raises OUT_OF_MEMORY_ERR (and changes nothing) when the
    // array cannot grow.
    bool append(T item)
    {
        if (m_count == m_steps * m_unit)
            reallocate(m_steps + 1);
        m_items[m_count++] = item;
        return true;
    }
    // False for an index past the count; closes the gap.
    bool remove(unsigned long index)
    {
        if (index >= m_count)
            return false;
        for (unsigned long i = index + 1; i < m_count; ++i)
            m_items[i - 1] = m_items[i];
        --m_count;
        if (m_steps > 1 && m_count <= (m_steps - 1) * m_unit - m_unit / 2) {
            try {
                reallocate(m_count / m_unit + 1);
            } catch (const VelumException&) {
                // Keeping the larger array is harmless.
            }
        }
        return true;
    }
    void removeAll()
    {
        releaseMemorySized(m_items, bytes());
        m_items = nullptr;
        m_count = 0;
        m_steps = 0;
    }
    // The element, or a value-initialized T past the count.
    T operator[](unsigned long index) const { return index < m_count ? m_items[index] : T(); }
    T& at(unsigned long index) { return m_items[index]; }
    unsigned long getLength() const { return m_count; }
    unsigned long getSteps() const { return m_steps; }
    unsigned long getCapacity() const { return m_steps * m_unit; }
    // The size the items' block was asked for (0 before the first step).
    unsigned long bytes() const { return static_cast<unsigned long>(m_steps) * m_unit * sizeof(T); }
    // Room for at least count elements, in whole steps.
    void reserve(unsigned long count)
    {
        if (count > m_steps * m_unit)
            reallocate((count + m_unit - 1) / m_unit);
    }

private:
    void reallocate(unsigned long steps)
    {
        T* items = static_cast<T*>(allocateOrThrow(steps * m_unit * sizeof(T)));
        for (unsigned long i = 0; i < m_count; ++i)
            items[i] = m_items[i];
        releaseMemorySized(m_items, bytes());
        m_items = items;
        m_steps = static_cast<unsigned int>(steps);
    }

    // 32-bit counts: a child list carries one of these per parent node.
    T* m_items;
    unsigned int m_count;
    unsigned int m_unit;
    unsigned int m_steps;
};

// An ordered sequence of node bodies, one counted reference each, kept in
// pages of Initializer::ITEMS_PAR_UNIT pointers: item i lies in page
// i / ITEMS_PAR_UNIT. Pages are allocated when an item needs them.
class VELUM_API NodeListInst : public Instance {
public:
    NodeListInst();
    ~NodeListInst() override;

    unsigned long getLength() const { return m_count; }
    // The i-th node, or null past the end. The first page, which holds
    // every item of most lists, is read here: walks ask this of every child,
    // and a call into the library with a division for the page would cost
    // more than the read.
    NodeInst* item(unsigned long i) const
    {
        if (i < m_firstPageSize)
            return i < m_count ? m_pages[0][i] : nullptr;
        return itemInLaterPages(i);
    }
    // Position of the first occurrence, or -1.
    long indexOf(const NodeInst* node) const;
    // False (and no change) for a null node.
    bool appendNode(NodeInst* node);
    // False when either is null or before is not in the list.
    bool insertNode(NodeInst* node, NodeInst* before);
    // Removes the first occurrence; false when null or absent.
    bool removeNode(NodeInst* node);
    // The first slot holding old receives node; false when either is null
    // or old is absent.
    bool replaceNode(NodeInst* node, NodeInst* old);
    // The same items (deep: their deep clones) in a new list.
    NodeListInst* clone(bool deep) const;
    // Pages allocated at the moment (for tests of the release rule).
    unsigned long getPageCount() const { return m_pages.getLength(); }
    // Empties the list of the node that dies holding its only reference:
    // every item loses its parent, and each whose count drops to 0 joins
    // dying (chained through m_parent) instead of being freed here.
    void releaseItems(NodeInst*& dying);

private:
    NodeInst* itemInLaterPages(unsigned long i) const;
    NodeInst*& slot(unsigned long i) const;
    void addPage();
    void releasePages();
    void releaseSparePages();

    unsigned int m_count;
    unsigned int m_firstPageSize;   // the first page grows to a full page
    vector<NodeInst**> m_pages;     // the page directory
};

// One entry of an attribute map: the node (counted) and its chain links.
struct LISTITEM {
    NodeInst* node;
    LISTITEM* next;
    LISTITEM* prev;

    // From the small-block pool, as the bodies (library-internal).
    static void* operator new(std::size_t bytes);
    static void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept;
    static void operator delete(void* block, std::size_t bytes) noexcept;
    static void operator delete(void* block, const std::nothrow_t&) noexcept;
};

// Nodes by name (case-sensitive), in insertion order. Buckets are allocated
// when the first item arrives.
class VELUM_API NamedNodeMapInst : public Instance {
public:
    NamedNodeMapInst();
    ~NamedNodeMapInst() override;

    unsigned long getLength() const { return m_order.getLength(); }
    // The i-th item in insertion order, or null.
    NodeInst* item(unsigned long i) const;
    // Null when name is null or absent.
    NodeInst* getNamedItem(const Velum_CHAR* name) const;
    // False when node is null or an item of its name exists.
    bool appendNamedItem(NodeInst* node);
    // old's entry now holds node, keeping its place; false when either is
    // null or the entry under old's name does not hold old.
    bool replaceNamedItem(NodeInst* node, NodeInst* old);
    // False when absent.
    bool removeNamedItem(NodeInst* node);
    // A new map holding a shallow clone of every item, in order.
    NamedNodeMapInst* clone() const;
    // Empties the map of the element that dies holding its only reference:
    // each item leaves the map as removeNamedItem would have it, and each
    // whose count drops to 0 joins dying (chained through m_parent).
    void releaseItems(NodeInst*& dying);

    static unsigned long hash(const Velum_CHAR* name);

private:
    LISTITEM* find(const Velum_CHAR* name) const;

    LISTITEM** m_buckets;         // TABLE_SIZE chain heads, or null while empty
    vector<LISTITEM*> m_order;
};

// Handle over a node list; live when it is a node's own child list.
class VELUM_API NodeList : public Interface {
public:
    NodeList() = default;
    explicit NodeList(NodeListInst* inst) : Interface(inst) {}
    // Raise EMPTY_HANDLE_ERR on an empty handle.
    unsigned long getLength() const;
    // Empty past the end.
    Node item(unsigned long i) const;
};

// Handle over an element's attribute map.
class VELUM_API NamedNodeMap : public Interface {
public:
    NamedNodeMap() = default;
    explicit NamedNodeMap(NamedNodeMapInst* inst) : Interface(inst) {}
    // The map of an element that has no attribute yet: the handle holds
    // the element, and the map is made only when something is put in it,
    // so that reading the attributes of the many elements without any
    // allocates nothing. It stays live like any other.
    explicit NamedNodeMap(ElementInst* element);
    // All raise EMPTY_HANDLE_ERR on an empty handle.
    unsigned long getLength() const;
    // The i-th item in insertion order; empty past the end.
    Node item(unsigned long i) const;
    // Empty when absent or name is null.
    Node getNamedItem(const Velum_CHAR* name) const;
    // Replaces an item of the same name in place and returns it, or adds
    // node at the end and returns an empty Node. INUSE_ATTRIBUTE_ERR for an
    // attribute that already has an owner. The owner is not changed.
    Node setNamedItem(const Node& node);
    // The removed node; NOT_FOUND_ERR when absent.
    Node removeNamedItem(const Velum_CHAR* name);

private:
    // The map; null for an element that has none yet, unless make.
    NamedNodeMapInst* map(bool make = false) const;
};

}  // namespace Velum
