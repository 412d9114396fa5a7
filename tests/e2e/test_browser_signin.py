"""Sign-in through the browser, end to end, with real Chromium against the sandbox providers:
Gmail and Outlook over the loopback redirect (127.0.0.1, localhost), then Gmail again over the
custom scheme and the desktop's handler; both accounts must end up in the private keyring. Run
inside tests/helpers/run-with-private-keyring (CTest does); see README.md here.
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile

from chromium_driver import CHROMIUM, CHROMIUM_FLAGS, Chromium, DriverError
from e2e_session import BUILD_DIR, SOURCE_DIR
from keyring_accounts import INDEX_KEY, lookup_item
from processes import become_subreaper, start_xvfb
from sandbox_providers import SandboxProviders


REDIRECTS = {"google": "http://127.0.0.1/oauth2/callback",
             "microsoft": "http://localhost/oauth2/callback"}
CUSTOM_REDIRECT = "com.loftwing.multi:/oauth2redirect"

# Chromium as a desktop entry would start it, with the protocol on the test's FIFOs. The pipes
# folder comes through the environment, which the browser launch passes on.
WRAPPER = """#!/bin/sh
echo $$ > "$ZEVIRUDI_E2E_PIPES/pid"
exec {chromium} {flags} --user-data-dir="$HOME/.config/chromium" \\
  3<"$ZEVIRUDI_E2E_PIPES/in" 4>"$ZEVIRUDI_E2E_PIPES/out" 2>>"$ZEVIRUDI_E2E_PIPES/stderr" "$@"
"""



def when(condition, value):
    """JavaScript for the page: a promise that waits until condition holds, then gives value."""
    return (f"new Promise((resolve) => {{ const tick = () => ({condition}) ? resolve({value}) "
            f": setTimeout(tick, 20); tick(); }})")


# The consent form's button is pressed once the answer to the evaluation is on its way.
CLICK_ALLOW = when('document.getElementById("allow")',
                   '(setTimeout(() => document.getElementById("allow").click(), 0), true)')
PAGE_TEXT = when('document.body && document.body.innerText.includes("return to Zevirudi")',
                 "document.body.innerText")


class LaunchedChromium(Chromium):
    """A browser the product started, reached through FIFOs opened before; the test is a subreaper,
    so the browser becomes its child once the launcher's middle process has left."""

    def __init__(self, pipes):
        self._buffer = b""
        self._next_id = 0
        self._events = []
        self._closed = False
        self._exit_status = None
        # Read-write opens of a FIFO never block, and keep each FIFO open for the browser's own
        # opens in the wrapper.
        self._write_fd = os.open(os.path.join(pipes, "in"), os.O_RDWR | os.O_CLOEXEC)
        os.set_blocking(self._write_fd, False)
        self._read_fd = os.open(os.path.join(pipes, "out"), os.O_RDWR | os.O_CLOEXEC)
        self._pipes = pipes
        self.pid = None
        self._pidfd = None

    def find_process(self):
        """Takes the browser's pid, which the wrapper wrote before it became the browser."""
        self.call("Browser.getVersion", timeout=30)
        with open(os.path.join(self._pipes, "pid"), encoding="utf-8") as file:
            self.pid = int(file.read())
        self._pidfd = os.pidfd_open(self.pid)

    def page(self, showing, timeout=30.0):
        """Attaches to the tab once showing(its address) is true; returns the session id."""
        return self.attach(lambda info: info.get("type") == "page"
                           and showing(info.get("url", "")), timeout)

    def evaluate_loaded(self, session_id, expression, attempts=5):
        """evaluate, again when the page's first document gave way to the one being loaded
        (a tab opened with an address starts on an empty document)."""
        for attempt in range(attempts):
            try:
                return self.evaluate(session_id, expression)
            except DriverError as error:
                if "Execution context was destroyed" not in str(error) or attempt + 1 == attempts:
                    raise
        return None

    def close(self, timeout=10.0):
        if self._closed:
            return
        if self.pid is None:
            self._closed = True
            for fd in (self._write_fd, self._read_fd):
                os.close(fd)
            return
        super().close(timeout)


