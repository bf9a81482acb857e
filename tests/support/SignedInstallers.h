#pragma once

#include <QString>

// The installers that tests/support/signed_installers.py makes (maker.exe, other.exe,
// untrusted.exe, tampered.exe, unsigned.exe, notpe.exe, the hard cases its docstring
// lists with their verdicts (time stamps, expiry, revocation, weak algorithms, moved or
// oversized signatures), and the test authority authority.pem with its CRL, also in
// authorities/ for SSL_CERT_DIR), made once per test program in a temporary folder; or
// those in the folder that KW_TEST_SIGNED_INSTALLERS names, as under Wine, whose own
// store trusts that folder's authority. Empty, with a test failure added, when they
// could not be made.
QString SignedInstallers();
