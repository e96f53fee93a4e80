"""End-to-end harness: Windows programs in a Wine virtual desktop on Xvfb.

Python 3 standard library only.  Every wait is bounded, every process the
harness starts is ended by its own id, and nothing uses a fixed display
number or a fixed prefix path, so several runs can share one machine.

Running
-------
    python3 tests/e2e/run_e2e.py --exe build/<dir>/pelorine.exe \
        [-k NAME] [--summary out.json] [--artifacts artifacts/]
runs every tests/e2e/test_*.py in one session (see run_e2e.py); one file
alone: PLR_E2E_EXE=build/<dir>/pelorine.exe python3 tests/e2e/test_x.py.
plr_fixture.exe and plr_treereader.exe are built beside pelorine.exe by the
mingw-x64 build.  Needs: Xvfb, xdotool, x11-utils, imagemagick, wine64.
(scripts/wine-run is the separate, shared environment of the ctest runs.)

Quick start
-----------
    from harness import WineSession, wait_until

    with WineSession(tools_dir="build/me-mingw-x64") as s:
        s.reg_add(r"HKLM\\SOFTWARE\\Pelorine", "Log", "REG_DWORD", 1)
        fx = s.start_fixture(caption="Editor", log=True)
        p = s.start_program("build/me-mingw-x64/pelorine.exe", cwd=workdir)
        s.wait_for_window(cls="Pelorine_MainWnd")
        s.key_down("alt"); s.key_tap("Tab"); tree = s.wait_for_tree()
        s.key_up("alt")
        s.screenshot("artifacts/shot.png")
        s.close_pelorine(p)

WineSession(prefix=None, tools_dir=None, workdir=None, keep=False,
            width=1280, height=800)
    Context manager.  start(): Xvfb on a free display (-displayfd), ONE
    Wine prefix (copied from the per-user template /tmp/plr-wine-template-
    <uid>-<wine version>[-<PLR_WINE's directory name>], which is made once
    with `wineboot -i` and already
    holds the virtual desktop settings; or `prefix` if given), then the
    virtual desktop "Default" 1280x800, held open by a windowless keeper
    process (`plr_treereader.exe --keepalive`).  stop(): ends every process
    it started by id, `wineserver -k`, ends Xvfb, removes the temp prefix.
    Attributes: display (":N"), prefix, env (dict for child processes),
    workdir (scratch directory, removed at stop unless keep=True),
    tools_dir (where plr_fixture.exe / plr_treereader.exe live).

Processes (WinProcess: .popen, .pid (Unix pid), .name, .alive(),
.wait(timeout) -> Linux exit code (Windows code mod 256), .kill()):
    start_program(exe, *args, cwd=None, name=None)  any Windows exe
    start_fixture(caption=None, log=False, **options)  plr_fixture.exe;
        the caption may hold any UTF-16 text ("%d" becomes the window
        index); keyword options map to the fixture's flags: tool, owned,
        owner_visible, appwindow, hidden, minimized, hang_after=MS, hang_now,
        close="accept|refuse|question", windows=N, no_icon, vanish_after=MS,
        pos=(x, y), size="W,H", exit_code=N, tray, tree_dialog (see
        fixture/fixture.cpp).  log=True gives the process a log file of lines
        "<index> <EVENT> [details]": CREATE hwnd=0x.. pid=N, WM_CLOSE,
        WM_ACTIVATE WA_ACTIVE|WA_CLICKACTIVE|WA_INACTIVE, WM_SYSCOMMAND
        SC_RESTORE, WM_SETFOCUS, WM_KILLFOCUS, WM_NULL, WM_KEYDOWN vk=N ...,
        WM_GETICON ICON_BIG, HANG, VANISH, CLOSE_QUESTION, CLOSE_ANSWER yes,
        WM_DESTROY, READY (index 0..N-1; owners 100+i; the tree dialog 200).
        FixtureProcess adds .log_lines(), .events(name=None, index=None),
        .hwnds() (index -> hwnd), .wait_hwnds(count), .winpid (Windows pid).
    end(proc, timeout=5)       kill by its own id if still running
    end_all()                  end every process started so far
    close_pelorine(proc, timeout=10)  WM_CLOSE to its "Pelorine_MainWnd"
        window(s), wait for the exit, kill if it does not come
    run(args, timeout=60)      short Linux command with the session env

Registry (`wine reg`, in the view the program under test reads: the 64-bit
view for an x86_64 program, /reg:32 (WOW6432Node) for a 32-bit one, as set
from its PE header by use_session; session.registry_view):
    reg_add(key, name, type, data)  type "REG_DWORD", "REG_SZ",
        "REG_BINARY" (data as hex string "01"), "REG_QWORD", ...
    reg_delete_key(key), reg_delete_value(key, name), reg_query(key) -> str
    PELORINE_KEY = r"HKLM\\SOFTWARE\\Pelorine"

Input (xdotool, to the window under focus; Windows screen coordinates are
X coordinates because the virtual desktop sits at 0,0):
    key_down(*keys), key_up(*keys), key_tap(*keys, delay_ms=40)
    hotkey("alt", "Tab")        press modifiers, tap key, release modifiers
    mouse_move(x, y), click(x, y, button=1), double_click(x, y),
    right_click(x, y), drag(x1, y1, x2, y2, steps=10)
    Key names are X keysyms: alt, shift, ctrl, Tab, Up, Down, Insert,
    Delete, Escape, Alt_R ...

Reading the desktop (plr_treereader.exe, every call bounded):
    tree(pid=None) -> dict  {"dialog": null} or {"dialog": {hwnd, pid, rect,
        visible, ...}, "foreground": {...}, "items": [{depth, text, state_image,
        expanded, caret, drop, rect: [l, t, r, b] (screen)}...]}
    wait_for_tree(pred=None, timeout=10)  the first tree with a dialog for
        which pred(tree) is true
    windows() -> list of {hwnd, pid, class, caption, visible, foreground,
        owner, exstyle, style}  (every top-level window)
    dialogs() -> list of top-level "#32770" windows with their child
        controls [{class, id, text}], for message boxes
    wait_for_window(cls=None, caption=None, pid=None, visible=None,
        timeout=10) -> window dict
    message_boxes(caption=None) -> dialogs() that look like message boxes
    menus() -> visible popup menus; menu_item_point(menu, index, count)
    children(hwnd) -> the window and its child windows
    taskbar(), tray_icon_point(slot=0): the notification area (see below)
    post(hwnd, msg, wparam=0, lparam=0), send(hwnd, msg, wparam, lparam)
    watch_exit_code(winpid) -> ExitWatch: a Windows-side wait on the process,
        returned once the watcher holds the process (so it may end at once);
        .result(timeout) -> full 32-bit exit code (None if still running)
    run_for_exit_code(exe, *args, cwd=None) -> ExitWatch that starts the
        program from Windows and reports its full exit code (the program is
        terminated by the watcher when timeout_ms runs out)

Other:
    screenshot(path)            `import -window root`
    wait_until(pred, timeout=10, interval=0.1, message="") -> pred's value;
        raises WaitTimeout (an AssertionError) when time runs out
    readonly_dir(parent=None)   a new directory on a read-only tmpfs mount
                                (unmounted by unmount(path), reset() or stop())
    reset()                     end all processes, unmount read-only dirs,
                                delete the Pelorine key

Base class E2ETestCase (unittest): shares the run's session (run_e2e.py)
or makes one for a single file; setUp calls reset() and gives self.dir, a
fresh current directory for the program; start_pelorine(cwd=None),
wait_main_window(proc=None, pid=None), set_log(type, data), log_path(),
read_log() -> bytes or None, assert_stays_running(proc, seconds).  Nothing
is ended in tearDown, so a failure's screenshot shows the desktop as it was.

What Wine 8 does here (measured):
  - Once a program adds a notification icon, the virtual desktop shows
    Wine's taskbar: a visible top-level window of class "Shell_TrayWnd" with
    an empty caption at the bottom (y 780..800), not a tool window.  Window
    discovery sees it like any other window.  A right click on the icon at
    tray_icon_point() really opens the program's tray menu.
  - WM_GETICON sent from another process fails without reaching the window,
    and another process's class icon reads as 0: icons of other processes'
    windows come only from fallbacks.
  - Popup menu items of another process cannot be read (MN_GETHMENU gives
    a menu handle that is not valid outside the owner).
  - A process killed while its WH_KEYBOARD_LL hook is installed leaves the
    hook in Wine's chain; close_pelorine() and reset() end Pelorine with
    WM_CLOSE first for that reason.
  - Exit codes seen from Linux are modulo 256: use watch_exit_code().
  - `xdotool mousemove --sync` hangs when the pointer is already there;
    mouse_move() waits on the reported pointer position instead.

Environment: PLR_WINE=DIR runs the Wine installed in DIR (DIR/bin/wine,
DIR/bin/wineserver; default: the `wine` on PATH) for everything the harness
starts, with a prefix template of its own (see wine_program(), wine_env());
PLR_E2E_VERBOSE=1 prints each external command; PLR_E2E_WINEDEBUG
sets WINEDEBUG for every process of the session (e.g. "+timestamp,+pid,+event,+key";
the traces land in the workdir's <name>.out files, kept with --keep).
"""

