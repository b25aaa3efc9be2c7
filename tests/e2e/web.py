"""The web page of the headless program, against real HTTP and WebSocket
clients on 127.0.0.1: no page without a password on a network address, the
login and its limit, the protections of every answer, hostile requests
(paths out of the page, other methods, bodies, oversized or endless heads,
too many connections), the live stream's login and origin, downloads,
HTTPS, and no secret in anything served."""

import asyncio
import os
import socket
import subprocess
import sys
import time

from e2e_support import check, free_port, headless, main, scramble, temp_dir, wait_until, write_config, write_ini
from web_support import auth_header, exchange, get, listening, wait_listening, web_section

VIREL = sys.argv[1]

try:
    import websockets
except ImportError:
    websockets = None

SECRETS = ["mail-secret-1", "bdpv-secret-2", "cosm-secret-3", "mqtt-secret-4", "web-secret-5"]


def write_secrets(d, port, address, user, password):
    write_ini(os.path.join(d, "alertes_mails.ini"), [("CONFIG_MAIL", [("ACTIF", "0"), ("PASSWORD", scramble(SECRETS[0]))])])
    write_config(d, prg=[("PERIODE_ENR", "7")], extra_sections=[
        ("CONFIG_BDPV", [("mot de passe", scramble(SECRETS[1]))]),
        ("CONFIG_COSM", [("key", scramble(SECRETS[2]))]),
        ("CONFIG_MQTT", [("ACTIF", "0"), ("MOT DE PASSE", scramble(SECRETS[3]))]),
        web_section(port, address, user, password)])


async def stream(port, headers=(), origin=None, messages=2, timeout=15):
    """Opens the live stream; returns the first `messages` messages (parsed)."""
    import json
    uri = "ws://127.0.0.1:%d/flux" % port
    kwargs = {"extra_headers": list(headers), "open_timeout": 5}
    if origin:
        kwargs["origin"] = origin
    got = []
    async with websockets.connect(uri, **kwargs) as ws:
        while len(got) < messages:
            got.append(json.loads(await asyncio.wait_for(ws.recv(), timeout)))
    return got


def stream_status(port, **kw):
    """The HTTP status the stream's opening got (101 when it opened)."""
    try:
        asyncio.run(stream(port, messages=1, **kw))
        return 101
    except websockets.exceptions.InvalidStatusCode as e:
        return e.status_code


def test_network_address_needs_password():
    with temp_dir("web_nopw") as d:
        port = free_port()
        write_config(d, extra_sections=[web_section(port, "0.0.0.0")])
        with headless(VIREL, d, 3, args=["--simulate"]) as run:
            time.sleep(1.5)
            check(not listening(port), "la page est servie sur 0.0.0.0 sans mot de passe")
            rc, lines, _ = run.wait()
        why = [l for l in lines if "La page Web n'est pas publiée" in l]
        check(len(why) == 1 and "sans mot de passe" in why[0], "message attendu une fois : %s" % lines)


