// Orvalink.exe for the Windows tests: writes the arguments it was given, one
// a line, to the file named by ORVELLA_LAUNCH_RECORD and exits 0. It stands in
// for the feed client's launcher; the tests start the feed stand-in
// themselves.
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    const char* record = std::getenv("ORVELLA_LAUNCH_RECORD");
    if (record == nullptr) {
        return 0;
    }
    // Written under another name and then renamed, so a reader never sees
    // half of it.
    const std::string partial = std::string(record) + ".partial";
    FILE* out = std::fopen(partial.c_str(), "wb");
    if (out == nullptr) {
        return 1;
    }
    for (int i = 1; i < argc; ++i) {
        std::fprintf(out, "%s\n", argv[i]);
    }
    std::fclose(out);
    std::remove(record);
    return std::rename(partial.c_str(), record) == 0 ? 0 : 1;
}
