// The upload tool's main window: the download tool's, for upload jobs.
#pragma once

#include "f_maind.h"

namespace vsk::ui {

class F_MainU : public AutoMainWindow {
  public:
    explicit F_MainU(QWidget* parent = nullptr);
    ~F_MainU() override;

    void btnSetData_Click() override;
    void btnFileRead_Click() override;
};

}  // namespace vsk::ui
