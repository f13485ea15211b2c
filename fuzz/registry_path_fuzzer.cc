// The registry's full-path split: key path and value name must together be
// the path less its leading backslashes, with no backslash at the ends of the
// key path nor anywhere in the value name.
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "platform/text.h"
#include "settings/reg_value.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const std::wstring path =
        platform::WidenText(std::string_view(reinterpret_cast<const char*>(bytes), size));
    std::wstring key;
    std::wstring name;
    orvella::SplitFullPath(path, &key, &name);

    FUZZ_CHECK(name.find(L'\\') == std::wstring::npos);
    FUZZ_CHECK(key.empty() || (key.front() != L'\\' && key.back() != L'\\'));
    std::wstring_view rest(path);
    while (!rest.empty() && rest.front() == L'\\') {
        rest.remove_prefix(1);
    }
    const size_t last = rest.rfind(L'\\');
    if (last == std::wstring_view::npos) {
        FUZZ_CHECK(key.empty());
        FUZZ_CHECK(name == rest);
    } else {
        // The key path is a prefix and the value name the last component.
        FUZZ_CHECK(rest.substr(0, key.size()) == key);
        FUZZ_CHECK(rest.substr(last + 1) == name);
        FUZZ_CHECK(rest.substr(key.size(), last - key.size()).find_first_not_of(L'\\') ==
                   std::wstring_view::npos);
    }
    return 0;
}
