#!/usr/bin/python3
"""A private SMTP server for the protocol tests: AUTH LOGIN and PLAIN against a passwd-style user
file, recipients limited to known users, every letter delivered into the user's maildir. With
--tls starttls nothing but EHLO, STARTTLS and QUIT is taken before TLS; with --tls implicit the
connection is TLS from the first byte."""

import argparse
import asyncio
import os
import ssl
import sys
import time

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


def read_users(path):
    users = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\n").split(":")
            if len(fields) >= 2 and fields[0]:
                password = fields[1]
                if password.startswith("{PLAIN}"):
                    password = password[len("{PLAIN}"):]
                users[fields[0]] = password
    return users


class Handler:
    def __init__(self, users, mail_root, owner):
        self.users = users
        self.mail_root = mail_root
        self.owner = owner
        self.counter = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        local = address.strip("<>").split("@")[0]
        if local not in self.users:
            return "550 5.1.1 <%s>: Recipient address rejected: User unknown" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        data = envelope.original_content or b""
        for address in envelope.rcpt_tos:
            local = address.strip("<>").split("@")[0]
            box = os.path.join(self.mail_root, local)
            self.counter += 1
            name = "%d.M%dP%d.korvo-smtp" % (time.time_ns(), self.counter, os.getpid())
            tmp = os.path.join(box, "tmp", name)
            with open(tmp, "wb") as f:
                f.write(data)
            os.chown(tmp, self.owner, self.owner)
            os.rename(tmp, os.path.join(box, "new", name))
        return "250 2.0.0 Ok: queued"


class LoginSMTP(SMTP):
    AuthLoginUsernameChallenge = "Username:"
    AuthLoginPasswordChallenge = "Password:"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--users", required=True)
    parser.add_argument("--mail-root", required=True)
    parser.add_argument("--owner", type=int, default=8)
    parser.add_argument("--auth-required", action="store_true")
    parser.add_argument("--tls", choices=["starttls", "implicit"])
    parser.add_argument("--tls-cert")
    parser.add_argument("--tls-key")
    args = parser.parse_args()

    users = read_users(args.users)

    def authenticator(server, session, envelope, mechanism, auth_data):
        if isinstance(auth_data, LoginPassword):
            login = auth_data.login.decode("utf-8", "replace")
            password = auth_data.password.decode("utf-8", "replace")
            if users.get(login) == password:
                return AuthResult(success=True)
        return AuthResult(success=False, handled=False)

    context = None
    if args.tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.tls_cert, args.tls_key)
    starttls = args.tls == "starttls"
    handler = Handler(users, args.mail_root, args.owner)
    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    server = loop.run_until_complete(
        loop.create_server(
            lambda: LoginSMTP(handler, authenticator=authenticator, auth_require_tls=starttls,
                              auth_required=args.auth_required, hostname="localhost",
                              tls_context=context if starttls else None,
                              require_starttls=starttls),
            host="127.0.0.1", port=args.port,
            ssl=context if args.tls == "implicit" else None))
    sys.stdout.write("ready\n")
    sys.stdout.flush()
    try:
        loop.run_forever()
    finally:
        server.close()


if __name__ == "__main__":
    main()
