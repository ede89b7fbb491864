/* The floor of a traffic monitor's idle cost: one rtnetlink link dump
 * (RTM_GETLINK) a second and nothing else. Plain C, no Qt, no threads, one
 * socket opened once: what any program that samples the interface table once
 * a second cannot avoid. The idle measurement runs it beside the program over
 * the same seconds.
 *
 *   floor_sampler SECONDS [RESIDENT_MB]     (1 to 3600 s; ends by itself)
 *
 * RESIDENT_MB (0 to 1024, default 0) makes that much memory resident once, at
 * start, and never touches it again: the same sampler at a program's size. On
 * some virtual machines every wake-up of a process costs in proportion to its
 * resident memory, whatever the wake-up then touches; beside the plain floor
 * it shows how much of a program's idle cost is that.
 *
 * Exits with status 0 when every dump came back with at least one interface. */
#define _GNU_SOURCE
#include <errno.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

enum { kMaxSeconds = 3600, kMaxResidentMb = 1024 };

/* One dump request; returns the number of interfaces in the reply, or -1. */
static int dump_links(int fd, unsigned sequence, char* buffer, size_t size)
{
    struct {
        struct nlmsghdr header;
        struct ifinfomsg info;
    } request;
    memset(&request, 0, sizeof request);
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof request.info);
    request.header.nlmsg_type = RTM_GETLINK;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = sequence;
    request.info.ifi_family = AF_UNSPEC;
    if (send(fd, &request, request.header.nlmsg_len, 0) < 0)
        return -1;

    int links = 0;
    for (;;) {
        ssize_t got = recv(fd, buffer, size, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return -1;
        int length = (int)got;
        for (struct nlmsghdr* message = (struct nlmsghdr*)buffer; NLMSG_OK(message, length);
             message = NLMSG_NEXT(message, length)) {
            if (message->nlmsg_seq != sequence)
                continue;
            if (message->nlmsg_type == NLMSG_DONE)
                return links;
            if (message->nlmsg_type == NLMSG_ERROR)
                return -1;
            if (message->nlmsg_type == RTM_NEWLINK)
                ++links;
        }
    }
}

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 3) {
        fprintf(stderr, "usage: floor_sampler SECONDS [RESIDENT_MB]\n");
        return 2;
    }
    int seconds = atoi(argv[1]);
    if (seconds < 1)
        seconds = 1;
    if (seconds > kMaxSeconds)
        seconds = kMaxSeconds;
    long residentMb = argc == 3 ? atol(argv[2]) : 0;
    if (residentMb < 0)
        residentMb = 0;
    if (residentMb > kMaxResidentMb)
        residentMb = kMaxResidentMb;
    /* Written once, page by page, so that every page is resident; held to the end. */
    const size_t residentBytes = (size_t)residentMb << 20;
    volatile char* resident = residentBytes > 0 ? malloc(residentBytes) : NULL;
    if (residentBytes > 0 && resident == NULL) {
        perror("malloc");
        return 1;
    }
    for (size_t offset = 0; offset < residentBytes; offset += 4096)
        resident[offset] = 1;

    int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0) {
        perror("socket");
        return 1;
    }
    /* Large enough for a dump's part of many interfaces in one read. */
    static char buffer[65536];
    struct timespec next;
    clock_gettime(CLOCK_MONOTONIC, &next);
    int status = 0;
    for (int i = 0; i < seconds; ++i) {
        next.tv_sec += 1;
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, NULL) == EINTR) {
        }
        if (dump_links(fd, (unsigned)i + 1, buffer, sizeof buffer) <= 0)
            status = 1;
    }
    close(fd);
    free((void*)resident);
    return status;
}
