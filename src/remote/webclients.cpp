#include "remote/webclients.h"

#include <chrono>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "remote/http.h"

namespace kb {

namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

std::string Trailing(std::string address) {
    if (address.empty() || address.back() != '/') address += '/';
    return address;
}

std::string StringOf(const json& j, const char* key) {
    const auto it = j.find(key);
    return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
}

double NumberOf(const json& j, const char* key, double fallback = 0) {
    const auto it = j.find(key);
    if (it == j.end()) return fallback;
    if (it->is_number()) return it->get<double>();
    if (it->is_string()) {
        try {
            return std::stod(it->get<std::string>());
        } catch (const std::exception&) {
        }
    }
    return fallback;
}

std::string Clean(const std::string& path) { return CleanFolderPath(path); }

// Waits for `done` to say yes, asking every quarter of a second, until
// `limitSeconds` have passed or `stop` is set.
Status AwaitMove(const std::function<Status(bool& done)>& done, const std::string& who,
                 int limitSeconds, const std::atomic<bool>* stop) {
    const auto end = Clock::now() + std::chrono::seconds(limitSeconds);
    for (;;) {
        bool finished = false;
        Status st = done(finished);
        if (!st.ok) return st;
        if (finished) return Status::Success();
        if (Clock::now() >= end)
            return Status::Failure(who + " was still moving it after " +
                                   std::to_string(limitSeconds) + " seconds");
        if (stop && stop->load())
            return Status::Failure(who + " was still moving it when Kestrelbox stopped");
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
}

// An answer that is no answer, in words.
std::string Unanswered(const HttpResponse& r) {
    if (r.status == 0) return r.error;
    return "it answered " + std::to_string(r.status);
}

// ---------------------------------------------------------------- qBittorrent

class QBittorrent : public DownloadClient {
public:
    explicit QBittorrent(ClientAccess a) : a_(std::move(a)) { a_.address = Trailing(a_.address); }

    std::string Describe() const override { return "qBittorrent at " + a_.address; }
    std::string Kind() const override { return "qBittorrent"; }
    bool CanRelocate() const override { return true; }

    Status List(std::vector<ClientDownload>& out) override {
        json torrents;
        if (Status st = Get("api/v2/torrents/info", torrents); !st) return st;
        if (!torrents.is_array()) return Status::Failure("its answer is not a list of torrents");
        out.clear();
        for (const json& t : torrents) {
            if (!t.is_object()) continue;
            out.push_back(Download(t));
        }
        return Status::Success();
    }

    Status Relocate(const std::string& id, const std::string& folder, int limitSeconds,
                    const std::atomic<bool>* stop) override {
        HttpResponse r = Post("api/v2/torrents/setLocation",
                              "hashes=" + FormEncode(id) + "&location=" + FormEncode(folder));
        if (r.status != 200)
            return Status::Failure(
                "qBittorrent did not move it (" +
                (r.status == 409 ? std::string("it cannot write to ") + folder : Unanswered(r)) +
                ")");
        const std::string want = Clean(folder);
        return AwaitMove(
            [&](bool& done) {
                json list;
                if (Status st = Get("api/v2/torrents/info?hashes=" + FormEncode(id), list); !st)
                    return st;
                if (!list.is_array() || list.empty())
                    return Status::Failure("qBittorrent no longer knows the torrent");
                const std::string state = StringOf(list[0], "state");
                if (state == "error" || state == "missingFiles")
                    return Status::Failure("qBittorrent reports the torrent's files missing");
                done = Clean(StringOf(list[0], "save_path")) == want && state != "moving";
                return Status::Success();
            },
            "qBittorrent", limitSeconds, stop);
    }

private:
    static ClientDownload Download(const json& t) {
        ClientDownload d;
        d.id = StringOf(t, "hash");
        d.name = StringOf(t, "name");
        d.path = StringOf(t, "content_path");
        if (d.path.empty()) d.path = Trailing(StringOf(t, "save_path")) + d.name;
        d.state = StringOf(t, "state");
        static const char* const kBusy[] = {"checkingDL",   "checkingUP", "checkingResumeData",
                                            "moving",       "metaDL",     "allocating",
                                            "missingFiles", "error",      "unknown"};
        bool busy = false;
        for (const char* s : kBusy) busy |= d.state == s;
        d.complete = !busy && NumberOf(t, "progress") >= 1.0 && NumberOf(t, "amount_left") <= 0;
        d.seeding = d.complete;
        return d;
    }

    HttpResponse Send(const std::string& path, const std::string* form) {
        HttpRequest r;
        r.url = a_.address + path;
        r.timeoutMs = a_.timeoutMs;
        r.cookie = Cookie();
        // The Web API checks that a request comes from its own pages.
        r.headers.emplace_back("Referer: " + a_.address);
        if (form) {
            r.method = "POST";
            r.body = *form;
            r.headers.emplace_back("Content-Type: application/x-www-form-urlencoded");
        }
        return SendHttp(r);
    }

    // A request, logged in again when the session has ended.
    HttpResponse Request(const std::string& path, const std::string* form) {
        HttpResponse r = Send(path, form);
        if (r.status != 403) return r;
        if (Status st = Login(); !st) {
            r.status = 0;
            r.error = st.error;
            return r;
        }
        return Send(path, form);
    }

    Status Get(const std::string& path, json& out) {
        const HttpResponse r = Request(path, nullptr);
        if (r.status != 200) return Status::Failure(Unanswered(r));
        out = json::parse(r.body, nullptr, false);
        if (out.is_discarded()) return Status::Failure("its answer is not JSON");
        return Status::Success();
    }

    HttpResponse Post(const std::string& path, const std::string& form) {
        return Request(path, &form);
    }

    Status Login() {
        const std::string form =
            "username=" + FormEncode(a_.user) + "&password=" + FormEncode(a_.password);
        const HttpResponse r = Send("api/v2/auth/login", &form);
        if (r.status == 403)
            return Status::Failure("it refuses this computer after too many failed logins");
        if (r.status != 200) return Status::Failure(Unanswered(r));
        if (r.body.rfind("Ok.", 0) != 0)
            return Status::Failure(a_.user.empty() ? "it needs a user name and password"
                                                   : "it refuses the user name and password");
        const auto it = r.headers.find("set-cookie");
        if (it == r.headers.end()) return Status::Failure("it gave no session");
        std::lock_guard<std::mutex> lock(mutex_);
        cookie_ = it->second.substr(0, it->second.find(';'));
        return Status::Success();
    }

    std::string Cookie() {
        std::lock_guard<std::mutex> lock(mutex_);
        return cookie_;
    }

    ClientAccess a_;
    std::mutex mutex_;
    std::string cookie_;
};

// ---------------------------------------------------------------- Transmission

class Transmission : public DownloadClient {
public:
    explicit Transmission(ClientAccess a) : a_(std::move(a)) {}

    std::string Describe() const override { return "Transmission at " + a_.address; }
    std::string Kind() const override { return "Transmission"; }
    bool CanRelocate() const override { return true; }

    Status List(std::vector<ClientDownload>& out) override {
        json args;
        if (Status st = Call("torrent-get", Fields(json::object()), args); !st) return st;
        out.clear();
        for (const json& t : args.value("torrents", json::array())) out.push_back(Download(t));
        return Status::Success();
    }

    Status Relocate(const std::string& id, const std::string& folder, int limitSeconds,
                    const std::atomic<bool>* stop) override {
        json ignored;
        const json move = {{"ids", json::array({id})}, {"location", folder}, {"move", true}};
        if (Status st = Call("torrent-set-location", move, ignored); !st)
            return Status::Failure("Transmission did not move it (" + st.error + ")");
        const std::string want = Clean(folder);
        return AwaitMove(
            [&](bool& done) {
                json args;
                if (Status st = Call("torrent-get", Fields({{"ids", json::array({id})}}), args);
                    !st)
                    return st;
                const json list = args.value("torrents", json::array());
                if (list.empty())
                    return Status::Failure("Transmission no longer knows the torrent");
                const ClientDownload d = Download(list[0]);
                if (NumberOf(list[0], "error") == 3)
                    return Status::Failure("Transmission: " + StringOf(list[0], "errorString"));
                done = Clean(StringOf(list[0], "downloadDir")) == want && d.state != "checking" &&
                       d.state != "waiting to check";
                return Status::Success();
            },
            "Transmission", limitSeconds, stop);
    }

private:
    static json Fields(json args) {
        args["fields"] = {"hashString",    "name",   "downloadDir", "percentDone",
                          "leftUntilDone", "status", "error",       "errorString"};
        return args;
    }

    static ClientDownload Download(const json& t) {
        static const char* const kStates[] = {
            "stopped",     "waiting to check", "checking", "waiting to download",
            "downloading", "waiting to seed",  "seeding"};
        ClientDownload d;
        d.id = StringOf(t, "hashString");
        d.name = StringOf(t, "name");
        d.path = Trailing(StringOf(t, "downloadDir")) + d.name;
        const int status = static_cast<int>(NumberOf(t, "status", -1));
        d.state = status >= 0 && status < 7 ? kStates[status] : "unknown";
        d.complete = status != 1 && status != 2 && status >= 0 &&
                     NumberOf(t, "leftUntilDone", 1) <= 0 && NumberOf(t, "percentDone") >= 1.0;
        d.seeding = d.complete;
        return d;
    }

    // One RPC call; the session id Transmission hands out on the first
    // request (409) is kept for the next.
    Status Call(const std::string& method, const json& arguments, json& result) {
        const std::string body = json{{"method", method}, {"arguments", arguments}}.dump();
        for (int attempt = 0; attempt < 2; ++attempt) {
            HttpRequest r;
            r.url = a_.address;
            r.method = "POST";
            r.body = body;
            r.timeoutMs = a_.timeoutMs;
            r.user = a_.user;
            r.password = a_.password;
            r.headers.emplace_back("Content-Type: application/json");
            r.headers.emplace_back("X-Transmission-Session-Id: " + Session());
            const HttpResponse got = SendHttp(r);
            if (got.status == 409) {
                const auto it = got.headers.find("x-transmission-session-id");
                if (it == got.headers.end()) return Status::Failure("it gave no session id");
                std::lock_guard<std::mutex> lock(mutex_);
                session_ = it->second;
                continue;
            }
            if (got.status == 401)
                return Status::Failure(a_.user.empty() ? "it needs a user name and password"
                                                       : "it refuses the user name and password");
            if (got.status == 403)
                return Status::Failure("it does not let this computer in (rpc-whitelist)");
            if (got.status != 200) return Status::Failure(Unanswered(got));
            const json answer = json::parse(got.body, nullptr, false);
            if (!answer.is_object()) return Status::Failure("its answer is not JSON");
            const std::string outcome = StringOf(answer, "result");
            if (outcome != "success")
                return Status::Failure(outcome.empty() ? "no result" : outcome);
            result = answer.value("arguments", json::object());
            return Status::Success();
        }
        return Status::Failure("it keeps asking for a new session");
    }

    std::string Session() {
        std::lock_guard<std::mutex> lock(mutex_);
        return session_;
    }

    ClientAccess a_;
    std::mutex mutex_;
    std::string session_;
};

// ---------------------------------------------------------------- aria2

class Aria2 : public DownloadClient {
public:
    explicit Aria2(ClientAccess a) : a_(std::move(a)) {}

    std::string Describe() const override { return "aria2 at " + a_.address; }
    std::string Kind() const override { return "aria2"; }

    Status List(std::vector<ClientDownload>& out) override {
        const json keys = {"gid", "status", "totalLength", "completedLength",
                           "dir", "files",  "bittorrent"};
        out.clear();
        for (const auto& [method, paged] : {std::pair{"aria2.tellActive", false},
                                            {"aria2.tellWaiting", true},
                                            {"aria2.tellStopped", true}}) {
            json params = json::array();
            if (paged) params = {0, 1000};
            params.push_back(keys);
            json list;
            if (Status st = Call(method, params, list); !st) return st;
            for (const json& d : list)
                if (d.is_object() && StringOf(d, "status") != "removed") out.push_back(Download(d));
        }
        return Status::Success();
    }

private:
    static ClientDownload Download(const json& d) {
        ClientDownload c;
        c.id = StringOf(d, "gid");
        c.state = StringOf(d, "status");
        const json files = d.value("files", json::array());
        const std::string name = d.contains("bittorrent") && d["bittorrent"].is_object() &&
                                         d["bittorrent"].contains("info") &&
                                         d["bittorrent"]["info"].is_object()
                                     ? StringOf(d["bittorrent"]["info"], "name")
                                     : std::string();
        if (!name.empty() && files.size() > 1) {
            c.path = Trailing(StringOf(d, "dir")) + name;  // a torrent's folder
        } else if (!files.empty() && files[0].is_object()) {
            c.path = StringOf(files[0], "path");
        }
        c.name = c.path.substr(c.path.find_last_of('/') + 1);
        const double total = NumberOf(d, "totalLength"), done = NumberOf(d, "completedLength");
        c.complete = c.state == "complete" || (c.state == "active" && total > 0 && done >= total);
        c.seeding = c.complete && c.state == "active";
        return c;
    }

    Status Call(const std::string& method, json params, json& result) {
        if (!a_.password.empty()) params.insert(params.begin(), "token:" + a_.password);
        HttpRequest r;
        r.url = a_.address;
        r.method = "POST";
        r.timeoutMs = a_.timeoutMs;
        r.headers.emplace_back("Content-Type: application/json");
        r.body =
            json{{"jsonrpc", "2.0"}, {"id", "kb"}, {"method", method}, {"params", params}}.dump();
        const HttpResponse got = SendHttp(r);
        if (got.status == 0) return Status::Failure(got.error);
        const json answer = json::parse(got.body, nullptr, false);
        if (!answer.is_object()) return Status::Failure(Unanswered(got));
        if (answer.contains("error")) {
            const std::string message =
                answer["error"].is_object() ? StringOf(answer["error"], "message") : "";
            if (message == "Unauthorized")
                return Status::Failure(a_.password.empty() ? "it needs its secret"
                                                           : "it refuses the secret");
            return Status::Failure(message.empty() ? "an error" : message);
        }
        result = answer.value("result", json::array());
        return Status::Success();
    }

    ClientAccess a_;
};

}  // namespace

std::string FormEncode(const std::string& text) {
    static const char* const hex = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::shared_ptr<DownloadClient> MakeDownloadClient(const ClientAccess& access) {
    switch (access.kind) {
        case ClientKind::QBittorrent:
            return std::make_shared<QBittorrent>(access);
        case ClientKind::Transmission:
            return std::make_shared<Transmission>(access);
        case ClientKind::Aria2:
            return std::make_shared<Aria2>(access);
        case ClientKind::None:
            break;
    }
    return nullptr;
}

}  // namespace kb
