#!/usr/bin/env python3
"""The parts of signing and verifying a release that must not depend on which
osslsigncode is installed, nor trust the files they read.

Usage: authenticode.py unzip ZIP NAME OUT
       authenticode.py extract EXE OUT.p7s
       authenticode.py attach EXE P7S OUT
       authenticode.py canonical P7S ROOT.pem OUT.p7s
       authenticode.py check P7S ROOT.pem [SIGNER_SHA256]

unzip      writes the one entry NAME of ZIP to OUT, after refusing a ZIP that
           is not of the one form a release's package has: every entry a plain
           file, deflated, its name inside the ZIP (not absolute, no '..', no
           backslash, no drive) and not repeated. Nothing is written for
           another ZIP, and never more than MAX_ENTRY bytes.
extract    writes the exe's signature as DER PKCS#7 SignedData (the .p7s of a
           release). The exe (PE32+) must end with its certificate table,
           holding one WIN_CERTIFICATE record (revision 2.0, PKCS_SIGNED_DATA)
           whose dwLength is the table's size: the PKCS#7 and the zeros
           padding it to 8 bytes, nothing else.
attach     writes an unsigned exe with P7S attached in the one layout a release
           has (what osslsigncode writes too): the file padded with zeros to 8
           bytes, then the record, its dwLength counting the header, the PKCS#7
           and the zeros padding it to 8 bytes; the security directory names
           that record and the PE checksum is computed again. So extract and
           attach give back the same exe whichever tool signed it.
canonical  writes the one form of the signature P7S (below), rebuilt from its
           essential parts: what a signing tool wrote beyond them is dropped;
           a signature without them, or with others, is refused.
check      refuses a signature that is not, byte for byte, its own one form;
           prints the signer's subject, the SHA-256 of its certificate (DER)
           and the time stamped. With SIGNER_SHA256 (lowercase hex), another
           signer is refused.

The one form, in minimal DER throughout: ContentInfo, SignedData version 1,
digest algorithms SHA-256 alone, the signed SpcIndirectDataContent, as
certificates exactly the path from the signer's certificate to a root of
ROOT.pem (signer first, root last, each once), no CRLs, and one SignerInfo:
version 1, named by issuer and serial number, SHA-256, the signed attributes,
the signature algorithm OpenSSL names for the key (rsaEncryption for RSA,
ecdsa-with-SHA256 for EC; no other key), the signature, and as its one
unauthenticated attribute an RFC 3161 timestamp of that signature in the same
form (SignedData version 3 holding a TSTInfo of a SHA-256 imprint, the path
from the timestamp authority to a root of ROOT.pem, one SignerInfo and no
unauthenticated attribute). Each refusal is one line on stderr and exit status
1. Whether the signature verifies (the chains, the digests) is osslsigncode
verify's part.
"""

import base64
import hashlib
import os
import re
import stat
import struct
import subprocess
import sys
import zipfile

MAX_ZIP = 16 << 20  # the package is about 150 kB and its exe 300 kB: anything near this is not ours
MAX_ENTRY = 16 << 20
MAX_SIGNATURE = 64 << 10  # a release's is about 2 kB; with a commercial CA's longer chains, some 10 kB
MAX_OID = 64  # bytes; the longest a certificate usually carries is under 30
MAX_DEPTH = 32  # a signature nests about 20 deep (a certificate's name in the timestamp's)
MAX_PATH = 8  # certificates from a signer to its root

SEQUENCE, SET, INTEGER, OCTETS, NULL, OID = 0x30, 0x31, 0x02, 0x04, 0x05, 0x06
GENERALIZED_TIME, CONTEXT0, CONTEXT1 = 0x18, 0xA0, 0xA1
SHAPE = "the signature is not PKCS#7 SignedData as Authenticode makes it"


class Refused(Exception):
    pass


# ZIP

ENTRY_KINDS = {stat.S_IFLNK: "a link", stat.S_IFCHR: "a character device", stat.S_IFBLK: "a block device",
               stat.S_IFIFO: "a FIFO", stat.S_IFSOCK: "a socket", stat.S_IFDIR: "a folder"}


