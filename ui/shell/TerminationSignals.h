#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

// SIGTERM, SIGINT and SIGHUP (a session ending, Ctrl+C in the terminal, a closed terminal)
// become a call on the GUI thread, so they end the program by the same road as the close box:
// the data file and the configuration are written. The handler only writes one byte to a pipe;
// everything else happens in the message loop.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(std::function<void(int)> onSignal, QObject* parent = nullptr);
    ~TerminationSignals() override;  // the default dispositions come back

private:
    void drain();

    std::function<void(int)> m_onSignal;
    QSocketNotifier* m_notifier = nullptr;
};
