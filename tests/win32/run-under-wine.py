#!/usr/bin/env python3
"""Runs a Windows test program under Wine, as CTest's command for the Windows suites.

    run-under-wine.py [--servers] [--signed] [--path DIR]... [--plugins DIR] -- PROGRAM.exe [ARG]...

Each run gets a fresh Wine prefix in a temporary folder (removed afterwards) and an
X server of its own (Xvfb), so nothing of the machine's own Wine or display is used or
changed. --path folders are where Windows looks for DLLs (the Windows Qt, the MinGW
runtime); --plugins is Qt's plugin folder.

A Windows program under Wine cannot start the Linux test server itself, so with
--servers three servers of tests/support/http_server.py are started here first, a
plain one, an https one and a plain one that tunnels to https as a proxy, and the
program finds them in its environment:
    KW_TEST_HTTP_PORT, KW_TEST_HTTPS_PORT,
    KW_TEST_TUNNEL_PORT                     their ports on 127.0.0.1
    KW_TEST_HTTP_RECORDS, KW_TEST_HTTPS_RECORDS,
    KW_TEST_TUNNEL_RECORDS                  the files their request records are appended
                                            to (see http_server.py --records)
    KW_TEST_AUTHORITY, KW_TEST_TUNNEL_AUTHORITY
                                            the https server's and the tunnel's
                                            authorities (ca.pem)
(paths as Windows paths).

Signed installers cannot be made on the Windows side either: with --signed,
tests/support/signed_installers.py makes them, with their authority, in a folder of
the session; the authority is trusted in the prefix's machine Root store before the
program starts, and the program finds the folder in KW_TEST_SIGNED_INSTALLERS.

The exit status is the program's; 1 when the set-up failed, or when the program ended
before writing its test report (GTEST_OUTPUT), as a crashed one does.
"""
import argparse
import base64
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "..", "support", "http_server.py")
SIGNED_INSTALLERS = os.path.join(HERE, "..", "support", "signed_installers.py")
# The whole suite runs well within this; the bound only keeps a hang from lasting.
RUN_TIMEOUT = 900


def wine_program():
    for candidate in ("/usr/lib/wine/wine64", shutil.which("wine64"), shutil.which("wine")):
        if candidate and os.access(candidate, os.X_OK):
            return candidate
    sys.exit("run-under-wine: Wine is not installed (apt-get install wine wine64)")


