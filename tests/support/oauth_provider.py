#!/usr/bin/env python3
"""A small OAuth2 authorization server on 127.0.0.1 for tests (stdlib only).

    oauth_provider.py [--lifetime SECONDS]

Listens on a free port and prints it as the first line of stdout, so tests
wait for that line, never a sleep.

  GET  /authorize   response_type=code, client_id, redirect_uri, scope, state,
                    code_challenge, code_challenge_method=S256 (login_hint names
                    the user, else "taro"); redirects with code and state
  POST /token       grant_type=authorization_code (code, redirect_uri,
                    client_id, code_verifier checked against the S256 challenge)
                    or refresh_token; RFC 6749 JSON, errors with status 400
  POST /introspect  the token as the form field "token" (Dovecot's post mode);
                    {"active": true, "username"} or {"active": false}
  POST /control/expire-access    every access token issued so far expires now
  POST /control/revoke-refresh   every refresh token issued so far is revoked,
                                 with the access tokens it gave (a password change)
  POST /control/set?lifetime=N&mode=google|microsoft&account=U&error=E&shape=untyped
        lifetime: expires_in of the tokens issued from now on (3600).
        mode: a real provider's rules. google: a second consent gives no refresh
        token unless prompt=consent was asked, refreshes give none and the old one
        stays; microsoft: refreshes rotate the refresh token and need the scope,
        public clients send no secret; either: an id_token names the user.
        account: the browser is signed in to U, whatever login_hint says;
        consented: every user has consented before (on another computer, say);
        error, shape: refreshes fail with E, or answer without a content type.
Codes hold "/" and "+", as Google's do; a refresh that carries redirect_uri is refused.
"""
import argparse
import base64
import hashlib
import http.server
import json
import secrets
import sys
import threading
import time
import urllib.parse


class Provider:
    def __init__(self, lifetime):
        self.lock = threading.Lock()
        self.lifetime = lifetime
        self.codes = {}  # code -> grant of the consent
        self.access = {}  # token -> {"user", "expires", "refresh"}
        self.refresh = {}  # token -> {"user", "client_id", "scope"}
        self.set = {}  # what /control/set said last
        self.consented = set()  # (user, client_id)

    def issue(self, user, client_id, scope, refresh=None, give_refresh=True):
        access = secrets.token_urlsafe(24)
        if refresh is None:
            refresh = secrets.token_urlsafe(24)
            self.refresh[refresh] = {"user": user, "client_id": client_id, "scope": scope}
        self.access[access] = {"user": user, "expires": time.time() + self.lifetime, "refresh": refresh}
        answer = {"access_token": access, "token_type": "Bearer", "expires_in": self.lifetime, "scope": scope}
        if give_refresh:
            answer["refresh_token"] = refresh
        claim = {"google": "email", "microsoft": "preferred_username"}.get(self.set.get("mode"))
        if claim:
            part = lambda o: base64.urlsafe_b64encode(json.dumps(o).encode()).rstrip(b"=").decode()
            answer["id_token"] = part({"alg": "none"}) + "." + part({claim: user}) + ".sig"
        return answer


def s256(verifier):
    return base64.urlsafe_b64encode(hashlib.sha256(verifier.encode()).digest()).rstrip(b"=").decode()


