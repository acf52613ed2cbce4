#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

// SIGTERM, SIGINT and SIGHUP end the run in order instead of killing it: the handler only
// wakes the event loop, which then tells received(), so the owner writes what waits (the
// settings, the tables) and quits. One per program; the destructor restores the default
// handlers.
class StopSignals : public QObject {
    Q_OBJECT
public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;

    // False when the signals could not be caught (they then end the run as usual).
    bool active() const { return m_notifier != nullptr; }

signals:
    void received(int signal);

private:
    void onReadable();

    std::unique_ptr<QSocketNotifier> m_notifier;
};
