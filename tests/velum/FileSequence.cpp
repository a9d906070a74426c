// The model behind FileSequence.h. Each step reads its operation and
// arguments from the step bytes, predicts the result from the model, makes
// the call, compares, and brings the model along; after every step the
// files on disk are compared with the model and (natively) the open
// descriptors are counted.
//
// A lock that must wait for the locks of other handles gets them let go by
// another thread a moment later, and must then be granted. Where the model
// cannot predict a call it does not make it: a lock that would wait for its
// own handle's lock would wait forever. Closing a handle twice is never
// tried either: a closed handle's value may already name a file opened
// since, so the second close would close that one.
//
// Locks follow the platform. Natively openFile takes open-file-description
// locks: one lock per handle, a new one converts the old, unlocking always
// succeeds, a shared lock needs a handle that can read and an exclusive one
// a handle that can write, and reads and writes ignore locks. On Windows
// each lockFile adds a lock, each unlock removes one (the exclusive first)
// and fails when none is left, an exclusive lock conflicts with every other
// lock (this handle's included), a shared one with exclusive locks of other
// handles, and locks bar other handles' reads and writes; the model makes no
// call whose outcome that bar would decide, since Wine does not apply it.
#include "FileSequence.h"

#include "velum/Velum.h"

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <dirent.h>
#endif

#include <chrono>
#include <climits>
#include <fstream>
#include <iterator>
#include <map>
#include <thread>
#include <vector>

namespace filemodel {

using namespace Velum;
namespace fs = std::filesystem;

namespace {

const int kHandles = 4;
const int kFiles = 4;

const int SHARED = 1, EXCLUSIVE = 2, AT_ONCE = 4, RELEASE = 8;

// Paths that name no file that can be opened.
enum BadPath { NULL_PATH, EMPTY_PATH, THE_FOLDER, MISSING_FOLDER, NAME_TOO_LONG, LONE_SURROGATE, kBadPaths };

// The encodings serialize is given: the five it knows and three it does not.
const unsigned short kEncodings[] = {0, 1, 2, 3, 4, 5, 6, 0xFFFF};
const int kEncodingCount = sizeof kEncodings / sizeof kEncodings[0];

// A small document in UTF-16 with its byte-order mark, for the files
// written from outside the library.
const char kUtf16Document[] =
    "\xFF\xFE<\0?\0x\0m\0l\0 \0v\0e\0r\0s\0i\0o\0n\0=\0\"\0001\0.\0000\0\"\0?\0>\0<\0q\0/\0>\0";

struct PathForms {
    bool hasNarrow = false;  // the ANSI code page may not hold the name
    std::string narrow;
    std::u16string wide;
    fs::path path;
};

struct FileModel {
    bool exists = false;
    std::string contents;
};

struct HandleModel {
    void* file = nullptr;  // null: the slot is free
    int index = 0;         // the file it is open on
    bool read = false;     // what the system lets it do
    bool write = false;
    bool noAccess = false;  // opened with neither access bit
    int shared = 0;         // locks held (natively at most one of either kind)
    bool exclusive = false;
};

const Velum_CHAR* U(const char16_t* text)
{
    return reinterpret_cast<const Velum_CHAR*>(text);
}

std::string Hex(long long value)
{
    char text[24];
    snprintf(text, sizeof text, value < 0 ? "-0x%llx" : "0x%llx",
             value < 0 ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value));
    return text;
}

// bytes for a message: printable ASCII as it is, the rest as \xNN, cut.
std::string Printable(const std::string& bytes)
{
    std::string text;
    for (size_t i = 0; i < bytes.size() && i < 80; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            text += static_cast<char>(c);
        } else {
            char escape[8];
            snprintf(escape, sizeof escape, "\\x%02x", c);
            text += escape;
        }
    }
    if (bytes.size() > 80)
        text += "... (" + std::to_string(bytes.size()) + " bytes)";
    return "\"" + text + "\"";
}

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteAll(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}

