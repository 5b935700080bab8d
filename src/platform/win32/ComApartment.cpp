#include "ComApartment.h"

#include <windows.h>
#include <objbase.h>

namespace platform::win32_backend {

ComApartment::ComApartment()
{
    const HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    // S_FALSE: already initialised the same way; it still counts and must be
    // balanced. RPC_E_CHANGED_MODE: the thread is in the other apartment
    // kind, which serves our calls as well and is not ours to undo.
    mustUninitialize = SUCCEEDED(result);
    available = mustUninitialize || result == RPC_E_CHANGED_MODE;
}

ComApartment::~ComApartment()
{
    if (mustUninitialize)
        CoUninitialize();
}

} // namespace platform::win32_backend
