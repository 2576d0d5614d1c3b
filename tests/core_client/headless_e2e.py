#!/usr/bin/env python3
"""End-to-end tests of zdl-headless: the installer's core client driving the
real download core against nginx on 127.0.0.1 (and a stand-in core for the
restart after state 17).

Covers a whole download, pausing with Ctrl-C and continuing, a core killed
with SIGKILL and restarted by the stall watch with fewer threads, the
restart after the core quits by itself, and a core program that cannot be
started. Every wait is bounded; servers and processes are stopped on the
way out.

With --wine-run, zdl-headless.exe runs under Wine (scripts/wine-run.sh) with
the core it carries: the whole download and the killed core. Waits grow by
the slowness the runner reports (32-bit Wine under qemu-user is about ten
times slower). Exit code 77 when nginx or the program's Wine is missing.
"""
import argparse
import os
import queue
import re
import shutil
import signal
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import zdltest  # noqa: E402
from zdltest import check  # noqa: E402

ARGS = None
LINE = re.compile(r"\]\s+(\d+|--)% state=(\d+)")
STARTED = re.compile(r"core started: pid (\d+), port (\d+), (\d+) HTTP threads")


def win(path):
    """A folder as the program sees it: Wine maps the Linux root to Z:."""
    return "Z:" + path if ARGS.wine_run else path


class Headless:
    """zdl-headless in line mode with its output read on a thread."""

    def __init__(self, install, *extra, env=None):
        cmd = [ARGS.headless, win(install), "--source", ARGS.url, "--temp", win(ARGS.temp), "--log", "--no-share"] + list(extra)
        if ARGS.wine_run:
            # The core's own output in a file: it would outlive the program
            # on our pipe.
            log = os.path.join(ARGS.work, os.path.basename(install) + "-core.log")
            cmd = [ARGS.wine_run, "--live", "--timeout", str(int(300 * ARGS.slow))] + cmd + ["--core-log", win(log)]
        self.proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env)
        self.lines = queue.Queue()
        self.all = []
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in self.proc.stdout:
            self.lines.put(raw.decode("utf-8", "replace").rstrip("\r\n"))
        self.lines.put(None)

    def wait_line(self, pred, timeout, what):
        timeout *= ARGS.slow
        end = time.time() + timeout
        while time.time() < end:
            try:
                line = self.lines.get(timeout=max(0.05, end - time.time()))
            except queue.Empty:
                break
            if line is None:
                break
            self.all.append(line)
            m = pred(line)
            if m:
                return m
        raise AssertionError("%s: not seen within %ss; output:\n%s" % (what, timeout, "\n".join(self.all[-20:])))

    def finish(self, timeout):
        timeout *= ARGS.slow
        try:
            code = self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.kill()
            raise AssertionError("zdl-headless did not end within %ss:\n%s" % (timeout, "\n".join(self.all[-20:])))
        while True:
            try:
                line = self.lines.get(timeout=2)
            except queue.Empty:
                break
            if line is None:
                break
            self.all.append(line)
        return code

    def kill(self):
        if self.proc.poll() is None:
            # Under Wine: the runner, its timeout (a process group of its
            # own) and the loader beneath.
            for pid in [self.proc.pid] + descendants(self.proc.pid):
                try:
                    os.kill(pid, signal.SIGKILL)
                except OSError:
                    pass
            self.proc.wait()


def processes():
    """(pid, parent pid, command line) of every process."""
    out = []
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % name, "rb") as f:
                ppid = int(f.read().rsplit(b")", 1)[1].split()[1])
            with open("/proc/%s/cmdline" % name, "rb") as f:
                cmdline = f.read().replace(b"\0", b" ")
        except (OSError, IndexError, ValueError):
            continue
        out.append((int(name), ppid, cmdline))
    return out


def descendants(pid):
    procs = processes()
    found, todo = [], [pid]
    while todo:
        parent = todo.pop()
        for p, pp, _ in procs:
            if pp == parent and p not in found:
                found.append(p)
                todo.append(p)
    return found


def core_process(started_match):
    """The Linux process of the core that |started_match| announced: itself
    natively; under Wine the pid is Windows', so the process whose command
    line starts the core from our temp folder."""
    if not ARGS.wine_run:
        return int(started_match.group(1))
    mark = ARGS.temp.encode()
    end = time.time() + 5 * ARGS.slow
    while True:  # an earlier test's core may still be ending
        found = [p for p, _, cmd in processes() if mark in cmd and b"-InteractivePort" in cmd]
        if len(found) == 1 or time.time() > end:
            break
        time.sleep(0.2)
    check(len(found) == 1, "the core's process under Wine: %s" % found)
    return found[0]


