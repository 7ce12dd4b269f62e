// The manual tool end to end: the main window, its progress window and its
// dialogs against a simulated terminal.
#include <sys/stat.h>

#include <QComboBox>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "dialog_driver.h"
#include "f_con.h"
#include "f_prog.h"
#include "f_ren.h"
#include "window_fixture.h"

namespace vsk::testing {
namespace {

using ui::F_CON;
using ui::F_Prog;
using ui::F_Ren;

std::string pattern(size_t n, char seed = 'A') {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(seed + static_cast<int>((i * 7 + i / 512) % 26));
    return s;
}

// A download's end frame is not answered: wait for the terminal to store it.
bool stored(const TempDir& dir, const std::string& name, const std::string& content) {
    return waitUntil([&] { return dir.read(name) == content; });
}

// --- Start, stop and the poll cycle

TEST_F(MainWindowTest, StartConnectsAndListsTheTerminalThenStopEndsIt) {
    store_.write("STOCK.TXT", "12345");
    store_.write("ITEMS.DAT", "abc");
    startTerminal();
    connect();
    EXPECT_EQ(window_->btnStart()->text(), QStringLiteral("中　断"));
    EXPECT_FALSE(window_->mnset()->isEnabled());
    QStringList items = terminalItems();
    items.sort();
    EXPECT_EQ(items, (QStringList{"ITEMS.DAT", "STOCK.TXT"}));
    EXPECT_FALSE(window_->txtFree()->text().isEmpty());
    EXPECT_TRUE(window_->lblMessage()->text().isEmpty());

    window_->btnStart()->click();
    EXPECT_FALSE(window_->started());
    EXPECT_EQ(window_->btnStart()->text(), QStringLiteral("開　始"));
    EXPECT_TRUE(terminalItems().isEmpty());
    EXPECT_FALSE(window_->btnCopy()->isEnabled());
    EXPECT_TRUE(window_->mnset()->isEnabled());
    EXPECT_FALSE(window_->Timer1()->isActive());
    EXPECT_TRUE(messages_.isEmpty());
}

TEST_F(MainWindowTest, FailedOpenShowsTheMessageAndStaysStopped) {
    pointPortAt(1, "/nonexistent/veskam-line");
    openWindow();
    window_->btnStart()->click();
    EXPECT_FALSE(window_->started());
    // The message as always; below it, which device and why.
    ASSERT_EQ(messages_.size(), 1);
    EXPECT_TRUE(messages_[0].startsWith(QStringLiteral(
        "COMﾎﾟｰﾄがｵｰﾌﾟﾝ出来ません。\n/nonexistent/veskam-line：デバイスが見つかりません")))
        << messages_[0].toStdString();
    EXPECT_EQ(window_->btnStart()->text(), QStringLiteral("開　始"));
}

TEST_F(MainWindowTest, ThreeFailedPollsAreToleratedTheFourthIsAConnectionError) {
    store_.write("A.DAT", "a");
    // Three unanswered polls, then answers: no error on the way to connecting.
    startTerminal({"--fault", "silent=3@P", "--polls", "6"});
    openWindow();
    window_->btnStart()->click();
    bool sawError = false;
    ASSERT_TRUE(waitUntil([&] {
        sawError =
            sawError || window_->lblMessage()->text() == QStringLiteral("ハンディ接続エラー");
        return window_->connected() && !window_->busy() && window_->btnCopy()->isEnabled();
    }));
    EXPECT_FALSE(sawError);
    EXPECT_EQ(terminalItems(), QStringList{"A.DAT"});

    // After its sixth poll the terminal falls silent: four failures in a row
    // clear the list and show the red error line.
    ASSERT_TRUE(waitUntil([&] { return !window_->connected(); }));
    EXPECT_EQ(window_->lblMessage()->text(), QStringLiteral("ハンディ接続エラー"));
    EXPECT_TRUE(window_->lblMessage()->styleSheet().contains("#ff0000"));
    EXPECT_TRUE(terminalItems().isEmpty());
    EXPECT_FALSE(window_->btnCopy()->isEnabled());
    EXPECT_TRUE(window_->started());
    EXPECT_TRUE(sim_->waitReceived(10, isCommand('P')));
}

// --- The HT number box, driven by keys as they arrive from a keyboard: at
// the widget that has the focus, which for an editable combo box is the box
// itself, not its line edit.

class HtNumberTest : public MainWindowTest {
  protected:
    // Terminals 5 and 7, each on its own folder; `sevenExtra` simulator
    // options for terminal 7.
    void startTerminals(std::vector<std::string> sevenExtra = {}) {
        store_.write("FIVE.DAT", "5");
        seven_.write("SEVEN.DAT", "7");
        std::vector<std::string> args = {"--ht", "5", "--dir", store_.path(),
                                         "--ht", "7", "--dir", seven_.path()};
        args.insert(args.end(), sevenExtra.begin(), sevenExtra.end());
        sim_ = simulatorOnPort(1, std::move(args));
    }

