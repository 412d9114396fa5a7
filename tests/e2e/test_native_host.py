"""End to end: a real headless Chromium loads the test extension, and the extension's
chrome.runtime.sendNativeMessage starts a copy of the built zevirudi host through the native
messaging host manifest, exactly as a person's browser would.

Run by CTest (label e2e) as `/usr/bin/python3 test_native_host.py [--private-keyring]`; with the
option it re-runs itself inside tests/helpers/run-with-private-keyring and hands that session bus
to the browser, without it the browser and the host get no session bus at all.

What runs depends on the environment, never on the host's answers, so that a host that stops
handling a request fails a test instead of skipping it:
  keyring   the process runs inside tests/helpers/run-with-private-keyring
  sandbox   the loopback provider stand-in is built (build/bin/zevirudi-sandbox)
"""

import json
import os
import sys
import time
import unittest

sys.dont_write_bytecode = True  # keep the source tree clean when CTest runs this
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from e2e_session import (BUILD_DIR, EXTENSION_ID, SOURCE_DIR, BrowserSession,  # noqa: E402
                         run_in_private_keyring, test_configuration)
from keyring_accounts import lookup_item, seed_accounts  # noqa: E402
from native_host_cases import (PAGE_ORIGIN, made_up_accounts, refused,  # noqa: E402
                               request_table, sandbox_accounts, secrets_of)
from processes import become_subreaper, reap_orphans  # noqa: E402
from sandbox_providers import SandboxProviders  # noqa: E402


def detect_capabilities(with_keyring):
    capabilities = set()
    # Only the private keyring wrapper sets the password; seeding accounts anywhere else could
    # write into a developer's own keyring.
    if with_keyring and os.environ.get("ZEVIRUDI_TEST_KEYRING_PASSWORD") and os.environ.get(
            "DBUS_SESSION_BUS_ADDRESS"):
        capabilities.add("keyring")
    else:
        capabilities.add("no-keyring")
    if os.access(os.path.join(BUILD_DIR, "bin", "zevirudi-sandbox"), os.X_OK):
        capabilities.add("sandbox")
    return capabilities


