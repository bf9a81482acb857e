#!/usr/bin/env python3
"""Makes the signed and unsigned installers that the signature tests check.

    signed_installers.py OUTDIR [--size BYTES]

OUTDIR receives (other tests and helpers rely on these exact names):

  authority.pem          the test root authority "Tessaly Test Code Signing CA",
                         the one a test trusts (SSL_CERT_FILE, or the Windows store),
                         valid 2019-2040; followed by its CRL, authority.crl
  authority.crl          the authority's CRL (PEM), revoking revoked.pem
  authorities/           the authority's certificate and CRL under OpenSSL hash
                         names, to trust through SSL_CERT_DIR
  stranger-authority.pem a second root authority that nobody trusts
  maker.pem, maker.key   code signing certificate O=Kestrelweave, CN=Kestrelweave,
                         issued by authority.pem
  other.pem, other.key   code signing certificate O=Someone Else, by authority.pem
  stranger.pem, stranger.key
                         code signing certificate O=Kestrelweave, issued by
                         stranger-authority.pem
  tsa.pem, tsa.key       time-stamping certificate by authority.pem, valid 2019-2035
  expired.pem, .key      code signing, O=Kestrelweave, CN=Kestrelweave, by authority.pem,
                         valid only in 2020
  revoked.pem, .key      code signing, O=Kestrelweave, by authority.pem, revoked
  md5-signer.pem, .key   code signing, O=Kestrelweave, that authority.pem signed with MD5
  weak-key.pem, .key     code signing, O=Kestrelweave, by authority.pem, a 512-bit RSA key
  unsigned.exe           a small, valid PE32+ program file without a signature
  maker.exe              unsigned.exe signed by maker.pem (SHA-256)
  other.exe              unsigned.exe signed by other.pem
  untrusted.exe          unsigned.exe signed by stranger.pem
  tampered.exe           maker.exe with one byte of its code changed after signing
  notpe.exe              a few bytes of text, no program file at all
  openssl.cnf            the extensions the certificates are made with

and, each with the verdict a check must give:

  stamped.exe            unsigned.exe signed by expired.pem with a time stamp by tsa.pem
                         from 2020-06-01, when expired.pem was valid: trusted
  countersigned.exe      the same with the older counter-signature by tsa.pem: trusted
  expired.exe            the same without the time stamp: untrusted
  revoked.exe            signed by revoked.pem: untrusted
  md5-chain.exe          signed by md5-signer.pem: untrusted
  weak-key.exe           signed by weak-key.pem: untrusted
  md5-digest.exe         signed by maker.pem with MD5 hashes: broken
  lastbyte.exe           maker.pem's valid signature of a hash that differs from the
                         file's in its last byte: broken
  moved.exe              maker.exe with its certificate table moved to the start of the
                         code section, the signed bytes all unchanged: broken
  many-algorithms.exe    maker.exe with 60,000 digest algorithms in its SignedData: broken
  many-signers.exe       maker.exe with 21 copies of its SignerInfo: broken
  huge-table.exe         maker.exe with a certificate table over 1 MiB: broken

--size BYTES gives the program's one section at least BYTES bytes, so maker.exe, other.exe,
untrusted.exe and tampered.exe grow to about that size, for the benchmark; the files of
the second list are not made then.

Needs the `openssl` and `osslsigncode` command-line tools. Prints nothing unless a
tool fails, and then what it said.
"""

import argparse
import hashlib
import pathlib
import random
import struct
import subprocess
import sys
import tempfile

CONFIG = """\
[req]
distinguished_name = subject
prompt = no
[subject]
[authority]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[signer]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[timestamper]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = critical, timeStamping
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
"""

# `openssl ca`, unlike `openssl req`, can date certificates in the past and keeps the
# database a CRL is made from.
CA_CONFIG = """\
[ca]
default_ca = issuing
[issuing]
database = {folder}/index.txt
new_certs_dir = {folder}
rand_serial = yes
default_md = sha256
policy = any
unique_subject = no
[any]
organizationName = optional
commonName = optional
"""

