#!/usr/bin/env python3
"""Stops `lumora-loginctl set` at random moments, then saves again cleanly,
and counts what that leaves behind and what it loses.

    scripts/random-kill.py [ITERATIONS] [--size WxH] [--seed N]

Needs a built tree (build/bin). Each iteration starts a save of a logo, a
large background, a message and a host-information choice on a sample
volume, sends it SIGKILL, SIGTERM, SIGINT or SIGHUP (to the process alone
or to its whole group, tools included) after a random delay, then runs a
clean save with other values and checks:
  - left behind: hidden files of ours (.NAME.lumora-XXXXXXXX,
    .com.apple.loginwindow.plist.XXXXXX) anywhere on the volume, and save
    or settings locks still held once the stopped save is gone (a lock file
    of a killed save may stay, but must not block: the clean save that
    follows shows it);
  - lost writes: a clean save that fails, or a value it wrote that does not
    read back (message, host information, the background's
    bytes, the logo's bytes), a missing or changed backup of the stock logo, a domain that
    does not parse.
Exit status 0 only when both counts are 0.
"""
import argparse, fcntl, hashlib, json, os, random, re, shutil, signal, struct, subprocess, sys, tempfile, time, zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BIN = os.environ.get("LUMORA_BIN_DIR", os.path.join(ROOT, "build", "bin"))
OURS = re.compile(r"^\.(.+\.lumora-[a-z0-9]{8}|com\.apple\.loginwindow\.plist\.[A-Za-z0-9]{6})$")
LOGO = "System/Library/CoreServices/SecurityAgent.app/Contents/Resources/applelogo.tif"
BACKGROUND = "Library/Application Support/Lumora/login_background.jpg"
DOMAIN = "Library/Preferences/com.apple.loginwindow"


def ppm(path, width, height, seed):
    """A noisy picture (noise keeps the JPEG large)."""
    rnd = random.Random(seed)
    row = bytearray()
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (width, height))
        block = bytes(rnd.getrandbits(8) for _ in range(width * 3 * 16))
        for y in range(height):
            start = (y * 7919 * 3) % (len(block) - width * 3)
            f.write(block[start:start + width * 3])


def png(path, width, height, rgb):
    raw = b"".join(b"\x00" + bytes(rgb) * width for _ in range(height))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def still_locked(path):
    """A lock file left by a killed save may stay; it must not block."""
    try:
        fd = os.open(path, os.O_RDONLY | os.O_NOFOLLOW)
    except FileNotFoundError:
        return False
    try:
        fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
        return False
    except BlockingIOError:
        return True
    finally:
        os.close(fd)


