#include "platform/components/ExportedSymbols.h"

#include <elf.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace gravel_components {
namespace {

#if defined(__x86_64__)
constexpr Elf64_Half kThisMachine = EM_X86_64;
#elif defined(__aarch64__)
constexpr Elf64_Half kThisMachine = EM_AARCH64;
#else
#error "Add this machine's ELF code"
#endif

// A copy of the record at `offset` when the file holds all of it.
template <typename Record>
bool readRecord(const std::vector<char>& file, std::uint64_t offset, Record& record) {
    if (offset > file.size() || file.size() - offset < sizeof(Record)) return false;
    std::memcpy(&record, file.data() + offset, sizeof(Record));
    return true;
}

}  // namespace

bool exportsFunction(const std::string& sharedObjectPath, const std::string& functionName) {
    std::ifstream stream(sharedObjectPath, std::ios::binary);
    if (!stream) return false;
    const std::vector<char> file((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());

    Elf64_Ehdr header;
    if (!readRecord(file, 0, header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_ident[EI_DATA] != ELFDATA2LSB ||
        header.e_machine != kThisMachine || header.e_shentsize != sizeof(Elf64_Shdr))
        return false;

    for (Elf64_Half index = 0; index < header.e_shnum; ++index) {
        Elf64_Shdr symbols;
        if (!readRecord(file, header.e_shoff + std::uint64_t{index} * sizeof(Elf64_Shdr), symbols)) return false;
        if (symbols.sh_type != SHT_DYNSYM || symbols.sh_entsize != sizeof(Elf64_Sym)) continue;
        Elf64_Shdr names;
        if (symbols.sh_link >= header.e_shnum ||
            !readRecord(file, header.e_shoff + std::uint64_t{symbols.sh_link} * sizeof(Elf64_Shdr), names) ||
            names.sh_offset > file.size() || file.size() - names.sh_offset < names.sh_size)
            return false;
        const char* nameTable = file.data() + names.sh_offset;
        const std::uint64_t count = symbols.sh_size / sizeof(Elf64_Sym);
        for (std::uint64_t i = 0; i < count; ++i) {
            Elf64_Sym symbol;
            if (!readRecord(file, symbols.sh_offset + i * sizeof(Elf64_Sym), symbol)) return false;
            const unsigned type = ELF64_ST_TYPE(symbol.st_info);
            const unsigned binding = ELF64_ST_BIND(symbol.st_info);
            if (symbol.st_shndx == SHN_UNDEF || (type != STT_FUNC && type != STT_GNU_IFUNC) ||
                (binding != STB_GLOBAL && binding != STB_WEAK) || ELF64_ST_VISIBILITY(symbol.st_other) != STV_DEFAULT)
                continue;
            if (symbol.st_name >= names.sh_size) continue;
            const char* name = nameTable + symbol.st_name;
            const std::size_t room = names.sh_size - symbol.st_name;
            if (functionName.size() < room && std::memcmp(name, functionName.c_str(), functionName.size() + 1) == 0)
                return true;
        }
    }
    return false;
}

}  // namespace gravel_components
