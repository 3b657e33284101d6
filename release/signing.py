"""release/sign-release: signs a release package's exe (Authenticode, SHA-256, an
RFC 3161 timestamp) and, with the same key and certificate, the statement
NAME.SHA256SUMS that lists every other published byte; checks all of it as
verify-release does, and only then writes OUT (the folder "signed" beside the
ZIP) at once. The PIN or password comes from a file or a variable named here,
never the command line, and reaches each tool through a pipe. docs/RELEASING.md
says all of it.
"""

import hashlib
import os
import re
import shutil
import sys
import tempfile

import authenticode
import checks
import package_zip
import reproducible_zip
import steps
import verifying
from steps import fail, ok

USAGE = """usage: release/sign-release
    (--pkcs11-module LIB.so --key 'pkcs11:token=...;object=...' --cert CHAIN.pem | --pkcs12 FILE.p12)
    (--pass-file FILE | --pass-env NAME) --timestamp URL [--timestamp-timeout SECONDS (60)]
    --url URL --root ROOT.pem [--out DIR] ZIP"""
OPTIONS = ("--pkcs11-module", "--key", "--cert", "--pkcs12", "--pass-file", "--pass-env", "--timestamp",
           "--timestamp-timeout", "--url", "--root", "--out")
PROGRAM = "Pellox Desktop"
ENGINE = """openssl_conf = init
[init]
engines = engines
[engines]
pkcs11 = pkcs11
[pkcs11]
engine_id = pkcs11
MODULE_PATH = {}
"""


def arguments(argv):
    o, args = steps.options(argv, OPTIONS, USAGE)
    o = {k.lstrip("-"): v for k, v in o.items()}
    if "pkcs12" in o and {"pkcs11-module", "key", "cert"} & o.keys():
        fail("give either a PKCS#11 key or a PKCS#12 file, not both")
    def lacking(*names):
        return ", ".join(f"--{n}" for n in names if n not in o)
    if "pkcs12" not in o and lacking("pkcs11-module", "key", "cert"):
        fail(f"no key: --pkcs12, or --pkcs11-module, --key and --cert, of which {lacking('pkcs11-module', 'key', 'cert')} "
             f"missing\n{USAGE}")
    if len({"pass-file", "pass-env"} & o.keys()) != 1:
        fail(f"the PIN or password comes from one of --pass-file and --pass-env\n{USAGE}")
    if lacking("timestamp", "url", "root"):
        fail(f"{lacking('timestamp', 'url', 'root')} missing\n{USAGE}")
    if len(args) != 1 or not args[0].endswith(".zip"):
        fail(f"{' '.join(args) or 'nothing'} given where the one package to sign, NAME.zip, belongs\n{USAGE}")
    o.setdefault("timestamp-timeout", "60")
    if not re.fullmatch("[1-9][0-9]*", o["timestamp-timeout"]):
        fail(f"--timestamp-timeout takes whole seconds, not '{o['timestamp-timeout']}'")
    if not re.fullmatch("[A-Za-z_][A-Za-z0-9_]*", o.get("pass-env", "_")):
        fail(f"--pass-env takes a variable name, not '{o['pass-env']}'")
    for f in [args[0], o["root"]] + [o[k] for k in ("cert", "pkcs12", "pass-file") if k in o]:
        if not os.path.isfile(f):
            fail(f"no such file: {f}")
    # Read once, and kept out of the environment of every tool started.
    if "pass-env" in o:
        secret = os.environ.pop(o["pass-env"], "").encode()
    else:
        secret = steps.read(o["pass-file"], 4096, "a PIN or password file").split(b"\n")[0]
    if not secret:
        fail(f"no PIN or password in {o.get('pass-env', o.get('pass-file'))}")
    return o, os.path.realpath(args[0]), secret


