// The trial relay: starts the program to try in a session of its own, passes what it writes on
// to the relay's own standard output and error (those of the program that started the relay),
// sends the start of it and the program's end to the watch, or after the watch time that it
// still runs, and goes on passing the output on for as long as the program and whatever it
// started keep writing, so that the program never finds its output closed.

#include "relay/relayprotocol.h"
#include "relay/spawning.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/signalfd.h>
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
                // All the program wrote before its end is in the pipes now.
                for (int i = 0; i < 2; ++i) {
                    while (pump(i)) {
                    }
                }
                endWatch(m_end);
            } else if (m_watching && monotonicMicroseconds() >= m_deadline) {
                RelayRecord record;
                record.kind = RelayRecord::StillRunning;
                record.pid = m_program;
                endWatch(record);
            }
            if (m_reaped && m_sources[0] < 0 && m_sources[1] < 0)
                ::_exit(0);
            waitForEvents();
        }
    }

private:
    void waitForEvents()
    {
        pollfd fds[3];
        nfds_t count = 0;
        for (const int source : m_sources) {
            if (source >= 0)
                fds[count++] = {source, POLLIN, 0};
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
            if (!(fds[k].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            if (fds[k].fd == m_ended)
                reap(monotonicMicroseconds());
            for (int i = 0; i < 2; ++i) {
                if (fds[k].fd == m_sources[i])
                    pump(i);
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
        sendRecord(record);
        ::close(RelayReportDescriptor);
        ::close(RelayStatusDescriptor);
        m_watching = false;
    }

    // Passes on what one source holds now; false when it held nothing more.
    bool pump(int index)
    {
        if (m_sources[index] < 0)
            return false;
        char buffer[16384];
        const ssize_t got = ::read(m_sources[index], buffer, sizeof buffer);
        if (got < 0 && (errno == EAGAIN || errno == EINTR))
            return false;
        if (got <= 0) {
            ::close(m_sources[index]);
            m_sources[index] = -1;
            return false;
        }
        writeAll(index == 0 ? STDOUT_FILENO : STDERR_FILENO, buffer, std::size_t(got));
        if (m_watching) {
            const std::int64_t sent = std::min<std::int64_t>(got, RelayReportBytes - m_forwarded);
            writeAll(RelayReportDescriptor, buffer, std::size_t(sent));
            m_forwarded += sent;
            m_omitted += got - sent;
        }
        return true;
    }

    pid_t m_program;
    int m_sources[2];
    int m_ended;
    std::int64_t m_started;
    std::int64_t m_deadline;
    bool m_watching = true;
    bool m_reaped = false;
    RelayRecord m_end;
    std::int64_t m_forwarded = 0;
    std::int64_t m_omitted = 0;
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
