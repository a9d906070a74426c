// The file functions' call sequences (FileSequence.h) from fixed seeds: the
// same model the fuzzer checks, here against the real Win32 calls under
// Wine as well as natively.
#include "FileSequence.h"
#include "TempFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <vector>

TEST(FileSequence, SeededSequencesMatchTheModel)
{
    const std::filesystem::path folder = TempPath("file-sequence");
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    size_t played = 0, skipped = 0;
    filemodel::FileSequence::Counts counts;
    {
        filemodel::FileSequence sequence(folder);
        for (unsigned seed = 1; seed <= 50; ++seed) {
            std::mt19937 random(seed);
            std::vector<uint8_t> bytes(720);
            for (uint8_t& byte : bytes)
                byte = static_cast<uint8_t>(random());
            filemodel::StepBytes steps(bytes.data(), bytes.size());
            const std::string finding = sequence.run(steps, 120);
            ASSERT_EQ(finding, "") << "seed " << seed;
        }
        played = sequence.played();
        skipped = sequence.skipped();
        counts = sequence.counts();
    }
    // Enough of the steps must really run for the test to mean anything.
    EXPECT_GE(played, 5000u);
    EXPECT_LT(skipped * 20, played);
    EXPECT_GE(counts.opened, 150u);
    EXPECT_GE(counts.locked, 100u);
    EXPECT_GE(counts.lockRefused, 30u);
    EXPECT_GE(counts.waited, 3u);
    EXPECT_GE(counts.written, 40u);
    EXPECT_GE(counts.parsed, 15u);
    printf("%zu steps (%zu left out): %zu opens, %zu locks granted (%zu after a wait), %zu refused, %zu written, "
           "%zu parsed\n",
           played, skipped, counts.opened, counts.locked, counts.waited, counts.lockRefused, counts.written,
           counts.parsed);
    EXPECT_TRUE(std::filesystem::is_empty(folder));
    std::filesystem::remove(folder, ignored);
}