    // The widget the keys go to once the box has the focus.
    QWidget* focusBox() {
        window_->activateWindow();
        EXPECT_TRUE(waitUntil([this] { return window_->isActiveWindow(); }));
        window_->cmbHandyID()->setFocus(Qt::MouseFocusReason);
        EXPECT_TRUE(waitUntil([] { return QApplication::focusWidget() != nullptr; }));
        return QApplication::focusWidget();
    }

    // Replaces the box's text with `text` as typed, then presses `key` (none: no key).
    void typeNumber(const QString& text, Qt::Key key = Qt::Key_unknown,
                    Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* box = focusBox();
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(box, Qt::Key_Backspace);
        QTest::keyClicks(box, text);
        if (key != Qt::Key_unknown) QTest::keyClick(QApplication::focusWidget(), key, modifiers);
    }

    // Connected to terminal 5, its files listed.
    void connectToFive(std::vector<std::string> sevenExtra = {}) {
        startTerminals(std::move(sevenExtra));
        openWindow();
        typeNumber("5", Qt::Key_Return);
        ASSERT_EQ(window_->chosenHt(), "005");
        window_->btnStart()->click();
        ASSERT_TRUE(waitUntil([this] {
            return terminalItems() == QStringList{"FIVE.DAT"} && window_->btnCopy()->isEnabled();
        }));
    }

    bool operationButtonsEnabled() const {
        return window_->btnCopy()->isEnabled() || window_->btnDel()->isEnabled() ||
               window_->btnRename()->isEnabled() || window_->btnInstall()->isEnabled();
    }

