/* The end-to-end benchmark's client side: one driver (e2e_host.c) times
 * the sending of many messages; each program links it with its own way of
 * sending one message to 127.0.0.1 port 25. */
#ifndef LSMTP_BENCH_E2E_HOST_H
#define LSMTP_BENCH_E2E_HOST_H

struct e2e_message {
    const char *body;       /* about 1 KB of text, CR LF line ends */
    const char *attachment; /* a file path, or NULL */
};

/* Called once before any thread starts. */
void e2e_prepare(void);

/* Sends one message in one SMTP session; 0 when the server took it. */
int e2e_send(const struct e2e_message *message);

#endif
