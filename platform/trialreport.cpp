// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "platform/trialreport.h"

#include "platform/outputdecoder.h"

#include <csignal>

QString signalName(int number)
{
    switch (number) {
    case SIGHUP:
        return QStringLiteral("Verbindung beendet");
    case SIGINT:
        return QStringLiteral("Unterbrechung");
    case SIGQUIT:
        return QStringLiteral("Abbruch mit Speicherabzug");
    case SIGILL:
        return QStringLiteral("Ungültiger Maschinenbefehl");
    case SIGTRAP:
        return QStringLiteral("Haltepunkt");
    case SIGABRT:
        return QStringLiteral("Abgebrochen");
    case SIGBUS:
        return QStringLiteral("Busfehler");
    case SIGFPE:
        return QStringLiteral("Arithmetischer Fehler");
    case SIGKILL:
        return QStringLiteral("Getötet");
    case SIGUSR1:
        return QStringLiteral("Benutzersignal 1");
    case SIGSEGV:
        return QStringLiteral("Speicherzugriffsfehler");
    case SIGUSR2:
        return QStringLiteral("Benutzersignal 2");
    case SIGPIPE:
        return QStringLiteral("Schreiben in eine geschlossene Pipe");
    case SIGALRM:
        return QStringLiteral("Zeitgeber abgelaufen");
    case SIGTERM:
        return QStringLiteral("Beendet");
    case SIGXCPU:
        return QStringLiteral("Rechenzeitgrenze überschritten");
    case SIGXFSZ:
        return QStringLiteral("Dateigrößengrenze überschritten");
    case SIGSYS:
        return QStringLiteral("Ungültiger Systemaufruf");
    default:
        return {};
    }
}

QString trialReport(const QString& program, const ProgramEnd& end)
{
    const QString lineBreak = QStringLiteral("\r\n");
    const QString title = QStringLiteral("Testlauf von ") + program;
    switch (end.outcome) {
    case ProgramEnd::Outcome::StillRunning:
        return title +
               QStringLiteral(": Das Programm läuft noch (Prozessnummer %1).").arg(end.pid) +
               lineBreak;
    case ProgramEnd::Outcome::WatchLost:
        return title +
               QStringLiteral(": Die Beobachtung endete ohne Bericht, weil ihr Prozess beendet "
                              "oder angehalten wurde.") +
               lineBreak;
    case ProgramEnd::Outcome::NotWatched:
        return title +
               QStringLiteral(": Das Programm läuft unbeobachtet, weil kompaktor-relay nicht "
                              "neben Kompaktor liegt.") +
               lineBreak;
    case ProgramEnd::Outcome::Exited:
    case ProgramEnd::Outcome::Signalled:
        break;
    }
    QString report = title + lineBreak;
    OutputDecoder decoder;
    QString output = decoder.decodeSkippingZeros(end.output) + decoder.flush();
    if (!output.isEmpty() && !output.endsWith(QLatin1Char('\n')))
        output += lineBreak;
    report += output;
    if (end.omittedBytes > 0)
        report += QStringLiteral("*** Weitere %1 Bytes der Ausgabe wurden ausgelassen. ***")
                      .arg(end.omittedBytes) +
                  lineBreak;
    if (end.droppedBytes > 0)
        report += QStringLiteral("*** %1 Bytes der Ausgabe wurden nicht an die Standardausgabe "
                                 "von Kompaktor weitergegeben, weil sie dort niemand annahm. ***")
                      .arg(end.droppedBytes) +
                  lineBreak;
    if (end.outcome == ProgramEnd::Outcome::Signalled) {
        const QString name = signalName(end.value);
        report += QStringLiteral("Das Programm wurde nach %1 Millisekunden durch das Signal %2%3 "
                                 "beendet.")
                      .arg(end.milliseconds)
                      .arg(end.value)
                      .arg(name.isEmpty() ? QString() : QStringLiteral(" (") + name + u')');
    } else {
        report += QStringLiteral("Das Programm endete nach %1 Millisekunden mit dem Exitcode %2.")
                      .arg(end.milliseconds)
                      .arg(end.value);
    }
    return report + lineBreak;
}
