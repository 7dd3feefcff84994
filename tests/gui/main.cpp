// Widget tests need one QApplication for the whole run; the offscreen platform
// keeps them independent of a display.
#include <QApplication>
#include <gtest/gtest.h>

#include "gui/common/qt_prompter.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    // As the tray app does, so the dialogs are tested as users see them.
    quarlink::installQtJapanese();
    return RUN_ALL_TESTS();
}
