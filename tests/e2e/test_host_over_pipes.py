"""The built host driven directly over pipes, exactly as Chrome starts it, for what a browser
cannot express: a caller the configuration does not name (and proof that the keyring was not
touched), an answer too large for a frame, and the notification panels under Xvfb (the answer
comes first, the host ends at once, the panel lives on in its own process).

Run by CTest (label integration) as `/usr/bin/python3 test_host_over_pipes.py`; it re-runs itself
inside tests/helpers/run-with-private-keyring.
"""

import os
import select
import socket
import subprocess
import sys
import time
import unittest

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))

import native_frames  # noqa: E402
from e2e_session import (EXTENSION_ID, HostCopy, run_in_private_keyring,  # noqa: E402
                         test_configuration)
from host_prefix import extension_origin  # noqa: E402
from keyring_accounts import INDEX_KEY, SERVICE, seed_accounts, stored_account  # noqa: E402
from processes import processes_running, start_xvfb, wait_until  # noqa: E402

ORIGIN = extension_origin(EXTENSION_ID)
CODE = "482913"
EMPTY = {"ok": True, "messages": [], "accounts": [], "warnings": [], "accountChecks": []}

# Where the card without a notch puts its buttons, relative to the panel's top-left corner.
COPY_BUTTON = (293, 68)
CLOSE_BUTTON = (362, 68)
PANEL_SIZE = "390x136"


def run_host(host, origin, message, env):
    """One request; returns (response or None, seconds until the host ended)."""
    started = time.monotonic()
    response, done = native_frames.exchange(host, origin, message, env, timeout=30)
    if done.returncode != 0:
        raise AssertionError(f"host exited with {done.returncode}")
    return response, time.monotonic() - started


def panel_windows(display):
    """(x, y) of every mapped window of the panel's size on the display."""
    tree = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, text=True,
                          env={**os.environ, "DISPLAY": display}, timeout=10).stdout
    found = []
    for line in tree.splitlines():
        if f" {PANEL_SIZE}+" in line:
            geometry = line.split(f" {PANEL_SIZE}+")[1].split()[0]
            x, y = geometry.split("+")[:2]
            found.append((int(x), int(y)))
    return found


def click(display, window, offset):
    subprocess.run(["xdotool", "mousemove", str(window[0] + offset[0]), str(window[1] + offset[1]),
                    "click", "1"], env={**os.environ, "DISPLAY": display}, check=True, timeout=10)


def clipboard(display):
    done = subprocess.run(["xclip", "-o", "-selection", "clipboard"], capture_output=True,
                          env={**os.environ, "DISPLAY": display}, timeout=10)
    return done.stdout.decode() if done.returncode == 0 else None


def new_host_processes(host, before):
    return [pid for pid in processes_running(host) if pid not in before]


def code_request():
    return {"type": "presentCodeNotification",
            "codeNotification": {"code": CODE, "destinationHost": "login.example.com",
                                 "source": "Example Security", "accountEmail": "me@example.com",
                                 "providerLabel": "Gmail", "wasCopied": False}}


def link_request():
    return {"type": "presentLinkNotification",
            "linkNotification": {"url": "https://login.example.com/verify?t=1",
                                 "destinationHost": "login.example.com", "source": "Example",
                                 "providerLabel": "Outlook", "linkPurpose": "sign-in"}}


