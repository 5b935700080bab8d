#include "LinuxLog.h"

Q_LOGGING_CATEGORY(linuxPlatformLog, "tessel.platform.linux", QtInfoMsg)
