#include "gui/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QFont>
#include <QIcon>
#include <QMenuBar>
#include <QMessageBox>
#include <QResizeEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QStyleFactory>
#include <QVBoxLayout>
#include <algorithm>

#include "connection/InstallPaths.h"
#include "frame/ControlProgress.h"
#include "frame/configZD4270.h"
#include "gui/BusMonitor.h"
#include "gui/ControlBinding.h"
#include "gui/LampWindow.h"
#include "gui/QtDialogs.h"
#include "gui/QtScheduler.h"
#include "gui/RunStatus.h"
#include "gui/StatusNote.h"
#include "gui/Texts.h"
#include "gui/WindowHost.h"
#include "platform/Version.h"
#include "store/IniRegistry.h"

namespace zd {

namespace {

// Lamp tiles per row in the line's dock beside the control.
constexpr int kLampColumns = 4;
// How soon after the terminal's own addressing has ended the scan begins.
constexpr std::int64_t kTerminalRunCheckMs = 250;

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
    setStatusBar(new StatusBar(this));
    const Language language = TextLanguage();
    m_busMonitor =
        new BusMonitor(control.TerminalLink(), control.GetContext().scheduler, language, this);
    addDockWidget(Qt::BottomDockWidgetArea, m_busMonitor);
    m_busMonitor->hide();
    QMenu* view = m_viewMenu = menuBar()->addMenu(Tr(language, "&View"));
    QAction* monitor = m_busMonitor->toggleViewAction();
    monitor->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    view->addAction(monitor);
    // The first time the user opens the monitor, the window grows by it rather than squeezing
    // the control into scroll bars.
    connect(monitor, &QAction::triggered, this, [this](bool shown) {
        if (!shown || m_monitorRoomMade || isMaximized() || isFullScreen()) return;
        m_monitorRoomMade = true;
        const int rows = 12;
        const int height = m_busMonitor->fontMetrics().height() * (rows + 6);
        resizeDocks({m_busMonitor}, {height}, Qt::Vertical);
        // A window that has the room already (one that took another's place) keeps its size.
        const int wanted = menuBar()->height() + m_surfaceHeight + height +
                           style()->pixelMetric(QStyle::PM_DockWidgetSeparatorExtent) +
                           statusBar()->height();
        resize(width(), std::max(this->height(), wanted));
    });
    QMenu* help = menuBar()->addMenu(Tr(language, "&Help"));
    help->addAction(Tr(language, "&About ZD4270"), this, [this, language] {
        QMessageBox::about(this, Tr(language, "About ZD4270"), AboutText(language));
    });
    m_runStatus = new RunStatus(control, *statusBar());
    m_unwatchTerminalRun = WatchControlProgress(control, [this] { FollowTerminalRun(); });
    // The client area shows the whole surface (tabMain) without scroll bars.
    const Control& surface = control.tabMain;
    m_surfaceWidth = TwipsToPixels(surface.Left() + surface.Width());
    m_surfaceHeight = TwipsToPixels(surface.Top() + surface.Height());
    resize(m_surfaceWidth,
           m_surfaceHeight + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
}

// The terminal's own random addressing tells no addresses: once it has ended, a scan fills the
// tree, as the user would start it. Not while the host has locked the surface for a procedure of
// its own (a replacement checks the line itself), nor after the connection was lost.
void MainWindow::FollowTerminalRun() {
    if (m_afterTerminalRun || !m_control.RndAddrRunning() || m_control.lstRndAddrView.Visible())
        return;
    Scheduler& clock = m_control.GetContext().scheduler;
    m_afterTerminalRun = clock.AddTimer([this, &clock] {
        if (m_control.RndAddrRunning()) return;
        clock.RemoveTimer(m_afterTerminalRun);
        m_afterTerminalRun = 0;
        if (centralWidget()->isEnabled() && ControlProgress(m_control).what.empty() &&
            !m_control.TerminalLink().CommunicationLost())
            m_control.cmdScanDevices.Click();
    });
    clock.SetTimer(m_afterTerminalRun, kTerminalRunCheckMs, true);
}

QString MainWindow::AboutText(Language language) {
    return QStringLiteral("<b>zd4270 %1</b><p>%2</p>")
        .arg(QString::fromUtf8(kProgramVersion),
             Tr(language,
                "Configuration and commissioning of the DALI and DSI lines behind a ZD4270 "
                "fieldbus master terminal.")
                 .toHtmlEscaped());
}

Language MainWindow::TextLanguage() const {
    return m_control.GetContext().messages.GetLanguage();
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
    ShowLine(nullptr);
    m_unwatchTerminalRun();
    if (m_afterTerminalRun) m_control.GetContext().scheduler.RemoveTimer(m_afterTerminalRun);
    delete m_runStatus;
    // The monitor lets go of the link before the control's window goes.
    delete m_busMonitor;
    m_surface->Widget()->removeEventFilter(this);
    m_surface.reset();
}

void MainWindow::ShowLine(sim::Terminal* terminal) {
    if (m_lampDock) {
        removeDockWidget(m_lampDock);
        delete m_lampDock;
        m_lampDock = nullptr;
        m_lamps = nullptr;
        m_lampDockWidth = 0;
    }
    if (!terminal) return;
    m_lampDock = new QDockWidget(Tr(TextLanguage(), "Lamps"), this);
    m_lampDock->setObjectName(QStringLiteral("lamps"));
    auto* scroll = new QScrollArea(m_lampDock);
    scroll->setWidgetResizable(true);
    // The tiles keep their own size at the top; a long line scrolls.
    auto* column = new QWidget(scroll);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    m_lamps = new LampWindow(*terminal, column, kLampColumns, TextLanguage());
    layout->addWidget(m_lamps);
    layout->addStretch(1);
    scroll->setWidget(column);
    m_lampDock->setWidget(scroll);
    addDockWidget(Qt::RightDockWidgetArea, m_lampDock);
    // The dock is as wide as its tiles, which do not flow; the window grows by it and the
    // splitter beside it, so the control keeps the room it was laid out for, and a wider window
    // widens the control.
    scroll->setMinimumWidth(m_lamps->sizeHint().width() +
                            scroll->verticalScrollBar()->sizeHint().width() +
                            2 * scroll->frameWidth());
    m_lampDock->setMaximumWidth(m_lampDock->sizeHint().width());
    m_lampDockWidth =
        m_lampDock->sizeHint().width() + style()->pixelMetric(QStyle::PM_DockWidgetSeparatorExtent);
    resize(width() + m_lampDockWidth, height());
    QAction* show = m_lampDock->toggleViewAction();
    show->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    m_viewMenu->addAction(show);
}

void MainWindow::SetStation(const std::string& stationFile, std::int32_t position,
                            const std::string& terminalName, const std::string& modbus) {
    QStringList parts;
    if (!terminalName.empty()) parts << QString::fromStdString(terminalName);
    parts << QStringLiteral("Pos %1").arg(position);
    parts << QFileInfo(QString::fromStdString(stationFile)).fileName();
    if (!modbus.empty()) parts << QString::fromStdString(modbus);
    parts << QStringLiteral("ZD4270");
    setWindowTitle(parts.join(QStringLiteral(" - ")));
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_shown) return;
    m_shown = true;
    // A window that took the place of another (another line, another language) keeps its
    // geometry, but still shows the whole surface beside the lamps, whose texts may be longer.
    const int wanted = m_surfaceWidth + m_lampDockWidth;
    if (width() < wanted && !isMaximized() && !isFullScreen()) resize(wanted, height());
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (m_mayClose && !m_mayClose()) {
        event->ignore();
        return;
    }
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
    dialogs.SetMessages(&messages);
    Context context{scheduler, dialogs, messages};
    const std::string& registryFile = options.connection.registryFile;
    std::unique_ptr<IniRegistry> store = registryFile.empty()
                                             ? std::make_unique<IniRegistry>()
                                             : std::make_unique<IniRegistry>(registryFile);
    IniRegistry& registry = *store;
    // A store that cannot be read is left as it is: the window runs without device lists.
    if (const auto& error = registry.LoadError()) {
        dialogs.MessageBox(
            {HostText(messages.GetLanguage(),
                      "%1; the store was left as it was, and this run keeps nothing in it",
                      {HostMessage(messages.GetLanguage(), *error)}),
             MsgButtons::Ok, MsgIcon::Exclamation, "ZD4270"});
    }

    int exitCode = 0;
    {
        // The host ends its controls, which write their device lists, before the store is synced.
        WindowHost host(context, registry, &dialogs, &messages);
        if (!options.languageChosen) host.UseRememberedLanguage();
        dialogs.FollowLanguage();
        const QString platform = QGuiApplication::platformName();
        const bool interactive =
            platform != QStringLiteral("offscreen") && platform != QStringLiteral("minimal");
        if (!host.Start(options.connection, options.offerChoice && interactive)) return 1;
        exitCode = app.exec();
    }
    // The device lists written while the window ran go to the file now; the user hears when
    // they could not.
    if (!registry.LoadError() && !registry.Sync()) {
        dialogs.MessageBox({HostText(messages.GetLanguage(), "The store %1 cannot be written: %2",
                                     {registry.FileName(), registry.LastError()}),
                            MsgButtons::Ok, MsgIcon::Critical, "ZD4270"});
        return exitCode == 0 ? 1 : exitCode;
    }
    return exitCode;
}

}  // namespace zd
