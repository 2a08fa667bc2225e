<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>CCallScreen</name>
    <message>
        <source>Dialling</source>
        <translation>Wählt</translation>
    </message>
    <message>
        <source>Ringing</source>
        <translation>Klingelt</translation>
    </message>
    <message>
        <source>Connected</source>
        <translation>Verbunden</translation>
    </message>
    <message>
        <source>On hold</source>
        <translation>Gehalten</translation>
    </message>
    <message>
        <source>Call ended</source>
        <translation>Anruf beendet</translation>
    </message>
    <message>
        <source>Calling</source>
        <translation>Ruft an</translation>
    </message>
    <message>
        <source>Dialled %1</source>
        <translation>Gewählt: %1</translation>
    </message>
    <message>
        <source>Tones sent: %1</source>
        <translation>Gesendete Töne: %1</translation>
    </message>
    <message>
        <source>Not sent: %1</source>
        <translation>Nicht gesendet: %1</translation>
    </message>
    <message>
        <source>All tones sent</source>
        <translation>Alle Töne gesendet</translation>
    </message>
    <message>
        <source>Pause: %1 s, then %2</source>
        <translation>Pause: %1 s, dann %2</translation>
    </message>
    <message>
        <source>Waiting for you to send %1</source>
        <translation>Wartet darauf, dass Sie %1 senden</translation>
    </message>
    <message>
        <source>Sending %1</source>
        <translation>Sendet %1</translation>
    </message>
    <message>
        <source>Once answered: %1</source>
        <translation>Nach dem Annehmen: %1</translation>
    </message>
    <message>
        <source>Keypad tones waiting: %1</source>
        <translation>Wartende Tastentöne: %1</translation>
    </message>
    <message>
        <source>Send %1</source>
        <translation>%1 senden</translation>
    </message>
    <message>
        <source>The card service is waiting. Send the tones %1?</source>
        <translation>Der Kartendienst wartet. Die Töne %1 senden?</translation>
    </message>
    <message>
        <source>You hung up.</source>
        <translation>Sie haben aufgelegt.</translation>
    </message>
    <message>
        <source>The other side hung up.</source>
        <translation>Die Gegenseite hat aufgelegt.</translation>
    </message>
    <message>
        <source>Ended outside this program.</source>
        <translation>Außerhalb dieses Programms beendet.</translation>
    </message>
    <message>
        <source>Not answered.</source>
        <translation>Nicht angenommen.</translation>
    </message>
    <message>
        <source>Duration %1.</source>
        <translation>Dauer %1.</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Hang up the call?</source>
        <translation>Den Anruf beenden?</translation>
    </message>
</context>
<context>
    <name>ContactChooser</name>
    <message>
        <source>No phone number</source>
        <translation>Keine Rufnummer</translation>
    </message>
    <message>
        <source>Choose Contact</source>
        <translation>Kontakt wählen</translation>
    </message>
    <message>
        <source>Search by name or number</source>
        <translation>Nach Name oder Nummer suchen</translation>
    </message>
    <message>
        <source>Reading contacts</source>
        <translation>Kontakte werden gelesen</translation>
    </message>
    <message>
        <source>Reading contacts: %L1 found</source>
        <translation>Kontakte werden gelesen: %L1 gefunden</translation>
    </message>
    <message>
        <source>beyond the first %L1 contacts: %L2</source>
        <translation>nach den ersten %L1 Kontakten: %L2</translation>
    </message>
    <message>
        <source>with a field over %1 or a card over %2: %L3</source>
        <translation>mit einem Feld über %1 oder einer Karte über %2: %L3</translation>
    </message>
    <message>
        <source>files over %1: %L2</source>
        <translation>Dateien über %1: %L2</translation>
    </message>
    <message>
        <source>Not listed — %1</source>
        <translation>Nicht aufgeführt — %1</translation>
    </message>
    <message>
        <source>No contacts</source>
        <translation>Keine Kontakte</translation>
    </message>
    <message>
        <source>No matching contacts</source>
        <translation>Keine passenden Kontakte</translation>
    </message>
    <message>
        <source>mobile</source>
        <translation>Mobil</translation>
    </message>
    <message>
        <source>fax</source>
        <translation>Fax</translation>
    </message>
    <message>
        <source>pager</source>
        <translation>Pager</translation>
    </message>
    <message>
        <source>home</source>
        <translation>privat</translation>
    </message>
    <message>
        <source>work</source>
        <translation>Arbeit</translation>
    </message>
    <message>
        <source>main</source>
        <translation>Haupt</translation>
    </message>
    <message>
        <source>car</source>
        <translation>Auto</translation>
    </message>
    <message>
        <source>other</source>
        <translation>Andere</translation>
    </message>
    <message>
        <source>address books that could not be read: %1</source>
        <translation>Adressbücher, die nicht gelesen werden konnten: %1</translation>
    </message>
    <message>
        <source>did not answer in time</source>
        <translation>hat nicht rechtzeitig geantwortet</translation>
    </message>
    <message>
        <source>not reached: the one before did not answer</source>
        <translation>nicht erreicht: das vorherige hat nicht geantwortet</translation>
    </message>
