#include "ProcessSession.h"

namespace platform::win32_backend {

std::optional<DWORD> sessionOfProcess(DWORD processId)
{
    DWORD session = 0;
    if (!ProcessIdToSessionId(processId, &session))
        return std::nullopt;
    return session;
}

std::optional<DWORD> ownSession()
{
    return sessionOfProcess(GetCurrentProcessId());
}

} // namespace platform::win32_backend
