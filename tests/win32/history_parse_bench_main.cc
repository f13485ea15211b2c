// The reply parser's benchmark for Windows: run through scripts/wine-run.sh,
// whose prefix is private, so the log's settings reads need no guard.
#include "bench/history/history_parse_bench.h"

int main(int argc, char** argv) {
    return RunHistoryParseBench(argc, argv);
}
