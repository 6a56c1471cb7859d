#!/usr/bin/python3
"""aria2 against the built program: its control files."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import (MOVE, Aria2, ClientTest, WebServer, hold, main, payload, require,
                     wait_until)

MiB = 1024 * 1024


class Aria2Test(ClientTest):
    def test_a_download_beside_its_control_file_waits(self):
        # aria2 keeps "x.aria2" beside "x" and writes it only now and then;
        # its transfer is dropped (aria2 takes it up again at once) and then
        # stalls for half a minute, the control file quiet all along.
        data = payload(6 * MiB, "aria2")
        web = self.closing(WebServer(rate=512 * 1024))
        web.files["iso.img"] = data
        web.drop_at["iso.img"] = 1 * MiB
        web.stall_at["iso.img"] = (3 * MiB, 30)
        client = self.closing(Aria2(self.root, self.downloads))
        self.kestrelbox([("Move finished", 0, [(MOVE, self.target)])])
        watch = self.watch(client, {"iso.img": data})
        client.add_uri(web.url("iso.img"), "iso.img")
        wait_until(web.stalled.is_set, 60, what="the transfer to stall")
        hold(25)
        self.assertEqual(watch.seen, set(), "a download or its control file was acted on")
        self.assertArrivesWhole(watch, "iso.img")
        self.assertNothingPartial(watch)
        hold(12)
        self.assertNotIn("iso.img.aria2", watch.seen)


if __name__ == "__main__":
    require("aria2c")
    main()
