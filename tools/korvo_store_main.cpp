// korvo-store: print or check a store file. It never writes the file.
//
//   korvo-store dump [--data] FILE
//   korvo-store check FILE
//
// Exit status: 0 sound, 1 damaged (check), 2 not a store file or bad usage.
#include <cstring>
#include <iostream>
#include <string>

#include "tools/store_audit.h"

namespace {

int Usage() {
    std::cerr << "usage: korvo-store dump [--data] FILE\n"
                 "       korvo-store check FILE\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage();
    const std::string command = argv[1];
    if (command == "dump") {
        korvo::DumpOptions options;
        std::string file;
        for (int i = 2; i < argc; ++i) {
            if (std::strcmp(argv[i], "--data") == 0) {
                options.data = true;
            } else if (file.empty()) {
                file = argv[i];
            } else {
                return Usage();
            }
        }
        if (file.empty()) return Usage();
        return int(korvo::DumpStore(file, options, std::cout, std::cerr));
    }
    if (command == "check" && argc == 3) return int(korvo::CheckStore(argv[2], std::cout));
    return Usage();
}
