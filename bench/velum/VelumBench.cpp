// Velum against pugixml, tinyxml2 and libxml2 on the same files, which this
// program writes itself from a fixed seed:
//   (1) a settings file of 10,000 commands, UTF-8;
//   (2) the same kind of file with 100,000 commands;
//   (3) a generic document of about 20 MB: entities, character references,
//       comments, CDATA sections and mixed content;
//   (4) file (1) in UTF-16 little-endian with a byte-order mark.
// Every library does, per file: parse into a tree, walk it (elements,
// attributes, code points of text and attribute values), serialize it to a
// file, free it. The figures are medians of CPU time over interleaved
// rounds (A B C D, A B C D, ...), so that drift in the machine's speed hits
// all alike. The memory a tree occupies is the growth of the resident size
// across a parse.
// With --callgrind each parse, and each serialize, is also run once in a
// process of its own under callgrind, which counts that step alone.
//
//   velum_bench [--data DIR] [--rounds N] [--callgrind] [--quick] [--only LIBRARY,...]
//   velum_bench --generate DIR
//   velum_bench --parse-once LIBRARY FILE      (what callgrind runs)
//   velum_bench --serialize-once LIBRARY FILE
//   velum_bench --free-once LIBRARY FILE       (the release of a parsed tree)
#include "velum/Velum.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <pugixml.hpp>
#include <tinyxml2.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <malloc.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#if __has_include(<valgrind/callgrind.h>)
#  include <valgrind/callgrind.h>
#  define BENCH_HAVE_CALLGRIND 1
#else
#  define CALLGRIND_START_INSTRUMENTATION
#  define CALLGRIND_STOP_INSTRUMENTATION
#  define BENCH_HAVE_CALLGRIND 0
#endif

namespace {

// ---------------------------------------------------------------------------
// Generated input
// ---------------------------------------------------------------------------

// splitmix64: the same sequence on every platform and standard library, so
// the files are the same bytes everywhere.
class Random {
public:
    explicit Random(uint64_t seed) : m_state(seed) {}
    uint64_t next()
    {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    unsigned below(unsigned n) { return static_cast<unsigned>(next() % n); }
    bool percent(unsigned p) { return below(100) < p; }
    template <size_t N>
    const char* pick(const char* const (&items)[N]) { return items[below(N)]; }

private:
    uint64_t m_state;
};

const char* const kAsciiWords[] = {
    "notepad", "calc", "mail", "web", "term", "edit", "paint", "music", "video", "backup",
    "sync", "ftp", "ssh", "news", "todo", "diary", "photo", "scan", "print", "zip",
    "build", "deploy", "logs", "chat", "game", "maps", "docs", "sheet", "slides", "clock",
};
const char* const kJapaneseWords[] = {
    "メモ帳", "電卓", "設定", "日記", "写真", "音楽", "予定表", "報告書", "会議", "辞書",
    "翻訳", "地図", "天気", "家計簿", "住所録", "請求書", "見積書", "議事録", "名簿", "原稿",
};
const char* const kVendors[] = {"Pellor", "Orbis", "Kestrel", "Umbra", "Fennec", "Lumen"};
const char* const kTextWords[] = {
    "the", "quick", "brown", "fox", "jumps", "over", "lazy", "dog", "value", "index",
    "parser", "tree", "node", "element", "attribute", "stream", "buffer", "memory", "speed", "result",
    "of", "and", "to", "in", "is", "for", "with", "on", "as", "by",
};

// Escaped as a writer of this kind of file escapes: the markup characters
// and, in attribute values, the quotation mark.
void AppendEscaped(std::string& out, const std::string& text, bool attribute)
{
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"':
            if (attribute)
                out += "&quot;";
            else
                out += c;
            break;
        default: out += c;
        }
    }
}

std::string CommandWord(Random& random, unsigned index)
{
    const char* base = random.percent(20) ? random.pick(kJapaneseWords) : random.pick(kAsciiWords);
    return base + std::to_string(index);
}

std::string CommandLine(Random& random)
{
    if (random.percent(20)) {
        switch (random.below(3)) {
        case 0: return std::string("C:\\ユーザー\\文書\\") + random.pick(kJapaneseWords) + ".txt";
        case 1:
            return std::string("\"D:\\写真\\") + std::to_string(2000 + random.below(10)) + "年\\" +
                   random.pick(kJapaneseWords) + ".jpg\"";
        default:
            return std::string("\"C:\\プログラム\\") + random.pick(kJapaneseWords) + "\\" +
                   random.pick(kAsciiWords) + ".exe\" %1 %2";
        }
    }
    switch (random.below(4)) {
    case 0:
        return std::string("\"C:\\Program Files\\") + random.pick(kVendors) + "\\" + random.pick(kAsciiWords) +
               ".exe\" /open \"%1\"";
    case 1: return std::string("C:\\Windows\\system32\\") + random.pick(kAsciiWords) + ".exe %0";
    case 2:
        return std::string("http://www.example.com/search?q=%1&lang=en&page=") + std::to_string(random.below(50));
    default:
        return std::string("%SystemRoot%\\explorer.exe /e,\"D:\\work\\") + random.pick(kAsciiWords) + "\"";
    }
}

