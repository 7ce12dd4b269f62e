#include "protocol_names.h"

#include "frame_defs.h"

namespace vsk::frame {

const char* commandName(uint8_t c) {
    using namespace cmd;
    switch (static_cast<char>(c)) {
        case kDir:
            return "listing";
        case kFileInfo:
            return "file info";
        case kStatus:
            return "status";
        case kDispInit:
            return "display init";
        case kDelete:
            return "delete";
        case kRename:
            return "rename";
        case kReboot:
            return "reboot";
        case kPowerOff:
            return "power off";
        case kRemoteEnd:
            return "remote end";
        case kApEnd:
            return "application end";
        case kDownload:
            return "download";
        case kUpload:
            return "upload";
        case kApInstallA:
            return "install";
        case kApInstallB:
            return "install, mode 0";
        case kOsInstall:
            return "system install";
        case kOsInstall2:
            return "system install, two files";
        case kBatchDownload:
            return "batch download";
        case kBatchUpload:
            return "batch upload";
        case kPolling:
            return "poll";
        default:
            return nullptr;
    }
}

const char* resultLetterName(uint8_t c) {
    using namespace res;
    switch (static_cast<char>(c)) {
        case kSuccess:
            return "success";
        case kFailure:
            return "failure";
        case kMode:
            return "wrong mode";
        case kRandom:
            return "random file";
        default:
            return nullptr;
    }
}

}  // namespace vsk::frame
