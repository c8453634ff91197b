// The error log folder's permissions as the package sets them: Windows' own SDDL parser reads the
// package's security descriptor back, and the tests check what each trustee may do to the folder,
// to the files in it and to folders below it. Wine parses SDDL as Windows does but enforces no
// permissions, so reading them back is the check.
//
// The descriptor is the one the build joined from packaging/ErrorLogFolder.sddl, or the file that
// CORVANE_LOG_FOLDER_SDDL_FILE names (the package test passes the one it exported from a package).

#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cwchar>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/LogAccess.h"

namespace {

struct TLocalFree {
    void operator()(void* memory) const { LocalFree(memory); }
};
using TLocalMemory = std::unique_ptr<void, TLocalFree>;

// What one trustee may do, by where an entry applies.
struct TRights {
    ACCESS_MASK Folder = 0;      // the log folder itself
    ACCESS_MASK Files = 0;       // a file created in it
    ACCESS_MASK Subfolders = 0;  // a folder created in it
};

enum class TTrustee { System, Administrators, Users, OwnerRights };

struct TDescriptor {
    WORD Control = 0;
    bool HasDacl = false;
    std::string Owner;  // the SID string; empty when the descriptor names none
    std::string Group;
    std::map<TTrustee, TRights> Rights;
    std::vector<std::string> Unexpected;  // entries of another kind or for another trustee
};

std::string SddlText()
{
    const char* chosen = std::getenv("CORVANE_LOG_FOLDER_SDDL_FILE");
    const std::string path = chosen != nullptr && *chosen != '\0' ? chosen : CORVANE_LOG_FOLDER_SDDL_FILE;
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << "cannot read " << path;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

// The trustees by their SID strings, which Windows parses independently of the SDDL's aliases.
std::vector<std::pair<TTrustee, TLocalMemory>> KnownTrustees()
{
    std::vector<std::pair<TTrustee, TLocalMemory>> trustees;
    for (const auto& [trustee, text] :
         {std::pair{TTrustee::System, L"S-1-5-18"}, std::pair{TTrustee::Administrators, L"S-1-5-32-544"},
          std::pair{TTrustee::Users, L"S-1-5-32-545"}, std::pair{TTrustee::OwnerRights, L"S-1-3-4"}}) {
        PSID sid = nullptr;
        if (!ConvertStringSidToSidW(text, &sid))
            ADD_FAILURE() << "ConvertStringSidToSidW failed: " << GetLastError();
        trustees.emplace_back(trustee, TLocalMemory(sid));
    }
    return trustees;
}

std::string SidText(PSID sid)
{
    wchar_t* text = nullptr;
    if (sid == nullptr || !ConvertSidToStringSidW(sid, &text))
        return {};
    const TLocalMemory textMemory(text);
    return std::string(text, text + wcslen(text));  // a SID string is ASCII
}

TDescriptor ReadDescriptor(const std::string& sddl)
{
    TDescriptor result;
    const std::wstring wide(sddl.begin(), sddl.end());
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(wide.c_str(), SDDL_REVISION_1, &raw, nullptr)) {
        ADD_FAILURE() << "Windows does not parse \"" << sddl << "\": error " << GetLastError();
        return result;
    }
    const TLocalMemory descriptor(raw);
    DWORD revision = 0;
    GetSecurityDescriptorControl(raw, &result.Control, &revision);
    PSID owner = nullptr, group = nullptr;
    BOOL ownerDefaulted = FALSE, groupDefaulted = FALSE;
    if (GetSecurityDescriptorOwner(raw, &owner, &ownerDefaulted))
        result.Owner = SidText(owner);
    if (GetSecurityDescriptorGroup(raw, &group, &groupDefaulted))
        result.Group = SidText(group);
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(raw, &present, &dacl, &defaulted) || !present || dacl == nullptr)
        return result;
    result.HasDacl = true;

