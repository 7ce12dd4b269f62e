#include "line_options.h"

#include "port_names.h"

namespace veskactl {

LineOptions defaultLineOptions() {
    return LineOptions{
        .port = 1,
        .baudRate = 19200,
        .parity = 'N',
        .dataBits = 8,
        .stopBits = 1,
        .timeoutMs = 800,
        .retry = 7,
        .pollingMs = 100,
    };
}

namespace {

int32_t parityCode(char parity) {
    switch (parity) {
        case 'E':
            return 1;
        case 'O':
            return 2;
        default:
            return 0;
    }
}

}  // namespace

LineSettings toLineSettings(const LineOptions& options) {
    LineSettings settings{};
    settings.BaudRate = options.baudRate;
    settings.Parity = parityCode(options.parity);
    settings.BiteSize = options.dataBits == 7 ? 0 : 1;
    settings.StopBits = options.stopBits == 2 ? 1 : 0;
    settings.Flow = 0;
    settings.timeout = options.timeoutMs;
    settings.Retry = options.retry;
    return settings;
}

DevicePath devicePathForPort(int32_t port) {
    return DevicePath{vsk::devicePathForPort(port), vsk::portVariable(port),
                      vsk::portFromEnvironment(port)};
}

}  // namespace veskactl
