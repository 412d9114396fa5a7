"""Builds the Debian package with CPack exactly as the README says, and checks what a person would
get from it: the files of an installation under /usr, dependencies computed from the binaries,
run paths that only point inside the package, AppStream metadata that validates, and no lintian
error. Run by CTest (label integration) after the main build."""

import os
import re
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))

import native_frames  # noqa: E402

BUILD_DIR = os.environ.get("ZEVIRUDI_BUILD_DIR", "build")

# What an installation must hold besides the build's resources (share/zevirudi), which are
# compared with the build tree file by file.
EXPECTED_FILES = {
    "usr/bin/zevirudi",
    "usr/bin/zevirudi-install-host",
    "usr/lib/zevirudi/libLoftwingMultiHTTP.so",
    "usr/lib/zevirudi/libzevirudi-notch.so",
    "usr/share/zevirudi/DuraredeVodozAzerideve/manifest.json",
    "usr/share/applications/zevirudi.desktop",
    "usr/share/icons/hicolor/scalable/apps/zevirudi.svg",
    "usr/share/metainfo/com.loftwing.zevirudi.metainfo.xml",
    "usr/share/doc/zevirudi/copyright",
    "usr/share/doc/zevirudi/changelog.gz",
}


def run(*command, cwd=None):
    done = subprocess.run(command, cwd=cwd, capture_output=True, text=True, timeout=240)
    if done.returncode != 0:
        raise AssertionError(f"{' '.join(command)} failed ({done.returncode}):\n"
                             f"{done.stdout}{done.stderr}")
    return done.stdout


class DebianPackage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.TemporaryDirectory(prefix="zevirudi-package.")
        run("cpack", "-G", "DEB", "--config", os.path.join(BUILD_DIR, "CPackConfig.cmake"),
            "-B", cls.scratch.name)
        packages = [name for name in os.listdir(cls.scratch.name) if name.endswith(".deb")]
        if len(packages) != 1:
            raise AssertionError(f"expected one package, found {packages}")
        cls.package = os.path.join(cls.scratch.name, packages[0])
        cls.root = os.path.join(cls.scratch.name, "root")
        run("dpkg-deb", "-x", cls.package, cls.root)

    @classmethod
    def tearDownClass(cls):
        cls.scratch.cleanup()

    def field(self, name):
        return run("dpkg-deb", "-f", self.package, name).strip()

    def test_lists_an_installation_under_usr(self):
        listed = {re.sub(r"^\./", "", line.split()[-1])
                  for line in run("dpkg-deb", "-c", self.package).splitlines()
                  if not line.startswith("d")}
        resources = os.path.join(BUILD_DIR, "share", "zevirudi")
        built = {os.path.join("usr/share/zevirudi", os.path.relpath(os.path.join(folder, name),
                                                                    resources))
                 for folder, _, names in os.walk(resources) for name in names}
        self.assertIn("usr/share/zevirudi/OAuthConfig.json", built)
        self.assertEqual(sorted((EXPECTED_FILES | built) - listed), [])
        self.assertEqual([path for path in listed if not path.startswith("usr/")], [])

    def test_depends_on_what_the_binaries_link(self):
        depends = self.field("Depends")
        for library in ("libsecret-1-0", "libcurl4", "libqt6widgets6"):
            self.assertRegex(depends, rf"(^|, ){re.escape(library)}\b")

    def test_run_paths_stay_inside_the_installation(self):
        checked = 0
        for folder, _, names in os.walk(self.root):
            for name in names:
                path = os.path.join(folder, name)
                with open(path, "rb") as file:
                    if file.read(4) != b"\x7fELF":
                        continue
                checked += 1
                dynamic = run("readelf", "-d", path)
                for paths in re.findall(r"\((?:RPATH|RUNPATH)\).*\[(.*)\]", dynamic):
                    for entry in paths.split(":"):
                        with self.subTest(file=name, entry=entry):
                            self.assertTrue(entry.startswith("$ORIGIN"))
        self.assertGreaterEqual(checked, 5)

    def test_unpacked_host_reads_the_configuration_beside_it(self):
        # Unpacked away from /usr, stripped as shipped: the host loads its libraries and finds
        # the installed configuration, whose extension is not this caller.
        answer, done = native_frames.exchange(
            os.path.join(self.root, "usr/bin/zevirudi"), "chrome-extension://abc/",
            {"type": "status"}, env={"PATH": "/usr/bin:/bin", "HOME": self.scratch.name},
            timeout=30)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual((answer["ok"], answer["error"]), (False, "Authentication failed."))

    def test_appstream_metadata_validates_and_names_this_release(self):
        metainfo = os.path.join(self.root, "usr/share/metainfo/com.loftwing.zevirudi.metainfo.xml")
        run("appstreamcli", "validate", "--no-net", "--pedantic", metainfo)
        release = ElementTree.parse(metainfo).getroot().find("releases/release")
        self.assertEqual(release.get("version"), self.field("Version"))

    def test_lintian_finds_no_error(self):
        run("lintian", "--fail-on", "error", self.package)


if __name__ == "__main__":
    unittest.main(verbosity=2)
