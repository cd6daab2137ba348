#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace metersim {

// The meter's end of a pseudo-terminal. The program opens the other end through the
// Com<n> link, exactly as it opens a real serial port.
//
// The simulator keeps a descriptor of the terminal end open itself, so the program may
// close and re-open the port as often as it likes: without it the master would see a
// hang-up at every close and the terminal settings would be lost.
class PtyDevice {
public:
    PtyDevice() = default;
    ~PtyDevice();
    PtyDevice(const PtyDevice&) = delete;
    PtyDevice& operator=(const PtyDevice&) = delete;

    // Opens the pseudo-terminal in raw mode at 9,600 8N1 and links it as dir/Com<port>.
    // An existing Com<port> is replaced only when it is a link to a pseudo-terminal (one
    // left behind by an earlier simulator); anything else there is the user's and stays.
    bool open(const std::string& directory, int port, std::string& error);
    // Removes the link if it still points at this terminal, then closes.
    void close();

    int masterFd() const { return m_master; }
    // Readable when the program opened or closed the port; -1 when that cannot be watched.
    int watchFd() const { return m_watch; }

    struct PortEvents {
        int opened = 0;
        int closed = 0;
        bool lastWasClose = false;  // nobody may hold the port any more
    };
    PortEvents takePortEvents();

    // Bytes the program wrote; 0 when none are waiting, -1 on failure.
    long receive(uint8_t* buffer, size_t max);
    // Non-blocking; bytes taken by the terminal. When nobody reads the port its queue
    // fills and further bytes are lost, as on a real line.
    long transmit(const uint8_t* data, size_t size);
    // Throws away what the meter sent that nobody has read: a new opener must not get
    // the replies meant for the one before. Best effort: when the port is closed and opened
    // again within a moment the terminal can still hand over an old reply, so an opener
    // purges the line itself, as it must with any real port.
    void discardUnread();
    // A real port forgets its exclusive-use mark at the last close. Ours never sees a last
    // close (we hold the terminal end), so the mark is taken off when the program closes,
    // or a non-root program could never open the port again.
    void releaseExclusive();

    const std::string& linkPath() const { return m_link; }
    const std::string& terminalPath() const { return m_terminal; }

private:
    int m_master = -1;
    int m_slave = -1;
    int m_watch = -1;
    std::string m_terminal;
    std::string m_link;
};

}  // namespace metersim
