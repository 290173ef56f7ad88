#!/usr/bin/env python3
"""lumora-defaults judged by an independent implementation, Python's plistlib.

Random dictionaries in both encodings (every type, odd keys, control
characters, carriage returns, extreme numbers and dates) get one `write`,
`delete` or `read` each, and plistlib checks the result: the named key
changed as asked and every other value exactly as it was, or a refusal
(status 1) with the file's bytes unchanged. Byte-mutated lists that plistlib
rejects must be refused too.

    defaults_differential.py [--seed N] [--cases N] [--bin DIR]

DIR defaults to $LUMORA_BIN_DIR. Exits 1 when any case fails.
"""

import argparse
import datetime
import math
import os
import plistlib
import random
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import traceback
from concurrent.futures import ThreadPoolExecutor

SHOW_REFUSALS = False
# plistlib writes no carriage return into XML (it turns it into a line
# feed), so strings carry this stand-in, replaced by &#13; in the bytes.
CR_MARK = "\ue000"
XML_UNSAFE = re.compile("[\x00-\x08\x0b\x0c\x0e-\x1f\ufffe\uffff]")


class Float32(float):
    """A real that the binary writer stores in 4 bytes."""


# What plistlib itself cannot write: integers beyond 64 bits and 4-byte reals.
class BinaryWriter(plistlib._BinaryPlistWriter):
    def _write_object(self, value):
        big = type(value) is int and not (-(1 << 63) <= value < (1 << 64))
        if big or type(value) is Float32:
            self._object_offsets[self._getrefnum(value)] = self._fp.tell()
            if big:
                self._fp.write(b"\x14" + value.to_bytes(16, "big", signed=True))
            else:
                self._fp.write(struct.pack(">Bf", 0x22, value))
            return
        super()._write_object(value)


class XmlWriter(plistlib._PlistWriter):
    def write_value(self, value):
        if type(value) is int and not (-(1 << 63) <= value < (1 << 64)):
            self.simple_element("integer", "%d" % value)
        else:
            super().write_value(value)


def dump(value, xml):
    import io
    out = io.BytesIO()
    if xml:
        XmlWriter(out, sort_keys=False).write(value)
        return out.getvalue().replace(CR_MARK.encode(), b"&#13;")
    BinaryWriter(out, sort_keys=False, skipkeys=False).write(value)
    return out.getvalue()


# ---------------------------------------------------------------- values

TEXT_PIECES = ["a", "Zz", "hello", " ", "  ", "<", ">", "&", "&amp;", '"', "'", "]]>", "\n", "\t",
               "\u00e9", "\u65e5\u672c", "\U0001F600", "\u2028", "\x7f", "\x85", "\\", "\\\"", "-", "0"]
CONTROLS = ["\x01", "\x07", "\x0b", "\x0c", "\x1b", "\x1f"]

INT_EDGES = [0, 1, -1, 255, 256, 65535, 65536, 2**31 - 1, 2**32, 2**53 + 1, 2**63 - 1, 2**63, 2**64 - 1,
             -(2**31), -(2**63), 2**64, 2**64 + 1, -(2**63) - 1, 2**100, -(2**100), 2**127 - 1, -(2**127)]
FLOAT_EDGES = [0.0, -0.0, 1.5, -2.25, 0.1, 1e300, -1e-300, 5e-324, 2.0**-1074, 1.7976931348623157e308,
               float("inf"), float("-inf"), float("nan"), 3.0, 1e16, 123456789.125]
YEARS = [1, 2, 99, 999, 1000, 1582, 1900, 1970, 2000, 2001, 2038, 2100, 9999]


def random_text(rng, xml, controls=True):
    pieces = []
    for _ in range(rng.randrange(0, 8)):
        roll = rng.random()
        if roll < 0.1:
            pieces.append(CR_MARK if xml else "\r")
        elif roll < 0.15 and controls and not xml:
            pieces.append(rng.choice(CONTROLS))
        elif roll < 0.25:
            pieces.append(chr(rng.choice([rng.randrange(0x20, 0x7f), rng.randrange(0xa0, 0xd800),
                                          rng.randrange(0xe001, 0xfffe), rng.randrange(0x10000, 0x110000)])))
        else:
            pieces.append(rng.choice(TEXT_PIECES))
    return "".join(pieces)


