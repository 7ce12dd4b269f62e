// The library inside a Qt widgets program (offscreen): the program's timers
// and buttons keep running during calls, and the library's own progress
// window appears, shows the transfer and goes away exactly with the call.
#include <pthread.h>
#include <signal.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>

#include "link_fixture.h"

namespace vsk::testing {
namespace {

const QString kCaption = QStringLiteral("Veskafile");

QDialog* progressWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->windowTitle() == kCaption) return qobject_cast<QDialog*>(w);
    return nullptr;
}

// What the progress window shows at one moment.
struct WindowView {
    bool present = false;
    bool visible = false;
    QString operation, htLabel, ht, name, done, separator, total, polling, button;
    int bar = -1;
    bool transferShown = false;
    bool pollingShown = false;
};

QString textOf(QDialog* w, const char* name) {
    auto* l = w->findChild<QLabel*>(name);
    return l ? l->text() : QStringLiteral("<missing>");
}

bool shown(QDialog* w, const char* name) {
    auto* c = w->findChild<QWidget*>(name);
    return c != nullptr && !c->isHidden();
}

WindowView look() {
    WindowView v;
    QDialog* w = progressWindow();
    if (w == nullptr) return v;
    v.present = true;
    v.visible = w->isVisible();
    v.operation = textOf(w, "operation");
    v.htLabel = textOf(w, "htNoLabel");
    v.ht = textOf(w, "htNo");
    v.name = textOf(w, "fileName");
    v.done = textOf(w, "bytesDone");
    v.separator = textOf(w, "separator");
    v.total = textOf(w, "bytesTotal");
    v.polling = textOf(w, "pollingText");
    if (auto* b = w->findChild<QPushButton*>("abortButton")) v.button = b->text();
    if (auto* bar = w->findChild<QProgressBar*>("progressBar")) v.bar = bar->value();
    v.transferShown = shown(w, "fileName") && shown(w, "bytesDone") && shown(w, "bytesTotal") &&
                      shown(w, "separator") && shown(w, "progressBar");
    v.pollingShown = shown(w, "pollingText");
    return v;
}

// Runs `tick` from a Qt timer every few milliseconds while it lives; it can
// only fire while the library dispatches the program's events.
class Ticker {
  public:
    explicit Ticker(std::function<void()> tick, int intervalMs = 5) {
        timer_.setInterval(intervalMs);
        QObject::connect(&timer_, &QTimer::timeout, tick);
        timer_.start();
    }

  private:
    QTimer timer_;
};

const char* const kOperationTexts[] = {
    "ファイルのアップロードを行っています。",
    "ファイルのダウンロードを行っています。",
    "ＡＰのインストールを行っています。",
    "ＯＳのインストールを行っています。",
    "複数ファイルのアップロードを行っています。",
    "複数ファイルのダウンロードを行っています。",
    "複合コマンド複数ファイルアップロードを行っています。",
    "複合コマンド複数ファイルダウンロードを行っています。",
};

void setPath(char (&field)[128], const std::string& path) {
    std::memset(field, ' ', sizeof field);
    std::memcpy(field, path.data(), path.size());
}

// Stops a call that would otherwise run until the test's time-out (a host
// that never dispatches events makes the polling loops endless).
class Watchdog {
  public:
    explicit Watchdog(int32_t handle, std::chrono::seconds after = std::chrono::seconds(20))
        : thread_([this, handle, after] {
              std::unique_lock<std::mutex> lock(m_);
              if (!cv_.wait_for(lock, after, [this] { return done_; })) Vsk_Suspend(handle);
          }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(m_);
            done_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }

  private:
    std::mutex m_;
    std::condition_variable cv_;
    bool done_ = false;
    std::thread thread_;
};

class QtHostTest : public LinkTest {
  protected:
    // Every frame from the terminal is held back a little, so a transfer lasts
    // long enough for the program's timer to look at it many times.
    void startSlowTerminal(int delayMs = 15) {
        startTerminal({"--fault", "delay=" + std::to_string(delayMs)});
    }

    std::vector<WindowView> views_;
    TempDir pc_{"veska-pc"};
};

