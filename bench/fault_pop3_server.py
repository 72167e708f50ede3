#!/usr/bin/env python3
"""A POP3 server on 127.0.0.1 with one message, served in a chosen bad (or merely
large) way, for measuring what `brindlecast check` costs against it.

    fault_pop3_server.py MODE SIZE PORTFILE

MODE:
  big      one well-formed message of SIZE bytes in 76-character lines
  oneline  one message whose body is a single line of SIZE bytes
  endless  LIST says SIZE; the RETR reply never ends
  drip     LIST says SIZE; the RETR reply comes one byte a second
  many     24 messages of SIZE bytes, PIPELINING offered, LIST gives no sizes,
           message 1 from a sender with no address (deleted as spam)

The server binds port 0, writes the port to PORTFILE, serves connections one at
a time until killed. Any user name and password are accepted.
"""
import socket
import sys
import time

HEADER = (b"From: Big Sender <big@example.com>\r\nSubject: large message\r\n"
          b"Date: Tue, 7 Dec 2004 10:11:12 +0800\r\nMessage-ID: <big@example.com>\r\n\r\n")


def body_chunks(mode, size):
    """The message body as chunks of bytes (dot-stuffing is not needed: no line
    starts with a dot)."""
    chunk = 1 << 20
    if mode == "big":
        line = b"x" * 74 + b"\r\n"
        size -= size % len(line)  # whole lines only
        block = line * (chunk // len(line))
    else:
        block = b"y" * chunk
    left = size
    while left > 0:
        part = block[:left] if left < len(block) else block
        yield part
        left -= len(part)
    if mode == "oneline":
        yield b"\r\n"


MANY = 24


def many_header(n):
    sender = b"MAILER-DAEMON" if n == 1 else b"Sender %d <s%d@example.com>" % (n, n)
    return (b"From: " + sender + b"\r\nSubject: message %d\r\n"
            b"Date: Tue, 7 Dec 2004 10:11:12 +0800\r\nMessage-ID: <m%d@example.com>\r\n\r\n"
            % (n, n))


def serve_many(send, out, reader, size):
    """Many large messages whose sizes LIST does not tell."""
    send(b"+OK fault server ready\r\n")
    for raw in reader:
        words = raw.strip().split(b" ")
        verb = words[0].upper()
        n = int(words[1]) if len(words) > 1 and words[1].isdigit() else 0
        if verb in (b"USER", b"PASS", b"NOOP", b"DELE"):
            send(b"+OK\r\n")
        elif verb == b"CAPA":
            send(b"+OK\r\nUSER\r\nTOP\r\nUIDL\r\nPIPELINING\r\n.\r\n")
        elif verb == b"STAT":
            send(b"+OK %d %d\r\n" % (MANY, MANY * size))
        elif verb == b"LIST":
            send(b"+OK\r\n.\r\n")
        elif verb == b"UIDL":
            send(b"+OK %d m%d\r\n" % (n, n) if n else
                 b"+OK\r\n" + b"".join(b"%d m%d\r\n" % (i, i) for i in range(1, MANY + 1))
                 + b".\r\n")
        elif verb == b"TOP":
            send(b"+OK\r\n" + many_header(n) + b".\r\n")
        elif verb == b"RETR":
            out.write(b"+OK\r\n" + many_header(n))
            for part in body_chunks("big", size):
                out.write(part)
            send(b".\r\n")
        elif verb == b"QUIT":
            send(b"+OK bye\r\n")
            return
        else:
            send(b"-ERR unknown command\r\n")


def serve(conn, mode, size):
    out = conn.makefile("wb")
    reader = conn.makefile("rb")
    total = len(HEADER) + size + 2

    def send(data):
        out.write(data)
        out.flush()

    if mode == "many":
        return serve_many(send, out, reader, size)
    send(b"+OK fault server ready\r\n")
    for raw in reader:
        command = raw.strip().upper()
        verb = command.split(b" ")[0]
        if verb in (b"USER", b"PASS", b"NOOP"):
            send(b"+OK\r\n")
        elif verb == b"STAT":
            send(b"+OK 1 %d\r\n" % total)
        elif verb == b"LIST":
            send(b"+OK\r\n1 %d\r\n.\r\n" % total)
        elif verb == b"UIDL":
            send(b"+OK 1 big1\r\n" if b" " in command else b"+OK\r\n1 big1\r\n.\r\n")
        elif verb == b"RETR":
            send(b"+OK\r\n" + HEADER)
            if mode == "endless":
                line = b"X" * 998 + b"\r\n"
                block = line * 1024
                while True:
                    send(block)
            elif mode == "drip":
                while True:
                    send(b"z")
                    time.sleep(1)
            else:
                for part in body_chunks(mode, size):
                    out.write(part)
                send(b".\r\n")
        elif verb == b"QUIT":
            send(b"+OK bye\r\n")
            return
        else:
            send(b"-ERR unknown command\r\n")


def main():
    mode, size, portfile = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", 0))
    server.listen(1)
    with open(portfile, "w") as f:
        f.write(str(server.getsockname()[1]))
    while True:
        conn, _ = server.accept()
        try:
            serve(conn, mode, size)
        except (BrokenPipeError, ConnectionResetError):
            pass
        finally:
            conn.close()


if __name__ == "__main__":
    main()
