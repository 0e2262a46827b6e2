#!/usr/bin/env python3
"""The host end to end: the real companion app, the real host, a real mount.

Prints each figure beside its target with MET or MISSED: finding every file of
a large vault through a fresh mount and again, reading 1 GiB through the mount
against curl and the disk, the host's peak memory, and copying 1 GiB into the
folder against posting it to the companion. docs/benchmarks.md explains them.
"""

import argparse
import json
import os
import shutil
import signal
import subprocess
import sys
import socket
import tempfile
import threading
import time
import urllib.parse

MIB = 1024 * 1024
GIB = 1024 * MIB
FIND_TIMEOUT = 300  # a slow listing should still report, not hang the run
SYNC_TIMEOUT = 120

RESIDENCY_FOLDERS = {"device-only": "Device only", "device-and-cloud": "Device + Cloud", "cloud-only": "Cloud only"}
HANDSHAKE = "group-containers/K7Q2XW9MLR.com.ostrel.app/finder-drive-handshake.json"


def verdict(ok):
    return "MET" if ok else "MISSED"


def mb_per_s(nbytes, seconds):
    return nbytes / MIB / seconds if seconds > 0 else float("inf")


def wait_for(condition, timeout, what):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return
        time.sleep(0.02)
    raise RuntimeError(f"timed out after {timeout} s waiting for {what}")


def timed(argv, timeout=FIND_TIMEOUT):
    """Seconds and output of a command, or None and what it printed when it
    ran out of time. The output is read so that a pipe, not a terminal, sets
    the pace, the same for the mount and the local disk."""
    start = time.monotonic()
    try:
        done = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout, check=False)
    except subprocess.TimeoutExpired as expired:
        return None, expired.stdout or b""
    seconds = time.monotonic() - start
    if done.returncode != 0:
        raise RuntimeError(f"{argv[0]} exited {done.returncode}: {done.stderr.decode(errors='replace').strip()}")
    return seconds, done.stdout


def vm_hwm(pid):
    """Peak resident memory of a live process, in bytes."""
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) * 1024
    return 0


class CountingRelay:
    """A loopback relay in front of the companion that counts listing
    requests. Replies pass through splice(2), kernel to kernel, so a listing
    of megabytes costs the relay a few calls, not a copy through Python."""

    MARK = b"GET /vault/finder/enumerate?"

    def __init__(self, upstream_port):
        self.upstream_port = upstream_port
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        self.lock = threading.Lock()
        self.listings = 0
        threading.Thread(target=self._accept, daemon=True).start()

    def count(self):
        with self.lock:
            return self.listings

    def _accept(self):
        while True:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            try:
                upstream = socket.create_connection(("127.0.0.1", self.upstream_port))
            except OSError:
                client.close()
                continue
            threading.Thread(target=self._requests, args=(client, upstream), daemon=True).start()
            threading.Thread(target=self._replies, args=(upstream, client), daemon=True).start()

    def _requests(self, client, upstream):
        carry = b""
        try:
            while data := client.recv(65536):
                seen = carry + data
                with self.lock:
                    self.listings += seen.count(self.MARK)
                # Keeps a mark split over two reads, never one counted twice.
                carry = seen[-(len(self.MARK) - 1):]
                upstream.sendall(data)
        except OSError:
            pass
        finally:
            self._shut(upstream)

    def _replies(self, upstream, client):
        read_end, write_end = os.pipe()
        try:
            while (n := os.splice(upstream.fileno(), write_end, 1 << 20)) > 0:
                while n > 0:
                    n -= os.splice(read_end, client.fileno(), n)
        except OSError:
            pass
        finally:
            os.close(read_end)
            os.close(write_end)
            self._shut(client)

    @staticmethod
    def _shut(sock):
        try:
            sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass

    def close(self):
        self.listener.close()


