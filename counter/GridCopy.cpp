// GridCopy: tab-separated text of the grid's channels, names and values.
#include "counter/GridCopy.h"

#include "counter/ResultCell.h"

namespace {

std::string field(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return out;
}

} // namespace

std::string gridCopyText(std::string_view resultHeading, const std::vector<GridCopyRow>& rows) {
    std::string text = "Channel\tName\t" + field(resultHeading) + "\tUnit\n";
    for (const GridCopyRow& row : rows) {
        const ResultCell cell = splitResultCell(row.result);
        text += std::to_string(row.channel) + '\t' + field(row.name) + '\t' + field(cell.number) +
                '\t' + field(cell.unit) + '\n';
    }
    return text;
}