TEST_F(QtHostTest, DownloadShowsTheWindowWhileItRunsAndNoneAfter) {
    startSlowTerminal();
    const std::string data = pattern(2048);
    pc_.write("MASTER.DAT", data);
    bool triedToClose = false;
    bool survivedClose = true;
    int32_t r;
    {
        Ticker t([&] {
            WindowView v = look();
            if (!v.present) return;
            views_.push_back(v);
            if (!triedToClose) {
                // Neither the close box nor Escape closes it.
                triedToClose = true;
                QDialog* w = progressWindow();
                EXPECT_FALSE(w->windowFlags() & Qt::WindowCloseButtonHint);
                w->close();
                QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QApplication::sendEvent(w, &esc);
                survivedClose = progressWindow() != nullptr && progressWindow()->isVisible();
            }
        });
        r = Vsk_FDownload(h_, "005", pc_.file("MASTER.DAT").c_str(), 2048, 1);
    }
    ASSERT_EQ(r, 0);
    EXPECT_EQ(progressWindow(), nullptr);
    EXPECT_TRUE(terminalStored(store_.file("MASTER.DAT"), data));

    ASSERT_FALSE(views_.empty());
    EXPECT_TRUE(survivedClose);
    std::set<int> bars;
    for (const WindowView& v : views_) {
        EXPECT_TRUE(v.visible);
        EXPECT_EQ(v.operation, QString::fromUtf8(kOperationTexts[1]));
        EXPECT_EQ(v.htLabel, QStringLiteral("ＨＴ ＮＯ"));
        EXPECT_EQ(v.ht, "005");
        EXPECT_EQ(v.name, "MASTER.DAT");
        EXPECT_EQ(v.separator, "/");
        EXPECT_EQ(v.total, "2048");
        EXPECT_EQ(v.button, QStringLiteral("中断"));
        EXPECT_TRUE(v.transferShown);
        EXPECT_FALSE(v.pollingShown);
        // The bar follows the bytes: 512 of 2048 is a quarter.
        EXPECT_EQ(v.bar, v.done.toInt() * 100 / 2048) << v.done.toStdString();
        bars.insert(v.bar);
    }
    EXPECT_GE(bars.size(), 3u) << "the window was seen at too few stages";
    EXPECT_EQ(*bars.begin(), 0);
}

TEST_F(QtHostTest, AbortButtonEndsTheCallAndTellsTheTerminal) {
    startSlowTerminal(20);
    pc_.write("BIG.DAT", pattern(32 * 512));
    bool pressed = false;
    int32_t r;
    {
        Ticker t([&] {
            WindowView v = look();
            if (!v.present || v.done.toInt() < 1024 || pressed) return;
            pressed = true;
            progressWindow()->findChild<QPushButton*>("abortButton")->click();
            views_.push_back(look());  // it stays until the operation removes it
        });
        r = Vsk_FDownload(h_, "005", pc_.file("BIG.DAT").c_str(), 32 * 512, 1);
    }
    ASSERT_TRUE(pressed);
    EXPECT_EQ(r, VSK_E_ABORT_PC);
    EXPECT_TRUE(views_.at(0).present);
    EXPECT_EQ(progressWindow(), nullptr);
    EXPECT_TRUE(sim().waitReceived(1, isFrame('E', "CAN")));
    EXPECT_TRUE(sim().received(isFrame('E', "EOT")).empty());
    expectUsable();
}

TEST_F(QtHostTest, TimerDuringACallReadsProgressAndIsRefusedOtherCalls) {
    startSlowTerminal();
    const std::string data = pattern(4096);
    pc_.write("ITEMS.DAT", data);
    std::vector<int32_t> percents;
    int32_t nested = 0;
    bool sawWindow = false;
    ASSERT_EQ(Vsk_ClrProcess(h_), 0);
    int32_t r;
    {
        Ticker t([&] {
            sawWindow = sawWindow || progressWindow() != nullptr;
            ProgressRecord p{};
            if (Vsk_GetProcess(h_, &p) == 0) percents.push_back(p.Percent);
            if (nested == 0) {
                DirRecord dir{};
                nested = Vsk_DIR(h_, "005", &dir);
            }
        });
        r = Vsk_FDownload(h_, "005", pc_.file("ITEMS.DAT").c_str(), 4096, 0);
    }
    ASSERT_EQ(r, 0);
    EXPECT_EQ(nested, VSK_E_BUSY);
    EXPECT_FALSE(sawWindow) << "show-progress 0 must not open the window";
    EXPECT_TRUE(terminalStored(store_.file("ITEMS.DAT"), data));
    EXPECT_TRUE(sim().received(isCommand('F')).empty());  // the nested listing never went out

    ASSERT_GE(percents.size(), 3u);
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_LT(percents.front(), percents.back());
    EXPECT_GT(
        std::count_if(percents.begin(), percents.end(), [](int p) { return p > 0 && p < 100; }), 0);
    ProgressRecord after{};
    EXPECT_EQ(Vsk_GetProcess(h_, &after), VSK_E_NOT_IN_TRANSFER);
    EXPECT_EQ(after.Percent, 100);
}

