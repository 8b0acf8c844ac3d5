// The texts of the connection chooser, the Modbus dialog and the report export, in English and
// German side by side, picked by the language the control shows its own texts in.
#pragma once

#include <QString>

#include "platform/Messages.h"

namespace zd {

struct Bilingual {
    const char* english;
    const char* german;
};

inline QString Pick(const Bilingual& text, Language language) {
    return QString::fromUtf8(language == Language::German ? text.german : text.english);
}

namespace texts {

inline constexpr Bilingual kChooserTitle{"Connect ZD4270", "ZD4270 verbinden"};
inline constexpr Bilingual kChooserIntro{"What should the tool work with?",
                                         "Womit soll das Programm arbeiten?"};
inline constexpr Bilingual kSimulatedLine{"&Simulated line", "&Simulierte Linie"};
inline constexpr Bilingual kLine{"&Line:", "&Linie:"};
inline constexpr Bilingual kEmptyLine{"Empty line (no gear)", "Leere Linie (keine Betriebsgeräte)"};
inline constexpr Bilingual kExampleLine{"Example: %1", "Beispiel: %1"};
inline constexpr Bilingual kLineFile{"File: %1", "Datei: %1"};
inline constexpr Bilingual kBrowse{"&Browse...", "&Durchsuchen..."};
inline constexpr Bilingual kBrowseStation{"B&rowse...", "Du&rchsuchen..."};
inline constexpr Bilingual kOpenLineFile{"Open a line file", "Linienbeschreibung öffnen"};
inline constexpr Bilingual kLineFiles{"Line files (*.json)", "Linienbeschreibungen (*.json)"};
inline constexpr Bilingual kModbusTerminal{"&Terminal over Modbus TCP", "&Klemme über Modbus TCP"};
inline constexpr Bilingual kModbusTitle{"Terminal over Modbus TCP", "Klemme über Modbus TCP"};
inline constexpr Bilingual kHost{"&Host:", "&Host:"};
inline constexpr Bilingual kPort{"&Port:", "&Port:"};
inline constexpr Bilingual kUnit{"&Unit:", "&Unit-ID:"};
inline constexpr Bilingual kStation{"Station &document:", "Stations&dokument:"};
inline constexpr Bilingual kStationTitle{"Station document", "Stationsdokument"};
inline constexpr Bilingual kStationFiles{"Station documents (*.xml)", "Stationsdokumente (*.xml)"};
inline constexpr Bilingual kPosition{"P&osition:", "P&osition:"};
inline constexpr Bilingual kFirstTerminal{"first terminal", "erste Klemme"};
inline constexpr Bilingual kShowAtStartup{"Show this at start-up", "Beim Start anzeigen"};
inline constexpr Bilingual kConnect{"&Connect", "&Verbinden"};
inline constexpr Bilingual kCancel{"Cancel", "Abbrechen"};
inline constexpr Bilingual kChooseConnection{"C&hoose connection...", "Verbindung &wählen..."};

inline constexpr Bilingual kExportReport{"E&xport report...", "Bericht e&xportieren..."};
inline constexpr Bilingual kExportTitle{"Export the report", "Bericht exportieren"};
inline constexpr Bilingual kReportReading{"report: reading device %1 of %2",
                                          "Bericht: Gerät %1 von %2 wird gelesen"};
inline constexpr Bilingual kReportWritten{"Report written to %1", "Bericht gespeichert in %1"};
inline constexpr Bilingual kReportFailed{"The report could not be made: %1",
                                         "Der Bericht konnte nicht erstellt werden: %1"};
inline constexpr Bilingual kBusy{"Finish or cancel the running procedure first.",
                                 "Erst den laufenden Vorgang beenden oder abbrechen."};

}  // namespace texts

}  // namespace zd