// The settings file of the launcher, as its writer lays it out: CR LF and
// TAB whitespace text nodes, the history between its two comments.
std::string SettingsDocument(unsigned commands, const char* encodingName, uint64_t seed)
{
    Random random(seed);
    std::string out;
    out.reserve(commands * 170u + 40000u);
    out += "<?xml version=\"1.0\" encoding=\"";
    out += encodingName;
    out += "\" standalone=\"no\"?>\n";
    out += "<TarnicSettings xmlns=\"http://www.example.jp/namespaceURI/Tarnic\""
           " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
           " xsi:schemaLocation=\"http://www.example.jp/namespaceURI/Tarnic"
           " http://www.example.jp/namespaceURI/Tarnic-2.21.4.xsd\" version=\"2.22.08\">";
    out += "\r\n\t<WindowInfo x=\"412\" y=\"-36\" cx=\"520\" cy=\"26\" TextColor=\"#1a2b3c\" BgColor=\"#fffff0\""
           " FontFace=\"ＭＳ Ｐゴシック\" FontSize=\"10\" FontBold=\"1\" FontItalic=\"0\" FontStrike=\"0\""
           " FontUnderline=\"0\" Transparency=\"230\"/>";
    out += "\r\n\t<CommandList>";
    std::vector<std::string> words;
    words.reserve(commands);
    for (unsigned i = 0; i < commands; ++i) {
        words.push_back(CommandWord(random, i));
        out += "\r\n\t\t<command command=\"";
        AppendEscaped(out, words.back(), true);
        out += "\">";
        const unsigned lines = 1 + random.below(2);
        for (unsigned j = 0; j < lines; ++j) {
            out += "\r\n\t\t\t<commandline>";
            AppendEscaped(out, CommandLine(random), false);
            out += "</commandline>";
        }
        out += "\r\n\t\t</command>";
    }
    out += "\r\n\t</CommandList>";
    out += "\r\n\t<InputHistory size=\"255\" IntelliSense=\"1\">\r\n\t\t<!--↑older↑-->";
    for (unsigned i = 0; i < 255; ++i) {
        out += "\r\n\t\t<input>";
        AppendEscaped(out, words[random.below(commands)] + (random.percent(50) ? " " + CommandLine(random) : ""),
                      false);
        out += "</input>";
    }
    out += "\r\n\t\t<!--↓newer↓-->\r\n\t</InputHistory>";
    out += "\r\n\t<Others Stationed=\"1\" HotKey=\"0641\" AutoComplete=\"1\" IntelliSense=\"1\""
           " ApplyReservedCommand=\"1\"/>\r\n";
    out += "</TarnicSettings>";
    return out;
}

// A sentence with the references every peer understands: the five XML
// entities and numeric character references (no HTML names such as nbsp,
// which only Velum knows).
void AppendSentence(std::string& out, Random& random)
{
    static const char* const references[] = {
        "&amp;", "&lt;", "&gt;", "&quot;", "&apos;", "&#x263A;", "&#169;", "&#12354;", "&#x3042;", "&#160;",
    };
    const unsigned words = 4 + random.below(14);
    for (unsigned i = 0; i < words; ++i) {
        if (i > 0)
            out += ' ';
        const unsigned roll = random.below(100);
        if (roll < 8)
            out += random.pick(references);
        else if (roll < 18)
            out += random.pick(kJapaneseWords);
        else
            out += random.pick(kTextWords);
    }
    out += '.';
}

void AppendIndent(std::string& out, unsigned depth)
{
    out += '\n';
    out.append(depth * 2, ' ');
}

// One section: a heading, paragraphs of mixed content, lists, code in CDATA,
// comments, and nested sections down to a fixed depth.
void AppendSection(std::string& out, Random& random, unsigned depth, unsigned& serial)
{
    AppendIndent(out, depth);
    out += "<section id=\"s" + std::to_string(serial++) + "\" level=\"" + std::to_string(depth) + "\"";
    if (random.percent(30))
        out += " title=\"A &amp; B &lt;" + std::to_string(random.below(1000)) + "&gt;\"";
    out += '>';
    AppendIndent(out, depth + 1);
    out += "<title>";
    AppendSentence(out, random);
    out += "</title>";
    const unsigned items = 3 + random.below(6);
    for (unsigned i = 0; i < items; ++i) {
        const unsigned kind = random.below(10);
        if (kind < 5) {
            AppendIndent(out, depth + 1);
            out += "<para>";
            AppendSentence(out, random);
            out += " <b>";
            out += random.pick(kTextWords);
            out += "</b> ";
            AppendSentence(out, random);
            if (random.percent(40)) {
                out += " <a href=\"http://example.com/doc?id=" + std::to_string(random.below(100000)) +
                       "&amp;lang=ja\">";
                out += random.pick(kJapaneseWords);
                out += "</a>";
            }
            out += " <i>";
            AppendSentence(out, random);
            out += "</i></para>";
        } else if (kind < 7) {
            AppendIndent(out, depth + 1);
            out += "<list type=\"" + std::string(random.percent(50) ? "bullet" : "number") + "\">";
            const unsigned entries = 2 + random.below(5);
            for (unsigned j = 0; j < entries; ++j) {
                AppendIndent(out, depth + 2);
                out += "<item n=\"" + std::to_string(j) + "\">";
                AppendSentence(out, random);
                out += "</item>";
            }
            AppendIndent(out, depth + 1);
            out += "</list>";
        } else if (kind < 8) {
            AppendIndent(out, depth + 1);
            out += "<code lang=\"cpp\"><![CDATA[if (a < b && c > d) { return \"<tag>\" + std::to_string(" +
                   std::to_string(random.below(1000)) + "); }]]></code>";
        } else if (kind < 9) {
            AppendIndent(out, depth + 1);
            out += "<!-- note " + std::to_string(random.below(100000)) + ": reviewed, see section s" +
                   std::to_string(random.below(serial)) + " -->";
        } else if (depth < 4) {
            AppendSection(out, random, depth + 1, serial);
        }
    }
    AppendIndent(out, depth);
    out += "</section>";
}

std::string GenericDocument(size_t targetBytes, uint64_t seed)
{
    Random random(seed);
    std::string out;
    out.reserve(targetBytes + 65536);
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- generated by velum_bench -->\n";
    out += "<library generator=\"velum_bench\" seed=\"" + std::to_string(seed) + "\">";
    unsigned serial = 0;
    while (out.size() < targetBytes)
        AppendSection(out, random, 1, serial);
    out += "\n</library>\n";
    return out;
}

// UTF-8 (as generated here: no invalid sequences) to UTF-16 little-endian
// bytes behind a byte-order mark.
std::string Utf16LeWithMark(const std::string& utf8)
{
    std::string out("\xFF\xFE", 2);
    out.reserve(utf8.size() * 2 + 2);
    auto put = [&out](unsigned unit) {
        out += static_cast<char>(unit & 0xFF);
        out += static_cast<char>(unit >> 8);
    };
    for (size_t i = 0; i < utf8.size();) {
        const unsigned char lead = static_cast<unsigned char>(utf8[i]);
        unsigned cp;
        size_t length;
        if (lead < 0x80) {
            cp = lead;
            length = 1;
        } else if (lead < 0xE0) {
            cp = lead & 0x1F;
            length = 2;
        } else if (lead < 0xF0) {
            cp = lead & 0x0F;
            length = 3;
        } else {
            cp = lead & 0x07;
            length = 4;
        }
        for (size_t k = 1; k < length; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += length;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            put(0xD800 + (cp >> 10));
            put(0xDC00 + (cp & 0x3FF));
        } else {
            put(cp);
        }
    }
    return out;
}

