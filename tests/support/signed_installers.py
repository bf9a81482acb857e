#!/usr/bin/env python3
"""Makes the signed and unsigned installers that the signature tests check.

    signed_installers.py OUTDIR [--size BYTES]

OUTDIR receives (other tests and helpers rely on these exact names):

  authority.pem          the test root authority "Tessaly Test Code Signing CA",
                         the one a test trusts (SSL_CERT_FILE, or the Windows store)
  stranger-authority.pem a second root authority that nobody trusts
  maker.pem, maker.key   code signing certificate O=Kestrelweave, CN=Kestrelweave,
                         issued by authority.pem
  other.pem, other.key   code signing certificate O=Someone Else, by authority.pem
  stranger.pem, stranger.key
                         code signing certificate O=Kestrelweave, issued by
                         stranger-authority.pem
  unsigned.exe           a small, valid PE32+ program file without a signature
  maker.exe              unsigned.exe signed by maker.pem (SHA-256)
  other.exe              unsigned.exe signed by other.pem
  untrusted.exe          unsigned.exe signed by stranger.pem
  tampered.exe           maker.exe with one byte of its code changed after signing
  notpe.exe              a few bytes of text, no program file at all
  openssl.cnf            the extensions the certificates are made with

--size BYTES gives the program's one section at least BYTES bytes, so maker.exe (and
the others) grow to about that size: for the benchmark.

Needs the `openssl` and `osslsigncode` command-line tools. Prints nothing unless a
tool fails, and then what it said.
"""

import argparse
import pathlib
import random
import struct
import subprocess
import sys

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
"""

FILE_ALIGNMENT = 0x200
SECTION_ALIGNMENT = 0x1000


def run(command):
    result = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit(f"{' '.join(map(str, command))} failed:\n{result.stdout}{result.stderr}")


def certificate(out, name, subject, extensions, issuer=None):
    """Makes out/NAME.pem and out/NAME.key: self-signed, or issued by `issuer`."""
    command = ["openssl", "req", "-config", out / "openssl.cnf", "-x509", "-newkey", "rsa:2048", "-nodes",
               "-keyout", out / f"{name}.key", "-out", out / f"{name}.pem", "-days", "3650",
               "-subj", subject, "-extensions", extensions]
    if issuer:
        command += ["-CA", out / f"{issuer}.pem", "-CAkey", out / f"{issuer}.key"]
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


def sign(out, signer, source, target):
    run(["osslsigncode", "sign", "-certs", out / f"{signer}.pem", "-key", out / f"{signer}.key",
         "-h", "sha256", "-in", out / source, "-out", out / target])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("outdir", type=pathlib.Path)
    parser.add_argument("--size", type=int, default=64, help="the code section's size in bytes")
    args = parser.parse_args()
    out = args.outdir
    out.mkdir(parents=True, exist_ok=True)
    (out / "openssl.cnf").write_text(CONFIG)

    certificate(out, "authority", "/O=Tessaly Test/CN=Tessaly Test Code Signing CA", "authority")
    certificate(out, "stranger-authority", "/O=Nobody/CN=Nobody's Code Signing CA", "authority")
    certificate(out, "maker", "/O=Kestrelweave/CN=Kestrelweave", "signer", "authority")
    certificate(out, "other", "/O=Someone Else/CN=Someone Else", "signer", "authority")
    certificate(out, "stranger", "/O=Kestrelweave/CN=Kestrelweave", "signer", "stranger-authority")

    (out / "unsigned.exe").write_bytes(program(args.size))
    (out / "notpe.exe").write_bytes(b"This is not a program.\n")
    for signer, target in (("maker", "maker.exe"), ("other", "other.exe"), ("stranger", "untrusted.exe")):
        (out / target).unlink(missing_ok=True)  # osslsigncode will not write over a file
        sign(out, signer, "unsigned.exe", target)

    tampered = bytearray((out / "maker.exe").read_bytes())
    tampered[FILE_ALIGNMENT + 1] ^= 0x01  # in the code section
    (out / "tampered.exe").write_bytes(tampered)


if __name__ == "__main__":
    main()
