// Robustness under bounded random traffic: several registered clients at once send
// lines of every command with plausible and hostile parameters (nickname churn, joins,
// parts and kicks, modes, Shift_JIS and control bytes, lines split over two writes,
// quits and hang-ups with reconnects). The server must keep answering every client,
// end only the connections the clients end, and keep its registry consistent.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "JapaneseTexts.h"
#include "core/ClientThread.h"
#include "tests/support/RegistryInvariants.h"
#include "tests/support/Replies.h"
#include "tests/support/TestClient.h"
#include "tests/support/TestServer.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kClientCount = 8;
constexpr uint32_t kSeed = 20240611;  // each client draws from its own generator, seeded from this
constexpr int kCommandsPerClient = 300;
constexpr auto kTrafficTimeCap = 4s;        // a slow machine stops early on this cap
constexpr std::size_t kMaxLineBytes = 600;  // a generated line without its CR LF
// Bytes sent that the server may not have read yet: below its 768-byte burst limit.
constexpr std::size_t kUnreadBudget = 760;
constexpr int kReplyTimeoutMs = 5000;
// A new connection starts with a reverse lookup of its address, which a slow resolver can
// hold up for seconds.
constexpr int kRegistrationTimeoutMs = 15000;
const std::string kKeepAlivePing = "PING :TavoServer\r\n";

// The bytes of `text` with everything outside printable ASCII written as \xNN.
std::string Printable(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string shown;
    for (const unsigned char byte : text) {
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            shown += static_cast<char>(byte);
        } else {
            shown += "\\x";
            shown += kHex[byte >> 4];
            shown += kHex[byte & 0x0F];
        }
    }
    return shown;
}

// ---- the grammar of random lines ------------------------------------------------------

std::string HomeChannel(int client) {
    return "#h" + std::to_string(client);
}

using TPool = std::vector<std::string_view>;

// Plausible values, drawn most of the time, and hostile ones.
struct TMixedPool {
    TPool Plausible, Hostile;
};

// u0..u7 are the nicknames the clients register with.
const TMixedPool kNicks = {{"u0", "u1", "u2", "u3", "u4", "u5", "u6", "u7", "Zed"},
                           {"U1", "zed", "nobody", "x", "9up", "[a]^{", "abcdefghij", "a@b", "*",
                            "", "u1,u2", ":", "-", "u2\t", "\x82\xa0\x82\xa2", ":u3", "u\x01"}};
// #h0..#h7 are the clients' home channels, which each client joins on registering.
const TMixedPool kChannels = {
    {"#a", "#b", "&c", "#A", "#h0", "#h1", "#h2", "#h3", "#h4", "#h5", "#h6", "#h7"},
    {"#d", "&E", "#f", "#", "&", "a", "#a,#b", ":#a", "#\x82\xa0",
     "#\x81\x40"
     "a",
     "#a\x01", "#\t", "&c\x81\x40", "#*"}};
const TMixedPool kKeys = {{"k", "key"}, {"K", "\x81\x40", "x,y", "*", ":k", "\x82\xa0"}};
const TMixedPool kMasks = {
    {"*!*@*", "u1!*@*", "*!~user@*", "*!*@127.0.0.3", "u2!~user@127.0.0.4"},
    {"*", "u?", "!@", "*!*@*!*@*", "\x82\xa0!*@*", "U1!~user@127.0.0.2", "*!user@*"}};
const TPool kNumbers = {"0", "1", "2", "3", "-1", "99999999999", "2147483648", "abc", "3x"};
const TPool kTextPieces = {"hello",
                           "\x82\xa0\x82\xa2\x82\xa4",
                           "\x81\x40",
                           "\x01"
                           "ACTION waves\x01",
                           "\x01VERSION\x01",
                           "tab\there",
                           "cr\rinside",
                           "lf\ninside",
                           "\x82",
                           "\x1b[31m",
                           "\x7f",
                           "%s%n%d",
                           "::",
                           ":"};
