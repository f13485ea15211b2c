#include "settings/registry_access.h"

#include "platform/text.h"
#include "settings/reg_text.h"
#include "settings/reg_value.h"

namespace orvella {

std::wstring ReadRegString(const std::wstring& fullPath, const std::wstring& defaultValue,
                           platform::Hive hive) {
    CRegStringValue value;
    value.SetPath(fullPath, defaultValue, true, hive);
    return value.Read();
}

std::string ReadRegString(const std::string& fullPath, const std::string& defaultValue,
                          platform::Hive hive) {
    return platform::NarrowText(
        ReadRegString(platform::WidenText(fullPath), platform::WidenText(defaultValue), hive));
}

void WriteRegString(const std::wstring& fullPath, const std::wstring& value, platform::Hive hive) {
    CRegStringValue record;
    record.SetPath(fullPath, L"", true, hive);
    record.Assign(value);
}

void WriteRegString(const std::string& fullPath, const std::string& value, platform::Hive hive) {
    WriteRegString(platform::WidenText(fullPath), platform::WidenText(value), hive);
}

int32_t ReadRegDword(const std::wstring& fullPath, int32_t defaultValue, platform::Hive hive) {
    CRegDwordValue value;
    value.SetPath(fullPath, defaultValue, true, hive);
    return value.Read();
}

int32_t ReadRegDword(const std::string& fullPath, int32_t defaultValue, platform::Hive hive) {
    return ReadRegDword(platform::WidenText(fullPath), defaultValue, hive);
}

void WriteRegDword(int32_t value, const std::wstring& fullPath, platform::Hive hive) {
    CRegDwordValue record;
    record.SetPath(fullPath, 0, true, hive);
    record.Assign(value);
}

void WriteRegDword(int32_t value, const std::string& fullPath, platform::Hive hive) {
    WriteRegDword(value, platform::WidenText(fullPath), hive);
}

}  // namespace orvella
