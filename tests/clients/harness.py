"""Real download clients on loopback, and the built program beside them.

Each test runs in a network namespace of its own that holds nothing but
`lo` (unshare --net), so no client can reach anything but the tracker,
seeder and web server started here. The pieces:

- Tracker: a minimal HTTP BitTorrent tracker (compact peer lists).
- Seeder: a libtorrent session that seeds at a limited rate and can stall.
- WebServer: HTTP with ranges, a rate limit, stalls and dropped transfers.
- Transmission, QBittorrent, Aria2: the Debian clients, driven through
  their documented local interfaces, each able to run as another user.
- Kestrelbox: the built program, headless, with one service on the
  clients' download folder and one rule.
- Watch: samples the rule's target folder and the client's own progress
  ten times a second, so a test can tell whether anything partial ever
  reached the target and how long a finished download waited.
"""

import base64
import hashlib
import http.server
import json
import os
import shutil
import signal
import socket
import socketserver
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.parse
import urllib.request

SKIP = 77  # CTest's SKIP_RETURN_CODE for these tests

HOST = "10.77.0.1"         # the tracker, the web server and the clients
SEEDER_HOST = "10.77.0.2"  # the seeder, so that its peers see another address
LEECHER_HOST = "10.77.0.3"  # a second peer, of its own address

NOBODY = 65534  # the user Kestrelbox runs as when the client is another user
DAEMON = 1      # the user a client runs as in those tests


def enter_namespace():
    """Re-runs this script in a network namespace with only loopback, or
    ends it as skipped when the machine cannot make one."""
    if os.environ.get("KB_CLIENTS_NETNS") == "1":
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
        # Transmission takes 127.0.0.0/8 for no peer address at all, so the
        # swarm meets on two more addresses of the same loopback device.
        for addr in (HOST, SEEDER_HOST, LEECHER_HOST):
            subprocess.run(["ip", "addr", "add", addr + "/24", "dev", "lo"], check=True)
        return
    env = dict(os.environ, KB_CLIENTS_NETNS="1")
    probe = subprocess.run(["unshare", "--net", "true"], capture_output=True)
    if probe.returncode != 0:
        print("skipped: cannot make a network namespace here (unshare --net: %s)"
              % probe.stderr.decode().strip(), flush=True)
        sys.exit(SKIP)
    os.execvpe("unshare", ["unshare", "--net", sys.executable] + sys.argv, env)


def require(*programs):
    missing = [p for p in programs if shutil.which(p) is None]
    if missing:
        print("skipped: not installed: " + ", ".join(missing), flush=True)
        sys.exit(SKIP)


def free_port():
    with socket.socket() as s:
        s.bind(("0.0.0.0", 0))
        return s.getsockname()[1]


def wait_until(test, limit, step=0.1, what="condition"):
    end = time.monotonic() + limit
    while time.monotonic() < end:
        value = test()
        if value:
            return value
        time.sleep(step)
    raise AssertionError("timed out after %.0f s waiting for %s" % (limit, what))


def payload(size, seed):
    """Bytes that differ everywhere, so a partial or shifted copy never
    compares equal to the whole."""
    out = bytearray()
    block = hashlib.sha256(seed.encode()).digest()
    while len(out) < size:
        block = hashlib.sha256(block).digest()
        out += block * 64
    return bytes(out[:size])


# --- bencoding, for the tracker and for torrents -------------------------

def bencode(v):
    if isinstance(v, int):
        return b"i%de" % v
    if isinstance(v, str):
        v = v.encode()
    if isinstance(v, bytes):
        return b"%d:%s" % (len(v), v)
    if isinstance(v, list):
        return b"l" + b"".join(bencode(x) for x in v) + b"e"
    if isinstance(v, dict):
        items = sorted((k.encode() if isinstance(k, str) else k, x) for k, x in v.items())
        return b"d" + b"".join(bencode(k) + bencode(x) for k, x in items) + b"e"
    raise TypeError(type(v))


