// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "platform/launcherrortext.h"

QString LaunchErrorText(qint32 number)
{
    // The line breaks are line feed then carriage return, as the messages have always had them.
    switch (number) {
    case 0:
        return QStringLiteral("Zuwenig Speicher, ausführbare Datei war zerstört,\n\r"
                              "Relokationswerte waren ungültig");
    case 2:
        return QStringLiteral("Datei wurde nicht gefunden.");
    case 3:
        return QStringLiteral("Verzeichnis wurde nicht gefunden.");
    case 5:
        return QStringLiteral("Fehler beim gemeinsamen Zugriff auf eine Datei im Netz\n\r"
                              "oder Fehler beim Zugriff auf eine gesperrte Datei im Netz.");
    case 6:
        return QStringLiteral("Bibliothek forderte separate Datensegmente für jede Task an.");
    case 8:
        return QStringLiteral("Zuwenig Speicher, um die Anwendung zu starten.");
    case 10:
        return QStringLiteral("Falsche Windows-Version.");
    case 11:
        return QStringLiteral("Ungültige ausführbare Datei.\n\r"
                              "Entweder keine Windows-Anwendung oder Fehler in der EXE-Datei.");
    case 12:
        return QStringLiteral("Anwendung für ein anderes Betriebssystem.");
    case 13:
        return QStringLiteral("Anwendung für MS-DOS 4.0.");
    case 14:
        return QStringLiteral("Typ der ausführbaren Datei unbekannt.");
    case 15:
        return QStringLiteral("Versuch, eine Real-Mode-Anwendung \n\r"
                              "(für eine frühere Windows-Version) zu laden.");
    case 16:
        return QStringLiteral("Versuch, eine zweite Instanz einer ausführbaren Datei mit\n\r"
                              "mehreren Datensegmenten die nicht als nur lesbar\n\r"
                              "gekennzeichnet waren,zu laden.");
    case 19:
        return QStringLiteral("Versuch, eine komprimierte ausführbare Datei zu laden.\n\r"
                              "Die Datei muß dekomprimiert werden, bevor sie geladen werden "
                              "kann.");
    case 20:
        return QStringLiteral("Ungültige dynamische Linkbibliothek (DLL).\n\r"
                              "Eine der DLLs, die benötigt wurde, um die\n\r"
                              "Anwendung auszuführen, war beschädigt.");
    default:
        return QStringLiteral("Ein unbekannter Fehler ist aufgetreten. (") +
               QString::number(number) + QLatin1Char(')');
    }
}
