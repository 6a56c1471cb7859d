#include "store/inilines.h"

#include <fstream>

#include "platform/numbers.h"

namespace kb {

namespace {

void AppendLine(std::string& out, std::string_view key, std::string_view value) {
    out.append(key);
    out.push_back('=');
    out.append(value);
    out.append("\r\n");
}

}  // namespace

void WriteHeaderLine(std::string& out, std::string_view header) {
    out.append(header);
    out.append("\r\n");
}

void WriteStrKey(std::string& out, std::string_view key, std::string_view text) {
    if (text.find_first_of("\r\n") == std::string_view::npos) return AppendLine(out, key, text);
    std::string flat(text);
    for (char& c : flat)
        if (c == '\r' || c == '\n') c = ' ';
    AppendLine(out, key, flat);
}

void WriteIntKey(std::string& out, std::string_view key, std::int64_t number) {
    AppendLine(out, key, std::to_string(number));
}

void WriteBoolKey(std::string& out, std::string_view key, bool flag) {
    AppendLine(out, key, flag ? "0" : "1");
}

int SplitLine(const std::string& line, std::string& key, std::string& value) {
    const std::size_t eq = line.find('=');
    const std::size_t bracket = line.find('[');
    // Values may hold "[" (a folder named "[music]"); only a "[" ahead of the
    // separator makes a control line, and no key the writer uses contains one.
    if (bracket == std::string::npos || (eq != std::string::npos && eq < bracket)) {
        key = line.substr(0, eq);
        value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
        return 0;
    }
    const std::size_t close = line.find(']');
    const std::size_t dash = line.find('-');
    const std::size_t begin = (dash != std::string::npos && dash < close) ? dash + 1 : 0;
    const std::string_view inner =
        std::string_view(line).substr(begin, close == std::string::npos ? close : close - begin);
    const std::optional<std::int32_t> n = ParseDecimal(inner);
    return n && *n >= 1 ? *n : -1;
}

std::optional<std::int32_t> ParseDecimal(std::string_view text) {
    return ParseNumber<std::int32_t>(text, Blanks::Allowed);
}

bool IniLineReader::Load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string bytes;
    char buf[16384];
    while (in.read(buf, sizeof buf) || in.gcount() > 0) bytes.append(buf, in.gcount());
    inputError_ = in.bad();
    if (inputError_ && bytes.empty()) return false;
    LoadText(bytes);
    return true;
}

void IniLineReader::LoadText(std::string_view text) {
    lines_.clear();
    pos_ = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t nl = text.find('\n', start);
        const bool last = nl == std::string_view::npos;
        if (last) nl = text.size();
        std::string_view line = text.substr(start, nl - start);
        // CR LF is the format's ending; a hand-edited file may have lost the CR.
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines_.emplace_back(line);
        start = nl + 1;
    }
}

bool IniLineReader::ReadLine(std::string& line) {
    if (pos_ >= lines_.size()) return false;
    line = lines_[pos_++];
    return true;
}

const std::string* IniLineReader::Peek() const {
    return pos_ < lines_.size() ? &lines_[pos_] : nullptr;
}

std::string InputErrorText(const std::string& key) { return "Error Reading Input File: " + key; }

std::string TagNotFoundText(const std::string& header) {
    return "Error reading alarm file.  Tag, " + header + " not found.";
}

int FindSection(IniLineReader& in, const std::string& header, const ConfigWarning& warn) {
    std::string line;
    while (in.ReadLine(line))
        if (line == header) return 0;
    if (warn) warn(in.InputError() ? InputErrorText(header) : TagNotFoundText(header));
    return -1;
}

namespace {

// The value of the next key line. nullopt: the field stays as it is (a control
// line), or, with `failed` set, the file system failed and a warning was given.
std::optional<std::string> NextValue(IniLineReader& in, const std::string& key,
                                     const ConfigWarning& warn, bool& failed) {
    failed = false;
    std::string line, name, value;
    if (!in.ReadLine(line)) {
        if (!in.InputError()) return std::string();
        if (warn) warn(InputErrorText(key));
        failed = true;
        return std::nullopt;
    }
    const int n = SplitLine(line, name, value);
    if (n == 0) return value;
    if (n < 0) return std::nullopt;
    // A numbered control line stands for the N lines after it; the value is
    // on the last of them.
    std::string target;
    for (int i = 0; i < n; ++i)
        if (!in.ReadLine(target)) return std::string();
    if (SplitLine(target, name, value) != 0) return std::nullopt;
    return value;
}

}  // namespace

KeyRead ReadStrKey(IniLineReader& in, const std::string& key, std::string& text,
                   const ConfigWarning& warn) {
    bool failed = false;
    const std::optional<std::string> v = NextValue(in, key, warn, failed);
    if (failed) return KeyRead::Failed;
    if (!v) return KeyRead::Unchanged;
    text = *v;
    return KeyRead::Ok;
}

KeyRead ReadIntKey(IniLineReader& in, const std::string& key, std::int32_t& number,
                   const ConfigWarning& warn) {
    bool failed = false;
    const std::optional<std::string> v = NextValue(in, key, warn, failed);
    if (failed) return KeyRead::Failed;
    if (!v) return KeyRead::Unchanged;
    const std::optional<std::int32_t> n = ParseDecimal(*v);
    if (!n) {
        if (warn) warn(InputErrorText(key));
        return KeyRead::Failed;
    }
    number = *n;
    return KeyRead::Ok;
}

KeyRead ReadCodeKey(IniLineReader& in, const std::string& key, std::uint8_t& code,
                    const ConfigWarning& warn) {
    std::int32_t n = code;
    const KeyRead r = ReadIntKey(in, key, n, warn);
    if (r == KeyRead::Ok) code = static_cast<std::uint8_t>(n & 0xFF);
    return r;
}

KeyRead ReadBoolKey(IniLineReader& in, const std::string& key, bool& flag,
                    const ConfigWarning& warn) {
    bool failed = false;
    const std::optional<std::string> v = NextValue(in, key, warn, failed);
    if (failed) return KeyRead::Failed;
    if (!v) return KeyRead::Unchanged;
    flag = *v == "0";
    return KeyRead::Ok;
}

}  // namespace kb