class _Quiet(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass


class _Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def handle_error(self, request, client_address):
        pass  # a peer that hangs up mid-answer is no failure of the test


class Tracker:
    """Answers announces with every other peer of the same torrent."""

    def __init__(self):
        self.port = free_port()
        self.peers = {}  # info hash -> {peer id: (ip, port)}
        self.lock = threading.Lock()
        tracker = self

        class Handler(_Quiet):
            def do_GET(self):
                parts = urllib.parse.urlsplit(self.path)
                args = urllib.parse.parse_qs(parts.query, encoding="latin-1")
                if not parts.path.endswith("/announce") or "peer_id" not in args:
                    self.reply(bencode({"files": {}}))  # a scrape: nothing to tell
                    return
                ih = args["info_hash"][0].encode("latin-1")
                pid = args["peer_id"][0].encode("latin-1")
                port = int(args["port"][0])
                with tracker.lock:
                    swarm = tracker.peers.setdefault(ih, {})
                    if args.get("event", [""])[0] == "stopped":
                        swarm.pop(pid, None)
                    else:
                        swarm[pid] = (self.client_address[0], port)
                    others = [a for p, a in swarm.items() if p != pid]
                compact = b"".join(socket.inet_aton(ip) + port.to_bytes(2, "big")
                                   for ip, port in others)
                self.reply(bencode({"interval": 5, "min interval": 2, "peers": compact}))

            def reply(self, body):
                self.send_response(200)
                self.send_header("Content-Type", "text/plain")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

        self.server = _Server((HOST, self.port), Handler)
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    @property
    def url(self):
        return "http://%s:%d/announce" % (HOST, self.port)

    def close(self):
        self.server.shutdown()
        self.server.server_close()


class Torrent:
    """A torrent made here from files written here: one file, or a folder."""

    def __init__(self, root, name, files, tracker, piece=16384):
        import libtorrent as lt
        self.name = name
        self.files = files  # relative path -> bytes
        self.data = os.path.join(root, "seed")
        for rel, content in files.items():
            path = os.path.join(self.data, rel)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(content)
        fs = lt.file_storage()
        lt.add_files(fs, os.path.join(self.data, name))
        ct = lt.create_torrent(fs, piece, flags=lt.create_torrent.v1_only)
        ct.add_tracker(tracker.url)
        lt.set_piece_hashes(ct, self.data)
        self.metainfo = bencode_lt(ct.generate())
        self.path = os.path.join(root, name + ".torrent")
        with open(self.path, "wb") as f:
            f.write(self.metainfo)
        self.info = lt.torrent_info(self.path)
        self.infohash = str(self.info.info_hash())

    @property
    def multi(self):
        return len(self.files) > 1 or os.sep in next(iter(self.files))

    @property
    def size(self):
        return sum(len(c) for c in self.files.values())


def bencode_lt(entry):
    import libtorrent as lt
    return lt.bencode(entry)


class Seeder:
    """Seeds torrents at `rate` bytes a second; stall() stops the upload
    (the download then stands still with its files open), go() resumes."""

    def __init__(self, rate=256 * 1024, host=SEEDER_HOST):
        import libtorrent as lt
        self.lt = lt
        self.port = free_port()
        self.rate = rate
        self.session = lt.session({
            "listen_interfaces": "%s:%d" % (host, self.port),
            "outgoing_interfaces": host,
            "enable_dht": False, "enable_lsd": False,
            "enable_upnp": False, "enable_natpmp": False,
            "enable_outgoing_utp": False, "enable_incoming_utp": False,
            "allow_multiple_connections_per_ip": True,
            "announce_to_all_trackers": True,
            "alert_mask": 0,
        })
        self.handles = []

    def seed(self, torrent):
        lt = self.lt
        params = lt.add_torrent_params()
        params.ti = torrent.info
        params.save_path = torrent.data
        params.flags |= lt.torrent_flags.seed_mode
        params.flags &= ~(lt.torrent_flags.auto_managed | lt.torrent_flags.paused)
        h = self.session.add_torrent(params)
        # The torrent's own limit: the session's leaves peers on a local
        # network (all of them, here) unlimited.
        if self.rate:
            h.set_upload_limit(self.rate)
        self.handles.append(h)
        return h

    def stall(self):
        for h in self.handles:
            h.set_upload_limit(1)

    def go(self, rate=None):
        for h in self.handles:
            h.set_upload_limit(rate or self.rate)

    def close(self):
        for h in self.handles:
            self.session.remove_torrent(h)
        del self.session


class Leecher(Seeder):
    """A second peer that downloads a torrent from whoever seeds it."""

    def __init__(self, save_path):
        super().__init__(rate=0, host=LEECHER_HOST)
        self.save_path = save_path
        os.makedirs(save_path, exist_ok=True)

    def fetch(self, torrent):
        lt = self.lt
        params = lt.add_torrent_params()
        params.ti = torrent.info
        params.save_path = self.save_path
        params.flags &= ~(lt.torrent_flags.auto_managed | lt.torrent_flags.paused)
        h = self.session.add_torrent(params)
        self.handles.append(h)
        return h

    def done(self, handle):
        return handle.status().progress >= 1.0


class WebServer:
    """Serves byte strings by name, with Range, at `rate` bytes a second.
    `drop_at[name] = n` closes the first transfer of that file after n
    bytes; `stall_at[name] = (n, s)` holds it for s seconds once n bytes of
    it are sent (once); `stall` holds every transfer while set."""

    def __init__(self, rate=512 * 1024):
        self.port = free_port()
        self.files = {}
        self.rate = rate
        self.drop_at = {}
        self.stall_at = {}
        self.stalled = threading.Event()  # set once a stall_at stall began
        self.requests = {}
        self.stall = threading.Event()
        web = self

        class Handler(_Quiet):
            def do_HEAD(self):
                self.answer(head=True)

            def do_GET(self):
                self.answer(head=False)

            def answer(self, head):
                name = self.path.lstrip("/")
                body = web.files.get(name)
                if body is None:
                    self.send_error(404)
                    return
                start = 0
                rng = self.headers.get("Range")
                if rng and rng.startswith("bytes="):
                    start = int(rng[6:].split("-")[0] or 0)
                if start >= len(body) and len(body) > 0:
                    self.send_response(416)
                    self.send_header("Content-Range", "bytes */%d" % len(body))
                    self.send_header("Content-Length", "0")
                    self.end_headers()
                    return
                self.send_response(206 if rng else 200)
                self.send_header("Accept-Ranges", "bytes")
                self.send_header("Content-Length", str(len(body) - start))
                if rng:
                    self.send_header("Content-Range",
                                     "bytes %d-%d/%d" % (start, len(body) - 1, len(body)))
                self.end_headers()
                if head:
                    return
                n = web.requests[name] = web.requests.get(name, 0) + 1
                drop = web.drop_at.get(name) if n == 1 else None
                sent = start
                chunk = 16384
                while sent < len(body):
                    while web.stall.is_set():
                        time.sleep(0.05)
                    end = min(len(body), sent + chunk)
                    if drop is not None and end > drop:
                        end = drop
                    try:
                        self.wfile.write(body[sent:end])
                        self.wfile.flush()
                    except OSError:
                        return
                    sent = end
                    hold = web.stall_at.get(name)
                    if hold and sent >= hold[0] and not web.stalled.is_set():
                        web.stalled.set()
                        time.sleep(hold[1])
                    if drop is not None and sent >= drop:
                        self.close_connection = True
                        self.connection.shutdown(socket.SHUT_RDWR)
                        return
                    time.sleep(chunk / web.rate)

        self.server = _Server((HOST, self.port), Handler)
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def url(self, name):
        return "http://%s:%d/%s" % (HOST, self.port, name)

    def close(self):
        self.stall.clear()
        self.server.shutdown()
        self.server.server_close()


# --- processes, possibly as another user ---------------------------------

def as_user(uid, argv):
    if uid is None:
        return argv
    return ["setpriv", "--reuid=%d" % uid, "--regid=%d" % (uid if uid != NOBODY else 65534),
            "--clear-groups", "--"] + argv


def chown_tree(path, uid):
    if uid is None:
        return
    for dirpath, dirnames, filenames in os.walk(path):
        os.chown(dirpath, uid, uid)
        for n in filenames:
            os.chown(os.path.join(dirpath, n), uid, uid)


class Process:
    def __init__(self, argv, log, env=None, uid=None, umask=None):
        self.log_path = log
        self.log = open(log, "ab")

        def pre():
            os.setsid()
            if umask is not None:
                os.umask(umask)

        self.proc = subprocess.Popen(as_user(uid, argv), stdout=self.log, stderr=self.log,
                                     env=env, preexec_fn=pre)

    def running(self):
        return self.proc.poll() is None

    def pause(self):
        os.killpg(self.proc.pid, signal.SIGSTOP)

    def cont(self):
        os.killpg(self.proc.pid, signal.SIGCONT)

    def stop(self, sig=signal.SIGTERM, wait=20):
        if self.proc.poll() is None:
            try:
                os.killpg(self.proc.pid, signal.SIGCONT)
                os.killpg(self.proc.pid, sig)
                self.proc.wait(wait)
            except (subprocess.TimeoutExpired, ProcessLookupError):
                try:
                    os.killpg(self.proc.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
                self.proc.wait()
        self.log.close()

    def output(self):
        with open(self.log_path, "rb") as f:
            return f.read().decode(errors="replace")


def http_json(url, body=None, headers=None, timeout=5):
    data = None if body is None else json.dumps(body).encode()
    req = urllib.request.Request(url, data=data, headers=dict(headers or {}))
    if data is not None:
        req.add_header("Content-Type", "application/json")
    with urllib.request.urlopen(req, timeout=timeout) as r:
        return json.loads(r.read().decode())


# --- the clients -----------------------------------------------------------

class Client:
    """What the tests ask of every client."""
    name = "client"

    def progress(self):
        """{download name: fraction done} as the client reports it."""
        raise NotImplementedError

    def done(self, name):
        p = self.progress().get(name)
        return p is not None and p >= 1.0

    def moving(self):
        """Names of finished downloads the client is moving itself just now.
        Across file systems a client copies under the final name, so part
        of a file seen there then is the client's copy in flight."""
        return set()


class Transmission(Client):
    name = "transmission"

    def __init__(self, root, download_dir, uid=None, rename_partial=True, preallocation=0,
                 watch_settings=None):
        self.rpc_port = free_port()
        self.peer_port = free_port()
        self.conf = os.path.join(root, "transmission")
        os.makedirs(self.conf, exist_ok=True)
        settings = {
            "download-dir": download_dir,
            "incomplete-dir-enabled": False,
            "rename-partial-files": rename_partial,
            "preallocation": preallocation,
            "dht-enabled": False, "lpd-enabled": False, "pex-enabled": False,
            "utp-enabled": False, "port-forwarding-enabled": False,
            "peer-port": self.peer_port, "peer-port-random-on-start": False,
            "rpc-enabled": True, "rpc-port": self.rpc_port, "rpc-bind-address": "127.0.0.1",
            "rpc-authentication-required": False, "rpc-whitelist-enabled": False,
            "rpc-host-whitelist-enabled": False,
            "ratio-limit-enabled": False, "idle-seeding-limit-enabled": False,
            "umask": 0, "message-level": 2, "start-added-torrents": True,
            # Written as they come, not held in a cache until the end.
            "cache-size-mb": 0,
            "blocklist-enabled": False, "encryption": 0,
        }
        settings.update(watch_settings or {})
        self.auth = None
        if settings.get("rpc-authentication-required"):
            token = "%s:%s" % (settings["rpc-username"], settings["rpc-password"])
            self.auth = "Basic " + base64.b64encode(token.encode()).decode()
        with open(os.path.join(self.conf, "settings.json"), "w") as f:
            json.dump(settings, f)
        chown_tree(self.conf, uid)
        self.proc = Process(["transmission-daemon", "-f", "-g", self.conf, "--log-debug" if (watch_settings or {}).get("message-level") == 3 else "--log-error"],
                            os.path.join(root, "transmission.log"), uid=uid, umask=0)
        self.session = ""
        wait_until(self._reachable, 20, what="transmission's RPC")

    def _reachable(self):
        try:
            self.rpc("session-get")
            return True
        except OSError:
            return False

    def rpc(self, method, **args):
        url = "http://127.0.0.1:%d/transmission/rpc" % self.rpc_port
        headers = {"X-Transmission-Session-Id": self.session}
        if self.auth:
            headers["Authorization"] = self.auth
        for _ in range(3):
            try:
                headers["X-Transmission-Session-Id"] = self.session
                return http_json(url, {"method": method, "arguments": args}, headers)["arguments"]
            except urllib.error.HTTPError as e:
                if e.code != 409:
                    raise
                self.session = e.headers["X-Transmission-Session-Id"]
        raise OSError("no session id")

    def add(self, torrent):
        self.rpc("torrent-add", metainfo=base64.b64encode(torrent.metainfo).decode())

    def _ids(self, torrent):
        return [t["id"] for t in self.rpc("torrent-get", fields=["id", "hashString"])["torrents"]
                if t["hashString"] == torrent.infohash]

    def pause(self, torrent):
        self.rpc("torrent-stop", ids=self._ids(torrent))

    def info(self, torrent):
        return self.rpc("torrent-get", ids=self._ids(torrent),
                        fields=["downloadDir", "status", "error", "errorString",
                                "percentDone"])["torrents"][0]

    def resume(self, torrent):
        self.rpc("torrent-start", ids=self._ids(torrent))

    def progress(self):
        ts = self.rpc("torrent-get", fields=["name", "percentDone", "error", "errorString"])
        return {t["name"]: t["percentDone"] for t in ts["torrents"]}

    def errors(self):
        ts = self.rpc("torrent-get", fields=["name", "error", "errorString"])["torrents"]
        return {t["name"]: t["errorString"] for t in ts if t["error"]}

    def close(self):
        self.proc.stop()


class QBittorrent(Client):
    name = "qbittorrent"

    def __init__(self, root, download_dir, uid=None, incomplete_extension=False,
                 preallocate=False):
        self.web_port = free_port()
        self.peer_port = free_port()
        self.profile = os.path.join(root, "qbt")
        conf = os.path.join(self.profile, "qBittorrent", "config")
        os.makedirs(conf, exist_ok=True)
        lines = [
            "[LegalNotice]", "Accepted=true", "",
            "[BitTorrent]",
            "Session\\DefaultSavePath=%s" % download_dir,
            "Session\\TempPathEnabled=false",
            "Session\\AddExtensionToIncompleteFiles=%s" % str(incomplete_extension).lower(),
            "Session\\Preallocation=%s" % str(preallocate).lower(),
            "Session\\Port=%d" % self.peer_port,
            "Session\\DHTEnabled=false", "Session\\LSDEnabled=false", "Session\\PeXEnabled=false",
            "Session\\AnonymousModeEnabled=false", "Session\\QueueingSystemEnabled=false",
            "Session\\GlobalMaxRatio=-1", "Session\\uTPRateLimited=false",
            "Session\\BTProtocol=TCP", "Session\\Encryption=0",
            "Session\\IgnoreLimitsOnLAN=false", "Session\\AnnounceToAllTrackers=true",
            "", "[Network]", "PortForwardingEnabled=false", "",
            "[Preferences]",
            "WebUI\\Port=%d" % self.web_port, "WebUI\\Address=127.0.0.1",
            "WebUI\\LocalHostAuth=false", "WebUI\\CSRFProtection=false",
            "WebUI\\HostHeaderValidation=false", "General\\Locale=en",
            "Connection\\UPnP=false", "Downloads\\SavePath=%s" % download_dir,
        ]
        with open(os.path.join(conf, "qBittorrent.conf"), "w") as f:
            f.write("\n".join(lines) + "\n")
        chown_tree(self.profile, uid)
        env = dict(os.environ, HOME=self.profile, XDG_RUNTIME_DIR=self.profile)
        self.proc = Process(["qbittorrent-nox", "--profile=" + self.profile],
                            os.path.join(root, "qbittorrent.log"), env=env, uid=uid, umask=0)
        wait_until(self._reachable, 30, what="qBittorrent's Web API")

    def api(self, path, form=None, files=None):
        url = "http://127.0.0.1:%d/api/v2/%s" % (self.web_port, path)
        data = None
        headers = {}
        if files:
            boundary = "kbharness%d" % time.monotonic_ns()
            parts = []
            for k, v in (form or {}).items():
                parts.append(b"--%s\r\nContent-Disposition: form-data; name=\"%s\"\r\n\r\n%s\r\n"
                             % (boundary.encode(), k.encode(), v.encode()))
            for k, (fname, content) in files.items():
                parts.append(b"--%s\r\nContent-Disposition: form-data; name=\"%s\"; "
                             b"filename=\"%s\"\r\nContent-Type: application/x-bittorrent\r\n\r\n"
                             % (boundary.encode(), k.encode(), fname.encode()) + content + b"\r\n")
            data = b"".join(parts) + b"--%s--\r\n" % boundary.encode()
            headers["Content-Type"] = "multipart/form-data; boundary=" + boundary
        elif form is not None:
            data = urllib.parse.urlencode(form).encode()
            headers["Content-Type"] = "application/x-www-form-urlencoded"
        req = urllib.request.Request(url, data=data, headers=headers)
        with urllib.request.urlopen(req, timeout=5) as r:
            body = r.read().decode()
        try:
            return json.loads(body)
        except ValueError:
            return body

    def _reachable(self):
        try:
            self.api("app/version")
            return True
        except OSError:
            return False

    def add(self, torrent):
        self.api("torrents/add", form={"paused": "false"},
                 files={"torrents": (torrent.name + ".torrent", torrent.metainfo)})
        wait_until(lambda: torrent.name in self.progress(), 10, what="the torrent in qBittorrent")

    def pause(self, torrent):
        self.api("torrents/pause", form={"hashes": torrent.infohash})

    def resume(self, torrent):
        self.api("torrents/resume", form={"hashes": torrent.infohash})

    def progress(self):
        return {t["name"]: t["progress"] for t in self.api("torrents/info")}

    def states(self):
        return {t["name"]: t["state"] for t in self.api("torrents/info")}

    def moving(self):
        return {name for name, state in self.states().items() if state == "moving"}

    def info(self, torrent):
        return self.api("torrents/info?hashes=" + torrent.infohash)[0]

    def close(self):
        self.proc.stop()


class Aria2(Client):
    name = "aria2"

    def __init__(self, root, download_dir, uid=None, extra=()):
        self.rpc_port = free_port()
        self.peer_port = free_port()
        self.download_dir = download_dir
        argv = ["aria2c", "--enable-rpc", "--rpc-listen-port=%d" % self.rpc_port,
                "--rpc-listen-all=false", "--dir=" + download_dir,
                "--enable-dht=false", "--enable-dht6=false", "--bt-enable-lpd=false",
                "--enable-peer-exchange=false", "--listen-port=%d" % self.peer_port,
                "--seed-time=0", "--follow-torrent=false", "--file-allocation=none",
                "--auto-save-interval=60", "--split=1", "--max-connection-per-server=1", "--max-tries=0", "--retry-wait=20",
                "--console-log-level=warn", "--summary-interval=0",
                "--disable-ipv6=true", "--async-dns=false"] + list(extra)
        self.proc = Process(argv, os.path.join(root, "aria2.log"), uid=uid, umask=0)
        self.gids = {}
        wait_until(self._reachable, 20, what="aria2's RPC")

    def call(self, method, *params):
        url = "http://127.0.0.1:%d/jsonrpc" % self.rpc_port
        return http_json(url, {"jsonrpc": "2.0", "id": "kb", "method": method,
                               "params": list(params)})["result"]

    def _reachable(self):
        try:
            self.call("aria2.getVersion")
            return True
        except OSError:
            return False

    def add_uri(self, url, name):
        self.gids[name] = self.call("aria2.addUri", [url], {"out": name})

    def add(self, torrent):
        self.gids[torrent.name] = self.call(
            "aria2.addTorrent", base64.b64encode(torrent.metainfo).decode())

    def pause(self, name):
        self.call("aria2.forcePause", self.gids[name])

    def resume(self, name):
        self.call("aria2.unpause", self.gids[name])

    def progress(self):
        out = {}
        for name, gid in self.gids.items():
            s = self.call("aria2.tellStatus", gid, ["status", "totalLength", "completedLength"])
            total = int(s["totalLength"])
            done = int(s["completedLength"])
            out[name] = 1.0 if s["status"] == "complete" else (done / total if total else 0.0)
        return out

    def close(self):
        self.proc.stop()


class Curl(Client):
    """One curl transfer as a client: done when it ended with status 0."""
    name = "curl"

    def __init__(self, root, download_dir, url, name, uid=None, args=()):
        self.name_ = name
        self.proc = Process(["curl", "-sS", "--no-progress-meter", "-C", "-", "-o",
                             os.path.join(download_dir, name)] + list(args) + [url],
                            os.path.join(root, "curl-%s.log" % name), uid=uid, umask=0)

    def progress(self):
        code = self.proc.proc.poll()
        return {self.name_: 1.0 if code == 0 else 0.0}

    def close(self):
        self.proc.stop()


# --- Kestrelbox ----------------------------------------------------------------

def kbconf(folder, rules, masks=""):
    """kbconf.ini with one switched-on service of our own on `folder`.
    `rules` are (name, trigger, [(action kind, target)]) with trigger 0 (a
    new file), or ("count", n)."""
    lines = ["[Main Info]", "Version=1.00", "UseSMTP=0", "SMTP Server=", "ReplyTo=",
             "Service Count=7", "Custom Count=1"]
    builtin = [(0, "kazaa*;*.dat"), (1, "morpheus*;*.dat"), (2, "grokster*;*.dat"),
               (3, "*.txt;*.dat;*.tmp;*.dll;*.exe;*.dll;*.ico;*."), (4, "bear*;*.dat"),
               (6, "limewire*")]
    n = 0
    for sid, mask in builtin:
        n += 1
        lines += ["[Service %d]" % n, "serviceid=%d" % sid, "othernum=0", "othername=",
                  "enabled=1", "sharedir=", "excludefiles=" + mask, "rulecnt=0"]
    n += 1
    lines += ["[Service %d]" % n, "serviceid=5", "othernum=1", "othername=Downloads",
              "enabled=0", "sharedir=" + folder, "excludefiles=" + masks,
              "rulecnt=%d" % len(rules)]
    for i, (name, trigger, actions) in enumerate(rules, 1):
        mcond, fcnt = (2, trigger[1]) if isinstance(trigger, tuple) else (trigger, 0)
        lines += ["[Rule %d]" % i, "rulename=" + name, "enabled=0", "mcond=%d" % mcond,
                  "condcnt=0", "fcnt=%d" % fcnt, "fsize=0", "actioncnt=%d" % len(actions)]
        for kind, target in actions:
            lines.append("raction=%d" % kind)
            if kind in (0, 1):
                lines.append("filepath=" + target)
    return "\r\n".join(lines) + "\r\n"


MOVE, COPY = 0, 1


class Kestrelbox:
    """The built program, headless, on one folder."""

    def __init__(self, root, folder, rules, uid=None, masks="", options=None, clients=()):
        build = os.environ.get("KB_BUILD_DIR") or os.path.join(
            os.path.dirname(os.path.abspath(__file__)), "..", "..", "build")
        self.program = os.path.join(build, "kestrelbox")
        self.home = os.path.join(root, "kb")
        for d in ("config", "state", "run", "home"):
            os.makedirs(os.path.join(self.home, d), exist_ok=True)
        os.chmod(os.path.join(self.home, "run"), 0o700)
        self.config = os.path.join(self.home, "kbconf.ini")
        with open(self.config, "w", newline="") as f:
            f.write(kbconf(folder, rules, masks))
        if options or clients:
            reg = os.path.join(self.home, "config", "Kestrelbox")
            os.makedirs(reg, exist_ok=True)
            body = ["Windows Registry Editor Version 5.00", ""]

            def key(path, values):
                body.append("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelbox\\%s]" % path)
                for k, v in values.items():
                    body.append('"%s"=dword:%08x' % (k, v) if isinstance(v, int)
                                else '"%s"="%s"' % (k, v.replace("\\", "\\\\").replace('"', '\\"')))
                body.append("")
            if options:
                key("Options", options)
            if clients:
                # What the user would enter in a service's client settings.
                key("Clients", {"Count": len(clients)})
                for n, c in enumerate(clients, 1):
                    key("Clients\\%d" % n, dict({"Folder": folder, "Relocate": 1}, **c))
            with open(os.path.join(reg, "registry.reg"), "w") as f:
                f.write("\r\n".join(body) + "\r\n")
        chown_tree(self.home, uid)
        env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(self.home, "config"),
                   XDG_STATE_HOME=os.path.join(self.home, "state"),
                   XDG_RUNTIME_DIR=os.path.join(self.home, "run"),
                   HOME=os.path.join(self.home, "home"))
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)
        self.env, self.uid, self.root = env, uid, root
        self.start()
        wait_until(lambda: self.watching(folder), 20, what="Kestrelbox's first pass")

    def start(self):
        self.proc = Process([self.program, "--headless", "--config", self.config],
                            os.path.join(self.root, "kestrelbox.log"), env=self.env, uid=self.uid)
        wait_until(lambda: "runs headless" in self.proc.output() or not self.proc.running(),
                   20, what="Kestrelbox to start")
        if not self.proc.running():
            raise AssertionError("Kestrelbox ended at start:\n" + self.proc.output())
        # Its first pass takes the folder's baseline and starts watching the
        # folder: what is written from now on is new to it.

    def command(self, *args):
        """Runs the program once more, beside or after the headless one."""
        return subprocess.run(as_user(self.uid, [self.program] + list(args)), env=self.env,
                              capture_output=True, text=True, timeout=120)

    def history(self):
        run = self.command("--history", "100")
        return [json.loads(line) for line in run.stdout.splitlines() if line.strip()]

    def watching(self, folder):
        """Whether the program's change notification watches `folder`
        (its inotify descriptor's fdinfo names the folder's inode)."""
        ino = "ino:%x " % os.stat(folder).st_ino
        fd_dir = "/proc/%d/fd" % self.proc.proc.pid
        try:
            for fd in os.listdir(fd_dir):
                try:
                    if os.readlink(os.path.join(fd_dir, fd)) != "anon_inode:inotify":
                        continue
                    with open("/proc/%d/fdinfo/%s" % (self.proc.proc.pid, fd)) as f:
                        if ino in f.read():
                            return True
                except OSError:
                    continue
        except OSError:
            pass
        return False

    def output(self):
        return self.proc.output()

    def close(self):
        self.proc.stop()


