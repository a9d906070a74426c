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

class VELUM_API Parser {
public:
    Parser();
    ~Parser();
    Document parse(void* file);

private:
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;

    ParserImpl* m_impl;
};

}  // namespace Velum