</context>
<context>
    <name>DialogTemplates</name>
    <message>
        <source>Add Telvane</source>
        <translation>Telvane hinzufügen</translation>
    </message>
    <message>
        <source>Make Call</source>
        <translation>Anrufen</translation>
    </message>
    <message>
        <source>Edit Telvane</source>
        <translation>Telvane bearbeiten</translation>
    </message>
    <message>
        <source>Delete Telvane</source>
        <translation>Telvane löschen</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Card Name</source>
        <translation>Kartenname</translation>
    </message>
    <message>
        <source>Access Number</source>
        <translation>Einwahl</translation>
    </message>
    <message>
        <source>Pin Option</source>
        <translation>PIN-Option</translation>
    </message>
    <message>
        <source>Pause Before Number</source>
        <translation>Pause vor Nummer</translation>
    </message>
    <message>
        <source>Prefix</source>
        <translation>Präfix</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Hinzufügen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Pause Before Pin</source>
        <translation>Pause vor PIN</translation>
    </message>
    <message>
        <source>Dial</source>
        <translation>Wählen</translation>
    </message>
    <message>
        <source>Phone Number</source>
        <translation>Rufnummer</translation>
    </message>
    <message>
        <source>Card List</source>
        <translation>Karten</translation>
    </message>
    <message>
        <source>( CC + AC + Number )</source>
        <translation>( LV + OV + Nummer )</translation>
    </message>
    <message>
        <source>Confirm</source>
        <translation>Prüfen</translation>
    </message>
    <message>
        <source>You have selected to dial</source>
        <translation>Diese Verbindung wird gewählt</translation>
    </message>
    <message>
        <source>Contact</source>
        <translation>Kontakt</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Phonebook</source>
        <translation>Telefonbuch</translation>
    </message>
    <message>
        <source>Contacts</source>
        <translation>Kontakte</translation>
    </message>
    <message>
        <source>Pin Base</source>
        <translation>Mit PIN</translation>
    </message>
    <message>
        <source>Pin Less</source>
        <translation>Kein PIN</translation>
    </message>
    <message>
        <source>Don&apos;t send</source>
        <translation>Nicht senden</translation>
    </message>
    <message>
        <source>Speaker</source>
        <translation>Lautsprecher</translation>
    </message>
    <message>
        <source>Mute</source>
        <translation>Stumm</translation>
    </message>
    <message>
        <source>Hang up</source>
        <translation>Auflegen</translation>
    </message>
    <message>
        <source>Recent Calls</source>
        <translation>Letzte Anrufe</translation>
    </message>
