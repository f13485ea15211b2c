#include "bench/levelone/level_one_bench_lines.h"

#include <cstdio>

namespace orvella {

std::string BenchSymbol(int i) {
    char name[16];
    std::snprintf(name, sizeof name, "SYM%03d", i);
    return name;
}

std::string BenchUpdateLine(int i, int seq) {
    const double price = 20.0 + i * 0.25 + (seq % 17) * 0.01;
    char line[512];
    // Fields 0-17, then 18-30 with the date, then 31-61.
    const int n = std::snprintf(
        line, sizeof line,
        "Q,%s,7,%.2f,0.15,%.2f,%.2f,%d,%d,%.2f,%.2f,%.2f,%d,%d,%.2f,%.2f,C,%02d:%02d:%02dt,"
        "1024,O,N,12,0.75,1.2,5,%.2f,%.2f,4,E,0.5,%02d/%02d/%d,"
        "NASD,%.2f,%d,%d,,%.2f,%.2f,0,0,1,Y,%d,%.2f,,,X,Y,Z,0,0,0,1,2,3,4,5,6,7,8,9,A\r\n",
        BenchSymbol(i).c_str(), price, price - 1, price + 1, 100 + seq % 900, 250000 + seq,
        price - 0.5, price - 0.01, price + 0.01, 300 + seq % 7, 400 + seq % 11, price + 2,
        price - 2, 9 + (seq / 3600) % 7, (seq / 60) % 60, seq % 60, price - 3, price + 3, 8, 1,
        2011, price, 1000 + seq % 5, 7, price, price, seq, price);
    return std::string(line, static_cast<std::size_t>(n));
}

std::string BenchUpdateStream(int count, int symbols) {
    std::string stream;
    stream.reserve(static_cast<std::size_t>(count) * 300);
    for (int seq = 0; seq < count; ++seq) {
        stream += BenchUpdateLine(seq % symbols, seq);
    }
    return stream;
}

std::vector<std::string> SplitOnly(std::string_view line) {
    std::vector<std::string> fields(62);
    std::size_t pos = 0;
    for (std::size_t index = 0; index < fields.size(); ++index) {
        const std::size_t comma = line.find(',', pos);
        fields[index] = std::string(line.substr(pos, comma - pos));
        if (comma == std::string_view::npos) {
            break;
        }
        pos = comma + 1;
    }
    return fields;
}

}  // namespace orvella
