// Many consoles in one vexmoord. N simulated game servers run in this process, each playing a
// random match at about ten report lines a second; one vexmoord (a child process) holds N
// profiles with statistics recording and the event log on. Reported:
//   cpu_pct      vexmoord's share of one core over the measuring window
//   rss_MiB      vexmoord's resident memory at the end; rss_KiB_per_profile = rss / N
//   p50_ms/p99_ms/max_ms  delay from a probe line sent to its events.log entry
//   lines_per_s  report lines the servers sent per second, all together
//   close_s      time from SIGTERM to exit (every table written)
//
//   bench_scale --benchmark_counters_tabular=true [--benchmark_filter=/500]
//
// BM_Consoles_Web runs vexmoord with its web on (--web 127.0.0.1:18131) and 200 live pages
// open over the measuring window, each on the server page of one profile in turn
// (live_KiB_per_s: what they received).
//
// BM_Consoles_FullTables starts every profile with tables that already hold 5,000 players,
// 20,000 kill pairs and 5,000 mission rows (about 5 MB a profile, 2.6 GB at N = 500).
//
// A probe is a player arrival ("C") with a name unique to it, sent once a second by every
// server on a reserved client id; the previous probe player leaves first. The delay is
// taken when the entry with that name appears in the profile's events.log (inotify).
#include "simserver.h"
#include "stats/statistics.h"
#include "tablefile.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <benchmark/benchmark.h>
#include <csignal>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <string_view>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int MatchPlayers = 16;
constexpr int ProbeClient = 2176;       // beyond the match's players
constexpr double EventsPerSecond = 5.2; // one to three lines each: with the probes, ten a second
constexpr int WarmupMs = 5000;
constexpr int MeasureMs = 65000; // holds the first interval commit of every profile (1 minute)

// CPU ticks (user + system) and resident kilobytes of a process.
long cpuTicks(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QByteArray line = f.readAll();
    const QList<QByteArray> parts = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return parts.size() > 12 ? parts[11].toLong() + parts[12].toLong() : 0;
}

