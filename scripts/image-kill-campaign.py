#!/usr/bin/env python3
"""Kills saves into a disk image at random moments and checks, after each
kill, that the image is byte for byte either as it was before the save or as
the save would have left it. Run by hand; it prints its counts.

  scripts/image-kill-campaign.py IMAGE.img --runs 300 commit
      Kills `lumora-image commit` (the step that puts a save's blocks into
      the image) at random moments: no virtual machine, many runs a minute.
      The overlay is made once, by a real save through the companion.
  scripts/image-kill-campaign.py IMAGE.img --runs 300 syscall
      The same commit, killed by strace at a random one of the system calls
      that write, sync, rename or remove (each step of the commit equally
      likely, wherever its time goes).
  scripts/image-kill-campaign.py IMAGE.img --runs 20 save
      Kills the whole companion (`lumora-loginctl --image IMAGE set ...`)
      and its helpers at random moments of its run; each run starts a
      virtual machine (20-35 s without KVM).

After each kill the image is recovered as the next open would
(`lumora-image recover`). "after" is judged exactly: the killed save's
overlay applied to a copy of the before-state must give the image's bytes.
Anything that is neither counts as "other" and makes the exit status 1.
"""

import argparse
import glob
import hashlib
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

KILLED_CALLS = ["pwrite64", "write", "fsync", "fdatasync", "rename", "renameat", "renameat2", "unlink", "unlinkat"]
BIN = os.environ.get("LUMORA_BIN_DIR", os.path.join(os.path.dirname(__file__), "..", "build", "bin"))


