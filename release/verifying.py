"""release/verify-release: checks a signed release against the source, for anyone,
treating every file as hostile. Step by step (docs/RELEASING.md says why):

arguments  each published file is a plain file within its cap, copied into the
           temporary folder (nothing else is read after): the ZIP, the exe's
           signature NAME.p7s, NAME.SHA256SUMS and its signature NAME.SHA256SUMS.p7s
statement  NAME.SHA256SUMS.p7s is a CMS signature of NAME.SHA256SUMS by the pinned
           certificate, which chains to ROOT.pem (openssl cms -verify)
checksums  NAME.SHA256SUMS is exactly the lines of the ZIP and NAME.p7s
unpack     the exe out of the ZIP, which has the form of a package
signature  the exe's signature is NAME.p7s, by the pinned certificate, and it verifies
           with its timestamp against ROOT.pem (osslsigncode verify, openssl ts -verify)
build      the commit's unsigned package, built in a clean clone (the checkout may be
           another user's)
attach     NAME.p7s attached to the exe built here
compare    the released exe and ZIP are, byte for byte, those built here with it
"""

import codecs
import hashlib
import os
import re
import sys
import time

import authenticode
import checks
import package_zip
import reproducible_zip
import steps
from steps import fail, ok

USAGE = """usage: release/verify-release --root ROOT.pem --signer-sha256 HEX [--commit REV] NAME.zip [NAME.p7s]
    HEX is the SHA-256 of the signer's certificate, published with the release.
    REV defaults to HEAD of this checkout. NAME.SHA256SUMS and its signature
    NAME.SHA256SUMS.p7s, published with the release, are read beside the ZIP."""
EXE = "bin/Pellox-Desktop-Tray.exe"
REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MAX_SUMS = 1024  # two lines of a SHA-256 and a name
MAX_ROOTS = 1 << 20


def published(zip_path, p7s_path=None):
    """The paths of a release's files: the ZIP, the exe's signature, SHA256SUMS and its signature."""
    base = zip_path.removesuffix(".zip")
    return [zip_path, p7s_path or base + ".p7s", base + ".SHA256SUMS", base + ".SHA256SUMS.p7s"]


def check_published(work, zip_path, p7s_path, root_path, pin):
    """Steps arguments to signature: the signer's certificate, the released exe's path, the ZIP's and the
    .p7s's bytes, all vouched for by the signer."""
    steps.begin("arguments")
    paths = published(zip_path, p7s_path)
    names = [os.path.basename(p) for p in paths]
    if any("\n" in n or "\\" in n for n in names[:2]):
        fail("a file name holds a newline or a backslash, which SHA256SUMS cannot list as it is")
    if len(set(names)) < 4:
        fail(f"{names[1]} is the name of another file of the release: the argument after the ZIP is the exe's "
             f"signature, {names[0].removesuffix('.zip')}.p7s")
    for path, why in zip(paths[2:], ("the SHA-256 of the ZIP and the .p7s, which a release publishes beside them",
                                     f"the signer's signature of {names[2]}: without it nothing vouches for the release")):
        if not os.path.lexists(path):
            fail(f"no {os.path.basename(path)} beside the ZIP: {why}")
    caps = [(package_zip.MAX_ZIP, "a package"), (authenticode.MAX_SIGNATURE, "an exe's signature"),
            (MAX_SUMS, "a list of two files"), (authenticode.MAX_SIGNATURE, "the signature of SHA256SUMS")]
    data = [steps.read(p, cap, what) for p, (cap, what) in zip(paths, caps)]
    os.mkdir(os.path.join(work, "published"))
    copies = [steps.write(os.path.join(work, "published", n), d) for n, d in zip(names, data)]
    os.mkdir(os.path.join(work, "root"))  # named as the verifier knows it
    root = steps.write(os.path.join(work, "root", os.path.basename(root_path)),
                       steps.read(root_path, MAX_ROOTS, "a file of root certificates"))
    ok("the ZIP, the exe's signature, SHA256SUMS and its signature: plain files within their caps")

    steps.begin("statement")
    signer = checks.check_statement(work, copies[2], copies[3], root, pin)
    ok(f"{names[2]} is signed by the pinned certificate, which chains to {os.path.basename(root)}")

    steps.begin("checksums")
    check_sums(data[2], dict(zip(names[:2], data[:2])), names[2])
    ok(f"{names[0]} and {names[1]} are what {names[2]} lists, and nothing else")

    steps.begin("unpack")
    released = os.path.join(work, "released.exe")
    package_zip.unzip(copies[0], EXE, released)
    ok(f"read {EXE} from {names[0]}, every entry of which is a deflated plain file inside it")

    steps.begin("signature")
    with open(released, "rb") as f:
        if authenticode.extract(f.read()) != data[1]:
            fail(f"{names[1]} is not the signature of the released exe")
    stamped = checks.check_exe(work, released, root, pin)
    ok(f"{names[1]} is the exe's signature; it and its timestamp ({stamped}) verify against {os.path.basename(root)}")
    return signer, released, data[0], data[1]


