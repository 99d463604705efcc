#!/bin/sh
# Runs the tool under valgrind memcheck for tests/faults/valgrind_cases.py:
# RDV_VALGRIND_TOOL names the tool, RDV_VALGRIND_LOGS the directory for the
# reports. Any error, and any block definitely or indirectly lost, makes the
# status 99 instead of the tool's own.
exec valgrind --quiet --tool=memcheck --leak-check=full --show-leak-kinds=definite,indirect \
    --errors-for-leak-kinds=definite,indirect --error-exitcode=99 --track-fds=no \
    --log-file="$RDV_VALGRIND_LOGS/%p.log" "$RDV_VALGRIND_TOOL" "$@"
