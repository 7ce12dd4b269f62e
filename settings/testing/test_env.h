// What a tool's test sets up around a window: a settings store of its own,
// message boxes recorded instead of shown, and simulated terminals behind the
// serial ports the tools open.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

#include "sim_process.h"

namespace vsk::testing {

// The settings store lives in a scratch folder for as long as this object:
// the user's own settings are never read or touched.
class SettingsFolder {
  public:
    explicit SettingsFolder(const char* tag);
    const std::string& path() const { return dir_.path(); }

  private:
    htsim::testing::TempDir dir_;
};

// Every message box shown while it lives is added to `into` instead.
class RecordedMessages {
  public:
    explicit RecordedMessages(QStringList& into);
    ~RecordedMessages();
    RecordedMessages(const RecordedMessages&) = delete;
    RecordedMessages& operator=(const RecordedMessages&) = delete;
};

// Serial port `port` (COMn) opens `device` from now on.
void pointPortAt(int port, const std::string& device);

// The simulator started with `args`, behind serial port `port`.
std::unique_ptr<htsim::testing::SimProcess> simulatorOnPort(int port,
                                                            std::vector<std::string> args);

}  // namespace vsk::testing
