#include "platform/HostTexts.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace zd {

namespace {

struct Wording {
    std::string_view english;
    std::string_view german;
};

// One row per text; the German keeps the English one's placeholders and access key.
constexpr Wording kTexts[] = {
    // The connection chooser, the Modbus dialog and the report export.
    {"Connect ZD4270", "ZD4270 verbinden"},
    {"What should the tool work with?", "Womit soll das Programm arbeiten?"},
    {"&Simulated line", "&Simulierte Linie"},
    {"&Line:", "&Linie:"},
    {"Empty line (no gear)", "Leere Linie (keine Geräte)"},
    {"Example: %1", "Beispiel: %1"},
    {"Example building: position %1", "Beispielgebäude: Position %1"},
    {"File: %1", "Datei: %1"},
    {"&Browse...", "&Durchsuchen..."},
    {"B&rowse...", "Du&rchsuchen..."},
    {"Open a line file", "Linien-Datei öffnen"},
    {"Line files (*.json)", "Linien-Dateien (*.json)"},
    {"&Terminal over Modbus TCP", "&Klemme über Modbus TCP"},
    {"Terminal over Modbus TCP", "Klemme über Modbus TCP"},
    {"Terminal over &Modbus RTU (serial line)", "Klemme über &Modbus RTU (serielle Leitung)"},
    {"Terminal over Modbus RTU", "Klemme über Modbus RTU"},
    {"D&evice:", "G&erät:"},
    {"B&aud rate:", "B&audrate:"},
    {"Par&ity:", "Par&ität:"},
    {"None (N)", "Keine (N)"},
    {"Even (E)", "Gerade (E)"},
    {"Odd (O)", "Ungerade (O)"},
    {"S&top bits:", "S&toppbits:"},
    {"U&nit:", "U&nit-ID:"},
    {"&Host:", "&Host:"},
    {"&Port:", "&Port:"},
    {"&Unit:", "&Unit-ID:"},
    {"Station &document:", "Stations&dokument:"},
    {"Station document", "Stationsdokument"},
    {"Station documents (*.xml)", "Stationsdokumente (*.xml)"},
    {"P&osition:", "P&osition:"},
    {"first terminal", "erste Klemme"},
    {"Show this at start-up", "Beim Start anzeigen"},
    {"&Connect", "&Verbinden"},
    {"C&hoose connection...", "Verbindung &wählen..."},
    {"E&xport report...", "Bericht e&xportieren..."},
    {"Export the report", "Bericht exportieren"},
    {"report: reading device %1 of %2", "Bericht: Gerät %1 von %2 wird gelesen"},
    {"Report written to %1", "Bericht gespeichert in %1"},
    {"The report was written to %1.", "Der Bericht wurde in %1 gespeichert."},
    {"The report could not be made: %1", "Der Bericht konnte nicht erstellt werden: %1"},
    // The line's backup, its restore and the replacement of a failed gear.
    {"&Back up line...", "Linie s&ichern..."},
    {"&Restore line...", "Linie &wiederherstellen..."},
    {"Back up the line", "Linie sichern"},
    {"Restore the line", "Linie wiederherstellen"},
    {"Restore line", "Linie wiederherstellen"},
    {"Line backups (*.json)", "Liniensicherungen (*.json)"},
    {"backup: reading device %1 of %2", "Sicherung: Gerät %1 von %2 wird gelesen"},
    {"restore: reading device %1 of %2", "Wiederherstellung: Gerät %1 von %2 wird gelesen"},
    {"restore: writing device %1 of %2", "Wiederherstellung: Gerät %1 von %2 wird geschrieben"},
    {"Not read, and not in the backup: %1", "Nicht gelesen und nicht in der Sicherung: %1"},
    {"The backup could not be made: %1", "Die Sicherung konnte nicht erstellt werden: %1"},
    {"Restoring %1 changes these devices:", "Die Wiederherstellung aus %1 ändert diese Geräte:"},
    {"Send these changes?", "Diese Änderungen senden?"},
    {"The line holds what %1 holds. Devices written: %2; already as in the file: %3; new: %4.",
     "Die Linie enthält, was %1 enthält. Geschriebene Geräte: %2; schon wie in der Datei: %3; "
     "neu: %4."},
    {"Devices backed up to %2: %1.", "In %2 gesicherte Geräte: %1."},
    {"The restore did not finish: %1", "Die Wiederherstellung wurde nicht abgeschlossen: %1"},
    {"Replace this device...", "Dieses Gerät ersetzen..."},
    {"The line's backup", "Sicherung der Linie"},
    {"Replacing device %1...", "Gerät %1 wird ersetzt..."},
    {"The new gear (random address %1) has address %2 and the settings of the gear it replaces.",
     "Das neue Gerät (Zufallsadresse %1) hat die Adresse %2 und die Einstellungen des Geräts, "
     "das es ersetzt."},
    {"The device was not replaced: %1", "Das Gerät wurde nicht ersetzt: %1"},
    {"The %1 devices in the tree come from the store; not scanned in the window yet: the line "
     "may hold others.",
     "Die %1 Geräte im Baum stammen aus der Ablage; im Fenster noch nicht gesucht: an der Linie "
     "können andere sein."},
    {"The %1 devices in the tree come from the store, last scanned %2: the line may hold "
     "others.",
     "Die %1 Geräte im Baum stammen aus der Ablage, zuletzt gesucht %2: an der Linie können "
     "andere sein."},
    {"&Scan now", "Jetzt &suchen"},
    {"Re&place a device...", "Gerät e&rsetzen..."},
    {"Replace a device", "Ein Gerät ersetzen"},
    {"These devices of the backup do not answer on the line. Which one has a new gear taken the "
     "place of?",
     "Diese Geräte der Sicherung antworten an der Linie nicht. An wessen Stelle ist ein neues "
     "Gerät getreten?"},
    {"Asking the backup's %1 addresses...", "Die %1 Adressen der Sicherung werden abgefragt..."},
    {"Every device of %1 answers on the line: there is nothing to replace.",
     "Jedes Gerät aus %1 antwortet an der Linie: es gibt nichts zu ersetzen."},
    // The question before an addressing run that deletes what was set up on the line.
    {"their short addresses", "ihre Kurzadressen"},
    {"their group assignments", "ihre Gruppenzuordnungen"},
    {"their scenes", "ihre Szenen"},
    {"%1 and %2", "%1 und %2"},
    {"No device of this line is known (Scan Devices shows them): all gear on it lose %1.",
     "Kein Gerät dieser Linie ist bekannt (Geräte suchen zeigt sie): alle Geräte an ihr "
     "verlieren %1."},
    {"1 device known on this line (%1) and any other gear on it lose %2.",
     "1 bekanntes Gerät dieser Linie (%1) und alle weiteren Geräte an ihr verlieren %2."},
    {"%1 devices known on this line (%2) and any other gear on it lose %3.",
     "%1 bekannte Geräte dieser Linie (%2) und alle weiteren Geräte an ihr verlieren %3."},
    {"Start anyway?", "Trotzdem starten?"},
    // The terminal's own random addressing in the status bar.
    {"about %1 for %2 gear", "etwa %1 für %2 Geräte"},
    {"about %1 per gear", "etwa %1 je Gerät"},
    {"longer than the %1 estimated for %2 gear", "länger als die für %2 Geräte geschätzten %1"},
    {"the terminal cannot be stopped", "die Klemme lässt sich nicht anhalten"},
    {"The terminal addresses the line on its own and does not let the control stop it. The "
     "devices are scanned once it has finished.",
     "Die Klemme adressiert die Linie selbst und lässt sich von der Steuerung nicht anhalten. "
     "Die Geräte werden gesucht, sobald sie fertig ist."},
    {"Finish or cancel the running procedure first.",
     "Erst den laufenden Vorgang beenden oder abbrechen."},
    {"%1 is running. Cancel it and close the window?",
     "%1 läuft. Abbrechen und das Fenster schließen?"},
    // The window's menus and About box.
    {"&Connection", "&Verbindung"},
    {"&Open line file...", "Linien-Datei ö&ffnen..."},
    {"Start from an &example", "Mit einem &Beispiel beginnen"},
    {"&Save the line as it is now...", "Linie im jetzigen Zustand &speichern..."},
    {"&Terminal over Modbus TCP...", "&Klemme über Modbus TCP..."},
    {"Terminal over &Modbus RTU...", "Klemme über &Modbus RTU..."},
    {"&Language", "S&prache"},
    {"&English", "&English"},
    {"&Deutsch", "&Deutsch"},
    {"&Quit", "&Beenden"},
    {"&View", "&Ansicht"},
    {"&Help", "&Hilfe"},
    {"&About ZD4270", "Ü&ber ZD4270"},
    {"About ZD4270", "Über ZD4270"},
    {"Configuration and commissioning of the DALI and DSI lines behind a ZD4270 fieldbus master "
     "terminal.",
     "Konfiguration und Inbetriebnahme der DALI- und DSI-Linien hinter einer ZD4270 "
     "Feldbus-Masterklemme."},
    // The bus monitor.
    {"Bus monitor", "Busmonitor"},
    {"Time", "Zeit"},
    {"Address", "Adresse"},
    {"Command", "Befehl"},
    {"Word", "Wort"},
    {"Result", "Ergebnis"},
    {"Answer", "Antwort"},
    {"Meaning", "Bedeutung"},
    {"Commands", "Befehle"},
    {"Queries", "Abfragen"},
    {"Special commands", "Sonderbefehle"},
    {"Pause", "Anhalten"},
    {"Stop recording; what was recorded stays", "Aufzeichnung anhalten; das Aufgezeichnete bleibt"},
    {"All addresses", "Alle Adressen"},
    {"Show the transactions of one address only", "Nur die Transaktionen einer Adresse zeigen"},
    {"Clear", "Leeren"},
    {"Export CSV...", "Als CSV exportieren..."},
    {"Export the bus monitor", "Busmonitor exportieren"},
    {"CSV files (*.csv)", "CSV-Dateien (*.csv)"},
    {"The bus monitor could not be saved to %1: %2",
     "Der Busmonitor konnte nicht in %1 gespeichert werden: %2"},
    // The lamps of the simulated line.
    {"Lamps", "Lampen"},
    {"No gear on the line", "Keine Geräte an der Linie"},
    {"gear %1; right-click for the lamp and its faults",
     "Gerät %1; Rechtsklick für die Lampe und ihre Fehler"},
    {"short address", "Kurzadresse"},
    {"level (0 to 254)", "Wert (0 bis 254)"},
    {"lamp in", "Lampe eingebaut"},
    {"lamp out", "Lampe ausgebaut"},
    {"lamp failed", "Lampe defekt"},
    {"Out", "Raus"},
    {"In", "Rein"},
    {"Fail", "Defekt"},
    {"Take the lamp out", "Lampe ausbauen"},
    {"Put a working lamp in", "Eine intakte Lampe einbauen"},
    {"Let the lamp fail", "Lampe ausfallen lassen"},
    {"fault", "Fehler"},
    {"mains off", "Netz aus"},
    {"Silent", "Stumm"},
    {"Answer every second query", "Nur jede zweite Abfrage beantworten"},
    {"Lose the next answer", "Nächste Antwort verlieren"},
    {"Answer late", "Spät antworten"},
    {"Random address ready %1 ms after RANDOMISE", "Zufallsadresse erst %1 ms nach RANDOMISE"},
    {"Mains off", "Netz aus"},
    {"Terminal", "Klemme"},
    {"The terminal's faults", "Fehler der Klemme"},
    {"Acknowledge at once", "Sofort quittieren"},
    {"Acknowledge %1 ms late", "%1 ms später quittieren"},
    // The progress of a long run.
    {"Cancel", "Abbrechen"},
    {"scan", "Gerätesuche"},
    {"backup", "Sicherung"},
    {"reading the line", "Lesen der Linie"},
    {"replace", "Austausch"},
    {"addressing", "Adressierung"},
    {"check", "Prüfung"},
    {"restore", "Wiederherstellung"},
    {"address %1", "Adresse %1"},
    {"random addressing", "zufällige Adressierung"},
    {"%1 addressed", "%1 adressiert"},
    {"%1 recovered", "%1 behoben"},
    {"Recovered on the line: %1", "Auf der Leitung behoben: %1"},
    {"two lamps were out at once: asked for one",
     "zwei Lampen waren zugleich entfernt: nach einer gefragt"},
    {"the gear at address %1 was selected again",
     "das Gerät an Adresse %1 wurde erneut gewählt und behält sie"},
    {"lamp back before address %1 was programmed",
     "Lampe vor dem Programmieren von Adresse %1 wieder eingesetzt"},
    {"two gear took address %1: given back", "zwei Geräte nahmen Adresse %1: zurückgegeben"},
    {"fast search went on with the paced handshake",
     "schnelle Suche mit dem langsamen Quittieren fortgesetzt"},
    {"COMPARE answered only when asked again", "COMPARE antwortete erst beim zweiten Fragen"},
    {"address %1 answered only when asked again", "Adresse %1 antwortete erst beim zweiten Fragen"},
    {"address %1 was taken: the next free one is used",
     "Adresse %1 war belegt: die nächste freie genommen"},
    {"a gear turned up below the search: searched again",
     "ein Gerät erschien unterhalb der Suche: neu gesucht"},
    {"the gear at %2 keeps no short address: left",
     "das Gerät bei %2 behält keine Kurzadresse: ausgelassen"},
    {"no answer to VERIFY at address %1: searched again",
     "keine Antwort auf VERIFY an Adresse %1: neu gesucht"},
    {"the gear at address %1 fell silent: searched again",
     "das Gerät an Adresse %1 verstummte: neu gesucht"},
    {"several gear took address %1: new random addresses",
     "mehrere Geräte nahmen Adresse %1: neue Zufallsadressen"},
    {"gear at %2 keep drawing one random address: left",
     "Geräte bei %2 ziehen stets dieselbe Zufallsadresse: ausgelassen"},
    {"physical selection", "physikalische Auswahl"},
    {"change addresses", "Adressen ändern"},
    {"archive upload", "Archiv-Upload"},
    {"archive download", "Archiv-Download"},
    {"reading variables", "Variablen lesen"},
    {"reading groups", "Gruppen lesen"},
    {"reading scenes", "Szenen lesen"},
    {"%1 of %2", "%1 von %2"},
    {"about %1 left", "noch etwa %1"},
    {"%1 so far", "bisher %1"},
    // Emergency lighting: the command line, the report's section and the window's page.
    {"the gear at short address %1 is of device type %2, not emergency lighting (device type 1)",
     "das Gerät an Kurzadresse %1 hat den Gerätetyp %2, keine Notbeleuchtung (Gerätetyp 1)"},
    {"no gear answers at short address %1", "an Kurzadresse %1 antwortet kein Gerät"},
    {"reading emergency gear", "Notleuchten lesen"},
    {"function test at %1", "Funktionstest an %1"},
    {"duration test at %1", "Betriebsdauertest an %1"},
    {"pending", "wartet"},
    {"running", "läuft"},
    {"ending", "endet"},
    {"passed", "bestanden"},
    {"failed", "nicht bestanden"},
    {"%1 of %2 min", "%1 von %2 min"},
    {"automatic, date unknown", "automatisch, Datum unbekannt"},
    {"not tested", "nicht geprüft"},
    {"Emergency lighting", "Notbeleuchtung"},
    {"Short address", "Kurzadresse"},
    {"Function test", "Funktionstest"},
    {"Duration test", "Betriebsdauertest"},
    {"Date", "Datum"},
    {"Failures", "Fehler"},
    {"Duration reached", "Erreichte Dauer"},
    {"circuit failure", "Schaltungsfehler"},
    {"battery duration failure", "Batteriedauer unterschritten"},
    {"battery failure", "Batteriefehler"},
    {"emergency lamp failure", "Notlampe defekt"},
    {"function test max delay exceeded", "Funktionstest zu lange verzögert"},
    {"duration test max delay exceeded", "Betriebsdauertest zu lange verzögert"},
    {"function test failed", "Funktionstest nicht bestanden"},
    {"duration test failed", "Betriebsdauertest nicht bestanden"},
    {"inhibit mode", "Sperrmodus"},
    {"function test done", "Funktionstest ausgeführt"},
    {"duration test done", "Betriebsdauertest ausgeführt"},
    {"battery fully charged", "Batterie voll geladen"},
    {"function test pending", "Funktionstest wartet"},
    {"duration test pending", "Betriebsdauertest wartet"},
    {"identification active", "Identifizierung aktiv"},
    {"physically selected", "physikalisch ausgewählt"},
    {"rest", "Ruhemodus"},
    {"normal", "Normalbetrieb"},
    {"emergency", "Notbetrieb"},
    {"extended emergency", "verlängerter Notbetrieb"},
    {"function test", "Funktionstest"},
    {"duration test", "Betriebsdauertest"},
    {"unknown", "unbekannt"},
    {"Emergency lighting (device type 1) at short address %1",
     "Notbeleuchtung (Gerätetyp 1) an Kurzadresse %1"},
    {"Mode:", "Modus:"},
    {"Status:", "Status:"},
    {"Failures:", "Fehler:"},
    {"Battery:", "Batterie:"},
    {"Rated duration:", "Bemessungsdauer:"},
    {"Last duration test:", "Letzter Betriebsdauertest:"},
    {"Stop test", "Test abbrechen"},
    {"Refresh", "Aktualisieren"},
    {"the test was stopped", "der Test wurde abgebrochen"},
    {"the connection was lost", "die Verbindung ist abgebrochen"},
    // Identify and the names of the luminaires.
    {"identify", "Identifizieren"},
    {"short address %1", "Kurzadresse %1"},
    {"A luminaire is already identifying itself on this line; wait until it has ended.",
     "Auf dieser Linie zeigt sich bereits eine Leuchte; warten Sie, bis das beendet ist."},
    {"The short address %1 is not 0 to 63.", "Die Kurzadresse %1 liegt nicht zwischen 0 und 63."},
    {"An identify lasts 1 to %1 seconds.", "Ein Identifizieren dauert 1 bis %1 Sekunden."},
    {"No device answers at short address %1.", "An Kurzadresse %1 antwortet kein Gerät."},
    {"The connection to the terminal was lost.", "Die Verbindung zur Klemme brach ab."},
    {"The identify was cancelled; the levels are back.",
     "Das Identifizieren wurde abgebrochen; die Helligkeiten sind wiederhergestellt."},
    {"The level of short address %1 could not be set back.",
     "Die Helligkeit von Kurzadresse %1 ließ sich nicht wiederherstellen."},
    {"Room", "Raum"},
    {"Luminaire", "Leuchte"},
    {"Floor", "Geschoss"},
    {"Note", "Notiz"},
    {"floor %1", "Geschoss %1"},
    {"&Name:", "&Name:"},
    {"&Room:", "&Raum:"},
    {"&Floor:", "&Geschoss:"},
    {"N&ote:", "N&otiz:"},
    {"&Identify", "&Identifizieren"},
    {"&Save", "&Speichern"},
    {"Save and ne&xt", "Speichern und &weiter"},
    {"S&kip", "Ü&berspringen"},
    {"&End the round", "Rundgang &beenden"},
    {"&Name...", "&Benennen..."},
    {"&Luminaire bar", "&Leuchtenleiste"},
    {"Nam&ing round...", "Benennungs&rundgang..."},
    {"Device #%1", "Gerät #%1"},
    {"No device chosen in the tree", "Kein Gerät im Baum gewählt"},
    {"Naming round: %1 of %2 devices named.", "Benennungsrundgang: %1 von %2 Geräten benannt."},
    {"Device %1 shows itself.", "Gerät %1 zeigt sich."},
    {"Device %1 shows itself: %2 s left.", "Gerät %1 zeigt sich: noch %2 s."},
    {"Give the luminaire a name.", "Geben Sie der Leuchte einen Namen."},
    {"The name was not saved: %1", "Der Name wurde nicht gespeichert: %1"},
    {"Device %1 is named \"%2\".", "Gerät %1 heißt jetzt \"%2\"."},
    {"The tree holds no device: scan the line first.",
     "Der Baum enthält kein Gerät: durchsuchen Sie zuerst die Linie."},
    {"The naming round is over: every device was offered.",
     "Der Benennungsrundgang ist beendet: jedes Gerät kam an die Reihe."},
    // Colour temperature of device type 8 gear.
    {"%1 K (%2 mirek)", "%1 K (%2 Mirek)"},
    {"No gear answers at %1.", "An %1 antwortet kein Gerät."},
    {"Several gear answer at %1.", "An %1 antworten mehrere Geräte."},
    {"The gear at %1 is of device type %2, not 8 (colour temperature): it ignores colour "
     "commands. Nothing was sent.",
     "Das Gerät an %1 hat den Gerätetyp %2, nicht 8 (Farbtemperatur): es übergeht "
     "Farbbefehle. Es wurde nichts gesendet."},
    {"The gear at %1 did not answer the read-back.",
     "Das Gerät an %1 antwortete nicht auf das Zurücklesen."},
    {"The terminal did not take a command.", "Die Klemme hat einen Befehl nicht angenommen."},
    {"A short address is 0 to 63, a group 0 to 15.",
     "Eine Kurzadresse ist 0 bis 63, eine Gruppe 0 bis 15."},
    {"A colour temperature is 1 to 65534 mirek (16 K to 1000000 K).",
     "Eine Farbtemperatur ist 1 bis 65534 Mirek (16 K bis 1000000 K)."},
    {"%1 lies outside the limits of %2, %3 to %4. Nothing was sent.",
     "%1 liegt außerhalb der Grenzen von %2, %3 bis %4. Es wurde nichts gesendet."},
    {"%1 shows %2 instead of %3.", "%1 zeigt %2 statt %3."},
    {"%1 keeps its limits in order (physical coolest, coolest, warmest, physical warmest) and "
     "holds other limits than asked.",
     "%1 hält seine Grenzen in der Reihenfolge (physikalisch kälteste, kälteste, wärmste, "
     "physikalisch wärmste) und hat andere Grenzen als verlangt."},
    {"A scene is 0 to 15 and its level 0 to 254.",
     "Eine Szene ist 0 bis 15 und ihr Wert 0 bis 254."},
    {"%1 did not take scene %2.", "%1 hat Szene %2 nicht übernommen."},
    {"%1 did not take the limits: the repeat of each store must reach the gear within 100 ms.",
     "%1 hat die Grenzen nicht übernommen: die Wiederholung jedes Speicherbefehls muss das Gerät "
     "innerhalb von 100 ms erreichen."},
    {"Colour temperature", "Farbtemperatur"},
    {"%1 K (%2 K to %3 K)", "%1 K (%2 K bis %3 K)"},
    {"Coolest (K):", "Kälteste (K):"},
    {"Warmest (K):", "Wärmste (K):"},
    {"Store limits", "Grenzen speichern"},
    {"Physical: %1...%2 K", "Physikalisch: %1...%2 K"},
    {"A colour temperature is 16 K to 1000000 K.", "Eine Farbtemperatur ist 16 K bis 1000000 K."},
};

// The parts of the host's composed messages, longest first where one holds another.
constexpr Wording kMessageParts[] = {
    {"Modbus TCP address", "Modbus-TCP-Adresse"},
    {"Modbus RTU line", "Modbus-RTU-Leitung"},
    {"(expected DEVICE[:BAUD[:PARITY[:STOP]]][/UNIT], e.g. /dev/ttyUSB0:19200:E:1/3)",
     "(erwartet: GERÄT[:BAUD[:PARITÄT[:STOPPBITS]]][/UNIT], z. B. /dev/ttyUSB0:19200:E:1/3)"},
    {"no device", "kein Gerät"},
    {"the baud rate is not one of", "die Baudrate ist keine von"},
    {"the parity is not N, E or O", "die Parität ist nicht N, E oder O"},
    {"the stop bits are not 1 or 2", "die Stoppbits sind nicht 1 oder 2"},
    {"more than baud rate, parity and stop bits", "mehr als Baudrate, Parität und Stoppbits"},
    {"cannot be opened", "kann nicht geöffnet werden"},
    {"another program uses it (one client on a line at a time)",
     "ein anderes Programm verwendet es (nur ein Client je Leitung)"},
    {"no answer from unit", "keine Antwort von Unit"},
    {"(check the wiring, the unit and the line's settings)",
     "(Verdrahtung, Unit-ID und Einstellungen der Leitung prüfen)"},
    {"an answer with a wrong checksum (CRC) from unit",
     "eine Antwort mit falscher Prüfsumme (CRC) von Unit"},
    {"(expected HOST:PORT or HOST:PORT/UNIT, e.g. 127.0.0.1:1502)",
     "(erwartet: HOST:PORT oder HOST:PORT/UNIT, z. B. 127.0.0.1:1502)"},
    {"the host is not an IPv4 address", "der Host ist keine IPv4-Adresse"},
    {"the port is not a number from 1 to 65535", "der Port ist keine Zahl von 1 bis 65535"},
    {"the unit is not a number from", "die Unit-ID ist keine Zahl von"},
    {"no port", "kein Port"},
    {"connection timed out (no answer within", "Zeitüberschreitung (keine Antwort innerhalb von"},
    {"connection refused (nothing listens at that port)",
     "Verbindung abgelehnt (an diesem Port wartet niemand)"},
    {"connection closed by the terminal", "Verbindung von der Klemme geschlossen"},
    {"host unreachable", "Host nicht erreichbar"},
    {"network unreachable", "Netzwerk nicht erreichbar"},
    {"answer out of step", "Antwort außer Takt"},
    {"answers there (exception 0B, gateway target device failed to respond); check the unit",
     "antwortet dort (Ausnahme 0B, Zielgerät des Gateways antwortet nicht); Unit-ID prüfen"},
    {"no unit", "keine Unit"},
    {"no Modbus register for it", "kein Modbus-Register dafür"},
    {"(register", "(Register"},
    {"The station document", "Das Stationsdokument"},
    {"has no terminal at position", "hat keine Klemme an Position"},
    {"has no ZD4270 terminal (it holds", "hat keine ZD4270-Klemme (es enthält"},
    {"); choose one with --pos", "); eine mit --pos wählen"},
    {"has no terminal", "hat keine Klemme"},
    {"cannot be read", "kann nicht gelesen werden"},
    {"There is no simulated line to save.", "Es gibt keine simulierte Linie zum Speichern."},
    {"read of device", "Lesen von Gerät"},
    {"write of device", "Schreiben von Gerät"},
};

const Wording* Find(std::string_view english) {
    const auto it = std::find_if(std::begin(kTexts), std::end(kTexts),
                                 [&](const Wording& w) { return w.english == english; });
    return it == std::end(kTexts) ? nullptr : &*it;
}

}  // namespace

