/* Usage: HOST COUNT THREADS [ATTACHMENT]
 * Sends COUNT messages split evenly over THREADS threads and prints one
 * line: wall seconds, CPU seconds (user + system, all threads), peak RSS in
 * KiB and the number of failed sends. Only the sending is timed. */
#define _POSIX_C_SOURCE 200809L
#include "e2e_host.h"

#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <time.h>

enum { body_lines = 16, line_length = 64, max_threads = 64 };

struct worker {
    pthread_t thread;
    long count;
    long failures;
    const struct e2e_message *message;
};

static void *run_worker(void *argument)
{
    struct worker *worker = argument;
    for (long i = 0; i < worker->count; ++i)
        if (e2e_send(worker->message) != 0)
            ++worker->failures;
    return NULL;
}

static double seconds_of(struct timeval value) { return (double)value.tv_sec + (double)value.tv_usec / 1e6; }

static double cpu_seconds(void)
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return seconds_of(usage.ru_utime) + seconds_of(usage.ru_stime);
}

static double now_seconds(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec + (double)now.tv_nsec / 1e9;
}

/* 16 lines of 62 characters and CR LF: 1,024 bytes. */
static void fill_body(char *body)
{
    body[0] = '\0';
    for (int line = 0; line < body_lines; ++line) {
        char text[line_length + 1];
        snprintf(text, sizeof text, "Line %02d of the benchmark message body, the same every time.\r\n", line);
        strcat(body, text);
    }
}

int main(int argc, char **argv)
{
    if (argc < 3 || argc > 4) {
        fprintf(stderr, "usage: %s COUNT THREADS [ATTACHMENT]\n", argv[0]);
        return 64;
    }
    const long count = strtol(argv[1], NULL, 10);
    const long threads = strtol(argv[2], NULL, 10);
    if (count < 1 || threads < 1 || threads > max_threads || count % threads != 0) {
        fprintf(stderr, "COUNT must be a positive multiple of THREADS (at most %d)\n", max_threads);
        return 64;
    }
    static char body[body_lines * line_length + 1];
    fill_body(body);
    const struct e2e_message message = {body, argc == 4 ? argv[3] : NULL};
    struct worker workers[max_threads];
    e2e_prepare();

    const double cpu_start = cpu_seconds(), start = now_seconds();
    for (long i = 0; i < threads; ++i) {
        workers[i] = (struct worker){.count = count / threads, .failures = 0, .message = &message};
        if (pthread_create(&workers[i].thread, NULL, run_worker, &workers[i]) != 0) {
            fprintf(stderr, "cannot start thread %ld\n", i);
            return 1;
        }
    }
    long failures = 0;
    for (long i = 0; i < threads; ++i) {
        pthread_join(workers[i].thread, NULL);
        failures += workers[i].failures;
    }
    const double wall = now_seconds() - start, cpu = cpu_seconds() - cpu_start;

    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    printf("%.6f %.6f %ld %ld\n", wall, cpu, usage.ru_maxrss, failures);
    return failures == 0 ? 0 : 1;
}
