#include "tests/support/RegistrySandbox.h"

#include <rpc.h>

#include <stdexcept>

namespace kvtest {

namespace {
std::wstring NewUniqueName() {
    UUID uuid{};
    ::UuidCreate(&uuid);
    RPC_WSTR text = nullptr;
    std::wstring result = L"sandbox";
    if (::UuidToStringW(&uuid, &text) == RPC_S_OK) {
        result = reinterpret_cast<wchar_t*>(text);
        ::RpcStringFreeW(&text);
    }
    return result;
}
}  // namespace

RegistrySandbox::RegistrySandbox() : m_path(L"Software\\KavendorTests\\" + NewUniqueName()) {
    const REGSAM access = KEY_ALL_ACCESS;
    if (m_classes.Create(HKEY_CURRENT_USER, m_path + L"\\Classes", access) != ERROR_SUCCESS ||
        m_user.Create(HKEY_CURRENT_USER, m_path + L"\\User", access) != ERROR_SUCCESS ||
        m_machine.Create(HKEY_CURRENT_USER, m_path + L"\\Machine", access) != ERROR_SUCCESS)
        throw std::runtime_error("registry sandbox could not be created");
    m_roots.classesRoot = m_classes.get();
    m_roots.currentUser = m_user.get();
    m_roots.localMachine = m_machine.get();
}

RegistrySandbox::~RegistrySandbox() {
    m_classes.Close();
    m_user.Close();
    m_machine.Close();
    win::DeleteKeyRecursive(HKEY_CURRENT_USER, m_path);
}

void RegistrySandbox::SetRaw(HKEY root, const std::wstring& key, const std::wstring& name, DWORD type,
                             const void* data, DWORD bytes) {
    win::RegKey k;
    if (k.Create(root, key, KEY_ALL_ACCESS) != ERROR_SUCCESS) throw std::runtime_error("fixture key");
    if (k.WriteRaw(name.empty() ? nullptr : name.c_str(), type, data, bytes) != ERROR_SUCCESS)
        throw std::runtime_error("fixture value");
}

void RegistrySandbox::SetString(HKEY root, const std::wstring& key, const std::wstring& name,
                                const std::wstring& value, DWORD type) {
    SetRaw(root, key, name, type, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void RegistrySandbox::SetDword(HKEY root, const std::wstring& key, const std::wstring& name, DWORD value) {
    SetRaw(root, key, name, REG_DWORD, &value, sizeof value);
}

bool RegistrySandbox::KeyExists(HKEY root, const std::wstring& key) {
    win::RegKey k;
    return k.Open(root, key, KEY_READ) == ERROR_SUCCESS;
}

std::wstring RegistrySandbox::GetString(HKEY root, const std::wstring& key, const std::wstring& name) {
    win::RegKey k;
    if (k.Open(root, key, KEY_READ) != ERROR_SUCCESS) return L"<absent>";
    auto value = k.ReadString(name.empty() ? nullptr : name.c_str());
    return value ? *value : L"<absent>";
}

}  // namespace kvtest
