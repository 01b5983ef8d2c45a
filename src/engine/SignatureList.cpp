#include "engine/SignatureList.h"

#include "engine/SignatureDatabase.h"
#include "engine/StringSignature.h"
#include "engine/TextLines.h"

namespace {

void addItem(SignatureList& list, std::string_view name) {
    list.items.push_back(std::to_string(list.items.size() + 1) + ". " + std::string(name));
}

} // namespace

SignatureList BuildSignatureList(const std::string& databasePath) {
    SignatureList list;
    std::string content;
    try {
        content = SignatureDatabase::ReadFile(databasePath);
    } catch (const DatabaseError& error) {
        list.problem = error.what();
    }
    if (list.problem.empty()) {
        TextLines lines(content);
        std::string_view line;
        bool ended = false;
        std::size_t number = 0;
        while (lines.next(line)) {
            ++number;
            const std::size_t colon = line.find(':');
            // Listed whole, but a scan cannot look up a checksum past it: the database is broken.
            if (colon == std::string_view::npos && list.problem.empty()) {
                list.problem = SignatureDatabase::NoColonProblem(databasePath, number);
            }
            const std::string_view name =
                colon == std::string_view::npos ? line : line.substr(colon + 1);
            if (name == "Selesai") {
                ended = true;
                break;
            }
            addItem(list, name);
        }
        if (!ended && list.problem.empty()) {
            list.problem = SignatureDatabase::NoEndLineProblem(databasePath);
        }
    }
    for (const auto& entry : StringSignature::VirusEntries()) {
        addItem(list, entry.name);
    }
    list.totalLine = "Total Signatures : " + std::to_string(list.items.size());
    return list;
}
