// The filter stand-in as Windows' COM sees it: regsvr32 registers and
// unregisters the class, and the registered class hands out objects that
// answer the filter interface.
#include "TlxuvcGuid.h"
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <cstring>

namespace {

using namespace updater_tests;

using tlxuvc::toGuid;

int regsvr32(bool undo)
{
    ChildCommand command;
    command.program = "C:\\windows\\system32\\regsvr32.exe";
    command.arguments = {"/s"};
    if (undo)
        command.arguments.push_back("/u");
    command.arguments.push_back((runtimeDirectory() / FILTER_MODULE).string());
    return runChild(command).exitStatus;
}

class FilterComServer : public ::testing::Test
{
protected:
    FilterComServer() { session = SUCCEEDED(CoInitialize(nullptr)); }
    ~FilterComServer() override
    {
        if (session)
            CoUninitialize();
    }

    HRESULT create(REFIID iid, IUnknown **object)
    {
        return CoCreateInstance(toGuid(tlxuvc::FILTER_CLASS), nullptr, CLSCTX_INPROC_SERVER, iid,
                                reinterpret_cast<void **>(object));
    }

    bool session = false;
};

TEST_F(FilterComServer, Regsvr32RegistersAndUnregistersTheClass)
{
    ASSERT_EQ(regsvr32(true), 0);
    IUnknown *filter = nullptr;
    EXPECT_EQ(create(toGuid(tlxuvc::FILTER_INTERFACE), &filter), REGDB_E_CLASSNOTREG);

    ASSERT_EQ(regsvr32(false), 0);
    ASSERT_EQ(create(toGuid(tlxuvc::FILTER_INTERFACE), &filter), S_OK);
    ASSERT_NE(filter, nullptr);
    filter->Release();

    ASSERT_EQ(regsvr32(true), 0);
    filter = nullptr;
    EXPECT_NE(create(toGuid(tlxuvc::FILTER_INTERFACE), &filter), S_OK);
    EXPECT_EQ(filter, nullptr);
}

TEST_F(FilterComServer, ObjectAnswersOnlyItsInterfaces)
{
    ASSERT_EQ(regsvr32(false), 0);
    IUnknown *filter = nullptr;
    ASSERT_EQ(create(IID_IUnknown, &filter), S_OK);
    void *other = nullptr;
    EXPECT_EQ(filter->QueryInterface(toGuid(tlxuvc::FILTER_INTERFACE), &other), S_OK);
    EXPECT_EQ(other, filter);
    static_cast<IUnknown *>(other)->Release();
    EXPECT_EQ(filter->QueryInterface(IID_IClassFactory, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    filter->Release();

    IUnknown *unknownInterface = nullptr;
    EXPECT_EQ(create(IID_IClassFactory, &unknownInterface), E_NOINTERFACE);
    regsvr32(true);
}

} // namespace
