#!/usr/bin/env python3
"""A TCP proxy on 127.0.0.1 that counts the bytes each connection carries.

    count_proxy.py LISTEN_PORT TARGET_PORT TOTALS_FILE

Forwards every connection to 127.0.0.1:TARGET_PORT. When a connection ends it
appends one line "received SENT" to TOTALS_FILE: the bytes the server sent to
the client (what a client downloads) and the bytes the client sent. Writes
"ready" to stdout once it listens. Runs until killed.
"""
import selectors
import socket
import sys
import threading


def pump(client, server, totals):
    received = sent = 0
    selector = selectors.DefaultSelector()
    selector.register(client, selectors.EVENT_READ, server)
    selector.register(server, selectors.EVENT_READ, client)
    open_ends = 2
    while open_ends:
        for key, _ in selector.select():
            data = key.fileobj.recv(1 << 16)
            if not data:
                selector.unregister(key.fileobj)
                open_ends -= 1
                try:
                    key.data.shutdown(socket.SHUT_WR)
                except OSError:
                    pass
                continue
            key.data.sendall(data)
            if key.fileobj is server:
                received += len(data)
            else:
                sent += len(data)
    client.close()
    server.close()
    with open(totals, "a") as out:
        out.write(f"{received} {sent}\n")


def main():
    listen_port, target_port, totals = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", listen_port))
    listener.listen(16)
    print("ready", flush=True)
    while True:
        client, _ = listener.accept()
        server = socket.create_connection(("127.0.0.1", target_port))
        threading.Thread(target=pump, args=(client, server, totals), daemon=True).start()


if __name__ == "__main__":
    main()
