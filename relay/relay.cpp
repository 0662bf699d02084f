// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

// The trial relay: starts the program to try in a session of its own, passes what it writes on
// to the relay's own standard output and error (those of the program that started the relay),
// sends the start of it and the program's end to the watch, or after the watch time that it
// still runs, and goes on passing the output on for as long as the program and whatever it
// started keep writing, so that the program never finds its output closed. What the relay's
// outputs do not take in time is left out there and counted, so that an output that nobody reads
// holds up neither the program nor the watch.

#include "common/relayprotocol.h"
#include "common/spawning.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::int64_t monotonicMicroseconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

void sendRecord(const RelayRecord& record)
{
    writeAll(RelayStatusDescriptor, reinterpret_cast<const char*>(&record), sizeof record);
}

// Tells the program that started the relay why the start failed.
void sendStartError(int error)
{
    writeAll(RelayStartDescriptor, reinterpret_cast<const char*>(&error), sizeof error);
}

// Starts the program with posix_spawn(), which returns once it runs: its output goes to the
// pipes, none of the relay's other descriptors stays open (closed in one step), it has a session
// of its own and signals as a freshly started program expects them. The errno of a failed start
// is returned.
int startProgram(char* program, const int (&output)[2], const int (&error)[2], pid_t& pid)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, error[1], STDERR_FILENO);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    const FreshProgramAttributes attributes;
    char* const argv[] = {program, nullptr};
    const int result = ::posix_spawn(&pid, program, &actions, attributes.get(), argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    return result;
}

// One of the relay's own outputs, standard output or standard error, written without waiting:
// the watch must go on while nobody reads them. The inherited file description is shared with
// the program that started the relay and must stay blocking, so a pipe or FIFO is opened anew,
// as a description of the relay's own that it makes non-blocking; a socket is sent to without
// waiting; anything else (a file, a terminal, a pipe that cannot be opened anew) is written
// only when it has room, and no more at once than a pipe with room takes whole.
class Output {
public:
    explicit Output(int fd) : m_fd(fd)
    {
        struct stat info {};
        if (::fstat(fd, &info) != 0)
            return;
        if (S_ISSOCK(info.st_mode)) {
            m_kind = Kind::Socket;
        } else if (S_ISFIFO(info.st_mode)) {
            char path[32];
            std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
            const int own = ::open(path, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (own >= 0) {
                m_fd = own;
                m_kind = Kind::Own;
            }
        }
    }

    int fd() const { return m_fd; }

    // Writes what the output takes now; -1 with EAGAIN when it takes nothing now.
    ssize_t write(const char* data, std::size_t size) const
    {
        switch (m_kind) {
        case Kind::Own:
            return ::write(m_fd, data, size);
        case Kind::Socket:
            return ::send(m_fd, data, size, MSG_DONTWAIT);
        case Kind::Shared:
            break;
        }
        pollfd room{m_fd, POLLOUT, 0};
        if (::poll(&room, 1, 0) == 0) {
            errno = EAGAIN;
            return -1;
        }
        return ::write(m_fd, data, std::min<std::size_t>(size, PIPE_BUF));
    }

private:
    enum class Kind { Own, Socket, Shared };
    int m_fd;
    Kind m_kind = Kind::Shared;
};

// How much the relay reads from one of the program's outputs at once.
constexpr std::size_t ReadBytes = 16384;

// Read output on its way to one of the relay's outputs, held while that output takes it more
// slowly than the program writes.
struct Pending {
    char data[256 * 1024];
    std::size_t begin = 0;
    std::size_t end = 0;
    bool empty() const { return begin == end; }
    // Room for a read at the end, made by moving what waits to the front when little is left.
    std::size_t room()
    {
        if (begin > 0 && sizeof data - end < ReadBytes) {
            std::memmove(data, data + begin, end - begin);
            end -= begin;
            begin = 0;
        }
        return sizeof data - end;
    }
};

class Relay {
public:
    Relay(pid_t program, int output, int error, int ended, std::int64_t started,
          std::int64_t deadline)
        : m_program(program), m_sources{output, error}, m_ended(ended), m_started(started),
          m_deadline(deadline)
    {
    }

