// prax-download.exe: the desktop program on Windows. No argument (or more than two) opens the
// window for the operator; one argument (an image) or two (an image and a connection such as
// "COM3 115200") send that firmware image at once and end the program when it is through. A lone
// --version or --help is answered before any window exists: on the standard output the program
// was started with (a console or a redirection), else in a message box.
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include <stdlib.h>

#include "app/win32/MainWindow.h"
#include "link/NetSocket.h"
#include "platform/Native.h"
#include "version/Version.h"

namespace {

const char* const kUsage =
    "usage: prax-download [IMAGE [CONNECTION]]\r\n"
    "  no argument          open the window (more than two arguments do the same)\r\n"
    "  IMAGE                send that firmware image at once over USB; the program ends once\r\n"
    "                       it all went, and stays with the message when it did not (for\r\n"
    "                       scripts: praxdl)\r\n"
    "  IMAGE CONNECTION     the same over CONNECTION as the window lists it, e.g. \"COM3 115200\"\r\n"
    "                       (USB, LPT1, COM1 115200 ... COM8 115200; letter case ignored)\r\n"
    "  --version            print the version and end\r\n"
    "  --help, -h           print this text and end\r\n"
    "COMn opens \\\\.\\COMn, LPT1 the parallel port, USB the printer's USB interface as the\r\n"
    "registry lists it (the usbprint driver's, of an accepted make).\r\n";

// A program without a console of its own writes where it was started: a redirected output, or
// the console of the command prompt. With neither, the text is shown in a box.
int Answer(const std::string& text, const char* caption) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) {
        if (AttachConsole(ATTACH_PARENT_PROCESS)) {
            out = CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
        }
    }
    if (out == nullptr || out == INVALID_HANDLE_VALUE) {
        MessageBoxA(nullptr, text.c_str(), caption, MB_OK);
        return 0;
    }
    DWORD written = 0;
    const BOOL ok = WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    // 0 only when the whole text went: a full disk is no success.
    return ok && written == text.size() ? 0 : 1;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int showCommand) {
    std::vector<std::string> arguments(__argv + 1, __argv + __argc);
    // Only as the one argument: anything else alone is still an image to send.
    if (arguments.size() == 1) {
        const std::string_view option = arguments.front();
        if (option == "--version")
            return Answer(std::string("prax-download ") + prax::kVersion + "\r\n", prax::app::kStartTitle);
        if (option == "--help" || option == "-h") return Answer(kUsage, prax::app::kStartTitle);
    }
    std::string title = prax::app::kStartTitle;
    try {
        prax::platform::NativePlatform host;
        // Sockets are started before the window exists and stopped when it is gone.
        prax::link::NetSocket netSocket(host);
        prax::app::win32::MainWindow Form1(host, std::move(arguments));
        title = Form1.Title();
        Form1.Show(showCommand);
        return Form1.Run();
    } catch (const std::exception& e) {
        MessageBoxA(nullptr, e.what(), title.c_str(), MB_OK | MB_ICONERROR);
    } catch (...) {
        MessageBoxA(nullptr, "", title.c_str(), MB_OK | MB_ICONERROR);
    }
    return 1;
}
