"""What the end-to-end test sends and expects: the accounts it stores, the requests with fixed
answers (one row each), and the accepted code notification."""

import base64
import os

from keyring_accounts import stored_account

NOT_SUPPORTED = "The native request type is not supported."
EMPTY = {"ok": False, "messages": [], "accounts": [], "warnings": [], "accountChecks": []}


def refused(error):
    return {**EMPTY, "error": error}


# Two accounts as the account store keeps them. Without the sandbox their tokens are made up,
# unique per run so that the leak scan cannot be fooled by a value that occurs elsewhere by chance;
# with it they are tokens the sandbox issued and the host really uses.
MAILBOXES = [("google", "ben.e2e@gmail.example", "Ben E2E"),
             ("microsoft", "Ada.e2e@outlook.example", None)]
PAGE_ORIGIN = "https://accounts.example.com"


def made_up_accounts():
    tag = base64.b32encode(os.urandom(10)).decode().lower()
    return [stored_account(f"{provider}:e2e-{index}", provider, email, name,
                           f"e2e-access-{tag}-{index}", f"e2e-refresh-{tag}-{index}")
            for index, (provider, email, name) in enumerate(MAILBOXES)]


def sandbox_accounts(sandbox):
    accounts = []
    for provider, email, name in MAILBOXES:
        mailbox = sandbox.create_mailbox(provider, email, name or "")
        tokens = sandbox.issue_tokens(mailbox["accountID"])
        accounts.append(stored_account(mailbox["accountID"], provider, email, name,
                                       tokens["access_token"], tokens["refresh_token"] or None,
                                       tokens["expires_in"]))
    return accounts


def secrets_of(accounts):
    return [value for stored in accounts for value in
            (stored["tokens"]["accessToken"], stored["tokens"].get("refreshToken")) if value]


def request_table(accounts):
    """The requests whose answers are fixed, one row each: (name, needs, request, expected
    response). A row runs when every capability it needs is present."""
    by_email = sorted((stored["account"] for stored in accounts),
                      key=lambda account: account["email"].casefold())
    return [
        ("status lists the stored accounts sorted by e-mail", {"keyring"},
         {"type": "status"}, {**EMPTY, "ok": True, "accounts": by_email}),
        ("status without a keyring says so", {"no-keyring"}, {"type": "status"},
         refused("Connected accounts could not be read. The system keyring is not available. "
                 "Start GNOME Keyring or KWallet and try again.")),
        ("unknown type", set(), {"type": "Status"}, refused(NOT_SUPPORTED)),
        ("poll without a start time", set(), {"type": "poll", "origin": PAGE_ORIGIN},
         refused("The page origin is not valid.")),
        ("link notification with a capitalised purpose", set(),
         {"type": "presentLinkNotification",
          "linkNotification": {"url": "https://example.com/verify?t=1",
                               "destinationHost": "example.com", "source": "Example",
                               "providerLabel": "Gmail", "linkPurpose": "Sign-in"}},
         refused("The checked link notification is not valid.")),
        ("code notification with a letters-only code", set(),
         {"type": "presentCodeNotification",
          "codeNotification": {"code": "ABCDEF", "destinationHost": "example.com",
                               "source": "Example", "providerLabel": "Gmail",
                               "wasCopied": False}},
         refused("The code notification is not valid.")),
    ]
