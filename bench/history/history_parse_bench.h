// The reply parser's benchmark, run by the main of each build: the Linux one
// keeps the log's settings reads in a private environment, the Windows one
// runs in wine's private prefix.
#pragma once

// Parses the command line (LINES [ROUNDS]), runs the rounds and prints them;
// the program's exit status.
int RunHistoryParseBench(int argc, char** argv);
