"""Peak memory (maximum resident set, from wait4) of the native host answering one "poll" while the
loopback sandbox providers send large and hostile bodies, and for an answer near 1 MiB.

One Gmail and one Outlook account in a real (private) keyring. Each scenario queues its answers on
the sandbox's Gmail message and Graph list endpoints (fault bodies built by the sandbox, gzip
bombs compressed slice by slice), delivers 4 new Gmail messages so that one batch of 4 fetches
runs at once, and polls with every earlier message marked seen.

    tests/helpers/run-with-private-keyring /usr/bin/python3 bench/host_memory_bench.py [runs]
"""

import json
import os
import statistics
import struct
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.dirname(HERE)
BUILD_DIR = os.environ.get("ZEVIRUDI_BUILD_DIR", os.path.join(SOURCE_DIR, "build"))
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "e2e"))

from host_prefix import extension_origin, install_host_copy  # noqa: E402
from keyring_accounts import seed_accounts  # noqa: E402
from native_host_cases import sandbox_accounts  # noqa: E402
from sandbox_providers import SandboxProviders  # noqa: E402

EXTENSION_ID = "fdofanllhaoohikcgegeblddpmmmhiii"
MiB = 1024 * 1024
JSON_TYPE = "application/json; charset=UTF-8"  # a type the sandbox's server does not compress


def gmail_message(message_id, text_bytes, gzip=False):
    """A full Gmail message whose text/plain body is `text_bytes` of "A" (base64url "QUFB")."""
    return {"status": 200, "contentType": JSON_TYPE, "gzip": gzip,
            "body": json.dumps({"id": message_id, "internalDate": str(int(time.time() * 1000))})[:-1]
            + ', "payload": {"mimeType": "text/plain", "headers": [{"name": "From", "value": '
              '"codes@example.com"}], "body": {"data": "',
            "fill": text_bytes // 3 * 4, "fillWith": "QUFB", "bodyEnd": '"}}}'}


def graph_list(count, html_bytes, gzip=False):
    """A Graph list answer of `count` messages; the last one's html body is `html_bytes` long."""
    received = time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(time.time() + 3600))
    message = {"id": "small", "receivedDateTime": received, "bodyPreview": "p",
               "body": {"content": "<p>small</p>"}}
    opening = json.dumps({"value": [dict(message, id=f"g{i}") for i in range(count - 1)]})[:-2]
    opening += (", " if count > 1 else "") + json.dumps(
        {"id": "big", "receivedDateTime": received, "bodyPreview": "p"})[:-1]
    return {"status": 200, "contentType": JSON_TYPE, "gzip": gzip,
            "body": opening + ', "body": {"content": "<p>', "fill": html_bytes,
            "bodyEnd": '</p>"}}]}'}


SCENARIOS = [
    # name, Gmail message answers (one per fetch), Graph list answers
    ("answer near 1 MiB (4 x 215 KB Gmail messages)",
     [gmail_message(f"near{i}", 215_000) for i in range(4)], []),
    ("4 Gmail messages of 10 MiB",
     [gmail_message(f"huge{i}", 10 * MiB) for i in range(4)], []),
    ("4 Gmail and 1 Graph gzip bombs of 64 MiB",
     [gmail_message(f"bomb{i}", 48 * MiB, gzip=True) for i in range(4)],
     [graph_list(1, 64 * MiB, gzip=True)]),
    ("largest accepted: 4 Gmail of 1.5 MiB, Graph 20 messages in 4 MiB",
     [gmail_message(f"edge{i}", 1_170_000) for i in range(4)],
     [graph_list(20, 4_180_000)]),
]


def frame(message):
    body = json.dumps(message).encode()
    return struct.pack("<I", len(body)) + body


def run_host(argv, data, env):
    """The answer and the peak resident set in MB of one host process."""
    process = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, env=env)
    process.stdin.write(data)
    process.stdin.close()
    output = process.stdout.read()
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0 or len(output) < 4:
        raise RuntimeError(f"the host failed: {process.returncode}")
    return json.loads(output[4:]), usage.ru_maxrss / 1024, len(output) - 4


def main(argv):
    runs = int(argv[1]) if len(argv) > 1 else 3
    if not os.environ.get("ZEVIRUDI_TEST_KEYRING_PASSWORD"):
        sys.exit("run me inside tests/helpers/run-with-private-keyring")
    root = tempfile.mkdtemp(prefix="zevirudi-memory-bench.")
    with SandboxProviders(os.path.join(BUILD_DIR, "bin", "zevirudi-sandbox"),
                          os.path.join(root, "sandbox.log")) as sandbox:
        configuration = sandbox.configuration(
            os.path.join(SOURCE_DIR, "tools", "sandbox", "OAuthConfig.json"), EXTENSION_ID)
        host = install_host_copy(BUILD_DIR, os.path.join(root, "prefix"), configuration)
        accounts = sandbox_accounts(sandbox)
        seed_accounts(accounts)
        gmail = next(stored["account"]["id"] for stored in accounts
                     if stored["account"]["provider"] == "google")
        env = {"PATH": "/usr/bin:/bin", "HOME": root,
               "DBUS_SESSION_BUS_ADDRESS": os.environ["DBUS_SESSION_BUS_ADDRESS"]}
        origin = extension_origin(EXTENSION_ID)
        seen = []
        print(f"runs: {runs}; peak resident set of the host per poll, MB")
        for name, gmail_answers, graph_answers in SCENARIOS:
            peaks = []
            for _ in range(runs):
                sandbox._admin("faults", {"endpoint": "gmail.get", "queue": gmail_answers})
                sandbox._admin("faults", {"endpoint": "graph.messages", "queue": graph_answers})
                seen_before = list(seen)
                for i in range(len(gmail_answers)):
                    added = sandbox.add_message(gmail, f"Message {i}", "text", "a@example.com")
                    seen.append(added["messageID"])
                poll = frame({"type": "poll", "origin": "https://login.example.com",
                              "sinceEpochMilliseconds": int(time.time() * 1000) - 60_000,
                              "seenMessageIDs": seen_before[-500:]})
                answer, peak, answer_bytes = run_host([host, origin], poll, env)
                peaks.append(peak)
            checks = ", ".join(f"{check['status']}" + (f" {check['failureCode']}"
                                                       if check.get("failureCode") else "")
                               for check in answer["accountChecks"])
            print(f"{name:70s} max {max(peaks):6.1f}  median {statistics.median(peaks):6.1f}"
                  f"  answer {answer_bytes / 1024:7.1f} KiB, {len(answer['messages'])} messages,"
                  f" checks: {checks}")


if __name__ == "__main__":
    main(sys.argv)
