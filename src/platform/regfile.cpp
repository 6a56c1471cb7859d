#include "platform/regfile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace kb {

namespace {

constexpr char kHeader[] = "Windows Registry Editor Version 5.00";

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

std::string Trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

// --- UTF-8 <-> UTF-16LE, for the hex(1) and hex(2) forms ---------------------

constexpr std::uint32_t kEscapedByte = 0xdc80;

void PutUtf16(std::string& out, std::uint32_t unit) {
    out.push_back(static_cast<char>(unit & 0xff));
    out.push_back(static_cast<char>(unit >> 8));
}

std::string Utf8ToUtf16le(const std::string& s) {
    std::string out;
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::uint32_t cp = 0xfffd;
        int len = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xe0) == 0xc0) {
            len = 2, cp = c & 0x1f;
        } else if ((c & 0xf0) == 0xe0) {
            len = 3, cp = c & 0x0f;
        } else if ((c & 0xf8) == 0xf0) {
            len = 4, cp = c & 0x07;
        } else {
            len = 0;
        }
        bool ok = len > 0 && i + len <= s.size();
        for (int k = 1; ok && k < len; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xc0) != 0x80) ok = false;
            cp = (cp << 6) | (cc & 0x3f);
        }
        // The shortest form only: an overlong one ("\xC1\x8D" for "M") would
        // come back as the shorter form, not as the bytes it was.
        static constexpr std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        if (ok && cp < kLeast[len]) ok = false;
        if (!ok || cp > 0x10ffff || (cp >= 0xd800 && cp < 0xe000)) {
            // A byte that is not part of sound UTF-8 (a file name in another
            // encoding) travels as a lone low surrogate, U+DC80 + its value
            // less 0x80, and comes back as that byte: nothing is lost.
            cp = kEscapedByte + (c - 0x80);
            len = 1;
        }
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            PutUtf16(out, 0xd800 + (cp >> 10));
            PutUtf16(out, 0xdc00 + (cp & 0x3ff));
        } else {
            PutUtf16(out, cp);
        }
    }
    return out;
}

void PutUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xc0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xe0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3f)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
    } else {
        out.push_back(static_cast<char>(0xf0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3f)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3f)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
    }
}

// Decodes up to the first NUL (the terminator the system stores).
std::string Utf16leToUtf8(const std::string& b) {
    std::string out;
    for (std::size_t i = 0; i + 1 < b.size(); i += 2) {
        std::uint32_t u = static_cast<unsigned char>(b[i]) |
                          (static_cast<std::uint32_t>(static_cast<unsigned char>(b[i + 1])) << 8);
        if (u == 0) break;
        if (u >= 0xd800 && u < 0xdc00 && i + 3 < b.size()) {
            const std::uint32_t lo =
                static_cast<unsigned char>(b[i + 2]) |
                (static_cast<std::uint32_t>(static_cast<unsigned char>(b[i + 3])) << 8);
            if (lo >= 0xdc00 && lo < 0xe000) {
                PutUtf8(out, 0x10000 + ((u - 0xd800) << 10) + (lo - 0xdc00));
                i += 2;
                continue;
            }
        }
        if (u >= kEscapedByte && u < kEscapedByte + 0x80) {
            out.push_back(static_cast<char>(0x80 + (u - kEscapedByte)));
            continue;
        }
        if (u >= 0xd800 && u < 0xe000) u = 0xfffd;
        PutUtf8(out, u);
    }
    return out;
}

// A string value ends at its first NUL, as every reader of the system's
// strings takes it: the encoded form decodes that far, and a raw NUL that a
// damaged or hand-made file put inside quotes ends the text the same way.
std::string TextUpToNul(const std::string& text) { return text.substr(0, text.find('\0')); }

// --- writing ------------------------------------------------------------------

std::string Quote(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

std::string HexBytes(const std::string& bytes) {
    std::string out;
    char buf[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned char>(bytes[i]));
        if (i) out.push_back(',');
        out += buf;
    }
    return out;
}

std::string HexKind(std::uint32_t kind) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "hex(%x):", kind);
    return buf;
}

