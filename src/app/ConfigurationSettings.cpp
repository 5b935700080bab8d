#include "ConfigurationSettings.h"

#include <QMetaType>

ConfigurationSettings *ConfigurationSettings::instance()
{
    // First used by the dispatch thread only; a function-local static also
    // makes a first use from anywhere else safe.
    static ConfigurationSettings *settings = new ConfigurationSettings;
    return settings;
}

ConfigurationSettings::ConfigurationSettings()
    : QObject(nullptr)
{
    qRegisterMetaType<BRIVARA_DRIVER_CONNECTION_STATUS>("BrivaraDriverConnectionStatus");
}

bool ConfigurationSettings::reportConnectionStatus(BRIVARA_DRIVER_CONNECTION_STATUS status)
{
    emit setBVDConnectionStatus(status);
    return true;
}
