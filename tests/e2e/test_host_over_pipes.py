"""The built host driven directly over pipes, exactly as Chrome starts it, for what a browser
cannot express: a caller the configuration does not name (and proof that the keyring was not
touched), an answer too large for a frame, and the notification panels under Xvfb (the answer
comes first, the host ends at once, the panel lives on in its own process and ends when the
person is done with it).

Run by CTest (label integration) as `/usr/bin/python3 test_host_over_pipes.py`; it re-runs itself
inside tests/helpers/run-with-private-keyring. Prints one line per check and
'N passed, N failed', and exits non-zero when a check failed.
"""

import json
import os
import select
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from e2e_session import BUILD_DIR, EXTENSION_ID, SOURCE_DIR, test_configuration  # noqa: E402
from host_prefix import extension_origin, install_host_copy  # noqa: E402
from keyring_accounts import INDEX_KEY, SERVICE, seed_accounts, stored_account  # noqa: E402
from processes import processes_running, start_xvfb  # noqa: E402
from test_native_host import Checks, expect_equal  # noqa: E402

KEYRING_WRAPPER = os.path.join(SOURCE_DIR, "tests", "helpers", "run-with-private-keyring")
ORIGIN = extension_origin(EXTENSION_ID)
CODE = "482913"
EMPTY = {"ok": True, "messages": [], "accounts": [], "warnings": [], "accountChecks": []}

# Where the card without a notch puts its buttons, relative to the panel's top-left corner.
COPY_BUTTON = (293, 68)
CLOSE_BUTTON = (362, 68)
PANEL_SIZE = "390x136"


def frame(message):
    body = json.dumps(message).encode()
    return struct.pack("<I", len(body)) + body


def run_host(host, origin, message, env, timeout=30):
    """One request; returns (response or None, stderr text, seconds until the host ended)."""
    started = time.monotonic()
    done = subprocess.run([host, origin], input=frame(message), capture_output=True, env=env,
                          timeout=timeout)
    elapsed = time.monotonic() - started
    if done.returncode != 0:
        raise AssertionError(f"host exited with {done.returncode}")
    out = done.stdout
    if not out:
        return None, done.stderr.decode(errors="replace"), elapsed
    length = struct.unpack("<I", out[:4])[0]
    if len(out) != 4 + length:
        raise AssertionError(f"not exactly one frame: {len(out)} bytes for length {length}")
    return json.loads(out[4:]), done.stderr.decode(errors="replace"), elapsed


def wait_until(condition, timeout, what):
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise AssertionError(f"timed out waiting for {what}")
        select.select([], [], [], 0.05)


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


class Prefix:
    """A copy of the host in a temporary install prefix, with the test configuration."""

    def __init__(self):
        self.root = tempfile.mkdtemp(prefix="zevirudi-pipes.")
        self.host = install_host_copy(BUILD_DIR, os.path.join(self.root, "prefix"),
                                      test_configuration())
        self.env = {"PATH": "/usr/bin:/bin", "HOME": self.root, "LANG": "C.UTF-8"}
        for name in ("DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"):
            if name in os.environ:
                self.env[name] = os.environ[name]

    def close(self):
        shutil.rmtree(self.root, ignore_errors=True)


def check_foreign_caller_never_reaches_the_keyring(prefix):
    """The session bus is a socket of ours: a foreign caller is refused without a connection to
    it; the configured caller does connect (so the socket would have seen the other)."""
    path = os.path.join(prefix.root, "bus")
    listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    listener.bind(path)
    listener.listen(8)
    listener.setblocking(False)
    env = {**prefix.env, "DBUS_SESSION_BUS_ADDRESS": f"unix:path={path}"}
    try:
        for origin in ("chrome-extension://aaaabbbbccccddddeeeeffffgggghhhh/", ORIGIN[:-1],
                       "chrome-extension://" + EXTENSION_ID.upper() + "/", ORIGIN + "x"):
            response, _, _ = run_host(prefix.host, origin, {"type": "status"}, env)
            expect_equal(response["error"], "Authentication failed.", f"answer to {origin}")
            readable, _, _ = select.select([listener], [], [], 0)
            if readable:
                raise AssertionError(f"the host connected to the session bus for {origin}")
        # The configured caller reaches the keyring: accept its connection and close it at once.
        child = subprocess.Popen([prefix.host, ORIGIN], stdin=subprocess.PIPE,
                                 stdout=subprocess.PIPE, env=env)
        child.stdin.write(frame({"type": "status"}))
        child.stdin.close()
        readable, _, _ = select.select([listener], [], [], 20)
        if not readable:
            raise AssertionError("the configured caller never reached the session bus")
        connection, _ = listener.accept()
        connection.close()
        out = child.stdout.read()
        child.wait(timeout=20)
        answer = json.loads(out[4:])
        if not answer["error"].startswith("Connected accounts could not be read. "):
            raise AssertionError(f"unexpected answer {answer}")
    finally:
        listener.close()


