"""Whole-process round trips of real native requests, beside the physical floor.

- "status" with 3 accounts in a real (private) keyring, beside frame_floor (bench/frame_floor.c:
  reads one frame, writes a fixed one, libc only).
- "poll" against the loopback sandbox providers with 20 ms injected on every provider request,
  beside the critical path the request forces: the three accounts are read concurrently, and the
  slowest (Gmail, one new message) needs a list page and one batch of fetches, so 2 x 20 ms.
Runs are interleaved so that both sides see the same load; the figures are ratios of medians.

    tests/helpers/run-with-private-keyring /usr/bin/python3 bench/native_requests_bench.py [runs]
"""

import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.dirname(HERE)
BUILD_DIR = os.environ.get("ZEVIRUDI_BUILD_DIR", os.path.join(SOURCE_DIR, "build"))
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "e2e"))
sys.path.insert(0, os.path.join(SOURCE_DIR, "scripts"))

import native_frames  # noqa: E402
from host_prefix import extension_origin, install_host_copy  # noqa: E402
from keyring_accounts import seed_accounts, stored_account  # noqa: E402
from native_host_cases import sandbox_accounts  # noqa: E402
from sandbox_providers import SandboxProviders  # noqa: E402

EXTENSION_ID = "fdofanllhaoohikcgegeblddpmmmhiii"
LATENCY_MS = 20
CRITICAL_PATH_MS = 2 * LATENCY_MS


def timed(argv, data, env):
    started = time.perf_counter()
    done = subprocess.run(argv, input=data, capture_output=True, env=env, timeout=60)
    elapsed = time.perf_counter() - started
    if done.returncode != 0 or len(done.stdout) < 4:
        raise RuntimeError(f"{argv[0]} failed: {done.returncode}")
    return elapsed * 1000, native_frames.decode(done.stdout) if argv[0].endswith("zevirudi") else None


def main(argv):
    runs = int(argv[1]) if len(argv) > 1 else 40
    if not os.environ.get("ZEVIRUDI_TEST_KEYRING_PASSWORD"):
        sys.exit("run me inside tests/helpers/run-with-private-keyring")
    root = tempfile.mkdtemp(prefix="zevirudi-bench.")
    floor = os.path.join(BUILD_DIR, "bin", "frame_floor")
    with SandboxProviders(os.path.join(BUILD_DIR, "bin", "zevirudi-sandbox"),
                          os.path.join(root, "sandbox.log")) as sandbox:
        configuration = sandbox.configuration(
            os.path.join(SOURCE_DIR, "tools", "sandbox", "OAuthConfig.json"), EXTENSION_ID)
        host = install_host_copy(BUILD_DIR, os.path.join(root, "prefix"), configuration)
        accounts = sandbox_accounts(sandbox)
        third = sandbox.create_mailbox("google", "cy.bench@gmail.example", "Cy Bench")
        tokens = sandbox.issue_tokens(third["accountID"])
        accounts.append(stored_account(third["accountID"], "google", "cy.bench@gmail.example",
                                       "Cy Bench", tokens["access_token"],
                                       tokens["refresh_token"] or None, tokens["expires_in"]))
        seed_accounts(accounts)
        env = {"PATH": "/usr/bin:/bin", "HOME": root,
               "DBUS_SESSION_BUS_ADDRESS": os.environ["DBUS_SESSION_BUS_ADDRESS"]}
        origin = extension_origin(EXTENSION_ID)
        status = native_frames.encode({"type": "status"})
        for endpoint in ("gmail.list", "gmail.get", "graph.messages", "google.oauth.token",
                         "microsoft.oauth.token"):
            sandbox._admin("faults", {"endpoint": endpoint, "queue": [], "delayMs": LATENCY_MS})

        floor_ms, status_ms, poll_ms = [], [], []
        seen = []  # as the extension does, so every poll fetches only the one new message
        for run in range(runs):
            floor_ms.append(timed([floor], status, env)[0])
            elapsed, answer = timed([host, origin], status, env)
            assert answer["ok"] and len(answer["accounts"]) == len(accounts), answer
            status_ms.append(elapsed)
            # One new message in each Gmail mailbox, so every poll fetches one batch there.
            for stored in accounts:
                if stored["account"]["provider"] == "google":
                    sandbox.add_message(stored["account"]["id"], f"Code {run}", f"Code {run:06d}",
                                        "security@example.com")
            since = int(time.time() * 1000) - 60_000
            poll = native_frames.encode({"type": "poll", "origin": "https://login.example.com",
                          "sinceEpochMilliseconds": since, "seenMessageIDs": seen[-500:]})
            elapsed, answer = timed([host, origin], poll, env)
            assert answer["ok"], answer
            seen += [message["id"] for message in answer["messages"]]
            poll_ms.append(elapsed)

    floor_median = statistics.median(floor_ms)
    status_median = statistics.median(status_ms)
    poll_median = statistics.median(poll_ms)
    print(f"runs: {runs}, accounts: {len(accounts)}, injected latency: {LATENCY_MS} ms")
    print(f"frame_floor        median {floor_median:8.2f} ms")
    print(f"status (keyring)   median {status_median:8.2f} ms   ratio to floor "
          f"{status_median / floor_median:6.1f}")
    print(f"poll (sandbox)     median {poll_median:8.2f} ms   critical path {CRITICAL_PATH_MS} ms"
          f"   ratio {poll_median / CRITICAL_PATH_MS:5.2f}")


if __name__ == "__main__":
    main(sys.argv)
