#include "engine/launchargs.h"

namespace kb {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

std::vector<std::string> SplitParams(std::string_view s) {
    std::vector<std::string> args;
    std::string cur;
    bool inArg = false;  // distinguishes "" (an empty argument) from nothing
    size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (IsBlank(c)) {
            if (inArg) args.push_back(std::move(cur));
            cur.clear();
            inArg = false;
            ++i;
        } else if (c == '\'') {
            inArg = true;
            const size_t close = s.find('\'', i + 1);
            const size_t end = close == std::string_view::npos ? s.size() : close;
            cur.append(s.substr(i + 1, end - i - 1));
            i = end == s.size() ? end : end + 1;
        } else if (c == '"') {
            inArg = true;
            ++i;
            while (i < s.size() && s[i] != '"') {
                if (s[i] == '\\' && i + 1 < s.size() &&
                    (s[i + 1] == '"' || s[i + 1] == '\\' || s[i + 1] == '$' || s[i + 1] == '`')) {
                    ++i;
                }
                cur += s[i++];
            }
            if (i < s.size()) ++i;  // the closing quote
        } else if (c == '\\' && i + 1 < s.size()) {
            inArg = true;
            cur += s[i + 1];
            i += 2;
        } else {
            inArg = true;
            cur += c;
            ++i;
        }
    }
    if (inArg) args.push_back(std::move(cur));
    return args;
}

bool HasPlaceholder(const std::vector<std::string>& args) {
    for (const auto& a : args) {
        if (a.find(kFilePlaceholder) != std::string::npos) return true;
    }
    return false;
}

std::vector<std::string> SubstitutePath(const std::vector<std::string>& args,
                                        const std::string& path) {
    std::vector<std::string> out;
    out.reserve(args.size());
    for (const auto& a : args) {
        std::string r;
        size_t from = 0;
        for (size_t at; (at = a.find(kFilePlaceholder, from)) != std::string::npos;
             from = at + kFilePlaceholder.size()) {
            r.append(a, from, at - from);
            r += path;
        }
        r.append(a, from, std::string::npos);
        out.push_back(std::move(r));
    }
    return out;
}

}  // namespace kb
