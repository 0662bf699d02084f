// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include <QByteArray>

#include <functional>

// A pseudo terminal for the packer's output: the packer shows its progress only to a terminal.
// Output processing is off, so that line breaks arrive as the packer writes them.
class PackerTerminal {
public:
    PackerTerminal();
    ~PackerTerminal();
    PackerTerminal(const PackerTerminal&) = delete;
    PackerTerminal& operator=(const PackerTerminal&) = delete;

    // Less than this at once is a short piece.
    static constexpr qsizetype ShortPiece = 1024;

    bool isOpen() const { return m_master >= 0; }
    int master() const { return m_master; }
    int slave() const { return m_slave; }

    // Our copy of the packer's end: closed once the packer has its own.
    void closeSlave();

    // Appends what the terminal holds now and what follows at once, for a few milliseconds at
    // most; false once the packer's side is closed and all is read. A terminal passes a few
    // kilobytes at a time, so when the packer writes a lot, waiting a moment for more saves a
    // trip through the event loop for each of them; a short piece, such as a progress display,
    // is all there is for now.
    bool read(QByteArray& bytes) const;

    // Reads what the ended packer left, until its side is closed; at most for half a second,
    // when a process it started keeps the terminal open.
    void drain(const std::function<void(const QByteArray&)>& take) const;

private:
    int m_master = -1;
    int m_slave = -1;
};
