// The web face at full size, over HTTP on loopback: leaderboard pages and player pages with
// 20 concurrent clients, and one report line reaching 200 live pages.
//
//   bench_web --benchmark_counters_tabular=true
//
// The request benchmarks run twice: /0 with the tables still, /2 while a kill is recorded
// every 2 ms on the same event loop (500 a second, more than a full server makes), so that
// most requests are the first one after a change.
//
// The tables: 100,000 players with differing figures and 1,000,000 kill pairs (every player
// killed ten others). The server runs on this thread's event loop as in vexmoord; the clients
// are plain blocking sockets on their own threads. Counters are milliseconds per request.
#include "app/core/profilelist.h"
#include "app/headless/webadapter.h"
#include "support/testsupport.h"
#include "tablefile.h"
#include "web/webserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QTimer>
#include <arpa/inet.h>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstring>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <random>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int Players = 100000;
constexpr int PairsPerPlayer = 10;
constexpr int Clients = 20;
constexpr int RequestsPerClient = 25;
constexpr int LivePages = 200;
constexpr quint16 Port = 18095;
using Clock = std::chrono::steady_clock;

using bench_support::Field;
using bench_support::parse;
using bench_support::writeTable;

void writeTables(const QString &directory) {
    QDir().mkpath(directory);
    const auto players = parse(Statistics::PlayersFields, 17);
    writeTable(directory + "/Players.dbf", players, Players, [&](int r, int i) {
        const unsigned h = unsigned(r) * 2654435761u;
        switch (i) {
        case 4:
            return std::to_string((h % 5000) / 24.0).substr(0, 8); // TotalTime, days
        case 7:
            return std::to_string(h % 997); // Kills
        case 8:
            return std::to_string((h >> 8) % 13); // TKills
        case 9:
            return std::to_string((h >> 4) % 991); // Deaths
        case 11:
            return std::to_string((h >> 6) % 101); // Wins
        case 12:
            return std::to_string((h >> 10) % 103); // Losses
        case 14:
            return std::to_string((h >> 3) % 9973); // Score
        default:
            return bench_support::playerText(r, i, players[static_cast<std::size_t>(i)]);
        }
    });
    const auto kills = parse(Statistics::KillsFields, 20);
    writeTable(directory + "/Kills.dbf", kills, Players * PairsPerPlayer, [&](int r, int i) {
        const auto pair = bench_support::killPair(r, Players, PairsPerPlayer);
        switch (i) {
        case 0:
            return std::to_string(pair.killer);
        case 1:
            return std::to_string(pair.victim);
        case 2:
            return std::string("3");
        default:
            return std::string(i == 5 + r % 14 ? "3" : "0");
        }
    });
}

// One profile with the full tables, recording on, served on Port.
struct Site {
    Site() {
        TVexmoorServer *p =
            profiles.ServerAdd(QStringLiteral("pw"), QStringLiteral("127.0.0.1"), 28001);
        writeTables(p->directory());
        env.settings->write(p->section(), QStringLiteral("dbID"), QString::number(Players));
        p->stats().SetStatsEnabled(true);
        for (const QString &line : bench_support::connectLines(16))
            p->ClassifyLine(line);
        profile = p;
        source = makeProfileSource(profiles);
        server = std::make_unique<web::WebServer>(*source);
        if (!server->listen(QHostAddress::LocalHost, Port)) std::abort();
    }
    ~Site() {
        server.reset();
        source.reset();
        for (int i = 0; i < 3; ++i)
            profile->stats().table(i)->SaveToDisk = false;
    }
    testing_support::TempEnv env;
    testing_support::FakeDialogs dialogs;
    ServerContext context{*env.settings, dialogs};
    ProfileList profiles{context};
    TVexmoorServer *profile = nullptr;
    std::unique_ptr<web::Source> source;
    std::unique_ptr<web::WebServer> server;
};

Site &site() {
    static Site s;
    return s;
}

int connectTo() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(Port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) std::abort();
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

