#include "gui/QtDialogs.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTranslator>

#include "platform/HostTexts.h"

namespace zd {

namespace {

// The classic file dialog's flags that have a counterpart here.
constexpr int kFlagOverwritePrompt = 0x2;
constexpr int kFlagFileMustExist = 0x1000;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

QString QtFileFilter(const std::string& filter) {
    const QStringList parts = Q(filter).split(QLatin1Char('|'));
    if (parts.size() < 2) return Q(filter);
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return filters.join(QStringLiteral(";;"));
}

QtDialogs::QtDialogs(QWidget* parent) : m_parent(parent) {}

QtDialogs::~QtDialogs() {
    if (m_qtTexts) QCoreApplication::removeTranslator(m_qtTexts.get());
}

void QtDialogs::FollowLanguage() {
    const bool german = m_messages && m_messages->GetLanguage() == Language::German;
    if (german == (m_qtTexts != nullptr)) return;
    if (!german) {
        QCoreApplication::removeTranslator(m_qtTexts.get());
        m_qtTexts.reset();
        return;
    }
    auto translator = std::make_unique<QTranslator>();
    if (translator->load(QStringLiteral("qtbase_de"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
        QCoreApplication::installTranslator(translator.get()))
        m_qtTexts = std::move(translator);
}

MsgResult QtDialogs::MessageBox(const MessageBoxRequest& request) {
    FollowLanguage();
    QMessageBox box(m_parent);
    box.setWindowTitle(Q(request.title));
    QString text = Q(request.text);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    box.setText(text);
    switch (request.icon) {
        case MsgIcon::Critical:
            box.setIcon(QMessageBox::Critical);
            break;
        case MsgIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case MsgIcon::Exclamation:
            box.setIcon(QMessageBox::Warning);
            break;
        case MsgIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case MsgIcon::None:
            break;
    }
    switch (request.buttons) {
        case MsgButtons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case MsgButtons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case MsgButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        case MsgButtons::YesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            break;
    }
    // The answers in the box's language, whether or not Qt's own translation is installed.
    const Language language = m_messages ? m_messages->GetLanguage() : Language::English;
    for (const auto& [button, english] :
         {std::pair{QMessageBox::Ok, "OK"}, std::pair{QMessageBox::Cancel, "Cancel"},
          std::pair{QMessageBox::Yes, "&Yes"}, std::pair{QMessageBox::No, "&No"}}) {
        if (QAbstractButton* shown = box.button(button))
            shown->setText(Q(HostText(language, english)));
    }
    switch (box.exec()) {
        case QMessageBox::Yes:
            return MsgResult::Yes;
        case QMessageBox::No:
            return MsgResult::No;
        case QMessageBox::Cancel:
            return MsgResult::Cancel;
        case QMessageBox::Ok:
            return MsgResult::Ok;
        default:
            // Closing the box is its escape button: Cancel where there is one, else the only
            // answer.
            if (request.buttons == MsgButtons::Ok) return MsgResult::Ok;
            if (request.buttons == MsgButtons::YesNo) return MsgResult::No;
            return MsgResult::Cancel;
    }
}

std::optional<std::string> QtDialogs::FileDialog(const FileDialogRequest& request) {
    FollowLanguage();
    QFileDialog dialog(m_parent, Q(request.title));
    dialog.setNameFilter(QtFileFilter(request.filter));
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    if (request.save) {
        dialog.setFileMode(QFileDialog::AnyFile);
        if (!(request.flags & kFlagOverwritePrompt))
            dialog.setOption(QFileDialog::DontConfirmOverwrite);
    } else {
        dialog.setFileMode((request.flags & kFlagFileMustExist) ? QFileDialog::ExistingFile
                                                                : QFileDialog::AnyFile);
    }
    if (!request.defaultExtension.empty()) dialog.setDefaultSuffix(Q(request.defaultExtension));
    if (!request.initialPath.empty()) dialog.selectFile(Q(request.initialPath));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().constFirst().toStdString();
}

}  // namespace zd