STAMP_TIME = "1590969600"  # 2020-06-01

FILE_ALIGNMENT = 0x200
SECTION_ALIGNMENT = 0x1000


def run(command):
    result = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit(f"{' '.join(map(str, command))} failed:\n{result.stdout}{result.stderr}")
    return result.stdout


def certificate(out, ca, name, subject, extensions, issuer=None, valid=None, key="rsa:2048",
                digest="sha256"):
    """Makes out/NAME.pem and out/NAME.key: self-signed, or issued by `issuer`; valid for ten
    years from now, or from valid[0] to valid[1] (YYYYMMDDHHMMSSZ)."""
    run(["openssl", "req", "-config", out / "openssl.cnf", "-new", "-newkey", key, "-nodes",
         "-keyout", out / f"{name}.key", "-out", ca / "request.pem", "-subj", subject])
    command = ["openssl", "ca", "-batch", "-config", ca / "ca.cnf", "-notext", "-preserveDN",
               "-md", digest, "-in", ca / "request.pem", "-out", out / f"{name}.pem",
               "-extensions", extensions]
    command += ["-startdate", valid[0], "-enddate", valid[1]] if valid else ["-days", "3650"]
    if issuer:
        command += ["-cert", out / f"{issuer}.pem", "-keyfile", out / f"{issuer}.key"]
    else:
        command += ["-selfsign", "-keyfile", out / f"{name}.key"]
    run(command)


def align(value, alignment):
    return (value + alignment - 1) // alignment * alignment


def program(size):
    """A PE32+ console program for x86-64 with one code section: just `ret` and filler."""
    code = b"\xc3" + random.Random(1).randbytes(max(size, 64) - 1)
    raw_size = align(len(code), FILE_ALIGNMENT)
    headers_size = FILE_ALIGNMENT
    image_size = align(SECTION_ALIGNMENT + len(code), SECTION_ALIGNMENT)

    dos = bytearray(0x80)
    dos[0:2] = b"MZ"
    struct.pack_into("<I", dos, 0x3C, len(dos))  # e_lfanew
    # Machine x86-64, one section, the PE32+ optional header's size, executable and
    # large-address aware.
    coff = struct.pack("<HHIIIHH", 0x8664, 1, 0, 0, 0, 240, 0x0022)
    optional = struct.pack(
        "<HBBIIIIIQIIHHHHHHIIIIHHQQQQII",
        0x20B, 14, 0,                     # PE32+, linker version
        raw_size, 0, 0,                   # sizes of code, initialised and uninitialised data
        SECTION_ALIGNMENT, SECTION_ALIGNMENT,  # entry point, base of code
        0x140000000,                      # image base
        SECTION_ALIGNMENT, FILE_ALIGNMENT,
        6, 0, 0, 0, 6, 0,                 # operating system, image and subsystem versions
        0,                                # Win32VersionValue
        image_size, headers_size,
        0,                                # CheckSum
        3, 0x8160,                        # console subsystem; ASLR, NX, terminal server aware
        0x100000, 0x1000, 0x100000, 0x1000,  # stack and heap reserve and commit
        0, 16)                            # loader flags, NumberOfRvaAndSizes
    optional += bytes(16 * 8)             # every data directory empty
    section = struct.pack("<8sIIIIIIHHI", b".text", len(code), SECTION_ALIGNMENT, raw_size,
                          headers_size, 0, 0, 0, 0, 0x60000020)
    headers = dos + b"PE\0\0" + coff + optional + section
    assert len(headers) <= headers_size
    return headers.ljust(headers_size, b"\0") + code.ljust(raw_size, b"\0")


def sign(out, signer, source, target, *options):
    (out / target).unlink(missing_ok=True)  # osslsigncode will not write over a file
    run(["osslsigncode", "sign", "-certs", out / f"{signer}.pem", "-key", out / f"{signer}.key",
         "-h", "sha256", *options, "-in", out / source, "-out", out / target])


