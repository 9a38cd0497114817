#include "cli/PrinterWait.h"

#include <algorithm>
#include <chrono>

#include "cli/Interrupt.h"
#include "cli/Recipe.h"
#include "link/TCom.h"
#include "link/UsbDiscovery.h"
#include "platform/Names.h"

namespace prax::cli {

namespace {

using Clock = std::chrono::steady_clock;

// Looks this often: a printer is back a moment after it is, and a restart shorter than this is
// none a real printer makes.
constexpr std::uint32_t kLookEveryMs = 50;

std::uint32_t MsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<std::uint32_t>(left) : 0;
}

PrinterBack NotBack(bool wentAway, std::uint32_t ms) {
    PrinterBack result;
    result.interrupted = gInterruptSignal != 0;
    result.why = result.interrupted ? "interrupted"
                 : wentAway         ? "the printer did not come back within " + DurationText(ms)
                                    : "the printer did not restart within " + DurationText(ms) +
                                  ": it stayed there all along";
    return result;
}

const link::SeenUsbPrinter* Find(const link::UsbLook& look, const std::string& serial, const std::string& path) {
    for (const link::SeenUsbPrinter& p : look.printers) {
        if (p.verdict != link::UsbVerdict::Accepted) continue;
        // Without a serial number the printer is known by its interface path alone.
        const bool same = serial.empty() ? platform::UpperAscii(p.path) == platform::UpperAscii(path)
                                         : platform::UpperAscii(p.Serial()) == platform::UpperAscii(serial);
        if (same) return &p;
    }
    return nullptr;
}

// Gone once it is missing from a look, or under another node than at first (it went and came
// back between two looks); back once it is there again with a node this user can open.
PrinterBack WaitForUsb(platform::Platform& host, Target& target, const std::string& serial, const std::string& opened,
                       std::uint32_t ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    host.WaitForUsbChange(0);
    bool gone = false, first = true;
    std::string node, path = target.usbPrinter;
    for (;;) {
        const link::UsbLook look = link::LookAtUsbPrinters(host);
        if (first && path.empty() && serial.empty() && !look.AcceptedPaths().empty()) path = look.AcceptedPaths().front();
        const link::SeenUsbPrinter* p = Find(look, serial, path);
        if (!p) {
            gone = true;
        } else if (first) {
            node = p->node + "|" + p->path;
            // Back already, under another node than the one the last step wrote to.
            if (!p->node.empty() && !opened.empty() && platform::UpperAscii(p->node) != platform::UpperAscii(opened))
                gone = true;
        } else if (node != p->node + "|" + p->path) {
            gone = true;
        }
        first = false;
        if (gone && p && p->nodeReady) {
            target.usbPrinter = p->path;
            target.usbSerial = p->Serial();
            return PrinterBack{true, false, {}};
        }
        const std::uint32_t left = MsLeft(deadline);
        if (left == 0 || gInterruptSignal != 0) return NotBack(gone, ms);
        host.WaitForUsbChange(std::min(left, kLookEveryMs * 2));
    }
}

// A printer that restarts refuses connections (or lets them time out) for a while: one that
// accepts before it was seen away has not gone down yet.
PrinterBack WaitForNetwork(platform::Platform& host, const Target& target, std::uint32_t ms) {
    link::NetworkTarget network;
    ParseHostTarget(target.text, network);
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    bool gone = false;
    for (;;) {
        const std::uint32_t left = MsLeft(deadline);
        const platform::Socket s = host.ConnectTcp(network.host, network.port, std::clamp<std::uint32_t>(left, 1, 1000));
        if (s != platform::INVALID_SOCKET_) {
            host.closesocket(s);
            if (gone) return PrinterBack{true, false, {}};
        } else {
            gone = true;
        }
        if (MsLeft(deadline) == 0 || gInterruptSignal != 0) return NotBack(gone, ms);
        host.Sleep(std::min(MsLeft(deadline), kLookEveryMs));
    }
}

}  // namespace

PrinterBack WaitForPrinter(Host& host, Target& target, const std::string& serial, const std::string& opened,
                           std::uint32_t ms) {
    platform::Platform& platform = host.platform();
    if (target.kind == Target::Kind::Output) return PrinterBack{true, false, {}};
    if (target.kind == Target::Kind::Host) return WaitForNetwork(platform, target, ms);
    if (target.kind == Target::Kind::Port && ConnectionIndex(target.text) == ConnectionIndex("USB"))
        return WaitForUsb(platform, target, serial.empty() ? target.usbSerial : serial, opened, ms);
    platform.Sleep(ms);
    if (gInterruptSignal != 0) return NotBack(true, ms);
    return PrinterBack{true, false, {}};
}

}  // namespace prax::cli
