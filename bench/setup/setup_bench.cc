// setup_bench [lst [LINES]] [download [MEGABYTES]]
//
// Times the setup program's headless jobs beside a baseline in the same run:
//   lst       "OrvellaNSTSetup --headless build-lst" on a generated symbol
//             file against an equivalent split by exchange and type in mawk
//             (awk when mawk is missing), with the program's peak memory;
//             "cat" of the file into one output shows the limit.
//   download  "OrvellaNSTSetup --headless download" of a file from a local
//             HTTP server against "curl -o" of the same file.
// Each side runs five times, interleaved; the LST build is judged by the
// median of the rounds' ratios, the download by the best times. Prints each
// ratio with its spread and target and exits non-zero when one is missed.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/setup/symbol_file_generator.h"
#include "cli/command_line.h"
#include "platform/file_limits.h"
#include "settings/registry_access.h"
#include "settings/settings_keys.h"
#include "testing/private_environment.h"
#include "testing/process.h"
#include "testing/setup/http_test_server.h"

namespace {

namespace fs = std::filesystem;
using orvella::WriteRegDword;
using orvella::WriteRegString;

constexpr int kRounds = 5;
// The LST build: at least this many times as fast as the split in mawk, and
// a peak resident size below this many MB.
constexpr double kLstSpeedTarget = 5.0;
constexpr double kLstPeakTargetMb = 24.0;
// The download: at least this share of curl's rate.
constexpr double kDownloadShareTarget = 0.8;

struct Timing {
    double seconds = 0;
    long peakKb = 0;
    int exitCode = -1;
};

// Runs argv with standard output and error thrown away.
Timing RunTimed(const std::vector<std::string>& args) {
    Timing timing;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = orvella::testing::Spawn(args, "/dev/null");
    if (pid <= 0) {
        return timing;
    }
    timing.exitCode = orvella::testing::WaitExit(pid, 24 * 3600 * 1000, &timing.peakKb);
    timing.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return timing;
}

bool OnPath(const char* program) {
    const std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

bool SameFiles(const fs::path& a, const fs::path& b, size_t* count) {
    *count = 0;
    for (const auto& entry : fs::directory_iterator(a)) {
        const fs::path other = b / entry.path().filename();
        if (!fs::exists(other) || fs::file_size(other) != fs::file_size(entry.path()))
            return false;
        std::ifstream x(entry.path(), std::ios::binary), y(other, std::ios::binary);
        if (!std::equal(std::istreambuf_iterator<char>(x), {}, std::istreambuf_iterator<char>(y))) {
            return false;
        }
        ++*count;
    }
    return *count == static_cast<size_t>(std::distance(fs::directory_iterator(b), {}));
}

constexpr char kAwkSplit[] = R"(BEGIN { FS = "\t" }
NR == 1 { next }
{
    $0 = substr($0, 1, length($0) - 1)
    t = $5
    if (t == "FOPTION") t = "FUTREOPT"; else if (t == "IEOPTION") t = "STOCKOPT"; else if (t == "EQUITY") t = "STOCK"
    k = $3 "_" t
    if (t == "STOCKOPT" || t == "FUTREOPT") k = k "_" substr($1, 1, 1)
    print $1 ",\"" $2 "\"\r" > (dir k ".LST")
})";

int BenchLst(const fs::path& work, uint64_t lines) {
    const fs::path nst = work / "nst";
    const fs::path awkOut = work / "awk" / "";
    fs::create_directories(nst);
    const std::string symbolFile = (nst / "mktlist_v2.txt").string();
    const uint64_t size = orvella::bench::GenerateSymbolFile(symbolFile, lines);
    std::printf("symbol file: %llu lines, %.1f MB\n", static_cast<unsigned long long>(lines),
                size / 1e6);
    WriteRegString(orvella::kNovaScopeRootPathA, nst.string());
    WriteRegString(orvella::kWebsitePathA, "symbols.example/product/mktlist_v2.txt");

    const char* awk = OnPath("mawk") ? "mawk" : (OnPath("awk") ? "awk" : nullptr);
    if (awk == nullptr)
        std::printf("no mawk or awk on PATH: the baseline is skipped\n");
    const fs::path lstFolder = nst / "Servers";
    Timing best{1e9, 0, 0}, bestAwk{1e9, 0, 0}, bestCat{1e9, 0, 0};
    std::vector<double> ratios;  // the awk split's time over ours, per round
    fs::remove_all(awkOut);
    fs::create_directories(awkOut);
    for (int round = 0; round < kRounds; ++round) {
        // Each side replaces the files of its previous round, as a daily
        // build replaces yesterday's, once the system has written those out
        // (otherwise emptying them waits for that).
        sync();
        const Timing ours = RunTimed({ORVELLA_SETUP_PROGRAM, "--headless", "build-lst"});
        if (ours.exitCode != 0) {
            std::printf("build-lst failed with exit code %d\n", ours.exitCode);
            return 1;
        }
        best.seconds = std::min(best.seconds, ours.seconds);
        best.peakKb = std::max(best.peakKb, ours.peakKb);
        // The limit: the file copied into one output, nothing looked at.
        sync();
        const Timing copy =
            RunTimed({"sh", "-c", "cat \"$0\" > \"$1\"", symbolFile, (work / "cat.out").string()});
        bestCat.seconds = std::min(bestCat.seconds, copy.seconds);
        if (awk == nullptr)
            continue;
        sync();
        const Timing split =
            RunTimed({awk, "-v", "dir=" + awkOut.string(), std::string(kAwkSplit), symbolFile});
        bestAwk.seconds = std::min(bestAwk.seconds, split.seconds);
        ratios.push_back(split.seconds / ours.seconds);
        std::printf("round %d: build-lst %.3f s, %s %.3f s, %.2fx\n", round + 1, ours.seconds, awk,
                    split.seconds, ratios.back());
    }
    const double peakMb = best.peakKb / 1024.0;
    std::printf("build-lst: best %.3f s, peak RSS %.1f MB (target < %.0f MB)\n", best.seconds,
                peakMb, kLstPeakTargetMb);
    std::printf("cat of the file into one output: best %.3f s; build-lst takes %.2fx its time\n",
                bestCat.seconds, best.seconds / bestCat.seconds);
    bool met = peakMb < kLstPeakTargetMb;
    if (awk != nullptr) {
        size_t files = 0;
        const bool same = SameFiles(lstFolder / "OrvellaForNST", awkOut, &files);
        std::sort(ratios.begin(), ratios.end());
        const double median = ratios[ratios.size() / 2];
        std::printf("%s split: best %.3f s; %zu LST files, %s\n", awk, bestAwk.seconds, files,
                    same ? "identical" : "DIFFERENT");
        std::printf(
            "build-lst is %.2fx as fast as the %s split, median of %d rounds (rounds "
            "%.2f-%.2fx; best times %.2fx; target %.0fx)\n",
            median, awk, kRounds, ratios.front(), ratios.back(), bestAwk.seconds / best.seconds,
            kLstSpeedTarget);
        met = met && same && median >= kLstSpeedTarget;
    }
    std::printf("LST build: %s\n", met ? "target met" : "TARGET MISSED");
    return met ? 0 : 1;
}

int BenchDownload(const fs::path& work, uint64_t megabytes) {
    if (!OnPath("curl")) {
        std::printf("no curl on PATH: the download baseline is skipped\n");
        return 0;
    }
    for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) {
        unsetenv(name);
    }
    const fs::path nst = work / "dl";
    fs::create_directories(nst);
    orvella::test::CHttpTestServer server;
    std::string body(megabytes * 1000 * 1000, '\0');
    for (size_t i = 0; i < body.size(); ++i)
        body[i] = static_cast<char>('A' + i % 23);
    server.Route("/big.txt", {200, "OK", {}, std::move(body)});
    WriteRegString(orvella::kNovaScopeRootPathA, nst.string());
    WriteRegString(orvella::kWebsitePathA, "127.0.0.1/big.txt");
    WriteRegDword(server.Port(), orvella::kPortPathA);
    const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/big.txt";
    double best = 1e9, bestCurl = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        const Timing ours = RunTimed({ORVELLA_SETUP_PROGRAM, "--headless", "download"});
        if (ours.exitCode != 0 || fs::file_size(nst / "big.txt") != megabytes * 1000 * 1000) {
            std::printf("download failed with exit code %d\n", ours.exitCode);
            return 1;
        }
        best = std::min(best, ours.seconds);
        const Timing curl = RunTimed({"curl", "-s", "-o", (nst / "curl.txt").string(), url});
        bestCurl = std::min(bestCurl, curl.seconds);
    }
    const double mb = static_cast<double>(megabytes);
    std::printf("download %llu MB: best %.3f s (%.0f MB/s); curl -o: best %.3f s (%.0f MB/s)\n",
                static_cast<unsigned long long>(megabytes), best, mb / best, bestCurl,
                mb / bestCurl);
    const double share = bestCurl / best;
    std::printf("download runs at %.0f%% of curl -o (target %.0f%%): %s\n", 100.0 * share,
                100.0 * kDownloadShareTarget,
                share >= kDownloadShareTarget ? "target met" : "TARGET MISSED");
    return share >= kDownloadShareTarget ? 0 : 1;
}

}  // namespace

