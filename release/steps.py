"""What sign-release and verify-release share: steps that name each failure, tools
run with a bound and ended with everything they started, and files read only
within a cap (the checks both make of a signed release are checks.py's).

Each failure ends the program with one line, `NAME: FAILED at step 'STEP': REASON`,
and status 1. A TERM, INT or HUP is taken at the next step, or at once while a
tool runs: every tool running is ended, that line printed within 2 s, and the
program ends by the same signal. Once a step has settled the verdict (the
release verified, or published), a signal changes nothing: the verdict is
printed and the status is its own. A reader of stdout that has gone away fails
no step.
"""

import contextlib
import os
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time

import authenticode
import package_zip

SIGNALS = (signal.SIGTERM, signal.SIGINT, signal.SIGHUP)
step = "arguments"
deadline = None  # time.monotonic() by which every bounded tool must have ended
received = []  # the signals received, which the handler only notes: no step is cut short at an arbitrary line


class Failed(Exception):
    pass


class Stopped(BaseException):  # not an Exception: nothing on the way may take it for a failure of its own
    pass


def fail(reason):
    raise Failed(reason)


def stop_if_signalled(*tool):
    if received:
        raise Stopped(received[0], *tool)


def begin(name):
    """Step name begins, unless a signal came during the last one, which then stops the program."""
    global step
    stop_if_signalled()
    step = name


def say(text):
    """Prints text; once stdout is closed (a reader gone away), the words go nowhere and the steps go on."""
    try:
        print(text, flush=True)
    except OSError:
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())


def ok(what):
    say(f"ok   {step}: {what}")


def printable(text):
    """What a tool said of a hostile file, its control characters shown, indented under the step."""
    text = text.decode("utf-8", "replace") if isinstance(text, bytes) else text
    return "".join(c if c.isprintable() or c == "\n" else repr(c)[1:-1] for c in text).strip().replace("\n", "\n    ")


def run(args, timeout=20, env=None, pass_fds=(), echo=True):
    """The exit status of a tool and what it said, which is shown when it fails (echo); a tool
    that has not ended within timeout seconds, or by the deadline, fails the step."""
    stop_if_signalled()
    if timeout and deadline:
        timeout = max(0.1, min(timeout, deadline - time.monotonic()))
    until = timeout and time.monotonic() + timeout
    tool = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                            env=env, pass_fds=pass_fds, start_new_session=True)
    said = None
    try:
        while said is None and not received and not (until and time.monotonic() > until):
            with contextlib.suppress(subprocess.TimeoutExpired):  # looked at again after 0.1 s, losing nothing
                said = tool.communicate(timeout=0.1)[0]
    finally:
        if said is None:
            end(tool)
            tool.stdout.close()
    if said is None:
        stop_if_signalled(os.path.basename(args[0]))
        fail(f"{os.path.basename(args[0])} {args[1]} did not end within {timeout:.1f} s")
    if tool.returncode and echo:
        print(f"    {printable(said)}", file=sys.stderr)
    return tool.returncode, said


def end(tool):
    """Ends a tool and all it started (its process group): TERM, then after at most 0.5 s KILL for what is left."""
    for sig, wait in ((signal.SIGTERM, 0.5), (signal.SIGKILL, 1)):
        with contextlib.suppress(ProcessLookupError, PermissionError):  # gone, or its number taken since
            os.killpg(tool.pid, sig)
        with contextlib.suppress(subprocess.TimeoutExpired):
            tool.wait(wait)


def read(path, cap, what):
    """The bytes of the plain file path, refused before reading when larger than cap."""
    try:
        fd = os.open(path, os.O_RDONLY | os.O_NOFOLLOW | os.O_NONBLOCK)  # a FIFO must not block the open
    except FileNotFoundError:
        fail(f"no such file: {path}")
    except OSError as e:
        fail(f"{path} is not a plain file: {e.strerror}")  # a link (ELOOP) among them: it could lead to /dev/zero
    with os.fdopen(fd, "rb") as f:
        size = os.fstat(fd)
        if not stat.S_ISREG(size.st_mode):
            fail(f"{path} is not a plain file")
        if size.st_size > cap:
            fail(f"{path} is {size.st_size} bytes, more than {what} can be ({cap})")
        data = f.read(cap + 1)
    if len(data) > cap:
        fail(f"{path} grew past {cap} bytes while it was read")
    return data


def options(argv, names, usage):
    """The options given (each of names, with its value) and the other arguments; --help says usage and ends."""
    given, rest = {}, []
    while argv:
        if argv[0] in ("-h", "--help"):
            say(usage)
            sys.exit(0)
        if not argv[0].startswith("-"):
            rest.append(argv.pop(0))
        elif argv[0] in given:
            fail(f"{argv[0]} given twice")
        elif argv[0] not in names:
            fail(f"unknown option {argv[0]}\n{usage}")
        elif len(argv) < 2:
            fail(f"{argv[0]} needs a value")
        else:
            given[argv[0]] = argv[1]
            del argv[:2]
    return given, rest


def write(path, data):
    with open(path, "xb") as f:
        f.write(data)
    return path


def main(name, body):
    """Runs body(work) in a temporary folder removed at the end, as the program name."""
    for s in SIGNALS:
        signal.signal(s, lambda number, _: received.append(number))
    work, stopped, reason = None, None, None
    try:
        try:
            work = tempfile.mkdtemp(prefix=f"{name}.")
        except OSError as e:
            fail(f"cannot make a temporary folder in {tempfile.gettempdir()}: {e.strerror}")
        body(work)
    except Stopped as s:
        stopped = s.args[0]
        reason = f"stopped by {signal.Signals(stopped).name}" + (f"; {s.args[1]} and all it started ended" if s.args[1:] else "")
    except (Failed, authenticode.Refused, package_zip.Refused) as f:
        reason = str(f)
    except MemoryError:
        reason = "out of the memory at hand"
    except Exception as e:  # whatever a hostile file may cause still ends in a FAILED line
        reason = f"{type(e).__name__}: {e}"
    finally:  # after --help's exit too
        if reason:
            with contextlib.suppress(OSError):  # a terminal hung up takes no more words
                print(f"{name}: FAILED at step '{step}': {reason}", file=sys.stderr, flush=True)
        if work:
            shutil.rmtree(work, ignore_errors=True)
    if stopped:
        signal.signal(stopped, signal.SIG_DFL)
        os.kill(os.getpid(), stopped)
    return 1 if reason else 0
