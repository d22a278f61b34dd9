"""The Windows installer that cpack makes (packaging/NSIS.template.in), run
silently under Wine as a user would: it installs for the current user
without elevation, starts Tavrin.exe with --install (the program serves a
phone straight away and has its Run value), installs over a running copy,
and its uninstaller stops the program and leaves nothing behind.

The packages come from
    cpack --config $TAVRIN_WIN_BUILD/CPackConfig.cmake -B $TAVRIN_WIN_BUILD/packages
(scripts/test.sh's windows stage runs it); TAVRIN_INSTALLER names another one.
"""

import os
import shutil
import socket
import zipfile
from pathlib import Path, PureWindowsPath

import pytest

import quillo_sim
import tavrin_harness as harness
from conftest import attach_log, test_log_dir

UNINSTALL_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavrin"
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
INSTALLED = {"Tavrin.exe", "Extension.dll", "Uninstall.exe"}


@pytest.fixture(scope="module")
def packages(build):
    if os.environ.get("TAVRIN_INSTALLER"):
        installer = Path(os.environ["TAVRIN_INSTALLER"])
        return installer, installer.with_suffix(".zip")
    found = sorted((build.folder / "packages").glob("Tavrin-*-win64.exe"))
    if not found:
        pytest.fail("no installer in %s/packages: run cpack --config %s/CPackConfig.cmake -B %s/packages"
                    % ((build.folder,) * 3))
    return found[-1], found[-1].with_suffix(".zip")


class Installation:
    """Runs the installer and the uninstaller in the shell desktop, with the
    environment a user's session would give them."""

    def __init__(self, desktop, build, folder):
        self.desktop = desktop
        self.launcher = build.launcher()
        self.folder = folder
        self.env = dict(desktop.env)
        # Shortcuts would otherwise make winemenubuilder write menu entries
        # into the real home folder, outside the prefix.
        self.env["WINEDLLOVERRIDES"] = self.env.get("WINEDLLOVERRIDES", "") + ";winemenubuilder.exe=d"
        self.runs = 0

    def run(self, windows_program, *args, timeout=60):
        """Runs a program given by its Windows path; returns its exit code."""
        self.runs += 1
        log = self.folder / ("run-%d.log" % self.runs)
        process = self.desktop.wine(self.launcher, "--desktop", self.desktop.SHELL, windows_program, *args,
                                    log=log, env=self.env)
        try:
            return process.wait(timeout=timeout)
        except Exception:
            process.kill()
            process.wait()
            raise AssertionError("%s did not end within %d s; see %s" % (windows_program, timeout, log))

    def install(self, installer):
        return self.run(self.desktop.winpath(installer), "/S")

    def location(self):
        found = self.desktop.reg_query(UNINSTALL_KEY, "InstallLocation")
        return PureWindowsPath(found[1]) if found else None

    def linux_path(self, windows_path):
        assert windows_path.drive.upper() == "C:", windows_path
        return self.desktop.drive_c().joinpath(*windows_path.parts[1:])

    def shortcuts(self):
        return sorted(self.desktop.drive_c().glob("users/*/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Tavrin*"))


def files_under(root):
    """Every file and folder below `root`, as paths relative to it."""
    found = set()
    for folder, names, files in os.walk(root):
        base = Path(folder).relative_to(root)
        found.update(str(base / name) for name in names + files)
    return found


def serves_a_phone():
    with quillo_sim.Phone(timeout=2) as phone:
        return phone.read_greeting(idle=0.05)


def wait_serving(timeout=30):
    harness.wait_until(harness.port_accepts, timeout, "the installed Tavrin.exe to serve port %d" % harness.PORT,
                       interval=0.1)


def clean_up(installation, desktop, build):
    """Whatever a failed run left: a running program, files, entries."""
    if harness.port_accepts():
        desktop.run_program(build.helper("postmsg.exe"), harness.WM_COMMAND, harness.EXIT_COMMAND, 0,
                            log=installation.folder / "cleanup.log")
        harness.wait_until(lambda: not harness.port_accepts(), 15, "the installed Tavrin.exe to exit",
                           interval=0.1)
    location = installation.location()
    if location:
        shutil.rmtree(installation.linux_path(location), ignore_errors=True)
    for shortcut in installation.shortcuts():
        shortcut.unlink()
    desktop.run("reg", "delete", UNINSTALL_KEY, "/f", log=installation.folder / "cleanup.log")
    desktop.reg_delete(RUN_KEY, "Tavrin")