    const auto trustees = KnownTrustees();
    GENERIC_MAPPING fileMapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) {
            result.Unexpected.push_back("entry " + std::to_string(i) + " cannot be read");
            continue;
        }
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            result.Unexpected.push_back("entry " + std::to_string(i) + " of type " + std::to_string(header->AceType));
            continue;
        }
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        PSID sid = const_cast<DWORD*>(&allowed->SidStart);
        const TTrustee* trustee = nullptr;
        for (const auto& [known, knownSid] : trustees)
            if (knownSid && EqualSid(sid, knownSid.get()))
                trustee = &known;
        if (trustee == nullptr) {
            const std::string text = SidText(sid);
            result.Unexpected.push_back("entry " + std::to_string(i) + " for " +
                                        (text.empty() ? std::string("another trustee") : text));
            continue;
        }
        ACCESS_MASK mask = allowed->Mask;
        MapGenericMask(&mask, &fileMapping);
        TRights& rights = result.Rights[*trustee];
        if ((header->AceFlags & INHERIT_ONLY_ACE) == 0)
            rights.Folder |= mask;
        if (header->AceFlags & OBJECT_INHERIT_ACE)
            rights.Files |= mask;
        if (header->AceFlags & CONTAINER_INHERIT_ACE)
            rights.Subfolders |= mask;
    }
    return result;
}

class LogFolderPermissions : public testing::Test {
protected:
    void SetUp() override
    {
        FSddl = SddlText();
        FDescriptor = ReadDescriptor(FSddl);
        ASSERT_TRUE(FDescriptor.HasDacl) << FSddl;
    }

    const TRights& Of(TTrustee trustee) { return FDescriptor.Rights[trustee]; }

    std::string FSddl;
    TDescriptor FDescriptor;
};

// An operation, and the access that Windows checks for it.
struct TNeed {
    const char* What;
    ACCESS_MASK Access;
};

ACCESS_MASK Mapped(ACCESS_MASK access)
{
    GENERIC_MAPPING fileMapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    MapGenericMask(&access, &fileMapping);
    return access;
}

// What a standard user's dialer does in the folder, and what support staff do there.
const TNeed FolderNeeds[] = {
    {"test that the folder exists (its attributes)", FILE_READ_ATTRIBUTES | SYNCHRONIZE},
    {"list the folder to find the logs (generic read)", GENERIC_READ},
    {"reach a file in it by name", FILE_TRAVERSE},
    {"create the log", FILE_ADD_FILE},
    {"move the log to the .old name", FILE_ADD_FILE},
};
const TNeed FileNeeds[] = {
    {"open the log to measure and append (the writer's access)", LogAppendAccess},
    {"open the log to rename it to .old (the rotation's access)", LogRotateAccess},
    {"append a record", FILE_APPEND_DATA},
    {"cut a torn record back", FILE_WRITE_DATA},
    {"rename the log to .old", DELETE},
    {"read the log", GENERIC_READ},
};
// What no standard user may do.
const TNeed FolderRefusals[] = {
    {"make a folder or junction in it", FILE_ADD_SUBDIRECTORY},
    {"delete any file through the folder", FILE_DELETE_CHILD},
    {"delete or rename the folder", DELETE},
    {"change the folder's attributes", FILE_WRITE_ATTRIBUTES | FILE_WRITE_EA},
    {"change the folder's permissions or owner", WRITE_DAC | WRITE_OWNER},
    {"read or change its audit settings", ACCESS_SYSTEM_SECURITY},
};
const TNeed FileRefusals[] = {
    {"mark a log read-only or change its extended attributes", FILE_WRITE_ATTRIBUTES | FILE_WRITE_EA},
    {"change a log's permissions", WRITE_DAC},
    {"take a log's ownership", WRITE_OWNER},
    {"run a file from the folder", FILE_EXECUTE},
    {"read or change a log's audit settings", ACCESS_SYSTEM_SECURITY},
};

ACCESS_MASK Union(const TNeed* begin, const TNeed* end)
{
    ACCESS_MASK all = 0;
    for (const TNeed* need = begin; need != end; ++need)
        all |= Mapped(need->Access);
    return all;
}