// Opens path through the library in whichever form reaches it exactly.
void* OpenExact(const fs::path& path, int flags)
{
#if defined(_WIN32)
    return openFile(reinterpret_cast<const Velum_CHAR*>(path.wstring().c_str()), flags);
#else
    return openFile(path.string().c_str(), flags);
#endif
}

// The narrow form of a wide path: the ANSI code page's on Windows, UTF-8
// natively; false when there is none (a character the code page lacks, an
// unpaired surrogate).
bool Narrow(const std::u16string& wide, std::string& narrow)
{
#if defined(_WIN32)
    const wchar_t* text = reinterpret_cast<const wchar_t*>(wide.c_str());
    BOOL lossy = FALSE;
    const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, nullptr, 0, nullptr, &lossy);
    if (length <= 0 || lossy)
        return false;
    narrow.assign(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, &narrow[0], length, nullptr, nullptr);
    narrow.resize(static_cast<size_t>(length) - 1);
    return true;
#else
    try {
        narrow = fs::path(wide).string();
        return true;
    } catch (const std::exception&) {
        return false;
    }
#endif
}

PathForms FormsOf(const fs::path& folder, const std::u16string& name)
{
    PathForms forms;
    forms.path = folder / fs::path(name);
    forms.wide = forms.path.u16string();
    forms.hasNarrow = Narrow(forms.wide, forms.narrow);
    return forms;
}

// Descriptors this process has open (natively); -1 when it cannot tell.
int OpenDescriptors()
{
#if defined(_WIN32)
    return -1;
#else
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr)
        return -1;
    int count = 0;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.')
            ++count;
    }
    closedir(dir);
    return count - 1;  // the folder's own
#endif
}

}  // namespace

struct FileSequence::State {
    fs::path folder;
    PathForms paths[kFiles];
    PathForms badPaths[kBadPaths];  // the null path's is unused
    FileModel files[kFiles];
    HandleModel handles[kHandles];
    std::vector<Document> documents;  // the last one empty
    // What serialize returns and leaves in a file, by document and encoding:
    // written once to a fresh file, so that every later write through a
    // handle with a history must give the same.
    std::vector<std::pair<bool, std::string>> written;
    // What a file of these bytes parses to (written out again as UTF-8),
    // "" when it does not parse.
    std::map<std::string, std::string> parsed;
    // What files get written with from outside the library: nothing, a
    // small document in UTF-8 and in UTF-16, text that is no document, and
    // a document longer than anything serialize writes here, so that a
    // write that does not cut the file first leaves a tail behind.
    std::vector<std::string> outsideTexts;
    std::vector<std::string> log;
    std::string finding;
    size_t step = 0;  // of this run, for the log
    size_t played = 0;
    size_t skipped = 0;
    Counts counts;
    int baseDescriptors = -1;

    explicit State(const fs::path& where);
    void Reset();
    void Step(StepBytes& bytes);
    void CloseAll(bool check);
    void CheckFiles();

    void Note(const std::string& text) { log.push_back("#" + std::to_string(step) + " " + text); }
    void Expect(bool ok, const std::string& what)
    {
        if (!ok && finding.empty())
            finding = log.empty() ? what : log.back() + ": " + what;
    }

    int Flags(StepBytes& bytes, bool open);
    int PickHandle(StepBytes& bytes);
    void Open(StepBytes& bytes);
    void Lock(StepBytes& bytes);
    void Close(int slot);
    void Serialize(StepBytes& bytes);
    void Parse(StepBytes& bytes);
    void Outside(StepBytes& bytes);

    bool OthersLock(const HandleModel& self, bool exclusiveOnly) const;
    bool AnyLock(int index) const;
    bool AnyOpen(int index) const;
    std::string Reparsed(void* file);
    std::string ParsedOf(const std::string& contents);
};