def sha(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for chunk in iter(lambda: f.read(1 << 20), b""):
            digest.update(chunk)
    return digest.hexdigest()


def applied(before_copy, overlay, scratch):
    """The bytes the overlay gives on top of the before-state."""
    moved = os.path.join(scratch, "overlay-copy.qcow2")
    shutil.copyfile(overlay, moved)
    subprocess.run(["qemu-img", "rebase", "-u", "-f", "qcow2", "-F", "raw", "-b", before_copy, moved], check=True)
    out = os.path.join(scratch, "after.raw")
    subprocess.run(["qemu-img", "convert", "-f", "qcow2", "-O", "raw", moved, out], check=True)
    result = sha(out)
    os.unlink(out)
    os.unlink(moved)
    return result


def recover(image):
    subprocess.run([os.path.join(BIN, "lumora-image"), "recover", image], check=True, capture_output=True)


def make_overlay(image, scratch, env):
    """One real save through the companion, keeping its overlay: the
    companion is stopped (SIGKILL) at its first write into the image."""
    copy = os.path.join(scratch, "for-overlay.img")
    shutil.copyfile(image, copy)
    cache = os.path.join(env["HOME"], ".cache", "lumora-login", "images")
    # Stopped at its first write into the image, after the machine has
    # unmounted the volume: the session's overlay is whole by then.
    subprocess.run(["strace", "-f", "-qq", "-o", "/dev/null", "-P", copy, "-e", "trace=pwrite64",
                    "-e", "inject=pwrite64:signal=SIGKILL:when=1", "--",
                    os.path.join(BIN, "lumora-loginctl"), "--image", copy, "set", "--message", "campaign"],
                   env=env, capture_output=True)
    overlays = glob.glob(os.path.join(cache, "s-*", "overlay.qcow2"))
    if not overlays:
        sys.exit("no overlay was left to work with")
    kept = os.path.join(scratch, "overlay.qcow2")
    shutil.copyfile(max(overlays, key=os.path.getmtime), kept)
    return kept


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("image")
    parser.add_argument("mode", choices=["commit", "syscall", "save"])
    parser.add_argument("--runs", type=int, default=100)
    parser.add_argument("--seed", type=int, default=1)
    options = parser.parse_args()
    rng = random.Random(options.seed)
    scratch = tempfile.mkdtemp(prefix="lumora-kill-")
    env = dict(os.environ)
    env["HOME"] = os.path.join(scratch, "home")
    env.setdefault("LUMORA_IMAGE_ACCEL", "tcg")
    os.makedirs(env["HOME"])
    image = os.path.join(scratch, "disk.img")
    shutil.copyfile(options.image, image)
    before_copy = os.path.join(scratch, "before.img")
    counts = {"before": 0, "after": 0, "other": 0, "finished": 0}

    overlay = make_overlay(image, scratch, env) if options.mode in ("commit", "syscall") else None
    # How long an unhindered run takes, to spread the kills over it.
    shutil.copyfile(image, before_copy)
    started = time.monotonic()
    calls = {}
    if options.mode in ("commit", "syscall"):
        # How often an unhindered commit makes each call, for the syscall mode.
        counted = subprocess.run(["strace", "-f", "-c", "-U", "name,calls", "-e", "trace=" + ",".join(KILLED_CALLS),
                                  os.path.join(BIN, "lumora-image"), "commit", before_copy, "raw", overlay],
                                 check=True, capture_output=True, text=True)
        for line in counted.stderr.splitlines():
            fields = line.split()
            if len(fields) == 2 and fields[0] in KILLED_CALLS and fields[1].isdigit():
                calls[fields[0]] = int(fields[1])
    else:
        subprocess.run([os.path.join(BIN, "lumora-loginctl"), "--image", before_copy, "set", "--message", "timing"],
                       env=env, check=True, capture_output=True)
    span = time.monotonic() - started

    pristine = os.path.join(scratch, "pristine.img")
    shutil.copyfile(options.image, pristine)
    before = sha(pristine)
    known_after = applied(pristine, overlay, scratch) if overlay else None
    for run in range(options.runs):
        # Every run starts from the same image, so that "before" and
        # "after" stay two different, known states.
        subprocess.run(["cp", "--sparse=always", pristine, image], check=True)
        subprocess.run(["cp", "--sparse=always", pristine, before_copy], check=True)
        if options.mode == "syscall":
            call = rng.choice(sorted(calls))
            command = ["strace", "-f", "-qq", "-o", "/dev/null", "-e", "trace=" + call,
                       "-e", "inject=%s:signal=SIGKILL:when=%d" % (call, rng.randint(1, calls[call])),
                       os.path.join(BIN, "lumora-image"), "commit", image, "raw", overlay]
        elif options.mode == "commit":
            command = [os.path.join(BIN, "lumora-image"), "commit", image, "raw", overlay]
        else:
            command = [os.path.join(BIN, "lumora-loginctl"), "--image", image, "set", "--message", "run %d" % run]
        process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                   start_new_session=True)
        if options.mode == "syscall":
            process.wait()
        else:
            time.sleep(rng.uniform(0, span * 0.9))
        finished = process.poll() is not None and options.mode != "syscall"
        if process.poll() is None:
            os.killpg(process.pid, signal.SIGKILL)
        process.wait()
        # The machine of a killed companion ends with it; wait for that.
        for _ in range(100):
            if subprocess.run(["pgrep", "-f", image], capture_output=True).stdout.strip() == b"":
                break
            time.sleep(0.2)
        recover(image)
        now = sha(image)
        if finished and process.returncode == 0:
            # A save that ran to its end must have left the new state.
            whole = now == known_after if known_after else now != before
            counts["finished" if whole else "other"] += 1
            verdict = "finished" if whole else "OTHER (finished)"
        elif now == before:
            counts["before"] += 1
            verdict = "before"
        else:
            session = overlay
            if options.mode in ("commit", "syscall"):
                verdict = "after" if now == known_after else "OTHER"
                counts["after" if verdict == "after" else "other"] += 1
                print("run %d: %s" % (run, verdict), flush=True)
                continue
            if options.mode == "save":
                left = glob.glob(os.path.join(env["HOME"], ".cache", "lumora-login", "images", "s-*", "overlay.qcow2"))
                session = max(left, key=os.path.getmtime) if left else None
            if session and applied(before_copy, session, scratch) == now:
                counts["after"] += 1
                verdict = "after"
            else:
                counts["other"] += 1
                verdict = "OTHER"
        print("run %d: %s" % (run, verdict), flush=True)
        if options.mode == "save":
            for folder in glob.glob(os.path.join(env["HOME"], ".cache", "lumora-login", "images", "s-*")):
                subprocess.run(["fusermount3", "-u", "-z", "-q", os.path.join(folder, "mnt")])
                shutil.rmtree(folder, ignore_errors=True)

    print("runs %d: before %d, after %d, finished %d, other %d"
          % (options.runs, counts["before"], counts["after"], counts["finished"], counts["other"]))
    shutil.rmtree(scratch, ignore_errors=True)
    return 1 if counts["other"] else 0


if __name__ == "__main__":
    sys.exit(main())
