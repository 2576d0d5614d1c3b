#!/usr/bin/env python3
"""End-to-end tests of zdl-core: this script plays the installer's side.

It listens on 127.0.0.1, starts the core with the installer's command line
plus "-InteractivePort", polls once a second with "stat", "get tb" and
"get qf 0", and checks what the core reports and what it leaves on disk.
Content comes from nginx on 127.0.0.1 (scripts/content-server.sh) or from
a small fault-injecting server in this script. Everything is bounded in
time; servers and cores are stopped on the way out.
"""
import argparse
import hashlib
import http.server
import os
import random
import re
import shlex
import shutil
import signal
import socket
import socketserver
import subprocess
import sys
import threading
import time
import urllib.parse

ARGS = None
PIECE = 256 * 1024
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import zdltest  # noqa: E402  (found through the line above)

TORRENT = zdltest.TORRENT
# The core acts on "quit" within a second; the process's end (state saved,
# threads joined, the sanitizers' exit checks) is measured here, on a
# machine that may be loaded many times over. The faults this catches wait
# for a retry pause (up to 15 s), a connect timeout (10 s) or a download.
QUIT_LIMIT = 3.0


def Installer(install_dir, url, program=None, **kw):
    """The core (--core, or |program|) on the installer's line channel."""
    return zdltest.Installer(program or shlex.split(ARGS.core), ARGS.work, install_dir, url, **kw)


def check(cond, message):
    if not cond:
        raise AssertionError(message)


def client_name(raw):
    """A client tree names its files in UTF-8, or in GBK bytes (a tree for
    zdl-mkdesc --raw-names): compared as the text they spell."""
    try:
        return raw.decode("utf-8")
    except UnicodeDecodeError:
        return raw.decode("gbk")


def install_name(raw):
    """An install folder names its files in UTF-8, whatever the server does:
    the native core writes UTF-8, and a Windows core's Unicode names are
    UTF-8 under Wine. Anything else never matches a client name."""
    try:
        return raw.decode("utf-8")
    except UnicodeDecodeError:
        return "not UTF-8: %r" % raw


def tree_digest(root, name=client_name, skip=(b".zdlcore",)):
    out = {}
    root = os.fsencode(root)
    for dirpath, dirnames, filenames in os.walk(root):
        dirnames[:] = [d for d in dirnames if d not in skip]
        for n in filenames:
            p = os.path.join(dirpath, n)
            with open(p, "rb") as f:
                out[name(os.path.relpath(p, root))] = hashlib.sha256(f.read()).hexdigest()
    return out


def same_tree(client, install):
    da, db = tree_digest(client), tree_digest(install, install_name)
    missing = set(da) ^ set(db)
    differ = [k for k in da if k in db and da[k] != db[k]]
    return not missing and not differ, "missing %s differ %s" % (sorted(missing)[:5], differ[:5])


class Server:
    def __init__(self, root, name, tls=(), conf=""):
        """tls: (certificate, key) files to serve HTTPS with; conf: more
        nginx configuration for the server block."""
        self.work = os.path.join(ARGS.work, "srv-" + name)
        shutil.rmtree(self.work, ignore_errors=True)
        out = subprocess.run([ARGS.server, "start", root, self.work] + list(tls), check=True, capture_output=True,
                             text=True, timeout=20,
                             env=dict(os.environ, ZDL_SERVER_LIFETIME="600", ZDL_SERVER_CONF=conf))
        self.port = int(out.stdout.strip().splitlines()[-1])
        self.url = "%s://127.0.0.1:%d" % ("https" if tls else "http", self.port)

    def body_bytes(self, prefix="/files/"):
        """Bytes of client files nginx sent, from its access log."""
        total = 0
        with open(os.path.join(self.work, "access.log")) as f:
            for line in f:
                m = re.search(r'"GET (\S+) HTTP/[\d.]+" (\d+) (\d+)', line)
                if m and m.group(1).startswith(prefix):
                    total += int(m.group(3))
        return total

    def stop(self):
        subprocess.run([ARGS.server, "stop", self.work], timeout=20)


