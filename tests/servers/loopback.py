#!/usr/bin/python3
"""Real servers on 127.0.0.1 for the upload and mail tests.

    loopback.py KIND DIR [OPTION...]

starts one server, writes what a client needs to know to DIR/server.json
once it listens, and runs until SIGTERM. KIND is
  sftp   OpenSSH's sshd with a throw-away host key, a key of the client in
         its authorized_keys and internal-sftp; serves the whole file system
  ftps   pyftpdlib with explicit TLS (AUTH TLS) required on both channels,
         a self-signed certificate; option "drop" closes the connection
         after the first 64 KiB of an upload
  smtp   aiosmtpd, each message stored as DIR/mail/N.eml; options
         "starttls" (offered), "auth" (login required, after STARTTLS),
         "refuse" (every sender refused)
"""

import json
import os
import signal
import socket
import subprocess
import sys
import threading
import time

USER, PASSWORD = "kb", "pass word"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def self_signed(where):
    """A certificate for 127.0.0.1 and its key; returns (cert, key, pin)."""
    import base64
    import datetime
    import hashlib
    import ipaddress

    from cryptography import x509
    from cryptography.hazmat.primitives import hashes, serialization
    from cryptography.hazmat.primitives.asymmetric import ec
    from cryptography.x509.oid import NameOID

    key = ec.generate_private_key(ec.SECP256R1())
    name = x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, "127.0.0.1")])
    now = datetime.datetime.utcnow()
    cert = (x509.CertificateBuilder().subject_name(name).issuer_name(name)
            .public_key(key.public_key()).serial_number(x509.random_serial_number())
            .not_valid_before(now - datetime.timedelta(hours=1))
            .not_valid_after(now + datetime.timedelta(days=2))
            .add_extension(x509.SubjectAlternativeName(
                [x509.IPAddress(ipaddress.ip_address("127.0.0.1"))]), critical=False)
            .sign(key, hashes.SHA256()))
    cert_file, key_file = os.path.join(where, "cert.pem"), os.path.join(where, "key.pem")
    with open(cert_file, "wb") as f:
        f.write(cert.public_bytes(serialization.Encoding.PEM))
    with open(key_file, "wb") as f:
        f.write(key.private_bytes(serialization.Encoding.PEM,
                                  serialization.PrivateFormat.TraditionalOpenSSL,
                                  serialization.NoEncryption()))
    spki = key.public_key().public_bytes(serialization.Encoding.DER,
                                         serialization.PublicFormat.SubjectPublicKeyInfo)
    pin = "sha256//" + base64.b64encode(hashlib.sha256(spki).digest()).decode()
    return cert_file, key_file, pin


def announce(where, info):
    tmp = os.path.join(where, ".server.json")
    with open(tmp, "w") as f:
        json.dump(info, f)
    os.rename(tmp, os.path.join(where, "server.json"))


def wait_listening(port, limit=20):
    end = time.monotonic() + limit
    while time.monotonic() < end:
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return True
        except OSError:
            time.sleep(0.05)
    return False


def sftp(where, options):
    port = free_port()
    for name in ("host", "client"):
        subprocess.run(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f",
                        os.path.join(where, name)], check=True)
    with open(os.path.join(where, "client.pub")) as f:
        client_pub = f.read()
    authorized = os.path.join(where, "authorized_keys")
    with open(authorized, "w") as f:
        f.write(client_pub)
    config = os.path.join(where, "sshd_config")
    with open(config, "w") as f:
        f.write("\n".join([
            "Port %d" % port, "ListenAddress 127.0.0.1",
            "HostKey " + os.path.join(where, "host"), "PidFile none",
            "AuthorizedKeysFile " + authorized, "StrictModes no", "UsePAM no",
            "PasswordAuthentication yes", "KbdInteractiveAuthentication no",
            "PermitRootLogin yes", "Subsystem sftp internal-sftp", "LogLevel ERROR", ""]))
    if os.getuid() == 0:
        os.makedirs("/run/sshd", exist_ok=True)  # its privilege separation directory
    log = open(os.path.join(where, "sshd.log"), "w")
    proc = subprocess.Popen(["/usr/sbin/sshd", "-D", "-e", "-f", config], stderr=log)
    if not wait_listening(port):
        proc.terminate()
        sys.exit("sshd did not listen")
    with open(os.path.join(where, "host.pub")) as f:
        host_pub = " ".join(f.read().split()[:2])
    import pwd
    announce(where, {"port": port, "user": pwd.getpwuid(os.getuid()).pw_name,
                     "key": os.path.join(where, "client"),
                     "known_hosts_line": "[127.0.0.1]:%d %s" % (port, host_pub)})
    return proc.terminate


