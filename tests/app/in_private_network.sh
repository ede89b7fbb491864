#!/bin/sh
# Runs a test program in a network namespace of its own, whose loopback
# carries only the test's traffic, so that byte counts can be compared
# exactly. Exit status 77 (skipped) where no namespace can be made.
#   in_private_network.sh <program> [arguments...]
if ! unshare -n true 2> /dev/null; then
    echo "no private network namespace here (needs root or user namespaces): skipped"
    exit 77
fi
exec unshare -n -- sh -c 'ip link set lo up && exec "$@"' sh "$@"
