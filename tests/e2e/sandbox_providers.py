"""The loopback stand-in for Google's and Microsoft's OAuth, profile and mail endpoints
(build/bin/zevirudi-sandbox), started on a port the system picks and driven through its admin
interface, so the host reads real HTTP mail with tokens the sandbox really issued."""

import json
import select
import subprocess
import urllib.request

from processes import WatchedProcess

READY_PREFIX = b"listening on "
DEMO_BASE_URL = "http://127.0.0.1:47613"


class SandboxProviders:
    """Use as a context manager; leaving it stops the server."""

    def __init__(self, executable, log_path, timeout=10.0):
        with open(log_path, "ab") as log:
            self._popen = subprocess.Popen([executable, "--port", "0"], stdin=subprocess.DEVNULL,
                                           stdout=subprocess.PIPE, stderr=log)
        self._process = WatchedProcess(self._popen.pid)
        try:
            if not select.select([self._popen.stdout], [], [], timeout)[0]:
                raise RuntimeError("the sandbox did not report its address in time")
            line = self._popen.stdout.readline()
            if not line.startswith(READY_PREFIX):
                raise RuntimeError(f"unexpected first line from the sandbox: {line!r}")
        except BaseException:
            self.stop()
            raise
        self.base_url = line[len(READY_PREFIX):].strip().decode()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()

    def stop(self):
        if self._process:
            self._process.end()
            self._process = None
            self._popen.stdout.close()

    def _admin(self, path, body=None, method="POST"):
        request = urllib.request.Request(
            f"{self.base_url}/_sandbox/{path}", method=method,
            data=json.dumps(body or {}).encode() if method == "POST" else None,
            headers={"Content-Type": "application/json"})
        with urllib.request.urlopen(request, timeout=10) as answer:
            return json.load(answer) if method != "DELETE" else None

    def create_mailbox(self, provider, email, name):
        """Returns the mailbox as the sandbox describes it, "accountID" included."""
        return self._admin("mailboxes", {"provider": provider, "email": email, "name": name})

    def change_settings(self, settings):
        """Changes some of the sandbox's settings ("autoConsent", "redirectURIs",
        "rotateRefreshTokens", ...); returns all of them."""
        return self._admin("settings", settings)

    def issue_tokens(self, account_id):
        """An OAuth token answer ("access_token", "refresh_token", "expires_in", "scope")."""
        return self._admin(f"mailboxes/{account_id}/tokens")

    def add_message(self, account_id, subject, text, sender, **more):
        """Delivers a message received now (`more`: "html", "authenticationResults"); returns
        "id", "messageID" (as the product names it) and "receivedAt"."""
        return self._admin(f"mailboxes/{account_id}/messages",
                           {"from": sender, "subject": subject, "text": text, **more})

    def delete_message(self, account_id, message_id):
        self._admin(f"mailboxes/{account_id}/messages/{message_id}", method="DELETE")

    def counters(self):
        """How many requests of each kind ("gmail.list", ...) the providers answered."""
        return self._admin("counters", method="GET")["requests"]

    def configuration(self, template_path, extension_id):
        """The sandbox's own OAuthConfig.json (written for its demo port) pointed at this
        instance, with the given extension as the host's one allowed caller."""
        with open(template_path, encoding="utf-8") as file:
            text = file.read().replace(DEMO_BASE_URL, self.base_url)
        configuration = json.loads(text)
        configuration["extensionID"] = extension_id
        return configuration
