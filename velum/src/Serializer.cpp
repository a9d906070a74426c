// Writing documents as UTF-8 or UTF-16, and the document factory.
#include "velum/Velum.h"
#include "Pool.h"

#include <cstring>
#include <new>
#include <vector>

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <cerrno>
#  include <cstdint>
#  include <sys/stat.h>
#  include <unistd.h>
#endif

namespace Velum {

namespace {

// Output is collected and written in blocks of this size.
const unsigned long BUFFER_SIZE = 64 * 1024;


// ---------------------------------------------------------------------------
// The operating system's side
// ---------------------------------------------------------------------------

#if defined(_WIN32)

// Moves a disk file to offset 0 and cuts it there; other handles (pipes,
// consoles) are written from where they stand. False when the cut fails:
// writing over a longer old file would leave its tail behind the new text.
// A handle that may not write is refused before the cut, with the file as
// it was: Wine cuts through a read-only handle opened with CREATE_ALWAYS,
// and the writes that follow would then fail on an emptied file.
bool CutToStart(void* file)
{
    if (GetFileType(file) != FILE_TYPE_DISK)
        return true;
    DWORD written = 0;
    const unsigned char none = 0;
    if (!WriteFile(file, &none, 0, &written, nullptr))
        return false;
    if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
        return false;
    return SetEndOfFile(file) != FALSE;
}

// False unless every byte was written.
bool WriteAll(void* file, const unsigned char* bytes, unsigned long count)
{
    while (count > 0) {
        const DWORD chunk = count > 0x40000000UL ? 0x40000000UL : static_cast<DWORD>(count);
        DWORD written = 0;
        if (!WriteFile(file, bytes, chunk, &written, nullptr) || written == 0)
            return false;
        bytes += written;
        count -= written;
    }
    return true;
}

#else

// The handle is the descriptor plus one (see the file functions).
int ToDescriptor(void* file)
{
    return static_cast<int>(reinterpret_cast<intptr_t>(file) - 1);
}

bool CutToStart(void* file)
{
    const int fd = ToDescriptor(file);
    struct stat info;
    if (fstat(fd, &info) != 0)
        return false;
    if (!S_ISREG(info.st_mode))
        return true;
    return lseek(fd, 0, SEEK_SET) == 0 && ftruncate(fd, 0) == 0;
}

bool WriteAll(void* file, const unsigned char* bytes, unsigned long count)
{
    const int fd = ToDescriptor(file);
    while (count > 0) {
        const ssize_t written = ::write(fd, bytes, count);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        count -= static_cast<unsigned long>(written);
    }
    return true;
}

#endif

// ---------------------------------------------------------------------------
// Text helpers
// ---------------------------------------------------------------------------

// The reference for a character that must be escaped, or null.
const char* EntityFor(Velum_CHAR c, bool htmlMode)
{
    switch (c) {
    case '&': return "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '"': return "&quot;";
    case '\'': return htmlMode ? nullptr : "&apos;";
    default: return nullptr;
    }
}

bool StartsWith(const VelumString& text, const char* prefix)
{
    const Velum_CHAR* p = text;
    for (; *prefix != 0; ++p, ++prefix) {
        if (*p != static_cast<unsigned char>(*prefix))
            return false;
    }
    return true;
}

bool IsHtmlEmptyElement(const VelumString& name)
{
    static const char* const names[] = {"area", "base", "br",  "col",  "frame",
                                        "hr",   "img",  "input", "link", "meta"};
    for (const char* candidate : names) {
        if (name == candidate)
            return true;
    }
    return false;
}

}  // namespace

// ---------------------------------------------------------------------------
// Life cycle
// ---------------------------------------------------------------------------

Serializer::Serializer()
    : m_file(nullptr), m_encoding(0), m_buffer(nullptr), m_buffered(0), m_failed(false), m_running(false)
{
}

// A copy takes the document and the settings, never pending output: each
// object writes only what it was given itself.
Serializer::Serializer(const Serializer& other)
    : m_document(other.m_document),
      m_file(other.m_file),
      m_encoding(other.m_encoding),
      m_buffer(nullptr),
      m_buffered(0),
      m_failed(false),
      m_running(false)
{
}

Serializer& Serializer::operator=(const Serializer& other)
{
    if (this != &other) {
        m_document = other.m_document;
        m_file = other.m_file;
        m_encoding = other.m_encoding;
        m_buffered = 0;
        m_failed = false;
        m_running = false;
    }
    return *this;
}

Serializer::~Serializer()
{
    delete[] m_buffer;
}

// ---------------------------------------------------------------------------
// Output
// ---------------------------------------------------------------------------

bool Serializer::flush()
{
    // After a failure the pending bytes are dropped: the result is already
    // false and what reached the file stays as it is.
    if (m_buffered > 0 && !m_failed) {
        if (m_file == nullptr || !WriteAll(m_file, m_buffer, m_buffered))
            m_failed = true;
    }
    m_buffered = 0;
    return !m_failed;
}

bool Serializer::reserve(unsigned long bytes)
{
    if (m_failed)
        return false;
    if (m_buffer == nullptr) {
        m_buffer = new (std::nothrow) unsigned char[BUFFER_SIZE];
        if (m_buffer == nullptr) {
            m_failed = true;
            return false;
        }
    }
    if (BUFFER_SIZE - m_buffered < bytes)
        return flush();
    return true;
}

bool Serializer::finishCall()
{
    return m_running ? !m_failed : flush();
}

bool Serializer::write(unsigned char* bytes, unsigned long count)
{
    if (bytes == nullptr && count > 0)
        return false;
    if (count >= BUFFER_SIZE) {
        // Too big to gather: pending output first, then the block itself.
        if (flush() && (m_file == nullptr || !WriteAll(m_file, bytes, count)))
            m_failed = true;
    } else if (reserve(count)) {
        if (count > 0)
            std::memcpy(m_buffer + m_buffered, bytes, count);
        m_buffered += count;
    }
    return finishCall();
}

bool Serializer::encode(const Velum_CHAR* text, unsigned long count)
{
    unsigned short encoding = m_encoding;
    if (encoding == ENCODING_UTF16BE_NO_BOM)
        encoding = ENCODING_UTF16BE;
    else if (encoding == ENCODING_UTF16LE_NO_BOM)
        encoding = ENCODING_UTF16LE;
    if (encoding != ENCODING_UTF8 && encoding != ENCODING_UTF16BE && encoding != ENCODING_UTF16LE) {
        // Nothing is written in an encoding we cannot produce.
        m_failed = true;
        return false;
    }
    const unsigned long widest = encoding == ENCODING_UTF8 ? 3 : 2;
    while (count > 0) {
        if (!reserve(widest))
            return false;
        unsigned long units = (BUFFER_SIZE - m_buffered) / widest;
        if (units > count)
            units = count;
        unsigned char* out = m_buffer + m_buffered;
        const Velum_CHAR* end = text + units;
        if (encoding == ENCODING_UTF8) {
            // Code unit by code unit: each half of a surrogate pair becomes
            // its own three-byte sequence.
            for (; text != end; ++text) {
                const Velum_CHAR c = *text;
                if (c < 0x80) {
                    *out++ = static_cast<unsigned char>(c);
                } else if (c < 0x800) {
                    *out++ = static_cast<unsigned char>(0xC0 | (c >> 6));
                    *out++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
                } else {
                    *out++ = static_cast<unsigned char>(0xE0 | (c >> 12));
                    *out++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
                    *out++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
                }
            }
        } else if (encoding == ENCODING_UTF16BE) {
            for (; text != end; ++text) {
                *out++ = static_cast<unsigned char>(*text >> 8);
                *out++ = static_cast<unsigned char>(*text & 0xFF);
            }
        } else {
            for (; text != end; ++text) {
                *out++ = static_cast<unsigned char>(*text & 0xFF);
                *out++ = static_cast<unsigned char>(*text >> 8);
            }
        }
        m_buffered = static_cast<unsigned long>(out - m_buffer);
        count -= units;
    }
    return !m_failed;
}

bool Serializer::writeChars(const Velum_CHAR* text, unsigned long count)
{
    if (text == nullptr && count > 0)
        return false;
    encode(text, count);
    return finishCall();
}

bool Serializer::writeChars(const Velum_CHAR* text)
{
    unsigned long count = 0;
    if (text != nullptr) {
        while (text[count] != 0)
            ++count;
    }
    return writeChars(text, count);
}

bool Serializer::writeChars(const VelumString& text)
{
    return writeChars(static_cast<const Velum_CHAR*>(text), text.getLength());
}

bool Serializer::writeAscii(const char* text)
{
    Velum_CHAR units[32];
    unsigned long count = 0;
    for (; *text != 0; ++text) {
        units[count++] = static_cast<unsigned char>(*text);
        if (count == sizeof(units) / sizeof(units[0])) {
            if (!encode(units, count))
                return false;
            count = 0;
        }
    }
    return encode(units, count);
}

// ---------------------------------------------------------------------------
// Escaping
// ---------------------------------------------------------------------------

VelumString Serializer::char2entityReference(const VelumString& text, bool htmlMode)
{
    const Velum_CHAR* chars = text;
    const unsigned long length = text.getLength();
    unsigned long i = 0;
    while (i < length && EntityFor(chars[i], htmlMode) == nullptr)
        ++i;
    // The common case shares the caller's body instead of copying it.
    if (i == length)
        return text;

    VelumString escaped(chars, i);
    unsigned long runStart = i;
    for (; i < length; ++i) {
        const char* entity = EntityFor(chars[i], htmlMode);
        if (entity == nullptr)
            continue;
        escaped.append(chars + runStart, i - runStart);
        escaped += entity;
        runStart = i + 1;
    }
    escaped.append(chars + runStart, length - runStart);
    return escaped;
}

bool Serializer::writeEscaped(const Velum_CHAR* text, unsigned long count, bool htmlMode)
{
    unsigned long runStart = 0;
    for (unsigned long i = 0; i < count; ++i) {
        const char* entity = EntityFor(text[i], htmlMode);
        if (entity == nullptr)
            continue;
        if (!encode(text + runStart, i - runStart) || !writeAscii(entity))
            return false;
        runStart = i + 1;
    }
    return encode(text + runStart, count - runStart);
}

bool Serializer::writeBroken(const VelumString& text, const char* prefix, Velum_CHAR last)
{
    const Velum_CHAR* chars = text;
    const unsigned long length = text.getLength();
    const unsigned long prefixLength = static_cast<unsigned long>(std::strlen(prefix));
    static const Velum_CHAR space = ' ';
    unsigned long runStart = 0;
    for (unsigned long i = prefixLength; i < length; ++i) {
        if (chars[i] != last)
            continue;
        bool match = true;
        for (unsigned long k = 0; k < prefixLength && match; ++k)
            match = chars[i - prefixLength + k] == static_cast<unsigned char>(prefix[k]);
        if (!match)
            continue;
        if (!encode(chars + runStart, i - runStart) || !encode(&space, 1))
            return false;
        runStart = i;
    }
    return encode(chars + runStart, length - runStart);
}

// ---------------------------------------------------------------------------
// The tree
// ---------------------------------------------------------------------------

bool Serializer::writeComment(const NodeInst* comment)
{
    // Every "--" gets a space inside, runs of three or more included, so
    // the data cannot close the comment early; a final "-" is kept apart
    // from the closing "--".
    const VelumString& data = comment->m_value;
    const unsigned long length = data.getLength();
    const bool endsWithHyphen = length > 0 && static_cast<const Velum_CHAR*>(data)[length - 1] == '-';
    return writeAscii("<!--") && writeBroken(data, "-", '-') && writeAscii(endsWithHyphen ? " -->" : "-->");
}

bool Serializer::writeStartTag(const NodeInst* element, bool htmlMode, bool& open)
{
    open = false;
    const VelumString& name = element->m_name;
    if (!writeAscii("<") || !encode(name, name.getLength()))
        return false;
    if (element->m_attributes != nullptr) {
        const unsigned long count = element->m_attributes->getLength();
        for (unsigned long i = 0; i < count; ++i) {
            const NodeInst* attr = element->m_attributes->item(i);
            if (attr == nullptr)
                continue;
            const VelumString& value = attr->m_value;
            if (!writeAscii(" ") || !encode(attr->m_name, attr->m_name.getLength()) || !writeAscii("=\"") ||
                !writeEscaped(value, value.getLength(), htmlMode) || !writeAscii("\""))
                return false;
        }
    }
    if (element->childCount() > 0) {
        open = true;
        return writeAscii(">");
    }
    if (!htmlMode)
        return writeAscii("/>");
    if (IsHtmlEmptyElement(name))
        return writeAscii(" />");
    return writeAscii("></") && encode(name, name.getLength()) && writeAscii(">");
}

// Walks the subtree with an explicit stack of open elements, so the depth
// of the document costs heap, not the call stack.
bool Serializer::writeElementTree(const NodeInst* element, bool htmlMode)
{
    struct Open {
        const NodeInst* element;
        unsigned long next;  // the child to write next
    };
    std::vector<Open> stack;

    bool open;
    if (!writeStartTag(element, htmlMode, open))
        return false;
    if (open)
        stack.push_back(Open{element, 0});

    while (!stack.empty()) {
        Open& top = stack.back();
        const NodeInst* parent = top.element;
        if (top.next >= parent->childCount()) {
            const VelumString& name = parent->m_name;
            if (!writeAscii("</") || !encode(name, name.getLength()) || !writeAscii(">"))
                return false;
            stack.pop_back();
            continue;
        }
        const NodeInst* child = parent->m_children->item(top.next++);
        if (child == nullptr)
            continue;
        bool ok = true;
        switch (child->m_type) {
        case ELEMENT_NODE:
            ok = writeStartTag(child, htmlMode, open);
            if (ok && open)
                stack.push_back(Open{child, 0});  // `top` is not used past here
            break;
        case TEXT_NODE:
            ok = writeEscaped(child->m_value, child->m_value.getLength(), htmlMode);
            break;
        case CDATA_SECTION_NODE:
            ok = writeAscii("<![CDATA[") && writeBroken(child->m_value, "]]", '>') && writeAscii("]]>");
            break;
        case COMMENT_NODE:
            ok = writeComment(child);
            break;
        default:
            // Nothing else belongs inside an element.
            break;
        }
        if (!ok)
            return false;
    }
    return true;
}

bool Serializer::writeDocument()
{
    const NodeInst* body = m_document.getNodeInst();
    if (body == nullptr || body->m_type != DOCUMENT_NODE)
        return false;
    const DocumentInst* document = static_cast<const DocumentInst*>(body);
    if (!document->m_valid)
        return false;

    // The version is escaped like an attribute value: a parsed one may hold
    // a quotation mark or "<" (from references), which written raw would
    // end the declaration early or make it unreadable.
    const VelumString& version = document->m_version;
    const bool utf8 = m_encoding == ENCODING_UTF8;
    if (!writeAscii("<?xml version=\"") || !writeEscaped(version, version.getLength(), false) ||
        !writeAscii(utf8 ? "\" encoding=\"UTF-8\"" : "\" encoding=\"UTF-16\""))
        return false;
    if (document->m_standalone == 1 && !writeAscii(" standalone=\"yes\""))
        return false;
    if (document->m_standalone == 0 && !writeAscii(" standalone=\"no\""))
        return false;
    if (!writeAscii("?>\n"))
        return false;

    const bool htmlMode =
        document->m_documentElement != nullptr && StartsWith(document->m_documentElement->m_name, "html");

    const unsigned long count = document->childCount();
    for (unsigned long i = 0; i < count; ++i) {
        const NodeInst* child = document->m_children->item(i);
        if (child == nullptr)
            continue;
        bool ok = true;
        switch (child->m_type) {
        case ELEMENT_NODE:
            ok = writeElementTree(child, htmlMode);
            break;
        case PROCESSING_INSTRUCTION_NODE:
            ok = writeAscii("<?") && encode(child->m_name, child->m_name.getLength()) && writeAscii(" ") &&
                 writeBroken(child->m_value, "?", '>') && writeAscii("?>\n");
            break;
        case COMMENT_NODE:
            ok = writeComment(child);
            break;
        case DOCUMENT_TYPE_NODE:
            ok = writeAscii("<!DOCTYPE ") && encode(child->m_name, child->m_name.getLength()) && writeAscii(">\n");
            break;
        default:
            break;
        }
        if (!ok)
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Entry points
// ---------------------------------------------------------------------------

bool Serializer::serializeElement(const Element& element, bool htmlMode)
{
    const NodeInst* body = element.getNodeInst();
    if (body == nullptr || body->m_type != ELEMENT_NODE)
        return false;
    try {
        writeElementTree(body, htmlMode);
    } catch (const VelumException&) {
        m_failed = true;
    } catch (const std::bad_alloc&) {
        m_failed = true;
    }
    return finishCall();
}

bool Serializer::serialize()
{
    const bool outermost = !m_running;
    m_running = true;
    bool written = false;
    try {
        written = writeDocument();
    } catch (const VelumException&) {
        m_failed = true;
    } catch (const std::bad_alloc&) {
        m_failed = true;
    }
    if (outermost) {
        m_running = false;
        flush();
    }
    return written && !m_failed;
}

bool Serializer::serialize(const Document& document, unsigned short encoding, void* file)
{
    if (file == nullptr)
        return false;
    m_buffered = 0;
    m_failed = false;
    if (!CutToStart(file))
        return false;

    // A Node of another kind bound to `document` is refused by writeDocument
    // below; assigning it to a Document would raise, and serializing raises
    // nothing.
    const NodeInst* body = document.getNodeInst();
    m_document = Document(body != nullptr && body->m_type == DOCUMENT_NODE
                              ? static_cast<DocumentInst*>(const_cast<NodeInst*>(body))
                              : nullptr);
    m_file = file;
    m_running = true;
    m_encoding = encoding;
    if (encoding == ENCODING_UTF16BE) {
        unsigned char mark[] = {0xFE, 0xFF};
        write(mark, 2);
    } else if (encoding == ENCODING_UTF16LE) {
        unsigned char mark[] = {0xFF, 0xFE};
        write(mark, 2);
    } else if (encoding == ENCODING_UTF16BE_NO_BOM) {
        m_encoding = ENCODING_UTF16BE;
    } else if (encoding == ENCODING_UTF16LE_NO_BOM) {
        m_encoding = ENCODING_UTF16LE;
    }
    const bool written = serialize();
    // The byte-order mark reaches the file even when the document is
    // refused, like the cut does.
    m_running = false;
    const bool flushed = flush();
    return written && flushed;
}

bool serialize(const Document& document, unsigned short encoding, void* file)
{
    Serializer serializer;
    return serializer.serialize(document, encoding, file);
}

Document createDocument(const Velum_CHAR* version, const Velum_CHAR* documentElementName,
                        const Velum_CHAR* doctypeName)
{
    return Document::_createNewDocument(version, documentElementName, doctypeName);
}

TreeMemoryScope::TreeMemoryScope() : m_arena(new (std::nothrow) PoolArena) {}

TreeMemoryScope::~TreeMemoryScope()
{
    delete static_cast<PoolArena*>(m_arena);
}

}  // namespace Velum