    TempDir seven_{"veskam-ht007"};
};

TEST_F(HtNumberTest, ReturnOrKeypadEnterSwitchesToTheTypedTerminal) {
    connectToFive();

    typeNumber("7", Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(window_->cmbHandyID()->currentText(), "007");
    EXPECT_EQ(window_->chosenHt(), "007");
    // Terminal 5's list goes at once: no operation may act on it any more.
    EXPECT_TRUE(terminalItems().isEmpty());
    const size_t before = sim_->received().size();
    ASSERT_TRUE(waitUntil([&] { return terminalItems() == QStringList{"SEVEN.DAT"}; }));
    EXPECT_TRUE(window_->btnCopy()->isEnabled());
    std::vector<htsim::testing::RecordedFrame> after = sim_->received();
    ASSERT_GT(after.size(), before);
    for (size_t i = before; i < after.size(); ++i)
        EXPECT_EQ(after[i].htNumber(), 7) << "frame " << i << " after the switch";

    // And back with Return.
    typeNumber("5", Qt::Key_Return);
    EXPECT_EQ(window_->cmbHandyID()->currentText(), "005");
    ASSERT_TRUE(waitUntil([&] { return terminalItems() == QStringList{"FIVE.DAT"}; }));
    EXPECT_TRUE(messages_.isEmpty()) << messages_.join('|').toStdString();
}

TEST_F(HtNumberTest, AListingDroppedByAnotherNumberIsNotShown) {
    // Terminal 7 lists slowly enough to choose 5 again meanwhile.
    connectToFive({"--fault", "delay=150@F"});
    typeNumber("7", Qt::Key_Return);
    bool switched = false;
    QTimer back;
    QObject::connect(&back, &QTimer::timeout, [&] {
        if (switched || !window_->busy()) return;
        switched = true;
        window_->cmbHandyID()->setEditText(QStringLiteral("5"));
        window_->cmbHandyID_Enter();
    });
    back.start(5);
    ASSERT_TRUE(waitUntil([&] { return switched && !window_->busy(); }));
    // The listing of 7 ends dropped: nothing is listed until 5 answers and
    // is listed again.
    EXPECT_TRUE(terminalItems().isEmpty());
    ASSERT_TRUE(waitUntil([&] {
        return terminalItems() == QStringList{"FIVE.DAT"} && window_->btnCopy()->isEnabled();
    }));
    EXPECT_EQ(window_->chosenHt(), "005");
    EXPECT_TRUE(messages_.isEmpty()) << messages_.join('|').toStdString();
}

TEST_F(HtNumberTest, ANumberTypedButNotEnteredLetsNoOperationAct) {
    pc_.write("MASTER.DAT", "m");
    connectToFive();
    const size_t before = sim_->received().size();

    typeNumber("7");
    EXPECT_EQ(window_->chosenHt(), "005") << "typing alone chooses nothing";
    EXPECT_FALSE(operationButtonsEnabled());
    EXPECT_EQ(window_->lblMessage()->text(), QStringLiteral("Enterキーで番号を切り替えます"));

    // Neither the handlers behind the buttons nor the drops act on terminal 5;
    // none of them even asks.
    DialogDriver<F_CON> ask([](F_CON& d) { d.btn(2)->click(); });
    DialogDriver<F_Ren> rename([](F_Ren& d) { d.btn(1)->click(); });
    select(window_->lstHTFile(), {"FIVE.DAT"});
    window_->btnCopy_Click();
    window_->btnDel_Click();
    window_->btnRename_Click();
    window_->lstHOSTFile_DragOver(window_->lstHTFile(), ui::FileListBox::kOver);
    window_->lstHOSTFile_DragDrop(window_->lstHTFile());
    window_->lstHTFile()->clearSelection();
    select(window_->lstHOSTFile(), {"MASTER.DAT"});
    window_->btnCopy_Click();
    window_->btnInstall_Click();
    window_->lstHTFile_DragOver(window_->lstHOSTFile(), ui::FileListBox::kOver);
    window_->lstHTFile_DragDrop(window_->lstHOSTFile());
    QCoreApplication::processEvents();  // the drops run once the drag has ended

    // Polls go on to terminal 5 meanwhile; nothing else reaches it.
    ASSERT_TRUE(waitUntil([&] { return sim_->received().size() >= before + 3; }));
    std::vector<htsim::testing::RecordedFrame> after = sim_->received();
    for (size_t i = before; i < after.size(); ++i)
        EXPECT_EQ(after[i].control, "P") << "frame " << i << " while 7 was only typed";
    EXPECT_EQ(storeFile("MASTER.DAT"), "<none>");
    EXPECT_EQ(pcFile("FIVE.DAT"), "<none>");
    EXPECT_EQ(ask.shows() + rename.shows(), 0);
    EXPECT_TRUE(messages_.isEmpty()) << messages_.join('|').toStdString();

    // Typing the served number again gives the operations back.
    typeNumber("005");
    EXPECT_TRUE(window_->btnCopy()->isEnabled());
    EXPECT_TRUE(window_->lblMessage()->text().isEmpty());
    window_->btnCopy()->click();
    EXPECT_TRUE(stored(store_, "MASTER.DAT", "m"));
}

TEST_F(MainWindowTest, AFailedFirstListingIsTriedAgain) {
    store_.write("A.DAT", "a");
    startTerminal({"--fault", "silent=1@F"});
    connect();
    ASSERT_TRUE(waitUntil([&] { return terminalItems() == QStringList{"A.DAT"}; }));
    EXPECT_EQ(sim_->received(isCommand('F')).size(), 2u);
}

TEST_F(MainWindowTest, StartedButNotConnectedTheButtonsDoNothing) {
    pc_.write("MASTER.DAT", "m");
    // Only terminal 2 is on the line: terminal 1, polled, never answers.
    sim_ = simulatorOnPort(1, {"--ht", "2", "--dir", store_.path()});
    openWindow();
    window_->btnStart()->click();
    ASSERT_TRUE(window_->started());
    EXPECT_TRUE(window_->btnCopy()->isEnabled());
    EXPECT_EQ(window_->lblMessage()->text(), QStringLiteral("ハンディ接続中･･･"));
    ASSERT_TRUE(waitUntil([&] { return !sim_->received(isCommand('P', 1)).empty(); }));
    // Nothing asks either: a question would mean an operation had begun.
    DialogDriver<F_CON> ask([](F_CON& d) { d.btn(2)->click(); });
    DialogDriver<F_Ren> rename([](F_Ren& d) { d.btn(1)->click(); });
    select(window_->lstHOSTFile(), {"MASTER.DAT"});
    for (QPushButton* b :
         {window_->btnCopy(), window_->btnDel(), window_->btnRename(), window_->btnInstall()})
        b->click();
    EXPECT_FALSE(window_->connected());
    EXPECT_TRUE(sim_->received(isCommand('D')).empty());
    EXPECT_EQ(pcFile("MASTER.DAT"), "m");
    EXPECT_EQ(ask.shows() + rename.shows(), 0);
    EXPECT_TRUE(messages_.isEmpty()) << messages_.join('|').toStdString();
}

// Whether `edit` shows all of its text: it is not cut by what holds it, and
// moving the cursor from the first character to the end scrolls nothing.
bool showsWholeText(QLineEdit* edit) {
    // The line edit scrolls its text when it paints.
    auto cursorX = [edit] {
        edit->grab();
        return edit->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x();
    };
    edit->setCursorPosition(0);
    const int first = cursorX();
    edit->setCursorPosition(static_cast<int>(edit->text().size()));
    const int last = cursorX();
    return edit->visibleRegion().boundingRect() == edit->rect() &&
           last - first >= edit->fontMetrics().horizontalAdvance(edit->text());
}

TEST_F(MainWindowTest, TheFreeSizeShowsWholeInTheSmallestWindow) {
    startTerminal({"--free", "9999999"});
    connect();
    ASSERT_EQ(window_->txtFree()->text(), "9999999");
    EXPECT_TRUE(showsWholeText(window_->txtFree()));

    window_->resize(1, 1);
    ASSERT_TRUE(waitUntil([&] { return window_->size() == window_->minimumSize(); }));
    EXPECT_TRUE(showsWholeText(window_->txtFree())) << window_->txtFree()->width() << " px";
}

// --- A line that goes away (a USB adapter pulled out) and comes back

class LostLineTest : public MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        pointPortAt(1, device_);
    }