struct BenchFile {
    const char* name;        // file name in the data folder
    const char* title;
    bool utf16;
    bool settings;           // settings-like: the tinyxml2 instruction target applies
    std::string path;
    size_t bytes;
};

std::vector<BenchFile> FileSet(const std::string& folder)
{
    std::vector<BenchFile> files = {
        {"settings-10k.xml", "(1) settings, 10,000 commands, UTF-8", false, true, "", 0},
        {"settings-100k.xml", "(2) settings, 100,000 commands, UTF-8", false, true, "", 0},
        {"generic-20mb.xml", "(3) generic document, ~20 MB, UTF-8", false, false, "", 0},
        {"settings-10k-utf16le.xml", "(4) settings, 10,000 commands, UTF-16 LE with BOM", true, true, "", 0},
    };
    for (BenchFile& file : files)
        file.path = folder + "/" + file.name;
    return files;
}

bool WriteWhole(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool Generate(std::vector<BenchFile>& files, const std::string& folder, bool quick)
{
    mkdir(folder.c_str(), 0777);
    const unsigned scale = quick ? 10 : 1;
    const uint64_t seed = 20240611;
    const std::string settings10k = SettingsDocument(10000 / scale, "UTF-8", seed);
    const std::string contents[] = {
        settings10k,
        SettingsDocument(100000 / scale, "UTF-8", seed + 1),
        GenericDocument(20u * 1000 * 1000 / scale, seed + 2),
        Utf16LeWithMark(SettingsDocument(10000 / scale, "UTF-16", seed)),
    };
    for (size_t i = 0; i < files.size(); ++i) {
        if (!WriteWhole(files[i].path, contents[i])) {
            fprintf(stderr, "velum_bench: cannot write %s\n", files[i].path.c_str());
            return false;
        }
        files[i].bytes = contents[i].size();
    }
    return true;
}

// ---------------------------------------------------------------------------
// The four libraries behind one interface
// ---------------------------------------------------------------------------

struct Counts {
    uint64_t elements = 0;
    uint64_t attributes = 0;
    uint64_t chars = 0;  // code points of text, CDATA and attribute values
};

uint64_t Utf8CodePoints(const char* text)
{
    uint64_t n = 0;
    if (text != nullptr)
        for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
            n += (*p & 0xC0) != 0x80;
    return n;
}

class Library {
public:
    virtual ~Library() = default;
    virtual const char* name() const = 0;
    virtual bool readsUtf16() const { return true; }
    // False when the file does not parse; the tree is then already gone.
    virtual bool parse(const std::string& path) = 0;
    virtual Counts walk() = 0;
    virtual bool serialize(const std::string& path, bool utf16) = 0;
    virtual void release() = 0;
};

std::string VelumText(const Velum::VelumString& text)
{
    std::string out;
    const Velum::Velum_CHAR* chars = text;
    for (unsigned long i = 0; i < text.getLength(); ++i)
        out += chars[i] < 0x80 ? static_cast<char>(chars[i]) : '?';
    return out;
}

class VelumLibrary : public Library {
public:
    const char* name() const override { return "velum"; }
    bool parse(const std::string& path) override
    {
        void* file = Velum::openFile(path.c_str(), 0x13);  // existing file, read access
        if (file == nullptr)
            return false;
        try {
            m_document = Velum::parse(file);
        } catch (const Velum::VelumException& e) {
            fprintf(stderr, "velum: VelumException %u while parsing %s\n", e.m_code, path.c_str());
            m_document = Velum::Document();
        }
        Velum::closeFile(file);
        if (!m_document)
            fprintf(stderr, "velum: %s: %s\n", path.c_str(), VelumText(Velum::m_errorMessage).c_str());
        return static_cast<bool>(m_document);
    }
    Counts walk() override
    {
        // Through the handles, as a caller of the library walks: a child list
        // and an index per level, since stepping from sibling to sibling
        // searches the parent's list each time.
        Counts counts;
        struct Level {
            Velum::NodeList children;
            unsigned long length;
            unsigned long next;
        };
        std::vector<Level> stack;
        Velum::NodeList top = m_document.getChildNodes();
        stack.push_back(Level{top, top.getLength(), 0});
        while (!stack.empty()) {
            if (stack.back().next == stack.back().length) {
                stack.pop_back();
                continue;
            }
            Velum::Node node = stack.back().children.item(stack.back().next++);
            switch (node.getNodeType()) {
            case Velum::ELEMENT_NODE: {
                ++counts.elements;
                Velum::NamedNodeMap attributes = node.getAttributes();
                const unsigned long count = attributes.getLength();
                counts.attributes += count;
                for (unsigned long i = 0; i < count; ++i)
                    counts.chars += CodePoints(attributes.item(i).getNodeValue());
                if (node.hasChildNodes()) {
                    Velum::NodeList children = node.getChildNodes();
                    stack.push_back(Level{children, children.getLength(), 0});
                }
                break;
            }
            case Velum::TEXT_NODE:
            case Velum::CDATA_SECTION_NODE: counts.chars += CodePoints(node.getNodeValue()); break;
            default: break;
            }
        }
        return counts;
    }
    bool serialize(const std::string& path, bool utf16) override
    {
        void* file = Velum::openFile(path.c_str(), 0x22);  // always create, write access
        if (file == nullptr)
            return false;
        const bool written =
            Velum::serialize(m_document, utf16 ? Velum::ENCODING_UTF16LE : Velum::ENCODING_UTF8, file);
        return Velum::closeFile(file) && written;
    }
    void release() override { m_document = Velum::Document(); }

private:
    static uint64_t CodePoints(const Velum::VelumString& text)
    {
        const Velum::Velum_CHAR* chars = text;
        const unsigned long length = text.getLength();
        uint64_t n = 0;
        for (unsigned long i = 0; i < length; ++i)
            n += chars[i] < 0xDC00 || chars[i] > 0xDFFF;
        return n;
    }

    Velum::Document m_document;
};

class PugixmlLibrary : public Library {
public:
    const char* name() const override { return "pugixml"; }
    bool parse(const std::string& path) override
    {
        // Whitespace-only text and comments kept, as the other three keep them.
        const pugi::xml_parse_result result =
            m_document.load_file(path.c_str(), pugi::parse_default | pugi::parse_ws_pcdata | pugi::parse_comments);
        if (!result)
            fprintf(stderr, "pugixml: %s: %s at %td\n", path.c_str(), result.description(), result.offset);
        return static_cast<bool>(result);
    }
    Counts walk() override
    {
        Counts counts;
        pugi::xml_node node = m_document.first_child();
        while (node) {
            switch (node.type()) {
            case pugi::node_element:
                ++counts.elements;
                for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
                    ++counts.attributes;
                    counts.chars += Utf8CodePoints(a.value());
                }
                break;
            case pugi::node_pcdata:
            case pugi::node_cdata: counts.chars += Utf8CodePoints(node.value()); break;
            default: break;
            }
            if (node.first_child()) {
                node = node.first_child();
                continue;
            }
            while (node && !node.next_sibling())
                node = node.parent();
            if (node)
                node = node.next_sibling();
        }
        return counts;
    }
    bool serialize(const std::string& path, bool utf16) override
    {
        return m_document.save_file(path.c_str(), "", pugi::format_raw | (utf16 ? pugi::format_write_bom : 0),
                                    utf16 ? pugi::encoding_utf16_le : pugi::encoding_utf8);
    }
    void release() override { m_document.reset(); }

private:
    pugi::xml_document m_document;
};

