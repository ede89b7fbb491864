#!/usr/bin/env python3
"""Slow readers for the memory figure under image load (program_memory.sh).

COUNT simultaneous GET requests for PATH on 127.0.0.1:PORT, one Python thread
each, as a browser on an ordinary link reads: CHUNK bytes, then a pause of
PAUSE milliseconds, until the server closes. Every request is sent before any
reply is read (a barrier), so that all of them are in the server at once.
Prints "answered N of COUNT, B bytes, S s" and ends with status 0 when every
reply was whole ("200 OK" and as many body bytes as Content-Length says).

    slow_readers.py PORT PATH COUNT [CHUNK=65536] [PAUSE_MS=4] [LIMIT_S=120]

Every socket is on loopback; every wait is bounded by LIMIT_S.
"""

import socket
import sys
import threading
import time


def main():
    port = int(sys.argv[1])
    path = sys.argv[2]
    count = max(1, min(1024, int(sys.argv[3])))
    chunk = int(sys.argv[4]) if len(sys.argv) > 4 else 65536
    pause = (int(sys.argv[5]) if len(sys.argv) > 5 else 4) / 1000.0
    limit = float(sys.argv[6]) if len(sys.argv) > 6 else 120.0

    request = ("GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n" % path).encode()
    sent = threading.Barrier(count)
    start = time.monotonic()
    deadline = start + limit
    results = [None] * count

    def reader(index):
        received = bytearray()
        whole = False
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=limit) as sock:
                sock.sendall(request)
                try:
                    sent.wait(timeout=limit)
                except threading.BrokenBarrierError:
                    pass
                while time.monotonic() < deadline:
                    sock.settimeout(max(0.1, deadline - time.monotonic()))
                    piece = sock.recv(chunk)
                    if not piece:
                        break
                    received += piece
                    time.sleep(pause)
            whole = is_whole(received)
        except OSError:
            pass
        results[index] = (whole, len(received))

    threads = [threading.Thread(target=reader, args=(i,), daemon=True) for i in range(count)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(max(0.1, deadline + 5 - time.monotonic()))
    done = [r for r in results if r is not None]
    answered = sum(1 for whole, _ in done if whole)
    total = sum(size for _, size in done)
    print("answered %d of %d, %d bytes, %.2f s" % (answered, count, total, time.monotonic() - start))
    return 0 if answered == count else 1


def is_whole(reply):
    head_end = reply.find(b"\r\n\r\n")
    if not reply.startswith(b"HTTP/1.1 200 OK\r\n") or head_end < 0:
        return False
    for line in reply[:head_end].split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            return len(reply) - head_end - 4 == int(value)
    return False


if __name__ == "__main__":
    sys.exit(main())