def unzip(zip_path, name, out):
    size = os.path.getsize(zip_path)
    if size > MAX_ZIP:
        raise Refused(f"the ZIP is {size} bytes, more than a package of ours can be")
    with zipfile.ZipFile(zip_path) as archive:
        seen = set()
        for info in archive.infolist():
            n = info.filename
            if n.startswith("/") or "\\" in n or ".." in n.split("/") or re.match(r"[A-Za-z]:", n):
                raise Refused(f"the ZIP has an entry outside its own folder: {n!r}")
            mode = info.external_attr >> 16
            if info.create_system != 3 or not stat.S_ISREG(mode):
                kind = ENTRY_KINDS.get(stat.S_IFMT(mode), f"an entry of mode {mode:#o}")
                raise Refused(f"the ZIP has {kind} among its entries: {n!r}; a package holds plain files only")
            if n in seen:
                raise Refused(f"the ZIP has two entries named {n!r}")
            seen.add(n)
            # Others (bzip2, LZMA) expand without an output limit in zipfile: a bomb.
            if info.compress_type != zipfile.ZIP_DEFLATED:
                raise Refused(f"the ZIP's entry {n!r} is compressed by method {info.compress_type}; "
                              "a package's entries are deflated (8)")
        if name not in seen:
            raise Refused(f"the ZIP has no entry {name}")
        info = archive.getinfo(name)
        if info.file_size > MAX_ENTRY:
            raise Refused(f"{name} in the ZIP is {info.file_size} bytes, more than an exe of ours can be")
        written = 0
        with archive.open(info) as source, open(out, "xb") as target:
            while chunk := source.read(1 << 16):
                written += len(chunk)
                if written > MAX_ENTRY:
                    raise Refused(f"{name} in the ZIP expands past {MAX_ENTRY} bytes")
                target.write(chunk)


# The exe's certificate table

def security_directory(exe):
    """Offsets of the PE checksum and of the security data directory entry."""
    if exe[:2] != b"MZ":
        raise Refused("not a PE file: no MZ header")
    pe = struct.unpack_from("<I", exe, 0x3C)[0]
    if exe[pe:pe + 4] != b"PE\0\0":
        raise Refused("not a PE file: no PE signature")
    optional = pe + 24
    magic = struct.unpack_from("<H", exe, optional)[0]
    if magic != 0x20B:
        raise Refused(f"not the 64-bit exe (PE32+, magic 0x20b) a release has: optional header magic {magic:#x}")
    if struct.unpack_from("<I", exe, optional + 108)[0] < 5:
        raise Refused("the PE file has no security data directory")
    return optional + 64, optional + 112 + 4 * 8


def extract(exe):
    _, directory = security_directory(exe)
    offset, size = struct.unpack_from("<II", exe, directory)
    if size == 0:
        raise Refused("the exe is not signed: it has no certificate table")
    if offset % 8 or size % 8 or size < 8 or offset + size > len(exe):
        raise Refused(f"the certificate table ({size} bytes at {offset}) is misaligned or runs past the end of the file")
    if offset + size < len(exe):
        raise Refused(f"{len(exe) - offset - size} bytes follow the certificate table: data appended to the signed exe")
    length, revision, kind = struct.unpack_from("<IHH", exe, offset)
    if (revision, kind) != (0x200, 2):
        raise Refused(f"the certificate record is revision {revision:#x}, type {kind}, not a PKCS#7 signature (0x200, 2)")
    if length != size:
        raise Refused(f"the certificate record's dwLength ({length}) is not the size of its table ({size})")
    record = exe[offset + 8:offset + size]
    if len(record) > MAX_SIGNATURE + 7:
        raise Refused(f"the signature in the exe is {len(record)} bytes, more than a release's can be ({MAX_SIGNATURE})")
    _, _, end = header(record, 0, len(record))
    if end + -end % 8 != len(record) or record[end:].strip(b"\0"):
        raise Refused(f"{len(record) - end} bytes follow the PKCS#7 signature in its record, not its zero padding")
    return record[:end]


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
    total = sum(words[0::2]) + (sum(words[1::2]) << 8)  # the little-endian 16-bit words, summed
    while total > 0xFFFF:
        total = (total & 0xFFFF) + (total >> 16)
    return total + len(exe)


