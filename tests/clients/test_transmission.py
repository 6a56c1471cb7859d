#!/usr/bin/python3
"""Transmission (transmission-daemon) against the built program."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import (DAEMON, MOVE, NOBODY, ClientTest, Leecher, Seeder, Transmission, hold,
                     main, payload, report, require, wait_until, when_progress)

MiB = 1024 * 1024


class TransmissionTest(ClientTest):
    def start(self, files, name, rate=512 * 1024, uid=None, kb_uid=None, ask=False,
              password=None, **client):
        torrent = self.torrent(name, files)
        self.seeder = self.closing(Seeder(rate=rate))
        self.seeder.seed(torrent)
        self.client = self.closing(Transmission(self.root, self.downloads, uid=uid, **client))
        links = []
        if ask:
            link = {"Kind": "Transmission",
                    "Address": "http://127.0.0.1:%d/transmission/rpc" % self.client.rpc_port}
            if password is not None:
                link.update(User="kb", Password=password)
            links.append(link)
        self.kb = self.kestrelbox([("Move finished", 0, [(MOVE, self.target)])], uid=kb_uid,
                                  clients=links)
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


    def test_a_stopped_preallocated_torrent_waits_for_its_clients_word(self):
        self.downloads_in_memory()
        data = payload(8 * MiB, "preallocated")
        torrent, watch = self.start({"talk.ogg": data}, "talk.ogg", ask=True,
                                    rename_partial=False, preallocation=2)
        when_progress(self.client, "talk.ogg", 0.3)
        self.client.pause(torrent)
        hold(30)
        self.assertEqual(watch.seen, set(), "a stopped download was acted on")
        self.client.resume(torrent)
        self.assertArrivesWhole(watch, "talk.ogg")
        self.assertNothingPartial(watch)

    def test_a_seeding_torrent_is_moved_by_transmission_and_goes_on_seeding(self):
        files = {"Live/01.flac": payload(2 * MiB, "one"), "Live/02.flac": payload(2 * MiB, "two")}
        torrent, watch = self.start(files, "Live", ask=True)
        self.assertArrivesWhole(watch, "Live")
        wait_until(lambda: self.client.info(torrent)["downloadDir"].rstrip("/") == self.target,
                   30, what="Transmission to report the new place")
        moves = wait_until(lambda: [e for e in self.kb.history() if e["action"] == "move"], 30,
                           what="the move in the journal")
        entry = moves[-1]
        self.assertEqual(entry["error"], "moved by Transmission")
        self.seeder.close()
        self.closers.remove(self.seeder)
        leecher = self.closing(Leecher(os.path.join(self.root, "second")))
        handle = leecher.fetch(torrent)
        wait_until(lambda: leecher.done(handle), 90, what="a second peer to download it")
        for rel, content in files.items():
            with open(os.path.join(self.root, "second", rel), "rb") as f:
                self.assertEqual(f.read(), content)
        self.assertEqual(self.client.errors(), {})
        report("a second peer downloaded all of Live from Transmission's new place")

        self.kb.close()
        run = self.kb.command("--undo", str(entry["id"]))
        self.assertEqual(run.returncode, 0, run.stderr)
        wait_until(lambda: self.client.info(torrent)["downloadDir"].rstrip("/") == self.downloads,
                   30, what="Transmission to move it back")
        with open(os.path.join(self.downloads, "Live", "02.flac"), "rb") as f:
            self.assertEqual(f.read(), files["Live/02.flac"])
        self.assertFalse(os.path.exists(os.path.join(self.target, "Live")))
        self.assertEqual(self.client.errors(), {})

    def test_wrong_credentials_are_said_once_and_the_file_system_decides(self):
        data = payload(2 * MiB, "credentials")
        _, watch = self.start({"notes.pdf": data}, "notes.pdf", ask=True, password="wrong",
                              watch_settings={"rpc-authentication-required": True,
                                              "rpc-username": "kb", "rpc-password": "right"})
        self.assertArrivesWhole(watch, "notes.pdf")
        hold(12)
        said = [l for l in self.kb.output().splitlines() if "refuses the user name" in l]
        self.assertEqual(len(said), 1, self.kb.output())
        warnings = [e for e in self.kb.history() if e["action"] == "warning"]
        self.assertEqual(len(warnings), 1, warnings)


if __name__ == "__main__":
    require("transmission-daemon", "setpriv")
    main()