def percent_at_least(n):
    def pred(line):
        m = LINE.search(line)
        return m if m and m.group(1) != "--" and int(m.group(1)) >= n and m.group(2) == "14" else None
    return pred


def started(line):
    return STARTED.search(line)


def alive(pid):
    try:
        with open("/proc/%d/status" % pid, "rb") as f:  # the name is GBK
            return not re.search(rb"^State:\s+[ZX]", f.read(), re.M)
    except OSError:
        return False


def wait_dead(pid, timeout):
    end = time.time() + timeout
    while time.time() < end:
        if not alive(pid):
            return True
        time.sleep(0.05)
    return False


def check_same_tree(install):
    # The served names are GBK; the native core writes UTF-8 names, and Wine
    # keeps a Windows program's in UTF-8.
    ok, why = zdltest.same_tree(os.path.join(ARGS.www, "files"), install, want_names="gbk", got_names="utf-8")
    check(ok, "install folder differs from the server's files: " + why)


def fresh(name):
    return zdltest.fresh_dir(os.path.join(ARGS.work, name), make=True)


def served_bytes(since):
    """Bytes of client files nginx sent since byte offset |since| of its log."""
    return ARGS.server_run.body_bytes(since=since)


def log_size():
    return ARGS.server_run.log_size()


def test_full_download():
    inst = fresh("full")
    h = Headless(inst)
    try:
        code = h.finish(60)
    finally:
        h.kill()
    check(code == 0, "exit code %s:\n%s" % (code, "\n".join(h.all[-10:])))
    check(any("下载完成: zpc.exe" in l for l in h.all), "no completion line")
    check(any("文件大小：" in l and "下载速度：" in l for l in h.all), "no size and speed line")
    check_same_tree(inst)


def test_pause_and_continue():
    inst = fresh("pause")
    h = Headless(inst, "--down", "2500")
    try:
        pid = int(h.wait_line(started, 10, "core start").group(1))
        h.wait_line(percent_at_least(15), 30, "15 %")
        h.proc.send_signal(signal.SIGINT)
        code = h.finish(10)
    finally:
        h.kill()
    check(code == 130, "Ctrl-C exit code %s" % code)
    check(any("told to quit" in l for l in h.all), "no stop message")
    check(wait_dead(pid, 5), "the core kept running after quit")

    before = log_size()
    h = Headless(inst)
    try:
        code = h.finish(60)
    finally:
        h.kill()
    check(code == 0, "continue exit code %s:\n%s" % (code, "\n".join(h.all[-10:])))
    check_same_tree(inst)
    total = sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(os.path.join(ARGS.www, "files")) for f in fs)
    again = served_bytes(before)
    check(again < total * 0.95, "continuing fetched %d of %d bytes: nothing was kept" % (again, total))


def test_kill9_restarts_through_stall_watch():
    inst = fresh("kill9")
    h = Headless(inst, "--down", "2500", "--stall-ms", str(2000 * ARGS.slowness))
    try:
        first = h.wait_line(started, 10, "core start")
        check(first.group(3) == "4", "first start with %s threads" % first.group(3))
        h.wait_line(percent_at_least(10), 30, "10 %")
        os.kill(core_process(first), signal.SIGKILL)
        second = h.wait_line(started, 20, "restart after the stall")
        check(second.group(3) == "2", "restart after a stall halves the threads, got %s" % second.group(3))
        check(any("下载失败，尝试重新连接" in l for l in h.all), "no reconnect text")
        code = h.finish(60)
    finally:
        h.kill()
    check(code == 0, "exit code %s" % code)
    check_same_tree(inst)


def test_restart_after_core_quits():
    env = dict(os.environ, ZDL_FAKE_CORE="quit17")
    inst = fresh("quit17")
    h = Headless(inst, "--core-program", ARGS.fake_core, "--max-seconds", "8", env=env)
    try:
        h.wait_line(started, 10, "core start")
        again = h.wait_line(started, 10, "restart after state 17")
        check(again.group(3) == "4", "restart after state 17 uses 4 threads")
        code = h.finish(15)
    finally:
        h.kill()
    check(code == 4, "exit code %s" % code)
    check(any("state=17" in l and "下载失败，尝试重新连接" in l for l in h.all), "state 17 not shown")


def file_has(path, text):
    try:
        with open(path, errors="replace") as f:
            return text in f.read()
    except OSError:
        return False