    [[noreturn]] void run()
    {
        for (;;) {
            if (m_watching && m_reaped) {
                // All the program wrote before its end is in the pipes now: the report gets it
                // whether or not the relay's outputs take it now.
                for (int i = 0; i < 2; ++i)
                    drain(i);
                endWatch(m_end);
            } else if (m_watching && monotonicMicroseconds() >= m_deadline) {
                RelayRecord record;
                record.kind = RelayRecord::StillRunning;
                record.pid = m_program;
                endWatch(record);
            }
            if (m_reaped && passedOn(0) && passedOn(1))
                ::_exit(0);
            waitForEvents();
        }
    }

private:
    bool passedOn(int index) const { return m_sources[index] < 0 && m_pending[index].empty(); }

    void waitForEvents()
    {
        pollfd fds[5];
        nfds_t count = 0;
        for (int i = 0; i < 2; ++i) {
            if (!m_pending[i].empty())
                fds[count++] = {m_outputs[i].fd(), POLLOUT, 0};
            if (m_sources[i] >= 0)
                fds[count++] = {m_sources[i], POLLIN, 0};
        }
        if (!m_reaped)
            fds[count++] = {m_ended, POLLIN, 0};
        int timeout = -1;
        if (m_watching)
            timeout =
                int((std::max<std::int64_t>(0, m_deadline - monotonicMicroseconds()) + 999) / 1000);
        if (::poll(fds, count, timeout) <= 0)
            return;
        for (nfds_t k = 0; k < count; ++k) {
            if (!fds[k].revents)
                continue;
            if (fds[k].fd == m_ended)
                reap(monotonicMicroseconds());
            for (int i = 0; i < 2; ++i) {
                if (fds[k].fd == m_sources[i])
                    pump(i, ReadBytes);
                else if (fds[k].fd == m_outputs[i].fd())
                    passOn(i);
            }
        }
    }

    void reap(std::int64_t now)
    {
        signalfd_siginfo info;
        while (::read(m_ended, &info, sizeof info) > 0) {
        }
        int status = 0;
        if (::waitpid(m_program, &status, WNOHANG) != m_program)
            return;
        m_reaped = true;
        ::close(m_ended);
        m_end.pid = m_program;
        m_end.microseconds = now - m_started;
        if (WIFSIGNALED(status)) {
            m_end.kind = RelayRecord::Signalled;
            m_end.value = WTERMSIG(status);
        } else {
            m_end.kind = RelayRecord::Exited;
            m_end.value = WEXITSTATUS(status);
        }
    }

    void endWatch(RelayRecord record)
    {
        record.omittedBytes = m_omitted;
        record.droppedBytes = m_dropped;
        sendRecord(record);
        ::close(RelayReportDescriptor);
        ::close(RelayStatusDescriptor);
        m_watching = false;
    }

    // Takes in all that a source holds at the program's end, so that the report counts all of
    // it; what the program's own children write later is not waited for.
    void drain(int index)
    {
        int left = 0;
        if (m_sources[index] < 0 || ::ioctl(m_sources[index], FIONREAD, &left) != 0)
            return;
        while (left > 0) {
            const std::size_t got = pump(index, std::size_t(left));
            if (got == 0)
                return;
            left -= int(got);
        }
    }

