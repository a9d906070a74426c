#include "SettingsFile.h"

#include "AutoStart.h"
#include "LegacyImport.h"
#include "ProgramPath.h"
#include "ResourceMessage.h"
#include "TextRoutines.h"
#include "VersionInfo.h"
#include "WideToAnsi.h"
#include "resource.h"

#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

using Velum::Velum_CHAR;
using Velum::VelumString;

namespace {

// ------------------------------------------------------------------------
// Text conversion

// The code page of the record's strings.
UINT SettingsCodePage()
{
    UINT codePage = GetACP();
    if (codePage == 0)
        codePage = GetOEMCP();
    return codePage == 1 ? 0 : codePage;
}

// Texts are scanned eight bytes a step (the runtime's strlen takes one).
const std::uint64_t kLowBits = 0x0101010101010101ull;
const std::uint64_t kHighBits = 0x8080808080808080ull;

std::uint64_t EightBytes(const char* bytes)
{
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

bool HasNullByte(std::uint64_t word)
{
    return ((word - kLowBits) & ~word & kHighBits) != 0;
}

// Where text ends, at its first null byte or its size, looking from `from`
// on.
std::size_t TextEnd(std::string_view text, std::size_t from)
{
    const char* data = text.data();
    const std::size_t size = text.size();
    std::size_t end = from;
    while (size - end >= 8 && !HasNullByte(EightBytes(data + end)))
        end += 8;
    while (end < size && data[end] != 0)
        ++end;
    return end;
}

// ANSI text as UTF-16, whole however long, up to its first null byte
// (the document's texts end there). The ASCII bytes at its start are
// copied while looking for the end: each is a character of
// its own in any code page (a lead byte is never below 0x80), so the
// conversion call can start after them and gets the same result. Most
// words and many lines are ASCII all through and make no call at all.
VelumString ToUtf16(std::string_view text, std::vector<wchar_t>& buffer)
{
    if (buffer.size() < text.size())
        buffer.resize(text.size());
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    wchar_t* out = buffer.data();
    std::size_t ascii = 0;
    while (size - ascii >= 8) {
        const std::uint64_t word = EightBytes(text.data() + ascii);
        if ((word & kHighBits) != 0 || HasNullByte(word))
            break;
        for (std::size_t i = ascii; i < ascii + 8; ++i)
            out[i] = static_cast<wchar_t>(bytes[i]);
        ascii += 8;
    }
    while (ascii < size && bytes[ascii] != 0 && bytes[ascii] < 0x80) {
        out[ascii] = static_cast<wchar_t>(bytes[ascii]);
        ++ascii;
    }
    if (ascii == size || bytes[ascii] == 0)
        return ascii != 0 ? VelumString(reinterpret_cast<const Velum_CHAR*>(out), static_cast<unsigned long>(ascii))
                          : VelumString();
    const char* rest = text.data() + ascii;
    const int restBytes = static_cast<int>(TextEnd(text, ascii) - ascii);
    const UINT codePage = SettingsCodePage();
    // A code-page byte never makes more than one UTF-16 unit, so one call
    // into the room left does; should a code page ever need more, the
    // length is asked for first.
    int length = MultiByteToWideChar(codePage, MB_PRECOMPOSED, rest, restBytes, out + ascii, restBytes);
    if (length <= 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        length = MultiByteToWideChar(codePage, MB_PRECOMPOSED, rest, restBytes, nullptr, 0);
        buffer.resize(ascii + static_cast<std::size_t>(length > 0 ? length : 0));
        out = buffer.data();
        length = MultiByteToWideChar(codePage, MB_PRECOMPOSED, rest, restBytes, out + ascii, length);
    }
    // A text the code page cannot take at all converts to nothing, as it
    // did before its ASCII start was copied here.
    return length > 0 ? VelumString(reinterpret_cast<const Velum_CHAR*>(out),
                                    static_cast<unsigned long>(ascii + static_cast<std::size_t>(length)))
                      : VelumString();
}

// UTF-16 text as ANSI into ansi, whole however long, up to its first null
// character; "" for an empty text or one the code page cannot take at all.
// The program's texts end at a null byte, and so does what a save writes:
// a file that holds one inside a text (edited by hand or damaged) must not
// give a line the program runs and writes back shorter than it reads.
void ToAnsi(const Velum_CHAR* chars, unsigned long units, std::string& ansi)
{
    units = static_cast<unsigned long>(UnitsBeforeNull(reinterpret_cast<const wchar_t*>(chars), units));
    WideToAnsi(SettingsCodePage(), reinterpret_cast<const wchar_t*>(chars), units, ansi);
}

std::string ToAnsi(const VelumString& text)
{
    std::string ansi;
    ToAnsi(text, text.getLength(), ansi);
    return ansi;
}

const Velum_CHAR* V(const wchar_t* text)
{
    return reinterpret_cast<const Velum_CHAR*>(text);
}

// ------------------------------------------------------------------------
// File names

// Folder, "Tarnic-", the user name, "@", platform and version; made once.
const std::string& SettingsBaseName()
{
    static const std::string base = [] {
        OSVERSIONINFOA version = {};
        version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        GetVersionExA(&version);
#pragma GCC diagnostic pop
        char user[257] = {};
        DWORD userLength = sizeof(user);
        if (!GetUserNameA(user, &userLength))
            user[0] = '\0';
        char tail[64];
        std::snprintf(tail, sizeof tail, "@%lu%lu%lu", version.dwPlatformId,
                      version.dwMajorVersion, version.dwMinorVersion);
        return GetProgramFolder() + "Tarnic-" + user + tail;
    }();
    return base;
}

std::string SettingsPath(SettingsFileKind kind)
{
    char path[MAX_PATH];
    return GetSettingsFilePath(kind, path, sizeof path) ? std::string(path) : std::string();
}

// ------------------------------------------------------------------------
// Writing

const wchar_t kNamespace[] = L"http://www.morrowfield.jp/namespaceURI/Tarnic";
const wchar_t kSchemaInstance[] = L"http://www.w3.org/2001/XMLSchema-instance";

VelumString Decimal(long value)
{
    char text[24];
    std::snprintf(text, sizeof text, "%ld", value);
    return VelumString(text);
}

VelumString Flag(bool value)
{
    return VelumString(value ? "1" : "0");
}

// "#rrggbb" of a COLORREF.
VelumString ColourText(COLORREF colour)
{
    char text[16];
    std::snprintf(text, sizeof text, "#%06lx",
                  static_cast<unsigned long>((GetRValue(colour) << 16) | (GetGValue(colour) << 8) |
                                             GetBValue(colour)));
    return VelumString(text);
}

// The element names and line breaks the document repeats, each in one
// string body that lives as long as the program: every node of a name
// shares it, so a save makes no string for them and freeing the tree frees
// none. Made at the first save, after Velum was set up.
struct DocumentStrings {
    const VelumString commandList = VelumString::permanent(V(L"CommandList"));
    const VelumString command = VelumString::permanent(V(L"command"));
    const VelumString commandLine = VelumString::permanent(V(L"commandline"));
    const VelumString inputHistory = VelumString::permanent(V(L"InputHistory"));
    const VelumString input = VelumString::permanent(V(L"input"));
    const VelumString lineEnd = VelumString::permanent(V(L"\r\n"));
    const VelumString indent1 = VelumString::permanent(V(L"\r\n\t"));
    const VelumString indent2 = VelumString::permanent(V(L"\r\n\t\t"));
    const VelumString indent3 = VelumString::permanent(V(L"\r\n\t\t\t"));
};

const DocumentStrings& Strings()
{
    static const DocumentStrings strings;
    return strings;
}

// Builds the tree through the handles of each node's own kind: appending
// asks for no Node handle, and names and texts go in as strings the nodes
// share. The record's texts are converted through one buffer kept for the
// whole document.
class DocumentWriter {
public:
    explicit DocumentWriter(Velum::Document document) : m_document(document) {}

    void Text(Velum::NodeBase& parent, const VelumString& text)
    {
        parent.append(m_document.createTextNode(text));
    }
    Velum::Element Child(Velum::NodeBase& parent, const VelumString& name)
    {
        Velum::Element element = m_document.createElement(name);
        parent.append(element);
        return element;
    }
    // An element whose only child is a text node holding text.
    void TextElement(Velum::NodeBase& parent, const VelumString& name, std::string_view text)
    {
        Velum::Element element = Child(parent, name);
        element.append(m_document.createTextNode(Utf16(text)));
    }
    void Comment(Velum::NodeBase& parent, const wchar_t* text)
    {
        parent.append(m_document.createComment(V(text)));
    }
    VelumString Utf16(std::string_view text) { return ToUtf16(text, m_wide); }

private:
    Velum::Document m_document;
    std::vector<wchar_t> m_wide;
};

// ------------------------------------------------------------------------
// Reading

// The reader walks the parsed tree's bodies: a Node handle for every
// child would cost more than reading the child. The caller's Document
// handle keeps every body alive while the walk runs, and nothing here
// changes the tree.
using Velum::ElementInst;
using Velum::NodeInst;

// The element among node's children at i, or null when that child is no
// element or has another name. The name is compared here rather than
// through a call into Velum: the walk asks this for every child.
template <std::size_t Size>
const ElementInst* ChildElement(const NodeInst& node, unsigned long i, const wchar_t (&name)[Size])
{
    const NodeInst* child = node.m_children->item(i);
    if (child == nullptr || child->m_type != Velum::ELEMENT_NODE || child->m_name.getLength() != Size - 1 ||
        std::memcmp(static_cast<const Velum_CHAR*>(child->m_name), name, (Size - 1) * sizeof(Velum_CHAR)) != 0)
        return nullptr;
    return static_cast<const ElementInst*>(child);
}

// The value of the element's attribute name where the attribute keeps it,
// or null when there is none: the command list asks this of every command,
// and a copy of the string handle would cost more than the look-up.
const VelumString* AttributeValue(const ElementInst& element, const wchar_t* name)
{
    const NodeInst* attribute =
        element.m_attributes != nullptr ? element.m_attributes->getNamedItem(V(name)) : nullptr;
    return attribute != nullptr ? &attribute->m_value : nullptr;
}

// The attribute's value, or false when it is absent or empty.
bool Attribute(const ElementInst& element, const wchar_t* name, VelumString* value)
{
    *value = element.getAttribute(V(name));
    return value->getLength() > 0;
}

void ReadInt(const ElementInst& element, const wchar_t* name, std::int32_t* field)
{
    VelumString value;
    if (Attribute(element, name, &value))
        *field = value.Dec_to_Int();
}

void ReadBool(const ElementInst& element, const wchar_t* name, bool* field)
{
    VelumString value;
    if (Attribute(element, name, &value))
        *field = value.Dec_to_Int() != 0;
}

void ReadColour(const ElementInst& element, const wchar_t* name, std::uint32_t version, COLORREF* field)
{
    VelumString value;
    if (!Attribute(element, name, &value))
        return;
    // "#rrggbb" is the current form whatever the version says: a file
    // written without a version resource has none, and an old file never
    // starts a colour with "#".
    const Velum_CHAR* chars = value;
    if (version >= 0x02110300 || chars[0] == '#') {
        const unsigned rgb = value.substr(1, value.getLength() - 1).Hex_to_UInt();
        *field = RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
    } else {
        *field = value.Hex_to_UInt();
    }
}

// The value of the element's first child node as ANSI into text, when it
// has a child. The value is read where the child keeps it, without a copy
// of the string handle.
bool FirstChildValue(const ElementInst& element, std::string* text)
{
    if (element.childCount() == 0)
        return false;
    const VelumString& value = element.m_children->item(0)->m_value;
    ToAnsi(value, value.getLength(), *text);
    return !text->empty();
}

bool IsStoredSystemWord(const VelumString& word)
{
    return CompareNoCaseW(word, V(L"SYSTEM")) == 0 ||
           CompareNoCaseW(word, V(L"\xFF33\xFF39\xFF33\xFF34\xFF25\xFF2D")) == 0;  // full width
}

void ReadWindowInfo(const ElementInst& element, std::uint32_t version, WindowInfo& info)
{
    ReadInt(element, L"x", &info.x);
    ReadInt(element, L"y", &info.y);
    ReadInt(element, L"cx", &info.cx);
    ReadInt(element, L"cy", &info.cy);
    ReadColour(element, L"TextColor", version, &info.TextColor);
    ReadColour(element, L"BgColor", version, &info.BgColor);
    VelumString value;
    if (Attribute(element, L"FontFace", &value))
        info.FontFace = ToAnsi(value);
    ReadInt(element, L"FontSize", &info.FontSize);
    const struct {
        const wchar_t* name;
        std::uint32_t bit;
    } effects[] = {{L"FontBold", FONT_BOLD},
                   {L"FontItalic", FONT_ITALIC},
                   {L"FontStrike", FONT_STRIKEOUT},
                   {L"FontUnderline", FONT_UNDERLINE}};
    for (const auto& effect : effects) {
        if (Attribute(element, effect.name, &value) && value.Dec_to_Int() != 0)
            info.FontEffects |= effect.bit;
    }
    if (Attribute(element, L"Transparency", &value))
        info.Transparency = static_cast<std::uint8_t>(value.Dec_to_UInt() & 0xFF);
}

// The first of the command's children from i on that ReadCommandList takes
// as a line (a `commandline` element whose first child gives text), with
// that text in *text: its index, or the child count when there is none.
unsigned long NextLine(const ElementInst& command, unsigned long i, std::string* text)
{
    const unsigned long children = command.childCount();
    for (; i < children; ++i) {
        const ElementInst* line = ChildElement(command, i, L"commandline");
        if (line != nullptr && FirstChildValue(*line, text))
            return i;
    }
    return children;
}

void ReadCommandList(const ElementInst& list, CCommandTable& commands)
{
    // A command goes into the table at its first line, with its word alone,
    // and gets its lines there: no list of lines is made to be copied. The
    // texts are converted through one string kept for the whole list.
    CCommandEntry entry;
    std::string text;
    // A written file puts a line break between the commands.
    commands.Reserve(commands.GetCount() + (list.childCount() + 1) / 2);
    for (unsigned long i = 0; i < list.childCount(); ++i) {
        const ElementInst* command = ChildElement(list, i, L"command");
        const VelumString* word = command != nullptr ? AttributeValue(*command, L"command") : nullptr;
        if (word == nullptr || word->getLength() == 0)
            continue;
        const bool system = IsStoredSystemWord(*word);
        if (system) {
            ShowResourceMessage(GetModuleHandleA(nullptr), nullptr, IDS_SYSTEM_RENAMED,
                                MB_ICONINFORMATION, 0);
        }
        // A command goes in at its first line with text. One without any
        // is dropped, as a save would drop it (a line the file cannot give
        // back as text, such as a first child that is an element, is no
        // line); Insert fails only when memory runs out, and the command is
        // then left out whole.
        const unsigned long children = command->childCount();
        unsigned long j = NextLine(*command, 0, &text);
        if (j == children)
            continue;
        if (system)
            entry.word = " SYSTEM";
        else
            ToAnsi(*word, word->getLength(), entry.word);
        if (entry.word.empty())
            continue;  // only a null character, or nothing the code page holds
        if (commands.Insert(entry) == 0)
            continue;
        CCommandLinesEx& lines = commands.GetOrder().back()->lines;
        // Room for a line in every other child from here: a written file
        // puts a line break between the lines, so this is their number; a
        // file without the breaks only makes the list grow once more.
        lines.Reserve((children - j + 1) / 2);
        for (; j < children; j = NextLine(*command, j + 1, &text))
            lines.Add(text);
    }
}

void ReadInputHistory(const ElementInst& element, std::uint32_t version, CSettings& settings)
{
    VelumString value;
    if (Attribute(element, L"size", &value)) {
        unsigned size = value.Dec_to_UInt();
        settings.HistorySize = size > CInputHistory::kMaxCapacity ? CInputHistory::kMaxCapacity : size;
        settings.History.SetCapacity(settings.HistorySize);
    }
    if (version < 0x02160000 && Attribute(element, L"use", &value) && value.Dec_to_Int() == 0) {
        settings.HistorySize = 0;
        settings.History.SetCapacity(0);
    }
    ReadBool(element, L"IntelliSense", &settings.HistoryList);
    if (settings.HistorySize == 0)
        return;
    std::string text;
    for (unsigned long i = 0; i < element.childCount(); ++i) {
        const ElementInst* input = ChildElement(element, i, L"input");
        if (input != nullptr && FirstChildValue(*input, &text))
            settings.History.Add(text);
    }
}

void ReadOthers(const ElementInst& element, CSettings& settings)
{
    ReadBool(element, L"Stationed", &settings.Stationed);
    ReadBool(element, L"AutoComplete", &settings.AutoComplete);
    ReadBool(element, L"IntelliSense", &settings.IntelliSense);
    ReadBool(element, L"ApplyReservedCommand", &settings.ApplyReservedCommand);
    VelumString value;
    if (Attribute(element, L"HotKey", &value))
        settings.HotKey = static_cast<std::uint16_t>(value.Hex_to_UInt() & 0xFFFF);
}

// A text of the string table; "" when it is missing.
std::string LoadText(UINT id)
{
    char text[256] = {};
    return LoadStringA(GetModuleHandleA(nullptr), id, text, sizeof text) > 0 ? text : "";
}

// What a VelumException raised while reading means to the user, with
// the parser's message when it left one: that names the line and column
// of a node the tree refused.
std::string DescribeException(const Velum::VelumException& exception)
{
    std::string text = LoadText(IDS_XML_STRUCTURE_ERROR) + " (VelumException " +
                       std::to_string(exception.m_code) + ")";
    if (Velum::m_errorMessage.getLength() > 0)
        text += "\n" + ToAnsi(Velum::m_errorMessage);
    return text;
}

// The parser's message, or what a failure without one means: the document
// ends early or holds bytes that are no text in its encoding.
std::string DescribeParseFailure()
{
    if (Velum::m_errorMessage.getLength() > 0)
        return ToAnsi(Velum::m_errorMessage);
    return LoadText(IDS_XML_INCOMPLETE);
}

// What the system says about error, on one line; "" when it says nothing.
std::string SystemMessage(DWORD error)
{
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message(text != nullptr ? text : "", length);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\r' || message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    return message;
}

// Why a file that is there could not be opened: the system's words and
// the error code, which is what a support question needs.
std::string DescribeOpenFailure(DWORD error)
{
    char code[128];
    std::snprintf(code, sizeof code, LoadText(IDS_OPEN_FAILED).c_str(), static_cast<unsigned long>(error));
    const std::string message = SystemMessage(error);
    return message.empty() ? std::string(code) : message + " " + code;
}

// The XML file of this run could not be read: saving leaves it alone.
bool g_unreadableFileKept = false;
// Why, for the notice at the first save that leaves it alone.
std::string g_unreadableReason;
bool g_notSavedNoticeShown = false;

// ------------------------------------------------------------------------
// Saving: at every moment the settings file is a complete file; while there
// is none, the backup is left as it is.

SaveFaultHook g_saveFaultHook = nullptr;

// True when a test makes step fail; its error is then the last error.
bool Injected(SaveStep step)
{
    const DWORD error = g_saveFaultHook != nullptr ? g_saveFaultHook(step) : 0;
    if (error != 0)
        SetLastError(error);
    return error != 0;
}

// A reader of the settings holds its lock only while it reads; a program
// that keeps one longer must not keep the launcher from ending, so the
// wait is bounded and the save fails after it.
constexpr DWORD kLockWaitMs = 10000;
constexpr DWORD kRetryMs = 50;

bool LockWithin(void* file, int kind)
{
    for (DWORD waited = 0;; waited += kRetryMs) {
        if (Velum::lockFile(file, kind | 4))  // 4: fail at once when held
            return true;
        if (waited >= kLockWaitMs)
            return false;
        Sleep(kRetryMs);
    }
}

// Removes the new file of a failed save; the failure's error stays the
// last error. Returns false, the save's result.
bool Abandon(const std::string& temporary)
{
    const DWORD error = GetLastError();
    DeleteFileA(temporary.c_str());
    SetLastError(error);
    return false;
}

// The document in a new file at path, locked while written and flushed to
// the disk before it is closed. On failure the file is removed.
bool WriteCompleteFile(const Velum::Document& document, const std::string& path)
{
    void* file = Injected(SaveStep::CreateTemporary) ? nullptr : Velum::openFile(path.c_str(), 0x22);
    if (file == nullptr)
        return false;
    bool written = !Injected(SaveStep::WriteTemporary) && LockWithin(file, 2) &&
                   Velum::serialize(document, 1, file);
    written = written && !Injected(SaveStep::FlushTemporary) && FlushFileBuffers(file);
    if (!written) {
        const DWORD error = GetLastError();
        Velum::closeFile(file);
        SetLastError(error);
        return Abandon(path);
    }
    return Velum::closeFile(file) || Abandon(path);
}

// Waits until no one reads or writes the existing file at path: the lock
// is taken and let go at once. True when there is nothing to wait for.
bool WaitForReaders(const std::string& path)
{
    if (Injected(SaveStep::WaitForReaders))
        return false;
    void* file = Velum::openFile(path.c_str(), 0x13);
    if (file == nullptr)
        return true;  // nothing there, or a folder: the copy below tells
    const bool locked = LockWithin(file, 2);
    Velum::closeFile(file);
    return locked;
}

// CreateHardLinkA, looked up once: Windows before 2000 has none.
using CreateHardLinkProc = BOOL(WINAPI*)(LPCSTR, LPCSTR, LPSECURITY_ATTRIBUTES);

CreateHardLinkProc HardLinkEntry()
{
    static const CreateHardLinkProc entry = [] {
        HMODULE kernel = GetModuleHandleA("kernel32.dll");
        return kernel != nullptr ? reinterpret_cast<CreateHardLinkProc>(reinterpret_cast<void*>(
                                       GetProcAddress(kernel, "CreateHardLinkA")))
                                 : nullptr;
    }();
    return entry;
}

// Gives the settings file at path a second name, backupPath. The bytes are
// not copied, and the rename that then puts the new file in place frees
// none either: the previous file lives on under the backup's name. The
// link is made under a name of its own and renamed over the backup, so the
// backup is a whole file at every moment. False when no link could be
// made or it could not replace the backup; nothing is left behind then.
bool LinkBackup(const std::string& path, const std::string& backupPath)
{
    const CreateHardLinkProc createHardLink = HardLinkEntry();
    if (createHardLink == nullptr) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return false;
    }
    if (Injected(SaveStep::LinkBackup))
        return false;
    const std::string link = TemporarySettingsPath(backupPath);
    if (!createHardLink(link.c_str(), path.c_str(), nullptr)) {
        // A link left by a save that was cut short is made anew.
        const DWORD error = GetLastError();
        if ((error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) || !DeleteFileA(link.c_str()) ||
            !createHardLink(link.c_str(), path.c_str(), nullptr))
            return false;
    }
    if (!MoveFileExA(link.c_str(), backupPath.c_str(), MOVEFILE_REPLACE_EXISTING))
        return Abandon(link);
    // After a save that failed at putting its file in place, the settings
    // file and the backup are one file: a rename between two names of one
    // file leaves both on some file systems (and under Wine), so the link's
    // name may still be there.
    DeleteFileA(link.c_str());
    return true;
}

// The settings file at path kept at backupPath: linked, or copied where
// the file system or the system has no links (FAT, many network shares).
// False when neither worked; the backup is then as it was.
bool KeepBackup(const std::string& path, const std::string& backupPath)
{
    if (LinkBackup(path, backupPath))
        return true;
    return !Injected(SaveStep::KeepBackup) && CopyFileA(path.c_str(), backupPath.c_str(), FALSE);
}

// Renames from over to, retrying for a while: a reader that opened the
// file since the wait above keeps it from being replaced until it is done.
bool PutInPlace(const std::string& from, const std::string& to)
{
    if (Injected(SaveStep::PutInPlace))
        return false;
    for (DWORD waited = 0;; waited += kRetryMs) {
        if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        const DWORD error = GetLastError();
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION &&
             error != ERROR_ACCESS_DENIED) ||
            waited >= kLockWaitMs / 5)
            return false;
        Sleep(kRetryMs);
    }
}

}  // namespace

