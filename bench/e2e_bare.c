/* The floor of the dialogue: the same commands lsmtp sends (greeting,
 * HELO, MAIL, RCPT, DATA, the message with its end marker in one write,
 * QUIT) over one blocking socket with TCP_NODELAY, and nothing else: no
 * lookup, no composing beyond one fixed header block, no limits, no checks
 * but each reply's first digit. Whatever lsmtp spends above this is its
 * own. */
#define _GNU_SOURCE
#include "e2e_host.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

void e2e_prepare(void) {}

/* One receive is one reply: the sink answers each command in one write. */
static int reply_is(int fd, char digit)
{
    char reply[512];
    const ssize_t got = recv(fd, reply, sizeof reply, 0);
    return got > 0 && reply[0] == digit;
}

static int command(int fd, const char *text, size_t length, char digit)
{
    return send(fd, text, length, MSG_NOSIGNAL) == (ssize_t)length && reply_is(fd, digit);
}

#define COMMAND(fd, text, digit) command(fd, text, sizeof text - 1, digit)

int e2e_send(const struct e2e_message *message)
{
    if (message->attachment != NULL)
        return 1; /* bodies only: an attachment would need an encoder */
    static const char head[] = "From: sender@bench.test\r\nTo: rcpt@bench.test\r\n"
                               "Subject: Benchmark message\r\n\r\n";
    char data[4096];
    const size_t body = strlen(message->body);
    if (sizeof head - 1 + body + 3 > sizeof data)
        return 1;
    memcpy(data, head, sizeof head - 1);
    memcpy(data + sizeof head - 1, message->body, body);
    memcpy(data + sizeof head - 1 + body, ".\r\n", 3); /* the body ends with CR LF */
    const size_t length = sizeof head - 1 + body + 3;

    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 1;
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    struct sockaddr_in address = {.sin_family = AF_INET, .sin_port = htons(25)};
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int ok = connect(fd, (const struct sockaddr *)&address, sizeof address) == 0 && reply_is(fd, '2') &&
                   COMMAND(fd, "HELO bench\r\n", '2') && COMMAND(fd, "MAIL FROM:<sender@bench.test>\r\n", '2') &&
                   COMMAND(fd, "RCPT TO:<rcpt@bench.test>\r\n", '2') && COMMAND(fd, "DATA\r\n", '3') &&
                   command(fd, data, length, '2') && COMMAND(fd, "QUIT\r\n", '2');
    close(fd);
    return ok ? 0 : 1;
}
