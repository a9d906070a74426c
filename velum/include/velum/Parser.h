// Reading documents: UTF-8 or UTF-16 with an XML declaration.
#pragma once

#include "velum/Nodes.h"

namespace Velum {

// The document in the open file (read from its start; a disk file's
// position is restored), or an empty Document with the reason in
// m_errorMessage. VelumException raised while the tree is built (out of
// memory, a refused child) reaches the caller.
VELUM_API Document parse(void* file);

class ParserImpl;

// One reader per call of the free parse; a Parser may also be kept and
// used for several files, one after the other.
class VELUM_API Parser {
public:
    Parser();
    ~Parser();
    // As the free parse.
    Document parse(void* file);

private:
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;

    // The state of the parse under way (file, encoding, position, buffers,
    // the document being built); null between calls. Lives on the stack of
    // parse, so nothing is left behind when a call ends by an exception.
    ParserImpl* m_impl;
};

}  // namespace Velum
