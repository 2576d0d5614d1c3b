#!/usr/bin/env python3
"""Download core benchmarks; prints figures measured side by side in one run.

  throughput   a sample client from nginx on 127.0.0.1, 4 connections, no
               effective limit, every piece verified, against
               aria2c -x4 -s4 on the same files and server: wall and CPU time
  memory       peak resident size of the core for the 1 GiB and the big client
  limit        with -DownloadLimit 10000, the rate over every 10-second window
  check        local check of a complete install against openssl dgst -sha256
  resume       bytes fetched again after kill -9 at about half way
  mirrors      two mirrors of one release, each serving at most R in all
               (a shaping server: nginx's limit_rate holds per request and
               lets each start with a burst): the core's throughput
               against R, for a few R

The installer's side of the channel, the sample client and the content
server come from tests/e2e/zdltest.py.
"""
import argparse
import os
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "e2e"))
import zdltest  # noqa: E402

PIECE = 1 << 20
TORRENT = zdltest.TORRENT
CLIENT_TIMEOUT = 1800  # seconds to write and describe the big client


def make_client(args, name, mib):
    www = os.path.join(args.work, name)
    stamp = os.path.join(www, ".made-%d" % mib)
    if not os.path.exists(stamp):  # made once, kept for the next run
        zdltest.make_client(args.sampleclient, args.mkdesc, www, mib, 3, piece=PIECE, timeout=CLIENT_TIMEOUT)
        open(stamp, "w").close()
    files = []
    for d, _, fs in os.walk(os.path.join(www, "files")):
        for f in fs:
            files.append(os.path.relpath(os.path.join(d, f), os.path.join(www, "files")))
    total = sum(os.path.getsize(os.path.join(www, "files", f)) for f in files)
    return www, sorted(files), total


def make_big_file_client(args, name, mib):
    """One file of |mib| MiB, in 1 MiB pieces."""
    www = os.path.join(args.work, name)
    big = os.path.join(www, "files", "data", "big.pak")
    if not os.path.exists(os.path.join(www, TORRENT)) or not os.path.exists(big) or os.path.getsize(big) != mib << 20:
        shutil.rmtree(www, ignore_errors=True)
        os.makedirs(os.path.dirname(big))
        with open(big, "wb") as f:
            for _ in range(mib):
                f.write(os.urandom(1 << 20))
        subprocess.run([args.mkdesc, os.path.join(www, "files"), www, "--piece-size", str(PIECE)], check=True,
                       stdout=subprocess.DEVNULL, timeout=CLIENT_TIMEOUT)
    return www, mib << 20


def run_measured(cmd, timeout=900):
    """Runs cmd; returns wall seconds, CPU seconds, peak RSS in MiB."""
    start = time.time()
    p = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, ru = os.wait4(p.pid, 0)
    wall = time.time() - start
    err = p.stderr.read().decode(errors="replace")
    p.stderr.close()
    p.returncode = os.waitstatus_to_exitcode(status)
    if p.returncode != 0:
        raise RuntimeError("%s failed (%d): %s" % (cmd[0], p.returncode, err[-2000:]))
    return wall, ru.ru_utime + ru.ru_stime, ru.ru_maxrss / 1024.0, err


def core_cmd(args, inst, url, limit=-1, threads=4):
    return [args.core, "-Dir", inst, "-HttpUrl", url, "-Torrent", TORRENT, "-Mode", "download",
            "-HttpThread", str(threads), "-P2PUploadThread", "6", "-P2PUploadListSize", "12",
            "-DownloadLimit", str(limit), "-UploadLimit", "10000", "-DeleteDownloadInfo", "-P2PShare", "0"]


def fresh(path):
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