std::string ValueData(const RegValue& v) {
    char buf[24];
    const std::string text = TextUpToNul(v.text);
    switch (v.kind) {
        case kindText:
            // A line break cannot live inside a quoted string; such text
            // takes the encoded form.
            if (text.find_first_of("\r\n") == std::string::npos) return Quote(text);
            return HexKind(kindText) + HexBytes(Utf8ToUtf16le(text) + std::string(2, '\0'));
        case kindExpandText:
            return HexKind(kindExpandText) + HexBytes(Utf8ToUtf16le(text) + std::string(2, '\0'));
        case kindDword:
            std::snprintf(buf, sizeof buf, "dword:%08x", v.dword);
            return buf;
        case kindBinary:
            return "hex:" + HexBytes(v.bytes);
        default:
            return HexKind(v.kind) + HexBytes(v.bytes);
    }
}

// --- reading ------------------------------------------------------------------

// Reads a quoted string starting at s[pos] == '"'; leaves pos after the
// closing quote. False when the string is not closed.
bool ReadQuoted(const std::string& s, std::size_t& pos, std::string& out) {
    out.clear();
    for (std::size_t i = pos + 1; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
            out.push_back(s[++i]);
        } else if (s[i] == '"') {
            pos = i + 1;
            return true;
        } else {
            out.push_back(s[i]);
        }
    }
    return false;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = Lower(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool ParseHexBytes(const std::string& s, std::string& out) {
    out.clear();
    const std::string t = Trim(s);
    if (t.empty()) return true;
    std::size_t i = 0;
    while (true) {
        while (i < t.size() && (t[i] == ' ' || t[i] == '\t')) ++i;
        if (i + 1 >= t.size()) return false;
        const int hi = HexDigit(t[i]), lo = HexDigit(t[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
        while (i < t.size() && (t[i] == ' ' || t[i] == '\t')) ++i;
        if (i == t.size()) return true;
        if (t[i] != ',') return false;
        ++i;
    }
}

bool ParseHexNumber(const std::string& s, std::uint32_t& out, std::size_t maxDigits) {
    if (s.empty() || s.size() > maxDigits) return false;
    std::uint64_t v = 0;
    for (char c : s) {
        const int d = HexDigit(c);
        if (d < 0) return false;
        v = v * 16 + static_cast<unsigned>(d);
    }
    if (v > 0xffffffffu) return false;
    out = static_cast<std::uint32_t>(v);
    return true;
}

// Parses the data after "=". Returns false for anything unsound; sets
// `remove` for the deletion form "-".
bool ParseData(const std::string& raw, RegValue& v, bool& remove) {
    const std::string d = Trim(raw);
    remove = false;
    if (d == "-") {
        remove = true;
        return true;
    }
    if (!d.empty() && d[0] == '"') {
        std::size_t pos = 0;
        if (!ReadQuoted(d, pos, v.text) || pos != d.size()) return false;
        v.text = TextUpToNul(v.text);
        v.kind = kindText;
        return true;
    }
    const std::string lower = [&] {
        std::string l = d;
        std::transform(l.begin(), l.end(), l.begin(), Lower);
        return l;
    }();
    if (lower.rfind("dword:", 0) == 0) {
        v.kind = kindDword;
        return ParseHexNumber(Trim(d.substr(6)), v.dword, 8);
    }
    std::uint32_t kind = kindBinary;
    std::size_t dataAt = 0;
    if (lower.rfind("hex:", 0) == 0) {
        dataAt = 4;
    } else if (lower.rfind("hex(", 0) == 0) {
        const std::size_t close = d.find("):", 4);
        if (close == std::string::npos || !ParseHexNumber(d.substr(4, close - 4), kind, 8))
            return false;
        dataAt = close + 2;
    } else {
        return false;
    }
    std::string bytes;
    if (!ParseHexBytes(d.substr(dataAt), bytes)) return false;
    v.kind = kind;
    if (kind == kindText || kind == kindExpandText) {
        v.text = Utf16leToUtf8(bytes);
    } else if (kind == kindDword) {
        if (bytes.size() != 4) return false;
        v.dword = 0;
        for (int k = 3; k >= 0; --k)
            v.dword = (v.dword << 8) | static_cast<unsigned char>(bytes[k]);
    } else {
        v.bytes = bytes;
    }
    return true;
}

// Splits into logical lines: a line ending in "\" continues on the next (the
// wrapped form of long hex data).
std::vector<std::string> LogicalLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string cur;
    bool continuing = false;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        start = end + 1;
        line = continuing ? Trim(line) : line;
        cur += line;
        const std::string t = Trim(cur);
        if (!t.empty() && t.back() == '\\' && t.front() != '[') {
            cur = t.substr(0, t.size() - 1);
            continuing = true;
        } else {
            lines.push_back(cur);
            cur.clear();
            continuing = false;
        }
        if (end == text.size()) break;
    }
    if (continuing) lines.push_back(cur);
    return lines;
}

std::string NormalizePath(const std::string& path) {
    std::string out;
    std::size_t i = 0;
    while (i < path.size()) {
        std::size_t j = path.find('\\', i);
        if (j == std::string::npos) j = path.size();
        const std::string part = path.substr(i, j - i);
        if (!part.empty()) {
            if (!out.empty()) out.push_back('\\');
            out += part;
        }
        i = j + 1;
    }
    return out;
}

}  // namespace