def sign(stage, o, zip_path, secret):
    def tool(*args, timeout=60, env=None):
        """A tool given the secret through a pipe: its file descriptor stands for {fd} in args."""
        fd, written = os.pipe()
        os.write(written, secret + b"\n")
        os.close(written)
        try:
            return steps.run([a.replace("{fd}", str(fd)) for a in args], timeout, env, (fd,))
        finally:
            os.close(fd)

    name = os.path.basename(zip_path).removesuffix(".zip")
    out = os.path.realpath(o.get("out") or os.path.join(os.path.dirname(zip_path), "signed"))
    if out == os.path.dirname(zip_path):
        fail("--out is the unsigned ZIP's own folder; the signed ZIP would replace it")
    if os.path.lexists(out) and not os.path.isdir(out):
        fail(f"--out {out} is a file, not a folder")
    if os.path.isdir(out) and os.listdir(out):
        fail(f"--out {out} is not empty")

    def path(n):
        return os.path.join(stage, n)
    os.mkdir(path("out"))

    steps.begin("unpack")
    steps.read(zip_path, package_zip.MAX_ZIP, "a package")
    package_zip.unzip(zip_path, verifying.EXE, path("unsigned.exe"))

    steps.begin("certificate")
    if "pkcs12" in o:
        for part, n in (("-clcerts", "cert.pem"), ("-cacerts", "chain.pem")):
            if tool("openssl", "pkcs12", "-in", o["pkcs12"], "-nokeys", part, "-passin", "fd:{fd}", "-out", path(n))[0]:
                fail(f"cannot open {o['pkcs12']}: wrong password, or not a PKCS#12 file")
        key = ["-pkcs12", o["pkcs12"]]
        statement_key, env = ["-inkey", o["pkcs12"]], None
    else:
        given = checks.certificates(steps.read(o["cert"], 1 << 20, "a certificate chain").decode("ascii", "replace"))
        steps.write(path("cert.pem"), checks.pem(given[:1]).encode())
        steps.write(path("chain.pem"), checks.pem(given[1:]).encode())
        # No -pkcs11engine: osslsigncode 2.5 (Debian 12) fails to load the engine
        # by path and finds the one libengine-pkcs11-openssl installs by its name.
        key = ["-pkcs11module", o["pkcs11-module"], "-certs", o["cert"], "-key", o["key"]]
        statement_key = ["-engine", "pkcs11", "-keyform", "engine", "-inkey", o["key"]]
        env = {**os.environ, "OPENSSL_CONF": steps.write(path("engine.cnf"), ENGINE.format(o["pkcs11-module"]).encode())}
    status, subject = steps.run(["openssl", "x509", "-in", path("cert.pem"), "-noout", "-subject", "-nameopt", "oneline"])
    if status:
        fail(f"cannot read a certificate from {o.get('cert', o.get('pkcs12'))}")
    subject = steps.printable(subject).removeprefix("subject=")
    # osslsigncode signs with such certificates all the same; Windows then rejects the exe.
    if b"Code Signing" not in steps.run(["openssl", "x509", "-in", path("cert.pem"), "-noout", "-ext",
                                         "extendedKeyUsage"])[1]:
        fail(f"the certificate ({subject}) is not for code signing: its extended key usage lacks codeSigning")
    if steps.run(["openssl", "x509", "-in", path("cert.pem"), "-noout", "-checkend", "0"])[0]:
        fail(f"the certificate ({subject}) expired: {steps.run(['openssl', 'x509', '-in', path('cert.pem'), '-noout', '-enddate'])[1].decode().strip()}")

    steps.begin("sign")
    status, said = tool("osslsigncode", "sign", *key, "-readpass", "/dev/fd/{fd}", "-h", "sha256", "-n", PROGRAM,
                        "-i", o["url"], "-in", path("unsigned.exe"), "-out", path("untimed.exe"))
    if status:
        if re.search(rb"PIN incorrect|Login failed|Wrong password", said):
            fail("the key did not open: wrong PIN or password")
        fail(f"osslsigncode could not sign {verifying.EXE} (its words above)")

    steps.begin("timestamp")
    # Apart from signing, so that a server that never answers is told from a slow token.
    wait = int(o["timestamp-timeout"])
    try:
        status, _ = steps.run(["osslsigncode", "add", "-ts", o["timestamp"], "-h", "sha256", "-in", path("untimed.exe"),
                               "-out", path("signed.exe")], wait)
    except steps.Failed:
        fail(f"no answer from the timestamp server {o['timestamp']} within {wait} s")
    if status:
        fail(f"no timestamp from {o['timestamp']} (osslsigncode's words above)")
    p7s = authenticode.extract(read(path("signed.exe")))
    steps.write(path("release.exe"), authenticode.attach(read(path("unsigned.exe")), p7s))
    ok(f"timestamped by {o['timestamp']}")

    steps.begin("statement")
    files = {f"{name}.zip": path(f"out/{name}.zip"), f"{name}.p7s": steps.write(path(f"out/{name}.p7s"), p7s)}
    reproducible_zip.replace(zip_path, verifying.EXE, path("release.exe"), files[f"{name}.zip"])
    sums = steps.write(path(f"out/{name}.SHA256SUMS"), checks.sums_text({n: read(p) for n, p in files.items()}))
    chain = ["-certfile", path("chain.pem")] if os.path.getsize(path("chain.pem")) else []
    if tool("openssl", "cms", "-sign", "-binary", "-md", "sha256", "-in", sums, "-signer", path("cert.pem"),
            *chain, *statement_key, "-passin", "fd:{fd}", "-outform", "DER", "-out", f"{sums}.p7s", env=env)[0]:
        fail(f"openssl cms could not sign {name}.SHA256SUMS with the key (its words above)")
    os.mkdir(path("check"))
    certificate = checks.certificates(read(path("cert.pem")).decode("ascii", "replace"))[0]
    verifying.check_published(path("check"), files[f"{name}.zip"], None, o["root"],
                              hashlib.sha256(certificate).hexdigest())

    signer = checks.described(stage, certificate)

    steps.begin("publish")
    made = os.path.dirname(out)  # the first of OUT's folders made here, removed again unless the release is out
    while not os.path.lexists(os.path.dirname(made)):
        made = os.path.dirname(made)
    made = None if os.path.lexists(made) else made
    os.makedirs(os.path.dirname(out), exist_ok=True)
    # Written beside OUT, which then appears whole with one rename on one file system. A KILL,
    # which no program can answer, may leave this hidden folder behind; never a part of OUT.
    final = tempfile.mkdtemp(prefix=f".{os.path.basename(out)}.", dir=os.path.dirname(out))
    try:
        for n in os.listdir(path("out")):
            shutil.copyfile(path("out/" + n), os.path.join(final, n))
            os.chmod(os.path.join(final, n), 0o644)
        os.chmod(final, 0o755)
        steps.stop_if_signalled()  # the last moment a signal stops it: renamed, the release is out
        os.rename(final, out)
        made = None
    except OSError as e:
        fail(f"could not write {out}: {e.strerror}")
    finally:
        shutil.rmtree(made or final, ignore_errors=True)  # final is gone already once renamed
    steps.say(f"{signer}\ntimestamped by {o['timestamp']}; publish the SHA-256 above with the release, for "
              "release/verify-release --signer-sha256")
    for n in sorted(os.listdir(path("out"))):
        steps.say(f"{os.path.getsize(path('out/' + n)):>9}  {n}")


def read(path):
    with open(path, "rb") as f:
        return f.read()


def main(argv):
    return steps.main("sign-release", lambda stage: sign(stage, *arguments(argv)))


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
