#include <windows.h>

#include <optional>

#include "platform/numbers.h"
#include "platform/registry.h"

namespace kb {

namespace {

HKEY RootKey(RegRoot r) {
    return r == RegRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

std::string Relative(const std::string& path) {
    const std::size_t i = path.find_first_not_of('\\');
    return i == std::string::npos ? std::string() : path.substr(i);
}

std::string SystemMessage(DWORD code) {
    char* buf = nullptr;
    const DWORD n = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<LPSTR>(&buf), 0, nullptr);
    std::string s = n && buf ? std::string(buf, n) : "System error " + std::to_string(code);
    if (buf) LocalFree(buf);
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
}

struct Key {
    HKEY h = nullptr;
    ~Key() {
        if (h) RegCloseKey(h);
    }
};

void OpenForWriting(RegRoot root, const std::string& path, Key& k) {
    const LONG rc =
        RegCreateKeyExA(RootKey(root), Relative(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, nullptr, &k.h, nullptr);
    if (rc != ERROR_SUCCESS) throw RegistryError(SystemMessage(rc));
}

bool OpenForReading(RegRoot root, const std::string& path, Key& k) {
    return RegOpenKeyExA(RootKey(root), Relative(path).c_str(), 0, KEY_READ, &k.h) == ERROR_SUCCESS;
}

}  // namespace

int ReadRegString(RegRoot root, const std::string& keyPath, const std::string& valueName,
                  std::string& out) {
    Key k;
    if (!OpenForReading(root, keyPath, k)) return -1;
    DWORD type = 0, size = 0;
    LONG rc = RegQueryValueExA(k.h, valueName.c_str(), nullptr, &type, nullptr, &size);
    if (rc == ERROR_FILE_NOT_FOUND) {
        out.clear();
        return 0;
    }
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return -1;
    std::string buf(size + 1, '\0');
    rc = RegQueryValueExA(k.h, valueName.c_str(), nullptr, &type,
                          reinterpret_cast<BYTE*>(buf.data()), &size);
    if (rc != ERROR_SUCCESS) return -1;
    buf.resize(size);
    while (!buf.empty() && buf.back() == '\0') buf.pop_back();
    out = buf;
    return 0;
}

bool RegValueExists(RegRoot root, const std::string& keyPath, const std::string& valueName) {
    Key k;
    if (!OpenForReading(root, keyPath, k)) return false;
    return RegQueryValueExA(k.h, valueName.c_str(), nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

int ReadRegInteger(RegRoot root, const std::string& keyPath, const std::string& valueName,
                   std::int32_t& out) {
    Key k;
    if (!OpenForReading(root, keyPath, k)) return -1;
    DWORD type = 0, value = 0, size = sizeof value;
    if (RegQueryValueExA(k.h, valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value),
                         &size) != ERROR_SUCCESS ||
        type != REG_DWORD)
        return -1;
    out = static_cast<std::int32_t>(value);
    return 0;
}

void WriteRegValue(RegRoot root, const std::string& keyPath, const std::string& valueName,
                   const std::string& value, int type) {
    if (type < regKeepType || type > regBinary) throw RegistryError(SystemMessage(1013));
    Key k;
    OpenForWriting(root, keyPath, k);
    DWORD kind = REG_SZ;
    if (type == regKeepType) {
        DWORD old = 0;
        if (RegQueryValueExA(k.h, valueName.c_str(), nullptr, &old, nullptr, nullptr) ==
            ERROR_SUCCESS)
            kind = old;
    } else {
        const DWORD kinds[] = {REG_SZ, REG_SZ, REG_EXPAND_SZ, REG_DWORD, REG_BINARY};
        kind = kinds[type];
    }
    LONG rc = ERROR_SUCCESS;
    if (kind == REG_DWORD) {
        const std::optional<std::int32_t> n = ParseNumber<std::int32_t>(value);
        if (!n) throw RegistryError(SystemMessage(1013));
        const DWORD d = static_cast<DWORD>(*n);
        rc = RegSetValueExA(k.h, valueName.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&d),
                            sizeof d);
    } else if (kind == REG_SZ || kind == REG_EXPAND_SZ) {
        rc = RegSetValueExA(k.h, valueName.c_str(), 0, kind,
                            reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>(value.size() + 1));
    } else {
        rc = RegSetValueExA(k.h, valueName.c_str(), 0, kind,
                            reinterpret_cast<const BYTE*>(value.data()),
                            static_cast<DWORD>(value.size()));
    }
    if (rc != ERROR_SUCCESS) throw RegistryError(SystemMessage(rc));
}

void WriteRegInteger(RegRoot root, const std::string& keyPath, const std::string& valueName,
                     std::int32_t value) {
    WriteRegValue(root, keyPath, valueName, std::to_string(value), regInteger);
}

void DeleteRegValue(RegRoot root, const std::string& keyPath, const std::string& valueName) {
    Key k;
    OpenForWriting(root, keyPath, k);
    const LONG rc = RegDeleteValueA(k.h, valueName.c_str());
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) throw RegistryError(SystemMessage(rc));
}

bool RegKeyExists(RegRoot root, const std::string& keyPath) {
    Key k;
    return OpenForReading(root, keyPath, k);
}

void CreateRegKey(RegRoot root, const std::string& keyPath) {
    Key k;
    OpenForWriting(root, keyPath, k);
}

void RemoveRegistryLeftovers() {}

}  // namespace kb
