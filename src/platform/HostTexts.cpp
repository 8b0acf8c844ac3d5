#include "platform/HostTexts.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <span>
#include <vector>

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
    {"function test date", "Funktionstest Datum"},
    {"function test result", "Funktionstest Ergebnis"},
    {"function test failures", "Funktionstest Fehler"},
    {"duration test date", "Betriebsdauertest Datum"},
    {"duration test result", "Betriebsdauertest Ergebnis"},
    {"duration reached", "Betriebsdauertest erreichte Dauer"},
    {"duration test failures", "Betriebsdauertest Fehler"},
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
    {"a test runs at short address %1 already", "an Kurzadresse %1 läuft schon ein Test"},
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
    // The command line's refusals and errors, the engine's outcomes and the documents' notes.
    {"%1 needs a value", "%1 braucht einen Wert"},
    {"%1 needs a value, not the option %2", "%1 braucht einen Wert, nicht die Option %2"},
    {"--lang takes en or de", "--lang nimmt en oder de"},
    {"address needs random, physical, single or change",
     "address braucht random, physical, single oder change"},
    {"archive needs upload or download", "archive braucht upload oder download"},
    {"emergency needs status, test or timing", "emergency braucht status, test oder timing"},
    {"cancelled", "abgebrochen"},
    // zd4270 serve.
    {"the line is served at %1", "die Linie wird bereitgestellt unter %1"},
    {"listening on %1, beyond this computer: whoever on the network has the address with its "
     "token controls the line",
     "lauscht auf %1, über diesen Rechner hinaus: wer im Netz die Adresse mit ihrem Token hat, "
     "steuert die Linie"},
    {"listening on %1, beyond this computer: whoever on the network has the address with its "
     "token controls the line; without --tls-cert the traffic is not encrypted",
     "lauscht auf %1, über diesen Rechner hinaus: wer im Netz die Adresse mit ihrem Token hat, "
     "steuert die Linie; ohne --tls-cert wird nicht verschlüsselt"},
    {"Open it on a phone with this code:", "Mit diesem Code auf einem Telefon öffnen:"},
    {"Ctrl-C stops the server.", "Strg-C beendet den Server."},
    {"%1: ending %2, then the server", "%1: %2 wird beendet, dann der Server"},
    {"%1: the server has stopped", "%1: der Server ist beendet"},
    {"unknown command \"%1\"", "unbekannter Befehl „%1“"},
    {"%1 has no option %2", "%1 hat keine Option %2"},
    {"%1 to %2", "%1 bis %2"},
    {"%1 takes %2 argument(s), see --help", "%1 nimmt %2 Argument(e), siehe --help"},
    {"no command \"%1\"; zd4270 help lists them",
     "es gibt keinen Befehl „%1“; zd4270 help nennt alle"},
    {"interrupted by %1", "unterbrochen durch %1"},
    {"this run's list: it holds the addresses the run gave",
     "die Liste dieses Laufs: sie enthält die Adressen, die der Lauf vergab"},
    {"the store's list from before the run, with the addresses the run gave; scan to see the whole "
     "line",
     "die Liste der Ablage von vor dem Lauf, mit den Adressen, die der Lauf vergab; eine "
     "Gerätesuche zeigt die ganze Linie"},
    {"kept: the run did not finish, and the store keeps the device list it held before",
     "beibehalten: der Lauf wurde nicht beendet, und die Ablage behält die Geräteliste, die sie "
     "vorher hatte"},
    {"the terminal acknowledged none of the %1 DALI command(s) sent: the station document "
     "(process-image layout or byte order, --station and --pos) may not match the terminal, so "
     "what was read back cannot be trusted",
     "die Klemme hat keinen der %1 gesendeten DALI-Befehle quittiert: das Stationsdokument (Aufbau "
     "des Prozessabbilds oder Bytereihenfolge, --station und --pos) passt womöglich nicht zur "
     "Klemme, daher ist dem Zurückgelesenen nicht zu trauen"},
    {"the terminal acknowledged none of the %1 DALI command(s) sent: it took none of the "
     "control's commands, so nothing of this run reached the line",
     "die Klemme hat keinen der %1 gesendeten DALI-Befehle quittiert: sie hat keinen Befehl der "
     "Steuerung übernommen, nichts von diesem Lauf hat die Linie erreicht"},
    {"terminal %1 sits on the station's coupler %2 (%3): give that coupler's address with --modbus "
     "(zd4270-sim --station serves it at port %4, as --all reaches it)",
     "Klemme %1 sitzt am Koppler %2 der Station (%3): die Adresse dieses Kopplers mit --modbus "
     "angeben (zd4270-sim --station bedient ihn an Port %4, wie --all ihn erreicht)"},
    {"the station %1 has no terminal at position %2",
     "die Station %1 hat keine Klemme an Position %2"},
    {"demo takes no arguments", "demo nimmt keine Argumente"},
    {"--save-line goes with a command, not the demonstration",
     "--save-line gehört zu einem Befehl, nicht zur Vorführung"},
    {"--frame-log goes with a command, not the demonstration",
     "--frame-log gehört zu einem Befehl, nicht zur Vorführung"},
    {"--all, --pos N,M, --lines and --save-lines go with a command",
     "--all, --pos N,M, --lines und --save-lines gehören zu einem Befehl"},
    {"--save-line needs the simulated line, not %1",
     "--save-line braucht die simulierte Linie, nicht %1"},
    {"--frame-log needs the simulated line, not %1",
     "--frame-log braucht die simulierte Linie, nicht %1"},
    {"--remove-lamp needs the simulated line: over %1 a person takes the lamps out",
     "--remove-lamp braucht die simulierte Linie: über %1 nimmt ein Mensch die Lampen heraus"},
    {"--format goes with --report FILE", "--format gehört zu --report DATEI"},
    {"No display: running the headless demonstration.",
     "Keine Anzeige: die Vorführung ohne Fenster läuft."},
    {"several gear share the short address %1", "mehrere Geräte teilen sich die Kurzadresse %1"},
    {"--new-installation deletes every short address on the line; confirm with --yes",
     "--new-installation löscht jede Kurzadresse an der Linie; mit --yes bestätigen"},
    {"--delete-groups and --delete-scenes wipe settings of every gear; confirm with --yes",
     "--delete-groups und --delete-scenes löschen Einstellungen jedes Geräts; mit --yes "
     "bestätigen"},
    {"--optical-feedback needs the terminal's own random addressing (firmware 1M or later)",
     "--optical-feedback braucht die eigene zufällige Adressierung der Klemme (Firmware 1M oder "
     "neuer)"},
    {"--fast did not apply: this terminal (firmware 1M or later) searches itself, at its own pace",
     "--fast wurde nicht angewandt: diese Klemme (Firmware 1M oder neuer) sucht selbst, in ihrem "
     "eigenen Takt"},
    {"some gear on the line still have no short address",
     "einige Geräte an der Linie haben noch keine Kurzadresse"},
    {"address single gives every ballast on the line the same address; confirm with --yes",
     "address single gibt jedem Gerät an der Linie dieselbe Adresse; mit --yes bestätigen"},
    {"some gear kept a short address", "einige Geräte behielten eine Kurzadresse"},
    {"no gear answers at the address %1", "kein Gerät antwortet an der Adresse %1"},
    {"not every gear took the address %1", "nicht jedes Gerät hat die Adresse %1 übernommen"},
    {"address change takes OLD:NEW pairs, not \"%1\"",
     "address change nimmt Paare ALT:NEU, nicht „%1“"},
    {"address %1 is planned twice", "Adresse %1 ist zweimal verplant"},
    {"no device answers at address %1", "kein Gerät antwortet an Adresse %1"},
    {"the address change ended before the plan was carried out",
     "die Adressänderung endete, bevor der Plan ausgeführt war"},
    {"the line does not hold the planned addresses", "die Linie hat nicht die geplanten Adressen"},
    {"%1 takes a number %2 to %3, not \"%4\"", "%1 nimmt eine Zahl von %2 bis %3, nicht „%4“"},
    {"%1 takes a short address 0 to 63 or \"mask\", not \"%2\"",
     "%1 nimmt eine Kurzadresse von 0 bis 63 oder „mask“, nicht „%2“"},
    {"%1 takes on or off, not \"%2\"", "%1 nimmt on oder off, nicht „%2“"},
    {"the command", "der Befehl"},
    {"the level", "der Wert"},
    {"the scene", "die Szene"},
    {"--remove-lamp index", "--remove-lamp index"},
    {"OLD", "ALT"},
    {"NEW", "NEU"},
    {"no DALI command \"%1\"", "kein DALI-Befehl „%1“"},
    {"\"%1\" cannot be sent through the terminal; the commands it sends are -1 to 270",
     "„%1“ kann nicht über die Klemme gesendet werden; sie sendet die Befehle -1 bis 270"},
    {"\"%1\" is no query and gets no answer: send it with zd4270 send",
     "„%1“ ist keine Abfrage und bekommt keine Antwort: mit zd4270 send senden"},
    {"\"%1\" stores the DTR the gear hold, not --data: set the DTR first (zd4270 send \"data "
     "transfer register (DTR)\" --data D), then send it without --data",
     "„%1“ speichert das DTR der Geräte, nicht --data: erst das DTR setzen (zd4270 send \"data "
     "transfer register (DTR)\" --data D), dann ohne --data senden"},
    {"\"%1\" takes no data; leave out --data", "„%1“ nimmt keine Daten; --data weglassen"},
    {"\"%1\" takes its number from its name; leave out --data or name the command by its number",
     "„%1“ nimmt seine Nummer aus dem Namen; --data weglassen oder den Befehl mit seiner Nummer "
     "nennen"},
    {"give one of --short, --group and --broadcast",
     "nur eines von --short, --group und --broadcast angeben"},
    {"\"%1\" needs --short A, --group G or --broadcast",
     "„%1“ braucht --short A, --group G oder --broadcast"},
    {"reset sets the gear back to their defaults and deletes their groups and scenes; confirm with "
     "--yes",
     "reset setzt die Geräte auf ihre Grundeinstellungen zurück und löscht ihre Gruppen und "
     "Szenen; mit --yes bestätigen"},
    {"store DTR as short address to more than one gear gives them all one address; confirm with "
     "--yes",
     "store DTR as short address an mehr als ein Gerät gibt allen dieselbe Adresse; mit --yes "
     "bestätigen"},
    {"the terminal did not acknowledge the command in time; it counts as sent",
     "die Klemme hat den Befehl nicht rechtzeitig quittiert; er gilt als gesendet"},
    {"the command met another master on the line and was sent again",
     "der Befehl traf auf einen anderen Master an der Linie und wurde erneut gesendet"},
    {"the command failed: collision, %1 times: another master keeps the DALI line",
     "der Befehl schlug fehl: Kollision, %1-mal: ein anderer Master belegt die DALI-Linie"},
    {"the command failed: %1", "der Befehl schlug fehl: %1"},
    {"several gear answered at once, so their answers cannot be told apart",
     "mehrere Geräte antworteten zugleich, ihre Antworten sind nicht zu unterscheiden"},
    {"the answer was lost: the terminal did not acknowledge the command",
     "die Antwort ging verloren: die Klemme hat den Befehl nicht quittiert"},
    {"the answer was a %1", "die Antwort war: %1"},
    {"send --dsi takes the data byte alone; DSI has no addresses",
     "send --dsi nimmt nur das Datenbyte; DSI hat keine Adressen"},
    {"send needs a DALI command or --dsi BYTE", "send braucht einen DALI-Befehl oder --dsi BYTE"},
    {"query needs a DALI query", "query braucht eine DALI-Abfrage"},
    {"the archive %1 exists; replace it with --yes", "das Archiv %1 existiert; mit --yes ersetzen"},
    {"the archive %1 was not written", "das Archiv %1 wurde nicht geschrieben"},
    {"the archive %1 cannot be read", "das Archiv %1 kann nicht gelesen werden"},
    {"the archive %1 holds no groups or scenes of this device; nothing was written",
     "das Archiv %1 enthält keine Gruppen oder Szenen dieses Geräts; nichts wurde geschrieben"},
    {"archive download replaces the groups and scenes of the gear at every address; confirm with "
     "--yes",
     "archive download ersetzt die Gruppen und Szenen der Geräte an jeder Adresse; mit --yes "
     "bestätigen"},
    {"archive download replaces the groups and scenes of the gear at every address; %1 device(s) "
     "on this line that the archive does not list lose theirs (%2); confirm with --yes",
     "archive download ersetzt die Gruppen und Szenen der Geräte an jeder Adresse; %1 Gerät(e) "
     "dieser Linie, die das Archiv nicht aufführt, verlieren ihre (%2); mit --yes bestätigen"},
    {"--mode takes dali or dsi, not \"%1\"", "--mode nimmt dali oder dsi, nicht „%1“"},
    {"no terminal to read the options from", "keine Klemme, deren Optionen gelesen werden könnten"},
    {"the options were not written: %1", "die Optionen wurden nicht geschrieben: %1"},
    {"the terminal did not take every option", "die Klemme hat nicht jede Option übernommen"},
    {"gear number %1 of the line file", "Gerät Nummer %1 der Linien-Datei"},
    {"gear at short address %1", "Gerät an Kurzadresse %1"},
    {"the simulated line has no %1", "die simulierte Linie hat kein %1"},
    {"the %1 is named twice", "das %1 ist zweimal genannt"},
    {"address physical --new-installation deletes every short address on the line; confirm with "
     "--yes",
     "address physical --new-installation löscht jede Kurzadresse an der Linie; mit --yes "
     "bestätigen"},
    {"--lamp-delay goes with --remove-lamp", "--lamp-delay gehört zu --remove-lamp"},
    {"%1 of %2 lamp(s) addressed", "%1 von %2 Lampe(n) adressiert"},
    {"%1 lamp(s) addressed", "%1 Lampe(n) adressiert"},
    {"%1: nothing happened for %2 s (%3)", "%1: %2 s lang geschah nichts (%3)"},
    {"the backup %1 exists; replace it with --yes",
     "die Sicherung %1 existiert; mit --yes ersetzen"},
    {"stopped before every device was read: the backup was not written",
     "angehalten, bevor jedes Gerät gelesen war: die Sicherung wurde nicht geschrieben"},
    {"no device answers on the line: the backup holds none",
     "kein Gerät antwortet an der Linie: die Sicherung enthält keines"},
    {"the device(s) %1 could not be read and are not in the backup",
     "das Gerät / die Geräte %1 konnten nicht gelesen werden und sind nicht in der Sicherung"},
    {"restore writes levels, fade, groups and scenes to the devices; see the plan with --dry-run, "
     "then confirm with --yes",
     "restore schreibt Werte, Überblendung, Gruppen und Szenen in die Geräte; den Plan mit "
     "--dry-run ansehen, dann mit --yes bestätigen"},
    {"replace needs --short A, the failed gear's address",
     "replace braucht --short A, die Adresse des ausgefallenen Geräts"},
    {"replace needs --backup FILE, a backup of the line",
     "replace braucht --backup DATEI, eine Sicherung der Linie"},
    {"%1 goes with --physical", "%1 gehört zu --physical"},
    {"--set takes NAME=VALUE, such as max-level=200, not \"%1\"",
     "--set nimmt NAME=WERT, etwa max-level=200, nicht „%1“"},
    {"no variable \"%1\" to set; these can be set: %2",
     "keine Variable „%1“ zu setzen; setzen lassen sich: %2"},
    {"--set takes SCENE=LEVEL, such as 3=200 or 3=mask, not \"%1\"",
     "--set nimmt SZENE=WERT, etwa 3=200 oder 3=mask, nicht „%1“"},
    {"the level is still fading to %1; %2 is on the way",
     "der Wert blendet noch auf %1 über; %2 ist unterwegs"},
    {"the device did not take %1", "das Gerät hat %1 nicht übernommen"},
    {"the device keeps %1 at %2, not %3", "das Gerät hält %1 auf %2, nicht %3"},
    {"group %1 is in --add and in --remove", "Gruppe %1 steht in --add und in --remove"},
    {"the device did not change group(s) %1", "das Gerät hat Gruppe(n) %1 nicht geändert"},
    {"scene %1 is set twice", "Szene %1 ist zweimal gesetzt"},
    {"the device did not store scene(s) %1", "das Gerät hat Szene(n) %1 nicht gespeichert"},
    {"the report %1 needs --format html, pdf or csv",
     "der Bericht %1 braucht --format html, pdf oder csv"},
    {"%1: cancelling %2", "%1: %2 wird abgebrochen"},
    {"%1 goes on in the terminal, which does not let the control stop it; scan once it has "
     "finished",
     "%1 läuft in der Klemme weiter, die sich von der Steuerung nicht anhalten lässt; nach dem "
     "Ende eine Gerätesuche starten"},
    {"--pos takes positions N or N,M,..., not \"%1\"",
     "--pos nimmt Positionen N oder N,M,..., nicht „%1“"},
    {"--lines and --save-lines go with --all or --pos N,M,...",
     "--lines und --save-lines gehören zu --all oder --pos N,M,..."},
    {"--all and --pos choose terminals both; give one of them",
     "--all und --pos wählen beide Klemmen; nur eines davon angeben"},
    {"--lines and --save-lines need the simulated lines, not %1",
     "--lines und --save-lines brauchen die simulierten Linien, nicht %1"},
    {"--save-line keeps one line; give --save-lines DIR for a station",
     "--save-line speichert eine Linie; für eine Station --save-lines VERZEICHNIS angeben"},
    {"settings changes the store that all terminals share: run it once, without --all or --pos",
     "settings ändert die Ablage, die sich alle Klemmen teilen: einmal ausführen, ohne --all oder "
     "--pos"},
    {"the station %1 has no ZD4270 at position %2",
     "die Station %1 hat keine ZD4270 an Position %2"},
    {"the station %1 has no ZD4270 terminal", "die Station %1 hat keine ZD4270-Klemme"},
    {"--modbus-rtu reaches one terminal at a time: run each with --pos N by itself",
     "--modbus-rtu erreicht jeweils eine Klemme: jede einzeln mit --pos N ausführen"},
    {"each terminal needs its own backup: write {pos} into the file name, as in backup-{pos}.json",
     "jede Klemme braucht ihre eigene Sicherung: {pos} in den Dateinamen schreiben, wie in "
     "backup-{pos}.json"},
    {"each terminal needs its own archive: write {pos} into the file name, as in archive-{pos}.xml",
     "jede Klemme braucht ihr eigenes Archiv: {pos} in den Dateinamen schreiben, wie in "
     "archive-{pos}.xml"},
    {"each terminal needs its own frame log: write {pos} into the file name, as in "
     "frames-{pos}.txt",
     "jede Klemme braucht ihr eigenes Frame-Protokoll: {pos} in den Dateinamen schreiben, wie in "
     "frames-{pos}.txt"},
    {"--modbus: no port for the station's couplers",
     "--modbus: kein Port für die Koppler der Station"},
    {"interrupted by %1; %2 of %3 terminals did not finish",
     "unterbrochen durch %1; %2 von %3 Klemmen wurden nicht fertig"},
    {"%1 of %2 terminals failed", "%1 von %2 Klemmen sind fehlgeschlagen"},
    {"the store %1 cannot be written: %2", "die Ablage %1 kann nicht geschrieben werden: %2"},
    {"a gear without a short address has the random address %2 of the gear at address %1: new "
     "random addresses drawn",
     "ein Gerät ohne Kurzadresse hat die Zufallsadresse %2 des Geräts an Adresse %1: neue "
     "Zufallsadressen gezogen"},
    {"the gear at address %1 (%2) ignores WITHDRAW: the gear without a short address were "
     "initialised again without it",
     "das Gerät an Adresse %1 (%2) übergeht WITHDRAW: die Geräte ohne Kurzadresse wurden ohne es "
     "neu initialisiert"},
    {"nobody answered after the search, not even the gear addressed in it (the line's mains?): "
     "initialised again and searched",
     "nach der Suche antwortete niemand, nicht einmal die dabei adressierten Geräte (Netz der "
     "Linie?): neu initialisiert und gesucht"},
    {"gear without a short address still answered after the search: initialised again and searched",
     "Geräte ohne Kurzadresse antworteten nach der Suche noch: neu initialisiert und gesucht"},
    {"the archive transfer ended with an error", "die Archivübertragung endete mit einem Fehler"},
    {"the connection to the terminal was lost", "die Verbindung zur Klemme brach ab"},
    {"the archive upload was cancelled", "der Archiv-Upload wurde abgebrochen"},
    {"the archive download was cancelled", "der Archiv-Download wurde abgebrochen"},
    {"the plan gives two devices one address: nothing was changed",
     "der Plan gibt zwei Geräten dieselbe Adresse: nichts wurde geändert"},
    {"the address change did not end in time", "die Adressänderung endete nicht rechtzeitig"},
    {"the connection to the terminal was lost during the address change",
     "die Verbindung zur Klemme brach während der Adressänderung ab"},
    {"the address change was cancelled", "die Adressänderung wurde abgebrochen"},
    {"the address change ended with an error", "die Adressänderung endete mit einem Fehler"},
    {"the connection to the terminal was lost during the scan",
     "die Verbindung zur Klemme brach während der Gerätesuche ab"},
    {"the scan ended with an error", "die Gerätesuche endete mit einem Fehler"},
    {"the scan was cancelled", "die Gerätesuche wurde abgebrochen"},
    {"the scan did not end in time", "die Gerätesuche endete nicht rechtzeitig"},
    {"the physical selection did not end in time",
     "die physikalische Auswahl endete nicht rechtzeitig"},
    {"the connection to the terminal was lost during the physical selection",
     "die Verbindung zur Klemme brach während der physikalischen Auswahl ab"},
    {"the physical selection ended with an error",
     "die physikalische Auswahl endete mit einem Fehler"},
    {"this terminal (firmware 1M or later) searches itself",
     "diese Klemme (Firmware 1M oder neuer) sucht selbst"},
    {"the function test at short address %1 failed: %2",
     "der Funktionstest an Kurzadresse %1 schlug fehl: %2"},
    {"the duration test at short address %1 failed: %2",
     "der Dauertest an Kurzadresse %1 schlug fehl: %2"},
    {"the random addressing did not end in time",
     "die zufällige Adressierung endete nicht rechtzeitig"},
    {"the random addressing stopped after %1 s of line time, its limit with %2 gear found: %3 "
     "gear addressed, gear without a short address still take part",
     "die zufällige Adressierung hielt nach %1 s Linienzeit an, ihrer Grenze bei %2 gefundenen "
     "Geräten: %3 Geräte adressiert, Geräte ohne Kurzadresse nehmen noch teil"},
    {"the connection to the terminal was lost during the random addressing",
     "die Verbindung zur Klemme brach während der zufälligen Adressierung ab"},
    {"the random addressing was cancelled", "die zufällige Adressierung wurde abgebrochen"},
    {"the random addressing ended with an error",
     "die zufällige Adressierung endete mit einem Fehler"},
    {"the connection to the terminal was lost: the line was not readdressed",
     "die Verbindung zur Klemme brach ab: die Linie wurde nicht neu adressiert"},
    {"the terminal's random addressing did not end in time",
     "die zufällige Adressierung der Klemme endete nicht rechtzeitig"},
    {"the random addressing goes on in the terminal, which does not let the control stop it; scan "
     "once it has finished",
     "die zufällige Adressierung läuft in der Klemme weiter, die sich von der Steuerung nicht "
     "anhalten lässt; nach dem Ende eine Gerätesuche starten"},
    {"the terminal's result could not be read",
     "das Ergebnis der Klemme konnte nicht gelesen werden"},
    {"no short address: %1", "keine Kurzadresse: %1"},
    {"the connection to the terminal was lost while reading the device at address %1",
     "die Verbindung zur Klemme brach beim Lesen des Geräts an Adresse %1 ab"},
    {"several devices answer at address %1 at once",
     "mehrere Geräte antworten zugleich an Adresse %1"},
    {"the device at address %1 does not answer", "das Gerät an Adresse %1 antwortet nicht"},
    {"some values of the device at address %1 could not be read",
     "einige Werte des Geräts an Adresse %1 konnten nicht gelesen werden"},
    {"group %1", "Gruppe %1"},
    {"scene %1", "Szene %1"},
    {"the connection to the terminal was lost while writing the device at address %1",
     "die Verbindung zur Klemme brach beim Schreiben des Geräts an Adresse %1 ab"},
    {"no group %1: groups are 0 to 15", "keine Gruppe %1: Gruppen sind 0 bis 15"},
    {"no scene %1: scenes are 0 to 15", "keine Szene %1: Szenen sind 0 bis 15"},
    {"%1 could not be sent to the device at address %2",
     "%1 konnte(n) nicht an das Gerät an Adresse %2 gesendet werden"},
    {"the device at address %2 did not take %1", "das Gerät an Adresse %2 hat %1 nicht übernommen"},
    {"%1 could not be read back from the device at address %2",
     "%1 konnte(n) vom Gerät an Adresse %2 nicht zurückgelesen werden"},
    {"the backup %1 holds no device at address %2 (it holds %3)",
     "die Sicherung %1 enthält kein Gerät an Adresse %2 (sie enthält %3)"},
    {"none", "keines"},
    {"the device at address %1 answers: there is nothing to replace",
     "das Gerät an Adresse %1 antwortet: es gibt nichts zu ersetzen"},
    {"no gear without a short address is on the line: put the new gear in, power it, and try again",
     "an der Linie ist kein Gerät ohne Kurzadresse: das neue Gerät einbauen, mit Strom versorgen "
     "und erneut versuchen"},
    {"several gear without a short address are on the line: pick the new one by its lamp (physical "
     "selection, --physical)",
     "an der Linie sind mehrere Geräte ohne Kurzadresse: das neue an seiner Lampe auswählen "
     "(physikalische Auswahl, --physical)"},
    {"the addresses %1 of the backup are silent: the search cannot tell which one the new gear "
     "replaces; pick it by its lamp (physical selection, --physical)",
     "die Adressen %1 der Sicherung schweigen: die Suche kann nicht erkennen, welches Gerät das "
     "neue ersetzt; es an seiner Lampe auswählen (physikalische Auswahl, --physical)"},
    {"no gear answers at address %1 after the addressing",
     "nach der Adressierung antwortet kein Gerät an Adresse %1"},
    {"more than one new gear took an address (%1 and %2); restore each from the backup or address "
     "it anew",
     "mehr als ein neues Gerät hat eine Adresse bekommen (%1 und %2); jedes aus der Sicherung "
     "wiederherstellen oder neu adressieren"},
    {"the new gear did not take %1", "das neue Gerät hat %1 nicht übernommen"},
    {"the scan did not start: the terminal is still addressing (a random addressing run in its "
     "firmware, started earlier, goes on by itself). Wait until it has ended, about 3 s per gear, "
     "then scan again",
     "die Gerätesuche startete nicht: die Klemme adressiert noch (eine früher gestartete zufällige "
     "Adressierung in ihrer Firmware läuft von selbst weiter). Warten, bis sie beendet ist, etwa 3 "
     "s je Gerät, dann erneut suchen"},
    {"the backup was made at terminal position %1, this terminal is at position %2",
     "die Sicherung wurde an Klemmenposition %1 erstellt, diese Klemme ist an Position %2"},
    {"no random address of the backup matches a gear on the line: %1 of its addresses are held by "
     "other gear",
     "keine Zufallsadresse der Sicherung passt zu einem Gerät an der Linie: %1 ihrer Adressen "
     "haben andere Geräte"},
    {"address %1: device type %2 in the backup, %3 on the line",
     "Adresse %1: Gerätetyp %2 in der Sicherung, %3 an der Linie"},
    {"stopped while the line was read: nothing was sent",
     "beim Lesen der Linie angehalten: nichts wurde gesendet"},
    {"no gear of the backup is on this line (no random address matches): it may be another line's "
     "backup, or the line was addressed anew since; nothing was sent. Check the plan (--dry-run) "
     "and confirm with --other-gear",
     "kein Gerät der Sicherung ist an dieser Linie (keine Zufallsadresse passt): es kann die "
     "Sicherung einer anderen Linie sein, oder die Linie wurde seither neu adressiert; nichts "
     "wurde gesendet. Den Plan prüfen (--dry-run) und mit --other-gear bestätigen"},
    {"the restore was not confirmed; nothing was sent",
     "die Wiederherstellung wurde nicht bestätigt; nichts wurde gesendet"},
    {"some devices did not take what was sent (see \"written\")",
     "einige Geräte haben das Gesendete nicht übernommen (siehe \"written\")"},
    {"the device(s) %1 could not be read and were left as they are",
     "das Gerät / die Geräte %1 konnten nicht gelesen werden und blieben, wie sie sind"},
    {"nothing answers at %1 (a failed gear: zd4270 replace --short A --backup FILE)",
     "an %1 antwortet nichts (ein ausgefallenes Gerät: zd4270 replace --short A --backup DATEI)"},
    {"OK", "OK"},
    {"&Yes", "&Ja"},
    {"&No", "&Nein"},
    // What could not be read of a device.
    {"%1 of %2 variables could not be read", "%1 von %2 Variablen konnten nicht gelesen werden"},
    {"the groups %1 could not be read", "die Gruppen %1 konnten nicht gelesen werden"},
    {"the scenes %1 could not be read", "die Szenen %1 konnten nicht gelesen werden"},
    // The window's own failures.
    {"the random addressing did not start", "die zufällige Adressierung startete nicht"},
    {"%1; the store was left as it was, and this run keeps nothing in it",
     "%1; die Ablage blieb, wie sie war, und dieser Lauf speichert nichts darin"},
    {"The store %1 cannot be written: %2", "Die Ablage %1 kann nicht geschrieben werden: %2"},
    // The headless demonstration.
    {"Station %1, line %2 (simulated, virtual time)",
     "Station %1, Linie %2 (simuliert, virtuelle Zeit)"},
    {"without gear", "ohne Geräte"},
    {"Station %1, terminal on Modbus %2 %3 (real time)",
     "Station %1, Klemme über Modbus %2 %3 (Echtzeit)"},
    {"command", "Befehl"},
    {"word", "Wort"},
    {"result", "Ergebnis"},
    {"answer", "Antwort"},
    {"Addressing log lines of these commands:",
     "Zeilen des Adressierungsprotokolls zu diesen Befehlen:"},
    {"Watchdog: %1 messages in %2 ms of virtual time, last %3",
     "Watchdog: %1 Meldungen in %2 ms virtueller Zeit, zuletzt %3"},
    // The end of a run a signal stopped.
    {"%1: ending the run", "%1: der Lauf wird beendet"},
    // The restore's plan, as the question before it names it.
    {"address %1: %2", "Adresse %1: %2"},
    {"unchanged", "unverändert"},
    {"changed", "geändert"},
    {"replaced", "ersetzt"},
    {"missing", "fehlt"},
    {"new", "neu"},
    {"unreadable", "nicht lesbar"},
    {"(random address %1, was %2)", "(Zufallsadresse %1, vorher %2)"},
    {"add to groups %1", "zu Gruppen %1 hinzufügen"},
    {"remove from groups %1", "aus Gruppen %1 entfernen"},
    // What is wrong with a line backup's file.
    {"%1: at %2: %3", "%1: bei %2: %3"},
    {"an object", "ein Objekt"},
    {"a list", "eine Liste"},
    {"values are nested deeper than %1 levels", "Werte sind tiefer als %1 Ebenen verschachtelt"},
    {"the key %1 comes twice", "der Schlüssel %1 kommt zweimal vor"},
    {"an object is expected", "ein Objekt wird erwartet"},
    {"unknown key %1", "unbekannter Schlüssel %1"},
    {"the key \"%1\" is missing", "der Schlüssel \"%1\" fehlt"},
    {"a whole number %1 to %2 is expected, not %3",
     "eine ganze Zahl von %1 bis %2 wird erwartet, nicht %3"},
    {"a random address \"0x\" and six hexadecimal digits is expected",
     "eine Zufallsadresse \"0x\" und sechs Hexadezimalziffern wird erwartet"},
    {"a level 0 to 254 or \"mask\" is expected, not %1",
     "ein Wert von 0 bis 254 oder \"mask\" wird erwartet, nicht %1"},
    {"unknown variable %1", "unbekannte Variable %1"},
    {"the variable \"%1\" is missing", "die Variable \"%1\" fehlt"},
    {"differs from the device's randomAddress", "weicht von randomAddress des Geräts ab"},
    {"differs from the device's deviceType", "weicht von deviceType des Geräts ab"},
    {"a list of groups is expected", "eine Liste von Gruppen wird erwartet"},
    {"group %1 comes twice", "Gruppe %1 kommt zweimal vor"},
    {"an object of the scenes \"0\" to \"15\" is expected",
     "ein Objekt der Szenen \"0\" bis \"15\" wird erwartet"},
    {"unknown scene %1", "unbekannte Szene %1"},
    {"the scene \"%1\" is missing", "die Szene \"%1\" fehlt"},
    {"this is no line backup (\"format\": \"%1\" is expected)",
     "dies ist keine Liniensicherung (\"format\": \"%1\" wird erwartet)"},
    {"version %1 is newer than this program reads (%2)",
     "Version %1 ist neuer, als dieses Programm liest (%2)"},
    {"a text is expected", "ein Text wird erwartet"},
    {"a list of devices is expected", "eine Liste von Geräten wird erwartet"},
    {"short address %1 comes twice", "Kurzadresse %1 kommt zweimal vor"},
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
    // The refusals of a connection that cannot be.
    {"--modbus and --modbus-rtu name the terminal both (Modbus TCP and RTU): give one of them",
     "--modbus und --modbus-rtu nennen beide die Klemme (Modbus TCP und RTU): nur eines davon "
     "angeben"},
    {"--line is the simulated line; over", "--line ist die simulierte Linie; über"},
    {"the terminal's own line answers: give one of them",
     "antwortet die eigene Linie der Klemme: nur eines davon angeben"},
    // The simulated line's file.
    {"The line file", "Die Linien-Datei"},
    // A line file that places the terminal otherwise than the station.
    {"note: the line file", "Hinweis: die Linien-Datei"},
    {"and the station document", "und das Stationsdokument"},
    {"place the terminal differently", "platzieren die Klemme verschieden"},
    {"the simulated terminal follows the station document, which is what the control reads",
     "die simulierte Klemme folgt dem Stationsdokument, das die Steuerung liest"},
    {"word", "Wort"},
    {"byte order", "Bytereihenfolge"},
    {"position", "Position"},
    {"table", "Tabelle"},
    // The store and the files the program reads and writes.
    {"The store", "Die Ablage"},
    {"held", "enthielt"},
    {"line that holds no setting", "Zeile ohne Einstellung"},
    {"lines that hold no setting", "Zeilen ohne Einstellung"},
    {"line longer than this program keeps (a name up to",
     "Zeile, länger als dieses Programm behält (ein Name bis zu"},
    {"lines longer than this program keeps (a name up to",
     "Zeilen, länger als dieses Programm behält (ein Name bis zu"},
    {"bytes, a value up to", "Bytes, ein Wert bis zu"},
    {"it was left out when the store was written",
     "sie wurde beim Schreiben der Ablage weggelassen"},
    {"the store was left as it was", "die Ablage blieb, wie sie war"},
    {"it is not a regular file", "es ist keine gewöhnliche Datei"},
    {"is not a regular file", "ist keine gewöhnliche Datei"},
    {"it is a folder", "es ist ein Ordner"},
    {"is a folder", "ist ein Ordner"},
    {"the file was left as it was", "die Datei blieb, wie sie war"},
    {"no file was written", "keine Datei wurde geschrieben"},
    {"no temporary file can be created beside it:",
     "daneben lässt sich keine temporäre Datei anlegen:"},
    {"is larger than", "ist größer als"},
    {"the most this program reads", "das Höchste, was dieses Programm liest"},
    {"The backup", "Die Sicherung"},
    {"The archive", "Das Archiv"},
    // Where in the store.
    {"(line", "(Zeile"},
};

