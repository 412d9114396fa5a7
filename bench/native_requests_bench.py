"""Whole-process round trips of real native requests, beside the physical floor.

- "status" with 3 accounts in a real (private) keyring, beside keyring_floor (bench/keyring_floor.c:
  reads one frame, reads every item of the service with its secret through libsecret, writes a
  fixed frame) and frame_floor (bench/frame_floor.c: reads one frame, writes a fixed one).
- "poll" against the loopback sandbox providers with 20 ms injected on every provider request,
  beside the critical path the request forces: the three accounts are read concurrently, and the
  slowest (Gmail, one new message) needs a list page and one batch of fetches, so 2 x 20 ms; and
  the new connections each poll opens (one per provider host and concurrent request at most).
- Peak resident memory of the host answering a poll whose answer is near the 1 MiB frame limit.
Runs are interleaved so that both sides see the same load; the figures are ratios of medians.

    tests/helpers/run-with-private-keyring /usr/bin/python3 bench/native_requests_bench.py \
        [runs [other-prefix/bin/zevirudi]]
"""

import json
import os
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.request

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
    """Milliseconds from start to exit and the decoded answer (of the host only)."""
    started = time.perf_counter()
    done = subprocess.run(argv, input=data, capture_output=True, env=env, timeout=60)
    elapsed = time.perf_counter() - started
    if done.returncode != 0 or len(done.stdout) < 4:
        raise RuntimeError(f"{argv[0]} failed: {done.returncode}")
    return elapsed * 1000, native_frames.decode(done.stdout) if argv[0].endswith("zevirudi") else None


def peak_rss_kib(argv, data, env):
    """Runs once and returns (answer size in bytes, peak resident memory in KiB)."""
    child = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE, env=env)
    child.stdin.write(data)
    child.stdin.close()
    out = child.stdout.read()
    _, status, usage = os.wait4(child.pid, 0)
    child.returncode = status
    if status != 0:
        raise RuntimeError(f"{argv[0]} failed: {status}")
    return len(out), usage.ru_maxrss


def other_host(path, configuration):
    """An installed host of another build, reading the same configuration."""
    share = os.path.join(os.path.dirname(os.path.dirname(path)), "share", "zevirudi")
    with open(os.path.join(share, "OAuthConfig.json"), "w", encoding="utf-8") as file:
        json.dump(configuration, file, indent=2)
    return path


def connections(sandbox):
    request = urllib.request.Request(f"{sandbox.base_url}/_sandbox/counters")
    with urllib.request.urlopen(request, timeout=10) as answer:
        return json.load(answer)["connections"]["total"]


def main(argv):
    runs = int(argv[1]) if len(argv) > 1 else 40
    if not os.environ.get("ZEVIRUDI_TEST_KEYRING_PASSWORD"):
        sys.exit("run me inside tests/helpers/run-with-private-keyring")
    root = tempfile.mkdtemp(prefix="zevirudi-bench.")
    floor = os.path.join(BUILD_DIR, "bin", "frame_floor")
    keyring_floor = os.path.join(BUILD_DIR, "bin", "keyring_floor")
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

        # With a second installed host (argv[2], its share/zevirudi gets the same configuration),
        # both answer every request of a run, taking turns at going first.
        hosts = [host] + [other_host(path, configuration) for path in argv[2:3]]
        floor_ms, keyring_floor_ms = [], []
        status_ms, poll_ms = [[] for _ in hosts], [[] for _ in hosts]
        poll_connections = []
        seen = []  # as the extension does, so every poll fetches only the one new message
        for run in range(runs):
            floor_ms.append(timed([floor], status, env)[0])
            keyring_floor_ms.append(timed([keyring_floor], status, env)[0])
            order = list(range(len(hosts)))[::(-1 if run % 2 else 1)]
            for index in order:
                elapsed, answer = timed([hosts[index], origin], status, env)
                assert answer["ok"] and len(answer["accounts"]) == len(accounts), answer
                status_ms[index].append(elapsed)
            for index in order:
                # One new message in each Gmail mailbox, so every poll fetches one batch there.
                for stored in accounts:
                    if stored["account"]["provider"] == "google":
                        sandbox.add_message(stored["account"]["id"], f"Code {run}",
                                            f"Code {run:06d}", "security@example.com")
                since = int(time.time() * 1000) - 60_000
                poll = native_frames.encode({"type": "poll", "origin": "https://login.example.com",
                              "sinceEpochMilliseconds": since, "seenMessageIDs": seen[-500:]})
                before = connections(sandbox)
                elapsed, answer = timed([hosts[index], origin], poll, env)
                if index == 0:
                    poll_connections.append(connections(sandbox) - before)
                assert answer["ok"], answer
                seen += [message["id"] for message in answer["messages"]]
                poll_ms[index].append(elapsed)

        # An answer near the frame limit: fourteen messages of about 64 KB in one mailbox.
        big = next(stored for stored in accounts if stored["account"]["provider"] == "google")
        for index in range(14):
            sandbox.add_message(big["account"]["id"], f"Big {index}", "x" * 64_000,
                                "news@example.com")
        since = int(time.time() * 1000) - 60_000
        big_poll = native_frames.encode({"type": "poll", "origin": "https://login.example.com",
                          "sinceEpochMilliseconds": since, "seenMessageIDs": seen[-500:]})
        answer_bytes, rss_kib = peak_rss_kib([host, origin], big_poll, env)

    floor_median = statistics.median(floor_ms)
    keyring_floor_median = statistics.median(keyring_floor_ms)
    print(f"runs: {runs}, accounts: {len(accounts)}, injected latency: {LATENCY_MS} ms")
    print(f"frame_floor        median {floor_median:8.2f} ms")
    print(f"keyring_floor      median {keyring_floor_median:8.2f} ms")
    for index, path in enumerate(hosts):
        status_median = statistics.median(status_ms[index])
        poll_median = statistics.median(poll_ms[index])
        print(path)
        print(f"  status (keyring) median {status_median:8.2f} ms   ratio to keyring_floor "
              f"{status_median / keyring_floor_median:5.2f}   to frame_floor "
              f"{status_median / floor_median:5.1f}")
        print(f"  poll (sandbox)   median {poll_median:8.2f} ms   critical path {CRITICAL_PATH_MS} "
              f"ms   ratio {poll_median / CRITICAL_PATH_MS:5.2f}   less keyring_floor "
              f"{(poll_median - keyring_floor_median) / CRITICAL_PATH_MS:5.2f}")
    print(f"new connections per poll: median {statistics.median(poll_connections)}, "
          f"max {max(poll_connections)}")
    print(f"poll near the frame limit: answer {answer_bytes} bytes, host peak RSS "
          f"{rss_kib / 1024:.1f} MiB")


if __name__ == "__main__":
    main(sys.argv)
