"""Helpers of the web page's end-to-end tests: raw HTTP exchanges (so that
malformed and hostile requests can be sent as they are), the INI section of
the page, and waiting for the server to listen."""

import base64
import socket
import time

from e2e_support import scramble


def auth_header(user, password):
    return "Authorization: Basic %s\r\n" % base64.b64encode(("%s:%s" % (user, password)).encode()).decode()


def web_section(port, address="127.0.0.1", user="", password="", extra=()):
    items = [("ACTIF", "1"), ("ADRESSE", address), ("PORT", str(port)), ("UTILISATEUR", user)]
    if password:
        items.append(("MOT DE PASSE", scramble(password)))
    return ("CONFIG_WEB", items + list(extra))


def exchange(port, raw, timeout=5.0, host="127.0.0.1"):
    """Sends raw bytes, reads until the server closes; (status, headers, body).
    status is None when the connection closed without an answer."""
    with socket.create_connection((host, port), timeout=timeout) as s:
        s.sendall(raw if isinstance(raw, bytes) else raw.encode("latin-1"))
        data = b""
        try:
            while True:
                chunk = s.recv(65536)
                if not chunk:
                    break
                data += chunk
        except (ConnectionResetError, socket.timeout):
            pass
    head, _, body = data.partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    if not lines[0].startswith("HTTP/1.1 "):
        return None, {}, data
    headers = {}
    for line in lines[1:]:
        k, _, v = line.partition(":")
        headers[k.strip().lower()] = v.strip()
    return int(lines[0].split()[1]), headers, body


def get(port, path, extra="", host_header=None):
    host = host_header or "127.0.0.1:%d" % port
    return exchange(port, "GET %s HTTP/1.1\r\nHost: %s\r\n%s\r\n" % (path, host, extra))


def listening(port, host="127.0.0.1"):
    try:
        with socket.create_connection((host, port), timeout=0.5):
            return True
    except OSError:
        return False


def wait_listening(port, timeout=15.0):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if listening(port):
            return True
        time.sleep(0.1)
    return False