class Session:
    """One isolated user: a home, the XDG folders and a runtime folder of its
    own under `root`, the tools copied into its Applications folder (the tool
    judges its location by its resolved path), a companion and a host."""

    def __init__(self, root, build, change_interval):
        self.root = root
        self.build = build
        self.change_interval = change_interval
        self.env = dict(os.environ)
        self.env["HOME"] = root
        for var in ("XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"):
            self.env[var] = os.path.join(root, var.lower())
            os.makedirs(self.env[var], mode=0o700, exist_ok=True)
        self.bundle = os.path.join(root, "Applications", "Ostrel.app", "Contents", "MacOS")
        os.makedirs(self.bundle, exist_ok=True)
        for tool, sub in (("ostrel-fpctl", "fpctl"), ("ostrel-fphost", "host")):
            shutil.copy2(os.path.join(build, sub, tool), os.path.join(self.bundle, tool))
        self.vault = os.path.join(root, "vault")
        self.mount_root = os.path.join(root, "CloudStorage")
        self.companion = None
        self.host = None
        self.host_peaks = []
        self.registered = False

    # The companion app.
    def start_companion(self, *args):
        out = os.path.join(self.root, "companion.out")
        with open(out, "wb") as stdout, open(os.path.join(self.root, "companion.log"), "ab") as stderr:
            self.companion = subprocess.Popen(
                [os.path.join(self.build, "companion", "ostrel-companion"), "--vault", self.vault, *args],
                stdout=stdout, stderr=stderr, stdin=subprocess.DEVNULL, env=self.env)

        def ready():
            if self.companion.poll() is not None:
                raise RuntimeError("the companion app exited; see " + os.path.join(self.root, "companion.log"))
            with open(out) as text:
                return "ready port=" in text.read()

        wait_for(ready, 120, "the companion app")
        with open(self.handshake) as handshake:
            shake = json.load(handshake)
        self.base = f"http://127.0.0.1:{shake['port']}"
        self.token = shake["token"]

    @property
    def handshake(self):
        return os.path.join(self.env["XDG_DATA_HOME"], HANDSHAKE)

    def route_through(self, port):
        """Points the handshake at `port`, as the companion writes it: a
        private temporary file renamed into place."""
        with open(self.handshake) as handshake:
            shake = json.load(handshake)
        shake["port"] = port
        temporary = self.handshake + ".relay"
        with open(os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600), "w") as out:
            json.dump(shake, out)
        os.rename(temporary, self.handshake)

    def companion_add(self, path, residency, name):
        done = subprocess.run(
            [os.path.join(self.build, "companion", "ostrel-companion"), "add", "--vault", self.vault,
             "--residency", residency, "--name", name, path],
            stdout=subprocess.PIPE, env=self.env, check=False)
        reply = json.loads(done.stdout or b"{}")
        if done.returncode != 0:
            raise RuntimeError(f"ostrel-companion add failed: {reply.get('error')}")
        return reply["id"]

    def curl(self, *args):
        """curl against the companion with the token; its -w figures."""
        argv = ["curl", "-sS", "--noproxy", "*", "-H", f"X-Ostrel-Sync-Token: {self.token}",
                "-w", "%{http_code} %{time_total} %{size_download} %{size_upload}", *args]
        done = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False, env=self.env)
        fields = done.stdout.decode().split()[-4:]
        if done.returncode != 0 or not fields or fields[0] != "200":
            raise RuntimeError(f"curl {args[-1]} failed: {done.stderr.decode().strip()} {done.stdout[-300:]!r}")
        return float(fields[1]), int(float(fields[2])), int(float(fields[3]))

    def listing_seconds(self, residency):
        """The best of three raw listings: the companion's own cost with a
        warm index, which is all a find through the mount should add."""
        runs = [self.curl("-o", "/dev/null", f"{self.base}/vault/finder/enumerate?residency={residency}")
                for _ in range(3)]
        return min(r[0] for r in runs), runs[0][1]

    # The host.
    @property
    def socket(self):
        return os.path.join(self.env["XDG_RUNTIME_DIR"], "ostrel", "fphost.sock")

    @property
    def mount(self):
        return os.path.join(self.mount_root, "Ostrel")

    def start_host(self):
        log = open(os.path.join(self.root, "fphost.log"), "ab")
        self.host = subprocess.Popen(
            [os.path.join(self.bundle, "ostrel-fphost"), "serve", "--mount-root", self.mount_root,
             "--change-interval", str(self.change_interval)],
            stdout=log, stderr=log, stdin=subprocess.DEVNULL, env=self.env)
        log.close()
        wait_for(lambda: os.path.exists(self.socket) or self.host.poll() is not None, 30, "the host's socket")
        if self.host.poll() is not None:
            raise RuntimeError(f"the host exited {self.host.returncode}; see {self.root}/fphost.log")
        if not self.registered:
            done = subprocess.run([os.path.join(self.bundle, "ostrel-fpctl"), "register"],
                                  stdout=subprocess.PIPE, env=self.env, check=False)
            if not json.loads(done.stdout or b"{}").get("ok"):
                raise RuntimeError(f"register failed: {done.stdout.decode().strip()}")
            self.registered = True
        wait_for(lambda: os.path.ismount(self.mount), 30, "the mount")

    def stop_host(self):
        """Stops the host, keeping its peak memory; the last figure of it."""
        if self.host is None:
            return 0
        peak = 0
        if self.host.poll() is None:
            try:
                peak = vm_hwm(self.host.pid)
            except OSError:
                pass
            self.host.send_signal(signal.SIGTERM)
            try:
                self.host.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.host.kill()
                self.host.wait()
        self.host = None
        if os.path.ismount(self.mount):
            subprocess.run(["fusermount3", "-u", "-z", self.mount], check=False, stderr=subprocess.DEVNULL)
        self.host_peaks.append(peak)
        return peak

    def restart_host_cold(self):
        """A new host process, a new mount and an empty content cache."""
        self.stop_host()
        shutil.rmtree(os.path.join(self.env["XDG_CACHE_HOME"], "ostrel"), ignore_errors=True)
        self.start_host()

    def remove(self):
        # Never through a mount that is still there: that would delete vault files.
        if not os.path.ismount(self.mount):
            shutil.rmtree(self.root, ignore_errors=True)

    def close(self):
        try:
            self.stop_host()
        finally:
            if self.companion is not None and self.companion.poll() is None:
                self.companion.send_signal(signal.SIGTERM)
                try:
                    self.companion.wait(timeout=30)
                except subprocess.TimeoutExpired:
                    self.companion.kill()
                    self.companion.wait()
            self.companion = None


