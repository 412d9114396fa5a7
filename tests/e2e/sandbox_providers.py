"""The loopback stand-in for Google's and Microsoft's OAuth, profile and mail endpoints
(build/bin/zevirudi-sandbox), started on a port the system picks and driven through its admin
interface, so the host reads real HTTP mail with tokens the sandbox really issued."""

import json
import os
import select
import time
import urllib.request

from processes import WatchedProcess

READY_PREFIX = b"listening on "
DEMO_BASE_URL = "http://127.0.0.1:47613"


class SandboxProviders:
    """Use as a context manager; leaving it stops the server."""

    def __init__(self, executable, log_path, timeout=10.0):
        read_fd, write_fd = os.pipe()
        log_fd = os.open(log_path, os.O_WRONLY | os.O_CREAT | os.O_APPEND | os.O_CLOEXEC, 0o600)
        devnull = os.open(os.devnull, os.O_RDONLY | os.O_CLOEXEC)
        try:
            pid = os.posix_spawn(
                executable, [executable, "--port", "0"], os.environ,
                file_actions=[(os.POSIX_SPAWN_DUP2, devnull, 0),
                              (os.POSIX_SPAWN_DUP2, write_fd, 1),
                              (os.POSIX_SPAWN_DUP2, log_fd, 2)])
        finally:
            for fd in (write_fd, log_fd, devnull):
                os.close(fd)
        self._process = WatchedProcess(pid)
        try:
            self.base_url = self._read_base_url(read_fd, timeout)
        except BaseException:
            self._process.end()
            raise
        finally:
            os.close(read_fd)

    @staticmethod
    def _read_base_url(read_fd, timeout):
        deadline = time.monotonic() + timeout
        line = b""
        while not line.endswith(b"\n"):
            remaining = deadline - time.monotonic()
            readable, _, _ = select.select([read_fd], [], [], max(remaining, 0))
            if not readable:
                raise RuntimeError("the sandbox did not report its address in time")
            chunk = os.read(read_fd, 256)
            if not chunk:
                raise RuntimeError("the sandbox ended before reporting its address")
            line += chunk
        if not line.startswith(READY_PREFIX):
            raise RuntimeError(f"unexpected first line from the sandbox: {line!r}")
        return line[len(READY_PREFIX):].strip().decode()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()

    def stop(self):
        if self._process:
            self._process.end()
            self._process = None

    def _admin(self, path, body=None):
        request = urllib.request.Request(
            f"{self.base_url}/_sandbox/{path}", method="POST",
            data=json.dumps(body or {}).encode(), headers={"Content-Type": "application/json"})
        with urllib.request.urlopen(request, timeout=10) as answer:
            return json.load(answer)

    def change_settings(self, settings):
        """Any of the sandbox's settings ("autoConsent", "redirectURIs", ...); answers them all."""
        return self._admin("settings", settings)

    def create_mailbox(self, provider, email, name):
        """Returns the mailbox as the sandbox describes it, "accountID" included."""
        return self._admin("mailboxes", {"provider": provider, "email": email, "name": name})

    def change_settings(self, settings):
        """Changes some of the sandbox's settings ("rotateRefreshTokens",
        "tokenLifetimeSeconds", ...); returns all of them."""
        return self._admin("settings", settings)

    def issue_tokens(self, account_id):
        """An OAuth token answer ("access_token", "refresh_token", "expires_in", "scope")."""
        return self._admin(f"mailboxes/{account_id}/tokens")

    def add_message(self, account_id, subject, text, sender):
        """Delivers a message received now; returns "id", "messageID" (as the product names
        it) and "receivedAt"."""
        return self._admin(f"mailboxes/{account_id}/messages",
                           {"from": sender, "subject": subject, "text": text})

    def configuration(self, template_path, extension_id):
        """The sandbox's own OAuthConfig.json (written for its demo port) pointed at this
        instance, with the given extension as the host's one allowed caller."""
        with open(template_path, encoding="utf-8") as file:
            text = file.read().replace(DEMO_BASE_URL, self.base_url)
        configuration = json.loads(text)
        configuration["extensionID"] = extension_id
        return configuration

    def provider_configuration(self, provider):
        """The OAuthConfig.json provider entry that points the host at this sandbox, for when
        the sandbox's own configuration file is not there."""
        profile = "/v1/userinfo" if provider == "google" else "/v1.0/me"
        return {
            "clientID": f"zevirudi-sandbox-{provider}",
            "redirectURI": "com.loftwing.multi:/oauth2redirect",
            "authorizationEndpoint": f"{self.base_url}/{provider}/oauth/authorize",
            "tokenEndpoint": f"{self.base_url}/{provider}/oauth/token",
            "scopes": ["mail.read"],
            "apiBaseURL": self.base_url,
            "profileURL": f"{self.base_url}{profile}",
        }
