#!/usr/bin/env python3
"""The fast yardstick of the check benchmark: a pipelining POP3 client.

Logs in, then keeps WINDOW "RETR n" commands in flight (RFC 2449 PIPELINING),
reads the socket in large blocks and finds each reply's end with one search per
block; the data is thrown away. Plain, or TLS from the first byte with --tls.
Usage: pipelining_pop3_client.py [--tls CAFILE] [--window N] HOST PORT USER PASS
"""
import argparse
import socket
import ssl
import sys

BLOCK = 1 << 18


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tls", metavar="CAFILE")
    parser.add_argument("--window", type=int, default=64)
    parser.add_argument("host")
    parser.add_argument("port", type=int)
    parser.add_argument("user")
    parser.add_argument("password")
    args = parser.parse_args()
    sock = socket.create_connection((args.host, args.port))
    if args.tls:
        context = ssl.create_default_context(cafile=args.tls)
        sock = context.wrap_socket(sock, server_hostname=args.host)
    buffer = bytearray()

    def fill():
        data = sock.recv(BLOCK)
        if not data:
            sys.exit("the server closed the connection")
        buffer.extend(data)

    def status():
        while (end := buffer.find(b"\r\n")) < 0:
            fill()
        line = bytes(buffer[:end])
        del buffer[:end + 2]
        if not line.startswith(b"+OK"):
            sys.exit(f"failed: {line!r}")
        return line

    def multiline():
        status()
        start = 0
        while (end := buffer.find(b"\r\n.\r\n", start)) < 0:
            start = max(len(buffer) - 4, 0)
            fill()
        del buffer[:end + 5]

    def command(line):
        sock.sendall(line.encode() + b"\r\n")
        return status()

    status()  # greeting
    command("USER " + args.user)
    command("PASS " + args.password)
    count = int(command("STAT").split()[1])
    sock.sendall(b"LIST\r\n")
    multiline()
    sent = 0
    for n in range(1, count + 1):
        if sent < min(count, n - 1 + args.window):
            batch = range(sent + 1, min(count, n - 1 + args.window) + 1)
            sock.sendall(b"".join(b"RETR %d\r\n" % k for k in batch))
            sent = batch[-1]
        multiline()
    command("QUIT")
    print(count)


if __name__ == "__main__":
    main()
