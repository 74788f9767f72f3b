/* Denies every account the given rights on an HKEY_LOCAL_MACHINE key, as a key's security does
 * to a user without the rights. Wine keeps a key's security only until its wineserver ends.
 *
 *     denykey.exe KEY RIGHTS      RIGHTS in hexadecimal, such as 10000 (DELETE) or 2 (set value)
 */
#include <stdlib.h>
#include <windows.h>

int main(int argc, char** argv) {
    SID_IDENTIFIER_AUTHORITY world = {SECURITY_WORLD_SID_AUTHORITY};
    PSID everyone;
    HKEY key;
    char acl[256];
    SECURITY_DESCRIPTOR sd;
    DWORD denied;
    if (argc != 3) return 2;
    denied = strtoul(argv[2], NULL, 16);
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, argv[1], 0, WRITE_DAC, &key) != ERROR_SUCCESS) return 3;
    AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
    InitializeAcl((PACL)acl, sizeof acl, ACL_REVISION);
    AddAccessDeniedAce((PACL)acl, ACL_REVISION, denied, everyone);
    AddAccessAllowedAce((PACL)acl, ACL_REVISION, KEY_ALL_ACCESS, everyone);
    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&sd, TRUE, (PACL)acl, FALSE);
    return RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd) == ERROR_SUCCESS ? 0 : 4;
}
