#!/bin/sh
# Runs a command in a network namespace of its own with only the loopback
# interface up: a test in there has the fixed ports to itself and needs no
# lock on them.
exec unshare -n sh -c 'ip link set lo up && exec "$@"' own_network "$@"
