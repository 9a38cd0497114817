// prax-download: the desktop program. No argument (or more than two) opens the window for the
// operator; one argument (an image) or two (an image and a connection such as "COM3 115200")
// send that firmware image at once and end the program when it is through. A lone --version or
// --help is answered on standard output before Qt starts, so it needs no display.
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include <QApplication>
#include <QMessageBox>

#include "app/qt/MainWindow.h"
#include "link/NetSocket.h"
#include "platform/Native.h"
#include "version/Version.h"

namespace {

const char* const kUsage =
    "usage: prax-download [IMAGE [CONNECTION]]\n"
    "  no argument          open the window (more than two arguments do the same)\n"
    "  IMAGE                send that firmware image at once over USB; the program ends once\n"
    "                       it all went, and stays with the message when it did not (for\n"
    "                       scripts: praxdl)\n"
    "  IMAGE CONNECTION     the same over CONNECTION as the window lists it, e.g. \"COM3 115200\"\n"
    "                       (USB, LPT1, COM1 115200 ... COM8 115200; letter case ignored)\n"
    "  --version            print the version and end\n"
    "  --help, -h           print this text and end\n"
    "Environment:\n"
    "  PRAX_COM1 ... PRAX_COM8  the device of COM1 ... COM8 (default /dev/ttyS0 ... /dev/ttyS7)\n"
    "  PRAX_LPT1                the device of LPT1 (default /dev/lp0)\n";

// 0 only when the text reached standard output: a full disk is no success.
int Print(const char* text) {
    std::fputs(text, stdout);
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    // Only as the one argument: anything else alone is still an image to send.
    if (argc == 2) {
        const std::string_view option = argv[1];
        if (option == "--version") return Print((std::string("prax-download ") + prax::kVersion + "\n").c_str());
        if (option == "--help" || option == "-h") return Print(kUsage);
    }
    QApplication application(argc, argv);
    QGuiApplication::setApplicationDisplayName(QString::fromLatin1(prax::app::kStartTitle));

    try {
        prax::platform::NativePlatform host;
        // Sockets are started before the window exists and stopped when it is gone.
        prax::link::NetSocket netSocket(host);
        QStringList arguments = QCoreApplication::arguments();
        arguments.removeFirst();
        prax::app::qt::MainWindow Form1(host, arguments);
        Form1.show();
        return application.exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QGuiApplication::applicationDisplayName(),
                              QString::fromLocal8Bit(e.what()));
    } catch (...) {
        QMessageBox::critical(nullptr, QGuiApplication::applicationDisplayName(), QString());
    }
    return 1;
}
