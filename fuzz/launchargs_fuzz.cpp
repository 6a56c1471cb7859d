// A launch action's parameter text and the found file's name: the splitter
// reads any text, quoting an argument list and splitting it again gives the
// same list back, and a file name put in for "mfile" stays whole in the one
// argument that named it, whatever characters it holds.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/launchargs.h"
#include "fuzz_check.h"

namespace {

// Single quotes keep everything; a quote itself is closed, escaped, reopened.
std::string Quoted(const std::vector<std::string>& args) {
    std::string out;
    for (const std::string& a : args) {
        if (!out.empty()) out += ' ';
        out += '\'';
        for (char c : a) {
            if (c == '\'')
                out += "'\\''";
            else
                out += c;
        }
        out += '\'';
    }
    return out;
}

// Every placeholder replaced left to right, the inserted text not searched.
std::string Replaced(const std::string& arg, const std::string& path) {
    std::string out;
    std::size_t from = 0;
    for (std::size_t at; (at = arg.find(kb::kFilePlaceholder, from)) != std::string::npos;
         from = at + kb::kFilePlaceholder.size())
        out += arg.substr(from, at - from) + path;
    return out + arg.substr(from);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string path = in.ConsumeRandomLengthString(512);
    const std::string params = in.ConsumeRemainingBytesAsString();

    const std::vector<std::string> args = kb::SplitParams(params);
    FUZZ_CHECK(kb::SplitParams(Quoted(args)) == args);

    const std::vector<std::string> put = kb::SubstitutePath(args, path);
    FUZZ_CHECK(put.size() == args.size());
    std::size_t named = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        FUZZ_CHECK(put[i] == Replaced(args[i], path));
        if (args[i].find(kb::kFilePlaceholder) != std::string::npos) ++named;
    }
    FUZZ_CHECK((named > 0) == kb::HasPlaceholder(args));
    // "mfile" alone as the parameters: exactly one argument, the name itself.
    const std::vector<std::string> alone =
        kb::SubstitutePath(kb::SplitParams(kb::kFilePlaceholder), path);
    FUZZ_CHECK(alone.size() == 1 && alone[0] == path);
    return 0;
}
