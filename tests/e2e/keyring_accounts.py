"""Stores accounts in the keyring the way the account store keeps them, with secret-tool, so the
end-to-end test can give the host connected accounts without a sign-in."""

import datetime
import json
import subprocess

SERVICE = "com.loftwing.multi.accounts"
SCHEMA = "com.loftwing.multi.KeychainItem"
INDEX_KEY = "account-index"


def stored_account(account_id, provider, email, display_name, access_token, refresh_token,
                   expires_in_seconds=86400):
    """A StoredAccount as JSON: expiresAt in ISO 8601, UTC, whole seconds."""
    account = {"id": account_id, "provider": provider, "email": email}
    if display_name is not None:
        account["displayName"] = display_name
    expires_at = (datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)
                  + datetime.timedelta(seconds=expires_in_seconds))
    tokens = {"accessToken": access_token, "expiresAt": expires_at.strftime("%Y-%m-%dT%H:%M:%SZ"),
              "scope": "mail.read"}
    if refresh_token is not None:
        tokens["refreshToken"] = refresh_token
    return {"account": account, "tokens": tokens}


def store_item(key, data, access_group="", with_schema=True):
    """One keyring item with the attributes and label the product's keychain store writes, or
    without the schema attribute as other programs write one. The secret goes through stdin,
    never through the command line."""
    schema = ["xdg:schema", SCHEMA] if with_schema else []
    subprocess.run(
        ["secret-tool", "store", f"--label=Zevirudi: {key}", *schema,
         "service", SERVICE, "account", key, "accessGroup", access_group],
        input=data, check=True, timeout=30, stdout=subprocess.DEVNULL)


def seed_accounts(accounts, with_schema=True):
    """Saves each account's record and then the index, in the given order."""
    for stored in accounts:
        store_item(f"account:{stored['account']['id']}",
                   json.dumps(stored, separators=(",", ":")).encode(), with_schema=with_schema)
    index = [stored["account"]["id"] for stored in accounts]
    store_item(INDEX_KEY, json.dumps(index, separators=(",", ":")).encode(),
               with_schema=with_schema)


def item_count(key, access_group=""):
    """How many keyring items, locked or not, carry the key."""
    listing = subprocess.run(
        ["secret-tool", "search", "--all", "service", SERVICE, "account", key, "accessGroup",
         access_group], capture_output=True, text=True, timeout=30).stdout
    return listing.count("label = ")


def lookup_item(key, access_group=""):
    """The secret of one item as bytes, or None when there is none."""
    result = subprocess.run(
        ["secret-tool", "lookup", "service", SERVICE, "account", key, "accessGroup",
         access_group], capture_output=True, timeout=30)
    return result.stdout if result.returncode == 0 else None
