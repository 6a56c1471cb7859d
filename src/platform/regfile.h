// The text form of registry exports ("Windows Registry Editor Version 5.00"),
// which the emulated registry uses as its file. Parsing never fails: lines
// that are not sound are skipped and the rest is kept.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kb {

// Value kinds by the system's numbering (REG_SZ = 1 ... REG_DWORD = 4); any
// other kind is kept as raw bytes under its number.
enum RegKind : std::uint32_t {
    kindText = 1,
    kindExpandText = 2,
    kindBinary = 3,
    kindDword = 4,
};

struct RegValue {
    std::uint32_t kind = kindText;
    std::string text;         // kindText, kindExpandText: UTF-8
    std::uint32_t dword = 0;  // kindDword
    std::string bytes;        // kindBinary and unknown kinds
    bool operator==(const RegValue&) const = default;
};

struct RegKey {
    std::string path;  // full path starting with the root, e.g. HKEY_LOCAL_MACHINE\SOFTWARE\x
    std::vector<std::pair<std::string, RegValue>> values;  // in file order

    // The value named `name` (case-insensitive), or null.
    const RegValue* Find(const std::string& name) const;
    void Set(const std::string& name, const RegValue& value);
    void Remove(const std::string& name);
};

class RegDocument {
public:
    static RegDocument Parse(const std::string& input);
    std::string Serialize() const;

    // The key with this full path (case-insensitive), or null.
    RegKey* Find(const std::string& path);
    const RegKey* Find(const std::string& path) const;
    // The key with this full path, created with any missing parents.
    RegKey& Ensure(const std::string& path);

    const std::vector<RegKey>& Keys() const { return keys_; }

private:
    std::vector<RegKey> keys_;
};

// True when two key or value names are the same without regard to ASCII case.
bool RegNamesEqual(const std::string& a, const std::string& b);

}  // namespace kb
