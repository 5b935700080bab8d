#pragma once

#include <QObject>

// The state of the connection to the driver's API, published after every
// connection check.
enum BRIVARA_DRIVER_CONNECTION_STATUS {
    DRIVER_STATUS_NO_CLIENT = -1,
    DRIVER_STATUS_CHECKING = 0,
    DRIVER_STATUS_CONNECTED = 1,
    DRIVER_STATUS_NOT_RUNNING = 2,
    DRIVER_STATUS_NOT_ANSWERING = 4,
};

// The watchdog's outlet for settings notifications: the interface a settings
// window would connect to. Lives from its first use to the end of the process.
class ConfigurationSettings : public QObject
{
    Q_OBJECT

public:
    static ConfigurationSettings *instance();

    // Emits setBVDConnectionStatus; true whether or not anyone listens.
    bool reportConnectionStatus(BRIVARA_DRIVER_CONNECTION_STATUS status);

signals:
    void showConfigurationDialog();
    void setBVDConnectionStatus(BRIVARA_DRIVER_CONNECTION_STATUS status);

private:
    ConfigurationSettings();
};

Q_DECLARE_METATYPE(BRIVARA_DRIVER_CONNECTION_STATUS)
