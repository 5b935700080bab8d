// TesselSetupHelper.exe: what TesselSetup.exe and its uninstaller ask of
// Windows beyond NSIS, run from the setup's temporary folder (it is never
// installed). Each command says on standard output what it did:
//   end-watchdogs            ends this session's watchdogs as a log-off
//                            does; exit 0 when none is left, 1 otherwise
//   start-unelevated PATH    starts PATH (the watchdog) as the logged-on
//                            user, without elevation, and watches it come
//                            up; exit 0 started and up, 2 nobody to start
//                            it for, 1 failed or not up
//   running PATH             exit 1 when the program file PATH runs in
//                            any session, 0 when it does not, 2 when the
//                            running programs cannot be read
// Bad arguments exit 3.
#include "ComApartment.h"
#include "ProgramLocations.h"
#include "RunningProgram.h"
#include "SessionWatchdogs.h"
#include "ShellStart.h"
#include "platform/Modules.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

using namespace setup_helper;

// How long the start is watched for the log: a watchdog on a busy machine
// is up within a few seconds.
constexpr DWORD StartCheckMs = 20000;

int startUnelevated(const std::wstring &program)
{
    if (!interactiveUser()) {
        std::printf("no user is logged on to this session: the watchdog starts at the next logon\n");
        return 2;
    }
    const platform::win32_backend::ComApartment com;
    if (!com.usable())
        return 1;
    const HRESULT result = startThroughShell(program);
    if (FAILED(result)) {
        if (!setupRightsAreTheUsers()) {
            std::printf("the desktop's shell did not start the watchdog (0x%08lx): it starts at the next logon\n",
                        static_cast<unsigned long>(result));
            return 1;
        }
        if (!startDirectly(program)) {
            std::printf("the desktop's shell did not start the watchdog (0x%08lx), and neither did a direct start"
                        " (error %lu): it starts at the next logon\n",
                        static_cast<unsigned long>(result), GetLastError());
            return 1;
        }
        std::printf("the desktop's shell did not start the watchdog (0x%08lx); started directly, with the"
                    " setup's rights, which are the user's\n",
                    static_cast<unsigned long>(result));
    } else {
        std::printf("started as the user of this session\n");
    }
    return awaitSessionWatchdog(stdout, StartCheckMs) ? 0 : 1;
}

int reportRunning(const std::wstring &path)
{
    const auto running = processesRunning(path, stdout);
    if (!running) {
        std::printf("the running programs cannot be read\n");
        return 2;
    }
    for (const DWORD process : *running)
        std::printf("%ls runs as process %lu\n", path.c_str(), process);
    return running->empty() ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    // It runs elevated, from the setup's temporary folder: nothing may be
    // loaded from there, the current folder or PATH.
    platform::restrictModuleSearch();
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (argc == 2 && command == L"end-watchdogs")
        return endSessionWatchdogs(stdout) ? 0 : 1;
    if (argc == 3 && command == L"start-unelevated")
        return startUnelevated(argv[2]);
    if (argc == 3 && command == L"running" && platform::win32_backend::isAbsolutePath(argv[2]))
        return reportRunning(argv[2]);
    std::fprintf(stderr, "usage: TesselSetupHelper end-watchdogs | start-unelevated PATH | running PATH\n");
    return 3;
}
