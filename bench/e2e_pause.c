/* Prints the mean length in milliseconds of a 1 ms nanosleep, the pause
 * the library takes on Linux, over 500 pauses. */
#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <time.h>

int main(void)
{
    enum { pauses = 500 };
    struct timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (int i = 0; i < pauses; ++i) {
        struct timespec wait = {0, 1000000L};
        nanosleep(&wait, NULL);
    }
    clock_gettime(CLOCK_MONOTONIC, &end);
    const double taken = (double)(end.tv_sec - start.tv_sec) * 1e3 + (double)(end.tv_nsec - start.tv_nsec) / 1e6;
    printf("%.4f\n", taken / pauses);
    return 0;
}
