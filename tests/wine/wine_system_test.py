#!/usr/bin/python3
"""The Windows watchdog as a whole program under wine.

Each test runs in network, pid and mount namespaces of its own (CTest starts
it through unshare), so the fixed ports 800 and 1933 are real, the wine
server of the test's prefix lives only as long as the test, and nothing
outlives it. The peers are the Linux stand-ins (wine's sockets are the
host's); the viewer that the watchdog starts itself is the Windows viewer
tessel.exe, so that the start and the process-list look-ups are real.

Environment (set by CTest): TESSEL_WINE_RUN (the build's wine-run),
TESSEL_WINEPREFIX (the prefix of these tests), TESSEL_WINDOWS_BIN (the
Windows programs) and TESSEL_LINUX_BIN (the Linux stand-ins).
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

WINE_RUN = os.environ.get("TESSEL_WINE_RUN", "")
WINDOWS_BIN = os.environ.get("TESSEL_WINDOWS_BIN", "")
LINUX_BIN = os.environ.get("TESSEL_LINUX_BIN", "")

BUTTONS = "93,116,139,162,94,117,140,163,95,118,141,164,96,23"
# Wine's start-up in a fresh server is slow on a busy machine.
START_TIMEOUT = 60


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


class Log:
    def __init__(self, path):
        self.path = path

    def lines(self):
        try:
            with open(self.path, encoding="utf-8", errors="replace") as f:
                return [line.rstrip("\r\n") for line in f]
        except FileNotFoundError:
            return []

    def find(self, text, start=0):
        for index, line in enumerate(self.lines()[start:], start):
            if text in line:
                return index
        return None

    def wait_for(self, text, timeout=15, start=0):
        deadline = time.monotonic() + timeout
        while True:
            found = self.find(text, start)
            if found is not None or time.monotonic() > deadline:
                return found
            time.sleep(0.1)

    def count(self, text):
        return sum(text in line for line in self.lines())


class WatchdogUnderWine(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="tessel-wine-")
        self.addCleanup(shutil.rmtree, self.folder, ignore_errors=True)
        self.programs = []
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
        self.env = dict(os.environ)
        self.env.update({
            "TESSEL_WINEPREFIX": os.environ["TESSEL_WINEPREFIX"],
            # Host QT_* variables do not reach a program under wine; these do.
            "WINEQT_FORCE_STDERR_LOGGING": "1",
            "LC_ALL": "en_US.UTF-8",
            "TESSEL_WINE_VIEWER_LOG": windows_path(self.file("viewer.log")),
        })
        self.watchdog_log = Log(self.file("watchdog.log"))
        self.driver_log = Log(self.file("driver.log"))
        self.viewer_log = Log(self.file("viewer.log"))
        self.linux_viewer_log = Log(self.file("linux-viewer.log"))
        # Wine's server and services up before the clock of any test runs.
        subprocess.run([WINE_RUN, "--start"], env=self.env, check=True, timeout=120)

    def tearDown(self):
        # CTest shows this only when the test fails.
        for log in (self.watchdog_log, self.driver_log, self.viewer_log, self.linux_viewer_log):
            print(f"---- {log.path}")
            print("\n".join(log.lines()))
        for program in reversed(self.programs):
            if program.poll() is None:
                program.kill()
                program.wait()

    def file(self, name):
        return os.path.join(self.folder, name)

    def start(self, command, log, env=None):
        output = open(log, "ab")
        program = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=output, stderr=output,
                                   env=env or self.env, cwd=self.folder)
        output.close()
        self.programs.append(program)
        return program

    def wine(self, *arguments, timeout=60):
        """Runs a Windows program of the build to its end; its output."""
        result = subprocess.run([WINE_RUN, os.path.join(WINDOWS_BIN, arguments[0]), *arguments[1:]],
                                env=self.env, capture_output=True, text=True, timeout=timeout)
        self.assertEqual(result.returncode, 0, f"{arguments}: {result.stdout} {result.stderr}")
        return result.stdout.strip()

    def start_driver(self):
        start = len(self.driver_log.lines())
        self.driver = self.start([os.path.join(LINUX_BIN, "brivaradriver"), "--keep-running", "--control",
                                  self.file("driver.ctl"), "--output", self.file("driver.log")],
                                 self.file("driver.stderr"))
        self.assertIsNotNone(self.driver_log.wait_for("brivaradriver: listening", 10, start))

    def driver_does(self, command):
        with open(self.file("driver.ctl"), "w") as fifo:
            fifo.write(command + "\n")

    def start_watchdog(self, env=None, log="watchdog.log"):
        program = self.start([WINE_RUN, os.path.join(WINDOWS_BIN, "tesselwatchdogapplication.exe")],
                             self.file(log), env)
        return program

    def start_watchdog_and_wait(self):
        self.watchdog = self.start_watchdog()
        self.assertIsNotNone(self.watchdog_log.wait_for("<WDServer::run()> Socket bind successfully.",
                                                        START_TIMEOUT))

    def start_linux_viewer(self, *options):
        self.start([os.path.join(LINUX_BIN, "tessel"), "--keep-running", "--control", self.file("viewer.ctl"),
                    "--output", self.file("linux-viewer.log"), *options], self.file("linux-viewer.stderr"))
        self.assertIsNotNone(self.linux_viewer_log.wait_for("tessel: connected", 10))

    def viewer_does(self, command):
        with open(self.file("viewer.ctl"), "w") as fifo:
            fifo.write(command + "\n")

    def wait_for_exit(self, program, timeout=20):
        try:
            return program.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    # ---- the driver -----------------------------------------------------

    def test_the_menu_item_arrives_before_the_fourteen_buttons(self):
        self.start_driver()
        self.start_watchdog_and_wait()
        item = self.driver_log.wait_for(
            'request ADD_MENU_ITEM length=144 flag=1 itemId=0 caption="Turn on Tessel"', START_TIMEOUT)
        self.assertIsNotNone(item)
        first = self.driver_log.wait_for("request ADD_OEM_BUTTON length=4 buttonId=93")
        last = self.driver_log.wait_for("request ADD_OEM_BUTTON length=4 buttonId=23")
        self.assertIsNotNone(first)
        self.assertIsNotNone(last)
        self.assertLess(item, first)
        self.driver_does("status")
        self.assertIsNotNone(self.driver_log.wait_for("status buttons=" + BUTTONS))

    def test_a_driver_that_drops_the_connection_is_reconnected_and_given_its_items_again(self):
        self.start_driver()
        self.start_watchdog_and_wait()
        self.assertIsNotNone(self.driver_log.wait_for("buttonId=23", START_TIMEOUT))
        self.driver_does("drop")
        self.assertIsNotNone(self.watchdog_log.wait_for("<WatchDogController::bvdApiDisconnected()> reason:  -1"))
        dropped = len(self.driver_log.lines())
        # Within one check period (10 s) and its pause.
        item = self.driver_log.wait_for("request ADD_MENU_ITEM", 20, dropped)
        self.assertIsNotNone(item)
        self.assertIsNotNone(self.driver_log.wait_for("buttonId=23", 10, item))
        self.driver_does("status")
        self.assertIsNotNone(self.driver_log.wait_for("status buttons=" + BUTTONS, 10, item))
        self.assertEqual(self.watchdog_log.count("<WatchDogController::bvdApiDisconnected()> reason:  -1"), 1)

    # ---- the viewer -----------------------------------------------------

    def test_viewer_requests_are_answered(self):
        self.start_driver()
        self.start_watchdog_and_wait()
        self.start_linux_viewer()
        self.viewer_does("request 563")
        self.assertIsNotNone(
            self.linux_viewer_log.wait_for("tessel: received request=0 command=563 LED_STATUS state=0"))
        # No camera under wine: the list is empty, and it still comes back.
        self.viewer_does("request 564")
        self.assertIsNotNone(self.linux_viewer_log.wait_for(
            "tessel: received request=0 command=564 VIDEO_DEVICE_LIST state=0 deviceCount=0"))
        # OEM buttons from the driver reach the viewer, one per quiet time.
        time.sleep(0.7)
        self.driver_does("oem 164")
        self.assertIsNotNone(self.linux_viewer_log.wait_for("tessel: received request=1 command=164 - state=0"))
        # A second press inside the 600 ms quiet time is dropped.
        self.driver_does("oem 163")
        time.sleep(1.5)
        self.driver_does("oem 162")
        self.assertIsNotNone(self.linux_viewer_log.wait_for("tessel: received request=1 command=162 - state=0"))
        self.assertIsNone(self.linux_viewer_log.find("command=163"))

    def test_a_click_starts_the_windows_viewer_and_its_coming_and_going_flips_the_caption(self):
        self.start_driver()
        self.start_watchdog_and_wait()
        self.assertIsNotNone(self.driver_log.wait_for("buttonId=23", START_TIMEOUT))
        self.driver_does("click")
        # Started through the shell from the watchdog's folder, it connects.
        self.assertIsNotNone(self.viewer_log.wait_for("tessel.exe: connected", 30))
        removed = self.driver_log.wait_for("request REMOVE_MENU_ITEM length=144 flag=1 itemId=1")
        added = self.driver_log.wait_for(
            'request ADD_MENU_ITEM length=144 flag=1 itemId=0 caption="Turn off Tessel"')
        self.assertIsNotNone(removed)
        self.assertIsNotNone(added)
        self.assertLess(removed, added)
        self.assertEqual(self.wine("winetool.exe", "count", "tessel.exe"), "1")

        # The next click finds the viewer in the process list and asks it to
        # turn off; it answers and ends, and the caption flips back.
        self.driver_does("click")
        self.assertIsNotNone(self.viewer_log.wait_for("tessel.exe: received request=1 command=93", 15))
        self.assertIsNotNone(self.viewer_log.wait_for("tessel.exe: exiting reason=turned-off"))
        self.assertIsNotNone(self.driver_log.wait_for('caption="Turn on Tessel"', 15, added))
        self.assertEqual(self.viewer_log.count("tessel.exe: connected"), 1)

    # ---- one copy a session, and the session's end ----------------------

    def test_a_second_copy_shows_the_box_and_leaves_the_first_alone(self):
        self.start_watchdog_and_wait()
        second = self.start_watchdog(log="second.log")
        second_log = Log(self.file("second.log"))
        # The box's title is logged before the box blocks.
        self.assertIsNotNone(second_log.wait_for("Tessel Watchdog", START_TIMEOUT))
        self.assertEqual(self.wine("winetool.exe", "count", "tesselwatchdogapplication.exe"), "2")
        self.wine("winetool.exe", "close-box", "Tessel Watchdog")
        self.assertEqual(self.wait_for_exit(second), 0)
        self.assertIsNone(second_log.find("startCommunications"))
        self.assertIsNone(self.watchdog.poll())
        self.assertEqual(self.wine("winetool.exe", "count", "tesselwatchdogapplication.exe"), "1")

    def test_the_end_of_the_session_stops_the_watchdog_for_good(self):
        self.start_driver()
        self.start_watchdog_and_wait()
        self.wine("winetool.exe", "end-session")
        self.assertEqual(self.wait_for_exit(self.watchdog), 0)
        self.assertIsNotNone(self.watchdog_log.find(
            "<WatchDogController::~WatchDogController()> session ends: no fresh copy."))
        self.assertEqual(self.wine("winetool.exe", "count", "tesselwatchdogapplication.exe"), "0")

    def test_an_ending_watchdog_starts_its_fresh_copy_which_takes_over(self):
        self.start_driver()
        self.start_watchdog_and_wait()
        first_item = self.driver_log.wait_for("request ADD_MENU_ITEM", START_TIMEOUT)
        self.assertIsNotNone(first_item)
        self.wine("winetool.exe", "quit")
        self.assertEqual(self.wait_for_exit(self.watchdog), 0)
        self.assertIsNotNone(self.watchdog_log.find("<WatchDogController::~WatchDogController()> Exit."))
        # The copy started from the program's folder gets the session's lock
        # that the old one released, and registers with the driver again.
        second_item = self.driver_log.wait_for("request ADD_MENU_ITEM", START_TIMEOUT, first_item + 1)
        self.assertIsNotNone(second_item)
        self.assertIsNotNone(self.driver_log.wait_for("buttonId=23", 15, second_item))
        self.assertEqual(self.wine("winetool.exe", "count", "tesselwatchdogapplication.exe"), "1")

    # ---- texts ----------------------------------------------------------

    def check_caption_for_locale(self, locale, caption):
        self.env["LC_ALL"] = locale
        self.start_driver()
        self.start_watchdog_and_wait()
        self.assertIsNotNone(self.driver_log.wait_for(
            f'request ADD_MENU_ITEM length=144 flag=1 itemId=0 caption="{caption}"', START_TIMEOUT))

    def test_german_texts_under_a_german_locale(self):
        self.check_caption_for_locale("de_DE.UTF-8", "Tessel einschalten")

    def test_french_texts_under_a_french_locale(self):
        self.check_caption_for_locale("fr_FR.UTF-8", "Activer Tessel")

    # ---- device and power messages --------------------------------------

    def test_device_and_power_messages_reach_the_notification_window(self):
        self.start_driver()
        self.start_watchdog_and_wait()
        self.start_linux_viewer()
        # A HID interface comes and goes that is not the camera: the scan
        # runs, finds no camera, and the program carries on.
        self.wine("winetool.exe", "arrive")
        self.wine("winetool.exe", "remove")
        self.assertIsNone(self.watchdog_log.find("camera connected"))
        self.assertIsNone(self.watchdog_log.find("device removal"))
        # Resume rescans and reopens nothing without a camera.
        self.wine("winetool.exe", "resume")
        resumed = self.watchdog_log.wait_for("Windows Event: PBT_APMRESUMESUSPEND")
        self.assertIsNotNone(resumed)
        self.assertIsNotNone(self.watchdog_log.wait_for("serverInstance->bOurProduct:  false", 5, resumed))
        self.assertIsNone(self.linux_viewer_log.find("CAMERA_READY"))
        # Still serving.
        self.viewer_does("request 563")
        self.assertIsNotNone(
            self.linux_viewer_log.wait_for("tessel: received request=0 command=563 LED_STATUS state=0"))
        self.assertIsNone(self.watchdog.poll())

    # ---- the installer --------------------------------------------------

    def registry_value(self, key, name):
        result = subprocess.run([WINE_RUN, "reg", "query", key, "/v", name], env=self.env,
                                capture_output=True, text=True, timeout=60)
        return result.stdout if result.returncode == 0 else None

    def test_the_installer_puts_everything_in_place_and_the_uninstaller_takes_it_away(self):
        setup = os.environ.get("TESSEL_SETUP", "")
        self.assertTrue(os.path.isfile(setup), "TesselSetup.exe was not built")
        folder = os.path.join(os.environ["TESSEL_WINEPREFIX"], "drive_c", "Program Files", "Brivara", "Tessel")
        uninstaller = "C:\\Program Files\\Brivara\\Tessel\\Uninstall.exe"
        run_key = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"
        # Whatever happens, the prefix of the next test has no watchdog that
        # starts at logon.
        self.addCleanup(subprocess.run, [WINE_RUN, uninstaller, "/S"], env=self.env, timeout=120)

        self.start_driver()
        self.assertEqual(subprocess.run([WINE_RUN, setup, "/S"], env=self.env, timeout=300).returncode, 0)
        for name in ("tesselwatchdogapplication.exe", "ZentraUpdater.exe", "Brivara Tessel.xml", "ding.wav",
                     "qt.conf", "Qt6Core.dll", "Qt6Gui.dll", "Qt6Widgets.dll", "Qt6Xml.dll", "libstdc++-6.dll",
                     "platforms/qwindows.dll", "Uninstall.exe"):
            self.assertTrue(os.path.isfile(os.path.join(folder, name)), name)
        self.assertIn('"C:\\Program Files\\Brivara\\Tessel\\tesselwatchdogapplication.exe"',
                      self.registry_value(run_key, "TesselWatchdog") or "")
        # The installer started the installed watchdog from its new folder,
        # with nothing but the installed files: it registers with the driver.
        self.assertIsNotNone(self.driver_log.wait_for("request ADD_OEM_BUTTON length=4 buttonId=23",
                                                      START_TIMEOUT))
        self.assertEqual(self.wine("winetool.exe", "count", "tesselwatchdogapplication.exe"), "1")

        # The uninstaller runs from a copy of itself, so its end is awaited
        # by what it leaves behind.
        self.assertEqual(subprocess.run([WINE_RUN, uninstaller, "/S"], env=self.env, timeout=120).returncode, 0)
        deadline = time.monotonic() + 60
        while os.path.exists(folder) and time.monotonic() < deadline:
            time.sleep(0.2)
        self.assertFalse(os.path.exists(folder), os.listdir(folder) if os.path.exists(folder) else "")
        self.assertIsNone(self.registry_value(run_key, "TesselWatchdog"))
        self.assertEqual(self.wine("winetool.exe", "count", "tesselwatchdogapplication.exe"), "0")


if __name__ == "__main__":
    missing = [name for name, value in (("TESSEL_WINE_RUN", WINE_RUN), ("TESSEL_WINDOWS_BIN", WINDOWS_BIN),
                                        ("TESSEL_LINUX_BIN", LINUX_BIN)) if not value]
    if missing:
        sys.exit("missing environment: " + ", ".join(missing))
    unittest.main()
