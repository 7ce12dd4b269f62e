// Drives modal dialogs in tests: each time a dialog of type Dialog is shown
// while the driver lives, the action runs on it from inside the dialog's own
// event loop, so exec() can be called as the program calls it. The action
// must end the dialog (click a button, close it), else exec() never returns.
//
//     DialogDriver<F_CON> press([](F_CON& d) { d.btn(1)->click(); });
//     question.exec();
//     EXPECT_EQ(press.shows(), 1);
#pragma once

#include <QApplication>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <utility>

namespace vsk::testing {

template <typename Dialog>
class DialogDriver : public QObject {
  public:
    using Action = std::function<void(Dialog&)>;

    explicit DialogDriver(Action action) : action_(std::move(action)) {
        qApp->installEventFilter(this);
    }
    ~DialogDriver() override { qApp->removeEventFilter(this); }

    // How many shows the action has run on.
    int shows() const { return shows_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && !event->spontaneous()) {
            if (auto* dialog = dynamic_cast<Dialog*>(watched)) {
                // Queued, so that it runs once exec() is waiting, not inside show().
                QPointer<Dialog> shown(dialog);
                QTimer::singleShot(0, this, [this, shown] {
                    if (shown == nullptr || !shown->isVisible()) return;
                    ++shows_;
                    action_(*shown);
                });
            }
        }
        return false;
    }

  private:
    Action action_;
    int shows_ = 0;
};

}  // namespace vsk::testing
