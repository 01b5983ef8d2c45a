#pragma once

namespace testsupport {

/// Whether tests can make symbolic links that the code under test sees as links. Always on
/// Linux; on Windows not under Wine, whose links are plain Unix links with no reparse point, so
/// that every call follows them and a "link is not followed" test cannot pass or fail there.
bool linksAreVisible();

} // namespace testsupport
