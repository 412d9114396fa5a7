"""End to end: a real headless Chromium loads the test extension, and the extension's
chrome.runtime.sendNativeMessage starts a copy of the built zevirudi host through the native
messaging host manifest, exactly as a person's browser would.

Run by CTest (label e2e) as `/usr/bin/python3 test_native_host.py`; prints one line per check and
'N passed, N failed, N skipped', and exits non-zero when a check failed.

What runs depends on what the product already does, decided from the source tree and the
environment rather than from the host's answers, so that a host that stops handling a request
fails a check instead of skipping it:
  requests  the host handles requests (app/ defines handleNativeRequest)
  panel     the host shows the notification panel (app/ defines NotchPanelController)
  keyring   the process runs inside tests/helpers/run-with-private-keyring
  sandbox   the loopback provider stand-in is built (build/bin/zevirudi-sandbox)
"""

import base64
import json
import os
import signal
import sys
import traceback

sys.dont_write_bytecode = True  # keep the source tree clean when CTest runs this
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from chromium_driver import DriverError  # noqa: E402
from e2e_session import (BUILD_DIR, EXTENSION_ID, SOURCE_DIR, BrowserSession,  # noqa: E402
                         test_configuration)
from keyring_accounts import lookup_item, seed_accounts, stored_account  # noqa: E402
from processes import PanelWatch, become_subreaper, reap_orphans  # noqa: E402

KEYRING_WRAPPER = os.path.join(SOURCE_DIR, "tests", "helpers", "run-with-private-keyring")

NOT_SUPPORTED = "The native request type is not supported."
EMPTY = {"ok": False, "messages": [], "accounts": [], "warnings": [], "accountChecks": []}


def refused(error):
    return {**EMPTY, "error": error}


def source_defines(name):
    """Whether some C++ source under app/ mentions `name` followed by an opening parenthesis."""
    for folder, _, files in os.walk(os.path.join(SOURCE_DIR, "app")):
        for file_name in files:
            if file_name.endswith(".cpp"):
                with open(os.path.join(folder, file_name), encoding="utf-8",
                          errors="replace") as source:
                    if f"{name}(" in source.read():
                        return True
    return False


def detect_capabilities(with_keyring):
    capabilities = set()
    if source_defines("handleNativeRequest"):
        capabilities.add("requests")
    else:
        capabilities.add("interim")
    if source_defines("NotchPanelController"):
        capabilities.add("panel")
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


# Two accounts as the account store keeps them; the tokens are unique per run so that the leak
# scan cannot be fooled by a value that occurs elsewhere by chance.
RUN_TAG = base64.b32encode(os.urandom(10)).decode().lower()
ACCOUNTS = [
    stored_account("google:e2e-ben", "google", "ben.e2e@gmail.example", "Ben E2E",
                   f"ya29.e2e-access-{RUN_TAG}-ben", f"1//e2e-refresh-{RUN_TAG}-ben"),
    stored_account("microsoft:e2e-ada", "microsoft", "Ada.e2e@outlook.example", None,
                   f"EwB-e2e-access-{RUN_TAG}-ada", f"M.R3-e2e-refresh-{RUN_TAG}-ada"),
]
SECRETS = [value for account in ACCOUNTS for value in
           (account["tokens"]["accessToken"], account["tokens"]["refreshToken"])]