def sha(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("iterations", nargs="?", type=int, default=200)
    parser.add_argument("--size", default="4000x3000")
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    rnd = random.Random(args.seed)
    width, height = map(int, args.size.split("x"))

    work = tempfile.mkdtemp(prefix="lumora-random-kill-")
    volume = os.path.join(work, "volume")
    home = os.path.join(work, "home")
    os.makedirs(home)
    artwork = os.path.join(BIN, "resources")
    sample = os.path.join(BIN, "lumora-sample-volume")
    if not os.path.exists(os.path.join(artwork, "AppleLogo.tif")):
        subprocess.run([sample, "artwork", artwork], check=True)
    subprocess.run([sample, "volume", volume, artwork], check=True)
    env = dict(os.environ, LUMORA_AUTH="direct", LUMORA_SYSTEM_ROOT=volume, HOME=home,
               XDG_DATA_HOME=os.path.join(home, "data"), XDG_CONFIG_HOME=os.path.join(home, "config"))
    tool = os.path.join(BIN, "lumora-loginctl")
    stock_logo = sha(os.path.join(volume, LOGO))

    backgrounds = [os.path.join(work, "a.ppm"), os.path.join(work, "b.ppm")]
    for i, path in enumerate(backgrounds):
        ppm(path, width, height, i)
    logos = [(os.path.join(work, "logo-a.png"), (64, 40)), (os.path.join(work, "logo-b.png"), (80, 50))]
    png(logos[0][0], 64, 40, (200, 30, 30))
    png(logos[1][0], 80, 50, (30, 200, 30))

    def arguments(n):
        logo, _ = logos[n % 2]
        return ["set", "--logo", logo, "--background", backgrounds[n % 2],
                "--message", "Save number %d" % n, "--host-info", str(n % 7)]

    def run(n):
        return subprocess.run([tool] + arguments(n), env=env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE, text=True)

    # What each background looks like installed, and how long a save takes.
    installed = []
    installed_logo = []
    durations = []
    for n in (0, 1):
        began = time.monotonic()
        result = run(n)
        durations.append(time.monotonic() - began)
        if result.returncode != 0:
            sys.exit("random-kill: the first saves fail: " + result.stderr)
        installed.append(sha(os.path.join(volume, BACKGROUND)))
        installed_logo.append(sha(os.path.join(volume, LOGO)))
    longest = max(durations)
    print("save takes %.2f s; background %dx%d, %d bytes installed" %
          (longest, width, height, os.path.getsize(os.path.join(volume, BACKGROUND))), flush=True)

    left_behind = 0
    lost = 0
    kinds = [signal.SIGKILL, signal.SIGTERM, signal.SIGINT, signal.SIGHUP]
    tally = {}
    for i in range(args.iterations):
        n = 2 + i
        sig = rnd.choice(kinds)
        group = rnd.random() < 0.5
        delay = rnd.uniform(0, longest * 1.1)
        child = subprocess.Popen([tool] + arguments(n), env=env, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL, start_new_session=True)
        time.sleep(delay)
        try:
            if group:
                os.killpg(child.pid, sig)
            else:
                os.kill(child.pid, sig)
        except ProcessLookupError:
            pass
        child.wait()
        outcome = "finished" if child.returncode >= 0 else "stopped"
        key = "%s%s %s" % (signal.Signals(sig).name, " (group)" if group else "", outcome)
        tally[key] = tally.get(key, 0) + 1

        m = n + 1000  # the clean save writes other values than the stopped one
        result = run(m)
        problems = []
        if result.returncode != 0:
            problems.append("clean save exit %d: %s" % (result.returncode, result.stderr.strip()))
        shown = subprocess.run([tool, "show", "--json"], env=env, capture_output=True, text=True)
        state = json.loads(shown.stdout) if shown.returncode == 0 else {}
        if state.get("message") != "Save number %d" % m:
            problems.append("message %r" % state.get("message"))
        if state.get("hostInfo", {}).get("tag") != m % 7:
            problems.append("host info %r" % state.get("hostInfo"))
        if subprocess.run([os.path.join(BIN, "lumora-defaults"), "read", os.path.join(volume, DOMAIN)],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode != 0:
            problems.append("domain does not parse")
        if sha(os.path.join(volume, BACKGROUND)) != installed[m % 2]:
            problems.append("background bytes")
        backup = os.path.join(volume, LOGO.replace("applelogo.tif", "applelogo_Original.tif"))
        if not os.path.exists(backup) or sha(backup) != stock_logo:
            problems.append("logo backup")
        if sha(os.path.join(volume, LOGO)) != installed_logo[m % 2]:
            problems.append("logo bytes")
        litter = []
        for folder, _, files in os.walk(volume):
            litter += [os.path.join(folder, f) for f in files if OURS.match(f)]
        stuck = [lock for lock in (os.path.join(volume, "Library/Application Support/Lumora/save.lock"),
                                   os.path.join(home, "data", "Lumora Login", "save.lock"),
                                   os.path.join(home, "config", "Lumora", "Lumora Login.ini.lock"))
                 if still_locked(lock)]
        if stuck:
            left_behind += len(stuck)
            print("iteration %d (%s after %.2f s): locks still held %s" % (i, key, delay, stuck), flush=True)
        if litter:
            left_behind += len(litter)
            print("iteration %d (%s after %.2f s): left behind %s" % (i, key, delay, litter), flush=True)
            for path in litter:
                os.unlink(path)
        if problems:
            lost += 1
            print("iteration %d (%s after %.2f s): lost %s" % (i, key, delay, problems), flush=True)
        if (i + 1) % 25 == 0:
            print("%d iterations: %d left behind, %d lost" % (i + 1, left_behind, lost), flush=True)

    print("signals: " + ", ".join("%s: %d" % kv for kv in sorted(tally.items())))
    print("iterations: %d, files left behind: %d, lost writes: %d" % (args.iterations, left_behind, lost))
    shutil.rmtree(work, ignore_errors=True)
    return 0 if left_behind == 0 and lost == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
