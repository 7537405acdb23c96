/* Built as C: the public header must compile there, and the shared library
 * must be callable through its one export. A null host is refused before
 * any network use. */
#include "lsmtp.h"

#include <stdio.h>

int main(void)
{
    int result = lsmtp_send_mail(NULL, "s", NULL, "a@b.test", NULL, "c@d.test", NULL, "", NULL, "", NULL, NULL,
                                 NULL, "", NULL, NULL);
    if (result != SMTP_ERR_ARGUMENT) {
        fprintf(stderr, "expected %d for a null host, got %d\n", SMTP_ERR_ARGUMENT, result);
        return 1;
    }
    return 0;
}
