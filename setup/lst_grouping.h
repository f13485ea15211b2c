// How the lines of the symbol file are filed into LST files: the column
// split, the security-type mapping, the group-change rule and the rules of
// the three optional lists. Pure logic on views of one line; no I/O.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvella {

// The columns the build uses. A column exists only when a tab follows it;
// missing columns are empty. The type is already mapped ("FOPTION" to
// "FUTREOPT", "IEOPTION" to "STOCKOPT", "EQUITY" to "STOCK").
struct LstColumns {
    std::string_view symbol;       // column 1
    std::string_view description;  // column 2
    std::string_view exchange;     // column 3
    std::string_view market;       // column 4, compared with "MERIDEX"
    std::string_view type;         // column 5, mapped
};

// Splits one line (without its line end).
LstColumns SplitLstLine(std::string_view line);

// The lines of a block of text, found and split in one pass: the tabs, line
// feeds and NUL bytes of each 64 bytes are found at once, and every byte is
// looked at once however the lines fall.
class CLstLineScanner {
  public:
    CLstLineScanner(const char* begin, const char* end);

    // The next line: *columns as SplitLstLine gives them for its text without
    // a carriage return before the line feed, *holdsNul whether it holds a
    // NUL byte. Returns its line feed, or null when no line feed follows
    // (*columns is then not filled; the unfinished text begins at
    // LineStart()).
    const char* Next(LstColumns* columns, bool* holdsNul);
    const char* LineStart() const { return m_lineStart; }

  private:
    // Moves to the next 64 bytes; false at the end of the text.
    bool Advance();

    const char* m_end;
    const char* m_lineStart;
    const char* m_window;      // the (up to) 64 bytes whose bits m_mask holds
    const char* m_nextWindow;  // where the next ones begin
    uint64_t m_mask = 0;       // their tabs, line feeds and NULs not yet taken
};

// The security type as the LST files name it.
std::string_view MapSecurityType(std::string_view type);

// The rules of the optional lists.
bool IsContinuousFuture(const LstColumns& columns);  // "future_c.lst"
bool IsMeridexSpot(const LstColumns& columns);       // "meridexSpot.lst"
bool IsSpotComposite(const LstColumns& columns);     // "meridexForexComposite.lst"

// Which optional lists the user chose.
struct LstOptions {
    bool continuous = false;
    bool meridexSpot = false;
    bool meridexSpotComposite = false;
};

// What to do with one line.
struct LstDecision {
    // The line starts a group: the exchange file named by key (returned by
    // Next) becomes the current one, created when it is not open yet.
    bool newGroup = false;
    // The line goes to the current exchange file, if there is one (false for
    // the header line).
    bool toCurrent = false;
    bool toContinuous = false;
    bool toMeridexSpot = false;
    bool toSpotComposite = false;
};

// The group state of one pass over a symbol file. The first line is the
// header: it is offered only to the optional lists and leaves the state as it
// was.
class CLstGrouper {
  public:
    explicit CLstGrouper(const LstOptions& options) : m_options(options) {}

    // Decides for the next line. When the line starts a group, *key receives
    // the exchange, "_", the type and, for "STOCKOPT" and "FUTREOPT", "_" and
    // the symbol's first character (a NUL for an empty symbol).
    LstDecision Next(const LstColumns& columns, std::string* key);
    // A line that is not filed at all (malformed) leaves the group state as
    // it is; as the first line it still takes the header's place.
    void Skip() { m_firstLine = false; }

  private:
    LstOptions m_options;
    std::string m_lastExchange;
    std::string m_lastType;
    char m_lastStockOptionInitial = '\0';
    char m_lastFutureOptionInitial = '\0';
    bool m_firstLine = true;
};

}  // namespace orvella
