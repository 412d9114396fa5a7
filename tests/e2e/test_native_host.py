"""End to end: a real headless Chromium loads the test extension, and the extension's
chrome.runtime.sendNativeMessage starts a copy of the built zevirudi host through the native
messaging host manifest, exactly as a person's browser would.

Run by CTest (label e2e) as `/usr/bin/python3 test_native_host.py [--private-keyring]`; with the
option it re-runs itself inside tests/helpers/run-with-private-keyring and hands that session bus
to the browser, without it the browser and the host get no session bus at all. Prints one line per
check and 'N passed, N failed, N skipped', and exits non-zero when a check failed.

What runs depends on the environment, never on the host's answers, so that a host that stops
handling a request fails a check instead of skipping it:
  keyring   the process runs inside tests/helpers/run-with-private-keyring
  sandbox   the loopback provider stand-in is built (build/bin/zevirudi-sandbox)
"""

import json
import os
import sys
import time
import traceback

sys.dont_write_bytecode = True  # keep the source tree clean when CTest runs this
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from e2e_session import (BUILD_DIR, EXTENSION_ID, SOURCE_DIR, BrowserSession,  # noqa: E402
                         test_configuration)
from keyring_accounts import lookup_item, seed_accounts  # noqa: E402
from native_host_cases import (CODE_NOTIFICATION, EMPTY, NOT_SUPPORTED, PAGE_ORIGIN,  # noqa: E402
                               made_up_accounts, refused, request_table, sandbox_accounts,
                               secrets_of)
from processes import PanelWatch, become_subreaper, reap_orphans  # noqa: E402
from sandbox_providers import SandboxProviders  # noqa: E402

KEYRING_WRAPPER = os.path.join(SOURCE_DIR, "tests", "helpers", "run-with-private-keyring")


def detect_capabilities(with_keyring):
    capabilities = {"requests", "panel"}
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


# Chromium kills the host about 2 s after the reply: the host must have ended by itself before,
# and the panel must outlive that moment clearly.
HOST_EXIT_SECONDS = 1.5
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


def check_fresh_message_poll(session, sandbox, accounts):
    """A message delivered to each sandbox mailbox (Gmail and Graph) after the page started
    waiting comes back from one poll with its code in the text; sent again as seen, they are not
    returned."""
    started = int(time.time() * 1000) - 60_000
    delivered = {}
    for stored in accounts:
        account = stored["account"]
        code = str(int.from_bytes(os.urandom(3), "big") % 900000 + 100000)
        message = sandbox.add_message(account["id"], "Your Example sign-in code",
                                      f"Your sign-in code is {code}. It expires in 10 minutes.",
                                      "Example Accounts <no-reply@accounts.example.com>")
        delivered[message["messageID"]] = (account, code)
    poll = {"type": "poll", "origin": PAGE_ORIGIN, "sinceEpochMilliseconds": started,
            "seenMessageIDs": []}
    answer = session.send(poll)
    if "lastError" in answer:
        raise AssertionError(f"Chromium could not reach the host: {answer['lastError']}")
    response = answer["response"]
    expect_equal(response.get("ok"), True, "ok")
    expect_equal(sorted((c["accountID"], c["status"]) for c in response["accountChecks"]),
                 sorted((stored["account"]["id"], "ready") for stored in accounts),
                 "account checks")
    returned = {message["id"]: message for message in response["messages"]}
    for message_id, (account, code) in delivered.items():
        message = returned.get(message_id)
        if message is None:
            raise AssertionError(f"message {message_id} not returned: {sorted(returned)}")
        expect_equal({key: message[key] for key in ("accountID", "provider", "accountEmail",
                                                    "subject")},
                     {"accountID": account["id"], "provider": account["provider"],
                      "accountEmail": account["email"], "subject": "Your Example sign-in code"},
                     f"message {message_id}")
        if code not in message["text"]:
            raise AssertionError(f"the code is not in the text of {message_id}")
    again = session.send({**poll, "seenMessageIDs": sorted(delivered)})["response"]
    repeated = [m["id"] for m in again["messages"] if m["id"] in delivered]
    if repeated:
        raise AssertionError(f"seen messages returned again: {repeated}")


def check_health(session, accounts):
    """"health" reads every mailbox like a poll but hands back no mail, only the accounts and
    their checks."""
    answer = session.send({"type": "health"})
    if "lastError" in answer:
        raise AssertionError(f"Chromium could not reach the host: {answer['lastError']}")
    response = answer["response"]
    expect_equal({key: response.get(key) for key in ("ok", "messages", "error")},
                 {"ok": True, "messages": [], "error": None}, "health")
    expect_equal(sorted(account["id"] for account in response["accounts"]),
                 sorted(stored["account"]["id"] for stored in accounts), "accounts")
    expect_equal(sorted((c["accountID"], c["status"]) for c in response["accountChecks"]),
                 sorted((stored["account"]["id"], "ready") for stored in accounts),
                 "account checks")


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


