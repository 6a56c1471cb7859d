#include <gio/gio.h>
#include <libsecret/secret.h>

#include <chrono>
#include <cstdlib>
#include <mutex>

#include "platform/secrets.h"

namespace kb {

namespace {

const SecretSchema* Schema() {
    static const SecretSchema schema = {"org.kestrelbox.UploadPassword",
                                        SECRET_SCHEMA_NONE,
                                        {{"server", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {"port", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                        0,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr};
    return &schema;
}

std::string Taken(GError* error) {
    std::string text = error && error->message ? error->message : "the secret store failed";
    if (error) g_error_free(error);
    return text;
}

// A name on the session bus that is there or can be started. Asked with a
// short time-out: with no bus or no store the answer must come at once.
bool OnSessionBus(const char* name) {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if ((!address || !*address) && (!runtime || !*runtime)) return false;
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus) {
        if (error) g_error_free(error);
        return false;
    }
    bool found = false;
    for (const char* method : {"NameHasOwner", "ListActivatableNames"}) {
        const bool owner = std::string_view(method) == "NameHasOwner";
        GVariant* reply = g_dbus_connection_call_sync(
            bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", method,
            owner ? g_variant_new("(s)", name) : nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, 2000,
            nullptr, nullptr);
        if (!reply) continue;
        if (owner) {
            gboolean has = FALSE;
            g_variant_get(reply, "(b)", &has);
            found = has;
        } else {
            GVariantIter* names = nullptr;
            g_variant_get(reply, "(as)", &names);
            const gchar* n = nullptr;
            while (!found && g_variant_iter_loop(names, "&s", &n)) found = g_strcmp0(n, name) == 0;
            g_variant_iter_free(names);
        }
        g_variant_unref(reply);
        if (found) break;
    }
    g_object_unref(bus);
    return found;
}

}  // namespace

bool SecretStoreAvailable() {
    static std::mutex mutex;
    static std::chrono::steady_clock::time_point asked{};
    static bool answer = false;
    std::lock_guard<std::mutex> lock(mutex);
    const auto now = std::chrono::steady_clock::now();
    if (asked == std::chrono::steady_clock::time_point{} || now - asked > std::chrono::minutes(1)) {
        answer = OnSessionBus("org.freedesktop.secrets");
        asked = now;
    }
    return answer;
}

Status StoreSecret(const SecretKey& key, const std::string& secret) {
    GError* error = nullptr;
    const std::string port = std::to_string(key.port);
    const std::string label = "Kestrelbox upload password for " + key.user + "@" + key.server;
    const gboolean ok = secret_password_store_sync(
        Schema(), SECRET_COLLECTION_DEFAULT, label.c_str(), secret.c_str(), nullptr, &error,
        "server", key.server.c_str(), "port", port.c_str(), "user", key.user.c_str(), nullptr);
    if (!ok) return Status::Failure(Taken(error));
    return Status::Success();
}

std::optional<std::string> LookupSecret(const SecretKey& key, std::string* problem) {
    GError* error = nullptr;
    const std::string port = std::to_string(key.port);
    gchar* found =
        secret_password_lookup_sync(Schema(), nullptr, &error, "server", key.server.c_str(), "port",
                                    port.c_str(), "user", key.user.c_str(), nullptr);
    if (!found) {
        if (problem)
            *problem = error ? Taken(error)
                             : "no password is stored in the secret store for " + key.user + "@" +
                                   key.server;
        else if (error)
            g_error_free(error);
        return std::nullopt;
    }
    std::string out(found);
    secret_password_free(found);
    return out;
}

Status ClearSecret(const SecretKey& key) {
    GError* error = nullptr;
    const std::string port = std::to_string(key.port);
    secret_password_clear_sync(Schema(), nullptr, &error, "server", key.server.c_str(), "port",
                               port.c_str(), "user", key.user.c_str(), nullptr);
    if (error) return Status::Failure(Taken(error));
    return Status::Success();
}

}  // namespace kb
