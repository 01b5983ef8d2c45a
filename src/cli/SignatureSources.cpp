#include "cli/SignatureSources.h"

#include "scanner/PrintableName.h"
#include "signatures/ExtraSignatures.h"

#include <cctype>
#include <charconv>
#include <limits>

std::optional<std::uint64_t> ParseByteSize(const std::string& text) {
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || stop == text.data() || end - stop > 1) {
        return std::nullopt;
    }
    unsigned shift = 0;
    if (stop != end) {
        switch (std::toupper(static_cast<unsigned char>(*stop))) {
        case 'K':
            shift = 10;
            break;
        case 'M':
            shift = 20;
            break;
        case 'G':
            shift = 30;
            break;
        default:
            return std::nullopt;
        }
    }
    if (value > (std::numeric_limits<std::uint64_t>::max() >> shift)) {
        return std::nullopt;
    }
    return value << shift;
}

const ExtraSignatures* LoadedSignatures::active() const {
    return set != nullptr && !set->empty() ? set.get() : nullptr;
}

std::optional<LoadedSignatures> LoadSignatureSources(const CommandLine& line,
                                                     CommandStreams streams) {
    SignatureOptions options;
    options.folders = DefaultSignatureFolders();
    options.paths = line.signatures;
    const std::pair<const std::optional<std::string>*, std::uint64_t*> sizes[] = {
        {&line.maxHashSize, &options.maxHashSize}, {&line.maxYaraSize, &options.maxYaraSize}};
    for (const auto& [text, value] : sizes) {
        if (!text->has_value()) {
            continue;
        }
        const std::optional<std::uint64_t> size = ParseByteSize(**text);
        if (!size) {
            usageError(streams,
                       "'" + **text + "' is not a size (bytes, or a number with K, M or G)");
            return std::nullopt;
        }
        *value = *size;
    }
    if (line.yaraTimeout) {
        int seconds = 0;
        const std::string& text = *line.yaraTimeout;
        const auto [stop, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
        if (ec != std::errc() || stop != text.data() + text.size() || seconds < 1 ||
            seconds > 3600) {
            usageError(streams, "--yara-timeout takes whole seconds from 1 to 3600");
            return std::nullopt;
        }
        options.yaraTimeoutSeconds = seconds;
    }
    LoadedSignatures loaded;
    loaded.set = ExtraSignatures::Load(options);
    for (const SignatureSourceInfo& source : loaded.set->sources()) {
        for (const std::string& problem : source.problems) {
            streams.err << "kesto: " << PrintableName(source.path) << ": " << PrintableName(problem)
                        << '\n';
            loaded.problems = true;
        }
    }
    return loaded;
}
