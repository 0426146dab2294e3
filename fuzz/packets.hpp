// Bytes handed to a reader through a file descriptor, a few packets at a time: a socket of
// packets hands over one packet per read, so the reader meets the ends of its reads inside the
// bytes.
#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace zorvi::fuzzing {

// `read(fd)` on a descriptor that delivers `bytes` in packets of `piece` bytes; nothing when
// the bytes do not fit the socket's buffer. Aborts when no socket can be had.
template <typename Read>
auto read_in_packets(std::string_view bytes, std::size_t piece, Read read)
    -> std::optional<decltype(read(0))> {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) {
        std::fputs("socketpair failed\n", stderr);
        std::abort();
    }
    bool sent = true;
    for (std::size_t at = 0; sent && at < bytes.size(); at += piece) {
        const std::size_t length = std::min(piece, bytes.size() - at);
        sent =
            send(ends[1], bytes.data() + at, length, MSG_DONTWAIT) == static_cast<ssize_t>(length);
    }
    close(ends[1]);
    std::optional<decltype(read(0))> outcome;
    if (sent) outcome = read(ends[0]);
    close(ends[0]);
    return outcome;
}

}  // namespace zorvi::fuzzing
