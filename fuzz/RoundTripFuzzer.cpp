// Whatever Velum parses, it must be able to write and read back unchanged:
// parse the input; serialize the tree as UTF-8; parse that output, which
// must succeed; serialize the second tree; the two outputs must be the same
// bytes. The first output is compared with the second rather than with the
// input, since the writer normalizes (quotation marks, references, the
// declaration, the document type). Any difference aborts.
#include "FuzzSupport.h"

#include <algorithm>

namespace {

// The output of the writer for document, as bytes; aborts when it fails,
// since a parsed document is always valid and so always writable.
std::string Serialize(const Velum::Document& document, fuzz::MemoryFile& out, const char* which)
{
    void* file = out.open(fuzz::OPEN_EXISTING_READ_WRITE);
    const bool written = Velum::serialize(document, Velum::ENCODING_UTF8, file);
    Velum::closeFile(file);
    if (!written) {
        fprintf(stderr, "serializing the %s tree failed\n", which);
        abort();
    }
    return out.contents();
}

// The bytes from `at` - radius to `at` + radius, escaped.
void PrintExcerpt(const char* label, const std::string& bytes, size_t at, size_t radius = 40)
{
    const size_t from = at > radius ? at - radius : 0;
    const size_t to = std::min(bytes.size(), at + radius);
    fprintf(stderr, "%s (bytes %zu-%zu of %zu): ", label, from, to, bytes.size());
    for (size_t i = from; i < to; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\')
            fputc(c, stderr);
        else
            fprintf(stderr, "\\x%02x", c);
    }
    fputc('\n', stderr);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::InitializeVelum();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static fuzz::MemoryFile input("velum-roundtrip-input");
    static fuzz::MemoryFile output("velum-roundtrip-output");

    input.assign(data, size);
    void* file = input.open(fuzz::OPEN_EXISTING_READ);
    Velum::Document first = fuzz::ParseOrNothing(file);
    Velum::closeFile(file);
    if (!first)
        return 0;

    const std::string written = Serialize(first, output, "parsed");
    first = Velum::Document();

    // The writer's own output must parse: any failure here, a tree
    // exception included, is a finding.
    Velum::Document second;
    file = output.open(fuzz::OPEN_EXISTING_READ);
    try {
        second = Velum::parse(file);
    } catch (const Velum::VelumException& e) {
        fprintf(stderr, "re-parsing the serialized document raised VelumException %u\n", e.m_code);
        PrintExcerpt("serialized", written, 0, 4096);
        abort();
    }
    Velum::closeFile(file);
    if (!second) {
        fprintf(stderr, "the serialized document does not parse: %s\n", fuzz::LastParseError().c_str());
        PrintExcerpt("serialized", written, 0, 4096);
        abort();
    }

    const std::string rewritten = Serialize(second, output, "re-parsed");
    if (written != rewritten) {
        const auto mismatch = std::mismatch(written.begin(), written.end(), rewritten.begin(), rewritten.end());
        const size_t at = static_cast<size_t>(mismatch.first - written.begin());
        fprintf(stderr, "serialize(parse(serialize(doc))) differs from serialize(doc) at byte %zu\n", at);
        PrintExcerpt("first output ", written, at);
        PrintExcerpt("second output", rewritten, at);
        abort();
    }
    return 0;
}
