#include "scanner/WalkedFolder.h"

#include <algorithm>

WalkedFolder::~WalkedFolder() {
    // Each parent this node owned alone is taken apart here instead of in a nested destructor.
    std::shared_ptr<const WalkedFolder> next = std::move(parent);
    while (next && next.use_count() == 1) {
        std::shared_ptr<const WalkedFolder> above =
            std::move(const_cast<WalkedFolder&>(*next).parent);
        next = std::move(above);
    }
}

bool SameFolder(const WalkedFolder& a, const WalkedFolder& b) {
    const WalkedFolder* left = &a;
    const WalkedFolder* right = &b;
    while (left != nullptr && right != nullptr && left != right) {
        if (left->id != right->id || left->name != right->name) {
            return false;
        }
        left = left->parent.get();
        right = right->parent.get();
    }
    return left == right;
}

std::vector<const WalkedFolder*> ChainFromRoot(const WalkedFolder& folder) {
    std::vector<const WalkedFolder*> chain;
    for (const WalkedFolder* node = &folder; node != nullptr; node = node->parent.get()) {
        chain.push_back(node);
    }
    std::reverse(chain.begin(), chain.end());
    return chain;
}

std::error_code ReopenFolder(const WalkedFolder& folder, platform::FolderHandle& handle) {
    const std::vector<const WalkedFolder*> chain = ChainFromRoot(folder);
    platform::FolderHandle current;
    for (std::size_t i = 0; i < chain.size(); ++i) {
        platform::FolderHandle next;
        const std::error_code ec =
            i == 0 ? next.openPath(chain[i]->name) : next.openChild(current, chain[i]->name);
        if (ec) {
            // A link or a file where the folder was is a change too.
            if (ec == std::errc::too_many_symbolic_link_levels ||
                ec == std::errc::not_a_directory) {
                return platform::FileError::Changed;
            }
            return ec;
        }
        if (next.id() != chain[i]->id) {
            return platform::FileError::Changed;
        }
        current = std::move(next);
    }
    handle = std::move(current);
    return {};
}
