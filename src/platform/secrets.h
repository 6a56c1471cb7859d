// The desktop's secret store: the Secret Service (through libsecret) on
// Linux, the Credential Manager on Windows. An upload's password is kept
// there instead of in kbconf.ini when one runs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/status.h"

namespace kb {

// Whose password: one per server, port and user, shared by every action
// that logs in the same way.
struct SecretKey {
    std::string server;
    std::int32_t port = 0;
    std::string user;
};

// Whether a secret store answers (or would be started) for this session.
// Asks at most once a minute; a headless server normally has none.
bool SecretStoreAvailable();

Status StoreSecret(const SecretKey& key, const std::string& secret);
// The password, or nullopt with the reason in `problem` (none stored is
// "no password is stored for ...").
std::optional<std::string> LookupSecret(const SecretKey& key, std::string* problem = nullptr);
Status ClearSecret(const SecretKey& key);

}  // namespace kb
