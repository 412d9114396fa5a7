"""Puts the built host where Chromium can start it: an installation of the build in a temporary
prefix, and the native messaging host manifest that names it."""

import json
import os
import subprocess

HOST_NAME = "com.loftwing.multi"


def extension_origin(extension_id):
    return f"chrome-extension://{extension_id}/"


def install_host_copy(build_dir, prefix, configuration):
    """Installs the build with `cmake --install` into a sibling folder of `prefix` and then moves
    that tree to `prefix`, so that every check runs against an installation moved after it was
    installed: the host must find its libraries, its modules (lib/zevirudi) and its resources
    (share/zevirudi) through its own location. `configuration` (a dict) replaces the installed
    OAuthConfig.json, the placeholder one: Chromium starts the host with an environment of its
    own, so the prefix's file is the one the host reads. Returns the host path."""
    installed = prefix + ".installed"
    done = subprocess.run(["cmake", "--install", build_dir, "--prefix", installed],
                          capture_output=True, text=True, timeout=120)
    if done.returncode != 0:
        raise RuntimeError(f"cmake --install failed:\n{done.stdout}{done.stderr}")
    os.rename(installed, prefix)
    with open(os.path.join(prefix, "share", "zevirudi", "OAuthConfig.json"), "w",
              encoding="utf-8") as file:
        json.dump(configuration, file, indent=2)
    return os.path.join(prefix, "bin", "zevirudi")


def manifest_path(user_data_dir):
    """Chromium reads per-user host manifests only from <user-data-dir>/NativeMessagingHosts."""
    return os.path.join(user_data_dir, "NativeMessagingHosts", f"{HOST_NAME}.json")


def run_installer(host_path, config_home):
    """Runs the product's own manifest installer of the host copy's installation, which writes
    <config_home>/google-chrome and <config_home>/chromium NativeMessagingHosts manifests naming
    that copy. Returns the Chrome manifest's path as the installer prints it."""
    installer = os.path.join(os.path.dirname(host_path), "zevirudi-install-host")
    env = {"PATH": "/usr/bin:/bin", "HOME": os.path.dirname(config_home),
           "XDG_CONFIG_HOME": config_home}
    done = subprocess.run([installer], env=env, capture_output=True, text=True, timeout=30,
                          check=True)
    return done.stdout.strip()