OIDS = {"signed data": "2a864886f70d010702", "data": "2a864886f70d010701",
        "content type": "2a864886f70d010903", "message digest": "2a864886f70d010904",
        "signing time": "2a864886f70d010905", "counter-signature": "2a864886f70d010906",
        "sha256": "608648016503040201", "rsa": "2a864886f70d010101"}


def der(tag, content):
    size = len(content)
    if size < 0x80:
        return bytes([tag, size]) + content
    count = (size.bit_length() + 7) // 8
    return bytes([tag, 0x80 | count]) + size.to_bytes(count, "big") + content


def element(data, at=0):
    """The DER element at `at` (one-byte tag): its tag, its content and where it ends."""
    tag, size, at = data[at], data[at + 1], at + 2
    if size & 0x80:
        size, at = int.from_bytes(data[at:at + (size & 0x7F)], "big"), at + (size & 0x7F)
    return tag, data[at:at + size], at + size


def elements(data):
    items, at = [], 0
    while at < len(data):
        tag, content, at = element(data, at)
        items.append((tag, content))
    return items


def signed_data_fields(signature):
    """The (tag, content) fields of the SignedData in the PKCS #7 `signature`, padding may
    follow: version, digest algorithms, content, certificates, signer infos."""
    _, content_info, _ = element(signature)
    return elements(element(elements(content_info)[1][1])[1])


def first_signer(fields):
    return elements(elements(fields[-1][1])[0][1])


def with_signed_data_field(signature, index, change):
    """The PKCS #7 `signature` with the content of its SignedData's field `index` replaced
    by change(content), every enclosing length following."""
    fields = signed_data_fields(signature)
    tag, content = fields[index]
    fields[index] = tag, change(content)
    signed_data = der(0x30, b"".join(der(*field) for field in fields))
    return der(0x30, der(0x06, bytes.fromhex(OIDS["signed data"])) + der(0xA0, signed_data))


def win_certificate(signature):
    """A certificate table entry for `signature`; its length counts the padding, as osslsigncode's do."""
    size = align(8 + len(signature), 8)
    return struct.pack("<IHH", size, 0x0200, 0x0002) + signature.ljust(size - 8, b"\0")


def certificate_table(signed):
    """The offset of the security directory entry, and the certificate table's offset and size."""
    entry = struct.unpack_from("<I", signed, 0x3C)[0] + 24 + 112 + 4 * 8
    return (entry, *struct.unpack_from("<II", signed, entry))


def with_table(signed, table, at=None):
    """`signed` with its certificate table replaced by `table`, at offset `at` or where the
    old one was; with a correct checksum, so that only the intended fault is there."""
    entry, start, _ = certificate_table(signed)
    pe = bytearray(signed[:start])
    at = start if at is None else at
    struct.pack_into("<II", pe, entry, at, len(table))
    pe[at:at] = table
    checksum = struct.unpack_from("<I", pe, 0x3C)[0] + 24 + 64
    struct.pack_into("<I", pe, checksum, 0)
    total = sum(struct.unpack_from(f"<{len(pe) // 2}H", pe))
    while total > 0xFFFF:
        total = (total & 0xFFFF) + (total >> 16)
    struct.pack_into("<I", pe, checksum, total + len(pe))
    return bytes(pe)


def attributes_signed(out, ca, key, attributes):
    """The value of a SHA-256 RSA signature by out/KEY over the signed `attributes`."""
    (ca / "attributes.der").write_bytes(der(0x31, attributes))
    run(["openssl", "dgst", "-sha256", "-sign", out / key, "-out", ca / "value.bin", ca / "attributes.der"])
    return (ca / "value.bin").read_bytes()


