#pragma once
// What the RAW reader and its helper program say to each other over a stream socket, the
// helper's descriptor RawChannel. For each file the reader sends a RawFile, with the file's
// descriptor beside it (SCM_RIGHTS) or its bytes after it; the helper answers with a
// RawHeader. When the file was read, the reader sends the
// size it wants (0 x 0: the picture's own; -1 x -1: no picture) and, unless it wants none,
// the helper answers with a RawPictureHeader and, when there is a picture, its rows, 3 bytes
// a pixel, one after another without padding. Then the next file. Both sides are one
// program's, built together, so the numbers travel in the machine's own order.

#include <QtGlobal>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

inline constexpr int RawChannel = 3;

struct RawFile {
    quint64 length = 0;
    quint64 offset = 0;           // where the picture starts in the file passed
    qint32 allocationLimitMb = 0; // Qt's, which bounds what is decoded
    qint32 passed = 0;            // 1: the file's descriptor comes with this, not its bytes
};

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

// One call of `transfer` (a send or receive that does not block), made again when a
// signal cut it short or the socket was not ready, until `deadline`: the bytes it moved,
// 0 when the other side closed, -1 when it failed or the deadline passed.
template <typename Transfer>
inline ssize_t transferOnce(int socket, short events, RawDeadline deadline, const Transfer &transfer)
{
    for (;;) {
        const ssize_t moved = transfer();
        if (moved < 0 && errno == EINTR)
            continue;
        if (moved < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitFor(socket, events, deadline))
                return -1;
            continue;
        }
        return moved;
    }
}

// Sends all of `size` bytes by `deadline`, or false: the other side has gone or stopped
// reading. Never raises SIGPIPE. RawDeadline::max() waits for ever.
inline bool sendAll(int socket, const void *data, size_t size, RawDeadline deadline = RawDeadline::max())
{
    const char *at = static_cast<const char *>(data);
    while (size > 0) {
        const ssize_t sent = transferOnce(socket, POLLOUT, deadline,
                                          [&] { return ::send(socket, at, size, MSG_NOSIGNAL | MSG_DONTWAIT); });
        if (sent <= 0)
            return false;
        at += sent;
        size -= size_t(sent);
    }
    return true;
}

// Sends `file` with `descriptor` beside it, by `deadline`.
inline bool sendFile(int socket, const RawFile &file, int descriptor, RawDeadline deadline)
{
    if (descriptor < 0)
        return sendAll(socket, &file, sizeof file, deadline);
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    iovec part{const_cast<RawFile *>(&file), sizeof file};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr *rights = CMSG_FIRSTHDR(&message);
    rights->cmsg_level = SOL_SOCKET;
    rights->cmsg_type = SCM_RIGHTS;
    rights->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(rights), &descriptor, sizeof(int));
    const ssize_t sent = transferOnce(socket, POLLOUT, deadline,
                                      [&] { return ::sendmsg(socket, &message, MSG_NOSIGNAL | MSG_DONTWAIT); });
    if (sent <= 0)
        return false;
    // The descriptor went with the first byte; the rest of the message follows plain.
    return sendAll(socket, reinterpret_cast<const char *>(&file) + sent, sizeof file - size_t(sent), deadline);
}

// Receives exactly `size` bytes by `deadline`, or false: the other side closed, failed or
// kept silent past it. RawDeadline::max() waits for ever.
inline bool receiveAll(int socket, void *data, size_t size, RawDeadline deadline = RawDeadline::max())
{
    char *at = static_cast<char *>(data);
    while (size > 0) {
        const ssize_t got = transferOnce(socket, POLLIN, deadline, [&] { return ::recv(socket, at, size, MSG_DONTWAIT); });
        if (got <= 0)
            return false;
        at += got;
        size -= size_t(got);
    }
    return true;
}

// Receives a RawFile and, when one came beside it, the descriptor in `descriptor` (else -1).
inline bool receiveFile(int socket, RawFile &file, int &descriptor)
{
    descriptor = -1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    iovec part{&file, sizeof file};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t got;
    do {
        got = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
    } while (got < 0 && errno == EINTR);
    if (got <= 0)
        return false;
    for (cmsghdr *header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS
            && header->cmsg_len == CMSG_LEN(sizeof(int)))
            std::memcpy(&descriptor, CMSG_DATA(header), sizeof(int));
    }
    return receiveAll(socket, reinterpret_cast<char *>(&file) + got, sizeof file - size_t(got));
}
