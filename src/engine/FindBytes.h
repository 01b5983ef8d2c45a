#pragma once

#include <string_view>

/// Start of the first occurrence of `needle` in `haystack`, or nullptr when there is none. An
/// empty needle is found at the start. Uses the C library's memmem where it is fast (glibc) and
/// `findBytesPortable` elsewhere.
const char* findBytes(std::string_view haystack, std::string_view needle);

/// The same search without the C library: the two-way algorithm (Crochemore and Perrin), linear
/// in the length of the haystack whatever the bytes, with memchr skipping ahead while no part of
/// a match is pending. Exposed so that every platform can test it.
const char* findBytesPortable(std::string_view haystack, std::string_view needle);

/// Name of the search `findBytes` uses: "memmem" or "portable".
const char* findBytesName();
