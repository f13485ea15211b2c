#include "bench/setup/symbol_file_generator.h"

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace orvella::bench {

namespace {

const char* const kEquityExchanges[] = {"NYSE", "NASDAQ", "AMEX", "ARCA", "OTC", "BATS", "TSX"};
const char* const kFutureExchanges[] = {"CME", "CBOT", "NYMEX", "COMEX", "ICEUS", "EUREX", "CFE"};
const char* const kIndexExchanges[] = {"DJ", "SPX", "NASDAQ", "CBOE", "RUSSELL"};
const char* const kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                               "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
const char* const kWords[] = {"GLOBAL", "HOLDINGS", "TECHNOLOGIES", "ENERGY", "FINANCIAL",
                              "PHARMA", "INDUSTRIES", "CAPITAL", "SYSTEMS", "RESOURCES",
                              "BANCORP", "NETWORKS", "MATERIALS", "THERAPEUTICS", "REALTY"};
const char* const kCurrencies[] = {"EUR", "USD", "GBP", "JPY", "CHF", "AUD", "CAD", "NZD",
                                   "SEK", "NOK", "MXN", "ZAR", "HKD", "SGD"};

class Writer {
public:
    explicit Writer(std::FILE* file) : m_file(file) { m_line.reserve(256); }

    void Line(const std::string& symbol, const std::string& description, const char* exchange,
              const char* market, const char* type, int sic, const std::string& front,
              int naics) {
        m_line = symbol;
        m_line += '\t';
        m_line += description;
        m_line += '\t';
        m_line += exchange;
        m_line += '\t';
        m_line += market;
        m_line += '\t';
        m_line += type;
        m_line += '\t';
        m_line += std::to_string(sic);
        m_line += '\t';
        m_line += front;
        m_line += '\t';
        m_line += std::to_string(naics);
        m_line += "\r\n";
        m_size += std::fwrite(m_line.data(), 1, m_line.size(), m_file);
        ++m_lines;
    }

    uint64_t Lines() const { return m_lines; }
    uint64_t Size() const { return m_size; }

private:
    std::FILE* m_file;
    std::string m_line;
    uint64_t m_lines = 0;
    uint64_t m_size = 0;
};

std::string Root(uint64_t index) {
    // AA, AAB, ... in alphabetical order of the index.
    std::string root;
    uint64_t value = index;
    for (int i = 0; i < 4; ++i) {
        root.insert(root.begin(), static_cast<char>('A' + value % 26));
        value /= 26;
    }
    while (root.size() > 2 && root.front() == 'A') root.erase(root.begin());
    return root;
}

}  // namespace

uint64_t GenerateSymbolFile(const std::string& path, uint64_t lines, uint32_t seed) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return 0;
    std::mt19937 random(seed);
    auto pick = [&](auto& list) {
        return list[random() % (sizeof(list) / sizeof(list[0]))];
    };
    Writer out(file);
    const std::string header =
        "symbol\tdescription\texchange\tlisted market\tsecurity type\tsic\tfrontmonth\tnaics\r\n";
    std::fwrite(header.data(), 1, header.size(), file);

    // Roots are spread over the alphabet so that every initial occurs.
    const uint64_t roots = lines / 40 + 1;
    const uint64_t step = (26ull * 26 * 26 * 26) / roots + 1;
    for (uint64_t r = 0; out.Lines() < lines; ++r) {
        const std::string root = Root((r * step) % (26ull * 26 * 26 * 26));
        const std::string name = std::string(pick(kWords)) + " " + pick(kWords);
        const int sic = 1000 + static_cast<int>(random() % 8000);
        const int naics = 100000 + static_cast<int>(random() % 800000);
        const unsigned kind = random() % 100;
        if (kind < 6) {
            // A future with its continuous contract, months and options.
            const char* exchange = pick(kFutureExchanges);
            const std::string symbol = "@" + root;
            out.Line(symbol + "#", name + " CONTINUOUS", exchange, exchange, "FUTURE", 0, "", 0);
            for (int m = 0; m < 8; ++m) {
                out.Line(symbol + "Z" + std::to_string(21 + m), name + " " + kMonths[m] + " 20" +
                                                                   std::to_string(21 + m),
                         exchange, exchange, "FUTURE", 0, "1", 0);
            }
            for (int o = 0; o < 40; ++o) {
                out.Line(root.substr(0, 1) + root + "Z21C" + std::to_string(100 + o * 5),
                         name + " DEC 2021 CALL " + std::to_string(100 + o * 5) + ".00", exchange,
                         exchange, "FOPTION", 0, "", 0);
            }
        } else if (kind < 8) {
            const char* a = pick(kCurrencies);
            const char* b = pick(kCurrencies);
            const std::string pair = std::string(a) + b;
            out.Line(pair + ".FXCM", std::string(a) + "/" + b + " Spot", "FOREX", "MERIDEX",
                     "FOREX", 0, "", 0);
            out.Line(pair + ".COMP", std::string(a) + "/" + b + " Spot Composite", "FOREX",
                     "MERIDEX", "FOREX", 0, "", 0);
        } else if (kind < 11) {
            out.Line(root + ".X", name + " INDEX", pick(kIndexExchanges), "INDEX", "INDEX", 0, "",
                     0);
        } else if (kind < 13) {
            out.Line(root + "X", name + " FUND CLASS A", "NASDAQ", "MUTUAL", "MUTUAL", sic, "",
                     naics);
        } else {
            const char* exchange = pick(kEquityExchanges);
            out.Line(root, name + " INC", exchange, exchange, "EQUITY", sic, "", naics);
            const int options = 20 + static_cast<int>(random() % 50);
            for (int o = 0; o < options && out.Lines() < lines; ++o) {
                const int strike = 10 + o * 5;
                const char* month = kMonths[o % 12];
                char symbol[32];
                std::snprintf(symbol, sizeof(symbol), "%s21%02d17%c%08d", root.c_str(), 1 + o % 12,
                              o % 2 ? 'C' : 'P', strike * 1000);
                out.Line(symbol,
                         name + " " + month + " 2021 " + (o % 2 ? "CALL " : "PUT ") +
                             std::to_string(strike) + ".00",
                         "OPRA", "OPRA", "IEOPTION", sic, "2112", naics);
            }
        }
    }
    const bool ok = std::fclose(file) == 0;
    return ok ? out.Size() + header.size() : 0;
}

}  // namespace orvella::bench