# ---------------------------------------------------------------- fault server
class FaultHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    root = None
    counter = [0]
    lock = threading.Lock()
    flaky = True  # every 4th piece request 503, every 7th dropped halfway
    missing = set()  # paths under the web root answered with 404
    ignore_range = False  # answer 200 with the whole file to ranges
    endless = None  # path served as an endless body
    endless_sent = []  # bytes sent per endless answer
    requests = []  # (path, range) of every request
    times = []  # time.time() of every request
    trickle = None  # path whose first request trickles 2 bytes a second
    trickled = []  # (start, end) of the trickling answer
    busy_until = 0  # answer 503 to everything before this time.time()

    def log_message(self, *a):
        pass

    def do_GET(self):
        with self.lock:
            self.counter[0] += 1
            n = self.counter[0]
        path = os.path.join(self.root, self.path.lstrip("/").replace("%20", " "))
        from urllib.parse import unquote_to_bytes
        rel = unquote_to_bytes(self.path.lstrip("/"))
        path = os.path.join(self.root.encode(), rel)
        self.requests.append((rel, self.headers.get("Range")))
        self.times.append(time.time())
        if time.time() < self.busy_until:
            body = b"busy"
            self.send_response(503)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        if rel == self.trickle and not self.trickled:
            self.trickled.append([time.time(), None])
            self.send_response(206)
            self.send_header("Content-Length", str(PIECE))
            self.end_headers()
            try:
                for _ in range(120):  # a minute at most
                    self.wfile.write(b"x")
                    self.wfile.flush()
                    time.sleep(0.5)
            except OSError:
                pass
            self.trickled[-1][1] = time.time()
            self.close_connection = True
            return
        if rel == self.endless:
            self.send_response(200)
            self.send_header("Connection", "close")
            self.end_headers()
            self.close_connection = True
            sent = 0
            self.endless_sent.append(0)
            try:
                while sent < (1 << 30):
                    self.wfile.write(b"f 1 " * 16384)
                    sent += 65536
                    self.endless_sent[-1] = sent
            except OSError:
                pass
            return
        if not os.path.isfile(path) or rel in self.missing:
            self.send_response(404)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        is_piece = b"/files/" in path
        if self.flaky and is_piece and n % 4 == 0:
            body = b"busy"
            self.send_response(503)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        with open(path, "rb") as f:
            data = f.read()
        rng = self.headers.get("Range")
        start, end = 0, len(data) - 1
        if rng and not self.ignore_range:
            m = re.match(r"bytes=(\d+)-(\d+)", rng)
            start, end = int(m.group(1)), min(int(m.group(2)), len(data) - 1)
            self.send_response(206)
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, end, len(data)))
        else:
            self.send_response(200)
        part = data[start:end + 1]
        self.send_header("Content-Length", str(len(part)))
        self.end_headers()
        if self.flaky and is_piece and n % 7 == 0:
            # Drop the connection halfway through the body.
            self.wfile.write(part[:len(part) // 2])
            self.wfile.flush()
            self.connection.shutdown(socket.SHUT_RDWR)
            self.close_connection = True
            return
        self.wfile.write(part)


class ThreadedServer(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def handle_error(self, request, client_address):
        pass  # the core dropping a connection is part of the test


# ---------------------------------------------------------------------- tests
def make_client(name, size_mib, seed=1, extra_files=(), utf8=False):
    """A client under <work>/<name>/files with its description beside it.
    Its names are GBK bytes described with --raw-names, or with `utf8`
    UTF-8 names described by zdl-mkdesc without options, as a publisher
    does; extra_files are (byte name, size)."""
    www = os.path.join(ARGS.work, name)
    shutil.rmtree(www, ignore_errors=True)
    subprocess.run([ARGS.sampleclient, os.path.join(www, "files"), str(size_mib), str(seed)] +
                   (["--utf8-names"] if utf8 else []), check=True, capture_output=True, timeout=60)
    for rel, size in extra_files:
        path = os.path.join(os.path.join(www, "files").encode(), rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(random.Random(size).randbytes(size))
    subprocess.run([ARGS.mkdesc, os.path.join(www, "files"), www, "--piece-size", str(PIECE)] +
                   ([] if utf8 else ["--raw-names"]), check=True, capture_output=True, timeout=60)
    return www


def description_head(www):
    with open(os.path.join(www, TORRENT), "rb") as f:
        return f.read().split(b"\npiecesize", 1)[0]


def fresh_dir(name):
    d = os.path.join(ARGS.work, name)
    shutil.rmtree(d, ignore_errors=True)
    return d


def test_full_download(www, srv):
    # The main client's GBK tree is described with --raw-names: a version 1
    # description without the "names" line, as releases made before it.
    head = description_head(www)
    check(head.startswith(b"ZDLDESC 1\n") and b"\nnames " not in head, "not an old description: %r" % head)
    inst = fresh_dir("inst-full")
    core = Installer(inst, srv.url, limit=-1)
    try:
        core.wait_for(lambda c: c.state() == 15 and c.values.get("FileName", ":") != ":", 60, "completion")
        check(core.values["FileName"] == "zpc.exe", "FileName %r" % core.values.get("FileName"))
        check(core.values["IncompleteByte"] == "0", "IncompleteByte %s" % core.values["IncompleteByte"])
        check(core.values["Percentage"] == "100.00", "Percentage")
        check(core.values["UploadBandWidth"] == "0.00", "UploadBandWidth")
        ok, why = same_tree(os.path.join(www, "files"), inst)
        check(ok, "install differs from the client: " + why)
        for seen in core.history:
            check(int(seen) in (1, 3, 5, 7, 8, 10, 11, 12, 14, 15), "unexpected state %s in %s" % (seen, core.history))
        check(core.history[-1] == "15", "history %s" % core.history)
        for kept in ("state", "seed", "lock"):
            check(not os.path.exists(os.path.join(inst, ".zdlcore", kept)), kept + " kept despite -DeleteDownloadInfo")
        code, took = core.quit_and_time()
        check(code == 0 and took < QUIT_LIMIT, "quit took %.2fs, exit %s" % (took, code))
    finally:
        core.close()
    # A second run over the complete folder checks and completes without
    # fetching a client byte.
    before = srv.body_bytes()
    core = Installer(inst, srv.url)
    try:
        core.wait_for(lambda c: c.state() == 15, 60, "completion of a complete folder")
        check(srv.body_bytes() == before, "a complete folder was downloaded again")
        core.quit_and_time()
    finally:
        core.close()


def make_test_ca(folder):
    """A certificate authority made now, and two server certificates it
    signed: one for 127.0.0.1, one for another host. Returns the paths."""
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    p = {k: os.path.join(folder, k) for k in ("ca.pem", "ca.key", "good.pem", "good.key", "wrong.pem", "wrong.key")}

    def openssl(*args):
        subprocess.run(["openssl"] + list(args), check=True, capture_output=True, timeout=60)

    # Elliptic-curve keys: made in milliseconds even on a loaded machine.
    key = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1"]
    openssl("req", "-x509", *key, "-nodes", "-keyout", p["ca.key"], "-out", p["ca.pem"], "-days",
            "2", "-subj", "/CN=zdl test authority", "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    for name, alt in (("good", "IP:127.0.0.1,DNS:localhost"), ("wrong", "DNS:wrong-host.invalid")):
        ext = os.path.join(folder, name + ".ext")
        with open(ext, "w") as f:
            f.write("subjectAltName=%s\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n" % alt)
        csr = os.path.join(folder, name + ".csr")
        openssl("req", "-new", *key, "-nodes", "-keyout", p[name + ".key"], "-out", csr, "-subj",
                "/CN=" + alt.split(",")[0].split(":")[1])
        openssl("x509", "-req", "-in", csr, "-CA", p["ca.pem"], "-CAkey", p["ca.key"], "-CAcreateserial", "-days",
                "2", "-out", p[name + ".pem"], "-extfile", ext)
    return p


def refused(core, what):
    """Waits until the core refuses the server (state 6, Error=DownloadTorrent)
    and returns True. Wine's Schannel (Wine 8: secur32 over GnuTLS) does not
    check the server's certificate when curl leaves that to it, so a Windows
    core under Wine downloads instead: reported, and False returned."""
    if not ARGS.windows_names:
        core.wait_for(lambda c: c.values.get("Error") == "DownloadTorrent", 30, "refusal of " + what)
        return True
    core.wait_for(lambda c: c.values.get("Error") == "DownloadTorrent" or c.state() >= 8, 60, "refusal of " + what)
    if core.values.get("Error") == "DownloadTorrent":
        return True
    print("  NOTE under Wine: %s was accepted (state %s): Wine's Schannel does not verify it" % (what, core.state()))
    return False


def test_https(www, srv):
    ca = make_test_ca(os.path.join(ARGS.work, "tls"))
    good = Server(www, "tls-good", tls=(ca["good.pem"], ca["good.key"]))
    try:
        # Only the system's authorities trusted: refused, nothing written.
        inst = fresh_dir("inst-https-untrusted")
        core = Installer(inst, good.url, env={"CURL_CA_BUNDLE": ""})
        try:
            if refused(core, "a server whose authority is not trusted"):
                check(sorted(os.listdir(inst)) == [".zdlcore"], "files written: %s" % os.listdir(inst))
                if not ARGS.windows_names:  # Schannel words it differently
                    check("issuer certificate" in core.log(), "no TLS reason: " + core.log())
            core.quit_and_time()
        finally:
            core.close()
        trust = {"CURL_CA_BUNDLE": ca["ca.pem"]}
        if ARGS.trust_ca:  # into the system's store (a Wine prefix) instead
            subprocess.run(shlex.split(ARGS.trust_ca) + [ca["ca.pem"]], check=True, timeout=120)
            trust = {"CURL_CA_BUNDLE": ""}
        inst = fresh_dir("inst-https")
        core = Installer(inst, good.url, limit=-1, env=trust)
        try:
            core.wait_for(lambda c: c.state() == 15, 120, "completion over HTTPS")
            ok, why = same_tree(os.path.join(www, "files"), inst)
            check(ok, "install differs: " + why)
            core.quit_and_time()
        finally:
            core.close()
    finally:
        good.stop()
    wrong = Server(www, "tls-wrong", tls=(ca["wrong.pem"], ca["wrong.key"]))
    try:
        inst = fresh_dir("inst-https-wrong")
        core = Installer(inst, wrong.url, env=trust)
        try:
            if refused(core, "a certificate for another host"):
                # Failed (6) and trying again (5, where the error stays shown),
                # never further.
                check(max(map(int, core.history)) <= 6, "states %s" % core.history)
                check(sorted(os.listdir(inst)) == [".zdlcore"], "files written: %s" % os.listdir(inst))
                check(os.listdir(os.path.join(inst, ".zdlcore")) in ([], ["lock"]), "core wrote %s" %
                      os.listdir(os.path.join(inst, ".zdlcore")))
                if not ARGS.windows_names:
                    check("subject name" in core.log(), "no TLS reason: " + core.log())
                check(wrong.body_bytes(prefix="/") == 0, "bytes sent despite the mismatch")
            core.quit_and_time()
        finally:
            core.close()
    finally:
        wrong.stop()


def test_bad_command_line(www, srv):
    core = Installer(fresh_dir("inst-bad"), srv.url, extra=["-Bogus", "1"])
    try:
        code = core.proc.wait(10)
        core.accept()
        time.sleep(0.1)
        core.drain()
        check(code == 2, "exit code %s" % code)
        check(core.values.get("P2PState") == "2", "state %s" % core.values)
        check("unknown option -Bogus" in core.log(), "message: " + core.log())
    finally:
        core.close()


def test_resume_after_kill(www, srv):
    inst = fresh_dir("inst-kill")
    total = sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(os.path.join(www, "files")) for f in fs)
    start_bytes = srv.body_bytes()
    threads = 4
    core = Installer(inst, srv.url, threads=threads, limit=6000, extra=["-StateSaveInterval", "300"])
    try:
        core.wait_for(lambda c: c.state() == 14 and float(c.values.get("Percentage", 0)) >= 45, 60, "half way",
                      interval=0.1)
        os.kill(core.proc.pid, signal.SIGKILL)
        core.proc.wait(5)
    finally:
        core.close()
    core = Installer(inst, srv.url, threads=threads, limit=-1)
    try:
        core.wait_for(lambda c: c.state() == 15, 60, "completion after kill -9")
        ok, why = same_tree(os.path.join(www, "files"), inst)
        check(ok, "resumed install differs: " + why)
        core.quit_and_time()
    finally:
        core.close()
    fetched = srv.body_bytes() - start_bytes
    waste = fetched - total
    print("  resume waste after kill -9: %d bytes (limit %d)" % (waste, threads * PIECE))
    check(waste <= threads * PIECE, "re-downloaded %d bytes, more than %d" % (waste, threads * PIECE))


def test_damaged_state_and_file(www, srv):
    inst = fresh_dir("inst-damage")
    core = Installer(inst, srv.url, limit=-1, delete_info=False)
    try:
        core.wait_for(lambda c: c.state() == 15, 60, "first completion")
        core.quit_and_time()
    finally:
        core.close()
    state = os.path.join(inst, ".zdlcore", "state")
    check(os.path.exists(state), "state missing without -DeleteDownloadInfo")
    with open(state, "r+b") as f:  # zero it, as a crash on some file systems does
        n = len(f.read())
        f.seek(0)
        f.write(b"\0" * n)
    pak = os.path.join(inst, "data", "pack01.pak")
    with open(pak, "r+b") as f:
        f.seek(PIECE * 2 + 10)
        b = f.read(1)
        f.seek(PIECE * 2 + 10)
        f.write(bytes([b[0] ^ 0xFF]))
    before = srv.body_bytes()
    core = Installer(inst, srv.url, limit=-1)
    try:
        core.wait_for(lambda c: c.state() == 15, 60, "repair")
        m = re.search(r"checked (\d+) pieces, (\d+) good", core.log())
        check(m and int(m.group(1)) == int(m.group(2)) + 1 and int(m.group(1)) > 50,
              "expected a full local check finding one bad piece: %s" % (m and m.group(0)))
        ok, why = same_tree(os.path.join(www, "files"), inst)
        check(ok, "repaired install differs: " + why)
        refetched = srv.body_bytes() - before
        check(refetched == PIECE, "repair fetched %d bytes, expected one piece" % refetched)
        core.quit_and_time()
    finally:
        core.close()


def test_file_changed_behind_valid_state(www, srv):
    # An interrupted download, then the player edits a file that the state
    # records as good: the state is intact, but the file is newer than it.
    inst = fresh_dir("inst-changed")
    core = Installer(inst, srv.url, limit=4000, delete_info=False, extra=["-StateSaveInterval", "200"])
    try:
        core.wait_for(lambda c: c.state() == 14 and float(c.values.get("Percentage", 0)) > 40, 30, "downloading")
        core.quit_and_time()
    finally:
        core.close()
    exe = os.path.join(inst, "zpc.exe")  # first in the description, so downloaded already
    time.sleep(0.05)
    with open(exe, "r+b") as f:
        f.seek(100)
        f.write(b"patched by someone else")
    core = Installer(inst, srv.url, limit=-1)
    try:
        core.wait_for(lambda c: c.state() == 15, 60, "completion")
        ok, why = same_tree(os.path.join(www, "files"), inst)
        check(ok, "changed file not repaired: " + why)
        core.quit_and_time()
    finally:
        core.close()


def test_corrupt_server_bytes(www, srv):
    inst = fresh_dir("inst-corrupt")
    pak = os.path.join(www, "files", "data", "pack02.pak")
    with open(pak, "r+b") as f:
        f.seek(PIECE + 5)
        orig = f.read(1)
        f.seek(PIECE + 5)
        f.write(bytes([orig[0] ^ 0x55]))
    core = Installer(inst, srv.url, limit=-1)
    try:
        core.wait_for(lambda c: int(c.values.get("HashFailures", "0")) >= 2, 60, "hash failures")
        # Everything else arrives meanwhile; only the bad piece stays missing.
        core.wait_for(lambda c: c.values.get("IncompleteByte") == str(PIECE), 60, "all but the bad piece")
        time.sleep(1)
        core.poll()
        check(core.state() == 14, "state %s with a corrupt piece on the server" % core.state())
        check(core.values["IncompleteByte"] == str(PIECE), "corrupt piece counted as done")
        # The publisher fixes the file: the core picks the piece up again.
        with open(pak, "r+b") as f:
            f.seek(PIECE + 5)
            f.write(orig)
        core.wait_for(lambda c: c.state() == 15, 60, "completion after the fix")
        ok, why = same_tree(os.path.join(www, "files"), inst)
        check(ok, "install differs: " + why)
        core.quit_and_time()
    finally:
        core.close()
        with open(pak, "r+b") as f:
            f.seek(PIECE + 5)
            f.write(orig)


def test_fault_server(www, srv):
    www = make_client("www-fault", 6, seed=7)
    FaultHandler.root = www
    server = ThreadedServer(("127.0.0.1", 0), FaultHandler)
    t = threading.Thread(target=server.serve_forever, daemon=True)
    t.start()
    inst = fresh_dir("inst-fault")
    core = Installer(inst, "http://127.0.0.1:%d" % server.server_address[1], limit=-1)
    try:
        core.wait_for(lambda c: c.state() == 15, 120, "completion through 503s and dropped connections")
        check(int(core.values.get("Retries", "0")) > 0, "no retries counted")
        ok, why = same_tree(os.path.join(www, "files"), inst)
        check(ok, "install differs: " + why)
        core.quit_and_time()
    finally:
        core.close()
        server.shutdown()
        server.server_close()


class FaultServer:
    """FaultHandler on a free port with the given faults, reset on stop."""

    def __init__(self, www, **faults):
        FaultHandler.root = www
        FaultHandler.requests = []
        FaultHandler.times = []
        FaultHandler.trickled = []
        FaultHandler.endless_sent = []
        for k, v in faults.items():
            setattr(FaultHandler, k, v)
        self.server = ThreadedServer(("127.0.0.1", 0), FaultHandler)
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        self.url = "http://127.0.0.1:%d" % self.server.server_address[1]

    def stop(self):
        self.server.shutdown()
        self.server.server_close()
        FaultHandler.flaky, FaultHandler.missing, FaultHandler.ignore_range = True, set(), False
        FaultHandler.endless = None
        FaultHandler.trickle, FaultHandler.busy_until = None, 0


def largest_file(root):
    sizes = [(os.path.getsize(os.path.join(d, f)), os.path.relpath(os.path.join(d, f), root))
             for d, _, fs in os.walk(root) for f in fs]
    return max(sizes)


def test_missing_file(www, srv):
    # One file answers 404: the rest downloads, the file is reported with
    # the status and retried, and the download completes once it is back.
    www = make_client("www-miss", 6, seed=5)
    size, rel = largest_file(os.path.join(www, "files"))
    fs = FaultServer(www, flaky=False, missing={("files/" + rel).encode()})
    inst = fresh_dir("inst-miss")
    core = Installer(inst, fs.url, limit=-1, extra=["-GiveUpAfter", "5"])
    try:
        core.wait_for(lambda c: c.values.get("IncompleteByte") == str(size) and c.values.get("ErrorCode") == "404",
                      60, "everything but the missing file, and its error")
        check(core.values.get("Error") == "DownloadSeed", "Error %r" % core.values.get("Error"))
        check(core.values.get("ErrorFile") == rel, "ErrorFile %r, expected %r" % (core.values.get("ErrorFile"), rel))
        retries = int(core.values["Retries"])
        time.sleep(6)  # longer than -GiveUpAfter: an answering server is not given up on
        core.poll()
        check(core.state() == 14 and int(core.values["Retries"]) > retries, "not retrying: %s" % core.values)
        FaultHandler.missing = set()
        core.wait_for(lambda c: c.state() == 15, 60, "completion once the file is served")
        check(core.values.get("Error") == "None", "error not cleared: %r" % core.values.get("Error"))
        ok, why = same_tree(os.path.join(www, "files"), inst)
        check(ok, "install differs: " + why)
        core.quit_and_time()
    finally:
        core.close()
        fs.stop()


def test_range_ignored(www, srv):
    # A server that answers every range with the whole file: each file is
    # fetched as one stream, pieces verified as they pass.
    www = make_client("www-norange", 6, seed=6)
    fs = FaultServer(www, flaky=False, ignore_range=True)
    inst = fresh_dir("inst-norange")
    core = Installer(inst, fs.url, limit=-1)
    try:
        core.wait_for(lambda c: c.state() == 15, 60, "completion without Range")
        ok, why = same_tree(os.path.join(www, "files"), inst)
        check(ok, "install differs: " + why)
        files = sum(len(names) for _, _, names in os.walk(os.path.join(www, "files")))
        whole = [r for r in FaultHandler.requests if r[0].startswith(b"files/") and r[1] is None]
        check(len(whole) <= files + 2, "%d whole-file requests for %d files" % (len(whole), files))
        core.quit_and_time()
    finally:
        core.close()
        fs.stop()


def test_endless_description(www, srv):
    # The description answers with endless bytes: each try stops at the size
    # its digest line declares, and memory stays flat.
    www = make_client("www-endless", 1, seed=8)
    fs = FaultServer(www, flaky=False, endless=TORRENT.encode())
    core = Installer(fresh_dir("inst-endless"), fs.url)
    try:
        core.wait_for(lambda c: c.values.get("Error") == "DownloadSeed" and len(FaultHandler.endless_sent) >= 3, 30,
                      "three refused descriptions")
        peak = peak_rss_kib(core.proc.pid)
        worst = max(FaultHandler.endless_sent[:-1])
        print("  endless description: at most %d bytes sent per try, peak RSS %d KiB" % (worst, peak))
        check(worst < 16 << 20, "a try transferred %d bytes" % worst)
        check(peak < 48 << 10, "peak RSS %d KiB" % peak)
        code, took = core.quit_and_time()
        check(took < 1.0, "quit took %.2f s" % took)
    finally:
        core.close()
        fs.stop()


def test_trickle_dropped(www, srv):
    # The first request for the largest file trickles 2 bytes a second: the
    # connection is dropped and its piece fetched again.
    www = make_client("www-trickle", 6, seed=9)
    size, rel = largest_file(os.path.join(www, "files"))
    fs = FaultServer(www, flaky=False, trickle=("files/" + rel).encode())
    inst = fresh_dir("inst-trickle")
    core = Installer(inst, fs.url, limit=-1)
    try:
        core.wait_for(lambda c: c.state() == 15, 60, "completion past a trickle")
        end = time.time() + 5  # the handler sees the connection closed at its next write
        while time.time() < end and not (FaultHandler.trickled and FaultHandler.trickled[0][1]):
            time.sleep(0.1)
        check(FaultHandler.trickled and FaultHandler.trickled[0][1], "no trickle dropped")
        start, end = FaultHandler.trickled[0]
        print("  trickle dropped after %.1f s" % (end - start))
        check(end - start < 15, "trickle kept for %.1f s" % (end - start))
        ok, why = same_tree(os.path.join(www, "files"), inst)
        check(ok, "install differs: " + why)
        core.quit_and_time()
    finally:
        core.close()
        fs.stop()


def test_busy_server(www, srv):
    # Mid-download the server answers 503 to everything for 20 s: the core
    # waits as one, says so, sends few requests, and completes afterwards.
    www = make_client("www-busy", 12, seed=10)
    fs = FaultServer(www, flaky=False)
    inst = fresh_dir("inst-busy")
    core = Installer(inst, fs.url, limit=2000)
    try:
        core.wait_for(lambda c: c.state() == 14 and float(c.values.get("Percentage", 0)) >= 10, 60, "10 %",
                      interval=0.1)
        start = time.time()
        FaultHandler.busy_until = start + 20
        core.wait_for(lambda c: c.values.get("ServerBusy") == "1", 5, "ServerBusy=1")
        core.wait_for(lambda c: c.values.get("ErrorCode") == "503" and c.values.get("Error") == "DownloadSeed", 15,
                      "the lasting 503 reported")
        time.sleep(max(0, start + 20 - time.time()))
        during = sum(1 for t in FaultHandler.times if start <= t < start + 20)
        print("  busy server: %d requests in 20 s (%.2f/s)" % (during, during / 20.0))
        check(during <= 20, "%d requests to a busy server in 20 s" % during)
        core.wait_for(lambda c: c.state() == 15, 120, "completion once the server recovered")
        check(core.values.get("ServerBusy") == "0" and core.values.get("Error") == "None",
              "busy or error kept: %s" % core.values)
        ok, why = same_tree(os.path.join(www, "files"), inst)
        check(ok, "install differs: " + why)
        core.quit_and_time()
    finally:
        core.close()
        fs.stop()


def test_release_replaced(www, srv):
    # At 40 % the publisher replaces three of the four packs and the
    # description: the core notices, starts over on the new release keeping
    # what it verified of the unchanged files, and completes it.
    www = make_client("www-release", 24, seed=11)
    server = Server(www, "release")
    inst = fresh_dir("inst-release")
    threads = 4
    core = Installer(inst, server.url, threads=threads, limit=3000)
    try:
        core.wait_for(lambda c: c.state() == 14 and float(c.values.get("Percentage", 0)) >= 40, 60, "40 %",
                      interval=0.1)
        files = os.path.join(www, "files")
        for n in (1, 2, 3):
            path = os.path.join(files, "data", "pack%02d.pak" % n)
            with open(path + ".new", "wb") as f:
                f.write(random.Random(100 + n).randbytes(os.path.getsize(path) + n))
            os.replace(path + ".new", path)
        subprocess.run([ARGS.mkdesc, files, www, "--raw-names", "--piece-size", str(PIECE)], check=True,
                       capture_output=True, timeout=60)
        # Counted from the moment the new release is whole on the server:
        # what the core fetched of the old one while the publisher was still
        # writing (longer on a busy machine) is not the cost of the change.
        before = server.body_bytes()
        core.wait_for(lambda c: c.state() == 15, 120, "completion of the new release")
        ok, why = same_tree(files, inst)
        check(ok, "install differs from the new release: " + why)
        after = server.body_bytes() - before
        total = sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(files) for f in fs)
        kept = os.path.getsize(os.path.join(files, "zpc.exe")) + os.path.getsize(os.path.join(files, "data",
                                                                                                "pack00.pak"))
        print("  release replaced at 40 %%: %d bytes fetched after the change (client %d, unchanged and done %d)" %
              (after, total, kept))
        check(after <= total - kept + 2 * threads * PIECE, "fetched %d bytes after the change" % after)
        core.quit_and_time()
    finally:
        core.close()
        server.stop()


def test_huge_declared_description(www, srv):
    # A digest that declares a 64 MiB description is refused before a byte
    # of it is fetched; the error names the cause and memory stays small.
    www = make_client("www-huge", 1, seed=12)
    with open(os.path.join(www, TORRENT + ".digest"), "w") as f:
        f.write("ZDLDIGEST 1 %s %d\n" % ("ab" * 32, 64 << 20))
    fs = FaultServer(www, flaky=False)
    core = Installer(fresh_dir("inst-huge"), fs.url)
    try:
        core.wait_for(lambda c: c.values.get("Error") == "DownloadTorrent", 30, "the digest refused")
        check(core.values.get("ErrorCode") == "1004", "ErrorCode %s" % core.values.get("ErrorCode"))
        check(not [r for r in FaultHandler.requests if r[0] == TORRENT.encode()], "the description was fetched")
        peak = peak_rss_kib(core.proc.pid)
        print("  64 MiB declared description: peak RSS %d KiB" % peak)
        check(peak < 64 << 10, "peak RSS %d KiB" % peak)
        core.quit_and_time()
    finally:
        core.close()
        fs.stop()


def peak_rss_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


# Names with characters whose GBK second byte is 0x5C ("\\"): 籠子/乗客.pak.
CAGE_NAME = "\u7c60\u5b50/\u4e57\u5ba2.pak"


def test_utf8_names(www, srv):
    # A publisher's UTF-8 tree described by zdl-mkdesc without options and
    # published as it is: every file is asked for by its UTF-8 name (no
    # 404 in nginx's log) and lands under the same UTF-8 name.
    extra = [(CAGE_NAME.encode(), 3 * PIECE + 5), ("\u56fe\u6807/\u56fe\u6807_000 a+b%.png".encode(), 999)]
    www = make_client("www-utf8", 2, seed=11, extra_files=extra, utf8=True)
    head = description_head(www)
    check(head.startswith(b"ZDLDESC 2\n") and head.endswith(b"\nnames utf-8"), "description head %r" % head)
    usrv = Server(www, "utf8")
    inst = fresh_dir("inst-utf8")
    core = Installer(inst, usrv.url, limit=-1)
    try:
        core.wait_for(lambda c: c.state() == 15, 60, "completion from UTF-8 names")
        ok, why = same_tree(os.path.join(www, "files"), inst)
        check(ok, "install differs from the client: " + why)
        check(os.path.isfile(os.path.join(inst, CAGE_NAME)), "no %s in %s" % (CAGE_NAME, os.listdir(inst)))
        with open(os.path.join(usrv.work, "access.log")) as f:
            statuses = re.findall(r'" (\d{3}) ', f.read())
        check(statuses and set(statuses) <= {"200", "206"}, "nginx answered %s" % sorted(set(statuses)))
        core.quit_and_time()
    finally:
        core.close()
        usrv.stop()


def run_check(url, *extra):
    r = subprocess.run([ARGS.mkdesc, "--check", url + "/" + TORRENT] + list(extra), capture_output=True, text=True,
                       timeout=120)
    return r.returncode, r.stdout


def test_publication_check(www, srv):
    # The publisher's preflight against a good server and against one that
    # misses a file, serves one truncated, one without Range and one with
    # a changed byte: each reported by name, exit status 1.
    www = make_client("www-check", 3, seed=13, utf8=True)
    good = Server(www, "check-good")
    try:
        code, out = run_check(good.url)
        check(code == 0 and out.endswith("every file is served whole\n"), "good server: exit %d\n%s" % (code, out))
        check("FAILED" not in out and "names on the server in UTF-8" in out, out)
        code, out = run_check(good.url, "--all-pieces")
        pieces = int(re.search(r"\((\d+) pieces compared", out).group(1))
        want = sum((os.path.getsize(os.path.join(d, f)) + PIECE - 1) // PIECE
                   for d, _, fs in os.walk(os.path.join(www, "files")) for f in fs)
        check(code == 0 and pieces == want, "--all-pieces: exit %d, %d of %d pieces\n%s" % (code, pieces, want, out))
    except Exception:
        good.stop()
        raise
    good_www = www
    www = os.path.join(ARGS.work, "www-check-broken")
    shutil.rmtree(www, ignore_errors=True)
    shutil.copytree(good_www, www)
    files = os.path.join(www, "files")
    os.remove(os.path.join(files, "data/pack00.pak"))
    with open(os.path.join(files, "data/pack01.pak"), "r+b") as f:
        f.truncate(PIECE + 100)
    with open(os.path.join(files, "zpc.exe"), "r+b") as f:  # a changed byte in its first piece
        f.seek(1000)
        byte = f.read(1)
        f.seek(1000)
        f.write(bytes([byte[0] ^ 1]))
    broken = Server(www, "check-broken", conf="location = /files/data/pack02.pak { max_ranges 0; }")
    try:
        code, out = run_check(broken.url)
        check(code == 1 and "4 with problems" in out, "broken server: exit %d\n%s" % (code, out))
        for want in ("FAILED  files/data/pack00.pak: not served (HTTP 404 for %s/files/data/pack00.pak)" % broken.url,
                     "FAILED  files/data/pack01.pak: %d bytes on the server" % (PIECE + 100),
                     "FAILED  files/data/pack02.pak: no Range support",
                     "FAILED  files/zpc.exe: piece 0 (bytes 0-",
                     "ok      files/data/\u5b57\u4f53 readme.txt"):
            check(want in out, "no %r in\n%s" % (want, out))
        # Mirrors: every one is checked, the broken one's files by name
        # under its own heading; a list naming two descriptions is refused.
        code, out = run_check(good.url + "/" + TORRENT + ";" + broken.url)
        check(code == 1 and "files checked on 2 mirrors" in out and "4 with problems" in out
              and "mirror  %s\n" % broken.url in out
              and out.index("ok      files/zpc.exe") < out.index("mirror  " + broken.url)
              < out.index("FAILED  files/zpc.exe"), "good and broken mirror: exit %d\n%s" % (code, out))
        code, out = run_check(good.url + "/other.data;" + good.url)
        check(code == 1 and "every mirror must publish the description under one name" in out, out)
    finally:
        broken.stop()
        good.stop()


def test_windows_code_pages(www, srv):
    # The Windows core under Wine with the Chinese and a Western ANSI code
    # page: a Chinese install folder whose name has a character with 0x5C
    # as second byte, described names with such characters, all byte for
    # byte. The Chinese code page fetches a GBK-named tree (--raw-names),
    # the Western one a UTF-8-named tree, whose addresses the core makes
    # from the GBK names whatever the system's code page. Wine keeps Unix
    # names in UTF-8, so both install folders must spell the client's
    # names in UTF-8.
    if not ARGS.wine_core:
        print("  SKIP Windows code pages: no --wine-core")
        return
    for lang, utf8 in (("zh_CN.UTF-8", False), ("en_US.UTF-8", True)):
        name = CAGE_NAME.encode("utf-8" if utf8 else "gbk")
        www = make_client("www-cp-" + lang[:5], 2, seed=9, extra_files=[(name, 3 * PIECE + 5)], utf8=utf8)
        cpsrv = Server(www, "cp-" + lang[:5])
        try:
            inst = fresh_dir("inst-cp-" + lang[:5]) + "/\u6e38\u620f\u7c60"  # 游戏籠
            env = dict(os.environ, ZDL_WINE_LANG=lang, LANG=lang, LC_ALL=lang)
            core = Installer("Z:" + inst, cpsrv.url, limit=-1, env=env, accept_timeout=90,
                             program=[ARGS.wine_run, "--timeout", "150", ARGS.wine_core])
            try:
                core.wait_for(lambda c: c.state() == 15, 120, "completion under " + lang)
                ok, why = same_tree(os.path.join(www, "files"), inst)
                check(ok, "%s (%s names on the server): install differs: %s" % (lang, "UTF-8" if utf8 else "GBK", why))
                check(os.path.isfile(os.path.join(inst, CAGE_NAME)), "%s: no %s" % (lang, CAGE_NAME))
                core.quit_and_time(timeout=30)
            finally:
                core.close()
        finally:
            cpsrv.stop()


# ---------------------------------------------------------- signed releases
def minisign(*args):
    """The real minisign tool: keys and signatures are made by it, never by
    the code under test."""
    return subprocess.run(["minisign"] + list(args), check=True, capture_output=True, text=True, timeout=60)


def folder_state(root):
    """Every entry under |root| (the core's lock aside), and each file's
    bytes and modification time: what a refused release must leave as it
    was."""
    out = {}
    for dirpath, dirnames, filenames in os.walk(root):
        for n in dirnames + filenames:
            p = os.path.join(dirpath, n)
            rel = os.path.relpath(p, root)
            if rel == os.path.join(".zdlcore", "lock"):
                continue
            out[rel] = None
            if os.path.isfile(p) and not os.path.islink(p):
                with open(p, "rb") as f:
                    out[rel] = (hashlib.sha256(f.read()).hexdigest(), os.lstat(p).st_mtime_ns)
    return out


def signed_core(inst, url, key, program=None, limit=-1):
    extra = ["-TrustedKey", key]
    if program:
        return Installer("Z:" + inst, url, limit=limit, extra=extra, accept_timeout=90, program=program,
                         env=dict(os.environ, ZDL_WINE_LANG="zh_CN.UTF-8"))
    return Installer(inst, url, limit=limit, extra=extra)


def test_signed_release(www, srv):
    # A core that trusts a key (as a build with PUBLIC_KEY does) completes a
    # release signed by it, and refuses every other: each refusal is the
    # error word and code the download page explains, with nothing created
    # or changed in the install folder. With --wine-core, the Windows core.
    program = [ARGS.wine_run, "--timeout", "300", ARGS.wine_core] if ARGS.wine_core else None
    wait = 90 if program else 30
    keys = os.path.join(ARGS.work, "sign-keys")
    shutil.rmtree(keys, ignore_errors=True)
    os.makedirs(keys)
    for k in ("release", "other"):
        minisign("-G", "-W", "-p", os.path.join(keys, k + ".pub"), "-s", os.path.join(keys, k + ".key"))
    with open(os.path.join(keys, "release.pub")) as f:
        key = f.read().splitlines()[1]

    def sign(folder, k="release", *extra):
        minisign("-S", "-W", "-s", os.path.join(keys, k + ".key"), "-m", os.path.join(folder, TORRENT + ".digest"),
                 *extra)

    # The release of a month ago, and today's (minisign's own time stamp).
    old = make_client("www-signed-old", 2, seed=31)
    sign(old, "release", "-t", "timestamp:%d\tfile:%s.digest" % (time.time() - 30 * 86400, TORRENT))
    new = make_client("www-signed", 2, seed=32)
    sign(new)
    sig_path = os.path.join(new, TORRENT + ".digest.minisig")
    with open(sig_path, "rb") as f:
        good_sig = f.read()
    with open(os.path.join(new, TORRENT), "rb") as f:
        good_desc = f.read()
    with open(os.path.join(new, TORRENT + ".digest"), "rb") as f:
        good_digest = f.read()
    newsrv, oldsrv = Server(new, "signed"), Server(old, "signed-old")
    try:
        inst = fresh_dir("inst-signed")
        core = signed_core(inst, newsrv.url, key, program)
        try:
            core.wait_for(lambda c: c.state() == 15, wait * 2, "completion of a signed release")
            ok, why = same_tree(os.path.join(new, "files"), inst)
            check(ok, "install differs: " + why)
            stamp = re.search(rb"timestamp:(\d+)", good_sig).group(1).decode()
            with open(os.path.join(inst, ".zdlcore", "release")) as f:
                record = f.read()
            want = "ZDLRELEASE 1 %s %s\n" % (stamp, good_digest.split()[2].decode())
            check(record == want, "release record %r, want %r" % (record, want))
            check(os.listdir(os.path.join(inst, ".zdlcore")) == ["release"], "core folder %s" %
                  os.listdir(os.path.join(inst, ".zdlcore")))
            core.quit_and_time(timeout=30)
        finally:
            core.close()

        def refused_with(inst, url, word, code, what):
            before = folder_state(inst) if os.path.isdir(inst) else None
            core = signed_core(inst, url, key, program)
            try:
                core.wait_for(lambda c: c.values.get("Error") == word, wait, what)
                check(core.values.get("ErrorCode") == str(code), "%s: ErrorCode %s, want %d\n%s" %
                      (what, core.values.get("ErrorCode"), code, core.log()))
                if word == "DownloadTorrent":
                    check(core.values.get("ErrorFile") == TORRENT + ".digest.minisig", "%s: ErrorFile %r" %
                          (what, core.values.get("ErrorFile")))
                    check(max(map(int, core.history)) <= 6, "%s: states %s" % (what, core.history))
                core.quit_and_time(timeout=30)
            finally:
                core.close()
            if before is None:
                check(os.listdir(inst) == [".zdlcore"], "%s: files written: %s" % (what, os.listdir(inst)))
                inner = os.listdir(os.path.join(inst, ".zdlcore"))
                check(inner in ([], ["lock"]), "%s: core wrote %s" % (what, inner))
            else:
                after = folder_state(inst)
                check(after == before, "%s: the folder changed: %s" %
                      (what, sorted(k for k in set(before) | set(after) if before.get(k) != after.get(k))))

        def serve(sig=good_sig, desc=good_desc, digest=good_digest):
            for name, data in ((TORRENT + ".digest.minisig", sig), (TORRENT, desc), (TORRENT + ".digest", digest)):
                path = os.path.join(new, name)
                if data is None:
                    os.remove(path)
                else:
                    with open(path + ".tmp", "wb") as f:
                        f.write(data)
                    os.replace(path + ".tmp", path)

        lines = good_sig.split(b"\n")
        flipped = list(lines)
        flipped[1] = flipped[1][:40] + (b"B" if flipped[1][40:41] == b"A" else b"A") + flipped[1][41:]
        commented = list(lines)
        commented[2] = commented[2].replace(b"timestamp:", b"timestamp:9")
        sign(old, "release")  # today's signature of the other release
        with open(os.path.join(old, TORRENT + ".digest.minisig"), "rb") as f:
            other_release_sig = f.read()
        other_key = os.path.join(keys, "other-signed")
        shutil.copy(os.path.join(new, TORRENT + ".digest"), other_key)
        minisign("-S", "-W", "-s", os.path.join(keys, "other.key"), "-m", other_key)
        with open(other_key + ".minisig", "rb") as f:
            other_key_sig = f.read()
        at = good_desc.index(b"\np ") + 3  # a piece hash's first digit, as a hostile mirror would change it
        resigned_desc = good_desc[:at] + (b"0" if good_desc[at:at + 1] != b"0" else b"1") + good_desc[at + 1:]
        cases = [
            ("no signature", dict(sig=None), "DownloadTorrent", 1010),
            ("a bit-flipped signature", dict(sig=b"\n".join(flipped)), "DownloadTorrent", 1013),
            ("another release's signature", dict(sig=other_release_sig), "DownloadTorrent", 1013),
            ("a signature by another key", dict(sig=other_key_sig), "DownloadTorrent", 1012),
            ("a changed trusted comment", dict(sig=b"\n".join(commented)), "DownloadTorrent", 1013),
            ("a truncated signature", dict(sig=good_sig[:len(good_sig) // 2]), "DownloadTorrent", 1011),
            ("a description changed after signing", dict(desc=resigned_desc), "DownloadSeed", 1001),
            ("a description and digest changed after signing",
             dict(desc=resigned_desc, digest=b"ZDLDIGEST 1 %s %d\n" % (
                 hashlib.sha256(resigned_desc).hexdigest().encode(), len(resigned_desc))), "DownloadTorrent", 1013),
        ]
        try:
            for what, files, word, code in cases:
                serve(**files)
                refused_with(fresh_dir("inst-signed-refused"), newsrv.url, word, code, what)
                # The complete install is left alone as well.
                refused_with(inst, newsrv.url, word, code, what + " (over the install)")
        finally:
            serve()
        # The month-old release, validly signed, replayed onto the folder
        # that holds today's.
        sign(old, "release", "-t", "timestamp:%d\tfile:%s.digest" % (time.time() - 30 * 86400, TORRENT))
        refused_with(inst, oldsrv.url, "DownloadTorrent", 1014, "an older release replayed")
        # Mirrors that disagree: one offers a "newer" release signed by
        # another key, one the month-old release; today's, validly signed
        # and newest, wins and is the only one written.
        forged = os.path.join(ARGS.work, "www-signed-forged")
        shutil.rmtree(forged, ignore_errors=True)
        shutil.copytree(old, forged)
        sign(forged, "other", "-t", "timestamp:%d\tfile:%s.digest" % (time.time() + 86400, TORRENT))
        forgedsrv = Server(forged, "signed-forged")
        mirrored = fresh_dir("inst-signed-mirrors")
        core = signed_core(mirrored, ";".join([forgedsrv.url, oldsrv.url, newsrv.url]), key, program)
        try:
            core.wait_for(lambda c: c.state() == 15, wait * 2, "completion from disagreeing mirrors")
            ok, why = same_tree(os.path.join(new, "files"), mirrored)
            check(ok, "install from disagreeing mirrors differs from the newest signed release: " + why)
            core.quit_and_time(timeout=30)
        finally:
            core.close()
            forgedsrv.stop()
    finally:
        newsrv.stop()
        oldsrv.stop()
    # Mid-download the publisher puts out a newer signed release: the core
    # moves to it (pieces of the old one fail their hash) and completes it.
    www = make_client("www-signed-moving", 8, seed=33)
    sign(www, "release", "-t", "timestamp:%d\tfile:%s.digest" % (time.time() - 60, TORRENT))
    msrv = Server(www, "signed-moving")
    inst = fresh_dir("inst-signed-moving")
    core = signed_core(inst, msrv.url, key, program, limit=2000)
    try:
        core.wait_for(lambda c: c.state() == 14 and float(c.values.get("Percentage", 0)) >= 30, wait * 2, "30 %",
                      interval=0.1)
        files = os.path.join(www, "files")
        for n in (1, 2, 3):
            path = os.path.join(files, "data", "pack%02d.pak" % n)
            with open(path + ".new", "wb") as f:
                f.write(random.Random(70 + n).randbytes(os.path.getsize(path)))
            os.replace(path + ".new", path)
        subprocess.run([ARGS.mkdesc, files, www, "--raw-names", "--piece-size", str(PIECE)], check=True,
                       capture_output=True, timeout=60)
        sign(www)
        core.wait_for(lambda c: c.state() == 15, wait * 3, "completion of the newer signed release")
        ok, why = same_tree(files, inst)
        check(ok, "install differs from the newer release: " + why)
        if not program:  # the Windows core's standard error does not reach the log under Wine
            check("the release changed on " in core.log(), "no move to the new release:\n" + core.log())
        core.quit_and_time(timeout=30)
    finally:
        core.close()
        msrv.stop()


def test_publisher_signing(www, srv):
    # zdl-mkdesc's keys and signatures and minisign's are interchangeable:
    # each tool signs with the other's key (plain, and protected by a
    # password) and the real minisign verifies; --check verifies the
    # signature it finds with --key and fails a wrong one.
    folder = os.path.join(ARGS.work, "publisher")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    k = lambda name: os.path.join(folder, name)  # noqa: E731

    def mkdesc(*args, password=None):
        env = dict(os.environ)
        env.pop("ZDL_SIGN_PASSWORD", None)
        if password is not None:
            env["ZDL_SIGN_PASSWORD"] = password
        return subprocess.run([ARGS.mkdesc] + list(args), capture_output=True, text=True, timeout=120, env=env,
                              stdin=subprocess.DEVNULL)

    def verified(pub, path):
        r = subprocess.run(["minisign", "-Vq", "-p", pub, "-m", path], capture_output=True, text=True, timeout=60)
        return r.returncode == 0

    r = mkdesc("--keygen", k("z.pub"), k("z.key"), "--no-password")
    check(r.returncode == 0, "keygen: " + r.stderr)
    www = make_client("www-publisher", 1, seed=41)
    r = subprocess.run([ARGS.mkdesc, os.path.join(www, "files"), www, "--raw-names", "--sign", k("z.key")],
                       capture_output=True, text=True, timeout=60)
    digest = os.path.join(www, TORRENT + ".digest")
    check(r.returncode == 0 and verified(k("z.pub"), digest), "describe --sign: %s %s" % (r.stdout, r.stderr))
    # minisign signs with zdl-mkdesc's key, zdl-mkdesc with minisign's.
    sig = os.path.join(folder, "by-minisign.minisig")
    minisign("-S", "-W", "-s", k("z.key"), "-m", digest, "-x", sig)
    minisign("-Vq", "-p", k("z.pub"), "-m", digest, "-x", sig)
    minisign("-G", "-W", "-p", k("m.pub"), "-s", k("m.key"))
    shutil.copy(digest, k("file"))
    r = mkdesc("--sign", k("m.key"), k("file"))
    check(r.returncode == 0 and verified(k("m.pub"), k("file")), "signing with minisign's key: " + r.stderr)
    # Password-protected keys (scrypt, about a second each): minisign's key
    # opened by zdl-mkdesc, zdl-mkdesc's by minisign.
    subprocess.run(["minisign", "-G", "-p", k("mp.pub"), "-s", k("mp.key")], input="pw\npw\n", text=True,
                   check=True, capture_output=True, timeout=120)
    r = mkdesc("--sign", k("mp.key"), k("file"), password="wrong")
    check(r.returncode == 1 and "wrong password" in r.stderr, "a wrong password: %d %s" % (r.returncode, r.stderr))
    r = mkdesc("--sign", k("mp.key"), k("file"), password="pw")
    check(r.returncode == 0 and verified(k("mp.pub"), k("file")), "signing with minisign's protected key: " +
          r.stderr)
    r = mkdesc("--keygen", k("zp.pub"), k("zp.key"), password="pw")
    check(r.returncode == 0, "keygen with a password: " + r.stderr)
    subprocess.run(["minisign", "-S", "-s", k("zp.key"), "-m", k("file"), "-x", sig], input="pw\n", text=True,
                   check=True, capture_output=True, timeout=120)
    minisign("-Vq", "-p", k("zp.pub"), "-m", k("file"), "-x", sig)

    psrv = Server(www, "publisher")
    try:
        code, out = run_check(psrv.url, "--key", k("z.pub"))
        check(code == 0 and "ok      signature %s/%s.digest.minisig: by key" % (psrv.url, TORRENT) in out,
              "signed release: exit %d\n%s" % (code, out))
        code, out = run_check(psrv.url)
        check(code == 0 and "(not verified: give --key)" in out, "no key: exit %d\n%s" % (code, out))
        code, out = run_check(psrv.url, "--key", k("m.pub"))
        check(code == 1 and "FAILED  signature" in out and "not a trusted one" in out,
              "another key: exit %d\n%s" % (code, out))
        os.remove(digest + ".minisig")
        code, out = run_check(psrv.url, "--key", k("z.pub"))
        check(code == 1 and "not served; a build with a key refuses the release" in out,
              "no signature: exit %d\n%s" % (code, out))
    finally:
        psrv.stop()


def test_malicious_description(www, srv):
    evil = os.path.join(ARGS.work, "www-evil")
    shutil.rmtree(evil, ignore_errors=True)
    os.makedirs(os.path.join(evil, "files"))
    h = hashlib.sha256(b"x").hexdigest()
    bad_names = ["../escaped.txt", "/tmp/abs.txt", "data/NUL", "C:/x.txt", ".ZDLCORE"]
    for i, bad in enumerate(bad_names):
        name = "evil%d.data" % i
        desc = ("ZDLDESC 1\ntitle t\nroot files\npiecesize 262144\ntotalsize 1\nfiles 2\npieces 2\n"
                "f 0 %s zpc.exe\nf 1 %s %s\np %s\np %s\nend\n" % (h, h, bad, h, h)).encode()
        # piece count is deliberately right for the sizes except the path
        desc = desc.replace(b"pieces 2", b"pieces 1").replace(b"p %s\np" % h.encode(), b"p", 1)
        with open(os.path.join(evil, name), "wb") as f:
            f.write(desc)
        with open(os.path.join(evil, name + ".digest"), "wb") as f:
            f.write(b"ZDLDIGEST 1 %s %d\n" % (hashlib.sha256(desc).hexdigest().encode(), len(desc)))
    esrv = Server(evil, "evil")
    try:
        for i in range(len(bad_names)):
            inst = fresh_dir("inst-evil%d" % i)
            core = Installer(inst, esrv.url, torrent="evil%d.data" % i)
            try:
                core.wait_for(lambda c: c.values.get("Error") == "ReadSeed", 20, "ReadSeed")
                check(core.state() == 9, "state %s" % core.state())
                check(sorted(os.listdir(inst)) == [".zdlcore"], "files written: %s" % os.listdir(inst))
                check(not os.path.exists(os.path.join(ARGS.work, "escaped.txt")), "escaped the folder")
                code, took = core.quit_and_time()
                check(took < QUIT_LIMIT, "quit took %.2f s" % took)
            finally:
                core.close()
    finally:
        esrv.stop()


def test_quit_in_phases(www, srv):
    # Unreachable server: phases 5/6, quit within a second.
    dead = socket.socket()
    dead.bind(("127.0.0.1", 0))
    dead_port = dead.getsockname()[1]
    dead.close()
    core = Installer(fresh_dir("inst-q1"), "http://127.0.0.1:%d" % dead_port)
    try:
        core.wait_for(lambda c: c.state() == 6 and c.values.get("Error") == "DownloadTorrent", 15, "state 6")
        code, took = core.quit_and_time()
        check(code == 0 and took < QUIT_LIMIT, "quit in phase 6 took %.2f s" % took)
    finally:
        core.close()
    # Downloading under a low limit, quit mid-way, state saved.
    inst = fresh_dir("inst-q2")
    core = Installer(inst, srv.url, limit=2000)
    try:
        core.wait_for(lambda c: c.state() == 14 and float(c.values.get("Percentage", 0)) > 5, 30, "downloading")
        rate = float(core.values["DownloadBandWidth"])
        code, took = core.quit_and_time()
        check(code == 0 and took < QUIT_LIMIT, "quit in phase 14 took %.2f s" % took)
        check(os.path.exists(os.path.join(inst, ".zdlcore", "state")), "no resume state after quit")
        check(rate <= 2000 * 1.3, "bandwidth %.1f KB/s above the 2000 limit" % rate)
    finally:
        core.close()
    # Two cores on one folder: the second waits, reports, and takes over.
    first = Installer(inst, srv.url, limit=500)
    try:
        first.wait_for(lambda c: c.state() == 14, 30, "first core downloading")
        second = Installer(inst, srv.url, limit=-1)
        try:
            second.wait_for(lambda c: c.state() == 4 and c.values.get("Error") == "OpenFile", 20, "lock refused")
            first.quit_and_time()
            second.wait_for(lambda c: c.state() == 15, 60, "second core completes after the first quit")
            code, took = second.quit_and_time()
            check(took < QUIT_LIMIT, "quit in phase 15 took %.2f s" % took)
        finally:
            second.close()
    finally:
        first.close()


def test_file_held_by_running_game(www, srv):
    # A running program's file cannot be opened for writing (ETXTBSY here,
    # a sharing violation on Windows): state 13 until the game ends.
    inst = fresh_dir("inst-held")
    os.makedirs(inst)
    exe = os.path.join(inst, "zpc.exe")
    shutil.copy("/bin/sleep", exe)
    game = subprocess.Popen([exe, "60"])
    try:
        core = Installer(inst, srv.url, limit=-1)
        try:
            core.wait_for(lambda c: c.state() == 13 and c.values.get("Error") == "OpenFile", 20, "state 13")
            check(core.values.get("ErrorFile") == "zpc.exe", "ErrorFile %r" % core.values.get("ErrorFile"))
            game.kill()
            game.wait(5)
            core.wait_for(lambda c: c.state() == 15, 60, "completion once the game ended")
            ok, why = same_tree(os.path.join(www, "files"), inst)
            check(ok, "install differs: " + why)
            core.quit_and_time()
        finally:
            core.close()
    finally:
        if game.poll() is None:
            game.kill()
            game.wait(5)


def test_give_up(www, srv):
    dead = socket.socket()
    dead.bind(("127.0.0.1", 0))
    port = dead.getsockname()[1]
    dead.close()
    core = Installer(fresh_dir("inst-giveup"), "http://127.0.0.1:%d" % port, extra=["-GiveUpAfter", "2"])
    try:
        code = core.proc.wait(20)
        core.poll()
        check(code == 3, "exit %s" % code)
        check(core.values.get("P2PState") == "17", "state %s" % core.values.get("P2PState"))
    finally:
        core.close()


def test_disk_full(www, srv):
    mnt = fresh_dir("inst-tmpfs")
    os.makedirs(mnt)
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=8m", "tmpfs", mnt], capture_output=True).returncode:
        print("  SKIP disk full: cannot mount a tmpfs here")
        return
    try:
        core = Installer(os.path.join(mnt, "game"), srv.url, limit=-1)
        try:
            core.wait_for(lambda c: c.values.get("Error") == "WriteFile", 30, "WriteFile on a full disk")
            error_file = core.values.get("ErrorFile", "")
            check(error_file and not error_file.startswith("/") and os.path.exists(os.path.join(mnt, "game", error_file)),
                  "ErrorFile %r is not a file of the install folder" % error_file)
            check(core.state() == 11, "state %s" % core.state())
            subprocess.run(["mount", "-o", "remount,size=64m", mnt], check=True)
            core.wait_for(lambda c: c.state() == 15, 60, "completion once space returned")
            check(core.values.get("Error") == "None" and core.values.get("ErrorFile") == "",
                  "error not cleared: %s" % core.values)
            ok, why = same_tree(os.path.join(www, "files"), os.path.join(mnt, "game"))
            check(ok, "install differs: " + why)
            core.quit_and_time()
        finally:
            core.close()
    finally:
        subprocess.run(["umount", "-l", mnt])


def outside_snapshot(root):
    """Every entry below |root| (links not followed): kind, size, mtime and
    content digest, so that any change outside an install folder shows."""
    out = {}
    for dirpath, dirnames, filenames in os.walk(root):
        for n in dirnames + filenames:
            p = os.path.join(dirpath, n)
            st = os.lstat(p)
            digest = ""
            if os.path.isfile(p) and not os.path.islink(p):
                with open(p, "rb") as f:
                    digest = hashlib.sha256(f.read()).hexdigest()
            out[os.path.relpath(p, root)] = (st.st_mode, st.st_size, st.st_mtime_ns, digest)
    return out


def plant_outside(name):
    """A folder outside the install folder with a victim file in it."""
    outside = fresh_dir(name)
    os.makedirs(os.path.join(outside, "folder"))
    with open(os.path.join(outside, "victim.exe"), "wb") as f:
        f.write(b"not the game\n" * 100)
    return outside


def first_client_folder(www):
    """A top-level folder of the client, as the install folder names it."""
    top = os.path.join(www, "files")
    for n in sorted(os.listdir(os.fsencode(top))):
        if os.path.isdir(os.path.join(os.fsencode(top), n)):
            return client_name(n)
    raise AssertionError("the client has no folder")


def wait_refused(core, entry, timeout=30):
    core.wait_for(lambda c: c.values.get("Error") == "OpenFile" and c.values.get("ErrorCode") == "1030"
                  and c.values.get("ErrorFile", "").encode("latin-1") == entry.encode("gbk"),
                  timeout, "the link %s refused" % entry)


def links_refused(www, srv, name, wine):
    """A link to a file outside planted as zpc.exe and a client folder that
    is a link to a folder outside: each is refused by name (OpenFile, 1030),
    never replaced, nothing outside changes, and the download completes once
    the player removed them. Then the core's own folder as a link, refused
    before anything is written."""
    outside = plant_outside(name + "-outside")
    real = fresh_dir("inst-%s-real" % name)
    os.makedirs(real)
    inst = real
    if wine:
        start = dict(limit=-1, accept_timeout=90, program=[ARGS.wine_run, "--timeout", "150", ARGS.wine_core])
        where, wait = lambda folder: "Z:" + folder, 60
    else:
        # Natively the install folder itself is reached through a link,
        # which is the player's to make and followed.
        start, where, wait = dict(limit=-1), lambda folder: folder, 30
        inst = os.path.join(ARGS.work, "inst-" + name)
        if os.path.islink(inst):
            os.remove(inst)
        os.symlink(real, inst)
    folder = first_client_folder(www)
    os.symlink(os.path.join(outside, "victim.exe"), os.path.join(real, "zpc.exe"))
    os.symlink(os.path.join(outside, "folder"), os.path.join(real, folder))
    before = outside_snapshot(outside)
    core = Installer(where(inst), srv.url, **start)
    try:
        wait_refused(core, "zpc.exe", wait)
        time.sleep(2.5)  # a retry or two
        check(core.state() == 11, "state %s" % core.state())
        check(os.path.islink(os.path.join(real, "zpc.exe")), "the link was replaced")
        os.remove(os.path.join(real, "zpc.exe"))
        wait_refused(core, folder, wait)
        check(outside_snapshot(outside) == before, "something outside the install folder changed")
        os.remove(os.path.join(real, folder))
        core.wait_for(lambda c: c.state() == 15, 4 * wait, "completion once the links are gone")
        ok, why = same_tree(os.path.join(www, "files"), real)
        check(ok, "install differs: " + why)
        core.quit_and_time(timeout=30)
    finally:
        core.close()
    check(outside_snapshot(outside) == before, "something outside the install folder changed")

    # The core's own folder a link to a folder outside (natively) or a
    # dangling one (under Wine: nothing may be made where it points).
    inst = fresh_dir("inst-%s-state" % name)
    os.makedirs(inst)
    os.symlink(os.path.join(outside, "state" if wine else "folder"), os.path.join(inst, ".zdlcore"))
    core = Installer(where(inst), srv.url, **start)
    try:
        wait_refused(core, ".zdlcore", wait)
        check(core.state() == 4, "state %s" % core.state())
        time.sleep(2.5)
        check(os.listdir(inst) == [".zdlcore"], "written beside the refused folder: %s" % os.listdir(inst))
        core.quit_and_time(timeout=30)
    finally:
        core.close()
    check(outside_snapshot(outside) == before, "something outside the install folder changed")


def test_links_inside_install(www, srv):
    links_refused(www, srv, "links", wine=False)


def test_wine_links(www, srv):
    # The Windows core: a Unix symbolic link to a file is seen as the file it
    # points to, at another final path; one to a folder as a reparse point.
    if not ARGS.wine_core:
        print("  SKIP Windows core and links: no --wine-core")
        return
    links_refused(www, srv, "links-wine", wine=True)


# ------------------------------------------------------------------- mirrors
def mirror_bytes(log_path):
    """{mirror index: (good bytes, bad bytes)} from the core's closing lines."""
    out = {}
    with open(log_path, errors="replace") as f:
        for m in re.finditer(r"zdl-core: mirror (\d+) \S+: (\d+) bytes good, (\d+) bytes bad", f.read()):
            out[int(m.group(1))] = (int(m.group(2)), int(m.group(3)))
    return out


def mirrored_download(www, urls, what, timeout=90, mirrors=0):
    """Downloads from "-HttpUrl" |urls| joined by ";" into a fresh folder;
    the install must be identical. Returns the per-mirror byte counts."""
    inst = fresh_dir("inst-mirrors")
    core = Installer(inst, ";".join(urls), limit=-1)
    try:
        core.wait_for(lambda c: c.state() == 15, timeout, "completion with " + what)
        ok, why = same_tree(os.path.join(www, "files"), inst)
        check(ok, what + ": install differs: " + why)
        core.quit_and_time()
        counts = mirror_bytes(core.stderr_path)
        check(len(counts) == (mirrors or len(urls)), "%s: mirror lines %s\n%s" % (what, counts, core.log()))
        return counts
    finally:
        core.close()


def test_mirrors(www, srv):
    # The same release on several mirrors, one of them bad in one way each
    # time: the install comes out identical, and once caught the bad mirror
    # carries little (its bytes are counted by the core and by nginx).
    www = make_client("www-mirrors", 8, seed=11, extra_files=[(b"data/big.pak", 8 << 20)])
    total = sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(os.path.join(www, "files")) for f in fs)
    size, rel = largest_file(os.path.join(www, "files"))
    good = Server(www, "mirror-good")
    servers = [good]
    try:
        # Down, listed first: the description comes from the next mirror.
        dead = socket.socket()
        dead.bind(("127.0.0.1", 0))
        down = "http://127.0.0.1:%d" % dead.getsockname()[1]
        dead.close()
        counts = mirrored_download(www, [down, good.url], "the first mirror down")
        check(counts[0] == (0, 0) and counts[1][0] == total, "down mirror: %s" % counts)

        # Three mirrors, one serving the largest file (a third of the
        # client) with every piece corrupted: only the pieces it had in
        # flight when caught fail, not its share of the file.
        bad_www = os.path.join(ARGS.work, "www-mirror-corrupt")
        shutil.rmtree(bad_www, ignore_errors=True)
        shutil.copytree(www, bad_www)
        with open(os.path.join(bad_www, "files", rel), "r+b") as f:
            for off in range(100, size, PIECE):
                f.seek(off)
                b = f.read(1)
                f.seek(off)
                f.write(bytes([b[0] ^ 0xA5]))
        corrupt = Server(bad_www, "mirror-corrupt")
        servers.append(corrupt)
        other = Server(www, "mirror-other")
        servers.append(other)
        counts = mirrored_download(www, [corrupt.url, good.url, other.url], "a mirror serving a corrupted file")
        print("  corrupted file on mirror 0 (%d pieces): %s" % (size // PIECE, counts))
        check(counts[0][1] <= 3 * PIECE, "corrupt mirror sent %d bad bytes" % counts[0][1])
        check(sum(c[0] for c in counts.values()) == total, "good bytes %s" % counts)

        # One file answered with 404 on one mirror: it comes from the other,
        # and the failing mirror is not asked for it again and again.
        missing = Server(www, "mirror-404", conf="location = /files/%s { return 404; }" % rel)
        servers.append(missing)
        counts = mirrored_download(www, [missing.url, good.url], "a mirror answering 404 for a file")
        with open(os.path.join(missing.work, "access.log")) as f:
            misses = sum(1 for line in f if '" 404 ' in line)
        print("  404 for one file on mirror 0: %d requests answered 404, %s" % (misses, counts))
        check(1 <= misses <= 4, "%d requests answered 404" % misses)

        # A mirror that ignores Range: its files come whole or from the other.
        fs = FaultServer(www, flaky=False, ignore_range=True)
        try:
            counts = mirrored_download(www, [fs.url, good.url], "a mirror ignoring Range")
            print("  mirror 0 ignoring Range: %s" % counts)
        finally:
            fs.stop()

        # A further mirror the description lists (zdl-mkdesc --mirror): the
        # core is given one address and fetches from both.
        listed = os.path.join(ARGS.work, "www-mirror-listed")
        shutil.rmtree(listed, ignore_errors=True)
        os.makedirs(listed)
        os.symlink(os.path.join(www, "files"), os.path.join(listed, "files"))
        subprocess.run([ARGS.mkdesc, os.path.join(www, "files"), listed, "--piece-size", str(PIECE), "--raw-names",
                        "--mirror", other.url + "/"], check=True, capture_output=True, timeout=60)
        check(("\nmirror %s\n" % other.url).encode() in description_head(listed) + b"\n", "no mirror line")
        primary = Server(listed, "mirror-listed")
        servers.append(primary)
        counts = mirrored_download(www, [primary.url], "a mirror the description lists", mirrors=2)
        print("  mirror listed in the description: %s" % counts)
        check(counts[1][0] > 0, "the listed mirror served nothing: %s" % counts)

        # A mirror at 1 KB/s for everything: dropped as a trickle, demoted,
        # its share of the client's bytes tiny.
        slow = Server(www, "mirror-slow", conf="limit_rate 1k;")
        servers.append(slow)
        start = time.time()
        counts = mirrored_download(www, [good.url, slow.url], "a mirror at 1 KB/s")
        sent = slow.body_bytes()
        print("  mirror 1 at 1 KB/s: sent %d of %d bytes, %s, %.1f s" % (sent, total, counts, time.time() - start))
        check(sent < total // 100 and counts[1][0] < total // 100, "slow mirror sent %d bytes" % sent)
    finally:
        for s in servers:
            s.stop()


# ---------------------------------------------------------------- peers
class HostilePeer:
    """A peer of the release that announces itself by multicast on 127.0.0.1
    and serves |mode|: "flip" (every piece with a byte flipped), "trickle"
    (a byte a second) or "404" (nothing)."""

    def __init__(self, www, mode, discovery_port):
        with open(os.path.join(www, TORRENT), "rb") as f:
            digest = hashlib.sha256(f.read()).hexdigest()
        files = os.path.join(www, "files").encode()
        self.requests = 0
        peer = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def log_message(self, *a):
                pass

            def do_GET(self):
                peer.requests += 1
                rel = urllib.parse.unquote_to_bytes(self.path[len(digest) + 2:]).split(b"/", 1)[-1]
                m = re.match(r"bytes=(\d+)-(\d+)", self.headers.get("Range", ""))
                if mode == "404" or not m or not self.path.startswith("/" + digest + "/"):
                    self.send_response(404)
                    self.send_header("Content-Length", "0")
                    self.end_headers()
                    return
                start, end = int(m.group(1)), int(m.group(2))
                with open(os.path.join(files, rel), "rb") as f:
                    f.seek(start)
                    body = bytearray(f.read(end - start + 1))
                self.send_response(206)
                self.send_header("Content-Length", str(len(body)))
                self.send_header("Content-Range", "bytes %d-%d/*" % (start, end))
                self.end_headers()
                try:
                    if mode == "flip":
                        body[len(body) // 2] ^= 0x5A
                        self.wfile.write(bytes(body))
                    else:
                        for i in range(len(body)):
                            self.wfile.write(body[i:i + 1])
                            self.wfile.flush()
                            time.sleep(1)
                except OSError:
                    pass

        self.httpd = socketserver.ThreadingTCPServer(("127.0.0.1", 0), Handler)
        self.httpd.daemon_threads = True
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()
        text = "ZDL-PEER 1\r\nRelease: %s\r\nPort: %d\r\nCookie: %016x\r\n\r\n" % (
            digest, self.httpd.server_address[1], random.getrandbits(64))
        self.stopping = threading.Event()

        def announce():
            sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            sock.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton("127.0.0.1"))
            sock.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 1)
            while not self.stopping.wait(0.3):
                sock.sendto(text.encode(), ("239.192.72.68", discovery_port))
            sock.close()

        threading.Thread(target=announce, daemon=True).start()

    def stop(self):
        self.stopping.set()
        self.httpd.shutdown()
        self.httpd.server_close()


def shared_download(www, srv, count, share, timeout=120):
    """|count| cores at once download the release from |srv|, sharing with
    each other or not; every tree must be the client. Returns the client
    bytes nginx sent and the seconds it took."""
    before = srv.body_bytes()
    start = time.time()
    cores = [Installer(fresh_dir("inst-peers-%d" % i), srv.url, limit=-1, upload_limit=0,
                       share_port=ARGS.discovery_port if share else 0) for i in range(count)]
    uploads = []  # "UploadBandWidth" seen, KB/s

    def done(c):
        uploads.append(float(c.values.get("UploadBandWidth", "0")))
        return c.state() == 15

    try:
        for i, core in enumerate(cores):
            core.wait_for(done, timeout, "completion of core %d of %d" % (i, count))
        took = time.time() - start
        check((max(uploads) > 0) == share, "UploadBandWidth seen: %s" % sorted(set(uploads))[-5:])
        for i in range(count):
            ok, why = same_tree(os.path.join(www, "files"), os.path.join(ARGS.work, "inst-peers-%d" % i))
            check(ok, "core %d of %d: install differs: %s" % (i, count, why))
        for core in cores:
            code, _ = core.quit_and_time(timeout=10)
            check(code == 0, "exit %s" % code)
        return srv.body_bytes() - before, took
    finally:
        for core in cores:
            core.close()


def test_peers(www, srv):
    # Cores of one release on one machine, sharing over 127.0.0.1: the
    # server (limited per connection) sends far less than a copy per core.
    # nginx grants each request a second's worth at once, so the limit is
    # below a piece (256 KiB): about 190 KiB/s per connection, 0.75 MiB/s
    # for a core's four.
    www = make_client("www-peers", 8, seed=25)
    total = sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(os.path.join(www, "files")) for f in fs)
    slow = Server(www, "peers", conf="limit_rate 192k;")
    try:
        for count in (2, 5):
            off, took_off = shared_download(www, slow, count, share=False)
            on, took_on = shared_download(www, slow, count, share=True)
            print("  %d cores, client %d bytes: nginx sent %d bytes (%.2f clients, %.1f s) sharing off, "
                  "%d bytes (%.2f clients, %.1f s) sharing on" % (count, total, off, off / total, took_off, on,
                                                                  on / total, took_on))
            check(off >= count * total, "sharing off: only %d bytes from the server" % off)
            if count == 5:
                check(on < 2 * total, "five sharing cores cost the server %.2f clients" % (on / total))
        # Hostile peers: the download completes, the liar and the trickle are
        # dropped, the peer with nothing is no error.
        for mode in ("flip", "trickle", "404"):
            peer = HostilePeer(www, mode, ARGS.discovery_port)
            inst = fresh_dir("inst-hostile")
            core = Installer(inst, slow.url, limit=-1, share_port=ARGS.discovery_port)
            try:
                core.wait_for(lambda c: c.state() == 15, 90, "completion beside a %s peer" % mode)
                ok, why = same_tree(os.path.join(www, "files"), inst)
                check(ok, mode + " peer: install differs: " + why)
                core.quit_and_time(timeout=10)
                log = core.log()
                check(peer.requests > 0, "the %s peer was never asked\n%s" % (mode, log))
                dropped = re.search(r"zdl-core: peer \d+ .*: dropped", log) is not None
                check(dropped == (mode != "404"), "%s peer dropped: %s\n%s" % (mode, dropped, log))
                print("  %s peer: %d requests, dropped %s" % (mode, peer.requests, dropped))
            finally:
                core.close()
                peer.stop()
    finally:
        slow.stop()


def test_wine_peers(www, srv):
    # The Windows core and the native core speak one peer protocol: each
    # completes a release whose files its own server refuses (404), from the
    # other core alone, which completed first and goes on serving.
    if not ARGS.wine_core or not ARGS.native_core:
        print("  SKIP Windows core and peers: no --wine-core and --native-core")
        return
    www = make_client("www-wine-peers", 4, seed=26)
    full = Server(www, "peers-full")
    nofiles = Server(www, "peers-nofiles", conf="location /files/ { return 404; }")
    wine = dict(accept_timeout=90, program=[ARGS.wine_run, "--timeout", "200", ARGS.wine_core])
    port = ARGS.discovery_port + 1
    try:
        for first, second in (("native", "Windows"), ("Windows", "native")):
            cores = []
            try:
                for which, url in ((first, full.url), (second, nofiles.url)):
                    inst = fresh_dir("inst-peers-" + which)
                    core = Installer("Z:" + inst if which == "Windows" else inst, url, limit=-1, share_port=port,
                                     **(wine if which == "Windows" else dict(program=[ARGS.native_core])))
                    cores.append(core)
                    core.wait_for(lambda c: c.state() == 15, 150, "%s core completing (%s first)" % (which, first))
                    ok, why = same_tree(os.path.join(www, "files"), inst)
                    check(ok, "%s core (%s first): install differs: %s" % (which, first, why))
                print("  %s core served the %s core" % (first, second))
            finally:
                for core in cores:
                    core.close()
    finally:
        nofiles.stop()
        full.stop()


def main():
    global ARGS
    p = argparse.ArgumentParser()
    # --core may carry a runner before the program, e.g. "wine64 zdl-core.exe".
    for opt in ("core", "mkdesc", "sampleclient", "server", "work"):
        p.add_argument("--" + opt, required=True)
    p.add_argument("--only", default="", help="run the tests whose names hold one of these words (comma-separated)")
    p.add_argument("--wine-core", default="")  # zdl-core.exe, run under Wine by --wine-run
    p.add_argument("--wine-run", default="")
    p.add_argument("--native-core", default="")  # a Linux zdl-core, the Windows core's peer
    p.add_argument("--trust-ca", default="", help="command that makes the system trust a CA file (PEM)")
    p.add_argument("--windows-names", action="store_true", help="the core is a Windows program under Wine")
    p.add_argument("--discovery-port", type=int, default=random.randint(20000, 60000),
                   help="UDP port of peer discovery on 127.0.0.1")
    ARGS = p.parse_args()
    os.makedirs(ARGS.work, exist_ok=True)
    www = make_client("www", 24)
    srv = Server(www, "main")
    tests = [test_bad_command_line, test_full_download, test_https, test_resume_after_kill, test_damaged_state_and_file,
             test_file_changed_behind_valid_state,
             test_corrupt_server_bytes, test_fault_server, test_missing_file, test_range_ignored,
             test_endless_description, test_trickle_dropped, test_busy_server, test_release_replaced,
             test_huge_declared_description, test_malicious_description, test_quit_in_phases,
             test_file_held_by_running_game, test_give_up, test_disk_full, test_utf8_names, test_publication_check,
             test_windows_code_pages, test_signed_release, test_publisher_signing,
             test_links_inside_install, test_wine_links, test_mirrors, test_peers, test_wine_peers]
    failed = 0
    try:
        for t in tests:
            if ARGS.only and not any(o in t.__name__ for o in ARGS.only.split(",")):
                continue
            start = time.time()
            try:
                t(www, srv)
                print("PASS %s (%.1f s)" % (t.__name__, time.time() - start))
            except Exception as e:  # report and go on with the next test
                failed += 1
                print("FAIL %s: %s" % (t.__name__, e))
            sys.stdout.flush()
    finally:
        srv.stop()
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
