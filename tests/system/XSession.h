#pragma once

#include "SystemHarness.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace systemtest {

// An X server of the test's own (Xvfb, on a display it picks itself), with
// an XEmbed tray host in it when asked (trayer, docked at the top right), and
// the X tools that look at it and work it like a user: xdotool, xprop and
// ImageMagick's import.
class XSession
{
public:
    enum class TrayHost { None, Trayer };

    struct Window
    {
        long id = 0;
        std::string name;
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
        // Its _NET_WM_WINDOW_TYPE as xprop shows it.
        std::string type;

        // Qt names a tooltip's type, but gives a menu only the normal one.
        bool isTooltip() const { return type.find("_NET_WM_WINDOW_TYPE_TOOLTIP") != std::string::npos; }
    };

    // The first tool that is not installed, or nothing.
    static std::optional<std::string> missingTool(TrayHost trayHost = TrayHost::Trayer);

    // Starts the server and the tray host, if any; their output goes to
    // `folder`.
    bool start(const std::filesystem::path &folder, TrayHost trayHost = TrayHost::Trayer);
    // ":N", for DISPLAY.
    const std::string &display() const { return displayName; }

    // The visible windows of a program (its WM_CLASS), with their names,
    // types and places on the screen.
    std::vector<Window> windowsOf(const std::string &windowClass) const;
    void click(int x, int y, int button) const;
    // Key presses (xdotool's names) to the focused window, or first focusing
    // the visible window whose name matches `windowName` (a regular
    // expression).
    void keys(const std::string &keyNames, const std::string &windowName = {}) const;
    // For a key that showed nothing: the focused window's name, and the
    // visible windows whose names match `windowName`.
    std::string focusReport(const std::string &windowName) const;
    // A PNG of the whole screen.
    bool screenshot(const std::filesystem::path &file) const;

private:
    std::string run(const std::string &command) const;

    Program server;
    Program trayHostProgram;
    std::string displayName;
};

} // namespace systemtest