def make_local_tree(root, files, folders, residencies):
    """The tree the mount shows, as empty files on local disk."""
    for residency in RESIDENCY_FOLDERS.values():
        os.makedirs(os.path.join(root, residency), exist_ok=True)
    for folder in range(folders):
        slug = residencies[folder % len(residencies)]
        os.makedirs(os.path.join(root, RESIDENCY_FOLDERS[slug], f"folder-{folder:05d}"), exist_ok=True)
    for i in range(files):
        folder = i % folders
        slug = residencies[folder % len(residencies)]
        path = os.path.join(root, RESIDENCY_FOLDERS[slug], f"folder-{folder:05d}", f"file-{i:07d}.txt")
        os.close(os.open(path, os.O_WRONLY | os.O_CREAT, 0o600))


def find_figure(seconds, output, expected, timeout):
    seen = output.count(b"\n")
    if seconds is None:
        return f"did not finish in {timeout} s ({seen:,} of {expected:,} entries seen)", False
    if seen != expected:
        return f"{seconds:.3f} s (saw {seen:,} of {expected:,} entries)", False
    return f"{seconds:.3f} s", True


def bench_find(work, args, files, folders, cloud_only):
    residencies = ["cloud-only"] if cloud_only else ["device-only", "device-and-cloud"]
    label = f"{files:,} files in {folders:,} folders" + (", cloud only" if cloud_only else "")
    session = Session(tempfile.mkdtemp(prefix="find-", dir=work), args.build, args.change_interval)
    relay = None
    print(f"find {label}:")
    try:
        seed = f"bench:{files}:{folders}" + (":cloud-only" if cloud_only else "")
        session.start_companion("--seed", seed)

        listing = sum(session.listing_seconds(r)[0] for r in residencies)
        print(f"  raw listing with curl ({' + '.join(residencies)}): {listing:.3f} s")
        local = os.path.join(session.root, "local")
        make_local_tree(local, files, folders, residencies)
        timed(["find", local])
        local_seconds, local_out = timed(["find", local])
        expected = local_out.count(b"\n")
        print(f"  local disk find: {local_seconds:.3f} s ({expected:,} entries)")

        if cloud_only:
            # No target here, so the figures may carry the relay's small cost
            # in exchange for an exact count of listings.
            relay = CountingRelay(int(session.base.rsplit(":", 1)[1]))
            session.route_through(relay.port)
        session.start_host()
        before = relay.count() if relay else 0
        cold, out = timed(["find", session.mount], args.find_timeout)
        middle = relay.count() if relay else 0
        text, complete = find_figure(cold, out, expected, args.find_timeout)
        if cloud_only:
            print(f"  cold find: {text}, {middle - before:,} listing requests")
        elif files >= 100_000:
            print(f"  cold find: {text} (target < 1.2 s) {verdict(complete and cold < 1.2)}")
        else:
            print(f"  cold find: {text}")
        sys.stdout.flush()

        warm, out = timed(["find", session.mount], args.find_timeout)
        text, complete = find_figure(warm, out, expected, args.find_timeout)
        ratio = f", {warm / local_seconds:.1f}x local disk" if complete else ""
        if cloud_only:
            print(f"  warm find: {text}{ratio}, {relay.count() - middle:,} listing requests")
        else:
            print(f"  warm find: {text}{ratio} (target <= 5x) {verdict(complete and warm <= 5 * local_seconds)}")
        peak = session.stop_host()
        print(f"  host peak memory: {peak / MIB:.1f} MiB")
        return peak
    except (RuntimeError, subprocess.TimeoutExpired) as error:
        print(f"  failed: {error}")
        return session.stop_host()
    finally:
        sys.stdout.flush()
        session.close()
        if relay:
            relay.close()
        session.remove()


