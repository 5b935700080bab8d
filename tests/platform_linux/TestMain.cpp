// main() for the Linux backend tests: under umockdev's preload library (the
// binary starts itself again when it is missing), with a QCoreApplication
// for the tests that need an event loop.
#include "Testbed.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

int main(int argc, char **argv)
{
    if (!camera_standin::Testbed::runUnderPreload(argv)) {
        std::fprintf(stderr, "cannot run under umockdev's preload library: %s\n", std::strerror(errno));
        return 1;
    }
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
