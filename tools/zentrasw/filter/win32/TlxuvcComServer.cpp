// Stand-in for the outside DirectShow filter on Windows: an in-process COM
// server for the filter class that regsvr32 can register and unregister.
// The object only answers IUnknown and the filter interface; nothing in this
// system calls into it.
#include "StandInState.h"
#include "TlxuvcGuid.h"

#include <windows.h>
#include <objbase.h>
#include <olectl.h>

#include <atomic>
#include <cstring>
#include <new>
#include <string>

namespace {

HMODULE thisModule = nullptr;
std::atomic<long> liveObjects{0};
std::atomic<long> serverLocks{0};

using tlxuvc::toGuid;

const GUID filterClass = toGuid(tlxuvc::FILTER_CLASS);
const GUID filterInterface = toGuid(tlxuvc::FILTER_INTERFACE);

// The machine's classes are where COM looks everywhere (wine reads no
// other place); an account that may not write there registers the class
// for itself, which Windows' COM also reads.
const std::string machineClassKey = std::string("CLSID\\") + tlxuvc::FILTER_CLASS_TEXT;
const std::string userClassKey = std::string("Software\\Classes\\") + machineClassKey;

class FilterObject final : public IUnknown
{
public:
    FilterObject() { ++liveObjects; }
    ~FilterObject() { --liveObjects; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override
    {
        if (!object)
            return E_POINTER;
        if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, filterInterface)) {
            *object = static_cast<IUnknown *>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const long left = --references;
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }

private:
    std::atomic<long> references{1};
};

class FilterFactory final : public IClassFactory
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override
    {
        if (!object)
            return E_POINTER;
        if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory *>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // The factory is a static object: its lifetime is the module's.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *outer, REFIID iid, void **object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        auto *filter = new (std::nothrow) FilterObject;
        if (!filter)
            return E_OUTOFMEMORY;
        const HRESULT result = filter->QueryInterface(iid, object);
        filter->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        lock ? ++serverLocks : --serverLocks;
        return S_OK;
    }
};

FilterFactory factory;

bool setDefaultValue(HKEY key, const char *subKey, const std::string &value)
{
    return RegSetKeyValueA(key, subKey, nullptr, REG_SZ, value.c_str(),
                           static_cast<DWORD>(value.size() + 1))
           == ERROR_SUCCESS;
}

bool writeClassKey(HKEY root, const std::string &classKey, const std::string &modulePath)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, classKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const bool written = setDefaultValue(key, nullptr, "Tessel UVC filter")
                         && setDefaultValue(key, "InprocServer32", modulePath)
                         && RegSetKeyValueA(key, "InprocServer32", "ThreadingModel", REG_SZ, "Both", 5)
                                == ERROR_SUCCESS;
    RegCloseKey(key);
    if (!written)
        RegDeleteTreeA(root, classKey.c_str());
    return written;
}

bool removeClassKey(HKEY root, const std::string &classKey)
{
    const LSTATUS result = RegDeleteTreeA(root, classKey.c_str());
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

} // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        thisModule = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllCanUnloadNow(void)
{
    return liveObjects == 0 && serverLocks == 0 ? S_OK : S_FALSE;
}

STDAPI DllGetClassObject(REFCLSID classId, REFIID iid, LPVOID *object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!IsEqualGUID(classId, filterClass))
        return CLASS_E_CLASSNOTAVAILABLE;
    return factory.QueryInterface(iid, object);
}

STDAPI DllRegisterServer(void)
{
    const zentrasw::StandInState state = zentrasw::StandInState::load();
    zentrasw::logCall(state, "DllRegisterServer");
    // A filter whose registration fails, as the camera's would without the
    // rights to write its class.
    if (const int failure = state.number("DllRegisterServer", S_OK); failure != S_OK)
        return failure;
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(thisModule, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return SELFREG_E_CLASS;
    return writeClassKey(HKEY_CLASSES_ROOT, machineClassKey, path)
                   || writeClassKey(HKEY_CURRENT_USER, userClassKey, path)
               ? S_OK
               : SELFREG_E_CLASS;
}

STDAPI DllUnregisterServer(void)
{
    zentrasw::logCall(zentrasw::StandInState::load(), "DllUnregisterServer");
    const bool machine = removeClassKey(HKEY_CLASSES_ROOT, machineClassKey);
    const bool user = removeClassKey(HKEY_CURRENT_USER, userClassKey);
    return machine && user ? S_OK : SELFREG_E_CLASS;
}

} // extern "C"