import fcntl
import json
import os
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest

PELORINE_KEY = r"HKLM\SOFTWARE\Pelorine"
MAIN_CLASS = "Pelorine_MainWnd"
WM_CLOSE = 0x0010
WM_RBUTTONUP = 0x0205
WM_TRAYICON = 0x0400 + 100
TRAY_ICON_ID = 107

_VERBOSE = os.environ.get("PLR_E2E_VERBOSE") == "1"
_TEMPLATE_FORMAT = "1"  # bump when the template's contents change


class WaitTimeout(AssertionError):
    """A bounded wait ran out; an AssertionError so a test counts it as failed."""


class HarnessError(RuntimeError):
    """The environment could not be set up or a helper failed."""


def _log(*args):
    if _VERBOSE:
        print("[harness]", *args, file=sys.stderr, flush=True)


def wait_until(predicate, timeout=10.0, interval=0.1, message=""):
    """Polls predicate until it returns a truthy value; returns that value."""
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            value = predicate()
            if value:
                return value
        except (HarnessError, OSError, ValueError) as e:  # transient while things start
            last_error = e
        if time.monotonic() >= deadline:
            detail = f" (last error: {last_error})" if last_error else ""
            raise WaitTimeout(f"timed out after {timeout:.1f} s waiting for "
                              f"{message or predicate}{detail}")
        time.sleep(interval)


# ----- which Wine -----------------------------------------------------------
# PLR_WINE names a Wine installation directory (one with bin/wine and
# bin/wineserver, such as /opt/wine-wow64); unset, the `wine` on PATH runs.
# Every wine, wineserver and wineboot the harness starts, and the prefix
# template, follow it: the environment of a session puts its bin directory
# first on PATH and names its wineserver, and each installation has its own
# template.
WINE_PROGRAMS = ("wine", "wine64", "wineserver", "wineboot")


