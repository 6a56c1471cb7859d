#!/usr/bin/python3
"""curl against the built program: stalled, dropped and resumed transfers."""

import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import (COPY, DAEMON, MOVE, NOBODY, ClientTest, Curl, WebServer, hold, main,
                     payload, require, wait_until)

MiB = 1024 * 1024


class CurlTest(ClientTest):
    def test_another_users_transfer_paused_waits(self):
        data = payload(6 * MiB, "paused")
        web = self.closing(WebServer(rate=512 * 1024))
        web.files["movie.mkv"] = data
        self.kestrelbox([("Move finished", 0, [(MOVE, self.target)])], uid=NOBODY)
        client = self.closing(Curl(self.root, self.downloads, web.url("movie.mkv"), "movie.mkv",
                                   uid=DAEMON))
        watch = self.watch(client, {"movie.mkv": data})
        part = os.path.join(self.downloads, "movie.mkv")
        wait_until(lambda: os.path.exists(part) and os.path.getsize(part) > 2 * MiB, 60,
                   what="a third of the transfer")
        client.proc.pause()  # as Ctrl+Z in a terminal
        hold(30)
        self.assertEqual(watch.seen, set(), "a paused transfer of another user was acted on")
        client.proc.cont()
        self.assertArrivesWhole(watch, "movie.mkv")
        self.assertNothingPartial(watch)

    def test_another_users_dropped_transfer_tried_again_waits(self):
        data = payload(6 * MiB, "dropped")
        web = self.closing(WebServer(rate=512 * 1024))
        web.files["disk.iso"] = data
        web.drop_at["disk.iso"] = 2 * MiB
        self.kestrelbox([("Move finished", 0, [(MOVE, self.target)])], uid=NOBODY)
        client = self.closing(Curl(self.root, self.downloads, web.url("disk.iso"), "disk.iso",
                                   uid=DAEMON, args=["--retry", "3", "--retry-all-errors",
                                                     "--retry-delay", "20"]))
        watch = self.watch(client, {"disk.iso": data})
        self.assertArrivesWhole(watch, "disk.iso", limit=120)
        self.assertNothingPartial(watch)

    def test_a_copy_of_a_transfer_resumed_later_is_made_again(self):
        # A transfer that gave up is a closed file like any finished one, and
        # is copied; once resumed and finished it arrives again.
        data = payload(4 * MiB, "resumed")
        web = self.closing(WebServer(rate=1 * MiB))
        web.files["report.pdf"] = data
        web.drop_at["report.pdf"] = 1 * MiB
        self.kestrelbox([("Copy finished", 0, [(COPY, self.target)])])
        first = self.closing(Curl(self.root, self.downloads, web.url("report.pdf"), "report.pdf"))
        watch = self.watch(first, {"report.pdf": data})
        target = os.path.join(self.target, "report.pdf")
        wait_until(lambda: os.path.exists(target), 60, what="the copy of the partial file")
        resumed = self.closing(Curl(self.root, self.downloads, web.url("report.pdf"),
                                    "report.pdf"))
        watch.client = resumed
        wait_until(lambda: resumed.done("report.pdf"), 60, what="the resumed transfer")
        done = time.monotonic()
        wait_until(lambda: watch.whole("report.pdf"), 30, what="the copy made again")
        print("copy made again %.1f s after the resumed transfer ended" % (time.monotonic() - done))


if __name__ == "__main__":
    require("curl", "setpriv")
    main()
