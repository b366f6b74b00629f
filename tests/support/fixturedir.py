"""Makes a test folder's fixtures: runs its make_fixtures.py into OUT.

    fixturedir.py [--cache DIR] OUT SCRIPT [VAR=VALUE ...]

With --cache, the fixtures are made once per content of the script, this
folder's shared Python and the variables, under DIR, and copied into OUT; the
native and the Win64 trees of one run then share one making of them. The
variables are set in the script's environment either way."""
import fcntl
import glob
import hashlib
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def make(out, script, env):
    shutil.rmtree(out, ignore_errors=True)
    subprocess.run([sys.executable, script, out], check=True, env=env)


def key(script, assignments):
    h = hashlib.sha256()
    for name in [script] + sorted(glob.glob(os.path.join(HERE, "*.py"))):
        with open(name, "rb") as f:
            h.update(f.read())
        h.update(b"\0")
    h.update("\0".join(assignments).encode())
    return h.hexdigest()[:24]


def main(argv):
    cache = None
    if argv[:1] == ["--cache"]:
        cache, argv = argv[1], argv[2:]
    if len(argv) < 2:
        sys.exit(__doc__)
    out, script, assignments = os.path.abspath(argv[0]), os.path.abspath(argv[1]), argv[2:]
    env = dict(os.environ)
    for a in assignments:
        name, _, value = a.partition("=")
        env[name] = value
    if not cache:
        make(out, script, env)
        return
    os.makedirs(cache, exist_ok=True)
    made = os.path.join(cache, key(script, assignments))
    with open(made + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not os.path.exists(os.path.join(made, ".complete")):
            make(made, script, env)
            open(os.path.join(made, ".complete"), "w").close()
    shutil.rmtree(out, ignore_errors=True)
    shutil.copytree(made, out, symlinks=True, ignore=shutil.ignore_patterns(".complete"))


if __name__ == "__main__":
    main(sys.argv[1:])