class Tinyxml2Library : public Library {
public:
    const char* name() const override { return "tinyxml2"; }
    bool readsUtf16() const override { return false; }
    bool parse(const std::string& path) override
    {
        // A new document each time: Clear() keeps the node pools for reuse,
        // which would hide the tree's memory from the heap figure.
        m_document.reset(new tinyxml2::XMLDocument(true, tinyxml2::PRESERVE_WHITESPACE));
        const tinyxml2::XMLError error = m_document->LoadFile(path.c_str());
        if (error != tinyxml2::XML_SUCCESS) {
            fprintf(stderr, "tinyxml2: %s: %s\n", path.c_str(), m_document->ErrorStr());
            m_document.reset();
        }
        return error == tinyxml2::XML_SUCCESS;
    }
    Counts walk() override
    {
        Counts counts;
        const tinyxml2::XMLNode* node = m_document->FirstChild();
        while (node != nullptr) {
            if (const tinyxml2::XMLElement* element = node->ToElement()) {
                ++counts.elements;
                for (const tinyxml2::XMLAttribute* a = element->FirstAttribute(); a; a = a->Next()) {
                    ++counts.attributes;
                    counts.chars += Utf8CodePoints(a->Value());
                }
            } else if (node->ToText() != nullptr) {
                counts.chars += Utf8CodePoints(node->Value());
            }
            if (node->FirstChild() != nullptr) {
                node = node->FirstChild();
                continue;
            }
            while (node != nullptr && node->NextSibling() == nullptr)
                node = node->Parent();
            if (node != nullptr)
                node = node->NextSibling();
        }
        return counts;
    }
    bool serialize(const std::string& path, bool) override
    {
        return m_document->SaveFile(path.c_str(), true) == tinyxml2::XML_SUCCESS;
    }
    void release() override { m_document.reset(); }

private:
    // Entities decoded, whitespace kept inside text: the closest it comes to
    // the others (this version drops whitespace-only text nodes all the same).
    std::unique_ptr<tinyxml2::XMLDocument> m_document;
};

class Libxml2Library : public Library {
public:
    const char* name() const override { return "libxml2"; }
    ~Libxml2Library() override { release(); }
    bool parse(const std::string& path) override
    {
        m_document = xmlReadFile(path.c_str(), nullptr, XML_PARSE_NONET);
        if (m_document == nullptr) {
            const xmlError* error = xmlGetLastError();
            fprintf(stderr, "libxml2: %s: %s", path.c_str(), error && error->message ? error->message : "failed\n");
        }
        return m_document != nullptr;
    }
    Counts walk() override
    {
        Counts counts;
        const xmlNode* root = reinterpret_cast<const xmlNode*>(m_document);
        const xmlNode* node = m_document->children;
        while (node != nullptr) {
            switch (node->type) {
            case XML_ELEMENT_NODE:
                ++counts.elements;
                // Namespace declarations are attributes in the other trees.
                for (const xmlNs* ns = node->nsDef; ns; ns = ns->next) {
                    ++counts.attributes;
                    counts.chars += Utf8CodePoints(reinterpret_cast<const char*>(ns->href));
                }
                for (const xmlAttr* a = node->properties; a; a = a->next) {
                    ++counts.attributes;
                    for (const xmlNode* t = a->children; t; t = t->next)
                        counts.chars += Utf8CodePoints(reinterpret_cast<const char*>(t->content));
                }
                break;
            case XML_TEXT_NODE:
            case XML_CDATA_SECTION_NODE:
                counts.chars += Utf8CodePoints(reinterpret_cast<const char*>(node->content));
                break;
            default: break;
            }
            if (node->type == XML_ELEMENT_NODE && node->children != nullptr) {
                node = node->children;
                continue;
            }
            while (node != root && node->next == nullptr)
                node = node->parent;
            node = node == root ? nullptr : node->next;
        }
        return counts;
    }
    bool serialize(const std::string& path, bool) override
    {
        // In the encoding the document declares, as the others write.
        return xmlSaveFile(path.c_str(), m_document) >= 0;
    }
    void release() override
    {
        if (m_document != nullptr)
            xmlFreeDoc(m_document);
        m_document = nullptr;
    }

private:
    xmlDoc* m_document = nullptr;
};

std::vector<std::unique_ptr<Library>> Libraries()
{
    std::vector<std::unique_ptr<Library>> libraries;
    libraries.emplace_back(new VelumLibrary);
    libraries.emplace_back(new PugixmlLibrary);
    libraries.emplace_back(new Tinyxml2Library);
    libraries.emplace_back(new Libxml2Library);
    return libraries;
}

// ---------------------------------------------------------------------------
// Measuring
// ---------------------------------------------------------------------------

// The process's CPU time (user and system), not the wall clock: the machine
// may be shared with builds, and time spent waiting for a processor is not
// the library's. Page faults and file system calls count, as they should.
struct Clock {
    using time_point = double;
    static time_point now()
    {
        struct timespec now;
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
        return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9;
    }
};

double Seconds(Clock::time_point from, Clock::time_point to)
{
    return to - from;
}

struct Sample {
    double parse = 0, walk = 0, serialize = 0, release = 0;
    double total() const { return parse + walk + serialize + release; }
};

