#include "support/TestPlatform.h"

#include "TlxuvcGuid.h"
#include "platform/ProgramFile.h"

#include <windows.h>
#include <objbase.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <stdexcept>

namespace updater_tests {

const char *const UPDATER_PROGRAM = "ZentraUpdater.exe";
const char *const CONTROL_LIBRARY = "ZentraSw.dll";
const char *const FILTER_MODULE = "tlxuvc.ax";
const char *const TEXT_LINE_END = "\r\n";
const char *const LIBRARY_PLACES = "beside the program or where the camera's software registered its filter";
// SetThreadExecutionState does not fail.
const char *const NOT_KEPT_AWAKE = "";

namespace {

constexpr DWORD CHILD_TIME_LIMIT_MS = 60000;

// Quotes an argument the way the C runtime splits a command line again.
std::string quoted(const std::string &argument)
{
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos)
        return argument;
    std::string text = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        text.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        text += c;
    }
    text.append(backslashes * 2, '\\');
    return text + "\"";
}

std::string environmentBlock(const Environment &additions)
{
    struct NoCase
    {
        bool operator()(const std::string &a, const std::string &b) const { return _stricmp(a.c_str(), b.c_str()) < 0; }
    };
    std::map<std::string, std::string, NoCase> variables;
    char *strings = GetEnvironmentStringsA();
    for (const char *entry = strings; *entry; entry += std::strlen(entry) + 1) {
        const char *equals = std::strchr(entry + 1, '='); // "=C:=C:\..." entries start with '='
        if (equals)
            variables[std::string(entry, equals)] = equals + 1;
    }
    FreeEnvironmentStringsA(strings);
    for (const auto &[name, value] : additions)
        variables[name] = value;

    std::string block;
    for (const auto &[name, value] : variables)
        block += name + "=" + value + '\0';
    return block + '\0';
}

// Reads what the pipe holds now, without waiting for more.
void readAvailable(HANDLE pipe, std::string &into)
{
    DWORD available = 0;
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        char buffer[4096];
        DWORD got = 0;
        if (!ReadFile(pipe, buffer, available < sizeof buffer ? available : sizeof buffer, &got, nullptr) || got == 0)
            return;
        into.append(buffer, got);
    }
}

using tlxuvc::toGuid;

bool filterClassCreatable()
{
    const bool session = SUCCEEDED(CoInitialize(nullptr));
    IUnknown *filter = nullptr;
    const HRESULT result = CoCreateInstance(toGuid(tlxuvc::FILTER_CLASS), nullptr, CLSCTX_INPROC_SERVER,
                                            toGuid(tlxuvc::FILTER_INTERFACE), reinterpret_cast<void **>(&filter));
    if (filter)
        filter->Release();
    if (session)
        CoUninitialize();
    return result == S_OK;
}

void runRegsvr32(const std::string &arguments)
{
    ChildCommand command;
    command.program = "C:\\windows\\system32\\regsvr32.exe";
    command.arguments = {"/s"};
    if (!arguments.empty())
        command.arguments.push_back(arguments);
    command.arguments.push_back((runtimeDirectory() / FILTER_MODULE).string());
    runChild(command);
}

} // namespace

ChildResult runChild(const ChildCommand &command)
{
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
    if (!CreatePipe(&outRead, &outWrite, &inheritable, 0) || !CreatePipe(&errRead, &errWrite, &inheritable, 0))
        throw std::runtime_error("CreatePipe failed");
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);

    std::string commandLine = quoted(command.program.string());
    for (const auto &argument : command.arguments)
        commandLine += " " + quoted(argument);
    std::string environment = environmentBlock(command.environment);
    const std::string directory = command.workingDirectory.string();

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessA(command.program.string().c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                        0, environment.data(), directory.empty() ? nullptr : directory.c_str(),
                                        &startup, &process);
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    ChildResult result;
    if (!started) {
        CloseHandle(outRead);
        CloseHandle(errRead);
        throw std::runtime_error("CreateProcess failed for " + command.program.string());
    }

    // The pipes are read until the program has ended rather than until they
    // close: a process the program started (wine's desktop process, say)
    // may inherit them and keep them open long after.
    const ULONGLONG deadline = GetTickCount64() + CHILD_TIME_LIMIT_MS;
    for (bool ended = false; !ended;) {
        ended = WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0;
        if (!ended && GetTickCount64() > deadline) {
            TerminateProcess(process.hProcess, 255);
            ended = WaitForSingleObject(process.hProcess, INFINITE) == WAIT_OBJECT_0;
        }
        // After the end, everything the program wrote is in the pipes.
        readAvailable(outRead, result.out);
        readAvailable(errRead, result.err);
    }
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    result.exitStatus = static_cast<int>(status);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(outRead);
    CloseHandle(errRead);
    return result;
}

std::filesystem::path runtimeDirectory()
{
    const auto self = platform::programFilePath();
    if (!self)
        throw std::runtime_error("cannot tell the test program's own path");
    return std::filesystem::path(*self).parent_path();
}

void setEnvironmentVariable(const std::string &name, const std::string &value)
{
    _putenv_s(name.c_str(), value.c_str());
}

// On Windows the filter is in place when its COM class is registered, and
// the updater registers the one beside itself. Commands named regsvr32 in
// its current folder, where the command interpreter would look first, log
// a line if anything ever runs them.
Environment arrangeFilter(const SandboxFolders &folders, FilterSetup setup)
{
    if (setup == FilterSetup::InPlace) {
        if (!filterClassCreatable())
            runRegsvr32("");
    } else {
        runRegsvr32("/u");
        std::filesystem::copy_file(runtimeDirectory() / FILTER_MODULE, folders.program / FILTER_MODULE);
    }
    for (const char *planted : {"regsvr32.bat", "regsvr32.cmd"}) {
        std::ofstream script(folders.work / planted, std::ios::binary);
        script << "@echo off\r\necho planted regsvr32 %*>>\"%FAKE_COMMAND_LOG%\"\r\n";
    }
    return {{"FAKE_COMMAND_LOG", folders.callLog.string()}};
}

std::string filterState(FilterSetup setup)
{
    // SELFREG_E_CLASS: the filter stand-in registers nothing.
    return setup == FilterSetup::Unregistrable ? "DllRegisterServer=-2147220991\n" : "";
}

bool filterAvailable(const SandboxFolders &)
{
    return filterClassCreatable();
}

std::vector<std::string> registrationLogLines(FilterSetup)
{
    return {"DllRegisterServer", "DllUnregisterServer"};
}

std::filesystem::path makeUnopenablePath(const std::filesystem::path &folder)
{
    // A folder exists, but the C runtime cannot open it as a file.
    const auto path = folder / "folder.bin";
    std::filesystem::create_directory(path);
    return path;
}

} // namespace updater_tests
