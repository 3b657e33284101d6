"""The checks of a signed release, made by sign-release before it publishes and by
verify-release, and the texts both write: the signer described, SHA256SUMS.
Each failure is a step's (steps.fail); every tool runs bounded (steps.run)."""

import base64
import hashlib
import os
import re

import authenticode
import package_zip
from steps import fail, printable, read, run, write


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
        token, value = authenticode.timestamp_token(authenticode.extract(f.read(package_zip.MAX_ENTRY)))
    status, _ = run(["openssl", "ts", "-verify", "-token_in", "-in", write(os.path.join(work, "token.der"), token),
                     "-data", write(os.path.join(work, "stamped.bin"), value), "-CAfile", root])
    if status:
        fail(f"the exe's timestamp does not verify against {os.path.basename(root)} (openssl ts -verify: status "
             f"{status}, its words above); a timestamp server whose token leaves out its intermediate CA's "
             f"certificate verifies once that certificate is in {os.path.basename(root)}")
    return authenticode.stamped_time(token)