FileSequence::State::State(const fs::path& where) : folder(where)
{
    const std::u16string names[kFiles] = {
        u"a.xml",
        u"b c.xml",
        std::u16string(180, u'l') + u".xml",
        // Shift-JIS puts a backslash byte in the second half of these two.
        u"\u8A2D\u5B9A \u8868\u30BD.xml",
    };
    for (int i = 0; i < kFiles; ++i)
        paths[i] = FormsOf(folder, names[i]);
    const std::u16string inFolder = FormsOf(folder, u"x").wide;
    const std::u16string prefix = inFolder.substr(0, inFolder.size() - 1);
    const std::u16string badNames[kBadPaths] = {
        u"",
        u"",
        prefix + u".",
        prefix + u"missing/x.xml",
        prefix + std::u16string(300, u'n'),
#if defined(_WIN32)
        // Windows names such a file; only the POSIX build must refuse it.
        u"",
#else
        prefix + u"z\xD800.xml",
#endif
    };
    for (int i = 0; i < kBadPaths; ++i) {
        badPaths[i].wide = badNames[i];
        badPaths[i].hasNarrow = Narrow(badNames[i], badPaths[i].narrow);
    }

    Document plain = createDocument(U(u"1.0"), U(u"r"), U(u""));
    Document rich = createDocument(U(u"1.0"), U(u"\u8A2D\u5B9A"), U(u""));
    Element root = rich.getDocumentElement();
    root.setAttribute(U(u"a"), U(u"x\"<'&\u00E9"));
    root.appendChild(rich.createTextNode(U(u"text \u65E5\u672C ]]> --")));
    root.appendChild(rich.createComment(U(u"c-")));
    documents = {plain, rich, Document()};

    outsideTexts = {
        "",
        "<?xml version=\"1.0\"?><r a='1'>t</r>",
        std::string(kUtf16Document, sizeof kUtf16Document - 1),
        "not a document <",
        "<?xml version=\"1.0\"?><long>" + std::string(5000, 'x') + "</long>",
    };

    const fs::path reference = folder / "reference.bin";
    for (const Document& document : documents) {
        for (unsigned short encoding : kEncodings) {
            void* file = OpenExact(reference, 0x32);
            const bool result = file != nullptr && serialize(document, encoding, file);
            if (file != nullptr)
                closeFile(file);
            written.emplace_back(result, ReadAll(reference));
        }
    }
    std::error_code ignored;
    fs::remove(reference, ignored);
}

std::string FileSequence::State::Reparsed(void* file)
{
    Document document;
    try {
        document = parse(file);
    } catch (const VelumException&) {
        // A tree the tree operations refuse: a documented way to fail.
    }
    if (!document)
        return "";
    const fs::path out = folder / "reparsed.bin";
    void* target = OpenExact(out, 0x22);
    const bool ok = target != nullptr && serialize(document, 1, target);
    if (target != nullptr)
        closeFile(target);
    std::string bytes = ok ? ReadAll(out) : "(cannot write the parsed document)";
    std::error_code ignored;
    fs::remove(out, ignored);
    return bytes;
}

std::string FileSequence::State::ParsedOf(const std::string& contents)
{
    auto found = parsed.find(contents);
    if (found != parsed.end())
        return found->second;
    const fs::path in = folder / "parse-input.bin";
    WriteAll(in, contents);
    void* file = OpenExact(in, 0x13);
    std::string result = file != nullptr ? Reparsed(file) : "(cannot open the parse input)";
    if (file != nullptr)
        closeFile(file);
    std::error_code ignored;
    fs::remove(in, ignored);
    parsed[contents] = result;
    return result;
}

bool FileSequence::State::OthersLock(const HandleModel& self, bool exclusiveOnly) const
{
    for (const HandleModel& other : handles) {
        if (&other == &self || other.file == nullptr || other.index != self.index)
            continue;
        if (other.exclusive || (!exclusiveOnly && other.shared > 0))
            return true;
    }
    return false;
}

bool FileSequence::State::AnyLock(int index) const
{
    for (const HandleModel& handle : handles) {
        if (handle.file != nullptr && handle.index == index && (handle.exclusive || handle.shared > 0))
            return true;
    }
    return false;
}