// One keep-alive request; false when the answer is not 200.
bool get(int fd, const std::string &path) {
    const std::string req = "GET " + path + " HTTP/1.1\r\nHost: bench\r\n\r\n";
    if (::send(fd, req.data(), req.size(), 0) < 0) return false;
    std::string in;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) return false;
        in.append(buf, std::size_t(n));
        const std::size_t end = in.find("\r\n\r\n");
        if (end == std::string::npos) continue;
        const std::size_t at = in.find("Content-Length: ");
        const std::size_t length = std::stoul(in.substr(at + 16));
        if (in.size() >= end + 4 + length) return in.compare(0, 12, "HTTP/1.1 200") == 0;
    }
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, std::size_t(p * double(v.size())))];
}

// Clients threads each send RequestsPerClient requests made by path(rng); the event loop
// serves them, and records a kill every state.range(0) milliseconds (0: none). Latencies in
// milliseconds.
template <typename Path> void load(benchmark::State &state, Path path) {
    Site &s = site();
    const std::vector<QString> lines = bench_support::killLines(16);
    std::size_t kills = 0;
    QTimer recording;
    if (state.range(0) > 0) {
        QObject::connect(&recording, &QTimer::timeout,
                         [&] { s.profile->ClassifyLine(lines[kills++ % lines.size()]); });
        recording.start(int(state.range(0)));
    }
    std::vector<double> all;
    std::mutex lock;
    std::atomic<bool> failed{false};
    // One round: every client sends its requests; record: their latencies are kept.
    auto round = [&](bool record) {
        std::atomic<int> done{0};
        std::vector<std::thread> threads;
        for (int c = 0; c < Clients; ++c)
            threads.emplace_back([&, c] {
                std::mt19937 rng(unsigned(c) * 7919u + unsigned(all.size()));
                const int fd = connectTo();
                std::vector<double> mine;
                for (int i = 0; i < RequestsPerClient; ++i) {
                    const std::string p = path(rng);
                    const auto t0 = Clock::now();
                    if (!get(fd, p)) failed = true;
                    mine.push_back(
                        std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
                }
                ::close(fd);
                std::lock_guard<std::mutex> g(lock);
                if (record) all.insert(all.end(), mine.begin(), mine.end());
                ++done;
            });
        // The event loop sleeps until a request comes; the timer wakes it to see the end.
        QTimer wake;
        wake.start(5);
        while (done < Clients)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        for (std::thread &t : threads)
            t.join();
    };
    // The tables are read once, by the first question: a first round asks it.
    round(false);
    for (auto _ : state)
        round(true);
    if (failed) state.SkipWithError("a request failed");
    state.counters["p50_ms"] = percentile(all, 0.50);
    state.counters["p99_ms"] = percentile(all, 0.99);
    state.counters["max_ms"] = percentile(all, 1.0);
    state.counters["requests"] = double(all.size());
    state.counters["players"] = s.profile->stats().PlayersTable->RecordCount();
    state.counters["kill_rows"] = s.profile->stats().KillsTable->RecordCount();
    state.counters["kills_recorded"] = double(kills);
}

const char *const Sorts[] = {"kills", "deaths", "teamKills", "score",
                             "wins",  "losses", "time",      "kd"};

void BM_Leaderboard_AnySortAnyPage(benchmark::State &state) {
    load(state, [](std::mt19937 &rng) {
        return "/api/servers/127.0.0.1:28001/leaderboard?sort=" + std::string(Sorts[rng() % 8]) +
               "&offset=" + std::to_string(rng() % (Players / 25) * 25) + "&limit=25";
    });
}
BENCHMARK(BM_Leaderboard_AnySortAnyPage)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime()
    ->Arg(0)
    ->Arg(2);

void BM_Leaderboard_NameSearch(benchmark::State &state) {
    load(state, [](std::mt19937 &rng) {
        return "/api/servers/127.0.0.1:28001/leaderboard?sort=" + std::string(Sorts[rng() % 8]) +
               "&q=layer0" + std::to_string(rng() % 100);
    });
}
BENCHMARK(BM_Leaderboard_NameSearch)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime()
    ->Arg(0)
    ->Arg(2);

void BM_PlayerPage(benchmark::State &state) {
    load(state, [](std::mt19937 &rng) {
        return "/api/servers/127.0.0.1:28001/players/" + std::to_string(rng() % Players + 1);
    });
}
BENCHMARK(BM_PlayerPage)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime()
    ->Arg(0)
    ->Arg(2);

// The first answer after a kill, in the process (no HTTP): the kill's rows are taken into the
// rankings and the player's figures.
void BM_FirstAnswerAfterAKill(benchmark::State &state, const char *path) {
    Site &s = site();
    const std::vector<QString> lines = bench_support::killLines(16);
    std::size_t n = 0;
    for (auto _ : state) {
        s.profile->ClassifyLine(lines[n++ % lines.size()]);
        const auto r = s.server->answer(QStringLiteral("GET"), path, "sort=kd&offset=500&limit=25");
        benchmark::DoNotOptimize(r.body.size());
    }
}
BENCHMARK_CAPTURE(BM_FirstAnswerAfterAKill, leaderboard, "/api/servers/127.0.0.1:28001/leaderboard")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_FirstAnswerAfterAKill, player, "/api/servers/127.0.0.1:28001/players/5")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

