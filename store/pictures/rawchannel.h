#pragma once
// What the RAW reader and its helper program say to each other over a stream socket, the
// helper's descriptor RawChannel. The reader sends the file's length and bytes; the helper
// answers with a RawHeader. The reader may then send the size it wants (0 x 0: the picture's
// own); the helper answers with a RawPictureHeader and the picture's rows, 3 bytes a pixel,
// one after another without padding. Both sides are one program's, built together, so the
// numbers travel in the machine's own order.

#include <QtGlobal>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

inline constexpr int RawChannel = 3;

struct RawHeader {
    qint32 read = 0; // 1 when LibRaw read the file within the limits
    qint32 width = 0, height = 0;
    qint32 flip = 0;
    double shape = 1;
};

struct RawPictureHeader {
    qint32 read = 0;
    qint32 width = 0, height = 0;
};

using RawDeadline = std::chrono::steady_clock::time_point;

// Waits until `socket` is ready for `events` or `deadline` passes; false then, or on an error.
inline bool waitFor(int socket, short events, RawDeadline deadline)
{
    for (;;) {
        int wait = -1;
        if (deadline != RawDeadline::max()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            wait = int(std::min<qint64>(left.count(), 60'000));
        }
        pollfd waiting{socket, events, 0};
        const int ready = ::poll(&waiting, 1, wait);
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return false;
    }
}

// Sends all of `size` bytes by `deadline`, or false: the other side has gone or stopped
// reading. Never raises SIGPIPE. RawDeadline::max() waits for ever.
inline bool sendAll(int socket, const void *data, size_t size, RawDeadline deadline = RawDeadline::max())
{
    const char *at = static_cast<const char *>(data);
    while (size > 0) {
        const ssize_t sent = ::send(socket, at, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitFor(socket, POLLOUT, deadline))
                return false;
            continue;
        }
        if (sent <= 0)
            return false;
        at += sent;
        size -= size_t(sent);
    }
    return true;
}

// Receives exactly `size` bytes by `deadline`, or false: the other side closed, failed or
// kept silent past it. RawDeadline::max() waits for ever.
inline bool receiveAll(int socket, void *data, size_t size, RawDeadline deadline = RawDeadline::max())
{
    char *at = static_cast<char *>(data);
    while (size > 0) {
        const ssize_t got = ::recv(socket, at, size, MSG_DONTWAIT);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitFor(socket, POLLIN, deadline))
                return false;
            continue;
        }
        if (got <= 0)
            return false;
        at += got;
        size -= size_t(got);
    }
    return true;
}