def sign_in(sandbox, driver, config_path, provider, env, root, loopback=True):
    """Runs the driver and plays the person at the browser; returns the account id it printed."""
    pipes = tempfile.mkdtemp(prefix=f"pipes-{provider}.", dir=root)
    for name in ("in", "out", "urls"):
        os.mkfifo(os.path.join(pipes, name), 0o600)
    browser = LaunchedChromium(pipes)
    process = subprocess.Popen([driver, config_path, provider], env={**env,
                               "ZEVIRUDI_E2E_PIPES": pipes},
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        browser.find_process()
        authorize = f"{sandbox.base_url}/{provider}/oauth/authorize?"
        consent = browser.page(lambda url: url.startswith(authorize))
        browser.evaluate_loaded(consent, CLICK_ALLOW)
        output, errors = process.communicate(timeout=60)
        if process.returncode != 0:
            raise AssertionError(f"{provider}: the driver failed: {errors.strip()}")
        if not loopback:
            return output.strip()
        # The browser shows the listener's page, then nothing listens there any more.
        origin = REDIRECTS[provider].removesuffix("/oauth2/callback")
        redirected = browser.page(lambda url: url.startswith(origin + ":")
                                  and "/oauth2/callback?" in url)
        text = browser.evaluate_loaded(redirected, PAGE_TEXT)
        if text.strip() != "You can return to Zevirudi.":
            raise AssertionError(f"{provider}: the redirect page says {text!r}")
        return output.strip()
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
        browser.close()


def main():
    if "DBUS_SESSION_BUS_ADDRESS" not in os.environ:
        print("run inside tests/helpers/run-with-private-keyring", file=sys.stderr)
        return 2
    driver = os.path.join(BUILD_DIR, "bin", "zevirudi-signin-driver")
    sandbox_executable = os.path.join(BUILD_DIR, "bin", "zevirudi-sandbox")
    become_subreaper()
    root = tempfile.mkdtemp(prefix="zevirudi-signin.")
    try:
        home = os.path.join(root, "home")
        bin_dir = os.path.join(root, "bin")
        for folder in (home, bin_dir, os.path.join(root, "no-entries")):
            os.makedirs(folder)
        wrapper = os.path.join(bin_dir, "chromium")
        with open(wrapper, "w", encoding="utf-8") as file:
            file.write(WRAPPER.format(chromium=CHROMIUM, flags=" ".join(CHROMIUM_FLAGS)))
        os.chmod(wrapper, 0o700)
        env = {"HOME": home, "PATH": f"{bin_dir}:/usr/bin:/bin", "LANG": "C.UTF-8",
               "XDG_CONFIG_HOME": os.path.join(home, ".config"),
               "XDG_CACHE_HOME": os.path.join(home, ".cache"),
               "XDG_DATA_HOME": os.path.join(root, "no-entries"),
               "XDG_DATA_DIRS": os.path.join(root, "no-entries"),
               "DBUS_SESSION_BUS_ADDRESS": os.environ["DBUS_SESSION_BUS_ADDRESS"]}

        with SandboxProviders(sandbox_executable, os.path.join(root, "sandbox.log")) as sandbox:
            sandbox.change_settings({"autoConsent": "off",
                                     "redirectURIs": [*REDIRECTS.values(), CUSTOM_REDIRECT]})
            expected = {
                "google": sandbox.create_mailbox("google", "ann@example.com", "Ann")["accountID"],
                "microsoft": sandbox.create_mailbox("microsoft", "bob@outlook.example",
                                                    "Bob")["accountID"],
            }
            configuration = sandbox.configuration(
                os.path.join(SOURCE_DIR, "tools", "sandbox", "OAuthConfig.json"),
                "fdofanllhaoohikcgegeblddpmmmhiii")
            for provider, redirect in REDIRECTS.items():
                configuration[provider]["redirectURI"] = redirect
            config_path = os.path.join(root, "OAuthConfig.json")
            with open(config_path, "w", encoding="utf-8") as file:
                json.dump(configuration, file)

            for provider in ("google", "microsoft"):
                connected = sign_in(sandbox, driver, config_path, provider, env, root)
                if connected != expected[provider]:
                    raise AssertionError(f"{provider}: connected {connected!r}, "
                                         f"expected {expected[provider]!r}")
                print(f"ok {provider}: {connected} connected through Chromium over loopback")
            first_google = json.loads(lookup_item(f"account:{expected['google']}"))

            # The custom scheme: the browser asks the desktop (xdg-open needs a display to
            # consult the scheme's handler), and this origin may open the scheme without asking.
            configuration["google"]["redirectURI"] = CUSTOM_REDIRECT
            with open(config_path, "w", encoding="utf-8") as file:
                json.dump(configuration, file)
            allow_scheme(os.path.join(home, ".config", "chromium"), sandbox.base_url)
            xvfb, env["DISPLAY"] = start_xvfb(os.path.join(root, "xvfb.log"))
            try:
                connected = sign_in(sandbox, driver, config_path, "google", env, root,
                                    loopback=False)
            finally:
                xvfb.end()
            if connected != expected["google"]:
                raise AssertionError(f"custom scheme: connected {connected!r}")
            print(f"ok google: {connected} connected again through the custom scheme")

        index = json.loads(lookup_item(INDEX_KEY) or b"[]")
        if index != [expected["google"], expected["microsoft"]]:
            raise AssertionError(f"the keyring's account index is {index!r}")
        for account_id in index:
            stored = json.loads(lookup_item(f"account:{account_id}"))
            if not stored["tokens"]["accessToken"] or not stored["tokens"].get("refreshToken"):
                raise AssertionError(f"{account_id} was saved without its tokens")
        google = json.loads(lookup_item(f"account:{expected['google']}"))
        if google["tokens"]["accessToken"] == first_google["tokens"]["accessToken"]:
            raise AssertionError("the second Gmail sign-in did not replace the tokens")
        print("ok keyring: both accounts saved with their tokens, Gmail's the newer ones")
        return 0
    finally:
        shutil.rmtree(root, ignore_errors=True)


def allow_scheme(user_data_dir, origin):
    """The profile's permission for the page at origin to open the redirect scheme, as a person
    gives it by ticking "Always allow" in the browser's question."""
    path = os.path.join(user_data_dir, "Default", "Preferences")
    preferences = {}
    if os.path.exists(path):
        with open(path, encoding="utf-8") as file:
            preferences = json.load(file)
    handlers = preferences.setdefault("protocol_handler", {})
    pairs = handlers.setdefault("allowed_origin_protocol_pairs", {})
    pairs[origin] = {CUSTOM_REDIRECT.split(":")[0]: True}
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as file:
        json.dump(preferences, file)


if __name__ == "__main__":
    sys.exit(main())
