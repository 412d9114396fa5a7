"""Whole-process benchmark: one chrome.runtime.sendNativeMessage round trip through a real headless
Chromium (extension -> Chromium -> a fresh zevirudi process -> back), next to the same request
sent straight to the host over a pipe, in one run so that the ratio is Chromium's share.

    /usr/bin/python3 bench/chromium_round_trip.py [--rounds 20]

Needs build/bin/zevirudi. The two kinds of round trip are interleaved; prints median, minimum and
maximum in milliseconds and the ratio of the medians."""

import argparse
import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True  # keep the source tree clean when CTest runs this
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "tests", "e2e"))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "scripts"))

import native_frames  # noqa: E402
from e2e_session import EXTENSION_ID, BrowserSession, test_configuration  # noqa: E402
from host_prefix import extension_origin  # noqa: E402

REQUEST = {"type": "status"}


def through_chromium(session):
    start = time.perf_counter()
    answer = session.send(REQUEST)
    elapsed = time.perf_counter() - start
    if "response" not in answer:
        raise SystemExit(f"Chromium could not reach the host: {answer}")
    return elapsed


def straight_to_host(host_path, frame, env):
    start = time.perf_counter()
    result = subprocess.run([host_path, extension_origin(EXTENSION_ID)], input=frame,
                            capture_output=True, env=env, cwd=os.path.dirname(host_path),
                            timeout=30, check=True)
    elapsed = time.perf_counter() - start
    if len(result.stdout) < 4:
        raise SystemExit("the host did not answer")
    return elapsed


def summary(name, timings):
    milliseconds = [t * 1000 for t in timings]
    return (f"{name:32} median {statistics.median(milliseconds):7.1f} ms   "
            f"min {min(milliseconds):7.1f}   max {max(milliseconds):7.1f}   n={len(timings)}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rounds", type=int, default=20)
    rounds = parser.parse_args().rounds
    launch = time.perf_counter()
    with BrowserSession(test_configuration(), use_session_bus=False, with_display=False) as session:
        ready = time.perf_counter() - launch
        session.send(REQUEST)  # the first message also starts the native messaging machinery
        first = time.perf_counter() - launch
        frame = native_frames.encode(REQUEST)
        env = {"HOME": session.home, "PATH": "/usr/bin:/bin",
               "DBUS_SESSION_BUS_ADDRESS": "disabled:"}
        # Interleaved, alternating which goes first, so both see the same load.
        chromium, direct = [], []
        for index in range(rounds):
            if index % 2:
                direct.append(straight_to_host(session.host_path, frame, env))
                chromium.append(through_chromium(session))
            else:
                chromium.append(through_chromium(session))
                direct.append(straight_to_host(session.host_path, frame, env))
    print(f"launch to service worker ready: {ready * 1000:.0f} ms; launch to first answer: "
          f"{first * 1000:.0f} ms")
    print(summary("sendNativeMessage via Chromium", chromium))
    print(summary("host spawned directly", direct))
    print(f"ratio of medians (Chromium / direct): "
          f"{statistics.median(chromium) / statistics.median(direct):.1f}")


if __name__ == "__main__":
    main()