TEST_F(QtHostTest, PollingLoopShowsThePollingText) {
    startSlowTerminal(5);
    pc_.write("A.DAT", pattern(1024));
    DownloadList list{};
    setPath(list.Entries[0].Path, pc_.file("A.DAT"));
    list.Entries[0].Size = 1024;
    ResultFileRecord rf{};
    setPath(rf.Path, pc_.file("result.txt"));
    rf.ResultMode = 0;
    std::string mask(128, '0');
    mask[4] = '1';
    int32_t r;
    {
        Ticker t([&] {
            WindowView v = look();
            if (!v.present) return;
            views_.push_back(v);
            // Stop once the loop has served the terminal at least once.
            if (readFile(store_.file("A.DAT")) == pattern(1024))
                progressWindow()->findChild<QPushButton*>("abortButton")->click();
        });
        Watchdog watchdog(h_);
        r = Vsk_PollingAllDownload(h_, mask.c_str(), 100, 10, 1, &list, &rf, 1);
    }
    EXPECT_EQ(r, VSK_E_ABORT_PC);
    EXPECT_EQ(progressWindow(), nullptr);
    ASSERT_FALSE(views_.empty());
    for (const WindowView& v : views_) {
        EXPECT_EQ(v.operation, QString::fromUtf8(kOperationTexts[7]));
        EXPECT_EQ(v.polling, QStringLiteral("ポーリング中・・・"));
        EXPECT_TRUE(v.pollingShown);
        EXPECT_FALSE(v.transferShown);
    }
}

// Each operation opens the window with its own text.
TEST_F(QtHostTest, EveryOperationShowsItsOwnText) {
    startSlowTerminal(10);
    const std::string data = pattern(2048);
    pc_.write("MASTER.DAT", data);
    pc_.write("SYSTEM.HEX", data);
    store_.write("STOCK.TXT", data);
    std::string mask(128, '0');
    mask[4] = '1';
    ResultFileRecord rf{};
    setPath(rf.Path, pc_.file("result.txt"));
    DownloadList dl{};
    setPath(dl.Entries[0].Path, pc_.file("MASTER.DAT"));
    dl.Entries[0].Size = 2048;

    const std::string master = pc_.file("MASTER.DAT");
    const std::string system = pc_.file("SYSTEM.HEX");
    const std::string folder = pc_.path();
    // The polling loops run while the terminal keeps answering: they are
    // stopped from the window once it has been seen.
    const std::vector<std::pair<int, std::function<int32_t()>>> operations = {
        {0, [&] { return Vsk_FUpload(h_, "005", 0, folder.c_str(), "STOCK.TXT", 2048, 1); }},
        {1, [&] { return Vsk_FDownload(h_, "005", master.c_str(), 2048, 1); }},
        {2, [&] { return Vsk_APInstall(h_, "005", master.c_str(), 2048, 1, 1); }},
        {3, [&] { return Vsk_OSInstall(h_, "005", system.c_str(), 2048, 1); }},
        {4,
         [&] {
             UploadList ul{};
             return Vsk_AllUpload(h_, "005", folder.c_str(), &ul, 1);
         }},
        {5, [&] { return Vsk_AllDownload(h_, "005", 1, &dl, 1); }},
        {6,
         [&] {
             return Vsk_PollingAllUPload(h_, mask.c_str(), folder.c_str(), 0, 100, 10, &rf, 1);
         }},
        {7, [&] { return Vsk_PollingAllDownload(h_, mask.c_str(), 100, 10, 1, &dl, &rf, 1); }},
    };
    for (const auto& [type, run] : operations) {
        std::set<QString> texts;
        bool sawFile = false;
        // The loops are stopped once they have served the terminal, so that
        // the window is also seen while a batch runs inside them.
        const char batchCommand = type == 6 ? 'U' : 'W';
        const size_t batchesBefore = commandsReceived(batchCommand);
        const size_t endsBefore = sim().received(isFrame('E')).size();
        int32_t r;
        {
            Watchdog watchdog(h_);
            Ticker t([&, type = type] {
                WindowView v = look();
                if (!v.present) return;
                texts.insert(v.operation);
                sawFile = sawFile || !v.name.isEmpty();
                if (type >= 6 && commandsReceived(batchCommand) > batchesBefore)
                    progressWindow()->findChild<QPushButton*>("abortButton")->click();
            });
            r = run();
        }
        EXPECT_EQ(r, type >= 6 ? VSK_E_ABORT_PC : 0) << "window type " << type;
        EXPECT_EQ(texts, std::set<QString>{QString::fromUtf8(kOperationTexts[type])})
            << "window type " << type;
        EXPECT_EQ(progressWindow(), nullptr) << "window type " << type;
        if (type < 6) {
            EXPECT_TRUE(sawFile) << "window type " << type << " showed no file name";
        }
        // Every operation but the uploads ends with an end frame the terminal
        // does not answer: let it arrive before the next command.
        if (type != 0 && type != 4) {
            EXPECT_TRUE(sim().waitReceived(endsBefore + 1, isFrame('E'))) << "window type " << type;
        }
        expectUsable();
    }
}