def random_date(rng, xml):
    year = rng.choice(YEARS) if rng.random() < 0.5 else rng.randrange(1, 10000)
    try:
        date = datetime.datetime(year, rng.randrange(1, 13), rng.randrange(1, 32),
                                 rng.randrange(24), rng.randrange(60), rng.randrange(60))
    except ValueError:
        date = datetime.datetime(year, 2, 28, 23, 59, 59)
    if not xml and rng.random() < 0.5:
        date += datetime.timedelta(microseconds=rng.randrange(1, 1000000))
    return date


def random_scalar(rng, xml):
    kind = rng.randrange(9 if xml else 10)
    if kind <= 1:
        return random_text(rng, xml)
    if kind == 2:
        return rng.choice(INT_EDGES) if rng.random() < 0.6 else rng.randrange(-(2**63), 2**64)
    if kind == 3:
        if rng.random() < 0.4:
            return rng.choice(FLOAT_EDGES)
        value = struct.unpack(">d", rng.randbytes(8))[0]
        if not xml and rng.random() < 0.3:
            return Float32(struct.unpack(">f", struct.pack(">f", value if abs(value) < 3e38 else 1.0))[0])
        return value
    if kind == 4:
        return rng.random() < 0.5
    if kind == 5:
        return rng.randbytes(rng.choice([0, 1, 2, 3, 4, 40]))
    if kind in (6, 7):
        return random_date(rng, xml)
    if kind == 8:
        return rng.randrange(-5, 5)
    return plistlib.UID(rng.choice([0, 1, 255, 256, 65536, 2**32 - 1, 2**32, 2**64 - 1]))


def random_key(rng, xml):
    if rng.random() < 0.7:
        return rng.choice(["LoginwindowText", "AdminHostInfo", "DesktopPicture", "a", "b", "key", "k1", ""]) + \
            ("" if rng.random() < 0.7 else str(rng.randrange(100)))
    return random_text(rng, xml)


def random_value(rng, xml, depth):
    roll = rng.random()
    if depth < 4 and roll < 0.12:
        return [random_value(rng, xml, depth + 1) for _ in range(rng.randrange(0, 4))]
    if depth < 4 and roll < 0.22:
        return random_dict(rng, xml, depth + 1)
    return random_scalar(rng, xml)


def random_dict(rng, xml, depth=1):
    return {random_key(rng, xml): random_value(rng, xml, depth) for _ in range(rng.randrange(0, 8))}


# ----------------------------------------------------------- comparison

def same(a, b):
    """Exact equality: types matter (True is not 1), reals by their bits."""
    if type(a) is not type(b):
        return False
    if isinstance(a, float):
        return (math.isnan(a) and math.isnan(b)) or struct.pack(">d", a) == struct.pack(">d", b)
    if isinstance(a, dict):
        return a.keys() == b.keys() and all(same(a[k], b[k]) for k in a)
    if isinstance(a, list):
        return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    return a == b


def xml_can_hold(value):
    """Whether an XML property list can hold the value at all."""
    if isinstance(value, str):
        return not XML_UNSAFE.search(value)
    if isinstance(value, plistlib.UID):
        return False
    # An XML date has whole seconds; plistlib reads no fraction there.
    if isinstance(value, datetime.datetime):
        return value.microsecond == 0
    if isinstance(value, dict):
        return all(xml_can_hold(k) and xml_can_hold(v) for k, v in value.items())
    if isinstance(value, list):
        return all(xml_can_hold(v) for v in value)
    return True


def quoted_value(rng, text):
    """An argument for VALUE and the text it stands for."""
    if rng.random() < 0.5 or '"' in text or "\\" in text:
        return text.replace("\\", "\\\\").replace('"', '\\"').join('""'), text
    return text, text


class OutOfRange:
    """A list plistlib rejects only because a date lies outside the years
    Python has, which a binary list can hold. The tool may carry it."""


