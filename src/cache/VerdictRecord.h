#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

/// What reading a file's content found: facts of its bytes alone, true whatever the file is called
/// and whatever a signature database says about them.
struct ContentFacts {
    /// The CRC-32 of the whole content, when it was computed.
    std::optional<std::uint32_t> checksum;
    /// Whether the content was searched for the built-in virus patterns.
    bool patternsSearched = false;
    /// The place (from 1) in the virus pattern list of the first pattern found; 0 when none was
    /// found or none was searched.
    std::uint16_t pattern = 0;
    /// False when the first bytes show that no process can be running the file.
    bool mayBeRunning = true;
    /// Whether the content was checked against the signature sources beside the shipped database,
    /// and what they found: the source (from 1; 0 when none listed it) and the item within it.
    bool extraChecked = false;
    std::uint16_t extraSource = 0;
    std::uint32_t extraItem = 0;
    bool operator==(const ContentFacts&) const = default;
};

/// The state of a file's content that facts belong to, as its file system records it: a file
/// whose length and change time are the same has not been written to since. (Its modification
/// time adds nothing: every write, and every setting of that time, sets the change time to the
/// clock's time too.)
struct ContentStamp {
    std::uint64_t size = 0;
    std::int64_t changedNs = 0;
    bool operator==(const ContentStamp&) const = default;
};

/// One entry of the verdict store: the facts of a file's content, the stamp they belong to, and
/// the scan that wrote them. Keys and values are fixed-size byte strings in one byte order on
/// every machine; a value carries a check of its own, so that a damaged entry is never taken for
/// a clean file.
struct VerdictRecord {
    ContentStamp stamp;
    ContentFacts facts;
    /// The scan that wrote the entry; lower numbers are older and are dropped first.
    std::uint32_t serial = 0;
    bool operator==(const VerdictRecord&) const = default;

    static constexpr std::size_t kKeySize = 12;
    static constexpr std::size_t kValueSize = 33;
    /// Files this long and longer are never recorded (the scan reads far shorter files only).
    static constexpr std::uint64_t kMaxSize = UINT32_MAX;
    using Key = std::array<char, kKeySize>;
    using Value = std::array<char, kValueSize>;

    /// The key of the file `inode` on the volume the store numbered `volume`; keys sort by inode
    /// first, the order in which a walk tends to meet the files of a folder.
    static Key EncodeKey(std::uint32_t volume, std::uint64_t inode);
    /// The value of this record; its stamp's size must be below kMaxSize.
    Value encode() const;
    /// The record `encode` made these bytes from; none for any other bytes: another length, a
    /// check that does not match, or fields no record can have.
    static std::optional<VerdictRecord> Decode(std::string_view bytes);
};
