// The user's choice of what the window talks to: the simulated line (empty, an example, or a line
// file), or a terminal over Modbus TCP (host, port, unit) or Modbus RTU (serial device, baud rate,
// parity, stop bits, unit), with its station document and position. At start-up it offers all
// three and whether to ask again next time; from the Connection menu it asks for a terminal over
// Modbus TCP or RTU alone.
#pragma once

#include <QDialog>
#include <string>

#include "gui/WindowHost.h"
#include "platform/Messages.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;
class QSpinBox;

namespace zd {

class ConnectionDialog : public QDialog {
  public:
    enum class Purpose { StartUp, Modbus, ModbusRtu };
    using Choice = ConnectionChoice;

    // simulated: the station and line the simulated choice starts from; modbus: the Modbus
    // settings to offer (host, port and unit in its modbus "HOST:PORT[/UNIT]", the serial line in
    // its modbusRtu "DEVICE:BAUD:PARITY:STOP[/UNIT]"); first: the choice selected at start-up.
    ConnectionDialog(Purpose purpose, Language language, const ConnectionTarget& simulated,
                     const ConnectionTarget& modbus, Choice first, bool showAtStartup,
                     QWidget* parent = nullptr);

    // What the user chose, once accepted.
    ConnectionTarget Chosen() const;
    // A terminal over Modbus TCP or RTU.
    bool ModbusChosen() const;
    bool RtuChosen() const;
    bool ShowAtStartup() const;

    // The fields, for a test to fill in as the user would.
    QRadioButton* SimulatedButton() const { return m_simulatedButton; }
    QRadioButton* ModbusButton() const { return m_modbusButton; }
    QRadioButton* RtuButton() const { return m_rtuButton; }
    QComboBox* DeviceField() const { return m_device; }
    QComboBox* BaudField() const { return m_baud; }
    QComboBox* ParityField() const { return m_parity; }
    QSpinBox* StopBitsField() const { return m_stopBits; }
    QSpinBox* RtuUnitField() const { return m_rtuUnit; }
    QComboBox* LineChoice() const { return m_line; }
    QLineEdit* HostField() const { return m_host; }
    QSpinBox* PortField() const { return m_port; }
    QSpinBox* UnitField() const { return m_unit; }
    QLineEdit* StationField() const { return m_station; }
    QSpinBox* PositionField() const { return m_position; }
    QCheckBox* ShowAtStartupBox() const { return m_showAtStartup; }

  private:
    // Adds a line file to the choice (once) and selects it.
    void SelectLineFile(const QString& path);
    void UpdateEnabled();

    Purpose m_purpose;
    Language m_language;
    ConnectionTarget m_simulated;
    // The example building's station, for its lines.
    QString m_buildingStation;
    QRadioButton* m_simulatedButton = nullptr;
    QRadioButton* m_modbusButton = nullptr;
    QRadioButton* m_rtuButton = nullptr;
    QComboBox* m_line = nullptr;
    QWidget* m_lineRow = nullptr;
    QWidget* m_modbusFields = nullptr;
    QWidget* m_rtuFields = nullptr;
    QWidget* m_terminalFields = nullptr;
    QComboBox* m_device = nullptr;
    QComboBox* m_baud = nullptr;
    QComboBox* m_parity = nullptr;
    QSpinBox* m_stopBits = nullptr;
    QSpinBox* m_rtuUnit = nullptr;
    QLineEdit* m_host = nullptr;
    QSpinBox* m_port = nullptr;
    QSpinBox* m_unit = nullptr;
    QLineEdit* m_station = nullptr;
    QSpinBox* m_position = nullptr;
    QCheckBox* m_showAtStartup = nullptr;
};

}  // namespace zd
