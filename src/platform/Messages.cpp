#include "platform/Messages.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <string_view>

namespace zd {

namespace {
struct Entry {
    int number;
    const char* english;
    const char* german;  // null: the English text serves both languages
};

// The whole catalogue in ascending number order, texts exactly as the user sees them (UTF-8).
const Entry kEntries[] = {
    {110, "Pos", nullptr},
    {111, "Type", "Typ"},
    {112, "Channel", "Kanal"},
    {113, "Offset", nullptr},
    {5000, "Device settings", "Geräte Einstellungen"},
    {5001, "Addressing", "Adressierung"},
    {5002, "DALI Commands", "DALI Befehle"},
    {5003, "DSI Commands", "DSI Befehle"},
    {5004, "Address type", "Adress Typ"},
    {5005, "Group", "Grp."},
    {5006, "short Addr.", "Kurzadr."},
    {5007, "Command and Data", "Befehl und Daten"},
    {5008, "Command", "Befehl"},
    {5009, "Data", "Daten"},
    {5010, "Send DALI command", "Sende DALI Befehl"},
    {5011, "Answer", "Antwort"},
    {5012, "Send DSI command", "Sende DSI Befehl"},
    {5013, "Data (Light-Level)", "Daten (Lichtstärke)"},
    {5014, "Devices", "Geräte"},
    {5015, "Device", "Gerät"},
    {5016, "Variables", "Variablen"},
    {5017, "Groups", "Gruppen"},
    {5018, "Scenes", "Szenen"},
    {5019, "Broadcast", "Sammelruf"},
    {5020, "Refresh", "Aktualisieren"},
    {5021, "Group", "Gruppe"},
    {5022, "Direct Arc Power Control", "direkte Steuerung der Lampenleistung"},
    {5023, "Off", "Ausschalten"},
    {5024, "Up", "Heller"},
    {5025, "Down", "Dunkler"},
    {5026, "Step Up", "eine Stufe heller"},
    {5027, "Step Down", "eine Stufe dunkler"},
    {5028, "Recall MAX LEVEL", "Abruf von MAX WERT"},
    {5029, "Recall MIN LEVEL", "Abruf von MIN WERT"},
    {5030, "Step Down and Off", "eine Stufe dunkler und Ausschalten"},
    {5031, "On and Step Up", "Einschalten und eine Stufe heller"},
    {5032, "Go to Scene", "gehe zu Szene"},
    {5033, "Reset", "Rücksetzen"},
    {5034, "Store actual level in DTR", "aktuellen Wert in DTR speichern"},
    {5035, "Direct Light Control", "direkte Lichsteuerung"},
    {5036, "Indirect Light Control", "indirekte Lichtsteuerung"},
    {5037, "Light Level", "Lichtstärke"},
    {5038, "Query", "Abfrage"},
    {5039, "Scene", "Szene"},
    {5040, "Query Ballast", "Abfrage Vorschaltgerät"},
    {5041, "Query Lamp Failure", "Abfrage Lampenausfall"},
    {5042, "Query Lamp Power On", "Abfrage Stromvers. Lampe eingeschaltet"},
    {5043, "Query Limit Error", "Abfrage Grenzwertfehler"},
    {5044, "Query Reset State", "Abfrage Rücksetzzustand"},
    {5045, "Query Missing Short Address", "Abfrage Kurzadresse fehlt"},
    {5046, "Query Content DTR", "Abfrage Inhalt DTR"},
    {5047, "Query Device Type", "Abfrage Gerätetyp"},
    {5048, "Query Power Failure", "Abfrage Störung der Stromversorgung"},
    {5049, "Send Query", "Sende Abfrage"},
    {5050,
     "By placing a checkmark next to the group text you may assign the device to one or more of 16 "
     "groups. To remove the device from a group just remove the checkmark.",
     "Sie können ein Gerät zu einer oder mehreren der 16 Gruppen hinzufügen, in dem sie das "
     "Häkchen neben dem Gruppentext aktivieren. Zum Entfernen des Gerätes aus einer Gruppe, "
     "deaktivieren sie einfach das Häkchen."},
    {5051, "Value", "Wert"},
    {5052, "Actual Dim Level", "aktueller Dimmwert"},
    {5053, "Power On Level", "Stromversorgung-Ein Wert"},
    {5054, "System Failure Level", "Systemfehler Wert"},
    {5055, "Min Level", "min Wert"},
    {5056, "Max Level", "max Wert"},
    {5057, "Fade Rate", "Stufengeschwindigkeit"},
    {5058, "Fade Time", "Stufenzeit"},
    {5059, "Random Address", "Direktadresse"},
    {5060, "Status Information", "Statusinformationen"},
    {5061, "Version Number", "Versionsnummer"},
    {5062, "Physical Min Level", "phy. kleinst möglicher Wert"},
    {5063, "Save to device", "Im Gerät speichern"},
    {5064, "Variable", nullptr},
    {5065, "Yes", "Ja"},
    {5066, "No", "Nein"},
    {5067, "Operation mode", "Betriebsart"},
    {5068, "Power Supply Unit", "Netzteil"},
    {5069, "active", "aktiv"},
    {5070, "Options", "Optionen"},
    {5071, "Scan Devices", "Geräte suchen"},
    {5072,
     "By using this method devices are addressed by removing and reinserting the lamp. Addresses "
     "will be assigned in the same order the lamps are removed and reinserted.",
     "Bei dieser Methode werden die Geräte dadurch adressiert, in dem das Leuchtmittel aus der "
     "Lampe entfernt und anschließend wieder eingebaut wird. Die Adressen werden in der gleichen "
     "Reihenfolge vergeben, wie die Leuchtmittel aus- und wieder eingebaut wurden."},
    {5073,
     "By using this method devices are addressed by accident. The user has no influence on the "
     "order of the addresses.",
     "Bei dieser Methode werden die Adressen per Zufall vergeben. Der Bediener hat keinen Einfluss "
     "auf die Reihenfolge der Adressen."},
    {5074,
     "By using this method all devices at the terminal will get the new address. The address 255 "
     "(MASK) will remove the address from the device.",
     "Bei dieser Methode bekommen alle Geräte, die an der Busklemme angeschlossen sind, die neue "
     "Adresse. Durch die Adresse 255 (MASKE) wird die Adresse aus dem Gerät gelöscht."},
    {5075, "Start", nullptr},
    {5076, "Cancel", "Abbrechen"},
    {5077, "Short Address", "Kurzaddresse"},
    {5078, "No.", "Nr."},
    {5079, "Start physical selection", "Starte physikalische Auswahl"},
    {5080, "Start randomize addressing", "Starte zufällige Adressierung"},
    {5081, "Waiting for a device to be selected, remove lamp",
     "Warte auf Auswahl eines Gerätes, entfernen sie das Leuchtmittel"},
    {5082, "The device has been programmed, waiting for reinsertion of the lamp",
     "Das Gerät wurde adressiert, fügen sie das Leuchtmittel wieder ein"},
    {5083, "The programmed device should now blink three times",
     "Das adressierte Gerät sollte jetzt drei mal blinken"},
    {5084, "Error while access to ZD4270", "Fehler beim Zugriff auf die ZD4270"},
    {5085, "complete new installation (all addresses will be removed)",
     "komplette Neuinstallation (alle Adressen werden zuvor gelöscht)"},
    {5086, "delete all group assignments", "alle Gruppenzuordungen löschen"},
    {5087, "Start with address", "Beginne bei Adresse"},
    {5088, "new address", "neue Adresse"},
    {5089, "Physical selection", "physikalische Auswahl"},
    {5090, "Random addressing", "zufällige Adressierung"},
    {5091, "Single assignment", "Einzelzuweisung"},
    {5092, "MASK", "MASKE"},
    {5093, "Timeout while access to ZD4270", "Zeitüberschreitung beim Zugriff auf die ZD4270"},
    {5094, "Count DALI Devices ", "DALI-Geräte zählen"},
    {5095, "internal error", "interner Fehler"},
    {5096, "All devices will be set to the following address",
     "Alle Geräte werden auf die folgende Adresse eingestellt"},
    {5097, "Are you sure", "Sind sie sicher"},
    {5098, "Information", "Hinweis"},
    {5099, "The short address will be delete on all devices",
     "Bei allen Geräten wird die Kurzadresse gelöscht"},
    {5100, "optical selection feedback", "optische Auswahlrückmeldung"},
    {5101, "Change address", "Adressen ändern"},
    {5102, "Addr.", "Adr."},
    {5103, "new addr.", "neue Adr."},
    {5104, "the following address is double", "die folgende Adresse ist doppelt"},
    {5105, "delete all scene definitions", "alle Szenendefinitionen löschen"},
    {5106, "delete all used addresses", "lösche alle verwendeten Kurzadressen"},
    {5107, "Start address changing", "Starte Adressen ändern"},
    {5108, "searching free address", "suche frei Adresse"},
    {5109, "change addresses", "ändere Adressen"},
    {5110, "no free address", "keine freie Adresse"},
    {5111, "All addresses were changed", "Alle Adressen wurden geändert"},
    {5112, "Exclamation", "Fehler"},
    {5113, "System failure", "Systemfehler"},
    {5114, "The maximal address (63) was reached", "Die maximale Adresse (63) wurde erreicht"},
    {5115, "The addressing will be terminate", "Die Adressierung wird beendet"},
    {5116, "Firmware version", "Firmware Version"},
    {5117, "randomise new random addresses", "generiere neue Direktadressen"},
    {5118, "program and verify short address", "Programmiere und überprüfe Kurzadresse"},
    {5119, "compare random address with search address",
     "Vergleiche Direktadresse mit der Suchadresse"},
    {5120,
     "Select the device in the right list where do you want to change the address. With the select "
     "box next to the list you may change it. Press 'Start' after choosing the new addresses.",
     "Markieren sie in der rechten Liste das Gerät, bei der sie die Adresse ändern möchten. Über "
     "die Auswahlbox neben der Liste, können sie dem Gerät eine neue Adresse zuweisen.  Drücken "
     "sie auf 'Start', nachdem sie alle gewünschten Adressen neu vergeben haben."},
    {5121,
     "Note: There must be at least one unused address in the DALI network to change the address.",
     "Anmerkung: Damit die Adressen geändert werden können, muss mindestens eine unbenutzte "
     "Adresse im DALI-Netzwerk vorhanden sein."},
    {5122, "The ZD4270 is not in the DALI-Mode", "Die ZD4270 befindet sich nicht im DALI-Modus"},
    {5123, "The ZD4270 is not in the DSI-Mode", "Die ZD4270 befindet sich nicht im DSI-Modus"},
    {5124, "This function will not be supported by this firmware. Update the terminal.",
     "Diese Funktion wird nicht von der aktuellen Firmware unterstützt. Aktualisieren sie die "
     "Klemme."},
    {5125, "Archiv", nullptr},
    {5126, "To get more information about the options, read the manual of the ZD4270.",
     "Mehr Informationen zu den Optionen finden sie in der Anleitung zu der ZD4270."},
    {5127, "XML File (*.xml)|*.xml", "XML Datei (*.xml)|*.xml"},
    {5128, "File open", "Datei öffnen"},
    {5129, "File save", "Datei speichern"},
    {5130, "Upload", nullptr},
    {5131, "Download", nullptr},
    {5132, "Open", "Öffnen"},
    {5133, "Save", "Speichern"},
    {5134,
     "With this command you will reset all devices to their default values. Also you delete all "
     "groups and scenes settings. Are you sure",
     "Durch diesen Befehl werden alle Einstellungen wieder auf die Standardwerte zurückgesetzt. "
     "Hierdurch werden auch alle Gruppen und Szenen gelöscht. Sind sie sicher"},
    {5135, "The process image of the ZD4270 has not been determined.",
     "Das Prozeßabbild der ZD4270 konnte nicht ermittelt werden."},
    {5136, "Is the option 'Enable setup mode' under the menu 'Options' active?",
     "Ist unter dem Menü 'Optionen' die Option 'Online Monitoring' aktiviert?"},
    {5137, "Device Type", "Gerätetyp"},
    {5138, "optical feedback", "optische Rückmeldung"},
    {5139, "Random addressing is active", "zufällige Adressierung ist aktiv"},
    {5140, "Account of addressed ballasts", "Anzahl der adressierten Vorschaltgeräte"},
    {5141, "Random addressing is active...retry later",
     "zufällige Adressierung ist aktiv...versuchen sie es erneut"},
    {5142, "Two ballast have the same short address",
     "Zwei Vorschaltgeräte haben die gleiche Langadresse"},
    {5143, "selected ballast don't reply after the COMPARE command",
     "Selektiertes Vorschaltgerät antwortet nicht auf den Befehl COMPARE"},
    {5144, "no free short address available", "Keine freie Kurzadresse verfügbar"},
    {5145, "after the assignment of the short address the ballast don't reply",
     "Nach dem Zuweisen der Kurzadresse antwortet das Vorschaltgerät nicht"},
    {5146, "internal error (Statemachine)", "Interner Fehler (Statemachine)"},
    {5150, "fast search (commands back to back)", "schnelle Suche (Befehle ohne Pause)"},
    {5151,
     "Two ballast drew the same random address again and again and were left without a short "
     "address",
     "Zwei Vorschaltgeräte zogen immer wieder dieselbe Zufallsadresse und blieben ohne "
     "Kurzadresse"},
    {5152, "Two lamps are out: take out one lamp at a time",
     "Zwei Leuchtmittel sind entfernt: entfernen sie nur ein Leuchtmittel auf einmal"},
    {5153, "The lamp came back before the device was programmed: remove it again",
     "Das Leuchtmittel kam zurück, bevor das Gerät adressiert wurde: entfernen sie es erneut"},
    {5154, "This device already has its address from this run",
     "Dieses Gerät hat seine Adresse aus diesem Durchlauf bereits"},
    {5155, "ask silent addresses twice", "stille Adressen nachfragen"},
    {5156, "device(s) that the archive does not list lose their groups and scenes",
     "Gerät(e), die das Archiv nicht enthält, verlieren ihre Gruppen und Szenen"},
    {5157, "Download the archive into the devices", "Archiv in die Geräte übertragen"},
    {5158, "Another master keeps colliding with the commands on the DALI line: the run was stopped",
     "Ein anderer Master stört ständig die Befehle auf der DALI-Linie: der Vorgang wurde beendet"},
    {5159, "Ballasts without a short address still answer",
     "Vorschaltgeräte ohne Kurzadresse antworten noch"},
    {5160, "quick scan", "schnell suchen"},
};
}  // namespace

std::string MessageCatalogue::Load(int number) const {
    return Load(number, m_language);
}

std::string MessageCatalogue::Load(int number, Language language) const {
    const auto it = std::lower_bound(std::begin(kEntries), std::end(kEntries), number,
                                     [](const Entry& e, int n) { return e.number < n; });
    if (it == std::end(kEntries) || it->number != number) {
        return {};
    }
    return (language == Language::German && it->german) ? it->german : it->english;
}

Language MessageCatalogue::LanguageFromEnvironment() {
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (!value || !*value) {
            continue;
        }
        std::string_view v(value);
        // LANGUAGE is a list of preferences ("de:en"); the first non-empty one counts.
        if (std::string_view(name) == "LANGUAGE") {
            v.remove_prefix(std::min(v.find_first_not_of(':'), v.size()));
            v = v.substr(0, v.find(':'));
            if (v.empty()) {
                continue;
            }
        }
        return v.substr(0, 2) == "de" ? Language::German : Language::English;
    }
    return Language::English;
}

}  // namespace zd