# DER, read by offsets in one pass: no element is copied, and every bound is checked
# before it is used, so that time and memory grow with the input's size alone.

class Element:
    """One DER element of buf: its header is buf[start:body], its contents buf[body:end];
    children are the elements a constructed one holds (None for a primitive one)."""
    __slots__ = ("buf", "tag", "start", "body", "end", "children")

    def __init__(self, buf, tag, start, body, end):
        self.buf, self.tag, self.start, self.body, self.end, self.children = buf, tag, start, body, end, None

    @property
    def contents(self):
        return self.buf[self.body:self.end]

    @property
    def whole(self):
        return self.buf[self.start:self.end]


def header(buf, at, limit):
    """The tag of the DER element at buf[at:limit], and where its contents start and end."""
    if limit - at < 2:
        raise Refused(f"the signature is not DER: truncated at byte {at}")
    tag, first, body = buf[at], buf[at + 1], at + 2
    if tag & 0x1F == 0x1F:
        raise Refused(f"the signature is not DER: a tag in the long form at byte {at}")
    length = first
    if first & 0x80:
        count = first & 0x7F
        if not 1 <= count <= 3 or limit - body < count:
            raise Refused(f"the signature is not DER: a length of {count} bytes at byte {at}")
        length = int.from_bytes(buf[body:body + count], "big")
        body += count
        if length < 0x80 or length >> 8 * (count - 1) == 0:
            raise Refused(f"the signature is not minimal DER: a length not in its shortest form at byte {at}")
    if length > limit - body:
        raise Refused(f"the signature is not DER: the element at byte {at} runs past its end")
    return tag, body, body + length


def parse(buf, at=0, limit=None, depth=0):
    """The element at buf[at:limit] with all it holds, in minimal DER."""
    if depth > MAX_DEPTH:
        raise Refused(f"the signature nests more than {MAX_DEPTH} deep at byte {at}")
    tag, body, end = header(buf, at, len(buf) if limit is None else limit)
    element = Element(buf, tag, at, body, end)
    if tag & 0x20:
        element.children, at = [], body
        while at < end:
            element.children.append(parse(buf, at, end, depth + 1))
            at = element.children[-1].end
    elif tag == OID and not (0 < end - body <= MAX_OID and buf[end - 1] < 0x80 and
                             all(buf[i] != 0x80 or buf[i - 1] & 0x80 for i in range(body + 1, end)) and
                             buf[body] != 0x80):
        raise Refused(f"the signature is not minimal DER: an OID of {end - body} bytes at byte {at}")
    return element


def parse_whole(buf, what):
    if len(buf) > MAX_SIGNATURE:
        raise Refused(f"{what} is {len(buf)} bytes, more than a release's can be ({MAX_SIGNATURE})")
    element = parse(buf)
    if element.end != len(buf):
        raise Refused(f"{len(buf) - element.end} bytes follow {what}")
    return element


def oid(dotted):
    """The DER contents of a dotted object identifier."""
    arcs, out = [int(a) for a in dotted.split(".")], bytearray()
    for arc in [40 * arcs[0] + arcs[1], *arcs[2:]]:
        chunk = [arc & 0x7F]
        while arc > 0x7F:
            arc >>= 7
            chunk.append(arc & 0x7F | 0x80)
        out += bytes(reversed(chunk))
    return bytes(out)