bool RunOnce(Library& library, const BenchFile& file, const std::string& output, Sample& sample, Counts& counts)
{
    const Clock::time_point t0 = Clock::now();
    if (!library.parse(file.path))
        return false;
    const Clock::time_point t1 = Clock::now();
    counts = library.walk();
    const Clock::time_point t2 = Clock::now();
    const bool written = library.serialize(output, file.utf16);
    const Clock::time_point t3 = Clock::now();
    library.release();
    // Settles the allocator (merges the freed chunks, returns the top of the
    // heap): without it the library that runs next inherits millions of
    // small free chunks and pays for their consolidation in its parse.
    malloc_trim(0);
    const Clock::time_point t4 = Clock::now();
    sample.parse = Seconds(t0, t1);
    sample.walk = Seconds(t1, t2);
    sample.serialize = Seconds(t2, t3);
    sample.release = Seconds(t3, t4);
    if (!written)
        fprintf(stderr, "%s: serializing %s failed\n", library.name(), file.name);
    return written;
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// Allocations made while g_countAllocations is set: the benchmark puts its
// own malloc, calloc, realloc and aligned allocators in front of glibc's
// (the libraries' calls, operator new's included, resolve to these first),
// each counting one and handing the call on.
bool g_countAllocations = false;
uint64_t g_allocations = 0;

}  // namespace

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);

void* malloc(size_t bytes) noexcept
{
    g_allocations += g_countAllocations;
    return __libc_malloc(bytes);
}

void* calloc(size_t count, size_t bytes) noexcept
{
    g_allocations += g_countAllocations;
    return __libc_calloc(count, bytes);
}

void* realloc(void* block, size_t bytes) noexcept
{
    g_allocations += g_countAllocations;
    return __libc_realloc(block, bytes);
}

void* aligned_alloc(size_t alignment, size_t bytes) noexcept
{
    g_allocations += g_countAllocations;
    return __libc_memalign(alignment, bytes);
}

int posix_memalign(void** block, size_t alignment, size_t bytes) noexcept
{
    g_allocations += g_countAllocations;
    *block = __libc_memalign(alignment, bytes);
    return *block != nullptr ? 0 : ENOMEM;
}
}

