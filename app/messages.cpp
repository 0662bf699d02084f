#include "app/messages.h"

#include <QCoreApplication>
#include <QMessageBox>

QString displayLines(const QString& text)
{
    QString lines;
    lines.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n')) {
            lines += c;
            continue;
        }
        lines += QLatin1Char('\n');
        // A pair of two different break characters is one break.
        if (i + 1 < text.size() &&
            (text[i + 1] == QLatin1Char('\r') || text[i + 1] == QLatin1Char('\n')) &&
            text[i + 1] != c)
            ++i;
    }
    return lines;
}

void showErrorBox(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Fehler"), displayLines(text),
                    QMessageBox::Ok, parent);
    box.exec();
}

void showApplicationError(const QString& message)
{
    QMessageBox box(QMessageBox::Critical, QCoreApplication::applicationName(),
                    displayLines(message) + QLatin1Char('.'), QMessageBox::Ok);
    box.exec();
}
