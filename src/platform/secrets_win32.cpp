#include <windows.h>

#include <wincred.h>

#include "platform/secrets.h"

namespace kb {

namespace {

std::string Target(const SecretKey& key) {
    return "Kestrelbox upload/" + key.user + "@" + key.server + ":" + std::to_string(key.port);
}

}  // namespace

bool SecretStoreAvailable() { return true; }  // every Windows account has one

Status StoreSecret(const SecretKey& key, const std::string& secret) {
    std::string target = Target(key);
    std::string user = key.user;
    CREDENTIALA c{};
    c.Type = CRED_TYPE_GENERIC;
    c.TargetName = target.data();
    c.UserName = user.data();
    c.CredentialBlobSize = static_cast<DWORD>(secret.size());
    c.CredentialBlob = reinterpret_cast<LPBYTE>(const_cast<char*>(secret.data()));
    c.Persist = CRED_PERSIST_LOCAL_MACHINE;
    if (!CredWriteA(&c, 0)) return Status::Failure("the Credential Manager refused the password");
    return Status::Success();
}

std::optional<std::string> LookupSecret(const SecretKey& key, std::string* problem) {
    PCREDENTIALA c = nullptr;
    if (!CredReadA(Target(key).c_str(), CRED_TYPE_GENERIC, 0, &c)) {
        if (problem)
            *problem = "no password is stored in the Credential Manager for " + key.user + "@" +
                       key.server;
        return std::nullopt;
    }
    std::string out(reinterpret_cast<const char*>(c->CredentialBlob), c->CredentialBlobSize);
    CredFree(c);
    return out;
}

Status ClearSecret(const SecretKey& key) {
    if (!CredDeleteA(Target(key).c_str(), CRED_TYPE_GENERIC, 0) &&
        GetLastError() != ERROR_NOT_FOUND)
        return Status::Failure("the Credential Manager kept the password");
    return Status::Success();
}

}  // namespace kb