def ftps(where, options):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler
    from pyftpdlib.servers import FTPServer

    cert, key, pin = self_signed(where)
    served = os.path.join(where, "served")
    os.makedirs(served, exist_ok=True)
    authorizer = DummyAuthorizer()
    authorizer.add_user(USER, PASSWORD, served, perm="elradfmwMT")

    class DataChannel(TLS_DTPHandler):
        # The data connection must be read while its handshake runs, before
        # any transfer command came (pyftpdlib 1.5.7 closed it: clients such
        # as libcurl start TLS at once).
        def readable(self):
            return self._ssl_accepting or super().readable()

    class Dropping(DataChannel):
        def handle_read_event(self):  # what the loop calls (an alias of handle_read)
            super().handle_read_event()
            if self.tot_bytes_received >= 64 * 1024:
                # The server goes away: data and control connection at once.
                self.cmd_channel.close()
                self.close()

    class Handler(TLS_FTPHandler):
        pass

    Handler.certfile, Handler.keyfile = cert, key
    Handler.tls_control_required = Handler.tls_data_required = True
    Handler.authorizer = authorizer
    Handler.dtp_handler = Dropping if "drop" in options else DataChannel
    port = free_port()
    server = FTPServer(("127.0.0.1", port), Handler)
    threading.Thread(target=server.serve_forever, kwargs={"timeout": 0.2}, daemon=True).start()
    announce(where, {"port": port, "user": USER, "password": PASSWORD, "root": served,
                     "pin": pin, "cert": cert})
    return server.close_all


def smtp(where, options):
    import ssl

    from aiosmtpd.controller import Controller
    from aiosmtpd.smtp import AuthResult

    mail = os.path.join(where, "mail")
    os.makedirs(mail, exist_ok=True)
    cert, key, _ = self_signed(where)

    class Store:
        count = 0

        async def handle_MAIL(self, server, session, envelope, address, mail_options):
            if "refuse" in options:
                return "550 5.7.1 sender refused"
            envelope.mail_from = address
            return "250 OK"

        async def handle_DATA(self, server, session, envelope):
            Store.count += 1
            with open(os.path.join(mail, "%d.eml" % Store.count), "wb") as f:
                f.write(("X-From: %s\nX-To: %s\nX-TLS: %s\n" % (
                    envelope.mail_from, ",".join(envelope.rcpt_tos),
                    "yes" if session.ssl else "no")).encode() + envelope.content)
            return "250 stored"

    def login(server, session, envelope, mechanism, auth_data):
        ok = auth_data.login == USER.encode() and auth_data.password == PASSWORD.encode()
        # Not handled: aiosmtpd gives the refusal (535) itself.
        return AuthResult(success=ok, handled=False)

    kwargs = {}
    if "starttls" in options or "auth" in options:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(cert, key)
        kwargs["tls_context"] = context
    if "auth" in options:
        kwargs.update(authenticator=login, auth_required=True, auth_require_tls=True)
    else:
        kwargs.update(auth_require_tls=False)
    port = free_port()
    controller = Controller(Store(), hostname="127.0.0.1", port=port, **kwargs)
    controller.start()
    announce(where, {"port": port, "user": USER, "password": PASSWORD, "mail": mail,
                     "cert": cert})
    return controller.stop


def main():
    kind, where, options = sys.argv[1], sys.argv[2], set(sys.argv[3:])
    os.makedirs(where, exist_ok=True)
    stop = {"sftp": sftp, "ftps": ftps, "smtp": smtp}[kind](where, options)
    done = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: done.set())
    signal.signal(signal.SIGINT, lambda *_: done.set())
    while not done.wait(0.2):
        pass
    stop()


if __name__ == "__main__":
    main()