bool FileSequence::State::AnyOpen(int index) const
{
    for (const HandleModel& handle : handles) {
        if (handle.file != nullptr && handle.index == index)
            return true;
    }
    return false;
}

// An open handle's slot, or -1 for the null handle: one call in eight, and
// every call while nothing is open.
int FileSequence::State::PickHandle(StepBytes& bytes)
{
    const int choice = bytes.next();
    int open[kHandles];
    int count = 0;
    for (int slot = 0; slot < kHandles; ++slot) {
        if (handles[slot].file != nullptr)
            open[count++] = slot;
    }
    if (count == 0 || choice % 8 == 0)
        return -1;
    return open[(choice / 8) % count];
}

// A flags value: one byte (every mode, access and lock bit with the unused
// bits around them), now and then with high bits or negative. Most are
// made a valid creation mode, half a shared or exclusive lock: few opens
// would succeed otherwise, and locks would seldom meet.
int FileSequence::State::Flags(StepBytes& bytes, bool open)
{
    const int form = bytes.next() % 8;
    int flags = bytes.next();
    if (form == 0)
        flags |= bytes.next() << 8;
    else if (form == 1)
        flags |= INT_MIN;
    else if (form >= 3 && open)
        flags = (flags & ~0x0F) | (1 + (flags & 0x0F) % 3);
    else if (form >= 4)
        flags = (flags & ~(SHARED | EXCLUSIVE | RELEASE)) | (flags & 1 ? SHARED : EXCLUSIVE);
    return flags;
}

void FileSequence::State::Open(StepBytes& bytes)
{
    const int slot = bytes.next() % kHandles;
    if (handles[slot].file != nullptr)
        Close(slot);
    // A quarter of the opens try a path that names no file; the others go
    // to the first file half the time, so that handles meet on one file.
    static const int kFileShares[8] = {0, 0, 0, 0, 1, 1, 2, 3};
    const int choice = bytes.next();
    const int target = choice % 4 == 0 ? kFiles + (choice / 4) % kBadPaths : kFileShares[(choice / 4) % 8];
    const bool wide = bytes.next() & 1;
    const int flags = Flags(bytes, true);
    const int mode = flags & 0x0F;

    void* file = nullptr;
    std::string name;
    bool expectOpen = false;
    bool maybe = false;  // either result is right; the model follows the call
    if (target < kFiles) {
        const PathForms& forms = paths[target];
        const bool narrow = !wide && forms.hasNarrow;
        name = "file " + std::to_string(target) + (narrow ? " narrow" : " wide");
        Note("open h" + std::to_string(slot) + " " + name + " flags " + Hex(flags));
        file = narrow ? openFile(forms.narrow.c_str(), flags) : openFile(U(forms.wide.c_str()), flags);
        const bool exists = files[target].exists;
        expectOpen = (mode == 1 && !exists) || mode == 2 || (mode == 3 && exists);
#if defined(_WIN32)
        // Windows may refuse to cut a file that other handles hold locks on.
        maybe = mode == 2 && AnyLock(target);
#endif
    } else {
        const int bad = target - kFiles;
        static const char* const labels[] = {"null", "empty", "the folder", "in a missing folder", "too long",
                                             "lone surrogate"};
        Note("open h" + std::to_string(slot) + " " + labels[bad] + " path" + (wide ? " wide" : " narrow") +
             " flags " + Hex(flags));
        const PathForms& forms = badPaths[bad];
        if (bad == NULL_PATH)
            file = wide ? openFile(static_cast<const Velum_CHAR*>(nullptr), flags)
                        : openFile(static_cast<const char*>(nullptr), flags);
        else if (wide || !forms.hasNarrow)
            file = openFile(U(forms.wide.c_str()), flags);
        else
            file = openFile(forms.narrow.c_str(), flags);
    }

    if (!maybe)
        Expect((file != nullptr) == expectOpen, expectOpen ? "did not open" : "opened");
    if (file == nullptr)
        return;
    ++counts.opened;
    for (const HandleModel& other : handles) {
        Expect(other.file != file, "returned a handle that is still open");
    }
    if (target >= kFiles) {
        // Nothing the model knows: close it and go on (the finding stands).
        closeFile(file);
        return;
    }
    HandleModel& handle = handles[slot];
    handle = HandleModel();
    handle.file = file;
    handle.index = target;
    handle.read = (flags & 0x10) != 0;
    handle.write = (flags & 0x20) != 0;
    handle.noAccess = !handle.read && !handle.write;
#if !defined(_WIN32)
    // Neither access bit opens for reading, the least POSIX has.
    if (handle.noAccess)
        handle.read = true;
#endif
    if (mode == 1 || mode == 2) {
        files[target].exists = true;
        files[target].contents.clear();
    }
}

