// Test entry point: the environment every test runs in, then an application object, as the
// programs have one.
#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    // Engines started by tests keep their profiles in the build tree, not in the user's
    // cache; the C locale gives documents without a paper size A4, as in the corpus's
    // reference export.
    setenv("XDG_CACHE_HOME", QUILLIVAR_TEST_CACHE, 1);
    setenv("LC_ALL", "C.UTF-8", 1);
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
