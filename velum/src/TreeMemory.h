// Who holds what, across the trees a parse cuts from its arena (Pool.h):
// a tree can go in one sweep only while nothing outside it holds anything
// in it (its pins) and nothing in it holds anything outside (its foreign
// references). Handles count pins as they take and drop a body or a string
// body; the links between bodies (child lists, attribute maps, child lists
// and maps of a node, a node's strings) count both as they are made and
// undone. A body's strings therefore change only through StringMember.
#pragma once

#include "Pool.h"
#include "velum/Collections.h"

namespace Velum {

// The tree a body was cut into, or null. Every body lies in a chunk: the
// library's bodies are small enough for the pool and never on the stack.
inline PoolTree* TreeOfBody(const Instance* body)
{
    return PoolTreeOf(body);
}

inline PoolTree* TreeOfString(const VelumStringInst* text)
{
    return text != nullptr && text->inTree() ? PoolTreeOf(text) : nullptr;
}

// A holder in holderTree (null: a handle, or a body of no tree) took (+1)
// or dropped (-1) a reference to something in targetTree.
inline void NoteLink(PoolTree* holderTree, PoolTree* targetTree, long change)
{
    if (holderTree == targetTree)
        return;
    if (targetTree != nullptr)
        targetTree->pins += change;
    if (holderTree != nullptr)
        holderTree->foreign += change;
}

inline void NoteBodyLink(const Instance* holder, const Instance* target, long change)
{
    NoteLink(TreeOfBody(holder), TreeOfBody(target), change);
}

// A list or map of a tree (container) is about to take (or may take, when
// bytes is kUnknownBytes) a block of its own: its pages, directory, order
// or buckets. Unless the tree's open arena cuts that block, the tree can no
// longer go in one sweep, which would leave the block behind; it then goes
// body by body, whose destructors free such blocks.
const std::size_t kUnknownBytes = static_cast<std::size_t>(-1);

inline void NoteAuxiliaryBlock(const Instance* container, std::size_t bytes)
{
    PoolTree* tree = TreeOfBody(container);
    if (tree != nullptr && !(tree->open && PoolArenaTakes(bytes)))
        tree->tainted = true;
}

// The block of `bytes` bytes that container (a list or map of some tree)
// holds moved from before to after (either may be null). A large block of
// the system allocator is recorded with the tree, for its sweep to free; a
// block neither cut by the open arena nor large keeps the tree from going
// in one sweep.
inline void NoteMovedBlock(const Instance* container, void* before, void* after, std::size_t bytes)
{
    PoolTree* tree = TreeOfBody(container);
    if (tree == nullptr)
        return;
    if (before != nullptr && tree->keptCount != 0)
        PoolTreeForget(tree, before);
    if (after == nullptr || (tree->open && PoolArenaTakes(bytes)))
        return;
    if (bytes <= kLargestPooled || !PoolTreeKeep(tree, after))
        tree->tainted = true;
}

// A body's own strings (a node's name and value, a document's version).
// Inline: every node a parse makes sets its name, and most their value.
class StringMember {
public:
    // member = value, member belonging to holder.
    static void assign(const Instance* holder, VelumString& member, const VelumString& value)
    {
        VelumStringInst* inst = value.m_inst;
        if (inst == member.m_inst)
            return;
        // A permanent string is never freed, so no tree need release it;
        // the holder's tree is looked up only for a string that counts.
        if (inst != nullptr && inst->m_refCount != VelumStringInst::kPermanent) {
            ++inst->m_refCount;
            NoteLink(TreeOfBody(holder), TreeOfString(inst), +1);
        }
        VelumStringInst* old = member.m_inst;
        member.m_inst = inst;
        if (old != nullptr)
            drop(holder, old);
    }

    // Lets go of member's body (before the body itself goes).
    static void release(const Instance* holder, VelumString& member)
    {
        VelumStringInst* old = member.m_inst;
        if (old == nullptr)
            return;
        member.m_inst = nullptr;
        drop(holder, old);
    }

private:
    static void drop(const Instance* holder, VelumStringInst* old)
    {
        if (old->m_refCount != VelumStringInst::kPermanent)
            NoteLink(TreeOfBody(holder), TreeOfString(old), -1);
        old->removeRef();
    }
};

}  // namespace Velum