const TPool kWhoFlags = {"o", "O", "x", ""};
const TPool kPrefixes = {":u1 ", ":", ": ", ":\x82\xa0 ", ":TavoServer "};
constexpr std::string_view kModeLetters = "oOvbklimnpst";
constexpr std::string_view kModeAlphabet = "+-oOvbklimnpst x";

// One step of a client's traffic.
struct TRandomStep {
    enum class TKind { Line, Quit, HangUp };
    TKind Kind = TKind::Line;
    std::string Line;         // without CR LF; empty for a hang-up
    std::size_t SplitAt = 0;  // not 0: the line goes out in two writes, split there
};

class TRandomLines {
  public:
    TRandomLines(uint32_t seed, std::string homeChannel)
        : random_(seed), homeChannel_(std::move(homeChannel)) {}

    TRandomStep Next();

  private:
    using TParamsMaker = std::vector<std::string> (TRandomLines::*)();
    struct TCommandShape {
        std::string_view Word;
        int Weight;
        TParamsMaker Params;
    };
    static const std::vector<TCommandShape> kShapes;

    int Below(std::size_t bound) { return static_cast<int>(random_() % bound); }
    bool Chance(int percent) { return Below(100) < percent; }
    std::string Pick(const TPool& pool) { return std::string(pool[Below(pool.size())]); }
    // `count` values of `make`, count chosen in [low, high].
    std::vector<std::string> Some(int low, int high, std::string (TRandomLines::*make)());

    std::string Pick(const TMixedPool& pool) {
        return Pick(Chance(75) ? pool.Plausible : pool.Hostile);
    }
    std::string Nick() { return Pick(kNicks); }
    std::string Channel() { return Pick(kChannels); }
    std::string Key() { return Pick(kKeys); }
    std::string Mask() { return Pick(kMasks); }
    std::string Number() { return Pick(kNumbers); }
    std::string Target() { return Chance(60) ? Channel() : Nick(); }
    std::string ModeString();
    std::string ModeArgument();
    std::string LongRun();
    std::string Text();
    std::string Noise();
    std::string AnyToken();

    std::vector<std::string> NoParams() { return Some(0, 2, &TRandomLines::AnyToken); }
    std::vector<std::string> NickParams() { return Some(0, 2, &TRandomLines::Nick); }
    std::vector<std::string> UserParams();
    std::vector<std::string> JoinParams();
    std::vector<std::string> PartParams();
    std::vector<std::string> TopicParams();
    std::vector<std::string> ChannelListParams() { return Some(0, 3, &TRandomLines::Channel); }
    std::vector<std::string> InviteParams();
    std::vector<std::string> KickParams();
    std::vector<std::string> ModeParams();
    std::vector<std::string> MessageParams();
    std::vector<std::string> WhoParams();
    std::vector<std::string> WhoisParams() { return Some(0, 2, &TRandomLines::Target); }
    std::vector<std::string> IsonParams() { return Some(0, 6, &TRandomLines::Nick); }
    std::vector<std::string> AwayParams() { return Some(0, 1, &TRandomLines::Text); }

    const TCommandShape& PickShape();
    std::string QuitLine();
    std::string CommandLine(const TCommandShape& shape);
    std::string Mutated(std::string word, std::vector<std::string> params);
    void InsertLoneLineBreak(std::string& line);

    std::mt19937 random_;
    const std::string homeChannel_;  // where this client is most likely channel operator
};