def windows_path(path):
    """Wine's drive Z: is the Linux root."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def pem_certificate(path):
    """The DER bytes of the first certificate in the PEM file `path`."""
    with open(path) as pem:
        text = pem.read()
    begin, end = "-----BEGIN CERTIFICATE-----", "-----END CERTIFICATE-----"
    start = text.index(begin) + len(begin)
    return base64.b64decode("".join(text[start:text.index(end, start)].split()))


def certificate_blob(der):
    """A certificate as a system store keeps it in the registry: its properties as
    serialized elements (property id, 1, length, value; little-endian), here only the
    one that holds the certificate itself (CERT_CERT_PROP_ID)."""
    return struct.pack("<III", 0x20, 1, len(der)) + der


def start_display():
    """An Xvfb of its own; the display number is the one Xvfb reports as free."""
    xvfb = shutil.which("Xvfb")
    if not xvfb:
        return None, None
    read_end, write_end = os.pipe()
    process = subprocess.Popen([xvfb, "-displayfd", str(write_end), "-screen", "0", "1280x1024x24",
                                "-nolisten", "tcp"], pass_fds=[write_end],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as reader:
        number = reader.readline().strip()
    if not number:
        process.kill()
        return None, None
    return process, ":" + number


def start_server(arguments, records):
    """Starts the test server, its request records going to the file `records`;
    returns the process and its port."""
    process = subprocess.Popen([sys.executable, SERVER, "--port", "0", "--records", records] + arguments,
                               stdout=subprocess.PIPE, text=True)
    port = process.stdout.readline().strip()
    if not port.isdigit():
        process.kill()
        sys.exit("run-under-wine: the test server did not start")
    return process, port


class WineSession:
    """A fresh Wine prefix and display for the life of the object: `env` runs programs
    in it, `run` runs one Windows program. Everything it started goes with close()."""

    def __init__(self, paths=(), plugins=None):
        self.wine = wine_program()
        self.folder = tempfile.mkdtemp(prefix="kw-wine-")
        self.processes = []
        env = dict(os.environ)
        env.update({
            "WINEPREFIX": os.path.join(self.folder, "prefix"),
            "WINEDEBUG": "-all",
            "WINEARCH": "win64",
            # No Mono or Gecko installers while the prefix is made.
            "WINEDLLOVERRIDES": "mscoree=;mshtml=",
            "WINEPATH": ";".join(windows_path(path) for path in paths),
        })
        # Wine takes the system's ANSI code page from the locale it starts in: U.S. English.
        for name in ("LC_ALL", "LC_CTYPE"):
            env.pop(name, None)
        env["LANG"] = "en_US.UTF-8"
        for name in ("http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY"):
            env.pop(name, None)
        if plugins:
            env["QT_PLUGIN_PATH"] = windows_path(plugins)
        display, name = start_display()
        if display:
            self.processes.append(display)
            env["DISPLAY"] = name
        else:
            env.pop("DISPLAY", None)
        self.env = env
        boot = subprocess.run([self.wine, "wineboot", "-i"], env=env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=300)
        # A program that crashes gets its backtrace printed and ends, instead of
        # waiting for someone to close the crash dialog on a display nobody sees.
        crash = subprocess.run([self.wine, "reg", "add", "HKCU\\Software\\Wine\\WineDbg", "/v",
                                "ShowCrashDialog", "/t", "REG_DWORD", "/d", "0", "/f"], env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        if boot.returncode != 0 or crash.returncode != 0:
            self.close()
            sys.exit("run-under-wine: the Wine prefix could not be made")

    def start_servers(self):
        for name, option in (("HTTP", None), ("HTTPS", "--tls"), ("TUNNEL", "--tunnel")):
            folder = os.path.join(self.folder, name.lower())
            os.mkdir(folder)
            records = os.path.join(folder, "records.jsonl")
            process, port = start_server([option, folder] if option else [], records)
            self.processes.append(process)
            self.env[f"KW_TEST_{name}_PORT"] = port
            self.env[f"KW_TEST_{name}_RECORDS"] = windows_path(records)
        self.env["KW_TEST_AUTHORITY"] = windows_path(os.path.join(self.folder, "https", "ca.pem"))
        self.env["KW_TEST_TUNNEL_AUTHORITY"] = windows_path(os.path.join(self.folder, "tunnel", "ca.pem"))

    def trust_root(self, der):
        """Trusts the certificate `der` as a root authority for the whole prefix. The
        store is read once per process, at its first verification, so this comes
        before the program starts."""
        key = ("HKLM\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\" +
               hashlib.sha1(der).hexdigest().upper())
        return subprocess.run([self.wine, "reg", "add", key, "/v", "Blob", "/t", "REG_BINARY", "/d",
                               certificate_blob(der).hex().upper(), "/f"], env=self.env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120).returncode == 0

    def publish_signed_installers(self):
        folder = os.path.join(self.folder, "signed")
        os.mkdir(folder)
        made = subprocess.run([sys.executable, SIGNED_INSTALLERS, folder], stdout=subprocess.DEVNULL, timeout=300)
        if made.returncode != 0 or not self.trust_root(pem_certificate(os.path.join(folder, "authority.pem"))):
            sys.exit("run-under-wine: the signed installers could not be made")
        self.env["KW_TEST_SIGNED_INSTALLERS"] = windows_path(folder)

    def run(self, command, timeout=RUN_TIMEOUT, **options):
        """The program's exit status; 1 when it did not end within `timeout` seconds."""
        sys.stdout.flush()
        try:
            return subprocess.run([self.wine] + command, env=self.env, timeout=timeout, **options).returncode
        except subprocess.TimeoutExpired:
            print(f"run-under-wine: {command[0]} did not end within {timeout} s", file=sys.stderr)
            return 1

    def start(self, command, **options):
        process = subprocess.Popen([self.wine] + command, env=self.env, **options)
        self.processes.append(process)
        return process

    def close(self):
        server = os.path.join(os.path.dirname(self.wine), "wineserver")
        subprocess.run([server if os.path.exists(server) else "wineserver", "-k"], env=self.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for process in self.processes:
            process.kill()
            process.wait()
        shutil.rmtree(self.folder, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--servers", action="store_true")
    parser.add_argument("--signed", action="store_true")
    parser.add_argument("--path", action="append", default=[])
    parser.add_argument("--plugins")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    options = parser.parse_args()
    command = options.command[1:] if options.command[:1] == ["--"] else options.command
    if not command:
        parser.error("no program to run")
    session = WineSession(options.path, options.plugins)
    try:
        if options.servers:
            session.start_servers()
        if options.signed:
            session.publish_signed_installers()
        # A test program counts as passed only when it got to write its report: Wine
        # may end a program that crashed with status 0.
        report = os.path.join(session.folder, "report.xml")
        session.env["GTEST_OUTPUT"] = "xml:" + windows_path(report)
        status = session.run(command)
        if status == 0 and not os.path.isfile(report):
            print(f"run-under-wine: {command[0]} ended before its tests did", file=sys.stderr)
            return 1
        return status
    finally:
        session.close()


if __name__ == "__main__":
    sys.exit(main())
