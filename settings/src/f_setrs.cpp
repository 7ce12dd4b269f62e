#include "f_setrs.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>
#include <cmath>
#include <span>

#include "message_box.h"
#include "platform/port_names.h"
#include "ui_common.h"
#include "veska.h"

namespace vsk::ui {

namespace {

// One option button: its index in the group, its caption and what it stands
// for in the store (a number, or a parity letter when `letter` is set).
struct Option {
    int id;
    const char* caption;
    double number;
    const char* letter = nullptr;
};

constexpr Option kSpeeds[] = {{1, "2400", 2400},   {2, "4800", 4800},   {3, "9600", 9600},
                              {4, "19200", 19200}, {5, "38400", 38400}, {6, "115.2K", 115200}};
// The speeds offered are rates the library opens a port at.
constexpr bool offeredRatesExist() {
    constexpr int32_t rates[] = {VSK_BAUD_RATES};
    for (const Option& speed : kSpeeds) {
        bool found = false;
        for (int32_t rate : rates) found = found || rate == speed.number;
        if (!found) return false;
    }
    return true;
}
static_assert(offeredRatesExist());
constexpr Option kParities[] = {{VSK_PARITY_NONE, "NONE", 0, "N"},
                                {VSK_PARITY_EVEN, "EVEN", 0, "E"},
                                {VSK_PARITY_ODD, "ODD", 0, "O"}};
constexpr Option kDataBits[] = {{0, "7ﾋﾞｯﾄ", 7}, {1, "8ﾋﾞｯﾄ", 8}};
constexpr Option kStopBits[] = {{0, "1ﾋﾞｯﾄ", 1}, {1, "2ﾋﾞｯﾄ", 2}};

// Each option button carries its stored value, so loading and storing need
// no table of their own.
constexpr char kValueProperty[] = "storedValue";

constexpr int kPortCount = 128;
constexpr int kDeviceChars = 26;

QVariant optionValue(const Option& option) {
    if (option.letter != nullptr) return QString::fromLatin1(option.letter);
    return option.number;
}

template <class W>
W* named(W* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QGroupBox* makeFrame(QWidget* owner, const char* name, const char* caption) {
    return named(new QGroupBox(QString::fromUtf8(caption), owner), name);
}

// The buttons fill `frame` column by column, `rows` to a column.
QButtonGroup* addOptions(QWidget* owner, QGroupBox* frame, const char* name,
                         std::span<const Option> options, int rows) {
    auto* group = named(new QButtonGroup(owner), name);
    auto* grid = new QGridLayout(frame);
    for (size_t k = 0; k < options.size(); ++k) {
        const Option& option = options[k];
        QRadioButton* button =
            addOption(group, option.id, QString::fromUtf8(option.caption), frame);
        button->setObjectName(QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(option.id));
        button->setProperty(kValueProperty, optionValue(option));
        grid->addWidget(button, int(k) % rows, int(k) / rows);
    }
    return group;
}

// A value that matches no button leaves the whole group unchecked, which an
// exclusive group refuses while it is exclusive.
void selectMatching(QButtonGroup* group, const QVariant& stored) {
    group->setExclusive(false);
    for (QAbstractButton* button : group->buttons()) {
        button->setChecked(button->property(kValueProperty) == stored);
    }
    group->setExclusive(true);
}

// An unchecked group leaves its key as it is, so a value the dialog cannot
// show (a hand-set 57600, say) survives an OK.
void storeChoice(QButtonGroup* group, ClsReg& reg, void (ClsReg::*set)(const QVariant&)) {
    if (QAbstractButton* button = group->checkedButton()) {
        (reg.*set)(button->property(kValueProperty));
    }
}

// The stored port as the three digits of the port box; a number that is not
// whole is rounded, and a non-number reads 0 and shows "000".
QString portBoxText(double port) {
    return QString::number(std::round(std::fabs(port)), 'f', 0).rightJustified(3, u'0');
}

bool readsWithin(const QLineEdit* box, double low, double high) {
    const double value = leadingNumber(box->text());
    return value >= low && value <= high;
}

void fitToChars(QLineEdit* box, int chars) {
    box->setMaxLength(chars);
    const QFontMetrics metrics(box->font());
    box->setFixedWidth(metrics.horizontalAdvance(QString(chars + 2, u'0')) + 8);
}

QHBoxLayout* rowIn(QGroupBox* frame, std::initializer_list<QWidget*> widgets) {
    auto* row = new QHBoxLayout(frame);
    for (QWidget* w : widgets) row->addWidget(w);
    row->addStretch();
    return row;
}

}  // namespace

QString deviceForPortText(const QString& portText) {
    const double port = leadingNumber(portText);
    if (port < 1 || port > kPortCount || port != std::floor(port)) return QString();
    return QString::fromStdString(devicePathForPort(static_cast<int32_t>(port)));
}

F_SetRS::F_SetRS(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("通信条件の設定"));
    createControls();
    layOutControls();
    connect(cmbPort, &QComboBox::currentTextChanged, this, &F_SetRS::showDevice);
    connect(OKButton, &QPushButton::clicked, this, &F_SetRS::confirm);
    connect(CancelButton, &QPushButton::clicked, this, &F_SetRS::reject);
}

void F_SetRS::createControls() {
    Frame1 = makeFrame(this, "Frame1", "COMﾎﾟｰﾄ番号");
    cmbPort = named(new QComboBox(Frame1), "cmbPort");
    cmbPort->setEditable(true);
    // Inline completion would turn a typed "12" into "120", and insertion
    // would grow the list with whatever was typed.
    cmbPort->setCompleter(nullptr);
    cmbPort->setInsertPolicy(QComboBox::NoInsert);
    for (int n = 1; n <= kPortCount; ++n) cmbPort->addItem(portBoxText(n));
    lblDevice = named(new QLabel(Frame1), "lblDevice");
    lblDevice->setFixedWidth(lblDevice->fontMetrics().averageCharWidth() * kDeviceChars);

    Frame2 = makeFrame(this, "Frame2", "ﾎﾞｰﾚｲﾄ");
    optBaudRate = addOptions(this, Frame2, "optBaudRate", kSpeeds, 3);
    Frame3 = makeFrame(this, "Frame3", "ﾊﾟﾘﾃｨ");
    optParity = addOptions(this, Frame3, "optParity", kParities, 3);
    Frame4 = makeFrame(this, "Frame4", "ﾃﾞｰﾀ長");
    optBytSize = addOptions(this, Frame4, "optBytSize", kDataBits, 2);
    Frame5 = makeFrame(this, "Frame5", "ｽﾄｯﾌﾟﾋﾞｯﾄ");
    optStopBit = addOptions(this, Frame5, "optStopBit", kStopBits, 2);

    Frame6 = makeFrame(this, "Frame6", "通信ﾀｲﾑｱｳﾄ");
    txtTimeOut = named(new QLineEdit(Frame6), "txtTimeOut");
    fitToChars(txtTimeOut, 4);
    Label1 = named(new QLabel(QStringLiteral("mS"), Frame6), "Label1");
    Frame7 = makeFrame(this, "Frame7", "通信ﾘﾄﾗｲ回数");
    txtRetry = named(new QLineEdit(Frame7), "txtRetry");
    fitToChars(txtRetry, 2);
    Label2 = named(new QLabel(QStringLiteral("回"), Frame7), "Label2");

    OKButton = named(new QPushButton(QStringLiteral("OK"), this), "OKButton");
    OKButton->setDefault(true);
    CancelButton = named(new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this), "CancelButton");
}