    // Terminal 1 behind a fixed path, as an adapter that comes back under
    // its name; `extra` simulator options.
    void plugIn(std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"--link", device_, "--ht", "1", "--dir", store_.path()};
        args.insert(args.end(), extra.begin(), extra.end());
        sim_.reset();
        sim_ = std::make_unique<SimProcess>(std::move(args));
    }

    bool showsLineLost() const {
        return window_->lblMessage()->text() ==
               QStringLiteral("COMﾎﾟｰﾄが切断されました。再接続中･･･");
    }

    QTimer* reopenTimer() const { return window_->findChild<QTimer*>("tmrReopen"); }

    bool listsAgain() const {
        return window_->connected() && terminalItems() == QStringList{"A.DAT"} &&
               window_->btnCopy()->isEnabled() && !window_->busy();
    }

    TempDir devices_{"veskam-dev"};
    std::string device_ = devices_.file("ttyUSB0");
};

TEST_F(LostLineTest, TheWindowOpensThePortAgainOnceTheDeviceIsBack) {
    store_.write("A.DAT", "a");
    pc_.write("MASTER.DAT", "m");
    plugIn();
    connect();
    ASSERT_EQ(terminalItems(), QStringList{"A.DAT"});

    sim_->stop();  // the line hangs up and the device's name goes
    ASSERT_TRUE(waitUntil([&] { return showsLineLost(); }));
    EXPECT_TRUE(window_->lblMessage()->styleSheet().contains("#ff0000"));
    EXPECT_FALSE(window_->lblMessage()->toolTip().isEmpty()) << "the system's reason";
    EXPECT_TRUE(terminalItems().isEmpty());
    EXPECT_FALSE(window_->btnCopy()->isEnabled());
    EXPECT_FALSE(window_->Timer1()->isActive()) << "no polls on a closed port";
    EXPECT_TRUE(window_->started());
    EXPECT_EQ(window_->btnStart()->text(), QStringLiteral("中　断"));

    // It keeps trying while the device is away.
    QTimer* reopen = reopenTimer();
    ASSERT_NE(reopen, nullptr);
    QSignalSpy attempts(reopen, &QTimer::timeout);
    ASSERT_TRUE(waitUntil([&] { return attempts.count() >= 2; }));
    EXPECT_TRUE(showsLineLost());
    EXPECT_FALSE(window_->busy());
    EXPECT_FALSE(window_->polling());

    plugIn();
    ASSERT_TRUE(waitUntil([&] { return listsAgain(); }, 10000));
    EXPECT_FALSE(reopen->isActive());
    EXPECT_TRUE(window_->lblMessage()->text().isEmpty());
    EXPECT_TRUE(messages_.isEmpty()) << messages_.join('|').toStdString();

    // The session opened again carries operations.
    select(window_->lstHOSTFile(), {"MASTER.DAT"});
    window_->btnCopy()->click();
    EXPECT_TRUE(stored(store_, "MASTER.DAT", "m"));
}

TEST_F(LostLineTest, ALineLostInACopyIsReportedAndOpenedAgain) {
    store_.write("A.DAT", "a");
    pc_.write("MASTER.DAT", std::string(4 * 512, 'm'));
    plugIn({"--fault", "hangup=2@D"});
    connect();
    select(window_->lstHOSTFile(), {"MASTER.DAT"});
    window_->btnCopy()->click();
    ASSERT_EQ(messages_.size(), 1);
    EXPECT_TRUE(messages_[0].startsWith(QStringLiteral("ダウンロードに失敗しました。ｴﾗｰｺｰﾄﾞ：6")))
        << messages_[0].toStdString();
    ASSERT_TRUE(waitUntil([&] { return showsLineLost(); }));
    EXPECT_EQ(storeFile("MASTER.DAT"), "<none>") << "no half-written file";

    plugIn();
    ASSERT_TRUE(waitUntil([&] { return listsAgain(); }, 10000));
}

