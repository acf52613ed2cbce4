#include "app/headless/webnotify.h"

#include "app/core/profilelist.h"
#include "app/headless/webadapter.h"
#include "platform/settingsstore.h"
#include "web/notifier.h"
#include "web/source.h"

#include <QHash>
#include <cstdio>

std::unique_ptr<web::Notifier> startNotifications(platform::SettingsStore &settings,
                                                  ProfileList &profiles,
                                                  std::unique_ptr<web::Source> &source) {
    auto notifier = std::make_unique<web::Notifier>();
    notifier->log = [](const QString &text) {
        std::fprintf(stderr, "vexmoord: %s\n", qPrintable(text));
        std::fflush(stderr);
    };
    bool any = false;
    for (int i = 0; i < profiles.count(); ++i) {
        const QString section = profiles.at(i)->section();
        QList<QUrl> urls;
        QSet<int> categories;
        for (const auto &[key, value] : settings.pairs(section)) {
            if (key.compare(QLatin1String("Notify"), Qt::CaseInsensitive) == 0) {
                const QUrl url(value.trimmed(), QUrl::StrictMode);
                if (url.isValid() && (url.scheme() == QLatin1String("https") ||
                                      url.scheme() == QLatin1String("http")))
                    urls.append(url);
                else
                    notifier->log(QStringLiteral("%1: Notify= is not an http(s) URL").arg(section));
            } else if (key.compare(QLatin1String("NotifyCategories"), Qt::CaseInsensitive) == 0) {
                for (const QString &c : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                    bool ok = false;
                    const int n = c.trimmed().toInt(&ok);
                    if (ok && n >= 0 && n <= 6) categories.insert(n);
                }
            }
        }
        if (urls.isEmpty()) continue;
        notifier->setTargets(section, urls, categories);
        any = true;
    }
    if (!any) return nullptr;
    if (!source) source = makeProfileSource(profiles);

    web::Notifier *n = notifier.get();
    const auto name = [&profiles](const QString &address) {
        for (int i = 0; i < profiles.count(); ++i)
            if (profiles.at(i)->section() == address) return ProfileList::listName(*profiles.at(i));
        return address;
    };
    // The newest entry of each profile: a match result is the entry its report logged.
    auto last = std::make_shared<QHash<QString, QString>>();
    QObject::connect(source.get(), &web::Source::eventAdded, n,
                     [n, last, name](const QString &address, const web::EventInfo &e) {
                         (*last)[address] = e.text;
                         if (n->wants(address, e.category))
                             n->notify(address, name(address) + QStringLiteral(": ") + e.text);
                     });
    for (int i = 0; i < profiles.count(); ++i) {
        TVexmoorServer *p = profiles.at(i);
        if (!n->hasTargets(p->section())) continue;
        QObject::connect(p, &TVexmoorServer::reportHandled, n, [n, p, last, name] {
            if (p->Report.FieldCount == 0 || p->Report.code() != QLatin1Char('S')) return;
            const QString address = p->section();
            if (!n->wants(address, 0)) // category 0 posts it already
                n->notify(address, name(address) + QStringLiteral(": ") + last->value(address));
        });
    }
    // Down after having been online, back up after having been down.
    auto online = std::make_shared<QHash<QString, int>>(); // 1 online, 2 down
    QObject::connect(
        &profiles, &ProfileList::stateChanged, n,
        [n, online](TVexmoorServer *p, const QString &state) {
            const QString address = p->section();
            int &was = (*online)[address];
            if (state == QLatin1String("Online")) {
                if (was == 2)
                    n->notify(address, ProfileList::listName(*p) + QStringLiteral(" is back up."));
                was = 1;
            } else if (state == QLatin1String("Offline") && was == 1) {
                n->notify(address, ProfileList::listName(*p) + QStringLiteral(" is down."));
                was = 2;
            }
        });
    return notifier;
}
