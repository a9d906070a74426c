// Random call sequences over openFile (both forms), lockFile, closeFile,
// parse and serialize, on a few files of a private folder, checked call by
// call against the model of tests/velum/FileSequence.h: the files' being
// and contents, the handles' access and locks, and the descriptors open. A
// disagreement prints the steps and aborts; a sanitizer report or a leak is
// a finding too.
#include "FileSequence.h"
#include "FuzzSupport.h"

#include <filesystem>
#include <memory>

namespace {

std::filesystem::path g_folder;
std::unique_ptr<filemodel::FileSequence> g_sequence;

void RemoveFolder()
{
    g_sequence.reset();
    std::error_code ignored;
    std::filesystem::remove_all(g_folder, ignored);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::InitializeVelum();
    std::string pattern = (std::filesystem::temp_directory_path() / "velum-files-fuzz.XXXXXX").string();
    if (mkdtemp(&pattern[0]) == nullptr) {
        perror("mkdtemp");
        abort();
    }
    g_folder = pattern;
    g_sequence.reset(new filemodel::FileSequence(g_folder));
    atexit(RemoveFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    filemodel::StepBytes bytes(data, size);
    const std::string finding = g_sequence->run(bytes, 200);
    if (!finding.empty()) {
        fprintf(stderr, "%s\n", finding.c_str());
        RemoveFolder();
        abort();
    }
    return 0;
}
