#include "XSession.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace systemtest {

std::optional<std::string> XSession::missingTool(TrayHost trayHost)
{
    for (const char *tool : {"Xvfb", "trayer", "xdotool", "xprop", "import"}) {
        if (trayHost == TrayHost::None && std::string(tool) == "trayer")
            continue;
        if (std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) != 0)
            return tool;
    }
    return std::nullopt;
}

bool XSession::start(const std::filesystem::path &folder, TrayHost trayHost)
{
    // -displayfd: the server picks a free display and says which once it
    // takes connections.
    const auto displayFile = folder / "display";
    if (!server.start("/bin/sh",
                      {"-c", "exec Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>'" + displayFile.string() + "'"},
                      folder / "xvfb.log"))
        return false;
    const bool announced = eventually([&] {
        std::ifstream in(displayFile);
        std::string number;
        in >> number;
        if (number.empty())
            return false;
        displayName = ":" + number;
        return true;
    });
    if (!announced)
        return false;
    if (trayHost == TrayHost::None)
        return true;
    if (!trayHostProgram.start("/usr/bin/env",
                               {"DISPLAY=" + displayName, "trayer", "--edge", "top", "--align", "right",
                                "--widthtype", "request", "--height", "32", "--transparent", "false",
                                "--SetDockType", "true"},
                               folder / "trayer.log"))
        return false;
    // Its panel shows once it holds the tray selection.
    return eventually([this] { return !windowsOf("trayer").empty(); });
}

std::string XSession::run(const std::string &command) const
{
    // A failed look-up has nothing to say; a failed action shows in what
    // the caller looks at next.
    return commandOutput("DISPLAY=" + displayName + " " + command).value_or(std::string());
}

std::vector<XSession::Window> XSession::windowsOf(const std::string &windowClass) const
{
    std::vector<Window> found;
    std::istringstream ids(run("xdotool search --onlyvisible --class '" + windowClass + "'"));
    for (long id = 0; ids >> id;) {
        Window window{id, "", 0, 0, 0, 0, ""};
        std::istringstream shell(run("xdotool getwindowgeometry --shell " + std::to_string(id)));
        for (std::string line; std::getline(shell, line);) {
            const auto equals = line.find('=');
            if (equals == std::string::npos)
                continue;
            const std::string key = line.substr(0, equals);
            const int value = std::atoi(line.c_str() + equals + 1);
            if (key == "X")
                window.x = value;
            else if (key == "Y")
                window.y = value;
            else if (key == "WIDTH")
                window.width = value;
            else if (key == "HEIGHT")
                window.height = value;
        }
        window.name = run("xdotool getwindowname " + std::to_string(id));
        if (!window.name.empty() && window.name.back() == '\n')
            window.name.pop_back();
        window.type = run("xprop -id " + std::to_string(id) + " _NET_WM_WINDOW_TYPE");
        found.push_back(window);
    }
    return found;
}

void XSession::click(int x, int y, int button) const
{
    run("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click " + std::to_string(button));
}

void XSession::keys(const std::string &keyNames, const std::string &windowName) const
{
    if (windowName.empty()) {
        run("xdotool key " + keyNames);
        return;
    }
    // Without a window manager xdotool reports the focus change it cannot
    // confirm as a failure; the key presses reach the window all the same.
    run("xdotool search --onlyvisible --name '" + windowName + "' windowfocus key " + keyNames);
}

std::string XSession::focusReport(const std::string &windowName) const
{
    std::string focused = run("xdotool getwindowfocus getwindowname");
    std::string matches = run("xdotool search --onlyvisible --name '" + windowName + "' getwindowname %@");
    for (std::string *text : {&focused, &matches})
        std::replace(text->begin(), text->end(), '\n', '|');
    return "focus: " + focused + " windows named like '" + windowName + "': " + matches;
}

bool XSession::screenshot(const std::filesystem::path &file) const
{
    std::filesystem::create_directories(file.parent_path());
    run("import -window root '" + file.string() + "'");
    return std::filesystem::exists(file) && std::filesystem::file_size(file) > 0;
}

} // namespace systemtest
