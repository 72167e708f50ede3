#!/usr/bin/env python3
"""A small POP3 peer on 127.0.0.1 for the command-line tests.

    pop3_peer.py MODE PORTFILE LOGFILE

MODE:
  hostile  refuses the password with an -ERR text full of terminal controls
           (a title change, a screen clear, the 8-bit CSI, a bidi override)
  empty    accepts any login; the mailbox is empty
  mailbox  accepts any login; three messages, with unique ids

It binds port 0, writes the port to PORTFILE and appends every command line it
receives, byte for byte, to LOGFILE. Serves connections one at a time until killed.
"""
import socket
import sys

HOSTILE = ("-ERR \x1b]0;owned\x07\x1b[2J\u009b31m\u202egnp.exe bad password"
           .encode("utf-8") + b" \x9b1m\r\n")


MESSAGES = [("From: Sender %d <s%d@example.org>\r\nSubject: Note %d\r\n"
             "Message-ID: <%d@example.org>\r\n\r\nBody %d.\r\n" % ((n,) * 5)).encode()
            for n in (1, 2, 3)]


def listing(lines):
    return b"+OK\r\n" + b"".join(b"%d %s\r\n" % (n, v) for n, v in lines) + b".\r\n"


def serve(conn, mode, log):
    reader = conn.makefile("rb")
    conn.sendall(b"+OK ready\r\n")
    for line in reader:
        with open(log, "ab") as out:
            out.write(line)
        command = line.split(b" ", 1)[0].strip().upper()
        if command == b"PASS" and mode == "hostile":
            conn.sendall(HOSTILE)
        elif mode == "mailbox" and command in (b"STAT", b"LIST", b"UIDL", b"RETR"):
            arg = line.split()[1:]
            numbered = list(enumerate(MESSAGES, 1))
            if command == b"STAT":
                conn.sendall(b"+OK %d %d\r\n" % (len(MESSAGES), sum(map(len, MESSAGES))))
            elif command == b"LIST":
                conn.sendall(listing((n, b"%d" % len(m)) for n, m in numbered))
            elif command == b"UIDL":
                conn.sendall(listing((n, b"id-%d" % n) for n, _ in numbered))
            else:
                conn.sendall(b"+OK\r\n" + MESSAGES[int(arg[0]) - 1] + b".\r\n")
        elif command == b"STAT":
            conn.sendall(b"+OK 0 0\r\n")
        elif command in (b"LIST", b"UIDL", b"CAPA"):
            conn.sendall(b"+OK\r\n.\r\n")
        elif command == b"QUIT":
            conn.sendall(b"+OK bye\r\n")
            return
        else:
            conn.sendall(b"+OK\r\n")


def main():
    mode, portfile, log = sys.argv[1:4]
    server = socket.socket()
    server.bind(("127.0.0.1", 0))
    server.listen(4)
    with open(portfile + ".tmp", "w") as out:
        out.write(str(server.getsockname()[1]))
    import os
    os.rename(portfile + ".tmp", portfile)
    while True:
        conn, _ = server.accept()
        with conn:
            try:
                serve(conn, mode, log)
            except OSError:
                pass


if __name__ == "__main__":
    main()