# --- watching what happens ---------------------------------------------------

class Watch:
    """Samples the target folder and the client's progress every 0.1 s.

    Records, per name that reached the target: when it first appeared
    there, whether what stood there was ever anything but the whole
    download, and when the client first reported it complete."""

    def __init__(self, client, target, expected):
        self.client = client
        self.target = target
        self.expected = expected  # name in the target -> {relative path: bytes} or bytes
        self.arrived = {}
        self.whole_at = {}
        self.completed = {}
        self.bad = []  # (time, name, what was wrong)
        self.seen = set()
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run, daemon=True)
        self.t0 = time.monotonic()
        self._thread.start()

    def _run(self):
        while not self._stop.is_set():
            now = time.monotonic() - self.t0
            try:
                for name, p in (self.client.progress() if self.client else {}).items():
                    if p >= 1.0 and name not in self.completed:
                        self.completed[name] = now
            except OSError:
                pass
            for name in sorted(os.listdir(self.target)):
                if name.startswith(".kbcopy-"):
                    continue  # a copy in flight, not yet under its name
                self.seen.add(name)
                if name not in self.arrived:
                    self.arrived[name] = now
                problem = self._check(name)
                if problem and self._clients_own_copy(name):
                    problem = None
                if problem:
                    self.bad.append((round(now, 1), name, problem))
                elif name not in self.whole_at and self.whole(name):
                    self.whole_at[name] = now
            self._stop.wait(0.1)

    def _clients_own_copy(self, name):
        # Asked after reading: a move the client began before the read is
        # still under way (or it would have read whole). Only a download the
        # client had already reported complete can be its own move.
        if not self.client or name not in self.completed:
            return False
        try:
            return name in self.client.moving()
        except OSError:
            return False

    def _check(self, name):
        path = os.path.join(self.target, name)
        want = self.expected.get(name)
        if want is None:
            return "not a download of this test"
        try:
            if isinstance(want, bytes):
                with open(path, "rb") as f:
                    got = f.read()
                if got != want:
                    return "%d bytes that are not the download's %d" % (len(got), len(want))
                return None
            for rel, content in want.items():
                p = os.path.join(path, rel)
                if not os.path.exists(p):
                    continue  # a folder copied file by file, not yet whole
                with open(p, "rb") as f:
                    if f.read() != content:
                        return "%s is not the download's" % rel
            names = set()
            for dirpath, _, files in os.walk(path):
                for n in files:
                    names.add(os.path.relpath(os.path.join(dirpath, n), path))
            # A copy's temporary may sit in any folder of the download, not
            # only at its top.
            extra = {n for n in names
                     if not os.path.basename(n).startswith(".kbcopy-")} - set(want)
            if extra:
                return "holds files that are not the download's: %s" % sorted(extra)
        except FileNotFoundError:
            return None  # moved on or replaced between listing and reading
        return None

    def whole(self, name):
        want = self.expected[name]
        path = os.path.join(self.target, name)
        if isinstance(want, bytes):
            try:
                with open(path, "rb") as f:
                    return f.read() == want
            except OSError:
                return False
        for rel, content in want.items():
            try:
                with open(os.path.join(path, rel), "rb") as f:
                    if f.read() != content:
                        return False
            except OSError:
                return False
        return True

    def delay(self, target_name, client_name=None):
        """Seconds from the client's report of completion to the whole
        download in the target."""
        done = self.completed.get(client_name or target_name)
        got = self.whole_at.get(target_name)
        if done is None or got is None:
            return None
        return got - done

    def close(self):
        self._stop.set()
        self._thread.join()


