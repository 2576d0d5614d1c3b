#!/usr/bin/env python3
"""A mirror for the benchmarks that serves a folder at most RATE bytes a
second in all, however many connections share it: every chunk of every
answer waits for its turn on one clock, so no connection gets a burst.
Range requests are answered with 206, as nginx does.

  shaped_mirror.py ROOT RATE [PORT]   prints its port; on SIGTERM prints the
                                      body bytes it sent and exits

One process per mirror, so two mirrors do not share one interpreter lock.
"""
import http.server
import os
import signal
import socketserver
import sys
import threading
import time
from urllib.parse import unquote_to_bytes

CHUNK = 64 * 1024


class Clock:
    def __init__(self, rate):
        self.rate, self.sent, self.lock, self.next_free = rate, 0, threading.Lock(), time.monotonic()

    def take(self, n):
        with self.lock:
            now = time.monotonic()
            turn = max(now, self.next_free)
            self.next_free = turn + n / self.rate
            self.sent += n
        if turn > now:
            time.sleep(turn - now)


def main():
    root, rate = os.fsencode(sys.argv[1]), float(sys.argv[2])
    port = int(sys.argv[3]) if len(sys.argv) > 3 else 0
    clock = Clock(rate)

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *a):
            pass

        def do_GET(self):
            path = os.path.join(root, unquote_to_bytes(self.path.lstrip("/")))
            if not os.path.isfile(path):
                self.send_response(404)
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            size = os.path.getsize(path)
            start, end = 0, size - 1
            rng = self.headers.get("Range")
            if rng and rng.startswith("bytes="):
                first, _, last = rng[6:].partition("-")
                start, end = int(first), min(int(last), size - 1) if last else size - 1
                self.send_response(206)
                self.send_header("Content-Range", "bytes %d-%d/%d" % (start, end, size))
            else:
                self.send_response(200)
            self.send_header("Content-Length", str(end - start + 1))
            self.end_headers()
            with open(path, "rb") as f:
                f.seek(start)
                left = end - start + 1
                try:
                    while left > 0:
                        data = f.read(min(left, CHUNK))
                        clock.take(len(data))
                        self.wfile.write(data)
                        left -= len(data)
                except OSError:
                    self.close_connection = True

    class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
        daemon_threads = True
        allow_reuse_address = True

    server = Server(("127.0.0.1", port), Handler)

    def stop(*_):
        print(clock.sent, flush=True)
        os._exit(0)

    signal.signal(signal.SIGTERM, stop)
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
