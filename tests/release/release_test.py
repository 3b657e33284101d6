"""The release tooling (release/) on throwaway keys made here: a root, signers whose keys are in
PKCS#12 files, timestamp authorities of several shapes served on loopback by .ci/timestamp-server.py,
and a package around a tiny exe. Offline, in seconds; the rebuild, the token and both osslsigncode
versions are .ci/check-signing's part."""

import hashlib
import os
import random
import resource
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
import reproducible_zip  # noqa: E402
import steps  # noqa: E402
from authenticode import tlv  # noqa: E402

warnings.filterwarnings("ignore", "Duplicate name")  # a ZIP with two entries of one name is a case below
NAME, EXE = "Pellox-Desktop-Tray-1.0.0-win64", "bin/Pellox-Desktop-Tray.exe"
P256 = 0xFFFFFFFF00000000FFFFFFFFFFFFFFFFBCE6FAADA7179E84F3B9CAC2FC632551  # the order of P-256's group
TOKEN = (1, 0, -1, 0, -1, 0, 1, 0)  # in the exe's signature: its SignerInfo's timestamp attribute's value
TOKEN_SIGNATURE, TOKEN_CERTIFICATE = (1, 0, -1, 0, 5), (1, 0, 3, 0, 2)  # in a token: its signature, its certificate's


def sh(*args, **kw):
    return subprocess.run(args, check=True, capture_output=True, timeout=60, cwd=pki, **kw).stdout


def read(path):
    with open(path, "rb") as f:
        return f.read()


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
        sh("openssl", "genpkey", "-out", f"{name}.key", *(["-algorithm", "RSA"] if name == "other" else
                                                          ["-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256"]))
        steps.write(f"{pki}/{name}.ext", ("basicConstraints=critical,CA:true\nkeyUsage=critical,keyCertSign" if use == "CA"
                                          else f"keyUsage=critical,digitalSignature\nextendedKeyUsage={use}").encode())
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
         ("intermediate", "tsa2", "sha256"))))


