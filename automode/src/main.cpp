// veskad: the auto-mode download tool.
//   veskad                  the main window
//   veskad JOB.SIF [/ICON]  runs the download job of JOB.SIF at once
#include "f_maind.h"
#include "tool_start.h"

int main(int argc, char** argv) {
    return vsk::ui::runAutoTool(argc, argv,
                                {"veskad", 1, [] { return std::make_unique<vsk::ui::F_MainD>(); }});
}