// What a program may do to the window, or while it is up, must not hurt the
// program or the call: delete it, run without any other window, have a
// modal dialog open, throw from a handler.
TEST_F(QtHostTest, ProgramsMayDeleteTheWindowAndNeedNoOtherWindow) {
    startSlowTerminal();
    const std::string data = pattern(3000);
    pc_.write("A.DAT", data);
    int32_t first = -1, second = -1;
    bool deleted = false;
    // Inside the program's own event loop, with no other window at all:
    // removing the window must not end that loop.
    QTimer::singleShot(0, [&] {
        first = Vsk_FDownload(h_, "005", pc_.file("A.DAT").c_str(), 3000, 1);
        QTimer::singleShot(100, [] { QCoreApplication::exit(7); });
    });
    EXPECT_EQ(QCoreApplication::exec(), 7) << "the event loop ended early";
    EXPECT_EQ(first, 0);
    ASSERT_TRUE(terminalStored(store_.file("A.DAT"), data));
    {
        Ticker t([&] {
            if (QDialog* w = progressWindow(); w != nullptr && !deleted) {
                deleted = true;
                delete w;
            }
        });
        second = Vsk_FDownload(h_, "005", pc_.file("A.DAT").c_str(), 3000, 1);
    }
    EXPECT_TRUE(deleted);
    EXPECT_EQ(second, 0);
}

TEST_F(QtHostTest, WindowOpenedFromAModalDialogIsModalToo) {
    startSlowTerminal();
    pc_.write("A.DAT", pattern(2048));
    QDialog dialog;
    Qt::WindowModality modality = Qt::NonModal;
    int32_t r = -1;
    QTimer::singleShot(0, &dialog, [&] {
        Ticker t([&] {
            if (QDialog* w = progressWindow()) modality = w->windowModality();
        });
        r = Vsk_FDownload(h_, "005", pc_.file("A.DAT").c_str(), 2048, 1);
        dialog.accept();
    });
    dialog.exec();
    EXPECT_EQ(r, 0);
    EXPECT_EQ(modality, Qt::ApplicationModal);
}

TEST_F(QtHostTest, AHandlerThatThrowsAbortsTheCall) {
    startSlowTerminal();
    pc_.write("A.DAT", pattern(4096));
    bool thrown = false;
    int32_t r;
    {
        Ticker t([&] {
            if (thrown) return;
            thrown = true;
            throw std::runtime_error("handler failed");
        });
        r = Vsk_FDownload(h_, "005", pc_.file("A.DAT").c_str(), 4096, 0);
    }
    EXPECT_TRUE(thrown);
    EXPECT_EQ(r, VSK_E_ABORT_PC);
    EXPECT_TRUE(sim().waitReceived(1, isFrame('E', "CAN")));
}

// The port's notifier stays armed between waits: input that comes between
// calls (a babbling line) must not keep the program's own event loop awake,
// and closing the session must leave no notifier on the closed descriptor.
QStringList g_warnings;
void keepWarnings(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type != QtDebugMsg) g_warnings << text;
}

