/* The end-to-end benchmark's mail server: accepts everything on
 * 127.0.0.1:25 and throws it away, one thread per connection, replies in
 * one write each. It forks once it listens: when the command returns, the
 * sink is ready; it prints the server's process id. Ends on SIGTERM. */
#define _GNU_SOURCE
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

enum { buffer_size = 64 * 1024 };

/* Finds the end-of-data marker across reads: the state is how much of
 * CR LF "." CR LF has been seen; data starts as if after a CR LF. */
static const char marker[] = "\r\n.\r\n";
enum { marker_length = 5, data_start_state = 2 };

static int marker_step(int state, char c)
{
    /* The longest border of each prefix of the marker, for a mismatch. */
    static const int fallback[marker_length] = {0, 0, 0, 0, 1};
    while (state > 0 && marker[state] != c)
        state = fallback[state];
    return marker[state] == c ? state + 1 : 0;
}

static int reply(int fd, const char *text) { return send(fd, text, strlen(text), MSG_NOSIGNAL) < 0 ? -1 : 0; }

/* Answers one command line; 1 when the session is over. */
static int answer(int fd, const char *line, int *in_data)
{
    if (strncasecmp(line, "DATA", 4) == 0) {
        *in_data = 1;
        return reply(fd, "354 go ahead\r\n");
    }
    if (strncasecmp(line, "QUIT", 4) == 0) {
        reply(fd, "221 bye\r\n");
        return 1;
    }
    if (strncasecmp(line, "EHLO", 4) == 0)
        return reply(fd, "250-sink\r\n250 8BITMIME\r\n");
    return reply(fd, "250 ok\r\n");
}

static void *serve(void *argument)
{
    const int fd = (int)(long)argument;
    static __thread char buffer[buffer_size];
    char line[1024];
    size_t line_used = 0;
    int in_data = 0, state = data_start_state, done = reply(fd, "220 sink ready\r\n") != 0;
    while (!done) {
        const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0)
            break;
        for (ssize_t i = 0; i < got && !done; ++i) {
            if (in_data) {
                state = marker_step(state, buffer[i]);
                if (state == marker_length) {
                    in_data = 0;
                    state = data_start_state;
                    done = reply(fd, "250 taken\r\n") != 0;
                }
                continue;
            }
            if (line_used + 1 < sizeof line)
                line[line_used++] = buffer[i];
            if (buffer[i] == '\n') {
                line[line_used] = '\0';
                line_used = 0;
                done = answer(fd, line, &in_data) != 0;
            }
        }
    }
    close(fd);
    return NULL;
}

int main(void)
{
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    struct sockaddr_in address = {.sin_family = AF_INET, .sin_port = htons(25),
                                  .sin_addr.s_addr = htonl(INADDR_LOOPBACK)};
    if (listener < 0 || bind(listener, (struct sockaddr *)&address, sizeof address) != 0 || listen(listener, 512) != 0) {
        perror("sink: listen on 127.0.0.1:25");
        return 1;
    }
    const pid_t child = fork();
    if (child < 0) {
        perror("sink: fork");
        return 1;
    }
    if (child > 0) {
        printf("%ld\n", (long)child);
        return 0;
    }
    fclose(stdout);
    pthread_attr_t detached;
    pthread_attr_init(&detached);
    pthread_attr_setdetachstate(&detached, PTHREAD_CREATE_DETACHED);
    for (;;) {
        const int fd = accept4(listener, NULL, NULL, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        pthread_t thread;
        if (pthread_create(&thread, &detached, serve, (void *)(long)fd) != 0)
            close(fd);
    }
}
