#include "gui/ConnectionDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "connection/InstallPaths.h"
#include "gui/Texts.h"
#include "platform/Error.h"
#include "transport/ModbusDevCom.h"

namespace zd {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// The Modbus choice's fields sit under its button, indented as belonging to it.
constexpr int kIndent = 20;

// The example line without gear, which the chooser offers as its empty line.
constexpr const char* kEmptyExample = "empty.json";

// A line of the example building carries its terminal's position in the building's station.
constexpr int kPositionRole = Qt::UserRole + 1;

}  // namespace

ConnectionDialog::ConnectionDialog(Purpose purpose, Language language,
                                   const ConnectionTarget& simulated,
                                   const ConnectionTarget& modbus, Choice first, bool showAtStartup,
                                   QWidget* parent)
    : QDialog(parent), m_purpose(purpose), m_language(language), m_simulated(simulated) {
    const auto text = [language](const char* english) { return Tr(language, english); };
    setWindowTitle(text(purpose == Purpose::StartUp  ? "Connect ZD4270"
                        : purpose == Purpose::Modbus ? "Terminal over Modbus TCP"
                                                     : "Terminal over Modbus RTU"));
    auto* layout = new QVBoxLayout(this);

    if (purpose == Purpose::StartUp) {
        layout->addWidget(new QLabel(text("What should the tool work with?")));
        m_simulatedButton = new QRadioButton(text("&Simulated line"));
        layout->addWidget(m_simulatedButton);
        m_lineRow = new QWidget;
        auto* lineLayout = new QHBoxLayout(m_lineRow);
        lineLayout->setContentsMargins(kIndent, 0, 0, 0);
        auto* lineLabel = new QLabel(text("&Line:"));
        m_line = new QComboBox;
        m_line->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        lineLabel->setBuddy(m_line);
        auto* browseLine = new QPushButton(text("&Browse..."));
        lineLayout->addWidget(lineLabel);
        lineLayout->addWidget(m_line, 1);
        lineLayout->addWidget(browseLine);
        layout->addWidget(m_lineRow);
        m_line->addItem(text("Empty line (no gear)"), QString());
        const QDir lines(Q(ExamplesDir() + "/lines"));
        for (const QString& file : lines.entryList({QStringLiteral("*.json")}, QDir::Files)) {
            // The empty example is the entry above.
            if (file == QLatin1String(kEmptyExample)) continue;
            m_line->addItem(text("Example: %1").arg(QFileInfo(file).completeBaseName()),
                            QFileInfo(lines.filePath(file)).absoluteFilePath());
        }
        // The example building's terminals, each on its own line and at its place in the
        // building's station.
        const QDir building(Q(ExamplesDir() + "/building"));
        m_buildingStation = building.absoluteFilePath(QStringLiteral("station.xml"));
        QList<std::pair<int, QString>> buildingLines;
        const QDir buildingLineDir(building.filePath(QStringLiteral("lines")));
        for (const QString& file :
             buildingLineDir.entryList({QStringLiteral("pos-*.json")}, QDir::Files)) {
            const int position =
                file.section(QLatin1Char('-'), 1).section(QLatin1Char('.'), 0, 0).toInt();
            buildingLines.append({position, buildingLineDir.absoluteFilePath(file)});
        }
        std::sort(buildingLines.begin(), buildingLines.end());
        for (const auto& [position, path] : buildingLines) {
            m_line->addItem(text("Example building: position %1").arg(position), path);
            m_line->setItemData(m_line->count() - 1, position, kPositionRole);
        }
        if (simulated.lineFile) SelectLineFile(Q(*simulated.lineFile));
        connect(browseLine, &QPushButton::clicked, this, [this, text] {
            const QString path = QFileDialog::getOpenFileName(this, text("Open a line file"),
                                                              Q(ExamplesDir() + "/lines"),
                                                              text("Line files (*.json)"));
            if (!path.isEmpty()) SelectLineFile(path);
        });
        m_modbusButton = new QRadioButton(text("&Terminal over Modbus TCP"));
        layout->addWidget(m_modbusButton);
    }
    const int indent = purpose == Purpose::StartUp ? kIndent : 0;

    ModbusEndpoint endpoint;
    try {
        endpoint = ParseModbusEndpoint(modbus.modbus);
    } catch (const ControlError&) {
        // A store edited by hand: start from the defaults.
    }
    m_modbusFields = new QWidget;
    auto* form = new QFormLayout(m_modbusFields);
    form->setContentsMargins(indent, 0, 0, 0);
    m_host = new QLineEdit(Q(endpoint.host));
    m_port = new QSpinBox;
    m_port->setRange(1, 65535);
    m_port->setValue(endpoint.port);
    m_unit = new QSpinBox;
    m_unit->setRange(kModbusMinUnit, kModbusMaxUnit);
    m_unit->setValue(endpoint.unit);
    m_station = new QLineEdit(Q(modbus.stationFile));
    // A long path shows its beginning, and the whole of it on hovering.
    m_station->setCursorPosition(0);
    m_station->setToolTip(m_station->text());
    connect(m_station, &QLineEdit::textChanged, m_station,
            [this](const QString& path) { m_station->setToolTip(path); });
    auto* browseStation = new QPushButton(text("B&rowse..."));
    // A widget rather than a layout, so that the label's shortcut reaches the path.
    auto* stationRow = new QWidget;
    auto* stationLayout = new QHBoxLayout(stationRow);
    stationLayout->setContentsMargins(0, 0, 0, 0);
    stationLayout->addWidget(m_station, 1);
    stationLayout->addWidget(browseStation);
    m_position = new QSpinBox;
    m_position->setRange(-1, 9999);
    m_position->setSpecialValueText(text("first terminal"));
    m_position->setValue(modbus.PositionOrFirst());
    form->addRow(text("&Host:"), m_host);
    form->addRow(text("&Port:"), m_port);
    form->addRow(text("&Unit:"), m_unit);
    layout->addWidget(m_modbusFields);
    m_modbusFields->setVisible(purpose != Purpose::ModbusRtu);

    // The serial line: the devices there are, or any path typed in.
    if (purpose == Purpose::StartUp) {
        m_rtuButton = new QRadioButton(text("Terminal over &Modbus RTU (serial line)"));
        layout->addWidget(m_rtuButton);
    }
    ModbusSerialLine serial;
    try {
        if (!modbus.modbusRtu.empty()) serial = ParseModbusSerialLine(modbus.modbusRtu);
    } catch (const ControlError&) {
        // A store edited by hand: start from the defaults.
    }
    m_rtuFields = new QWidget;
    auto* rtuForm = new QFormLayout(m_rtuFields);
    rtuForm->setContentsMargins(indent, 0, 0, 0);
    m_device = new QComboBox;
    m_device->setEditable(true);
    const QDir dev(QStringLiteral("/dev"));
    for (const QString& name : dev.entryList({QStringLiteral("ttyUSB*"), QStringLiteral("ttyACM*"),
                                              QStringLiteral("ttyAMA*"), QStringLiteral("ttyS*")},
                                             QDir::System | QDir::Files, QDir::Name))
        m_device->addItem(dev.filePath(name));
    if (!serial.device.empty()) {
        m_device->setEditText(Q(serial.device));
    } else if (m_device->count() == 0) {
        m_device->setEditText(QStringLiteral("/dev/ttyUSB0"));
    }
    m_baud = new QComboBox;
    for (const int rate : kModbusBaudRates) m_baud->addItem(QString::number(rate), rate);
    m_baud->setCurrentIndex(m_baud->findData(serial.baud));
    m_parity = new QComboBox;
    m_parity->addItem(text("None (N)"), QStringLiteral("N"));
    m_parity->addItem(text("Even (E)"), QStringLiteral("E"));
    m_parity->addItem(text("Odd (O)"), QStringLiteral("O"));
    m_parity->setCurrentIndex(m_parity->findData(QString(QLatin1Char(serial.parity))));
    m_stopBits = new QSpinBox;
    m_stopBits->setRange(1, 2);
    m_stopBits->setValue(serial.stopBits);
    m_rtuUnit = new QSpinBox;
    m_rtuUnit->setRange(kModbusMinUnit, kModbusMaxUnit);
    m_rtuUnit->setValue(serial.unit);
    rtuForm->addRow(text("D&evice:"), m_device);
    rtuForm->addRow(text("B&aud rate:"), m_baud);
    rtuForm->addRow(text("Par&ity:"), m_parity);
    rtuForm->addRow(text("S&top bits:"), m_stopBits);
    rtuForm->addRow(text("U&nit:"), m_rtuUnit);
    layout->addWidget(m_rtuFields);
    m_rtuFields->setVisible(purpose != Purpose::Modbus);

    // The station document and position, for a terminal over either.
    m_terminalFields = new QWidget;
    auto* terminalForm = new QFormLayout(m_terminalFields);
    terminalForm->setContentsMargins(indent, 0, 0, 0);
    terminalForm->addRow(text("Station &document:"), stationRow);
    if (auto* label = qobject_cast<QLabel*>(terminalForm->labelForField(stationRow)))
        label->setBuddy(m_station);
    terminalForm->addRow(text("P&osition:"), m_position);
    layout->addWidget(m_terminalFields);
    connect(browseStation, &QPushButton::clicked, this, [this, text] {
        const QString path = QFileDialog::getOpenFileName(this, text("Station document"),
                                                          QFileInfo(m_station->text()).path(),
                                                          text("Station documents (*.xml)"));
        if (!path.isEmpty()) {
            m_station->setText(path);
            m_station->setCursorPosition(0);
        }
    });

    if (purpose == Purpose::StartUp) {
        m_showAtStartup = new QCheckBox(text("Show this at start-up"));
        m_showAtStartup->setChecked(showAtStartup);
        layout->addWidget(m_showAtStartup);
        (first == Choice::ModbusTcp   ? m_modbusButton
         : first == Choice::ModbusRtu ? m_rtuButton
                                      : m_simulatedButton)
            ->setChecked(true);
        for (QRadioButton* button : {m_simulatedButton, m_modbusButton, m_rtuButton})
            connect(button, &QRadioButton::toggled, this, [this] { UpdateEnabled(); });
        UpdateEnabled();
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(text("&Connect"));
    buttons->button(QDialogButtonBox::Cancel)->setText(text("Cancel"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        // A host or a device the connection cannot use is said here, with the dialog still open.
        if (ModbusChosen()) {
            try {
                if (RtuChosen()) {
                    ParseModbusSerialLine(Chosen().modbusRtu);
                } else {
                    ParseModbusEndpoint(Chosen().modbus);
                }
            } catch (const ControlError& error) {
                QMessageBox::warning(this, windowTitle(),
                                     Q(HostMessage(m_language, error.Description())));
                if (RtuChosen()) {
                    m_device->setFocus();
                } else {
                    m_host->setFocus();
                }
                return;
            }
        }
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // Room for a station document's path without scrolling through it.
    const int pathWidth = fontMetrics().horizontalAdvance(m_station->text()) + 30 * kIndent;
    resize(std::max({sizeHint().width(), fontMetrics().horizontalAdvance(QLatin1Char('0')) * 70,
                     std::min(pathWidth, fontMetrics().horizontalAdvance(QLatin1Char('0')) * 140)}),
           sizeHint().height());
}

void ConnectionDialog::SelectLineFile(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const bool emptyExample =
        absolute == QFileInfo(Q(ExamplesDir() + "/lines/" + kEmptyExample)).absoluteFilePath();
    int index = emptyExample ? 0 : m_line->findData(absolute);
    if (index < 0) {
        m_line->addItem(Tr(m_language, "File: %1").arg(QFileInfo(path).fileName()), absolute);
        index = m_line->count() - 1;
    }
    m_line->setCurrentIndex(index);
}

void ConnectionDialog::UpdateEnabled() {
    const bool simulated = m_simulatedButton->isChecked();
    m_lineRow->setEnabled(simulated);
    m_modbusFields->setEnabled(m_modbusButton->isChecked());
    m_rtuFields->setEnabled(m_rtuButton->isChecked());
    m_terminalFields->setEnabled(!simulated);
}

bool ConnectionDialog::ModbusChosen() const {
    return m_purpose != Purpose::StartUp || m_modbusButton->isChecked() || RtuChosen();
}

bool ConnectionDialog::RtuChosen() const {
    return m_purpose == Purpose::ModbusRtu || (m_rtuButton && m_rtuButton->isChecked());
}

bool ConnectionDialog::ShowAtStartup() const {
    return !m_showAtStartup || m_showAtStartup->isChecked();
}

ConnectionTarget ConnectionDialog::Chosen() const {
    if (!ModbusChosen()) {
        ConnectionTarget chosen = m_simulated;
        chosen.modbus.clear();
        chosen.modbusRtu.clear();
        // The empty line's entry holds no file.
        const std::string lineFile = m_line->currentData().toString().toStdString();
        chosen.lineFile = lineFile.empty() ? std::nullopt : std::optional<std::string>(lineFile);
        const QVariant position = m_line->currentData(kPositionRole);
        if (position.isValid()) {
            chosen.stationFile = m_buildingStation.toStdString();
            chosen.position = position.toInt();
        }
        return chosen;
    }
    ConnectionTarget chosen;
    chosen.registryFile = m_simulated.registryFile;
    chosen.stationFile = m_station->text().toStdString();
    // The spin box's lowest value stands for the station's first terminal.
    if (m_position->value() >= 0) chosen.position = m_position->value();
    if (RtuChosen()) {
        ModbusSerialLine line;
        line.device = m_device->currentText().trimmed().toStdString();
        line.baud = m_baud->currentData().toInt();
        line.parity = m_parity->currentData().toString().toStdString().at(0);
        line.stopBits = m_stopBits->value();
        line.unit = m_rtuUnit->value();
        chosen.modbusRtu = line.Text();
        return chosen;
    }
    ModbusEndpoint endpoint;
    endpoint.host = m_host->text().trimmed().toStdString();
    endpoint.port = static_cast<std::uint16_t>(m_port->value());
    endpoint.unit = m_unit->value();
    chosen.modbus = endpoint.Text();
    return chosen;
}

}  // namespace zd
