// The confirmation dialog both tools show before a job runs, and the real
// save dialog behind the editors' test seam.

#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>

#include "window_test.h"

namespace vsk::testing {
namespace {

using ui::F_Msg;

enum class End { Ok, Cancel, CloseBox, Escape };

void end(F_Msg& msg, End how) {
    switch (how) {
        case End::Ok:
            msg.OKButton()->click();
            break;
        case End::Cancel:
            msg.CancelButton()->click();
            break;
        case End::CloseBox:
            msg.close();
            break;
        case End::Escape: {
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(&msg, &escape);
            break;
        }
    }
}

TEST(ConfirmationDialog, OnlyOkConfirmsAndEveryShowStartsUnconfirmed) {
    F_Msg msg;
    End how = End::Ok;
    DialogDriver<F_Msg> driver([&how](F_Msg& shown) { end(shown, how); });
    for (End way : {End::Ok, End::Cancel, End::Ok, End::CloseBox, End::Ok, End::Escape}) {
        how = way;
        msg.exec();
        EXPECT_EQ(msg.Result(), way == End::Ok) << static_cast<int>(way);
    }
    EXPECT_EQ(driver.shows(), 6);
}

class SaveDialogTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        ui::setPathChooser(nullptr);  // the real dialog
    }
};

TEST_F(SaveDialogTest, RefusesANameInAFolderThatDoesNotExist) {
    const QString missing = path("gone") + QStringLiteral("/job.SIF");
    const QString wanted = path("job.SIF");
    QString filter;
    bool stayedOpen = false;
    DialogDriver<QFileDialog> driver([&](QFileDialog& dialog) {
        filter = dialog.selectedNameFilter();
        auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(missing);
        QMetaObject::invokeMethod(&dialog, "accept");
        stayedOpen = dialog.isVisible();
        name->setText(wanted);
        QMetaObject::invokeMethod(&dialog, "accept");
    });
    EXPECT_EQ(ui::choosePath(ui::jobFileToSave(), nullptr), wanted);
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(messages_, QStringList{ui::missingFolderText(path("gone"))});
    // Job files are offered whatever the case of their extension.
    EXPECT_TRUE(filter.contains(QStringLiteral("*.SIF")) &&
                filter.contains(QStringLiteral("*.sif")))
        << filter.toStdString();
}

}  // namespace
}  // namespace vsk::testing
