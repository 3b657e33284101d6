"""The release tooling (release/) on throwaway keys made here, in PKCS#12 files, their certificates naming
a revocation list and an OCSP responder nobody serves; timestamp authorities of several shapes on loopback
(.ci/timestamp-server.py); a package around a tiny exe; the tools in a checkout whose stand-in cmake packages
the commit's files. Offline, in seconds; the real rebuild, the token and both osslsigncode versions are
.ci/check-signing's part."""

import glob
import hashlib
import os
import random
import resource
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
import warnings
import zipfile
from concurrent.futures import ProcessPoolExecutor
from contextlib import redirect_stderr, redirect_stdout, suppress

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(REPO, "release"))
import authenticode  # noqa: E402
import checks  # noqa: E402
import package_zip  # noqa: E402
import reproducible_zip  # noqa: E402
import steps  # noqa: E402

NAME, EXE = "Pellox-Desktop-Tray-1.0.0-win64", "bin/Pellox-Desktop-Tray.exe"
STUBS = {
    # cmake as the package's build: the package is the commit's package/ folder, zipped as a release's is; a
    # commit with package/SIGNAL has it signal verify-release, which runs build-package, which runs cmake, and hang.
    "bin/cmake": f"""[ "$1" = --build ] || exit 0
[ ! -e package/SIGNAL ] || {{ read -r _ _ _ verifier _ </proc/$PPID/stat; kill -s "$(cat package/SIGNAL)" $verifier; exec sleep 60; }}
mkdir -p build/bin && cp package/{EXE} build/bin/ && exec python3 release/reproducible_zip.py build/{NAME}.zip package 1700000000""",
    # openssl as a tool that never ends: it notes its pid, then signals the program that ran it (STUB_SIGNAL,
    # a name), deaf to TERM itself when DEAF is set.
    "hang/openssl": """[ -z "$DEAF" ] || trap '' TERM
echo $$ >"$STUB_PID"
[ -z "$STUB_SIGNAL" ] || kill -s "$STUB_SIGNAL" $PPID
exec sleep 60""",
    # Python programs signal themselves at an audit event (SIGNAL_AT=EVENT:NUMBER): shutil.rmtree, tempfile.mkdtemp...
    "moment/sitecustomize.py": """import os, sys
if "SIGNAL_AT" in os.environ:
    event, number = os.environ.pop("SIGNAL_AT").split(":")
    sys.addaudithook(lambda e, _: e == event and os.kill(os.getpid(), int(number)))""",
    # The tools' checkout: the package at HEAD (detached, tag package), another at other-zip, a signal at signal.
    "checkout.sh": """export GIT_CONFIG_GLOBAL=/dev/null GIT_CONFIG_NOSYSTEM=1
export GIT_AUTHOR_NAME=t GIT_AUTHOR_EMAIL=t@t GIT_COMMITTER_NAME=t GIT_COMMITTER_EMAIL=t@t
cd "$1" && git init -q && git add -A && git commit -qm package && git tag package
echo more >>package/LICENSE.txt && git commit -qam other && git tag other-zip
echo TERM >package/SIGNAL && git add -A && git commit -qm signal && git tag signal && git checkout -q package"""}


def sh(*args, **kw):
    return subprocess.run(args, check=True, capture_output=True, timeout=60, cwd=pki, **kw).stdout


def read(path):
    with open(path, "rb") as f:
        return f.read()


def tool(name, *args, env=(), stdout=subprocess.PIPE, timeout=60):
    """The status, stdout and stderr of the checkout's release/NAME run in pki, and what it left in its own TMPDIR."""
    folder = tempfile.mkdtemp(dir=pki)
    with subprocess.Popen([f"{checkout}/release/{name}", *args], cwd=pki, stdout=stdout, stderr=subprocess.PIPE, text=True,
                          env={**os.environ, "PATH": f"{pki}/bin:{os.environ['PATH']}", "TMPDIR": folder, **dict(env)},
                          preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_AS, (2 << 30, 2 << 30))) as run:
        try:
            said = run.communicate(timeout=timeout)
        except BaseException:  # nothing it started goes on: they all, its builds too, have that TMPDIR
            for environ in glob.glob("/proc/[0-9]*/environ"):
                with suppress(OSError):
                    if f"\0TMPDIR={folder}".encode() in b"\0" + read(environ):
                        os.kill(int(environ.split("/")[2]), signal.SIGKILL)
            raise
    return run.returncode, *said, os.listdir(folder)


