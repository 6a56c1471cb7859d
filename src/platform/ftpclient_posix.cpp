#include <curl/curl.h>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/ftpclient.h"
#include "platform/paths.h"

namespace kb {

namespace {

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct CurlDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
struct SlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;

bool Readable(const std::string& path) {
    return !path.empty() && ::access(path.c_str(), R_OK) == 0;
}

// libcurl's SFTP commands take paths in double quotes, with "\" and """
// escaped.
std::string Quoted(const std::string& path) {
    std::string out = "\"";
    for (char c : path) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

// The remote file's path as an SFTP command names it: from the root, or
// from the login directory.
std::string SftpPath(const FtpRequest& r, const std::string& name) {
    std::string dir;
    std::string_view rest = r.directory;
    while (!rest.empty()) {
        const auto slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        if (!part.empty()) dir += std::string(part) + "/";
        if (slash == std::string_view::npos) break;
        rest.remove_prefix(slash + 1);
    }
    return (r.directory.starts_with("/") ? "/" : "") + dir + name;
}

// What the SSH host key check found, for the message of a refused host.
struct HostKeyCheck {
    std::string host;
    std::int32_t port = 22;
    curl_khmatch match = CURLKHMATCH_OK;
    std::string line;  // the server's key as a known_hosts line
};

const char* KeyTypeName(curl_khtype t) {
    switch (t) {
        case CURLKHTYPE_RSA:
            return "ssh-rsa";
        case CURLKHTYPE_DSS:
            return "ssh-dss";
        case CURLKHTYPE_ECDSA:
            return "ecdsa-sha2-nistp256";
        case CURLKHTYPE_ED25519:
            return "ssh-ed25519";
        default:
            return nullptr;
    }
}

std::string Base64(const unsigned char* data, std::size_t size) {
    std::vector<unsigned char> out(4 * ((size + 2) / 3) + 1);
    const int n = EVP_EncodeBlock(out.data(), data, static_cast<int>(size));
    return std::string(reinterpret_cast<const char*>(out.data()), static_cast<std::size_t>(n));
}

int OnHostKey(CURL*, const curl_khkey*, const curl_khkey* found, curl_khmatch match, void* data) {
    auto* check = static_cast<HostKeyCheck*>(data);
    check->match = match;
    if (found && found->key && KeyTypeName(found->keytype)) {
        // The key comes raw with its length, or as base64 text with none.
        const std::string key =
            found->len == 0
                ? std::string(found->key)
                : Base64(reinterpret_cast<const unsigned char*>(found->key), found->len);
        const std::string who = check->port == 22
                                    ? check->host
                                    : "[" + check->host + "]:" + std::to_string(check->port);
        check->line = who + " " + KeyTypeName(found->keytype) + " " + key;
    }
    // Only a key the known_hosts file holds for this host is trusted; a
    // new or changed key is refused, never learnt on the way.
    return match == CURLKHMATCH_OK ? CURLKHSTAT_FINE : CURLKHSTAT_REJECT;
}

std::string HostKeyProblem(const HostKeyCheck& check, const std::string& knownHosts) {
    const std::string where =
        check.port == 22 ? check.host : "-p " + std::to_string(check.port) + " " + check.host;
    if (check.match == CURLKHMATCH_MISMATCH) {
        return "the server's host key is not the one " + knownHosts +
               " holds for it; if the server's key was changed on purpose, remove the old line "
               "(ssh-keygen -R) and trust the new one";
    }
    return "the server's host key is not known; if it is yours, trust it with \"ssh-keyscan " +
           where + " >> " + knownHosts + "\" (compare its fingerprint with the server's first)";
}

// Options every kind of connection shares.
void CommonOptions(CURL* c, const FtpRequest& r, const FtpTimeouts& timeouts, char* errbuf) {
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errbuf);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);  // the pass may run off the main thread
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, timeouts.connectMs);
    curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, (timeouts.responseMs + 999) / 1000);
    curl_easy_setopt(c, CURLOPT_ACCEPTTIMEOUT_MS, timeouts.responseMs);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, (timeouts.stallMs + 999) / 1000);
    const FtpSecurity security = SecurityOf(r.server);
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR,
                     security == FtpSecurity::Sftp          ? "sftp"
                     : security == FtpSecurity::ImplicitTls ? "ftps"
                                                            : "ftp");
    if (security == FtpSecurity::ExplicitTls || security == FtpSecurity::ImplicitTls) {
        curl_easy_setopt(c, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
        if (!r.pinnedKey.empty()) {
            // The user accepted this very key: the chain and the name are not
            // asked for, the key must match exactly.
            curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 0L);
            curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 0L);
            curl_easy_setopt(c, CURLOPT_PINNEDPUBLICKEY, r.pinnedKey.c_str());
        }
    }
    if (!r.user.empty()) {
        curl_easy_setopt(c, CURLOPT_USERNAME, r.user.c_str());
        curl_easy_setopt(c, CURLOPT_PASSWORD, r.password.c_str());
    }
}

