// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "packer/packerterminal.h"

#include <QElapsedTimer>

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

PackerTerminal::PackerTerminal()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0 ||
        ::ptsname_r(m_master, name, sizeof name) != 0 ||
        (m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC)) < 0) {
        closeSlave();
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
        return;
    }
    termios settings{};
    if (::tcgetattr(m_slave, &settings) == 0) {
        settings.c_oflag &= ~tcflag_t(OPOST);
        ::tcsetattr(m_slave, TCSANOW, &settings);
    }
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
}

PackerTerminal::~PackerTerminal()
{
    closeSlave();
    if (m_master >= 0)
        ::close(m_master);
}

void PackerTerminal::closeSlave()
{
    if (m_slave >= 0)
        ::close(m_slave);
    m_slave = -1;
}

bool PackerTerminal::read(QByteArray& bytes) const
{
    constexpr qsizetype Portion = 65536;
    const qsizetype start = bytes.size();
    QElapsedTimer clock;
    clock.start();
    pollfd wanted{m_master, POLLIN, 0};
    while (clock.elapsed() < 20) {
        const qsizetype size = bytes.size();
        bytes.resize(size + Portion);
        const ssize_t got = ::read(m_master, bytes.data() + size, Portion);
        const int error = errno;
        bytes.resize(size + qMax<ssize_t>(got, 0));
        if (got > 0)
            continue;
        if (got == 0 || (error != EINTR && error != EAGAIN))
            return false;
        if (error == EAGAIN && (bytes.size() - start < ShortPiece || ::poll(&wanted, 1, 1) <= 0))
            return true;
    }
    return true;
}

void PackerTerminal::drain(const std::function<void(const QByteArray&)>& take) const
{
    QElapsedTimer clock;
    clock.start();
    pollfd wanted{m_master, POLLIN, 0};
    QByteArray bytes;
    for (;;) {
        bytes.truncate(0);
        const bool more = read(bytes);
        take(bytes);
        const int left = 500 - int(clock.elapsed());
        if (!more || left <= 0 || (bytes.isEmpty() && ::poll(&wanted, 1, left) <= 0))
            return;
    }
}
