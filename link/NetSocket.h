// The one socket of the link's network transport, and Windows Sockets started and stopped for
// the process around it. The front end makes one holder at start-up and keeps it to the end;
// TCom reaches it through Instance().
#pragma once

#include <cstdint>

#include "platform/Platform.h"

namespace prax::link {

// Whether Windows Sockets is started by this thread's holder.
bool& netStarted();

class NetSocket {
public:
    // Starts Windows Sockets (a failure only leaves netStarted() false) and becomes the holder
    // that Instance() names.
    explicit NetSocket(platform::Platform& host);
    // Closes the socket, then stops Windows Sockets.
    ~NetSocket();
    NetSocket(const NetSocket&) = delete;
    NetSocket& operator=(const NetSocket&) = delete;

    // The holder this thread's front end made; null when there is none.
    static NetSocket* Instance();

    bool NetStartup();
    void NetCleanup();
    bool IsValid() const { return socket != platform::INVALID_SOCKET_; }
    // One send call for the whole buffer: true only if every byte went. A short send is a failure
    // and is not continued (the backend's send already kept at it until the peer stopped).
    bool SendAll(const std::uint8_t* data, int length);
    // Ends the sending side and closes the socket; nothing to do when none is held. False when
    // the close could not hand over what was still queued (the host gave it up, the peer reset).
    bool CloseSocket();
    // Takes over a connected socket; one still held is closed first.
    void Adopt(platform::Socket s);

    // What the last send call gave: the count sent, -1 when it failed outright; 0 when SendAll
    // made no call.
    int LastSendResult() const { return lastSendResult_; }

    platform::Socket socket = platform::INVALID_SOCKET_;

private:
    platform::Platform& host_;
    int lastSendResult_ = 0;
};

}  // namespace prax::link
