#include "test_env.h"

#include <stdlib.h>

#include <QSettings>

#include "message_box.h"

namespace vsk::testing {

SettingsFolder::SettingsFolder(const char* tag) : dir_(tag) {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(dir_.path()));
}

RecordedMessages::RecordedMessages(QStringList& into) {
    ui::setMessageSink([&into](const QString& text) { into << text; });
}

RecordedMessages::~RecordedMessages() {
    ui::setMessageSink(nullptr);
}

void pointPortAt(int port, const std::string& device) {
    const std::string name = "VESKA_COM" + std::to_string(port);
    setenv(name.c_str(), device.c_str(), 1);
}

std::unique_ptr<htsim::testing::SimProcess> simulatorOnPort(int port,
                                                            std::vector<std::string> args) {
    auto sim = std::make_unique<htsim::testing::SimProcess>(std::move(args));
    pointPortAt(port, sim->path());
    return sim;
}

}  // namespace vsk::testing
