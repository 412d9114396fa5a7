"""End to end: Chromium loads the product's own extension (the built
share/zevirudi/DuraredeVodozAzerideve), the installed host reads the sandbox's mail from accounts
in a private keyring, and local sign-in pages wait for codes.

Run by CTest (label e2e) as `/usr/bin/python3 test_extension.py`; it re-runs itself inside
tests/helpers/run-with-private-keyring. Needs the sandbox (build/bin/zevirudi-sandbox)."""

import base64
import json
import os
import sys
import unittest

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from chromium_driver import extension_id_from_key, serve_pages  # noqa: E402
from e2e_session import (BUILD_DIR, SOURCE_DIR, BrowserSession,  # noqa: E402
                         run_in_private_keyring)
from keyring_accounts import seed_accounts, stored_account  # noqa: E402
from processes import PanelWatch, become_subreaper, reap_orphans, wait_until  # noqa: E402
from sandbox_providers import SandboxProviders  # noqa: E402

EXTENSION_DIR = os.path.join(BUILD_DIR, "share", "zevirudi", "DuraredeVodozAzerideve")
WAIT_SECONDS = 30.0

SPLIT_PAGE = """<!doctype html><title>Sign in</title><form onsubmit="return false">
<p>Enter the code we sent you</p><div style="display:flex;gap:6px">
<div><input maxlength="1" size="1" inputmode="numeric" aria-label="Digit 1"></div>
<div><input maxlength="1" size="1" inputmode="numeric" aria-label="Digit 2"></div>
<div><input maxlength="1" size="1" inputmode="numeric" aria-label="Digit 3"></div>
<div><input maxlength="1" size="1" inputmode="numeric" aria-label="Digit 4"></div>
<div><input maxlength="1" size="1" inputmode="numeric" aria-label="Digit 5"></div>
<div><input maxlength="1" size="1" inputmode="numeric" aria-label="Digit 6"></div>
</div><button>Verify</button></form>
<script>let typed = 0; document.addEventListener('input', () => { typed += 1; });</script>"""

# A field that waits for a code but is too short for the one that arrives: the code goes to the
# desktop panel instead.
SHORT_FIELD_PAGE = """<!doctype html><title>Verify</title>
<label>Verification code <input name="otp" maxlength="4" autocomplete="one-time-code"></label>"""

PAGES = {"/split": SPLIT_PAGE, "/short": SHORT_FIELD_PAGE}


