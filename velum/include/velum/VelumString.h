// The library's UTF-16 string, its exception, and the XML character classes.
#pragma once

#include "velum/Export.h"

namespace Velum {

// One UTF-16 code unit.
typedef unsigned short Velum_CHAR;

// The text of every empty string: a single 0 code unit, never written.
extern VELUM_API const Velum_CHAR Velum_NULL_String[1];

// The one exception the library throws across its interface, by value.
class VELUM_API VelumException {
public:
    enum {
        HIERARCHY_REQUEST_ERR = 3,
        INVALID_CHARACTER_ERR = 5,
        NO_MODIFICATION_ALLOWED_ERR = 7,
        NOT_FOUND_ERR = 8,
        INUSE_ATTRIBUTE_ERR = 10,
        NOT_INITIALIZED_ERR = 100,
        OUT_OF_MEMORY_ERR = 101,
        EMPTY_HANDLE_ERR = 102,
        BAD_CAST_ERR = 103,
        WRONG_NODE_KIND_ERR = 104,
    };

    VelumException();
    VelumException(const VelumException& other);
    VelumException(unsigned short code);
    VelumException& operator=(const VelumException& other);
    virtual ~VelumException();

    unsigned short m_code;
};

// The shared body of a string. Only VelumString uses it.
class VELUM_API VelumStringInst {
public:
    // A new body holding length code units of text (a copy), with the
    // capacity the granule rule gives; count 0 until a handle takes it.
    // Raises OUT_OF_MEMORY_ERR.
    static VelumStringInst* create(const Velum_CHAR* text, unsigned long length);
    // As create, with room for `room` more code units; kExact gives the text
    // just its own size (for texts that are not expected to grow).
    static constexpr unsigned long kExact = static_cast<unsigned long>(-1);

    // The count of a permanent body (see VelumString::permanent): never
    // changed, so threads may share the body without a lock.
    // (An enumerator, not a static member: a DLL exports no data for it.)
    enum : unsigned int { kPermanent = 0xFFFFFFFFu };

    void addRef()
    {
        if (m_refCount != kPermanent)
            ++m_refCount;
    }
    // Frees the body when the last handle lets go; a permanent one stays.
    void removeRef();
    unsigned long getRefCount() const { return m_refCount; }

    // In-place appends; the caller makes sure the body is not shared.
    // Raise OUT_OF_MEMORY_ERR, leaving the text as it was.
    VelumStringInst& operator+=(const Velum_CHAR* text);
    VelumStringInst& operator+=(const char* text);
    VelumStringInst& operator+=(Velum_CHAR c);
    void append(const Velum_CHAR* text, unsigned long length);

    Velum_CHAR* m_chars;        // always 0-terminated
    unsigned int m_length;      // code units, terminator excluded
    unsigned int m_refCount;

    // Cut from a parse's arena: part of that tree's memory, and never
    // changed in place.
    bool inTree() const { return m_inTree; }

private:
    friend class VelumString;
    friend class StringMember;

    // The body and its first buffer are one block: m_chars starts at
    // builtIn() until an append outgrows it and moves the text to a
    // separate buffer, which the body then owns.
    VelumStringInst() = default;
    ~VelumStringInst();
    VelumStringInst(const VelumStringInst&) = delete;
    VelumStringInst& operator=(const VelumStringInst&) = delete;

    // As create, with room for `room` more code units.
    static VelumStringInst* createWithRoom(const Velum_CHAR* text, unsigned long length, unsigned long room);
    // Where `extra` more code units go. When the text had to move, retired
    // receives the old separate buffer (null for the built-in one), to be
    // freed by the caller once it has copied from it; m_length is left for
    // the caller to advance. Raises OUT_OF_MEMORY_ERR before changing anything.
    Velum_CHAR* makeRoom(unsigned long extra, Velum_CHAR*& retired);
    Velum_CHAR* builtIn();

    unsigned int m_capacity;    // code units the buffer holds, terminator included
    bool m_inTree;              // in the padding after m_capacity
};

// A handle over a shared, counted body; copies share, changes copy first.
// The empty string has no body.
class VELUM_API VelumString {
public:
    VelumString() : m_inst(nullptr) {}
    VelumString(const VelumString& other);
    VelumString(const Velum_CHAR* text);
    VelumString(const char* text);
    VelumString(Velum_CHAR c);
    VelumString(int number);
    VelumString(unsigned int number);
    // The first length code units of text (the library's own constructor).
    VelumString(const Velum_CHAR* text, unsigned long length);
    ~VelumString();

    VelumString& operator=(const VelumString& other);
    VelumString& operator=(const Velum_CHAR* text);
    VelumString& operator=(const char* text);
    VelumString& operator=(Velum_CHAR c);
    VelumString& operator=(int number);
    VelumString& operator=(unsigned int number);

    VelumString& operator+=(const VelumString& other);
    VelumString& operator+=(const Velum_CHAR* text);
    VelumString& operator+=(const char* text);
    VelumString& operator+=(Velum_CHAR c);
    VelumString& operator+=(int number);
    VelumString& operator+=(unsigned int number);
    // Appends length code units of text.
    VelumString& append(const Velum_CHAR* text, unsigned long length);

