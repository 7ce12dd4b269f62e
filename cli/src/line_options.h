// The serial-line options of one run: where they come from by default, which
// values are accepted, and how they become the library's LineSettings.
#pragma once

#include <cstdint>
#include <string>

#include "veska.h"

namespace veskactl {

struct LineOptions {
    int32_t port;
    int32_t baudRate;
    char parity;  // 'N', 'E' or 'O'
    int32_t dataBits;
    int32_t stopBits;
    int32_t timeoutMs;
    int32_t retry;
    int32_t pollingMs;
};

// One bit per line option, to tell which ones the user typed: a job run
// starts from the tools' stored line and takes only those.
enum LineOption : unsigned {
    kLinePort = 1u << 0,
    kLineBaud = 1u << 1,
    kLineParity = 1u << 2,
    kLineData = 1u << 3,
    kLineStop = 1u << 4,
    kLineTimeout = 1u << 5,
    kLineRetry = 1u << 6,
    kLinePolling = 1u << 7,
};

// The rates the parser accepts and the help text lists (the ranges are
// veska.h's VSK_MIN_* and VSK_MAX_*).
inline constexpr int32_t kBaudRates[] = {VSK_BAUD_RATES};

// The settings a run starts from before its options are applied. This is the
// single place that will read the desktop tools' per-user settings once they
// have a store on this platform.
LineOptions defaultLineOptions();

LineSettings toLineSettings(const LineOptions& options);

// The device the library opens for port N: $VESKA_COM<N> if set, else the
// system's own (/dev/ttyS<N-1>, \\.\COM<N> on Windows).
struct DevicePath {
    std::string path;
    std::string variable;  // the environment variable consulted
    bool fromEnvironment;
};
DevicePath devicePathForPort(int32_t port);

}  // namespace veskactl
