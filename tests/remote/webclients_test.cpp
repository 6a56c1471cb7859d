// The download clients' interfaces, against a server on 127.0.0.1 that
// answers as each client's documentation says it does: qBittorrent's login
// and cookie, Transmission's session-id handshake, aria2's token; wrong
// credentials, an answer that never comes, a port nobody listens on. The
// real clients are tried in tests/clients.
#include "remote/webclients.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "remote/http.h"

namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

struct Request {
    std::string method, path, body;
    std::map<std::string, std::string> headers;  // names in lower case
};

// One connection at a time; each request is answered by `answer`, which
// returns the whole response ("" to answer nothing and hold the connection).
class ScriptedServer {
public:
    using Answer = std::function<std::string(const Request&)>;
    explicit ScriptedServer(Answer answer) : answer_(std::move(answer)) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int one = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd_, 8);
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~ScriptedServer() {
        stop_ = true;
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        thread_.join();
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    std::vector<Request> Seen() {
        std::lock_guard<std::mutex> lock(mutex_);
        return seen_;
    }

    static std::string Reply(int status, const std::string& body,
                             const std::string& extraHeaders = "") {
        return "HTTP/1.1 " + std::to_string(status) +
               " X\r\nContent-Length: " + std::to_string(body.size()) +
               "\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body;
    }

private:
    void Serve() {
        while (!stop_) {
            const int c = ::accept(fd_, nullptr, nullptr);
            if (c < 0) return;
            std::string data;
            char buf[4096];
            Request r;
            for (;;) {
                const auto end = data.find("\r\n\r\n");
                if (end != std::string::npos) {
                    Parse(data.substr(0, end), r);
                    const std::size_t want = std::stoul(
                        r.headers.count("content-length") ? r.headers["content-length"] : "0");
                    if (data.size() >= end + 4 + want) {
                        r.body = data.substr(end + 4, want);
                        break;
                    }
                }
                const ssize_t n = ::recv(c, buf, sizeof buf, 0);
                if (n <= 0) break;
                data.append(buf, static_cast<std::size_t>(n));
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                seen_.push_back(r);
            }
            const std::string reply = answer_(r);
            if (reply.empty()) {
                // Hold it, as a client that hangs would.
                while (!stop_) std::this_thread::sleep_for(std::chrono::milliseconds(20));
            } else {
                ::send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
            }
            ::close(c);
        }
    }
    static void Parse(const std::string& head, Request& r) {
        std::size_t at = head.find("\r\n");
        const std::string first = head.substr(0, at);
        r.method = first.substr(0, first.find(' '));
        r.path = first.substr(first.find(' ') + 1);
        r.path = r.path.substr(0, r.path.rfind(' '));
        while (at != std::string::npos && at < head.size()) {
            const std::size_t next = head.find("\r\n", at + 2);
            const std::string line = head.substr(at + 2, next - at - 2);
            const auto colon = line.find(':');
            if (colon != std::string::npos) {
                std::string name = line.substr(0, colon);
                for (char& ch : name) ch = static_cast<char>(std::tolower(ch));
                r.headers[name] = line.substr(line.find_first_not_of(' ', colon + 1));
            }
            at = next;
        }
    }

    Answer answer_;
    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::vector<Request> seen_;
};

std::shared_ptr<kb::DownloadClient> Client(kb::ClientKind kind, const std::string& address,
                                           const std::string& user = "",
                                           const std::string& password = "") {
    return kb::MakeDownloadClient(kb::ClientAccess{kind, address, user, password, 1000});
}

