"""Real compositors from Debian 12, started headless for the tests and the
benchmarks: phoc 0.24 and sway 1.7, both on wlroots 0.15. Each gets a fresh
directory of its own with a private XDG_RUNTIME_DIR (mode 0700), HOME and
XDG_*_HOME, and a minimal configuration that starts nothing: no Xwayland,
no bar, no background, no command. Everything is stopped, by process id,
on leaving.

How they are started, and why:
  * WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1
    WLR_HEADLESS_OUTPUTS=N: no GPU, no input devices, N virtual outputs
    named HEADLESS-1 .. HEADLESS-N.
  * `phoc -C <ini>` without -E (with -E phoc quits as soon as that command
    ends) and `sway -c <config>`: both serve until sent SIGTERM.
  * phoc runs as whoever runs the test. GSETTINGS_BACKEND=memory keeps its
    GSettings off dconf, which would otherwise write under HOME.
  * sway refuses to run as root ("Unable to drop root ..., refusing to
    start"). As root it is started as nobody, through setpriv, with its
    directory given to nobody; the clients stay root, who may connect to any
    socket. As any other user it runs as that user.
  * PR_SET_PDEATHSIG (setpriv --pdeathsig for sway, since a change of user
    clears it) sends them SIGTERM if the test dies before stopping them.
"""

import ctypes
import os
import pathlib
import pwd
import re
import shutil
import signal
import subprocess
import tempfile
import time

SOCKET_TIMEOUT = 15   # seconds for the compositor to create its socket
HEADS_TIMEOUT = 15    # seconds for all heads to be announced
RUN_TIMEOUT = 20      # seconds for one run of a peer client

# The program, and the Debian packages that bring it and its peer wlr-randr.
PROGRAMS = {"phoc": "phoc", "sway": "sway"}
DEBIAN_PACKAGES = {"phoc": ["phoc", "libwlroots10"], "sway": ["sway", "libwlroots10"]}


class StartFailed(Exception):
    """The compositor did not start or did not announce its heads."""


def package_version(package):
    """The installed version of a Debian package, or "?"."""
    try:
        run = subprocess.run(["dpkg-query", "-W", "-f=${Version}", package], capture_output=True, timeout=30)
    except OSError:
        return "?"
    return run.stdout.decode().strip() if run.returncode == 0 and run.stdout else "?"


def versions(kind):
    """"phoc 0.24.0-1, libwlroots10 0.15.1-6": what is under test."""
    return ", ".join(f"{p} {package_version(p)}" for p in DEBIAN_PACKAGES[kind])


def _die_with_parent():
    """Runs in the child before exec: SIGTERM it if its parent dies."""
    libc = ctypes.CDLL(None, use_errno=True)
    PR_SET_PDEATHSIG = 1
    libc.prctl(PR_SET_PDEATHSIG, signal.SIGTERM, 0, 0, 0)


def _phoc_config(outputs):
    lines = ["[core]", "xwayland = false", ""]
    for o in outputs:
        lines += [f"[output:{o['name']}]", f"mode = {o['mode']}", f"x = {o['x']}", f"y = {o['y']}",
                  f"scale = {o['scale']}", f"rotate = {o['transform']}", ""]
    return "\n".join(lines)


def _sway_config(outputs):
    lines = ["xwayland disable"]
    for o in outputs:
        lines.append(f"output {o['name']} mode {o['mode']} position {o['x']} {o['y']} scale {o['scale']} "
                     f"transform {o['transform']}")
    return "\n".join(lines) + "\n"


