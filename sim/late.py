"""Text the shell prints after a command's prompt (the late mode), and the uploads that wait to send
it: a session leaves its late text here, the FTP server says when an upload begins."""

import threading


def late_argument(rest):
    """TEXT and the base name of the upload that sends it ("" when the option answer does) from the
    rest of a late argument, TEXT[:upload=NAME]."""
    text, found, name = rest.rpartition(":upload=")
    return (text, name) if found else (rest, "")


class Uploads:
    """The late texts that wait for an upload, across connections."""

    def __init__(self):
        self.lock = threading.Lock()
        self.waiting = []  # (file's base name, session, function that sends the session's late text)

    def wait_for(self, name, session, arrive):
        with self.lock:
            self.waiting.append((name, session, arrive))

    def begins(self, name):
        """Sends every late text that waits for this upload, once; called before the FTP server reads
        any of the upload's data."""
        with self.lock:
            arrivals = [arrive for waiting, _, arrive in self.waiting if waiting == name]
            self.waiting = [entry for entry in self.waiting if entry[0] != name]
        for arrive in arrivals:
            try:
                arrive()
            except OSError:
                pass

    def forget(self, session):
        """Drops what a closed session left waiting."""
        with self.lock:
            self.waiting = [entry for entry in self.waiting if entry[1] is not session]