def release(folder):
    return [f"{folder}/{NAME}{end}" for end in (".zip", ".p7s", ".SHA256SUMS", ".SHA256SUMS.p7s")]


def make_pki():
    """Throwaway keys and certificates in pki, and tsa.cnf for .ci/timestamp-server.py (.ci/check-signing's too)."""
    for name, issuer, use, days in (
            ("root", None, "CA", "2"), ("forged", None, "CA", "2"), ("ica", "root", "CA", "2"),
            ("signer", "root", "codeSigning", "2"), ("other", "root", "codeSigning", "2"),
            ("expired", "root", "codeSigning", "0"), ("server", "root", "serverAuth", "2"),
            ("tsa", "root", "critical,timeStamping", "2"), ("tsa2", "ica", "critical,timeStamping", "2"),
            ("tsa3", "forged", "critical,timeStamping", "2")):
        # The other signer's key is RSA, the rest EC; the made-up CA's name is what osslsigncode prints for a good
        # timestamp; "expired" is valid for no time (OpenSSL 3.5 takes no -days -1), so expired by its first use.
        # Each certificate the root or its CA issues names where its revocation is told, as real ones do: nowhere.
        sh("openssl", "genpkey", "-out", f"{name}.key", *(["-algorithm", "RSA"] if name == "other" else
                                                          ["-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256"]))
        steps.write(f"{pki}/{name}.ext", ("basicConstraints=critical,CA:true\nkeyUsage=critical,keyCertSign" if use == "CA"
                                          else f"keyUsage=critical,digitalSignature\nextendedKeyUsage={use}\n"
                                          "crlDistributionPoints=URI:http://127.0.0.1:1/root.crl\n"
                                          "authorityInfoAccess=OCSP;URI:http://127.0.0.1:1/ocsp").encode())
        csr = sh("openssl", "req", "-new", "-key", f"{name}.key", "-subj",
                 "/CN=Timestamp Server Signature verification: ok" if name == "forged" else f"/CN={name}")
        sh("openssl", "x509", "-req", "-days", days, "-extfile", f"{name}.ext", "-out", f"{name}.crt", input=csr,
           *(["-CA", f"{issuer}.crt", "-CAkey", f"{issuer}.key"] if issuer else ["-key", f"{name}.key"]))
        if "codeSigning" in use or use == "serverAuth":
            sh("openssl", "pkcs12", "-export", "-inkey", f"{name}.key", "-in", f"{name}.crt", "-passout", "pass:pw",
               "-out", f"{name}.p12")
    steps.write(f"{pki}/roots.pem", read(f"{pki}/root.crt") + read(f"{pki}/ica.crt"))
    steps.write(f"{pki}/tsa.serial", b"01\n")
    steps.write(f"{pki}/tsa.cnf", "[tsa]\ndefault_tsa = sha256\n".encode() + b"".join(
        f"[{section}]\nserial = tsa.serial\nsigner_key = {key}.key\nsigner_cert = {key}.crt\nsigner_digest = {digest}\n"
        f"default_policy = 1.2.3.4.1\ndigests = sha256\ness_cert_id_alg = sha256\n".encode() for section, key, digest in
        (("sha256", "tsa", "sha256"), ("sha384", "tsa", "sha384"), ("sha512", "tsa", "sha512"),
         ("intermediate", "tsa2", "sha256"), ("forged", "tsa3", "sha256"))))


