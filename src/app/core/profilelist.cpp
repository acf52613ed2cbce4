#include "app/core/profilelist.h"

#include "app/core/settings.h"
#include "platform/dialogs.h"
#include "platform/paths.h"
#include "platform/settingsstore.h"

#include <QDir>
#include <algorithm>

ProfileList::ProfileList(ServerContext &context, QObject *parent)
    : QObject(parent), m_context(context) {
    // Settings changes are written at once; a write that fails is told to the operator.
    m_context.Settings.reportFailuresTo(&m_context.Dialogs);
    m_timer1.setInterval(Timer1Interval);
    m_restartTimer.setInterval(RestartInterval);
    m_tableTimer.setInterval(30 * 60000);
    connect(&m_timer1, &QTimer::timeout, this, &ProfileList::Timer1Tick);
    connect(&m_tableTimer, &QTimer::timeout, this, &ProfileList::TableTimerTick);
    connect(&m_restartTimer, &QTimer::timeout, this, &ProfileList::RestartTimerTick);
    // A commit round writes one profile's tables per event-loop turn, so that the lines of
    // the other profiles are handled in between.
    m_commitStep.setInterval(0);
    connect(&m_commitStep, &QTimer::timeout, this, &ProfileList::commitNext);
    m_timer1.start();
    m_tableTimer.start();
    m_restartTimer.start();
}

ProfileList::~ProfileList() {
    m_context.Settings.reportFailuresTo(nullptr);
}

TVexmoorServer *ProfileList::at(int index) const {
    return index >= 0 && index < count() ? m_profiles[static_cast<size_t>(index)].get() : nullptr;
}

int ProfileList::indexOf(const TVexmoorServer *profile) const {
    for (int i = 0; i < count(); ++i)
        if (at(i) == profile) return i;
    return -1;
}

TVexmoorServer *ProfileList::ServerAdd(const QString &password, const QString &ip, int port) {
    auto profile = std::make_unique<TVexmoorServer>(password, ip, port, m_context);
    TVexmoorServer *p = profile.get();
    connect(p, &TVexmoorServer::listNameChanged, this, [this, p] { emit listNameChanged(p); });
    connect(p, &TVexmoorServer::stateChanged, this,
            [this, p](const QString &state) { emit stateChanged(p, state); });
    m_profiles.push_back(std::move(profile));
    emit profileAdded(p);
    return p;
}

bool ProfileList::remove(int index) {
    TVexmoorServer *p = at(index);
    if (!p || p->isConnected()) return false;
    if (p->View) p->DetachView();
    Deltree(p->directory(), platform::dataDir());
    m_context.Settings.eraseSection(p->section());
    emit profileRemoved(p);
    std::erase(m_commitQueue, p);
    m_profiles.erase(m_profiles.begin() + index);
    return true;
}

QString hostProblem(const QString &host) {
    if (host.isEmpty()) return QStringLiteral("the host is empty");
    const bool control = std::any_of(
        host.cbegin(), host.cend(), [](QChar c) { return c.unicode() < 32 || c.unicode() == 127; });
    if (control || host.contains(QLatin1Char('/')) || host.contains(QLatin1Char('\\')) ||
        host.contains(QLatin1String("..")) || host.contains(QLatin1Char('[')) ||
        host.contains(QLatin1Char(']')) || host.contains(QLatin1Char(':')))
        return QStringLiteral("the host may not hold a path separator, \"..\", a bracket, a "
                              "colon or a control character");
    return {};
}

void ProfileList::ReadServers() {
    const platform::SettingsStore::Batch batch(m_context.Settings);
    ::ReadServers(m_context.Settings, [this](const QString &password, const QString &ip, int port) {
        if (const QString problem = hostProblem(ip); !problem.isEmpty()) {
            QString shown = ip;
            for (QChar &c : shown)
                if (c.unicode() < 32 || c.unicode() == 127) c = QLatin1Char('?');
            m_context.Dialogs.message(
                platform::Dialogs::Icon::Warning,
                QStringLiteral("The settings section [%1:%2] was skipped: %3.")
                    .arg(shown)
                    .arg(port)
                    .arg(problem));
            return;
        }
        ServerAdd(password, ip, port);
    });
}

QString ProfileList::listName(const TVexmoorServer &profile) {
    const QString &name = profile.prefs().Vars.HostName;
    return name.isEmpty() ? profile.section() : name;
}

QString ProfileList::distinctName(const TVexmoorServer &profile) const {
    const QString name = listName(profile);
    for (const auto &other : m_profiles) {
        if (other.get() != &profile && listName(*other) == name)
            return name + QStringLiteral(" (") + profile.section() + QLatin1Char(')');
    }
    return name;
}

void ProfileList::setCommitInterval(int minutes) {
    if (minutes <= 0) {
        m_tableTimer.stop();
        return;
    }
    m_tableTimer.start(std::min(minutes, MaxCommitInterval) * 60000);
}

void ProfileList::closeAll() {
    m_commitStep.stop();
    m_commitQueue.clear();
    for (auto &p : m_profiles)
        p->stats().CloseTables();
}

void ProfileList::Timer1Tick() {
    for (auto &p : m_profiles)
        p->Timer1Tick();
}

void ProfileList::TableTimerTick() {
    // A round still under way goes on; profiles already queued are not queued twice.
    for (auto &p : m_profiles)
        if (std::find(m_commitQueue.begin(), m_commitQueue.end(), p.get()) == m_commitQueue.end())
            m_commitQueue.push_back(p.get());
    m_commitStep.start();
}

void ProfileList::commitNext() {
    if (m_commitQueue.empty()) {
        m_commitStep.stop();
        return;
    }
    TVexmoorServer *p = m_commitQueue.front();
    m_commitQueue.pop_front();
    p->stats().CommitTables();
    if (m_commitQueue.empty()) m_commitStep.stop();
}

void ProfileList::RestartTimerTick() {
    for (auto &p : m_profiles)
        p->RestartTick();
}

namespace {
// Deletes what is below dir (a real directory, not a link) and then dir itself. Links are
// removed as links: nothing they point to is touched.
void deleteBelow(const QString &dir) {
    const auto entries = QDir(dir).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                                 QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        if (entry.isDir() && !entry.isSymLink())
            deleteBelow(entry.absoluteFilePath());
        else
            QFile::remove(entry.absoluteFilePath());
    }
    QDir().rmdir(dir);
}
} // namespace

bool Deltree(const QString &directory, const QString &root) {
    // The directory's own place, with every link above it resolved, must lie below root.
    const QFileInfo info(directory);
    const QString name = info.fileName();
    const QString parent = QFileInfo(info.absolutePath()).canonicalFilePath();
    const QString base = QFileInfo(root).canonicalFilePath();
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") ||
        parent.isEmpty() || base.isEmpty() ||
        (parent != base && !parent.startsWith(base + QLatin1Char('/'))))
        return false;
    const QString place = parent + QLatin1Char('/') + name;
    const QFileInfo target(place);
    if (target.isSymLink()) return QFile::remove(place); // the link only
    if (!target.isDir()) return false;
    deleteBelow(place);
    return !QFileInfo::exists(place);
}

QString ProfileList::addressConflict(const QString &ip, int port,
                                     const TVexmoorServer *except) const {
    for (const auto &p : m_profiles) {
        if (p.get() != except && p->Host == ip && p->Port == port)
            return QStringLiteral("Another profile already uses the address %1:%2.")
                .arg(ip)
                .arg(port);
    }
    return QString();
}
