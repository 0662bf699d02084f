// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

// Small pieces that the trial relay and the program that starts it share; C library only.

#include <cerrno>
#include <csignal>
#include <cstddef>

#include <spawn.h>
#include <unistd.h>

// Writes all of the data, going on after an interruption; stops at an error.
inline void writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        data += written;
        size -= std::size_t(written);
    }
}

// Attributes for posix_spawn() that start a program as a fresh one: every signal at its default,
// none blocked, in a session of its own.
class FreshProgramAttributes {
public:
    FreshProgramAttributes()
    {
        posix_spawnattr_init(&m_attributes);
        sigset_t all, none;
        sigfillset(&all);
        sigemptyset(&none);
        posix_spawnattr_setsigdefault(&m_attributes, &all);
        posix_spawnattr_setsigmask(&m_attributes, &none);
        posix_spawnattr_setflags(&m_attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK |
                                                    POSIX_SPAWN_SETSID);
    }
    ~FreshProgramAttributes() { posix_spawnattr_destroy(&m_attributes); }
    FreshProgramAttributes(const FreshProgramAttributes&) = delete;
    FreshProgramAttributes& operator=(const FreshProgramAttributes&) = delete;

    const posix_spawnattr_t* get() const { return &m_attributes; }

private:
    posix_spawnattr_t m_attributes;
};