class Headless:
    """One headless compositor of `kind` ("phoc" or "sway") with `outputs`
    virtual outputs: a number, or a list of {"name", "mode" ("WxH@RHz"),
    "x", "y", "scale", "transform"} that the configuration asks for, in the
    compositor's own words. `env` is a client's environment, once started."""

    def __init__(self, kind, outputs, parent=None):
        self.kind = kind
        configured = outputs if isinstance(outputs, list) else []
        count = len(outputs) if isinstance(outputs, list) else outputs
        self.dir = pathlib.Path(tempfile.mkdtemp(prefix=f"{kind}-", dir=parent))
        self.runtime, home = self.dir / "run", self.dir / "home"
        self.runtime.mkdir(mode=0o700)
        home.mkdir(mode=0o700)
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("WAYLAND_", "WLR_", "SWAY")) and k not in ("DISPLAY", "XDG_RUNTIME_DIR", "I3SOCK")}
        env.update({
            "XDG_RUNTIME_DIR": str(self.runtime), "HOME": str(home),
            "XDG_CONFIG_HOME": str(home / ".config"), "XDG_CACHE_HOME": str(home / ".cache"),
            "XDG_DATA_HOME": str(home / ".local/share"), "XDG_STATE_HOME": str(home / ".local/state"),
            "GSETTINGS_BACKEND": "memory",
            "WLR_BACKENDS": "headless", "WLR_RENDERER": "pixman", "WLR_LIBINPUT_NO_DEVICES": "1",
            "WLR_HEADLESS_OUTPUTS": str(count),
        })
        program = shutil.which(PROGRAMS[kind])
        if kind == "phoc":
            config = self.dir / "phoc.ini"
            config.write_text(_phoc_config(configured))
            argv, preexec = [program, "-C", str(config)], _die_with_parent
        else:
            config = self.dir / "sway.config"
            config.write_text(_sway_config(configured))
            argv, preexec = [program, "-c", str(config)], _die_with_parent
            if os.geteuid() == 0:
                nobody = pwd.getpwnam("nobody")
                os.chmod(self.dir, 0o755)
                for path in (self.runtime, home, config):
                    os.chown(path, nobody.pw_uid, nobody.pw_gid)
                argv = [shutil.which("setpriv"), f"--reuid={nobody.pw_uid}", f"--regid={nobody.pw_gid}",
                        "--clear-groups", "--pdeathsig=TERM", *argv]
                preexec = None
        self.log_path = self.dir / f"{kind}.log"
        self.command = " ".join(argv)
        with open(self.log_path, "wb") as logfile:
            self.proc = subprocess.Popen(argv, env=env, cwd=self.dir, stdin=subprocess.DEVNULL, stdout=logfile,
                                         stderr=subprocess.STDOUT, preexec_fn=preexec)
        self.env = None
        try:
            self.env = self._client_env(self._wait_for_socket())
        except BaseException:
            self.stop()
            raise

    def log(self):
        try:
            return self.log_path.read_text(errors="replace")
        except OSError:
            return ""

    def _wait_for_socket(self):
        deadline = time.monotonic() + SOCKET_TIMEOUT
        while time.monotonic() < deadline:
            if self.proc.poll() is not None:
                raise StartFailed(f"{self.kind} exited with status {self.proc.returncode} before creating its "
                                  f"socket; its log:\n{self.log()}")
            sockets = sorted(p.name for p in self.runtime.glob("wayland-*")
                             if not p.name.endswith(".lock") and p.is_socket())
            if sockets:
                return sockets[0]
            time.sleep(0.05)
        raise StartFailed(f"{self.kind} made no socket in {self.runtime} within {SOCKET_TIMEOUT}s; "
                          f"its log:\n{self.log()}")

    def _client_env(self, socket):
        env = {k: v for k, v in os.environ.items() if not k.startswith(("WAYLAND_", "SWAY")) and k != "I3SOCK"}
        env.update({"XDG_RUNTIME_DIR": str(self.runtime), "WAYLAND_DISPLAY": socket})
        return env

    def ipc_env(self):
        """A client environment with SWAYSOCK set, for swaymsg."""
        sockets = sorted(self.runtime.glob("sway-ipc.*.sock"))
        if not sockets:
            raise StartFailed(f"sway made no IPC socket in {self.runtime}")
        return dict(self.env, SWAYSOCK=str(sockets[0]))

    def wait_for_heads(self, names, wlr_randr):
        """Waits until wlr-randr lists every head of `names`."""
        deadline = time.monotonic() + HEADS_TIMEOUT
        last = ""
        while time.monotonic() < deadline:
            if self.proc.poll() is not None:
                raise StartFailed(f"{self.kind} exited with status {self.proc.returncode}; its log:\n{self.log()}")
            try:
                run = subprocess.run([wlr_randr], env=self.env, stdin=subprocess.DEVNULL, capture_output=True,
                                     timeout=RUN_TIMEOUT)
            except subprocess.TimeoutExpired:
                raise StartFailed(f"wlr-randr did not exit within {RUN_TIMEOUT}s") from None
            out = run.stdout.decode(errors="replace")
            last = f"status {run.returncode}\n{out}{run.stderr.decode(errors='replace')}"
            if run.returncode == 0 and all(re.search(rf"^{re.escape(n)}\b", out, re.M) for n in names):
                return
            time.sleep(0.1)
        raise StartFailed(f"wlr-randr did not see the heads {', '.join(names)} within {HEADS_TIMEOUT}s; "
                          f"its last run: {last}\n{self.kind}'s log:\n{self.log()}")

    def running(self):
        return self.proc.poll() is None

    def stop(self):
        """Stops the compositor (SIGTERM, SIGKILL after 5 s) and removes its
        directory; returns its exit status."""
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(timeout=5)
        shutil.rmtree(self.dir, ignore_errors=True)
        return self.proc.returncode

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
