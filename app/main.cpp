// prax-download: the desktop program. No argument (or more than two) opens the window for the
// operator; one argument (an image) or two (an image and a connection such as "COM3 115200")
// send that firmware image at once and end the program when it is through.
#include <exception>

#include <QApplication>
#include <QMessageBox>

#include "app/Unit1.h"
#include "link/NetSocket.h"
#include "platform/posix/PosixPlatform.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QGuiApplication::setApplicationDisplayName(QString::fromLatin1(prax::app::kStartTitle));

    try {
        prax::platform::posix::PosixPlatform host;
        // Sockets are started before the window exists and stopped when it is gone.
        prax::link::NetSocket netSocket(host);
        QStringList arguments = QCoreApplication::arguments();
        arguments.removeFirst();
        prax::app::TForm1 Form1(host, arguments);
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