constexpr char kUsage[] =
    "Usage: setup_bench [lst [LINES]] [download [MEGABYTES]]\n"
    "Times the LST build of a generated symbol file of LINES data lines (default\n"
    "1600000) and the download of MEGABYTES (default 100) against their baselines;\n"
    "both when neither is named. Exit status 0 when every target is met.\n";

int main(int argc, char** argv) {
    const orvella::cli::CProgram program{"setup_bench", kUsage};
    for (int i = 1; i < argc; ++i) {
        if (const int code = orvella::cli::AnswerStandardOption(program, argv[i]); code >= 0)
            return code;
        const bool known = std::strcmp(argv[i], "lst") == 0 ||
                           std::strcmp(argv[i], "download") == 0 ||
                           std::isdigit(static_cast<unsigned char>(argv[i][0]));
        if (!known)
            return orvella::cli::RefuseOption(program, argv[i]);
    }
    platform::RaiseOpenFileLimit();
    const orvella::testing::CPrivateEnvironment env(orvella::testing::Launcher::kNone);
    const fs::path work = env.Dir();

    bool lst = argc == 1, download = argc == 1;
    uint64_t lines = 1600000, megabytes = 100;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "lst") == 0) {
            lst = true;
            if (i + 1 < argc && std::isdigit(static_cast<unsigned char>(argv[i + 1][0]))) {
                lines = std::strtoull(argv[++i], nullptr, 10);
            }
        } else if (std::strcmp(argv[i], "download") == 0) {
            download = true;
            if (i + 1 < argc && std::isdigit(static_cast<unsigned char>(argv[i + 1][0]))) {
                megabytes = std::strtoull(argv[++i], nullptr, 10);
            }
        }
    }
    int result = 0;
    if (lst)
        result |= BenchLst(work, lines);
    if (download)
        result |= BenchDownload(work, megabytes);
    return result;
}
