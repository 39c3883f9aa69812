<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>BatchResults</name>
    <message>
        <source>waiting</source>
        <translation>wartet</translation>
    </message>
    <message>
        <source>sending</source>
        <translation>wird gesendet</translation>
    </message>
    <message>
        <source>sent before</source>
        <translation>schon gesendet</translation>
    </message>
    <message>
        <source>does not exist</source>
        <translation>existiert nicht</translation>
    </message>
    <message>
        <source>%1 sent before</source>
        <translation>%1 schon gesendet</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>file</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>Comment</source>
        <translation>Kommentar</translation>
    </message>
    <message>
        <source>full path</source>
        <translation>vollständiger Pfad</translation>
    </message>
    <message>
        <source>Image</source>
        <translation>Bild</translation>
    </message>
</context>
<context>
    <name>TransferRate</name>
    <message>
        <source>%1 s</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>%1 min</source>
        <translation>%1 min</translation>
    </message>
    <message>
        <source>%1/s, about %2 left</source>
        <translation>%1/s, noch etwa %2</translation>
    </message>
</context>
<context>
    <name>Upload</name>
    <message>
        <source>picture %1 of %2</source>
        <translation>Bild %1 von %2</translation>
    </message>
    <message>
        <source>stopping after this picture…</source>
        <translation>halte nach diesem Bild an…</translation>
    </message>
    <message>
        <source>waiting for the site…</source>
        <translation>warte auf die Website…</translation>
    </message>
</context>
<context>
    <name>Vemo</name>
    <message>
        <source>Gallery</source>
        <translation>Galerie</translation>
    </message>
    <message>
        <source>Admin Gallery</source>
        <translation>Galerie verwalten</translation>
    </message>
    <message>
        <source>Images (*.jpg *.gif *.bmp *.png *.tif *.tiff *.xpm *.svg)</source>
        <translation>Bilder (*.jpg *.gif *.bmp *.png *.tif *.tiff *.xpm *.svg)</translation>
    </message>
    <message>
        <source>no image found</source>
        <translation>kein Bild gefunden</translation>
    </message>
    <message>
        <source>Result</source>
        <translation>Ergebnis</translation>
    </message>
    <message>
        <source>Category</source>
        <translation>Kategorie</translation>
    </message>
    <message>
        <source>Enter the address of your site and your login, then choose a category on the Gallery tab.</source>
        <translation>Geben Sie die Adresse Ihrer Webseite und Ihre Anmeldung ein und wählen Sie dann auf der Registerkarte Galerie eine Kategorie.</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>Alle Dateien (*)</translation>
    </message>
    <message>
        <source>The picture list cannot be saved in %1 (%2); it is lost when the program ends.</source>
        <translation>Die Bilderliste kann nicht in %1 gespeichert werden (%2); sie geht verloren, wenn das Programm endet.</translation>
    </message>
    <message>
        <source>1 of these %1 pictures was already sent to category %2. Send it again?</source>
        <translation>1 dieser %1 Bilder wurde schon in die Kategorie %2 gesendet. Nochmals senden?</translation>
    </message>
    <message>
        <source>%1 of these %2 pictures were already sent to category %3. Send them again?</source>
        <translation>%1 dieser %2 Bilder wurden schon in die Kategorie %3 gesendet. Nochmals senden?</translation>
    </message>
    <message>
        <source>Skip them</source>
        <translation>Auslassen</translation>
    </message>
    <message>
        <source>Send all</source>
        <translation>Alle senden</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>The settings cannot be saved in %1; changes are lost when the program ends.</source>
        <translation>Die Einstellungen können nicht in %1 gespeichert werden; Änderungen gehen verloren, wenn das Programm endet.</translation>
    </message>
    <message>
        <source>Category %1 is not in the site&apos;s gallery.</source>
        <translation>Kategorie %1 gibt es in der Galerie der Website nicht.</translation>
    </message>
    <message>
        <source>Category %1 is not in the site&apos;s gallery. Upload anyway?</source>
        <translation>Kategorie %1 gibt es in der Galerie der Website nicht. Trotzdem hochladen?</translation>
    </message>
    <message>
        <source>Send the picture not sent to category %1</source>
        <translation>Das nicht gesendete Bild an Kategorie %1 senden</translation>
    </message>
    <message>
        <source>Send the %1 pictures not sent to category %2</source>
        <translation>Die %1 nicht gesendeten Bilder an Kategorie %2 senden</translation>
    </message>