def bench_throughput(args, www, files, total, srv):
    urls = os.path.join(args.work, "aria2-urls.txt")
    with open(urls, "w", encoding="utf-8", errors="surrogateescape") as f:
        for rel in files:
            f.write("%s/files/%s\n  out=%s\n" % (srv.url, url_path(rel), rel))
    ours, theirs = [], []
    for _ in range(args.rounds):
        inst = fresh(os.path.join(args.work, "inst-tp"))
        ours.append(run_measured(core_cmd(args, inst, srv.url)))
        out = fresh(os.path.join(args.work, "inst-aria2"))
        theirs.append(run_measured(["aria2c", "-i", urls, "-d", out, "-x4", "-s4", "-j4", "-k1M",
                                    "--file-allocation=falloc", "--allow-overwrite=true",
                                    "--auto-file-renaming=false", "--console-log-level=error",
                                    "--summary-interval=0", "-q"]))
    ow = min(r[0] for r in ours)
    oc = min(r[1] for r in ours)
    aw = min(r[0] for r in theirs)
    ac = min(r[1] for r in theirs)
    mib = total / 1048576.0
    print("throughput  %.0f MiB, 4 connections, best of %d" % (mib, args.rounds))
    print("  zdl-core   wall %.2f s (%.0f MiB/s)  cpu %.2f s  peak %.1f MiB" % (ow, mib / ow, oc, ours[0][2]))
    print("  aria2c     wall %.2f s (%.0f MiB/s)  cpu %.2f s  peak %.1f MiB" % (aw, mib / aw, ac, theirs[0][2]))
    print("  ratio      wall %.2f  cpu %.2f  (zdl-core / aria2c, at most 1.0 wanted)" % (ow / aw, oc / ac))
    return ours[0][2]


def url_path(rel):
    from urllib.parse import quote
    return quote(rel.encode("utf-8", "surrogateescape"))


def bench_memory(args, srv_big, label):
    inst = fresh(os.path.join(args.work, "inst-mem"))
    wall, cpu, peak, _ = run_measured(core_cmd(args, inst, srv_big.url))
    print("memory      %s: peak %.1f MiB (limit 64), wall %.1f s" % (label, peak, wall))
    shutil.rmtree(inst, ignore_errors=True)


def bench_limit(args, srv, seconds):
    inst = fresh(os.path.join(args.work, "inst-limit"))
    core = zdltest.Installer([args.core], args.work, inst, srv.url, limit=10000)
    samples = []
    try:
        core.wait_for(lambda c: c.state() == 14, 60, "downloading")
        end = time.time() + seconds
        while time.time() < end and core.state() == 14:
            core.poll()
            if "TotalByte" in core.values:
                done = int(core.values["TotalByte"]) - int(core.values["IncompleteByte"])
                samples.append((time.time(), done))
            time.sleep(0.95)
        core.quit_and_time()
    finally:
        core.close()
    target = 10000 * 1024.0
    worst = 0.0
    rates = []
    for i, (t0, b0) in enumerate(samples):
        for t1, b1 in samples[i:]:
            if t1 - t0 >= 10:
                r = (b1 - b0) / (t1 - t0)
                rates.append(r)
                worst = max(worst, abs(r - target) / target)
                break
    if rates:
        print("limit       -DownloadLimit 10000: %d ten-second windows, rate %.0f..%.0f KB/s, worst deviation %.1f %%"
              " (at most 5 %% wanted)" % (len(rates), min(rates) / 1024, max(rates) / 1024, worst * 100))
    else:
        print("limit       not enough samples")


def bench_check(args, www, files, srv):
    inst = os.path.join(args.work, "inst-tp")  # complete from the throughput run, no state left
    wall, cpu, peak, err = run_measured(core_cmd(args, inst, srv.url))
    import re
    m = re.search(r"checked (\d+) pieces, (\d+) good, (\d+) bytes in (\d+) ms", err)
    if not m:
        print("check       no figures from the core")
        return
    nbytes, ms = int(m.group(3)), max(1, int(m.group(4)))
    paths = [os.path.join(inst, f) for f in files]
    start = time.time()
    subprocess.run(["openssl", "dgst", "-sha256"] + paths, check=True, stdout=subprocess.DEVNULL)
    ossl = time.time() - start
    ours = nbytes / (ms / 1000.0)
    theirs = nbytes / ossl
    print("check       %d pieces, %.0f MiB: zdl-core %.0f MiB/s, openssl dgst %.0f MiB/s, ratio %.2f "
          "(at least 0.8 wanted)" % (int(m.group(1)), nbytes / 1048576.0, ours / 1048576, theirs / 1048576,
                                     ours / theirs))


def bench_resume(args, www, total, srv):
    inst = fresh(os.path.join(args.work, "inst-resume"))
    before = srv.body_bytes()
    core = zdltest.Installer([args.core], args.work, inst, srv.url, limit=100000)
    try:
        core.wait_for(lambda c: c.state() == 14 and float(c.values.get("Percentage", 0)) >= 50, 120, "half",
                      interval=0.05)
        os.kill(core.proc.pid, signal.SIGKILL)
        core.proc.wait(10)
    finally:
        core.close()
    wall, cpu, peak, _ = run_measured(core_cmd(args, inst, srv.url))
    waste = srv.body_bytes() - before - total
    print("resume      re-downloaded after kill -9: %d bytes = %.2f pieces (at most 4 = HttpThread x piece size)"
          % (waste, waste / float(PIECE)))