def check_sums(text, files, name):
    """Refuses a SHA256SUMS that is not exactly the lines sha256sum writes for files, naming why."""
    if text == checks.sums_text(files):
        return
    if text.startswith(codecs.BOM_UTF8):
        fail(f"{name} begins with a byte order mark (UTF-8 BOM), which sha256sum neither writes nor reads")
    if b"\r" in text:
        fail(f"{name} has CRLF line ends (as a Windows editor or git's core.autocrlf writes them); "
             "sha256sum writes LF alone")
    if re.search(rb"^[0-9a-fA-F]*[A-F]", text, re.M):
        fail(f"{name} writes its SHA-256s in uppercase hex; sha256sum writes lowercase")
    listed = dict((n, h) for h, n in re.findall(rb"^([0-9a-f]{64})  (.+)$", text, re.M))
    for n, data in files.items():
        digest = hashlib.sha256(data).hexdigest()
        if listed.get(n.encode(), digest.encode()) != digest.encode():
            fail(f"{n} is not the file {name} lists: its SHA-256 is {digest}, not {listed[n.encode()].decode()}")
    fail(f"{name} lists other files than {' and '.join(files)}, or other lines, or not each once")


def rebuild(work, commit, zip_name, released, zip_data, p7s):
    """Steps build, attach and compare."""
    steps.begin("build")
    steps.deadline = None  # every input is read: from here on, time is the build's
    # The checkout may be another user's: git trusts it for this command alone, which runs nothing of its settings.
    status, rev = steps.run(["git", "-c", "safe.directory=*", "-C", REPO, "rev-parse", "--verify", "--end-of-options",
                             f"{commit}^{{commit}}"])
    if status:
        fail(f"no commit {commit} in {REPO}")
    rev = rev.decode().strip()
    src = os.path.join(work, "src")
    # No bound but the caller's: the build takes minutes; a signal ends it. Its compilers' files stay in work too.
    if steps.run([os.path.join(REPO, "release", "build-package"), src, rev], None, {**os.environ, "TMPDIR": work})[0]:
        fail(f"building the package of {rev} (its last words above)")
    built_zip = os.path.join(src, "build", zip_name)
    if not os.path.isfile(built_zip):
        fail(f"the build of {rev} made no {zip_name}")
    ok(f"built the unsigned package of {rev} in a clean clone")

    steps.begin("attach")
    with open(os.path.join(src, "build", EXE), "rb") as f:
        signed = steps.write(os.path.join(work, "signed.exe"), authenticode.attach(f.read(), p7s))
    ok("attached the signature to the exe built here")

    steps.begin("compare")
    with open(signed, "rb") as f, open(released, "rb") as g:
        if f.read() != g.read():
            fail("the released exe is not the exe built here with the signature attached")
    reproducible_zip.replace(built_zip, EXE, signed, os.path.join(work, "signed.zip"))
    with open(os.path.join(work, "signed.zip"), "rb") as f:
        if f.read() != zip_data:
            fail("the released ZIP is not the package built here with the signed exe")
    ok("the released exe and ZIP are, byte for byte, what this commit builds with the signature attached")


def main(argv):
    def body(work):
        steps.deadline = time.monotonic() + 25  # a verdict on any input within 30 s, the rebuild aside
        given, args = steps.options(argv, ("--root", "--signer-sha256", "--commit"), USAGE)
        if "--root" not in given:
            fail(f"no --root: the root certificates the signatures must chain to\n{USAGE}")
        if not 1 <= len(args) <= 2 or not args[0].endswith(".zip"):
            fail(f"{' '.join(args) or 'nothing'} given where the release's NAME.zip belongs, and at most its NAME.p7s "
                 f"(the SHA256SUMS and its signature are read beside the ZIP)\n{USAGE}")
        # As openssl x509 -fingerprint prints it, or as sign-release does.
        pin = given.get("--signer-sha256", "").replace(":", "").lower()
        if not re.fullmatch("[0-9a-f]{64}", pin):
            fail("--signer-sha256 takes the SHA-256 of the signer's certificate (64 hex digits) published with the release")
        signer, released, zip_data, p7s = check_published(work, *args[:1], args[1] if args[1:] else None,
                                                          given["--root"], pin)
        steps.say(f"       {checks.described(work, signer)}".replace("\n", "\n       "))
        rebuild(work, given.get("--commit", "HEAD"), os.path.basename(args[0]), released, zip_data, p7s)
        steps.stop_if_signalled()  # the last moment a signal stops it: once said, the verdict stands
        steps.say("release verified")
    return steps.main("verify-release", body)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
