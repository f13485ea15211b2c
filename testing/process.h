// Child processes and files for tests and benchmarks that run the programs:
// start with redirected output, wait with a deadline, read what they wrote,
// and look at a running process from outside.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace orvella::testing {

// Starts argv[0] with argv, stdin from /dev/null and stdout and stderr
// written to outputPath (emptied first). -1 when the program could not be started.
pid_t Spawn(const std::vector<std::string>& argv, const std::string& outputPath);

// Waits up to timeoutMs for the child; its exit code, or -1 after a signal or
// at the limit (the child is then killed and reaped). peakKb, when given,
// receives the child's peak resident memory.
int WaitExit(pid_t pid, int timeoutMs, long* peakKb = nullptr);

// True when the process has exited (a zombie not yet waited for) or is gone.
bool ProcessEnded(pid_t pid);

// Resident memory in kB and open descriptors of a process (-1 when gone).
long ResidentKb(pid_t pid);
int OpenDescriptors(pid_t pid);

// The processors this process may run on, in order.
std::vector<int> AllowedProcessors();

// Keeps every thread of a process on one processor; pid 0 is the calling
// thread, whose children inherit it. False when that was refused.
bool PinToProcessor(pid_t pid, int processor);

// The whole file (empty when it cannot be read), its lines without their
// line feeds, and its key=value lines.
std::string ReadWholeFile(const std::string& path);
std::vector<std::string> ReadLines(const std::string& path);
std::map<std::string, std::string> ReadKeyValues(const std::string& path);

// A port of 127.0.0.1 that nothing listened on a moment ago; -1 when none
// could be had.
int FreePort();

// Occurrences of part in text.
size_t CountOf(const std::string& text, const std::string& part);

// "YYYY-MM-DD" of the local date daysAgo days before today.
std::string LocalDate(int daysAgo);
// "YYYY-MM-DD 12:00:00" of the latest weekday up to today, inside the feed
// client's regular session.
std::string LastWeekdayNoon();

}  // namespace orvella::testing