void FileSequence::State::Lock(StepBytes& bytes)
{
    const int slot = PickHandle(bytes);
    const int flags = Flags(bytes, false);
    if (slot < 0) {
        Note("lock null flags " + Hex(flags));
        Expect(!lockFile(nullptr, flags), "a null handle locked");
        return;
    }
    HandleModel& handle = handles[slot];
    const bool release = (flags & RELEASE) != 0;
    const bool exclusive = !release && (flags & EXCLUSIVE) != 0;
    const bool shared = !release && !exclusive && (flags & SHARED) != 0;
    const bool wait = (flags & AT_ONCE) == 0;
    const std::string what = "lock h" + std::to_string(slot) + " flags " + Hex(flags);

    bool expected = true;
    bool maybe = false;
    // The call must wait for the locks of other handles, which another
    // thread lets go a moment later.
    bool waits = false;
#if defined(_WIN32)
    if (release) {
        expected = handle.exclusive || handle.shared > 0;
    } else if (exclusive || shared) {
        const bool own = exclusive && (handle.exclusive || handle.shared > 0);
        const bool others = OthersLock(handle, shared);
        if (own && wait) {
            Note(what + " skipped: would wait for its own lock forever");
            ++skipped;
            return;
        }
        waits = others && wait;
        expected = waits || !(own || others);
        // Windows wants an access right for a lock; Wine does not ask.
        maybe = expected && handle.noAccess;
    }
#else
    if (exclusive || shared) {
        // A lock the handle's access does not allow fails at once.
        const bool allowed = exclusive ? handle.write : handle.read;
        const bool conflict = OthersLock(handle, shared);
        waits = allowed && conflict && wait;
        expected = allowed && (!conflict || waits);
    }
#endif
    Note(what + (waits ? " while other handles hold locks" : ""));
    bool result;
    if (waits) {
        std::vector<int> holders;
        for (int other = 0; other < kHandles; ++other) {
            const HandleModel& h = handles[other];
            if (other != slot && h.file != nullptr && h.index == handle.index &&
                (h.exclusive || (exclusive && h.shared > 0)))
                holders.push_back(other);
        }
        bool released = true;
        std::thread releaser([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            for (int other : holders) {
#if defined(_WIN32)
                // Each lock is let go by a call of its own.
                const int locks = handles[other].shared + (handles[other].exclusive ? 1 : 0);
                for (int i = 0; i < locks; ++i)
                    released = lockFile(handles[other].file, RELEASE) && released;
#else
                released = lockFile(handles[other].file, RELEASE) && released;
#endif
            }
        });
        result = lockFile(handle.file, flags);
        releaser.join();
        ++counts.waited;
        Expect(released, "the other handles could not let their locks go");
        for (int other : holders) {
            handles[other].shared = 0;
            handles[other].exclusive = false;
        }
    } else {
        result = lockFile(handle.file, flags);
    }
    if (!maybe)
        Expect(result == expected, expected ? "failed" : "succeeded");
    ++(result ? counts.locked : counts.lockRefused);
    if (!result)
        return;
#if defined(_WIN32)
    if (release) {
        if (handle.exclusive)
            handle.exclusive = false;
        else
            --handle.shared;
    } else if (exclusive) {
        handle.exclusive = true;
    } else if (shared) {
        ++handle.shared;
    }
#else
    if (release || exclusive || shared) {
        handle.exclusive = exclusive;
        handle.shared = shared ? 1 : 0;
    }
#endif
}

