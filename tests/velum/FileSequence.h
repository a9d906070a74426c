// Random call sequences over the file functions (openFile in both forms,
// lockFile, closeFile, and parse and serialize through their handles),
// each call checked against a plain model: which files exist and hold
// what, which handles are open with which access, and which locks they
// hold. Driven by libFuzzer (fuzz/FilesFuzzer.cpp) and by a seeded test
// (FileSequenceTest.cpp), natively and under Wine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace filemodel {

// The bytes that choose the steps and their arguments; 0 once used up.
class StepBytes {
public:
    StepBytes(const uint8_t* data, size_t size) : m_data(data), m_size(size), m_at(0) {}
    bool empty() const { return m_at >= m_size; }
    uint8_t next() { return m_at < m_size ? m_data[m_at++] : 0; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at;
};

class FileSequence {
public:
    // folder: an existing folder of the caller's that nobody else uses; the
    // sequence keeps its files there and leaves it empty. The library must
    // be initialized.
    explicit FileSequence(const std::filesystem::path& folder);
    // Closes what is still open and removes the files.
    ~FileSequence();
    FileSequence(const FileSequence&) = delete;
    FileSequence& operator=(const FileSequence&) = delete;

    // Plays steps until the bytes or maxSteps run out, then closes every
    // handle. "" when every call did what the model expected; otherwise the
    // first disagreement and the steps that led to it. Files start absent.
    std::string run(StepBytes& bytes, size_t maxSteps);

    // Steps played by run, and those it left out: a lock that would have
    // waited forever for its own handle's lock, and (on Windows) reads and
    // writes that a lock of another handle bars.
    size_t played() const;
    size_t skipped() const;

    // Calls of run that did something: handles opened, locks granted and
    // refused, locks that waited for other handles' locks, documents written
    // and read back.
    struct Counts {
        size_t opened = 0, locked = 0, lockRefused = 0, waited = 0, written = 0, parsed = 0;
    };
    Counts counts() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace filemodel
