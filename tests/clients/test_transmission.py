#!/usr/bin/python3
"""Transmission (transmission-daemon) against the built program."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import (DAEMON, MOVE, NOBODY, ClientTest, Seeder, Transmission, hold, main,
                     payload, require, when_progress)

MiB = 1024 * 1024


class TransmissionTest(ClientTest):
    def start(self, files, name, rate=512 * 1024, uid=None, kb_uid=None, **client):
        torrent = self.torrent(name, files)
        self.seeder = self.closing(Seeder(rate=rate))
        self.seeder.seed(torrent)
        self.client = self.closing(Transmission(self.root, self.downloads, uid=uid, **client))
        self.kestrelbox([("Move finished", 0, [(MOVE, self.target)])], uid=kb_uid)
        expected = {name: files[name] if name in files else
                    {os.path.relpath(k, name): v for k, v in files.items()}}
        watch = self.watch(self.client, expected)
        self.client.add(torrent)
        return torrent, watch

    def test_a_file_renamed_on_completion_is_moved(self):
        # Transmission's default: "x.part" while it downloads, "x" once done.
        data = payload(8 * MiB, "renamed")
        _, watch = self.start({"album.flac": data}, "album.flac")
        self.assertArrivesWhole(watch, "album.flac")
        self.assertNothingPartial(watch)
        self.assertNotIn("album.flac.part", watch.seen)

    def test_a_stopped_torrent_waits_and_is_moved_once_finished(self):
        # Stopping a torrent closes its file: no writer, a quiet time, and
        # without renaming not even a partial name. Its holes tell.
        data = payload(8 * MiB, "stopped")
        torrent, watch = self.start({"talk.ogg": data}, "talk.ogg", rename_partial=False)
        when_progress(self.client, "talk.ogg", 0.3)
        self.client.pause(torrent)
        hold(25)
        self.assertEqual(watch.seen, set(), "a stopped download was acted on")
        self.client.resume(torrent)
        self.assertArrivesWhole(watch, "talk.ogg")
        self.assertNothingPartial(watch)
        self.assertEqual(self.client.errors(), {})

    def test_another_users_download_that_stalls_waits(self):
        # The usual service set-up: the client as its own user, the program
        # as another. A stalled download keeps its file open and unwritten.
        data = payload(8 * MiB, "stalled")
        _, watch = self.start({"show.mkv": data}, "show.mkv", uid=DAEMON, kb_uid=NOBODY,
                              rename_partial=False, preallocation=2)
        when_progress(self.client, "show.mkv", 0.3)
        self.seeder.stall()
        hold(45)
        self.assertEqual(watch.seen, set(), "a stalled download of another user was acted on")
        self.seeder.go()
        self.assertArrivesWhole(watch, "show.mkv")
        self.assertNothingPartial(watch)

    def test_a_multi_file_torrent_is_moved_as_one_folder(self):
        files = {"Album/01 intro.flac": payload(3 * MiB, "one"),
                 "Album/02 song.flac": payload(3 * MiB, "two"),
                 "Album/cover/front.jpg": payload(300 * 1024, "cover")}
        _, watch = self.start(files, "Album")
        self.assertArrivesWhole(watch, "Album")
        self.assertNothingPartial(watch)
        self.assertFalse(os.path.exists(os.path.join(self.downloads, "Album")),
                         "the folder was copied, not moved")


if __name__ == "__main__":
    require("transmission-daemon", "setpriv")
    main()