class NativeHostThroughChromium(unittest.TestCase):
    """One browser for all tests; they run in the order of their numbers, the leak scan last."""

    with_keyring = False

    @classmethod
    def setUpClass(cls):
        become_subreaper()
        cls.capabilities = detect_capabilities(cls.with_keyring)
        print(f"extension {EXTENSION_ID}; capabilities: {', '.join(sorted(cls.capabilities))}",
              flush=True)
        cls.sandbox = None
        cls.configuration = test_configuration()
        cls.accounts = made_up_accounts()
        if "sandbox" in cls.capabilities:
            cls.sandbox = SandboxProviders(os.path.join(BUILD_DIR, "bin", "zevirudi-sandbox"),
                                           os.path.join(BUILD_DIR, "e2e-sandbox.log"))
            cls.configuration = cls.sandbox.configuration(
                os.path.join(SOURCE_DIR, "tools", "sandbox", "OAuthConfig.json"), EXTENSION_ID)
            cls.accounts = sandbox_accounts(cls.sandbox)
        try:
            if "keyring" in cls.capabilities:
                seed_accounts(cls.accounts)
            cls.session = BrowserSession(cls.configuration,
                                         use_session_bus="keyring" in cls.capabilities,
                                         with_display=True)
        except BaseException:
            if cls.sandbox:
                cls.sandbox.stop()
            raise

    @classmethod
    def tearDownClass(cls):
        cls.session.close()
        if cls.sandbox:
            cls.sandbox.stop()
        reap_orphans(timeout=10.0)

    def need(self, *capabilities):
        missing = set(capabilities) - self.capabilities
        if missing:
            self.skipTest(f"needs {', '.join(sorted(missing))}")

    def response(self, request):
        answer = self.session.send(request)
        self.assertNotIn("lastError", answer, "Chromium could not reach the host")
        return answer["response"]

    def test_1_requests_with_fixed_answers(self):
        for name, needs, request, expected in request_table(self.accounts):
            if needs <= self.capabilities:
                with self.subTest(name):
                    self.assertEqual(self.response(request), expected)

    def test_2_fresh_gmail_and_graph_messages_then_seen_ids(self):
        """A message delivered to each sandbox mailbox after the page started waiting comes back
        from one poll with its code in the text; sent again as seen, they are not returned."""
        self.need("keyring", "sandbox")
        started = int(time.time() * 1000) - 60_000
        delivered = {}
        for stored in self.accounts:
            account = stored["account"]
            code = str(int.from_bytes(os.urandom(3), "big") % 900000 + 100000)
            message = self.sandbox.add_message(
                account["id"], "Your Example sign-in code",
                f"Your sign-in code is {code}. It expires in 10 minutes.",
                "Example Accounts <no-reply@accounts.example.com>")
            delivered[message["messageID"]] = (account, code)
        poll = {"type": "poll", "origin": PAGE_ORIGIN, "sinceEpochMilliseconds": started,
                "seenMessageIDs": []}
        response = self.response(poll)
        self.assertIs(response.get("ok"), True)
        self.assertEqual(sorted((c["accountID"], c["status"]) for c in response["accountChecks"]),
                         sorted((s["account"]["id"], "ready") for s in self.accounts))
        returned = {message["id"]: message for message in response["messages"]}
        for message_id, (account, code) in delivered.items():
            with self.subTest(message_id):
                message = returned[message_id]
                self.assertEqual({key: message[key] for key in
                                  ("accountID", "provider", "accountEmail", "subject")},
                                 {"accountID": account["id"], "provider": account["provider"],
                                  "accountEmail": account["email"],
                                  "subject": "Your Example sign-in code"})
                self.assertIn(code, message["text"])
        again = self.response({**poll, "seenMessageIDs": sorted(delivered)})
        self.assertEqual([m["id"] for m in again["messages"] if m["id"] in delivered], [])

    def test_3_health_reads_every_mailbox_and_returns_no_mail(self):
        self.need("keyring", "sandbox")
        response = self.response({"type": "health"})
        self.assertEqual({key: response.get(key) for key in ("ok", "messages", "error")},
                         {"ok": True, "messages": [], "error": None})
        self.assertEqual(sorted(account["id"] for account in response["accounts"]),
                         sorted(stored["account"]["id"] for stored in self.accounts))
        self.assertEqual(sorted((c["accountID"], c["status"]) for c in response["accountChecks"]),
                         sorted((s["account"]["id"], "ready") for s in self.accounts))

    def test_5_the_host_refuses_callers_its_configuration_does_not_name(self):
        """The host, not Chromium, decides whom it serves: with the manifest still allowing the
        test extension, a configuration naming another extension (or none) refuses the request."""
        other_id = {**self.configuration, "extensionID": EXTENSION_ID[:-1] + "a"}
        rows = [
            ("configuration naming another extension", other_id,
             refused("Authentication failed.")),
            ("no configuration file", None, refused("The requested item was not found.")),
            ("configuration that is not JSON of the right shape", {"extensionID": EXTENSION_ID},
             refused("Zevirudi stopped.")),
        ]
        try:
            for name, replacement, expected in rows:
                with self.subTest(name):
                    self.session.configure(replacement)
                    self.assertEqual(self.response({"type": "status"}), expected)
        finally:
            self.session.configure(self.configuration)

    def test_6_no_token_in_answers_stderr_or_files(self):
        """No token of a stored account in any answer, in what the browser and the host wrote to
        stderr, or in any file under the temporary HOME and the install prefix. The keyring's own
        files live outside this tree (the wrapper's XDG_DATA_HOME)."""
        self.need("keyring")
        self.assertTrue(self.session.answers, "no answers were recorded, so a scan proves nothing")
        places = {f"answer {index}": text for index, text in enumerate(self.session.answers)}
        for folder, _, files in os.walk(self.session.root):
            for file_name in files:
                path = os.path.join(folder, file_name)
                if not os.path.islink(path) and os.path.isfile(path):
                    with open(path, "rb") as file:
                        places[path] = file.read().decode("latin-1")
        self.assertEqual([f"{secret[:12]}… in {place}" for place, text in places.items()
                          for secret in secrets_of(self.accounts) if secret in text], [])
        # The tokens must really be where the host reads them, or their absence means nothing.
        stored = lookup_item(f"account:{self.accounts[0]['account']['id']}")
        self.assertEqual(json.loads(stored or "null"), self.accounts[0])


if __name__ == "__main__":
    if "--private-keyring" in sys.argv:
        sys.argv.remove("--private-keyring")
        NativeHostThroughChromium.with_keyring = True
        run_in_private_keyring(__file__, "--private-keyring")
    unittest.main(verbosity=2)