def test_installer_round_trip(desktop, build, packages, session_observer, request):
    installer, archive = packages
    assert not harness.port_accepts(), "a Tavrin.exe from an earlier test still serves"
    installation = Installation(desktop, build, test_log_dir(request))
    attach_log(request, installation.folder / "run-1.log")
    clean_up(installation, desktop, build)
    before = files_under(desktop.drive_c())
    try:
        # Install: files, shortcut, uninstall entry, and the program started
        # with --install.
        assert installation.install(installer) == 0
        location = installation.location()
        assert location is not None, "no InstallLocation under %s" % UNINSTALL_KEY
        assert location.parts[-3:] == ("Local", "Programs", "Tavrin"), location
        folder = installation.linux_path(location)
        assert {p.name for p in folder.iterdir()} == INSTALLED
        with zipfile.ZipFile(archive) as package:
            zipped = {Path(name).name: package.read(name) for name in package.namelist()}
        assert set(zipped) == INSTALLED - {"Uninstall.exe"}
        for name, data in zipped.items():
            assert (folder / name).read_bytes() == data, "%s differs between the installer and the ZIP" % name
        shortcuts = installation.shortcuts()
        assert [s.name for s in shortcuts] == ["Tavrin.lnk"]
        assert str(location / "Tavrin.exe").encode() in shortcuts[0].read_bytes(), "the shortcut's target"
        uninstall = desktop.reg_query(UNINSTALL_KEY, "UninstallString")
        assert uninstall == ("REG_SZ", '"%s"' % (location / "Uninstall.exe"))

        wait_serving()
        run_value = harness.wait_until(lambda: desktop.reg_query(RUN_KEY, "Tavrin"), 10, "the Run value")
        assert run_value == ("REG_SZ", '"%s"' % (location / "Tavrin.exe"))
        with quillo_sim.Phone() as phone:
            assert phone.read_greeting(idle=0.05).endswith(b"\nversion 1. 5. 0. 0\n")
            view = session_observer.view()
            phone.send(quillo_sim.translate("press a")[0])
            view.sync(phone, rounds=1)
            assert view.events() == ["key 41 down", "key 41 up"]

        # Install again over the running program: it is stopped, replaced
        # and started anew.
        old = quillo_sim.Phone()
        old.read_greeting(idle=0.05)
        assert installation.install(installer) == 0
        old.sock.settimeout(15)
        try:
            ended = old.sock.recv(16) == b""
        except ConnectionResetError:
            ended = True
        assert ended, "the running Tavrin.exe was not stopped"
        old.close()
        wait_serving()
        assert serves_a_phone().startswith(b"system windows ")
        assert {p.name for p in folder.iterdir()} == INSTALLED

        # Uninstall. The uninstaller copies itself elsewhere and returns at
        # once; the folder goes last, so once it is gone the rest is done.
        assert installation.run(str(location / "Uninstall.exe"), "/S") == 0
        harness.wait_until(lambda: not folder.exists(), 30, "the uninstaller to remove %s" % folder, interval=0.1)
        harness.wait_until(lambda: not harness.port_accepts(), 5, "Tavrin.exe to stop serving")
        assert desktop.reg_query(RUN_KEY, "Tavrin") is None
        assert desktop.reg_query(UNINSTALL_KEY, "UninstallString") is None
        assert installation.shortcuts() == []
        # Only the uninstaller's copy of itself remains, in the temporary
        # folder: it cannot delete itself while it runs, and leaves that to
        # the next restart (as every NSIS uninstaller does).
        left = sorted(files_under(desktop.drive_c()) - before)
        copies = [p for p in left if "~nsu" in p]
        assert [p for p in left if p not in copies] == []
        pending = desktop.reg_query(r"HKLM\System\CurrentControlSet\Control\Session Manager",
                                    "PendingFileRenameOperations")
        for copy in copies:
            assert pending and copy.split("/")[-1] in pending[1], "%s is not deleted at the next restart" % copy
            shutil.rmtree(desktop.drive_c() / copy, ignore_errors=True)
    finally:
        clean_up(installation, desktop, build)
