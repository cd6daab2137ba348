#pragma once

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

// A forked copy of the test process that runs `work` and hands back the text it returns,
// then either stays, keeping whatever it took (a lock, an open port), until it is killed
// with the object, or ends at once. `program` renames it as /proc/<pid>/comm shows it
// ("kelvo-recorder"), so a lock it takes names that program. Fork only while the test runs
// no threads of its own.
class ForkedChild {
public:
    enum class Then { Stay, End };

    ForkedChild(const std::function<std::string()>& work, Then then,
                const char* program = nullptr) {
        int reply[2];
        if (::pipe(reply) != 0) return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(reply[0]);
            if (program) ::prctl(PR_SET_NAME, program);
            const std::string text = work();
            for (size_t done = 0; done < text.size();) {
                const ssize_t n = ::write(reply[1], text.data() + done, text.size() - done);
                if (n <= 0) break;
                done += static_cast<size_t>(n);
            }
            ::close(reply[1]);  // the end of the reply
            if (then == Then::Stay)
                for (;;) ::pause();
            ::_exit(0);
        }
        ::close(reply[1]);
        char chunk[256];
        ssize_t n;
        while (m_pid > 0 && (n = ::read(reply[0], chunk, sizeof chunk)) > 0)
            m_reply.append(chunk, static_cast<size_t>(n));
        ::close(reply[0]);
    }
    ~ForkedChild() { end(); }
    ForkedChild(const ForkedChild&) = delete;
    ForkedChild& operator=(const ForkedChild&) = delete;

    pid_t pid() const { return m_pid; }
    // What `work` returned; empty when the child died before it answered.
    const std::string& reply() const { return m_reply; }
    // Kills the child (if it stayed) and waits for it: what it held is free afterwards.
    void end() {
        if (m_pid <= 0) return;
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    std::string m_reply;
};
