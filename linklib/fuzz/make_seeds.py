#!/usr/bin/env python3
"""Writes the seed corpora of fuzz_link and fuzz_codec from real conversations.

Each seed is one operation run by veskactl against veska-htsim, whose record
file gives the frames the terminal sent; they become a line script in the
format of fake_line.h, released one reply per PC write as on the line.

    linklib/fuzz/make_seeds.py [BUILD_DIR]     (default: build, the default preset)

Needs veska-htsim and veskactl in BUILD_DIR/bin. Rewrites the seeds it makes
and leaves every other file in the corpus folders alone.
"""

import os
import pathlib
import subprocess
import sys
import tempfile

HERE = pathlib.Path(__file__).resolve().parent
BUILD = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else HERE.parent.parent / "build")
SIM = BUILD / "bin" / "veska-htsim"
CTL = BUILD / "bin" / "veskactl"

# The operations of fuzz_link.cpp, by their index in kOps.
OP_DIR, OP_INFO, OP_STATUS, OP_UPLOAD, OP_BATCH_UPLOAD = 0, 1, 2, 3, 4
OP_DOWNLOAD, OP_BATCH_DOWNLOAD, OP_SYSTEM_INSTALL, OP_COMMANDS, OP_POLLING = 5, 6, 7, 8, 9
OP_POLLING_DOWNLOAD, OP_POLLING_UPLOAD, OP_APP_INSTALL, OP_SYSTEM_INSTALL_TWO = 10, 11, 12, 13
SIZES = [0, 1, 5, 511, 512, 513, 1024, 1500]  # kSizes


def options(retry=3, save_mode=0, size=0, old_files=False):
    return (retry - 1) | save_mode << 2 | SIZES.index(size) << 4 | (0x80 if old_files else 0)


def record_frames(path):
    frames = []
    for line in pathlib.Path(path).read_text().splitlines():
        f = line.split()
        if len(f) < 8 or f[0] not in ("RX", "TX"):
            continue
        data = b"" if f[6] == "-" else bytes.fromhex(f[6])
        frames.append({"rx": f[0] == "RX", "type": f[1], "ht": f[2], "block": f[3],
                       "control": f[5], "data": data, "ok": f[7] == "ok"})
    return frames


def raw_frame(f):
    """The frame's bytes as they crossed the line."""
    body = (f["type"] + f["ht"] + f["block"]).encode() + b"%04d" % len(f["data"]) + f["data"] + b"\x03"
    bcc = 0
    for b in body:
        bcc ^= b
    return b"\x02" + body + bytes([bcc if f["ok"] else bcc ^ 0xFF])


def script_record(f, joined):
    n = len(f["data"])
    h = 2 | (0x80 if joined else 0) | (0 if f["ok"] else 0x40)
    head = bytes([h]) + (f["type"] + f["ht"] + f["block"]).encode() + bytes([n >> 8, n & 0xFF])
    return head + f["data"]


def line_script(frames, start_letters):
    """The terminal's frames from the first command in `start_letters` on, one
    reply per PC frame (an empty one where the PC's frame got no answer)."""
    start = next(i for i, f in enumerate(frames)
                 if f["rx"] and f["type"] == "C" and f["control"] in start_letters)
    out = b""
    frames = frames[start:]
    for i, f in enumerate(frames):
        if not f["rx"]:
            continue
        replies = []
        for g in frames[i + 1:]:
            if g["rx"]:
                break
            replies.append(g)
        if not replies:
            out += b"\x00\x00"  # no answer to this frame
        for k, g in enumerate(replies):
            out += script_record(g, k > 0)
    return out