std::string KnownHostsOf(const FtpRequest& r) {
    return r.knownHosts.empty() ? HomeDir() + "/.ssh/known_hosts" : r.knownHosts;
}

std::string KeyFileOf(const FtpRequest& r) {
    if (!r.keyFile.empty()) return r.keyFile;
    const std::string home = HomeDir();
    for (const char* name : {"/.ssh/id_ed25519", "/.ssh/id_rsa", "/.ssh/id_ecdsa"}) {
        if (Readable(home + name)) return home + name;
    }
    return {};
}

void SftpOptions(CURL* c, const FtpRequest& r, HostKeyCheck& check, const std::string& knownHosts) {
    check.host = FtpHost(r.server);
    check.port = r.port == 0 ? 22 : r.port;
    curl_easy_setopt(c, CURLOPT_SSH_KNOWNHOSTS, knownHosts.c_str());
    curl_easy_setopt(c, CURLOPT_SSH_KEYFUNCTION, OnHostKey);
    curl_easy_setopt(c, CURLOPT_SSH_KEYDATA, &check);
    long auth = CURLSSH_AUTH_PASSWORD | CURLSSH_AUTH_KEYBOARD;
    const std::string key = KeyFileOf(r);
    if (!key.empty()) {
        auth |= CURLSSH_AUTH_PUBLICKEY;
        curl_easy_setopt(c, CURLOPT_SSH_PRIVATE_KEYFILE, key.c_str());
        // An empty public key file lets libssh2 derive it from the private one.
        curl_easy_setopt(c, CURLOPT_SSH_PUBLIC_KEYFILE, "");
    }
    curl_easy_setopt(c, CURLOPT_SSH_AUTH_TYPES, auth);
}

// A reason people can act on for the failures that have one.
std::string Reason(CURLcode rc, const char* errbuf, const FtpRequest& r, const HostKeyCheck& check,
                   const std::string& knownHosts) {
    const FtpSecurity security = SecurityOf(r.server);
    if (security == FtpSecurity::Sftp && check.match != CURLKHMATCH_OK &&
        (rc == CURLE_PEER_FAILED_VERIFICATION || rc == CURLE_SSH))
        return HostKeyProblem(check, knownHosts);
    if (rc == CURLE_PEER_FAILED_VERIFICATION && r.pinnedKey.empty()) {
        return std::string("the server's certificate is not trusted (") +
               (errbuf[0] ? errbuf : curl_easy_strerror(rc)) +
               "); if it is your server, accept its certificate in the action's Transfer Options";
    }
    if (rc == CURLE_SSL_PINNEDPUBKEYNOTMATCH) {
        return "the server's certificate is not the one accepted for it; accept the new one in "
               "the action's Transfer Options if the server's certificate was changed on purpose";
    }
    if (rc == CURLE_LOGIN_DENIED) return "the server refused the user name or password";
    return errbuf[0] ? errbuf : curl_easy_strerror(rc);
}

// The "sha256//" pin of a PEM certificate's public key; "" when it does not parse.
std::string PinOfCertificate(const std::string& pem) {
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(
        BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), BIO_free);
    if (!bio) return {};
    std::unique_ptr<X509, decltype(&X509_free)> cert(
        PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr), X509_free);
    if (!cert) return {};
    unsigned char* der = nullptr;
    const int len = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(cert.get()), &der);
    if (len <= 0) return {};
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLen = 0;
    const bool ok = EVP_Digest(der, static_cast<std::size_t>(len), digest, &digestLen, EVP_sha256(),
                               nullptr) == 1;
    OPENSSL_free(der);
    if (!ok) return {};
    return "sha256//" + Base64(digest, digestLen);
}

}  // namespace

