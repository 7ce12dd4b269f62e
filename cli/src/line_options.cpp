#include "line_options.h"

#include <cstring>

#include "platform/port_names.h"

namespace veskactl {

LineOptions defaultLineOptions() {
    return LineOptions{
        .port = VSK_DEFAULT_PORT,
        .baudRate = VSK_DEFAULT_BAUD_RATE,
        .parity = VSK_PARITY_LETTERS[VSK_DEFAULT_PARITY],
        .dataBits = VSK_DEFAULT_DATA_BITS,
        .stopBits = VSK_DEFAULT_STOP_BITS,
        .timeoutMs = VSK_DEFAULT_TIMEOUT_MS,
        .retry = VSK_DEFAULT_RETRY,
        .pollingMs = VSK_DEFAULT_POLLING_MS,
    };
}

namespace {

int32_t parityCode(char parity) {
    const char* letter = std::strchr(VSK_PARITY_LETTERS, parity);
    return letter != nullptr && parity != '\0' ? static_cast<int32_t>(letter - VSK_PARITY_LETTERS)
                                               : VSK_PARITY_NONE;
}

}  // namespace

LineSettings toLineSettings(const LineOptions& options) {
    LineSettings settings{};
    settings.BaudRate = options.baudRate;
    settings.Parity = parityCode(options.parity);
    settings.BiteSize = options.dataBits == 7 ? VSK_DATA_BITS_7 : VSK_DATA_BITS_8;
    settings.StopBits = options.stopBits == 2 ? VSK_STOP_BITS_2 : VSK_STOP_BITS_1;
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
