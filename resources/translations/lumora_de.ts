<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en">
<context>
    <name>DiskImage</name>
    <message>
        <source>Starting the virtual machine…</source>
        <translation>Die virtuelle Maschine startet…</translation>
    </message>
    <message>
        <source>Finding the Mac OS X volume and checking its journal…</source>
        <translation>Das Mac OS X-Volume wird gesucht und sein Journal geprüft…</translation>
    </message>
    <message>
        <source>Mounting the volume…</source>
        <translation>Das Volume wird eingehängt…</translation>
    </message>
    <message>
        <source>Unmounting the volume…</source>
        <translation>Das Volume wird ausgehängt…</translation>
    </message>
    <message>
        <source>Disk images (*.img *.hda *.raw *.dsk *.dmg *.qcow2 *.qcow *.iso)</source>
        <translation>Festplattenabbilder (*.img *.hda *.raw *.dsk *.dmg *.qcow2 *.qcow *.iso)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>Alle Dateien (*)</translation>
    </message>
    <message>
        <source>%1, partition %2</source>
        <translation>%1, Partition %2</translation>
    </message>
    <message>
        <source>This is a compressed disk image, which can only be read. To edit it, make a writable copy: qemu-img convert -f dmg -O raw &quot;%1&quot; copy.img (or dmg2img), and open the copy.</source>
        <translation>Dies ist ein komprimiertes Festplattenabbild, das sich nur lesen lässt. Um es zu bearbeiten, machen Sie eine beschreibbare Kopie: qemu-img convert -f dmg -O raw „%1“ copy.img (oder dmg2img), und öffnen Sie die Kopie.</translation>
    </message>
    <message>
        <source>You cannot write the disk image file.</source>
        <translation>Sie dürfen die Datei des Festplattenabbilds nicht schreiben.</translation>
    </message>
    <message>
        <source>The disk image was opened read-only.</source>
        <translation>Das Festplattenabbild wurde nur zum Lesen geöffnet.</translation>
    </message>
    <message>
        <source>The disk image is open in another copy of Lumora Login.</source>
        <translation>Das Festplattenabbild ist in einer anderen Kopie von Lumora Login geöffnet.</translation>
    </message>
    <message>
        <source>The disk image holds no HFS+ volume.</source>
        <translation>Das Festplattenabbild enthält kein HFS+-Volume.</translation>
    </message>
    <message>
        <source>The disk image holds no Mac OS X system volume.</source>
        <translation>Das Festplattenabbild enthält kein Mac OS X-Systemvolume.</translation>
    </message>
    <message>
        <source>The disk image has no HFS+ volume at partition %1.</source>
        <translation>Das Festplattenabbild hat in Partition %1 kein HFS+-Volume.</translation>
    </message>
    <message>
        <source>%1 To edit it, start that Mac once from this disk and shut it down cleanly, then open the image again.</source>
        <translation>%1 Um es zu bearbeiten, starten Sie diesen Mac einmal von dieser Festplatte, fahren Sie ihn ordentlich herunter und öffnen Sie das Abbild dann erneut.</translation>
    </message>
    <message>
        <source>The virtual machine stopped unexpectedly.</source>
        <translation>Die virtuelle Maschine hat unerwartet angehalten.</translation>
    </message>
    <message>
        <source>Writing the changes into the disk image…</source>
        <translation>Die Änderungen werden in das Festplattenabbild geschrieben…</translation>
    </message>
