// The registry emulated by one export-format file. Every call reads the file
// afresh and every change rewrites it whole through a temporary file, so a
// crash mid-write never costs the settings.
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <optional>

#include "platform/atomicfile.h"
#include "platform/errortext.h"
#include "platform/numbers.h"
#include "platform/paths.h"
#include "platform/regfile.h"
#include "platform/registry.h"

namespace kb {

namespace {

// The system's text for "registry key could not be written", used where the
// emulation has no errno of its own to report.
constexpr char kCannotWriteKey[] = "The configuration registry key could not be written.";

std::mutex& RegistryMutex() {
    static std::mutex m;
    return m;
}

std::string RegistryFile() { return AppConfigDir() + "/registry.reg"; }

std::string FullPath(RegRoot root, const std::string& keyPath) {
    const char* rootName =
        root == RegRoot::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
    return std::string(rootName) + "\\" + keyPath;
}

[[noreturn]] void ThrowErrno(int err) { throw RegistryError(ErrorText(err ? err : EIO)); }

// Reads the file. A missing file is an empty registry; `readable` is false
// when it exists but cannot be read, so a writer does not replace it with
// less than it held.
RegDocument Load(bool& readable, int& err) {
    readable = true;
    err = 0;
    const int fd = open(RegistryFile().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        err = errno;
        if (err != ENOENT) readable = false;
        return {};
    }
    std::string text;
    char buf[8192];
    while (true) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            err = errno;
            readable = false;
            break;
        }
        if (n == 0) break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    close(fd);
    return RegDocument::Parse(text);
}

RegDocument LoadForReading() {
    bool readable = false;
    int err = 0;
    return Load(readable, err);
}

RegDocument LoadForWriting() {
    bool readable = false;
    int err = 0;
    RegDocument doc = Load(readable, err);
    if (!readable) ThrowErrno(err);
    return doc;
}

void Store(const RegDocument& doc) {
    if (const int err = MakeDirectories(AppConfigDir())) ThrowErrno(err);
    // Owner only: it may hold the download clients' passwords.
    if (const Status st = WriteFileAtomically(RegistryFile(), doc.Serialize(), true); !st)
        throw RegistryError(st.error);
}

// Names and paths must fit on one line of the file.
void CheckName(const std::string& s) {
    if (s.find_first_of("\r\n") != std::string::npos) throw RegistryError(ErrorText(EINVAL));
}

}  // namespace

int ReadRegString(RegRoot root, const std::string& keyPath, const std::string& valueName,
                  std::string& out) {
    std::lock_guard lock(RegistryMutex());
    const RegDocument doc = LoadForReading();
    const RegKey* key = doc.Find(FullPath(root, keyPath));
    if (!key) return -1;
    const RegValue* v = key->Find(valueName);
    if (!v) {
        out.clear();
        return 0;
    }
    if (v->kind != kindText && v->kind != kindExpandText) return -1;
    out = v->text;
    return 0;
}

bool RegValueExists(RegRoot root, const std::string& keyPath, const std::string& valueName) {
    std::lock_guard lock(RegistryMutex());
    const RegDocument doc = LoadForReading();
    const RegKey* key = doc.Find(FullPath(root, keyPath));
    return key && key->Find(valueName);
}

int ReadRegInteger(RegRoot root, const std::string& keyPath, const std::string& valueName,
                   std::int32_t& out) {
    std::lock_guard lock(RegistryMutex());
    const RegDocument doc = LoadForReading();
    const RegKey* key = doc.Find(FullPath(root, keyPath));
    const RegValue* v = key ? key->Find(valueName) : nullptr;
    if (!v || v->kind != kindDword) return -1;
    out = static_cast<std::int32_t>(v->dword);
    return 0;
}

void WriteRegValue(RegRoot root, const std::string& keyPath, const std::string& valueName,
                   const std::string& value, int type) {
    if (type < regKeepType || type > regBinary) throw RegistryError(kCannotWriteKey);
    CheckName(keyPath);
    CheckName(valueName);
    std::lock_guard lock(RegistryMutex());
    RegDocument doc = LoadForWriting();
    RegKey& key = doc.Ensure(FullPath(root, keyPath));
    RegValue v;
    std::uint32_t kind = kindText;
    switch (type) {
        case regKeepType:
            if (const RegValue* old = key.Find(valueName)) kind = old->kind;
            break;
        case regText:
            kind = kindText;
            break;
        case regExpandText:
            kind = kindExpandText;
            break;
        case regInteger:
            kind = kindDword;
            break;
        case regBinary:
            kind = kindBinary;
            break;
    }
    v.kind = kind;
    if (kind == kindText || kind == kindExpandText) {
        v.text = value;
    } else if (kind == kindDword) {
        const std::optional<std::int32_t> n = ParseNumber<std::int32_t>(value);
        if (!n) throw RegistryError(kCannotWriteKey);
        v.dword = static_cast<std::uint32_t>(*n);
    } else {
        v.bytes = value;
    }
    key.Set(valueName, v);
    Store(doc);
}

void WriteRegInteger(RegRoot root, const std::string& keyPath, const std::string& valueName,
                     std::int32_t value) {
    WriteRegValue(root, keyPath, valueName, std::to_string(value), regInteger);
}

void DeleteRegValue(RegRoot root, const std::string& keyPath, const std::string& valueName) {
    CheckName(keyPath);
    std::lock_guard lock(RegistryMutex());
    RegDocument doc = LoadForWriting();
    const bool existed = doc.Find(FullPath(root, keyPath)) != nullptr;
    RegKey& key = doc.Ensure(FullPath(root, keyPath));
    const bool hadValue = key.Find(valueName) != nullptr;
    if (!existed || hadValue) {
        key.Remove(valueName);
        Store(doc);
    }
}

bool RegKeyExists(RegRoot root, const std::string& keyPath) {
    std::lock_guard lock(RegistryMutex());
    return LoadForReading().Find(FullPath(root, keyPath)) != nullptr;
}

void CreateRegKey(RegRoot root, const std::string& keyPath) {
    CheckName(keyPath);
    std::lock_guard lock(RegistryMutex());
    RegDocument doc = LoadForWriting();
    if (doc.Find(FullPath(root, keyPath))) return;
    doc.Ensure(FullPath(root, keyPath));
    Store(doc);
}

void RemoveRegistryLeftovers() {
    std::lock_guard lock(RegistryMutex());
    RemoveAtomicWriteLeftovers(RegistryFile());
}

}  // namespace kb