long residentKiB(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

void pump(const std::function<bool()> &done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    QTimer tick; // wakes the wait below at least every 50 ms, so the deadline is seen
    tick.start(50);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

constexpr quint16 WebPort = 18131;

struct Results {
    double cpuPct = 0, rssKiB = 0, p50 = 0, p99 = 0, max = 0, linesPerSecond = 0, closeSeconds = 0;
    double liveKiBPerSecond = 0;
    int probesSent = 0, probesSeen = 0;
};

// One run: the servers, the daemon, the probes and the log watcher.
class ScaleRun {
public:
    explicit ScaleRun(int count, bool fullTables = false, int livePages = 0)
        : m_count(count), m_livePages(livePages), m_fullTables(fullTables) {}

    Results exec() {
        Results r;
        startServers();
        writeSettings();
        startDaemon();
        pump([this] { return m_online == m_count; }, 120000);
        if (m_online != m_count) {
            m_error = "not every profile came online";
            stopDaemon();
            return r;
        }
        if (!openLivePages()) {
            m_error = "the live pages did not open";
            stopDaemon();
            return r;
        }
        watchLogs();
        startProbes();
        pump([] { return false; }, WarmupMs);
        m_measuring = true;
        m_lines = 0;
        m_liveBytes = 0;
        const long ticks0 = cpuTicks(m_daemon.processId());
        QElapsedTimer wall;
        wall.start();
        pump([] { return false; }, MeasureMs);
        const double seconds = double(wall.elapsed()) / 1000.0;
        r.cpuPct = 100.0 * double(cpuTicks(m_daemon.processId()) - ticks0) /
                   double(sysconf(_SC_CLK_TCK)) / seconds;
        r.rssKiB = double(residentKiB(m_daemon.processId()));
        r.linesPerSecond = double(m_lines) / seconds;
        r.liveKiBPerSecond = double(m_liveBytes) / 1024.0 / seconds;
        m_measuring = false;
        for (auto &t : m_probeTimers)
            t->stop();
        // Late entries of probes sent inside the window still count.
        pump([this] { return m_pending.empty(); }, 2000);
        r.probesSent = m_sentInWindow;
        r.probesSeen = int(m_delays.size());
        if (!m_delays.empty()) {
            std::sort(m_delays.begin(), m_delays.end());
            auto at = [this](double q) {
                return m_delays[std::min(m_delays.size() - 1, size_t(q * double(m_delays.size())))];
            };
            r.p50 = at(0.50);
            r.p99 = at(0.99);
            r.max = m_delays.back();
        }
        stopReading();
        QElapsedTimer closing;
        closing.start();
        stopDaemon();
        r.closeSeconds = double(closing.elapsed()) / 1000.0;
        return r;
    }

    const char *error() const { return m_error; }

    ~ScaleRun() {
        stopReading();
        if (m_inotify >= 0) ::close(m_inotify);
        if (m_daemon.state() != QProcess::NotRunning) m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }

private:
    struct Probe {
        int server;
        qint64 sentAt;
        bool inWindow;
    };

    void startServers() {
        for (int i = 0; i < m_count; ++i) {
            sim::SimOptions o;
            o.password = QStringLiteral("secret");
            o.match = sim::MatchMode::Random;
            o.matchConfig.seed = quint32(i + 1);
            o.matchConfig.players = MatchPlayers;
            o.speed = EventsPerSecond;
            o.lineEnd = "\n";
            auto server = std::make_unique<sim::SimServer>(o);
            if (!server->listen(0)) qFatal("cannot listen");
            QObject::connect(server.get(), &sim::SimServer::sessionStarted, server.get(),
                             [this] { ++m_online; });
            QObject::connect(server.get(), &sim::SimServer::reportBroadcast, server.get(), [this] {
                if (m_measuring) ++m_lines;
            });
            m_servers.push_back(std::move(server));
        }
    }

    void writeSettings() {
        QFile ini(m_dir.filePath(QStringLiteral("config/vexmoor/Vexmoor.ini")));
        QDir().mkpath(m_dir.filePath(QStringLiteral("config/vexmoor")));
        QDir().mkpath(m_dir.filePath(QStringLiteral("data/vexmoor")));
        if (!ini.open(QIODevice::WriteOnly)) qFatal("cannot write the settings");
        ini.write("[Vexmoor]\r\nCommitInterval=1\r\n");
        for (const auto &s : m_servers) {
            ini.write(QStringLiteral("[127.0.0.1:%1]\r\nPassword=secret\r\nStats=1\r\nLog=1\r\n")
                          .arg(s->port())
                          .toLatin1());
            if (m_fullTables) {
                ini.write("dbID=5000\r\n");
                writeFullTables(
                    m_dir.filePath(QStringLiteral("data/vexmoor/127.0.0.1.%1").arg(s->port())));
            }
        }
    }

    static void writeFullTables(const QString &dir) {
        using bench_support::writeTable;
        QDir().mkpath(dir);
        using bench_support::zero;
        const auto players = bench_support::parse(Statistics::PlayersFields, 17);
        writeTable(dir + "/Players.dbf", players, 5000, [&](int r, int i) {
            if (i == 0) return "Old" + std::to_string(r + 1);
            if (i == 1) return std::to_string(r + 1);
            if (i == 5) return std::string("03/06/2024 21:00:00");
            return zero(players[std::size_t(i)]);
        });
        const auto kills = bench_support::parse(Statistics::KillsFields, 20);
        writeTable(dir + "/Kills.dbf", kills, 20000, [&](int r, int i) {
            const auto pair = bench_support::killPair(r, 5000, 4);
            if (i == 0) return std::to_string(pair.killer);
            if (i == 1) return std::to_string(pair.victim);
            return std::string(i == 2 || i == 8 ? "1" : "0");
        });
        const auto missions = bench_support::parse(Statistics::MissionsFields, 13);
        writeTable(dir + "/Missions.dbf", missions, 5000, [&](int r, int i) {
            if (i == 0) return std::to_string(r + 1);
            if (i == 1) return std::string("Mission") + std::to_string(r % 10);
            return zero(missions[std::size_t(i)]);
        });
    }

    QString logPath(int server) const {
        return m_dir.filePath(
            QStringLiteral("data/vexmoor/127.0.0.1.%1/events.log").arg(m_servers[server]->port()));
    }

    void startDaemon() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir.filePath(QStringLiteral("data")));
        m_daemon.setProcessEnvironment(env);
        m_daemon.setStandardOutputFile(QProcess::nullDevice());
        QStringList args;
        if (m_livePages > 0)
            args << QStringLiteral("--web") << QStringLiteral("127.0.0.1:%1").arg(WebPort);
        m_daemon.start(QStringLiteral(VEXMOORD_PATH), args);
        if (!m_daemon.waitForStarted()) qFatal("cannot start vexmoord");
    }

    void stopDaemon() {
        ::kill(pid_t(m_daemon.processId()), SIGTERM);
        pump([this] { return m_daemon.state() == QProcess::NotRunning; }, 120000);
    }

    // Opens the live pages as a browser does (a WebSocket on /live) and drains them on a
    // thread of their own, so that reading them does not hold up this thread's servers and log
    // watcher.
    bool openLivePages() {
        if (m_livePages == 0) return true;
        std::vector<int> fds;
        for (int i = 0; i < m_livePages; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(WebPort);
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
                if (fd >= 0) ::close(fd);
                break;
            }
            const std::string request =
                "GET /live?server=127.0.0.1:" +
                std::to_string(m_servers[size_t(i % m_count)]->port()) +
                " HTTP/1.1\r\nHost: bench\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
            if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) < 0) {
                ::close(fd);
                break;
            }
            fds.push_back(fd);
        }
        m_reader = std::thread([this, fds] {
            std::vector<pollfd> polls;
            for (int fd : fds)
                polls.push_back({fd, POLLIN, 0});
            std::vector<bool> open(fds.size(), false);
            char buffer[65536];
            while (!m_stopReading) {
                if (::poll(polls.data(), polls.size(), 50) <= 0) continue;
                for (std::size_t i = 0; i < polls.size(); ++i) {
                    if (!(polls[i].revents & POLLIN)) continue;
                    const ssize_t n = ::recv(fds[i], buffer, sizeof buffer, 0);
                    if (n <= 0) {
                        polls[i].fd = -1;
                        continue;
                    }
                    if (!open[i] &&
                        std::string_view(buffer, size_t(n)).starts_with("HTTP/1.1 101")) {
                        open[i] = true;
                        ++m_upgraded;
                    }
                    if (m_measuring) m_liveBytes += n;
                }
            }
            for (int fd : fds)
                ::close(fd);
        });
        pump([this] { return m_upgraded == m_livePages; }, 30000);
        return m_upgraded == m_livePages;
    }

    void stopReading() {
        m_stopReading = true;
        if (m_reader.joinable()) m_reader.join();
    }

    void watchLogs() {
        m_inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        for (int i = 0; i < m_count; ++i) {
            auto file = std::make_unique<QFile>(logPath(i));
            if (!file->open(QIODevice::ReadOnly)) qFatal("no events.log");
            file->seek(file->size());
            const int wd =
                inotify_add_watch(m_inotify, QFile::encodeName(logPath(i)).constData(), IN_MODIFY);
            m_byWatch[wd] = i;
            m_logs.push_back(std::move(file));
        }
        m_notifier = std::make_unique<QSocketNotifier>(m_inotify, QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                         [this] { readEvents(); });
    }

    void readEvents() {
        alignas(inotify_event) char buffer[64 * 1024];
        std::vector<int> changed;
        for (;;) {
            const ssize_t n = ::read(m_inotify, buffer, sizeof buffer);
            if (n <= 0) break;
            for (ssize_t at = 0; at < n;) {
                const auto *e = reinterpret_cast<const inotify_event *>(buffer + at);
                changed.push_back(m_byWatch[e->wd]);
                at += ssize_t(sizeof(inotify_event)) + e->len;
            }
        }
        std::sort(changed.begin(), changed.end());
        changed.erase(std::unique(changed.begin(), changed.end()), changed.end());
        const qint64 now = m_clock.nsecsElapsed();
        for (int i : changed) {
            const QByteArray added = m_logs[size_t(i)]->readAll();
            for (qsizetype at = added.indexOf("vxp"); at >= 0; at = added.indexOf("vxp", at + 3)) {
                qsizetype end = at + 3;
                while (end < added.size() && (std::isdigit(uchar(added[end])) || added[end] == 'x'))
                    ++end;
                const auto it = m_pending.find(added.mid(at, end - at));
                if (it == m_pending.end()) continue;
                if (it->second.inWindow) m_delays.push_back(double(now - it->second.sentAt) / 1e6);
                m_pending.erase(it);
            }
        }
    }

    void startProbes() {
        m_clock.start();
        for (int i = 0; i < m_count; ++i) {
            auto timer = std::make_unique<QTimer>();
            timer->setInterval(1000);
            QObject::connect(timer.get(), &QTimer::timeout, timer.get(), [this, i] { probe(i); });
            // Spread the probes over the second.
            QTimer::singleShot(1000 * i / m_count, timer.get(), [t = timer.get()] { t->start(); });
            m_probeTimers.push_back(std::move(timer));
        }
    }

    void probe(int server) {
        const int seq = m_seq[server]++;
        const QByteArray name = "vxp" + QByteArray::number(server) + 'x' + QByteArray::number(seq);
        sim::SimServer &s = *m_servers[size_t(server)];
        if (seq > 0) s.sendLine(QStringLiteral("\"D\"%1\"").arg(ProbeClient));
        m_pending[name] = {server, m_clock.nsecsElapsed(), m_measuring};
        if (m_measuring) ++m_sentInWindow;
        s.sendLine(QStringLiteral("\"C\"%1\"%2\"127.0.0.1:1\"Male\"")
                       .arg(ProbeClient)
                       .arg(QString::fromLatin1(name)));
    }

    const int m_count;
    const int m_livePages;
    QTemporaryDir m_dir;
    std::vector<std::unique_ptr<sim::SimServer>> m_servers;
    QProcess m_daemon;
    int m_online = 0;
    std::atomic<bool> m_measuring{false};
    qint64 m_lines = 0;
    const char *m_error = nullptr;

    int m_inotify = -1;
    std::map<int, int> m_byWatch;
    std::vector<std::unique_ptr<QFile>> m_logs;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::vector<std::unique_ptr<QTimer>> m_probeTimers;
    std::map<int, int> m_seq;
    std::map<QByteArray, Probe> m_pending;
    QElapsedTimer m_clock;
    int m_sentInWindow = 0;
    bool m_fullTables = false;
    std::vector<double> m_delays;
    std::thread m_reader;
    std::atomic<bool> m_stopReading{false};
    std::atomic<int> m_upgraded{0};
    std::atomic<qint64> m_liveBytes{0};
};

