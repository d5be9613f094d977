// Load generator: C clients, each from its own loopback address, register, join
// one channel and send M channel messages each, every message followed by a PING
// whose PONG paces the sender (the server ends a client that sends more than 768
// bytes in one burst). It reports the relayed lines delivered per second and the
// PING round-trip times, which include relaying the message to every member.
//   LoadGenerator <port> <clients> <messages per client>
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <barrier>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class TBenchClient {
  public:
    TBenchClient(uint16_t port, int index) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(0x7F000000u + 2 + index / 250 * 256 + index % 250);
        sockaddr_in server{};
        server.sin_family = AF_INET;
        server.sin_port = htons(port);
        server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) < 0 ||
            ::connect(fd_, reinterpret_cast<sockaddr*>(&server), sizeof server) < 0) {
            std::perror("connect");
            std::exit(1);
        }
    }
    ~TBenchClient() { ::close(fd_); }

    void Send(const std::string& text) {
        for (std::size_t sent = 0; sent < text.size();) {
            const auto n = ::send(fd_, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                std::exit(1);
            sent += static_cast<std::size_t>(n);
        }
    }
    // Reads lines until one contains `needle`; counts the relayed messages seen.
    void ReadUntil(const std::string& needle) {
        for (;;) {
            std::size_t end;
            while ((end = buffer_.find("\r\n", scanned_)) != std::string::npos) {
                const std::string_view line(buffer_.data() + scanned_, end - scanned_);
                scanned_ = end + 2;
                if (line.find(" PRIVMSG ") != std::string_view::npos)
                    ++Relayed;
                if (line.find(needle) != std::string_view::npos) {
                    buffer_.erase(0, scanned_);
                    scanned_ = 0;
                    return;
                }
            }
            char chunk[65536];
            const auto n = ::recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0) {
                std::fprintf(stderr, "connection closed by the server\n");
                std::exit(1);
            }
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }

    long Relayed = 0;

  private:
    int fd_;
    std::string buffer_;
    std::size_t scanned_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: LoadGenerator <port> <clients> <messages per client>\n");
        return 2;
    }
    const auto port = static_cast<uint16_t>(std::atoi(argv[1]));
    const int clients = std::atoi(argv[2]);
    const int messages = std::atoi(argv[3]);
    const std::string text(200, 'x');

    std::vector<std::vector<double>> roundTrips(clients);
    std::vector<long> relayed(clients);
    std::barrier ready(clients + 1);
    std::barrier done(clients + 1);
    std::vector<std::thread> threads;
    for (int i = 0; i < clients; ++i) {
        threads.emplace_back([&, i] {
            TBenchClient client(port, i);
            const std::string nick = "b" + std::to_string(i);
            client.Send("NICK " + nick + "\r\nUSER bench h s :bench\r\n");
            client.ReadUntil(" 376 ");
            client.Send("JOIN #bench\r\n");
            client.ReadUntil(" 366 ");
            ready.arrive_and_wait();
            for (int m = 0; m < messages; ++m) {
                const auto start = Clock::now();
                client.Send("PRIVMSG #bench :" + text + "\r\nPING x\r\n");
                client.ReadUntil(" PONG ");
                roundTrips[i].push_back(
                    std::chrono::duration<double, std::micro>(Clock::now() - start).count());
            }
            client.Send("PING last\r\n");
            client.ReadUntil(" PONG ");
            done.arrive_and_wait();  // every sender has finished: relays are in flight
            client.Send("PING drain\r\n");
            client.ReadUntil(" PONG ");
            relayed[i] = client.Relayed;
        });
    }
    ready.arrive_and_wait();
    const auto start = Clock::now();
    done.arrive_and_wait();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    for (auto& thread : threads)
        thread.join();

    std::vector<double> all;
    for (const auto& times : roundTrips)
        all.insert(all.end(), times.begin(), times.end());
    std::sort(all.begin(), all.end());
    long delivered = 0;
    for (long count : relayed)
        delivered += count;
    const auto percentile = [&](double p) {
        return all[static_cast<std::size_t>(p * (all.size() - 1))];
    };
    std::printf("clients %d, messages sent %d, relayed lines delivered %ld (expected %ld)\n",
                clients, clients * messages, delivered, long{clients} * messages * (clients - 1));
    std::printf("time %.3f s, messages %.0f/s, relayed lines %.0f/s\n", seconds,
                clients * messages / seconds, delivered / seconds);
    std::printf("round trip (message + PING) p50 %.0f us, p99 %.0f us, max %.0f us\n",
                percentile(0.5), percentile(0.99), all.back());
    return delivered == long{clients} * messages * (clients - 1) ? 0 : 1;
}