TEST(WebClients, QBittorrentLogsInWhenAskedToAndReadsItsTorrents) {
    const json torrents = json::array({{{"hash", "aa"},
                                        {"name", "film.mkv"},
                                        {"content_path", "/dl/film.mkv"},
                                        {"save_path", "/dl/"},
                                        {"progress", 0.4},
                                        {"amount_left", 10},
                                        {"state", "pausedDL"}},
                                       {{"hash", "bb"},
                                        {"name", "Album"},
                                        {"save_path", "/dl"},
                                        {"progress", 1},
                                        {"amount_left", 0},
                                        {"state", "stalledUP"}},
                                       {{"hash", "cc"},
                                        {"name", "x"},
                                        {"content_path", "/dl/x"},
                                        {"progress", 1},
                                        {"amount_left", 0},
                                        {"state", "checkingUP"}}});
    ScriptedServer server([&](const Request& r) {
        if (r.path == "/api/v2/auth/login") {
            if (r.body == "username=anna&password=p%40ss%20word")
                return ScriptedServer::Reply(200, "Ok.",
                                             "Set-Cookie: SID=s3; HttpOnly; path=/\r\n");
            return ScriptedServer::Reply(200, "Fails.");
        }
        const auto c = r.headers.find("cookie");
        if (c == r.headers.end() || c->second != "SID=s3")
            return ScriptedServer::Reply(403, "Forbidden");
        return ScriptedServer::Reply(200, torrents.dump());
    });
    auto qb = Client(kb::ClientKind::QBittorrent, server.Url("/"), "anna", "p@ss word");
    std::vector<kb::ClientDownload> got;
    ASSERT_TRUE(qb->List(got)) << "";
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].path, "/dl/film.mkv");
    EXPECT_FALSE(got[0].complete);        // paused at 40 %
    EXPECT_EQ(got[1].path, "/dl/Album");  // no content_path: the save path and name
    EXPECT_TRUE(got[1].complete);
    EXPECT_TRUE(got[1].seeding);
    EXPECT_FALSE(got[2].complete);  // being checked
    // Logged in once; the cookie serves the next request.
    ASSERT_TRUE(qb->List(got));
    int logins = 0;
    for (const Request& r : server.Seen()) logins += r.path == "/api/v2/auth/login";
    EXPECT_EQ(logins, 1);
    EXPECT_EQ(server.Seen().back().headers["referer"], server.Url("/"));

    auto wrong = Client(kb::ClientKind::QBittorrent, server.Url("/"), "anna", "nope");
    const kb::Status st = wrong->List(got);
    EXPECT_FALSE(st);
    EXPECT_EQ(st.error, "it refuses the user name and password");
    EXPECT_EQ(wrong->Describe(), "qBittorrent at " + server.Url("/"));
}

TEST(WebClients, TransmissionTakesItsSessionIdAndNeedsItsPassword) {
    ScriptedServer server([](Request r) {
        if (r.headers["authorization"] != "Basic YW5uYTpwYXNz")  // anna:pass
            return ScriptedServer::Reply(401, "Unauthorized");
        if (r.headers["x-transmission-session-id"] != "sid7")
            return ScriptedServer::Reply(409, "", "X-Transmission-Session-Id: sid7\r\n");
        const json req = json::parse(r.body);
        if (req["method"] != "torrent-get") return ScriptedServer::Reply(200, R"({"result":"no"})");
        const json answer = {{"result", "success"},
                             {"arguments",
                              {{"torrents", json::array({{{"hashString", "aa"},
                                                          {"name", "show.mkv"},
                                                          {"downloadDir", "/dl"},
                                                          {"percentDone", 1},
                                                          {"leftUntilDone", 0},
                                                          {"status", 6}},
                                                         {{"hashString", "bb"},
                                                          {"name", "Album"},
                                                          {"downloadDir", "/dl/"},
                                                          {"percentDone", 0.3},
                                                          {"leftUntilDone", 99},
                                                          {"status", 0}}})}}}};
        return ScriptedServer::Reply(200, answer.dump());
    });
    auto tr = Client(kb::ClientKind::Transmission, server.Url("/transmission/rpc"), "anna", "pass");
    std::vector<kb::ClientDownload> got;
    ASSERT_TRUE(tr->List(got));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].path, "/dl/show.mkv");
    EXPECT_TRUE(got[0].complete);
    EXPECT_EQ(got[0].state, "seeding");
    EXPECT_EQ(got[1].path, "/dl/Album");
    EXPECT_FALSE(got[1].complete);
    EXPECT_EQ(got[1].state, "stopped");
    const kb::Status st =
        Client(kb::ClientKind::Transmission, server.Url("/transmission/rpc"))->List(got);
    EXPECT_EQ(st.error, "it needs a user name and password");
}

