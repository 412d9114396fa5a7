"""Builds the ICU data the core links statically: Debian's full data (about 31 MB: every locale,
code page, time zone and unit) cut down to what the core uses, the root collation, the break
rules, character properties and names, normalization. Reads the data object in libicudata.a and
writes an object with the same entry point (icudtNN_dat), for the static libicuuc to address.

    trim-icu-data.py <libicudata.a> <output.o> <ar> <objcopy> <icupkg> <genccode>
"""

import fnmatch
import os
import subprocess
import sys
import tempfile

# Item names inside the package; anything else (locales, code pages, currencies, languages,
# regions, time zones, units, spell-out rules, transliterators, dictionaries) is dropped.
KEPT = [
    "*.icu", "*.nrm", "*.cfu", "*.spp", "cnvalias.icu",
    "root.res", "res_index.res", "pool.res", "supplementalData.res", "likelySubtags.res",
    "metadata.res", "keyTypeData.res", "langInfo.res", "icuver.res", "icustd.res",
    "coll/root.res", "coll/res_index.res", "coll/ucadata.icu",
    "brkitr/*.brk", "brkitr/root.res", "brkitr/res_index.res",
]


def run(*command, cwd=None):
    done = subprocess.run(command, cwd=cwd, capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"{' '.join(command)} failed ({done.returncode}):\n{done.stdout}{done.stderr}")
    return done.stdout


def main(archive, output, ar, objcopy, icupkg, genccode):
    with tempfile.TemporaryDirectory() as scratch:
        run(ar, "x", os.path.abspath(archive), cwd=scratch)
        member = next(name for name in os.listdir(scratch) if name.endswith("_dat.o"))
        package = member[: -len("_dat.o")]  # icudt72l: the data version and byte order
        full = os.path.join(scratch, "full", package + ".dat")
        os.mkdir(os.path.dirname(full))
        run(objcopy, "-O", "binary", "--only-section=.rodata", os.path.join(scratch, member), full)
        items = run(icupkg, "-l", full).split()
        kept = [item for item in items if any(fnmatch.fnmatchcase(item, p) for p in KEPT)]
        listing = os.path.join(scratch, "kept.txt")
        with open(listing, "w", encoding="ascii") as file:
            file.write("\n".join(kept) + "\n")
        extracted = os.path.join(scratch, "items")
        os.mkdir(extracted)
        run(icupkg, "-x", listing, "-d", extracted, full)
        trimmed = os.path.join(scratch, "trimmed", package + ".dat")
        os.mkdir(os.path.dirname(trimmed))
        # The break rules name the dictionaries for Thai, Lao, Khmer, Burmese and CJK words and
        # lines; the core breaks text into characters only, which needs none.
        run(icupkg, "--ignore-deps", "-t" + package[-1], "-s", extracted, "-a", listing, "new",
            trimmed)
        destination = os.path.dirname(os.path.abspath(output))
        os.makedirs(destination, exist_ok=True)
        name = os.path.splitext(os.path.basename(output))[0]
        run(genccode, "-e", package[:-1], "-o", "-m", os.path.join(scratch, member),
            "--skip-dll-export", "-d", destination, "-f", name, trimmed)
        # Without this note the linker would give the whole executable an executable stack.
        run(objcopy, "--add-section", ".note.GNU-stack=/dev/null", "--set-section-flags",
            ".note.GNU-stack=contents,readonly", output)


if __name__ == "__main__":
    main(*sys.argv[1:])
