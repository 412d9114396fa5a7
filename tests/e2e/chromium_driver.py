"""Drives a headless Chromium over the DevTools protocol on a pipe, with nothing but the standard
library.

Chromium reads protocol messages from its fd 3 and writes them to its fd 4; each message is one
JSON text followed by a NUL byte. The driver launches the browser with a test extension, finds
the extension's service worker, evaluates expressions in it and closes the browser again. Every
wait has a deadline; nothing here sleeps.
"""

import fcntl
import hashlib
import http.server
import json
import os
import select
import signal
import threading
import time

CHROMIUM = "/usr/lib/chromium/chromium"


def serve_pages(pages):
    """Serves pages (path to HTML) to the browser on a loopback port the system chooses, from a
    thread of its own. Returns the server (shutdown() stops it) and its base address."""

    class PageHandler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):  # noqa: N802 (the standard library's name)
            page = pages.get(self.path.split("?")[0])
            body = (page or "not found").encode()
            self.send_response(200 if page else 404)
            self.send_header("Content-Type", "text/html; charset=utf-8")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), PageHandler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, f"http://127.0.0.1:{server.server_address[1]}"

# Flags measured to work for a headless browser that loads an unpacked extension as root.
CHROMIUM_FLAGS = [
    "--headless=new",
    "--no-sandbox",
    "--disable-gpu",
    "--no-first-run",
    "--disable-background-networking",
    "--disable-component-update",
    "--disable-sync",
    "--remote-debugging-pipe",
]


# What the test extension's service worker logs once `send` is defined.
READY_MESSAGE = "zevirudi-e2e-ready"


class DriverError(Exception):
    """The browser did not do what the driver asked within the time allowed."""


def extension_id_from_key(der_key: bytes) -> str:
    """The id Chromium derives from an extension's public key: the first 32 hex digits of the
    SHA-256 of the DER key, with 0-9a-f written as a-p."""
    digest = hashlib.sha256(der_key).hexdigest()[:32]
    return "".join(chr(ord("a") + int(digit, 16)) for digit in digest)


def _high_fd(fd: int) -> int:
    """Moves a descriptor above the ones the child's dup2 targets use, so that placing one pipe
    end on fd 3 can never overwrite the other before it is placed on fd 4."""
    moved = fcntl.fcntl(fd, fcntl.F_DUPFD_CLOEXEC, 10)
    os.close(fd)
    return moved


