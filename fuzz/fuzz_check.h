// What every fuzz target shares: a failed property stops the run with the
// input saved, the way a sanitizer report does.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#define FUZZ_CHECK(cond)                                                                     \
    do {                                                                                     \
        if (!(cond)) {                                                                       \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                    \
        }                                                                                    \
    } while (0)

// A folder of this fuzzing process's own under the temporary folder, for the
// readers that take a file. libFuzzer ends with _Exit, so nothing removes it:
// the test runs point TMPDIR into the build tree.
inline const std::filesystem::path& ScratchDir(const char* target) {
    static const std::filesystem::path dir = [target] {
        const std::filesystem::path d =
            std::filesystem::temp_directory_path() /
            (std::string("kb-") + target + "-fuzz-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir;
}