def converse(files, commands, faults=(), old_files=False):
    """Runs veskactl `commands` against one simulated terminal 001 holding
    `files` (name: contents); returns the recorded frames. With `old_files`
    the upload folder holds A.DAT and UP.DAT already, as in fuzz_link."""
    with tempfile.TemporaryDirectory() as tmp:
        tmp = pathlib.Path(tmp)
        (tmp / "ht").mkdir()
        (tmp / "pc").mkdir()
        (tmp / "in").mkdir()
        if old_files:
            for name in ("A.DAT", "UP.DAT"):
                (tmp / "in" / name).write_bytes(b"old")
        for name, contents in files.items():
            (tmp / "ht" / name).write_bytes(contents)
        record = tmp / "record.txt"
        args = [str(SIM), "--record", str(record), "--ht", "1", "--dir", str(tmp / "ht"),
                "--ack-timeout", "400"]
        for fault in faults:
            args += ["--fault", fault]
        sim = subprocess.Popen(args, stdout=subprocess.PIPE, text=True)
        try:
            env = dict(os.environ, VESKA_COM1=sim.stdout.readline().strip())
            for cmd in commands:
                cmd = [str(a).replace("@pc", str(tmp / "pc")).replace("@in", str(tmp / "in"))
                       for a in cmd]
                for a in cmd:
                    if a.startswith(str(tmp / "pc")) and not os.path.exists(a):
                        size = {"A.DAT": 512, "B.DAT": 3, "EX.HEX": 3}.get(os.path.basename(a), 1024)
                        pathlib.Path(a).write_bytes(b"x" * size)
                subprocess.run([str(CTL), "--timeout", "500", "--retry", "3", *cmd], env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        finally:
            sim.terminate()
            sim.wait()
        return record_frames(record)


SEEDS = [
    # name, op, options, terminal files, veskactl commands, faults, first command letters
    ("dir", OP_DIR, options(), {"A.DAT": b"a" * 5, "B.DAT": b"b" * 600, "LONGNAME.TXT": b""},
     [["dir", 1]], [], "F"),
    ("dir-many-frames", OP_DIR, options(), {"A.DAT": b"a"}, [["dir", 1]],
     ["split=2", "extra=30"], "F"),
    ("dir-cancelled", OP_DIR, options(), {"A.DAT": b"a"}, [["dir", 1]],
     ["split=1", "extra=4", "cancel=3@F"], "F"),
    ("dir-other-terminal", OP_DIR, options(), {"A.DAT": b"a"}, [["dir", 1]], ["otherht=9@F"], "F"),
    ("dir-repeated-frame", OP_DIR, options(), {"A.DAT": b"a"}, [["dir", 1]],
     ["split=1", "extra=3", "repeat=1@F"], "F"),
    ("info", OP_INFO, options(), {"A.DAT": b"a" * 1234}, [["info", 1, "A.DAT"]], [], "H"),
    ("info-missing", OP_INFO, options(), {}, [["info", 1, "A.DAT"]], [], "H"),
    ("status", OP_STATUS, options(), {}, [["status", 1]], [], "G"),
    ("status-wrong-mode", OP_STATUS, options(), {}, [["status", 1]], ["result=M@G"], "G"),
    ("upload", OP_UPLOAD, options(size=1024), {"UP.DAT": bytes(range(256)) * 4},
     [["get", 1, "UP.DAT", "--to", "@in"]], [], "S"),
    ("upload-empty", OP_UPLOAD, options(size=0), {"UP.DAT": b""},
     [["get", 1, "UP.DAT", "--to", "@in"]], [], "S"),
    ("upload-bad-check", OP_UPLOAD, options(size=513), {"UP.DAT": b"u" * 513},
     [["get", 1, "UP.DAT", "--to", "@in"]], ["badbcc=1@S"], "S"),
    ("upload-repeated-block", OP_UPLOAD, options(size=1500), {"UP.DAT": b"u" * 1500},
     [["get", 1, "UP.DAT", "--to", "@in"]], ["repeat=1@S"], "S"),
    ("batch-upload", OP_BATCH_UPLOAD, options(),
     {"A.DAT": b"a" * 5, "B.DAT": b"b" * 600, "C.DAT": b""}, [["get-all", 1, "--to", "@in"]], [],
     "U"),
    ("batch-upload-new-only", OP_BATCH_UPLOAD, options(save_mode=2),
     {"A.DAT": b"a" * 5, "B.DAT": b"b" * 1024}, [["get-all", 1, "--to", "@in", "--mode", "new"]],
     [], "U"),
    ("batch-upload-header-again", OP_BATCH_UPLOAD, options(), {"A.DAT": b"a" * 5},
     [["get-all", 1, "--to", "@in"]], ["rehead"], "U"),
    ("batch-upload-short", OP_BATCH_UPLOAD, options(), {"A.DAT": b"a" * 50},
     [["get-all", 1, "--to", "@in"]], ["short=20@U"], "U"),
    ("batch-upload-appended", OP_BATCH_UPLOAD, options(save_mode=1, old_files=True),
     {"A.DAT": b"a" * 5, "B.DAT": b"b" * 1024},
     [["get-all", 1, "--to", "@in", "--mode", "append"]], [], "U"),
    ("batch-upload-skips-old-file", OP_BATCH_UPLOAD, options(save_mode=2, old_files=True),
     {"A.DAT": b"a" * 5, "B.DAT": b"b" * 1024}, [["get-all", 1, "--to", "@in", "--mode", "new"]],
     [], "U"),
    ("upload-appended", OP_UPLOAD, options(save_mode=1, size=5, old_files=True),
     {"UP.DAT": b"u" * 5}, [["get", 1, "UP.DAT", "--to", "@in", "--mode", "append"]], [], "S"),
    ("download", OP_DOWNLOAD, options(size=1024), {}, [["install", 1, "@pc/A.APL"]], [], "DAB"),
    ("app-install", OP_APP_INSTALL, options(size=1024), {}, [["install", 1, "@pc/A.APL"]], [],
     "AB"),
    ("batch-download", OP_BATCH_DOWNLOAD, options(size=512), {},
     [["put", 1, "@pc/A.DAT", "@pc/B.DAT"]], [], "W"),
    ("system-install", OP_SYSTEM_INSTALL, options(size=1024), {},
     [["os-install", 1, "@pc/SYSTEM.HEX"]], [], "O"),
    ("system-install-two-files", OP_SYSTEM_INSTALL_TWO, options(size=1024), {},
     [["os-install", 1, "@pc/OS.HEX", "@pc/EX.HEX"]], [], "V"),
    ("commands", OP_COMMANDS, options(), {"A.DAT": b"a", "OLD.DAT": b"o"},
     [["delete", 1, "OLD.DAT"], ["rename", 1, "A.DAT", "B.DAT"], ["ap-end", 1],
      ["remote-end", 1]], [], "E"),
    ("polling", OP_POLLING, options(), {}, [["poll", 1]], [], "P"),
    ("polling-download", OP_POLLING_DOWNLOAD, options(size=512), {},
     [["poll", 1], ["put", 1, "@pc/A.DAT"]], [], "P"),
    ("polling-upload", OP_POLLING_UPLOAD, options(), {"A.DAT": b"a" * 5, "B.DAT": b"b" * 700},
     [["poll", 1], ["get-all", 1, "--to", "@in"]], [], "P"),
]

# Conversations that also seed the codec.
CODEC_SEEDS = {"dir", "dir-other-terminal", "info", "status-wrong-mode", "upload-bad-check",
               "batch-upload", "commands"}


def main():
    link = HERE / "corpus" / "fuzz_link"
    codec = HERE / "corpus" / "fuzz_codec"
    link.mkdir(parents=True, exist_ok=True)
    codec.mkdir(parents=True, exist_ok=True)
    for name, op, opts, files, commands, faults, letters in SEEDS:
        frames = converse(files, commands, faults, old_files=bool(opts & 0x80))
        seed = bytes([op, opts]) + line_script(frames, letters)
        (link / name).write_bytes(seed)
        if name in CODEC_SEEDS:
            # The codec reads a whole conversation, both directions, as one stream.
            (codec / name).write_bytes(b"".join(raw_frame(f) for f in frames))
        print(f"{name}: {len(frames)} frames, {len(seed)} bytes")


if __name__ == "__main__":
    main()