std::string Filled(Language language, std::string_view english,
                   std::span<const std::string_view> args);

const Wording* Find(std::string_view english) {
    const auto it = std::find_if(std::begin(kTexts), std::end(kTexts),
                                 [&](const Wording& w) { return w.english == english; });
    return it == std::end(kTexts) ? nullptr : &*it;
}

}  // namespace

std::string HostText(Language language, std::string_view english,
                     std::initializer_list<std::string_view> args) {
    return Filled(language, english, std::span<const std::string_view>(args.begin(), args.size()));
}

namespace {

std::string Filled(Language language, std::string_view english,
                   std::span<const std::string_view> args) {
    const Wording* wording = language == Language::German ? Find(english) : nullptr;
    const std::string_view text = wording ? wording->german : english;
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        const auto index = static_cast<std::size_t>(next - '1');
        if (text[i] == '%' && next >= '1' && next <= '9' && index < args.size()) {
            result += args[index];
            ++i;
        } else {
            result += text[i];
        }
    }
    return result;
}

}  // namespace

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

std::string HostWording::In(Language language) const {
    if (m_verbatim) return m_english;
    std::vector<std::string> args;
    for (const HostWording& arg : m_args) args.push_back(arg.In(language));
    return Filled(language, m_english, std::vector<std::string_view>(args.begin(), args.end()));
}

bool HasHostText(std::string_view english) {
    return Find(english) != nullptr;
}

}  // namespace zd