def test_disk_full_warning_clears():
    # A small tmpfs: full while creating files, enlarged, then filled again
    # during the download (only the resume state still needs space) and
    # freed. The disk-full warning shows only while the disk is full, and
    # the download completes.
    inst = fresh("tmpfs")
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=8m", "tmpfs", inst], capture_output=True).returncode:
        print("  SKIP disk full: cannot mount a tmpfs here")
        return
    full = "磁盘空间不足"
    filler = os.path.join(inst, "filler")
    core_log = os.path.join(ARGS.work, "tmpfs-core.log")
    h = Headless(inst, "--down", "700", "--core-log", core_log)
    try:
        end = time.time() + 20
        while time.time() < end and not file_has(core_log, "cannot create"):
            time.sleep(0.2)
        check(file_has(core_log, "cannot create"), "the disk was not full while creating files")
        subprocess.run(["mount", "-o", "remount,size=24m", inst], check=True)
        h.wait_line(percent_at_least(1), 30, "downloading once the disk grew")
        for _ in range(3):  # the space held for the files is no shortage
            h.wait_line(lambda l: LINE.search(l), 10, "a tick")
            check(full not in h.all[-1], "disk-full warning while space suffices: " + h.all[-1])
        with open(filler, "wb") as f:
            try:
                while True:
                    f.write(b"\0" * 65536)
                    f.flush()
            except OSError:
                pass
        h.wait_line(lambda l: full in l and "state=14" in l, 15, "the disk-full warning")
        os.remove(filler)
        h.wait_line(lambda l: LINE.search(l) and full not in l and "state=14" in l, 15, "the warning gone")
        code = h.finish(90)
        check(code == 0, "exit code %s:\n%s" % (code, "\n".join(h.all[-10:])))
        check_same_tree(inst)
    finally:
        h.kill()
        if os.path.exists(filler):
            os.remove(filler)
        subprocess.run(["umount", "-l", inst])


def test_core_that_cannot_start():
    bogus = os.path.join(ARGS.work, "not-a-program.txt")
    with open(bogus, "w") as f:
        f.write("plain text, no program\n")
    temp = fresh("temp-bogus")
    inst = fresh("bogus")
    cmd = [ARGS.headless, inst, "--source", ARGS.url, "--temp", temp, "--core-program", bogus, "--log", "--no-share"]
    r = subprocess.run(cmd, stdout=subprocess.PIPE, timeout=20)
    out = r.stdout.decode("utf-8", "replace")
    check(r.returncode == 3, "exit code %s" % r.returncode)
    # ENOEXEC: the system's own code for a file that is no program.
    check("错误: 启动下载器内核进程失败, 错误码: 8" in out, "message missing:\n" + out)


def main():
    global ARGS
    p = argparse.ArgumentParser()
    for opt in ("--headless", "--fake-core", "--mkdesc", "--sampleclient", "--server", "--work"):
        p.add_argument(opt, required=True)
    p.add_argument("--only")
    p.add_argument("--wine-run", help="scripts/wine-run.sh: --headless is a Windows program")
    ARGS = p.parse_args()
    ARGS.slow = ARGS.slowness = 1
    if not (shutil.which("nginx") or os.path.exists("/usr/sbin/nginx")):
        print("SKIP: no nginx")
        return 77
    if ARGS.wine_run:
        r = subprocess.run([ARGS.wine_run, "--slowness", ARGS.headless], stdout=subprocess.PIPE, timeout=60)
        if r.returncode:
            print("SKIP: no Wine for %s" % ARGS.headless)
            return 77
        ARGS.slowness = int(r.stdout.decode().strip() or "1")
        # Starting a Windows program costs seconds even natively.
        ARGS.slow = 2 * ARGS.slowness
    shutil.rmtree(ARGS.work, ignore_errors=True)
    os.makedirs(ARGS.work)
    ARGS.www = os.path.join(ARGS.work, "www")
    ARGS.temp = fresh("temp")
    zdltest.make_client(ARGS.sampleclient, ARGS.mkdesc, ARGS.www, 20, 7)
    ARGS.server_run = zdltest.ContentServer(ARGS.server, ARGS.www, os.path.join(ARGS.work, "srv"),
                                            lifetime=300 * ARGS.slow)
    ARGS.url = "%s/%s" % (ARGS.server_run.url, zdltest.TORRENT)
    tests = [test_full_download, test_pause_and_continue, test_kill9_restarts_through_stall_watch,
             test_restart_after_core_quits, test_disk_full_warning_clears, test_core_that_cannot_start]
    if ARGS.wine_run:
        tests = [test_full_download, test_kill9_restarts_through_stall_watch]
    failed = 0
    try:
        for t in tests:
            if ARGS.only and ARGS.only not in t.__name__:
                continue
            start = time.time()
            try:
                t()
                print("PASS %s (%.1fs)" % (t.__name__, time.time() - start), flush=True)
            except Exception as e:  # report and go on with the next test
                failed += 1
                print("FAIL %s: %s" % (t.__name__, e), flush=True)
    finally:
        ARGS.server_run.stop()
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
