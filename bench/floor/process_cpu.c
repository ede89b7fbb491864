/* CPU time of whole processes in nanoseconds, for the idle measurement:
 *
 *   process_cpu PID...
 *
 * prints one line per PID: "PID CLOCK-NS SCHEDSTAT-NS THREADS STAT-TICKS RUNS".
 *   CLOCK-NS      the process's CPU-time clock (clock_getcpuclockid): the
 *                 scheduler's nanosecond account of every thread, those that
 *                 have ended included. This is the figure to use.
 *   SCHEDSTAT-NS  the sum of /proc/PID/task/ANY/schedstat over the live
 *                 threads: the same account, blind to threads that ended.
 *   THREADS       the number of live threads summed.
 *   STAT-TICKS    user + system time from /proc/PID/stat, whole clock ticks.
 *   RUNS          the times the live threads were put on a processor, summed
 *                 (schedstat's third field): an idle thread runs once for
 *                 each wake-up, so between two readings with the same threads
 *                 this counts the process's wake-ups.
 * SCHEDSTAT-NS, THREADS and STAT-TICKS are cross-checks: between two readings
 * with the same threads, SCHEDSTAT-NS moves with CLOCK-NS; STAT-TICKS agrees
 * to a tick or two. A PID that cannot be read prints "PID ? ? ? ? ?" and
 * sets status 1. */
#define _GNU_SOURCE
#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <time.h>

static int clock_ns(pid_t pid, long long* ns)
{
    clockid_t clock;
    struct timespec now;
    if (clock_getcpuclockid(pid, &clock) != 0 || clock_gettime(clock, &now) != 0)
        return -1;
    *ns = (long long)now.tv_sec * 1000000000LL + now.tv_nsec;
    return 0;
}

static int schedstat_ns(pid_t pid, long long* ns, int* threads, long long* runs)
{
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/task", (int)pid);
    DIR* tasks = opendir(path);
    if (!tasks)
        return -1;
    *ns = 0;
    *threads = 0;
    *runs = 0;
    struct dirent* entry;
    while ((entry = readdir(tasks)) != NULL) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9')
            continue;
        char file[320];
        snprintf(file, sizeof file, "/proc/%d/task/%s/schedstat", (int)pid, entry->d_name);
        FILE* in = fopen(file, "r");
        if (!in)
            continue; /* the thread ended while the folder was read */
        long long run = 0, waited = 0, slices = 0;
        if (fscanf(in, "%lld %lld %lld", &run, &waited, &slices) == 3) {
            *ns += run;
            *runs += slices;
            ++*threads;
        }
        fclose(in);
    }
    closedir(tasks);
    return 0;
}

static int stat_ticks(pid_t pid, long long* ticks)
{
    char path[64], line[1024];
    snprintf(path, sizeof path, "/proc/%d/stat", (int)pid);
    FILE* in = fopen(path, "r");
    if (!in)
        return -1;
    size_t got = fread(line, 1, sizeof line - 1, in);
    fclose(in);
    line[got] = '\0';
    /* The command name may hold spaces and parentheses: the fields follow the last ')'. */
    char* after = strrchr(line, ')');
    if (!after)
        return -1;
    long long utime = 0, stime = 0;
    /* Fields 3..13 skipped, then utime (14) and stime (15). */
    if (sscanf(after + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lld %lld", &utime,
               &stime) != 2)
        return -1;
    *ticks = utime + stime;
    return 0;
}

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: process_cpu PID...\n");
        return 2;
    }
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        pid_t pid = (pid_t)atoi(argv[i]);
        long long clock = 0, sched = 0, ticks = 0, runs = 0;
        int threads = 0;
        if (pid <= 0 || clock_ns(pid, &clock) != 0 ||
            schedstat_ns(pid, &sched, &threads, &runs) != 0 || stat_ticks(pid, &ticks) != 0) {
            printf("%s ? ? ? ? ?\n", argv[i]);
            status = 1;
            continue;
        }
        printf("%d %lld %lld %d %lld %lld\n", (int)pid, clock, sched, threads, ticks, runs);
    }
    return status;
}