TEST_F(LogFolderPermissions, ProtectedFromProgramDataPermissions)
{
    EXPECT_TRUE(FDescriptor.Control & SE_DACL_PROTECTED) << FSddl;
}

// A descriptor without an owner leaves the folder's owner as it was: a standard user who made the
// folder before the install, or after an uninstall, would stay its owner and could rewrite its
// permissions at any time.
TEST_F(LogFolderPermissions, TheFolderBelongsToSystemOrAdministratorsWhoeverMadeIt)
{
    const std::string system = "S-1-5-18", administrators = "S-1-5-32-544";
    EXPECT_TRUE(FDescriptor.Owner == system || FDescriptor.Owner == administrators)
        << "owner \"" << FDescriptor.Owner << "\" in " << FSddl;
    EXPECT_TRUE(FDescriptor.Group == system || FDescriptor.Group == administrators)
        << "group \"" << FDescriptor.Group << "\" in " << FSddl;
}

TEST_F(LogFolderPermissions, OnlySystemAdministratorsUsersAndOwnerRightsAreAllowed)
{
    for (const std::string& entry : FDescriptor.Unexpected)
        ADD_FAILURE() << entry << " in " << FSddl;
}

TEST_F(LogFolderPermissions, SystemAndAdministratorsHaveFullControlOfEverything)
{
    for (TTrustee trustee : {TTrustee::System, TTrustee::Administrators}) {
        const TRights& rights = Of(trustee);
        EXPECT_EQ(rights.Folder, static_cast<ACCESS_MASK>(FILE_ALL_ACCESS));
        EXPECT_EQ(rights.Files, static_cast<ACCESS_MASK>(FILE_ALL_ACCESS));
        EXPECT_EQ(rights.Subfolders, static_cast<ACCESS_MASK>(FILE_ALL_ACCESS));
    }
}

TEST_F(LogFolderPermissions, UsersMayDoWhatTheLogNeedsOnTheFolderAndNothingMore)
{
    const ACCESS_MASK folder = Of(TTrustee::Users).Folder;
    for (const TNeed& need : FolderNeeds)
        EXPECT_EQ(folder & Mapped(need.Access), Mapped(need.Access)) << "users cannot " << need.What;
    for (const TNeed& refusal : FolderRefusals)
        EXPECT_EQ(folder & refusal.Access, 0u) << "users may " << refusal.What;
    EXPECT_EQ(folder & ~Union(std::begin(FolderNeeds), std::end(FolderNeeds)), 0u)
        << std::hex << "users have more on the folder than the log needs: 0x" << folder;
}

TEST_F(LogFolderPermissions, UsersMayReadAppendToAndRotateEveryLogAndNothingMore)
{
    const ACCESS_MASK files = Of(TTrustee::Users).Files;
    for (const TNeed& need : FileNeeds)
        EXPECT_EQ(files & Mapped(need.Access), Mapped(need.Access)) << "users cannot " << need.What;
    for (const TNeed& refusal : FileRefusals)
        EXPECT_EQ(files & refusal.Access, 0u) << "users may " << refusal.What;
    EXPECT_EQ(files & ~Union(std::begin(FileNeeds), std::end(FileNeeds)), 0u)
        << std::hex << "users have more on a log than the log needs: 0x" << files;
}

TEST_F(LogFolderPermissions, UsersGetNothingInFoldersBelow)
{
    EXPECT_EQ(Of(TTrustee::Users).Subfolders, 0u);
}

// Without an OWNER RIGHTS entry, the user who created a log would hold WRITE_DAC on it and could
// shut every other user out.
TEST_F(LogFolderPermissions, TheOwnerOfALogHasNoMoreThanAnyUser)
{
    const TRights& owner = Of(TTrustee::OwnerRights);
    EXPECT_NE(owner.Files, 0u) << "no OWNER RIGHTS entry for the files: owners keep their implicit rights";
    EXPECT_EQ(owner.Files, Of(TTrustee::Users).Files);
    EXPECT_EQ(owner.Folder, 0u);
    EXPECT_EQ(owner.Subfolders, 0u);
}

}  // namespace