def parse_loose(data):
    try:
        return plistlib.loads(data)
    except Exception as error:  # plistlib raises many kinds on bad input
        while error is not None:
            frames = traceback.extract_tb(error.__traceback__)
            if isinstance(error, (OverflowError, ValueError)) and frames and "timedelta" in (frames[-1].line or ""):
                return OutOfRange()
            error = error.__context__
        return None


def mutate(rng, data):
    data = bytearray(data)
    for _ in range(rng.randrange(1, 4)):
        if not data:
            break
        at = rng.randrange(len(data))
        roll = rng.random()
        if roll < 0.5:
            data[at] = rng.randrange(256)
        elif roll < 0.75:
            del data[at]
        else:
            data.insert(at, rng.choice([rng.randrange(256), ord("<"), ord("&"), ord(">"), 0x0d, ord("=")]))
    return bytes(data)


# ---------------------------------------------------------------- cases

class Case:
    def __init__(self, seed, index, tool, root):
        self.rng = random.Random(seed * 1_000_003 + index)
        self.index = index
        self.tool = tool
        self.folder = os.path.join(root, "c%d" % index)
        os.mkdir(self.folder)
        self.domain = os.path.join(self.folder, "com.example.domain")
        self.path = self.domain + ".plist"

    args = []

    def run(self, args):
        return subprocess.run([self.tool] + args, capture_output=True, timeout=60)

    def fail(self, what, before, result):
        return "case %d: %s\n  args %r\n  status %s, stderr %r\n  file before: %r" % (
            self.index, what, self.args, result.returncode, result.stderr[:300], before[:400])

    def unchanged(self, before, result):
        if result.returncode != 1:
            return self.fail("expected a refusal with status 1", before, result)
        with open(self.path, "rb") as f:
            if f.read() != before:
                return self.fail("refused, but the file changed", before, result)
        return None

    def execute(self):
        """(None, what was checked) when the case holds, else (what went wrong, None)."""
        rng = self.rng
        mutated = rng.random() < 0.2
        xml = rng.random() < 0.5
        data = dump(random_dict(rng, xml), xml)
        if mutated:
            data = mutate(rng, data)
            xml = not data.startswith(b"bplist00")
        with open(self.path, "wb") as f:
            f.write(data)
        mode = rng.choice([0o644, 0o600, 0o640, 0o604])
        os.chmod(self.path, mode)
        owner = None
        if os.geteuid() == 0 and rng.random() < 0.3:
            owner = (65534, 65534)
            os.chown(self.path, *owner)
        judged = parse_loose(data)  # what the file holds, in plistlib's eyes
        # plistlib takes a binary dictionary with keys other than strings,
        # which the format does not allow; the tool must refuse it.
        if isinstance(judged, dict) and not all(isinstance(k, str) for k in judged):
            judged = None
        keys = list(judged) if isinstance(judged, dict) else []

        roll = rng.random()
        if mutated or roll < 0.5:
            op = "write"
            key = rng.choice(keys) if keys and rng.random() < 0.5 else random_key(rng, False)
            argument, meant = quoted_value(rng, random_text(rng, False) if not mutated else "value")
            self.args = ["write", self.domain, key, argument]
        elif roll < 0.75:
            op = "delete"
            key = rng.choice(keys) if keys and rng.random() < 0.8 else random_key(rng, False)
            self.args = ["delete", self.domain, key]
        else:
            op = "read"
            key = rng.choice(keys) if keys and rng.random() < 0.6 else None
            self.args = ["read", self.domain] + ([key] if key is not None else [])

        result = self.run(self.args)
        if isinstance(judged, OutOfRange):
            if result.returncode == 0 or (result.returncode == 1 and open(self.path, "rb").read() == data):
                return None, "holds a date plistlib cannot read"
            return self.fail("neither done nor refused", data, result), None
        if not isinstance(judged, dict):
            if op == "read":
                return (None, "read refused") if result.returncode == 1 else \
                    (self.fail("read of a list plistlib rejects", data, result), None)
            return self.unchanged(data, result), "refused as plistlib does"
        if op == "read":
            return self.judge_read(judged, key, data, result), "read"

        expected = dict(judged)
        if op == "write":
            if xml and (XML_UNSAFE.search(key) or XML_UNSAFE.search(meant)):
                return self.unchanged(data, result), "write refused: XML cannot hold it"
            expected[key] = meant
        elif key in expected:
            del expected[key]
        else:
            with open(self.path, "rb") as f:
                if result.returncode != 0 or f.read() != data:
                    return self.fail("deleting an absent key changed something", data, result), None
            return None, "delete of an absent key"

        if result.returncode != 0:
            if mutated:
                if SHOW_REFUSALS:
                    print("case %d refused: %r\n  %r" % (self.index, result.stderr, data[:600]))
                return self.unchanged(data, result), "refused though plistlib read it"
            return self.fail("status %d" % result.returncode, data, result), None
        with open(self.path, "rb") as f:
            after = f.read()
        if after.startswith(b"bplist00") == xml:
            return self.fail("the encoding changed", data, result), None
        back = parse_loose(after)
        if not same(back, expected):
            return self.fail("plistlib reads %r, expected %r" % (back, expected), data, result), None
        info = os.stat(self.path)
        if info.st_mode & 0o7777 != mode or (owner and (info.st_uid, info.st_gid) != owner):
            return self.fail("mode or owner changed", data, result), None
        if os.listdir(self.folder) != ["com.example.domain.plist"]:
            return self.fail("left files behind: %r" % os.listdir(self.folder), data, result), None
        return None, op + (" (mutated input)" if mutated else "")

    def judge_read(self, judged, key, before, result):
        value = judged if key is None else judged[key]
        if isinstance(value, plistlib.UID) or (not isinstance(value, str) and not xml_can_hold(value)):
            return None if result.returncode == 1 else self.fail("printed what XML cannot hold", before, result)
        if result.returncode != 0:
            return self.fail("read failed", before, result)
        out = result.stdout
        if isinstance(value, str):
            ok = out == value.encode("utf-8") + b"\n"
        elif isinstance(value, bool):
            ok = out == (b"1\n" if value else b"0\n")
        elif isinstance(value, int):
            ok = out.endswith(b"\n") and int(out) == value
        elif isinstance(value, float):
            ok = out.endswith(b"\n") and same(float(out), value)
        else:
            ok = same(parse_loose(out), value)
        return None if ok else self.fail("read printed %r for %r" % (out[:300], value), before, result)


