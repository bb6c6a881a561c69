#include "refservice/RequestDeadline.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cstdlib>
#include <vector>

namespace {

std::string peerKey(const std::string &address, int port)
{
    return address + ' ' + std::to_string(port);
}

// Address and port of a socket end in the form the library reports.
bool endpoint(const sockaddr_storage &storage, std::string *address, int *port)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (storage.ss_family == AF_INET) {
        const auto &in = reinterpret_cast<const sockaddr_in &>(storage);
        inet_ntop(AF_INET, &in.sin_addr, text, sizeof text);
        *port = ntohs(in.sin_port);
    } else if (storage.ss_family == AF_INET6) {
        const auto &in6 = reinterpret_cast<const sockaddr_in6 &>(storage);
        inet_ntop(AF_INET6, &in6.sin6_addr, text, sizeof text);
        *port = ntohs(in6.sin6_port);
    } else {
        return false;
    }
    *address = text;
    return true;
}

struct Connection
{
    int fd;
    std::string key;
};

// The connected sockets of this process whose local port is port.
std::vector<Connection> connectionsOn(int port)
{
    std::vector<Connection> found;
    DIR *dir = opendir("/proc/self/fd");
    if (!dir)
        return found;
    while (const dirent *entry = readdir(dir)) {
        char *end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == dirfd(dir))
            continue;
        struct stat info {};
        if (fstat(int(fd), &info) != 0 || !S_ISSOCK(info.st_mode))
            continue;
        sockaddr_storage local{}, peer{};
        socklen_t localSize = sizeof local, peerSize = sizeof peer;
        std::string address;
        int localPort = 0, peerPort = 0;
        if (getsockname(int(fd), reinterpret_cast<sockaddr *>(&local), &localSize) != 0
            || !endpoint(local, &address, &localPort) || localPort != port)
            continue;
        // The listening socket has no peer.
        if (getpeername(int(fd), reinterpret_cast<sockaddr *>(&peer), &peerSize) != 0
            || !endpoint(peer, &address, &peerPort))
            continue;
        found.push_back({int(fd), peerKey(address, peerPort)});
    }
    closedir(dir);
    return found;
}

// The fd may have been closed and reused since the scan.
bool stillPeer(const Connection &connection)
{
    sockaddr_storage peer{};
    socklen_t size = sizeof peer;
    std::string address;
    int port = 0;
    return getpeername(connection.fd, reinterpret_cast<sockaddr *>(&peer), &size) == 0
        && endpoint(peer, &address, &port) && peerKey(address, port) == connection.key;
}

} // namespace

RequestDeadline::RequestDeadline(int port, std::chrono::milliseconds limit)
    : m_port(port)
    , m_limit(limit)
    , m_thread([this] { watch(); })
{
}

RequestDeadline::~RequestDeadline()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void RequestDeadline::arrived(const std::string &address, int port)
{
    const std::string key = peerKey(address, port);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_waiting.erase(key);
    m_handling[key] = Clock::now();
}

void RequestDeadline::answered(const std::string &address, int port)
{
    const std::string key = peerKey(address, port);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_handling.erase(key);
    m_waiting[key] = Clock::now();
}

void RequestDeadline::watch()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stopping) {
        m_wake.wait_for(lock, std::chrono::milliseconds(100));
        if (m_stopping)
            break;
        lock.unlock();
        check();
        lock.lock();
    }
}

void RequestDeadline::check()
{
    const std::vector<Connection> open = connectionsOn(m_port);
    const Clock::time_point now = Clock::now();
    std::lock_guard<std::mutex> lock(m_mutex);
    std::map<std::string, Clock::time_point> waiting;
    for (const Connection &connection : open) {
        if (m_handling.count(connection.key))
            continue;
        const auto known = m_waiting.find(connection.key);
        const Clock::time_point since = known == m_waiting.end() ? now : known->second;
        if (now - since > m_limit) {
            // The worker's read ends at once, and the library closes the
            // connection; its thread serves the next client.
            if (stillPeer(connection))
                shutdown(connection.fd, SHUT_RDWR);
            continue;
        }
        waiting[connection.key] = since;
    }
    // Closed connections are forgotten; so is a handled request whose
    // connection went without an answer (kept a while: its connection may
    // not have been seen yet).
    m_waiting.swap(waiting);
    for (auto it = m_handling.begin(); it != m_handling.end();) {
        bool isOpen = false;
        for (const Connection &connection : open)
            isOpen = isOpen || connection.key == it->first;
        if (!isOpen && now - it->second > std::chrono::seconds(5))
            it = m_handling.erase(it);
        else
            ++it;
    }
}
