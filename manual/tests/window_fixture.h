// The manual tool's main window against a simulated terminal on a
// pseudo-terminal, with the settings store in a scratch folder and every
// message box recorded instead of shown.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cls_reg.h"
#include "f_mainm.h"
#include "file_list_box.h"
#include "folder_list.h"
#include "message_box.h"
#include "qt_print.h"
#include "qt_wait.h"
#include "sim_process.h"
#include "test_env.h"
#include "widget_input.h"

namespace vsk::testing {

using htsim::testing::isCommand;
using htsim::testing::isFrame;
using htsim::testing::SimProcess;
using htsim::testing::TempDir;

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ui::ClsReg reg;
        reg.setPort(1);
        reg.setBaudRate(115200);
        reg.setTimeout(500);
        reg.setRetry(3);
        // Generous: a loaded machine must not turn a slow answer into a failed poll.
        reg.setPollingTout(300);
        reg.setDefFolder(QString::fromStdString(pc_.path()));
    }

    void TearDown() override {
        if (window_) {
            window_->btnEnd()->click();
            waitUntil([this] { return !window_->isVisible(); }, 3000);
        }
        window_.reset();
    }

    // Terminal 1 on its own folder, with `extra` simulator options.
    void startTerminal(std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"--ht", "1", "--dir", store_.path()};
        args.insert(args.end(), extra.begin(), extra.end());
        sim_ = simulatorOnPort(1, std::move(args));
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

    // Every test starts from an empty store of its own.
    SettingsFolder config_{"veskam-config"};
    TempDir store_{"veskam-store"};
    TempDir pc_{"veskam-pc"};
    std::unique_ptr<SimProcess> sim_;
    std::unique_ptr<ui::F_MainM> window_;
    QStringList messages_;
    RecordedMessages recording_{messages_};
};

}  // namespace vsk::testing