    bool operator==(const VelumString& other) const;
    bool operator==(const Velum_CHAR* text) const;
    bool operator==(const char* text) const;
    bool operator==(Velum_CHAR c) const;
    bool operator==(int number) const;
    bool operator==(unsigned int number) const;
    bool operator!=(const VelumString& other) const { return !(*this == other); }
    bool operator!=(const Velum_CHAR* text) const { return !(*this == text); }
    bool operator!=(const char* text) const { return !(*this == text); }
    bool operator!=(Velum_CHAR c) const { return !(*this == c); }
    bool operator!=(int number) const { return !(*this == number); }
    bool operator!=(unsigned int number) const { return !(*this == number); }

    // The text; Velum_NULL_String when empty, never null.
    operator const Velum_CHAR*() const { return m_inst ? m_inst->m_chars : Velum_NULL_String; }
    // True when not empty.
    explicit operator bool() const { return m_inst != nullptr && m_inst->m_length != 0; }
    unsigned long getLength() const { return m_inst ? m_inst->m_length : 0; }

    // Numbers; 0 for anything but the stated digits. Never throw.
    int Dec_to_Int() const;
    unsigned int Dec_to_UInt() const;
    unsigned int Hex_to_UInt() const;

    // Position of the first occurrence; 0xFFFFFFFF when none, when either
    // side is empty, or when text is longer than this string.
    unsigned long index(const VelumString& text) const;
    unsigned long index(const Velum_CHAR* text) const;
    // len code units from pos (to the end when len is 0xFFFFFFFF or runs
    // past it); empty when pos is at or past the end.
    VelumString substr(unsigned long pos, unsigned long len) const;

    // XML 1.0 character classes over one code unit.
    static bool isSpace(Velum_CHAR c);
    static bool isChar(Velum_CHAR c);
    static bool isBaseChar(Velum_CHAR c);
    static bool isIdeographic(Velum_CHAR c);
    static bool isCombiningChar(Velum_CHAR c);
    static bool isDigit(Velum_CHAR c);
    static bool isExtender(Velum_CHAR c);
    static bool isLetter(Velum_CHAR c);
    static bool isNameChar(Velum_CHAR c);
    // A letter, '_' or ':' followed by name characters; "" and null are not.
    static bool isName(const Velum_CHAR* text);
    bool isName() const;

    // text in a body that lives as long as the process and whose count no
    // handle changes: one such body can name nodes of every tree on every
    // thread (the fixed names "#text" and the like). Copies share it;
    // appending to one copies the text first, as for any shared body.
    static VelumString permanent(const Velum_CHAR* text);

    // The body, for the library's own sharing (the parser hands the same
    // body to every node of one name). Null when empty.
    VelumStringInst* body() const { return m_inst; }

protected:
    void make_from_Velum_CHAR(const Velum_CHAR* text);
    void make_from_char(const char* text);
    void make_from_int(int number);
    void make_from_uint(unsigned int number);

private:
    // Takes inst (may be null) after letting go of the current body.
    void adopt(VelumStringInst* inst);
    // A body this handle alone holds, with room for `extra` more code units
    // when a new one has to be made; unchanged on OUT_OF_MEMORY_ERR.
    VelumStringInst* writable(unsigned long extra);

    friend class StringMember;
    VelumStringInst* m_inst;
};

VELUM_API VelumString operator+(const VelumString& a, const VelumString& b);
VELUM_API VelumString operator+(const VelumString& a, const Velum_CHAR* b);
VELUM_API VelumString operator+(const VelumString& a, const char* b);
VELUM_API VelumString operator+(const VelumString& a, Velum_CHAR b);
VELUM_API VelumString operator+(const VelumString& a, int b);
VELUM_API VelumString operator+(const VelumString& a, unsigned int b);
VELUM_API VelumString operator+(const Velum_CHAR* a, const VelumString& b);
VELUM_API VelumString operator+(const char* a, const VelumString& b);
VELUM_API VelumString operator+(Velum_CHAR a, const VelumString& b);
VELUM_API VelumString operator+(int a, const VelumString& b);
VELUM_API VelumString operator+(unsigned int a, const VelumString& b);

inline bool operator==(const Velum_CHAR* a, const VelumString& b) { return b == a; }
inline bool operator==(const char* a, const VelumString& b) { return b == a; }
inline bool operator==(Velum_CHAR a, const VelumString& b) { return b == a; }
inline bool operator==(int a, const VelumString& b) { return b == a; }
inline bool operator==(unsigned int a, const VelumString& b) { return b == a; }
inline bool operator!=(const Velum_CHAR* a, const VelumString& b) { return !(b == a); }
inline bool operator!=(const char* a, const VelumString& b) { return !(b == a); }
inline bool operator!=(Velum_CHAR a, const VelumString& b) { return !(b == a); }
inline bool operator!=(int a, const VelumString& b) { return !(b == a); }
inline bool operator!=(unsigned int a, const VelumString& b) { return !(b == a); }

}  // namespace Velum