def test_served_page(d, port):
    user, password = "moi", SECRETS[4]
    login = auth_header(user, password)
    served = []  # every byte served, checked for secrets at the end

    def keep(r):
        status, headers, body = r
        served.append(repr(headers).encode() + body)
        return r

    status, headers, _ = keep(get(port, "/"))
    check(status == 401 and headers.get("www-authenticate", "").startswith("Basic"), "sans login : %s" % status)
    status, headers, body = keep(get(port, "/", login))
    check(status == 200 and b"<title>VIREL" in body, "page : %s" % status)
    for k, v in [("x-frame-options", "DENY"), ("cache-control", "no-store")]:
        check(headers.get(k) == v, "en-tête %s : %r" % (k, headers.get(k)))
    check("frame-ancestors 'none'" in headers.get("content-security-policy", "") and
          "default-src 'none'" in headers["content-security-policy"], "CSP : %r" % headers)
    for path in ["/app.js", "/style.css"]:
        check(keep(get(port, path, login))[0] == 200, path)
    status, headers, body = keep(get(port, "/api/state", login))
    import json
    state = json.loads(body)
    check(status == 200 and headers.get("content-type") == "application/json", "api/state : %s" % status)
    check("meters" in state and "fields" in state and state["Simulated"] is True, "format du dump")

    # Hostile or malformed requests get their HTTP error, and the server goes on.
    for path in ["/../vireluz_cfg.ini", "/%2e%2e/vireluz_cfg.ini", "/fichiers/..%2f..%2fvireluz_cfg.ini",
                 "/.%2E/alertes_mails.ini", "/%2e%2e%5cvireluz_cfg.ini"]:
        status, _, body = keep(get(port, path, login))
        check(status in (400, 404) and b"[CONFIG" not in body, "%s : %s" % (path, status))
    check(keep(get(port, "/fichiers/vireluz_cfg.ini", login))[0] == 404, "fichier hors liste")
    cases = [
        ("POST / HTTP/1.1\r\nHost: h\r\n%sContent-Length: 2\r\n\r\nab" % login, 405),
        ("DELETE /api/state HTTP/1.1\r\nHost: h\r\n%s\r\n" % login, 405),
        ("GET / HTTP/1.1\r\nHost: h\r\n%sContent-Length: 4\r\n\r\nabcd" % login, 413),
        ("GET / HTTP/1.1\r\nHost: h\r\nX: %s\r\n\r\n" % ("a" * 9000), 431),
        ("GARBAGE\r\n\r\n", 400),
        ("GET / HTTP/1.1\r\nHost: h\r\n bad fold\r\n\r\n", 400),
        ("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\n\n", 400),
        ("GET / HTTP/1.1\r\nHost: h\r\n%s\r\nGET / HTTP/1.1\r\nHost: h\r\n\r\n" % login, 400),
    ]
    for raw, expected in cases:
        status, _, _ = keep(exchange(port, raw))
        check(status == expected, "%r : %s au lieu de %s" % (raw[:40], status, expected))

    # A file of the record, as it is on disk.
    wait_until(lambda: os.path.exists(os.path.join(d, "enregistrements.csv")), 20, 0.5)
    status, headers, body = keep(get(port, "/fichiers/enregistrements", login))
    with open(os.path.join(d, "enregistrements.csv"), "rb") as f:
        on_disk = f.read()
    check(status == 200 and body and on_disk.startswith(body), "téléchargement : %s, %d octets" % (status, len(body)))
    check("enregistrements.csv" in headers.get("content-disposition", ""), "nom du fichier")

    # The live stream: login and origin, then a state and its updates.
    check(stream_status(port) == 401, "flux sans login")
    check(stream_status(port, headers=[("Authorization", login[15:].strip())],
                        origin="http://autre.example") == 403, "flux d'une autre origine")
    msgs = asyncio.run(stream(port, headers=[("Authorization", login[15:].strip())],
                              origin="http://127.0.0.1:%d" % port, messages=3))
    check(msgs[0]["graphs"][0].get("reset") is True and len(msgs) == 3, "messages du flux")
    rows = msgs[0]["window"]["meters"][0]["rows"]
    check(rows[0]["label"]["text"] == "ADCO" and rows[0]["value"]["text"].startswith("SIMU"), "ADCO : %s" % rows[0])
    served.extend(json.dumps(m).encode() for m in msgs)

    # Too many connections at once: the one past the limit is told so.
    socks = [socket.create_connection(("127.0.0.1", port)) for _ in range(32)]
    try:
        time.sleep(0.3)
        status, _, _ = get(port, "/", login)
        check(status == 503, "33e connexion : %s" % status)
    finally:
        for s in socks:
            s.close()
    time.sleep(0.3)

    # A head sent a byte every two seconds is cut off at 10 s, and does not
    # hold anyone else meanwhile.
    s = socket.create_connection(("127.0.0.1", port))
    start = time.monotonic()
    closed_at = None
    request = b"GET / HTTP/1.1\r\nHost: h\r\n" + b"X-Lent: " + b"a" * 40
    try:
        for i, b in enumerate(request):
            s.sendall(bytes([b]))
            if i == 3:
                t0 = time.monotonic()
                check(get(port, "/api/state", login)[0] == 200, "un client lent bloque les autres")
                check(time.monotonic() - t0 < 1.0, "réponse lente pendant un client lent")
            s.settimeout(2.0)
            try:
                if s.recv(1) == b"":
                    closed_at = time.monotonic() - start
                    break
            except socket.timeout:
                pass
            except ConnectionResetError:
                closed_at = time.monotonic() - start
                break
    finally:
        s.close()
    check(closed_at is not None and 9.0 <= closed_at <= 13.0, "client lent coupé après %s s" % closed_at)

    for blob in served:
        for secret in SECRETS:
            check(secret.encode() not in blob and scramble(secret).encode("cp1252") not in blob,
                  "secret servi : %s" % secret)

    # Five failed logins in a minute: refused for the rest of it, right password included.
    statuses = [get(port, "/", auth_header(user, "faux%d" % i))[0] for i in range(5)]
    check(statuses == [401, 401, 401, 401, 429], "essais manqués : %s" % statuses)
    status, headers, _ = get(port, "/", login)
    check(status == 429 and int(headers.get("retry-after", "0")) > 30, "après 5 échecs : %s %s" % (status, headers))


def test_password_page():
    with temp_dir("web") as d:
        port = free_port()
        write_secrets(d, port, "0.0.0.0", "moi", SECRETS[4])
        with headless(VIREL, d, 90, args=["--simulate"]) as run:
            check(wait_listening(port), "la page n'est pas servie")
            test_served_page(d, port)
            run.stop()
            rc, lines, _ = run.wait()
        check(rc == 0, "code de sortie %s : %s" % (rc, lines))
        check(not [l for l in lines if "Page Web" in l], "messages : %s" % lines)


def test_https():
    with temp_dir("web_tls") as d:
        cert, key = os.path.join(d, "cert.pem"), os.path.join(d, "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                        "-days", "2", "-subj", "/CN=127.0.0.1"], check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        port = free_port()
        write_config(d, extra_sections=[web_section(port, extra=[("CERTIFICAT", cert), ("CLE", key)])])
        with headless(VIREL, d, 20, args=["--simulate"]) as run:
            check(wait_listening(port), "la page HTTPS n'est pas servie")
            import ssl
            import http.client
            ctx = ssl.create_default_context(cafile=cert)
            ctx.check_hostname = False
            c = http.client.HTTPSConnection("127.0.0.1", port, context=ctx, timeout=5)
            c.request("GET", "/api/state")
            r = c.getresponse()
            check(r.status == 200 and b"meters" in r.read(), "HTTPS : %s" % r.status)
            c.close()
            status, _, _ = get(port, "/")
            check(status is None, "HTTP en clair sur le port HTTPS : %s" % status)
            run.stop()
            run.wait()


def test():
    if websockets is None:
        print("python3-websockets absent", file=sys.stderr)
        sys.exit(77)
    test_network_address_needs_password()
    test_password_page()
    test_https()


if __name__ == "__main__":
    main(test)