</context>
<context>
    <name>history</name>
    <message>
        <source>damaged: %1 at byte %2</source>
        <translation>beschädigt: %1 bei Byte %2</translation>
    </message>
    <message>
        <source>not a list of this program</source>
        <translation>keine Liste dieses Programms</translation>
    </message>
    <message>
        <source>damaged: row %1</source>
        <translation>beschädigt: Zeile %1</translation>
    </message>
    <message>
        <source>The saved picture list</source>
        <translation>Die gespeicherte Bilderliste</translation>
    </message>
    <message>
        <source>the damaged list is in the way</source>
        <translation>die beschädigte Liste steht im Weg</translation>
    </message>
    <message>
        <source>its last line is incomplete</source>
        <translation>ihre letzte Zeile ist unvollständig</translation>
    </message>
    <message>
        <source>not a record of this program</source>
        <translation>keine Aufzeichnung dieses Programms</translation>
    </message>
    <message>
        <source>damaged at line %1</source>
        <translation>beschädigt in Zeile %1</translation>
    </message>
    <message>
        <source>The record of pictures sent</source>
        <translation>Die Aufzeichnung der gesendeten Bilder</translation>
    </message>
    <message>
        <source>%1 %2 cannot be read (%3), nor moved aside; it is left as it is.</source>
        <translation>%1 %2 kann nicht gelesen (%3) und nicht beiseitegelegt werden; sie bleibt, wie sie ist.</translation>
    </message>
    <message>
        <source>%1 %2 cannot be read (%3). It was kept as %4; the program starts afresh without it.</source>
        <translation>%1 %2 kann nicht gelesen werden (%3). Sie wurde als %4 aufbewahrt; das Programm beginnt ohne sie neu.</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Orva Gallery Uploader</source>
        <translation>Orva Galerie-Uploader</translation>
    </message>
    <message>
        <source>&lt;a href=&quot;https://orva.example.org/&quot;&gt;Gallery&lt;/a&gt;</source>
        <translation>&lt;a href=&quot;https://orva.example.org/&quot;&gt;Galerie&lt;/a&gt;</translation>
    </message>
    <message>
        <source>You can find the ID of the category by taking a look at the statusbar of your web browser when you move your mouse over a categrory</source>
        <translation>Die Nummer einer Kategorie zeigt die Statusleiste des Webbrowsers, wenn die Maus über einer Kategorie steht</translation>
    </message>
    <message>
        <source>&lt;a href=&quot;https://orva.example.org/&quot;&gt;Gallery Admin&lt;/a&gt;</source>
        <translation>&lt;a href=&quot;https://orva.example.org/&quot;&gt;Galerie verwalten&lt;/a&gt;</translation>
    </message>
    <message>
        <source>Resize</source>
        <translation>Verkleinern</translation>
    </message>
    <message>
        <source>Login</source>
        <translation>Anmeldung</translation>
    </message>
    <message>
        <source>url of the webiste (e.g.: http://www.example.com/orva</source>
        <translation>Adresse der Webseite (z. B.: http://www.example.com/orva)</translation>
    </message>
    <message>
        <source>9999; </source>
        <translation>9999; </translation>
    </message>
    <message>
        <source>x</source>
        <translation>x</translation>
    </message>
    <message>
        <source>&lt;a href=&quot;https://orva.example.org/&quot;&gt;Orva CMS&lt;/a&gt;&lt;br&gt;&lt;a href=&quot;https://www.qt.io/&quot;&gt;Qt 6 by qt.io&lt;/a&gt;&lt;br&gt;&lt;a href=&quot;https://curl.se/libcurl/&quot;&gt;libcURL&lt;/a&gt;</source>
        <translation>&lt;a href=&quot;https://orva.example.org/&quot;&gt;Orva CMS&lt;/a&gt;&lt;br&gt;&lt;a href=&quot;https://www.qt.io/&quot;&gt;Qt 6 von qt.io&lt;/a&gt;&lt;br&gt;&lt;a href=&quot;https://curl.se/libcurl/&quot;&gt;libcURL&lt;/a&gt;</translation>
    </message>
    <message>
        <source>&lt;p&gt;Uploads pictures with their comments to the gallery of an Orva CMS web site.&lt;/p&gt;&lt;p&gt;Settings and password are stored as plain text in vemo.ini in the working directory.&lt;/p&gt;</source>
        <translation>&lt;p&gt;Lädt Bilder mit ihren Kommentaren in die Galerie einer Orva-CMS-Webseite.&lt;/p&gt;&lt;p&gt;Einstellungen und Passwort stehen als Klartext in vemo.ini im Arbeitsverzeichnis.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>&amp;Gallery</source>
        <translation>&amp;Galerie</translation>
    </message>
    <message>
        <source>&amp;add</source>
        <translation>&amp;hinzufügen</translation>
    </message>
    <message>
        <source>add from &amp;Clipboard</source>
        <translation>aus &amp;Zwischenablage</translation>
    </message>
    <message>
        <source>&amp;del</source>
        <translation>e&amp;ntfernen</translation>
    </message>
    <message>
        <source>&amp;Upload</source>
        <translation>Hoch&amp;laden</translation>
    </message>
    <message>
        <source>U&amp;pdate</source>
        <translation>&amp;Aktualisieren</translation>
    </message>
    <message>
        <source>&amp;Resize</source>
        <translation>&amp;Verkleinern</translation>
    </message>
    <message>
        <source>&amp;Options</source>
        <translation>&amp;Einstellungen</translation>
    </message>
    <message>
        <source>&amp;website</source>
        <translation>&amp;Webseite</translation>
    </message>
    <message>
        <source>user&amp;name</source>
        <translation>&amp;Benutzername</translation>
    </message>
    <message>
        <source>pa&amp;ssword</source>
        <translation>&amp;Passwort</translation>
    </message>
    <message>
        <source>&amp;max. size</source>
        <translation>&amp;max. Größe</translation>
    </message>
    <message>
        <source>Pictures</source>
        <translation>Bilder</translation>
    </message>
    <message>
        <source>The pictures to upload, each with its comment</source>
        <translation>Die hochzuladenden Bilder, jedes mit seinem Kommentar</translation>
    </message>
    <message>
        <source>Category number</source>
        <translation>Kategorienummer</translation>
    </message>
    <message>
        <source>Categories</source>
        <translation>Kategorien</translation>
    </message>
    <message>
        <source>The gallery&apos;s categories; the pictures go into the selected one</source>
        <translation>Die Kategorien der Galerie; die Bilder kommen in die ausgewählte</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>Vorschau</translation>
    </message>
    <message>
        <source>The selected picture, reduced</source>
        <translation>Das ausgewählte Bild, verkleinert</translation>
    </message>
    <message>
        <source>max. width</source>
        <translation>max. Breite</translation>
    </message>
    <message>
        <source>max. height</source>
        <translation>max. Höhe</translation>
    </message>
    <message>
        <source>Re&amp;try failed</source>
        <translation>Fehlgeschlagene erneu&amp;t senden</translation>
    </message>
    <message>
        <source>JPEG &amp;quality</source>
        <translation>JPEG-&amp;Qualität</translation>
    </message>
    <message>
        <source>Quality of scaled pictures, from 0 (smallest files) to 100 (best pictures)</source>
        <translation>Qualität verkleinerter Bilder, von 0 (kleinste Dateien) bis 100 (beste Bilder)</translation>
    </message>
    <message>
        <source>default</source>
        <translation>Standard</translation>
    </message>
    <message>
        <source>&amp;Keep the location (GPS) of scaled photos</source>
        <translation>&amp;Ort (GPS) verkleinerter Fotos behalten</translation>
    </message>
    <message>
        <source>R&amp;emove sent</source>
        <translation>Ge&amp;sendete entfernen</translation>
    </message>
    <message>
        <source>Takes the pictures that are in the gallery off the list</source>
        <translation>Nimmt die Bilder, die schon in der Galerie sind, von der Liste</translation>
    </message>
    <message>
        <source>Adds picture files to the list</source>
        <translation>Fügt der Liste Bilddateien hinzu</translation>
    </message>
    <message>
        <source>Adds the picture or the picture files on the clipboard to the list</source>
        <translation>Fügt der Liste das Bild oder die Bilddateien aus der Zwischenablage hinzu</translation>
    </message>
    <message>
        <source>Removes the selected pictures from the list</source>
        <translation>Entfernt die ausgewählten Bilder aus der Liste</translation>
    </message>
    <message>
        <source>Sends every picture of the list to the chosen category</source>
        <translation>Sendet alle Bilder der Liste an die gewählte Kategorie</translation>
    </message>
    <message>
        <source>Sends the pictures not sent again</source>
        <translation>Sendet die nicht gesendeten Bilder erneut</translation>
    </message>
    <message>
        <source>Cat&amp;egory</source>
        <translation>&amp;Kategorie</translation>
    </message>
    <message>
        <source>Reads the category tree from the site again</source>
        <translation>Liest den Kategoriebaum erneut von der Website</translation>
    </message>
</context>
<context>
    <name>results</name>
    <message>
        <source>sent</source>
        <translation>gesendet</translation>
    </message>
    <message>
        <source>%1 sent</source>
        <translation>%1 gesendet</translation>
    </message>
    <message>
        <source>failed</source>
        <translation>fehlgeschlagen</translation>
    </message>
    <message>
        <source>%1 failed</source>
        <translation>%1 fehlgeschlagen</translation>
    </message>
    <message>
        <source>skipped</source>
        <translation>übersprungen</translation>
    </message>
    <message>
        <source>%1 skipped</source>
        <translation>%1 übersprungen</translation>
    </message>
    <message>
        <source>not sent</source>
        <translation>nicht gesendet</translation>
    </message>
    <message>
        <source>%1 not sent</source>
        <translation>%1 nicht gesendet</translation>
    </message>
    <message>
        <source>not sent (%1)</source>
        <translation>nicht gesendet (%1)</translation>
    </message>
</context>
<context>
    <name>upload</name>
    <message>
        <source>Upload</source>
        <translation>Hochladen</translation>
    </message>
    <message>
        <source>filename</source>
        <translation>Dateiname</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Upload progress</source>
        <translation>Fortschritt des Hochladens</translation>
    </message>
    <message>
        <source>How much of the current picture has been sent</source>
        <translation>Wie viel des aktuellen Bildes gesendet wurde</translation>
    </message>
    <message>
        <source>Picture being sent</source>
        <translation>Bild, das gerade gesendet wird</translation>
    </message>
    <message>
        <source>Progress of the batch</source>
        <translation>Fortschritt aller Bilder</translation>
    </message>
    <message>
        <source>How much of all the pictures has been sent</source>
        <translation>Wie viel von allen Bildern gesendet ist</translation>
    </message>
    <message>
        <source>Stops the batch after the picture being sent</source>
        <translation>Hält nach dem Bild an, das gerade gesendet wird</translation>
    </message>
</context>
<context>
    <name>uploadThread</name>
    <message>
        <source>could not log in</source>
        <translation>Anmeldung fehlgeschlagen</translation>
    </message>
    <message>
        <source>no Categories found</source>
        <translation>keine Kategorien gefunden</translation>
    </message>
    <message>
        <source>could not upload file</source>
        <translation>Datei konnte nicht hochgeladen werden</translation>
    </message>
    <message>
        <source>the site address must begin with http:// or https://</source>
        <translation>Die Adresse der Website muss mit http:// oder https:// beginnen</translation>
    </message>
    <message>
        <source>not a regular file</source>
        <translation>keine gewöhnliche Datei</translation>
    </message>
    <message>
        <source>the file changed while it was sent</source>
        <translation>die Datei hat sich beim Senden verändert</translation>
    </message>
    <message>
        <source>answer too large</source>
        <translation>Antwort zu groß</translation>
    </message>
    <message>
        <source>the site sent more than %1 bytes</source>
        <translation>die Website hat mehr als %1 Bytes gesendet</translation>
    </message>
    <message>
        <source>the site answered with HTTP status %1</source>
        <translation>die Website antwortete mit HTTP-Status %1</translation>
    </message>
    <message>
        <source>not a picture that can be read</source>
        <translation>kein lesbares Bild</translation>
    </message>
    <message>
        <source>cancelled</source>
        <translation>abgebrochen</translation>
    </message>
    <message>
        <source>the login failed</source>
        <translation>die Anmeldung ist fehlgeschlagen</translation>
    </message>
    <message>
        <source>the site could not be reached</source>
        <translation>die Website war nicht erreichbar</translation>
    </message>
    <message>
        <source>could not be converted</source>
        <translation>konnte nicht umgewandelt werden</translation>
    </message>
    <message>
        <source>already sent on %1</source>
        <translation>schon am %1 gesendet</translation>
    </message>
    <message>
        <source>too large: preparing it needs %1 MB of memory, more than the %2 MB allowed</source>
        <translation>zu groß: die Vorbereitung braucht %1 MB Speicher, mehr als die erlaubten %2 MB</translation>
    </message>
    <message>
        <source>too large: more than %1 million pixels</source>
        <translation>zu groß: mehr als %1 Millionen Pixel</translation>
    </message>
    <message>
        <source>the CA certificate file is not a regular file</source>
        <translation>die CA-Zertifikatsdatei ist keine gewöhnliche Datei</translation>
    </message>
    <message>
        <source>does not exist</source>
        <translation>existiert nicht</translation>
    </message>
    <message>
        <source>cannot be read: permission denied</source>
        <translation>nicht lesbar: keine Berechtigung</translation>
    </message>
    <message>
        <source>%1 was not found (HTTP status 404): the site address must be the part before /admin.php, such as %2</source>
        <translation>%1 wurde nicht gefunden (HTTP-Status 404): Die Adresse der Website ist der Teil vor /admin.php, etwa %2</translation>
    </message>
</context>
</TS>
