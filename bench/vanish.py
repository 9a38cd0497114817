#!/usr/bin/env python3
"""Soak of printers that go away mid-image.

Each run sends a firmware image (70 KB, 300 KB or 1 MB) with one praxdl to one to six printers at
once, over ptys or loopback TCP. The first printer goes away from its far end after a random
count, as one switched off, pulled out or restarting would: a pty's master is closed, a TCP
connection is closed with linger 0 (a reset). The others read everything.

Checked in every run: each other printer got the stream exactly and was reported done; the one
that went away was reported stopped with the connection lost, with no more delivered than its
far end held (over TCP: read or had unread when it reset) and, over a pty, no less than it read. Measured: how long after it went away its result came. Prints the
slowest run and how many took over a second; fails when one took over --limit seconds (2) or
a check failed.

  bench/vanish.py [--over pty|tcp|both] [--runs N] [--seed S]   (PRAX_BUILD_DIR, default build)
"""
import argparse
import fcntl
import json
import os
import random
import select
import socket
import struct
import subprocess
import sys
import tempfile
import termios
import threading
import time

SIZES = (70_000, 300_000, 1_000_000)


def held_paths(pid):
    paths = set()
    try:
        for fd in os.listdir("/proc/%d/fd" % pid):
            try:
                paths.add(os.readlink("/proc/%d/fd/%s" % (pid, fd)))
            except OSError:
                pass
    except OSError:
        pass
    return paths


class End:
    """The far end of one printer: reads what comes, and for the one that vanishes stops at a
    count and goes away."""

    def __init__(self, over, vanish_at, finished, small_window):
        self.over = over
        self.window = 0  # over TCP, what may still arrive once it looked at what it held
        self.finished = finished  # set once praxdl has ended
        self.vanish_at = vanish_at  # None: reads everything
        self.got = bytearray()
        self.vanished_at = None  # monotonic time it went away
        self.pending = 0  # what the kernel held for it, unread, when it went away
        self.done = threading.Event()
        self.pid = None  # praxdl's, once it runs
        self.held_after = True
        if over == "pty":
            self.master, self.slave = os.openpty()
            self.name = os.ttyname(self.slave)
            self.argument = ["--device", self.name]
        else:
            self.listener = socket.socket()
            if small_window:
                # A printer's small receive buffer: what it holds unread stays within it.
                self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 16384)
            self.listener.bind(("127.0.0.1", 0))
            self.listener.listen(1)
            self.name = "127.0.0.1:%d" % self.listener.getsockname()[1]
            self.argument = ["--host", self.name]
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        try:
            if self.over == "pty":
                self.read_from(self.master)
            else:
                conn, _ = self.listener.accept()
                self.read_from(conn.fileno(), conn)
        finally:
            self.done.set()

    def read_from(self, fd, conn=None):
        while True:
            want = 1 << 16
            if self.vanish_at is not None:
                want = min(want, self.vanish_at - len(self.got))
                if want == 0:
                    self.go_away(fd, conn)
                    return
            ready, _, _ = select.select([fd], [], [], 0.2)
            if not ready:
                if self.finished.is_set():
                    return
                continue
            try:
                chunk = os.read(fd, want)
            except OSError:
                chunk = b""
            if not chunk:
                if conn is not None:
                    conn.close()
                return
            self.got += chunk

    def go_away(self, fd, conn):
        if conn is not None:
            self.pending = struct.unpack("i", fcntl.ioctl(fd, termios.FIONREAD, b"\0" * 4))[0]
            self.window = conn.getsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF)
            conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            conn.close()
        else:
            os.close(self.master)
            self.master = None
            # Whether praxdl still held the port once its far end had gone: then it must not
            # call the stream done. One it had closed before may well have been done.
            self.held_after = self.pid is None or self.name in held_paths(self.pid)
        self.vanished_at = time.monotonic()

    def close(self):
        if self.over == "pty":
            if self.master is not None:
                os.close(self.master)
            os.close(self.slave)
        else:
            self.listener.close()


