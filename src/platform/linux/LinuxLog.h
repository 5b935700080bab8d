#pragma once

#include <QLoggingCategory>

// The Linux backend's own diagnostics (bad devices, failed system calls). A
// category of their own keeps them apart from the core's log lines, which
// tests compare word for word.
Q_DECLARE_LOGGING_CATEGORY(linuxPlatformLog)