def check_too_large_answer(prefix):
    """140 accounts with 7,800-character names (a keyring item holds at most 8 KiB through
    secret-tool) do not fit a 1 MiB frame: the host answers with the library's sentence instead,
    in one small frame."""
    accounts = [stored_account(f"google:big{i}", "google", f"big{i}@example.com", "n" * 7_800,
                               f"access-big{i}", f"refresh-big{i}") for i in range(140)]
    seed_accounts(accounts)
    try:
        response, _, _ = run_host(prefix.host, ORIGIN, {"type": "status"}, prefix.env)
        expect_equal(response, {**EMPTY, "ok": False, "error": "The local response is too large."},
                     "answer")
    finally:
        for stored in accounts:
            subprocess.run(["secret-tool", "clear", "service", SERVICE, "account",
                            f"account:{stored['account']['id']}"], timeout=30)
        subprocess.run(["secret-tool", "clear", "service", SERVICE, "account", INDEX_KEY],
                       timeout=30)


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


def check_code_panel(prefix, display):
    """Answer first and the host gone at once; the panel copies exactly the code, closes, and its
    process serves the clipboard until another program takes it."""
    before = set(processes_running(prefix.host))
    env = {**prefix.env, "DISPLAY": display}
    response, _, elapsed = run_host(prefix.host, ORIGIN, code_request(), env)
    expect_equal(response, EMPTY, "answer")
    if elapsed > 1.5:
        raise AssertionError(f"the host took {elapsed:.2f} s to end")
    panels = wait_until(lambda: new_host_processes(prefix.host, before), 10, "the panel process")
    window = wait_until(lambda: panel_windows(display), 10, "the expanded panel")[0]
    click(display, window, COPY_BUTTON)
    wait_until(lambda: clipboard(display) == CODE, 10, "the code on the clipboard")
    wait_until(lambda: not panel_windows(display), 10, "the panel to close")
    if not new_host_processes(prefix.host, before):
        raise AssertionError("the panel's process ended before anyone could paste the code")
    subprocess.run(["xclip", "-i", "-selection", "clipboard"], input=b"something else",
                   env=env, check=True, timeout=10)
    wait_until(lambda: not new_host_processes(prefix.host, before), 10,
               f"the panel process {panels} to end")


def check_link_panel_close(prefix, display):
    before = set(processes_running(prefix.host))
    env = {**prefix.env, "DISPLAY": display}
    response, _, _ = run_host(prefix.host, ORIGIN, link_request(), env)
    expect_equal(response, EMPTY, "answer")
    window = wait_until(lambda: panel_windows(display), 10, "the expanded panel")[0]
    click(display, window, CLOSE_BUTTON)
    wait_until(lambda: not new_host_processes(prefix.host, before), 10, "the panel process to end")


def check_no_panel_without_display_or_validity(prefix, display):
    before = set(processes_running(prefix.host))
    response, _, _ = run_host(prefix.host, ORIGIN, code_request(), prefix.env)
    expect_equal(response, EMPTY, "answer without a display")
    bad = code_request()
    bad["codeNotification"]["code"] = "ABCDEF"
    response, _, _ = run_host(prefix.host, ORIGIN, bad, {**prefix.env, "DISPLAY": display})
    expect_equal(response["error"], "The code notification is not valid.", "refused code")
    # Any panel process would have been started before the host ended.
    leftovers = new_host_processes(prefix.host, before)
    if leftovers:
        raise AssertionError(f"panel processes {leftovers} were started")


def main(argv):
    if not os.environ.get("ZEVIRUDI_TEST_KEYRING_PASSWORD") and os.access(KEYRING_WRAPPER, os.X_OK):
        os.execv(KEYRING_WRAPPER, [KEYRING_WRAPPER, sys.executable, *argv])
    checks = Checks()
    prefix = Prefix()
    xvfb = None
    try:
        xvfb, display = start_xvfb(os.path.join(prefix.root, "xvfb.log"))
        everything = set()
        checks.run("a foreign caller never reaches the keyring", set(), everything,
                   lambda: check_foreign_caller_never_reaches_the_keyring(prefix))
        checks.run("an answer too large for a frame", set(), everything,
                   lambda: check_too_large_answer(prefix))
        checks.run("code panel: answer first, copy, serve the clipboard", set(), everything,
                   lambda: check_code_panel(prefix, display))
        checks.run("link panel closes and its process ends", set(), everything,
                   lambda: check_link_panel_close(prefix, display))
        checks.run("no panel without a display or for a refused payload", set(), everything,
                   lambda: check_no_panel_without_display_or_validity(prefix, display))
    finally:
        if xvfb:
            xvfb.stop()
        prefix.close()
    print(f"{checks.passed} passed, {checks.failed} failed")
    return 1 if checks.failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
