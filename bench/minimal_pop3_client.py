#!/usr/bin/env python3
"""The yardstick of the check benchmark: the least a POP3 client can do.

Sends USER, PASS, STAT, LIST, RETR 1..N and QUIT one at a time over a plain
connection (or TLS from the first byte) and throws the data away; no
decoding, no storage.
Usage: minimal_pop3_client.py [--tls CAFILE] HOST PORT USER PASS
"""
import socket
import ssl
import sys


def main():
    args = sys.argv[1:]
    cafile = None
    if args[:1] == ["--tls"]:
        cafile, args = args[1], args[2:]
    host, port, user, password = args[0], int(args[1]), args[2], args[3]
    sock = socket.create_connection((host, port))
    if cafile:
        sock = ssl.create_default_context(cafile=cafile).wrap_socket(sock, server_hostname=host)
    reader = sock.makefile("rb", buffering=1 << 16)

    def command(line):
        sock.sendall(line.encode() + b"\r\n")
        reply = reader.readline()
        if not reply.startswith(b"+OK"):
            sys.exit(f"{line.split()[0]} failed: {reply!r}")
        return reply

    def multiline():
        while reader.readline() != b".\r\n":
            pass

    reader.readline()  # greeting
    command("USER " + user)
    command("PASS " + password)
    count = int(command("STAT").split()[1])
    command("LIST")
    multiline()
    for n in range(1, count + 1):
        command(f"RETR {n}")
        multiline()
    command("QUIT")
    print(count)


if __name__ == "__main__":
    main()