class Handler(http.server.BaseHTTPRequestHandler):
    provider = None

    def log_message(self, *args):
        pass

    def answer(self, status, body=None, headers=(), typed=True):
        data = json.dumps(body).encode() if body is not None else b""
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        if body is not None and typed:
            self.send_header("Content-Type", "application/json")
            self.send_header("Cache-Control", "no-store")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def params(self):
        url = urllib.parse.urlsplit(self.path)
        fields = dict(urllib.parse.parse_qsl(url.query))
        length = int(self.headers.get("Content-Length") or 0)
        if length:
            fields.update(urllib.parse.parse_qsl(self.rfile.read(length).decode()))
        return url.path, fields

    def do_GET(self):
        self.handle_request()

    def do_POST(self):
        self.handle_request()

    def handle_request(self):
        path, q = self.params()
        p = self.provider
        with p.lock:
            route = {"/authorize": self.authorize, "/token": self.token, "/introspect": self.introspect,
                     "/control/expire-access": self.expire_access, "/control/revoke-refresh": self.revoke,
                     "/control/set": self.set}.get(path)
            if route:
                route(p, q)
            else:
                self.answer(404, {"error": "not_found"})

    def authorize(self, p, q):
        redirect = q.get("redirect_uri", "")
        if not redirect.startswith("http://127.0.0.1:") and not redirect.startswith("http://localhost:"):
            self.answer(400, {"error": "invalid_request", "error_description": "redirect_uri"})
            return
        back = {"state": q.get("state", "")}
        if q.get("response_type") != "code" or not q.get("client_id") or q.get("code_challenge_method") != "S256" \
                or not q.get("code_challenge"):
            back["error"] = "invalid_request"
        else:
            code = "4/" + secrets.token_urlsafe(12) + "+" + secrets.token_urlsafe(4)
            user = p.set.get("account") or q.get("login_hint") or "taro"
            first = (user, q["client_id"]) not in p.consented and not p.set.get("consented") \
                or "consent" in q.get("prompt", "").split()
            p.consented.add((user, q["client_id"]))
            p.codes[code] = {"user": user, "client_id": q["client_id"], "redirect_uri": redirect,
                             "scope": q.get("scope", ""), "challenge": q["code_challenge"],
                             "refresh": first or p.set.get("mode") != "google"}
            back["code"] = code
        glue = "&" if "?" in redirect else "?"
        self.answer(302, headers=[("Location", redirect + glue + urllib.parse.urlencode(back))])

    def token(self, p, q):
        grant = q.get("grant_type")
        if grant == "authorization_code":
            # A code is good once, and only with the verifier of its challenge.
            g = p.codes.pop(q.get("code", ""), None)
            if not g or g["redirect_uri"] != q.get("redirect_uri") or g["client_id"] != q.get("client_id") \
                    or s256(q.get("code_verifier", "")) != g["challenge"]:
                self.answer(400, {"error": "invalid_grant"})
                return
            self.answer(200, p.issue(g["user"], g["client_id"], g["scope"], give_refresh=g["refresh"]))
        elif grant == "refresh_token":
            r = p.refresh.get(q.get("refresh_token", ""))
            mode = p.set.get("mode")
            strict = "redirect_uri" in q or mode == "microsoft" and ("client_secret" in q or not q.get("scope"))
            if not r or strict or p.set.get("error"):
                error = p.set.get("error") or ("invalid_request" if strict else "invalid_grant")
                self.answer(401 if error == "invalid_client" else 400,
                            {"error": error, "error_description": "AADSTS50076: refused", "error_codes": [50076],
                             "trace_id": "t", "correlation_id": "c"})
                return
            if mode == "microsoft":  # rotated: the old one is spent
                del p.refresh[q["refresh_token"]]
            self.answer(200, p.issue(r["user"], r["client_id"], r["scope"],
                                     None if mode == "microsoft" else q["refresh_token"], mode != "google"),
                        typed=p.set.get("shape") != "untyped")
        else:
            self.answer(400, {"error": "unsupported_grant_type"})

    def introspect(self, p, q):
        a = p.access.get(q.get("token", ""))
        if a and a["expires"] > time.time():
            self.answer(200, {"active": True, "username": a["user"]})
        else:
            self.answer(200, {"active": False})

    def expire_access(self, p, q):
        for a in p.access.values():
            a["expires"] = 0
        self.answer(200, {})

    def revoke(self, p, q):
        for token in [t for t, a in p.access.items() if a["refresh"] in p.refresh]:
            del p.access[token]
        p.refresh.clear()
        self.answer(200, {})

    def set(self, p, q):
        p.set, p.lifetime = q, int(q.get("lifetime", "3600"))
        self.answer(200, {})


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--lifetime", type=int, default=3600)
    args = parser.parse_args()
    Handler.provider = Provider(args.lifetime)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    print(server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    sys.exit(main())
