#!/usr/bin/env python3
"""The parts of signing and verifying a release that must not depend on which
osslsigncode is installed, nor trust the files they read.

Usage: authenticode.py unzip ZIP NAME OUT
       authenticode.py extract EXE OUT.p7s
       authenticode.py attach EXE P7S OUT
       authenticode.py check P7S [SIGNER_SHA256]

unzip    writes the one entry NAME of ZIP to OUT, after refusing a ZIP any of
         whose entry names is absolute, holds '..', a backslash or a drive, is
         repeated, or is a link: nothing is written for such a ZIP.
extract  writes the exe's signature as DER PKCS#7 SignedData (the .p7s of a
         release). The exe must end with its certificate table, holding one
         WIN_CERTIFICATE record (revision 2.0, PKCS_SIGNED_DATA) and nothing
         after the PKCS#7 but the zeros padding it to 8 bytes.
attach   writes an unsigned exe with P7S attached in the one layout a release
         has (what osslsigncode writes too): the file padded with zeros to 8
         bytes, then the record, its dwLength counting the header, the PKCS#7
         and the zeros padding it to 8 bytes; the security directory names that
         record and the PE checksum is computed again. So extract and attach
         give back the same exe whichever tool signed it.
check    refuses any SignedData but one signer with exactly one unauthenticated
         attribute, an RFC 3161 timestamp of that signer's signature (no nested
         signature, no blob); prints the signer's subject, the SHA-256 of its
         certificate (DER) and the time stamped. With SIGNER_SHA256 (lowercase
         hex), another signer is refused.
Each refusal is one line on stderr and exit status 1. Whether the signature
verifies (the chains, the digests) is osslsigncode verify's part.
"""

import hashlib
import re
import shutil
import stat
import struct
import subprocess
import sys
import zipfile
import zlib

MAX_ENTRY = 64 << 20  # the exe is about 300 kB; a larger entry is a ZIP bomb, not our package
SIGNED_DATA = "1.2.840.113549.1.7.2"
RFC3161_TIMESTAMP = "1.3.6.1.4.1.311.3.3.1"  # Microsoft's attribute for an RFC 3161 token
NESTED_SIGNATURE = "1.3.6.1.4.1.311.2.4.1"
TST_INFO = "1.2.840.113549.1.9.16.1.4"
HASHES = {"1.3.14.3.2.26": "sha1", "2.16.840.1.101.3.4.2.1": "sha256",
          "2.16.840.1.101.3.4.2.2": "sha384", "2.16.840.1.101.3.4.2.3": "sha512"}
SEQUENCE, SET, OCTETS, OID, CONTEXT0, CONTEXT1 = 0x30, 0x31, 0x04, 0x06, 0xA0, 0xA1


class Refused(Exception):
    pass


def unzip(zip_path, name, out):
    with zipfile.ZipFile(zip_path) as archive:
        infos = archive.infolist()
        seen = set()
        for info in infos:
            n = info.filename
            if n.startswith("/") or "\\" in n or ".." in n.split("/") or re.match(r"[A-Za-z]:", n):
                raise Refused(f"the ZIP has an entry outside its own folder: {n!r}")
            if stat.S_ISLNK(info.external_attr >> 16):
                raise Refused(f"the ZIP has a link among its entries: {n!r}")
            if n in seen:
                raise Refused(f"the ZIP has two entries named {n!r}")
            seen.add(n)
        if name not in seen:
            raise Refused(f"the ZIP has no entry {name}")
        info = archive.getinfo(name)
        if info.file_size > MAX_ENTRY:
            raise Refused(f"{name} in the ZIP is {info.file_size} bytes, more than an exe of ours can be")
        with archive.open(info) as source, open(out, "xb") as target:
            shutil.copyfileobj(source, target)


def security_directory(exe):
    """Offsets of the PE checksum and of the security data directory entry."""
    if exe[:2] != b"MZ":
        raise Refused("not a PE file: no MZ header")
    pe = struct.unpack_from("<I", exe, 0x3C)[0]
    if exe[pe:pe + 4] != b"PE\0\0":
        raise Refused("not a PE file: no PE signature")
    optional = pe + 24
    magic = struct.unpack_from("<H", exe, optional)[0]
    if magic not in (0x10B, 0x20B):
        raise Refused(f"not a PE file: optional header magic {magic:#x}")
    directories = optional + (96 if magic == 0x10B else 112)
    if struct.unpack_from("<I", exe, directories - 4)[0] < 5:
        raise Refused("the PE file has no security data directory")
    return optional + 64, directories + 4 * 8