def wine_dir():
    """The chosen Wine installation directory, or None for the `wine` on PATH."""
    path = os.environ.get("PLR_WINE")
    return os.path.abspath(path) if path else None


def wine_program(name):
    """The command that starts Wine's `name` (wine, wineserver, ...)."""
    directory = wine_dir()
    return os.path.join(directory, "bin", name) if directory else name


def wine_command(args):
    """args with a leading Wine program name replaced by the chosen installation's."""
    args = [str(a) for a in args]
    if args and args[0] in WINE_PROGRAMS:
        if args[0] == "wineboot" and wine_dir() and not os.path.exists(wine_program("wineboot")):
            return [wine_program("wine"), "wineboot", *args[1:]]
        return [wine_program(args[0]), *args[1:]]
    return args


def _wine_version():
    try:
        out = subprocess.run([wine_program("wine"), "--version"], capture_output=True, text=True,
                             timeout=30, env=dict(os.environ, WINEDEBUG="-all")).stdout
    except (OSError, subprocess.TimeoutExpired):
        out = ""
    version = re.sub(r"[^A-Za-z0-9.]+", "_", out.strip()) or "unknown"
    # Two installations of one version (a WoW64 build beside a plain one)
    # must not share a template.
    if wine_dir():
        version += "-" + re.sub(r"[^A-Za-z0-9.]+", "_", os.path.basename(wine_dir()))
    return version


def _pid_alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        return True
    # A zombie still answers signal 0; treat it as gone.
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().split(")")[-1].split()[0] != "Z"
    except OSError:
        return False


def _kill_pid(pid, sig=signal.SIGKILL):
    try:
        os.kill(pid, sig)
    except ProcessLookupError:
        pass


def start_xvfb(width=1280, height=800, log_path=None, timeout=15.0):
    """Starts Xvfb on a display number it picks itself; returns (popen, ":N")."""
    read_fd, write_fd = os.pipe()
    log = open(log_path, "ab") if log_path else subprocess.DEVNULL
    try:
        proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", f"{width}x{height}x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_fd,), stdin=subprocess.DEVNULL, stdout=log, stderr=log,
            start_new_session=True)
    finally:
        os.close(write_fd)
        if log is not subprocess.DEVNULL:
            log.close()
    data = b""
    deadline = time.monotonic() + timeout
    try:
        os.set_blocking(read_fd, False)
        while not data.endswith(b"\n"):
            if time.monotonic() > deadline:
                raise HarnessError("Xvfb did not report its display in time")
            if proc.poll() is not None:
                raise HarnessError(f"Xvfb exited with {proc.returncode}")
            try:
                chunk = os.read(read_fd, 64)
            except BlockingIOError:
                time.sleep(0.05)
                continue
            if not chunk:
                raise HarnessError("Xvfb closed its display pipe")
            data += chunk
    except BaseException:
        _kill_pid(proc.pid)
        proc.wait(5)
        raise
    finally:
        os.close(read_fd)
    return proc, ":" + data.decode().strip()