# The requests whose answers are fixed, one row each: (name, needs, request, expected response).
# A row runs when every capability it needs is present.
REQUEST_TABLE = [
    ("status answered by the interim host", {"interim"}, {"type": "status"},
     refused(NOT_SUPPORTED)),
    ("status lists the stored accounts sorted by e-mail", {"requests", "keyring"},
     {"type": "status"},
     {**EMPTY, "ok": True, "accounts": [ACCOUNTS[1]["account"], ACCOUNTS[0]["account"]]}),
    ("status without a keyring says so", {"requests", "no-keyring"}, {"type": "status"},
     refused("Connected accounts could not be read. The system keyring is not available. "
             "Start GNOME Keyring or KWallet and try again.")),
    ("unknown type", set(), {"type": "Status"}, refused(NOT_SUPPORTED)),
    ("poll with an origin ending in a slash", {"requests"},
     {"type": "poll", "origin": "https://accounts.example.com/", "sinceEpochMilliseconds": 0,
      "seenMessageIDs": []},
     refused("The page origin is not valid.")),
    ("poll with an upper-case scheme", {"requests"},
     {"type": "poll", "origin": "HTTPS://accounts.example.com", "sinceEpochMilliseconds": 0},
     refused("The page origin is not valid.")),
    ("poll without a start time", {"requests"},
     {"type": "poll", "origin": "https://accounts.example.com"},
     refused("The page origin is not valid.")),
    ("code notification with a letters-only code", {"requests"},
     {"type": "presentCodeNotification",
      "codeNotification": {"code": "ABCDEF", "destinationHost": "example.com",
                           "source": "Example", "providerLabel": "Gmail", "wasCopied": False}},
     refused("The code notification is not valid.")),
]

# An accepted code notification: the host answers, then leaves a panel behind.
CODE_NOTIFICATION = {
    "type": "presentCodeNotification",
    "codeNotification": {"code": "482913", "destinationHost": "Accounts.Example.com",
                         "source": "Example sign-in", "accountEmail": "ben.e2e@gmail.example",
                         "providerLabel": "Gmail", "wasCopied": True},
}

# How long the panel must outlive the host: Chromium kills the host about 2 s after the reply.
PANEL_SURVIVAL_SECONDS = 5.0


class Checks:
    """A tiny runner: checks run in the order given, each passes, fails or is skipped."""

    def __init__(self):
        self.passed = self.failed = self.skipped = 0

    def run(self, name, needs, capabilities, check):
        missing = needs - capabilities
        if missing:
            self.skipped += 1
            print(f"SKIP {name} (needs {', '.join(sorted(missing))})", flush=True)
            return
        try:
            check()
        except Exception:  # a failing check must not stop the others
            self.failed += 1
            print(f"FAIL {name}\n{traceback.format_exc()}", flush=True)
            return
        self.passed += 1
        print(f"PASS {name}", flush=True)


def expect_equal(actual, expected, what):
    if actual != expected:
        raise AssertionError(f"{what}:\n  expected {json.dumps(expected, sort_keys=True)}\n"
                             f"  actual   {json.dumps(actual, sort_keys=True)}")


def check_request_row(session, request, expected):
    answer = session.send(request)
    if "lastError" in answer:
        raise AssertionError(f"Chromium could not reach the host: {answer['lastError']}")
    expect_equal(answer["response"], expected, "response")


def check_forbidden_origin(session):
    """With another extension as the manifest's only allowed origin, Chromium refuses to start
    the host; with the right one, the host answers. So the answers above came from our binary,
    started by Chromium through this manifest."""
    session.allow_only("a" * 32)
    try:
        answer = session.send({"type": "Status"})
    finally:
        session.allow_only(EXTENSION_ID)
    expect_equal(answer, {"lastError": "Access to the specified native messaging host is "
                                       "forbidden."}, "answer for a foreign allowed origin")
    answer = session.send({"type": "Status"})
    expect_equal(answer, {"response": refused(NOT_SUPPORTED)}, "answer after restoring")


def check_configuration_rows(session):
    """The host, not Chromium, decides whom it serves: with the manifest still allowing the test
    extension, a configuration naming another extension (or none at all) refuses the request."""
    other_id = test_configuration()
    other_id["extensionID"] = EXTENSION_ID[:-1] + "a"
    rows = [
        ("configuration naming another extension", other_id, refused("Authentication failed.")),
        ("no configuration file", None, refused("The requested item was not found.")),
        ("configuration that is not JSON of the right shape", {"extensionID": EXTENSION_ID},
         refused("Zevirudi stopped.")),
    ]
    failures = []
    try:
        for name, configuration, expected in rows:
            session.configure(configuration)
            try:
                check_request_row(session, {"type": "status"}, expected)
            except AssertionError as failure:
                failures.append(f"{name}: {failure}")
    finally:
        session.configure(test_configuration())
    if failures:
        raise AssertionError("\n".join(failures))


