#include "gui/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QDir>
#include <QFont>
#include <QIcon>
#include <QMenuBar>
#include <QMessageBox>
#include <QResizeEvent>
#include <QStyleFactory>
#include <exception>

#include "frame/configZD4270.h"
#include "gui/ControlBinding.h"
#include "gui/QtDialogs.h"
#include "host/ModbusDevCom.h"
#include "host/InstallPaths.h"
#include "host/QSettingsRegistry.h"
#include "host/QtScheduler.h"
#include "host/SimDevCom.h"
#include "host/StationDocument.h"
#include "platform/Error.h"
#include "platform/Version.h"
#include "sim/LineFile.h"

namespace zd {

namespace {

// The client area that shows the whole surface (tabMain) without scroll bars.
constexpr int kInitialWidth = 600;
constexpr int kInitialHeight = 616;

}  // namespace

void ApplyClassicLook(QApplication& app) {
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion"))) app.setStyle(style);
    QFont font = app.font();
    font.setPointSize(8);
    app.setFont(font);
}

MainWindow::MainWindow(configZD4270& control) : m_control(control) {
    m_surface = BindControl(control.scrolledWindow, this);
    setCentralWidget(m_surface->Widget());
    m_surface->Widget()->installEventFilter(this);
    // The archive menu belongs to no container; it pops up over the surface.
    m_archivMenu = BindControl(control.mnuArchivOptions, m_surface->Widget());
    setWindowTitle(QStringLiteral("ZD4270"));
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(QStringLiteral("&About ZD4270"), this, [this] {
        QMessageBox::about(this, QStringLiteral("About ZD4270"), AboutText());
    });
    resize(kInitialWidth, kInitialHeight + menuBar()->sizeHint().height());
}

QString MainWindow::AboutText() {
    return QStringLiteral("<b>zd4270 %1</b><p>Configuration and commissioning of the DALI and DSI "
                          "lines behind a ZD4270 fieldbus master terminal.</p>")
        .arg(QString::fromUtf8(kProgramVersion));
}

QIcon ApplicationIcon() {
    QIcon icon = QIcon::fromTheme(QStringLiteral("zd4270"));
    if (!icon.isNull()) return icon;
    // Not installed into the desktop's icon theme: the sizes shipped with the program.
    const QDir theme(QString::fromStdString(IconThemeDir()));
    for (const QString& size : theme.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString file = theme.filePath(size + QStringLiteral("/apps/zd4270.png"));
        if (QFileInfo::exists(file)) icon.addFile(file);
    }
    return icon;
}

MainWindow::~MainWindow() {
    // The bindings go before the widgets the window still owns.
    m_archivMenu.reset();
    m_surface->Widget()->removeEventFilter(this);
    m_surface.reset();
}

void MainWindow::SetStation(const std::string& stationFile, std::int32_t position) {
    const QString file = QFileInfo(QString::fromStdString(stationFile)).fileName();
    setWindowTitle(QStringLiteral("ZD4270 - %1 - Pos %2").arg(file).arg(position));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    m_control.Terminate();
    QMainWindow::closeEvent(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (m_surface && watched == m_surface->Widget() && event->type() == QEvent::Resize) {
        const QSize size = static_cast<QResizeEvent*>(event)->size();
        m_control.Resize(PixelsToTwips(size.width()), PixelsToTwips(size.height()));
    }
    return QMainWindow::eventFilter(watched, event);
}

int RunWindow(int& argc, char** argv, const WindowOptions& options) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zd4270"));
    QApplication::setApplicationVersion(QString::fromUtf8(kProgramVersion));
    QApplication::setWindowIcon(ApplicationIcon());
    ApplyClassicLook(app);
    QtScheduler scheduler;
    QtDialogs dialogs;
    MessageCatalogue messages(options.language);
    Context context{scheduler, dialogs, messages};
    std::unique_ptr<QSettingsRegistry> store =
        options.registryFile.empty() ? std::make_unique<QSettingsRegistry>()
                                     : std::make_unique<QSettingsRegistry>(options.registryFile);
    QSettingsRegistry& registry = *store;

    StationDocument station;
    XmlNode terminal;
    std::shared_ptr<DevCom> devCom;
    try {
        station = StationDocument::Load(options.stationFile);
        terminal = options.position >= 0 ? station.ChooseTerminal(options.position)
                                         : station.ChooseTerminal();
        if (!options.modbus.empty()) {
            devCom = std::make_shared<ModbusDevCom>(ParseModbusEndpoint(options.modbus));
        } else {
            const sim::LineDescription line = options.lineFile.empty()
                                                  ? sim::LineDescription{}
                                                  : sim::LoadLineFile(options.lineFile);
            if (auto note =
                    LinePlacementNote(line, options.lineFile, terminal, options.stationFile))
                QMessageBox::information(nullptr, QStringLiteral("ZD4270"),
                                         QString::fromStdString(*note));
            devCom = CreateSimulatedDevCom(scheduler, terminal, line);
        }
    } catch (const ControlError& e) {
        QMessageBox::critical(nullptr, QStringLiteral("ZD4270"), QString::fromStdString(e.Description()));
        return 1;
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QStringLiteral("ZD4270"), QString::fromStdString(e.what()));
        return 1;
    }

    configZD4270 control(context, registry);
    MainWindow window(control);
    dialogs.SetParent(&window);
    window.show();
    control.RefreshData(terminal, devCom, StationUserData(terminal));
    window.SetStation(options.stationFile, control.Pos >= 0 ? control.Pos : options.position);
    return app.exec();
}

}  // namespace zd
