#include "update/tork3sim/SimScenario.h"

#include <cwchar>
#include <vector>

#include "win/RegKey.h"
#include "win/Strings.h"

namespace {
const wchar_t* const kNames[] = {L"update", L"noupdates", L"failed", L"reboot", L"slow", L"offline", L"createfails"};
}

SimScenario ParseSimScenario(const std::wstring& text) {
    SimScenario scenario;
    std::wstring lower = win::ToLower(text.substr(0, 256));
    size_t start = 0;
    bool first = true;
    while (start <= lower.size()) {
        size_t end = lower.find(L';', start);
        if (end == std::wstring::npos) end = lower.size();
        std::wstring part = lower.substr(start, end - start);
        while (!part.empty() && part.front() == L' ') part.erase(0, 1);
        while (!part.empty() && part.back() == L' ') part.pop_back();
        if (first) {
            for (const wchar_t* name : kNames)
                if (part == name) scenario.strName = name;
            first = false;
        } else if (part == L"close") {
            scenario.bClose = true;
        } else if (part == L"reboot") {
            scenario.bReboot = true;
        } else if (part == L"message") {
            scenario.bMessage = true;
        } else if (part.rfind(L"delay=", 0) == 0) {
            std::wstring digits = part.substr(6);
            if (!digits.empty() && digits.size() <= 5 && digits.find_first_not_of(L"0123456789") == std::wstring::npos) {
                unsigned long value = std::wcstoul(digits.c_str(), nullptr, 10);
                scenario.nDelayMs = value > 10000 ? 10000 : static_cast<DWORD>(value);
            }
        }
        start = end + 1;
    }
    if (scenario.strName == L"reboot") scenario.bReboot = true;
    return scenario;
}

std::wstring FormatSimScenario(const SimScenario& scenario) {
    std::wstring text = scenario.strName;
    if (scenario.bClose) text += L";close";
    if (scenario.bReboot && scenario.strName != L"reboot") text += L";reboot";
    if (scenario.bMessage) text += L";message";
    text += L";delay=" + std::to_wstring(scenario.nDelayMs);
    return text;
}

std::wstring SimEnvironment(const wchar_t* name) {
    DWORD needed = ::GetEnvironmentVariableW(name, nullptr, 0);
    if (needed == 0 || needed > 32768) return {};
    std::vector<wchar_t> buffer(needed);
    DWORD length = ::GetEnvironmentVariableW(name, buffer.data(), needed);
    if (length == 0 || length >= needed) return {};
    return std::wstring(buffer.data(), length);
}

std::wstring SimSettingsKeyPath() {
    std::wstring path = SimEnvironment(L"KV_TORK3_SETTINGS_KEY");
    return path.empty() ? L"Software\\Velmora\\Tork3\\Settings" : path;
}

SimScenario CurrentSimScenario() {
    std::wstring text = SimEnvironment(L"KV_TORK3_SCENARIO");
    if (text.empty()) {
        win::RegKey key;
        if (key.Open(HKEY_CURRENT_USER, SimSettingsKeyPath(), KEY_READ) == ERROR_SUCCESS) {
            DWORD type = 0;
            auto value = key.ReadString(L"SimScenario", &type);
            if (value && type == REG_SZ) text = *value;
        }
    }
    return ParseSimScenario(text);
}
