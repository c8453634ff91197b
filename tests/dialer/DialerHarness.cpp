#include "dialer/DialerHarness.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "CorvaneUtil/CorvaneUtil.h"
#include "core/Text.h"
#include "doubles/RasDialRecording.h"
#include "platform/CodePage.h"
#include "rtl/StringList.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using namespace TestSupport;

namespace DialerTesting {

namespace {

#ifdef _WIN32
constexpr const char* DialerName = "CorvaneDialer.exe";
constexpr const char* LibraryName = "rasapi32.dll";
#else
constexpr const char* DialerName = "CorvaneDialer";
constexpr const char* LibraryName = "librasapi32.so";
#endif

fs::path FromEnvironmentOr(const char* name, const fs::path& fallback)
{
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0' ? fs::path(value) : fallback;
}

fs::path BuildBin()
{
    return FromEnvironmentOr("CORVANE_BUILD_BIN", ProgramDir());
}

#ifdef _WIN32
// Wine takes a program's DLL overrides from its Unix environment at start, which a Windows parent
// cannot set for its child (a WINEDLLOVERRIDES in the CreateProcessW environment is not honoured
// by Wine 8), or from the prefix's registry, per program name.
constexpr const wchar_t* DialerOverridesKey = L"Software\\Wine\\AppDefaults\\CorvaneDialer.exe";

void SetDialerRasOverride(const wchar_t* loadOrder)
{
    HKEY key = nullptr;
    const std::wstring subKey = std::wstring(DialerOverridesKey) + L"\\DllOverrides";
    if (RegCreateKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        throw std::runtime_error("cannot write Wine's DLL overrides");
    const DWORD size = static_cast<DWORD>((wcslen(loadOrder) + 1) * sizeof(wchar_t));
    const LSTATUS status = RegSetValueExW(key, L"rasapi32", 0, REG_SZ, reinterpret_cast<const BYTE*>(loadOrder), size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        throw std::runtime_error("cannot write Wine's DLL overrides");
}

void RemoveDialerOverrides()
{
    RegDeleteTreeW(HKEY_CURRENT_USER, DialerOverridesKey);
}

fs::path SystemDirectory()
{
    wchar_t buffer[MAX_PATH];
    const UINT length = GetSystemDirectoryW(buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        throw std::runtime_error("no system directory");
    return fs::path(std::wstring(buffer, length));
}
#endif

std::uint32_t ReadUint32(const TBytes& bytes, std::size_t offset)
{
    std::uint32_t value = 0;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

}  // namespace

TDialerHarness::TDialerHarness()
{
    fs::create_directories(FRoot / "app");
    fs::create_directories(FRoot / "data" / "Orvex" / "Common" / "ErrorLog");
    FDialer = FRoot / "app" / DialerName;
    fs::copy_file(BuildBin() / DialerName, FDialer);
    FRecordFile = FRoot / "dial.record";
#ifdef _WIN32
    FSystemLibrary = SystemDirectory() / LibraryName;
    if (fs::exists(FSystemLibrary))
        FOriginalSystemLibrary = ReadFileBytes(FSystemLibrary);
#endif
    UseRasLibrary(TRasLibrary::Recording);
}

TDialerHarness::~TDialerHarness()
{
#ifdef _WIN32
    RemoveDialerOverrides();
    std::error_code ignored;
    if (FOriginalSystemLibrary)
        WriteFileBytes(FSystemLibrary, FOriginalSystemLibrary->data(), FOriginalSystemLibrary->size());
    else
        fs::remove(FSystemLibrary, ignored);
#endif
}

fs::path TDialerHarness::LogFile() const
{
    return FRoot / "data" / "Orvex" / "Common" / "ErrorLog" / "CorvaneDialer.log";
}

fs::path TDialerHarness::LibraryFile(TRasLibrary library) const
{
    if (library == TRasLibrary::WithoutDial)
        return DoublesDir() / "without-dial" / LibraryName;
    return DoublesDir() / LibraryName;
}

void TDialerHarness::UseRasLibrary(TRasLibrary library)
{
#ifdef _WIN32
    // Native only, or nothing at all: Wine's own rasapi32 answers every dial with 1.
    SetDialerRasOverride(library == TRasLibrary::Missing ? L"" : L"native");
    if (library != TRasLibrary::Missing)
        fs::copy_file(LibraryFile(library), FSystemLibrary, fs::copy_options::overwrite_existing);
#else
    const fs::path beside = FDialer.parent_path() / LibraryName;
    std::error_code ignored;
    fs::remove(beside, ignored);
    if (library != TRasLibrary::Missing)
        fs::copy_file(LibraryFile(library), beside);
#endif
}

void TDialerHarness::PlantBesideDialer(TRasLibrary library)
{
    fs::copy_file(LibraryFile(library), FDialer.parent_path() / LibraryName, fs::copy_options::overwrite_existing);
}

TEnvironmentChanges TDialerHarness::DialerEnvironment() const
{
    TEnvironmentChanges environment{
        {"PROGRAMDATA", (FRoot / "data").string()},
        {RasDialRecording::RecordFileVariable, FRecordFile.string()},
        {RasDialRecording::ResultVariable, std::to_string(FDialResult)},
    };
#ifdef _WIN32
    environment.emplace_back("WINEDLLOVERRIDES", std::nullopt);
#else
    // Only the library beside the dialer, or none at all, may answer.
    environment.emplace_back("LD_LIBRARY_PATH", std::nullopt);
    environment.emplace_back("LD_PRELOAD", std::nullopt);
#endif
    environment.insert(environment.end(), FExtraEnvironment.begin(), FExtraEnvironment.end());
    return environment;
}

TChildExit TDialerHarness::Run(const std::vector<std::string>& args)
{
    return RunChild(FDialer, args, DialerEnvironment());
}

TChildExit TDialerHarness::RunWithItems(const std::vector<std::u16string>& items)
{
    return Run({MakeBlock(items)});
}

TChildExit TDialerHarness::RunThrough(const fs::path& program, const std::vector<std::string>& args)
{
    return RunChild(program, args, DialerEnvironment());
}

std::optional<TRecordedDial> TDialerHarness::Recorded() const
{
    using namespace RasDialRecording;
    if (!fs::exists(FRecordFile))
        return std::nullopt;
    const TBytes bytes = ReadFileBytes(FRecordFile);
    if (bytes.size() < PhonebookOffset || (bytes.size() - PhonebookOffset) % 2 != 0)
        throw std::runtime_error("damaged dial record");
    TRecordedDial dial;
    dial.NotifierType = ReadUint32(bytes, NotifierTypeOffset);
    dial.Flags = ReadUint32(bytes, FlagsOffset);
    dial.Extensions.assign(bytes.begin() + ExtensionsOffset, bytes.begin() + ParamsOffset);
    dial.Params.assign(bytes.begin() + ParamsOffset, bytes.begin() + PhonebookOffset);
    for (std::size_t i = PhonebookOffset; i < bytes.size(); i += 2)
        dial.Phonebook.push_back(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
    return dial;
}

std::vector<TLoggedMessage> TDialerHarness::Logged() const
{
    std::vector<TLoggedMessage> messages;
    if (!fs::exists(LogFile()))
        return messages;
    const TBytes bytes = ReadFileBytes(LogFile());
    const std::string text(bytes.begin(), bytes.end());
    const std::string head = "\r\nErrorMsgST/\r\n";
    const std::string tail = "\r\n/ErrorMsgED\r\n";
    std::size_t position = 0;
    while (position < text.size()) {
        const std::size_t headAt = text.find(head, position);
        const std::size_t tailAt = headAt == std::string::npos ? headAt : text.find(tail, headAt);
        if (tailAt == std::string::npos)
            throw std::runtime_error("damaged log: " + text.substr(position));
        TLoggedMessage message;
        message.FirstLine = text.substr(position, headAt - position);
        const std::string body = text.substr(headAt + head.size(), tailAt - headAt - head.size());
        TSecureText plain;
        if (!TCorvaneUtil::Decrypt(WidenAscii(body), std::u16string(TCorvaneUtil::ErrorLogKey), plain))
            throw std::runtime_error("log body does not decrypt: " + body);
        message.Digest = std::u16string(plain.View().substr(0, 32));
        message.Message = std::u16string(plain.size() > 32 ? plain.View().substr(32) : std::u16string_view());
        messages.push_back(std::move(message));
        position = tailAt + tail.size();
    }
    return messages;
}

fs::path DoublesDir()
{
    return FromEnvironmentOr("CORVANE_DOUBLES_DIR", ProgramDir().parent_path() / "doubles");
}

std::string MakeBlock(const std::vector<std::u16string>& items)
{
    TStringList list;
    for (const std::u16string& item : items)
        list.Add(item);
    std::u16string block;
    TCorvaneUtil::EncryptParams(list, block);
    return U8(block);
}

std::uint32_t SeenStatus(std::uint32_t status)
{
#ifdef _WIN32
    return status;
#else
    return static_cast<std::uint32_t>(PosixExitStatus(status));
#endif
}

std::u16string AsLogged(const std::u16string& message)
{
    if (AnsiCodePage() != 1252)
        return message;
    // The messages hold ASCII and Japanese only; 1252 keeps the one and has nothing for the other.
    std::u16string degraded = message;
    for (char16_t& c : degraded)
        if (c > 0x7F)
            c = u'?';
    return degraded;
}

#ifdef _WIN32

TFileHold::TFileHold(const fs::path& path)
    : FHandle(CreateFileW(path.wstring().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr))
{
    if (FHandle == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot hold " + path.string());
}

TFileHold::~TFileHold()
{
    CloseHandle(FHandle);
}

#else

TFileHold::TFileHold(const fs::path& path) : FDescriptor(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600))
{
    if (FDescriptor >= 0 && flock(FDescriptor, LOCK_EX | LOCK_NB) == 0)
        return;
    if (FDescriptor >= 0)
        close(FDescriptor);
    throw std::runtime_error("cannot hold " + path.string());
}

TFileHold::~TFileHold()
{
    if (FDescriptor >= 0)
        close(FDescriptor);
}

#endif

}  // namespace DialerTesting
