// Constants of the terminals' link frame: control bytes, frame types, command
// codes, sizes and the internal reply kinds. This is the one place they live.
#pragma once

#include <cstddef>
#include <cstdint>

#include "veska.h"

namespace vsk::frame {

inline constexpr uint8_t STX = 0x02;
inline constexpr uint8_t ETX = 0x03;
inline constexpr uint8_t EOT = 0x04;
inline constexpr uint8_t ACK = 0x06;
inline constexpr uint8_t NAK = 0x15;
inline constexpr uint8_t CAN = 0x18;

// Frame types (offset 1).
inline constexpr char kCommand = 'C';
inline constexpr char kData = 'D';
inline constexpr char kEnd = 'E';
inline constexpr char kAnswer = 'A';
inline constexpr char kResult = 'R';

// Command codes carried as the control byte of a command frame.
namespace cmd {
inline constexpr char kDir = 'F';
inline constexpr char kFileInfo = 'H';
inline constexpr char kStatus = 'G';
inline constexpr char kDispInit = 'I';
inline constexpr char kDelete = 'E';
inline constexpr char kRename = 'N';
inline constexpr char kReboot = 'R';
inline constexpr char kPowerOff = 'T';
inline constexpr char kRemoteEnd = 'Q';
inline constexpr char kApEnd = 'J';
inline constexpr char kDownload = 'D';
inline constexpr char kUpload = 'S';
inline constexpr char kApInstallA = 'A';
inline constexpr char kApInstallB = 'B';
inline constexpr char kOsInstall = 'O';
inline constexpr char kOsInstall2 = 'V';
inline constexpr char kBatchDownload = 'W';
inline constexpr char kBatchUpload = 'U';
inline constexpr char kPolling = 'P';
}  // namespace cmd

// Result letters of result frames.
namespace res {
inline constexpr char kSuccess = 'S';
inline constexpr char kA = 'A';
inline constexpr char kFailure = 'F';
inline constexpr char kMode = 'M';
inline constexpr char kRandom = 'R';
}  // namespace res

// Offsets within a frame.
inline constexpr size_t kOffType = 1;
inline constexpr size_t kOffHt = 2;
inline constexpr size_t kOffBlock = 5;
inline constexpr size_t kOffLength = 6;
inline constexpr size_t kOffData = 10;
inline constexpr size_t kHeaderSize = 10;  // STX through the length field
inline constexpr size_t kOverhead = 12;    // header, ETX and BCC
inline constexpr size_t kHtWidth = 3;

inline constexpr size_t kSendBufferSize = 1024;
inline constexpr size_t kReceiveBufferSize = 1024;
inline constexpr size_t kDataAreaSize = 550;  // largest outgoing data field
inline constexpr size_t kMaxReceiveData = kReceiveBufferSize - kOverhead;  // 1012
inline constexpr size_t kBlockSize = 512;             // file data per data frame
inline constexpr size_t kNameWidth = VSK_NAME_WIDTH;  // terminal file name on the line
inline constexpr size_t kSizeDigits = 7;              // file sizes in command data
static_assert(VSK_MAX_FILE_SIZE == 9999999, "the largest size kSizeDigits can carry");
inline constexpr size_t kDirEntryWidth = kNameWidth + kSizeDigits;  // 19
inline constexpr size_t kAbortFrameSize = 13;                       // an end frame with CAN

// Reply kinds: small negative numbers used only inside the library.
namespace kind {
inline constexpr int kUnknown = -1;
inline constexpr int kAck = -2;
inline constexpr int kNak = -3;
inline constexpr int kData = -4;
inline constexpr int kEot = -5;
inline constexpr int kCancel = -6;
inline constexpr int kMode = -7;
inline constexpr int kResultA = -8;
inline constexpr int kFailure = -9;
inline constexpr int kSuccess = -10;
inline constexpr int kMoreData = -11;
inline constexpr int kDataComplete = -12;
inline constexpr int kNakMapped = -13;
inline constexpr int kRandomRename = -14;
inline constexpr int kRepeatedBlock = -15;
}  // namespace kind

}  // namespace vsk::frame
