// How the bundled-natives loader loads the Windows set: Kolvex.dll from a folder that is
// neither the program's nor on the DLL search path, by full path, the way the JVM's
// System.load does (plain LoadLibrary). Kolvex.dll imports Tavrix.dll; the loader looks for
// that import on the search path, not beside Kolvex.dll, unless a Tavrix.dll is loaded
// already. KolvexLoader therefore loads Tavrix.dll by full path first.
//   loadorder FOLDER preload   Tavrix.dll, then Kolvex.dll: prints "LOADED"
//   loadorder FOLDER plain     Kolvex.dll alone: prints "NOT LOADED" (why the preload is needed)
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/dynlib.h"
#include "platform/process.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: loadorder FOLDER preload|plain\n");
        return 2;
    }
    using namespace qds::plat;
    const std::string dir = std::string(argv[1]) + PathSeparator();
    const auto file = [&](const char* name) {
        return dir + SharedLibPrefix() + name + SharedLibSuffix();
    };
    if (std::strcmp(argv[2], "preload") == 0 && LoadLib(file("Tavrix").c_str()) == nullptr) {
        std::printf("FAIL Tavrix did not load from %s\n", dir.c_str());
        return 1;
    }
    LibHandle kolvex = LoadLib(file("Kolvex").c_str());
    // The plain name on 64-bit, the stdcall-decorated one on 32-bit Windows.
    const bool exports = GetSymbol(kolvex, "Java_com_jpos_scanner_Kolvex_Open") != nullptr ||
                         GetSymbol(kolvex, "_Java_com_jpos_scanner_Kolvex_Open@24") != nullptr;
    std::printf("%s\n", kolvex != nullptr && exports ? "LOADED" : "NOT LOADED");
    return 0;
}
