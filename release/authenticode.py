"""What signing and verifying a release read in the exe, whatever osslsigncode is
installed, treating it as hostile: the signature out of the exe and into it, and the exe signature's RFC 3161
timestamp token, for `openssl ts -verify` to check. Each refusal is a Refused
naming what is wrong.

extract   the exe's signature (DER PKCS#7): the exe (PE32+) ends with its
          certificate table, one WIN_CERTIFICATE (revision 2.0, PKCS_SIGNED_DATA)
          whose dwLength is the table's size: the PKCS#7 and the zeros padding it
          to 8 bytes, nothing else.
attach    an unsigned exe with the signature attached in that one layout (what
          osslsigncode writes too): the file padded with zeros to 8 bytes, then
          the record; the security directory names it and the PE checksum is
          computed again. So extract and attach give back the same exe whichever
          tool signed it.
statement_digest
          the SHA-256 that the statement (the detached CMS signature of
          SHA256SUMS) says it signs, and the certificates it carries, read for
          a reason in words: openssl cms -verify decides.
"""

import struct

MAX_SIGNATURE = 64 << 10  # a release's is about 3 kB; with a commercial CA's longer chains, some 10 kB
MAX_DEPTH = 32  # a signature nests about 20 deep


class Refused(Exception):
    pass


# The exe's certificate table

def security_directory(exe):
    """Offsets of the PE checksum and of the security data directory entry."""
    if exe[:2] != b"MZ" or len(exe) < 0x40:
        raise Refused("not a PE file: no MZ header")
    pe = struct.unpack_from("<I", exe, 0x3C)[0]
    if exe[pe:pe + 4] != b"PE\0\0" or len(exe) < pe + 24 + 112 + 5 * 8:
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


# DER, read by offsets in one pass, every bound checked before it is used: only far
# enough to hand the timestamp token to openssl, and to name what the statement signs.

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
    if length > limit - body:
        raise Refused(f"the signature is not DER: the element at byte {at} runs past its end")
    return tag, body, body + length


def parse(buf, at=0, limit=None, depth=0):
    """The element at buf[at:limit] with all it holds."""
    if depth > MAX_DEPTH:
        raise Refused(f"the signature nests more than {MAX_DEPTH} deep at byte {at}")
    tag, body, end = header(buf, at, len(buf) if limit is None else limit)
    element = Element(buf, tag, at, body, end)
    if tag & 0x20:
        element.children, at = [], body
        while at < end:
            element.children.append(parse(buf, at, end, depth + 1))
            at = element.children[-1].end
    return element


SEQUENCE, SET, OCTETS, OID, CONTEXT0, CONTEXT1 = 0x30, 0x31, 0x04, 0x06, 0xA0, 0xA1
RFC3161_TIMESTAMP = bytes.fromhex("2b060104018237030301")  # 1.3.6.1.4.1.311.3.3.1, Microsoft's attribute
MESSAGE_DIGEST = bytes.fromhex("2a864886f70d010904")  # 1.2.840.113549.1.9.4


def child(element, index, tag, what):
    if not element.children or len(element.children) <= index or element.children[index].tag != tag:
        raise Refused(f"the signature is not PKCS#7 SignedData as Authenticode makes it: {what}")
    return element.children[index]


def signer_info(der):
    """The SignedData of the PKCS#7 ContentInfo der, and its one SignerInfo."""
    given = parse(der)
    if given.end != len(der):
        raise Refused(f"{len(der) - given.end} bytes follow the signature")
    signed = child(child(given, 1, CONTEXT0, "no content"), 0, SEQUENCE, "no SignedData")
    signers = child(signed, len(signed.children) - 1, SET, "no SignerInfos").children
    if len(signers) != 1:
        raise Refused(f"the signature has {len(signers)} signers; a release's has exactly one")
    return signed, signers[0]


def statement_digest(der):
    """The messageDigest of the statement der, and the certificates it carries."""
    signed, signer = signer_info(der)
    carried = next((c.children or [] for c in signed.children[3:-1] if c.tag == CONTEXT0), [])
    digests = [child(a, 1, SET, "an attribute without values").children for a in
               child(signer, 3, CONTEXT0, "no signed attributes").children or []
               if child(a, 0, OID, "an attribute without its type").contents == MESSAGE_DIGEST]
    if len(digests) != 1 or len(digests[0]) != 1 or digests[0][0].tag != OCTETS:
        raise Refused("the statement signs no one messageDigest")
    return digests[0][0].contents, [c.whole for c in carried]


def timestamp_token(der):
    """The RFC 3161 token of the exe's signature der, and the signature value it stamps."""
    _, signer = signer_info(der)
    value = next((c for c in signer.children or [] if c.tag == OCTETS), None)
    unsigned = signer.children[-1] if signer.children and signer.children[-1].tag == CONTEXT1 else None
    stamps = [child(a, 1, SET, "an attribute without values").children for a in unsigned.children
              if child(a, 0, OID, "an attribute without its type").contents == RFC3161_TIMESTAMP] if unsigned else []
    if value is None or len(stamps) != 1 or len(stamps[0]) != 1:
        raise Refused("the exe's signature carries no RFC 3161 timestamp of its own (or more than one)")
    return stamps[0][0].whole, value.contents


def stamped_time(token):
    """The time a timestamp token states (its TSTInfo's genTime), as 'YYYY-MM-DD hh:mm:ss UTC'."""
    content = child(child(child(parse(token), 1, CONTEXT0, "no content"), 0, SEQUENCE, "no SignedData"),
                    2, SEQUENCE, "no TSTInfo")
    info = parse(child(child(content, 1, CONTEXT0, "no TSTInfo"), 0, OCTETS, "no TSTInfo").contents)
    t = child(info, 4, 0x18, "no time in the TSTInfo").contents.decode("ascii", "replace")
    return f"{t[0:4]}-{t[4:6]}-{t[6:8]} {t[8:10]}:{t[10:12]}:{t[12:14]} UTC"
