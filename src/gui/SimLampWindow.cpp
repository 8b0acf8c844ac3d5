#include "gui/SimLampWindow.h"

#include <QApplication>
#include <QTimer>
#include <exception>
#include <string>

#include "gui/LampWindow.h"
#include "gui/MainWindow.h"
#include "platform/Error.h"
#include "platform/Messages.h"

namespace zd {

namespace {

// How often the window's event loop looks for Modbus traffic.
constexpr int kWindowPollMs = 5;

}  // namespace

void ServeWithLampWindow(int& argc, char** argv, SimTerminalServer& served) {
    QApplication app(argc, argv);
    QApplication::setWindowIcon(ApplicationIcon());
    LampWindow window(served.Terminal(), nullptr, LampWindow::kColumns,
                      MessageCatalogue::LanguageFromEnvironment());
    window.setWindowTitle(QString::fromStdString("zd4270-sim lamps - " + served.Where()));
    QTimer poll;
    std::string failure;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (SimStopRequested()) {
            app.quit();
            return;
        }
        // Nothing may leave a slot of Qt's event loop: a failure ends the loop and is reported
        // by RunSimServer like any other.
        try {
            served.Step(0);
        } catch (const ControlError& error) {
            failure = error.Description();
        } catch (const std::exception& error) {
            failure = error.what();
        } catch (...) {
            failure = "unknown error";
        }
        if (!failure.empty()) app.exit(1);
    });
    poll.start(kWindowPollMs);
    window.show();
    app.exec();
    if (!failure.empty()) throw ControlError(failure);
}

}  // namespace zd
