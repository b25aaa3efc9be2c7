#!/usr/bin/env python3
"""SMTP server for the mail tests, on 127.0.0.1.

Writes its port to PORT_FILE once it accepts connections, then stores every
message received in OUT_DIR as N.eml (the data as received) and N.json (the
envelope, the login and the message as Python's email parser reads it).

Modes: "plain" (no AUTH offered), "auth" (AUTH offered without TLS, any login
accepted and recorded), "refuse" (recipients starting with "inconnu" get 550).
Options after the three arguments, as NAME=VALUE:
  cert=PEM key=PEM   the server's certificate and key: STARTTLS is offered,
                     and AUTH (mode "auth") only after it;
  implicit=1         TLS from the first byte instead (smtps);
  greeting_delay=S   seconds before the 220 greeting;
  data_delay=S       seconds before the reply to the message's data.
Every command the client sends is appended to OUT_DIR/commands.log (AUTH
lines included, so a test can tell whether a login was attempted).
Runs until SIGTERM.
"""
import asyncio
import ssl
import email
import email.policy
import json
import os
import signal
import socket
import sys
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import SMTP, AuthResult


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Handler:
    def __init__(self, mode, out_dir):
        self.mode = mode
        self.out_dir = out_dir
        self.count = 0
        self.logins = {}
        self.data_delay = 0.0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if self.mode == "refuse" and address.startswith("inconnu"):
            return "550 5.1.1 Destinataire inconnu"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        if self.data_delay:
            await asyncio.sleep(self.data_delay)
        raw = envelope.original_content or envelope.content
        msg = email.message_from_bytes(raw, policy=email.policy.default)
        body = msg.get_content() if not msg.is_multipart() else ""
        record = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "login": self.logins.get(id(session)),
            "header_names": [k for k in msg.keys()],
            "from": str(msg.get("From", "")),
            "to": [a.addr_spec for a in msg["To"].addresses] if msg.get("To") else [],
            "subject": str(msg.get("Subject", "")),
            "x_priority": str(msg.get("X-Priority", "")),
            "content_type": msg.get_content_type(),
            "charset": msg.get_content_charset(),
            "body_lines": body.replace("\r\n", "\n").split("\n"),
            "defects": [type(d).__name__ for d in msg.defects],
        }
        name = os.path.join(self.out_dir, str(self.count))
        self.count += 1
        with open(name + ".eml", "wb") as f:
            f.write(raw)
        with open(name + ".json.tmp", "w", encoding="utf-8") as f:
            json.dump(record, f, ensure_ascii=False)
        os.rename(name + ".json.tmp", name + ".json")
        return "250 Message accepted"


class PeerSMTP(SMTP):
    """Notes every command line and may hold the greeting back."""

    greeting_delay = 0.0
    log_path = None

    async def push(self, status):
        if not getattr(self, "_greeted", False):
            self._greeted = True
            if self.greeting_delay:
                await asyncio.sleep(self.greeting_delay)
        return await super().push(status)

    def _note(self, line):
        with open(self.log_path, "a", encoding="utf-8") as f:
            f.write(line + "\n")

    async def smtp_AUTH(self, arg):
        self._note("AUTH " + (arg or "").split(" ")[0])
        return await super().smtp_AUTH(arg)

    async def smtp_STARTTLS(self, arg):
        self._note("STARTTLS")
        return await super().smtp_STARTTLS(arg)

    async def smtp_MAIL(self, arg):
        self._note("MAIL " + (arg or ""))
        return await super().smtp_MAIL(arg)


def main():
    mode, out_dir, port_file = sys.argv[1], sys.argv[2], sys.argv[3]
    opts = dict(a.split("=", 1) for a in sys.argv[4:])
    handler = Handler(mode, out_dir)
    handler.data_delay = float(opts.get("data_delay", 0))
    PeerSMTP.greeting_delay = float(opts.get("greeting_delay", 0))
    PeerSMTP.log_path = os.path.join(out_dir, "commands.log")

    def authenticator(server, session, envelope, mechanism, auth_data):
        login = auth_data.login.decode("utf-8", "replace")
        password = auth_data.password.decode("utf-8", "replace")
        handler.logins[id(session)] = {"mechanism": mechanism, "user": login, "password": password}
        return AuthResult(success=True)

    kwargs = {}
    context = None
    if "cert" in opts:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(opts["cert"], opts["key"])
    implicit = opts.get("implicit") == "1"
    if mode == "auth":
        # With implicit TLS the whole connection is encrypted, which aiosmtpd
        # does not see: AUTH is offered from the start then.
        kwargs = {"auth_require_tls": context is not None and not implicit, "authenticator": authenticator}
    if context is not None and not implicit:
        kwargs["tls_context"] = context

    class PeerController(Controller):
        def factory(self):
            return PeerSMTP(self.handler, **self.SMTP_kwargs)

    port = free_port()
    controller = PeerController(handler, hostname="127.0.0.1", port=port,
                                ssl_context=context if implicit else None, **kwargs)
    controller.start()
    with open(port_file + ".tmp", "w") as f:
        f.write(str(port))
    os.rename(port_file + ".tmp", port_file)

    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    stop.wait()
    controller.stop()


if __name__ == "__main__":
    main()
