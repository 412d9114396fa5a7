"""Many copies of the built host polling at once while every token is due, as when Chrome starts
one host per message and several tabs wait for a code. The sandbox rotates refresh tokens, so it
accepts each refresh token once: the hosts must refresh one after another and each must use what
the previous one saved. The accounts are seeded with secret-tool without the schema attribute, as
another program writes items, so every save must update those items instead of adding beside
them. Then an account removed while polls refresh it must stay removed.

Run by CTest (label integration) as `/usr/bin/python3 test_concurrent_refresh.py`; it re-runs
itself inside tests/helpers/run-with-private-keyring. Prints one line per check and
'N passed, N failed', and exits non-zero when a check failed.
"""

import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from e2e_session import BUILD_DIR, EXTENSION_ID, SOURCE_DIR  # noqa: E402
from host_prefix import extension_origin, install_host_copy  # noqa: E402
from keyring_accounts import (INDEX_KEY, item_count, lookup_item, seed_accounts,  # noqa: E402
                              stored_account)
from sandbox_providers import SandboxProviders  # noqa: E402
from test_native_host import Checks, expect_equal  # noqa: E402

KEYRING_WRAPPER = os.path.join(SOURCE_DIR, "tests", "helpers", "run-with-private-keyring")
KEYRING_PROBE = os.path.join(BUILD_DIR, "bin", "keyring-probe")
ORIGIN = extension_origin(EXTENSION_ID)
CONCURRENT_POLLS = 12
ROUNDS = 2
# Shorter than the 60 s the host refreshes ahead of expiry: every poll refreshes every account.
TOKEN_LIFETIME_SECONDS = 30
POLL = {"type": "poll", "origin": "https://login.example.com", "sinceEpochMilliseconds": 0,
        "seenMessageIDs": []}


def frame(message):
    body = json.dumps(message).encode()
    return struct.pack("<I", len(body)) + body


def start_host(host, env):
    child = subprocess.Popen([host, ORIGIN], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                             env=env)
    child.stdin.write(frame(POLL))
    child.stdin.close()
    return child


def answer_of(child):
    out = child.stdout.read()
    child.wait(timeout=120)
    if child.returncode != 0 or len(out) < 4:
        raise AssertionError(f"host ended with {child.returncode} and {len(out)} bytes")
    return json.loads(out[4:])


def concurrent_polls(host, env, count, also=None):
    """Starts `count` hosts at once (and `also`, a command, beside them); returns their answers
    and the command's output."""
    children = [start_host(host, env) for _ in range(count)]
    side = subprocess.Popen(also, stdout=subprocess.PIPE, env=env, text=True) if also else None
    answers = [answer_of(child) for child in children]
    side_output = side.communicate(timeout=60)[0].strip() if side else None
    return answers, side_output


class Setup:
    def __init__(self):
        self.root = tempfile.mkdtemp(prefix="zevirudi-refresh.")
        self.sandbox = SandboxProviders(os.path.join(BUILD_DIR, "bin", "zevirudi-sandbox"),
                                        os.path.join(self.root, "sandbox.log"))
        self.sandbox.change_settings({"rotateRefreshTokens": True,
                                      "tokenLifetimeSeconds": TOKEN_LIFETIME_SECONDS})
        configuration = self.sandbox.configuration(
            os.path.join(SOURCE_DIR, "tools", "sandbox", "OAuthConfig.json"), EXTENSION_ID)
        self.host = install_host_copy(BUILD_DIR, os.path.join(self.root, "prefix"),
                                      configuration)
        self.env = {"PATH": "/usr/bin:/bin", "HOME": self.root, "LANG": "C.UTF-8"}
        for name in ("DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"):
            if name in os.environ:
                self.env[name] = os.environ[name]
        self.accounts = []
        for provider, email in (("google", "rotating@gmail.example"),
                                ("microsoft", "rotating@outlook.example")):
            mailbox = self.sandbox.create_mailbox(provider, email, "Rotating")
            tokens = self.sandbox.issue_tokens(mailbox["accountID"])
            self.accounts.append(stored_account(
                mailbox["accountID"], provider, email, "Rotating", tokens["access_token"],
                tokens["refresh_token"], tokens["expires_in"]))
        seed_accounts(self.accounts, with_schema=False)

    def close(self):
        self.sandbox.stop()
        shutil.rmtree(self.root, ignore_errors=True)


def check_concurrent_refreshes(setup, env):
    """Every check of every poll is ready; each account is still one keyring item."""
    ids = sorted(stored["account"]["id"] for stored in setup.accounts)
    failures = []
    for _ in range(ROUNDS):
        answers, _ = concurrent_polls(setup.host, env, CONCURRENT_POLLS)
        for answer in answers:
            for check in answer.get("accountChecks", []):
                if check["status"] != "ready":
                    failures.append((check["accountID"], check["status"],
                                     check.get("failureCode")))
            if sorted(c["accountID"] for c in answer.get("accountChecks", [])) != ids:
                failures.append(("answer", answer.get("error"), None))
    expect_equal(failures, [], f"checks that were not ready in {ROUNDS * CONCURRENT_POLLS} polls")
    expect_equal([item_count(f"account:{account_id}") for account_id in ids], [1, 1],
                 "keyring items per account")


def check_removal_during_refreshes(setup):
    """An account removed while hosts refresh it is not put back, neither its item nor its
    index entry."""
    removed = setup.accounts[0]["account"]["id"]
    _, output = concurrent_polls(
        setup.host, setup.env, CONCURRENT_POLLS,
        also=[KEYRING_PROBE, "remove-account", "com.loftwing.multi.accounts", removed])
    expect_equal(output, "ok", "removal")
    expect_equal(lookup_item(f"account:{removed}"), None, "the removed account's item")
    index = json.loads(lookup_item(INDEX_KEY))
    expect_equal(removed in index, False, "the removed account in the index")


def main(argv):
    if not os.environ.get("ZEVIRUDI_TEST_KEYRING_PASSWORD") and os.access(KEYRING_WRAPPER, os.X_OK):
        os.execv(KEYRING_WRAPPER, [KEYRING_WRAPPER, sys.executable, *argv])
    checks = Checks()
    setup = Setup()
    started = time.monotonic()
    try:
        checks.run(f"{CONCURRENT_POLLS} concurrent polls with rotating refresh tokens", set(),
                   set(), lambda: check_concurrent_refreshes(setup, setup.env))
        without_runtime_dir = {k: v for k, v in setup.env.items() if k != "XDG_RUNTIME_DIR"}
        checks.run("the same without XDG_RUNTIME_DIR", set(), set(),
                   lambda: check_concurrent_refreshes(setup, without_runtime_dir))
        checks.run("removal while polls refresh", set(), set(),
                   lambda: check_removal_during_refreshes(setup))
    finally:
        setup.close()
    print(f"{checks.passed} passed, {checks.failed} failed "
          f"({time.monotonic() - started:.1f} s)")
    return 1 if checks.failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