TEST_F(LostLineTest, StopOrQuitEndsTheAttempts) {
    store_.write("A.DAT", "a");
    plugIn();
    connect();
    sim_->stop();
    ASSERT_TRUE(waitUntil([&] { return showsLineLost(); }));
    QTimer* reopen = reopenTimer();
    ASSERT_NE(reopen, nullptr);
    EXPECT_TRUE(reopen->isActive());

    window_->btnStart()->click();
    EXPECT_FALSE(window_->started());
    EXPECT_FALSE(reopen->isActive());
    EXPECT_FALSE(window_->Timer1()->isActive());
    EXPECT_TRUE(window_->lblMessage()->text().isEmpty());
    EXPECT_EQ(window_->btnStart()->text(), QStringLiteral("開　始"));

    // Started again on the device come back; then lost again and quit.
    plugIn();
    window_->btnStart()->click();
    ASSERT_TRUE(waitUntil([&] { return listsAgain(); }));
    sim_->stop();
    ASSERT_TRUE(waitUntil([&] { return showsLineLost(); }));
    window_->btnEnd()->click();
    EXPECT_FALSE(window_->isVisible());
    EXPECT_FALSE(reopen->isActive());
    EXPECT_TRUE(messages_.isEmpty()) << messages_.join('|').toStdString();
}

// --- Copy

TEST_F(MainWindowTest, CopyByButtonSendsPcFilesAndByDropFetchesTerminalFiles) {
    store_.write("STOCK.TXT", pattern(1500));
    pc_.write("MASTER.DAT", pattern(2000, 'a'));
    startTerminal();
    connect();

    select(window_->lstHOSTFile(), {"MASTER.DAT"});
    window_->btnCopy()->click();
    EXPECT_TRUE(stored(store_, "MASTER.DAT", pattern(2000, 'a')));
    EXPECT_TRUE(terminalItems().contains("MASTER.DAT")) << "the list is refreshed after a copy";
    EXPECT_TRUE(messages_.isEmpty()) << messages_.join('|').toStdString();

    // Dragging terminal files onto the PC list fetches them.
    window_->lstHOSTFile()->clearSelection();
    select(window_->lstHTFile(), {"STOCK.TXT"});
    window_->lstHOSTFile_DragOver(window_->lstHTFile(), ui::FileListBox::kOver);
    window_->lstHOSTFile_DragDrop(window_->lstHTFile());
    EXPECT_EQ(pcFile("STOCK.TXT"), pattern(1500));
    EXPECT_TRUE(pcItems().contains("STOCK.TXT"));
    EXPECT_TRUE(messages_.isEmpty()) << messages_.join('|').toStdString();
    // Each copy ends by returning the terminal's display to its start.
    EXPECT_TRUE(sim_->waitReceived(2, isCommand('I')));
}

TEST_F(MainWindowTest, DropOnTheTerminalListSendsWhenTheDragIsOverIt) {
    pc_.write("MASTER.DAT", "m");
    startTerminal();
    connect();
    select(window_->lstHOSTFile(), {"MASTER.DAT"});
    window_->lstHTFile_DragOver(window_->lstHOSTFile(), ui::FileListBox::kOver);
    window_->lstHTFile_DragOver(window_->lstHOSTFile(), ui::FileListBox::kLeave);
    window_->lstHTFile_DragDrop(window_->lstHOSTFile());
    EXPECT_TRUE(sim_->received(isCommand('D')).empty());

    window_->lstHTFile_DragOver(window_->lstHOSTFile(), ui::FileListBox::kOver);
    window_->lstHTFile_DragDrop(window_->lstHOSTFile());
    EXPECT_TRUE(stored(store_, "MASTER.DAT", "m"));
    EXPECT_TRUE(terminalItems().contains("MASTER.DAT"));
}

TEST_F(MainWindowTest, WithBothListsSelectedCopyFetchesFromTheTerminal) {
    store_.write("STOCK.TXT", "from terminal");
    pc_.write("MASTER.DAT", "from pc");
    startTerminal();
    connect();
    select(window_->lstHTFile(), {"STOCK.TXT"});
    select(window_->lstHOSTFile(), {"MASTER.DAT"});
    window_->btnCopy()->click();
    EXPECT_EQ(pcFile("STOCK.TXT"), "from terminal");
    EXPECT_TRUE(sim_->received(isCommand('D')).empty());
}

TEST_F(MainWindowTest, CopyWithNothingSelectedSaysSo) {
    startTerminal();
    connect();
    window_->btnCopy()->click();
    EXPECT_EQ(messages_, QStringList{QStringLiteral("選択ファイルがありません")});
}

