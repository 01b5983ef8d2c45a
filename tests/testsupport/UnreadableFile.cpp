#include "testsupport/UnreadableFile.h"

#include "testsupport/SampleFiles.h"

namespace testsupport {

UnreadableFile::UnreadableFile(const std::string& path) {
    makeFifo(path);
}

UnreadableFile::~UnreadableFile() = default;

} // namespace testsupport
