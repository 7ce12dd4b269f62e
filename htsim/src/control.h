// The control channel: a Unix stream socket through which a program driving
// the PC side tells terminals, while the simulator runs, which faults to
// commit next. One client at a time; one command a line, one reply a line.
//
//   fault HT [FAULT ...]   the faults given for terminal HT over the channel
//                          become these (none: cleared); the command line's
//                          faults stay. Reply "ok", or "error TEXT".
#pragma once

#include <poll.h>

#include <memory>
#include <string>
#include <vector>

#include "terminal.h"

namespace vsk::htsim {

class ControlChannel {
  public:
    ControlChannel() = default;
    ~ControlChannel();
    ControlChannel(const ControlChannel&) = delete;
    ControlChannel& operator=(const ControlChannel&) = delete;

    // Listens at `path` (a stale socket there is replaced; anything else is an error).
    bool open(const std::string& path, std::string* error);

    // The two descriptors to watch (-1 where there is none): the listener, the client.
    void pollFds(pollfd* listener, pollfd* client) const;
    // Acts on what the poll found: takes a new client, runs complete command lines.
    void serve(short listenerEvents, short clientEvents,
               std::vector<std::unique_ptr<Terminal>>& terminals);

    // What a command line does, and the reply line without its end.
    static std::string run(const std::string& line,
                           std::vector<std::unique_ptr<Terminal>>& terminals);

  private:
    void dropClient();

    int listenFd_ = -1;
    int clientFd_ = -1;
    std::string path_;
    std::string pending_;  // bytes of a command line not yet complete
};

}  // namespace vsk::htsim