const std::vector<TRandomLines::TCommandShape> TRandomLines::kShapes = {
    {"NICK", 5, &TRandomLines::NickParams},
    {"USER", 4, &TRandomLines::UserParams},
    {"QUIT", 1, nullptr},
    {"JOIN", 28, &TRandomLines::JoinParams},
    {"PART", 14, &TRandomLines::PartParams},
    {"TOPIC", 8, &TRandomLines::TopicParams},
    {"NAMES", 6, &TRandomLines::ChannelListParams},
    {"LIST", 6, &TRandomLines::ChannelListParams},
    {"INVITE", 8, &TRandomLines::InviteParams},
    {"KICK", 20, &TRandomLines::KickParams},
    {"MODE", 28, &TRandomLines::ModeParams},
    {"PRIVMSG", 16, &TRandomLines::MessageParams},
    {"NOTICE", 8, &TRandomLines::MessageParams},
    {"WHO", 6, &TRandomLines::WhoParams},
    {"WHOIS", 6, &TRandomLines::WhoisParams},
    {"ISON", 4, &TRandomLines::IsonParams},
    {"AWAY", 6, &TRandomLines::AwayParams},
    {"VERSION", 2, &TRandomLines::NoParams},
    {"PING", 4, &TRandomLines::NoParams},
    {"PONG", 4, &TRandomLines::NoParams},
    {"SUMMON", 2, &TRandomLines::NoParams},
    {"USERS", 2, &TRandomLines::NoParams},
    {"FROB", 4, &TRandomLines::NoParams},  // an unknown command
};

std::vector<std::string> TRandomLines::Some(int low, int high,
                                            std::string (TRandomLines::*make)()) {
    const int count = low + Below(static_cast<std::size_t>(high - low + 1));
    std::vector<std::string> values;
    for (int i = 0; i < count; ++i)
        values.push_back((this->*make)());
    return values;
}

// Mostly one sign and a few letters; else any mix of signs, letters and blanks.
std::string TRandomLines::ModeString() {
    const bool plausible = Chance(60);
    const std::string_view alphabet = plausible ? kModeLetters : kModeAlphabet;
    std::string modes = plausible ? (Chance(60) ? "+" : "-") : "";
    for (int length = plausible ? 1 + Below(3) : Below(9); length > 0; --length)
        modes += alphabet[Below(alphabet.size())];
    return modes;
}

std::string TRandomLines::ModeArgument() {
    switch (Below(4)) {
        case 0:
            return Nick();
        case 1:
            return Mask();
        case 2:
            return Key();
        default:
            return Number();
    }
}

std::string TRandomLines::LongRun() {
    if (Chance(50))
        return std::string(static_cast<std::size_t>(Below(400)), 'w');
    std::string run;
    for (int i = Below(200); i > 0; --i)
        run += "\x82\xa0";
    return run;
}

// A text parameter, usually trailing (":" first).
std::string TRandomLines::Text() {
    std::string text = Chance(80) ? ":" : "";
    const int pieces = Below(5);
    for (int i = 0; i < pieces; ++i) {
        if (i > 0)
            text += ' ';
        text += Chance(10) ? LongRun() : Pick(kTextPieces);
    }
    return text;
}

// 1 to 8 random bytes, never a zero byte.
std::string TRandomLines::Noise() {
    std::string bytes;
    for (int i = 1 + Below(8); i > 0; --i)
        bytes += static_cast<char>(1 + Below(255));
    return bytes;
}

std::string TRandomLines::AnyToken() {
    switch (Below(7)) {
        case 0:
            return Nick();
        case 1:
            return Channel();
        case 2:
            return Mask();
        case 3:
            return Number();
        case 4:
            return Text();
        case 5:
            return ModeString();
        default:
            return Noise();
    }
}

std::vector<std::string> TRandomLines::UserParams() {
    auto params = Some(0, 4, &TRandomLines::AnyToken);
    params.push_back(Text());
    return params;
}

std::vector<std::string> TRandomLines::JoinParams() {
    auto params = Some(1, 4, &TRandomLines::Channel);
    if (Chance(25)) {
        for (auto& key : Some(1, 2, &TRandomLines::Key))
            params.push_back(key);
    }
    return params;
}

std::vector<std::string> TRandomLines::PartParams() {
    auto params = Some(1, 3, &TRandomLines::Channel);
    if (Chance(30))
        params.push_back(Text());
    return params;
}

