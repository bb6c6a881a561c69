#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>

// Cuts off connections whose request does not arrive in time.
//
// The HTTP library bounds each single read but not a whole request: a
// client that sends one header line every two seconds holds a worker
// thread for as long as it likes, and a few dozen of them hold every
// thread. This watch gives each request a deadline, counted from the
// connection's start or from the previous answer on it, and shuts the
// connection down when the request has not arrived completely by then.
// Requests being handled (a slow answer, a long download) are exempt.
//
// The library does not hand out its sockets, so the watch finds the
// service's connections among the process's open sockets by their local
// port and knows them by the peer's address and port, as the library's
// requests tell them.
class RequestDeadline
{
public:
    RequestDeadline(int port, std::chrono::milliseconds limit);
    ~RequestDeadline();

    RequestDeadline(const RequestDeadline &) = delete;
    RequestDeadline &operator=(const RequestDeadline &) = delete;

    // A request from this peer has arrived completely; it is being handled.
    void arrived(const std::string &address, int port);
    // Its answer has gone out; the next request's time starts now.
    void answered(const std::string &address, int port);

private:
    using Clock = std::chrono::steady_clock;
    void watch();
    void check();

    const int m_port;
    const std::chrono::milliseconds m_limit;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    // Peers ("address port") waiting for their request to arrive, since when.
    std::map<std::string, Clock::time_point> m_waiting;
    // Peers whose request is being handled, since when.
    std::map<std::string, Clock::time_point> m_handling;
    std::thread m_thread;
};
