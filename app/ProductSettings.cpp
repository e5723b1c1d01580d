#include "app/ProductSettings.h"

#include <windows.h>
#include <objidl.h>
#include <shlwapi.h>
#include <initguid.h>
#include <xmllite.h>

#include <array>
#include <vector>

#include "win/ComPtr.h"
#include "win/Strings.h"
#include "win/UniqueHandle.h"

const wchar_t kDefaultSupportUrl[] = L"https://www.velmora.com/support/";

namespace {

constexpr DWORD kMaxSettingsFileBytes = 4u * 1024u * 1024u;

struct FieldSlot {
    const wchar_t* name;
    std::wstring ProductSettings::*field;
};

constexpr std::array<FieldSlot, 9> kFields = {{
    {L"VENDID", &ProductSettings::VENDID},
    {L"APPNAME", &ProductSettings::APPNAME},
    {L"APPVER", &ProductSettings::APPVER},
    {L"EXENAME", &ProductSettings::EXENAME},
    {L"COMPANYNAME", &ProductSettings::COMPANYNAME},
    {L"LANGID", &ProductSettings::LANGID},
    {L"CPID", &ProductSettings::CPID},
    {L"PID", &ProductSettings::PID},
    {L"URLSUPPORT", &ProductSettings::URLSUPPORT},
}};

std::string ReadWholeFile(const std::wstring& path) {
    win::UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return {};
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 || size.QuadPart > kMaxSettingsFileBytes) return {};
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) return {};
    bytes.resize(got);
    return bytes;
}

// The document is UTF-16 little-endian, with or without a byte-order mark.
std::wstring DecodeUtf16(const std::string& bytes) {
    size_t offset = 0;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE)
        offset = 2;
    std::wstring text((bytes.size() - offset) / sizeof(wchar_t), L'\0');
    if (!text.empty()) memcpy(text.data(), bytes.data() + offset, text.size() * sizeof(wchar_t));
    return text;
}

// A document type declaration is accepted and ignored: it is taken out before parsing, so no
// declared entity is ever expanded. Returns false when the declaration never ends.
bool RemoveDoctype(std::wstring& text) {
    const size_t start = text.find(L"<!DOCTYPE");
    if (start == std::wstring::npos) return true;
    wchar_t quote = 0;
    int bracketDepth = 0;
    for (size_t i = start + 9; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == L'"' || c == L'\'') {
            quote = c;
        } else if (c == L'[') {
            ++bracketDepth;
        } else if (c == L']') {
            --bracketDepth;
        } else if (c == L'>' && bracketDepth <= 0) {
            text.erase(start, i - start + 1);
            return true;
        }
    }
    return false;
}

using CreateXmlReaderFn = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);

struct OpenElement {
    int fieldIndex;  // the field this element is the first occurrence of, or -1
};

bool ParseDocument(const std::wstring& text, ProductSettings& settings, bool& urlSupportFound) {
    // The reader is handed the text with a byte-order mark so it never has to guess the encoding.
    std::string bytes("\xFF\xFE", 2);
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    win::UniqueModule xmllite(::LoadLibraryW(L"xmllite.dll"));
    if (!xmllite) return false;
    auto create = reinterpret_cast<CreateXmlReaderFn>(
        reinterpret_cast<void*>(::GetProcAddress(xmllite.get(), "CreateXmlReader")));
    if (!create) return false;

    bool ok = false;
    {
        auto stream = win::ComPtr<IStream>::Attach(
            ::SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size())));
        win::ComPtr<IXmlReader> reader;
        if (!stream || FAILED(create(IID_IXmlReader, reader.put_void(), nullptr))) return false;
        reader->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit);
        if (FAILED(reader->SetInput(stream.get()))) return false;

        std::array<bool, kFields.size()> seen{};
        std::array<bool, kFields.size()> assigned{};
        std::vector<OpenElement> open;
        bool sawElement = false;
        XmlNodeType type;
        HRESULT hr;
        while ((hr = reader->Read(&type)) == S_OK) {
            if (type == XmlNodeType_Element) {
                sawElement = true;
                const wchar_t* name = nullptr;
                UINT length = 0;
                if (FAILED(reader->GetLocalName(&name, &length))) return false;
                // Names are matched whole, with their prefix, exactly and case-sensitively.
                const wchar_t* qualified = nullptr;
                UINT qualifiedLength = 0;
                if (SUCCEEDED(reader->GetQualifiedName(&qualified, &qualifiedLength))) {
                    name = qualified;
                    length = qualifiedLength;
                }
                std::wstring_view elementName(name, length);
                int fieldIndex = -1;
                for (size_t i = 0; i < kFields.size(); ++i) {
                    if (!seen[i] && elementName == kFields[i].name) {
                        seen[i] = true;
                        fieldIndex = static_cast<int>(i);
                        break;
                    }
                }
                if (!reader->IsEmptyElement()) open.push_back({fieldIndex});
            } else if (type == XmlNodeType_EndElement) {
                if (!open.empty()) open.pop_back();
            } else if (type == XmlNodeType_Text || type == XmlNodeType_CDATA) {
                if (open.empty() || open.back().fieldIndex < 0) continue;
                size_t index = static_cast<size_t>(open.back().fieldIndex);
                if (assigned[index]) continue;
                const wchar_t* value = nullptr;
                UINT length = 0;
                if (FAILED(reader->GetValue(&value, &length))) return false;
                assigned[index] = true;
                settings.*kFields[index].field = std::wstring(value, std::min<size_t>(length, kMaxSettingLength));
            }
        }
        // The end of a document with a root element; anything else is not well-formed.
        ok = hr == S_FALSE && sawElement && open.empty();
        urlSupportFound = assigned[kFields.size() - 1];
    }
    return ok;
}

}  // namespace

std::wstring ProductSettings::GetSupportUrl() const {
    return win::Format(L"%ls&cpid=%ls&pid=%ls", URLSUPPORT.c_str(), CPID.c_str(), PID.c_str());
}

ProductSettings LoadSettingsXml(const std::wstring& settingsFile, const std::wstring& affiliateId) {
    const std::wstring uidSuffix = win::Format(L"&uid=%ls", affiliateId.empty() ? L"0" : affiliateId.c_str());
    std::string bytes = ReadWholeFile(settingsFile);
    if (bytes.empty()) return {};
    std::wstring text = DecodeUtf16(bytes);
    if (!RemoveDoctype(text)) return {};
    ProductSettings settings;
    bool urlSupportFound = false;
    if (!ParseDocument(text, settings, urlSupportFound)) return {};
    if (urlSupportFound)
        settings.URLSUPPORT += uidSuffix;
    else
        settings.URLSUPPORT = kDefaultSupportUrl;
    return settings;
}

ProductSettings& GetProductSettings() {
    static ProductSettings settings;
    return settings;
}
