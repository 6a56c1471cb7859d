#!/usr/bin/python3
"""qBittorrent (qbittorrent-nox) against the built program."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import (MOVE, ClientTest, QBittorrent, Seeder, hold, main, payload, require,
                     when_progress)

MiB = 1024 * 1024


class QBittorrentTest(ClientTest):
    def start(self, files, name, rate=512 * 1024, **client):
        torrent = self.torrent(name, files)
        self.seeder = self.closing(Seeder(rate=rate))
        self.seeder.seed(torrent)
        self.client = self.closing(QBittorrent(self.root, self.downloads, **client))
        self.kestrelbox([("Move finished", 0, [(MOVE, self.target)])])
        expected = {name: files[name] if name in files else
                    {os.path.relpath(k, name): v for k, v in files.items()}}
        watch = self.watch(self.client, expected)
        self.client.add(torrent)
        return torrent, watch

    def test_a_file_renamed_on_completion_is_moved(self):
        # "Append .!qB extension to incomplete files".
        data = payload(8 * MiB, "renamed")
        _, watch = self.start({"lecture.mp4": data}, "lecture.mp4", incomplete_extension=True)
        self.assertArrivesWhole(watch, "lecture.mp4")
        self.assertNothingPartial(watch)
        self.assertNotIn("lecture.mp4.!qB", watch.seen)

    def test_a_paused_torrent_waits_and_is_moved_once_finished(self):
        data = payload(8 * MiB, "paused")
        torrent, watch = self.start({"talk.ogg": data}, "talk.ogg")
        when_progress(self.client, "talk.ogg", 0.3)
        self.client.pause(torrent)
        hold(25)
        self.assertEqual(watch.seen, set(), "a paused download was acted on")
        self.client.resume(torrent)
        self.assertArrivesWhole(watch, "talk.ogg")
        self.assertNothingPartial(watch)
        self.assertNotIn(self.client.states().get("talk.ogg"), ("missingFiles", "error"))

    def test_a_multi_file_torrent_is_moved_as_one_folder(self):
        files = {"Photos/day 1/a.jpg": payload(2 * MiB, "a"),
                 "Photos/day 1/b.jpg": payload(2 * MiB, "b"),
                 "Photos/day 2/c.jpg": payload(3 * MiB, "c")}
        _, watch = self.start(files, "Photos")
        self.assertArrivesWhole(watch, "Photos")
        self.assertNothingPartial(watch)
        self.assertFalse(os.path.exists(os.path.join(self.downloads, "Photos")))


if __name__ == "__main__":
    require("qbittorrent-nox")
    main()