void F_SetRS::layOutControls() {
    rowIn(Frame1, {cmbPort, lblDevice});
    rowIn(Frame6, {txtTimeOut, Label1});
    rowIn(Frame7, {txtRetry, Label2});

    auto* frames = new QGridLayout;
    frames->addWidget(Frame1, 0, 0, 1, 2);
    frames->addWidget(Frame2, 1, 0);
    frames->addWidget(Frame3, 1, 1);
    frames->addWidget(Frame4, 2, 0);
    frames->addWidget(Frame5, 2, 1);
    frames->addWidget(Frame6, 3, 0);
    frames->addWidget(Frame7, 3, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKButton);
    buttons->addWidget(CancelButton);

    auto* dialog = new QVBoxLayout(this);
    dialog->addLayout(frames);
    dialog->addLayout(buttons);
    dialog->setSizeConstraint(QLayout::SetFixedSize);
}

// Every opening starts from the store, so nothing typed and cancelled before
// comes back.
void F_SetRS::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) loadFromStore();
    QDialog::showEvent(event);
    if (!event->spontaneous()) centreOnScreen(this);
}

void F_SetRS::loadFromStore() {
    const QString port = portBoxText(reg_.Port().toDouble());
    const int listed = cmbPort->findText(port);
    cmbPort->setCurrentIndex(listed);
    if (listed < 0) cmbPort->setEditText(port);
    showDevice(cmbPort->currentText());

    selectMatching(optBaudRate, reg_.BaudRate());
    selectMatching(optParity, reg_.Parity());
    selectMatching(optBytSize, reg_.BiteSize());
    selectMatching(optStopBit, reg_.StopBits());
    txtTimeOut->setText(storedText(reg_.timeout()));
    txtRetry->setText(storedText(reg_.Retry()));
}

void F_SetRS::confirm() {
    if (!rangesAccepted()) return;
    storeControls();
    accept();
}

// The time-out is checked first; when both are wrong only its message shows.
bool F_SetRS::rangesAccepted() {
    if (!readsWithin(txtTimeOut, VSK_MIN_TIMEOUT_MS, VSK_MAX_TIMEOUT_MS)) {
        showError(QStringLiteral("通信タイムアウト値が範囲外です。"), this);
        txtTimeOut->setFocus();
        return false;
    }
    if (!readsWithin(txtRetry, VSK_MIN_RETRY, VSK_MAX_RETRY)) {
        showError(QStringLiteral("通信リトライ回数が範囲外です。"), this);
        txtRetry->setFocus();
        return false;
    }
    return true;
}

// The texts go to the store as typed: "800x" stays "800x" and reads as 800.
void F_SetRS::storeControls() {
    reg_.setPort(cmbPort->currentText());
    storeChoice(optBaudRate, reg_, &ClsReg::setBaudRate);
    storeChoice(optParity, reg_, &ClsReg::setParity);
    storeChoice(optBytSize, reg_, &ClsReg::setBiteSize);
    storeChoice(optStopBit, reg_, &ClsReg::setStopBits);
    reg_.setTimeout(txtTimeOut->text());
    reg_.setRetry(txtRetry->text());
}

// Long device paths (/dev/serial/by-id/...) are shortened in the middle so
// the dialog keeps its size; the tooltip has the whole path.
void F_SetRS::showDevice(const QString& portText) {
    const QString device = deviceForPortText(portText);
    lblDevice->setToolTip(device);
    lblDevice->setText(
        lblDevice->fontMetrics().elidedText(device, Qt::ElideMiddle, lblDevice->maximumWidth()));
}

}  // namespace vsk::ui
