"""One end-to-end setup: a temporary HOME whose ~/.config/chromium is Chromium's profile, an install
prefix holding a copy of the built host, the host manifest, optionally Xvfb, and the browser
attached to the test extension's service worker."""

import base64
import json
import os
import shutil
import sys
import tempfile

from chromium_driver import Chromium, extension_id_from_key
from host_prefix import install_host_copy, manifest_path, run_installer
from processes import start_xvfb

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.environ.get("ZEVIRUDI_SOURCE_DIR", os.path.dirname(os.path.dirname(HERE)))
BUILD_DIR = os.environ.get("ZEVIRUDI_BUILD_DIR", os.path.join(SOURCE_DIR, "build"))
EXTENSION_DIR = os.path.join(HERE, "extension")
KEYRING_WRAPPER = os.path.join(SOURCE_DIR, "tests", "helpers", "run-with-private-keyring")

with open(os.path.join(EXTENSION_DIR, "manifest.json"), encoding="utf-8") as manifest_file:
    EXTENSION_ID = extension_id_from_key(base64.b64decode(json.load(manifest_file)["key"]))


def run_in_private_keyring(script, *arguments):
    """Runs the script again inside a private keyring, unless it already runs in one."""
    if not os.environ.get("ZEVIRUDI_TEST_KEYRING_PASSWORD"):
        os.execv(KEYRING_WRAPPER, [KEYRING_WRAPPER, sys.executable, os.path.abspath(script),
                                   *arguments])


def host_environment(home):
    """A host's environment as a browser would give it, with this process's session bus."""
    env = {"PATH": "/usr/bin:/bin", "HOME": home, "LANG": "C.UTF-8"}
    for name in ("DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"):
        if name in os.environ:
            env[name] = os.environ[name]
    return env


class HostCopy:
    """The built host installed in a temporary prefix with the given configuration, and an
    environment for it as a browser would give it; close() removes it."""

    def __init__(self, configuration):
        self.root = tempfile.mkdtemp(prefix="zevirudi-host.")
        self.host = install_host_copy(BUILD_DIR, os.path.join(self.root, "prefix"), configuration)
        self.env = host_environment(self.root)

    def close(self):
        shutil.rmtree(self.root, ignore_errors=True)


def provider_configuration(provider):
    """Endpoints on a closed loopback port until the sandbox providers run in the test."""
    return {
        "clientID": f"zevirudi-e2e-{provider}",
        "redirectURI": "com.loftwing.multi.e2e:/oauth2redirect",
        "authorizationEndpoint": f"http://127.0.0.1:9/{provider}/authorize",
        "tokenEndpoint": f"http://127.0.0.1:9/{provider}/token",
        "scopes": ["mail.read"],
    }


def test_configuration():
    """OAuthConfig.json for the host copy: the test extension is the one allowed caller."""
    return {
        "extensionID": EXTENSION_ID,
        "extensionInstallURL": "https://example.invalid/zevirudi-e2e",
        "google": provider_configuration("google"),
        "microsoft": provider_configuration("microsoft"),
    }


class BrowserSession:
    """Use as a context manager; leaving it closes the browser, stops Xvfb and removes the
    temporary tree.

    use_session_bus: hand this process's D-Bus session (the private keyring's) to the browser
    and so to the host; without it the host finds no session bus at all.
    with_display: start Xvfb and give its DISPLAY to the browser and so to the host.
    extension_dir: the extension the browser loads; only the test extension's service worker is
    attached to for send()."""

    def __init__(self, configuration, use_session_bus, with_display, extension_dir=EXTENSION_DIR):
        self.root = tempfile.mkdtemp(prefix="zevirudi-e2e.")
        self.home = os.path.join(self.root, "home")
        self.user_data_dir = os.path.join(self.home, ".config", "chromium")
        self.stderr_path = os.path.join(self.root, "chromium.stderr")
        self.answers = []
        self.xvfb = None
        self.browser = None
        try:
            os.makedirs(self.home)
            self.host_path = install_host_copy(BUILD_DIR, os.path.join(self.root, "prefix"),
                                               configuration)
            run_installer(self.host_path, os.path.join(self.home, ".config"))
            if not os.path.exists(manifest_path(self.user_data_dir)):
                raise RuntimeError("the installer wrote no manifest where Chromium reads it")
            env = host_environment(self.home) if use_session_bus else {
                "HOME": self.home, "PATH": "/usr/bin:/bin", "LANG": "C.UTF-8"}
            env.update({"XDG_CONFIG_HOME": os.path.join(self.home, ".config"),
                        "XDG_CACHE_HOME": os.path.join(self.home, ".cache"),
                        "XDG_DATA_HOME": os.path.join(self.home, ".local", "share")})
            if with_display:
                self.xvfb, env["DISPLAY"] = start_xvfb(os.path.join(self.root, "xvfb.log"))
            self.browser = Chromium(self.user_data_dir, extension_dir, env, self.stderr_path)
            if extension_dir == EXTENSION_DIR:
                self.worker = self.browser.attach_to_service_worker(EXTENSION_ID)
        except BaseException:
            self.close()
            raise

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def send(self, message, timeout=30.0):
        """What the extension got back: {"response": ...} or {"lastError": text}. Every answer
        is kept as text for the leak scan."""
        answer = self.browser.evaluate(self.worker, f"send({json.dumps(message)})", timeout)
        self.answers.append(json.dumps(answer))
        return answer

    def configure(self, configuration):
        """Replaces the host copy's OAuthConfig.json; None removes it. The host reads it anew for
        every request."""
        path = os.path.join(self.root, "prefix", "share", "zevirudi", "OAuthConfig.json")
        if configuration is None:
            os.remove(path)
            return
        with open(path, "w", encoding="utf-8") as file:
            json.dump(configuration, file, indent=2)

    def close(self):
        if self.browser:
            self.browser.close()
            self.browser = None
        if self.xvfb:
            self.xvfb.end()
            self.xvfb = None
        shutil.rmtree(self.root, ignore_errors=True)