def extract(exe):
    _, directory = security_directory(exe)
    offset, size = struct.unpack_from("<II", exe, directory)
    if size == 0:
        raise Refused("the exe is not signed: it has no certificate table")
    if offset % 8 or size < 8 or offset + size > len(exe):
        raise Refused(f"the certificate table ({size} bytes at {offset}) is misaligned or runs past the end of the file")
    if offset + size < len(exe):
        raise Refused(f"{len(exe) - offset - size} bytes follow the certificate table: data appended to the signed exe")
    length, revision, kind = struct.unpack_from("<IHH", exe, offset)
    if (revision, kind) != (0x200, 2):
        raise Refused(f"the certificate record is revision {revision:#x}, type {kind}, not a PKCS#7 signature (0x200, 2)")
    if not size - 8 < length <= size:
        raise Refused(f"the certificate table ({size} bytes) holds other data than its one record ({length} bytes)")
    record = exe[offset + 8:offset + size]
    _, _, der, rest = element(record)
    if len(rest) >= 8 or rest.strip(b"\0"):
        raise Refused(f"{len(rest)} bytes follow the PKCS#7 signature in its record, more than its zero padding")
    return der


def attach(exe, der):
    exe = bytearray(exe)
    checksum, directory = security_directory(exe)
    if struct.unpack_from("<II", exe, directory) != (0, 0):
        raise Refused("the exe to attach the signature to is signed already")
    exe += bytes(-len(exe) % 8)
    offset, size = len(exe), 8 + len(der) + -len(der) % 8
    exe += struct.pack("<IHH", size, 0x200, 2) + der + bytes(-len(der) % 8)
    struct.pack_into("<II", exe, directory, offset, size)
    struct.pack_into("<I", exe, checksum, pe_checksum(exe, checksum))
    return exe


def pe_checksum(exe, at):
    words = exe[:at] + bytes(4) + exe[at + 4:] + bytes(len(exe) % 2)
    total = sum(w for (w,) in struct.iter_unpack("<H", words))
    while total > 0xFFFF:
        total = (total & 0xFFFF) + (total >> 16)
    return total + len(exe)


def element(data):
    """The first DER element of data: (tag, contents, its whole encoding, what follows)."""
    if len(data) < 2:
        raise Refused("the signature is not DER: truncated")
    tag, length, start = data[0], data[1], 2
    if length & 0x80:
        start += length & 0x7F
        if not 2 < start <= 6 or len(data) < start:
            raise Refused("the signature is not DER: a bad length")
        length = int.from_bytes(data[2:start], "big")
    if tag & 0x1F == 0x1F or len(data) < start + length:
        raise Refused("the signature is not DER: a long tag or an element past its end")
    return tag, data[start:start + length], data[:start + length], data[start + length:]


def fields(data, *tags):
    """The elements data is made of; with tags, exactly those, in that order."""
    out = []
    while data:
        tag, contents, whole, data = element(data)
        out.append((tag, contents, whole))
    if tags and tuple(t for t, _, _ in out) != tags:
        raise Refused("the signature is not PKCS#7 SignedData as Authenticode makes it")
    return out


def only(data, tag):
    return fields(data, tag)[0][1]