std::string HostText(Language language, std::string_view english,
                     std::initializer_list<std::string_view> args) {
    const Wording* wording = language == Language::German ? Find(english) : nullptr;
    const std::string_view text = wording ? wording->german : english;
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        const auto index = static_cast<std::size_t>(next - '1');
        if (text[i] == '%' && next >= '1' && next <= '9' && index < args.size()) {
            result += *(args.begin() + index);
            ++i;
        } else {
            result += text[i];
        }
    }
    return result;
}

std::string HostMessage(Language language, const std::string& english) {
    if (language != Language::German) return english;
    std::string result;
    std::size_t i = 0;
    const auto wordChar = [](char c) {
        // Paths count as words, so that no part of a file name is translated.
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_' ||
               c == '/' || c == '.' || c == '\\';
    };
    while (i < english.size()) {
        const Wording* matched = nullptr;
        // Only whole words: "to" must not turn "Motorola" into something else.
        const bool atWordStart = i == 0 || !wordChar(english[i - 1]);
        for (const Wording& part : kMessageParts) {
            if (!atWordStart || english.compare(i, part.english.size(), part.english) != 0)
                continue;
            const std::size_t end = i + part.english.size();
            if (end < english.size() &&
                std::isalnum(static_cast<unsigned char>(english[end])) != 0 &&
                std::isalnum(static_cast<unsigned char>(part.english.back())) != 0)
                continue;
            matched = &part;
            break;
        }
        if (matched) {
            result += matched->german;
            i += matched->english.size();
        } else {
            result += english[i++];
        }
    }
    return result;
}

bool HasHostText(std::string_view english) {
    return Find(english) != nullptr;
}

}  // namespace zd
