#pragma once

#include <string>
#include <vector>

namespace velmora {

// Comma-separated text as RFC 4180 describes it (CRLF line ends, quoted fields where needed,
// quotes doubled), starting with a UTF-8 byte order mark so spreadsheet programs read
// non-Latin text correctly. The cells come from job boards and the user, so any cell that a
// spreadsheet would take for a formula gets a leading apostrophe and is shown as text.
class CsvWriter {
public:
    void addRow(const std::vector<std::string>& cells);
    const std::string& text() const { return text_; }

    // One cell as it is written: neutralised, then quoted when it holds a separator, a quote or
    // a line break.
    static std::string cell(const std::string& value);

private:
    std::string text_ = "\xEF\xBB\xBF";
};

} // namespace velmora
