// A small NTRIP caster on 127.0.0.1 for the tests of the NTRIP client: one
// mountpoint behind basic authentication, answered as a version 1 caster
// ("ICY 200 OK") or a version 2 one, raw or chunked; a request for any other
// mountpoint gets the sourcetable. It records every request and every byte
// the client sends after its request (the GGA sentences). It can misbehave:
// hang up right after answering, or send a sourcetable that never ends.
#pragma once

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "loopback.h"

namespace TolvarRT::testing {

class CNtripCaster {
public:
    enum class Version { One, Two, TwoChunked };

    struct sConfig {
        Version version = Version::Two;
        std::string mountpoint = "RTCM3";
        std::string user;  // empty: no authentication asked
        std::string password;
        // The STR; lines of the sourcetable, each ending in "\r\n".
        std::string table =
            "STR;RTCM3;Town;RTCM 3.2;;2;GPS;NET;DEU;50.0;8.0;0;0;x;none;B;N;9600;\r\n"
            "STR;VRS;Town;RTCM 3.2;;2;GPS;NET;DEU;50.0;8.0;1;1;x;none;B;N;9600;\r\n";
        // The stream's answer is sent and the connection closed at once.
        bool hangUpAfterAnswer = false;
        // The sourcetable goes on with STR;M0, STR;M1 ... until the client leaves.
        bool endlessTable = false;
    };

    ~CNtripCaster() { Stop(); }

    bool Start(sConfig newConfig)
    {
        config = std::move(newConfig);
        listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address = Loopback(0);
        if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, 8) != 0 ||
            pipe2(wake, O_CLOEXEC) != 0)
            return false;
        port = BoundPort(listener);
        worker = std::thread([this] { Run(); });
        return true;
    }
    std::uint16_t Port() const { return port; }

    // Goes to the streaming client now, or to the next one that streams.
    void Send(const std::string& bytes) { Queue(bytes, false); }
    // Without the chunk framing: for framing cut short.
    void SendRaw(const std::string& bytes) { Queue(bytes, true); }
    // Ends the current connection, as a caster that restarts does.
    void DropConnection()
    {
        {
            std::lock_guard<std::mutex> guard(lock);
            dropRequested = true;
        }
        Wake();
    }

    // From now on the stream's answer is followed by a hang-up, or not.
    void HangUpAfterAnswer(bool hangUp)
    {
        std::lock_guard<std::mutex> guard(lock);
        config.hangUpAfterAnswer = hangUp;
    }

    // From now on every request gets the sourcetable.
    void WithdrawMountpoint()
    {
        std::lock_guard<std::mutex> guard(lock);
        config.mountpoint.clear();
    }

    std::vector<std::string> Requests()
    {
        std::lock_guard<std::mutex> guard(lock);
        return requests;
    }
    // Connections that got the stream.
    unsigned Streams()
    {
        std::lock_guard<std::mutex> guard(lock);
        return streams;
    }
    std::string Upstream()
    {
        std::lock_guard<std::mutex> guard(lock);
        return upstream;
    }

    void Stop()
    {
        if (worker.joinable()) {
            {
                std::lock_guard<std::mutex> guard(lock);
                stopping = true;
            }
            Wake();
            worker.join();
        }
        for (int* fd : {&connection, &listener, &wake[0], &wake[1]}) {
            if (*fd >= 0)
                close(*fd);
            *fd = -1;
        }
    }

    static std::string Base64(const std::string& text)
    {
        static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::string out;
        int value = 0;
        int bits = -6;
        for (unsigned char c : text) {
            value = (value << 8) + c;
            bits += 8;
            while (bits >= 0) {
                out += digits[(value >> bits) & 0x3F];
                bits -= 6;
            }
        }
        if (bits > -6)
            out += digits[((value << 8) >> (bits + 8)) & 0x3F];
        while (out.size() % 4 != 0)
            out += '=';
        return out;
    }

