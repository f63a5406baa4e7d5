#include <QCoreApplication>

#include <gtest/gtest.h>

// Core tests get an event loop, so runners, timers and signals behave as in the program.
int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