</context>
<context>
    <name>LoginCtl</name>
    <message>
        <source>unknown argument &apos;%1%2&apos;</source>
        <translation>unbekanntes Argument „%1%2“</translation>
    </message>
    <message>
        <source>--%1 given twice</source>
        <translation>--%1 zweimal angegeben</translation>
    </message>
    <message>
        <source>--version takes no arguments</source>
        <translation>--version nimmt keine Argumente</translation>
    </message>
    <message>
        <source>no command given</source>
        <translation>kein Befehl angegeben</translation>
    </message>
    <message>
        <source>unknown command &apos;%1&apos;</source>
        <translation>unbekannter Befehl „%1“</translation>
    </message>
    <message>
        <source>%1: unknown argument &apos;%2&apos;</source>
        <translation>%1: unbekanntes Argument „%2“</translation>
    </message>
    <message>
        <source>%1: unknown argument &apos;--%2&apos;</source>
        <translation>%1: unbekanntes Argument „--%2“</translation>
    </message>
    <message>
        <source>--message and --message-file exclude each other</source>
        <translation>--message und --message-file schließen einander aus</translation>
    </message>
    <message>
        <source>--host-info: &apos;%1&apos; is neither a name nor a tag from 0 to 6</source>
        <translation>--host-info: „%1“ ist weder ein Name noch eine Zahl von 0 bis 6</translation>
    </message>
    <message>
        <source>--%1: &apos;%2&apos; is not %3</source>
        <translation>--%1: „%2“ ist nicht %3</translation>
    </message>
    <message>
        <source>preview: --output FILE is required</source>
        <translation>preview: --output DATEI ist nötig</translation>
    </message>
    <message>
        <source>--size: &apos;%1&apos; is not WIDTHxHEIGHT from %2x%3 to %4x%5</source>
        <translation>--size: „%1“ ist nicht BREITExHÖHE von %2x%3 bis %4x%5</translation>
    </message>
    <message>
        <source>set: nothing to set</source>
        <translation>set: nichts zu setzen</translation>
    </message>
    <message>
        <source>%1: %2 does not exist</source>
        <translation>%1: %2 existiert nicht</translation>
    </message>
    <message>
        <source>%1: %2 is not a file</source>
        <translation>%1: %2 ist keine Datei</translation>
    </message>
    <message>
        <source>%1: %2 cannot be read as an image</source>
        <translation>%1: %2 lässt sich nicht als Bild lesen</translation>
    </message>
    <message>
        <source>--message-file: %1 cannot be read</source>
        <translation>--message-file: %1 lässt sich nicht lesen</translation>
    </message>
    <message>
        <source>--message-file: %1 is larger than %2 bytes</source>
        <translation>--message-file: %1 ist größer als %2 Byte</translation>
    </message>
    <message>
        <source>--message-file: %1 is not UTF-8 text</source>
        <translation>--message-file: %1 ist kein UTF-8-Text</translation>
    </message>
    <message>
        <source>the message contains a NUL character</source>
        <translation>die Nachricht enthält ein NUL-Zeichen</translation>
    </message>
    <message>
        <source>another copy of Lumora Login is saving (it holds %1); nothing was saved</source>
        <translation>ein anderes Lumora Login sichert gerade (es hält %1); nichts wurde gesichert</translation>
    </message>
    <message>
        <source>%1: not saved</source>
        <translation>%1: nicht gesichert</translation>
    </message>
    <message>
        <source>%1: saved, but the volume does not read back as requested</source>
        <translation>%1: gesichert, aber das Volume liest sich nicht wie verlangt zurück</translation>
    </message>
    <message>
        <source>the update check told nothing</source>
        <translation>die Suche nach Updates brachte kein Ergebnis</translation>
    </message>
    <message>
        <source>no volume at %1 (%2)</source>
        <translation>kein Volume unter %1 (%2)</translation>
    </message>
    <message>
        <source>warning: the DejaVu fonts are missing from %1; the text is drawn in another font</source>
        <translation>Warnung: die DejaVu-Schriften fehlen in %1; der Text wird in einer anderen Schrift gezeichnet</translation>
    </message>
    <message>
        <source>warning: %1</source>
        <translation>Warnung: %1</translation>
    </message>
    <message>
        <source>preview: %1 cannot be written</source>
        <translation>preview: %1 lässt sich nicht schreiben</translation>
    </message>
    <message>
        <source>No Mac OS X volume found. Mount one, then run this again.</source>
        <translation>Kein Mac OS X-Volume gefunden. Hängen Sie eines ein und versuchen Sie es dann erneut.</translation>
    </message>
    <message>
        <source>%1 Nothing was read or written; `lumora-loginctl volumes` lists the volumes found.</source>
        <translation>%1 Nichts wurde gelesen oder geschrieben; „lumora-loginctl volumes“ listet die gefundenen Volumes auf.</translation>
    </message>
    <message>
        <source>--root and --image exclude each other</source>
        <translation>--root und --image schließen einander aus</translation>
    </message>
    <message>
        <source>--image needs a file</source>
        <translation>--image braucht eine Datei</translation>
    </message>
    <message>
        <source>--partition takes a number, with --image</source>
        <translation>--partition braucht eine Zahl, zusammen mit --image</translation>
    </message>
    <message>
        <source>the image holds several Mac OS X volumes; choose one:</source>
        <translation>das Abbild enthält mehrere Mac OS X-Volumes; wählen Sie eines:</translation>
    </message>
    <message>
        <source>no disk image at %1</source>
        <translation>kein Festplattenabbild unter %1</translation>
    </message>
    <message>
        <source>nothing was saved into the disk image %1: %2</source>
        <translation>in das Festplattenabbild %1 wurde nichts gesichert: %2</translation>
    </message>
    <message>
        <source>no administrator password was given; nothing more was written</source>
        <translation>es wurde kein Administratorpasswort eingegeben; nichts weiter wurde geschrieben</translation>
    </message>
    <message>
        <source>the administrator password was wrong %1 times; nothing more was written</source>
        <translation>das Administratorpasswort war %1-mal falsch; nichts weiter wurde geschrieben</translation>
    </message>
    <message>
        <source>--message: the text is not UTF-8</source>
        <translation>--message: der Text ist kein UTF-8</translation>
    </message>
    <message>
        <source>--message: the text is larger than %1 bytes</source>
        <translation>--message: der Text ist größer als %1 Byte</translation>
    </message>
    <message>
        <source>--look needs the ID of a saved look (see history)</source>
        <translation>--look braucht die ID eines gesicherten Aussehens (siehe history)</translation>
    </message>
    <message>
        <source>--fit: &apos;%1&apos; is not WIDTHxHEIGHT from %2x%3 to %4x%5</source>
        <translation>--fit: „%1“ ist nicht BREITExHÖHE von %2x%3 bis %4x%5</translation>
    </message>
    <message>
        <source>--%1: &apos;%2&apos; is not a whole number from 0 to %3</source>
        <translation>--%1: „%2“ ist keine ganze Zahl von 0 bis %3</translation>
    </message>
    <message>
        <source>--fit, --darken and --blur go with --background FILE</source>
        <translation>--fit, --darken und --blur gehören zu --background DATEI</translation>
    </message>
    <message>
        <source>Usage: lumora-loginctl COMMAND [OPTIONS]

Shows and changes the login window&apos;s look on the volume named by
--root DIR or LUMORA_SYSTEM_ROOT (default /).

