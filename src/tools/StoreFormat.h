#pragma once

#include <string>
#include <vector>

/// The format of the registry store: every key is a folder, and a key's values are the lines of
/// its `values` file.
namespace modReg {

/// Name of the file in a key's folder that holds the key's values.
inline constexpr char kValuesFile[] = "values";

/// One value of a values file: its stored name, its type and its data as text.
struct StoredValue {
    std::string name;
    int type = 0;
    std::string data;
};

/// The form the names of keys and values are stored and matched in: ASCII letters in lower case,
/// so that names match without regard to case, as the registry matches them.
std::string StoreName(std::string name);

/// The values of a values file's text: a line each, name TAB type TAB data, with backslash, tab
/// and newline in the name and the data escaped as \\, \t and \n. Malformed lines are skipped,
/// names come back as stored names, and of values with the same name the first wins.
std::vector<StoredValue> ParseValues(const std::string& text);

/// The text of a values file that holds `values`, in their order.
std::string ValuesText(const std::vector<StoredValue>& values);

} // namespace modReg
