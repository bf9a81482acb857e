#pragma once

#include "platform/CodeSignature.h"
#include "platform/SignatureStructure.h"

#include <openssl/types.h>

// Judges the Authenticode signature of the PE image `file`, as WinVerifyTrust does for a
// program about to run:
// - Unsigned: not a PE image, or one whose security directory is empty or whose
//   certificate table holds no PKCS#7 signature;
// - Broken: what ReadSignatureStructure refuses; a signature that is not a
//   single-signer SignedData over a PE image's SpcIndirectDataContent; a hash that is
//   not the image's; a signature that does not verify with the signer's key; MD5 for
//   the file's hash or the signer's digest;
// - Untrusted: the signer's certificate is not for code signing or does not chain to a
//   root in `authorities`, at the time of a valid time stamp (RFC 3161 or PKCS#9) when
//   the signature carries one and now otherwise; a certificate on the chain revoked by
//   a revocation list the authorities hold, signed with MD5, or with an RSA key under
//   1024 bits;
// - Trusted: all of it holds; Organisation is the signer's subject O.
// Reads the headers and the certificate table, then the hashed bytes once in order, a
// block at a time. Leaves the calling thread's OpenSSL error queue empty.
TCodeSignature CheckAuthenticode(IFileBytes& file, X509_STORE* authorities);
