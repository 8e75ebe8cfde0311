"""How bytes leave the instrument: whole segments, or trickled a few bytes at a time, with the
prompt split in two where the modes say so. One sender at a time, so that text that arrives late
never cuts into a reply."""

import socket
import struct
import threading
import time

SPLIT_AT = len("bash-2.")


class Wire:
    def __init__(self, connection, faults):
        self.connection = connection
        self.lock = threading.Lock()
        self.chunk, self.pause = 0, 0.0
        if faults.on("trickle"):
            size, _, milliseconds = faults.argument("trickle", "8:10").partition(":")
            self.chunk, self.pause = int(size), int(milliseconds or 10) / 1000
        self.split = float(faults.argument("split-prompt", "50")) / 1000 if faults.on("split-prompt") else None

    def send(self, data, prompt=b""):
        """Sends data, then the prompt: in two segments (its first seven bytes, then the rest) when
        the prompt is split."""
        with self.lock:
            if self.split is None or not prompt:
                self._segment(data + prompt)
                return
            self._segment(data + prompt[:SPLIT_AT])
            time.sleep(self.split)
            self._segment(prompt[SPLIT_AT:])

    def _segment(self, data):
        if not self.chunk:
            self.connection.sendall(data)
            return
        for start in range(0, len(data), self.chunk):
            if start:
                time.sleep(self.pause)
            self.connection.sendall(data[start:start + self.chunk])

    def reset(self):
        """Ends the connection with a TCP reset instead of an orderly close."""
        with self.lock:
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            self.connection.close()
