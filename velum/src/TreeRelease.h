// Freeing bodies without recursion: destroying a node releases its children,
// whose destruction would release theirs, one stack frame per level. Bodies
// whose count drops to 0 while another is being destroyed wait in a queue
// that the outermost release empties, so the stack stays flat however deep
// the tree. Each thread has its own queue: trees on two threads are freed
// apart.
#pragma once

namespace Velum {

class NodeInst;

// Destroys body (count already 0), now or, when a release is under way,
// when that release finishes. Child lists and attribute maps are deleted
// at once by their own removeRef: they only release nodes, never deeper.
void ReleaseBody(NodeInst* body);

}  // namespace Velum
