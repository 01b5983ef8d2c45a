#include "testsupport/LinkSupport.h"

#include <windows.h>

namespace testsupport {

bool linksAreVisible() {
    // Wine's ntdll exports its version; Windows' does not.
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll == nullptr || ::GetProcAddress(ntdll, "wine_get_version") == nullptr;
}

} // namespace testsupport
