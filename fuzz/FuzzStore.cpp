// Fuzzes the store as the programs read it (the INI file behind --registry): any text is either
// refused as a whole (past the size limit) or read in one pass, and a value written to it is
// saved with the rest. What the store writes must read back as the same text, so that no rewrite
// drops or changes what the one before it kept.
#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "platform/Files.h"
#include "platform/IniText.h"
#include "store/IniRegistry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zd;
    static const fuzz::ScratchFile file(".ini");
    const std::string& path = file.Write(data, size);
    {
        IniRegistry store(path);
        if (store.LoadError()) return 0;
        std::string value;
        (void)store.ReadString(RegistryAccess::kHkeyCurrentUser, "Software\\Fuzz", "v", value);
        if (!store.WriteString(RegistryAccess::kHkeyCurrentUser, "Software\\Fuzz", "v", "1, 2"))
            fuzz::Broken("a readable store", "refuses a value");
        if (!store.Sync()) fuzz::Broken("the store's write", store.LastError());
    }
    const std::string text = ReadInputFile(path, kStoreInput);
    const IniContent content = ParseIniText(text);
    if (content.droppedLines != 0)
        fuzz::Broken("the written store", "drops its own lines\n" + text);
    if (IniTextOf(content.values) != text)
        fuzz::Broken("the written store", "changes when read back");
    const auto value = content.values.find("Software/Fuzz/v");
    if (value == content.values.end() || value->second != "1, 2")
        fuzz::Broken("the written store", "lost the value written");
    return 0;
}