// A kill report line reaching LivePages open WebSockets: from the line to each page's event
// frame.
void BM_ReportToLivePages(benchmark::State &state) {
    Site &s = site();
    std::vector<int> fds;
    for (int i = 0; i < LivePages; ++i) {
        const int fd = connectTo();
        const std::string hs =
            "GET /live?server=127.0.0.1:28001 HTTP/1.1\r\nHost: bench\r\nUpgrade: websocket\r\n"
            "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
            "Sec-WebSocket-Version: 13\r\n\r\n";
        ::send(fd, hs.data(), hs.size(), 0);
        fds.push_back(fd);
        QCoreApplication::processEvents(); // accepted as they come: the backlog stays short
    }
    while (s.server->subscriberCount() < LivePages)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::atomic<long long> sentAt{0};
    std::atomic<int> arrived{0};
    std::atomic<bool> stop{false};
    std::vector<double> latencies;
    std::thread reader([&] {
        std::vector<pollfd> polls;
        for (int fd : fds)
            polls.push_back({fd, POLLIN, 0});
        std::vector<std::string> pending(fds.size());
        char buf[65536];
        while (!stop) {
            if (::poll(polls.data(), polls.size(), 20) <= 0) continue;
            for (std::size_t i = 0; i < polls.size(); ++i) {
                if (!(polls[i].revents & POLLIN)) continue;
                const ssize_t n = ::recv(fds[i], buf, sizeof buf, 0);
                if (n <= 0) continue;
                pending[i].append(buf, std::size_t(n));
                // Event frames are small: count each one seen whole.
                std::size_t at;
                while ((at = pending[i].find("\"type\":\"event\"")) != std::string::npos) {
                    pending[i].erase(0, at + 14);
                    const long long now = Clock::now().time_since_epoch().count();
                    latencies.push_back(double(now - sentAt) / 1e6);
                    ++arrived;
                }
                if (pending[i].size() > 1 << 20) pending[i].clear();
            }
        }
    });
    const std::vector<QString> lines = bench_support::killLines(16);
    std::size_t n = 0;
    int expected = 0;
    for (auto _ : state) {
        expected += LivePages;
        sentAt = Clock::now().time_since_epoch().count();
        s.profile->ClassifyLine(lines[n++ % lines.size()]);
        QTimer wake;
        wake.start(1);
        while (arrived < expected)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    stop = true;
    reader.join();
    for (int fd : fds)
        ::close(fd);
    state.counters["pages"] = LivePages;
    state.counters["p50_ms"] = percentile(latencies, 0.50);
    state.counters["p99_ms"] = percentile(latencies, 0.99);
    state.counters["max_ms"] = percentile(latencies, 1.0);
}
BENCHMARK(BM_ReportToLivePages)->Unit(benchmark::kMillisecond)->Iterations(30)->UseRealTime();

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
