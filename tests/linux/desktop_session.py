"""What the desktop tests share: their checks and tally, an X server of
their own, and the tool's environment with a home and runtime folder in the
test's folder."""
import os
import subprocess


class Checks:
    """Each check printed as it is made; the tally and the exit status at
    the end."""

    def __init__(self):
        self.passes = []
        self.failures = []

    def __call__(self, condition, what):
        print(("ok: " if condition else "FAILED: ") + what, flush=True)
        (self.passes if condition else self.failures).append(what)

    def summary(self):
        print("%d passed, %d failed" % (len(self.passes), len(self.failures)))
        return 1 if self.failures else 0


def start_xvfb(screen):
    """An X server on a free display; the display's name and the process."""
    read_fd, write_fd = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-nolisten", "tcp",
                             "-screen", "0", screen], pass_fds=(write_fd,),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_fd)
    with os.fdopen(read_fd) as f:
        return ":" + f.readline().strip(), xvfb


def tool_env(base, work, drop):
    """`base` without the names in `drop`, with HOME and the runtime folder
    made in `work`. Under the sanitizers the toolkit's and D-Bus's
    process-wide caches would count as leaks at exit; these tests are about
    the desktop, and the unit tests check the tool's own memory."""
    home = os.path.join(work, "home")
    runtime = os.path.join(work, "run")
    os.makedirs(home)
    os.makedirs(runtime, mode=0o700)
    env = {k: v for k, v in base.items() if k not in drop}
    env.update({"HOME": home, "XDG_RUNTIME_DIR": runtime,
                "XDG_CONFIG_HOME": os.path.join(home, ".config")})
    env["ASAN_OPTIONS"] = ":".join(filter(None, [env.get("ASAN_OPTIONS"), "detect_leaks=0"]))
    return env


def stop(processes):
    """Ends the servers a test started (None where one was not)."""
    for process in processes:
        if process is not None:
            process.terminate()
            process.wait()
