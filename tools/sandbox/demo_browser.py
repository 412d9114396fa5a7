#!/usr/bin/python3
"""The demo's browser part: Chromium with the installed extension opens a local sign-in page that
waits for a code, a code arrives in the sandbox's Gmail inbox a few seconds later, the extension
offers it beside the field, and the field is filled.

  demo_browser.py --sandbox URL --extension DIR --profile DIR [--wait-for-person SECONDS]

With DISPLAY set the browser window is shown and the person may click the offer; after
--wait-for-person seconds (or at once without a display) the demo clicks it itself. Prints each
step and the value the page's field holds at the end."""

import argparse
import os
import select
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "e2e"))
sys.dont_write_bytecode = True

from chromium_driver import Chromium, serve_pages  # noqa: E402
from processes import wait_until  # noqa: E402

CODE = "482913"
SIGN_IN_PAGE = """<!doctype html><html lang="en"><meta charset="utf-8"><title>Acme · Verify</title>
<style>
  body { font: 16px system-ui, sans-serif; background: #f4f5f7; display: grid; place-items: center;
         height: 100vh; margin: 0; }
  main { background: white; padding: 32px 40px; border-radius: 12px;
         box-shadow: 0 4px 24px rgba(0,0,0,.08); }
  h1 { font-size: 22px; margin: 0 0 8px; }
  .boxes { display: flex; gap: 8px; margin: 20px 0; }
  .boxes input { width: 40px; height: 48px; font-size: 24px; text-align: center;
                 border: 1px solid #c5c9d3; border-radius: 8px; }
  button { font-size: 15px; padding: 10px 18px; border-radius: 8px; border: none;
           background: #1f6feb; color: white; }
</style>
<main><h1>Check your email</h1><p>Enter the code we sent to ann@example.com.</p>
<form onsubmit="return false"><div class="boxes">
""" + "".join(f'<input maxlength="1" inputmode="numeric" aria-label="Digit {n}">'
              for n in range(1, 7)) + """</div><button>Verify</button></form></main></html>"""


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--sandbox", required=True)
    parser.add_argument("--extension", required=True)
    parser.add_argument("--profile", required=True)
    parser.add_argument("--wait-for-person", type=float, default=30.0)
    args = parser.parse_args()
    shown = bool(os.environ.get("DISPLAY"))

    server, base = serve_pages({"/verify": SIGN_IN_PAGE})
    page = f"{base}/verify"
    print(f"Sign-in page waiting for a code: {page}", flush=True)

    env = {name: value for name, value in os.environ.items()
           if name in ("HOME", "PATH", "LANG", "DISPLAY", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR",
                       "DBUS_SESSION_BUS_ADDRESS", "XAUTHORITY")}
    browser = Chromium(args.profile, args.extension, env,
                       os.path.join(os.path.dirname(args.profile), "chromium.stderr"),
                       headless=not shown)
    try:
        target = browser.call("Target.createTarget", {"url": page})
        session = browser.call("Target.attachToTarget",
                               {"targetId": target["targetId"], "flatten": True})["sessionId"]
        wait_until(lambda: browser.evaluate(session, "document.readyState") == "complete",
                   "the page", 30)
        print(f"Chromium {'shows' if shown else 'loaded (headless)'} the page with the "
              "Zevirudi extension", flush=True)

        time.sleep(3)  # the code arrives a moment after the page asked for it, as in real life
        subprocess.run([sys.executable, os.path.join(HERE, "demo.py"), "--base", args.sandbox,
                        "code", "google", CODE], check=True, stdout=subprocess.DEVNULL)
        print(f"A message with the code {CODE} arrives in ann@example.com (Gmail)", flush=True)

        box = wait_until(lambda: browser.evaluate(session, """(() => {
            const chip = document.querySelector('[data-zevirudi-chip]');
            if (!chip) return null;
            const r = chip.getBoundingClientRect();
            return r.width > 0 ? {x: r.left + 12, y: r.top + r.height / 2} : null; })()"""),
            "the extension's offer", 30)
        print("The extension offers it beside the field: Fill code 482 913 · Acme Sign-in",
              flush=True)

        def filled():
            return browser.evaluate(
                session, "[...document.querySelectorAll('.boxes input')].map(i => i.value)"
                ".join('')")

        if shown:
            print(f"Click the offer in the browser window (the demo clicks it in "
                  f"{args.wait_for_person:.0f} s)", flush=True)
            deadline = time.monotonic() + args.wait_for_person
            while time.monotonic() < deadline and filled() != CODE:
                select.select([], [], [], 0.2)
        if filled() != CODE:
            for kind in ("mousePressed", "mouseReleased"):
                browser.call("Input.dispatchMouseEvent",
                             {"type": kind, "x": box["x"], "y": box["y"], "button": "left",
                              "clickCount": 1}, session)
        value = wait_until(lambda: filled() == CODE and filled(), "the filled field", 10)
        print(f"The page's code field now holds: {value} (the form was not submitted)",
              flush=True)
        if shown:
            time.sleep(min(args.wait_for_person, 5.0))
    finally:
        browser.close()
        server.shutdown()


if __name__ == "__main__":
    try:
        main()
    except AssertionError as timed_out:  # a wait that ran out of time
        sys.exit(f"demo: {timed_out}")
