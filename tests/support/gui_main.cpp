#include <QApplication>
#include "skin/song_font.h"

#include <gtest/gtest.h>

// Widget tests: a QApplication on the platform set by the test's environment (offscreen).
int main(int argc, char** argv)
{
    registerFontSubstitutions();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