    // Reads up to limit bytes that one source holds now, hands the start of them to the report
    // while the watch lasts and passes them on; what finds no room beside the output that still
    // waits for the relay's output is left out. Returns how many bytes it read.
    std::size_t pump(int index, std::size_t limit)
    {
        Pending& pending = m_pending[index];
        char discarded[ReadBytes];
        const std::size_t room = pending.room();
        char* const into = room > 0 ? pending.data + pending.end : discarded;
        const ssize_t got = ::read(m_sources[index], into,
                                   std::min({limit, ReadBytes, room > 0 ? room : ReadBytes}));
        if (got < 0 && (errno == EAGAIN || errno == EINTR))
            return 0;
        if (got <= 0) {
            ::close(m_sources[index]);
            m_sources[index] = -1;
            return 0;
        }
        if (m_watching) {
            const std::int64_t sent = std::min<std::int64_t>(got, RelayReportBytes - m_forwarded);
            writeAll(RelayReportDescriptor, into, std::size_t(sent));
            m_forwarded += sent;
            m_omitted += got - sent;
        }
        if (room == 0) {
            leaveOut(std::size_t(got));
            return std::size_t(got);
        }
        pending.end += std::size_t(got);
        passOn(index);
        return std::size_t(got);
    }

    // Writes what the relay's output takes now of what waits for it. What it cannot take any
    // more, as when nobody reads it, is left out.
    void passOn(int index)
    {
        Pending& pending = m_pending[index];
        while (!pending.empty()) {
            const ssize_t written =
                m_outputs[index].write(pending.data + pending.begin, pending.end - pending.begin);
            if (written < 0 && errno == EINTR)
                continue;
            if (written < 0 && errno == EAGAIN)
                return;
            if (written <= 0) {
                leaveOut(pending.end - pending.begin);
                break;
            }
            pending.begin += std::size_t(written);
        }
        pending.begin = pending.end = 0;
    }

    // Counts output that the relay's outputs did not get, for the report while the watch lasts.
    void leaveOut(std::size_t bytes)
    {
        if (m_watching)
            m_dropped += std::int64_t(bytes);
    }

    pid_t m_program;
    int m_sources[2];
    Output m_outputs[2]{Output(STDOUT_FILENO), Output(STDERR_FILENO)};
    Pending m_pending[2];
    int m_ended;
    std::int64_t m_started;
    std::int64_t m_deadline;
    bool m_watching = true;
    bool m_reaped = false;
    RelayRecord m_end;
    std::int64_t m_forwarded = 0;
    std::int64_t m_omitted = 0;
    std::int64_t m_dropped = 0;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    // The program that started the relay waits for this first process only: the relay goes on
    // in a copy that is not its child, so that it never has to collect the relay's end.
    const pid_t relay = ::fork();
    if (relay != 0) {
        if (relay < 0)
            sendStartError(errno);
        ::_exit(relay < 0 ? 1 : 0);
    }

    // Output that nobody reads any more is dropped instead of ending the relay. The program's
    // end comes as a signal read from a descriptor.
    ::signal(SIGPIPE, SIG_IGN);
    // A standard output or error that is closed or open for reading only becomes one that drops
    // what it gets: output that waits for it, or for a descriptor made below that would take the
    // number of a closed one, would hold up the program for ever.
    for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags != -1 && (flags & O_ACCMODE) != O_RDONLY)
            continue;
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0 && null != fd) {
            ::dup2(null, fd);
            ::close(null);
        }
    }
    sigset_t childEnded;
    sigemptyset(&childEnded);
    sigaddset(&childEnded, SIGCHLD);
    ::sigprocmask(SIG_BLOCK, &childEnded, nullptr);
    const int ended = ::signalfd(-1, &childEnded, SFD_CLOEXEC | SFD_NONBLOCK);
    int output[2], error[2];
    if (ended < 0 || ::pipe2(output, O_CLOEXEC) != 0 || ::pipe2(error, O_CLOEXEC) != 0) {
        sendStartError(errno);
        return 1;
    }

    const std::int64_t started = monotonicMicroseconds();
    pid_t program = -1;
    if (const int failure = startProgram(argv[2], output, error, program)) {
        sendStartError(failure);
        return 1;
    }
    // The program runs.
    ::close(RelayStartDescriptor);
    ::close(output[1]);
    ::close(error[1]);
    for (const int fd : {output[0], error[0]})
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    const std::int64_t deadline = started + std::strtoll(argv[1], nullptr, 10) * 1000;
    Relay(program, output[0], error[0], ended, started, deadline).run();
}