void FileSequence::State::Close(int slot)
{
    Note("close h" + std::to_string(slot));
    Expect(closeFile(handles[slot].file), "failed");
    handles[slot] = HandleModel();
}

void FileSequence::State::Serialize(StepBytes& bytes)
{
    const int slot = PickHandle(bytes);
    const int documentIndex = bytes.next() % static_cast<int>(documents.size());
    const int encodingIndex = bytes.next() % kEncodingCount;
    const unsigned short encoding = kEncodings[encodingIndex];
    const std::string what = "serialize document " + std::to_string(documentIndex) + " encoding " +
                             std::to_string(encoding) + " to h" + std::to_string(slot);
    if (slot < 0) {
        Note("serialize to a null handle");
        Expect(!serialize(documents[static_cast<size_t>(documentIndex)], encoding, nullptr), "succeeded");
        return;
    }
    HandleModel& handle = handles[slot];
#if defined(_WIN32)
    if (handle.write && (handle.shared > 0 || OthersLock(handle, false))) {
        Note(what + " skipped: Windows bars the write, Wine does not");
        ++skipped;
        return;
    }
#endif
    Note(what);
    const bool result = serialize(documents[static_cast<size_t>(documentIndex)], encoding, handle.file);
    if (!handle.write) {
        Expect(!result, "succeeded without write access");
        return;
    }
    const auto& reference = written[static_cast<size_t>(documentIndex * kEncodingCount + encodingIndex)];
    Expect(result == reference.first, reference.first ? "failed" : "succeeded");
    counts.written += result;
    files[handle.index].contents = reference.second;
}

void FileSequence::State::Parse(StepBytes& bytes)
{
    const int slot = PickHandle(bytes);
    if (slot < 0) {
        Note("parse a null handle");
        Expect(!parse(nullptr), "gave a document");
        return;
    }
    HandleModel& handle = handles[slot];
#if defined(_WIN32)
    if (handle.read && OthersLock(handle, true)) {
        Note("parse h" + std::to_string(slot) + " skipped: Windows bars the read, Wine does not");
        ++skipped;
        return;
    }
#endif
    Note("parse h" + std::to_string(slot));
    const std::string got = Reparsed(handle.file);
    counts.parsed += !got.empty();
    const std::string expected = handle.read ? ParsedOf(files[handle.index].contents) : "";
    Expect(got == expected, "gave " + (got.empty() ? std::string("nothing") : Printable(got)) + " instead of " +
                                (expected.empty() ? std::string("nothing") : Printable(expected)));
}

// Another program writes or deletes a file.
void FileSequence::State::Outside(StepBytes& bytes)
{
    const int index = bytes.next() % kFiles;
    const int choice = bytes.next() % static_cast<int>(outsideTexts.size() + 1);
    FileModel& file = files[index];
    if (choice == static_cast<int>(outsideTexts.size())) {
        // Deleting an open file is another matter on each system; not here.
        if (AnyOpen(index))
            return;
        Note("delete file " + std::to_string(index));
        std::error_code ignored;
        fs::remove(paths[index].path, ignored);
        file.exists = false;
        file.contents.clear();
        return;
    }
#if defined(_WIN32)
    if (AnyLock(index))
        return;
#endif
    const std::string& text = outsideTexts[static_cast<size_t>(choice)];
    Note("write file " + std::to_string(index) + " from outside: " + Printable(text));
    Expect(WriteAll(paths[index].path, text), "the outside write failed");
    file.exists = true;
    file.contents = text;
}

