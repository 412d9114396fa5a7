"""Many copies of the built host polling at once while every token is due, as when Chrome starts
one host per message and several tabs wait for a code. The sandbox rotates refresh tokens, so it
accepts each refresh token once: the hosts must refresh one after another and each must use what
the previous one saved. The accounts are seeded with secret-tool without the schema attribute, as
another program writes items, so every save must update those items instead of adding beside
them. Then an account removed while polls refresh it must stay removed.

Run by CTest (label integration) as `/usr/bin/python3 test_concurrent_refresh.py`; it re-runs
itself inside tests/helpers/run-with-private-keyring.
"""

import json
import os
import subprocess
import sys
import unittest

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))

import native_frames  # noqa: E402
from e2e_session import (BUILD_DIR, EXTENSION_ID, SOURCE_DIR, HostCopy,  # noqa: E402
                         run_in_private_keyring)
from host_prefix import extension_origin  # noqa: E402
from keyring_accounts import (INDEX_KEY, item_count, lookup_item, seed_accounts,  # noqa: E402
                              stored_account)
from sandbox_providers import SandboxProviders  # noqa: E402

KEYRING_PROBE = os.path.join(BUILD_DIR, "bin", "keyring-probe")
ORIGIN = extension_origin(EXTENSION_ID)
CONCURRENT_POLLS = 12
ROUNDS = 2
# Shorter than the 60 s the host refreshes ahead of expiry: every poll refreshes every account.
TOKEN_LIFETIME_SECONDS = 30
POLL = {"type": "poll", "origin": "https://login.example.com", "sinceEpochMilliseconds": 0,
        "seenMessageIDs": []}


def start_host(host, env):
    child = subprocess.Popen([host, ORIGIN], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                             env=env)
    child.stdin.write(native_frames.encode(POLL))
    child.stdin.close()
    return child


def answer_of(child):
    out = child.stdout.read()
    child.wait(timeout=120)
    if child.returncode != 0:
        raise AssertionError(f"host ended with {child.returncode}")
    return native_frames.decode(out)


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
        self.sandbox = SandboxProviders(os.path.join(BUILD_DIR, "bin", "zevirudi-sandbox"),
                                        os.path.join(BUILD_DIR, "refresh-sandbox.log"))
        self.sandbox.change_settings({"rotateRefreshTokens": True,
                                      "tokenLifetimeSeconds": TOKEN_LIFETIME_SECONDS})
        configuration = self.sandbox.configuration(
            os.path.join(SOURCE_DIR, "tools", "sandbox", "OAuthConfig.json"), EXTENSION_ID)
        self.copy = HostCopy(configuration)
        self.host, self.env = self.copy.host, self.copy.env
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
        self.copy.close()


class ConcurrentRefresh(unittest.TestCase):
    """In order: the concurrent rounds first, the removal last."""

    @classmethod
    def setUpClass(cls):
        cls.setup = Setup()

    @classmethod
    def tearDownClass(cls):
        cls.setup.close()

    def concurrent_refreshes(self, env):
        """Every check of every poll is ready; each account is still one keyring item."""
        ids = sorted(stored["account"]["id"] for stored in self.setup.accounts)
        failures = []
        for _ in range(ROUNDS):
            answers, _ = concurrent_polls(self.setup.host, env, CONCURRENT_POLLS)
            for answer in answers:
                for check in answer.get("accountChecks", []):
                    if check["status"] != "ready":
                        failures.append((check["accountID"], check["status"],
                                         check.get("failureCode")))
                if sorted(c["accountID"] for c in answer.get("accountChecks", [])) != ids:
                    failures.append(("answer", answer.get("error"), None))
        self.assertEqual(failures, [], "checks that were not ready")
        self.assertEqual([item_count(f"account:{account_id}") for account_id in ids], [1, 1],
                         "keyring items per account")

    def test_1_concurrent_polls_with_rotating_refresh_tokens(self):
        self.concurrent_refreshes(self.setup.env)

    def test_2_the_same_without_xdg_runtime_dir(self):
        self.concurrent_refreshes({k: v for k, v in self.setup.env.items()
                                   if k != "XDG_RUNTIME_DIR"})

    def test_3_an_account_removed_while_polls_refresh_it_stays_removed(self):
        removed = self.setup.accounts[0]["account"]["id"]
        _, output = concurrent_polls(
            self.setup.host, self.setup.env, CONCURRENT_POLLS,
            also=[KEYRING_PROBE, "remove-account", "com.loftwing.multi.accounts", removed])
        self.assertEqual(output, "ok")
        self.assertIsNone(lookup_item(f"account:{removed}"))
        self.assertNotIn(removed, json.loads(lookup_item(INDEX_KEY)))


if __name__ == "__main__":
    run_in_private_keyring(__file__)
    unittest.main(verbosity=2)
