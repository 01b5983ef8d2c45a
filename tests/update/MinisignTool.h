#pragma once

#include <string>

/// Keys and signatures made by the real minisign program, so that the tests check this program
/// against what publishers use. Each call fails the running test when minisign fails.
namespace minisign_tool {

/// Makes a key pair without a password: the public key at `publicKey`, the secret one at
/// `secretKey`.
void makeKeys(const std::string& publicKey, const std::string& secretKey);

/// Signs `file` into `file` + ".minisig" with the trusted comment `comment`; `legacy` signs the
/// message itself instead of its BLAKE2b-512 hash.
void sign(const std::string& file, const std::string& secretKey, const std::string& comment,
          bool legacy = false);

/// The whole content of `path`, or of a new file there.
std::string read(const std::string& path);
void write(const std::string& path, const std::string& content);

} // namespace minisign_tool