// ------------------------------------------------------------------------
// Public operations

bool GetSettingsFilePath(SettingsFileKind kind, char* buffer, std::size_t size)
{
    static const char* const extensions[] = {".xml", ".ini", ".bak"};
    const std::string path = SettingsBaseName() + extensions[kind];
    if (path.size() + 1 > size || path.size() >= MAX_PATH) {
        if (size > 0)
            buffer[0] = '\0';
        return false;
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return true;
}

std::uint32_t ParseSettingsVersion(const VelumString& text)
{
    std::uint32_t version = 0;
    unsigned long start = 0;
    const unsigned long length = text.getLength();
    for (int component = 0; component < 4; ++component) {
        unsigned value = 0;
        if (start < length) {
            unsigned long end = start;
            const Velum_CHAR* chars = text;
            while (end < length && chars[end] != '.')
                ++end;
            value = text.substr(start, end - start).Dec_to_UInt();
            start = end + 1;
        }
        version |= (value & 0xFF) << (24 - 8 * component);
    }
    return version;
}

int CompareNoCaseW(const Velum_CHAR* a, const Velum_CHAR* b)
{
    static const Velum_CHAR empty[1] = {0};
    if (a == nullptr)
        a = empty;
    if (b == nullptr)
        b = empty;
    auto fold = [](Velum_CHAR c) -> int {
        if ((c >= 0x61 && c <= 0x7A) || (c >= 0x3B1 && c <= 0x3C9) || (c >= 0xFF41 && c <= 0xFF5A))
            return c - 32;
        return c;
    };
    for (;; ++a, ++b) {
        const int difference = fold(*a) - fold(*b);
        if (difference != 0 || *a == 0)
            return difference;
    }
}

Velum::Document BuildSettingsDocument(const CSettings& settings)
{
    // The tree is cut from memory of its own, so that it goes in one sweep
    // once written; the scope ends (at the return) before the caller lets
    // go of the document.
    Velum::TreeMemoryScope treeMemory;
    Velum::Document document =
        Velum::createDocument(V(L"1.0"), V(L"TarnicSettings"), V(L""));
    document.setStandalone(false);
    Velum::Element root = document.getDocumentElement();
    const std::wstring ns = kNamespace;
    root.setAttribute(V(L"xmlns"), V(kNamespace));
    root.setAttribute(V(L"xmlns:xsi"), V(kSchemaInstance));
    root.setAttribute(V(L"xsi:schemaLocation"), V((ns + L" " + ns + L"-2.21.4.xsd").c_str()));
    root.setAttribute(V(L"version"), VelumString(GetDottedVersion().c_str()));

    DocumentWriter out(document);
    const DocumentStrings& strings = Strings();
    const WindowInfo& info = settings.Window;
    out.Text(root, strings.indent1);
    Velum::Element window = out.Child(root, VelumString(V(L"WindowInfo")));
    window.setAttribute(V(L"x"), Decimal(info.x));
    window.setAttribute(V(L"y"), Decimal(info.y));
    window.setAttribute(V(L"cx"), Decimal(info.cx));
    window.setAttribute(V(L"cy"), Decimal(info.cy));
    window.setAttribute(V(L"TextColor"), ColourText(info.TextColor));
    window.setAttribute(V(L"BgColor"), ColourText(info.BgColor));
    window.setAttribute(V(L"FontFace"), out.Utf16(info.FontFace));
    window.setAttribute(V(L"FontSize"), Decimal(info.FontSize));
    window.setAttribute(V(L"FontBold"), Flag(info.FontEffects & FONT_BOLD));
    window.setAttribute(V(L"FontItalic"), Flag(info.FontEffects & FONT_ITALIC));
    window.setAttribute(V(L"FontStrike"), Flag(info.FontEffects & FONT_STRIKEOUT));
    window.setAttribute(V(L"FontUnderline"), Flag(info.FontEffects & FONT_UNDERLINE));
    window.setAttribute(V(L"Transparency"), Decimal(info.Transparency));

    out.Text(root, strings.indent1);
    Velum::Element list = out.Child(root, strings.commandList);
    for (const CCommandEntry* entry : settings.Commands.GetOrder()) {
        out.Text(list, strings.indent2);
        Velum::Element command = out.Child(list, strings.command);
        command.setAttribute(strings.command, out.Utf16(entry->word));
        for (std::size_t i = 0; i < entry->lines.GetCount(); ++i) {
            out.Text(command, strings.indent3);
            out.TextElement(command, strings.commandLine, *entry->lines.GetAt(i));
        }
        out.Text(command, strings.indent2);
    }
    out.Text(list, strings.indent1);

    out.Text(root, strings.indent1);
    Velum::Element history = out.Child(root, strings.inputHistory);
    history.setAttribute(V(L"size"), Decimal(settings.HistorySize));
    history.setAttribute(V(L"IntelliSense"), Flag(settings.HistoryList));
    out.Text(history, strings.indent2);
    out.Comment(history, L"\x2191older\x2191");
    for (std::size_t i = settings.History.GetCount(); i-- > 0;) {
        out.Text(history, strings.indent2);
        out.TextElement(history, strings.input, settings.History.GetAt(i));
    }
    out.Text(history, strings.indent2);
    out.Comment(history, L"\x2193newer\x2193");
    out.Text(history, strings.indent1);

    out.Text(root, strings.indent1);
    Velum::Element others = out.Child(root, VelumString(V(L"Others")));
    char hotKey[8];
    std::snprintf(hotKey, sizeof hotKey, "%04x", settings.HotKey);
    others.setAttribute(V(L"Stationed"), Flag(settings.Stationed));
    others.setAttribute(V(L"HotKey"), VelumString(hotKey));
    others.setAttribute(V(L"AutoComplete"), Flag(settings.AutoComplete));
    others.setAttribute(V(L"IntelliSense"), Flag(settings.IntelliSense));
    others.setAttribute(V(L"ApplyReservedCommand"), Flag(settings.ApplyReservedCommand));
    out.Text(root, strings.lineEnd);
    return document;
}

void ReadSettingsDocument(const Velum::Document& document, CSettings& settings)
{
    const Velum::Element rootHandle = document.getDocumentElement();
    if (!rootHandle)
        throw Velum::VelumException(Velum::VelumException::EMPTY_HANDLE_ERR);
    const ElementInst& root = *static_cast<const ElementInst*>(rootHandle.getNodeInst());
    const std::uint32_t version = ParseSettingsVersion(root.getAttribute(V(L"version")));
    for (unsigned long i = 0; i < root.childCount(); ++i) {
        if (const ElementInst* child = ChildElement(root, i, L"WindowInfo"))
            ReadWindowInfo(*child, version, settings.Window);
        else if (const ElementInst* child = ChildElement(root, i, L"CommandList"))
            ReadCommandList(*child, settings.Commands);
        else if (const ElementInst* child = ChildElement(root, i, L"InputHistory"))
            ReadInputHistory(*child, version, settings);
        else if (const ElementInst* child = ChildElement(root, i, L"Others"))
            ReadOthers(*child, settings);
    }
}

LoadResult LoadSettingsFile(const std::string& path, CSettings& settings, std::string* reason)
{
    void* file = Velum::openFile(path.c_str(), 0x13);
    if (file == nullptr) {
        // Only an absent file means a first run: one that is there but
        // shared, denied or a folder must not be taken for missing, or the
        // next save would put the defaults in its place.
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return LoadResult::Missing;
        if (reason != nullptr)
            *reason = DescribeOpenFailure(error);
        return LoadResult::Unreadable;
    }
    Velum::lockFile(file, 1);
    // The record keeps only a document read to its end: it is read in
    // place, and a failure half-way puts back this copy, so the caller keeps
    // its defaults rather than half a file. (At start-up the record is still
    // empty, so the copy costs nothing next to copying a loaded one.)
    const CSettings before(settings);
    LoadResult result = LoadResult::Loaded;
    try {
        Velum::m_errorMessage = VelumString(V(L""));
        Velum::Document document = Velum::parse(file);
        if (!document) {
            result = LoadResult::Unreadable;
            if (reason != nullptr)
                *reason = DescribeParseFailure();
        } else {
            ReadSettingsDocument(document, settings);
        }
    } catch (const Velum::VelumException& exception) {
        result = LoadResult::Unreadable;
        if (reason != nullptr)
            *reason = DescribeException(exception);
    } catch (const std::bad_alloc&) {
        result = LoadResult::Unreadable;
        if (reason != nullptr)
            *reason = LoadText(IDS_OUT_OF_MEMORY);
    }
    Velum::closeFile(file);
    if (result == LoadResult::Loaded)
        settings.History.SetPosition(0);  // browsing starts at the newest entry
    else
        settings = before;
    return result;
}

void SetSaveFaultHook(SaveFaultHook hook)
{
    g_saveFaultHook = hook;
}

std::string TemporarySettingsPath(const std::string& path)
{
    // As long as the settings file's own name: a name that fits the path
    // limit fits here too.
    const std::string xml = ".xml";
    if (path.size() > xml.size() && path.compare(path.size() - xml.size(), xml.size(), xml) == 0)
        return path.substr(0, path.size() - xml.size()) + ".tmp";
    return path + ".tmp";
}

bool SaveSettingsFile(const std::string& path, const std::string& backupPath,
                      const CSettings& settings)
{
    Velum::Document document;
    try {
        document = BuildSettingsDocument(settings);
    } catch (const Velum::VelumException&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
    // A file left by a save that was cut short is simply written over.
    const std::string temporary = TemporarySettingsPath(path);
    if (!WriteCompleteFile(document, temporary))
        return false;
    // The previous file is linked or copied, not moved, to the backup:
    // until the rename below replaces it, the settings file stays where it
    // is. With no previous file the backup is left alone, as the only copy
    // there is.
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        const bool backedUp = WaitForReaders(path) && KeepBackup(path, backupPath);
        if (!backedUp)
            return Abandon(temporary);
    }
    return PutInPlace(temporary, path) || Abandon(temporary);
}

int LoadSettings(CSettings& settings)
{
    settings.AutoStart = IsAutoStartShortcutPresent();
    const std::string path = SettingsPath(SETTINGS_XML);
    if (path.empty())
        return -1;
    std::string reason;
    switch (LoadSettingsFile(path, settings, &reason)) {
    case LoadResult::Loaded:
        return 1;
    case LoadResult::Unreadable:
        g_unreadableFileKept = true;
        g_unreadableReason = reason;
        g_notSavedNoticeShown = false;
        ShowResourceMessage(GetModuleHandleA(nullptr), nullptr, IDS_SETTINGS_UNREADABLE,
                            MB_ICONEXCLAMATION, 0, path.c_str(), reason.c_str());
        return -1;
    case LoadResult::Missing:
        break;
    }
    const std::string legacy = SettingsPath(SETTINGS_INI);
    return legacy.empty() ? -1 : ImportLegacySettings(legacy, settings);
}

bool SaveSettings(const CSettings& settings)
{
    const std::string path = SettingsPath(SETTINGS_XML);
    const std::string backup = SettingsPath(SETTINGS_BAK);
    // A file the user has to repair is not replaced while it is there; the
    // first save that leaves it alone says so, later ones stay quiet.
    const bool keepUnreadable = g_unreadableFileKept && !path.empty() &&
                                GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    bool failed = false;
    if (keepUnreadable) {
        if (!g_notSavedNoticeShown) {
            g_notSavedNoticeShown = true;
            ShowResourceMessage(GetModuleHandleA(nullptr), nullptr, IDS_SETTINGS_NOT_SAVED,
                                MB_ICONEXCLAMATION, 0, path.c_str(), g_unreadableReason.c_str());
        }
    } else if (path.empty() || backup.empty() || !SaveSettingsFile(path, backup, settings)) {
        failed = true;
        ShowResourceMessage(GetModuleHandleA(nullptr), nullptr, IDS_SAVE_SETTINGS_FAILED,
                            MB_ICONEXCLAMATION, 0);
    }
    SyncAutoStartShortcut(settings);
    return !failed;
}