std::vector<std::string> TRandomLines::TopicParams() {
    std::vector<std::string> params{Channel()};
    if (Chance(60))
        params.push_back(Text());
    return params;
}

std::vector<std::string> TRandomLines::InviteParams() {
    std::vector<std::string> params{Nick()};
    if (Chance(90))
        params.push_back(Channel());
    return params;
}

std::vector<std::string> TRandomLines::KickParams() {
    std::vector<std::string> params{Chance(50) ? homeChannel_ : Channel()};
    if (Chance(90))
        params.push_back(Nick());
    if (Chance(40))
        params.push_back(Text());
    return params;
}

std::vector<std::string> TRandomLines::ModeParams() {
    std::vector<std::string> params{Chance(30) ? homeChannel_ : Chance(60) ? Channel() : Nick()};
    if (Chance(85))
        params.push_back(ModeString());
    for (auto& argument : Some(0, 4, &TRandomLines::ModeArgument))
        params.push_back(argument);
    return params;
}

std::vector<std::string> TRandomLines::MessageParams() {
    std::vector<std::string> params{Chance(10) ? Target() + "," + Target() : Target()};
    if (Chance(90))
        params.push_back(Text());
    return params;
}

std::vector<std::string> TRandomLines::WhoParams() {
    std::vector<std::string> params;
    if (Chance(80))
        params.push_back(Chance(50) ? Mask() : Target());
    if (Chance(30))
        params.push_back(Pick(kWhoFlags));
    return params;
}

const TRandomLines::TCommandShape& TRandomLines::PickShape() {
    int total = 0;
    for (const auto& shape : kShapes)
        total += shape.Weight;
    int roll = Below(static_cast<std::size_t>(total));
    for (const auto& shape : kShapes) {
        if (roll < shape.Weight)
            return shape;
        roll -= shape.Weight;
    }
    return kShapes.back();
}

// A QUIT with at most one parameter: always dispatched as QUIT, so it always ends the
// connection.
std::string TRandomLines::QuitLine() {
    switch (Below(3)) {
        case 0:
            return "QUIT";
        case 1:
            return "QUIT " + Pick(kTextPieces);
        default:
            return "QUIT :" + Pick(kTextPieces) + " " + Pick(kTextPieces);
    }
}

// A lone CR or LF at a random place; never CR LF, which would split the line.
void TRandomLines::InsertLoneLineBreak(std::string& line) {
    const std::size_t place = static_cast<std::size_t>(Below(line.size() + 1));
    const char lineBreak = Chance(50) ? '\r' : '\n';
    line.insert(place, 1, lineBreak);
}

std::string TRandomLines::Mutated(std::string word, std::vector<std::string> params) {
    if (Chance(10)) {
        for (auto& letter : word)
            letter = Chance(50) ? static_cast<char>(std::tolower(letter)) : letter;
    }
    if (Chance(8)) {
        params.resize(static_cast<std::size_t>(Below(17)));
        for (auto& param : params) {
            if (param.empty())
                param = AnyToken();
        }
    }
    std::string line = Chance(5) ? Pick(kPrefixes) : "";
    line += Chance(5) ? "   " + word : word;
    for (const auto& param : params)
        line += (Chance(5) ? "  " : " ") + param;
    if (Chance(5))
        line += Chance(50) ? " :" : " ";
    if (Chance(8))
        InsertLoneLineBreak(line);
    return line;
}

std::string TRandomLines::CommandLine(const TCommandShape& shape) {
    std::string line =
        Chance(2) ? Noise() : Mutated(std::string(shape.Word), (this->*shape.Params)());
    if (line.size() > kMaxLineBytes)
        line.resize(kMaxLineBytes);
    // A CR LF put together by two pieces would split the line: the LF becomes an "n".
    for (std::size_t at = line.find("\r\n"); at != std::string::npos; at = line.find("\r\n"))
        line[at + 1] = 'n';
    return line;
}