def windows_path(path):
    """A Linux path as Windows programs name it (drive Z: is the Linux root)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def escape_caption(text):
    """Command-line safe form of any UTF-16 text for the fixture's --caption.

    Wine turns arguments into UTF-16 through the locale, which may not be
    UTF-8; escapes survive any locale.  Lone surrogates in the Python string
    ("\\ud800") arrive as those lone units.
    """
    out = []
    for ch in text:
        cp = ord(ch)
        if ch == "\\":
            out.append("\\\\")
        elif 0x20 <= cp < 0x7F:
            out.append(ch)
        elif cp >= 0x10000:
            out.append("\\U%08X" % cp)
        else:
            out.append("\\u%04X" % cp)
    return "".join(out)


def wine_env(prefix, display):
    env = dict(os.environ)
    env.update({
        "WINEPREFIX": prefix,
        "DISPLAY": display,
        # PLR_E2E_WINEDEBUG: Wine's trace channels for every process of the
        # session (their output lands in the <name>.out files of the workdir).
        "WINEDEBUG": os.environ.get("PLR_E2E_WINEDEBUG") or "-all",
        # No Mono/Gecko prompts, no menu entries written to the Linux desktop.
        "WINEDLLOVERRIDES": "mscoree=;mshtml=;winemenubuilder.exe=d",
        "WINEARCH": "win64",
    })
    directory = wine_dir()
    if directory:
        env["PATH"] = os.path.join(directory, "bin") + os.pathsep + env.get("PATH", "")
        env["WINESERVER"] = wine_program("wineserver")
    return env


def _run(args, env, timeout, check=True, cwd=None, input=None):
    args = wine_command(args)
    _log("run", " ".join(args))
    try:
        res = subprocess.run(args, env=env, cwd=cwd, input=input,
                             capture_output=True, text=True, timeout=timeout,
                             errors="replace", start_new_session=True)
    except subprocess.TimeoutExpired as e:
        raise HarnessError(f"command timed out after {timeout} s: {args}") from e
    if check and res.returncode != 0:
        raise HarnessError(f"command failed ({res.returncode}): {args}\n{res.stdout}\n{res.stderr}")
    return res


def set_virtual_desktop(env, width=1280, height=800):
    """Every Wine process of the prefix then joins the one virtual desktop."""
    _run(["wine", "reg", "add", r"HKCU\Software\Wine\Explorer", "/v", "Desktop",
          "/t", "REG_SZ", "/d", "Default", "/f"], env, 60)
    _run(["wine", "reg", "add", r"HKCU\Software\Wine\Explorer\Desktops", "/v", "Default",
          "/t", "REG_SZ", "/d", f"{width}x{height}", "/f"], env, 60)


def boot_prefix(prefix, env, timeout=180):
    """`wineboot -i` into prefix, desktop settings added, wineserver stopped."""
    env = dict(env, WINEPREFIX=prefix)
    _run(["wineboot", "-i"], env, timeout)
    set_virtual_desktop(env)
    _run(["wineserver", "-w"], env, 60, check=False)


def template_path():
    return f"/tmp/plr-wine-template-{os.getuid()}-{_wine_version()}-v{_TEMPLATE_FORMAT}"


def ensure_template(display, timeout=240):
    """Returns the per-user prepared prefix, making it once (under a lock)."""
    path = template_path()
    if os.path.isfile(os.path.join(path, "system.reg")):
        return path
    with open(path + ".lock", "w") as lock:
        _flock(lock, timeout, "the prefix template lock")
        if os.path.isfile(os.path.join(path, "system.reg")):
            return path
        work = tempfile.mkdtemp(prefix=os.path.basename(path) + ".tmp-", dir="/tmp")
        try:
            pfx = os.path.join(work, "pfx")
            boot_prefix(pfx, wine_env(pfx, display), timeout)
            os.rename(pfx, path)  # atomic: readers see a whole template or none
        finally:
            shutil.rmtree(work, ignore_errors=True)
    return path


def copy_prefix(src, dst, timeout=120):
    _run(["cp", "-a", src, dst], os.environ, timeout)


def _flock(fileobj, timeout, what):
    deadline = time.monotonic() + timeout
    while True:
        try:
            fcntl.flock(fileobj, fcntl.LOCK_EX | fcntl.LOCK_NB)
            return
        except BlockingIOError:
            if time.monotonic() > deadline:
                raise HarnessError(f"timed out waiting for {what}")
            time.sleep(0.2)


class WinProcess:
    """A Windows program run by `wine`; pid is the Unix pid of that process."""

    def __init__(self, popen, name):
        self.popen = popen
        self.pid = popen.pid
        self.name = name

    def alive(self):
        return self.popen.poll() is None

    def wait(self, timeout=10.0):
        """Linux-side exit code (the Windows code modulo 256)."""
        try:
            return self.popen.wait(timeout)
        except subprocess.TimeoutExpired as e:
            raise WaitTimeout(f"{self.name} (pid {self.pid}) still running after {timeout} s") from e

    def kill(self):
        if self.popen.poll() is None:
            _kill_pid(self.pid)
            try:
                self.popen.wait(10)
            except subprocess.TimeoutExpired:
                pass

    @property
    def returncode(self):
        return self.popen.returncode

    def __repr__(self):
        return f"<WinProcess {self.name} pid={self.pid}>"


class FixtureProcess(WinProcess):
    """plr_fixture.exe with its message log (one line per interesting message)."""

    def __init__(self, popen, name, log_path):
        super().__init__(popen, name)
        self.log_path = log_path

    def log_lines(self):
        if not self.log_path or not os.path.exists(self.log_path):
            return []
        with open(self.log_path, encoding="utf-8", errors="replace") as f:
            return [line.rstrip("\n") for line in f if line.strip()]

    def events(self, name=None, index=None):
        """Parsed log lines: dicts {index, event, args}."""
        out = []
        for line in self.log_lines():
            parts = line.split()
            if len(parts) < 2 or not parts[0].isdigit():
                continue
            ev = {"index": int(parts[0]), "event": parts[1], "args": parts[2:]}
            if (name is None or ev["event"] == name) and (index is None or ev["index"] == index):
                out.append(ev)
        return out

    def hwnds(self):
        """Window index -> hwnd (int), from the CREATE lines."""
        found = {}
        for ev in self.events("CREATE"):
            for a in ev["args"]:
                if a.startswith("hwnd="):
                    found[ev["index"]] = int(a[5:], 16)
        return found

    def wait_hwnds(self, count=1, timeout=10.0):
        """Waits until count main windows (indices below 100) exist; returns hwnds()."""
        def probe():
            h = self.hwnds()
            return h if sum(1 for i in h if i < 100) >= count else None
        return wait_until(probe, timeout, message=f"{count} fixture window(s) of {self.name}")

    @property
    def winpid(self):
        for ev in self.events("CREATE"):
            for a in ev["args"]:
                if a.startswith("pid="):
                    return int(a[4:])
        return None


class ExitWatch:
    """A treereader process that waits on a Windows process and reports its exit code."""

    def __init__(self, popen, wait_opened=False, timeout=30.0):
        self.popen = popen
        self._lines = []
        if wait_opened:
            # The watcher prints {"opened": pid} once it holds a handle to the
            # process; only then may the test make the process end.
            line = self._readline(timeout)
            if not line or "opened" not in json.loads(line):
                rest = self._rest(5)
                raise HarnessError(f"exit code watch could not open the process: {line!r} {rest!r}")

    def _readline(self, timeout):
        fd = self.popen.stdout.fileno()
        deadline = time.monotonic() + timeout
        buf = b""
        while not buf.endswith(b"\n"):
            left = deadline - time.monotonic()
            if left <= 0:
                raise WaitTimeout("exit code watch printed nothing in time")
            ready, _, _ = select.select([fd], [], [], left)
            if ready:
                chunk = os.read(fd, 1)
                if not chunk:
                    break
                buf += chunk
        return buf.decode(errors="replace").strip()

    def _rest(self, timeout):
        try:
            out, _ = self.popen.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            _kill_pid(self.popen.pid)
            self.popen.communicate(timeout=5)
            raise
        return out.decode(errors="replace") if isinstance(out, bytes) else (out or "")

    def result(self, timeout=15.0):
        """The full exit code; None if the process was still running when the watch ended."""
        try:
            out = self._rest(timeout)
        except subprocess.TimeoutExpired as e:
            raise WaitTimeout("exit code watch timed out") from e
        lines = [line for line in out.splitlines() if line.strip()]
        data = json.loads(lines[-1]) if lines else {}
        if "error" in data:
            raise HarnessError(f"exit code watch failed: Windows error {data['error']}")
        if data.get("running"):
            return None
        return data.get("exit_code")

    def kill(self):
        if self.popen.poll() is None:
            _kill_pid(self.popen.pid)
            self.popen.wait(10)


class WineSession:
    def __init__(self, prefix=None, tools_dir=None, workdir=None, keep=False,
                 width=1280, height=800):
        self.width, self.height = width, height
        self.keep = keep
        self._given_prefix = prefix
        self.tools_dir = os.path.abspath(tools_dir) if tools_dir else None
        self._own_workdir = workdir is None
        self.workdir = workdir or tempfile.mkdtemp(prefix="plr-e2e-")
        os.makedirs(self.workdir, exist_ok=True)
        self.prefix = None
        self.display = None
        self.env = None
        self._xvfb = None
        self._keeper = None
        self._procs = []
        self._watches = []
        self._mounts = []
        self._counter = 0
        self._lock = threading.Lock()

    # ----- life cycle -------------------------------------------------
    def __enter__(self):
        try:
            self.start()
        except BaseException:
            self.stop()
            raise
        return self

    def __exit__(self, *exc):
        self.stop()
        return False

    def start(self):
        t0 = time.monotonic()
        self._xvfb, self.display = start_xvfb(self.width, self.height,
                                              os.path.join(self.workdir, "xvfb.log"))
        _log("Xvfb on", self.display)
        if self._given_prefix:
            self.prefix = os.path.abspath(self._given_prefix)
            self.env = wine_env(self.prefix, self.display)
            if not os.path.isfile(os.path.join(self.prefix, "system.reg")):
                boot_prefix(self.prefix, self.env)
            else:
                set_virtual_desktop(self.env, self.width, self.height)
        else:
            template = ensure_template(self.display)
            self.prefix = os.path.join(self.workdir, "prefix")
            copy_prefix(template, self.prefix)
            self.env = wine_env(self.prefix, self.display)
            if (self.width, self.height) != (1280, 800):
                set_virtual_desktop(self.env, self.width, self.height)
        self._start_desktop()
        _log(f"session ready in {time.monotonic() - t0:.1f} s")

    def _start_desktop(self):
        keeper = self.tool("plr_treereader.exe", required=False)
        if keeper:
            self._keeper = self._spawn(["wine", keeper, "--keepalive", "86400"], "keeper")
        else:
            # Without the keeper the desktop lives only while some program runs.
            self._keeper = self._spawn(["wine", "explorer", f"/desktop=Default,{self.width}x{self.height}"],
                                       "explorer")
        win = wait_until(self.desktop_window, 60, 0.2, "the Wine virtual desktop window")
        self.run(["xdotool", "windowfocus", "--sync", str(win)], timeout=10, check=False)

    def desktop_window(self):
        # Wine 8 names the virtual desktop's X window after the desktop,
        # Wine 10 "Wine Desktop".
        res = self.run(["xdotool", "search", "--name", "^(Default - Wine desktop|Wine Desktop)$"],
                       timeout=10, check=False)
        ids = res.stdout.split()
        return int(ids[0]) if ids else None

    def stop(self):
        self.end_all()
        for m in list(self._mounts):
            self.unmount(m)
        if self._keeper:
            self._keeper.kill()
            self._keeper = None
        if self.env:
            try:
                _run(["wineserver", "-k"], self.env, 30, check=False)
                _run(["wineserver", "-w"], self.env, 30, check=False)
            except HarnessError:
                pass
        if self._xvfb:
            _kill_pid(self._xvfb.pid, signal.SIGTERM)
            try:
                self._xvfb.wait(10)
            except subprocess.TimeoutExpired:
                _kill_pid(self._xvfb.pid)
                self._xvfb.wait(5)
            self._xvfb = None
        if not self.keep:
            if self.prefix and not self._given_prefix:
                shutil.rmtree(self.prefix, ignore_errors=True)
            if self._own_workdir:
                shutil.rmtree(self.workdir, ignore_errors=True)

    def reset(self):
        """Between tests: no program of the last test runs, no Pelorine settings."""
        for p in list(self._procs):
            if p.alive() and p.name.startswith("pelorine"):
                try:
                    self.close_pelorine(p, timeout=5)
                except (WaitTimeout, HarnessError):
                    pass
        self.end_all()
        for m in list(self._mounts):
            self.unmount(m)
        self.reg_delete_key(PELORINE_KEY)
        self.park_pointer()

    def park_pointer(self):
        """Moves the pointer to the right edge of the desktop, where no test
        places a window.  When the active window goes away, Wine can leave the
        X focus on the desktop window, and X then gives key presses to the
        window under the pointer: left over a hung application's window by an
        earlier test, they would never arrive."""
        self.mouse_move(self.width - 2, self.height // 2)

    # ----- processes --------------------------------------------------
    def tool(self, name, required=True):
        candidates = []
        if self.tools_dir:
            candidates += [os.path.join(self.tools_dir, name),
                           os.path.join(self.tools_dir, "tests", "e2e", name)]
        for c in candidates:
            if os.path.isfile(c):
                return c
        if required:
            raise HarnessError(f"{name} not found in {self.tools_dir}")
        return None

    def _spawn(self, args, name, cwd=None, stdout=None):
        args = wine_command(args)
        _log("spawn", name, " ".join(args))
        out = open(os.path.join(self.workdir, f"{name}.out"), "ab") if stdout is None else stdout
        try:
            popen = subprocess.Popen(args, env=self.env, cwd=cwd,
                                     stdin=subprocess.DEVNULL, stdout=out,
                                     stderr=subprocess.STDOUT if stdout is None else subprocess.DEVNULL,
                                     start_new_session=True)
        finally:
            if stdout is None:
                out.close()
        return WinProcess(popen, name)

    def _next_name(self, base):
        with self._lock:
            self._counter += 1
            return f"{base}-{self._counter}"

    def start_program(self, exe, *args, cwd=None, name=None):
        name = name or self._next_name(os.path.splitext(os.path.basename(exe))[0])
        proc = self._spawn(["wine", os.path.abspath(exe), *args], name, cwd=cwd or self.workdir)
        self._procs.append(proc)
        return proc

    def start_fixture(self, caption=None, log=False, cwd=None, **options):
        exe = self.tool("plr_fixture.exe")
        name = self._next_name("fixture")
        args = []
        if caption is not None:
            args += ["--caption", escape_caption(caption)]
        for key, value in options.items():
            flag = "--" + key.replace("_", "-")
            if value is True:
                args.append(flag)
            elif value is False or value is None:
                continue
            elif key == "pos":
                args += [flag, f"{value[0]},{value[1]}"]
            elif key == "close":
                args.append(f"{flag}={value}")
            else:
                args += [flag, str(value)]
        log_path = None
        if log:
            log_path = os.path.join(self.workdir, f"{name}.log")
            args += ["--log", windows_path(log_path)]
        popen = self._spawn(["wine", exe, *args], name, cwd=cwd or self.workdir).popen
        proc = FixtureProcess(popen, name, log_path)
        self._procs.append(proc)
        return proc

    def end(self, proc, timeout=5.0):
        if proc.alive():
            proc.kill()
        try:
            proc.popen.wait(timeout)
        except subprocess.TimeoutExpired:
            pass

    def end_all(self):
        for p in self._procs:
            self.end(p)
        self._procs = [p for p in self._procs if p.alive()]
        for w in self._watches:
            if w.poll() is None:
                _kill_pid(w.pid)
                try:
                    w.wait(10)
                except subprocess.TimeoutExpired:
                    pass
        self._watches = [w for w in self._watches if w.poll() is None]

    def run(self, args, timeout=60, check=True, cwd=None):
        return _run(args, self.env, timeout, check=check, cwd=cwd)

    def close_pelorine(self, proc, timeout=10.0):
        """Ends a running Pelorine the way the system would: WM_CLOSE to its main window."""
        if not proc.alive():
            return proc.returncode
        for w in self.windows():
            if w["class"] == MAIN_CLASS:
                self.post(w["hwnd"], WM_CLOSE)
        try:
            return proc.wait(timeout)
        except WaitTimeout:
            proc.kill()
            raise

    # ----- scratch directories ----------------------------------------
    def readonly_dir(self, parent=None):
        """A new empty directory on a read-only tmpfs mount (root can write to any
        directory whatever its permissions; a read-only file system stops it).
        Unmounted by unmount(path) or at stop()."""
        path = tempfile.mkdtemp(prefix="ro-", dir=parent or self.workdir)
        res = _run(["mount", "-t", "tmpfs", "-o", "ro,size=64k,mode=0555", "tmpfs", path],
                   os.environ, 30, check=False)
        if res.returncode != 0:
            os.rmdir(path)
            raise HarnessError(f"cannot mount a read-only tmpfs: {res.stderr.strip()}")
        self._mounts.append(path)
        return path

    def unmount(self, path):
        if path in self._mounts:
            res = _run(["umount", path], os.environ, 30, check=False)
            if res.returncode != 0:  # still busy: detach it now, it goes when released
                _run(["umount", "-l", path], os.environ, 30, check=False)
            self._mounts.remove(path)
            try:
                os.rmdir(path)
            except OSError:
                pass

    # ----- registry ---------------------------------------------------
    # The registry view of the program under test: a 32-bit program on a
    # 64-bit system reads HKLM\SOFTWARE through WOW6432Node, so its settings
    # go there (/reg:32); None is the plain 64-bit view.
    registry_view = None

    def _view(self):
        return ["/reg:32"] if self.registry_view == 32 else []

    def reg_add(self, key, name, type_, data):
        self.run(["wine", "reg", "add", key, "/v", name, "/t", type_, "/d", str(data), "/f", *self._view()],
                 timeout=60)

    def reg_delete_value(self, key, name):
        self.run(["wine", "reg", "delete", key, "/v", name, "/f", *self._view()], timeout=60, check=False)

    def reg_delete_key(self, key):
        self.run(["wine", "reg", "delete", key, "/f", *self._view()], timeout=60, check=False)

    def reg_query(self, key):
        return self.run(["wine", "reg", "query", key, *self._view()], timeout=60, check=False).stdout

    # ----- input ------------------------------------------------------
    def xdotool(self, *args, timeout=15):
        return self.run(["xdotool", *args], timeout=timeout)

    def key_down(self, *keys):
        self.xdotool("keydown", *keys)

    def key_up(self, *keys):
        self.xdotool("keyup", *keys)

    def key_tap(self, *keys, delay_ms=40):
        self.xdotool("key", "--delay", str(delay_ms), *keys)

    def hotkey(self, *keys):
        """hotkey("alt", "shift", "Tab"): modifiers held around one tap of the last key."""
        mods, key = keys[:-1], keys[-1]
        if mods:
            self.key_down(*mods)
        try:
            self.key_tap(key)
        finally:
            if mods:
                self.key_up(*reversed(mods))

    def mouse_location(self):
        out = self.xdotool("getmouselocation", "--shell").stdout
        vals = dict(line.split("=", 1) for line in out.split() if "=" in line)
        return int(vals["X"]), int(vals["Y"])

    def mouse_move(self, x, y):
        # Not "mousemove --sync": it waits for a motion event that never comes
        # when the pointer already is at the target.
        x, y = int(x), int(y)
        self.xdotool("mousemove", str(x), str(y))
        wait_until(lambda: self.mouse_location() == (x, y), 5, 0.02, f"the pointer at {x},{y}")

    def click(self, x, y, button=1):
        self.mouse_move(x, y)
        self.xdotool("click", str(button))

    def double_click(self, x, y):
        self.mouse_move(x, y)
        self.xdotool("click", "--repeat", "2", "--delay", "80", "1")

    def right_click(self, x, y):
        self.click(x, y, 3)

    def drag(self, x1, y1, x2, y2, steps=10, step_delay=0.03):
        self.mouse_move(x1, y1)
        self.xdotool("mousedown", "1")
        try:
            for i in range(1, steps + 1):
                self.mouse_move(x1 + (x2 - x1) * i / steps, y1 + (y2 - y1) * i / steps)
                time.sleep(step_delay)
        finally:
            self.xdotool("mouseup", "1")

    def screenshot(self, path):
        os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
        self.run(["import", "-window", "root", path], timeout=30)
        return path

    # ----- reading the desktop ----------------------------------------
    def treereader(self, *args, timeout=20):
        res = self.run(["wine", self.tool("plr_treereader.exe"), *args], timeout=timeout, check=False)
        if res.returncode != 0:
            raise HarnessError(f"treereader {args} failed ({res.returncode}): {res.stdout}{res.stderr}")
        try:
            return json.loads(res.stdout)
        except ValueError as e:
            raise HarnessError(f"treereader {args} printed no JSON: {res.stdout!r}") from e

    def tree(self, pid=None):
        return self.treereader(*(["--pid", str(pid)] if pid else []), "--tree")

    def wait_for_tree(self, pred=None, timeout=10.0, pid=None):
        def probe():
            t = self.tree(pid)
            if t.get("dialog") and (pred is None or pred(t)):
                return t
            return None
        return wait_until(probe, timeout, 0.2, "the switcher tree")

    def windows(self):
        return self.treereader("--windows")["windows"]

    def dialogs(self):
        return self.treereader("--dialogs")["dialogs"]

    def message_boxes(self, caption=None):
        """Visible top-level dialogs with a static text and a button, as MessageBoxW makes them."""
        boxes = []
        for d in self.dialogs():
            if not d["visible"] or (caption is not None and d["caption"] != caption):
                continue
            classes = [c["class"].lower() for c in d["children"]]
            if "button" in classes and "static" in classes:
                boxes.append(d)
        return boxes

    @staticmethod
    def box_text(box):
        """The message of a message box: its longest static text."""
        texts = [c["text"] for c in box["children"] if c["class"].lower() == "static"]
        return max(texts, key=len) if texts else ""

    def wait_for_window(self, cls=None, caption=None, pid=None, visible=None, timeout=10.0):
        def probe():
            for w in self.windows():
                if ((cls is None or w["class"] == cls) and (caption is None or w["caption"] == caption)
                        and (pid is None or w["pid"] == pid)
                        and (visible is None or w["visible"] == visible)):
                    return w
            return None
        return wait_until(probe, timeout, 0.2, f"a window class={cls} caption={caption} pid={pid}")

    def menus(self):
        """Visible popup menus (#32768): hwnd, pid, owner, rect.  Their items
        cannot be read from another process under Wine (items is empty then);
        click rows by position: menu_item_point(menu, index, count)."""
        return self.treereader("--menus")["menus"]

    @staticmethod
    def menu_item_point(menu, index, count):
        left, top, right, bottom = menu["rect"]
        row = (bottom - top) / count
        return (left + right) // 2, int(top + row * index + row / 2)

    def children(self, hwnd):
        return self.treereader("--children", str(hwnd))

    def taskbar(self):
        """Wine's window of notification icons (class Shell_TrayWnd), which the
        virtual desktop shows once a program adds a notification icon; None
        before that.  Wine 8 shows a taskbar across the bottom of the desktop;
        Wine 10 a small stand-alone window with a caption at the top left."""
        bars = [w for w in self.windows() if w["class"] == "Shell_TrayWnd" and w["visible"]]
        return bars[0] if bars else None

    def tray_icon_point(self, slot=0):
        """Screen point of a notification icon, slot 0 being the first icon
        added.  On Wine 8's taskbar the icons are 16 px apart in a row at its
        right end, the first one rightmost; in Wine 10's stand-alone window
        they are 20 px apart from the left of its client area, in a row along
        its bottom."""
        bar = wait_until(self.taskbar, 10, 0.2, "the taskbar with the notification area")
        left, top, right, bottom = bar["rect"]
        if right - left >= self.width // 2:
            return right - 10 - 16 * slot, (top + bottom) // 2
        return left + 13 + 20 * slot, bottom - 13

    def post(self, hwnd, msg, wparam=0, lparam=0):
        return self.treereader("--post", str(hwnd), str(msg), str(wparam), str(lparam))

    def send(self, hwnd, msg, wparam=0, lparam=0, timeout_ms=5000):
        return self.treereader("--timeout", str(timeout_ms), "--send", str(hwnd), str(msg),
                               str(wparam), str(lparam))

    def _watch(self, args, timeout_ms, cwd=None, wait_opened=False):
        # Options come before the mode: everything after --run belongs to the program.
        popen = subprocess.Popen([wine_program("wine"), self.tool("plr_treereader.exe"),
                                  "--timeout", str(int(timeout_ms)), *args],
                                 env=self.env, cwd=cwd or self.workdir, stdin=subprocess.DEVNULL,
                                 stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                 start_new_session=True)
        self._watches.append(popen)
        return ExitWatch(popen, wait_opened)

    def watch_exit_code(self, winpid, timeout_ms=20000):
        """Returns once the watcher holds the process, so it may end right after."""
        return self._watch(["--exitcode", str(winpid)], timeout_ms, wait_opened=True)

    def run_for_exit_code(self, exe, *args, cwd=None, timeout_ms=20000):
        return self._watch(["--run", windows_path(exe), *args], timeout_ms, cwd)


# ----- base class of the end-to-end tests ---------------------------------
_shared = {"session": None, "exe": None, "artifacts": None, "owned": False}


def default_exe():
    repo = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
    return os.environ.get("PLR_E2E_EXE") or os.path.join(repo, "build", "mingw-x64", "pelorine.exe")


def pe_bits(path):
    """32 or 64: the word size of a Windows executable, from its PE header."""
    with open(path, "rb") as f:
        head = f.read(4096)
    offset = struct.unpack_from("<I", head, 0x3C)[0]
    if head[offset:offset + 4] != b"PE\0\0":
        raise HarnessError(f"{path} is not a Windows executable")
    machine = struct.unpack_from("<H", head, offset + 4)[0]
    return 32 if machine == 0x14C else 64


def use_session(session, exe, artifacts=None):
    """Called by run_e2e.py: every test of the run shares this session."""
    session.registry_view = pe_bits(exe)
    _shared.update(session=session, exe=os.path.abspath(exe), artifacts=artifacts, owned=False)


def _stop_owned_session():
    if _shared["owned"] and _shared["session"]:
        _shared["session"].stop()
        _shared.update(session=None, owned=False)


class E2ETestCase(unittest.TestCase):
    """Base of every end-to-end test.

    setUp ends whatever the previous test left running and deletes the
    Pelorine registry key, then gives the test its own scratch directory
    (self.dir) inside the session.  Nothing is ended in tearDown, so the runner
    can take a screenshot of the desktop as the failing test left it.  Run a
    single file directly (python3 test_x.py) and it makes its own session for
    PLR_E2E_EXE (default build/mingw-x64/pelorine.exe).
    """

    @classmethod
    def setUpClass(cls):
        if _shared["session"] is None:
            exe = default_exe()
            session = WineSession(tools_dir=os.path.dirname(exe))
            session.registry_view = pe_bits(exe)
            session.__enter__()
            _shared.update(session=session, exe=exe, owned=True)
            import atexit
            atexit.register(_stop_owned_session)

    def setUp(self):
        self.s = _shared["session"]
        self.exe = _shared["exe"]
        self.s.reset()
        name = re.sub(r"[^A-Za-z0-9_.-]+", "_", self.id().split(".", 1)[-1])[:80]
        self.dir = tempfile.mkdtemp(prefix=name + "-", dir=self.s.workdir)

    # ----- Pelorine helpers -----
    def start_pelorine(self, cwd=None):
        return self.s.start_program(self.exe, cwd=cwd or self.dir, name=self.s._next_name("pelorine"))

    def wait_main_window(self, proc=None, pid=None, timeout=15.0):
        """The hidden main window, which exists once start-up has created it.
        With proc, fails at once when that process has ended instead."""
        def probe():
            if proc is not None and not proc.alive():
                raise AssertionError(f"{proc.name} ended with {proc.returncode} before its main window appeared")
            return [w for w in self.s.windows() if w["class"] == MAIN_CLASS and (pid is None or w["pid"] == pid)]
        return wait_until(probe, timeout, 0.2, "the main window " + MAIN_CLASS)[0]

    def set_log(self, type_="REG_DWORD", data=1):
        self.s.reg_add(PELORINE_KEY, "Log", type_, data)

    def log_path(self, directory=None):
        return os.path.join(directory or self.dir, "PelorineLog.txt")

    def read_log(self, directory=None):
        try:
            with open(self.log_path(directory), "rb") as f:
                return f.read()
        except FileNotFoundError:
            return None

    def assert_stays_running(self, proc, seconds=1.5):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            self.assertTrue(proc.alive(), f"{proc.name} ended with {proc.returncode}")
            time.sleep(0.1)
