"""A mail server for system tests: accepts every message on 127.0.0.1 and
records each in a file of its own, with the envelope and how the session was
protected and authenticated.

Usage: smtp_recorder.py --port P --dir D [--starttls CERT KEY | --tls CERT KEY]
                        [--login USER --password PASS]

Each message becomes D/msg-N.eml (written under another name, then renamed,
so that a reader never sees half a file): header lines "mail_from:",
"rcpt_tos:", "tls:" (1 when the session was encrypted), "login:" (the
authenticated user, empty without authentication), an empty line, then the
message as received. D/ready appears once the server accepts connections.
Ends on SIGTERM.
"""

import argparse
import os
import signal
import ssl
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword


class Recorder:
    def __init__(self, directory):
        self.directory = directory
        self.count = 0
        self.lock = threading.Lock()

    async def handle_DATA(self, server, session, envelope):
        with self.lock:
            self.count += 1
            name = os.path.join(self.directory, "msg-%d" % self.count)
        login = ""
        if session.authenticated and isinstance(session.auth_data, LoginPassword):
            login = session.auth_data.login.decode("utf-8", "replace")
        # After STARTTLS the session knows; on a TLS port the transport does.
        encrypted = bool(session.ssl) or (
            server.transport.get_extra_info("sslcontext") is not None)
        header = "mail_from: %s\nrcpt_tos: %s\ntls: %d\nlogin: %s\n\n" % (
            envelope.mail_from, ",".join(envelope.rcpt_tos),
            1 if encrypted else 0, login)
        content = envelope.original_content or envelope.content
        if isinstance(content, str):
            content = content.encode("utf-8")
        with open(name + ".tmp", "wb") as out:
            out.write(header.encode("utf-8") + content)
        os.rename(name + ".tmp", name + ".eml")
        return "250 Message accepted"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--dir", required=True)
    parser.add_argument("--starttls", nargs=2, metavar=("CERT", "KEY"))
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    parser.add_argument("--login")
    parser.add_argument("--password")
    args = parser.parse_args()

    def authenticate(server, session, envelope, mechanism, data):
        ok = (isinstance(data, LoginPassword) and args.login is not None and
              data.login.decode() == args.login and
              data.password.decode() == args.password)
        return AuthResult(success=ok, auth_data=data)

    kwargs = {}
    if args.login is not None:
        kwargs.update(authenticator=authenticate, auth_required=True,
                      auth_require_tls=args.starttls is not None)
    certificate = args.starttls or args.tls
    context = None
    if certificate:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(*certificate)
    if args.starttls:
        kwargs.update(tls_context=context, require_starttls=True)
    if args.tls:
        kwargs.update(ssl_context=context)
    recorder = Recorder(args.dir)
    controller = Controller(recorder, hostname="127.0.0.1", port=args.port,
                            ready_timeout=10, **kwargs)
    controller.start()
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *unused: stop.set())
    with open(os.path.join(args.dir, "ready"), "w") as ready:
        ready.write("%d\n" % os.getpid())
    stop.wait()
    controller.stop()


if __name__ == "__main__":
    main()
