#include "core/CsvWriter.h"

namespace velmora {

std::string CsvWriter::cell(const std::string& value) {
    std::string out = value;
    if (!out.empty() && std::string_view("=+-@\t\r").find(out.front()) != std::string_view::npos) out.insert(0, "'");
    if (out.find_first_of(",\"\r\n") == std::string::npos) return out;
    std::string quoted = "\"";
    for (char c : out) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

void CsvWriter::addRow(const std::vector<std::string>& cells) {
    for (size_t i = 0; i < cells.size(); ++i) {
        if (i) text_ += ',';
        text_ += cell(cells[i]);
    }
    text_ += "\r\n";
}

} // namespace velmora
