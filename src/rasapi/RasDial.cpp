// librasapi32.so: RasDialW for POSIX systems. It reads the records the Windows service reads, looks
// the entry up in an INI phonebook and runs the entry's command to bring the connection up.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/RasRecords.h"
#include "rasapi/ConnectCommand.h"
#include "rasapi/Phonebook.h"
#include "rasapi/PhonebookFile.h"
#include "rasapi/RasErrors.h"

namespace {

// The phonebook used when the caller names none; the variable, when set, names another.
constexpr const char* DefaultPhonebook = "/etc/corvane/rasphone.pbk";
constexpr const char* DefaultPhonebookVariable = "CORVANE_RAS_DEFAULT_PHONEBOOK";

// UTF-16 to UTF-8; false for an unpaired surrogate.
[[nodiscard]] bool AppendUtf8(const char16_t* text, std::size_t length, TSecureChars& out)
{
    for (std::size_t i = 0; i < length; ++i) {
        std::uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= length || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
                return false;
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | c >> 6));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | c >> 12));
            out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | c >> 18));
            out.push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return true;
}

// A text field of the parameters record: its characters up to the terminator, which must lie
// inside the field. Read byte-wise, as the record is packed and may sit anywhere.
template <std::size_t N>
[[nodiscard]] bool ReadField(const std::uint8_t* record, std::size_t offset, TSecureChars& out)
{
    TSecureVector<char16_t> field(N);
    std::memcpy(field.data(), record + offset, N * sizeof(char16_t));
    for (std::size_t length = 0; length < N; ++length)
        if (field[length] == u'\0')
            return AppendUtf8(field.data(), length, out);
    return false;
}

std::uint32_t ReadSize(const void* record)
{
    std::uint32_t size = 0;
    std::memcpy(&size, record, sizeof size);
    return size;
}

std::string PhonebookPath(const char16_t* lpszPhonebook, bool& valid)
{
    valid = true;
    if (lpszPhonebook == nullptr || lpszPhonebook[0] == u'\0') {
        const char* chosen = std::getenv(DefaultPhonebookVariable);
        return chosen != nullptr && chosen[0] != '\0' ? chosen : DefaultPhonebook;
    }
    TSecureChars path;
    valid = AppendUtf8(lpszPhonebook, std::char_traits<char16_t>::length(lpszPhonebook), path);
    return std::string(path.begin(), path.end());
}

struct TDialTexts {
    TSecureChars EntryName;
    TSecureChars PhoneNumber;
    TSecureChars UserName;
    TSecureChars Password;
};

[[nodiscard]] bool ReadDialTexts(const void* lpRasDialParams, TDialTexts& texts)
{
    const auto* record = static_cast<const std::uint8_t*>(lpRasDialParams);
    return ReadField<MaxEntryNameLength + 1>(record, offsetof(RASDIALPARAMSW, szEntryName), texts.EntryName) &&
           ReadField<MaxPhoneNumberLength + 1>(record, offsetof(RASDIALPARAMSW, szPhoneNumber), texts.PhoneNumber) &&
           ReadField<MaxUserNameLength + 1>(record, offsetof(RASDIALPARAMSW, szUserName), texts.UserName) &&
           ReadField<MaxPasswordLength + 1>(record, offsetof(RASDIALPARAMSW, szPassword), texts.Password);
}

std::uint32_t Dial(void* lpRasDialExtensions, const char16_t* lpszPhonebook, void* lpRasDialParams,
                   std::uint32_t dwNotifierType, void* lpvNotifier, void** lphRasConn)
{
    // Only synchronous dials: nothing here could call a notifier back.
    if (lpRasDialParams == nullptr || lphRasConn == nullptr || lpvNotifier != nullptr || dwNotifierType != 0)
        return RasInvalidParameter;
    // No handle: the connection belongs to the command's own tooling, and nothing here hangs up.
    *lphRasConn = nullptr;
    if (ReadSize(lpRasDialParams) != sizeof(RASDIALPARAMSW) ||
        (lpRasDialExtensions != nullptr && ReadSize(lpRasDialExtensions) != sizeof(RASDIALEXTENSIONS)))
        return RasInvalidSize;

    TDialTexts texts;
    if (!ReadDialTexts(lpRasDialParams, texts))
        return RasInvalidParameter;
    bool validPath = false;
    const std::string phonebook = PhonebookPath(lpszPhonebook, validPath);
    if (!validPath)
        return RasCannotOpenPhonebook;

    std::string phonebookText;
    if (const std::uint32_t result = ReadPhonebookFile(phonebook, phonebookText); result != RasSuccess)
        return result;
    const TPhonebookEntry entry =
        FindPhonebookEntry(phonebookText, std::string_view(texts.EntryName.data(), texts.EntryName.size()));
    if (entry.Lookup == TPhonebookLookup::EntryMissing)
        return RasCannotFindEntry;
    const std::vector<std::string> words = SplitCommandWords(entry.Command);
    if (entry.Lookup == TPhonebookLookup::CommandMissing || words.empty())
        return RasCorruptPhonebook;

    // The credentials reach the command through its environment, never its argument list,
    // which any user of the machine can read.
    const TSecureChars phonebookChars(phonebook.begin(), phonebook.end());
    const std::vector<TSecureChars> environment{
        MakeEnvironmentEntry("CORVANE_RAS_PHONEBOOK", phonebookChars),
        MakeEnvironmentEntry("CORVANE_RAS_ENTRY_NAME", texts.EntryName),
        MakeEnvironmentEntry("CORVANE_RAS_USER_NAME", texts.UserName),
        MakeEnvironmentEntry("CORVANE_RAS_PASSWORD", texts.Password),
        MakeEnvironmentEntry("CORVANE_RAS_PHONE_NUMBER", texts.PhoneNumber),
    };
    return RunConnectCommand(words, environment);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) std::uint32_t RasDialW(void* lpRasDialExtensions,
                                                                         const char16_t* lpszPhonebook,
                                                                         void* lpRasDialParams,
                                                                         std::uint32_t dwNotifierType,
                                                                         void* lpvNotifier, void** lphRasConn)
{
    try {
        return Dial(lpRasDialExtensions, lpszPhonebook, lpRasDialParams, dwNotifierType, lpvNotifier, lphRasConn);
    } catch (const std::bad_alloc&) {
        return RasAllocatingMemory;
    } catch (...) {
        return RasFromDevice;
    }
}