def dotted(contents):
    arcs, n = [], 0
    for byte in contents:  # at most MAX_OID bytes (parse)
        n = n << 7 | byte & 0x7F
        if not byte & 0x80:
            arcs.append(n)
            n = 0
    first = min(arcs[0] // 40, 2) if arcs else 0
    return ".".join(map(str, [first, arcs[0] - 40 * first, *arcs[1:]])) if arcs else "(empty)"


def tlv(tag, *parts):
    body = b"".join(parts)
    n = len(body)
    length = bytes([n]) if n < 0x80 else bytes([0x80 | (n.bit_length() + 7) // 8]) + n.to_bytes((n.bit_length() + 7) // 8, "big")
    return bytes([tag]) + length + body


SIGNED_DATA = oid("1.2.840.113549.1.7.2")
SPC_INDIRECT_DATA = oid("1.3.6.1.4.1.311.2.1.4")
RFC3161_TIMESTAMP = oid("1.3.6.1.4.1.311.3.3.1")  # Microsoft's attribute for an RFC 3161 token
NESTED_SIGNATURE = oid("1.3.6.1.4.1.311.2.4.1")
TST_INFO = oid("1.2.840.113549.1.9.16.1.4")
SHA256 = oid("2.16.840.1.101.3.4.2.1")
RSA, SHA256_WITH_RSA = oid("1.2.840.113549.1.1.1"), oid("1.2.840.113549.1.1.11")
EC, ECDSA_WITH_SHA256 = oid("1.2.840.10045.2.1"), oid("1.2.840.10045.4.3.2")
SHA256_ALGORITHM = tlv(SEQUENCE, tlv(OID, SHA256), tlv(NULL))
# For each kind of key: the signature algorithms accepted from a signing tool, and the one a
# release names (OpenSSL's choice, which Windows reads too).
SIGNATURE_ALGORITHMS = {RSA: ({RSA, SHA256_WITH_RSA}, tlv(SEQUENCE, tlv(OID, RSA), tlv(NULL))),
                        EC: ({ECDSA_WITH_SHA256}, tlv(SEQUENCE, tlv(OID, ECDSA_WITH_SHA256)))}


# The one form

class Built:
    """An element of the one form to be encoded: its tag (None: parts are encoded already),
    its parts (Built or bytes), and what it is, for a refusal to name."""

    def __init__(self, tag, parts, name=None):
        self.tag, self.parts, self.name = tag, parts, name

    def encode(self):
        """Its DER, and what is at which offset of it."""
        body, names = b"", []
        for part in self.parts:
            encoded, inner = part.encode() if isinstance(part, Built) else (part, [])
            names += [(len(body) + at, name) for at, name in inner]
            body += encoded
        whole = body if self.tag is None else tlv(self.tag, body)
        names = [(len(whole) - len(body) + at, name) for at, name in names]
        return whole, ([(0, self.name)] if self.name else []) + names


def children(element, tags, what):
    if element.children is None or [c.tag for c in element.children] != list(tags):
        raise Refused(f"{SHAPE}: {what}")
    return element.children


def algorithm(identifier, what):
    """The OID of an AlgorithmIdentifier, which may have parameters."""
    if identifier.tag != SEQUENCE or not identifier.children or identifier.children[0].tag != OID \
            or len(identifier.children) > 2:
        raise Refused(f"{SHAPE}: {what} is not an algorithm identifier")
    return identifier.children[0].contents


def require_sha256(identifier, what):
    if algorithm(identifier, what) != SHA256:
        raise Refused(f"{what} is {dotted(algorithm(identifier, what))}; a release's is SHA-256")


def signed_data(element, what):
    """The content, the certificates and the one SignerInfo of the SignedData a ContentInfo holds."""
    kind, explicit = children(element, (OID, CONTEXT0), f"{what} is not a ContentInfo")
    if kind.contents != SIGNED_DATA:
        raise Refused(f"{what} is {dotted(kind.contents)}, not PKCS#7 SignedData")
    (body,) = children(explicit, (SEQUENCE,), f"{what} holds no SignedData")
    fields = body.children
    optional = [f.tag for f in fields[3:-1]]
    if len(fields) < 4 or optional not in ([], [CONTEXT0], [CONTEXT1], [CONTEXT0, CONTEXT1]) \
            or [f.tag for f in fields[:3]] != [INTEGER, SET, SEQUENCE] or fields[-1].tag != SET:
        raise Refused(f"{SHAPE}: {what}'s SignedData has other fields")
    certificates = next((f.children for f in fields[3:-1] if f.tag == CONTEXT0), [])
    if any(c.tag != SEQUENCE for c in certificates):
        raise Refused(f"{what} carries other certificates than X.509 ones")
    signers = fields[-1].children
    if len(signers) != 1:
        raise Refused(f"{what} has {len(signers)} signers; a release's has exactly one")
    return fields[2], certificates, signers[0]


def certificate_fields(certificate):
    """Serial number, issuer, subject (their DER) and key algorithm of an X.509 certificate."""
    tbs = certificate.children[0] if certificate.children else certificate
    fields = (tbs.children or [])[1:] if tbs.children and tbs.children[0].tag == CONTEXT0 else tbs.children or []
    if [f.tag for f in fields[:6]] != [INTEGER, SEQUENCE, SEQUENCE, SEQUENCE, SEQUENCE, SEQUENCE] \
            or not fields[5].children:
        raise Refused("the signature carries a certificate that is not X.509")
    return fields[0].whole, fields[2].whole, fields[4].whole, algorithm(fields[5].children[0], "a certificate's key")


def path_to_root(issuer, serial, certificates, roots, who):
    """The certificates from the one named by issuer and serial to a root, each once."""
    known = [(c, certificate_fields(c)) for c in roots + certificates]
    current = next((c for c, f in known[len(roots):] if f[:2] == (serial, issuer)), None)
    if current is None:
        raise Refused(f"{who}'s certificate is not in the signature")
    path = [current]
    while certificate_fields(current)[1] != certificate_fields(current)[2]:
        up = certificate_fields(current)[1]
        current = next((c for c, f in known if f[2] == up and all(c.whole != p.whole for p in path)), None)
        if current is None or len(path) == MAX_PATH:
            raise Refused(f"{who}'s certificate chains to no root given (ROOT.pem) through the certificates carried")
        path.append(current)
    if all(current.whole != r.whole for r in roots):
        raise Refused(f"{who}'s certificate chains to a self-issued certificate that is not a root given (ROOT.pem)")
    return path


def signer_info(signer, certificates, roots, who):
    """The SignerInfo in its one form, its path, its signature and its unauthenticated attributes."""
    tags = [f.tag for f in signer.children or []]
    if tags[:2] == [INTEGER, CONTEXT0]:
        raise Refused(f"{who} is named by key identifier, not by issuer and serial number")
    if tags[:6] != [INTEGER, SEQUENCE, SEQUENCE, CONTEXT0, SEQUENCE, OCTETS] or tags[6:] not in ([], [CONTEXT1]):
        raise Refused(f"{SHAPE}: {who}'s SignerInfo has other fields")
    _, sid, digest, attributes, signature_algorithm, value = signer.children[:6]
    issuer, serial = children(sid, (SEQUENCE, INTEGER), f"{who} is not named by issuer and serial number")
    require_sha256(digest, f"{who}'s digest algorithm")
    path = path_to_root(issuer.whole, serial.whole, certificates, roots, who)
    accepted, named = SIGNATURE_ALGORITHMS.get(certificate_fields(path[0])[3], (set(), b""))
    if algorithm(signature_algorithm, f"{who}'s signature algorithm") not in accepted:
        raise Refused(f"{who}'s signature algorithm is {dotted(algorithm(signature_algorithm, ''))}; "
                      "a release's is RSA or ECDSA, with SHA-256")
    built = Built(SEQUENCE, [tlv(INTEGER, b"\1"), Built(SEQUENCE, [issuer.whole, serial.whole], f"{who}'s name"),
                             Built(None, [SHA256_ALGORITHM], f"{who}'s digest algorithm"),
                             Built(None, [tlv(CONTEXT0, attributes.contents)], f"{who}'s signed attributes"),
                             Built(None, [named], f"{who}'s signature algorithm"), tlv(OCTETS, value.contents)],
                  f"{who}'s SignerInfo")
    return built, path, value.contents, signer.children[6:]


def content_info(signed, name):
    return Built(SEQUENCE, [tlv(OID, SIGNED_DATA), Built(CONTEXT0, [signed])], name)


def certificates_built(path, who):
    return Built(CONTEXT0, [c.whole for c in path], f"the certificates of {who} (its path to the root, once each)")


def timestamp(token, signature, roots):
    """The timestamp token in its one form, and its time, which must be a timestamp of signature."""
    content, certificates, signer = signed_data(token, "the timestamp")
    kind, explicit = children(content, (OID, CONTEXT0), "the timestamp holds no content")
    if kind.contents != TST_INFO:
        raise Refused("the timestamp is not an RFC 3161 TSTInfo")
    (octets,) = children(explicit, (OCTETS,), "the timestamp's TSTInfo is not an OCTET STRING")
    info = parse_whole(octets.contents, "the timestamp's TSTInfo")
    fields = info.children or []
    if [f.tag for f in fields[:5]] != [INTEGER, OID, SEQUENCE, INTEGER, GENERALIZED_TIME]:
        raise Refused("the timestamp's TSTInfo is not one of RFC 3161")
    hash_algorithm, imprint = children(fields[2], (SEQUENCE, OCTETS), "the timestamp's message imprint")
    require_sha256(hash_algorithm, "the timestamp's message imprint")
    if hashlib.sha256(signature).digest() != imprint.contents:
        raise Refused("the timestamp is not of this signature: its message imprint differs")
    t = fields[4].contents.decode("latin-1")
    if not re.fullmatch(r"[0-9]{14}(\.[0-9]+)?Z", t):
        raise Refused("the timestamp's time is not a GeneralizedTime")
    who = "the timestamp's signer"
    built_signer, path, _, unsigned = signer_info(signer, certificates, roots, who)
    if unsigned:
        raise Refused(f"{who} carries unauthenticated attributes; a release's timestamp has none")
    signed = Built(SEQUENCE, [tlv(INTEGER, b"\3"), tlv(SET, SHA256_ALGORITHM),
                              tlv(SEQUENCE, tlv(OID, TST_INFO), tlv(CONTEXT0, octets.whole)),
                              certificates_built(path, who), Built(SET, [built_signer])], "the timestamp's SignedData")
    return content_info(signed, "the timestamp"), f"{t[0:4]}-{t[4:6]}-{t[6:8]} {t[8:10]}:{t[10:12]}:{t[12:14]} UTC"


def canonical(der, roots):
    """The one form of the signature der, rebuilt from its essential parts; what is at which of its
    offsets; the signer's certificate; the time stamped."""
    given = parse_whole(der, "the signature")
    content, certificates, signer = signed_data(given, "the signature")
    kind, explicit = children(content, (OID, CONTEXT0), "it signs no content")
    if kind.contents != SPC_INDIRECT_DATA:
        raise Refused(f"{SHAPE}: it signs {dotted(kind.contents)}, not an exe's digest (SpcIndirectDataContent)")
    (indirect,) = children(explicit, (SEQUENCE,), "its content is not SpcIndirectDataContent")
    _, digest_info = children(indirect, (SEQUENCE, SEQUENCE), "its content is not SpcIndirectDataContent")
    require_sha256(children(digest_info, (SEQUENCE, OCTETS), "the exe's digest")[0], "the exe's digest algorithm")
    who = "the signer"
    built_signer, path, signature, unsigned = signer_info(signer, certificates, roots, who)
    attributes = [children(a, (OID, SET), "an unauthenticated attribute") for a in (unsigned[0].children if unsigned else [])]
    stamps = [values.children for kind, values in attributes if kind.contents == RFC3161_TIMESTAMP]
    if len(stamps) != 1 or len(stamps[0]) != 1:
        raise Refused("the signature carries no RFC 3161 timestamp of its own (or more than one)")
    for kind, _ in attributes:
        if kind.contents == NESTED_SIGNATURE:
            raise Refused(f"a second signature is nested in the signature ({dotted(NESTED_SIGNATURE)}): a release has one signer")
        if kind.contents != RFC3161_TIMESTAMP:
            raise Refused(f"the signature carries an unauthenticated attribute {dotted(kind.contents)}: "
                          "only the timestamp may be added")
    token, time = timestamp(stamps[0][0], signature, roots)
    built_signer.parts.append(Built(CONTEXT1, [Built(SEQUENCE, [tlv(OID, RFC3161_TIMESTAMP), Built(SET, [token])])],
                                    "the signer's unauthenticated attributes"))
    signed = Built(SEQUENCE, [tlv(INTEGER, b"\1"), Built(None, [tlv(SET, SHA256_ALGORITHM)], "the digest algorithms"),
                              Built(None, [content.whole], "the signed content"), certificates_built(path, who),
                              Built(SET, [built_signer], "the SignerInfos")], "the SignedData")
    rebuilt, names = content_info(signed, "the signature").encode()
    return given, rebuilt, dict(names), path[0].whole, time


def difference(given, built, names, what):
    """What differs first between a given element and its one form."""
    what = names.get(built.start, what)
    if given.tag == built.tag and given.children is not None and built.children is not None:
        if len(given.children) != len(built.children):
            return f"{what}: {len(given.children)} elements where the one form has {len(built.children)}"
        for a, b in zip(given.children, built.children):
            if a.whole != b.whole:
                return difference(a, b, names, what)
    return f"{what} is not as the one form has it (byte {given.start})"


def check(der, roots, pinned=None):
    """The signer's certificate, its SHA-256 and the time stamped, of a signature in its one form."""
    given, rebuilt, names, certificate, time = canonical(der, roots)
    if rebuilt != der:
        raise Refused("the signature is not in the one form a release has: "
                      + difference(given, parse(rebuilt), names, "the signature"))
    fingerprint = hashlib.sha256(certificate).hexdigest()
    if pinned and fingerprint != pinned:
        raise Refused(f"signed by {subject(certificate)}, certificate SHA-256 {fingerprint}, not by the pinned {pinned}")
    return certificate, fingerprint, time


def subject(certificate):
    openssl = subprocess.run(["openssl", "x509", "-inform", "DER", "-noout", "-subject", "-nameopt", "oneline"],
                             input=certificate, capture_output=True)
    if openssl.returncode:
        raise Refused("the signer's certificate is not one openssl can read")
    return openssl.stdout.decode().strip().removeprefix("subject=")


def read_roots(path):
    pem = read(path, MAX_SIGNATURE * 16).decode("ascii", "replace")
    blocks = re.findall(r"-----BEGIN CERTIFICATE-----([A-Za-z0-9+/=\s]*)-----END CERTIFICATE-----", pem)
    if not blocks:
        raise Refused(f"{path} holds no PEM certificate")
    return [parse_whole(base64.b64decode("".join(b.split())), f"a certificate of {path}") for b in blocks]


def read(path, limit):
    with open(path, "rb") as f:
        data = f.read(limit + 1)
    if len(data) > limit:
        raise Refused(f"{path} is more than {limit} bytes, more than a release's can be")
    return data


WHAT = {"unzip": "the ZIP", "extract": "the exe", "attach": "the exe or the signature", "canonical": "the signature",
        "check": "the signature"}


def main(command="", *args):
    try:
        if command == "unzip" and len(args) == 3:
            unzip(*args)
        elif command == "extract" and len(args) == 2:
            write(args[1], extract(read(args[0], MAX_ENTRY)))
        elif command == "attach" and len(args) == 3:
            write(args[2], attach(read(args[0], MAX_ENTRY), read(args[1], MAX_SIGNATURE)))
        elif command == "canonical" and len(args) == 3:
            write(args[2], canonical(read(args[0], MAX_SIGNATURE), read_roots(args[1]))[1])
        elif command == "check" and len(args) in (2, 3):
            certificate, fingerprint, time = check(read(args[0], MAX_SIGNATURE), read_roots(args[1]), *args[2:])
            print(f"signer: {subject(certificate)}\nsigner certificate SHA-256: {fingerprint}\ntimestamped: {time}")
        else:
            sys.exit(__doc__)
    except Refused as refusal:
        sys.exit(str(refusal))
    except OSError as e:
        sys.exit(f"{e.filename}: {e.strerror}")
    except MemoryError:
        sys.exit(f"{WHAT[command]} cannot be read within the memory at hand")
    except KeyboardInterrupt:
        sys.exit("interrupted")
    except Exception as e:  # whatever a hostile file may cause still names the file
        sys.exit(f"{WHAT[command]} cannot be read: {type(e).__name__}: {e}")


def write(path, data):
    with open(path, "xb") as f:
        f.write(data)


if __name__ == "__main__":
    main(*sys.argv[1:])