// Runs the program's own event loop for `ms`, counting the dispatcher's wake-ups.
int wakesInOwnLoop(int ms) {
    int wakes = 0;
    auto counting = QObject::connect(QAbstractEventDispatcher::instance(),
                                     &QAbstractEventDispatcher::awake, [&] { ++wakes; });
    QTimer::singleShot(ms, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    QObject::disconnect(counting);
    return wakes;
}

TEST_F(QtHostTest, InputBetweenCallsKeepsNoLoopAwakeAndCloseLeavesNoWatch) {
    startTerminal({"--fault", "babble=2000"});
    ASSERT_EQ(Vsk_Polling(h_, "005", 300), 0);
    // Noise arrives every few milliseconds and nobody reads it until the next call.
    EXPECT_LT(wakesInOwnLoop(300), 30);
    ASSERT_EQ(Vsk_Polling(h_, "005", 300), 0);  // the notifier is armed again

    g_warnings.clear();
    QtMessageHandler previous = qInstallMessageHandler(keepWarnings);
    ASSERT_EQ(Vsk_ComClose(h_), 0);
    h_ = 0;
    wakesInOwnLoop(50);
    qInstallMessageHandler(previous);
    EXPECT_TRUE(g_warnings.isEmpty()) << g_warnings.join('\n').toStdString();
}

// A terminal that never answers, with a reply time-out far longer than the
// tests below need: a wait that runs out ends with 2005, one that an abort
// ended with 1003.
constexpr int32_t kLongWaitMs = 5000;

int32_t g_signalHandle = 0;
void suspendFromSignal(int) {
    Vsk_Suspend(g_signalHandle);
}

class QtHostWaitTest : public QtHostTest {
  protected:
    void SetUp() override { startTerminal({"--fault", "silent"}, fastSettings(kLongWaitMs, 1)); }
    int32_t listSilentTerminal() {
        DirRecord dir{};
        return Vsk_DIR(h_, "005", &dir);
    }
};

// While the library waits for a terminal, the program's timer keeps firing
// and an abort from it ends the wait at once; in between the thread sleeps:
// the event dispatcher wakes for the timer, not in slices of its own.
TEST_F(QtHostWaitTest, TimerKeepsFiringAndItsAbortEndsTheWaitAtOnce) {
    constexpr int kTicks = 20;
    int ticks = 0;
    int wakes = 0;
    auto* dispatcher = QAbstractEventDispatcher::instance();
    auto counting =
        QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, [&] { ++wakes; });
    int32_t r;
    {
        Ticker t(
            [&] {
                if (++ticks == kTicks) Vsk_Suspend(h_);
            },
            20);
        r = listSilentTerminal();
    }
    QObject::disconnect(counting);
    EXPECT_EQ(r, VSK_E_ABORT_PC) << "the wait ran out instead of ending on the abort";
    EXPECT_EQ(ticks, kTicks) << "the timer fired again after its abort";
    // A few wake-ups per tick; waiting in 1 ms slices would wake ~20 times a tick.
    EXPECT_LT(wakes, kTicks * 4);
}

// An abort requested from another thread or from a signal handler wakes a
// wait that sleeps in the event dispatcher.
TEST_F(QtHostWaitTest, AbortFromAnotherThreadEndsTheWait) {
    std::thread aborter([this] {
        if (sim().waitReceived(1, isCommand('F'))) Vsk_Suspend(h_);
    });
    int32_t r = listSilentTerminal();
    aborter.join();
    EXPECT_EQ(r, VSK_E_ABORT_PC) << "the wait ran out instead of ending on the abort";
}

TEST_F(QtHostWaitTest, AbortFromASignalHandlerEndsTheWait) {
    g_signalHandle = h_;
    struct sigaction action = {};
    struct sigaction saved = {};
    action.sa_handler = suspendFromSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // a restarted wait must still end
    ASSERT_EQ(sigaction(SIGUSR1, &action, &saved), 0);
    const pthread_t waiter = pthread_self();
    std::thread signaller([this, waiter] {
        if (sim().waitReceived(1, isCommand('F'))) pthread_kill(waiter, SIGUSR1);
    });
    int32_t r = listSilentTerminal();
    signaller.join();
    sigaction(SIGUSR1, &saved, nullptr);
    EXPECT_EQ(r, VSK_E_ABORT_PC) << "the wait ran out instead of ending on the abort";
}

}  // namespace
}  // namespace vsk::testing

int main(int argc, char** argv) {
    // No display is needed: the offscreen platform draws into memory.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
