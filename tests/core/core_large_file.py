#!/usr/bin/env python3
"""A client file over 4 GiB downloaded by a Windows core under Wine.

The client is "zpc.exe" and one sparse file of 4 GiB + 3 MiB + 12 345
bytes: zeros except for random marks just below and across 2 GiB and 4 GiB
and at the end, so a byte offset cut to 31 or 32 bits reads or writes the
wrong piece and the file's digest cannot match. nginx on 127.0.0.1 serves
it; this script plays the installer on the line channel and checks:
  - the core reports TotalByte exactly and reaches state 15;
  - the downloaded file has the description's SHA-256 (made by the host
    zdl-mkdesc from the source);
  - the core's resident memory stays flat: what it holds after the first
    quarter grows by less than kMaxGrowth until the end.
The download folder is removed afterwards (it holds 4 GiB of real blocks).
Exit 0 pass, 1 fail, 77 skipped (no host zdl-mkdesc or Wine).
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import zdltest  # noqa: E402

BIG = (4 << 30) + (3 << 20) + 12345
PIECE = 4 << 20
MAX_GROWTH = 48 << 20
TORRENT = zdltest.TORRENT
DESCRIBE_TIMEOUT = 600  # seconds to digest the 4 GiB client


def make_client(root):
    files = os.path.join(root, "files")
    os.makedirs(os.path.join(files, "data"), exist_ok=True)
    rnd = random.Random(4242)
    with open(os.path.join(files, "zpc.exe"), "wb") as f:
        f.write(bytes(rnd.getrandbits(8) for _ in range(70000)))
    with open(os.path.join(files, "data", "big.pak"), "wb") as f:
        f.truncate(BIG)
        for at in (0, (2 << 30) - 4096, (2 << 30) - 100, (4 << 30) - 100, (4 << 30) + PIECE - 7, BIG - 5000):
            f.seek(at)
            f.write(bytes(rnd.getrandbits(8) for _ in range(min(5000, BIG - at))))


def wine_environment(env_script, prefix_arch):
    """The environment scripts/wine-env.sh gives, its prefix prepared."""
    out = subprocess.run(
        ["bash", "-c", '. "$1" && zdl_wine_use "$2" && zdl_wine_prefix >&2 && echo "ZDL_WINE=$ZDL_WINE" && env',
         "env", env_script, prefix_arch],
        capture_output=True, text=True, timeout=1800)
    if out.returncode != 0:
        return None
    env = {}
    for line in out.stdout.splitlines():
        if "=" in line:
            k, v = line.split("=", 1)
            env[k] = v
    return env


def rss(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1]) * 1024
    except OSError:
        pass
    return 0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--core", required=True)
    ap.add_argument("--mkdesc", required=True)
    ap.add_argument("--server", required=True)
    ap.add_argument("--wine-env", required=True)
    ap.add_argument("--arch", default="win32")
    ap.add_argument("--work", required=True)
    ap.add_argument("--timeout", type=int, default=1500)
    a = ap.parse_args()
    if not os.access(a.mkdesc, os.X_OK):
        print("large file: no host zdl-mkdesc at %s (make release); skipped" % a.mkdesc)
        return 77
    env = wine_environment(a.wine_env, a.arch)
    if env is None or not os.access(env.get("ZDL_WINE", ""), os.X_OK):
        print("large file: no usable Wine for %s; skipped" % a.arch)
        return 77

    shutil.rmtree(a.work, ignore_errors=True)
    www = os.path.join(a.work, "www")
    dest = os.path.join(a.work, "install")
    started = time.time()
    make_client(www)
    zdltest.describe(a.mkdesc, www, PIECE, raw_names=False, timeout=DESCRIBE_TIMEOUT)
    want = {}
    with open(os.path.join(www, TORRENT)) as f:
        for line in f:
            if line.startswith("f "):
                _, size, digest, path = line.rstrip("\n").split(" ", 3)
                want[path] = (int(size), digest)
    print("large file: client and description ready in %.0f s" % (time.time() - started))

    srv = zdltest.ContentServer(a.server, www, os.path.join(a.work, "srv"), lifetime=a.timeout + 60)
    channel = zdltest.StatusChannel()
    log = open(os.path.join(a.work, "core.log"), "w")
    cmd = [env["ZDL_WINE"], a.core, "-Dir", "Z:" + dest, "-HttpUrl", srv.url,
           "-Torrent", TORRENT, "-Mode", "download", "-HttpThread", "4", "-P2PUploadThread", "6",
           "-P2PUploadListSize", "12", "-DownloadLimit", "-1", "-UploadLimit", "-1", "-DeleteDownloadInfo", "-P2PShare", "0",
           "-InteractivePort", str(channel.port)]
    proc = subprocess.Popen(cmd, env=env, stdin=subprocess.DEVNULL, stdout=log, stderr=log)
    failures = []
    values = channel.values
    quarter_rss = peak = 0
    started = time.time()
    try:
        channel.accept(300)
        while time.time() - started < a.timeout:
            channel.send("stat\nget tb\n")
            time.sleep(1)
            channel.drain()
            peak = max(peak, rss(proc.pid))
            done = int(values.get("TotalByte", "0") or 0) - int(values.get("IncompleteByte", "0") or 0)
            if not quarter_rss and done >= BIG // 4:
                quarter_rss = rss(proc.pid)
            if values.get("P2PState") in ("15", "17", "4", "9", "13") or proc.poll() is not None:
                break
        elapsed = time.time() - started
        if proc.poll() is not None:
            failures.append("the core ended by itself with code %d" % proc.returncode)
        print("large file: state %s after %.0f s, TotalByte=%s IncompleteByte=%s HashFailures=%s" % (
            values.get("P2PState"), elapsed, values.get("TotalByte"), values.get("IncompleteByte"),
            values.get("HashFailures")))
        print("large file: core resident memory after a quarter %.1f MiB, peak %.1f MiB" % (
            quarter_rss / 1048576.0, peak / 1048576.0))
        total = sum(s for s, _ in want.values())
        if values.get("P2PState") != "15":
            failures.append("the core did not complete (state %s)" % values.get("P2PState"))
        if values.get("TotalByte") != str(total):
            failures.append("TotalByte %s, expected %d" % (values.get("TotalByte"), total))
        if not quarter_rss or peak - quarter_rss > MAX_GROWTH:
            failures.append("memory grew from %d to %d bytes" % (quarter_rss, peak))
        if proc.poll() is None:
            channel.send("quit\n")
            try:
                code = proc.wait(60)
                if code != 0:
                    failures.append("exit code %d after quit" % code)
            except subprocess.TimeoutExpired:
                failures.append("the core did not end within 60 s of quit")
        if not failures:
            for path, (size, digest) in sorted(want.items()):
                p = os.path.join(dest, path)
                if not os.path.isfile(p) or os.path.getsize(p) != size:
                    failures.append("%s missing or of the wrong size" % path)
                elif zdltest.file_sha256(p) != digest:
                    failures.append("%s differs from the description" % path)
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait(10)
        log.close()
        channel.close()
        srv.stop()
    for f in failures:
        print("large file: FAIL: " + f)
    if failures:
        with open(os.path.join(a.work, "core.log"), errors="replace") as f:
            print(f.read()[-3000:])
    shutil.rmtree(dest, ignore_errors=True)
    shutil.rmtree(www, ignore_errors=True)
    if not failures:
        print("large file: PASS")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
