// Waiting on a running test's "/api/stats" instead of on the clock.
#pragma once

#include <httplib.h>

#include <chrono>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

namespace cli::testing {

// True once the statistics served at url ("http://host:port/") and path
// show a row; false after the limit.
inline bool WaitForServedRows(const std::string& url, std::chrono::seconds limit,
                              const std::string& path = "/api/stats")
{
    httplib::Client client(url.substr(0, url.size() - 1));
    const auto giveUp = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < giveUp) {
        const auto stats = client.Get(path);
        if (stats && stats->status == 200) {
            const nlohmann::json json = nlohmann::json::parse(stats->body, nullptr, false);
            if (json.is_object() && json.contains("rows") && !json["rows"].empty())
                return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

}  // namespace cli::testing
