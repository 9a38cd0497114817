// What the virtual printer reads from, one face on every system: a pty, a file, standard input or
// a listening socket. The serve loop (main.cpp) decides when to read and how much; a Source only
// waits and moves bytes. PosixSource.cpp and Win32Source.cpp are the two sides.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "tools/virtual-printer/Listen.h"

namespace prax::vprinter {

#ifdef _WIN32
inline constexpr bool kHasPty = false;
#else
inline constexpr bool kHasPty = true;
#endif

using Clock = std::chrono::steady_clock;

// Why a wait ended.
enum class Woke {
    Stop,     // a stop request (a signal, Ctrl+C, the console closing), or the wait itself failed
    Ready,    // the input: bytes or its end on the open stream, or a connection while none is
    Timeout,  // the deadline passed
    Nothing,  // none of these after all (an interrupted wait): look again
};

class Source {
public:
    virtual ~Source() = default;
    // Waits until `deadline` (Clock::time_point::max(): no limit) for a stop request and, when
    // `forInput`, for the input.
    virtual Woke Wait(bool forInput, Clock::time_point deadline) = 0;
    // Up to `size` bytes: how many; 0 at the end of the stream (or when it failed); -1 when there
    // were none after all.
    virtual long Read(std::uint8_t* data, std::size_t size) = 0;
    // Listening: whether a connection is open. The other inputs are always open.
    virtual bool Connected() const { return true; }
    // Listening: takes the waiting connection; false when there was none after all.
    virtual bool Accept() { return false; }
    // Listening: the peer is done; its connection is closed and the next one may come.
    virtual void CloseStream() {}
    // Listening: closes the listening socket, so that connections are refused until Listen, as
    // by a printer that restarts. The open connection stays, to be read to its end.
    virtual void StopListening() {}
    // Listening: takes the connections of `listener` (made by OpenListener) from now on.
    virtual void Listen(Socket) {}
    // The pty: one flow-control byte (XON, XOFF) back to the writer.
    virtual void Send(std::uint8_t) {}
    // The pty: what a quiet moment is used for.
    virtual void Idle() {}
};

// Makes a stop request end every Source's wait; false when it can't. Called once, first.
bool CatchStopRequests();

// Each says why on standard error and returns null when it can't open its input. `name` is the
// pty's device path.
std::unique_ptr<Source> OpenPtySource(std::string& name);
std::unique_ptr<Source> OpenFileSource(const std::string& path);
std::unique_ptr<Source> OpenStdinSource();
// Takes the connections of a listener made by OpenListener, one at a time.
std::unique_ptr<Source> ListenSource(Socket listener);

// `text` (whole lines) to standard output at once, as this system writes text.
void Print(const std::string& text);

// The folder, if it is not there yet.
void MakeFolder(const std::string& path);

}  // namespace prax::vprinter