namespace {

// Resident bytes of the process. A library may take its memory in chunks
// of its own (Velum maps its small-block chunks directly), which the
// allocator's own figures would miss; after malloc_trim the resident size
// moves with what the tree really occupies, allocator overhead included.
size_t HeapInUse()
{
    long total = 0, resident = 0;
    FILE* statm = fopen("/proc/self/statm", "r");
    if (statm != nullptr) {
        if (fscanf(statm, "%ld %ld", &total, &resident) != 2)
            resident = 0;
        fclose(statm);
    }
    return static_cast<size_t>(resident) * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

std::string SelfPath();
std::string ShellQuote(const std::string& text);

// The memory a parsed tree holds: the growth of the resident size across
// one parse in a process of its own (--heap-once), once the library's file
// buffers are freed and trimmed. In this long-running process the figure
// would miss memory that earlier rounds left resident and the parse reused.
// Zero when it cannot be measured, shown as n/a.
// allocations: the calls the parse made to the allocator (in this process).
size_t TreeHeap(Library& library, const BenchFile& file, uint64_t& allocations)
{
    library.release();
    malloc_trim(0);
    g_allocations = 0;
    g_countAllocations = true;
    const bool parsed = library.parse(file.path);
    g_countAllocations = false;
    allocations = g_allocations;
    library.release();
    if (!parsed)
        return 0;
    const std::string command =
        ShellQuote(SelfPath()) + " --heap-once " + library.name() + " " + ShellQuote(file.path) + " 2>/dev/null";
    FILE* child = popen(command.c_str(), "r");
    if (child == nullptr)
        return 0;
    unsigned long long bytes = 0;
    if (fscanf(child, "heap %llu", &bytes) != 1)
        bytes = 0;
    pclose(child);
    return static_cast<size_t>(bytes);
}

struct Result {
    bool selected = true;    // not left out by --only
    bool supported = true;
    bool ok = true;
    Counts counts;
    Sample median;
    size_t heap = 0;
    uint64_t allocations = 0;       // allocator calls of one parse
    double instructions = -1;       // callgrind Ir of one parse; < 0 when not counted
    double writeInstructions = -1;  // the same for one serialize
    double freeInstructions = -1;   // the same for freeing the parsed tree
};

// ---------------------------------------------------------------------------
// callgrind: one parse (or one serialize) of one file by one library per
// process, the step alone counted
// ---------------------------------------------------------------------------

enum Step { PARSE, SERIALIZE, FREE };

// One parse in a fresh process; prints "heap BYTES", the growth of the
// resident size.
int HeapOnce(const std::string& libraryName, const std::string& path)
{
    std::unique_ptr<Library> chosen;
    for (auto& library : Libraries())
        if (libraryName == library->name())
            chosen = std::move(library);
    if (!chosen)
        return 2;
    xmlInitParser();
    malloc_trim(0);
    const size_t before = HeapInUse();
    if (!chosen->parse(path))
        return 1;
    malloc_trim(0);
    const size_t after = HeapInUse();
    printf("heap %llu\n", static_cast<unsigned long long>(after > before ? after - before : 0));
    chosen->release();
    return 0;
}
const char* const kStepOption[] = {"--parse-once", "--serialize-once", "--free-once"};
const char* const kStepStem[] = {"", "serialize.", "free."};

int StepOnce(const std::string& libraryName, const std::string& path, Step step)
{
    std::unique_ptr<Library> chosen;
    for (auto& library : Libraries())
        if (libraryName == library->name())
            chosen = std::move(library);
    if (!chosen) {
        fprintf(stderr, "velum_bench: unknown library %s\n", libraryName.c_str());
        return 2;
    }
    // Set-up that is not the step stays outside the counted range.
    xmlInitParser();
    if (step == PARSE)
        CALLGRIND_START_INSTRUMENTATION;
    const bool parsed = chosen->parse(path);
    if (step == PARSE)
        CALLGRIND_STOP_INSTRUMENTATION;
    if (!parsed)
        return 1;
    bool written = true;
    if (step == SERIALIZE) {
        char mark[2] = {0, 0};
        std::ifstream(path, std::ios::binary).read(mark, 2);
        const bool utf16 = static_cast<unsigned char>(mark[0]) == 0xFF && static_cast<unsigned char>(mark[1]) == 0xFE;
        const std::string output = "/tmp/velum-bench-serialize-" + std::to_string(getpid()) + ".xml";
        CALLGRIND_START_INSTRUMENTATION;
        written = chosen->serialize(output, utf16);
        CALLGRIND_STOP_INSTRUMENTATION;
        unlink(output.c_str());
    }
    const Counts counts = chosen->walk();
    printf("%s %s: %" PRIu64 " elements\n", chosen->name(), path.c_str(), counts.elements);
    if (step == FREE)
        CALLGRIND_START_INSTRUMENTATION;
    chosen->release();
    if (step == FREE)
        CALLGRIND_STOP_INSTRUMENTATION;
    return written ? 0 : 1;
}

std::string ShellQuote(const std::string& text)
{
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

// The instruction total of a callgrind output file, or -1. "totals:" (the
// sum of the dumped costs) is the count; with instrumentation started late
// the header's "summary:" can read 0, so it is only the fallback.
double CallgrindTotal(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    double summary = -1, totals = -1;
    while (std::getline(in, line)) {
        if (line.compare(0, 8, "summary:") == 0)
            summary = strtod(line.c_str() + 8, nullptr);
        else if (line.compare(0, 7, "totals:") == 0)
            totals = strtod(line.c_str() + 7, nullptr);
    }
    return totals > 0 ? totals : summary > 0 ? summary : -1;
}

struct CallgrindJob {
    size_t file;
    size_t library;
    Step step;
    std::string command;
    std::string output;
};

// Runs the jobs, as many at a time as there are processors: instruction
// counts do not depend on what else runs.
void RunCallgrind(std::vector<CallgrindJob>& jobs, std::vector<std::vector<Result>>& results)
{
    const long processors = std::max(1L, sysconf(_SC_NPROCESSORS_ONLN));
    size_t next = 0;
    long running = 0;
    std::vector<std::pair<pid_t, size_t>> children;
    while (next < jobs.size() || running > 0) {
        if (next < jobs.size() && running < processors) {
            const pid_t pid = fork();
            if (pid == 0) {
                execl("/bin/sh", "sh", "-c", jobs[next].command.c_str(), static_cast<char*>(nullptr));
                _exit(127);
            }
            if (pid > 0) {
                children.emplace_back(pid, next);
                ++running;
            }
            ++next;
            continue;
        }
        int status = 0;
        const pid_t done = wait(&status);
        if (done < 0)
            break;
        --running;
        for (const auto& child : children) {
            if (child.first != done)
                continue;
            const CallgrindJob& job = jobs[child.second];
            const double total = WIFEXITED(status) && WEXITSTATUS(status) == 0 ? CallgrindTotal(job.output) : -1;
            Result& result = results[job.file][job.library];
            (job.step == SERIALIZE ? result.writeInstructions
             : job.step == FREE    ? result.freeInstructions
                                   : result.instructions) = total;
            fprintf(stderr, "  callgrind %s\n", total < 0 ? "failed" : "done");
        }
    }
}

// ---------------------------------------------------------------------------
// Report
// ---------------------------------------------------------------------------

double MegabytesPerSecond(size_t bytes, double seconds)
{
    return seconds > 0 ? bytes / 1e6 / seconds : 0;
}

std::string Ratio(double value, double reference)
{
    if (value <= 0 || reference <= 0)
        return "";
    char text[32];
    snprintf(text, sizeof text, "(%.2fx)", value / reference);
    return text;
}

std::string Figure(const char* format, double value, bool available = true)
{
    if (!available)
        return "n/a";
    char text[32];
    snprintf(text, sizeof text, format, value);
    return text;
}

std::string Thousands(uint64_t value)
{
    std::string digits = std::to_string(value);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3)
        digits.insert(static_cast<size_t>(i), ",");
    return digits;
}

void PrintTable(const BenchFile& file, const std::vector<std::unique_ptr<Library>>& libraries,
                const std::vector<Result>& results)
{
    printf("\n%s: %s bytes\n", file.title, Thousands(file.bytes).c_str());
    printf("%-9s %18s %8s %18s %8s %18s %16s %16s %16s %10s %10s %11s\n", "library", "parse MB/s", "walk ms",
           "serialize MB/s", "free ms", "cycle MB/s", "parse Ir/byte", "write Ir/byte", "tree heap/file", "elements",
           "attributes", "chars");
    const Result& pugi = results[1];
    const double pugiParse = MegabytesPerSecond(file.bytes, pugi.median.parse);
    const double pugiWrite = MegabytesPerSecond(file.bytes, pugi.median.serialize);
    const double pugiCycle = MegabytesPerSecond(file.bytes, pugi.median.total());
    const double pugiIr = pugi.instructions > 0 ? pugi.instructions / file.bytes : 0;
    const double pugiWriteIr = pugi.writeInstructions > 0 ? pugi.writeInstructions / file.bytes : 0;
    const double pugiHeap = static_cast<double>(pugi.heap) / file.bytes;
    for (size_t i = 0; i < libraries.size(); ++i) {
        const Result& r = results[i];
        if (!r.selected || !r.supported || !r.ok) {
            printf("%-9s %s\n", libraries[i]->name(),
                   !r.selected ? "left out" : r.supported ? "failed (see the messages above)" : "n/a (cannot read UTF-16)");
            continue;
        }
        const double parse = MegabytesPerSecond(file.bytes, r.median.parse);
        const double write = MegabytesPerSecond(file.bytes, r.median.serialize);
        const double cycle = MegabytesPerSecond(file.bytes, r.median.total());
        const double ir = r.instructions > 0 ? r.instructions / file.bytes : 0;
        const double writeIr = r.writeInstructions > 0 ? r.writeInstructions / file.bytes : 0;
        const double heap = static_cast<double>(r.heap) / file.bytes;
        printf("%-9s %9.1f %-8s %8.2f %9.1f %-8s %8.2f %9.1f %-8s %7s %-8s %7s %-8s %6s %-9s %10s %10s %11s\n",
               libraries[i]->name(), parse, Ratio(parse, pugiParse).c_str(), r.median.walk * 1e3, write,
               Ratio(write, pugiWrite).c_str(), r.median.release * 1e3, cycle, Ratio(cycle, pugiCycle).c_str(),
               Figure("%.1f", ir, ir > 0).c_str(), Ratio(ir, pugiIr).c_str(), Figure("%.1f", writeIr, writeIr > 0).c_str(),
               Ratio(writeIr, pugiWriteIr).c_str(), Figure("%.2f", heap, r.heap > 0).c_str(),
               Ratio(heap, pugiHeap).c_str(), Thousands(r.counts.elements).c_str(),
               Thousands(r.counts.attributes).c_str(), Thousands(r.counts.chars).c_str());
    }
}

// The cost of letting a tree go and the allocator calls that built it.
void PrintFreeTable(const std::vector<std::unique_ptr<Library>>& libraries, const BenchFile& file,
                    const std::vector<Result>& results)
{
    printf("%-9s %14s %16s %14s %16s\n", "", "free Ir/byte", "free/parse Ir", "allocations", "bytes/allocation");
    for (size_t i = 0; i < libraries.size(); ++i) {
        const Result& r = results[i];
        if (!r.selected || !r.supported || !r.ok)
            continue;
        const double freeIr = r.freeInstructions >= 0 ? r.freeInstructions / file.bytes : -1;
        const bool counted = freeIr >= 0 && r.instructions > 0;
        printf("%-9s %14s %16s %14s %16s\n", libraries[i]->name(), Figure("%.2f", freeIr, freeIr >= 0).c_str(),
               Figure("%.3f", counted ? r.freeInstructions / r.instructions : 0, counted).c_str(),
               Thousands(r.allocations).c_str(),
               Figure("%.0f", r.allocations ? static_cast<double>(file.bytes) / r.allocations : 0, r.allocations > 0).c_str());
    }
}

// One line per target: met, MISSED, or not measured.
void PrintTargets(const std::vector<BenchFile>& files, const std::vector<std::vector<Result>>& results)
{
    enum { VELUM, PUGIXML, TINYXML2, LIBXML2 };
    printf("\nTargets\n");
    int missed = 0;
    auto verdict = [&missed](bool measured, bool met) {
        if (!measured)
            return "not measured";
        if (!met)
            ++missed;
        return met ? "met" : "MISSED";
    };
    for (size_t f = 0; f < files.size(); ++f) {
        const BenchFile& file = files[f];
        const std::vector<Result>& r = results[f];
        auto usable = [&](int lib) { return r[lib].selected && r[lib].supported && r[lib].ok; };
        auto counted = [&](int lib) { return usable(lib) && r[lib].instructions > 0; };
        auto weighed = [&](int lib) { return usable(lib) && r[lib].heap > 0; };
        auto irPerByte = [&](int lib) { return r[lib].instructions / file.bytes; };
        auto writeRate = [&](int lib) { return MegabytesPerSecond(file.bytes, r[lib].median.serialize); };
        auto heapRatio = [&](int lib) { return static_cast<double>(r[lib].heap) / file.bytes; };
        printf("%s\n", file.title);
        {
            const bool measured = counted(VELUM) && counted(LIBXML2);
            printf("  parse Ir/byte <= libxml2:     %-12s (velum %.1f, libxml2 %.1f)\n",
                   verdict(measured, measured && irPerByte(VELUM) <= irPerByte(LIBXML2)),
                   measured ? irPerByte(VELUM) : 0, measured ? irPerByte(LIBXML2) : 0);
        }
        if (file.settings && r[TINYXML2].supported) {
            const bool measured = counted(VELUM) && counted(TINYXML2);
            printf("  parse Ir/byte <= tinyxml2:    %-12s (velum %.1f, tinyxml2 %.1f)\n",
                   verdict(measured, measured && irPerByte(VELUM) <= irPerByte(TINYXML2)),
                   measured ? irPerByte(VELUM) : 0, measured ? irPerByte(TINYXML2) : 0);
        }
        {
            const bool measured = usable(VELUM) && usable(LIBXML2);
            printf("  serialize MB/s >= libxml2:    %-12s (velum %.1f, libxml2 %.1f)\n",
                   verdict(measured, measured && writeRate(VELUM) >= writeRate(LIBXML2)),
                   measured ? writeRate(VELUM) : 0, measured ? writeRate(LIBXML2) : 0);
        }
        {
            const bool measured = weighed(VELUM) && weighed(LIBXML2);
            printf("  tree heap <= libxml2:         %-12s (velum %.2fx file, libxml2 %.2fx)\n",
                   verdict(measured, measured && r[VELUM].heap <= r[LIBXML2].heap),
                   measured ? heapRatio(VELUM) : 0, measured ? heapRatio(LIBXML2) : 0);
        }
        {
            const bool measured = counted(VELUM) && r[VELUM].freeInstructions >= 0;
            printf("  free Ir <= parse Ir / 4:      %-12s (velum free %.2f, parse %.1f Ir/byte)\n",
                   verdict(measured, measured && r[VELUM].freeInstructions * 4 <= r[VELUM].instructions),
                   measured ? r[VELUM].freeInstructions / file.bytes : 0, measured ? irPerByte(VELUM) : 0);
        }
        if (r[TINYXML2].supported) {
            const bool measured = r[VELUM].freeInstructions >= 0 && usable(TINYXML2) && r[TINYXML2].freeInstructions >= 0;
            printf("  free Ir <= tinyxml2:          %-12s (velum %.2f, tinyxml2 %.2f Ir/byte)\n",
                   verdict(measured, measured && r[VELUM].freeInstructions <= r[TINYXML2].freeInstructions),
                   measured ? r[VELUM].freeInstructions / file.bytes : 0,
                   measured ? r[TINYXML2].freeInstructions / file.bytes : 0);
        }
        if (file.settings) {
            const bool measured = weighed(VELUM);
            printf("  tree heap <= 4.5x file:       %-12s (velum %.2fx file)\n",
                   verdict(measured, measured && heapRatio(VELUM) <= 4.5), measured ? heapRatio(VELUM) : 0);
        }
        if (weighed(VELUM) && weighed(TINYXML2)) {
            printf("  (aim) tree heap <= tinyxml2:  %-12s (velum %.2fx file, tinyxml2 %.2fx)\n",
                   r[VELUM].heap <= r[TINYXML2].heap ? "met" : "not yet", heapRatio(VELUM), heapRatio(TINYXML2));
        }
    }
    printf("\n%d target(s) missed\n", missed);
}

std::string SelfPath()
{
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return "velum_bench";
    path[n] = '\0';
    return path;
}

int Usage()
{
    fprintf(stderr,
            "usage: velum_bench [--data DIR] [--rounds N] [--callgrind] [--quick] [--only LIBRARY,...]\n"
            "       velum_bench --generate DIR\n"
            "       velum_bench --parse-once|--serialize-once|--free-once|--heap-once velum|pugixml|tinyxml2|libxml2 FILE\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string folder = "velum-bench-data";
    int rounds = 5;
    bool callgrind = false;
    bool quick = false;
    bool generateOnly = false;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--heap-once" && i + 2 < argc) {
            if (!Velum::initialize(16, 31, 32))
                return 1;
            return HeapOnce(argv[i + 1], argv[i + 2]);
        }
        if ((arg == "--parse-once" || arg == "--serialize-once" || arg == "--free-once") && i + 2 < argc) {
            if (!Velum::initialize(16, 31, 32))
                return 1;
            return StepOnce(argv[i + 1], argv[i + 2],
                            arg == "--parse-once" ? PARSE : arg == "--serialize-once" ? SERIALIZE : FREE);
        } else if (arg == "--data" && i + 1 < argc) {
            folder = argv[++i];
        } else if (arg == "--generate" && i + 1 < argc) {
            folder = argv[++i];
            generateOnly = true;
        } else if (arg == "--rounds" && i + 1 < argc) {
            rounds = std::max(1, atoi(argv[++i]));
        } else if (arg == "--callgrind") {
            callgrind = true;
        } else if (arg == "--quick") {
            quick = true;
        } else if (arg == "--only" && i + 1 < argc) {
            only = "," + std::string(argv[++i]) + ",";
        } else {
            return Usage();
        }
    }

    if (!Velum::initialize(16, 31, 32)) {
        fprintf(stderr, "velum_bench: Velum::initialize failed\n");
        return 1;
    }
    xmlInitParser();

    std::vector<BenchFile> files = FileSet(folder);
    fprintf(stderr, "generating the files in %s\n", folder.c_str());
    if (!Generate(files, folder, quick))
        return 1;
    if (generateOnly)
        return 0;

    // The serialized trees go to memory-backed storage when there is some,
    // so that disk write-back does not land in the figures.
    struct stat shm;
    const std::string output = (stat("/dev/shm", &shm) == 0 && S_ISDIR(shm.st_mode) ? std::string("/dev/shm")
                                                                                       : folder) +
                               "/velum-bench-out-" + std::to_string(getpid()) + ".xml";

    auto libraries = Libraries();
    std::vector<std::vector<Result>> results(files.size(), std::vector<Result>(libraries.size()));
    for (size_t f = 0; f < files.size(); ++f) {
        const BenchFile& file = files[f];
        fprintf(stderr, "timing %s (%d rounds)\n", file.name, rounds);
        std::vector<std::vector<Sample>> samples(libraries.size());
        for (size_t l = 0; l < libraries.size(); ++l) {
            results[f][l].selected = only.empty() || only.find("," + std::string(libraries[l]->name()) + ",") != std::string::npos;
            results[f][l].supported = !file.utf16 || libraries[l]->readsUtf16();
            // A warm-up run: page cache, lazy binding, first-touch of pools.
            Sample ignored;
            if (results[f][l].selected && results[f][l].supported)
                results[f][l].ok = RunOnce(*libraries[l], file, output, ignored, results[f][l].counts);
        }
        for (int round = 0; round < rounds; ++round) {
            for (size_t l = 0; l < libraries.size(); ++l) {
                Result& result = results[f][l];
                if (!result.selected || !result.supported || !result.ok)
                    continue;
                Sample sample;
                Counts counts;
                if (RunOnce(*libraries[l], file, output, sample, counts))
                    samples[l].push_back(sample);
                else
                    result.ok = false;
            }
        }
        for (size_t l = 0; l < libraries.size(); ++l) {
            Result& result = results[f][l];
            if (!result.selected || !result.supported || !result.ok)
                continue;
            std::vector<double> parse, walk, serialize, release;
            for (const Sample& s : samples[l]) {
                parse.push_back(s.parse);
                walk.push_back(s.walk);
                serialize.push_back(s.serialize);
                release.push_back(s.release);
            }
            result.median.parse = Median(parse);
            result.median.walk = Median(walk);
            result.median.serialize = Median(serialize);
            result.median.release = Median(release);
            result.heap = TreeHeap(*libraries[l], file, result.allocations);
        }
    }
    unlink(output.c_str());

    if (callgrind) {
        if (!BENCH_HAVE_CALLGRIND)
            fprintf(stderr, "velum_bench: built without <valgrind/callgrind.h>; the counts include everything\n");
        std::vector<CallgrindJob> jobs;
        const std::string self = SelfPath();
        for (size_t f = 0; f < files.size(); ++f) {
            for (size_t l = 0; l < libraries.size(); ++l) {
                if (!results[f][l].selected || !results[f][l].supported || !results[f][l].ok)
                    continue;
                for (const Step step : {PARSE, SERIALIZE, FREE}) {
                    const std::string stem = folder + "/callgrind." + kStepStem[step] +
                                             libraries[l]->name() + "." + files[f].name;
                    CallgrindJob job{f, l, step, "", stem + ".out"};
                    job.command = "valgrind --tool=callgrind --instr-atstart=no --dump-instr=yes "
                                  "--callgrind-out-file=" + ShellQuote(job.output) + " " + ShellQuote(self) +
                                  " " + kStepOption[step] + " " + libraries[l]->name() +
                                  " " + ShellQuote(files[f].path) + " >" + ShellQuote(stem + ".log") + " 2>&1";
                    jobs.push_back(job);
                }
            }
        }
        fprintf(stderr, "counting instructions: %zu callgrind runs\n", jobs.size());
        RunCallgrind(jobs, results);
    }

    printf("Velum against pugixml, tinyxml2 and libxml2: medians of %d interleaved rounds%s\n", rounds,
           quick ? " (quick: files at a tenth of their size)" : "");
    printf("MB/s: the input file's size over the CPU time of the step; (x): ratio to pugixml.\n"
           "cycle: parse, walk, serialize and free (free: the release and a malloc_trim, so that each library\n"
           "starts from a settled allocator). parse (write) Ir/byte: callgrind instructions of one parse (one\n"
           "serialize) over the file's size. tree heap/file: growth of the resident size across a parse (in a fresh process) over the\n"
           "file's size. chars: code points of text, CDATA and attribute values (Velum keeps the CR of CR LF\n"
           "where the peers normalize line ends, and tinyxml2 drops whitespace-only text nodes, hence their\n"
           "different counts).\n");
    for (size_t f = 0; f < files.size(); ++f) {
        PrintTable(files[f], libraries, results[f]);
        PrintFreeTable(libraries, files[f], results[f]);
    }
    PrintTargets(files, results);
    return 0;
}