TEST_F(MainWindowTest, FetchingAnExistingNameAsksToOverwriteOrAppend) {
    store_.write("LOG.TXT", "new");
    pc_.write("LOG.TXT", "old");
    pc_.write("OTHER.TXT", "x");
    startTerminal();
    connect();
    QStringList titles;
    int answer = 1;  // 追加
    DialogDriver<F_CON> ask([&](F_CON& d) {
        titles << d.windowTitle() << d.btn(0)->text() << d.btn(1)->text()
               << d.txtMsg()->toPlainText();
        d.btn(answer)->click();
    });
    select(window_->lstHTFile(), {"LOG.TXT"});
    window_->btnCopy()->click();
    EXPECT_EQ(pcFile("LOG.TXT"), "oldnew");
    ASSERT_EQ(titles.size(), 4);
    EXPECT_EQ(titles[0], QStringLiteral("アップロード確認"));
    EXPECT_EQ(titles[1], QStringLiteral("上書き"));
    EXPECT_EQ(titles[2], QStringLiteral("追加"));
    EXPECT_EQ(titles[3], QStringLiteral("LOG.TXT\n同名ファイルが存在します"));

    answer = 0;  // 上書き
    select(window_->lstHTFile(), {"LOG.TXT"});
    window_->btnCopy()->click();
    EXPECT_EQ(pcFile("LOG.TXT"), "new");

    answer = 2;  // ｷｬﾝｾﾙ: nothing is fetched, and nothing is reported
    pc_.write("LOG.TXT", "kept");
    select(window_->lstHTFile(), {"LOG.TXT"});
    window_->btnCopy()->click();
    EXPECT_EQ(pcFile("LOG.TXT"), "kept");
    EXPECT_EQ(ask.shows(), 3);
    EXPECT_TRUE(messages_.isEmpty()) << messages_.join('|').toStdString();
}

TEST_F(MainWindowTest, AbortInTheProgressWindowEndsTheCopyWithoutAMessage) {
    pc_.write("BIG.DAT", pattern(40 * 512));
    startTerminal({"--fault", "delay=20"});
    connect();
    bool pressed = false;
    QTimer watcher;
    watcher.setInterval(10);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        auto* prog = dynamic_cast<F_Prog*>(QApplication::activeModalWidget());
        if (prog == nullptr || pressed || prog->ProgressBar1()->value() < 10) return;
        pressed = true;
        EXPECT_EQ(prog->windowTitle(), QStringLiteral("ダウンロード"));
        EXPECT_EQ(prog->txtMsg()->toPlainText(), QStringLiteral("HandyID：001\nBIG.DAT"));
        prog->btn()->click();
    });
    watcher.start();
    select(window_->lstHOSTFile(), {"BIG.DAT"});
    window_->btnCopy()->click();
    watcher.stop();
    EXPECT_TRUE(pressed);
    EXPECT_TRUE(messages_.isEmpty()) << messages_.join('|').toStdString();
    EXPECT_TRUE(sim_->waitReceived(1, isFrame('E', "CAN")));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(MainWindowTest, DownloadSkipsNamesTheTerminalCannotHold) {
    pc_.write("GOOD.DAT", "g");
    pc_.write("TOOLONGNAME.DAT", "t");
    startTerminal();
    connect();
    select(window_->lstHOSTFile(), {"GOOD.DAT", "TOOLONGNAME.DAT"});
    window_->btnCopy()->click();
    EXPECT_TRUE(stored(store_, "GOOD.DAT", "g"));
    EXPECT_EQ(messages_,
              QStringList{QStringLiteral("ファイル名 [ TOOLONGNAME.DAT ] はＨＴで使用できません")});
    EXPECT_EQ(sim_->received(isCommand('D')).size(), 1u);
}

TEST_F(MainWindowTest, ClicksDuringAPollRunRightAfterIt) {
    pc_.write("MASTER.DAT", "m");
    // Polls take long enough to click into; the poll time-out waits for them.
    startTerminal({"--fault", "delay=120@P"});
    {
        ui::ClsReg reg;
        reg.setPollingTout(300);
    }
    connect();
    select(window_->lstHOSTFile(), {"MASTER.DAT"});
    int16_t pendingSeen = -1;
    QTimer clicker;
    clicker.setInterval(5);
    QObject::connect(&clicker, &QTimer::timeout, [&] {
        if (pendingSeen >= 0 || !window_->polling()) return;
        window_->btnCopy()->click();
        pendingSeen = window_->pending();
    });
    clicker.start();
    ASSERT_TRUE(waitUntil([&] { return pendingSeen >= 0; }));
    clicker.stop();
    EXPECT_EQ(pendingSeen, ui::F_MainM::kCopy);
    EXPECT_TRUE(stored(store_, "MASTER.DAT", "m"));
    EXPECT_EQ(window_->pending(), ui::F_MainM::kNone);

    // Closing during a poll closes the window right after it.
    bool closeDeferred = false;
    QObject::connect(&clicker, &QTimer::timeout, [&] {
        if (closeDeferred || !window_->polling()) return;
        window_->close();
        closeDeferred = window_->isVisible() && window_->pending() == ui::F_MainM::kClose;
    });
    pendingSeen = 0;
    clicker.start();
    ASSERT_TRUE(waitUntil([&] { return !window_->isVisible(); }));
    EXPECT_TRUE(closeDeferred);
}

