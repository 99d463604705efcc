"""Real compositors from Debian, started headless for the tests and the
benchmarks: phoc and sway (Debian 12 and 13), labwc and cage (Debian 13), all
on wlroots, and weston (Debian 12 and 13), which has none of the protocols
the tool uses. Each gets a fresh directory of its own with a private
XDG_RUNTIME_DIR (mode 0700), HOME and XDG_*_HOME, and a minimal
configuration that starts nothing: no Xwayland, no bar, no background, no
command. Everything is stopped, by process id, on leaving.

How they are started, and why:
  * WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1
    WLR_HEADLESS_OUTPUTS=N: no GPU, no input devices, N virtual outputs
    named HEADLESS-1 .. HEADLESS-N.
  * `phoc -C <ini>` without -E (with -E phoc quits as soon as that command
    ends), `sway -c <config>` and `labwc` (its configuration directory
    empty): all serve until sent SIGTERM. cage serves as long as the one
    program it runs, and on SIGTERM waits for it: here a small client of
    the suite's own (KEEP_ALIVE) that ends when its connection closes.
  * weston: `--backend=headless-backend.so --use-pixman` (weston 10) or
    `--backend=headless --renderer=pixman` (from 12), with `--no-config`;
    it makes one virtual output of its own.
  * The outputs asked for go into phoc's ini and sway's config; labwc and
    cage read no output configuration of their own (their users run
    wlr-randr or kanshi), so they are given the same through
    wlr-output-management, by wlr-randr, once they are up.
  * Transforms are given in wl_output's words, which count quarter turns
    anticlockwise; phoc's `rotate` and sway's `transform` turn clockwise, so
    90 and 270 (and flipped-90 and flipped-270) swap in their files.
  * phoc runs as whoever runs the test. GSETTINGS_BACKEND=memory keeps its
    GSettings off dconf, which would otherwise write under HOME.
  * sway and cage refuse to run as root ("Unable to drop root ...,
    refusing to start"). As root they are started as nobody, through
    setpriv, with their directory given to nobody; the clients stay root,
    who may connect to any socket. As any other user they run as that user.
    phoc, labwc and weston run as root.
  * wlroots opens Xwayland's sockets in /tmp/.X11-unix, and refuses a
    directory that is owned by neither root nor itself. Should cage (run as
    nobody) make it first, labwc (run as root, at the same time) could not
    start; so, as root, the directory is made as a booted system has it
    (root's, mode 1777) before a wlroots compositor starts.
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

KINDS = ("phoc", "sway", "labwc", "cage", "weston")
# The compositors that are given their outputs through wlr-output-management.
CONFIGURED_BY_CLIENT = ("labwc", "cage")
# cage's one program, a Wayland client of the suite's own: it connects to
# cage and waits for the connection to close, which cage does as it ends
# (and, should cage die first, PR_SET_PDEATHSIG ends it).
KEEP_ALIVE = "; ".join([
    "import ctypes, os, signal, socket",
    "ctypes.CDLL(None).prctl(1, signal.SIGTERM, 0, 0, 0)",
    "s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)",
    "s.connect(os.path.join(os.environ['XDG_RUNTIME_DIR'], os.environ['WAYLAND_DISPLAY']))",
    "exec('while s.recv(4096): pass')",
])
# The wlroots library of each release (phoc may carry its own copy).
WLROOTS_PACKAGES = ("libwlroots10", "libwlroots-0.18")

# wl_output's transform -> the same turn in phoc's and sway's clockwise words.
CLOCKWISE = {"normal": "normal", "90": "270", "180": "180", "270": "90",
             "flipped": "flipped", "flipped-90": "flipped-270", "flipped-180": "flipped-180",
             "flipped-270": "flipped-90"}


class StartFailed(Exception):
    """The compositor did not start or did not announce its heads."""


def package_version(package):
    """The installed version of a Debian package, or None."""
    try:
        run = subprocess.run(["dpkg-query", "-W", "-f=${Version}", package], capture_output=True, timeout=30)
    except OSError:
        return None
    return run.stdout.decode().strip() if run.returncode == 0 and run.stdout else None


def upstream_version(package):
    """(major, minor, ...) of an installed package's upstream version, or None:
    "1.10.1-2" -> (1, 10, 1)."""
    version = package_version(package)
    if not version:
        return None
    upstream = re.sub(r"^\d+:", "", version).split("-")[0]
    parts = re.findall(r"\d+", upstream)
    return tuple(int(p) for p in parts) if parts else None


def versions(kind):
    """"sway 1.10.1-2, libwlroots-0.18 0.18.2-3": what is under test."""
    found = [(kind, package_version(kind))]
    if kind != "weston":
        found += [(p, package_version(p)) for p in WLROOTS_PACKAGES if package_version(p)]
    return ", ".join(f"{p} {v or '?'}" for p, v in found)


def _die_with_parent():
    """Runs in the child before exec: SIGTERM it if its parent dies."""
    libc = ctypes.CDLL(None, use_errno=True)
    PR_SET_PDEATHSIG = 1
    libc.prctl(PR_SET_PDEATHSIG, signal.SIGTERM, 0, 0, 0)


def _phoc_config(outputs):
    lines = ["[core]", "xwayland = false", ""]
    for o in outputs:
        lines += [f"[output:{o['name']}]", f"mode = {o['mode']}", f"x = {o['x']}", f"y = {o['y']}",
                  f"scale = {o['scale']}", f"rotate = {CLOCKWISE[o['transform']]}", ""]
    return "\n".join(lines)


def _sway_config(outputs):
    lines = ["xwayland disable"]
    for o in outputs:
        lines.append(f"output {o['name']} mode {o['mode']} position {o['x']} {o['y']} scale {o['scale']} "
                     f"transform {CLOCKWISE[o['transform']]}")
    return "\n".join(lines) + "\n"


def _wlr_randr_arguments(outputs):
    """The wlr-randr command line that asks labwc for the outputs."""
    argv = []
    for o in outputs:
        argv += ["--output", o["name"], "--custom-mode", o["mode"], "--pos", f"{o['x']},{o['y']}",
                 "--scale", o["scale"], "--transform", o["transform"]]
    return argv


def _x11_socket_directory():
    """Makes /tmp/.X11-unix as a booted system has it, when it is missing
    and this process is root."""
    directory = pathlib.Path("/tmp/.X11-unix")
    if os.geteuid() != 0 or directory.exists():
        return
    umask = os.umask(0)
    try:
        directory.mkdir(mode=0o1777)
    except FileExistsError:
        pass
    finally:
        os.umask(umask)


class Headless:
    """One headless compositor of `kind` (one of KINDS) with `outputs`
    virtual outputs: a number, or a list of {"name", "mode" ("WxH@RHz"),
    "x", "y", "scale", "transform" (wl_output's words)} to ask for.
    `env` is a client's environment, once started; for labwc and cage the
    outputs are asked for by configure_outputs(), once the caller has waited
    for the heads. weston takes no outputs: it makes one of its own."""

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
        self.configured = configured
        program = shutil.which(kind)
        if kind != "weston":
            _x11_socket_directory()
        if kind == "phoc":
            config = self.dir / "phoc.ini"
            config.write_text(_phoc_config(configured))
            argv, preexec = [program, "-C", str(config)], _die_with_parent
        elif kind == "labwc":
            (home / ".config" / "labwc").mkdir(parents=True)
            argv, preexec = [program], _die_with_parent
        elif kind == "weston":
            if (upstream_version("weston") or (0,)) < (12,):
                backend = ["--backend=headless-backend.so", "--use-pixman"]
            else:
                backend = ["--backend=headless", "--renderer=pixman"]
            argv, preexec = [program, *backend, "--no-config", "--idle-time=0"], _die_with_parent
        else:
            if kind == "sway":
                config = self.dir / "sway.config"
                config.write_text(_sway_config(configured))
                argv, owned = [program, "-c", str(config)], [config]
            else:
                argv, owned = [program, "--", shutil.which("python3") or "python3", "-c", KEEP_ALIVE], []
            preexec = _die_with_parent
            if os.geteuid() == 0:
                nobody = pwd.getpwnam("nobody")
                os.chmod(self.dir, 0o755)
                for path in (self.runtime, home, *owned):
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

    def configure_outputs(self, wlr_randr):
        """labwc and cage: asks for the configured outputs through
        wlr-output-management; phoc and sway read them from their files.
        Raises StartFailed when the compositor refuses."""
        if self.kind not in CONFIGURED_BY_CLIENT or not self.configured:
            return
        argv = [wlr_randr, *_wlr_randr_arguments(self.configured)]
        run = subprocess.run(argv, env=self.env, stdin=subprocess.DEVNULL, capture_output=True, timeout=RUN_TIMEOUT)
        if run.returncode != 0:
            raise StartFailed(f"{' '.join(argv)}: status {run.returncode}: "
                              f"{run.stderr.decode(errors='replace')}; {self.kind}'s log:\n{self.log()}")

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