class _Remove:
    def __init__(self, path):
        self.path = path

    def close(self):
        shutil.rmtree(self.path, ignore_errors=True)


class ClientTest(unittest.TestCase):
    """A temporary root with a download folder on this disk and a target on
    another file system (/dev/shm), cleaned up after the test."""

    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="kb-clients-", dir="/tmp")
        os.chmod(self.root, 0o755)
        self.downloads = os.path.join(self.root, "downloads")
        os.makedirs(self.downloads)
        os.chmod(self.downloads, 0o777)
        self.target = tempfile.mkdtemp(prefix="kb-target-", dir="/dev/shm")
        os.chmod(self.target, 0o777)
        self.closers = []
        self.tracker = self.closing(Tracker())

    def closing(self, thing):
        self.closers.append(thing)
        return thing

    def downloads_in_memory(self):
        """The download folder on tmpfs and the target on this disk: there a
        preallocated file has no holes, so only its client can tell that it
        is unfinished."""
        os.rmdir(self.downloads)
        os.rmdir(self.target)
        self.downloads = tempfile.mkdtemp(prefix="kb-downloads-", dir="/dev/shm")
        os.chmod(self.downloads, 0o777)
        self.target = os.path.join(self.root, "target")
        os.makedirs(self.target)
        os.chmod(self.target, 0o777)
        self.closers.insert(0, _Remove(self.downloads))

    def tearDown(self):
        result = getattr(self._outcome, "result", None)
        failed = result is not None and any(
            test is self for test, _ in result.failures + result.errors)
        if failed or os.environ.get("KB_CLIENTS_VERBOSE"):
            for name in sorted(os.listdir(self.root)):
                if name.endswith(".log"):
                    with open(os.path.join(self.root, name), errors="replace") as f:
                        text = f.read()
                    sys.stderr.write("--- %s ---\n%s\n" % (name, text[-4000:]))
        for thing in reversed(self.closers):
            try:
                thing.close()
            except Exception as e:  # a clean-up must not hide the test's own result
                sys.stderr.write("closing %r: %s\n" % (thing, e))
        shutil.rmtree(self.root, ignore_errors=True)
        shutil.rmtree(self.target, ignore_errors=True)

    def kestrelbox(self, rules, **kw):
        return self.closing(Kestrelbox(self.root, self.downloads, rules, **kw))

    def watch(self, client, expected):
        return self.closing(Watch(client, self.target, expected))

    def torrent(self, name, files):
        return Torrent(self.root, name, files, self.tracker)

    def assertNothingPartial(self, watch):
        self.assertEqual(watch.bad, [], "something other than a whole download reached the target")

    def assertArrivesWhole(self, watch, name, client_name=None, within=30, limit=240):
        try:
            wait_until(lambda: name in watch.whole_at, limit, step=0.2,
                       what="%s whole in the target" % name)
        except AssertionError as e:
            raise AssertionError("%s; seen in the target: %s; wrong there: %s"
                                 % (e, sorted(watch.seen), watch.bad[:5])) from None
        delay = watch.delay(name, client_name)
        self.assertIsNotNone(delay, "the client never reported %s complete" % (client_name or name))
        report("%s: %s in the target %.1f s after the client reported it complete"
               % (self.id().split(".")[-1], name, delay))
        self.assertLessEqual(delay, within)
        return delay


def report(line):
    sys.stdout.write(line + "\n")
    sys.stdout.flush()


def main():
    enter_namespace()
    unittest.main(verbosity=2)


def hold(seconds, what=""):
    """Lets the program run through several passes while a download stands."""
    time.sleep(seconds)


def when_progress(client, name, at_least, limit=120):
    return wait_until(lambda: (client.progress().get(name) or 0) >= at_least, limit,
                      step=0.05, what="%s at %d%%" % (name, at_least * 100))