def check_configuration_rows(session, configuration):
    """The host, not Chromium, decides whom it serves: with the manifest still allowing the test
    extension, a configuration naming another extension (or none at all) refuses the request."""
    other_id = dict(configuration)
    other_id["extensionID"] = EXTENSION_ID[:-1] + "a"
    rows = [
        ("configuration naming another extension", other_id, refused("Authentication failed.")),
        ("no configuration file", None, refused("The requested item was not found.")),
        ("configuration that is not JSON of the right shape", {"extensionID": EXTENSION_ID},
         refused("Zevirudi stopped.")),
    ]
    failures = []
    try:
        for name, replacement, expected in rows:
            session.configure(replacement)
            try:
                check_request_row(session, {"type": "status"}, expected)
            except AssertionError as failure:
                failures.append(f"{name}: {failure}")
    finally:
        session.configure(configuration)
    if failures:
        raise AssertionError("\n".join(failures))


def check_code_notification_panel(session):
    """The extension gets its answer at once; the host Chromium started ends by itself before
    Chromium would kill it, and the panel lives on in a process outside the browser's session."""
    watch = PanelWatch(session.host_path, session.browser.session_id)
    answer = session.send(CODE_NOTIFICATION)
    expect_equal(answer, {"response": {**EMPTY, "ok": True}}, "answer")
    lingering = watch.hosts_outliving(HOST_EXIT_SECONDS)
    if lingering:
        raise AssertionError(f"host processes {lingering} still ran {HOST_EXIT_SECONDS} s after "
                             "the answer")
    panels = watch.find_panels(timeout=5.0)
    deadline = time.monotonic() + PANEL_SURVIVAL_SECONDS
    survivors = [panel for panel in panels
                 if not panel.wait_for_end(max(deadline - time.monotonic(), 0))]
    for panel in panels:
        if panel in survivors:
            panel.end()
        else:
            panel.close()
    if not survivors:
        raise AssertionError(f"no panel process lived {PANEL_SURVIVAL_SECONDS} s")


def check_no_secret_leaks(session, accounts):
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
             for secret in secrets_of(accounts) if secret in text]
    if leaks:
        raise AssertionError("secrets found:\n  " + "\n  ".join(leaks))
    if not session.answers:
        raise AssertionError("no answers were recorded, so the scan proved nothing")
    # The tokens must really be where the host reads them, or their absence above means nothing.
    stored = lookup_item(f"account:{accounts[0]['account']['id']}")
    if stored is None or json.loads(stored) != accounts[0]:
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
    try:
        checks = run_checks(capabilities)
    finally:
        reap_orphans(timeout=10.0)
    print(f"{checks.passed} passed, {checks.failed} failed, {checks.skipped} skipped")
    return 1 if checks.failed else 0


def run_checks(capabilities):
    checks = Checks()
    sandbox = None
    try:
        configuration = test_configuration()
        accounts = made_up_accounts()
        if "sandbox" in capabilities:
            sandbox = SandboxProviders(os.path.join(BUILD_DIR, "bin", "zevirudi-sandbox"),
                                       os.path.join(BUILD_DIR, "e2e-sandbox.log"))
            template = os.path.join(SOURCE_DIR, "tools", "sandbox", "OAuthConfig.json")
            if os.path.isfile(template):
                configuration = sandbox.configuration(template, EXTENSION_ID)
            else:
                configuration["google"] = sandbox.provider_configuration("google")
                configuration["microsoft"] = sandbox.provider_configuration("microsoft")
            accounts = sandbox_accounts(sandbox)
        if "keyring" in capabilities:
            seed_accounts(accounts)
        session = BrowserSession(configuration, use_session_bus="keyring" in capabilities,
                                 with_display="panel" in capabilities)
    except Exception:  # any failure to set up is one failed check, reported in full
        traceback.print_exc()
        checks.failed += 1
        if sandbox:
            sandbox.stop()
        return checks
    with session:
        for name, needs, request, expected in request_table(accounts):
            checks.run(name, needs, capabilities,
                       lambda r=request, e=expected: check_request_row(session, r, e))
        checks.run("poll returns fresh Gmail and Graph messages, then respects seen ids",
                   {"requests", "keyring", "sandbox"}, capabilities,
                   lambda: check_fresh_message_poll(session, sandbox, accounts))
        checks.run("health checks every sandbox mailbox and returns no mail",
                   {"requests", "keyring", "sandbox"}, capabilities,
                   lambda: check_health(session, accounts))
        checks.run("a foreign allowed origin is refused by Chromium", set(), capabilities,
                   lambda: check_forbidden_origin(session))
        checks.run("the host refuses callers its configuration does not name", {"requests"},
                   capabilities, lambda: check_configuration_rows(session, configuration))
        checks.run("code notification panel outlives the host", {"requests", "panel"},
                   capabilities, lambda: check_code_notification_panel(session))
        checks.run("no token in answers, stderr or files", {"keyring"}, capabilities,
                   lambda: check_no_secret_leaks(session, accounts))
    if sandbox:
        sandbox.stop()
    return checks


if __name__ == "__main__":
    sys.exit(main([os.path.abspath(__file__), *sys.argv[1:]]))