def resigned(out, ca, signature):
    """maker.pem's `signature` made anew over a hash whose last byte differs from the file's:
    a signature that verifies, of another file. Every length stays as it was."""
    fields = signed_data_fields(signature)
    indirect = element(elements(fields[2][1])[1][1])[1]
    changed = indirect[:-1] + bytes([indirect[-1] ^ 0x01])
    digest, new_digest = (hashlib.sha256(content).digest() for content in (indirect, changed))
    signer = first_signer(fields)
    attributes = next(content for tag, content in signer if tag == 0xA0)
    old_value = next(content for tag, content in signer if tag == 0x04)
    new_value = attributes_signed(out, ca, "maker.key", attributes.replace(digest, new_digest))
    return signature.replace(indirect, changed).replace(digest, new_digest).replace(old_value, new_value)


def attribute(name, value):
    return der(0x30, der(0x06, bytes.fromhex(OIDS[name])) + der(0x31, value))


def algorithm(name):
    return der(0x30, der(0x06, bytes.fromhex(OIDS[name])) + der(0x05, b""))


def counter_signed(out, ca, signature):
    """`signature` with an older, PKCS #9 counter-signature by tsa.pem from 2020-06-01 (which
    osslsigncode makes only through a server), and tsa.pem among its certificates."""
    run(["openssl", "x509", "-in", out / "tsa.pem", "-outform", "der", "-out", ca / "tsa.der"])
    tsa = (ca / "tsa.der").read_bytes()
    tbs = elements(elements(element(tsa)[1])[0][1])  # [0] version, serial, algorithm, issuer, ...
    signer = first_signer(signed_data_fields(signature))
    assert signer[-1][0] == 0x04, "the signer has unsigned attributes already"
    attributes = (attribute("content type", der(0x06, bytes.fromhex(OIDS["data"]))) +
                  attribute("signing time", der(0x17, b"200601000000Z")) +
                  attribute("message digest", der(0x04, hashlib.sha256(signer[-1][1]).digest())))
    value = attributes_signed(out, ca, "tsa.key", attributes)
    counter = der(0x30, der(0x02, b"\x01") + der(0x30, der(*tbs[3]) + der(*tbs[1])) + algorithm("sha256") +
                  der(0xA0, attributes) + algorithm("rsa") + der(0x04, value))
    signer_info = b"".join(der(*field) for field in signer) + der(0xA1, attribute("counter-signature", counter))
    signed = with_signed_data_field(signature, -1, lambda _: der(0x30, signer_info))
    return with_signed_data_field(signed, 3, lambda certificates: certificates + tsa)


