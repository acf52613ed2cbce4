#pragma once

#include <QHash>
#include <QNetworkAccessManager>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <memory>

namespace web {

// Posts short texts to chat-server webhooks as {"content":"..."}. Each URL gets at most one
// post a second: texts that come in the meantime are joined into the next one. A post that
// fails is tried again after 2, 4, 8 ... up to 60 seconds; the first failure of a URL is
// logged once (its host only: a webhook's path is its secret) until a post gets through
// again. Everything runs by the event loop; nothing waits for the network.
class Notifier : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxContent = 2000; // the common webhooks' limit per message
    static constexpr int MaxPending = 50;   // texts kept per URL while it fails

    explicit Notifier(QObject *parent = nullptr);

    // The webhooks of a profile and the event categories (0..6) it wants posted.
    void setTargets(const QString &address, const QList<QUrl> &urls, const QSet<int> &categories);
    bool wants(const QString &address, int category) const;
    bool hasTargets(const QString &address) const { return m_targets.contains(address); }

    // Sends text to every webhook of the profile.
    void notify(const QString &address, const QString &text);

    // Where failures are told (vexmoord: standard error).
    std::function<void(const QString &)> log;
    // The first post waits this long after a quiet second (tests shorten the second).
    void setInterval(int ms) { m_intervalMs = ms; }

private:
    struct Hook {
        QUrl url;
        QStringList pending;
        qint64 lastPost = -1000000; // ms of the monotonic clock
        int failures = 0;
        bool busy = false;
        bool told = false; // a failure was logged
        std::unique_ptr<QTimer> timer;
    };
    struct Target {
        QList<QUrl> urls;
        QSet<int> categories;
    };

    Hook &hook(const QUrl &url);
    void schedule(Hook &h);
    void post(Hook &h);
    void finished(Hook &h, bool ok, const QString &why);

    QNetworkAccessManager m_network;
    QHash<QString, Target> m_targets;
    QHash<QString, std::shared_ptr<Hook>> m_hooks; // by URL
    int m_intervalMs = 1000;
};

} // namespace web