// --- Delete and rename

TEST_F(MainWindowTest, TerminalDeleteAsksPerFileAndStopsAtTheFirstFailure) {
    for (const char* n : {"A.DAT", "B.DAT", "C.DAT"}) store_.write(n, n);
    startTerminal();
    connect();
    std::vector<int> answers = {2};  // cancel at the first file
    size_t asked = 0;
    QString firstMessage;
    DialogDriver<F_CON> ask([&](F_CON& d) {
        if (asked == 0) firstMessage = d.windowTitle() + "|" + d.txtMsg()->toPlainText();
        d.btn(answers.at(asked++))->click();
    });
    select(window_->lstHTFile(), {"A.DAT", "B.DAT", "C.DAT"});
    window_->btnDel()->click();
    EXPECT_EQ(firstMessage, QStringLiteral("ファイル削除|A.DAT\n削除してもよろしいですか？"));
    EXPECT_TRUE(sim_->received(isCommand('E')).empty());
    EXPECT_TRUE(messages_.isEmpty());
    EXPECT_EQ(terminalItems().size(), 3);
    EXPECT_EQ(sim_->received(isCommand('F')).size(), 2u) << "a cancelled delete lists again";

    // "すべて削除" at the first file; the second has gone from the terminal meanwhile.
    answers = {1};
    asked = 0;
    ::unlink(store_.file("B.DAT").c_str());
    select(window_->lstHTFile(), {"A.DAT", "B.DAT", "C.DAT"});
    window_->btnDel()->click();
    EXPECT_EQ(asked, 1u);
    EXPECT_EQ(messages_, QStringList{ui::withCode(QStringLiteral("ファイル削除に失敗しました。"),
                                                  VSK_E_HT_DELETE) +
                                     QStringLiteral("\nＨＴファイル削除失敗")});
    EXPECT_EQ(storeFile("A.DAT"), "<none>");
    EXPECT_EQ(storeFile("C.DAT"), "C.DAT") << "no file after the failed one is tried";
    EXPECT_TRUE(window_->btnDel()->isEnabled());
}

TEST_F(MainWindowTest, PcDeleteStopsAtTheFirstFileItCannotDelete) {
    for (const char* n : {"A.DAT", "B.DAT", "C.DAT"}) pc_.write(n, n);
    startTerminal();
    connect();
    DialogDriver<F_CON> ask([&](F_CON& d) { d.btn(0)->click(); });
    select(window_->lstHOSTFile(), {"A.DAT", "B.DAT", "C.DAT"});
    ::unlink(pc_.file("B.DAT").c_str());
    window_->btnDel()->click();
    EXPECT_EQ(messages_, QStringList{QStringLiteral("ファイル削除に失敗しました。")});
    EXPECT_EQ(pcFile("A.DAT"), "<none>");
    EXPECT_EQ(pcFile("C.DAT"), "C.DAT");
    EXPECT_EQ(pcItems(), QStringList{"C.DAT"});
}

TEST_F(MainWindowTest, RenameOnBothSides) {
    store_.write("OLD.DAT", "o");
    store_.write("KEEP.DAT", "k");
    pc_.write("A.TXT", "a");
    pc_.write("B.TXT", "b");
    pc_.write("C.TXT", "c");
    pc_.write("TAKEN.TXT", "t");
    startTerminal();
    connect();

    // Terminal side: one file renamed, one refused by the name check.
    const QMap<QString, QString> newNames = {{"OLD.DAT", "NEW.DAT"},
                                             {"KEEP.DAT", QStringLiteral("日本.DAT")}};
    QString prompt;
    {
        DialogDriver<F_Ren> rename([&](F_Ren& d) {
            prompt = d.lblRename()->text();
            d.txtRename()->setText(newNames.value(d.txtRename()->text()));
            d.btn(0)->click();
        });
        select(window_->lstHTFile(), {"OLD.DAT", "KEEP.DAT"});
        window_->btnRename()->click();
    }
    EXPECT_EQ(prompt, QStringLiteral("ＨＴ側のファイル名を変更します"));
    EXPECT_EQ(storeFile("NEW.DAT"), "o");
    EXPECT_EQ(storeFile("KEEP.DAT"), "k");
    EXPECT_EQ(messages_,
              QStringList{QStringLiteral("ファイル名 [ 日本.DAT ] はＨＴで使用できません")});
    EXPECT_TRUE(terminalItems().contains("NEW.DAT"));
    messages_.clear();

    // PC side: a failure on the second file goes on with the third.
    const QMap<QString, QString> pcNames = {
        {"A.TXT", "A2.TXT"}, {"B.TXT", "TAKEN.TXT"}, {"C.TXT", "C2.TXT"}};
    {
        DialogDriver<F_Ren> rename([&](F_Ren& d) {
            prompt = d.lblRename()->text();
            d.txtRename()->setText(pcNames.value(d.txtRename()->text()));
            d.btn(0)->click();
        });
        window_->lstHTFile()->clearSelection();
        select(window_->lstHOSTFile(), {"A.TXT", "B.TXT", "C.TXT"});
        window_->btnRename()->click();
    }
    EXPECT_EQ(prompt, QStringLiteral("ＰＣ側のファイル名を変更します"));
    EXPECT_EQ(messages_, QStringList{QStringLiteral("ファイル名の変更に失敗しました。")});
    EXPECT_EQ(pcFile("A2.TXT"), "a");
    EXPECT_EQ(pcFile("B.TXT"), "b");
    EXPECT_EQ(pcFile("TAKEN.TXT"), "t") << "an existing file is never replaced by a rename";
    EXPECT_EQ(pcFile("C2.TXT"), "c");
}

