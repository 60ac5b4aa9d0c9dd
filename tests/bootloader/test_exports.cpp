// Reads dynamic symbol tables with nm (binutils, which every compiler the
// project builds with depends on): this executable's, where the host library
// is linked in whole, and the shipped programs'. Only the host's public
// functions may be exported.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <fnmatch.h>


static std::set<std::string> exportedSymbols(std::string file = std::filesystem::read_symlink("/proc/self/exe"))
{
    std::set<std::string> names;
    if (FILE *nm = popen(("nm -D --defined-only '" + file + "'").c_str(), "r")) {
        char name[1024];
        while (std::fscanf(nm, "%*s %*s %1023s", name) == 1) // address, type, name
            names.insert(name);
        pclose(nm);
    }
    return names;
}

static const std::set<std::string> kPublic = {
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

TEST(HostExports, ExactlyThePublicFunctions)
{
    const std::set<std::string> &expected = kPublic;
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

// What the compiler's sanitizer runtime exports from a sanitized program
// (its interceptors, found by the shared libraries): names and patterns
// from the compiler's own lists, as the build read them. None in a build
// without sanitizers.
static std::vector<std::string> runtimeExports()
{
    std::vector<std::string> names;
    std::ifstream list(VIREON_RUNTIME_EXPORTS);
    for (std::string name; std::getline(list, name);)
        if (!name.empty())
            names.push_back(name);
    return names;
}

// Each shipped program exports the 37 and nothing else: nothing of ours (no
// worker, window, core or resource symbol, no handle), no instantiation of
// a library's template, no GNU-unique object of a library header's inline
// function (std::from_chars' table, as g++ makes it).
TEST(HostExports, ShippedProgramsExportExactlyThePublicFunctions)
{
    const std::vector<std::string> runtime = runtimeExports();
    for (const char *program : {VIREON_CONTROL, VIREON_FLASH}) {
        SCOPED_TRACE(program);
        const std::set<std::string> exported = exportedSymbols(program);
        ASSERT_FALSE(exported.empty()) << "nm could not read " << program;
        std::set<std::string> rest;
        for (const std::string &name : exported)
            if (std::none_of(runtime.begin(), runtime.end(),
                             [&](const std::string &pattern) { return fnmatch(pattern.c_str(), name.c_str(), 0) == 0; }))
                rest.insert(name);
        EXPECT_EQ(kPublic, rest);
    }
}