def run_case(seed, index, tool, root):
    case = Case(seed, index, tool, root)
    try:
        return case.execute()
    finally:
        shutil.rmtree(case.folder, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seed", type=int, default=12)
    parser.add_argument("--cases", type=int, default=3000)
    parser.add_argument("--bin", default=os.environ.get("LUMORA_BIN_DIR", ""))
    parser.add_argument("--show-refusals", action="store_true",
                        help="print the mutated lists that plistlib reads and the tool refuses")
    options = parser.parse_args()
    global SHOW_REFUSALS
    SHOW_REFUSALS = options.show_refusals
    tool = os.path.join(options.bin, "lumora-defaults")
    if not os.access(tool, os.X_OK):
        print("lumora-defaults not found in %r (set LUMORA_BIN_DIR or --bin)" % options.bin)
        return 2

    # A RAM disk where there is one: the tool syncs every file it writes.
    parent = "/dev/shm" if os.access("/dev/shm", os.W_OK) else None
    root = tempfile.mkdtemp(prefix="lumora-differential-", dir=parent)
    started = time.monotonic()
    failures = []
    counts = {}
    try:
        with ThreadPoolExecutor(max_workers=4) as pool:
            jobs = [pool.submit(run_case, options.seed, i, tool, root) for i in range(options.cases)]
            for job in jobs:
                failure, kind = job.result()
                if failure:
                    failures.append(failure)
                kind = kind or "failed"
                counts[kind] = counts.get(kind, 0) + 1
    finally:
        shutil.rmtree(root, ignore_errors=True)
    elapsed = time.monotonic() - started
    print("seed %d, %d cases in %.1f s: %s" % (options.seed, options.cases, elapsed,
                                              ", ".join("%s %d" % item for item in sorted(counts.items()))))
    for failure in failures[:20]:
        print(failure)
    print("%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
