#pragma once

#include <QString>
#include <QStringList>

// One packer command: the program with its arguments, and the command line shown to the user.
struct PackerCommand {
    QString program;
    QStringList arguments;
    QString commandLine;
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
// packer runs, so the window repaints, its clock ticks and it can be closed.
class CommandRunner {
public:
    // The packer's output is shown in chunks of this many bytes; a zero byte ends what is
    // shown of its chunk.
    static constexpr qsizetype ChunkSize = 2500;

    // Runs the command. Returns false, and does nothing, while another run is going on.
    static bool run(const PackerCommand& command, TranscriptSink& output);
    static bool isRunning();
};