TEST(WebClients, Aria2SendsItsSecretAndNamesATorrentsFolder) {
    ScriptedServer server([](const Request& r) {
        const json req = json::parse(r.body);
        if (req["params"].empty() || req["params"][0] != "token:s3")
            return ScriptedServer::Reply(
                400, R"({"jsonrpc":"2.0","id":"kb","error":{"code":1,"message":"Unauthorized"}})");
        json result = json::array();
        if (req["method"] == "aria2.tellActive")
            result.push_back({{"gid", "g1"},
                              {"status", "active"},
                              {"totalLength", "100"},
                              {"completedLength", "40"},
                              {"dir", "/dl"},
                              {"files", json::array({{{"path", "/dl/Album/a.flac"}},
                                                     {{"path", "/dl/Album/b.flac"}}})},
                              {"bittorrent", {{"info", {{"name", "Album"}}}}}});
        if (req["method"] == "aria2.tellStopped")
            result.push_back({{"gid", "g2"},
                              {"status", "complete"},
                              {"totalLength", "5"},
                              {"completedLength", "5"},
                              {"dir", "/dl"},
                              {"files", json::array({{{"path", "/dl/iso.img"}}})}});
        return ScriptedServer::Reply(
            200, json{{"jsonrpc", "2.0"}, {"id", "kb"}, {"result", result}}.dump());
    });
    auto ar = Client(kb::ClientKind::Aria2, server.Url("/jsonrpc"), "", "s3");
    std::vector<kb::ClientDownload> got;
    ASSERT_TRUE(ar->List(got));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].path, "/dl/Album");
    EXPECT_FALSE(got[0].complete);
    EXPECT_EQ(got[1].path, "/dl/iso.img");
    EXPECT_TRUE(got[1].complete);
    EXPECT_FALSE(ar->CanRelocate());
    EXPECT_EQ(Client(kb::ClientKind::Aria2, server.Url("/jsonrpc"), "", "bad")->List(got).error,
              "it refuses the secret");
}

TEST(WebClients, AClientThatHangsCostsItsTimeoutAndOneNotThereNothing) {
    ScriptedServer hung([](const Request&) { return std::string(); });
    for (kb::ClientKind kind :
         {kb::ClientKind::QBittorrent, kb::ClientKind::Transmission, kb::ClientKind::Aria2}) {
        auto c = Client(kind, hung.Url("/"));
        std::vector<kb::ClientDownload> got;
        const auto t0 = Clock::now();
        const kb::Status st = c->List(got);
        const auto took = Clock::now() - t0;
        EXPECT_FALSE(st);
        EXPECT_EQ(st.error, "no answer within 1000 ms");
        EXPECT_LT(took, std::chrono::milliseconds(1900)) << kb::ClientKindName(kind);
    }
    // A port with nobody behind it.
    int port = 0;
    {
        ScriptedServer gone([](const Request&) { return std::string(); });
        port = std::stoi(gone.Url("").substr(std::string("http://127.0.0.1:").size()));
    }
    std::vector<kb::ClientDownload> got;
    const kb::Status st =
        Client(kb::ClientKind::QBittorrent, "http://127.0.0.1:" + std::to_string(port) + "/")
            ->List(got);
    EXPECT_FALSE(st);
    EXPECT_FALSE(st.error.empty());
}

TEST(WebClients, FormValuesAreEncoded) {
    EXPECT_EQ(kb::FormEncode("a b&c=d/é"), "a%20b%26c%3Dd%2F%C3%A9");
    EXPECT_EQ(kb::FormEncode("Az09-_.~"), "Az09-_.~");
}

}  // namespace