class ExtensionInChromium(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with open(os.path.join(EXTENSION_DIR, "manifest.json"), encoding="utf-8") as file:
            extension_id = extension_id_from_key(base64.b64decode(json.load(file)["key"]))
        cls.extension_origin = f"chrome-extension://{extension_id}"
        cls.server, cls.page_base = serve_pages(PAGES)
        cls.sandbox = SandboxProviders(os.path.join(BUILD_DIR, "bin", "zevirudi-sandbox"),
                                       os.path.join(BUILD_DIR, "e2e-extension-sandbox.log"))
        try:
            mailbox = cls.sandbox.create_mailbox("google", "ann.extension@gmail.example", "Ann")
            cls.account_id = mailbox["accountID"]
            tokens = cls.sandbox.issue_tokens(cls.account_id)
            seed_accounts([stored_account(cls.account_id, "google", "ann.extension@gmail.example",
                                          "Ann", tokens["access_token"], tokens["refresh_token"],
                                          tokens["expires_in"])])
            configuration = cls.sandbox.configuration(
                os.path.join(SOURCE_DIR, "tools", "sandbox", "OAuthConfig.json"), extension_id)
            cls.session = BrowserSession(configuration, use_session_bus=True, with_display=True,
                                         extension_dir=EXTENSION_DIR)
        except BaseException:
            cls.sandbox.stop()
            cls.server.shutdown()
            raise
        cls.browser = cls.session.browser
        cls.host_path = cls.session.host_path

    @classmethod
    def tearDownClass(cls):
        cls.session.close()
        cls.sandbox.stop()
        cls.server.shutdown()

    def setUp(self):
        self.delivered = []

    def tearDown(self):
        # Each test starts from an empty inbox: a new tab would be offered earlier codes too.
        for message_id in self.delivered:
            self.sandbox.delete_message(self.account_id, message_id)

    def open_page(self, path, base=None):
        target = self.browser.call("Target.createTarget", {"url": (base or self.page_base) + path})
        session = self.browser.call("Target.attachToTarget",
                                    {"targetId": target["targetId"], "flatten": True})["sessionId"]
        wait_until(lambda: self.evaluate(session, "document.readyState") == "complete",
                   "the page to load")
        return session

    def evaluate(self, session, expression):
        return self.browser.evaluate(session, expression)

    def deliver(self, subject, text, html=""):
        self.delivered.append(self.sandbox.add_message(
            self.account_id, subject, text, "Example Sign-in <no-reply@example.com>", html=html,
            authenticationResults=["mx.google.com; dkim=pass; spf=pass; dmarc=pass"])["id"])

    def gmail_lists(self):
        return self.sandbox.counters().get("gmail.list", 0)

    def save_screenshot(self, session, name):
        shot = self.browser.call("Page.captureScreenshot", {"format": "png"}, session)
        folder = os.path.join(BUILD_DIR, "screenshots")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, name), "wb") as file:
            file.write(base64.b64decode(shot["data"]))

    def click_chip(self, session):
        box = wait_until(lambda: self.evaluate(session, """(() => {
            const chip = document.querySelector('[data-zevirudi-chip]');
            if (!chip) return null;
            const r = chip.getBoundingClientRect();
            return r.width > 0 ? {x: r.left + 12, y: r.top + r.height / 2} : null; })()"""),
            "the code chip beside the field")
        self.save_screenshot(session, "extension-code-chip.png")
        for kind in ("mousePressed", "mouseReleased"):
            self.browser.call("Input.dispatchMouseEvent",
                              {"type": kind, "x": box["x"], "y": box["y"], "button": "left",
                               "clickCount": 1}, session)

    def test_a_code_in_the_inbox_fills_the_split_field_on_click(self):
        session = self.open_page("/split")
        self.deliver("Your Example sign-in code", "Your verification code is 482913.")
        self.click_chip(session)
        filled = wait_until(lambda: self.evaluate(
            session, "[...document.querySelectorAll('input')].map(i => i.value).join('')")
            == "482913", "the six boxes to hold the code")
        self.assertTrue(filled)
        # Frameworks see typing: one input event per box, and the form was not submitted.
        self.assertEqual(self.evaluate(session, "typed"), 6)
        self.assertEqual(self.evaluate(session, "location.pathname"), "/split")
        self.assertIsNone(self.evaluate(session, "document.querySelector('[data-zevirudi-chip]')"))

    def test_a_code_no_field_can_take_goes_to_the_panel(self):
        watch = PanelWatch(self.host_path, self.browser.session_id)
        self.open_page("/short")
        self.deliver("Your Example code", "Your one-time code: 735104")
        panels = watch.find_panels(WAIT_SECONDS)
        for panel in panels:
            panel.end()

    def test_the_popup_lists_the_inbox_with_its_check(self):
        session = self.open_page("/popup.html", self.extension_origin)
        line = wait_until(lambda: self.evaluate(
            session, "document.querySelector('#accounts li.ready')?.innerText"),
            "the checked inbox in the popup")
        self.assertEqual(line, "ann.extension@gmail.example\nGmail · Mail access works")
        self.assertEqual(self.evaluate(session, "summary.textContent"), "1 inbox connected")
        self.browser.call("Emulation.setDeviceMetricsOverride",
                          {"width": 340, "height": 150, "deviceScaleFactor": 1, "mobile": False},
                          session)
        self.save_screenshot(session, "extension-popup.png")

    def test_only_links_to_the_page_site_are_offered(self):
        watch = PanelWatch(self.host_path, self.browser.session_id)
        session = self.open_page("/short")
        self.deliver("Sign in to Example",
                     "Sign in with this link: https://login.example.net/magic?t=1",
                     '<a href="https://login.example.net/magic?t=1">Sign in</a>')
        # Two polls after the delivery have seen the message: no panel, no chip.
        lists = self.gmail_lists()
        wait_until(lambda: self.gmail_lists() >= lists + 2, "two polls of the inbox")
        with self.assertRaises(AssertionError):
            watch.find_panels(timeout=0.5)
        self.assertIsNone(self.evaluate(session, "document.querySelector('[data-zevirudi-chip]')"))
        # The same kind of link to the page's own host is offered, through the panel.
        self.deliver("Sign in to Example", "",
                     '<a href="https://127.0.0.1/magic?t=2">Sign in to Example</a>')
        for panel in watch.find_panels(WAIT_SECONDS):
            panel.end()

def main():
    run_in_private_keyring(__file__, *sys.argv[1:])
    become_subreaper()
    try:
        program = unittest.main(exit=False, verbosity=2)
    finally:
        reap_orphans(timeout=10.0)
    result = program.result
    print(f"{result.testsRun - len(result.failures) - len(result.errors)} passed, "
          f"{len(result.failures) + len(result.errors)} failed")
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
