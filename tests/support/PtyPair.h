#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

// A pseudo-terminal pair opened by the test: the program opens `slaveName` as its port, the
// test plays the device on `master`.
class PtyPair {
public:
    PtyPair() {
        char name[128] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) == 0) {
            slaveName = name;
            termios tio{};
            ::tcgetattr(slave, &tio);
            ::cfmakeraw(&tio);
            ::tcsetattr(slave, TCSANOW, &tio);
            ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        }
    }
    ~PtyPair() {
        stopAnswering();
        closeMaster();
        if (slave >= 0) {
            ::close(slave);
        }
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return master >= 0 && !slaveName.empty(); }

    void send(const std::vector<uint8_t>& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
            } else {
                pollfd p{master, POLLOUT, 0};
                ::poll(&p, 1, 100);
            }
        }
    }

    // Everything that arrives within `window`.
    std::vector<uint8_t> receive(std::chrono::milliseconds window) {
        std::vector<uint8_t> bytes;
        const auto end = std::chrono::steady_clock::now() + window;
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 5) > 0) {
                uint8_t chunk[256];
                const ssize_t n = ::read(master, chunk, sizeof chunk);
                if (n > 0) {
                    bytes.insert(bytes.end(), chunk, chunk + n);
                }
            }
        }
        return bytes;
    }

    // Answers every probe frame with `reply` until stopped.
    void answerProbes(std::vector<uint8_t> reply) {
        m_answering = true;
        m_responder = std::thread([this, reply] {
            std::vector<uint8_t> seen;
            while (m_answering) {
                pollfd p{master, POLLIN, 0};
                if (::poll(&p, 1, 5) <= 0 || (p.revents & POLLIN) == 0) {
                    continue;
                }
                uint8_t chunk[64];
                const ssize_t n = ::read(master, chunk, sizeof chunk);
                if (n <= 0) {
                    continue;
                }
                seen.insert(seen.end(), chunk, chunk + n);
                if (seen.size() >= 4 && seen[seen.size() - 4] == 0xAA &&
                    seen[seen.size() - 3] == 0x00 && seen.back() == 0xAD) {
                    ++probes;
                    send(reply);
                    seen.clear();
                }
            }
        });
    }
    void stopAnswering() {
        m_answering = false;
        if (m_responder.joinable()) {
            m_responder.join();
        }
    }
    void closeMaster() {
        if (master >= 0) {
            ::close(master);
            master = -1;
        }
    }

    int master = -1;
    int slave = -1;
    std::string slaveName;
    std::atomic<int> probes{0};

private:
    std::atomic<bool> m_answering{false};
    std::thread m_responder;
};
