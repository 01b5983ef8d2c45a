#include "engine/SignatureList.h"

#include "engine/StringSignature.h"
#include "engine/TextLines.h"
#include "platform/InputFile.h"

namespace {

void addItem(SignatureList& list, std::string_view name) {
    list.items.push_back(std::to_string(list.items.size() + 1) + ". " + std::string(name));
}

} // namespace

SignatureList BuildSignatureList(const std::string& databasePath) {
    SignatureList list;
    std::string content;
    if (const auto ec = platform::readWholeFile(databasePath, content)) {
        list.problem = "cannot read the database '" + databasePath + "': " + ec.message();
    } else {
        TextLines lines(content);
        std::string_view line;
        bool ended = false;
        while (lines.next(line)) {
            const std::size_t colon = line.find(':');
            const std::string_view name =
                colon == std::string_view::npos ? line : line.substr(colon + 1);
            if (name == "Selesai") {
                ended = true;
                break;
            }
            addItem(list, name);
        }
        if (!ended) {
            list.problem =
                "the database '" + databasePath + "' has no end line \"Selesai:Selesai\"";
        }
    }
    for (const auto& entry : StringSignature::VirusEntries()) {
        addItem(list, entry.name);
    }
    list.totalLine = "Total Signatures : " + std::to_string(list.items.size());
    return list;
}
