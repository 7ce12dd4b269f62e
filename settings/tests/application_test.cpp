// What every desktop tool shares from its start: its icon and the toolkit's
// Japanese texts, one copy per user that a second start brings to the front,
// and failure boxes whose second line says what a code means.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QWidget>
#include <string>

#include "gui_start.h"
#include "message_box.h"
#include "qt_wait.h"
#include "single_instance.h"
#include "test_env.h"
#include "veska.h"

using namespace vsk::ui;

namespace {

using vsk::testing::waitUntil;

TEST(Application, IsDressedAsItsProgramWithTheToolkitSpeakingJapanese) {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    EXPECT_TRUE(dressApplication(*app, "veskad"));
    EXPECT_EQ(QGuiApplication::desktopFileName(), QStringLiteral("veskad"));
    // The icon built into the tools, in the sizes title bars and task bars use.
    const QIcon icon = QApplication::windowIcon();
    ASSERT_FALSE(icon.isNull());
    for (int size : {16, 32, 48}) EXPECT_EQ(icon.pixmap(size).width(), size) << size;
    EXPECT_NE(programIcon("veskam").pixmap(32).toImage(),
              programIcon("veskau").pixmap(32).toImage());
    // The file dialogs' own words and the question before replacing a file.
    for (const char* text : {"Look in:", "File &name:", "&Open", "Cancel",
                             "%1 already exists.\nDo you want to replace it?"}) {
        const QString said = QCoreApplication::translate(
            std::string(text) == "Cancel" ? "QPlatformTheme" : "QFileDialog", text);
        EXPECT_NE(said, QString::fromUtf8(text)) << text;
    }
}

TEST(SingleCopy, ASecondStartBringsTheRunningWindowToTheFront) {
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    QWidget window;
    window.show();
    window.setWindowState(Qt::WindowMinimized);
    ASSERT_TRUE(waitUntil([&] { return window.isMinimized(); }));

    SingleInstance first(QStringLiteral("veska-front-test"));
    ASSERT_FALSE(first.anotherIsRunning());
    ASSERT_TRUE(first.serveRequestsToShow());
    SingleInstance second(QStringLiteral("veska-front-test"));
    ASSERT_TRUE(second.anotherIsRunning());
    EXPECT_TRUE(second.askRunningCopyToShow());
    EXPECT_TRUE(waitUntil([&] { return !window.isMinimized(); }));
    EXPECT_TRUE(window.isVisible());
}

TEST(SingleCopy, AskingNobodyFailsAtOnce) {
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    SingleInstance held(QStringLiteral("veska-silent-test"));  // holds the lock, serves nothing
    SingleInstance second(QStringLiteral("veska-silent-test"));
    ASSERT_TRUE(second.anotherIsRunning());
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(second.askRunningCopyToShow());
    EXPECT_LT(t.elapsed(), 3000);
}

class FailureBox : public ::testing::Test {
  protected:
    void TearDown() override { unsetenv("VESKA_COM9"); }
    // What opening port 9 returns, with the device given by the environment.
    int32_t openPort9(const std::string& device) {
        vsk::testing::pointPortAt(9, device);
        LineSettings line{9600, 0, 1, 0, 0, 1000, 1};
        int32_t handle = 0;
        int32_t r = Vsk_ComOpen(&handle, 9, 0, &line);
        if (r == 0) Vsk_ComClose(handle);
        return r;
    }
    QStringList said;
    vsk::testing::RecordedMessages recording{said};
};

TEST_F(FailureBox, KeepsTheCodeLineAndAddsTheLibrarysText) {
    showError(QStringLiteral("ダウンロードに失敗しました。"), VSK_E_TIMEOUT);
    EXPECT_EQ(said, QStringList{
                        QStringLiteral("ダウンロードに失敗しました。ｴﾗｰｺｰﾄﾞ：2005\nタイムアウト")});
    said.clear();
    showError(QStringLiteral("選択ファイルがありません"));
    EXPECT_EQ(said, QStringList{QStringLiteral("選択ファイルがありません")});
}

TEST_F(FailureBox, NamesTheDeviceAndWhyItCannotBeOpened) {
    int32_t r = openPort9("/nonexistent/ttyVSK");
    ASSERT_EQ(r, VSK_E_SYS_OPEN);
    EXPECT_EQ(deviceOpenDetail(9, r).section(QStringLiteral("（"), 0, 0),
              QStringLiteral("/nonexistent/ttyVSK：デバイスが見つかりません"));
    // Busy: another process holds the line (its lock is what the library
    // honours, for root as well).
    int master = -1, slave = -1;
    char name[128] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    ASSERT_EQ(flock(slave, LOCK_EX | LOCK_NB), 0);
    r = openPort9(name);
    EXPECT_EQ(r, VSK_E_SYS_OPEN);
    EXPECT_TRUE(deviceOpenDetail(9, r).startsWith(QString::fromLocal8Bit(name) +
                                                  QStringLiteral("：他のプログラムが使用中です")))
        << deviceOpenDetail(9, r).toStdString();
    // A system call's failure carries the system's words as well.
    r = openPort9("/nonexistent/ttyVSK");
    EXPECT_TRUE(failureDetail(r).startsWith(QStringLiteral("システムエラー")));
    EXPECT_TRUE(failureDetail(r).contains(QStringLiteral("（"))) << failureDetail(r).toStdString();
    ::close(slave);
    ::close(master);
}

}  // namespace