Commands:
  show [--json]        the current logo, title, background, message, host
                       information and login options
  set [OPTIONS]        change the settings given, then save; a setting the
                       volume already holds is left alone (&quot;unchanged&quot;)
      --logo FILE
      --title FILE
      --background FILE [--fit WxH] [--darken PERCENT] [--blur RADIUS]
                       the picture scaled down to cover a screen of WxH
                       (never enlarged), darkened by 0 to 80 percent, blurred
                       by a radius in pixels of that size
      --message TEXT | --message-file FILE   (an empty message removes it)
      --host-info NAME|TAG   Time 0, HostName 1, IPAddress 2, DSStatus 3,
                             SerialNumber 4, SystemBuild 5, SystemVersion 6
%1  preview --output FILE.png [--size WxH] [set OPTIONS]
                       draw the login screen the set OPTIONS would give
                       (default size 1024x768) into a PNG; nothing on the
                       volume changes. Hints about pictures drawn smaller
                       or enlarged and a cut message go to standard error
  restore [--look ID]  put back the stock look, or a look of the history,
                       then save
  history [--json]     the looks that saves replaced, newest first, each
                       with the ID that restore --look takes
      --check          (set, restore) only say what would change; write nothing
      --json           (set, restore) one JSON object: changed, settings, diff
  check-updates        ask the update server for a newer release
  volumes [--json]     the Mac OS X volumes mounted on this machine
  --root DIR           the folder where the volume is mounted (before or
                       after the command; wins over LUMORA_SYSTEM_ROOT)
  --image FILE         a disk image holding the volume (raw, APM, GPT or MBR,
                       qcow2, .dmg), opened as its owner through libguestfs
      --partition N    which of its volumes, when it holds several
  --help, --version

Exit status: 0 everything requested holds: it was saved and reads back as
requested, or the volume already held it (--check: the comparison was made);
1 something could not be saved (named on standard error) or the update
check failed; 2 usage error, unreadable input file, or a folder that is not
a Mac OS X system volume (nothing was written).
</source>
        <translation>Aufruf: lumora-loginctl BEFEHL [OPTIONEN]

Zeigt und ändert das Aussehen des Anmeldefensters auf dem Volume, das
--root ORDNER oder LUMORA_SYSTEM_ROOT nennt (sonst /).

Befehle:
  show [--json]        Logo, Titel, Hintergrund, Nachricht, Rechnerinformation
                       und Anmeldeoptionen, wie sie jetzt sind
  set [OPTIONEN]       die angegebenen Einstellungen ändern und sichern; was
                       das Volume schon so hat, bleibt, wie es ist („unchanged“)
      --logo DATEI
      --title DATEI
      --background DATEI [--fit BxH] [--darken PROZENT] [--blur RADIUS]
                       das Bild verkleinert, bis es einen Bildschirm von BxH
                       gerade bedeckt (nie vergrößert), um 0 bis 80 Prozent
                       abgedunkelt, um einen Radius in Pixeln dieser Größe
                       weichgezeichnet
      --message TEXT | --message-file DATEI   (eine leere Nachricht entfernt sie)
      --host-info NAME|ZAHL  Time 0, HostName 1, IPAddress 2, DSStatus 3,
                             SerialNumber 4, SystemBuild 5, SystemVersion 6
%1  preview --output DATEI.png [--size BxH] [set-OPTIONEN]
                       den Anmeldebildschirm, den die set-OPTIONEN ergäben,
                       als PNG zeichnen (Standardgröße 1024x768); auf dem
                       Volume ändert sich nichts. Hinweise auf verkleinerte
                       oder vergrößerte Bilder und eine gekürzte Nachricht
                       gehen auf die Standardfehlerausgabe
  restore [--look ID]  das Standardaussehen oder ein Aussehen aus dem Verlauf
                       zurückholen und sichern
  history [--json]     die Aussehen, die das Sichern ersetzt hat, neueste
                       zuerst, jedes mit der ID, die restore --look nimmt
      --check          (set, restore) nur sagen, was sich ändern würde; nichts schreiben
      --json           (set, restore) ein JSON-Objekt: changed, settings, diff
  check-updates        beim Update-Server nach einer neueren Version fragen
  volumes [--json]     die auf diesem Rechner eingehängten Mac OS X-Volumes
  --root ORDNER        der Ordner, in dem das Volume eingehängt ist (vor oder
                       nach dem Befehl; gilt vor LUMORA_SYSTEM_ROOT)
  --image DATEI        ein Festplattenabbild mit dem Volume (raw, APM, GPT oder
                       MBR, qcow2, .dmg), als sein Eigentümer über libguestfs geöffnet
      --partition N    welches seiner Volumes, wenn es mehrere enthält
  --help, --version

Rückgabewert: 0 alles Verlangte gilt: es wurde gesichert und liest sich wie
verlangt zurück, oder das Volume hatte es schon (--check: der Vergleich wurde
gemacht); 1 etwas ließ sich nicht sichern (auf der Standardfehlerausgabe
genannt) oder die Suche nach Updates schlug fehl; 2 falscher Aufruf, eine
unlesbare Eingabedatei oder ein Ordner, der kein Mac OS X-Systemvolume ist
(nichts wurde geschrieben).
</translation>
    </message>
    <message>
        <source>no saved looks</source>
        <translation>keine gesicherten Aussehen</translation>
    </message>