TRandomStep TRandomLines::Next() {
    const TCommandShape& shape = PickShape();
    if (shape.Params == nullptr) {
        return Chance(30) ? TRandomStep{TRandomStep::TKind::HangUp, "", 0}
                          : TRandomStep{TRandomStep::TKind::Quit, QuitLine(), 0};
    }
    TRandomStep step{TRandomStep::TKind::Line, CommandLine(shape), 0};
    if (Chance(10))
        step.SplitAt = static_cast<std::size_t>(Below(step.Line.size() + 2));
    return step;
}

// ---- one client of the traffic -------------------------------------------------------

TSettings TrafficSettings() {
    TSettings settings;
    settings.MaxConnection = 3 * kClientCount;  // room for connections still ending
    settings.PingInterval = 1;                  // keep-alive PINGs arrive during the traffic
    return settings;
}

TConnectionTimings TrafficTimings() {
    TConnectionTimings timings;
    timings.WaitForDataMs = 100;  // idle connections check their keep-alive often
    return timings;
}

class TRandomClient {
  public:
    TRandomClient(TTestServer& server, int index)
        : server_(server),
          index_(index),
          address_("127.0.0." + std::to_string(2 + index)),
          lines_(kSeed + 7919u * static_cast<uint32_t>(index), HomeChannel(index)) {}

    int Quits() const { return quits_; }
    int HangUps() const { return hangUps_; }

    // Sends up to kCommandsPerClient random lines, stopping early at the deadline or at
    // the first fault.
    void RunTraffic(Clock::time_point deadline) {
        for (int sent = 0; sent < kCommandsPerClient && Clock::now() < deadline && !failed_;
             ++sent) {
            const TRandomStep step = lines_.Next();
            switch (step.Kind) {
                case TRandomStep::TKind::Quit:
                    QuitAndReconnect(step.Line);
                    break;
                case TRandomStep::TKind::HangUp:
                    HangUpAndReconnect();
                    break;
                case TRandomStep::TKind::Line:
                    if (unread_ + step.Line.size() + 2 + kSyncLineBytes > kUnreadBudget ||
                        syncCountdown_-- <= 0)
                        Sync();
                    SendLine(step.Line, step.SplitAt);
                    break;
            }
        }
        if (!failed_)
            Sync();
    }

    // Answers the server's keep-alive PINGs until `count` reaches the number of clients.
    void KeepAliveUntil(const std::atomic<int>& count, Clock::time_point deadline) {
        while (!failed_ && count.load() < kClientCount && Clock::now() < deadline)
            Sync(50);
    }

    // A PING is answered by a PONG, after anything the traffic left to read.
    void ExpectPongToPing() {
        if (failed_ || !Sync())
            return;
        client_->Send("PING final");
        for (auto line = client_->ReadLine(kReplyTimeoutMs); line;
             line = client_->ReadLine(kReplyTimeoutMs)) {
            if (*line != kKeepAlivePing) {
                EXPECT_EQ(*line, kPong) << "client " << index_;
                return;
            }
            client_->Send("PONG :TavoServer");
        }
        Fail("no PONG to the final PING");
    }

