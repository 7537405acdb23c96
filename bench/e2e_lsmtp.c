/* The benchmark host for lsmtp: one lsmtp_send_mail call per message. */
#include "e2e_host.h"

#include <lsmtp.h>
#include <stddef.h>

void e2e_prepare(void) {}

int e2e_send(const struct e2e_message *message)
{
    const int result = lsmtp_send_mail("127.0.0.1", "Benchmark message", message->body, "sender@bench.test", NULL,
                                       "rcpt@bench.test", NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
                                       message->attachment);
    return result > 0 && result < 400 ? 0 : 1;
}