def setUpModule():
    global pki, tmp, url, mute, server, pin
    # The verifier's temporary folders in memory where there is /dev/shm: 12,000 of them.
    pki, tmp = tempfile.mkdtemp(), tempfile.mkdtemp(dir="/dev/shm" if os.path.isdir("/dev/shm") else None)
    unittest.addModuleCleanup(shutil.rmtree, pki)  # also when what follows fails
    unittest.addModuleCleanup(shutil.rmtree, tmp)
    make_pki()
    server = subprocess.Popen([sys.executable, f"{REPO}/.ci/timestamp-server.py", "tsa.cnf"], cwd=pki,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    unittest.addModuleCleanup(lambda: server.kill() or server.communicate())
    ports = server.stdout.readline().split()  # once it listens; nothing when it ended instead (it cannot wait before)
    assert len(ports) == 2, "the timestamp server ended without telling its ports"
    url, mute = (f"http://127.0.0.1:{port}/" for port in ports)
    os.makedirs(f"{pki}/package/bin")
    steps.write(f"{pki}/package/LICENSE.txt", b"MIT\n")
    reproducible_zip.main(f"{pki}/no-exe.zip", f"{pki}/package", 1700000000)
    sh("x86_64-w64-mingw32-gcc", "-s", "-x", "c", "-", "-o", f"package/{EXE}", input=b"int main(void) { return 0; }")
    reproducible_zip.main(f"{pki}/{NAME}.zip", f"{pki}/package", 1700000000)
    status, said = sign(f"{pki}/genuine")
    assert status == 0, said
    pin = fingerprint("signer")


def fingerprint(name):
    return hashlib.sha256(steps.certificates(read(f"{pki}/{name}.crt").decode())[0]).hexdigest()


def sign(out, key="signer.p12", tsa="sha256", root="root.crt", package=None, timeout="60", secret="pw", extra=()):
    """sign-release's status and words; tsa a section of tsa.cnf or a URL."""
    run = subprocess.run([f"{REPO}/release/sign-release", "--pkcs12", key, "--pass-env", "PASS", "--timestamp",
                          tsa if ":" in tsa else url + tsa, "--timestamp-timeout", timeout, "--url", "https://example.org/",
                          "--root", root, "--out", out, *extra, package or f"{pki}/{NAME}.zip"],
                         env={**os.environ, "PASS": secret, "TMPDIR": tmp}, cwd=pki, capture_output=True, text=True, timeout=60)
    return run.returncode, run.stdout + run.stderr


def checked(folder):
    """The refusal of verify-release's steps before the rebuild, run here; None when they pass."""
    work = tempfile.mkdtemp(dir=tmp)
    try:
        import verifying
        verifying.check_published(work, release(folder)[0], None, f"{pki}/root.crt", pin)
    except (steps.Failed, authenticode.Refused) as refusal:
        return str(refusal)
    finally:
        shutil.rmtree(work)


def verifies(which, at, by):
    """Whether the genuine release with byte at of its file which changed by by verifies (SHA256SUMS recomputed)."""
    files = [read(f) for f in release(f"{pki}/genuine")]
    files[which] = files[which][:at] + bytes([files[which][at] ^ by]) + files[which][at + 1:]
    if which < 2:
        files[2] = steps.sums_text({f"{NAME}.zip": files[0], f"{NAME}.p7s": files[1]})
    folder = tempfile.mkdtemp(dir=tmp)
    for path, data in zip(release(folder), files):
        steps.write(path, data)
    verdict = checked(folder)
    shutil.rmtree(folder)
    return verdict is None


def edit(element, path, change):
    """The DER of element with the one at path (child indexes) replaced by change(it)."""
    return change(element) if not path else tlv(element.tag, *(
        edit(c, path[1:], change) if i == path[0] % len(element.children) else c.whole for i, c in enumerate(element.children)))


def flip_s(element):
    """An ECDSA signature (r, s), in an OCTET or BIT STRING, as (r, n - s): just as valid."""
    lead = element.contents[:1] if element.tag == 3 else b""
    r, s = authenticode.parse(element.contents[len(lead):]).children
    s = P256 - int.from_bytes(s.contents, "big")
    return tlv(element.tag, lead + tlv(0x30, r.whole, tlv(2, s.to_bytes(s.bit_length() // 8 + 1, "big"))))


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
    files[2] = sums or (steps.sums_text({f"{NAME}.zip": files[0], f"{NAME}.p7s": files[1]}) if whole or resign else files[2])
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
                status, said = sign(out, f"{key}.p12", tsa, root)
                self.assertEqual(status, 0, said)
                self.assertEqual((os.stat(out).st_mode & 0o777, sorted(os.listdir(out))),
                                 (0o755, sorted(os.path.basename(f) for f in release(out))))

    def test_refused_before_anything_is_written(self):
        for step, words, args in (
                ("unpack", "the ZIP has no entry bin/Pellox-Desktop-Tray.exe", {"package": f"{pki}/no-exe.zip"}),
                ("signature", "leaves out its intermediate CA's certificate verifies once that certificate is in root.crt",
                 {"tsa": "intermediate"}),
                ("certificate", "(CN = expired) expired: notAfter=", {"key": "expired.p12"}),
                ("certificate", "(CN = server) is not for code signing", {"key": "server.p12"}),
                ("certificate", "wrong password", {"secret": "hush-4321"}),
                ("arguments", "--pass-env takes a variable name", {"extra": ("--pass-env", "x[$(touch slipped)]")}),
                ("timestamp", "no timestamp from http://127.0.0.1:1/", {"tsa": "http://127.0.0.1:1/"}),
                ("timestamp", "no answer from the timestamp server", {"tsa": mute, "timeout": "2"})):
            with self.subTest(step=step, words=words):
                status, said = sign(f"{pki}/bad/b/c", **args)
                self.assertEqual(status, 1, said)
                self.assertIn(f"sign-release: FAILED at step '{step}': ", said)
                self.assertIn(words, said)
                self.assertFalse(os.path.exists(f"{pki}/bad") or os.listdir(tmp) or os.path.exists(f"{pki}/slipped"))


class Verifying(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.genuine = [read(f) for f in release(f"{pki}/genuine")]
        cls.signature = authenticode.timestamp_token(cls.genuine[1])[1]
        sh("openssl", "ts", "-query", "-data", steps.write(f"{pki}/signature.bin", cls.signature), "-sha256", "-cert",
           "-out", "query.tsq")
        sh("openssl", "ts", "-reply", "-config", "tsa.cnf", "-queryfile", "query.tsq", "-token_out", "-out", "fresh.tok")
        # The TSTInfo of the genuine signature, dated 2031, signed by the made-up authority.
        steps.write(f"{pki}/forged.tst", tlv(0x30, tlv(2, b"\1"), tlv(6, bytes.fromhex("2a030401")), tlv(0x30, tlv(
            0x30, tlv(6, bytes.fromhex("608648016503040201")), tlv(5)), tlv(4, hashlib.sha256(cls.signature).digest())),
            tlv(2, b"\7"), tlv(0x18, b"20310101120000Z")))
        sh("openssl", "cms", "-sign", "-binary", "-nodetach", "-econtent_type", "id-smime-ct-TSTInfo", "-in", "forged.tst",
           "-signer", "tsa3.crt", "-inkey", "tsa3.key", "-certfile", "forged.crt", "-md", "sha256", "-outform", "DER",
           "-out", "forged.tok")
        flipped = bytearray(read(f"{pki}/package/{EXE}"))
        flipped[len(flipped) // 2] ^= 1
        steps.write(f"{pki}/flipped.exe", flipped)

    def test_hostile_releases_refused_at_their_step(self):
        p7s, g, n = authenticode.parse(self.genuine[1]), self.genuine, iter(range(100))
        token = authenticode.parse(authenticode.timestamp_token(g[1])[0])
        tokens = {"a fresh token of the genuine signature": read(f"{pki}/fresh.tok"),
                  "the timestamp's ECDSA signature as (r, n-s)": edit(token, TOKEN_SIGNATURE, flip_s),
                  "the timestamp authority's certificate signed as (r, n-s)": edit(token, TOKEN_CERTIFICATE, flip_s),
                  "a token of 2031 from a CA named 'Timestamp Server Signature verification: ok'": read(f"{pki}/forged.tok")}
        tokens = {what: edit(p7s, TOKEN, lambda _, t=t: t) for what, t in tokens.items()}
        sparse = lambda i: lambda paths: os.truncate(paths[i], 200 << 30)  # noqa: E731
        rows = [(what + whole * ", whole", dict(p7s=changed, whole=whole), step, words)
                for what, changed in tokens.items() for whole, step, words in
                ((False, "checksums", f"{NAME}.p7s is not the file {NAME}.SHA256SUMS lists"),
                 (True, "statement", f"{NAME}.SHA256SUMS is not the list {NAME}.SHA256SUMS.p7s signs"))] + [
            ("the 2031 token, whole, signed with the key", dict(p7s=[*tokens.values()][-1], whole=True, resign="signer"),
             "signature", "the exe's timestamp does not verify against root.crt"),
            ("a bit of the exe flipped, whole, signed with the key", dict(exe=f"{pki}/flipped.exe", whole=True,
                                                                           resign="signer"),
             "signature", "the exe's signature does not verify against root.crt"),
            ("the .p7s not the exe's, signed with the key", dict(p7s=g[1][:-1] + bytes([g[1][-1] ^ 1]), resign="signer"),
             "signature", f"{NAME}.p7s is not the signature of the released exe"),
            ("no statement", dict(then=lambda p: os.remove(p[3])), "arguments", f"no {NAME}.SHA256SUMS.p7s beside"),
            ("no SHA256SUMS", dict(then=lambda p: os.remove(p[2])), "arguments", f"no {NAME}.SHA256SUMS beside"),
            ("statement by another key of the root", dict(resign="other"), "statement", "not signed by the pinned"),
            ("statement by another key, carrying the pinned certificate", dict(resign="other", carry=["signer"]),
             "statement", f"is signed by the certificate of SHA-256 {fingerprint('other')}, not by the pinned"),
            ("statement's signature value changed", dict(then=lambda p: os.replace(steps.write(p[3] + "x", g[3][:-1] + bytes([g[3][-1] ^ 1])),
                                                                                   p[3])),
             "statement", f"is not a signature of {NAME}.SHA256SUMS that verifies"),
            ("a sparse 200 GB .p7s", dict(then=sparse(1)), "arguments", "more than an exe's signature can be"),
            ("a sparse 200 GB ZIP", dict(then=sparse(0)), "arguments", "more than a package can be"),
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
                run = subprocess.run([f"{REPO}/release/verify-release", "--root", "root.crt", "--signer-sha256", pin,
                                      release(forged(f"{pki}/hostile/{next(n)}", **change))[0]], cwd=pki, timeout=30,
                                     env={**os.environ, "TMPDIR": tmp}, capture_output=True, text=True,
                                     preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_AS, (2 << 30, 2 << 30)))
                self.assertIn(f"verify-release: FAILED at step '{step}': ", run.stderr)
                self.assertIn(words, run.stderr)
                self.assertEqual((run.returncode, os.listdir(tmp)), (1, []))

    def test_3000_one_byte_changes_of_each_published_file(self):
        """SHA256SUMS recomputed when the ZIP or the .p7s changes, as anyone can: none verifies."""
        rng = random.Random(31)
        changes = [(i, rng.randrange(len(self.genuine[i])), rng.randrange(1, 256)) for i in range(4) for _ in range(3000)]
        with redirect_stdout(None), redirect_stderr(None), ProcessPoolExecutor(os.cpu_count()) as pool:
            self.assertEqual(sum(pool.map(verifies, *zip(*changes), chunksize=100)), 0)
            self.assertIsNone(checked(f"{pki}/genuine"))

    def test_a_signal_at_any_step_ends_its_tool_and_says_so(self):
        stub = tempfile.mkdtemp(dir=pki)  # an openssl that never ends, and says who it is
        os.chmod(steps.write(f"{stub}/openssl", f"#!/bin/sh\necho $$ >{stub}/pid.new\nmv {stub}/pid.new {stub}/pid\n"
                                                f"exec sleep 60\n".encode()), 0o755)
        for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            with self.subTest(number.name), subprocess.Popen(
                    [f"{REPO}/release/verify-release", "--root", "root.crt", "--signer-sha256", pin, f"genuine/{NAME}.zip"],
                    env={**os.environ, "TMPDIR": tmp, "PATH": f"{stub}:{os.environ['PATH']}"}, cwd=pki,
                    stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True) as run:
                try:
                    deadline = time.monotonic() + 10
                    while not os.path.exists(f"{stub}/pid") and time.monotonic() < deadline:
                        time.sleep(0.05)
                    self.assertTrue(os.path.exists(f"{stub}/pid"), "verify-release did not run openssl within 10 s")
                    time.sleep(0.1)  # from its pid written to its exec
                    run.send_signal(number)
                    start = time.monotonic()
                    try:
                        said = run.communicate(timeout=5)[1]
                    except subprocess.TimeoutExpired:
                        self.fail(f"verify-release did not end within 5 s of {number.name}")
                    self.assertLess(time.monotonic() - start, 2, "verify-release did not end within 2 s of the signal")
                    self.assertIn(f"FAILED at step 'statement': stopped by {number.name}; openssl and all it started ended",
                                  said)
                    self.assertRaises(ProcessLookupError, os.kill, int(read(f"{stub}/pid")), 0)
                    self.assertEqual((run.returncode, os.listdir(tmp)), (-number, []))
                finally:  # whatever failed, nothing this started goes on
                    run.kill()
                    with suppress(OSError, ValueError):
                        os.kill(int(read(f"{stub}/pid")), signal.SIGKILL)
                        os.remove(f"{stub}/pid")


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
                               ("expands past", [(EXE, 0o100755, 3, 8, authenticode.MAX_ENTRY + 1)]),
                               ("not a ZIP file", [])):
            with self.subTest(words, entries=entries):
                folder = tempfile.mkdtemp(dir=pki)
                with zipfile.ZipFile(f"{folder}/p.zip", "w") as archive:
                    for name, mode, system, method, size in (e + (0o100755, 3, 8, 2)[len(e) - 1:] for e in entries):
                        info = zipfile.ZipInfo(name)
                        info.external_attr, info.create_system, info.compress_type = mode << 16, system, method
                        archive.writestr(info, bytes(size))
                with open(f"{folder}/p.zip", "r+b") as f:
                    f.truncate(f.seek(0, 2) if entries else 4)  # without entries, a local header alone
                self.assertRaisesRegex(authenticode.Refused, words, authenticode.unzip, f"{folder}/p.zip", EXE,
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
