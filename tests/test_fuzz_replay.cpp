// SPDX-License-Identifier: GPL-3.0-or-later
// Replays the fuzz target's seed corpus and every finding kept as a
// regression input (fuzz/regressions/) through the same program decoder, so
// the ordinary and sanitizer builds check the call invariants on them too.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz/call_program.h"
#include "tests/support.h"

namespace {

using FuzzReplayTest = LibraryTest;

std::vector<uint8_t> read_file(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

TEST_F(FuzzReplayTest, CorpusAndFindingsKeepTheCallInvariants) {
    size_t replayed = 0;
    struct Folder {
        const char* name;
        callfuzz::Edition edition;  // the decoder's edition its inputs were found with
    };
    for (const Folder dir : {Folder{"corpus", callfuzz::Edition::kFirst}, Folder{"regressions", callfuzz::Edition::kFirst},
                             Folder{"regressions/structured", callfuzz::Edition::kStructured}}) {
        const std::filesystem::path root = std::filesystem::path(FUZZ_DIR) / dir.name;
        if (!std::filesystem::exists(root)) continue;
        for (const auto& entry : std::filesystem::directory_iterator(root)) {
            if (!entry.is_regular_file() || entry.path().extension() == ".md") continue;
            const std::vector<uint8_t> bytes = read_file(entry.path());
            EXPECT_EQ(callfuzz::run_program(host, bytes, {.edition = dir.edition}), "") << entry.path();
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 0u);
}
