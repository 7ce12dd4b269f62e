// veskau: the auto-mode upload tool.
//   veskau                  the main window
//   veskau JOB.SIF [/ICON]  runs the upload job of JOB.SIF at once
#include "f_mainu.h"
#include "tool_start.h"

int main(int argc, char** argv) {
    return vsk::ui::runAutoTool(argc, argv,
                                {"veskau", 2, [] { return std::make_unique<vsk::ui::F_MainU>(); }});
}
