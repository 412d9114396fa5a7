#!/usr/bin/python3
"""Drives a running zevirudi-sandbox for the demo.

  demo.py seed                      creates the demo mailboxes (Gmail: ann@example.com,
                                    Outlook: bob@outlook.example)
  demo.py code PROVIDER [CODE]      delivers a sign-in code message to that provider's demo
                                    mailbox now (PROVIDER: google or microsoft)
  demo.py link PROVIDER URL         delivers a sign-in link message

The sandbox address comes from --base (default http://127.0.0.1:47613, the demo port).
"""
import argparse
import json
import secrets
import sys
import urllib.error
import urllib.request

MAILBOXES = {
    "google": {"provider": "google", "email": "ann@example.com", "name": "Ann Example",
               "subjectID": "104000000000000000001"},
    "microsoft": {"provider": "microsoft", "email": "bob@outlook.example", "name": "Bob Example",
                  "subjectID": "00000000-0000-0000-0000-00000000b0b0"},
}
AUTHENTICATED = ["mx.sandbox.invalid; dkim=pass header.d=acme.example; spf=pass; dmarc=pass"]


def call(base, path, body):
    request = urllib.request.Request(base + path, data=json.dumps(body).encode(), method="POST",
                                     headers={"Content-Type": "application/json"})
    try:
        with urllib.request.urlopen(request, timeout=10) as response:
            return json.load(response)
    except urllib.error.HTTPError as error:
        sys.exit(f"{path}: {error.code} {error.read().decode(errors='replace')}")


def account_id(provider):
    return provider + ":" + MAILBOXES[provider]["subjectID"]


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--base", default="http://127.0.0.1:47613")
    parser.add_argument("command", choices=["seed", "code", "link"])
    parser.add_argument("provider", nargs="?", choices=["google", "microsoft"])
    parser.add_argument("value", nargs="?")
    args = parser.parse_args()

    if args.command == "seed":
        for mailbox in MAILBOXES.values():
            print(call(args.base, "/_sandbox/mailboxes", mailbox)["accountID"])
        return
    if args.provider is None:
        parser.error("a provider is needed")
    if args.command == "code":
        code = args.value or f"{secrets.randbelow(10**6):06d}"
        message = {"from": "Acme Sign-in <no-reply@acme.example>",
                   "subject": f"Your Acme verification code is {code}",
                   "text": f"Your verification code is {code}. It expires in 10 minutes.",
                   "html": f"<p>Your verification code is <b>{code}</b>.</p>"
                           "<p>It expires in 10 minutes.</p>"}
    else:
        if not args.value:
            parser.error("a link is needed")
        message = {"from": "Acme Sign-in <no-reply@acme.example>",
                   "subject": "Sign in to Acme",
                   "text": f"Sign in with this link: {args.value}",
                   "html": f'<p><a href="{args.value}">Sign in to Acme</a></p>'}
    message["authenticationResults"] = AUTHENTICATED
    answer = call(args.base, f"/_sandbox/mailboxes/{account_id(args.provider)}/messages", message)
    print(answer["messageID"])


if __name__ == "__main__":
    main()
