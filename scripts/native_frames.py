"""Native messaging frames as Chrome writes and reads them: a 4-byte little-endian length, then
that many bytes of UTF-8 JSON. Shared by scripts/native-request, the benchmarks and the tests."""

import json
import os
import struct
import subprocess


def encode(message):
    body = json.dumps(message, separators=(",", ":")).encode("utf-8")
    return struct.pack("<I", len(body)) + body


def decode(data):
    """The message of `data`, which must be exactly one frame; ValueError otherwise."""
    if len(data) < 4:
        raise ValueError(f"no frame: {len(data)} bytes")
    (length,) = struct.unpack("<I", data[:4])
    if len(data) != 4 + length:
        raise ValueError(f"not exactly one frame: {len(data) - 4} bytes for length {length}")
    return json.loads(data[4:].decode("utf-8"))


def exchange(host, origin, message, env=None, timeout=60):
    """Starts `host` as Chrome does (the origin as its argument, in its own folder), writes one
    frame and closes its input. Returns (the answer or None when there is no output, the finished
    process)."""
    host = os.path.abspath(host)
    done = subprocess.run([host, origin], input=encode(message), capture_output=True, env=env,
                          cwd=os.path.dirname(host), timeout=timeout)
    return (decode(done.stdout) if done.stdout else None), done
