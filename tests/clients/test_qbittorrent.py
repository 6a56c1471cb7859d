#!/usr/bin/python3
"""qBittorrent (qbittorrent-nox) against the built program."""

import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import (MOVE, ClientTest, Leecher, QBittorrent, Seeder, hold, main, payload,
                     report, require, wait_until, when_progress)

MiB = 1024 * 1024


class QBittorrentTest(ClientTest):
    def start(self, files, name, rate=512 * 1024, ask=False, **client):
        torrent = self.torrent(name, files)
        self.seeder = self.closing(Seeder(rate=rate))
        self.seeder.seed(torrent)
        self.client = self.closing(QBittorrent(self.root, self.downloads, **client))
        # Asked, it is linked as the user would link it in the service's settings.
        links = [{"Kind": "qBittorrent",
                  "Address": "http://127.0.0.1:%d/" % self.client.web_port}] if ask else []
        self.kb = self.kestrelbox([("Move finished", 0, [(MOVE, self.target)])], clients=links)
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


    def test_a_paused_preallocated_torrent_waits_for_its_clients_word(self):
        # Preallocated on tmpfs: full size and no holes from the start;
        # paused, no writer and a quiet time. Only qBittorrent knows.
        self.downloads_in_memory()
        data = payload(8 * MiB, "preallocated")
        torrent, watch = self.start({"talk.ogg": data}, "talk.ogg", ask=True, preallocate=True)
        when_progress(self.client, "talk.ogg", 0.3)
        self.client.pause(torrent)
        hold(30)
        self.assertEqual(watch.seen, set(), "a paused download was acted on")
        self.client.resume(torrent)
        self.assertArrivesWhole(watch, "talk.ogg")
        self.assertNothingPartial(watch)

    def test_a_seeding_torrent_is_moved_by_qbittorrent_and_goes_on_seeding(self):
        data = payload(4 * MiB, "seeding")
        torrent, watch = self.start({"live.flac": data}, "live.flac", ask=True)
        self.assertArrivesWhole(watch, "live.flac")
        wait_until(lambda: self.client.info(torrent)["save_path"].rstrip("/") == self.target,
                   30, what="qBittorrent to report the new place")
        moves = wait_until(lambda: [e for e in self.kb.history() if e["action"] == "move"], 30,
                           what="the move in the journal")
        entry = moves[-1]
        self.assertEqual(entry["error"], "moved by qBittorrent")
        # The first seeder goes; a new peer gets every byte from qBittorrent.
        self.seeder.close()
        self.closers.remove(self.seeder)
        leecher = self.closing(Leecher(os.path.join(self.root, "second")))
        handle = leecher.fetch(torrent)
        wait_until(lambda: leecher.done(handle), 90, what="a second peer to download it")
        with open(os.path.join(self.root, "second", "live.flac"), "rb") as f:
            self.assertEqual(f.read(), data)
        self.assertNotIn(self.client.states()["live.flac"], ("missingFiles", "error"))
        report("a second peer downloaded all of live.flac from qBittorrent's new place")

        # Taken back, through qBittorrent, once the headless copy has ended.
        self.kb.close()
        run = self.kb.command("--undo", str(entry["id"]))
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(self.client.info(torrent)["save_path"].rstrip("/"), self.downloads)
        with open(os.path.join(self.downloads, "live.flac"), "rb") as f:
            self.assertEqual(f.read(), data)
        self.assertFalse(os.path.exists(os.path.join(self.target, "live.flac")))
        self.assertNotIn(self.client.states()["live.flac"], ("missingFiles", "error"))

    def test_a_client_that_stops_answering_costs_a_pass_its_timeout(self):
        data = payload(2 * MiB, "answering")
        torrent, watch = self.start({"first.bin": data}, "first.bin", ask=True)
        self.assertArrivesWhole(watch, "first.bin")
        watch.client = None  # the watcher stops asking it too
        self.client.proc.pause()  # qBittorrent hangs: its port takes, nothing answers
        later = payload(1 * MiB, "dropped in")
        watch.expected["dropped.bin"] = later
        with open(os.path.join(self.downloads, ".dropped.bin"), "wb") as f:
            f.write(later)
        os.rename(os.path.join(self.downloads, ".dropped.bin"),
                  os.path.join(self.downloads, "dropped.bin"))
        t0 = time.monotonic()
        wait_until(lambda: "dropped.bin" in watch.whole_at, 40, what="the dropped-in file moved")
        report("a file beside a hung client was moved %.1f s after it arrived"
               % (time.monotonic() - t0))
        self.assertLess(time.monotonic() - t0, 30)
        said = [l for l in self.kb.output().splitlines() if "cannot be asked" in l]
        self.assertEqual(len(said), 1, self.kb.output())
        self.client.proc.cont()


if __name__ == "__main__":
    require("qbittorrent-nox")
    main()