class Chromium:
    """One running browser; close() ends and reaps it."""

    def __init__(self, user_data_dir, extension_dir, env, stderr_path, headless=True):
        self._buffer = b""
        self._next_id = 0
        self._events = []
        self._closed = False
        to_browser_read, to_browser_write = (_high_fd(fd) for fd in os.pipe())
        from_browser_read, from_browser_write = (_high_fd(fd) for fd in os.pipe())
        stderr_fd = os.open(stderr_path, os.O_WRONLY | os.O_CREAT | os.O_APPEND | os.O_CLOEXEC,
                            0o600)
        devnull = os.open(os.devnull, os.O_RDWR | os.O_CLOEXEC)
        flags = [flag for flag in CHROMIUM_FLAGS if headless or not flag.startswith("--headless")]
        argv = [CHROMIUM, *flags, f"--user-data-dir={user_data_dir}",
                f"--load-extension={extension_dir}"]
        try:
            # posix_spawn places the pipe ends on exactly fds 3 and 4 without running Python code
            # in the child; setsid keeps a terminal's signals away from the browser.
            self.pid = os.posix_spawn(
                CHROMIUM, argv, env,
                file_actions=[
                    (os.POSIX_SPAWN_DUP2, devnull, 0),
                    (os.POSIX_SPAWN_DUP2, devnull, 1),
                    (os.POSIX_SPAWN_DUP2, stderr_fd, 2),
                    (os.POSIX_SPAWN_DUP2, to_browser_read, 3),
                    (os.POSIX_SPAWN_DUP2, from_browser_write, 4),
                ],
                setsid=True)
        finally:
            for fd in (to_browser_read, from_browser_write, stderr_fd, devnull):
                os.close(fd)
        self._write_fd = to_browser_write
        os.set_blocking(self._write_fd, False)  # so that a stuck browser cannot block a write
        self._read_fd = from_browser_read
        self._pidfd = os.pidfd_open(self.pid)
        self._exit_status = None

    @property
    def session_id(self):
        """The browser leads a session of its own; everything it starts stays in it unless it
        leaves on purpose."""
        return self.pid

    # Protocol plumbing -------------------------------------------------------------------------

    def _send(self, method, params, session_id, deadline):
        self._next_id += 1
        message = {"id": self._next_id, "method": method, "params": params or {}}
        if session_id:
            message["sessionId"] = session_id
        data = json.dumps(message).encode() + b"\0"
        while data:
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                raise DriverError("timed out writing to the browser")
            _, writable, _ = select.select([], [self._write_fd], [], remaining)
            if writable:
                data = data[os.write(self._write_fd, data):]
        return self._next_id

    def _read_message(self, deadline):
        """The next message from the browser, or DriverError when the deadline passes first."""
        while b"\0" not in self._buffer:
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                raise DriverError("timed out waiting for the browser")
            readable, _, _ = select.select([self._read_fd], [], [], remaining)
            if not readable:
                continue
            chunk = os.read(self._read_fd, 65536)
            if not chunk:
                raise DriverError("the browser closed its protocol pipe")
            self._buffer += chunk
        text, _, self._buffer = self._buffer.partition(b"\0")
        return json.loads(text)

    def call(self, method, params=None, session_id=None, timeout=10.0):
        """Sends one command and returns its result; events that arrive meanwhile are kept."""
        deadline = time.monotonic() + timeout
        command_id = self._send(method, params, session_id, deadline)
        while True:
            message = self._read_message(deadline)
            if message.get("id") != command_id:
                self._events.append(message)
                continue
            if "error" in message:
                raise DriverError(f"{method} failed: {message['error'].get('message')}")
            return message.get("result", {})

    def wait_for_event(self, predicate, timeout):
        """The first event (kept or new) for which predicate is true."""
        deadline = time.monotonic() + timeout
        for index, event in enumerate(self._events):
            if predicate(event):
                return self._events.pop(index)
        while True:
            message = self._read_message(deadline)
            if "id" not in message and predicate(message):
                return message
            if "id" not in message:
                self._events.append(message)

    # What the tests use ------------------------------------------------------------------------

    def attach_to_service_worker(self, extension_id, timeout=15.0):
        """Waits for the extension's service worker and attaches to it; returns the session id."""
        prefix = f"chrome-extension://{extension_id}/"
        session_id = self.attach(lambda info: info.get("type") == "service_worker"
                                 and info.get("url", "").startswith(prefix), timeout)
        self._wait_for_send(session_id, timeout)
        return session_id

    def attach(self, wanted, timeout=15.0):
        """Waits for a target whose info satisfies wanted(info) and attaches to it; returns the
        session id."""
        self.call("Target.setDiscoverTargets", {"discover": True})
        targets = [t for t in self.call("Target.getTargets")["targetInfos"] if wanted(t)]
        if targets:
            target = targets[0]
        else:
            event = self.wait_for_event(
                lambda m: m.get("method") in ("Target.targetCreated", "Target.targetInfoChanged")
                and wanted(m["params"]["targetInfo"]), timeout)
            target = event["params"]["targetInfo"]
        return self.call("Target.attachToTarget", {"targetId": target["targetId"],
                                                   "flatten": True})["sessionId"]

    def _wait_for_send(self, session_id, timeout):
        """The worker may be attached before its script has run. Console events are switched on
        before the check, so the script's ready message cannot slip between check and wait."""
        self.call("Runtime.enable", session_id=session_id)
        if self.evaluate(session_id, "typeof globalThis.send") == "function":
            return
        self.wait_for_event(
            lambda m: m.get("sessionId") == session_id
            and m.get("method") == "Runtime.consoleAPICalled"
            and any(a.get("value") == READY_MESSAGE for a in m["params"].get("args", [])),
            timeout)

    def evaluate(self, session_id, expression, timeout=30.0):
        """Evaluates an expression in the attached target, awaits its promise and returns the
        value. A thrown exception becomes a DriverError carrying its description."""
        result = self.call("Runtime.evaluate", {"expression": expression, "awaitPromise": True,
                                                "returnByValue": True}, session_id, timeout)
        if "exceptionDetails" in result:
            details = result["exceptionDetails"]
            text = details.get("exception", {}).get("description") or details.get("text")
            raise DriverError(f"evaluation failed: {text}")
        return result["result"].get("value")

    def wait_for_exit(self, timeout):
        """The browser's wait status once it has ended, or None when it is still running."""
        if self._exit_status is not None:
            return self._exit_status
        readable, _, _ = select.select([self._pidfd], [], [], timeout)
        if not readable:
            return None
        _, self._exit_status = os.waitpid(self.pid, 0)
        return self._exit_status

    def close(self, timeout=10.0):
        """Asks the browser to close, and kills its whole session when it does not in time.
        Always reaps it and releases the descriptors."""
        if self._closed:
            return
        self._closed = True
        try:
            self.call("Browser.close", timeout=timeout)
        except (DriverError, OSError):
            pass
        exited = self.wait_for_exit(timeout) is not None
        # The browser leads its own session and process group; helpers still in that group once
        # the browser is gone (zygotes, utility processes) are killed with it.
        try:
            os.killpg(self.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        if not exited:
            self.wait_for_exit(timeout)
        for fd in (self._write_fd, self._read_fd, self._pidfd):
            os.close(fd)
