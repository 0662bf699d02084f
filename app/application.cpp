// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "app/application.h"

#include "app/messages.h"
#include "app/programicon.h"
#include "app/tupxform1.h"
#include "platform/exceptiondisplay.h"
#include "platform/instancemarker.h"
#include "platform/sysmetrics.h"
#include "platform/terminationsignals.h"

#include <QApplication>
#include <QFileInfo>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QStyleFactory>
#include <QTranslator>

#include <cstdio>
#include <memory>

namespace {
// How long a second start tries to reach the running instance.
constexpr int RestoreRequestTimeoutMs = 5000;
} // namespace

bool selectDisplayPlatform()
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || qEnvironmentVariableIsEmpty("DISPLAY"))
        return false;
    qputenv("QT_QPA_PLATFORM", "xcb");
    return true;
}

void setUpApplication(QApplication& application)
{
    QApplication::setApplicationName(QStringLiteral("Kompaktor"));
    // Qt's own dialogs, menus and buttons speak German as the program does, whatever the locale.
    auto* qtTexts = new QTranslator(&application);
    if (qtTexts->load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qtbase"),
                      QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(qtTexts);
    // The layout is measured in these Windows fonts; Liberation Sans has the same metrics.
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("Microsoft Sans Serif"),
                              QStringLiteral("Liberation Sans"));
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Windows")))
        QApplication::setStyle(style);
    QApplication::setPalette(classicPalette());
    QApplication::setWindowIcon(programIcon());
    // A handler's exception that reaches the message path is shown like any application error.
    setExceptionDisplay(showApplicationError);
    application.setQuitOnLastWindowClosed(true);
}

void bringToFront(Form& form)
{
    form.SendMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
    form.raise();
    form.activateWindow();
}

QStringList fileArguments(const QStringList& arguments)
{
    QStringList files;
    bool optionsEnded = false;
    for (const QString& argument : arguments) {
        if (!optionsEnded && argument == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (argument.isEmpty() || (!optionsEnded && argument.startsWith(QLatin1Char('-')) &&
                                   !QFileInfo::exists(argument)))
            continue;
        files << QFileInfo(argument).absoluteFilePath();
    }
    return files;
}

void answerLaterStart(TUPXForm1& form, const QString& files)
{
    if (!files.isEmpty())
        form.openFiles(files.split(FileSeparator));
    bringToFront(form);
}

int runKompaktor(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QFile::decodeName(argv[i]);
    const QStringList files = fileArguments(arguments);

    // A later start hands its file over before it builds anything that only a window needs.
    InstanceMarker marker(QStringLiteral("Kompaktor"));
    switch (marker.acquireOrRequestRestore(RestoreRequestTimeoutMs, files.join(FileSeparator))) {
    case InstanceMarker::Start::First:
        break;
    case InstanceMarker::Start::HandedOver:
        return 0;
    case InstanceMarker::Start::NoAnswer:
        std::fputs("Kompaktor läuft bereits, antwortet aber nicht.\n", stderr);
        return 1;
    }

    const bool platformSelected = selectDisplayPlatform();
    // The command line names a file, never the toolkit's own options.
    int toolkitArgc = 1;
    char* toolkitArgv[] = {argv[0], nullptr};
    QApplication application(toolkitArgc, toolkitArgv);
    // Programs started from here choose their own display connection.
    if (platformSelected)
        qunsetenv("QT_QPA_PLATFORM");

    // Logout, kill and Ctrl+C end the program as closing its window does: every event loop
    // ends, a running packer with it, and the window's destruction saves the options.
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &application,
                     [] { QCoreApplication::exit(0); });
    setUpApplication(application);
    auto form = std::make_unique<TUPXForm1>();
    form->openFiles(files);
    QObject::connect(&marker, &InstanceMarker::restoreRequested, form.get(),
                     [&form](const QString& handedOver) { answerLaterStart(*form, handedOver); });
    marker.listen();
    form->show();
    // A signal that came while the window was being made ends the program before it runs.
    const int result = termination.received() ? 0 : application.exec();

    // The marker goes before the window, whose destruction saves the options.
    marker.release();
    if (termination.received())
        form->reportErrorsOnStandardError();
    form.reset();
    return result;
}
