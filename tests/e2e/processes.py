"""Processes the end-to-end test starts or watches besides the browser: Xvfb, and the notification
panel that the host leaves behind. Every wait is bounded; waits for a process's end use a pidfd."""

import ctypes
import os
import select
import signal
import subprocess
import time

PR_SET_CHILD_SUBREAPER = 36


def become_subreaper():
    """Makes processes orphaned below this one (the panel, once its host has exited) children of
    this process, so the test can reap what it caused."""
    libc = ctypes.CDLL(None, use_errno=True)
    if libc.prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
        raise OSError(ctypes.get_errno(), "prctl(PR_SET_CHILD_SUBREAPER)")


class WatchedProcess:
    """A process known by its id, watched through a pidfd so that its id cannot be reused under
    the watcher's feet."""

    def __init__(self, pid):
        self.pid = pid
        self._pidfd = os.pidfd_open(pid)

    def wait_for_end(self, timeout):
        readable, _, _ = select.select([self._pidfd], [], [], timeout)
        if not readable:
            return False
        try:
            os.waitpid(self.pid, 0)
        except ChildProcessError:
            pass  # not (or no longer) our child: whoever its parent is reaps it
        return True

    def close(self):
        os.close(self._pidfd)

    def session(self):
        with open(f"/proc/{self.pid}/stat", encoding="utf-8") as stat:
            fields = stat.read().rpartition(")")[2].split()
        return int(fields[3])  # after the name: state, ppid, pgrp, session

    def end(self, timeout=10.0):
        for sig in (signal.SIGTERM, signal.SIGKILL):
            try:
                signal.pidfd_send_signal(self._pidfd, sig)
            except ProcessLookupError:
                pass
            if self.wait_for_end(timeout):
                break
        os.close(self._pidfd)


def children_of(pid):
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat", encoding="utf-8") as stat:
                if int(stat.read().rpartition(")")[2].split()[1]) == pid:
                    found.append(int(entry))
        except (OSError, ValueError, IndexError):
            continue
    return found


def reap_orphans(timeout):
    """Waits for the processes orphaned below this subreaper (helpers the browser left, such as
    its crash handler, which end on their own once the browser is gone), kills those still
    running at the deadline, and reaps them all."""
    deadline = time.monotonic() + timeout
    for pid in children_of(os.getpid()):
        try:
            orphan = WatchedProcess(pid)
        except ProcessLookupError:
            continue
        if not orphan.wait_for_end(max(deadline - time.monotonic(), 0)):
            orphan.end()
        else:
            orphan.close()


def start_xvfb(log_path, timeout=10.0):
    """Starts Xvfb on a display number it picks itself (-displayfd, here its standard output)
    and returns the process and the DISPLAY value once the server accepts connections."""
    with open(log_path, "ab") as log:
        process = subprocess.Popen(
            ["Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1440x900x24"],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=log, start_new_session=True)
    server = WatchedProcess(process.pid)
    server.output = process.stdout  # stays open: a closed pipe would be a signal to Xvfb
    try:
        # Xvfb writes the display number followed by a newline once it is ready.
        if not select.select([process.stdout], [], [], timeout)[0]:
            raise RuntimeError("Xvfb did not report its display in time")
        number = process.stdout.readline()
        if not number.endswith(b"\n"):
            raise RuntimeError("Xvfb ended before reporting its display")
    except BaseException:
        server.end()
        raise
    return server, f":{int(number)}"


def processes_running(executable):
    """Ids of the processes whose executable is the given file."""
    wanted = os.path.realpath(executable)
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            if os.readlink(f"/proc/{entry}/exe") == wanted:
                found.append(int(entry))
        except OSError:
            continue  # ended meanwhile, or a kernel thread
    return found


def wait_until(condition, what, timeout=30.0):
    """Polls a condition that has no event of its own (page state, X windows, processes)."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise AssertionError(f"timed out waiting for {what}")
        select.select([], [], [], 0.05)


class PanelWatch:
    """Finds the panel process that a notification request leaves behind: a process of the host's
    executable outside the browser's session (the host Chromium starts belongs to it)."""

    def __init__(self, host_path, browser_session):
        self._host_path = host_path
        self._browser_session = browser_session
        self._before = set(processes_running(host_path))

    def find_panels(self, timeout):
        """The new processes of the host's executable outside the browser's session, once there
        is at least one. More than one when a short-lived intermediate process (the first of a
        double fork) is caught as well. There is no event for "a process appeared", so /proc is
        scanned until the deadline; the panel normally exists before the host's answer arrives."""
        return wait_until(self._panels, "a panel process outside the browser's session", timeout)

    def _panels(self):
        found = []
        for pid in set(processes_running(self._host_path)) - self._before:
            try:
                candidate = WatchedProcess(pid)
            except ProcessLookupError:
                continue
            try:
                outside = candidate.session() != self._browser_session
            except OSError:
                outside = False
            if outside:
                found.append(candidate)
            else:
                candidate.close()
        return found
