"""Puts the built host where Chromium can start it: a copy of the executable in a temporary install
prefix with its resources beside it, and the native messaging host manifest that names it."""

import json
import os
import shutil
import subprocess

HOST_NAME = "com.loftwing.multi"
HOST_DESCRIPTION = "Zevirudi local mail connection"


def extension_origin(extension_id):
    return f"chrome-extension://{extension_id}/"


def install_host_copy(build_dir, prefix, configuration):
    """Copies build_dir/bin/zevirudi to prefix/bin/zevirudi, the build's libraries to prefix/lib
    and its resources to prefix/share/zevirudi, with `configuration` (a dict) as
    OAuthConfig.json. A copy, not a symlink: the host finds its resources relative to its real
    path. Returns the host path."""
    bin_dir = os.path.join(prefix, "bin")
    share_dir = os.path.join(prefix, "share", "zevirudi")
    os.makedirs(bin_dir, exist_ok=True)
    built_share = os.path.join(build_dir, "share", "zevirudi")
    if os.path.isdir(built_share):
        shutil.copytree(built_share, share_dir, dirs_exist_ok=True)
    # Shared libraries and the modules the host loads at run time (the panel's toolkit part in
    # lib/zevirudi), found relative to the executable like the resources.
    built_lib = os.path.join(build_dir, "lib")
    if os.path.isdir(built_lib):
        shutil.copytree(built_lib, os.path.join(prefix, "lib"), dirs_exist_ok=True)
    os.makedirs(share_dir, exist_ok=True)
    host_path = os.path.join(bin_dir, "zevirudi")
    shutil.copy2(os.path.join(build_dir, "bin", "zevirudi"), host_path)
    shutil.copy2(os.path.join(build_dir, "bin", "zevirudi-install-host"),
                 os.path.join(bin_dir, "zevirudi-install-host"))
    with open(os.path.join(share_dir, "OAuthConfig.json"), "w", encoding="utf-8") as file:
        json.dump(configuration, file, indent=2)
    return host_path


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


def write_host_manifest(user_data_dir, host_path, allowed_origin):
    """Writes a manifest by hand, for checks that need one the product would never write (an
    origin other than the configured extension's)."""
    path = manifest_path(user_data_dir)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    manifest = {
        "allowed_origins": [allowed_origin],
        "description": HOST_DESCRIPTION,
        "name": HOST_NAME,
        "path": host_path,
        "type": "stdio",
    }
    aside = path + ".tmp"
    with open(aside, "w", encoding="utf-8") as file:
        json.dump(manifest, file, indent=2, sort_keys=True)
    os.replace(aside, path)
    return path
