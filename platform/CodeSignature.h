#pragma once

#include <QString>

// The Authenticode signature of a Windows program file (PE: an .exe or .dll, which
// every installer of the suite is), as the system judges it before the program runs:
// WinVerifyTrust on Windows, OpenSSL's libcrypto on Linux. The file is untrusted
// bytes: nothing in it can make the check read outside it, run long or fail open.

enum class TSignatureStatus {
    // Intact, and the signer's certificate is for code signing and chains to a root
    // that the system trusts (on Linux the authorities TLS trusts: the system's, or
    // SSL_CERT_FILE and SSL_CERT_DIR where set), at the time a trusted time stamp
    // vouches for, or now.
    Trusted,
    // A program file without a signature, or no program file at all.
    Unsigned,
    // The file was changed after it was signed (its hash is not the signed one), its
    // certificate table is not where it must be, or its signature is damaged, not
    // what a signature must be, larger than any needs, or made with MD5.
    Broken,
    // Intact, but no trusted root vouches for the signer as a code signer: an unknown
    // or missing authority, an expired, revoked or otherwise unusable certificate, or
    // one signed with MD5 or with an RSA key under 1024 bits.
    Untrusted,
};

struct TCodeSignature {
    TSignatureStatus Status = TSignatureStatus::Unsigned;
    // The organisation (O) of the signing certificate's subject, for Trusted; empty
    // otherwise, since only a trusted certificate's name means anything.
    QString Organisation;
    // The library's or the system's own words on what was found, for messages that
    // are not a person's (logs, tests); may be empty.
    QString Detail;
};

// Checks the signature of the file `path`, on a thread of its own: the calling
// thread's Qt event loop runs meanwhile, as it does while HTTP waits.
TCodeSignature CheckCodeSignature(const QString& path);

// The same check on the calling thread; each system implements it.
TCodeSignature CheckCodeSignatureNow(const QString& path);
