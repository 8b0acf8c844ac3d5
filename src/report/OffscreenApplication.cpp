#include "report/OffscreenApplication.h"

#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>

namespace zd {

namespace {

QtMessageHandler g_outerHandler = nullptr;

// Qt's note that a command run without a desktop session has no runtime folder says nothing the
// user of a report needs to know.
void QuietRuntimeFolderNote(QtMsgType type, const QMessageLogContext& context,
                            const QString& message) {
    if (message.startsWith(QStringLiteral("QStandardPaths: XDG_RUNTIME_DIR"))) return;
    if (g_outerHandler) {
        g_outerHandler(type, context, message);
    } else {
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
    }
}

}  // namespace

OffscreenApplication::OffscreenApplication() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return;
    // The platform is chosen by the application's own arguments: the environment, which other
    // parts of the program and its children read, stays as the user set it.
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (!platform || !*platform) m_argc = 3;
    m_previousHandler = qInstallMessageHandler(QuietRuntimeFolderNote);
    g_outerHandler = m_previousHandler;
    m_app = std::make_unique<QGuiApplication>(m_argc, m_argv);
}

OffscreenApplication::~OffscreenApplication() {
    if (!m_app) return;
    m_app.reset();
    qInstallMessageHandler(m_previousHandler);
    g_outerHandler = nullptr;
}

}  // namespace zd
