// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include "app/tupxform1.h"
#include "packer/packerrun.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <utility>

// Watches for modal message boxes while it lives: each one that is shown is handed to the
// check and then closed with OK, once its own event loop runs.
class MessageBoxWatcher : public QObject {
public:
    explicit MessageBoxWatcher(std::function<void(QMessageBox*)> check = {})
        : m_check(std::move(check))
    {
        QApplication::instance()->installEventFilter(this);
    }

    int count() const { return m_count; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* box = qobject_cast<QMessageBox*>(watched);
        if (event->type() != QEvent::Show || !box || !box->isModal())
            return false;
        ++m_count;
        QMetaObject::invokeMethod(
            box,
            [this, box] {
                if (!box->isVisible())
                    return;
                if (m_check)
                    m_check(box);
                box->button(QMessageBox::Ok)->click();
            },
            Qt::QueuedConnection);
        return false;
    }

private:
    std::function<void(QMessageBox*)> m_check;
    int m_count = 0;
};

// The whole content of a file; empty when it cannot be read.
inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes the file anew with the content; true when all of it was written.
inline bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// The body of a fake packer that prints each argument on a line of its own, as "<argument>".
inline constexpr char EchoArguments[] = "for a in \"$@\"; do printf '<%s>\\n' \"$a\"; done\n";

// The transcript with its measured time, "etwa 12 Millisekunden", as "etwa N Millisekunden".
inline QString withMaskedTime(QString transcript)
{
    static const QRegularExpression time(QStringLiteral("etwa -?\\d+ Millisekunden"));
    return transcript.replace(time, QStringLiteral("etwa N Millisekunden"));
}

// Writes an executable shell script, for example a fake packer, and returns its path.
inline QString writeScript(const QString& path, const QByteArray& body)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write("#!/bin/sh\n" + body) < 0)
        return {};
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

// Runs the packer to its end, with events going on meanwhile; true once it has ended.
inline bool runToEnd(PackerRun& run)
{
    QEventLoop wait;
    QObject::connect(&run, &PackerRun::finished, &wait, &QEventLoop::quit);
    run.start();
    if (run.isRunning())
        wait.exec();
    return run.isFinished();
}

// Runs the command, or the command made from the version, to its end with its transcript in
// the sink and its progress handed on; true once it has ended.
inline bool runPacker(PackerVersion* version, const PackerRun::CommandMaker& make,
                      TranscriptSink& sink,
                      const std::function<void(const QString&)>& onProgress = {},
                      RunResult* result = nullptr)
{
    PackerRun run(version, make, &sink);
    if (onProgress)
        QObject::connect(&run, &PackerRun::progress, onProgress);
    const bool ended = runToEnd(run);
    if (result)
        *result = run.result();
    return ended;
}

inline bool runPacker(const PackerCommand& command, TranscriptSink& sink,
                      const std::function<void(const QString&)>& onProgress = {},
                      RunResult* result = nullptr)
{
    return runPacker(
        nullptr, [&command](const QVersionNumber&) { return command; }, sink, onProgress, result);
}

// Collects a command transcript as text.
class StringSink : public TranscriptSink {
public:
    void clear() override
    {
        text.clear();
        ++clears;
    }
    void append(const QString& piece) override { text += piece; }

    QString text;
    int clears = 0;
};

// The main window of the program at the path, shown on the screen.
inline std::unique_ptr<TUPXForm1> shownWindow(const QString& program)
{
    auto form = std::make_unique<TUPXForm1>(program);
    form->show();
    [&] { QVERIFY(QTest::qWaitForWindowExposed(form.get())); }();
    return form;
}

// The main window of a program folder "prog" below the given folder, shown on the screen, with
// a packer file in it: the script with the body, or an empty file when none is given and there
// is no packer yet.
inline std::unique_ptr<TUPXForm1> shownMainWindow(const QString& folder,
                                                  const QByteArray& packerBody = {})
{
    const QString dir = folder + QStringLiteral("/prog/");
    [&] {
        QVERIFY(QDir().mkpath(dir));
        const QString packer = dir + QStringLiteral("upx");
        if (!packerBody.isEmpty())
            QCOMPARE(writeScript(packer, packerBody), packer);
        else
            QVERIFY(QFile::exists(packer) || writeFile(packer, {}));
    }();
    return shownWindow(dir + QStringLiteral("kompaktor"));
}

// The real packers every packer command is checked with: the system's, which the program uses
// (Debian's upx-ucl, UPX 4.x), and UPX 3.96. A test skips a packer that is not executable.
struct RealPacker {
    const char* name;
    QString path;
    // The beginning of the first line of its "-V" report.
    QString versionLine;
};

inline QList<RealPacker> realPackers()
{
    return {{"UPX 4", QStringLiteral(KOMPAKTOR_PACKER), QStringLiteral("upx 4.")},
            {"UPX 3.96", QStringLiteral(KOMPAKTOR_PACKER_396), QStringLiteral("upx 3.96")}};
}

// Adds the column "packer" with a row for each real packer.
inline void addRealPackerRows()
{
    QTest::addColumn<QString>("packer");
    QTest::addColumn<QString>("versionLine");
    for (const RealPacker& packer : realPackers())
        QTest::newRow(packer.name) << packer.path << packer.versionLine;
}

// The trial relay built beside the program.
inline QString relayBesideTheProgram()
{
    return QFileInfo(QStringLiteral(KOMPAKTOR_BINARY)).path() + QStringLiteral("/kompaktor-relay");
}
