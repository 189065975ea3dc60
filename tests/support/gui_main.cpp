#include <QApplication>
#include <QFont>
#include <gtest/gtest.h>

// Widget tests: a QApplication on the platform set by the test's environment (offscreen).
int main(int argc, char** argv)
{
    QFont::insertSubstitutions(QStringLiteral("宋体"), {QStringLiteral("Noto Serif CJK SC")});
    QFont::insertSubstitutions(QStringLiteral("SimSun"), {QStringLiteral("Noto Serif CJK SC")});
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