def hard_cases(out, ca):
    """Makes the files of the docstring's second list."""
    # Both claim to be signed in 2020, when expired.pem was valid; only a time stamp may count.
    stamp = ["-TSA-certs", out / "tsa.pem", "-TSA-key", out / "tsa.key", "-TSA-time", STAMP_TIME]
    for signer, target, options in (("expired", "stamped.exe", ["-time", STAMP_TIME, *stamp]),
                                    ("expired", "expired.exe", ["-time", STAMP_TIME]),
                                    ("revoked", "revoked.exe", []),
                                    ("md5-signer", "md5-chain.exe", []),
                                    ("weak-key", "weak-key.exe", []),
                                    ("maker", "md5-digest.exe", ["-h", "md5"])):
        sign(out, signer, "unsigned.exe", target, *options)

    expired = (out / "expired.exe").read_bytes()
    _, start, size = certificate_table(expired)
    signature = expired[start + 8:start + struct.unpack_from("<I", expired, start)[0]]
    (out / "countersigned.exe").write_bytes(with_table(expired, win_certificate(counter_signed(out, ca, signature))))

    maker = (out / "maker.exe").read_bytes()
    _, start, size = certificate_table(maker)
    table = maker[start:start + size]
    signature = table[8:struct.unpack_from("<I", table)[0]]
    (out / "lastbyte.exe").write_bytes(with_table(maker, win_certificate(resigned(out, ca, signature))))

    # The hash skips the table wherever it is, so every signed byte is still where it was.
    altered = bytearray(maker[FILE_ALIGNMENT:start])
    altered[0] ^= 0xFF
    (out / "moved.exe").write_bytes(with_table(maker, table + altered, at=FILE_ALIGNMENT))

    for target, index, count in (("many-algorithms.exe", 1, 60000), ("many-signers.exe", -1, 21)):
        repeated = with_signed_data_field(signature, index, lambda content: content * count)
        (out / target).write_bytes(with_table(maker, win_certificate(repeated)))
    second = win_certificate(bytes(11 * 2**20 // 10))
    (out / "huge-table.exe").write_bytes(with_table(maker, table + second))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("outdir", type=pathlib.Path)
    parser.add_argument("--size", type=int, help="the code section's size in bytes")
    args = parser.parse_args()
    out = args.outdir
    out.mkdir(parents=True, exist_ok=True)
    (out / "openssl.cnf").write_text(CONFIG)
    with tempfile.TemporaryDirectory() as folder:
        ca = pathlib.Path(folder)
        (ca / "ca.cnf").write_text(CONFIG + CA_CONFIG.format(folder=ca))
        (ca / "index.txt").touch()
        make(out, ca, args.size)


def make(out, ca, size):
    kestrelweave = "/O=Kestrelweave/CN=Kestrelweave"
    # Valid well before 2020, as a time-stamped signature's chain is checked at the stamp's time.
    certificate(out, ca, "authority", "/O=Tessaly Test/CN=Tessaly Test Code Signing CA", "authority",
                valid=("20190101000000Z", "20400101000000Z"))
    certificate(out, ca, "stranger-authority", "/O=Nobody/CN=Nobody's Code Signing CA", "authority")
    certificate(out, ca, "maker", kestrelweave, "signer", "authority")
    certificate(out, ca, "other", "/O=Someone Else/CN=Someone Else", "signer", "authority")
    certificate(out, ca, "stranger", kestrelweave, "signer", "stranger-authority")
    certificate(out, ca, "tsa", "/O=Tessaly Test/CN=Tessaly Test Time Stamps", "timestamper", "authority",
                valid=("20190601000000Z", "20350101000000Z"))
    certificate(out, ca, "expired", kestrelweave, "signer", "authority",
                valid=("20200101000000Z", "20210101000000Z"))
    certificate(out, ca, "revoked", kestrelweave, "signer", "authority")
    certificate(out, ca, "md5-signer", kestrelweave, "signer", "authority", digest="md5")
    certificate(out, ca, "weak-key", kestrelweave, "signer", "authority", key="rsa:512")

    authority = ["openssl", "ca", "-config", ca / "ca.cnf",
                 "-cert", out / "authority.pem", "-keyfile", out / "authority.key"]
    run(authority + ["-revoke", out / "revoked.pem"])
    # Dated like the authority, so that the CRL holds at a 2020 time stamp too.
    run(authority + ["-gencrl", "-crl_lastupdate", "20190101000000Z", "-crl_nextupdate", "20400101000000Z",
                     "-out", out / "authority.crl"])
    certificate_pem, crl = (out / "authority.pem").read_text(), (out / "authority.crl").read_text()
    name_hash = run(["openssl", "x509", "-hash", "-noout", "-in", out / "authority.pem"]).strip()
    (out / "authorities").mkdir(exist_ok=True)
    (out / "authorities" / f"{name_hash}.0").write_text(certificate_pem)
    (out / "authorities" / f"{name_hash}.r0").write_text(crl)
    (out / "authority.pem").write_text(certificate_pem + crl)  # Wine's store takes only the certificate

    (out / "unsigned.exe").write_bytes(program(size or 64))
    (out / "notpe.exe").write_bytes(b"This is not a program.\n")
    for signer, target in (("maker", "maker.exe"), ("other", "other.exe"), ("stranger", "untrusted.exe")):
        sign(out, signer, "unsigned.exe", target)

    tampered = bytearray((out / "maker.exe").read_bytes())
    tampered[FILE_ALIGNMENT + 1] ^= 0x01  # in the code section
    (out / "tampered.exe").write_bytes(tampered)
    if size is None:  # they would only slow the benchmark
        hard_cases(out, ca)


if __name__ == "__main__":
    main()