def write_big_file(path, size):
    # Incompressible bytes, made quickly: one random MiB over and over.
    block = os.urandom(MIB)
    with open(path, "wb") as out:
        for _ in range(size // MIB):
            out.write(block)
        out.write(block[: size % MIB])


def bench_read(work, args, source):
    session = Session(tempfile.mkdtemp(prefix="read-", dir=work), args.build, args.change_interval)
    size = os.path.getsize(source)
    try:
        session.start_companion("--seed", "bench:10:2")
        blob_id = session.companion_add(source, "device-and-cloud", "big.bin")
        blob = os.path.join(session.vault, "blobs", blob_id)

        disk = [timed_cat(blob) for _ in range(2)][1]
        curl_seconds = session.curl("-o", "/dev/null", f"{session.base}/vault/finder/content?id={blob_id}")[0]

        session.restart_host_cold()
        path = os.path.join(session.mount, RESIDENCY_FOLDERS["device-and-cloud"], "big.bin")
        cold = timed_cat(path)
        cached = timed_cat(path)
        peak = session.stop_host()

        disk_rate, curl_rate = mb_per_s(size, disk), mb_per_s(size, curl_seconds)
        cold_rate, cached_rate = mb_per_s(size, cold), mb_per_s(size, cached)
        print(f"cat {size / GIB:g} GiB through the mount:")
        print(f"  plain cat of the blob (warm): {disk_rate:.0f} MiB/s")
        print(f"  curl of the content endpoint: {curl_rate:.0f} MiB/s")
        print(f"  cold read: {cold_rate:.0f} MiB/s, {cold_rate / curl_rate:.2f}x curl (target >= 0.8x) "
              f"{verdict(cold_rate >= 0.8 * curl_rate)}")
        print(f"  cached read: {cached_rate:.0f} MiB/s, {cached_rate / disk_rate:.2f}x disk (target >= 0.9x) "
              f"{verdict(cached_rate >= 0.9 * disk_rate)}")
        print(f"  host peak memory: {peak / MIB:.1f} MiB")
        sys.stdout.flush()
        return peak
    except (RuntimeError, subprocess.TimeoutExpired) as error:
        print(f"cat {size / GIB:g} GiB: failed: {error}")
        return 0
    finally:
        session.close()
        session.remove()


def timed_cat(path):
    start = time.monotonic()
    with open(os.devnull, "wb") as null:
        subprocess.run(["cat", path], stdout=null, check=True, timeout=FIND_TIMEOUT)
    return time.monotonic() - start


def status_of(path):
    try:
        return os.getxattr(path, "user.ostrel.status").decode()
    except OSError:
        return None


def bench_copy(work, args, source):
    session = Session(tempfile.mkdtemp(prefix="copy-", dir=work), args.build, args.change_interval)
    size = os.path.getsize(source)
    print(f"cp {size / GIB:g} GiB into the folder:")
    try:
        session.start_companion("--seed", "bench:10:2", "--stream-ingest")
        posted = session.curl(
            # -T streams from the file; --data-binary would read 1 GiB into memory.
            "-o", "/dev/null", "-X", "POST", "-T", source, "-H", "Expect:",
            "-H", "Content-Type: application/octet-stream",
            "-H", f"X-Ostrel-Filename: {urllib.parse.quote('posted.bin')}",
            "-H", "X-Ostrel-Residency: device-and-cloud",
            f"{session.base}/vault/finder/ingest-stream")
        curl_rate = mb_per_s(size, posted[0])
        print(f"  curl POST to ingest-stream: {curl_rate:.0f} MiB/s")

        session.restart_host_cold()
        target = os.path.join(session.mount, RESIDENCY_FOLDERS["device-and-cloud"], "copied.bin")
        start = time.monotonic()
        done = subprocess.run(["cp", source, target], stderr=subprocess.PIPE, check=False)
        if done.returncode != 0:
            print(f"  cp {size / GIB:g} GiB: write path not available ({done.stderr.decode().strip()})")
            return session.stop_host()
        copied = time.monotonic() - start
        deadline = start + SYNC_TIMEOUT
        while status_of(target) != "downloaded" and time.monotonic() < deadline:
            time.sleep(0.05)
        synced = time.monotonic() - start
        state = status_of(target)
        peak = session.stop_host()
        if state != "downloaded":
            print(f"  cp returned after {copied:.2f} s but the file is not in the vault after {SYNC_TIMEOUT} s "
                  f"(status {state})")
            return peak
        rate = mb_per_s(size, synced)
        print(f"  cp until in the vault: {rate:.0f} MiB/s ({copied:.2f} s to copy, {synced:.2f} s until "
              f"downloaded), {rate / curl_rate:.2f}x curl (target >= 0.7x) {verdict(rate >= 0.7 * curl_rate)}")
        print(f"  host peak memory during it: {peak / MIB:.1f} MiB (target < 128 MiB) {verdict(peak < 128 * MIB)}")
        return peak
    except (RuntimeError, subprocess.TimeoutExpired) as error:
        print(f"  failed: {error}")
        return 0
    finally:
        sys.stdout.flush()
        session.close()
        session.remove()


def mounts_under(folder):
    with open("/proc/self/mounts") as mounts:
        points = [line.split()[1].encode().decode("unicode_escape") for line in mounts]
    return [point for point in points if point.startswith(folder + os.sep)]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(os.path.dirname(__file__), "..", "build", "release"),
                        help="the build folder holding host/, fpctl/ and companion/ (default build/release)")
    parser.add_argument("--sizes", default="10000:100,100000:1000",
                        help="FILES:FOLDERS of each vault to find through (default 10000:100,100000:1000)")
    parser.add_argument("--big-mib", type=int, default=1024, help="size of the file read and copied (default 1024)")
    parser.add_argument("--change-interval", type=int, default=2000, help="the host's --change-interval in ms")
    parser.add_argument("--find-timeout", type=int, default=FIND_TIMEOUT,
                        help=f"seconds one find may take before its figure is given up (default {FIND_TIMEOUT})")
    parser.add_argument("--keep", action="store_true", help="keep the work folder (logs) after the run")
    args = parser.parse_args()
    args.build = os.path.abspath(args.build)

    if not os.access("/dev/fuse", os.R_OK | os.W_OK):
        print("host bench: skipped, /dev/fuse is missing or not usable here")
        return 0
    for tool in ("curl", "fusermount3", "find", "cat", "cp"):
        if shutil.which(tool) is None:
            print(f"host bench: skipped, {tool} is not installed")
            return 0

    # SIGTERM unwinds like Ctrl-C, so every finally below unmounts and stops;
    # a second one must not cut that cleanup short.
    def interrupted(*_):
        signal.signal(signal.SIGTERM, signal.SIG_IGN)
        signal.signal(signal.SIGINT, signal.SIG_IGN)
        raise KeyboardInterrupt

    signal.signal(signal.SIGTERM, interrupted)
    work = tempfile.mkdtemp(prefix="ostrel-host-bench-")
    peaks = []
    try:
        sizes = [tuple(int(n) for n in pair.split(":")) for pair in args.sizes.split(",") if pair]
        for files, folders in sizes:
            peaks.append(bench_find(work, args, files, folders, cloud_only=False))
        for files, folders in sizes:
            peaks.append(bench_find(work, args, files, folders, cloud_only=True))

        big = os.path.join(work, "big.bin")
        free = shutil.disk_usage(work).free
        if args.big_mib <= 0:
            pass
        elif free < 4 * args.big_mib * MIB:
            print(f"cat and cp of {args.big_mib} MiB: skipped, only {free / GIB:.1f} GiB free in {work}")
        else:
            write_big_file(big, args.big_mib * MIB)
            peaks.append(bench_read(work, args, big))
            peaks.append(bench_copy(work, args, big))
        peak = max(peaks, default=0)
        print(f"host peak memory over the run: {peak / MIB:.1f} MiB (target < 128 MiB) {verdict(peak < 128 * MIB)}")
    finally:
        left = mounts_under(work)
        if args.keep or left:
            print(f"work folder kept: {work}" + (f" (still mounted: {', '.join(left)})" if left else ""))
        else:
            shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