Status FtpSendFile(const FtpRequest& r, const std::string& localPath, const FtpTimeouts& timeouts,
                   std::int64_t* bytesSent) {
    if (bytesSent) *bytesSent = 0;
    const FtpSecurity security = SecurityOf(r.server);
    // Over the secure protocols the file is written under a temporary name
    // and renamed once the server has it all.
    const bool viaPart = security != FtpSecurity::Plain;
    FtpRequest sent = r;
    if (viaPart) sent.remoteName = r.remoteName + ".part";
    const std::string url = IsSafeRemoteName(r.remoteName) ? FtpUrl(sent) : std::string();
    if (url.empty()) {
        return Status::Failure(IsSafeRemoteName(r.remoteName)
                                   ? "invalid server, port or remote directory"
                                   : "file name cannot be sent by FTP");
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(localPath, ec))
        return Status::Failure("not a regular file");
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(localPath.c_str(), "rb"));
    if (!file) return Status::Failure("cannot open the file");
    const auto size = std::filesystem::file_size(localPath, ec);

    GlobalInit();
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) return Status::Failure("cannot start an FTP session");
    CURL* c = curl.get();
    char errbuf[CURL_ERROR_SIZE] = {};
    CommonOptions(c, r, timeouts, errbuf);
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c, CURLOPT_READDATA, file.get());
    if (!ec) curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size));
    HostKeyCheck check;
    const std::string knownHosts = KnownHostsOf(r);
    Slist after;
    if (security == FtpSecurity::Sftp) {
        SftpOptions(c, r, check, knownHosts);
        curl_easy_setopt(c, CURLOPT_FTP_CREATE_MISSING_DIRS, 1L);
        // SFTP's rename does not replace: the old file goes first ("*": it
        // may not be there).
        const std::string from = Quoted(SftpPath(r, sent.remoteName));
        const std::string to = Quoted(SftpPath(r, r.remoteName));
        after.reset(curl_slist_append(nullptr, ("*rm " + to).c_str()));
        curl_slist_append(after.get(), ("rename " + from + " " + to).c_str());
    } else {
        curl_easy_setopt(c, CURLOPT_TRANSFERTEXT, r.ascii ? 1L : 0L);
        // Active mode: the server connects back to the address of the control connection.
        curl_easy_setopt(c, CURLOPT_FTPPORT, r.passive ? nullptr : "-");
        curl_easy_setopt(c, CURLOPT_FTP_CREATE_MISSING_DIRS,
                         static_cast<long>(CURLFTP_CREATE_DIR_RETRY));
        if (viaPart) {
            // Run in the file's folder after the transfer; RNTO replaces.
            after.reset(curl_slist_append(nullptr, ("RNFR " + sent.remoteName).c_str()));
            curl_slist_append(after.get(), ("RNTO " + r.remoteName).c_str());
        }
    }
    if (after) curl_easy_setopt(c, CURLOPT_POSTQUOTE, after.get());

    const CURLcode rc = curl_easy_perform(c);
    curl_off_t wire = 0;
    curl_easy_getinfo(c, CURLINFO_SIZE_UPLOAD_T, &wire);
    if (bytesSent) *bytesSent = static_cast<std::int64_t>(wire);
    if (rc == CURLE_QUOTE_ERROR)
        return Status::Failure("the file was sent but the server refused to give it its name (" +
                               std::string(errbuf[0] ? errbuf : curl_easy_strerror(rc)) + ")");
    if (rc != CURLE_OK) return Status::Failure(Reason(rc, errbuf, r, check, knownHosts));
    if (viaPart && !ec && static_cast<std::uintmax_t>(wire) != size)
        return Status::Failure("the server took " + std::to_string(wire) + " of " +
                               std::to_string(size) + " bytes");
    return Status::Success();
}

Status FetchServerIdentity(const FtpRequest& r, ServerIdentity& out, const FtpTimeouts& timeouts) {
    out = {};
    const FtpSecurity security = SecurityOf(r.server);
    if (security == FtpSecurity::Plain)
        return Status::Failure("plain FTP has no certificate or host key to check");
    FtpRequest probe = r;
    probe.remoteName = "x";
    std::string url = FtpUrl(probe);
    if (url.empty()) return Status::Failure("invalid server or port");
    url.resize(url.find('/', url.find("://") + 3) + 1);  // the server's root, nothing sent

    GlobalInit();
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) return Status::Failure("cannot start a session");
    CURL* c = curl.get();
    char errbuf[CURL_ERROR_SIZE] = {};
    probe.pinnedKey.clear();
    CommonOptions(c, probe, timeouts, errbuf);
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_NOBODY, 1L);
    HostKeyCheck check;
    const std::string knownHosts = KnownHostsOf(r);
    if (security == FtpSecurity::Sftp) {
        SftpOptions(c, probe, check, knownHosts);
        // Nothing is trusted on this connection: the key is read, the
        // connection refused before any login.
        curl_easy_setopt(c, CURLOPT_SSH_KNOWNHOSTS, "/dev/null");
    } else {
        curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 0L);
        curl_easy_setopt(c, CURLOPT_CERTINFO, 1L);
    }
    const CURLcode rc = curl_easy_perform(c);
    if (security == FtpSecurity::Sftp) {
        out.knownHostsLine = check.line;
        if (out.knownHostsLine.empty())
            return Status::Failure(errbuf[0] ? errbuf : curl_easy_strerror(rc));
        return Status::Success();
    }
    curl_certinfo* info = nullptr;
    if (curl_easy_getinfo(c, CURLINFO_CERTINFO, &info) == CURLE_OK && info &&
        info->num_of_certs > 0) {
        for (curl_slist* f = info->certinfo[0]; f; f = f->next) {
            const std::string_view field = f->data;
            if (field.starts_with("Subject:")) out.subject = std::string(field.substr(8));
            if (field.starts_with("Cert:"))
                out.pin = PinOfCertificate(std::string(field.substr(5)));
        }
    }
    if (out.pin.empty())
        return Status::Failure(errbuf[0] ? errbuf : "the server showed no certificate");
    return Status::Success();
}

}  // namespace kb
