// Reads this executable's own dynamic symbol table with nm (binutils, which
// every compiler the project builds with depends on): the host library is
// linked in whole, and only its public functions may be exported.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

static std::set<std::string> exportedSymbols()
{
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    std::set<std::string> names;
    if (FILE *nm = popen(("nm -D --defined-only '" + self + "'").c_str(), "r")) {
        char name[1024];
        while (std::fscanf(nm, "%*s %*s %1023s", name) == 1) // address, type, name
            names.insert(name);
        pclose(nm);
    }
    return names;
}

TEST(HostExports, ExactlyThePublicFunctions)
{
    const std::set<std::string> expected = {
        "CyBtldr_CreateEnterBootLoaderCmd", "CyBtldr_CreateExitBootLoaderCmd", "CyBtldr_CreateProgramRowCmd",
        "CyBtldr_CreateVerifyRowCmd", "CyBtldr_CreateEraseRowCmd", "CyBtldr_CreateVerifyChecksumCmd",
        "CyBtldr_CreateGetFlashSizeCmd", "CyBtldr_CreateSendDataCmd", "CyBtldr_CreateSyncBootLoaderCmd",
        "CyBtldr_CreateGetAppStatusCmd", "CyBtldr_CreateSetActiveAppCmd", "CyBtldr_ParseEnterBootLoaderCmdResult",
        "CyBtldr_ParseProgramRowCmdResult", "CyBtldr_ParseVerifyRowCmdResult", "CyBtldr_ParseEraseRowCmdResult",
        "CyBtldr_ParseVerifyChecksumCmdResult", "CyBtldr_ParseGetFlashSizeCmdResult", "CyBtldr_ParseSendDataCmdResult",
        "CyBtldr_ParseGetAppStatusCmdResult", "CyBtldr_ParseSetActiveAppCmdResult", "CyBtldr_OpenDataFile",
        "CyBtldr_CloseDataFile", "CyBtldr_ReadLine", "CyBtldr_ParseHeader", "CyBtldr_ParseRowData",
        "CyBtldr_StartBootloadOperation", "CyBtldr_ProgramRow", "CyBtldr_EraseRow", "CyBtldr_VerifyRow",
        "CyBtldr_VerifyApplication", "CyBtldr_GetApplicationStatus", "CyBtldr_SetApplicationStatus",
        "CyBtldr_EndBootloadOperation", "CyBtldr_Program", "CyBtldr_Erase", "CyBtldr_Verify", "CyBtldr_Abort"};
    ASSERT_EQ(37u, expected.size());

    const std::set<std::string> exported = exportedSymbols(); // empty if nm could not run
    std::set<std::string> host; // CyBtldr_Checksum, a variable, would show here too
    for (const std::string &name : exported) {
        if (name.rfind("CyBtldr_", 0) == 0)
            host.insert(name);
        // No C++-mangled host symbol either (e.g. an internal helper or g_abort).
        for (const char *part : {"g_abort", "g_comm", "g_validRows", "CyBtldr"})
            EXPECT_TRUE(name.rfind("_Z", 0) != 0 || name.find(part) == std::string::npos) << name;
    }
    EXPECT_EQ(expected, host);
    for (const char *state : {"g_abort", "g_comm", "g_validRows", "dataFile"})
        EXPECT_EQ(0u, exported.count(state)) << state;
}
