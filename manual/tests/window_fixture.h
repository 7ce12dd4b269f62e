// The manual tool's main window against a simulated terminal on a
// pseudo-terminal, with the settings store in a scratch folder and every
// message box recorded instead of shown.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "cls_reg.h"
#include "f_mainm.h"
#include "file_list_box.h"
#include "folder_list.h"
#include "message_box.h"
#include "qt_wait.h"
#include "sim_process.h"

// Failures show the texts, not their code units.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace vsk::testing {

using htsim::testing::isCommand;
using htsim::testing::isFrame;
using htsim::testing::SimProcess;
using htsim::testing::TempDir;

inline QStringList itemsOf(const QListWidget* list) {
    QStringList names;
    for (int i = 0; i < list->count(); ++i) names << list->item(i)->text();
    return names;
}

// Selects exactly the items with these texts.
inline void select(QListWidget* list, const QStringList& names) {
    list->clearSelection();
    for (int i = 0; i < list->count(); ++i)
        if (names.contains(list->item(i)->text())) list->item(i)->setSelected(true);
}

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        config_ = std::make_unique<TempDir>("veskam-config");
        // Every test starts from an empty store of its own.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString(config_->path()));
        ui::ClsReg reg;
        reg.setPort(1);
        reg.setBaudRate(115200);
        reg.setTimeout(500);
        reg.setRetry(3);
        // Generous: a loaded machine must not turn a slow answer into a failed poll.
        reg.setPollingTout(300);
        reg.setDefFolder(QString::fromStdString(pc_.path()));
        ui::setMessageSink([this](const QString& text) { messages_ << text; });
    }

    void TearDown() override {
        if (window_) {
            window_->btnEnd()->click();
            waitUntil([this] { return !window_->isVisible(); }, 3000);
        }
        window_.reset();
        ui::setMessageSink(nullptr);
    }

    // Terminal 1 on its own folder, with `extra` simulator options.
    void startTerminal(std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"--ht", "1", "--dir", store_.path()};
        args.insert(args.end(), extra.begin(), extra.end());
        sim_ = std::make_unique<SimProcess>(std::move(args));
        setenv("VESKA_COM1", sim_->path().c_str(), 1);
    }

    void openWindow() {
        window_ = std::make_unique<ui::F_MainM>();
        window_->show();
    }

    // Starts the link and waits for the terminal's first listing.
    void connect() {
        openWindow();
        window_->btnStart()->click();
        ASSERT_TRUE(window_->started());
        ASSERT_TRUE(waitUntil([this] {
            return window_->connected() && !window_->busy() && window_->btnCopy()->isEnabled();
        }));
    }

    QStringList terminalItems() const { return itemsOf(window_->lstHTFile()); }
    QStringList pcItems() const { return itemsOf(window_->lstHOSTFile()); }
    std::string pcFile(const std::string& name) const { return pc_.read(name).value_or("<none>"); }
    std::string storeFile(const std::string& name) const {
        return store_.read(name).value_or("<none>");
    }

    std::unique_ptr<TempDir> config_;
    TempDir store_{"veskam-store"};
    TempDir pc_{"veskam-pc"};
    std::unique_ptr<SimProcess> sim_;
    std::unique_ptr<ui::F_MainM> window_;
    QStringList messages_;
};

}  // namespace vsk::testing
