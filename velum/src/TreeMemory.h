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

// A body's own strings (a node's name and value, a document's version).
class StringMember {
public:
    // member = value, member belonging to holder.
    static void assign(const Instance* holder, VelumString& member, const VelumString& value);
    // Lets go of member's body (before the body itself goes).
    static void release(const Instance* holder, VelumString& member);
};

}  // namespace Velum
