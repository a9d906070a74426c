// Writing documents, the document factory, and the file functions through
// which callers get the handles that parse and serialize take.
#pragma once

#include "velum/Nodes.h"

namespace Velum {

// Output encodings (the parser reports 1 to 3 for what it read).
enum Encoding : unsigned short {
    ENCODING_UTF8 = 1,
    ENCODING_UTF16BE = 2,           // with byte-order mark FE FF
    ENCODING_UTF16LE = 3,           // with byte-order mark FF FE
    ENCODING_UTF16BE_NO_BOM = 4,
    ENCODING_UTF16LE_NO_BOM = 5,
};

class VELUM_API Serializer {
public:
    Serializer();
    Serializer(const Serializer& other);
    Serializer& operator=(const Serializer& other);
    virtual ~Serializer();

    // Writes document to file from offset 0 (a disk file is cut there
    // first). False for a null file, an empty or invalid document, an
    // unknown encoding or a failed write; what was written stays.
    bool serialize(const Document& document, unsigned short encoding, void* file);
    bool serialize();
    bool serializeElement(const Element& element, bool htmlMode);
    // "&" "<" ">" and the quotation mark as references; the apostrophe too
    // unless htmlMode.
    VelumString char2entityReference(const VelumString& text, bool htmlMode);
    bool writeChars(const VelumString& text);
    bool writeChars(const Velum_CHAR* text);
    bool writeChars(const Velum_CHAR* text, unsigned long count);
    bool write(unsigned char* bytes, unsigned long count);

private:
    bool flush();
    // Room for `bytes` more bytes in the buffer (allocated on first use),
    // flushing first when needed. False once writing has failed.
    bool reserve(unsigned long bytes);
    // The public writers end here: outside a serialize call what they wrote
    // goes to the file at once, so nothing lingers in the buffer.
    bool finishCall();
    bool encode(const Velum_CHAR* text, unsigned long count);
    bool writeAscii(const char* text);
    bool writeEscaped(const Velum_CHAR* text, unsigned long count, bool htmlMode);
    // text with a space before every character `last` that follows
    // `prefix`, so that the text cannot end the construct it sits in.
    bool writeBroken(const VelumString& text, const char* prefix, Velum_CHAR last);
    bool writeDocument();
    bool writeElementTree(const NodeInst* element, bool htmlMode);
    // The start tag; true in `open` when children follow, else the element
    // is complete.
    bool writeStartTag(const NodeInst* element, bool htmlMode, bool& open);
    bool writeComment(const NodeInst* comment);

    Document m_document;
    void* m_file;
    unsigned short m_encoding;
    unsigned char* m_buffer;      // pending output; written by flush; ours
    unsigned long m_buffered;
    bool m_failed;                // a write, the encoding or memory failed
    bool m_running;               // inside serialize: flush at its end only
};

VELUM_API bool serialize(const Document& document, unsigned short encoding, void* file);

// A new valid document with its document element (and document type when
// doctypeName is not empty). NOT_INITIALIZED_ERR before initialize;
// INVALID_CHARACTER_ERR for a bad element name.
VELUM_API Document createDocument(const Velum_CHAR* version, const Velum_CHAR* documentElementName,
                                  const Velum_CHAR* doctypeName);

// While one of these lives, the bodies and strings its thread makes are cut
// from memory of their own, as a parse cuts its tree: a document built in
// the meantime then goes in one sweep, without visiting a node, when its
// last handle goes and nothing else holds a part of it. End the scope
// before the document goes (a document released inside it is freed node by
// node, as any other). Without memory for its bookkeeping it does nothing.
class VELUM_API TreeMemoryScope {
public:
    TreeMemoryScope();
    ~TreeMemoryScope();
    TreeMemoryScope(const TreeMemoryScope&) = delete;
    TreeMemoryScope& operator=(const TreeMemoryScope&) = delete;

private:
    void* m_arena;
};

// flags: bits 0-3 the creation mode (1 new, 2 always create, 3 existing),
// 0x10 read access, 0x20 write access. Null on any failure.
VELUM_API void* openFile(const char* path, int flags);
VELUM_API void* openFile(const Velum_CHAR* path, int flags);
// flags: 8 unlocks; otherwise 2 exclusive, else 1 shared (neither: nothing
// to do, true); 4 fails at once instead of waiting. Covers the whole file.
VELUM_API bool lockFile(void* file, int flags);
// Releases the lock and closes the handle.
VELUM_API bool closeFile(void* file);

}  // namespace Velum
