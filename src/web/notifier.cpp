#include "web/notifier.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace web {

namespace {

qint64 monotonicMs() {
    static QElapsedTimer clock;
    if (!clock.isValid()) clock.start();
    return clock.elapsed();
}

} // namespace

Notifier::Notifier(QObject *parent) : QObject(parent) {
    m_network.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

void Notifier::setTargets(const QString &address, const QList<QUrl> &urls,
                          const QSet<int> &categories) {
    if (urls.isEmpty()) {
        m_targets.remove(address);
        return;
    }
    m_targets.insert(address, Target{urls, categories});
}

bool Notifier::wants(const QString &address, int category) const {
    const auto it = m_targets.constFind(address);
    return it != m_targets.cend() && it->categories.contains(category);
}

Notifier::Hook &Notifier::hook(const QUrl &url) {
    std::shared_ptr<Hook> &h = m_hooks[url.toString()];
    if (!h) {
        h = std::make_shared<Hook>();
        h->url = url;
        h->timer = std::make_unique<QTimer>();
        h->timer->setSingleShot(true);
        Hook *raw = h.get();
        connect(h->timer.get(), &QTimer::timeout, this, [this, raw] { post(*raw); });
    }
    return *h;
}

void Notifier::notify(const QString &address, const QString &text) {
    const auto it = m_targets.constFind(address);
    if (it == m_targets.cend() || text.isEmpty()) return;
    for (const QUrl &url : it->urls) {
        Hook &h = hook(url);
        h.pending.append(text.left(MaxContent));
        while (h.pending.size() > MaxPending)
            h.pending.removeFirst();
        schedule(h);
    }
}

void Notifier::schedule(Hook &h) {
    if (h.busy || h.timer->isActive() || h.pending.isEmpty()) return;
    // A text waits a moment for others to join it, and a second since the last post.
    qint64 wait = std::max<qint64>(m_intervalMs / 2, h.lastPost + m_intervalMs - monotonicMs());
    if (h.failures > 0) // 2, 4, 8 ... 60 seconds after the last try
        wait = std::max<qint64>(wait, std::min<qint64>(60000, qint64(m_intervalMs) << h.failures) -
                                          (monotonicMs() - h.lastPost));
    h.timer->start(int(std::max<qint64>(0, wait)));
}

void Notifier::post(Hook &h) {
    if (h.busy || h.pending.isEmpty()) return;
    // Everything waiting goes in one message, as much as fits.
    QString content;
    qsizetype taken = 0;
    for (const QString &text : std::as_const(h.pending)) {
        if (!content.isEmpty() && content.size() + 1 + text.size() > MaxContent) break;
        if (!content.isEmpty()) content += QLatin1Char('\n');
        content += text;
        ++taken;
    }
    QNetworkRequest request(h.url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/json"));
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray("vexmoord"));
    request.setTransferTimeout(10000);
    const QByteArray body = QJsonDocument(QJsonObject{{QStringLiteral("content"), content}})
                                .toJson(QJsonDocument::Compact);
    h.busy = true;
    h.lastPost = monotonicMs();
    QNetworkReply *reply = m_network.post(request, body);
    Hook *raw = &h;
    connect(reply, &QNetworkReply::finished, this, [this, raw, reply, taken] {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const bool ok = reply->error() == QNetworkReply::NoError && status >= 200 && status < 300;
        if (ok) raw->pending.erase(raw->pending.begin(), raw->pending.begin() + taken);
        finished(*raw, ok, status ? QStringLiteral("HTTP %1").arg(status) : reply->errorString());
    });
}

void Notifier::finished(Hook &h, bool ok, const QString &why) {
    h.busy = false;
    if (ok) {
        h.failures = 0;
        h.told = false;
    } else {
        h.failures = std::min(h.failures + 1, 6);
        if (!h.told && log)
            log(QStringLiteral("webhook at %1 failed (%2); trying again with growing pauses")
                    .arg(h.url.host(), why));
        h.told = true;
    }
    schedule(h);
}

} // namespace web