</context>
<context>
    <name>Messages</name>
    <message>
        <source>too many links are waiting</source>
        <translation>zu viele Links warten</translation>
    </message>
    <message>
        <source>The dialer that is running did not take the number: %1</source>
        <translation>Der laufende Wähler hat die Nummer nicht angenommen: %1</translation>
    </message>
    <message>
        <source>Card is not Available</source>
        <translation>Keine Karte vorhanden</translation>
    </message>
    <message>
        <source>Are you sure you want to exit Application, Press OK to Quit</source>
        <translation>Möchten Sie die Anwendung wirklich beenden? Zum Beenden OK drücken</translation>
    </message>
    <message>
        <source>Too many screens are open. Exit and start the dialer again.</source>
        <translation>Zu viele Bildschirme sind geöffnet. Beenden Sie den Wähler und starten Sie ihn neu.</translation>
    </message>
    <message>
        <source>Please Enter the Phone Number</source>
        <translation>Bitte die Rufnummer eingeben</translation>
    </message>
    <message>
        <source>StringCchLength failed</source>
        <translation>StringCchLength ist fehlgeschlagen</translation>
    </message>
    <message>
        <source>destination number is NULL</source>
        <translation>die Zielnummer ist NULL</translation>
    </message>
    <message>
        <source>StripNonPhoneDigits failed</source>
        <translation>StripNonPhoneDigits ist fehlgeschlagen</translation>
    </message>
    <message>
        <source>BuildDialString failed</source>
        <translation>BuildDialString ist fehlgeschlagen</translation>
    </message>
    <message>
        <source>Please select card</source>
        <translation>Bitte eine Karte auswählen</translation>
    </message>
    <message>
        <source>No phone service is available: this device has no modem and no application for phone calls.</source>
        <translation>Kein Telefondienst verfügbar: Dieses Gerät hat weder ein Modem noch eine Anwendung für Anrufe.</translation>
    </message>
    <message>
        <source>The call request is not valid.</source>
        <translation>Die Anrufanforderung ist ungültig.</translation>
    </message>
    <message>
        <source>There is no number to dial.</source>
        <translation>Es gibt keine Nummer zum Wählen.</translation>
    </message>
    <message>
        <source>The modem refused the call.</source>
        <translation>Das Modem hat den Anruf abgelehnt.</translation>
    </message>
    <message>
        <source>Not allowed to place calls on this device: </source>
        <translation>Keine Berechtigung, auf diesem Gerät Anrufe zu tätigen: </translation>
    </message>
    <message>
        <source>ModemManager does not answer.</source>
        <translation>ModemManager antwortet nicht.</translation>
    </message>
    <message>
        <source>ModemManager gave an answer that cannot be read.</source>
        <translation>ModemManager gab eine Antwort, die nicht gelesen werden kann.</translation>
    </message>
    <message>
        <source>The state of the call cannot be read, so the call was hung up.</source>
        <translation>Der Status des Anrufs kann nicht gelesen werden, daher wurde aufgelegt.</translation>
    </message>
    <message>
        <source>Another call is being placed.</source>
        <translation>Es wird bereits ein anderer Anruf getätigt.</translation>
    </message>
    <message>
        <source>The application for phone calls could not be started.</source>
        <translation>Die Anwendung für Anrufe konnte nicht gestartet werden.</translation>
    </message>
    <message>
        <source>No phone service is available: this device has no modem, and no application for phone calls other than this dialer.</source>
        <translation>Kein Telefondienst verfügbar: Dieses Gerät hat kein Modem und außer diesem Wähler keine Anwendung für Anrufe.</translation>
    </message>
    <message>
        <source>The call ended before the tones were sent.</source>
        <translation>Der Anruf endete, bevor die Töne gesendet wurden.</translation>
    </message>
    <message>
        <source>The call ended before all the tones were sent.</source>
        <translation>Der Anruf endete, bevor alle Töne gesendet wurden.</translation>
    </message>
    <message>
        <source>The modem went away during the call; the tones were not sent.</source>
        <translation>Das Modem ist während des Anrufs verschwunden; die Töne wurden nicht gesendet.</translation>
    </message>
    <message>
        <source>The phone refused to send the tones.</source>
        <translation>Das Telefon hat das Senden der Töne abgelehnt.</translation>
    </message>
    <message>
        <source>Not sent: </source>
        <translation>Nicht gesendet: </translation>
    </message>
    <message>
        <source>Send the following tones?</source>
        <translation>Die folgenden Töne senden?</translation>
    </message>
    <message>
        <source>Your change was not saved: %1. The card file is as it was.</source>
        <translation>Die Änderung wurde nicht gespeichert: %1. Die Kartendatei ist unverändert.</translation>
    </message>
    <message>
        <source>The card book is full: delete a card before adding another.</source>
        <translation>Das Kartenbuch ist voll: Löschen Sie eine Karte, bevor Sie eine weitere hinzufügen.</translation>
    </message>
    <message>
        <source>The card book is in use by another copy of this program. Nothing was saved: try again.</source>
        <translation>Das Kartenbuch wird von einer anderen Kopie dieses Programms benutzt. Nichts wurde gespeichert: Bitte erneut versuchen.</translation>
    </message>
    <message>
        <source>The card file is too big to rewrite safely. It was left as it is: nothing was saved.</source>
        <translation>Die Kartendatei ist zu groß, um sie sicher neu zu schreiben. Sie bleibt, wie sie ist: Nichts wurde gespeichert.</translation>
    </message>
    <message>
        <source>Please select Card</source>
        <translation>Bitte eine Karte auswählen</translation>
    </message>
    <message>
        <source>Are you sure you want to delete this Telvane?</source>
        <translation>Möchten Sie diese Telvane wirklich löschen?</translation>
    </message>
    <message>
        <source>Card Name must not be blank</source>
        <translation>Der Kartenname darf nicht leer sein</translation>
    </message>
    <message>
        <source>Access Number must not be blank</source>
        <translation>Die Einwahlnummer darf nicht leer sein</translation>
    </message>
    <message>
        <source>Pin Option field must not be blank</source>
        <translation>Das PIN-Feld darf nicht leer sein</translation>
    </message>
    <message>
        <source>Pause Before Pin must not be blank</source>
        <translation>Die Pause vor der PIN darf nicht leer sein</translation>
    </message>
    <message>
        <source>Pause Before Number must not be blank</source>
        <translation>Die Pause vor der Nummer darf nicht leer sein</translation>
    </message>
    <message>
        <source>This card no longer exists: it was deleted meanwhile. Nothing was saved.</source>
        <translation>Diese Karte gibt es nicht mehr: Sie wurde inzwischen gelöscht. Nichts wurde gespeichert.</translation>
    </message>
    <message>
        <source>Card name exist.Please Edit card with different name</source>
        <translation>Der Kartenname existiert bereits. Bitte die Karte unter einem anderen Namen bearbeiten</translation>
    </message>
    <message>
        <source>Telvane information updated sucessfully!!</source>
        <translation>Die Telvane-Daten wurden aktualisiert!</translation>
    </message>
    <message>
        <source>Card name exist.Please add card with different name</source>
        <translation>Der Kartenname existiert bereits. Bitte die Karte unter einem anderen Namen hinzufügen</translation>
    </message>
    <message>
        <source>Are you sure you want to add this Telvane?</source>
        <translation>Möchten Sie diese Telvane wirklich hinzufügen?</translation>
    </message>
    <message>
        <source>A call is in progress. Hang up and quit?</source>
        <translation>Ein Anruf läuft. Auflegen und beenden?</translation>
    </message>
    <message>
        <source>The call could not be hung up.</source>
        <translation>Der Anruf konnte nicht beendet werden.</translation>
    </message>
    <message>
        <source>A call is in progress</source>
        <translation>Ein Anruf läuft</translation>
    </message>
    <message>
        <source>The call was placed, but not saved in Recent Calls: %1</source>
        <translation>Der Anruf wurde getätigt, aber nicht unter „Letzte Anrufe“ gespeichert: %1</translation>
    </message>
    <message>
        <source>Recent Calls could not be read, and were moved aside to %1. A new list of recent calls was started.</source>
        <translation>Die letzten Anrufe waren nicht lesbar und wurden nach %1 verschoben. Eine neue Liste der letzten Anrufe wurde begonnen.</translation>
    </message>
    <message>
        <source>Your change was not saved in Recent Calls: %1</source>
        <translation>Ihre Änderung wurde nicht unter „Letzte Anrufe“ gespeichert: %1</translation>
    </message>
    <message>
        <source>%1 is an emergency number: it is called directly, not through the card.</source>
        <translation>%1 ist eine Notrufnummer: Sie wird direkt angerufen, nicht über die Karte.</translation>
    </message>
    <message>
        <source>How the call ended was not saved in Recent Calls: %1</source>
        <translation>Wie der Anruf endete, wurde nicht unter „Letzte Anrufe“ gespeichert: %1</translation>
    </message>
    <message>
        <source>Emergency call</source>
        <translation>Notruf</translation>
    </message>
</context>
<context>
    <name>RecentCalls</name>
    <message>
        <source>Placed</source>
        <translation>Gewählt</translation>
    </message>
    <message>
        <source>Ended</source>
        <translation>Beendet</translation>
    </message>
    <message>
        <source>No answer</source>
        <translation>Keine Antwort</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>Fehlgeschlagen</translation>
    </message>
    <message>
        <source>Called directly</source>
        <translation>Direkt angerufen</translation>
    </message>
    <message>
        <source>Favourite</source>
        <translation>Favorit</translation>
    </message>
    <message>
        <source>Recent Calls</source>
        <translation>Letzte Anrufe</translation>
    </message>
    <message>
        <source>Add to Favourites</source>
        <translation>Zu Favoriten hinzufügen</translation>
    </message>
    <message>
        <source>No recent calls</source>
        <translation>Keine letzten Anrufe</translation>
    </message>
    <message>
        <source>Recent Calls cannot be read: %1</source>
        <translation>Die letzten Anrufe können nicht gelesen werden: %1</translation>
    </message>
    <message>
        <source>Remove from Favourites</source>
        <translation>Aus Favoriten entfernen</translation>
    </message>
</context>
</TS>