void Consoles(benchmark::State &state, bool fullTables, int livePages = 0) {
    const int count = int(state.range(0));
    Results r;
    for (auto _ : state) {
        ScaleRun run(count, fullTables, livePages);
        r = run.exec();
        if (run.error()) {
            state.SkipWithError(run.error());
            return;
        }
    }
    state.counters["cpu_pct"] = r.cpuPct;
    state.counters["rss_MiB"] = r.rssKiB / 1024.0;
    state.counters["rss_KiB_per_profile"] = r.rssKiB / count;
    state.counters["p50_ms"] = r.p50;
    state.counters["p99_ms"] = r.p99;
    state.counters["max_ms"] = r.max;
    state.counters["lines_per_s"] = r.linesPerSecond;
    state.counters["probes_seen_pct"] = r.probesSent ? 100.0 * r.probesSeen / r.probesSent : 0.0;
    state.counters["close_s"] = r.closeSeconds;
    if (livePages > 0) {
        state.counters["live_pages"] = livePages;
        state.counters["live_KiB_per_s"] = r.liveKiBPerSecond;
    }
}
void BM_Consoles(benchmark::State &state) {
    Consoles(state, false);
}
void BM_Consoles_FullTables(benchmark::State &state) {
    Consoles(state, true);
}
BENCHMARK(BM_Consoles)->Arg(10)->Arg(100)->Arg(500)->Iterations(1)->Unit(benchmark::kSecond);
void BM_Consoles_Web(benchmark::State &state) {
    Consoles(state, false, 200);
}
BENCHMARK(BM_Consoles_Web)->Arg(10)->Arg(100)->Arg(500)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_Consoles_FullTables)
    ->Arg(10)
    ->Arg(100)
    ->Arg(500)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char **argv) {
    // Every server has a listening and a connected socket and every profile a log watched
    // here: more descriptors than the usual soft limit. vexmoord inherits the raised limit.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
