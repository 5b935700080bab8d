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
import glob
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
            # The Linux stand-ins meet the Windows watchdog on its TCP ports.
            "TESSEL_LOOPBACK_TCP": "1",
        })
        self.watchdog_log = Log(self.file("watchdog.log"))
        self.driver_log = Log(self.file("driver.log"))
        self.viewer_log = Log(self.file("viewer.log"))
        self.linux_viewer_log = Log(self.file("linux-viewer.log"))
        # Wine's server and services up before the clock of any test runs.
        subprocess.run([WINE_RUN, "--start"], env=self.env, check=True, timeout=120)
        # Ended before the namespace is: a server killed with it would not
        # write the registry back, and the next test would read what this one
        # had undone (the Run key of an installation already removed).
        self.addCleanup(subprocess.run, [WINE_RUN, "--stop"], env=self.env, timeout=60)

    def tearDown(self):
        # CTest shows this only when the test fails.
        for log in (self.watchdog_log, self.driver_log, self.viewer_log, self.linux_viewer_log,
                    *map(Log, self.setup_logs())):
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

    def wait_until(self, condition, timeout=10):
        deadline = time.monotonic() + timeout
        while not condition():
            if time.monotonic() > deadline:
                return False
            time.sleep(0.1)
        return True

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

    def add_video_input_device(self, name, device_path):
        """A video input device that DirectShow lists, in this prefix's registry."""
        key = "HKCR\\CLSID\\{860BB310-5D01-11d0-BD3B-00A0C911CE86}\\Instance\\" + name
        for value, data in (("FriendlyName", name), ("DevicePath", device_path)):
            subprocess.run([WINE_RUN, "reg", "add", key, "/v", value, "/d", data, "/f"], env=self.env,
                           check=True, capture_output=True, timeout=60)
        self.addCleanup(subprocess.run, [WINE_RUN, "reg", "delete", key, "/f"], env=self.env,
                        capture_output=True, timeout=60)

    def test_device_and_power_messages_reach_the_notification_window(self):
        # A webcam that is not the camera: every scan writes a line for it.
        self.add_video_input_device(
            "Other Webcam", "\\\\?\\usb#vid_046d&pid_0825&mi_00#6&2b1b3e1&0&0000#"
                            "{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global")
        scanned = "Video Device Interface filePath =>"
        self.start_driver()
        self.start_watchdog_and_wait()
        self.start_linux_viewer()
        at_start = self.watchdog_log.count(scanned)
        self.assertGreaterEqual(at_start, 1, "the start-up scan does not see the webcam")
        # A HID interface comes and goes that is not the camera: each message
        # makes the window scan, which finds no camera, and the program
        # carries on.
        for event in ("arrive", "remove"):
            self.wine("winetool.exe", event)
            self.assertTrue(self.wait_until(lambda: self.watchdog_log.count(scanned) > at_start),
                            f"no scan after {event}")
            at_start = self.watchdog_log.count(scanned)
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

    INSTALLED = ("tesselwatchdogapplication.exe", "ZentraUpdater.exe", "Brivara Tessel.xml",
                 "BrivaraDriver_Fedora.xml", "ding.wav", "qt.conf", "Qt6Core.dll", "Qt6Gui.dll", "Qt6Widgets.dll",
                 "Qt6Xml.dll", "libstdc++-6.dll", "libgcc_s_seh-1.dll", "libwinpthread-1.dll",
                 "platforms/qwindows.dll", "styles/qwindowsvistastyle.dll", "Uninstall.exe")
    INSTALL_DIR = "C:\\Program Files\\Brivara\\Tessel"
    RUN_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"
    UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tessel"

    def setup_logs(self):
        """The setup's own log, TesselSetup.log in the temporary folder of the user who ran it."""
        return glob.glob(os.path.join(os.environ["TESSEL_WINEPREFIX"], "drive_c", "users", "*", "**",
                                      "TesselSetup.log"), recursive=True)

    def registry_value(self, key, name):
        result = subprocess.run([WINE_RUN, "reg", "query", key, "/v", name], env=self.env,
                                capture_output=True, text=True, timeout=60)
        return result.stdout if result.returncode == 0 else None

    def install_folder(self, *names):
        return os.path.join(os.environ["TESSEL_WINEPREFIX"], "drive_c", "Program Files", "Brivara", "Tessel", *names)

    def run_setup(self, *arguments):
        setup = os.environ.get("TESSEL_SETUP", "")
        self.assertTrue(os.path.isfile(setup), "TesselSetup.exe was not built")
        return subprocess.run([WINE_RUN, setup, "/S", *arguments], env=self.env, timeout=300).returncode

    def run_uninstaller(self):
        return subprocess.run([WINE_RUN, self.INSTALL_DIR + "\\Uninstall.exe", "/S"], env=self.env,
                              timeout=120).returncode

    def uninstall(self):
        """The uninstaller runs on from a copy of itself: its end shows as its own file going."""
        self.assertEqual(self.run_uninstaller(), 0)
        self.assertTrue(self.wait_until(lambda: not os.path.exists(self.install_folder("Uninstall.exe")), 60))

    def remove_installation_afterwards(self):
        """Whatever happens, the next test's prefix has nothing installed and no watchdog that starts at logon.
        Done now as well, should a test before this one have been cut short."""
        def remove():
            for log in self.setup_logs():
                os.remove(log)
            if os.path.exists(self.install_folder("Uninstall.exe")):
                self.run_uninstaller()
                self.wait_until(lambda: not os.path.exists(self.install_folder("Uninstall.exe")), 60)
            shutil.rmtree(self.install_folder(), ignore_errors=True)
            for key, value in ((self.RUN_KEY, ["/v", "TesselWatchdog"]), (self.UNINSTALL_KEY, [])):
                subprocess.run([WINE_RUN, "reg", "delete", key, *value, "/f"], env=self.env, capture_output=True,
                               timeout=60)
        remove()
        self.addCleanup(remove)

    def start_fake_updater(self, folder, name):
        """A program that runs as folder/ZentraUpdater.exe until the test ends (folder as wine names it)."""
        program = os.path.join(folder, "ZentraUpdater.exe")
        shutil.copy(os.path.join(WINDOWS_BIN, "platform_test_helper.exe"), program)
        marker = self.file(name + "-running")
        env = dict(self.env, TESSEL_TEST_MARKER=windows_path(marker))
        self.start([WINE_RUN, program, "--hold", name], self.file(name + ".log"), env)
        self.assertTrue(self.wait_until(lambda: os.path.exists(marker), START_TIMEOUT))
        return self.programs[-1]

    def test_the_setup_ends_a_watchdog_of_its_session_that_has_no_window_to_ask(self):
        """One whose session-end window could not be made would otherwise stop every setup."""
        program = self.file("tesselwatchdogapplication.exe")
        shutil.copy(os.path.join(WINDOWS_BIN, "platform_test_helper.exe"), program)
        marker = self.file("watchdog-running")
        env = dict(self.env, TESSEL_TEST_MARKER=windows_path(marker))
        # It holds on for 30 s at most: far longer than the helper's rounds.
        windowless = self.start([WINE_RUN, program, "--hold", "tessel_windowless_watchdog"],
                                self.file("windowless.log"), env)
        self.assertTrue(self.wait_until(lambda: os.path.exists(marker), START_TIMEOUT))

        output = self.wine("TesselSetupHelper.exe", "end-watchdogs", timeout=120)
        self.assertRegex(output, r"watchdog \d+ had no window to ask: ended by force")
        self.assertEqual(self.wine("winetool.exe", "count", "tesselwatchdogapplication.exe"), "0")
        self.assertIsNotNone(self.wait_for_exit(windowless))

    def test_the_installer_puts_everything_in_place_and_the_uninstaller_takes_it_away(self):
        self.remove_installation_afterwards()
        self.start_driver()
        self.assertEqual(self.run_setup(), 0)
        for name in self.INSTALLED:
            self.assertTrue(os.path.isfile(self.install_folder(name)), name)
        self.assertIn('"C:\\Program Files\\Brivara\\Tessel\\tesselwatchdogapplication.exe"',
                      self.registry_value(self.RUN_KEY, "TesselWatchdog") or "")
        # The setup started the installed watchdog from its new folder, with
        # nothing but the installed files: it registers with the driver.
        self.assertIsNotNone(self.driver_log.wait_for("request ADD_OEM_BUTTON length=4 buttonId=23",
                                                      START_TIMEOUT))
        # Started through the desktop's shell (wine has no elevation to
        # leave behind, so only the start itself shows here).
        self.assertEqual(self.wine("winetool.exe", "count", "tesselwatchdogapplication.exe"), "1")

        self.uninstall()
        self.assertTrue(self.wait_until(lambda: not os.path.exists(self.install_folder()), 30),
                        os.listdir(self.install_folder()) if os.path.exists(self.install_folder()) else "")
        self.assertIsNone(self.registry_value(self.RUN_KEY, "TesselWatchdog"))
        self.assertEqual(self.wine("winetool.exe", "count", "tesselwatchdogapplication.exe"), "0")

    def test_an_install_over_a_running_one_replaces_it_and_one_watchdog_runs(self):
        self.remove_installation_afterwards()
        self.start_driver()
        self.assertEqual(self.run_setup(), 0)
        first = self.driver_log.wait_for("request ADD_OEM_BUTTON length=4 buttonId=23", START_TIMEOUT)
        self.assertIsNotNone(first)
        with open(self.install_folder("ding.wav"), "wb") as damaged:
            damaged.write(b"not a sound")
        with open(self.install_folder("notes.txt"), "w") as own:
            own.write("the user's own file\n")

        self.assertEqual(self.run_setup(), 0)
        with open(self.install_folder("ding.wav"), "rb") as installed, \
                open(os.path.join(WINDOWS_BIN, "ding.wav"), "rb") as built:
            self.assertEqual(installed.read(), built.read())
        # The running watchdog ended as at log-off (no fresh copy of its
        # own), and the setup started the new one, which registers anew.
        self.assertIsNotNone(self.driver_log.wait_for("request ADD_MENU_ITEM", START_TIMEOUT, first + 1))
        self.assertTrue(self.wait_until(
            lambda: self.wine("winetool.exe", "count", "tesselwatchdogapplication.exe") == "1", 20))
        time.sleep(2)
        self.assertEqual(self.wine("winetool.exe", "count", "tesselwatchdogapplication.exe"), "1")

        # Exactly what was installed goes; the user's file stays.
        self.uninstall()
        self.assertTrue(self.wait_until(lambda: os.listdir(self.install_folder()) == ["notes.txt"], 30),
                        os.listdir(self.install_folder()))
        self.assertIsNone(self.registry_value(self.RUN_KEY, "TesselWatchdog"))
        self.assertEqual(self.wine("winetool.exe", "count", "tesselwatchdogapplication.exe"), "0")

    def test_the_installer_takes_only_its_own_folder_and_waits_for_a_running_updater(self):
        self.remove_installation_afterwards()
        elsewhere = os.path.join(os.environ["TESSEL_WINEPREFIX"], "drive_c", "Tessel")
        self.addCleanup(shutil.rmtree, elsewhere, ignore_errors=True)
        self.assertNotEqual(self.run_setup("/D=C:\\Tessel"), 0)
        self.assertFalse(os.path.exists(elsewhere))

        # A folder of the same name that holds someone else's files.
        os.makedirs(self.install_folder())
        with open(self.install_folder("other.dll"), "wb") as other:
            other.write(b"another program's library")
        self.assertNotEqual(self.run_setup(), 0)
        self.assertEqual(os.listdir(self.install_folder()), ["other.dll"])
        self.assertIsNone(self.registry_value(self.RUN_KEY, "TesselWatchdog"))
        shutil.rmtree(self.install_folder())

        # A program named ZentraUpdater.exe elsewhere, which any user may
        # start, holds nothing up.
        self.start_fake_updater(self.folder, "tessel_other_updater")
        self.assertEqual(self.run_setup(), 0)
        self.assertTrue(os.path.isfile(self.install_folder("tesselwatchdogapplication.exe")))

        # The installed updater running stops the next setup before it
        # changes anything.
        os.remove(self.install_folder("ZentraUpdater.exe"))
        self.start_fake_updater(self.install_folder(), "tessel_installed_updater")
        with open(self.install_folder("ding.wav"), "wb") as damaged:
            damaged.write(b"not a sound")
        self.assertNotEqual(self.run_setup(), 0)
        with open(self.install_folder("ding.wav"), "rb") as kept:
            self.assertEqual(kept.read(), b"not a sound")


if __name__ == "__main__":
    missing = [name for name, value in (("TESSEL_WINE_RUN", WINE_RUN), ("TESSEL_WINDOWS_BIN", WINDOWS_BIN),
                                        ("TESSEL_LINUX_BIN", LINUX_BIN)) if not value]
    if missing:
        sys.exit("missing environment: " + ", ".join(missing))
    unittest.main()
