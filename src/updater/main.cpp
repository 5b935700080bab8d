// ZentraUpdater: prints the camera's firmware version, backs the firmware
// up, or checks a firmware image and writes it to the camera.
#include "Console.h"
#include "LoadedControlLibrary.h"
#include "SleepGuard.h"
#include "ZentraUpdater.h"
#include "platform/FilterRegistration.h"
#include "platform/Modules.h"
#include "platform/StandardStreams.h"

#include <string>
#include <vector>

int main(int argc, char **argv)
{
    // Before anything is loaded by name: COM's and the shell's own loads
    // included, nothing comes from the current folder or PATH.
    platform::restrictModuleSearch();
    // The texts are the same bytes on every system; Windows would turn each
    // line feed into CR LF on the way out.
    platform::useBinaryStandardStreams();

    updater::StandardConsole console;
    const auto modules = platform::createModuleLoader();
    updater::LoadedControlLibrary library(*modules);
    std::string problem;
    if (!library.load(problem)) {
        console.err(problem + "\n");
        return updater::EXIT_FAILED;
    }
    const auto filter = platform::createFilterRegistration();
    updater::UpdaterServices services(console, library, *filter);
    services.keepAwake = [] {
        return platform::createKeepAwake(updater::SleepGuard::WHO, updater::SleepGuard::WHY);
    };
    updater::ZentraUpdater program(services);
    return program.run(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
}