def one_run(praxdl, rng, over, images, streams, max_printers):
    count = rng.randint(1, max_printers)
    size = rng.choice(SIZES)
    stream = streams[size]
    # A quarter of the runs go away near the end: in the last body bytes, the trailer and the
    # close's drain.
    if rng.random() < 0.25:
        vanish_at = rng.randint(max(1, len(stream) - 600), len(stream) - 1)
    else:
        vanish_at = rng.randint(1, len(stream) - 1)
    small_window = rng.random() < 0.5
    finished = threading.Event()
    ends = []
    for i in range(count):
        ends.append(End(over, vanish_at if i == 0 else None, finished, small_window))
    command = [praxdl, "--json", "--quiet"]
    for end in ends:
        command += end.argument
    command += ["firmware", images[size]]
    started = time.monotonic()
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    ends[0].pid = process.pid
    results = {}
    stamps = {}
    killer = threading.Timer(60, process.kill)
    killer.start()
    for line in process.stdout:
        event = json.loads(line)
        if event.get("event") == "result":
            # A run to one printer names no connection.
            name = event.get("connection", ends[0].name)
            results[name] = event
            stamps[name] = time.monotonic()
    process.wait()
    killer.cancel()
    finished.set()
    for end in ends:
        end.thread.join(5)
    problems = []
    all_done = False
    first = ends[0]
    late = None
    result = results.get(first.name)
    if result is None or first.vanished_at is None:
        problems.append("the printer that went away has no result or never went")
    else:
        # A pty's far end read all it was counted; a reset connection counts what the peer
        # acknowledged, which may lag behind what it read, but is never more than it held.
        delivered = result.get("delivered", -1)
        low, top = (0, vanish_at + first.pending + first.window) if over == "tcp" else (vanish_at, len(stream))
        if result.get("outcome") == "done" and delivered == len(stream) <= top and (
                over == "tcp" or not first.held_after):
            # The peer had acknowledged the whole stream before it reset, or praxdl had closed the
            # pty with all of it written before its far end went: that one was done.
            all_done = True
        else:
            late = stamps[first.name] - first.vanished_at
            if result.get("outcome") != "stopped" or "connection to the printer was lost" not in result.get("error", ""):
                problems.append("went away, reported %s: %s" % (result.get("outcome"), result.get("error")))
        if not low <= delivered <= top:
            problems.append("went away after %d bytes (%d more held, %d more could come), %d counted delivered: %s" %
                            (vanish_at, first.pending, first.window, delivered, json.dumps(result)))
    for end in ends[1:]:
        r = results.get(end.name, {})
        if r.get("outcome") != "done" or bytes(end.got) != stream:
            problems.append("%s: %s, got %d of %d bytes%s" % (end.name, r.get("outcome"), len(end.got), len(stream),
                                                             "" if end.got == stream[:len(end.got)] else ", not the stream"))
    if process.returncode != (0 if all_done else 1):
        problems.append("exit %d" % process.returncode)
    for end in ends:
        end.close()
    return late, time.monotonic() - started, problems, "%s, %d printers, %d bytes, went after %d%s" % (
        over, count, size, vanish_at, ", small window" if small_window and over == "tcp" else "")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--over", choices=("pty", "tcp", "both"), default="both")
    parser.add_argument("--runs", type=int, default=300, help="runs of each kind")
    parser.add_argument("--printers", type=int, default=6, help="at most this many printers a run")
    parser.add_argument("--limit", type=float, default=2.0)
    parser.add_argument("--seed", type=int, default=None)
    args = parser.parse_args()
    here = os.path.dirname(os.path.abspath(__file__))
    build = os.environ.get("PRAX_BUILD_DIR", os.path.join(here, "..", "build"))
    praxdl = os.path.join(build, "cli", "praxdl")
    if not os.access(praxdl, os.X_OK):
        sys.exit("build first: scripts/build.sh")
    seed = args.seed if args.seed is not None else random.randrange(1 << 30)
    rng = random.Random(seed)
    failed = False
    with tempfile.TemporaryDirectory() as work:
        images, streams = {}, {}
        for size in SIZES:
            images[size] = os.path.join(work, "image-%d.bin" % size)
            with open(images[size], "wb") as f:
                f.write(rng.randbytes(size))
            out = os.path.join(work, "stream-%d.bin" % size)
            subprocess.run([praxdl, "--quiet", "--output", out, "firmware", images[size]], check=True,
                           stdout=subprocess.DEVNULL)
            with open(out, "rb") as f:
                streams[size] = f.read()
        kinds = ("pty", "tcp") if args.over == "both" else (args.over,)
        for over in kinds:
            lates, slowest, over_second, bad = [], (0.0, ""), 0, 0
            for _ in range(args.runs):
                late, _, problems, what = one_run(praxdl, rng, over, images, streams, args.printers)
                if late is not None:
                    lates.append(late)
                    if late > slowest[0]:
                        slowest = (late, what)
                    if late > 1.0:
                        over_second += 1
                    if late > args.limit:
                        problems.append("reported %.3f s after it went away" % late)
                if problems:
                    bad += 1
                    print("FAIL (%s): %s" % (what, "; ".join(problems)), flush=True)
            lates.sort()
            median = lates[len(lates) // 2] if lates else 0.0
            print("%s: %d runs (seed %d): vanished printer reported after median %.3f s, slowest %.3f s (%s); "
                  "%d over 1 s; %d runs failed" % (over, args.runs, seed, median, slowest[0], slowest[1],
                                                   over_second, bad), flush=True)
            failed = failed or bad > 0
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