</context>
<context>
    <name>Lumora</name>
    <message>
        <source>Lumora Login needs administrator rights to change the login window. Type your password to allow this.</source>
        <translation>Lumora Login braucht Administratorrechte, um das Anmeldefenster zu ändern. Geben Sie Ihr Passwort ein, um dies zu erlauben.</translation>
    </message>
    <message>
        <source>Sorry, try again.</source>
        <translation>Das hat nicht geklappt. Bitte versuchen Sie es noch einmal.</translation>
    </message>
    <message>
        <source>%1 does not exist.</source>
        <translation>%1 existiert nicht.</translation>
    </message>
    <message>
        <source>%1 is not a folder.</source>
        <translation>%1 ist kein Ordner.</translation>
    </message>
    <message>
        <source>%1 is not a Mac OS X system volume: it has no System/Library/CoreServices/SystemVersion.plist.</source>
        <translation>%1 ist kein Mac OS X-Systemvolume: Es fehlt System/Library/CoreServices/SystemVersion.plist.</translation>
    </message>
    <message>
        <source>%1 is not a Mac OS X system volume: its System/Library/CoreServices/SystemVersion.plist names no system release.</source>
        <translation>%1 ist kein Mac OS X-Systemvolume: Seine Datei System/Library/CoreServices/SystemVersion.plist nennt keine Systemversion.</translation>
    </message>
    <message>
        <source>Mac OS X %1</source>
        <translation>Mac OS X %1</translation>
    </message>
    <message>
        <source>This volume has Mac OS X %1. Lumora Login was made for Mac OS X 10.3 and 10.4; the login window of other releases may not show what you save.</source>
        <translation>Auf diesem Volume ist Mac OS X %1 installiert. Lumora Login wurde für Mac OS X 10.3 und 10.4 gemacht; das Anmeldefenster anderer Versionen zeigt möglicherweise nicht, was Sie sichern.</translation>
    </message>
    <message>
        <source>You can write it</source>
        <translation>Beschreibbar</translation>
    </message>
    <message>
        <source>Needs administrator rights</source>
        <translation>Braucht Administratorrechte</translation>
    </message>
    <message>
        <source>Mounted read-only</source>
        <translation>Schreibgeschützt aktiviert</translation>
    </message>
    <message>
        <source>Sample volume</source>
        <translation>Beispielvolume</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Passwort</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Command Failed</source>
        <translation>Befehl fehlgeschlagen</translation>
    </message>
    <message>
        <source>Lumora was unable to complete the task.  Please try again.  AuthorizationExecuteWithPrivileges returned the following error: </source>
        <translation>Lumora konnte die Aufgabe nicht abschließen.  Bitte versuchen Sie es erneut.  AuthorizationExecuteWithPrivileges meldete folgenden Fehler: </translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Uhrzeit</translation>
    </message>
    <message>
        <source>Computer name</source>
        <translation>Computername</translation>
    </message>
    <message>
        <source>IP address</source>
        <translation>IP-Adresse</translation>
    </message>
    <message>
        <source>Directory status</source>
        <translation>Verzeichnisstatus</translation>
    </message>
    <message>
        <source>Serial number</source>
        <translation>Seriennummer</translation>
    </message>
    <message>
        <source>System build</source>
        <translation>System-Build</translation>
    </message>
    <message>
        <source>System version</source>
        <translation>Systemversion</translation>
    </message>
    <message>
        <source>%1: filled in when the Mac starts</source>
        <translation>%1: wird beim Start des Mac eingesetzt</translation>
    </message>
    <message>
        <source>Restart</source>
        <translation>Neustart</translation>
    </message>
    <message>
        <source>Shut Down</source>
        <translation>Ausschalten</translation>
    </message>
    <message>
        <source>Log In</source>
        <translation>Anmelden</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>%1 %2 is drawn at %3 (the panel gives it at most %4)</source>
        <translation>%1 %2 wird mit %3 gezeichnet (das Fenster bietet höchstens %4)</translation>
    </message>
    <message>
        <source>logo</source>
        <translation>Logo</translation>
    </message>
    <message>
        <source>title</source>
        <translation>Titel</translation>
    </message>
    <message>
        <source>no background picture can be read; the screen is drawn plain grey</source>
        <translation>kein Hintergrundbild lesbar; der Bildschirm wird einfarbig grau gezeichnet</translation>
    </message>
    <message>
        <source>background %1 is enlarged to %2 to fill the %3 screen, so it looks blurred</source>
        <translation>Hintergrund %1 wird auf %2 vergrößert, um den Bildschirm (%3) zu füllen, und wirkt daher unscharf</translation>
    </message>
    <message>
        <source>message needs %1 lines at the panel&apos;s width; the panel shows %2</source>
        <translation>die Nachricht braucht bei der Breite des Fensters %1 Zeilen; das Fenster zeigt %2</translation>
    </message>
    <message>
        <source>Unable to check for updates</source>
        <translation>Suche nach Updates nicht möglich</translation>
    </message>
    <message>
        <source>%@ was unable to check for updates.  Please make sure you are connected to the internet and try again.</source>
        <translation>%@ konnte nicht nach Updates suchen.  Bitte prüfen Sie Ihre Internetverbindung und versuchen Sie es erneut.</translation>
    </message>
    <message>
        <source>%@ could not determine the most recent version information for Mac OS %@.</source>
        <translation>%@ konnte die neuesten Versionsinformationen für Mac OS %@ nicht ermitteln.</translation>
    </message>
    <message>
        <source>%@ is up to date</source>
        <translation>%@ ist auf dem neuesten Stand</translation>
    </message>
    <message>
        <source>You have the most recent version of %@.</source>
        <translation>Sie haben die neueste Version von %@.</translation>
    </message>
    <message>
        <source>A new version is available</source>
        <translation>Eine neue Version ist verfügbar</translation>
    </message>
    <message>
        <source>%@ version %@ is available.  You have version %@ installed.  Here are some of the features of version %@:

