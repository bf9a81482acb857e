#pragma once

#include "platform/CodeSignature.h"

#include <openssl/types.h>

#include <cstdint>
#include <span>

// Judges the Authenticode signature of the PE image `image` (a whole .exe or .dll in
// memory), as WinVerifyTrust does for a program about to run:
// - Unsigned: not a PE image, or one whose security directory is empty or holds no
//   PKCS#7 signature;
// - Broken: a security directory or certificate table that does not fit the file, a
//   signature that is not a single-signer SignedData over a PE image's
//   SpcIndirectDataContent, a hash that is not the image's, or a signature that does
//   not verify with the signer's key;
// - Untrusted: the signer's certificate does not chain to a root in `authorities` at
//   the current time, or is not for code signing;
// - Trusted: all of it holds; Organisation is the signer's subject O.
// Every offset in the image is checked against its size before use. Leaves the calling
// thread's OpenSSL error queue empty.
TCodeSignature CheckAuthenticode(std::span<const std::uint8_t> image, X509_STORE* authorities);