private:
    void Queue(const std::string& bytes, bool raw)
    {
        {
            std::lock_guard<std::mutex> guard(lock);
            outgoing.emplace_back(raw, bytes);
        }
        Wake();
    }

    void Wake()
    {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = write(wake[1], &byte, 1);
    }

    void Put(const std::string& bytes)
    {
        if (connection >= 0)
            send(connection, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }

    // Blocks the caster thread until the client stops reading and closes.
    void PutEndlessTable()
    {
        for (unsigned first = 0;; first += 100) {
            std::string lines;
            for (unsigned i = first; i < first + 100; ++i)
                lines +=
                    "STR;M" + std::to_string(i) + ";Town;RTCM 3.2;;2;GPS;NET;DEU;50.0;8.0;0;0;x;none;B;N;9600;\r\n";
            if (send(connection, lines.data(), lines.size(), MSG_NOSIGNAL) < 0)
                return;
            std::lock_guard<std::mutex> guard(lock);
            if (stopping)
                return;
        }
    }

    void Hangup()
    {
        if (connection >= 0)
            close(connection);
        connection = -1;
        streaming = false;
        request.clear();
    }

    void Answer()
    {
        const std::size_t end = request.find("\r\n\r\n");
        const std::string head = request.substr(0, end + 4);
        const std::string rest = request.substr(end + 4);
        const bool two = config.version != Version::One;
        {
            std::lock_guard<std::mutex> guard(lock);
            requests.push_back(head);
        }
        std::string mountpoint;
        bool hangUp;
        {
            std::lock_guard<std::mutex> guard(lock);
            mountpoint = config.mountpoint;
            hangUp = config.hangUpAfterAnswer;
        }
        const bool rightMount = head.rfind("GET /" + mountpoint + " ", 0) == 0 && !mountpoint.empty();
        const bool authorised =
            config.user.empty() || head.find("Authorization: Basic " + Base64(config.user + ":" + config.password) +
                                             "\r\n") != std::string::npos;
        if (!rightMount) {
            Put(two ? "HTTP/1.1 200 OK\r\nNtrip-Version: Ntrip/2.0\r\nContent-Type: gnss/sourcetable\r\n\r\n"
                    : "SOURCETABLE 200 OK\r\nContent-Type: text/plain\r\n\r\n");
            if (config.endlessTable)
                PutEndlessTable();
            else
                Put(config.table + "ENDSOURCETABLE\r\n");
            Hangup();
            return;
        }
        if (!authorised) {
            Put("HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"/" + config.mountpoint + "\"\r\n\r\n");
            Hangup();
            return;
        }
        if (!two)
            Put("ICY 200 OK\r\n");
        else
            Put(std::string("HTTP/1.1 200 OK\r\nNtrip-Version: Ntrip/2.0\r\nContent-Type: gnss/data\r\n") +
                (config.version == Version::TwoChunked ? "Transfer-Encoding: chunked\r\n" : "") + "\r\n");
        if (hangUp) {
            Hangup();
            std::lock_guard<std::mutex> guard(lock);
            ++streams;
            return;
        }
        streaming = true;
        std::lock_guard<std::mutex> guard(lock);
        ++streams;
        upstream += rest;
    }

    void Flush()
    {
        std::deque<std::pair<bool, std::string>> now;
        {
            std::lock_guard<std::mutex> guard(lock);
            // What was sent after the drop goes to the next connection.
            if (dropRequested)
                Hangup();
            dropRequested = false;
            if (streaming)
                now.swap(outgoing);
        }
        for (const auto& [raw, bytes] : now) {
            if (raw || config.version != Version::TwoChunked) {
                Put(bytes);
                continue;
            }
            char size[16];
            std::snprintf(size, sizeof size, "%zx\r\n", bytes.size());
            Put(size + bytes + "\r\n");
        }
    }

    void Run()
    {
        while (true) {
            pollfd fds[3] = {{listener, POLLIN, 0}, {wake[0], POLLIN, 0}, {connection, POLLIN, 0}};
            poll(fds, connection >= 0 ? 3 : 2, -1);
            {
                std::lock_guard<std::mutex> guard(lock);
                if (stopping)
                    return;
            }
            if (fds[1].revents != 0) {
                char drain[64];
                [[maybe_unused]] const ssize_t got = read(wake[0], drain, sizeof drain);
            }
            if (connection >= 0 && fds[2].revents != 0) {
                char buffer[2048];
                const ssize_t got = recv(connection, buffer, sizeof buffer, 0);
                if (got <= 0) {
                    Hangup();
                } else if (streaming) {
                    std::lock_guard<std::mutex> guard(lock);
                    upstream.append(buffer, std::size_t(got));
                } else {
                    request.append(buffer, std::size_t(got));
                    if (request.find("\r\n\r\n") != std::string::npos)
                        Answer();
                }
            }
            if (fds[0].revents != 0) {
                Hangup();
                connection = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            }
            Flush();
        }
    }

    sConfig config;  // the mountpoint and the hang-up under the lock once started
    int listener = -1;
    int connection = -1;  // the caster thread's
    int wake[2] = {-1, -1};
    std::uint16_t port = 0;
    bool streaming = false;  // the caster thread's
    std::string request;     // the caster thread's
    std::thread worker;

    std::mutex lock;                                    // guards what follows
    std::deque<std::pair<bool, std::string>> outgoing;  // raw, bytes
    bool dropRequested = false;
    bool stopping = false;
    std::vector<std::string> requests;
    unsigned streams = 0;
    std::string upstream;
};

}  // namespace TolvarRT::testing
