#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "shell/desktop_services.h"
#include "temp_folder.h"

namespace quarlink {
namespace {

// Puts a scripted xdg-open first on PATH for the life of the fixture.
struct FakeOpener : ::testing::Test {
    QTemporaryDir bin;
    QTemporaryDir folder;
    QByteArray oldPath = qgetenv("PATH");

    void install(const char* body) {
        const QString script = bin.filePath(QStringLiteral("xdg-open"));
        QFile f(script);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("#!/bin/sh\n") + body + "\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", bin.path().toLocal8Bit() + ":" + oldPath);
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
    EXPECT_FALSE(openFolderInFileManager(test::pathOf(folder) / "absent", [] {}));
}

TEST_F(FakeOpener, OpenerGivesTheFolderAndSuccessIsQuiet) {
    const QString record = bin.filePath(QStringLiteral("args"));
    install(("printf '%s' \"$1\" > '" + record.toStdString() + "'; exit 0").c_str());
    bool failed = false;
    ASSERT_TRUE(openFolderInFileManager(test::pathOf(folder), [&] { failed = true; }));
    const bool never = false;
    QElapsedTimer t;
    t.start();
    while (!QFile::exists(record) && t.elapsed() < 3000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    settle(never, 300);  // the exit status arrives just after the file
    QFile f(record);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), folder.path().toLocal8Bit());
    EXPECT_FALSE(failed);
}

TEST_F(FakeOpener, NoFileManagerIsReportedWhenTheOpenerGivesUp) {
    install("exit 3");
    bool failed = false;
    ASSERT_TRUE(openFolderInFileManager(test::pathOf(folder), [&] { failed = true; }));
    settle(failed);
    EXPECT_TRUE(failed);
}

}  // namespace
}  // namespace quarlink
