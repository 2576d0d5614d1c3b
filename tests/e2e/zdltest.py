#!/usr/bin/env python3
"""What the end-to-end tests and benchmarks in Python share: the installer's
side of the core's line channel, the sample client and its description, the
content server (scripts/content-server.sh), and a folder's digest compared
with the served client's.

A script imports it from its own location:

    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
    import zdltest

Run as a program it compares two folders (the shell journeys use that):

    zdltest.py same-tree WANT GOT [--want-names N] [--got-names N] [--ignore NAME]...

Names are compared as "raw" bytes, as "text" (UTF-8, else GBK: a Windows
program under Wine writes a GBK client's names in UTF-8) or decoded by a
codec ("gbk", "utf-8"). Exit 0 when the folders hold the same files with the
same bytes, 1 otherwise (what differs on stdout). Everything here is bounded
in time.
"""
import argparse
import hashlib
import os
import random
import shutil
import socket
import subprocess
import sys
import time

TORRENT = "zphdownload_setup.exe.data"
STATE_DIR = ".zdlcore"  # the core's own folder inside an install
HASH_CHUNK = 8 << 20
SETUP_TIMEOUT = 60  # seconds for a test's sample client or its description


def check(cond, message):
    if not cond:
        raise AssertionError(message)


def fresh_dir(path, make=False):
    """|path| emptied (removed; made again when |make|)."""
    shutil.rmtree(path, ignore_errors=True)
    if make:
        os.makedirs(path)
    return path