    // Connects and registers as u<index>, or under a name of its own when another user
    // has taken that; then joins the home channel.
    void Register() {
        client_ = std::make_unique<TTestClient>(server_.Port(), address_);
        // Each write goes out at once, so a line split in two mostly arrives in two reads.
        const int on = 1;
        setsockopt(client_->Fd(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        unread_ = 0;
        syncCountdown_ = 0;
        SendLine("NICK u" + std::to_string(index_));
        SendLine("USER user host server :Random Traffic");
        for (auto line = client_->ReadLine(kRegistrationTimeoutMs); line;
             line = client_->ReadLine(kRegistrationTimeoutMs)) {
            if (line->starts_with(":TavoServer 433 "))
                SendLine("NICK r" + std::to_string(index_) + "n" +
                         std::to_string(quits_ + hangUps_));
            if (line->starts_with(":TavoServer 376 ")) {
                unread_ = 0;
                SendLine("JOIN " + HomeChannel(index_));
                return;
            }
        }
        Fail("registration did not end with the message of the day" +
             std::string(client_->WaitClosed(0) ? " (connection closed)" : ""));
    }

  private:
    static constexpr std::size_t kSyncLineBytes = 16;  // "SYNC" + number + CR LF

    // Sends the line with its CR LF; in two writes when splitAt is not 0.
    void SendLine(const std::string& line, std::size_t splitAt = 0) {
        Remember(line);
        const std::string bytes = line + "\r\n";
        if (splitAt > 0 && splitAt < bytes.size()) {
            client_->SendRaw(std::string_view(bytes).substr(0, splitAt));
            client_->SendRaw(std::string_view(bytes).substr(splitAt));
        } else {
            client_->SendRaw(bytes);
        }
        unread_ += bytes.size();
    }

    void Remember(const std::string& step) {
        history_.push_back(step);
        if (history_.size() > 40)
            history_.pop_front();
    }

    // Sends an unknown command with a unique word and reads until the server names it:
    // then the server has read everything sent so far. Answers keep-alive PINGs.
    bool Sync(int quietMs = 0) {
        const std::string word = "SYNC" + std::to_string(++syncs_);
        SendLine(word);
        const std::string expectedTail = " " + word + " :";
        bool pingArrived = false;
        for (auto line = client_->ReadLine(kReplyTimeoutMs); line;
             line = client_->ReadLine(kReplyTimeoutMs)) {
            pingArrived = pingArrived || *line == kKeepAlivePing;
            if (line->starts_with(":TavoServer 421 ") &&
                line->find(expectedTail) != std::string::npos) {
                unread_ = 0;
                syncCountdown_ = 2 + static_cast<int>(syncs_ % 7);
                if (pingArrived)
                    SendLine("PONG :TavoServer");
                if (quietMs > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(quietMs));
                return true;
            }
        }
        Fail("no answer to " + word + (client_->WaitClosed(0) ? " (connection closed)" : ""));
        return false;
    }

    void QuitAndReconnect(const std::string& quitLine) {
        SendLine(quitLine);
        ++quits_;
        if (!client_->WaitClosed(kReplyTimeoutMs)) {
            Fail("QUIT did not end the connection");
            return;
        }
        const auto lines = client_->Drain(0);
        if (lines.empty() || !lines.back().starts_with("ERROR :ClosingLink: ")) {
            Fail("QUIT ended without a closing error, last line: " +
                 Printable(lines.empty() ? "" : lines.back()));
            return;
        }
        Reconnect();
    }

    // Closes the socket without a word.
    void HangUpAndReconnect() {
        Remember("(hang up)");
        ++hangUps_;
        client_.reset();
        Reconnect();
    }

    // Connects again once the server has removed the old connection's record.
    void Reconnect() {
        if (!WaitUntilRecordIsGone()) {
            Fail("the user record outlived its connection");
            return;
        }
        Register();
    }

    bool WaitUntilRecordIsGone() {
        const auto deadline = Clock::now() + std::chrono::milliseconds(kReplyTimeoutMs);
        while (Clock::now() < deadline) {
            if (!HasRecordFromMyAddress())
                return true;
            std::this_thread::sleep_for(2ms);
        }
        return false;
    }

    bool HasRecordFromMyAddress() {
        TClientData& registry = server_.Core().Registry;
        std::lock_guard lock(registry.Lock);
        for (int i = 0; i < registry.Users.Count(); ++i) {
            if (registry.Users.At(i)->Host == address_)
                return true;
        }
        return false;
    }

    void Fail(const std::string& what) {
        failed_ = true;
        std::ostringstream sent;
        for (const auto& line : history_)
            sent << "  " << Printable(line) << "\n";
        ADD_FAILURE() << "client " << index_ << " (" << address_ << "): " << what
                      << "\nlast lines it sent:\n"
                      << sent.str();
    }

    TTestServer& server_;
    const int index_;
    const std::string address_;
    TRandomLines lines_;
    std::unique_ptr<TTestClient> client_;
    std::deque<std::string> history_;
    std::size_t unread_ = 0;
    int syncCountdown_ = 0;
    unsigned syncs_ = 0;
    int quits_ = 0;
    int hangUps_ = 0;
    bool failed_ = false;
};

// ---- the server, with the connections that are live -------------------------------------

// The test server, knowing which connections have started and not yet ended, so that
// the registry check can tell a record of an ended connection.
class TTrafficServer : public TTestServer {
  public:
    using TTestServer::TTestServer;
    // Every connection has ended before this object starts to go.
    ~TTrafficServer() override { Stop(); }

    void NotifyLogin(TClientThread& connection) override {
        std::lock_guard guard(mutex_);
        live_.insert(&connection);
    }
    void NotifyLogout(TClientThread& connection) override {
        {
            std::lock_guard guard(mutex_);
            live_.erase(&connection);
        }
        TTestServer::NotifyLogout(connection);
    }
    std::set<const TConnection*> LiveConnections() {
        std::lock_guard guard(mutex_);
        return live_;
    }

  private:
    std::mutex mutex_;
    std::set<const TConnection*> live_;
};

int UserCount(TClientData& registry) {
    std::lock_guard lock(registry.Lock);
    return registry.Users.Count();
}

// ---- the test ---------------------------------------------------------------------------

TEST(RandomTraffic, EveryClientKeepsGettingAnswersAndTheRegistryStaysConsistent) {
    TTrafficServer server(TrafficSettings(), TrafficTimings());
    std::vector<std::unique_ptr<TRandomClient>> clients;
    for (int i = 0; i < kClientCount; ++i)
        clients.push_back(std::make_unique<TRandomClient>(server, i));

    // Every client registers before any traffic, so that no random NICK takes a
    // nickname its client has not registered yet.
    std::atomic<int> registered{0};
    std::atomic<int> finished{0};
    {
        std::vector<std::jthread> threads;
        for (auto& client : clients) {
            threads.emplace_back([&registered, &finished, &traffic = *client] {
                traffic.Register();
                ++registered;
                traffic.KeepAliveUntil(registered, Clock::now() + 30s);
                const auto deadline = Clock::now() + kTrafficTimeCap;
                traffic.RunTraffic(deadline);
                ++finished;
                traffic.KeepAliveUntil(finished, deadline + 30s);
                traffic.ExpectPongToPing();
            });
        }
    }

    EXPECT_THAT(RegistryFaults(server.Core().Registry, server.LiveConnections()),
                testing::IsEmpty());
    EXPECT_EQ(UserCount(server.Core().Registry), kClientCount) << "one record per client";
    int quits = 0;
    int hangUps = 0;
    for (const auto& client : clients) {
        quits += client->Quits();
        hangUps += client->HangUps();
    }
    const auto ended = static_cast<std::size_t>(quits + hangUps);
    EXPECT_GT(ended, 0u) << "the traffic reconnects some clients";
    server.WaitForEndedConnections(ended, 2000);
    const auto reasons = server.CloseReasons();
    ASSERT_EQ(reasons.size(), ended) << "only QUIT and hang-ups end connections";
    EXPECT_EQ(std::count(reasons.begin(), reasons.end(), ""), quits) << "QUIT leaves no reason";
    const std::vector<std::string> hangUpReasons{std::string(Texts::CloseEndOfStream),
                                                 std::string(Texts::CloseReadError)};
    for (const auto& reason : reasons) {
        if (!reason.empty()) {
            EXPECT_THAT(hangUpReasons, testing::Contains(reason)) << Printable(reason);
        }
    }
    // A write can fail only towards a client that hung up, at most once per connection.
    EXPECT_LE(server.ShownErrors().size(), static_cast<std::size_t>(hangUps));
}

}  // namespace
