#include <gtest/gtest.h>

#include <QApplication>
#include <QtGlobal>

int main(int argc, char **argv)
{
    // Tests never need a display; an explicit setting (for a screenshot run) still wins.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tabulon"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
