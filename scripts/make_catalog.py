#!/usr/bin/env python3
"""Writes a signed catalog file that vouches for programs by their image hash, as the
system's own catalogs under CatRoot do: a PKCS#7 SignedData whose content is a
certificate trust list, one member per program, tagged with its SHA-256 image hash in
upper-case hexadecimal (UTF-16) and carrying the hash again in an indirect-data
attribute.

    scripts/make_catalog.py <catalog> <signer.pem> <signer.key> <issuer.pem> <program>...

openssl cms signs the list's content octets (what a catalog's signature covers);
its output wraps the content in an OCTET STRING, which a catalog carries as the
list's own SEQUENCE: same length, so only that one tag byte changes.
"""

import hashlib
import os
import struct
import subprocess
import sys
import tempfile

CTL_OID = "1.3.6.1.4.1.311.10.1"
CATALOG_LIST_OID = "1.3.6.1.4.1.311.12.1.1"
SHA256_MEMBERS_OID = "1.3.6.1.4.1.311.12.1.3"
INDIRECT_DATA_OID = "1.3.6.1.4.1.311.2.1.4"
PE_IMAGE_DATA_OID = "1.3.6.1.4.1.311.2.1.15"
SHA256_OID = "2.16.840.1.101.3.4.2.1"


def tlv(tag, contents):
    n = len(contents)
    if n < 0x80:
        return bytes([tag, n]) + contents
    length = n.to_bytes((n.bit_length() + 7) // 8, "big")
    return bytes([tag, 0x80 | len(length)]) + length + contents


def oid(dotted):
    numbers = [int(part) for part in dotted.split(".")]
    out = bytearray([40 * numbers[0] + numbers[1]])
    for number in numbers[2:]:
        chunk = [number & 0x7F]
        number >>= 7
        while number:
            chunk.insert(0, 0x80 | (number & 0x7F))
            number >>= 7
        out += bytes(chunk)
    return tlv(0x06, bytes(out))


def sequence(*parts):
    return tlv(0x30, b"".join(parts))


def image_hash(path):
    """SHA-256 over the image without its checksum, its certificate-table entry and
    the table itself: the hash the trust provider looks a program up by."""
    data = open(path, "rb").read()
    if data[:2] != b"MZ":
        raise SystemExit(f"make_catalog: {path} is not a Windows image")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    checksum = optional + 64
    security = optional + (96 if magic == 0x10B else 112) + 4 * 8
    table, size = struct.unpack_from("<II", data, security)
    end = table if table and size else len(data)
    digest = hashlib.sha256(data[:checksum])
    digest.update(data[checksum + 4:security])
    digest.update(data[security + 8:end])
    if table and size:
        digest.update(data[table + size:])
    return digest.digest()


def member(digest):
    tag = digest.hex().upper().encode("utf-16-le") + b"\0\0"
    indirect = sequence(sequence(oid(PE_IMAGE_DATA_OID)),
                        sequence(sequence(oid(SHA256_OID), tlv(0x05, b"")), tlv(0x04, digest)))
    return sequence(tlv(0x04, tag), tlv(0x31, sequence(oid(INDIRECT_DATA_OID), tlv(0x31, indirect))))


def trust_list(digests):
    identifier = hashlib.sha256(b"".join(digests)).digest()[:16]
    return sequence(sequence(oid(CATALOG_LIST_OID)), tlv(0x04, identifier), tlv(0x17, b"261201000000Z"),
                    sequence(oid(SHA256_MEMBERS_OID), tlv(0x05, b"")),
                    sequence(*(member(d) for d in sorted(digests))))


def content_octets(der):
    """The contents of a DER element whose length is written in long or short form."""
    first = der[1]
    header = 2 + (first & 0x7F if first & 0x80 else 0)
    return der[header:]


def sign(body, signer, key, issuer):
    with tempfile.TemporaryDirectory() as folder:
        content = os.path.join(folder, "list")
        with open(content, "wb") as out:
            out.write(body)
        signed = subprocess.run(
            ["openssl", "cms", "-sign", "-binary", "-nodetach", "-nosmimecap", "-md", "sha256",
             "-econtent_type", CTL_OID, "-signer", signer, "-inkey", key, "-certfile", issuer,
             "-in", content, "-outform", "DER"], capture_output=True, check=True).stdout
    # The content sits right after the list's type in the encapsulated content info.
    at = signed.index(oid(CTL_OID) + b"\xa0") + len(oid(CTL_OID))
    explicit = bytes(signed[at:])
    inner = at + (len(explicit) - len(content_octets(explicit)))
    if signed[inner] != 0x04:
        raise SystemExit("make_catalog: openssl did not write the content as one OCTET STRING")
    return signed[:inner] + b"\x30" + signed[inner + 1:]


def main(argv):
    if len(argv) < 6:
        raise SystemExit(__doc__.split("\n\n")[1])
    catalog, signer, key, issuer, programs = argv[1], argv[2], argv[3], argv[4], argv[5:]
    body = content_octets(trust_list([image_hash(p) for p in programs]))
    with open(catalog, "wb") as out:
        out.write(sign(body, signer, key, issuer))


if __name__ == "__main__":
    main(sys.argv)