def file_sha256(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        while True:
            block = f.read(HASH_CHUNK)
            if not block:
                return h.hexdigest()
            h.update(block)


def name_as(rel, names):
    """A relative path as the key it is compared under (see the module's text)."""
    if names == "raw":
        return rel
    raw = os.fsencode(rel)
    if names == "text":
        try:
            return raw.decode("utf-8")
        except UnicodeDecodeError:
            return raw.decode("gbk", "replace")
    return raw.decode(names, "replace")


def tree_digest(root, names="raw", skip=(STATE_DIR,)):
    """SHA-256 per file under |root|, keyed by name_as(path, |names|); folders
    named in |skip| are left out."""
    out = {}
    for folder, dirs, files in os.walk(root):
        dirs[:] = [d for d in dirs if d not in skip]
        for f in files:
            p = os.path.join(folder, f)
            out[name_as(os.path.relpath(p, root), names)] = file_sha256(p)
    return out


def tree_difference(want, got, want_names="raw", got_names="raw", ignore=()):
    """(missing, extra, differing) names of |got| against |want|, each sorted;
    |ignore| names files in |got| that |want| need not have."""
    a, b = tree_digest(want, want_names), tree_digest(got, got_names)
    missing = sorted(set(a) - set(b))
    extra = sorted(k for k in set(b) - set(a) if k not in ignore)
    differ = sorted(k for k in set(a) & set(b) if a[k] != b[k])
    return missing, extra, differ


def same_tree(want, got, **names):
    """(True, "") when the folders agree, else (False, what differs)."""
    missing, extra, differ = tree_difference(want, got, **names)
    ok = not (missing or extra or differ)
    return ok, "" if ok else "missing %s extra %s differ %s" % (missing[:5], extra[:5], differ[:5])


def describe(mkdesc, www, piece=None, raw_names=True, timeout=SETUP_TIMEOUT):
    """The description of |www|/files written into |www| by zdl-mkdesc."""
    cmd = [mkdesc, os.path.join(www, "files"), www]
    if raw_names:
        cmd.append("--raw-names")
    if piece:
        cmd += ["--piece-size", str(piece)]
    subprocess.run(cmd, check=True, capture_output=True, timeout=timeout)


def make_client(sampleclient, mkdesc, www, size_mib, seed, piece=None, extra_files=(), raw_names=True,
                timeout=SETUP_TIMEOUT):
    """A fresh sample client of |size_mib| MiB in |www|/files with its
    description; |extra_files| are (byte name, size) added with random bytes
    before the description is made; |timeout| bounds each of the two
    programs. Returns |www|."""
    fresh_dir(www)
    subprocess.run([sampleclient, os.path.join(www, "files"), str(size_mib), str(seed)], check=True,
                   capture_output=True, timeout=timeout)
    for rel, size in extra_files:
        path = os.path.join(os.path.join(www, "files").encode(), rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(random.Random(size).randbytes(size))
    describe(mkdesc, www, piece, raw_names, timeout)
    return www


class ContentServer:
    """nginx on 127.0.0.1 serving |root|, started and stopped by
    scripts/content-server.sh with its files in |work|; it stops by itself
    after |lifetime| seconds should the test never get to stop it."""

    def __init__(self, script, root, work, tls=(), lifetime=600, conf="", http_conf="", port=0):
        """tls: (certificate, key) files to serve HTTPS with; conf and
        http_conf: more nginx configuration for the server and the http
        block; port: that port instead of a free one."""
        self.script, self.work = script, work
        fresh_dir(work)
        env = dict(os.environ, ZDL_SERVER_LIFETIME=str(int(lifetime)), ZDL_SERVER_CONF=conf,
                   ZDL_SERVER_HTTP_CONF=http_conf)
        if port:
            env["ZDL_SERVER_PORT"] = str(port)
        out = subprocess.run([script, "start", root, work] + list(tls), check=True, capture_output=True, text=True,
                             timeout=20, env=env)
        self.port = int(out.stdout.split()[-1])
        self.url = "%s://127.0.0.1:%d" % ("https" if tls else "http", self.port)

    def log_size(self):
        try:
            return os.path.getsize(os.path.join(self.work, "access.log"))
        except OSError:
            return 0

    def body_bytes(self, prefix="/files/", since=0):
        """Body bytes nginx sent for paths under |prefix|, from byte |since| of
        its access log on (log_size() gives that mark)."""
        total = 0
        want = prefix.encode()
        with open(os.path.join(self.work, "access.log"), "rb") as f:
            f.seek(since)
            for line in f:
                parts = line.split(b'"')
                if len(parts) < 3:
                    continue
                request, status = parts[1].split(), parts[2].split()
                if len(request) >= 2 and request[1].startswith(want) and len(status) >= 2 and status[1].isdigit():
                    total += int(status[1])
        return total

    def stop(self):
        subprocess.run([self.script, "stop", self.work], timeout=20)


class StatusChannel:
    """The installer's end of the core's line channel: a listener on
    127.0.0.1 the core connects to ("-InteractivePort"), the commands sent,
    and the "[zdl] Key=Value" lines read back into |values|; |history| holds
    every P2PState value seen, in order."""

    def __init__(self):
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(1)
        self.port = self.listener.getsockname()[1]
        self.conn = None
        self.pending = b""
        self.values = {}
        self.history = []

    def accept(self, timeout):
        self.listener.settimeout(timeout)
        self.conn, _ = self.listener.accept()
        self.conn.setblocking(False)

    def send(self, text):
        try:
            self.conn.sendall(text.encode())
        except OSError:
            pass

    def drain(self):
        while True:
            try:
                data = self.conn.recv(65536)
            except OSError:  # nothing more now, or the core went away
                break
            if not data:
                break
            self.pending += data
        while b"\n" in self.pending:
            line, self.pending = self.pending.split(b"\n", 1)
            text = line.decode("latin-1")
            if "[" not in text or "]" not in text:
                continue
            kv = text[text.index("]") + 1:].strip()
            if "=" not in kv:
                continue
            key, value = (s.strip() for s in kv.split("=", 1))
            self.values[key] = value
            if key == "P2PState" and (not self.history or self.history[-1] != value):
                self.history.append(value)

    def close(self):
        if self.conn:
            self.conn.close()
        self.listener.close()


class Installer(StatusChannel):
    """The core started with the installer's command line (|program| may
    carry a runner before it, e.g. Wine) and polled once a call with "stat",
    "get tb" and "get qf 0"; its standard error goes to a log in |work|."""

    def __init__(self, program, work, install_dir, url, threads=4, limit=10000, extra=(), delete_info=True,
                 torrent=TORRENT, env=None, accept_timeout=30, share_port=0, upload_limit=10000):
        super().__init__()
        self.accept_timeout = accept_timeout
        cmd = list(program) + ["-Dir", install_dir, "-HttpUrl", url, "-Torrent", torrent, "-Mode", "download",
                               "-HttpThread", str(threads), "-P2PUploadThread", "6", "-P2PUploadListSize", "12",
                               "-DownloadLimit", str(limit), "-UploadLimit", str(upload_limit)]
        # Sharing with peers stays on this machine: pinned to 127.0.0.1 and a
        # discovery port of the test's own (multicast never leaves through a
        # real interface), or off.
        if share_port:
            cmd += ["-P2PInterface", "127.0.0.1", "-P2PDiscoveryPort", str(share_port)]
        else:
            cmd += ["-P2PShare", "0"]
        if delete_info:
            cmd.append("-DeleteDownloadInfo")
        cmd += ["-InteractivePort", str(self.port)] + list(extra)
        self.stderr_path = os.path.join(work, "core-%d.log" % self.port)
        self.stderr = open(self.stderr_path, "w")
        self.proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=self.stderr,
                                     env=dict(os.environ, **(env or {})))

    def accept(self, timeout=None):
        super().accept(timeout or self.accept_timeout)

    def poll(self):
        if self.conn is None:
            self.accept()
        self.send("stat\nget tb\nget qf 0\n")
        time.sleep(0.05)
        self.drain()

    def state(self):
        return int(self.values.get("P2PState", "-1"))

    def wait_for(self, pred, timeout, what, interval=0.25):
        end = time.time() + timeout
        while time.time() < end:
            self.poll()
            if pred(self):
                return
            if self.proc.poll() is not None:
                self.drain()
                if pred(self):
                    return
                raise AssertionError("core exited (%s) while waiting for %s; values %s\n%s" %
                                     (self.proc.returncode, what, self.values, self.log()))
            time.sleep(interval)
        raise AssertionError("timed out waiting for %s; values %s\n%s" % (what, self.values, self.log()))

    def quit_and_time(self, timeout=5):
        start = time.time()
        self.send("quit\n")
        code = self.proc.wait(timeout)
        return code, time.time() - start

    def log(self):
        self.stderr.flush()
        with open(self.stderr_path, errors="replace") as f:
            return f.read()[-3000:]

    def close(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(5)
        self.stderr.close()
        super().close()


def main():
    p = argparse.ArgumentParser(description="compare a folder with the client it should hold")
    sub = p.add_subparsers(dest="command", required=True)
    st = sub.add_parser("same-tree")
    st.add_argument("want")
    st.add_argument("got")
    st.add_argument("--want-names", default="raw")
    st.add_argument("--got-names", default="raw")
    st.add_argument("--ignore", action="append", default=[], help="a file GOT may have beyond WANT")
    a = p.parse_args()
    missing, extra, differ = tree_difference(a.want, a.got, a.want_names, a.got_names, a.ignore)
    for what, names in (("missing", missing), ("extra", extra), ("differs", differ)):
        for n in names:
            print(what, n)
    print(len(tree_digest(a.want)), "files compared")
    return 1 if missing or extra or differ else 0


if __name__ == "__main__":
    sys.exit(main())