def check_code_notification_panel(session):
    """The extension gets its answer at once, and the panel lives in a process of its own
    session that is still there after Chromium has killed the host."""
    watch = PanelWatch(session.host_path)
    answer = session.send(CODE_NOTIFICATION)
    expect_equal(answer, {"response": {**EMPTY, "ok": True}}, "answer")
    panel = watch.find_panel(timeout=5.0)
    try:
        if not panel.is_session_leader():
            raise AssertionError("the panel process does not lead a session of its own")
        if not panel.still_running_after(PANEL_SURVIVAL_SECONDS):
            raise AssertionError(f"the panel ended within {PANEL_SURVIVAL_SECONDS} s")
    finally:
        panel.end()


def check_no_secret_leaks(session):
    """No token of a stored account in any answer, in what the browser and the host wrote to
    stderr, or in any file under the temporary HOME and the install prefix. The keyring's own
    files live outside this tree (the wrapper's XDG_DATA_HOME)."""
    places = {f"answer {index}": text for index, text in enumerate(session.answers)}
    for folder, _, files in os.walk(session.root):
        for file_name in files:
            path = os.path.join(folder, file_name)
            if os.path.islink(path) or not os.path.isfile(path):
                continue
            with open(path, "rb") as file:
                places[path] = file.read().decode("latin-1")
    leaks = [f"{secret[:12]}… in {place}" for place, text in places.items()
             for secret in SECRETS if secret in text]
    if leaks:
        raise AssertionError("secrets found:\n  " + "\n  ".join(leaks))
    if not session.answers:
        raise AssertionError("no answers were recorded, so the scan proved nothing")
    # The tokens must really be where the host reads them, or their absence above means nothing.
    stored = lookup_item(f"account:{ACCOUNTS[0]['account']['id']}")
    if stored is None or json.loads(stored) != ACCOUNTS[0]:
        raise AssertionError("the seeded account is not in the keyring")


def main(argv):
    with_keyring = "--private-keyring" in argv
    if with_keyring and not os.environ.get("ZEVIRUDI_TEST_KEYRING_PASSWORD"):
        if os.access(KEYRING_WRAPPER, os.X_OK):
            os.execv(KEYRING_WRAPPER, [KEYRING_WRAPPER, sys.executable, *argv])
        print(f"note: {KEYRING_WRAPPER} is missing; running without a keyring", flush=True)
    become_subreaper()
    capabilities = detect_capabilities(with_keyring)
    print(f"extension {EXTENSION_ID}; capabilities: {', '.join(sorted(capabilities))}",
          flush=True)
    if "keyring" in capabilities:
        seed_accounts(ACCOUNTS)
    try:
        checks = run_checks(capabilities)
    finally:
        reap_orphans(timeout=10.0)
    print(f"{checks.passed} passed, {checks.failed} failed, {checks.skipped} skipped")
    return 1 if checks.failed else 0


def run_checks(capabilities):
    checks = Checks()
    try:
        session = BrowserSession(test_configuration(), use_session_bus="keyring" in capabilities,
                                 with_display="panel" in capabilities)
    except (DriverError, OSError, RuntimeError):
        traceback.print_exc()
        checks.failed += 1
        return checks
    with session:
        for name, needs, request, expected in REQUEST_TABLE:
            checks.run(name, needs, capabilities,
                       lambda r=request, e=expected: check_request_row(session, r, e))
        checks.run("a foreign allowed origin is refused by Chromium", set(), capabilities,
                   lambda: check_forbidden_origin(session))
        checks.run("the host refuses callers its configuration does not name", {"requests"},
                   capabilities, lambda: check_configuration_rows(session))
        checks.run("code notification panel outlives the host", {"requests", "panel"},
                   capabilities, lambda: check_code_notification_panel(session))
        checks.run("no token in answers, stderr or files", {"keyring"}, capabilities,
                   lambda: check_no_secret_leaks(session))
    return checks


if __name__ == "__main__":
    signal.signal(signal.SIGPIPE, signal.SIG_DFL)
    sys.exit(main([os.path.abspath(__file__), *sys.argv[1:]]))
