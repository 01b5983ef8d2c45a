#include "MinisignTool.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace minisign_tool {

namespace {

void run(const std::string& command) {
    // The paths come from the tests' own temporary folders, which hold no quotes.
    const int status = std::system((command + " </dev/null >/dev/null 2>&1").c_str());
    ASSERT_EQ(status, 0) << command;
}

} // namespace

void makeKeys(const std::string& publicKey, const std::string& secretKey) {
    run("minisign -G -W -p '" + publicKey + "' -s '" + secretKey + "'");
}

void sign(const std::string& file, const std::string& secretKey, const std::string& comment,
          bool legacy) {
    run(std::string("minisign -S") + (legacy ? " -l" : "") + " -s '" + secretKey + "' -m '" + file +
        "' -t '" + comment + "'");
}

std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    EXPECT_TRUE(out.good()) << path;
}

} // namespace minisign_tool