class HostOverPipes(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.prefix = HostCopy(test_configuration())
        try:
            cls.xvfb, cls.display = start_xvfb(os.path.join(cls.prefix.root, "xvfb.log"))
        except BaseException:
            cls.prefix.close()
            raise
        cls.host = cls.prefix.host
        cls.env = cls.prefix.env
        cls.display_env = {**cls.env, "DISPLAY": cls.display}

    @classmethod
    def tearDownClass(cls):
        cls.xvfb.end()
        cls.prefix.close()

    def test_foreign_caller_never_reaches_the_keyring(self):
        """The session bus is a socket of ours: a foreign caller is refused without a connection
        to it; the configured caller does connect (so the socket would have seen the other)."""
        path = os.path.join(self.prefix.root, "bus")
        listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        listener.bind(path)
        listener.listen(8)
        listener.setblocking(False)
        env = {**self.env, "DBUS_SESSION_BUS_ADDRESS": f"unix:path={path}"}
        try:
            for origin in ("chrome-extension://aaaabbbbccccddddeeeeffffgggghhhh/", ORIGIN[:-1],
                           "chrome-extension://" + EXTENSION_ID.upper() + "/", ORIGIN + "x"):
                with self.subTest(origin):
                    response, _ = run_host(self.host, origin, {"type": "status"}, env)
                    self.assertEqual(response["error"], "Authentication failed.")
                    self.assertEqual(select.select([listener], [], [], 0)[0], [],
                                     "the host connected to the session bus")
            # The configured caller reaches the keyring: accept its connection, close it at once.
            child = subprocess.Popen([self.host, ORIGIN], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, env=env)
            child.stdin.write(native_frames.encode({"type": "status"}))
            child.stdin.close()
            self.assertTrue(select.select([listener], [], [], 20)[0],
                            "the configured caller never reached the session bus")
            listener.accept()[0].close()
            out = child.stdout.read()
            child.wait(timeout=20)
            self.assertTrue(native_frames.decode(out)["error"].startswith(
                "Connected accounts could not be read. "))
        finally:
            listener.close()

    def test_too_large_answer(self):
        """140 accounts with 7,800-character names (a keyring item holds at most 8 KiB through
        secret-tool) do not fit a 1 MiB frame: the host answers with the library's sentence
        instead, in one small frame."""
        accounts = [stored_account(f"google:big{i}", "google", f"big{i}@example.com", "n" * 7_800,
                                   f"access-big{i}", f"refresh-big{i}") for i in range(140)]
        seed_accounts(accounts)
        try:
            response, _ = run_host(self.host, ORIGIN, {"type": "status"}, self.env)
            self.assertEqual(response, {**EMPTY, "ok": False,
                                        "error": "The local response is too large."})
        finally:
            for key in [f"account:{stored['account']['id']}" for stored in accounts] + [INDEX_KEY]:
                subprocess.run(["secret-tool", "clear", "service", SERVICE, "account", key],
                               timeout=30)

    def test_code_panel_answers_first_and_copies_the_code(self):
        """Answer first and the host gone at once; the panel copies exactly the code and closes.
        How long its process serves the clipboard is NotificationRunnerTest's."""
        before = set(processes_running(self.host))
        response, elapsed = run_host(self.host, ORIGIN, code_request(), self.display_env)
        self.assertEqual(response, EMPTY)
        self.assertLess(elapsed, 1.5, "the host took too long to end")
        wait_until(lambda: new_host_processes(self.host, before), "the panel process", 10)
        window = wait_until(lambda: panel_windows(self.display), "the expanded panel", 10)[0]
        click(self.display, window, COPY_BUTTON)
        wait_until(lambda: clipboard(self.display) == CODE, "the code on the clipboard", 10)
        wait_until(lambda: not panel_windows(self.display), "the panel to close", 10)
        # Another owner of the clipboard lets the panel's process end.
        subprocess.run(["xclip", "-i", "-selection", "clipboard"], input=b"something else",
                       env=self.display_env, check=True, timeout=10)

    def test_link_panel_closes_and_its_process_ends(self):
        before = set(processes_running(self.host))
        response, _ = run_host(self.host, ORIGIN, link_request(), self.display_env)
        self.assertEqual(response, EMPTY)
        window = wait_until(lambda: panel_windows(self.display), "the expanded panel", 10)[0]
        click(self.display, window, CLOSE_BUTTON)
        wait_until(lambda: not new_host_processes(self.host, before), "the panel process to end",
                   10)

    def test_no_panel_for_a_refused_payload(self):
        """Without a display there is none either; that, and its log line, is
        PanelLauncherTest's."""
        before = set(processes_running(self.host))
        bad = code_request()
        bad["codeNotification"]["code"] = "ABCDEF"
        response, _ = run_host(self.host, ORIGIN, bad, self.display_env)
        self.assertEqual(response["error"], "The code notification is not valid.")
        # Any panel process would have been started before the host ended.
        self.assertEqual(new_host_processes(self.host, before), [])


if __name__ == "__main__":
    run_in_private_keyring(__file__)
    unittest.main(verbosity=2)
