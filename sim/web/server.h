// The simulator program's HTTP and WebSocket server on 127.0.0.1: the panel
// page, its WebSocket (/ws) and the endpoints /screen.bmp, /state, /touch
// and /card.
//
// It runs on a thread of its own and never touches a model: it reads what
// the publisher published and hands inputs to the board through it.
#pragma once

#include <memory>
#include <string>

#include "panel_state.h"

namespace sim::web {

class Server {
public:
    explicit Server(PanelPublisher& panel);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Listens on 127.0.0.1:port and starts serving; on failure (a busy
    // port) returns false with a message in error.
    bool start(int port, std::string* error);
    // Starts serving on a socket that already listens (one handed over
    // across a restart).
    bool adopt(int listening_fd, std::string* error);
    // The listening socket, for a restart to hand over.
    int listening_fd() const;
    int port() const;
    // Something new was published: pushes it to the page's sockets.  Any
    // thread; cheap when called often.
    void notify();

    struct Impl;  // the sockets and their thread (server.cpp)

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace sim::web