def oid(contents):
    arcs, n = [], 0
    for byte in contents:
        n = n << 7 | byte & 0x7F
        if not byte & 0x80:
            arcs.append(n)
            n = 0
    if not arcs:
        return ""
    first = min(arcs[0] // 40, 2)
    return ".".join(map(str, [first, arcs[0] - 40 * first, *arcs[1:]]))


def signed_data(der):
    (_, kind, _), (_, content, _) = fields(only(der, SEQUENCE), OID, CONTEXT0)
    if oid(kind) != SIGNED_DATA:
        raise Refused(f"the signature is {oid(kind)}, not PKCS#7 SignedData")
    return fields(only(content, SEQUENCE))


def check(der, pinned=None):
    body = signed_data(der)
    signers = fields(body[-1][1]) if body[-1][0] == SET else []
    if len(signers) != 1:
        raise Refused(f"the signature has {len(signers)} signers; a release has exactly one")
    signer = fields(signers[0][1])
    value = next((c for t, c, _ in signer if t == OCTETS), None)
    unsigned = [fields(c, OID, SET) for t, c, _ in fields(signer[-1][1])] if signer[-1][0] == CONTEXT1 else []
    stamps = [values for (_, kind, _), (_, values, _) in unsigned if oid(kind) == RFC3161_TIMESTAMP]
    if len(stamps) != 1 or len(fields(stamps[0])) != 1:
        raise Refused("the signature carries no RFC 3161 timestamp of its own (or more than one)")
    time = stamped(stamps[0], value)
    for (_, kind, _), _ in unsigned:
        if oid(kind) == NESTED_SIGNATURE:
            raise Refused(f"a second signature is nested in the signature ({NESTED_SIGNATURE}): a release has one signer")
        if oid(kind) != RFC3161_TIMESTAMP:
            raise Refused(f"the signature carries an unauthenticated attribute {oid(kind)}: only the timestamp may be added")
    certificate = signer_certificate(body, signer[1])
    fingerprint = hashlib.sha256(certificate).hexdigest()
    openssl = subprocess.run(["openssl", "x509", "-inform", "DER", "-noout", "-subject", "-nameopt", "oneline"],
                             input=certificate, capture_output=True)
    if openssl.returncode:
        raise Refused("the signer's certificate is not one openssl can read")
    subject = openssl.stdout.decode().strip().removeprefix("subject=")
    if pinned and fingerprint != pinned:
        raise Refused(f"signed by {subject}, certificate SHA-256 {fingerprint}, not by the pinned {pinned}")
    print(f"signer: {subject}\nsigner certificate SHA-256: {fingerprint}\ntimestamped: {time}")


def stamped(token, signature):
    """The time of an RFC 3161 token, which must be a timestamp of signature."""
    content = fields(signed_data(token)[2][1], OID, CONTEXT0)
    if oid(content[0][1]) != TST_INFO:
        raise Refused("the timestamp is not an RFC 3161 TSTInfo")
    info = fields(only(only(content[1][1], OCTETS), SEQUENCE))
    algorithm, imprint = fields(info[2][1], SEQUENCE, OCTETS)
    name = HASHES.get(oid(fields(algorithm[1])[0][1]))
    if not name or hashlib.new(name, signature or b"").digest() != imprint[1]:
        raise Refused("the timestamp is not of this signature: its message imprint differs")
    t = info[4][1].decode("latin-1")
    if not re.fullmatch(r"[0-9]{14}(\.[0-9]+)?Z", t):
        raise Refused("the timestamp's time is not a GeneralizedTime")
    return f"{t[0:4]}-{t[4:6]}-{t[6:8]} {t[8:10]}:{t[10:12]}:{t[12:14]} UTC"


def signer_certificate(body, identifier):
    tag, contents, _ = identifier
    if tag != SEQUENCE:
        raise Refused("the signer is named by key identifier, not by issuer and serial number")
    issuer, serial = fields(contents, SEQUENCE, 0x02)
    for _, certificate, whole in next((fields(c) for t, c, _ in body if t == CONTEXT0), []):
        tbs = fields(fields(certificate)[0][1])
        tbs = tbs[1:] if tbs[0][0] == CONTEXT0 else tbs  # the version, when not 1
        if (tbs[0][2], tbs[2][2]) == (serial[2], issuer[2]):
            return whole
    raise Refused("the signer's certificate is not in the signature")


def main(command="", *args):
    try:
        if command == "unzip" and len(args) == 3:
            unzip(*args)
        elif command == "extract" and len(args) == 2:
            der = extract(read(args[0]))
            with open(args[1], "xb") as f:
                f.write(der)
        elif command == "attach" and len(args) == 3:
            signed = attach(read(args[0]), read(args[1]))
            with open(args[2], "xb") as f:
                f.write(signed)
        elif command == "check" and len(args) in (1, 2):
            check(read(args[0]), *args[1:])
        else:
            sys.exit(__doc__)
    except Refused as refusal:
        sys.exit(str(refusal))
    except (zipfile.BadZipFile, zlib.error, NotImplementedError, RuntimeError, EOFError) as e:
        sys.exit(f"the ZIP cannot be read: {e}")
    except (struct.error, IndexError, ValueError) as e:
        sys.exit(f"malformed input: {e}")
    except OSError as e:
        sys.exit(f"{e.filename}: {e.strerror}")


def read(path):
    with open(path, "rb") as f:
        return f.read()


if __name__ == "__main__":
    main(*sys.argv[1:])