class ShapedMirror:
    """shaped_mirror.py in a process of its own: |root| at most |rate|
    bytes a second in all."""

    def __init__(self, root, rate, port=0):
        script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "shaped_mirror.py")
        self.proc = subprocess.Popen([sys.executable, script, root, str(rate), str(port)], stdout=subprocess.PIPE,
                                     text=True)
        self.url = "http://127.0.0.1:%d" % int(self.proc.stdout.readline())

    def stop(self):
        """Ends the mirror; the body bytes it sent."""
        self.proc.send_signal(signal.SIGTERM)
        sent = int(self.proc.stdout.readline() or 0)
        self.proc.wait(10)
        return sent


def bench_mirrors(args, www, total):
    """Two mirrors, each serving at most R in all: the core can only pass R
    by spreading over both."""
    mib = total / 1048576.0
    print("mirrors     %.0f MiB client, two mirrors each serving at most R in all (a shaping server)" % mib)
    for rate_mib in args.mirror_rates:
        rate = rate_mib * 1048576
        for threads in (2, 4):
            mirrors = []
            try:
                for i in range(2):
                    mirrors.append(ShapedMirror(www, rate, args.mirror_ports + i if args.mirror_ports else 0))
                inst = fresh(os.path.join(args.work, "inst-mirrors"))
                wall, _, _, _ = run_measured(core_cmd(args, inst, ";".join(m.url for m in mirrors), threads=threads))
            finally:
                shares = [m.stop() for m in mirrors]
            got = total / wall
            print("  R %5.1f MiB/s  -HttpThread %d: %.2f s, %.1f MiB/s = %.2f R (at least 1.8 R wanted); "
                  "sent by each %s MiB" % (rate_mib, threads, wall, got / 1048576, got / rate,
                                           "/".join("%.1f" % (x / 1048576.0) for x in shares)))


def main():
    p = argparse.ArgumentParser()
    for opt in ("core", "mkdesc", "sampleclient", "server"):
        p.add_argument("--" + opt, required=True)
    # tmpfs by default: the figures are about the engine, not the machine's disk.
    p.add_argument("--work", default="/dev/shm/zdl-bench-core" if os.path.isdir("/dev/shm") else "/tmp/zdl-bench-core")
    p.add_argument("--size-mib", type=int, default=1024)
    p.add_argument("--big-mib", type=int, default=4096)
    p.add_argument("--limit-seconds", type=int, default=40)
    p.add_argument("--rounds", type=int, default=2)
    p.add_argument("--only", default="")
    p.add_argument("--mirror-mib", type=int, default=128)
    p.add_argument("--mirror-rates", type=float, nargs="+", default=[2, 8, 24], help="R in MiB/s")
    p.add_argument("--mirror-ports", type=int, default=0, help="first of two ports for the mirrors (default: free)")
    args = p.parse_args()
    os.makedirs(args.work, exist_ok=True)
    want = lambda n: not args.only or n in args.only.split(",")
    if want("mirrors"):
        mwww, mtotal = make_big_file_client(args, "www-mirrors", args.mirror_mib)
        bench_mirrors(args, mwww, mtotal)
        if args.only == "mirrors":
            return
    www, files, total = make_client(args, "www", args.size_mib)
    srv = zdltest.ContentServer(args.server, www, os.path.join(args.work, "srv-bench"))
    try:
        if want("throughput") or want("check") or want("memory"):
            peak = bench_throughput(args, www, files, total, srv)
            print("memory      %d MiB client: peak %.1f MiB (limit 64)" % (args.size_mib, peak))
        if want("check"):
            bench_check(args, www, files, srv)
        if want("limit"):
            bench_limit(args, srv, args.limit_seconds)
        if want("resume"):
            bench_resume(args, www, total, srv)
        if want("memory") and args.big_mib:
            bwww, _, _ = make_client(args, "www-big", args.big_mib)
            bsrv = zdltest.ContentServer(args.server, bwww, os.path.join(args.work, "srv-bench-big"))
            try:
                bench_memory(args, bsrv, "%d MiB client" % args.big_mib)
            finally:
                bsrv.stop()
    finally:
        srv.stop()


if __name__ == "__main__":
    main()