def setUpModule():
    global pki, tmp, url, mute, server, pin, checkout
    os.umask(0o022)  # the package's files' modes are in its ZIP, and the rebuild's are made so
    # The verifier's temporary folders in memory where there is /dev/shm: 12,000 of them.
    pki, tmp = tempfile.mkdtemp(), tempfile.mkdtemp(dir="/dev/shm" if os.access("/dev/shm", os.W_OK) else None)
    unittest.addModuleCleanup(shutil.rmtree, pki)  # also when what follows fails
    unittest.addModuleCleanup(shutil.rmtree, tmp)
    make_pki()
    server = subprocess.Popen([sys.executable, f"{REPO}/.ci/timestamp-server.py", "tsa.cnf"], cwd=pki,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    unittest.addModuleCleanup(lambda: server.kill() or server.communicate())
    # Once it listens; nothing when it ended instead (it cannot wait before).
    ports = server.stdout.readline().split() if select.select([server.stdout], [], [], 60)[0] else []
    assert len(ports) == 2, "the timestamp server told no ports within 60 s"
    url, mute = (f"http://127.0.0.1:{port}/" for port in ports)
    for path, text in STUBS.items():
        os.makedirs(os.path.dirname(f"{pki}/{path}"), exist_ok=True)
        os.chmod(steps.write(f"{pki}/{path}", f"#!/bin/sh\n{text}\n".encode()), 0o755)
    os.makedirs(f"{pki}/package/bin")
    steps.write(f"{pki}/package/LICENSE.txt", b"MIT\n")
    reproducible_zip.main(f"{pki}/no-exe.zip", f"{pki}/package", 1700000000)
    sh("x86_64-w64-mingw32-gcc", "-s", "-x", "c", "-", "-o", f"package/{EXE}", input=b"int main(void) { return 0; }")
    reproducible_zip.main(f"{pki}/{NAME}.zip", f"{pki}/package", 1700000000)
    # The tools in a checkout that another user owns when root runs this, as a container's bind mount is.
    checkout = f"{pki}/checkout"
    for part, origin in (("release", REPO), ("tools", REPO), ("package", pki)):
        shutil.copytree(f"{origin}/{part}", f"{checkout}/{part}", ignore=shutil.ignore_patterns("__pycache__"))
    sh("sh", "-e", "checkout.sh", checkout)
    if os.getuid() == 0:
        sh("chown", "-R", "65534:65534", checkout)
    status, *said, left = sign(f"{pki}/genuine")
    assert (status, left) == (0, []), said
    pin = fingerprint("signer")


def fingerprint(name):
    return hashlib.sha256(checks.certificates(read(f"{pki}/{name}.crt").decode())[0]).hexdigest()


def sign(out, key="signer.p12", tsa="sha256", root="root.crt", package=None, wait="60", secret="pw", variable="PASS",
         env=(), **run):
    """sign-release's status, stdout, stderr and what it left in its temporary folder; tsa a section of tsa.cnf or a URL."""
    return tool("sign-release", "--pkcs12", key, "--pass-env", variable, "--timestamp", tsa if ":" in tsa else url + tsa,
                "--timestamp-timeout", wait, "--url", "https://example.org/", "--root", root, "--out", out,
                package or f"{pki}/{NAME}.zip", env={"PASS": secret, **dict(env)}, **run)


def checked(files):
    """The refusal of verify-release's steps before the rebuild, run here on a release of files; None when they pass."""
    work = tempfile.mkdtemp(dir=tmp)
    try:
        import verifying
        os.mkdir(f"{work}/in")
        for path, data in zip(release(f"{work}/in"), files):
            steps.write(path, data)
        verifying.check_published(work, release(f"{work}/in")[0], None, f"{pki}/root.crt", pin)
    except (steps.Failed, authenticode.Refused, package_zip.Refused) as refusal:
        return str(refusal)
    finally:
        shutil.rmtree(work)


def verifies(which, at, by):
    """Whether the genuine release with byte at of its file which changed by by verifies (SHA256SUMS recomputed)."""
    files = [read(f) for f in release(f"{pki}/genuine")]
    files[which] = files[which][:at] + bytes([files[which][at] ^ by]) + files[which][at + 1:]
    if which < 2:
        files[2] = checks.sums_text({f"{NAME}.zip": files[0], f"{NAME}.p7s": files[1]})
    return checked(files) is None


def forged(folder, p7s=None, sums=None, whole=False, resign=None, carry=(), exe=None, then=lambda paths: None):
    """The genuine release with what anyone can change: the .p7s (whole: and the exe in the ZIP, the unsigned
    exe with it attached, and SHA256SUMS recomputed), SHA256SUMS; resign: SHA256SUMS signed again by the key
    of that name, as only its holder can, carrying the certificates of carry too; then(its paths)."""
    files, paths = [read(f) for f in release(f"{pki}/genuine")], release(folder)
    os.makedirs(folder)
    files[1] = files[1] if p7s is None else p7s
    if whole:
        steps.write(f"{folder}/x.exe", authenticode.attach(read(exe or f"{pki}/package/{EXE}"), files[1]))
        reproducible_zip.replace(f"{pki}/genuine/{NAME}.zip", EXE, f"{folder}/x.exe", f"{folder}/x.zip")
        files[0] = read(f"{folder}/x.zip")
    files[2] = sums or (checks.sums_text({f"{NAME}.zip": files[0], f"{NAME}.p7s": files[1]}) if whole or resign else files[2])
    for path, data in zip(paths, files[:3] if resign else files):
        steps.write(path, data)
    if resign:
        sh("openssl", "cms", "-sign", "-binary", "-md", "sha256", "-in", paths[2], "-signer", f"{resign}.crt", "-inkey",
           f"{resign}.key", *(a for c in carry for a in ("-certfile", f"{c}.crt")), "-outform", "DER", "-out", paths[3])
    then(paths)
    return folder


class Signing(unittest.TestCase):
    def test_signers_and_timestamp_servers_that_work(self):
        for key, tsa, root in (("signer", "sha256", "root.crt"), ("other", "sha384", "root.crt"),
                               ("signer", "sha512", "root.crt"), ("signer", "intermediate", "roots.pem")):
            with self.subTest(key=key, tsa=tsa, root=root):
                out = tempfile.mkdtemp(dir=pki) + "/signed"  # sign-release verifies what it publishes, pinning its signer
                status, *said, left = sign(out, f"{key}.p12", tsa, root,  # a HUP once it has published changes nothing
                                           env={"SIGNAL_AT": "shutil.rmtree:1", "PYTHONPATH": f"{pki}/moment"})
                self.assertEqual((status, left, os.listdir(os.path.dirname(out))), (0, [], ["signed"]), said)
                self.assertEqual((os.stat(out).st_mode & 0o777, sorted(os.listdir(out))),
                                 (0o755, sorted(os.path.basename(f) for f in release(out))))

    def test_refused_before_anything_is_written(self):
        steps.write(f"{pki}/empty", b"")
        for step, words, args in (
                ("unpack", "the ZIP has no entry bin/Pellox-Desktop-Tray.exe", {"package": f"{pki}/no-exe.zip"}),
                ("signature", "leaves out its intermediate CA's certificate verifies once that certificate is in root.crt",
                 {"tsa": "intermediate"}),
                ("certificate", "(CN = expired) expired: notAfter=", {"key": "expired.p12"}),
                ("certificate", "(CN = server) is not for code signing", {"key": "server.p12"}),
                ("certificate", "wrong password", {"secret": "hush-4321"}),
                ("arguments", "--pass-env takes a variable name", {"variable": "x[$(touch slipped)]"}),
                ("arguments", f"--out {pki}/empty is a file, not a folder", {"out": f"{pki}/empty"}),
                ("timestamp", "no timestamp from http://127.0.0.1:1/", {"tsa": "http://127.0.0.1:1/"}),
                ("timestamp", "no answer from the timestamp server", {"tsa": mute, "wait": "2"})):
            with self.subTest(step=step, words=words):
                status, said, complaint, left = sign(**{"out": f"{pki}/bad/b/c", **args})
                self.assertEqual(status, 1, said + complaint)
                self.assertIn(f"sign-release: FAILED at step '{step}': ", complaint)
                self.assertIn(words, complaint)
                self.assertFalse(os.path.exists(f"{pki}/bad") or left or os.path.exists(f"{pki}/slipped"))


class Verifying(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.genuine = [read(f) for f in release(f"{pki}/genuine")]
        exe, n = read(f"{pki}/package/{EXE}"), os.path.getsize(f"{pki}/package/{EXE}") // 2
        steps.write(f"{pki}/flipped.exe", exe[:n] + bytes([exe[n] ^ 1]) + exe[n + 1:])
        # The exe signed by another certificate of the root; by the pinned one, timestamped by a made-up authority
        # whose CA is named what osslsigncode prints for a good timestamp.
        for key, tsa, exe in (("other", "sha256", "other.exe"), ("signer", "forged", "forged.exe")):
            sh("osslsigncode", "sign", "-pkcs12", f"{key}.p12", "-pass", "pw", "-h", "sha256", "-ts", url + tsa,
               "-in", f"package/{EXE}", "-out", exe)

    def test_hostile_releases_refused_at_their_step(self):
        g, n = self.genuine, iter(range(100))
        token = authenticode.extract(read(f"{pki}/forged.exe"))
        rows = [
            ("a timestamp from a CA named 'Timestamp Server Signature verification: ok', whole",
             dict(p7s=token, whole=True), "statement", f"{NAME}.SHA256SUMS is not the list {NAME}.SHA256SUMS.p7s signs"),
            ("that timestamp, whole, signed with the key", dict(p7s=token, whole=True, resign="signer"),
             "signature", "the exe's timestamp does not verify against root.crt"),
            ("a bit of the exe flipped, whole, signed with the key", dict(exe=f"{pki}/flipped.exe", whole=True, resign="signer"),
             "signature", "the exe's signature does not verify against root.crt"),
            ("the exe signed by another certificate of the root, whole, signed with the key",
             dict(p7s=authenticode.extract(read(f"{pki}/other.exe")), whole=True, resign="signer"),
             "signature", "the exe's signature does not verify against root.crt by the pinned certificate"),
            ("the .p7s not the exe's, signed with the key", dict(p7s=g[1][:-1] + bytes([g[1][-1] ^ 1]), resign="signer"),
             "signature", f"{NAME}.p7s is not the signature of the released exe"),
            ("a ZIP other than the commit builds", dict(commit="other-zip"), "compare",
             "the released ZIP is not the package built here"),
            ("no statement", dict(then=lambda p: os.remove(p[3])), "arguments", f"no {NAME}.SHA256SUMS.p7s beside"),
            ("the statement where the ZIP belongs", dict(args=[3]), "arguments", "given where the release's NAME.zip"),
            ("the statement where the .p7s belongs", dict(args=[0, 3]), "arguments", "the name of another file of the"),
            ("--root given twice", dict(args=["--root", "x.pem", 0]), "arguments", "--root given twice"),
            ("--help", dict(args=["--help"]), None, "usage: release/verify-release --root ROOT.pem"),
            ("statement by another key of the root", dict(resign="other"), "statement", "not signed by the pinned"),
            ("statement by another key, carrying the pinned certificate", dict(resign="other", carry=["signer"]),
             "statement", f"is signed by the certificate of SHA-256 {fingerprint('other')}, not by the pinned"),
            ("statement's signature value changed", dict(then=lambda p: os.replace(steps.write(p[3] + "x", g[3][:-1] + bytes([g[3][-1] ^ 1])),
                                                                                   p[3])),
             "statement", f"is not a signature of {NAME}.SHA256SUMS that verifies"),
            ("a sparse 200 GB ZIP", dict(then=lambda p: os.truncate(p[0], 200 << 30)), "arguments", "more than a package can"),
            ("the .p7s a link to /dev/zero", dict(then=lambda p: os.remove(p[1]) or os.symlink("/dev/zero", p[1])),
             "arguments", "is not a plain file"),
            ("the statement a FIFO", dict(then=lambda p: os.remove(p[3]) or os.mkfifo(p[3])), "arguments",
             "is not a plain file")] + [
            (f"SHA256SUMS {what}, signed", dict(sums=sums, resign="signer"), "checksums", words)
            for what, sums, words in (("in CRLF", g[2].replace(b"\n", b"\r\n"), "CRLF line ends"),
                                      ("with a BOM", b"\xef\xbb\xbf" + g[2], "byte order mark"),
                                      ("in uppercase", g[2].upper(), "uppercase hex"),
                                      ("of another file", g[2].replace(b".p7s", b".exe"), "lists other files than"))]
        for what, change, step, words in rows:
            with self.subTest(what):
                commit, args = change.pop("commit", "package"), change.pop("args", [0])
                paths = release(forged(f"{pki}/hostile/{next(n)}", **change))
                status, out, said, left = tool("verify-release", "--root", "root.crt", "--signer-sha256", pin, "--commit", commit,
                                               *(paths[a] if a in range(4) else a for a in args), timeout=30)
                self.assertIn(f"verify-release: FAILED at step '{step}': " if step else "", said)
                self.assertIn(words, out + said)
                self.assertEqual((status, left), (1 if step else 0, []))

    def test_3000_one_byte_changes_of_each_published_file(self):
        """SHA256SUMS recomputed when the ZIP or the .p7s changes, as anyone can: none verifies. A statement changed
        is refused, or still vouches for the same bytes: its fields no signature covers are not held to one form."""
        rng = random.Random(31)
        changes = [(i, rng.randrange(len(self.genuine[i])), rng.randrange(1, 256)) for i in range(4) for _ in range(3000)]
        with redirect_stdout(None), redirect_stderr(None), ProcessPoolExecutor(len(os.sched_getaffinity(0))) as pool:
            verified = list(pool.map(verifies, *zip(*changes), chunksize=100))
            self.assertEqual([c for c, v in zip(changes, verified) if v and c[0] < 3], [])
            self.assertIsNone(checked(self.genuine))

    def test_a_signal_at_any_moment_ends_in_a_failed_line_or_a_verdict_that_stands(self):
        """A signal while a tool runs, or at a moment of the program's own: a FAILED line naming the step, its status and
        nothing left; or, the verdict settled, that verdict and its status. Its words go to a reader gone away."""
        closed, w = os.pipe()
        os.close(closed)  # as `| head -1` leaves one
        os.mkdir(f"{pki}/signals")
        for row, (name, at, number, failed) in enumerate((
                ("verify-release", "openssl", signal.SIGINT, "'statement': stopped by SIGINT; openssl and all it started"),
                ("verify-release", "cmake", signal.SIGTERM, "'build': stopped by SIGTERM; build-package and all it started"),
                ("verify-release", "tempfile.mkdtemp", signal.SIGHUP, "'arguments': stopped by SIGHUP"),  # its first moment
                ("verify-release", "shutil.rmtree", signal.SIGTERM, None),  # its clean-up, once verified
                ("sign-release", "shutil.copyfile", signal.SIGTERM, "'publish': stopped by SIGTERM"),
                ("sign-release", "shutil.copyfile", signal.SIGKILL, ""))):  # which no program can answer
            with self.subTest(name=name, at=at, signal=number.name):
                out, stub = f"{pki}/signals/{row}/signed", f"{pki}/signals/{row}.pid"  # OUT's folder made by sign-release
                env = ({"PATH": f"{pki}/hang:{os.environ['PATH']}", "STUB_PID": stub, "STUB_SIGNAL": number.name[3:]}
                       if at == "openssl" else {"SIGNAL_AT": f"{at}:{int(number)}", "PYTHONPATH": f"{pki}/moment"})
                status, _, complaint, left = sign(out, env=env, stdout=w, timeout=30) if name == "sign-release" else tool(
                    name, "--root", "root.crt", "--signer-sha256", pin, "--commit", "signal" if at == "cmake" else "package",
                    f"genuine/{NAME}.zip", env=env, stdout=w, timeout=30)
                self.assertEqual((status, os.path.exists(out)), (-number if failed is not None else 0, False), complaint)
                self.assertIn(f"FAILED at step {failed}" if failed else "", complaint)
                if number != signal.SIGKILL:  # which leaves its folders behind: no program can answer it
                    self.assertEqual((left, os.path.exists(os.path.dirname(out))), ([], False))
        os.close(w)

    def test_a_tool_past_the_deadline_is_ended_with_all_it_started(self):
        steps.deadline = (start := time.monotonic()) + 1  # sooner than the tool's own 20 s; the tool deaf to TERM
        self.addCleanup(setattr, steps, "deadline", None)  # whatever fails here, no other test runs to this deadline
        with self.assertRaisesRegex(steps.Failed, "openssl cms did not end within"):
            steps.run([f"{pki}/hang/openssl", "cms"], env={**os.environ, "DEAF": "1", "STUB_PID": f"{pki}/deaf.pid"})
        self.assertLess(time.monotonic() - start, 5, "the tool was not ended by the deadline")
        with self.assertRaises(ProcessLookupError, msg="the tool outlived its time"):  # ended now if not
            os.kill(int(read(f"{pki}/deaf.pid")), signal.SIGKILL)

class PackageAndExe(unittest.TestCase):
    def test_only_a_package_of_plain_files_is_unpacked(self):
        for words, entries in (("an entry outside its own folder", [(EXE + "/../../../../x",)]),
                               ("an entry outside its own folder", [("/tmp/x",)]),
                               ("an entry outside its own folder", [("C:/x",)]),
                               ("a link among its entries", [("bin/link", 0o120777)]),
                               ("a character device among its entries", [("bin/tty", 0o020666)]),
                               ("two entries named", [(EXE,), (EXE,)]),
                               ("is compressed by method 12", [(EXE, 0o100755, 3, zipfile.ZIP_BZIP2)]),
                               ("made on MS-DOS or Windows, not Unix, so its entries have no file modes", [(EXE, 0o644, 0)]),
                               ("has no entry bin/Pellox-Desktop-Tray.exe", [("LICENSE.txt",)]),
                               ("expands past", [(EXE, 0o100755, 3, 8, package_zip.MAX_ENTRY + 1)]),
                               ("not a ZIP file", [])):
            with self.subTest(words, entries=entries), warnings.catch_warnings():
                warnings.simplefilter("ignore")  # that a ZIP has two entries of one name
                folder = tempfile.mkdtemp(dir=pki)
                with zipfile.ZipFile(f"{folder}/p.zip", "w") as archive:
                    for name, mode, system, method, size in (e + (0o100755, 3, 8, 2)[len(e) - 1:] for e in entries):
                        info = zipfile.ZipInfo(name)
                        info.external_attr, info.create_system, info.compress_type = mode << 16, system, method
                        archive.writestr(info, bytes(size))
                with open(f"{folder}/p.zip", "r+b") as f:
                    f.truncate(f.seek(0, 2) if entries else 4)  # without entries, a local header alone
                self.assertRaisesRegex(package_zip.Refused, words, package_zip.unzip, f"{folder}/p.zip", EXE,
                                       f"{folder}/exe")

    def test_the_signature_is_the_last_record_of_the_exe(self):
        p7s, unsigned = read(release(f"{pki}/genuine")[1]), read(f"{pki}/package/{EXE}")
        signed = authenticode.attach(unsigned, p7s)
        table = 24 + 112 + 4 * 8 + int.from_bytes(signed[0x3C:0x40], "little")
        record = int.from_bytes(signed[table:table + 4], "little")
        self.assertEqual(authenticode.extract(signed), p7s)
        for words, exe in (("data appended to the signed exe", signed + b"appended"), ("the exe is not signed", unsigned),
                           ("not the 64-bit exe", signed[:table - 144] + b"\x0b\x01" + signed[table - 142:]),
                           ("is not the size of its table", signed[:record] + (len(signed) - record - 7).to_bytes(
                               4, "little") + signed[record + 4:])):
            with self.subTest(words):
                self.assertRaisesRegex(authenticode.Refused, words, authenticode.extract, exe)


if __name__ == "__main__":  # .ci/check-signing's throwaway keys
    pki = sys.argv[1]
    make_pki()
