// System tests run the real programs. Each test process moves itself into
// a network namespace of its own (so the fixed ports 800 and 1933 are real
// and free for the tests of the TCP path) and a pid namespace of its own (so nothing it starts, fresh
// watchdog copies included, outlives it), then runs its tests there.
#include "NamespaceEntry.h"

#include <gtest/gtest.h>

#include <string>

int main(int argc, char **argv)
{
    const bool listing = argc > 1 && std::string(argv[1]).rfind("--gtest_list_tests", 0) == 0;
    if (!listing) {
        const int result = enterPrivateNamespaces(argc, argv);
        if (result >= 0)
            return result;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
