// GridCopy: the result grid as tab-separated text for the clipboard. A
// heading line, then one line per row in the order the grid shows them:
// channel number, name, value and unit of the result cell (its remark is
// left out). Tabs and line breaks inside a name become blanks, so every
// line keeps its four fields.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct GridCopyRow {
    int channel = 0;
    std::string name;
    std::string result; // result cell text: "number|unit$remark"
};

// resultHeading heads the value column ("Frequency", "Period", ...).
std::string gridCopyText(std::string_view resultHeading, const std::vector<GridCopyRow>& rows);