bool RegNamesEqual(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

const RegValue* RegKey::Find(const std::string& name) const {
    for (const auto& [n, v] : values)
        if (RegNamesEqual(n, name)) return &v;
    return nullptr;
}

void RegKey::Set(const std::string& name, const RegValue& value) {
    for (auto& [n, v] : values)
        if (RegNamesEqual(n, name)) {
            v = value;
            return;
        }
    values.emplace_back(name, value);
}

void RegKey::Remove(const std::string& name) {
    std::erase_if(values, [&](const auto& p) { return RegNamesEqual(p.first, name); });
}

RegKey* RegDocument::Find(const std::string& path) {
    const std::string p = NormalizePath(path);
    for (RegKey& k : keys_)
        if (RegNamesEqual(k.path, p)) return &k;
    return nullptr;
}

const RegKey* RegDocument::Find(const std::string& path) const {
    return const_cast<RegDocument*>(this)->Find(path);
}

RegKey& RegDocument::Ensure(const std::string& path) {
    const std::string p = NormalizePath(path);
    if (RegKey* k = Find(p)) return *k;
    // Parents first, as the system creates them, so a parent opens once any
    // of its subkeys exists.
    // The root itself is never a section of its own.
    const std::size_t sep = p.rfind('\\');
    if (sep != std::string::npos && p.find('\\') < sep) Ensure(p.substr(0, sep));
    keys_.push_back(RegKey{p, {}});
    return keys_.back();
}

RegDocument RegDocument::Parse(const std::string& input) {
    std::string text = input;
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    RegDocument doc;
    RegKey* current = nullptr;
    for (const std::string& raw : LogicalLines(text)) {
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == ';' || line == kHeader || line == "REGEDIT4") continue;
        if (line[0] == '[') {
            current = nullptr;
            if (line.back() != ']' || line.size() < 3 || line[1] == '-') continue;
            const std::string path = NormalizePath(line.substr(1, line.size() - 2));
            if (path.rfind("HKEY_", 0) != 0) continue;
            current = &doc.Ensure(path);
            continue;
        }
        if (!current) continue;
        std::string name;
        std::size_t pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else if (line[0] == '"') {
            if (!ReadQuoted(line, pos, name)) continue;
        } else {
            continue;
        }
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
        if (pos >= line.size() || line[pos] != '=') continue;
        RegValue v;
        bool remove = false;
        if (!ParseData(line.substr(pos + 1), v, remove)) continue;
        if (remove)
            current->Remove(name);
        else
            current->Set(name, v);
    }
    return doc;
}

std::string RegDocument::Serialize() const {
    std::string out = std::string(kHeader) + "\n";
    for (const RegKey& k : keys_) {
        out += "\n[" + k.path + "]\n";
        for (const auto& [name, v] : k.values)
            out += (name.empty() ? std::string("@") : Quote(name)) + "=" + ValueData(v) + "\n";
    }
    return out;
}

}  // namespace kb