// --- Install

TEST_F(MainWindowTest, InstallTakesExactlyOneApplicationFile) {
    pc_.write("app.hex", pattern(700));
    pc_.write("APP.HEX1", "x");
    startTerminal();
    connect();
    select(window_->lstHOSTFile(), {"APP.HEX1"});
    window_->btnInstall()->click();
    select(window_->lstHOSTFile(), {"app.hex", "APP.HEX1"});
    window_->btnInstall()->click();
    window_->lstHOSTFile()->clearSelection();
    window_->btnInstall()->click();
    EXPECT_EQ(messages_,
              (QStringList{
                  QStringLiteral("ファイル [ APP.HEX1 ] はアプリケーションファイルではありません"),
                  QStringLiteral("選択ファイルが複数あります"),
                  QStringLiteral("選択ファイルがありません")}));
    EXPECT_TRUE(sim_->received(isCommand('A')).empty());

    messages_.clear();
    select(window_->lstHOSTFile(), {"app.hex"});
    window_->btnInstall()->click();
    EXPECT_TRUE(messages_.isEmpty()) << messages_.join('|').toStdString();
    EXPECT_TRUE(sim_->waitReceived(1, isCommand('A')));
    EXPECT_TRUE(sim_->waitReceived(4, isCommand('I'))) << "every install click ends with it";
}

// --- Settings and ending

TEST_F(MainWindowTest, ChoosingAVolumeShowsItsRoot) {
    openWindow();
    EXPECT_EQ(window_->lstDir()->path(), QDir(QString::fromStdString(pc_.path())).canonicalPath());
    QComboBox* volumes = window_->Drive1();
    ASSERT_GE(volumes->findText("/"), 0);
    if (volumes->count() < 2) GTEST_SKIP() << "only one volume is mounted";
    // Each volume in turn, ending on the one first shown.
    const int first = volumes->currentIndex();
    for (int k = 1; k <= volumes->count(); ++k) {
        int i = (first + k) % volumes->count();
        QFileInfo root(volumes->itemText(i));
        if (!root.isReadable() || !root.isExecutable()) continue;  // would rightly be refused
        volumes->setCurrentIndex(i);
        EXPECT_EQ(window_->lstDir()->path(), QDir(volumes->itemText(i)).canonicalPath());
    }
    EXPECT_TRUE(messages_.isEmpty()) << messages_.join('|').toStdString();
}

TEST_F(MainWindowTest, EndingStoresTheFolderShown) {
    startTerminal();
    openWindow();
    TempDir other("veskam-other");
    ASSERT_TRUE(window_->lstDir()->setPath(QString::fromStdString(other.path())));
    window_->btnEnd()->click();
    EXPECT_FALSE(window_->isVisible());
    ui::ClsReg reg;
    EXPECT_EQ(reg.DefFolder().toString(),
              QDir(QString::fromStdString(other.path())).canonicalPath());
}

TEST(ManualProgram, ASecondCopyEndsAtOnce) {
    TempDir runtime("veskam-runtime");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime.path()));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess first, second;
    for (QProcess* p : {&first, &second}) p->setProcessEnvironment(env);
    first.start(VESKAM_BINARY, {});
    ASSERT_TRUE(first.waitForStarted());
    // The first copy holds the lock once its window is up.
    ASSERT_TRUE(waitUntil(
        [&] { return QDir(QString::fromStdString(runtime.path())).exists("veskam.lock"); }));
    second.start(VESKAM_BINARY, {});
    EXPECT_TRUE(second.waitForFinished(5000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);
    first.kill();
    first.waitForFinished();
}

}  // namespace
}  // namespace vsk::testing
