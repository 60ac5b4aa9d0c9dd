// Reads this executable's own dynamic symbol table: the host library is
// linked in whole, and only its public functions may be exported.
#include <gtest/gtest.h>

#include <elf.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

std::set<std::string> exportedSymbols()
{
    std::ifstream in("/proc/self/exe", std::ios::binary);
    const std::vector<char> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::set<std::string> names;
    if (image.size() < sizeof(Elf64_Ehdr))
        return names;
    Elf64_Ehdr eh;
    std::memcpy(&eh, image.data(), sizeof eh);
    if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64 ||
        eh.e_shoff + size_t{eh.e_shnum} * sizeof(Elf64_Shdr) > image.size())
        return names;
    std::vector<Elf64_Shdr> sections(eh.e_shnum);
    std::memcpy(sections.data(), image.data() + eh.e_shoff, sections.size() * sizeof(Elf64_Shdr));
    for (const Elf64_Shdr &sh : sections) {
        if (sh.sh_type != SHT_DYNSYM || sh.sh_link >= sections.size())
            continue;
        const Elf64_Shdr &strtab = sections[sh.sh_link];
        for (size_t off = sh.sh_offset; off + sizeof(Elf64_Sym) <= sh.sh_offset + sh.sh_size; off += sizeof(Elf64_Sym)) {
            Elf64_Sym sym;
            std::memcpy(&sym, image.data() + off, sizeof sym);
            if (sym.st_shndx == SHN_UNDEF || sym.st_name >= strtab.sh_size)
                continue;
            names.insert(std::string(image.data() + strtab.sh_offset + sym.st_name));
        }
    }
    return names;
}

} // namespace

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

    const std::set<std::string> exported = exportedSymbols();
    ASSERT_FALSE(exported.empty());
    std::set<std::string> host;
    for (const std::string &name : exported)
        if (name.rfind("CyBtldr_", 0) == 0)
            host.insert(name);
    EXPECT_EQ(expected, host);
    for (const char *state : {"g_abort", "g_comm", "g_validRows", "dataFile", "CyBtldr_Checksum"})
        EXPECT_EQ(0u, exported.count(state)) << state;
    // No C++-mangled host symbol either (e.g. an internal helper or g_abort).
    for (const std::string &name : exported)
        for (const char *part : {"g_abort", "g_comm", "g_validRows", "CyBtldr"})
            EXPECT_TRUE(name.rfind("_Z", 0) != 0 || name.find(part) == std::string::npos) << name;
}
