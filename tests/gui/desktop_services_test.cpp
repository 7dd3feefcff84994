#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <gtest/gtest.h>

#include "gui/shell/desktop_services.h"
#include "support/temp_dir.h"

namespace quarlink {
namespace {

// Puts a scripted xdg-open first on PATH for the life of the fixture.
struct FakeOpener : ::testing::Test {
    test::TempDir bin;
    test::TempDir folder;
    QByteArray oldPath = qgetenv("PATH");

    void install(const char* body) {
        const QString script = QString::fromStdString((bin / "xdg-open").string());
        QFile f(script);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("#!/bin/sh\n") + body + "\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", QByteArray::fromStdString(bin.path().string()) + ":" + oldPath);
    }
    void TearDown() override { qputenv("PATH", oldPath); }

    // Runs the event loop until the opener has finished or the time is up.
    static void settle(const bool& done, int ms = 3000) {
        QElapsedTimer t;
        t.start();
        while (!done && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::processEvents();
    }
};

TEST_F(FakeOpener, MissingFolderFailsAtOnce) {
    install("exit 0");
    EXPECT_FALSE(openFolderInFileManager(folder.path() / "absent", [] {}));
}

TEST_F(FakeOpener, OpenerGivesTheFolderAndSuccessIsQuiet) {
    const QString record = QString::fromStdString((bin / "args").string());
    install(("printf '%s' \"$1\" > '" + record.toStdString() + "'; exit 0").c_str());
    bool failed = false;
    ASSERT_TRUE(openFolderInFileManager(folder.path(), [&] { failed = true; }));
    const bool never = false;
    QElapsedTimer t;
    t.start();
    while (!QFile::exists(record) && t.elapsed() < 3000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    settle(never, 300);  // the exit status arrives just after the file
    QFile f(record);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray::fromStdString(folder.path().string()));
    EXPECT_FALSE(failed);
}

TEST_F(FakeOpener, NoFileManagerIsReportedWhenTheOpenerGivesUp) {
    install("exit 3");
    bool failed = false;
    ASSERT_TRUE(openFolderInFileManager(folder.path(), [&] { failed = true; }));
    settle(failed);
    EXPECT_TRUE(failed);
}

}  // namespace
}  // namespace quarlink
