#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// One packer command: the program with its arguments, and the command line shown to the user.
struct PackerCommand {
    QString program;
    QStringList arguments;
    QString commandLine;
    // The file the packer works on, if any: a temporary file it leaves beside it when it is
    // stopped is removed.
    QString workFile = {};
};

// Where the transcript of a run goes: the output box.
class TranscriptSink {
public:
    virtual ~TranscriptSink() = default;
    virtual void clear() = 0;
    // Appends the text at the end, as it stands.
    virtual void append(const QString& text) = 0;
};

// Runs one packer command as a child process, without a shell, and writes its transcript:
// "Starte", the command line, everything the packer wrote (standard output and standard error
// together, in order) and the time the operation took. Events go on being processed while the
// packer runs and while its report goes into the box, so the window repaints, its clock ticks
// and it can be closed.
class CommandRunner {
public:
    // The packer's output is decoded in chunks of this many bytes; a character split between
    // two chunks stays whole. Zero bytes are dropped.
    static constexpr qsizetype ChunkSize = 2500;
    // Of a longer report, the start and the end are kept, with one line in place of the middle
    // that says how many bytes were left out.
    static constexpr qsizetype KeptHeadBytes = 1024 * 1024;
    static constexpr qsizetype KeptTailBytes = 1024 * 1024;
    // The box takes the report in pieces of whole lines of about this many characters.
    static constexpr qsizetype PieceCharacters = 64 * 1024;

    // Runs the command. Returns false, and does nothing, while another run is going on. The
    // packer writes to a terminal where one can be had, so that it shows its progress, which
    // goes to onProgress; the transcript holds what it writes when not on a terminal.
    static bool run(const PackerCommand& command, TranscriptSink& output,
                    const std::function<void(const QString&)>& onProgress = {});
    // Ends the running packer: what it wrote so far stays in the transcript, followed by a
    // line saying that the operation was cancelled.
    static void cancel();
    static bool isRunning();
};
