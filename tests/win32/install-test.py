#!/usr/bin/env python3
"""Installs the Windows installer silently under Wine, starts the installed program,
closes it and uninstalls it:  install-test.py INSTALLER.exe

The program runs with nothing but what the installer put in place (no DLL search path
of the build's), on the windows platform plugin under Xvfb. Exits 77 (skipped) when the
installer has not been built."""
import importlib.util
import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
spec = importlib.util.spec_from_file_location("run_under_wine", os.path.join(HERE, "run-under-wine.py"))
wine = importlib.util.module_from_spec(spec)
spec.loader.exec_module(wine)

FOLDER = "TessalyTest"
INSTALLED = ["tessaly-manager.exe", "Translate.sib", "Qt6Core.dll", "Qt6Gui.dll", "Qt6Widgets.dll",
             "platforms/qwindows.dll", "libstdc++-6.dll", "libwinpthread-1.dll", "Uninstall.exe"]


def wait_for(condition, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.5)
    return condition()


def fail(message):
    print(f"install-test: {message}", file=sys.stderr)
    return 1


def check(session):
    installer = sys.argv[1]
    drive = os.path.join(session.env["WINEPREFIX"], "drive_c")
    folder = os.path.join(drive, FOLDER)
    # /D must come last and unquoted, as NSIS wants it (so the folder has no space).
    if session.run([installer, "/S", "/D=C:\\" + FOLDER], timeout=300) != 0:
        return fail("the silent installation failed")
    missing = [name for name in INSTALLED if not os.path.isfile(os.path.join(folder, name))]
    if missing:
        return fail(f"not installed: {', '.join(missing)}")
    shortcuts = [os.path.join(top, name) for top, _, names in os.walk(drive) for name in names
                 if name == "Tessaly Manager.lnk" and "Start Menu" in top]
    if not shortcuts:
        return fail("no Start-menu entry")

    # The installed program starts, shows its window and ends with 0 when that is closed.
    session.env.pop("QT_QPA_PLATFORM", None)
    session.env.pop("QT_PLUGIN_PATH", None)
    program = session.start(["C:\\" + FOLDER + "\\tessaly-manager.exe"])
    time.sleep(3)
    if program.poll() is not None:
        return fail(f"the installed program ended at once with {program.returncode}")
    # taskkill without /F asks the windows to close, as a click on the close box does.
    closed = False
    for _ in range(20):
        session.run(["taskkill", "/IM", "tessaly-manager.exe"], timeout=60,
                    stdout=wine.subprocess.DEVNULL, stderr=wine.subprocess.DEVNULL)
        if wait_for(lambda: program.poll() is not None, 3):
            closed = True
            break
    if not closed:
        return fail("the installed program did not close")
    if program.returncode != 0:
        return fail(f"the installed program ended with {program.returncode}")

    uninstaller = "C:\\" + FOLDER + "\\Uninstall.exe"
    if session.run([uninstaller, "/S"], timeout=300) != 0:
        return fail("the silent uninstallation failed")
    # The uninstaller runs on from a copy of itself in the temporary folder.
    if not wait_for(lambda: not os.path.exists(os.path.join(folder, "tessaly-manager.exe")), 120):
        return fail("the program is still there after uninstalling")
    if any(os.path.exists(path) for path in shortcuts):
        return fail("the Start-menu entry is still there after uninstalling")
    print("install-test: installed, started, closed and uninstalled")
    return 0


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: install-test.py INSTALLER.exe")
    if not os.path.isfile(sys.argv[1]):
        print(f"install-test: {sys.argv[1]} has not been built (cpack -G NSIS)")
        return 77
    session = wine.WineSession()
    try:
        return check(session)
    finally:
        session.close()


if __name__ == "__main__":
    sys.exit(main())