void FileSequence::State::CheckFiles()
{
    for (int i = 0; i < kFiles; ++i) {
        std::error_code error;
        const bool exists = fs::exists(paths[i].path, error);
        Expect(exists == files[i].exists,
               "file " + std::to_string(i) + (exists ? " exists" : " is missing") + " after the step");
        if (!exists || !files[i].exists)
            continue;
#if defined(_WIN32)
        // A reader of its own is barred by an exclusive lock on Windows.
        bool barred = false;
        for (const HandleModel& handle : handles)
            barred = barred || (handle.file != nullptr && handle.index == i && handle.exclusive);
        if (barred)
            continue;
#endif
        const std::string contents = ReadAll(paths[i].path);
        Expect(contents == files[i].contents, "file " + std::to_string(i) + " holds " + Printable(contents) +
                                                  " instead of " + Printable(files[i].contents));
    }
    if (baseDescriptors >= 0) {
        int open = 0;
        for (const HandleModel& handle : handles)
            open += handle.file != nullptr;
        const int now = OpenDescriptors();
        Expect(now == baseDescriptors + open, std::to_string(now - baseDescriptors) + " descriptors open for " +
                                                  std::to_string(open) + " handles");
    }
}

void FileSequence::State::Step(StepBytes& bytes)
{
    int operation = bytes.next() % 16;
    // With nothing open, most calls on a handle become an open, or the
    // null handle would get most of them.
    bool anyOpen = false;
    for (const HandleModel& handle : handles)
        anyOpen = anyOpen || handle.file != nullptr;
    if (!anyOpen && operation >= 3 && operation < 13 && operation != 12)
        operation = 0;
    if (operation < 3) {
        Open(bytes);
    } else if (operation < 7) {
        Lock(bytes);
    } else if (operation == 7) {
        const int slot = PickHandle(bytes);
        if (slot >= 0) {
            Close(slot);
        } else {
            Note("close null");
            Expect(!closeFile(nullptr), "a null handle closed");
        }
    } else if (operation < 10) {
        Serialize(bytes);
    } else if (operation < 13) {
        Parse(bytes);
    } else {
        Outside(bytes);
    }
}

void FileSequence::State::CloseAll(bool check)
{
    for (int slot = 0; slot < kHandles; ++slot) {
        if (handles[slot].file == nullptr)
            continue;
        if (check) {
            Close(slot);
        } else {
            closeFile(handles[slot].file);
            handles[slot] = HandleModel();
        }
    }
}

void FileSequence::State::Reset()
{
    CloseAll(false);
    for (int i = 0; i < kFiles; ++i) {
        std::error_code ignored;
        fs::remove(paths[i].path, ignored);
        files[i] = FileModel();
    }
    log.clear();
    finding.clear();
}

FileSequence::FileSequence(const fs::path& folder) : m_state(new State(folder)) {}

FileSequence::~FileSequence()
{
    m_state->Reset();
}

std::string FileSequence::run(StepBytes& bytes, size_t maxSteps)
{
    State& s = *m_state;
    s.Reset();
    s.baseDescriptors = OpenDescriptors();
    for (s.step = 0; s.step < maxSteps && !bytes.empty() && s.finding.empty(); ++s.step) {
        s.Step(bytes);
        ++s.played;
        if (s.finding.empty())
            s.CheckFiles();
    }
    if (s.finding.empty()) {
        s.CloseAll(true);
        s.CheckFiles();
    }
#if defined(_WIN32)
    // Windows deletes no file that a handle without delete sharing holds
    // open: a file that cannot go now has a handle that closeFile left open.
    for (int i = 0; i < kFiles && s.finding.empty(); ++i) {
        if (s.files[i].exists && !DeleteFileW(reinterpret_cast<const wchar_t*>(s.paths[i].wide.c_str())))
            s.Expect(false, "file " + std::to_string(i) + " is still held open after every handle was closed");
    }
#endif
    if (s.finding.empty())
        return "";
    std::string report = "steps:\n";
    for (const std::string& line : s.log)
        report += "  " + line + "\n";
    return report + "FINDING: " + s.finding;
}

size_t FileSequence::played() const
{
    return m_state->played;
}

size_t FileSequence::skipped() const
{
    return m_state->skipped;
}

FileSequence::Counts FileSequence::counts() const
{
    return m_state->counts;
}

}  // namespace filemodel
