"""What sign-release and verify-release share: steps that name each failure, tools
run with a bound and ended with everything they started, files read only within
a cap, and the checks both make of a signed release.

Each failure ends the program with one line, `NAME: FAILED at step 'STEP': REASON`,
and status 1. A TERM, INT or HUP is taken at the next step, or at once while a
tool runs: every tool running is ended, that line printed within 2 s, and the
program ends by the same signal. Once a step has settled the verdict (the
release verified, or published), a signal changes nothing: the verdict is
printed and the status is its own. A reader of stdout that has gone away fails
no step.
"""

import base64
import contextlib
import hashlib
import os
import re
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time

import authenticode

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


def certificates(pem):
    """The DER of each certificate in PEM text."""
    return [base64.b64decode("".join(b.split())) for b in
            re.findall(r"-----BEGIN CERTIFICATE-----([A-Za-z0-9+/=\s]*)-----END CERTIFICATE-----", pem)]


def pem(ders):
    return "".join("-----BEGIN CERTIFICATE-----\n" + base64.encodebytes(d).decode() + "-----END CERTIFICATE-----\n"
                   for d in ders)


def described(work, certificate):
    """The signer's subject and the SHA-256 of its certificate (DER), which verifiers pin."""
    _, subject = run(["openssl", "x509", "-inform", "DER", "-noout", "-subject", "-nameopt", "oneline", "-in",
                      write(os.path.join(work, "described.der"), certificate)])
    os.remove(os.path.join(work, "described.der"))
    return (f"signer: {printable(subject).removeprefix('subject=')}\n"
            f"signer certificate SHA-256: {hashlib.sha256(certificate).hexdigest()}")


def sums_text(files):
    """SHA256SUMS of {name: bytes}, as sha256sum writes it."""
    return "".join(f"{hashlib.sha256(data).hexdigest()}  {name}\n" for name, data in files.items()).encode()


# The checks of a signed release, made by sign-release before it publishes and by verify-release.

def check_statement(work, sums, statement, root, pin):
    """The signer's certificate (DER), when statement is a CMS signature of sums by the
    certificate pin names, chaining to root."""
    # What can be told before openssl runs, for a reason in words: a SHA256SUMS changed, another signer.
    with open(sums, "rb") as f, open(statement, "rb") as g:
        digest, carried = authenticode.statement_digest(g.read())
        if digest != hashlib.sha256(f.read()).digest():
            fail(f"{os.path.basename(sums)} is not the list {os.path.basename(statement)} signs: it was changed "
                 "after signing, or is another release's")
    if pin not in (hashlib.sha256(c).hexdigest() for c in carried):
        fail(f"{os.path.basename(statement)} is not signed by the pinned {pin}: it carries no such certificate")
    signers = os.path.join(work, "signers.pem")
    # No dates: the certificate is the pinned one, and a release stays verifiable after it expires
    # (the exe's signature, made with the same key, is held to the time its timestamp proves:
    # check_exe). No purpose either: OpenSSL 3.0 knows none for code signing.
    status, _ = run(["openssl", "cms", "-verify", "-binary", "-inform", "DER", "-in", statement, "-content", sums,
                     "-CAfile", root, "-purpose", "any", "-no_check_time", "-signer", signers, "-out", os.devnull])
    if status:
        fail(f"{os.path.basename(statement)} is not a signature of {os.path.basename(sums)} that verifies against "
             f"{os.path.basename(root)} (openssl cms -verify: status {status}, its words above)")
    found = certificates(read(signers, 1 << 20, "the signers' certificates").decode("ascii", "replace"))
    if len(found) != 1:
        fail(f"{os.path.basename(statement)} has {len(found)} signers; a release's has one")
    fingerprint = hashlib.sha256(found[0]).hexdigest()
    if fingerprint != pin:
        fail(f"{os.path.basename(statement)} is signed by the certificate of SHA-256 {fingerprint}, not by the pinned {pin}")
    return found[0]


def check_exe(work, exe, root, pin):
    """The time stamped, when the exe is signed by the pinned certificate and verifies against root with its timestamp."""
    # osslsigncode 2.5 reads the time stamped as local time: east of UTC, a certificate
    # fresher than the offset would not be valid yet. It also exits 0 when only the
    # timestamp fails, which openssl ts -verify checks below. No revocation list is
    # consulted: 2.9 would fetch the one a certificate names, and fail without it (2.5
    # knows no -ignore-crl, and fetches none).
    offline = ["-ignore-crl"] if b"-ignore-crl" in run(["osslsigncode", "verify", "--help"], echo=False)[1] else []
    status, _ = run(["osslsigncode", "verify", "-CAfile", root, "-TSA-CAfile", root, *offline,
                     "-require-leaf-hash", f"sha256:{pin}", "-in", exe], env={**os.environ, "TZ": "UTC"})
    if status:
        fail(f"the exe's signature does not verify against {os.path.basename(root)} by the pinned certificate "
             f"(osslsigncode verify: status {status}, its words above)")
    with open(exe, "rb") as f:
        token, value = authenticode.timestamp_token(authenticode.extract(f.read(authenticode.MAX_ENTRY)))
    status, _ = run(["openssl", "ts", "-verify", "-token_in", "-in", write(os.path.join(work, "token.der"), token),
                     "-data", write(os.path.join(work, "stamped.bin"), value), "-CAfile", root])
    if status:
        fail(f"the exe's timestamp does not verify against {os.path.basename(root)} (openssl ts -verify: status "
             f"{status}, its words above); a timestamp server whose token leaves out its intermediate CA's "
             f"certificate verifies once that certificate is in {os.path.basename(root)}")
    return authenticode.stamped_time(token)


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
    except (Failed, authenticode.Refused) as f:
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
