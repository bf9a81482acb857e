// Feeds arbitrary bytes to the Authenticode check as a whole program file: the PE
// headers, the certificate table, the PKCS#7 signature and the content it signs. The
// store of authorities is empty, so nothing is read from disk and no signer can be
// trusted; everything before the chain still runs on what the input holds.
#include "platform/posix/Authenticode.h"

#include <openssl/err.h>
#include <openssl/x509_vfy.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static X509_STORE* const Nobody = X509_STORE_new();
    TMemoryBytes file({data, size});
    const TCodeSignature signature = CheckAuthenticode(file, Nobody);
    // Nobody vouches for any signer, and only a trusted signer's name is given; the
    // check leaves no errors behind for the next one to find.
    if (signature.Status == TSignatureStatus::Trusted || !signature.Organisation.isEmpty() ||
        ERR_peek_error())
        std::abort();
    return 0;
}