%@
Would you like to download the new version now?</source>
        <translation>%@ Version %@ ist verfügbar.  Installiert ist Version %@.  Einige Neuerungen von Version %@:

%@
Möchten Sie die neue Version jetzt laden?</translation>
    </message>
    <message>
        <source>unknown</source>
        <translation>unbekannt</translation>
    </message>
    <message>
        <source>You have unsaved changes.  Are you sure you want to quit?</source>
        <translation>Es gibt ungesicherte Änderungen.  Möchten Sie wirklich beenden?</translation>
    </message>
    <message>
        <source>If you quit now, your changes changes will not be saved.</source>
        <translation>Wenn Sie jetzt beenden, werden Ihre Änderungen nicht gesichert.</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Images</source>
        <translation>Bilder</translation>
    </message>
    <message>
        <source>Choose a Picture</source>
        <translation>Bild auswählen</translation>
    </message>
    <message>
        <source>Drop a picture here, or click to choose one.</source>
        <translation>Legen Sie hier ein Bild ab oder klicken Sie, um eines auszuwählen.</translation>
    </message>
    <message>
        <source>No image</source>
        <translation>Kein Bild</translation>
    </message>
    <message>
        <source>Host name</source>
        <translation>Hostname</translation>
    </message>
    <message>
        <source>background</source>
        <translation>Hintergrund</translation>
    </message>
    <message>
        <source>message</source>
        <translation>Nachricht</translation>
    </message>
    <message>
        <source>host information</source>
        <translation>Host-Informationen</translation>
    </message>
    <message>
        <source>Login window of %1 (%2)[*]</source>
        <translation>Anmeldefenster von %1 (%2)[*]</translation>
    </message>
    <message>
        <source>Mac OS X %1 on %2</source>
        <translation>Mac OS X %1 auf %2</translation>
    </message>
    <message>
        <source>Not a Mac OS X system volume: %1</source>
        <translation>Kein Mac OS X-Systemvolume: %1</translation>
    </message>
    <message>
        <source>Background</source>
        <translation>Hintergrund</translation>
    </message>
    <message>
        <source>Logo</source>
        <translation>Logo</translation>
    </message>
    <message>
        <source>Title</source>
        <translation>Titel</translation>
    </message>
    <message>
        <source>Drop a picture on the background, logo or title, or click one to choose a file.</source>
        <translation>Legen Sie ein Bild auf Hintergrund, Logo oder Titel ab, oder klicken Sie auf eines davon, um eine Datei auszuwählen.</translation>
    </message>
    <message>
        <source>No message</source>
        <translation>Keine Nachricht</translation>
    </message>
    <message>
        <source>Message</source>
        <translation>Nachricht</translation>
    </message>
    <message>
        <source>Host information shown:</source>
        <translation>Angezeigte Host-Informationen:</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>Restore Default Look</source>
        <translation>Standardaussehen wiederherstellen</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Sichern</translation>
    </message>
    <message>
        <source>Change Logo</source>
        <translation>Logo ändern</translation>
    </message>
    <message>
        <source>Change Title</source>
        <translation>Titel ändern</translation>
    </message>
    <message>
        <source>Change Background</source>
        <translation>Hintergrund ändern</translation>
    </message>
    <message>
        <source>Change Host Information</source>
        <translation>Host-Informationen ändern</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Ablage</translation>
    </message>
    <message>
        <source>&amp;Save</source>
        <translation>&amp;Sichern</translation>
    </message>
    <message>
        <source>&amp;Restore Default Look</source>
        <translation>Standardaussehen &amp;wiederherstellen</translation>
    </message>
    <message>
        <source>Re&amp;vert to Saved</source>
        <translation>&amp;Zurück zur gesicherten Version</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <source>&amp;Undo</source>
        <translation>&amp;Widerrufen</translation>
    </message>
    <message>
        <source>&amp;Redo</source>
        <translation>W&amp;iederholen</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>Lumora Login &amp;Help</source>
        <translation>Lumora Login-&amp;Hilfe</translation>
    </message>
    <message>
        <source>Check for &amp;Updates…</source>
        <translation>Nach &amp;Updates suchen …</translation>
    </message>
    <message>
        <source>Not a picture that can be read: %1</source>
        <translation>Kein lesbares Bild: %1</translation>
    </message>
    <message>
        <source>Not saved: another copy of Lumora Login is saving. Try again when it has finished.</source>
        <translation>Nicht gesichert: Eine andere Instanz von Lumora Login sichert gerade. Versuchen Sie es erneut, wenn sie fertig ist.</translation>
    </message>
    <message>
        <source>Could not save: %1. Your changes to it are kept; Save tries again.</source>
        <translation>Sichern nicht möglich: %1. Ihre Änderungen daran bleiben erhalten; „Sichern“ versucht es erneut.</translation>
    </message>
    <message>
        <source>Nothing to save.</source>
        <translation>Nichts zu sichern.</translation>
    </message>
    <message>
        <source>Saved.</source>
        <translation>Gesichert.</translation>
    </message>
    <message>
        <source>Saving…</source>
        <translation>Wird gesichert …</translation>
    </message>
    <message>
        <source>The default look is shown. Save to put it on the volume.</source>
        <translation>Das Standardaussehen wird gezeigt. Sichern Sie, um es auf das Volume zu schreiben.</translation>
    </message>
    <message>
        <source>Do you want to revert to the look saved on the volume?</source>
        <translation>Möchten Sie zum auf dem Volume gesicherten Aussehen zurückkehren?</translation>
    </message>
    <message>
        <source>If you revert now, your changes will be lost.</source>
        <translation>Wenn Sie jetzt zurückkehren, gehen Ihre Änderungen verloren.</translation>
    </message>
    <message>
        <source>Revert</source>
        <translation>Zurückkehren</translation>
    </message>
    <message>
        <source>The look saved on the volume is shown.</source>
        <translation>Das auf dem Volume gesicherte Aussehen wird gezeigt.</translation>
    </message>
    <message>
        <source>Preparing pictures…</source>
        <translation>Bilder werden vorbereitet …</translation>
    </message>
    <message>
        <source>Screen:</source>
        <translation>Bildschirm:</translation>
    </message>
    <message>
        <source>Preview of the login window</source>
        <translation>Vorschau des Anmeldefensters</translation>
    </message>
    <message>
        <source>&amp;Preview</source>
        <translation>&amp;Vorschau</translation>
    </message>
    <message>
        <source>Show or hide the preview of the login window</source>
        <translation>Vorschau des Anmeldefensters ein- oder ausblenden</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Darstellung</translation>
    </message>
    <message>
        <source>Details…</source>
        <translation>Details …</translation>
    </message>
    <message>
        <source>What the save did</source>
        <translation>Was beim Sichern geschah</translation>
    </message>
    <message>
        <source>The log lines written while saving:</source>
        <translation>Die beim Sichern protokollierten Zeilen:</translation>
    </message>
    <message>
        <source>(nothing was logged)</source>
        <translation>(nichts protokolliert)</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Typing</source>
        <translation>Eingabe</translation>
    </message>
    <message>
        <source>Check for Updates</source>
        <translation>Nach Updates suchen</translation>
    </message>
    <message>
        <source>Checking for a newer version of Lumora Login…</source>
        <translation>Es wird nach einer neueren Version von Lumora Login gesucht …</translation>
    </message>
    <message>
        <source>Open Volume</source>
        <translation>Volume öffnen</translation>
    </message>
    <message>
        <source>No mounted Mac OS X volume was found. Choose a disk image of a Mac, or mount the volume&apos;s disk (the README says how) and choose its folder.</source>
        <translation>Es wurde kein aktiviertes Mac OS X-Volume gefunden. Wählen Sie ein Festplattenabbild eines Macs, oder aktivieren Sie das Medium des Volumes (wie, steht in der README) und wählen Sie dann seinen Ordner aus.</translation>
    </message>
    <message>
        <source>Choose the Mac OS X volume whose login window you want to change.</source>
        <translation>Wählen Sie das Mac OS X-Volume aus, dessen Anmeldefenster Sie ändern möchten.</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>Volume</translation>
    </message>
    <message>
        <source>System</source>
        <translation>System</translation>
    </message>
    <message>
        <source>Mounted at</source>
        <translation>Aktiviert unter</translation>
    </message>
    <message>
        <source>Access</source>
        <translation>Zugriff</translation>
    </message>
    <message>
        <source>Choose Folder…</source>
        <translation>Ordner auswählen …</translation>
    </message>
    <message>
        <source>Open Sample Volume</source>
        <translation>Beispielvolume öffnen</translation>
    </message>
    <message>
        <source>No sample volume was built (scripts/make-sample-volume.sh builds one).</source>
        <translation>Es wurde kein Beispielvolume erstellt (scripts/make-sample-volume.sh erstellt eines).</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>Choose the Folder of a Mac OS X Volume</source>
        <translation>Ordner eines Mac OS X-Volumes auswählen</translation>
    </message>
    <message>
        <source>Not opened. %1</source>
        <translation>Nicht geöffnet. %1</translation>
    </message>
    <message>
        <source>The volume used last time is not opened. %1</source>
        <translation>Das zuletzt benutzte Volume wird nicht geöffnet. %1</translation>
    </message>
    <message>
        <source>You have unsaved changes.  Are you sure you want to open another volume?</source>
        <translation>Es gibt ungesicherte Änderungen.  Möchten Sie wirklich ein anderes Volume öffnen?</translation>
    </message>
    <message>
        <source>If you open another volume now, your changes will not be saved.</source>
        <translation>Wenn Sie jetzt ein anderes Volume öffnen, werden Ihre Änderungen nicht gesichert.</translation>
    </message>
    <message>
        <source>Open Another Volume</source>
        <translation>Anderes Volume öffnen</translation>
    </message>
    <message>
        <source>&amp;Open Volume…</source>
        <translation>Volume ö&amp;ffnen …</translation>
    </message>
    <message>
        <source>Not editable. %1 Choose File ▸ Open Volume… to open a Mac OS X volume.</source>
        <translation>Nicht bearbeitbar. %1 Wählen Sie „Ablage“ ▸ „Volume öffnen …“, um ein Mac OS X-Volume zu öffnen.</translation>
    </message>
    <message>
        <source>Other…</source>
        <translation>Andere …</translation>
    </message>
    <message>
        <source>name and password</source>
        <translation>Name und Kennwort</translation>
    </message>
    <message>
        <source>power buttons</source>
        <translation>Ein/Aus-Tasten</translation>
    </message>
    <message>
        <source>input menu</source>
        <translation>Eingabemenü</translation>
    </message>
    <message>
        <source>password hints</source>
        <translation>Merkhilfen</translation>
    </message>
    <message>
        <source>Name and password fields instead of a list of users</source>
        <translation>Felder für Name und Kennwort statt einer Liste der Benutzer</translation>
    </message>
    <message>
        <source>Sleep, Restart and Shut Down buttons</source>
        <translation>Tasten „Ruhezustand“, „Neustart“ und „Ausschalten“</translation>
    </message>
    <message>
        <source>Input menu</source>
        <translation>Eingabemenü</translation>
    </message>
    <message>
        <source>Password hint after this many failed tries:</source>
        <translation>Merkhilfe nach so vielen Fehlversuchen:</translation>
    </message>
    <message>
        <source>Login Options</source>
        <translation>Anmeldeoptionen</translation>
    </message>
    <message>
        <source>Change Login Options</source>
        <translation>Anmeldeoptionen ändern</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>Aus</translation>
    </message>
    <message>
        <source>Copy Address</source>
        <translation>Adresse kopieren</translation>
    </message>
    <message>
        <source>The download could not be opened</source>
        <translation>Der Download konnte nicht geöffnet werden</translation>
    </message>
    <message>
        <source>No web browser could be started. You can download the new version from this address:</source>
        <translation>Es konnte kein Webbrowser gestartet werden. Sie können die neue Version von dieser Adresse laden:</translation>
    </message>
    <message>
        <source>The support page could not be opened</source>
        <translation>Die Support-Seite konnte nicht geöffnet werden</translation>
    </message>
    <message>
        <source>No web browser could be started. The support page is at this address:</source>
        <translation>Es konnte kein Webbrowser gestartet werden. Die Support-Seite finden Sie unter dieser Adresse:</translation>
    </message>
    <message>
        <source>%1: none</source>
        <translation>%1: kein Bild</translation>
    </message>
    <message>
        <source>%1: none (%2 cannot be read)</source>
        <translation>%1: kein Bild (%2 lässt sich nicht lesen)</translation>
    </message>
    <message>
        <source>%1: a picture without a file</source>
        <translation>%1: ein Bild ohne Datei</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>Saved at %1</source>
        <translation>Gesichert um %1</translation>
    </message>
    <message>
        <source>none</source>
        <translation>nicht vorhanden</translation>
    </message>
    <message>
        <source>The login screen at %1 as Save would leave it. Logo: %2. Title: %3. Host information: %4. Message: %5.</source>
        <translation>Der Anmeldebildschirm in %1, wie ihn Sichern hinterlassen würde. Logo: %2. Titel: %3. Host-Informationen: %4. Nachricht: %5.</translation>
    </message>
    <message>
        <source>Name and password fields.</source>
        <translation>Felder für Name und Kennwort.</translation>
    </message>
    <message>
        <source>A list of users.</source>
        <translation>Eine Liste der Benutzer.</translation>
    </message>
    <message>
        <source>Writing the changes into the disk image…</source>
        <translation>Die Änderungen werden in das Festplattenabbild geschrieben…</translation>
    </message>
    <message>
        <source>Could not save into the disk image: %1 The image is as it was before this save.</source>
        <translation>Konnte nicht in das Festplattenabbild sichern: %1 Das Abbild ist so, wie es vor diesem Sichern war.</translation>
    </message>
    <message>
        <source>Disk image</source>
        <translation>Festplattenabbild</translation>
    </message>
    <message>
        <source>As its owner</source>
        <translation>Als Eigentümer</translation>
    </message>
    <message>
        <source>Choose Disk Image…</source>
        <translation>Festplattenabbild wählen…</translation>
    </message>
    <message>
        <source>Choose a Disk Image of a Mac</source>
        <translation>Festplattenabbild eines Macs wählen</translation>
    </message>
    <message>
        <source>Not opened. There is no disk image at %1.</source>
        <translation>Nicht geöffnet. Unter %1 liegt kein Festplattenabbild.</translation>
    </message>
    <message>
        <source>Opening %1…</source>
        <translation>%1 wird geöffnet…</translation>
    </message>
    <message>
        <source>Opening Disk Image</source>
        <translation>Festplattenabbild öffnen</translation>
    </message>
    <message>
        <source>%1 (Mac OS X %2), partition %3</source>
        <translation>%1 (Mac OS X %2), Partition %3</translation>
    </message>
    <message>
        <source>Choose a Volume</source>
        <translation>Volume wählen</translation>
    </message>
    <message>
        <source>The disk image holds several Mac OS X volumes. Which one?</source>
        <translation>Das Festplattenabbild enthält mehrere Mac OS X-Volumes. Welches?</translation>
    </message>
    <message>
        <source>The disk image %1 could not be opened: %2</source>
        <translation>Das Festplattenabbild %1 ließ sich nicht öffnen: %2</translation>
    </message>
    <message>
        <source>The disk image could not be opened.</source>
        <translation>Das Festplattenabbild ließ sich nicht öffnen.</translation>
    </message>
    <message>
        <source>The disk image was closed: %1 Choose File ▸ Open Disk Image… to open it again.</source>
        <translation>Das Festplattenabbild wurde geschlossen: %1 Wählen Sie Ablage ▸ Festplattenabbild öffnen…, um es wieder zu öffnen.</translation>
    </message>
    <message>
        <source>Open &amp;Disk Image…</source>
        <translation>&amp;Festplattenabbild öffnen…</translation>
    </message>
    <message>
        <source>Read-only. %1</source>
        <translation>Nur lesen. %1</translation>
    </message>
    <message>
        <source>%1 is mounted read-only: nothing can be saved to it.</source>
        <translation>%1 ist schreibgeschützt aktiviert: darauf kann nichts gesichert werden.</translation>
    </message>
    <message>
        <source>%1 cannot be written, not even by an administrator.</source>
        <translation>%1 kann nicht beschrieben werden, nicht einmal von einem Administrator.</translation>
    </message>
    <message>
        <source>Cancelled: no administrator password was given. Nothing more was written; your changes are kept.</source>
        <translation>Abgebrochen: Es wurde kein Administratorpasswort eingegeben. Nichts weiter wurde geschrieben; Ihre Änderungen bleiben erhalten.</translation>
    </message>
    <message>
        <source>The administrator password was wrong %1 times. Nothing more was written; your changes are kept.</source>
        <translation>Das Administratorpasswort war %1-mal falsch. Nichts weiter wurde geschrieben; Ihre Änderungen bleiben erhalten.</translation>
    </message>
    <message>
        <source>Could not save: %1. Your changes are kept; Save tries again.</source>
        <translation>Sichern nicht möglich: %1. Ihre Änderungen bleiben erhalten; „Sichern“ versucht es erneut.</translation>
    </message>
    <message>
        <source>The preview is hidden (no room): View ▸ Preview shows it.</source>
        <translation>Die Vorschau ist ausgeblendet (kein Platz): „Darstellung“ ▸ „Vorschau“ zeigt sie.</translation>
    </message>
    <message>
        <source>The preview is in a window of its own (no room beside the settings).</source>
        <translation>Die Vorschau steht in einem eigenen Fenster (kein Platz neben den Einstellungen).</translation>
    </message>
    <message>
        <source>it does not exist</source>
        <translation>sie existiert nicht</translation>
    </message>
    <message>
        <source>it is not a regular file</source>
        <translation>sie ist keine gewöhnliche Datei</translation>
    </message>
    <message>
        <source>it is a link loop</source>
        <translation>sie ist eine Verweisschleife</translation>
    </message>
    <message>
        <source>it is a link off the volume</source>
        <translation>sie ist ein Verweis aus dem Volume hinaus</translation>
    </message>
    <message>
        <source>it is too large</source>
        <translation>sie ist zu groß</translation>
    </message>
    <message>
        <source>it is nested too deeply</source>
        <translation>sie ist zu tief verschachtelt</translation>
    </message>
    <message>
        <source>it is not a property list</source>
        <translation>sie ist keine Property-Liste</translation>
    </message>
    <message>
        <source>the system does not let it be opened</source>
        <translation>das System lässt sie nicht öffnen</translation>
    </message>
    <message>
        <source>The login window&apos;s preferences (%1) cannot be read: %2.</source>
        <translation>Die Einstellungsdatei des Anmeldefensters (%1) kann nicht gelesen werden: %2.</translation>
    </message>
    <message>
        <source>%1: %2 (loading)</source>
        <translation>%1: %2 (wird geladen)</translation>
    </message>
    <message>
        <source>Loading…</source>
        <translation>Wird geladen…</translation>
    </message>
    <message>
        <source>Full size</source>
        <translation>Volle Größe</translation>
    </message>
    <message>
        <source>Fit to %1</source>
        <translation>Auf %1 einpassen</translation>
    </message>
    <message>
        <source> px</source>
        <translation> px</translation>
    </message>
    <message>
        <source>Darken:</source>
        <translation>Abdunkeln:</translation>
    </message>
    <message>
        <source>Blur:</source>
        <translation>Weichzeichnen:</translation>
    </message>
    <message>
        <source>This picture (%1) is far larger than any screen of this Mac (up to %2): fitting it makes the saved file much smaller.</source>
        <translation>Dieses Bild (%1) ist weit größer als jeder Bildschirm dieses Macs (bis %2): eingepasst wird die gesicherte Datei viel kleiner.</translation>
    </message>
    <message>
        <source>History of Saved Looks</source>
        <translation>Verlauf der gesicherten Aussehen</translation>
    </message>
    <message>
        <source>Each save keeps the look it replaced. Choose one to show it; Save puts it back on the volume.</source>
        <translation>Jedes Sichern bewahrt das Aussehen, das es ersetzt hat. Wählen Sie eines, um es anzuzeigen; Sichern bringt es zurück auf das Volume.</translation>
    </message>
    <message>
        <source>Show This Look</source>
        <translation>Dieses Aussehen zeigen</translation>
    </message>
    <message>
        <source>No look has been replaced by a save yet.</source>
        <translation>Noch hat kein Sichern ein Aussehen ersetzt.</translation>
    </message>
    <message>
        <source>This look cannot be shown</source>
        <translation>Dieses Aussehen kann nicht gezeigt werden</translation>
    </message>
    <message>
        <source>Adjust Background</source>
        <translation>Hintergrund anpassen</translation>
    </message>
    <message>
        <source>&amp;History…</source>
        <translation>&amp;Verlauf …</translation>
    </message>
    <message>
        <source>Restore Saved Look</source>
        <translation>Gesichertes Aussehen wiederherstellen</translation>
    </message>
    <message>
        <source>The look saved on %1 is shown. Save to put it on the volume.</source>
        <translation>Das am %1 gesicherte Aussehen wird gezeigt. Sichern Sie, um es auf das Volume zu schreiben.</translation>
    </message>
    <message>
        <source>Size:</source>
        <translation>Größe:</translation>
    </message>
</context>
</TS>
